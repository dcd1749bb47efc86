#pragma once

#include "buffers/DruAudioBuffer.h"
#include "buffers/ZemVokStreamPins.h"
#include "capture/HoxCaptureService.h"
#include "pins/VokComponent.h"
#include "pins/VokPin.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

/// What a recording sink saw, in arrival order.
struct TRecordedEvent {
    enum TKind { kStartWave, kBuffer, kResume, kStop, kOther };
    TKind m_kind = kOther;
    std::chrono::steady_clock::time_point m_arrival;
    // kStartWave
    std::vector<uint8_t> m_format;
    float m_rate = 0.0f;
    // kBuffer
    uint32_t m_frames = 0;
    uint32_t m_sampleBytes = 0;
    bool m_timeValid = false;
    int64_t m_startTime = 0;
    int64_t m_stopTime = 0;
    std::vector<uint8_t> m_samples;
    /// Wakes of the delivery thread before this event (when a wake counter was given).
    uint64_t m_wake = 0;
};

/// A component with one audio sink pin that records every operation reaching it. The handler
/// runs on the sending thread; the record is guarded by its own mutex.
class TRecordingSink : public TVokComponent {
  public:
    /// With `keepSamples`, buffers' sample bytes are copied into the record.
    explicit TRecordingSink(bool keepSamples = false);
    ~TRecordingSink() override;

    TDruVokAudioSinkPin* GetInputPin() const { return m_input.get(); }
    /// Called for each event on the sending thread, after it was recorded.
    void SetWakeCounter(std::function<uint64_t()> counter);

    std::vector<TRecordedEvent> GetEvents() const;
    size_t CountOf(TRecordedEvent::TKind kind) const;
    /// Frames of all buffers received.
    uint64_t GetFrames() const;
    void Clear();

  private:
    TVokNotifyResults Receive(TVokBasicPin* pin, const TVokGuid& typeId, TVokNotifyFlags flags,
                              TVokNotifyOperation* operation);

    TVokObject m_lock;
    TVokPinPtr<TDruVokAudioSinkPin> m_input;
    const bool m_keepSamples;
    std::function<uint64_t()> m_wakeCounter;
    /// Guards m_events.
    mutable std::mutex m_mutex;
    std::vector<TRecordedEvent> m_events;
};

/// A component with real sink pins that count the values they receive (per pin).
class TRealDrain : public TVokComponent {
  public:
    explicit TRealDrain(int pins);
    ~TRealDrain() override;
    TZemVokRealSinkPin* GetInputPin(int index) const { return m_inputs.at(index).get(); }
    uint64_t GetValues(int index) const;

  private:
    TVokNotifyResults Receive(TVokBasicPin* pin, const TVokGuid& typeId, TVokNotifyFlags flags,
                              TVokNotifyOperation* operation);

    TVokObject m_lock;
    std::vector<TVokPinPtr<TZemVokRealSinkPin>> m_inputs;
    /// Guards m_values.
    mutable std::mutex m_mutex;
    std::vector<uint64_t> m_values;
};

/// Pumps the calling thread's message windows until `done` answers true or `timeout` passed;
/// answers `done()` at the end.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

/// A stand-in for the capture services with devices the test chooses. Its streams deliver only
/// what the test pushes through `Push`.
class TFakeCaptureService final : public IHoxCaptureService {
  public:
    class TStream;

    std::vector<THoxCaptureDeviceDesc> m_devices;
    /// Index into m_devices of the default input, or −1.
    int m_defaultIndex = 0;
    THoxResult m_formatResult = kHoxOk;

    /// A device with moniker "Fake:" + name and two channels.
    static THoxCaptureDeviceDesc Device(const std::string& name, const std::string& moniker = "");

    std::vector<THoxCaptureDeviceDesc> ListInputDevices() override;
    std::vector<THoxCaptureDeviceDesc> ListAllDevices() override { return m_devices; }
    std::optional<THoxCaptureDeviceDesc> GetDefaultInputDevice() override;
    THoxResult CheckFormat(const std::string& monikerName, const THoxStreamFormat& format) override;
    THoxResult OpenStream(const std::string& monikerName, const THoxStreamFormat& format,
                          IHoxSampleSink& sink, IHoxStreamListener& listener,
                          std::unique_ptr<IHoxCaptureStream>& stream) override;
    std::string GetErrorText(THoxResult code) override { return std::to_string(code); }

    /// Delivers a block to the last opened stream's sink (on the calling thread); false when no
    /// stream is open and running.
    bool Push(const std::vector<uint8_t>& block, int64_t startTime, int64_t stopTime);
    /// The format the last stream was opened with.
    std::optional<THoxStreamFormat> GetOpenedFormat() const;

  private:
    friend class TStream;
    mutable std::mutex m_mutex;
    TStream* m_stream = nullptr;
    std::optional<THoxStreamFormat> m_openedFormat;
};

/// Installs a capture service for the lifetime of the object and restores the previous one.
class TServiceScope {
  public:
    explicit TServiceScope(std::shared_ptr<IHoxCaptureService> service)
        : m_previous(HoxSetCaptureService(std::move(service))) {}
    ~TServiceScope() { HoxSetCaptureService(m_previous); }
    TServiceScope(const TServiceScope&) = delete;
    TServiceScope& operator=(const TServiceScope&) = delete;

  private:
    std::shared_ptr<IHoxCaptureService> m_previous;
};
