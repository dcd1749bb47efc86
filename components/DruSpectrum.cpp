#include "components/DruSpectrum.h"

#include "buffers/ZemInternalStore.h"
#include "dsp/VecPrimitives.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

namespace {

/// Hint stored in every transform context the analyser makes.
constexpr int32_t kFftHint = 2;

/// The transform's scaling flag for a normalisation: 1/N, 1/√N or none.
int32_t FftFlagOf(TZemFourierNormalization normalization) {
    switch (normalization) {
    case fnNormalize:
        return 1;
    case fnNormalizeSqrt:
        return 4;
    default:
        return 8;
    }
}

/// Samples from the current position to the start of the next window when `skip` samples
/// have passed since the last one started: step − skip. A skip beyond the step (left by a
/// first window completed while a sliding step was set) puts the next window beyond any count.
uint64_t GapToNextWindow(uint32_t step, uint32_t skip) {
    return skip > step ? std::numeric_limits<uint64_t>::max() : uint64_t{step} - skip;
}

uint32_t SaturatingAdd(uint32_t a, uint32_t b) {
    const uint64_t sum = uint64_t{a} + b;
    return sum > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                      : static_cast<uint32_t>(sum);
}

} // namespace

void TDruSpectrum::TAlignedFree::operator()(void* block) const noexcept {
    FreeAligned(block);
}

void TDruSpectrum::TContextFree::operator()(FftContext* context) const noexcept {
    FftFree(context);
}

TDruSpectrum::TDruSpectrum(TVokComponent* owner)
    : TDruCommonSplitter(owner), m_frequencyPinList(std::make_unique<TDruChannelPinList>(*this)) {
    TVokObject::LinkObjects(&m_lock, m_frequencyPinList.get());
    SetChannelCount(kDefaultChannels);
    if (owner == nullptr || !owner->IsDesigning()) {
        m_window = CreateMessageWindow([this](const TVokMessage& message) {
            if (message.Message == kResultMessage) {
                DeliverFrequencies();
            }
        });
        m_poster = m_window->GetPoster();
    }
}

TDruSpectrum::~TDruSpectrum() {
    // Stop the traffic while this class is still whole: after this no buffer arrives, the
    // transform is released and every output has sent its stop.
    ShutDown();
}

const TVokClassInfo& TDruSpectrum::ClassInfo() {
    using T = TDruSpectrum;
    static const TVokClassInfo info(
        "TDruSpectrum", &TDruCommonSplitter::ClassInfo(), TVokClassInfo::FactoryOf<T>,
        {
            TVokProp::Integer("Order", &T::GetOrder, &T::SetOrder, kDefaultOrder),
            TVokProp::Integer("SamplingWindowStep", &T::GetSamplingWindowStep,
                              &T::SetSamplingWindowStep, 0),
            TVokProp::Enum("Normalization", ZemFourierNormalizationNames(), &T::GetNormalization,
                           &T::SetNormalization, fnNormalize),
            TVokProp::Object("FrequencyOutputPins", &T::GetFrequencyOutputPins),
            TVokProp::Event("OnFrequencyResult", &T::GetOnFrequencyResult,
                            &T::SetOnFrequencyResult),
        });
    return info;
}

// ---- properties ------------------------------------------------------------------------------

int32_t TDruSpectrum::GetOrder() const {
    TVokReadLockSection section(const_cast<TVokObject&>(m_lock));
    return m_order;
}

void TDruSpectrum::SetOrder(int32_t order) {
    TVokWriteLockSection section(m_lock);
    m_order = std::clamp(order, kMinOrder, kMaxOrder);
}

uint32_t TDruSpectrum::GetSamplingWindowStep() const {
    TVokReadLockSection section(const_cast<TVokObject&>(m_lock));
    return m_samplingWindowStep;
}

void TDruSpectrum::SetSamplingWindowStep(uint32_t step) {
    TVokWriteLockSection section(m_lock);
    m_samplingWindowStep = step;
}

TZemFourierNormalization TDruSpectrum::GetNormalization() const {
    TVokReadLockSection section(const_cast<TVokObject&>(m_lock));
    return m_normalization;
}

