#include "capture/HoxPaCaptureService.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

/// How often the watchdog looks at a running stream.
constexpr std::chrono::milliseconds kWatchdogPeriod{50};

// ---- chatter -------------------------------------------------------------------------------

void SilentAlsaHandler(const char*, int, const char*, int, const char*, ...) {
}

void SilentJackHandler(const char*) {
}

/// Replaces ALSA's and JACK's diagnostic printers by silent ones (once per process) unless
/// debugging was asked for. JACK is only present as a dependency of PortAudio, so its setters
/// are looked up at run time instead of being linked.
void SilenceSoundSystemChatter() {
    static std::once_flag s_once;
    std::call_once(s_once, [] {
        if (HoxAudioDebugEnabled()) {
            return;
        }
        snd_lib_error_set_handler(&SilentAlsaHandler);
        using TJackSetter = void (*)(void (*)(const char*));
        for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
            if (void* symbol = dlsym(RTLD_DEFAULT, name)) {
                TJackSetter setter = nullptr;
                static_assert(sizeof setter == sizeof symbol);
                std::memcpy(&setter, &symbol, sizeof setter);
                setter(&SilentJackHandler);
            }
        }
    });
}

// ---- formats -------------------------------------------------------------------------------

/// The PortAudio sample format of a container width, or 0 for none.
PaSampleFormat SampleFormatOf(uint32_t containerBits) {
    switch (containerBits) {
    case 8:
        return paUInt8;
    case 16:
        return paInt16;
    case 24:
        return paInt24;
    case 32:
        return paInt32;
    default:
        return 0;
    }
}

/// One device of the current PortAudio session.
struct TPaDevice {
    PaDeviceIndex m_index = paNoDevice;
    THoxCaptureDeviceDesc m_desc;
    double m_lowInputLatency = 0.0;
};

class TPaCaptureService;

// ---- stream --------------------------------------------------------------------------------

/// An open capture stream; see the header for its contract.
class TPaCaptureStream final : public IHoxCaptureStream {
  public:
    TPaCaptureStream(std::shared_ptr<TPaCaptureService> service, std::string monikerName,
                     const THoxStreamFormat& format, IHoxSampleSink& sink,
                     IHoxStreamListener& listener);
    ~TPaCaptureStream() override;

    /// Opens the device; the service mutex is held by the caller.
    THoxResult OpenLocked();

    THoxResult Start() override;
    THoxResult Stop() override;
    bool IsRunning() const override { return m_running.load(std::memory_order_acquire); }
    const THoxStreamFormat& GetFormat() const override { return m_format; }
    uint64_t GetFramesCaptured() const override { return m_frames.load(std::memory_order_acquire); }
    uint64_t GetOverflowCount() const override {
        return m_overflows.load(std::memory_order_relaxed);
    }

  private:
    static int Callback(const void* input, void* output, unsigned long frameCount,
                        const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                        void* userData);
    static void Finished(void* userData);
    /// Closes the PortAudio stream; the service mutex is held by the caller.
    void CloseLocked() noexcept;
    void Arm();
    void Disarm();
    void WatchdogLoop();

    const std::shared_ptr<TPaCaptureService> m_service;
    const std::string m_monikerName;
    const THoxStreamFormat m_format;
    IHoxSampleSink& m_sink;
    IHoxStreamListener& m_listener;
    const std::chrono::milliseconds m_stallTimeout;
    const std::chrono::milliseconds m_startTimeout;

    /// The open PortAudio stream or null; changed under the service mutex on the owner's thread.
    PaStream* m_stream = nullptr;
    /// The stream holds a PortAudio session from its first open to its destruction, so device
    /// indices stay valid and reopening does not probe the devices again. Service mutex.
    bool m_sessionHeld = false;
    /// Written by the callback thread only.
    std::atomic<uint64_t> m_frames{0};
    std::atomic<uint64_t> m_overflows{0};
    std::atomic<bool> m_running{false};
    /// Set by PortAudio's finished callback when the stream ended while armed.
    std::atomic<bool> m_finishedOnItsOwn{false};

    /// Guards the watchdog's state below (m_armed is also read without it by `Finished`).
    std::mutex m_watchMutex;
    std::condition_variable m_watchWake;
    bool m_quit = false;
    std::atomic<bool> m_armed{false};
    bool m_reported = false;
    uint64_t m_lastFrames = 0;
    TClock::time_point m_lastProgress;
    /// Declared last: started when everything above exists, joined first.
    std::thread m_watchdog;
};

// ---- service -------------------------------------------------------------------------------

