#include "components/DruCommonGen.h"

#include "components/ZemClockGen.h"
#include "dsp/VecPrimitives.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

/// Largest scratch block the pool can hand out (2^30 bytes) in 16-bit samples.
constexpr uint32_t kMaxScratchSamples = (uint32_t{1} << 30) / 2;

/// Converts one scratch channel into a wider container: dst(x) = x × fullScale ÷ 32767,
/// truncating, stored little-endian in `bytes` bytes per sample. Only −32768 lies beyond full
/// scale; it saturates to the container's smallest value.
void WidenInto(const int16_t* source, uint8_t* destination, uint32_t blockAlign, uint32_t frames,
               int64_t fullScale, uint32_t bytes) {
    const int64_t lowest = -fullScale - 1;
    for (uint32_t frame = 0; frame < frames; ++frame) {
        const int64_t widened =
            std::max(static_cast<int64_t>(source[frame]) * fullScale / 32767, lowest);
        const auto value = static_cast<uint32_t>(static_cast<int32_t>(widened));
        uint8_t* sample = destination + static_cast<size_t>(frame) * blockAlign;
        for (uint32_t byte = 0; byte < bytes; ++byte) {
            sample[byte] = static_cast<uint8_t>(value >> (8 * byte));
        }
    }
}

} // namespace

// ---- construction ------------------------------------------------------------------------

TDruCommonGen::TDruCommonGen(TVokComponent* owner) : TVokComponent(owner) {
    m_audioFormat = std::make_unique<TDruAudioFormat>(
        &m_lock, [this](TDruAudioFormatBasic&) { FormatChanged(); });
    m_outputPin = MakePin<TDruVokAudioSourcePin>(
        this, TZemPinHandler::Of<&TDruCommonGen::ProcessOutputOperation>(this));
    m_enablePin = MakePin<TVokBoolStatePin>(
        this, 0, [this](TVokBoolStatePin&, bool value) { SetEnabled(value); });
    m_clockPin = MakePin<TVokClockSinkPin>(this, 0, [this](TVokClockSinkPin&) { ExternalTick(); });
    TVokObject::LinkObjects(&m_lock, m_outputPin.get());
    TVokObject::LinkObjects(&m_lock, m_enablePin.get());
    TVokObject::LinkObjects(&m_lock, m_clockPin.get());
    m_outputPin->FunctionSinkPins().Add(m_clockPin.get(), true);
    // The pin shows the current value from the start (nothing is linked yet, so nothing is
    // sent).
    m_enablePin->SetValue(GetEnabled());
    TVokWriteLockSection section(m_lock);
    FormatChanged();
}

TDruCommonGen::~TDruCommonGen() {
    ShutDown();
}

const TVokClassInfo& TDruCommonGen::ClassInfo() {
    using T = TDruCommonGen;
    static const TVokClassInfo info(
        "TDruCommonGen", &TVokComponent::ClassInfo(), nullptr,
        {
            TVokProp::Bool("Enabled", &T::GetEnabled, &T::SetEnabled, true),
            TVokProp::Object("AudioFormat", &T::GetAudioFormat, &T::SetAudioFormat),
            TVokProp::Object("OutputPin", &T::GetOutputPin),
            TVokProp::Object("EnablePin", &T::GetEnablePin),
            TVokProp::Object("ClockPin", &T::GetClockPin),
            TVokProp::Integer("PumpPriority", &T::GetPumpPriority, &T::SetPumpPriority, 0),
            TVokProp::Enum("ClockSource", ZemClockSourceNames(), &T::GetClockSource,
                           &T::SetClockSource, csInternal),
        });
    return info;
}

// ---- properties --------------------------------------------------------------------------

void TDruCommonGen::SetEnabled(bool enabled) {
    if (GetEnabled() == enabled) {
        return;
    }
    TVokGlobalWriteLockSection global;
    {
        TVokWriteLockSection section(m_lock);
        if (GetEnabled() == enabled) {
            return;
        }
        m_enabled.store(enabled, std::memory_order_release);
        if (enabled) {
            if (!IsDesigning()) {
                StartIfConnected();
            }
        } else {
            Stop();
        }
    }
    m_enablePin->SetValue(enabled);
}

void TDruCommonGen::SetAudioFormat(TDruAudioFormat* format) {
    if (format == nullptr) {
        throw std::invalid_argument("TDruCommonGen " + GetName() +
                                    ": AudioFormat cannot be set to nothing");
    }
    if (format != m_audioFormat.get()) {
        m_audioFormat->Assign(format);
    }
}

void TDruCommonGen::SetPumpPriority(int32_t priority) {
    TVokWriteLockSection section(m_lock);
    m_pumpPriority.store(priority, std::memory_order_release);
}