void TDruSpectrum::SetNormalization(TZemFourierNormalization normalization) {
    if (normalization > fnNormalizeSqrt) {
        throw std::invalid_argument(Describe() + ": Normalization " +
                                    std::to_string(static_cast<int>(normalization)) +
                                    " is not fnNone, fnNormalize or fnNormalizeSqrt");
    }
    TVokWriteLockSection section(m_lock);
    if (normalization == m_normalization) {
        return;
    }
    m_normalization = normalization;
    if (m_context != nullptr) {
        ++m_generation;
        if (!CreateContext()) {
            ReleaseRun();
        }
    }
}

TVokRealSourcePin* TDruSpectrum::GetFrequencyOutputPin(int32_t channel) const {
    TVokReadLockSection section(const_cast<TVokObject&>(m_lock));
    if (channel < 0 || static_cast<size_t>(channel) >= m_frequencyPins.size()) {
        throw std::out_of_range(Describe() + ": Index out of range = " + std::to_string(channel));
    }
    return m_frequencyPins[static_cast<size_t>(channel)].get();
}

TDruFrequencyEvent TDruSpectrum::GetOnFrequencyResult() const {
    TVokReadLockSection section(const_cast<TVokObject&>(m_lock));
    return m_onFrequencyResult;
}

void TDruSpectrum::SetOnFrequencyResult(TDruFrequencyEvent handler) {
    TVokWriteLockSection section(m_lock);
    m_onFrequencyResult = std::move(handler);
}

double TDruSpectrum::GetResultFrequency(int32_t channel) const {
    TVokReadLockSection section(const_cast<TVokObject&>(m_lock));
    if (channel < 0 || static_cast<size_t>(channel) >= m_resultFrequencies.size()) {
        throw std::out_of_range(Describe() + ": Index out of range = " + std::to_string(channel));
    }
    return m_resultFrequencies[static_cast<size_t>(channel)];
}

bool TDruSpectrum::IsTransforming() const {
    TVokReadLockSection section(const_cast<TVokObject&>(m_lock));
    return m_context != nullptr;
}

void TDruSpectrum::SetChannelCount(int32_t count) {
    TVokGlobalWriteLockSection global;
    TVokWriteLockSection section(m_lock);
    TDruCommonSplitter::SetChannelCount(count);
    const size_t channels = GetOutputCount();
    m_resultFrequencies.resize(channels, 0.0);
    while (m_frequencyPins.size() > channels) {
        m_frequencyPinList->Remove(m_frequencyPins.back().get());
        m_frequencyPins.pop_back();
    }
    while (m_frequencyPins.size() < channels) {
        TVokPinPtr<TVokRealSourcePin> pin = MakePin<TVokRealSourcePin>(this);
        TVokObject::LinkObjects(&m_lock, pin.get());
        pin->FunctionSinkPins().Add(GetInputPin(), true);
        m_frequencyPinList->Add(pin.get());
        m_frequencyPins.push_back(std::move(pin));
    }
}

// ---- the stream --------------------------------------------------------------------------------

TVokPinPtr<TZemVokSourcePin> TDruSpectrum::CreateOutputPin() {
    return MakePin<TZemVokRealSourcePin>(
        this, TZemPinHandler::Of<&TDruSpectrum::ProcessOutputOperation>(this));
}

void TDruSpectrum::StartWave(const uint8_t* formatRecord) {
    if (formatRecord == nullptr) {
        return;
    }
    TDruCommonSplitter::StartWave(formatRecord);
    ReleaseRun();

    const int32_t order = m_order;
    const auto windowLength = uint64_t{1} << order;
    m_sampleRate = static_cast<double>(GetStreamFormat().m_samplesPerSecond);
    TRef<TVokNotifyOperation> start =
        MakeRef<TVokStartSpectrumOperation>(static_cast<int32_t>(windowLength / 2), m_sampleRate);
    BroadcastOperation(start.Get());

    // A window must fit one buffer; checking first keeps an order that cannot work from
    // setting up gigabytes of transform tables.
    if (windowLength * sizeof(double) > kMaxBlockSize) {
        return;
    }
    try {
        m_runOrder = order;
        m_windowLength = static_cast<uint32_t>(windowLength);
        m_spectrum.reset(
            static_cast<TVecComplex*>(AllocAligned((windowLength / 2 + 1) * sizeof(TVecComplex))));
        m_windows.resize(GetOutputCount());
        for (TChannelWindow& window : m_windows) {
            window.Window = MakeRef<TZemRealBuffer>(m_windowLength);
            window.Data = window.Window->GetWritePointer();
            window.Skip = m_samplingWindowStep;
        }
        if (!CreateContext()) {
            ReleaseRun();
        }
    } catch (const std::length_error&) {
        ReleaseRun();
    } catch (const std::bad_alloc&) {
        ReleaseRun();
    }
}