class TPaCaptureService final : public IHoxCaptureService,
                                public std::enable_shared_from_this<TPaCaptureService> {
  public:
    std::vector<THoxCaptureDeviceDesc> ListInputDevices() override {
        std::vector<THoxCaptureDeviceDesc> result;
        for (TPaDevice& device : ListDevices(nullptr)) {
            if (device.m_desc.m_maxInputChannels > 0) {
                result.push_back(std::move(device.m_desc));
            }
        }
        return result;
    }

    std::vector<THoxCaptureDeviceDesc> ListAllDevices() override {
        std::vector<THoxCaptureDeviceDesc> result;
        for (TPaDevice& device : ListDevices(nullptr)) {
            result.push_back(std::move(device.m_desc));
        }
        return result;
    }

    std::optional<THoxCaptureDeviceDesc> GetDefaultInputDevice() override {
        PaDeviceIndex defaultIndex = paNoDevice;
        for (TPaDevice& device : ListDevices(&defaultIndex)) {
            if (device.m_index == defaultIndex && device.m_desc.m_maxInputChannels > 0) {
                return std::move(device.m_desc);
            }
        }
        return std::nullopt;
    }

    THoxResult CheckFormat(const std::string& monikerName,
                           const THoxStreamFormat& format) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        const THoxResult session = AcquireSessionLocked();
        if (session != kHoxOk) {
            return session;
        }
        PaStreamParameters parameters{};
        THoxResult result = MakeParametersLocked(monikerName, format, parameters);
        if (result == kHoxOk) {
            result = Pa_IsFormatSupported(&parameters, nullptr, format.m_sampleRate);
        }
        ReleaseSessionLocked();
        return result;
    }

    THoxResult OpenStream(const std::string& monikerName, const THoxStreamFormat& format,
                          IHoxSampleSink& sink, IHoxStreamListener& listener,
                          std::unique_ptr<IHoxCaptureStream>& stream) override {
        stream.reset();
        auto opened = std::make_unique<TPaCaptureStream>(shared_from_this(), monikerName, format,
                                                         sink, listener);
        THoxResult result;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            result = opened->OpenLocked();
        }
        if (result == kHoxOk) {
            stream = std::move(opened);
        }
        return result;
    }

    std::string GetErrorText(THoxResult code) override {
        const char* text = Pa_GetErrorText(code);
        return text != nullptr ? text : "Unknown error";
    }

    // ---- for the streams (service mutex held by the caller) --------------------------------

    std::mutex& GetMutex() { return m_mutex; }

    /// One more PortAudio session (the first one probes the devices).
    THoxResult AcquireSessionLocked() {
        SilenceSoundSystemChatter();
        const PaError error = Pa_Initialize();
        if (error != paNoError) {
            return error;
        }
        ++m_sessions;
        return kHoxOk;
    }

    void ReleaseSessionLocked() noexcept {
        if (m_sessions > 0) {
            --m_sessions;
            Pa_Terminate();
        }
    }

    /// The devices of the current session, with moniker names built over all of them.
    std::vector<TPaDevice> EnumerateLocked() {
        std::vector<TPaDevice> devices;
        const PaDeviceIndex count = Pa_GetDeviceCount();
        std::vector<std::string> hostApis;
        std::vector<std::string> names;
        for (PaDeviceIndex index = 0; index < count; ++index) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
            if (info == nullptr) {
                continue;
            }
            const PaHostApiInfo* hostApi = Pa_GetHostApiInfo(info->hostApi);
            TPaDevice device;
            device.m_index = index;
            device.m_desc.m_friendlyName = info->name != nullptr ? info->name : "";
            device.m_desc.m_maxInputChannels =
                HoxClampInputChannels(static_cast<uint32_t>(std::max(info->maxInputChannels, 0)));
            device.m_desc.m_defaultSampleRate = info->defaultSampleRate;
            device.m_lowInputLatency = info->defaultLowInputLatency;
            hostApis.emplace_back(hostApi != nullptr && hostApi->name != nullptr ? hostApi->name
                                                                                 : "");
            names.push_back(device.m_desc.m_friendlyName);
            devices.push_back(std::move(device));
        }
        const std::vector<std::string> monikers = HoxMakeMonikerNames(hostApis, names);
        for (size_t index = 0; index < devices.size(); ++index) {
            devices[index].m_desc.m_monikerName = monikers[index];
        }
        return devices;
    }

    /// Stream parameters for `format` on the device named `monikerName`.
    THoxResult MakeParametersLocked(const std::string& monikerName, const THoxStreamFormat& format,
                                    PaStreamParameters& parameters) {
        const PaSampleFormat sampleFormat = SampleFormatOf(format.m_containerBits);
        if (sampleFormat == 0 || format.m_channels == 0) {
            return kHoxErrorInvalidFormat;
        }
        for (const TPaDevice& device : EnumerateLocked()) {
            if (device.m_desc.m_monikerName == monikerName) {
                if (device.m_desc.m_maxInputChannels == 0) {
                    return kHoxErrorInvalidDevice;
                }
                parameters.device = device.m_index;
                parameters.channelCount = static_cast<int>(format.m_channels);
                parameters.sampleFormat = sampleFormat;
                parameters.suggestedLatency = device.m_lowInputLatency;
                parameters.hostApiSpecificStreamInfo = nullptr;
                return kHoxOk;
            }
        }
        return kHoxErrorDeviceUnavailable;
    }

  private:
    /// The devices present now, and the default input's index when asked for.
    std::vector<TPaDevice> ListDevices(PaDeviceIndex* defaultIndex) {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (AcquireSessionLocked() != kHoxOk) {
            return {};
        }
        std::vector<TPaDevice> devices = EnumerateLocked();
        if (defaultIndex != nullptr) {
            *defaultIndex = Pa_GetDefaultInputDevice();
        }
        ReleaseSessionLocked();
        return devices;
    }

    /// Guards every PortAudio call except the stream callbacks, and m_sessions.
    std::mutex m_mutex;
    int m_sessions = 0;
};

