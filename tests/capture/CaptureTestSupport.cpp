#include "CaptureTestSupport.h"

#include "buffers/ZemVokOperations.h"
#include "platform/VokMessageWindow.h"

#include <atomic>
#include <thread>

// ---- recording sink ----------------------------------------------------------------------------

TRecordingSink::TRecordingSink(bool keepSamples)
    : TVokComponent(nullptr), m_keepSamples(keepSamples) {
    m_input =
        MakePin<TDruVokAudioSinkPin>(this, TZemPinHandler::Of<&TRecordingSink::Receive>(this));
    TVokObject::LinkObjects(&m_lock, m_input.get());
}

TRecordingSink::~TRecordingSink() {
    m_input.reset();
}

void TRecordingSink::SetWakeCounter(std::function<uint64_t()> counter) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_wakeCounter = std::move(counter);
}

TVokNotifyResults TRecordingSink::Receive(TVokBasicPin*, const TVokGuid&, TVokNotifyFlags,
                                          TVokNotifyOperation* operation) {
    TRecordedEvent event;
    event.m_arrival = std::chrono::steady_clock::now();
    if (auto* start = OperationAs<TVokStartWaveOperation>(operation)) {
        event.m_kind = TRecordedEvent::kStartWave;
        event.m_format.assign(start->GetFormat().begin(), start->GetFormat().end());
        event.m_rate = start->GetRate();
    } else if (auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation)) {
        event.m_kind = TRecordedEvent::kBuffer;
        if (auto* audio = dynamic_cast<TDruAudioBuffer*>(supplied->GetBuffer())) {
            event.m_frames = audio->GetSize();
            event.m_sampleBytes = audio->GetByteSize();
            event.m_timeValid = audio->GetTimeStamp()->GetTimeValid();
            event.m_startTime = audio->GetTimeStamp()->GetStartTime();
            event.m_stopTime = audio->GetTimeStamp()->GetStopTime();
            if (m_keepSamples) {
                event.m_samples.assign(audio->GetReadPointer(),
                                       audio->GetReadPointer() + audio->GetByteSize());
            }
        }
    } else if (OperationAs<TVokZemResumeOperation>(operation) != nullptr) {
        event.m_kind = TRecordedEvent::kResume;
    } else if (OperationAs<TVokStopOperation>(operation) != nullptr) {
        event.m_kind = TRecordedEvent::kStop;
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_wakeCounter) {
        event.m_wake = m_wakeCounter();
    }
    m_events.push_back(std::move(event));
    return {};
}

std::vector<TRecordedEvent> TRecordingSink::GetEvents() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_events;
}

size_t TRecordingSink::CountOf(TRecordedEvent::TKind kind) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    size_t count = 0;
    for (const TRecordedEvent& event : m_events) {
        count += event.m_kind == kind ? 1 : 0;
    }
    return count;
}

uint64_t TRecordingSink::GetFrames() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    uint64_t frames = 0;
    for (const TRecordedEvent& event : m_events) {
        frames += event.m_frames;
    }
    return frames;
}

void TRecordingSink::Clear() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_events.clear();
}

TRealDrain::TRealDrain(int pins) : TVokComponent(nullptr), m_values(static_cast<size_t>(pins)) {
    for (int index = 0; index < pins; ++index) {
        m_inputs.push_back(
            MakePin<TZemVokRealSinkPin>(this, TZemPinHandler::Of<&TRealDrain::Receive>(this)));
        TVokObject::LinkObjects(&m_lock, m_inputs.back().get());
    }
}

TRealDrain::~TRealDrain() {
    m_inputs.clear();
}

uint64_t TRealDrain::GetValues(int index) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_values.at(static_cast<size_t>(index));
}