bool TDruSpectrum::CreateContext() {
    FftContext* raw = nullptr;
    if (FftInit(&raw, m_runOrder, FftFlagOf(m_normalization), kFftHint) != vsOk) {
        m_context.reset();
        return false;
    }
    m_context.reset(raw);
    int64_t workSize = 0;
    if (FftGetWorkSize(raw, &workSize) != vsOk) {
        m_context.reset();
        return false;
    }
    if (workSize > m_workSize) {
        try {
            m_work.reset(static_cast<uint8_t*>(AllocAligned(workSize)));
            m_workSize = workSize;
        } catch (const std::bad_alloc&) {
            m_work.reset();
            m_workSize = 0;
            m_context.reset();
            return false;
        }
    }
    return true;
}

void TDruSpectrum::ReleaseRun() noexcept {
    ++m_generation;
    m_context.reset();
    m_work.reset();
    m_workSize = 0;
    m_spectrum.reset();
    m_windows.clear();
    m_windowLength = 0;
}

void TDruSpectrum::StopOutputs() {
    ReleaseRun();
    TDruCommonSplitter::StopOutputs();
}

void TDruSpectrum::DeliverChannel(int32_t channel, const TRef<TZemRealBuffer>& samples) {
    if (m_context == nullptr || static_cast<size_t>(channel) >= m_windows.size()) {
        return;
    }
    const uint32_t step = m_samplingWindowStep;
    const uint32_t count = samples->GetSize();
    if (count == 0) {
        return;
    }
    const TChannelWindow& window = m_windows[static_cast<size_t>(channel)];
    if (window.Full && step > 0 && step < m_windowLength) {
        FeedSlidingMode(channel, samples->GetReadPointer(), count, step);
    } else {
        FeedFillMode(channel, samples->GetReadPointer(), count, step);
    }
}

void TDruSpectrum::FeedFillMode(int32_t channel, const double* samples, uint32_t count,
                                uint32_t step) {
    const uint64_t generation = m_generation;
    const uint32_t length = m_windowLength;
    auto* window = &m_windows[static_cast<size_t>(channel)];
    uint32_t offset = 0;
    uint32_t left = count;
    if (step > 0) {
        if (step < window->Skip) {
            window->Skip -= step;
        }
        if (window->Fill == 0) {
            const uint64_t gap = GapToNextWindow(step, window->Skip);
            if (count < gap) {
                // The whole buffer falls between two windows.
                window->Skip = SaturatingAdd(window->Skip, count);
                return;
            }
            offset = static_cast<uint32_t>(gap);
            left = count - offset;
            window->Skip = 0;
        }
    }
    while (left > 0) {
        const uint32_t take = std::min(left, length - window->Fill);
        VecCopy64f(samples + offset, window->Data + window->Fill, static_cast<int32_t>(take));
        window->Fill += take;
        window->Skip = SaturatingAdd(window->Skip, take);
        offset += take;
        left -= take;
        if (window->Fill < length) {
            continue;
        }
        window->Full = true;
        ComputeSpectrum(channel);
        if (generation != m_generation) {
            return; // a downstream handler restarted or stopped the stream
        }
        window = &m_windows[static_cast<size_t>(channel)];
        window->Fill = 0;
        if (step < window->Skip) {
            window->Skip -= step;
        }
        if (step > 0) {
            const uint64_t gap = GapToNextWindow(step, window->Skip);
            if (gap >= left) {
                window->Skip = SaturatingAdd(window->Skip, left);
                return;
            }
            offset += static_cast<uint32_t>(gap);
            left -= static_cast<uint32_t>(gap);
            window->Skip = 0;
        }
    }
}

