#pragma once

/// Registers the capture component `TDruDSAudioIn` for the form reader. Programs and tools call
/// it at start-up, after `VokInitializeFramework`. Idempotent and thread safe; touches no audio
/// device.
void RegisterCaptureClasses();