void TDruCommonGen::SetClockSource(TZemClockSource source) {
    if (source != csInternal && source != csExternal) {
        throw std::invalid_argument("TDruCommonGen " + GetName() + ": ClockSource " +
                                    std::to_string(static_cast<int>(source)) +
                                    " is neither csInternal nor csExternal");
    }
    TVokWriteLockSection section(m_lock);
    m_clockSource.store(source, std::memory_order_release);
}

void TDruCommonGen::Loaded() {
    TVokComponent::Loaded();
    if (!IsDesigning() && GetEnabled()) {
        StartIfConnected();
    }
}

// ---- starting and stopping ---------------------------------------------------------------

uint32_t TDruCommonGen::ClockPeriodFor(uint32_t sampleRate, uint32_t bufferSize) noexcept {
    if (sampleRate == 0) {
        return 0;
    }
    const double buffersPerSecond =
        static_cast<double>(sampleRate) / static_cast<double>(std::max<uint32_t>(bufferSize, 1));
    const double period = std::nearbyint(999.0 / buffersPerSecond);
    if (period < 1.0) {
        return 1;
    }
    if (period > static_cast<double>(std::numeric_limits<uint32_t>::max())) {
        return std::numeric_limits<uint32_t>::max();
    }
    return static_cast<uint32_t>(period);
}

void TDruCommonGen::StartIfConnected() {
    TVokGlobalWriteLockSection global;
    TVokWriteLockSection section(m_lock);
    if (!IsOutputConnected()) {
        return;
    }
    if (GetClockSource() == csExternal) {
        m_clocked.store(true, std::memory_order_release);
    } else {
        RequestPump(1.0f);
    }
    Start();
}

void TDruCommonGen::RequestPump(float desiredRate) {
    TRef<TVokPumpRequestOperation> request =
        MakeRef<TVokPumpRequestOperation>(this, desiredRate, GetPumpPriority(), kPumpType);
    m_outputPin->Notify(request.Get());
    // A component downstream that pumps the stream itself names itself in the request.
    TVokComponent* pump = request->GetPump();
    if (pump == this) {
        m_clocked.store(true, std::memory_order_release);
    } else {
        m_clocked.store(false, std::memory_order_release);
        m_foreignPump.store(pump, std::memory_order_release);
    }
}

void TDruCommonGen::SetupClock() {
    if (GetClockSource() == csExternal) {
        m_clocked.store(true, std::memory_order_release);
        return;
    }
    const uint32_t sampleRate = m_audioFormat->GetSampleRate();
    const uint32_t bufferSize = m_audioFormat->GetBufferSize();
    RequestPump(static_cast<float>(sampleRate / bufferSize));
    if (IsClocked() && GetClockItem() == nullptr) {
        m_clockItem.store(
            RegisterClockClient(
                ClockPeriodFor(sampleRate, bufferSize), &m_lock, [this] { InternalTick(); }, this),
            std::memory_order_release);
    }
}

void TDruCommonGen::PrepareBufferSize(uint32_t /*frames*/) {
}

void TDruCommonGen::SetGenerationRate(double rate) {
    m_generationRate.store(rate, std::memory_order_release);
}

void TDruCommonGen::Start() {
    TVokGlobalWriteLockSection global;
    TVokWriteLockSection section(m_lock);
    m_blockCounter = 0;
    m_restart.store(true, std::memory_order_release);
    SetupClock();
    PrepareBufferSize(m_audioFormat->GetBufferSize());
    SetGenerationRate(m_audioFormat->GetSampleRate());
    m_running.store(true, std::memory_order_release);
    // Buffers per second, divided in integers.
    const auto rate =
        static_cast<float>(m_audioFormat->GetSampleRate() / m_audioFormat->GetBufferSize());
    TRef<TVokNotifyOperation> start =
        MakeRef<TVokStartWaveOperation>(m_audioFormat->GetFormatRecord(), rate);
    m_outputPin->Notify(start.Get());
    if (GetClockSource() == csInternal && !IsClocked()) {
        TRef<TVokNotifyOperation> pump = MakeRef<TVokStartPumpOperation>();
        m_outputPin->Notify(pump.Get());
    }
}

void TDruCommonGen::Stop() {
    // The clock is released before the group is taken: unregistering takes the global write
    // lock, which must come first.
    if (TZemClockGenItem* item = m_clockItem.exchange(nullptr, std::memory_order_acq_rel)) {
        try {
            UnregisterClockClient(item, &m_lock);
        } catch (const std::exception&) {
            // The registry was shut down at program exit and took the item with it.
        }
    }
    TVokWriteLockSection section(m_lock);
    m_restart.store(true, std::memory_order_release);
    m_running.store(false, std::memory_order_release);
    TRef<TVokNotifyOperation> endStop = MakeRef<TVokEndStopOperation>();
    m_outputPin->Notify(endStop.Get());
}

