#pragma once

/// Registers the creatable processing components for the form reader: `TDruSignalGen`,
/// `TDruAudioToReal`, `TDruSpectrum`, `TZemAdd` and `TDruRealToAudio`. Programs and tools call
/// it at start-up, after `VokInitializeFramework` (static registration from a static library
/// may be dropped by the linker). Idempotent and thread safe.
void RegisterComponentClasses();