void TDruSpectrum::FeedSlidingMode(int32_t channel, const double* samples, uint32_t count,
                                   uint32_t step) {
    const uint64_t generation = m_generation;
    const uint32_t length = m_windowLength;
    auto* window = &m_windows[static_cast<size_t>(channel)];
    // Shifts the window left by one step, making room for `step` new samples at its end.
    const auto shift = [length, step](double* data) {
        VecCopy64f(data + step, data, static_cast<int32_t>(length - step));
    };

    uint32_t offset = 0;
    const uint32_t pending = window->Pending;
    if (pending > 0) {
        // A buffer shorter than what the window still misses only adds what it has.
        const uint32_t take = std::min(pending, count);
        VecCopy64f(samples, window->Data + (length - pending), static_cast<int32_t>(take));
        if (take < pending) {
            window->Pending = pending - take;
            return;
        }
        window->Pending = 0;
        ComputeSpectrum(channel);
        if (generation != m_generation) {
            return;
        }
        window = &m_windows[static_cast<size_t>(channel)];
        offset = pending;
    }
    const uint32_t rest = count - offset;
    const uint32_t steps = rest / step;
    for (uint32_t k = 0; k < steps; ++k) {
        shift(window->Data);
        VecCopy64f(samples + offset + k * step, window->Data + (length - step),
                   static_cast<int32_t>(step));
        ComputeSpectrum(channel);
        if (generation != m_generation) {
            return;
        }
        window = &m_windows[static_cast<size_t>(channel)];
    }
    const uint32_t remainder = rest % step;
    if (remainder > 0) {
        shift(window->Data);
        VecCopy64f(samples + (count - remainder), window->Data + (length - step),
                   static_cast<int32_t>(remainder));
        window->Pending = step - remainder;
    } else {
        window->Pending = 0;
    }
}

void TDruSpectrum::ComputeSpectrum(int32_t channel) {
    const auto index = static_cast<size_t>(channel);
    const uint32_t bins = m_windowLength / 2;
    FftForwardReal(m_windows[index].Data, reinterpret_cast<double*>(m_spectrum.get()),
                   m_context.get(), m_work.get());
    TRef<TZemRealBuffer> magnitudes = MakeRef<TZemRealBuffer>(bins);
    double* values = magnitudes->GetWritePointer();
    VecMagnitude64fc(m_spectrum.get(), values, static_cast<int32_t>(bins));
    values[0] = 0.0;

    // The peak is only wanted by a handler or a linked frequency pin, and needs the window to
    // report to. It is found before the buffer leaves: a receiver may write into it.
    const bool wanted = static_cast<bool>(m_onFrequencyResult) ||
                        (index < m_frequencyPins.size() && m_frequencyPins[index]->IsConnected());
    double frequency = 0.0;
    if (wanted && m_poster) {
        uint32_t peak = 0;
        double best = values[0];
        for (uint32_t bin = 1; bin < bins; ++bin) {
            if (values[bin] > best) {
                best = values[bin];
                peak = bin;
            }
        }
        frequency = static_cast<double>(peak) * m_sampleRate / m_windowLength;
    }

    GetOutputAt(index)->SendBuffer(TRef<IZemDataBuffer>(magnitudes));

    if (index >= m_resultFrequencies.size()) {
        return;
    }
    if (!wanted) {
        m_resultFrequencies[index] = 0.0;
        return;
    }
    if (!m_poster) {
        return;
    }
    m_resultFrequencies[index] = frequency;
    // A refused post (the GUI thread is behind) loses nothing but intermediate values: the
    // next message reports the latest result.
    m_poster.Post(kResultMessage, 0, 0);
}

void TDruSpectrum::DeliverFrequencies() {
    for (size_t channel = 0;; ++channel) {
        double frequency = 0.0;
        TDruFrequencyEvent handler;
        {
            TVokReadLockSection section(m_lock);
            if (channel >= m_resultFrequencies.size()) {
                return;
            }
            frequency = m_resultFrequencies[channel];
            handler = m_onFrequencyResult;
        }
        if (handler) {
            handler(this, static_cast<int32_t>(channel), frequency);
        }
        // Looked up again: the handler may have changed the channel count.
        TVokReadLockSection section(m_lock);
        if (channel < m_frequencyPins.size()) {
            m_frequencyPins[channel]->SetValue(frequency);
        }
    }
}