void TDruCommonGen::ShutDown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    Stop();
}

bool TDruCommonGen::IsOutputConnected() const {
    return m_outputPin->HasSinks();
}

// ---- ticks and blocks --------------------------------------------------------------------

void TDruCommonGen::ExternalTick() {
    if (IsClocked() && GetClockSource() == csExternal) {
        GenerateBlock();
    }
}

void TDruCommonGen::InternalTick() {
    if (GetClockSource() == csInternal) {
        GenerateBlock();
    }
}

void TDruCommonGen::GenerateBlock() {
    TVokWriteLockSection section(m_lock);
    if (!IsRunning()) {
        return;
    }
    const TDruAudioFormat& format = *m_audioFormat;
    TRef<TDruAudioBuffer> buffer =
        MakeRef<TDruAudioBuffer>(format.GetSampleRate(), format.GetChannelMask(),
                                 format.GetBufferSize(), format.GetChannels(), format.GetBits());
    bool send = true;
    bool stop = false;
    FillBuffer(*buffer, send, stop);
    if (send) {
        m_outputPin->SendBuffer(std::move(buffer));
    }
    // A sink may have stopped the generator while it received the buffer.
    if (IsRunning()) {
        if (m_blockCounter < 2) {
            ++m_blockCounter;
        } else if (m_blockCounter == 2) {
            m_blockCounter = 20;
            TRef<TVokNotifyOperation> resume = MakeRef<TVokZemResumeOperation>();
            m_outputPin->Notify(resume.Get());
        }
    }
    if (stop) {
        Stop();
    }
}

TVokNotifyResults TDruCommonGen::ProcessOutputOperation(TVokBasicPin* /*receiver*/,
                                                        const TVokGuid& /*typeId*/,
                                                        TVokNotifyFlags /*flags*/,
                                                        TVokNotifyOperation* operation) {
    if (const auto* start = OperationAs<TVokStartSampleRateOperation>(operation)) {
        SetupClock();
        SetGenerationRate(start->GetSampleRate());
    } else if (OperationAs<TVokStopOperation>(operation) != nullptr) {
        Stop();
    } else if (OperationAs<TVokQueryStreamOperation>(operation) != nullptr && !GetEnabled()) {
        TRef<TVokNotifyOperation> ignore = MakeRef<TVokIgnoreStreamOperation>();
        m_outputPin->Notify(ignore.Get());
    }
    return {};
}

// ---- scratch block -----------------------------------------------------------------------

void TDruCommonGen::FormatChanged() {
    const uint32_t frames = m_audioFormat->GetBufferSize();
    m_scratch.Reset();
    m_scratchCount = 0;
    if (frames > kMaxScratchSamples) {
        throw std::length_error("TDruCommonGen " + GetName() + ": BufferSize " +
                                std::to_string(frames) + " exceeds the largest block of " +
                                std::to_string(kMaxScratchSamples) + " samples");
    }
    m_scratch = MakeRef<TZemBlockBuffer>(frames * 2);
    m_scratchCount = frames;
}

int16_t* TDruCommonGen::ScratchSamples() {
    // The block comes from the pool 32-byte aligned and is never shared, so the write pointer
    // never copies.
    return m_scratch ? reinterpret_cast<int16_t*>(m_scratch->GetWritePointer()) : nullptr;
}

void TDruCommonGen::CopyScratchToChannels(TDruAudioBuffer& buffer, uint32_t frames) {
    const int16_t* source = ScratchSamples();
    frames = std::min({frames, buffer.GetSize(), m_scratchCount});
    if (source == nullptr || frames == 0) {
        return;
    }
    uint8_t* data = buffer.GetWritePointer();
    const uint32_t blockAlign = buffer.GetBlockAlign();
    const uint32_t containerBytes = buffer.GetContainerBits() / 8;
    const auto height = static_cast<int32_t>(frames);
    const auto step = static_cast<int32_t>(blockAlign);
    for (uint32_t channel = 0; channel < buffer.GetChannels(); ++channel) {
        uint8_t* destination = data + static_cast<size_t>(channel) * containerBytes;
        switch (containerBytes) {
        case 1:
            VecConvertStrided16sTo8u(source, sizeof(int16_t), destination, step, 1, height);
            break;
        case 2:
            VecCopyStrided16s(source, sizeof(int16_t), reinterpret_cast<int16_t*>(destination),
                              step, 1, height);
            break;
        case 3:
            WidenInto(source, destination, blockAlign, frames, 8388607, 3);
            break;
        default:
            WidenInto(source, destination, blockAlign, frames, 2147483647, 4);
            break;
        }
    }
}
