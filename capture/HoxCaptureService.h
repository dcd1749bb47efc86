#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

/// Capture services: everything the device lists, the capture graph and the capture component
/// need of the sound system, behind one interface. The program uses the PortAudio service
/// (HoxPaCaptureService.h); a test installs a stand-in with `HoxSetCaptureService` for what a
/// real sound server cannot produce on demand (devices with equal or blank names, devices that
/// come and go, blocks of odd lengths).
///
/// Results: operations that can fail answer a `THoxResult`: 0 for success, otherwise the sound
/// system's (negative) error code, which the capture graph reports in place of a platform
/// result code.

using THoxResult = int32_t;
inline constexpr THoxResult kHoxOk = 0;
/// The codes the layer itself uses; they are PortAudio's values for the same conditions.
inline constexpr THoxResult kHoxErrorNoMemory = -9992;
inline constexpr THoxResult kHoxErrorInvalidDevice = -9996;
inline constexpr THoxResult kHoxErrorDeviceUnavailable = -9985;
inline constexpr THoxResult kHoxErrorInvalidFormat = -9994;
inline constexpr THoxResult kHoxErrorNotConnected = -9988;

/// Devices that report this many input channels or more are mixing front-ends of a sound
/// server (they accept any count); they are offered with `kHoxVirtualDeviceChannels`.
inline constexpr uint32_t kHoxVirtualChannelThreshold = 32;
inline constexpr uint32_t kHoxVirtualDeviceChannels = 2;

/// One device as the sound system describes it.
struct THoxCaptureDeviceDesc {
    /// The name the sound system reports, as it stands (may be blank or repeated).
    std::string m_friendlyName;
    /// A key that names the same device across runs: host API, ":", device name, and "#n" for
    /// the n-th device (n ≥ 2) with the same host API and name. Never an index.
    std::string m_monikerName;
    /// Input channels offered (0 for an output-only device); clamped for mixing front-ends.
    uint32_t m_maxInputChannels = 0;
    /// The device's preferred sample rate in Hz.
    double m_defaultSampleRate = 0.0;

    friend bool operator==(const THoxCaptureDeviceDesc&, const THoxCaptureDeviceDesc&) = default;
};

/// The format of a capture stream: interleaved integer PCM frames.
struct THoxStreamFormat {
    uint32_t m_channels = 2;
    /// Container bits per sample: 8 (unsigned), 16, 24 (packed in three bytes) or 32.
    uint32_t m_containerBits = 16;
    uint32_t m_sampleRate = 44100;
    /// Frames per delivered block; 0 lets the device choose.
    uint32_t m_framesPerBuffer = 0;

    uint32_t GetBlockAlign() const { return m_channels * (m_containerBits / 8); }
    friend bool operator==(const THoxStreamFormat&, const THoxStreamFormat&) = default;
};

/// Receives the captured blocks of a stream on the stream's own (real-time) thread. The memory
/// is valid only during the call; the receiver copies what it keeps, must not block on locks
/// other threads hold for long, and should not allocate from the heap.
class IHoxSampleSink {
  public:
    /// `length` bytes of whole frames starting at `data`; `startTime` and `stopTime` in
    /// 100-nanosecond units of stream time (0 at the start of each run).
    virtual void SampleArrived(const uint8_t* data, uint32_t length, int64_t startTime,
                               int64_t stopTime) noexcept = 0;

  protected:
    ~IHoxSampleSink() = default;
};

/// Told that a running stream ended without being asked to: the device went away or failed.
/// Called at most once per run, on a thread of the service (never the stream's callback
/// thread and never inside a call the listener made into the stream).
class IHoxStreamListener {
  public:
    virtual void StreamLost() noexcept = 0;

  protected:
    ~IHoxStreamListener() = default;
};

/// An open capture stream on one device with one format. Owned by its opener; destroying it
/// stops and closes it (bounded: it never waits for a device that stopped answering). All
/// operations are for the thread that opened it; the counters may be read from any thread.
class IHoxCaptureStream {
  public:
    virtual ~IHoxCaptureStream() = default;
    /// Starts delivering blocks to the sink. A stream that was lost, or stopped, opens the
    /// device anew first. Restarts stream time at 0.
    virtual THoxResult Start() = 0;
    /// Stops delivering; when it returns no block is being delivered and none follows. Stopping
    /// a stream that is not running, or that was lost, succeeds.
    virtual THoxResult Stop() = 0;
    virtual bool IsRunning() const = 0;
    virtual const THoxStreamFormat& GetFormat() const = 0;
    /// Frames delivered since the last start.
    virtual uint64_t GetFramesCaptured() const = 0;
    /// Blocks the device reported as overflowed (input lost before it was read), in total.
    virtual uint64_t GetOverflowCount() const = 0;
};

/// The capture services. Implementations are thread safe.
class IHoxCaptureService {
  public:
    virtual ~IHoxCaptureService() = default;

    /// Devices that can capture, in the sound system's order.
    virtual std::vector<THoxCaptureDeviceDesc> ListInputDevices() = 0;
    /// Every device (capture or not), in the sound system's order.
    virtual std::vector<THoxCaptureDeviceDesc> ListAllDevices() = 0;
    /// The system's default capture device, if there is one.
    virtual std::optional<THoxCaptureDeviceDesc> GetDefaultInputDevice() = 0;
    /// Whether the device named by `monikerName` can capture exactly `format`.
    virtual THoxResult CheckFormat(const std::string& monikerName,
                                   const THoxStreamFormat& format) = 0;
    /// Opens a stream of exactly `format` on the device named by `monikerName` (not started).
    /// `sink` and `listener` must outlive the stream. On failure `stream` stays empty.
    virtual THoxResult OpenStream(const std::string& monikerName, const THoxStreamFormat& format,
                                  IHoxSampleSink& sink, IHoxStreamListener& listener,
                                  std::unique_ptr<IHoxCaptureStream>& stream) = 0;
    /// A short text for a result code ("Invalid sample rate").
    virtual std::string GetErrorText(THoxResult code) = 0;
};

/// The installed service: the one set by `HoxSetCaptureService`, else the PortAudio service
/// (created on first use). Thread safe.
std::shared_ptr<IHoxCaptureService> HoxGetCaptureService();
/// Installs `service` (null: back to the PortAudio service) and returns the previous one.
/// Objects keep the service they took for as long as they hold it. Thread safe.
std::shared_ptr<IHoxCaptureService>
HoxSetCaptureService(std::shared_ptr<IHoxCaptureService> service);

/// The moniker names of a device list: `hostApis[i]` + ":" + `deviceNames[i]`,
/// with "#n" appended for the n-th repeat (n ≥ 2) of the same host API and name.
std::vector<std::string> HoxMakeMonikerNames(const std::vector<std::string>& hostApis,
                                             const std::vector<std::string>& deviceNames);

/// The input channel count to offer for a device that reports `reported` channels.
constexpr uint32_t HoxClampInputChannels(uint32_t reported) {
    return reported >= kHoxVirtualChannelThreshold ? kHoxVirtualDeviceChannels : reported;
}