// ---- stream implementation -----------------------------------------------------------------

TPaCaptureStream::TPaCaptureStream(std::shared_ptr<TPaCaptureService> service,
                                   std::string monikerName, const THoxStreamFormat& format,
                                   IHoxSampleSink& sink, IHoxStreamListener& listener)
    : m_service(std::move(service)), m_monikerName(std::move(monikerName)), m_format(format),
      m_sink(sink), m_listener(listener), m_stallTimeout(HoxPaStallTimeout(format)),
      m_startTimeout(HoxPaStartTimeout(format)), m_watchdog([this] { WatchdogLoop(); }) {
}

TPaCaptureStream::~TPaCaptureStream() {
    {
        std::lock_guard<std::mutex> guard(m_watchMutex);
        m_quit = true;
    }
    m_watchWake.notify_all();
    m_watchdog.join();
    std::lock_guard<std::mutex> guard(m_service->GetMutex());
    CloseLocked();
    if (m_sessionHeld) {
        m_service->ReleaseSessionLocked();
    }
}

THoxResult TPaCaptureStream::OpenLocked() {
    if (m_stream != nullptr) {
        return kHoxOk;
    }
    if (!m_sessionHeld) {
        const THoxResult session = m_service->AcquireSessionLocked();
        if (session != kHoxOk) {
            return session;
        }
        m_sessionHeld = true;
    }
    PaStreamParameters parameters{};
    THoxResult result = m_service->MakeParametersLocked(m_monikerName, m_format, parameters);
    if (result != kHoxOk) {
        return result;
    }
    const unsigned long framesPerBuffer =
        m_format.m_framesPerBuffer == 0 ? paFramesPerBufferUnspecified : m_format.m_framesPerBuffer;
    PaStream* stream = nullptr;
    result = Pa_OpenStream(&stream, &parameters, nullptr, m_format.m_sampleRate, framesPerBuffer,
                           paNoFlag, &Callback, this);
    if (result != paNoError) {
        return result;
    }
    Pa_SetStreamFinishedCallback(stream, &Finished);
    m_stream = stream;
    return kHoxOk;
}

void TPaCaptureStream::CloseLocked() noexcept {
    if (m_stream != nullptr) {
        Pa_AbortStream(m_stream);
        Pa_CloseStream(m_stream);
        m_stream = nullptr;
    }
}

THoxResult TPaCaptureStream::Start() {
    std::lock_guard<std::mutex> guard(m_service->GetMutex());
    if (m_running.load(std::memory_order_acquire)) {
        return kHoxOk;
    }
    THoxResult result = OpenLocked();
    if (result != kHoxOk) {
        return result;
    }
    // The callback thread does not run yet: the counters can be reset plainly.
    m_frames.store(0, std::memory_order_release);
    m_finishedOnItsOwn.store(false, std::memory_order_release);
    Arm();
    result = Pa_StartStream(m_stream);
    if (result != paNoError) {
        Disarm();
        CloseLocked();
        return result;
    }
    m_running.store(true, std::memory_order_release);
    return kHoxOk;
}