TVokNotifyResults TRealDrain::Receive(TVokBasicPin* pin, const TVokGuid&, TVokNotifyFlags,
                                      TVokNotifyOperation* operation) {
    auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation);
    if (supplied == nullptr || supplied->GetBuffer() == nullptr) {
        return {};
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    for (size_t index = 0; index < m_inputs.size(); ++index) {
        if (m_inputs[index].get() == pin) {
            m_values[index] += supplied->GetBuffer()->GetSize();
        }
    }
    return {};
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return done();
        }
        TVokHeadlessMessageLoop::WaitAndProcessMessages(std::chrono::milliseconds(5));
    }
    return true;
}

// ---- fake service ------------------------------------------------------------------------------

class TFakeCaptureService::TStream final : public IHoxCaptureStream {
  public:
    TStream(TFakeCaptureService& service, const THoxStreamFormat& format, IHoxSampleSink& sink)
        : m_service(service), m_format(format), m_sink(sink) {}
    ~TStream() override {
        std::lock_guard<std::mutex> guard(m_service.m_mutex);
        if (m_service.m_stream == this) {
            m_service.m_stream = nullptr;
        }
    }
    THoxResult Start() override {
        m_running = true;
        return kHoxOk;
    }
    THoxResult Stop() override {
        m_running = false;
        return kHoxOk;
    }
    bool IsRunning() const override { return m_running; }
    const THoxStreamFormat& GetFormat() const override { return m_format; }
    uint64_t GetFramesCaptured() const override { return 0; }
    uint64_t GetOverflowCount() const override { return 0; }

    TFakeCaptureService& m_service;
    const THoxStreamFormat m_format;
    IHoxSampleSink& m_sink;
    std::atomic<bool> m_running{false};
};

THoxCaptureDeviceDesc TFakeCaptureService::Device(const std::string& name,
                                                  const std::string& moniker) {
    THoxCaptureDeviceDesc device;
    device.m_friendlyName = name;
    device.m_monikerName = moniker.empty() ? "Fake:" + name : moniker;
    device.m_maxInputChannels = 2;
    device.m_defaultSampleRate = 44100.0;
    return device;
}

std::vector<THoxCaptureDeviceDesc> TFakeCaptureService::ListInputDevices() {
    std::vector<THoxCaptureDeviceDesc> result;
    for (const THoxCaptureDeviceDesc& device : m_devices) {
        if (device.m_maxInputChannels > 0) {
            result.push_back(device);
        }
    }
    return result;
}

std::optional<THoxCaptureDeviceDesc> TFakeCaptureService::GetDefaultInputDevice() {
    if (m_defaultIndex < 0 || static_cast<size_t>(m_defaultIndex) >= m_devices.size()) {
        return std::nullopt;
    }
    return m_devices[static_cast<size_t>(m_defaultIndex)];
}

THoxResult TFakeCaptureService::CheckFormat(const std::string& monikerName,
                                            const THoxStreamFormat&) {
    for (const THoxCaptureDeviceDesc& device : m_devices) {
        if (device.m_monikerName == monikerName) {
            return m_formatResult;
        }
    }
    return kHoxErrorDeviceUnavailable;
}

THoxResult TFakeCaptureService::OpenStream(const std::string& monikerName,
                                           const THoxStreamFormat& format, IHoxSampleSink& sink,
                                           IHoxStreamListener&,
                                           std::unique_ptr<IHoxCaptureStream>& stream) {
    const THoxResult result = CheckFormat(monikerName, format);
    if (result != kHoxOk) {
        return result;
    }
    auto opened = std::make_unique<TStream>(*this, format, sink);
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_stream = opened.get();
        m_openedFormat = format;
    }
    stream = std::move(opened);
    return kHoxOk;
}

bool TFakeCaptureService::Push(const std::vector<uint8_t>& block, int64_t startTime,
                               int64_t stopTime) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_stream == nullptr || !m_stream->m_running) {
        return false;
    }
    m_stream->m_sink.SampleArrived(block.data(), static_cast<uint32_t>(block.size()), startTime,
                                   stopTime);
    return true;
}

std::optional<THoxStreamFormat> TFakeCaptureService::GetOpenedFormat() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_openedFormat;
}
