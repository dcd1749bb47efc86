#pragma once

#include "capture/HoxCaptureService.h"

#include <chrono>
#include <memory>

/// The capture services on PortAudio (through ALSA; sound servers are reached through ALSA's
/// plugins).
///
/// Sessions: PortAudio is initialised while a stream is open, and for the duration of each
/// listing otherwise, so a listing made while no stream is open sees the devices present now.
/// Every PortAudio call except the stream callback runs under the service's own mutex.
///
/// Chatter: ALSA and JACK print diagnostics to standard error while devices are probed. The
/// service silences both unless the environment variable `AUDIO_DEBUG` is set to a non-empty
/// value other than "0".
///
/// Streams: each open stream delivers its blocks from PortAudio's callback thread straight to
/// its sink (the callback does nothing else: it counts frames and overflows). A watchdog thread
/// per stream reports the stream lost to its listener when PortAudio finishes the stream on its
/// own (the device failed or went away: noticed within one watchdog period, 50 ms), or when no
/// frame has arrived for `HoxPaStallTimeout` while running (`HoxPaStartTimeout` before the
/// first frame of a run). A stopped stream is closed; the next start opens the device anew, so
/// a stream never waits on a device that disappeared while it was stopped.
std::shared_ptr<IHoxCaptureService> HoxCreatePaCaptureService();

/// How long a running stream may deliver nothing before it counts as lost: 1 s plus four blocks
/// of `format` (a device-chosen block size counts as 4096 frames).
std::chrono::milliseconds HoxPaStallTimeout(const THoxStreamFormat& format);
/// The same before the first frame of a run: 5 s plus four blocks (sound servers may take a
/// while to start a source).
std::chrono::milliseconds HoxPaStartTimeout(const THoxStreamFormat& format);

/// True when `AUDIO_DEBUG` asks for the sound system's own diagnostics.
bool HoxAudioDebugEnabled();