THoxResult TPaCaptureStream::Stop() {
    // Disarmed first: the finish that stopping causes is no loss.
    Disarm();
    std::lock_guard<std::mutex> guard(m_service->GetMutex());
    if (m_stream != nullptr) {
        const PaError error = Pa_AbortStream(m_stream);
        const bool lost = m_finishedOnItsOwn.load(std::memory_order_acquire);
        if (error != paNoError && error != paStreamIsStopped && !lost) {
            return error;
        }
        // Closed while stopped: a device that vanishes meanwhile cannot hold up the next start.
        Pa_CloseStream(m_stream);
        m_stream = nullptr;
    }
    m_running.store(false, std::memory_order_release);
    return kHoxOk;
}

int TPaCaptureStream::Callback(const void* input, void*, unsigned long frameCount,
                               const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags statusFlags,
                               void* userData) {
    auto* self = static_cast<TPaCaptureStream*>(userData);
    if ((statusFlags & paInputOverflow) != 0) {
        self->m_overflows.fetch_add(1, std::memory_order_relaxed);
    }
    if (input != nullptr && frameCount > 0) {
        const uint64_t first = self->m_frames.load(std::memory_order_relaxed);
        const uint64_t last = first + frameCount;
        const uint64_t rate = std::max<uint32_t>(self->m_format.m_sampleRate, 1);
        const auto start = static_cast<int64_t>(first * 10000000 / rate);
        const auto stop = static_cast<int64_t>(last * 10000000 / rate);
        self->m_sink.SampleArrived(
            static_cast<const uint8_t*>(input),
            static_cast<uint32_t>(frameCount * self->m_format.GetBlockAlign()), start, stop);
        self->m_frames.store(last, std::memory_order_release);
    }
    return paContinue;
}

void TPaCaptureStream::Finished(void* userData) {
    // PortAudio may call this from its thread's cancellation clean-up: no lock is taken here.
    // The watchdog sees the flag at its next look (within one period) even without the wake.
    auto* self = static_cast<TPaCaptureStream*>(userData);
    if (self->m_armed.load(std::memory_order_acquire)) {
        self->m_finishedOnItsOwn.store(true, std::memory_order_release);
        self->m_watchWake.notify_all();
    }
}

void TPaCaptureStream::Arm() {
    std::lock_guard<std::mutex> guard(m_watchMutex);
    m_armed.store(true, std::memory_order_release);
    m_reported = false;
    m_lastFrames = 0;
    m_lastProgress = TClock::now();
}

void TPaCaptureStream::Disarm() {
    std::lock_guard<std::mutex> guard(m_watchMutex);
    m_armed.store(false, std::memory_order_release);
}

void TPaCaptureStream::WatchdogLoop() {
    std::unique_lock<std::mutex> lock(m_watchMutex);
    while (!m_quit) {
        m_watchWake.wait_for(lock, kWatchdogPeriod);
        if (m_quit || !m_armed.load(std::memory_order_acquire) || m_reported) {
            continue;
        }
        bool lost = m_finishedOnItsOwn.load(std::memory_order_acquire);
        const uint64_t frames = m_frames.load(std::memory_order_acquire);
        const TClock::time_point now = TClock::now();
        if (frames != m_lastFrames) {
            m_lastFrames = frames;
            m_lastProgress = now;
        } else if (now - m_lastProgress > (frames == 0 ? m_startTimeout : m_stallTimeout)) {
            lost = true;
        }
        if (lost) {
            // Reported once per run; the listener runs without the watchdog's lock, so it may
            // call back into the stream's counters.
            m_reported = true;
            m_finishedOnItsOwn.store(true, std::memory_order_release);
            lock.unlock();
            m_listener.StreamLost();
            lock.lock();
        }
    }
}

} // namespace

std::shared_ptr<IHoxCaptureService> HoxCreatePaCaptureService() {
    return std::make_shared<TPaCaptureService>();
}

namespace {

/// Four blocks of `format`, in milliseconds (a device-chosen block counts as 4096 frames).
uint64_t FourBlocks(const THoxStreamFormat& format) {
    const uint64_t frames = format.m_framesPerBuffer == 0 ? 4096 : format.m_framesPerBuffer;
    const uint64_t rate = std::max<uint32_t>(format.m_sampleRate, 1);
    return 4 * frames * 1000 / rate;
}

} // namespace

std::chrono::milliseconds HoxPaStallTimeout(const THoxStreamFormat& format) {
    return std::chrono::milliseconds(1000 + FourBlocks(format));
}

std::chrono::milliseconds HoxPaStartTimeout(const THoxStreamFormat& format) {
    return std::chrono::milliseconds(5000 + FourBlocks(format));
}

bool HoxAudioDebugEnabled() {
    const char* value = std::getenv("AUDIO_DEBUG");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}
