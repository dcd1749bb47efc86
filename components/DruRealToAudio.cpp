#include "components/DruRealToAudio.h"

#include "buffers/DruAudioBuffer.h"
#include "dsp/VecPrimitives.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

/// The output pin of the merger. Besides the wave start it forwards the start operations of its
/// inputs; only the wave start is remembered for sinks linked later, since a real-stream start
/// tells an audio sink nothing about the format.
class TMergerOutputPin final : public TDruVokAudioSourcePin {
  public:
    using TDruVokAudioSourcePin::TDruVokAudioSourcePin;

  protected:
    void Remember(TVokNotifyOperation* operation) override {
        if (OperationAs<TVokStartOperation>(operation) != nullptr &&
            OperationAs<TVokStartWaveOperation>(operation) == nullptr) {
            return;
        }
        TDruVokAudioSourcePin::Remember(operation);
    }
};

/// The low 32 bits of `value` rounded to the nearest integer (ties to even), for values the
/// fast conversion saturated. NaN and infinities give 0.
int32_t WrapToInt32(double value) {
    if (!std::isfinite(value)) {
        return 0;
    }
    constexpr double kTwoTo32 = 4294967296.0;
    // fmod of an integral double is exact, and so is adding 2^32 to a negative remainder.
    double remainder = std::fmod(std::nearbyint(value), kTwoTo32);
    if (remainder < 0.0) {
        remainder += kTwoTo32;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(remainder));
}

/// Rounds `count` samples to integers (ties to even), keeping the low 32 bits of values beyond
/// the 32-bit range.
void RoundSamples(const double* samples, int32_t* rounded, uint32_t count) {
    VecConvert64fTo32s(samples, rounded, static_cast<int32_t>(count), rmNearest, 0);
    for (uint32_t k = 0; k < count; ++k) {
        // Saturated results (and the two extreme values themselves) are recomputed exactly.
        if (rounded[k] == std::numeric_limits<int32_t>::max() ||
            rounded[k] == std::numeric_limits<int32_t>::min()) {
            rounded[k] = WrapToInt32(samples[k]);
        }
    }
}

/// Stores `count` values into one channel of interleaved frames starting at `destination`,
/// `step` bytes apart, keeping the low `containerBits` bits little-endian (8-bit: (x + 127)
/// modulo 256).
void StoreChannel(const int32_t* values, uint8_t* destination, uint32_t step,
                  uint32_t containerBits, uint32_t count) {
    switch (containerBits) {
    case 8:
        for (uint32_t k = 0; k < count; ++k) {
            destination[k * step] = static_cast<uint8_t>(static_cast<uint32_t>(values[k]) + 127U);
        }
        break;
    case 16:
        for (uint32_t k = 0; k < count; ++k) {
            const auto value = static_cast<uint32_t>(values[k]);
            uint8_t* sample = destination + k * step;
            sample[0] = static_cast<uint8_t>(value);
            sample[1] = static_cast<uint8_t>(value >> 8);
        }
        break;
    case 24:
        for (uint32_t k = 0; k < count; ++k) {
            const auto value = static_cast<uint32_t>(values[k]);
            uint8_t* sample = destination + k * step;
            sample[0] = static_cast<uint8_t>(value);
            sample[1] = static_cast<uint8_t>(value >> 8);
            sample[2] = static_cast<uint8_t>(value >> 16);
        }
        break;
    case 32:
        for (uint32_t k = 0; k < count; ++k) {
            const auto value = static_cast<uint32_t>(values[k]);
            uint8_t* sample = destination + k * step;
            sample[0] = static_cast<uint8_t>(value);
            sample[1] = static_cast<uint8_t>(value >> 8);
            sample[2] = static_cast<uint8_t>(value >> 16);
            sample[3] = static_cast<uint8_t>(value >> 24);
        }
        break;
    default:
        break; // the format keeps container bits at 8, 16, 24 or 32
    }
}

} // namespace

TDruRealToAudio::TDruRealToAudio(TVokComponent* owner)
    : TVokComponent(owner),
      m_format(std::make_unique<TDruAudioFormat>(
          &m_lock, [this](TDruAudioFormatBasic& /*format*/) { OnFormatChange(); })),
      m_outputPin(TVokPinPtr<TDruVokAudioSourcePin>(
          new TMergerOutputPin(this, TZemPinHandler::Of<&TDruRealToAudio::HandleOutput>(this)))),
      m_inputPins(std::make_unique<TVokPinList>(this, true)) {
    TVokGlobalWriteLockSection global;
    TVokObject::LinkObjects(&m_lock, m_outputPin.get());
    TVokObject::LinkObjects(&m_lock, m_inputPins.get());
    TVokWriteLockSection section(m_lock);
    OnFormatChange();
}

TDruRealToAudio::~TDruRealToAudio() {
    for (TZemVokQueuedRealSinkPin* input : m_inputs) {
        input->Disconnect();
    }
    {
        TVokWriteLockSection section(m_lock);
        StopOutput();
    }
    m_outputPin->Disconnect();
    TVokGlobalWriteLockSection global;
    m_inputs.clear();
    m_inputPins.reset();
}

const TVokClassInfo& TDruRealToAudio::ClassInfo() {
    using T = TDruRealToAudio;
    static const TVokClassInfo info("TDruRealToAudio", &TVokComponent::ClassInfo(),
                                    TVokClassInfo::FactoryOf<T>,
                                    {
                                        TVokProp::Object("AudioFormat", &T::GetAudioFormat),
                                        TVokProp::Object("OutputPin", &T::GetOutputPin),
                                        TVokProp::Object("InputPins", &T::GetInputPins),
                                    });
    return info;
}

void TDruRealToAudio::OnFormatChange() {
    const uint32_t channels = m_format->GetChannels();
    if (channels != m_inputs.size()) {
        TVokGlobalWriteLockSection global;
        while (m_inputs.size() > channels) {
            TZemVokQueuedRealSinkPin* input = m_inputs.back();
            m_inputs.pop_back();
            m_inputPins->Remove(input); // frees it; its unlink stops the output
        }
        while (m_inputs.size() < channels) {
            auto input = MakePin<TZemVokQueuedRealSinkPin>(
                this, TZemPinHandler::Of<&TDruRealToAudio::HandleInput>(this));
            TVokObject::LinkObjects(&m_lock, input.get());
            m_outputPin->FunctionSinkPins().Add(input.get(), true);
            m_inputPins->Add(input.get());
            m_inputs.push_back(input.release());
        }
    }
    RecomputeRates();
}

bool TDruRealToAudio::RecomputeRates() {
    double rate = 0.0;
    bool allStarted = true;
    for (const TZemVokQueuedRealSinkPin* input : m_inputs) {
        if (!input->IsConnected()) {
            continue;
        }
        if (input->IsStarted()) {
            rate = std::max(rate, input->GetInputRate());
        } else {
            allStarted = false;
        }
    }
    m_outputRate = rate;
    if (!allStarted || rate <= 0.0) {
        return false;
    }
    const double bufferSize = m_format->GetBufferSize();
    for (TZemVokQueuedRealSinkPin* input : m_inputs) {
        if (input->IsConnected() && input->IsStarted()) {
            input->SetBlockSamples(
                ZemNearestBlockSamples(bufferSize * input->GetInputRate() / rate));
        }
    }
    return true;
}

void TDruRealToAudio::TryToStart() {
    const bool ready = RecomputeRates();
    if (m_started || !ready) {
        return;
    }
    const double rounded = std::nearbyint(m_outputRate);
    const double largest = std::numeric_limits<uint32_t>::max();
    // Takes the format's write section (this component's lock, already held) and recomputes.
    m_format->SetSampleRate(static_cast<uint32_t>(std::min(rounded, largest)));
    // Marked before the start goes out, so that anything the start provokes downstream sees a
    // running output and does not start it a second time.
    m_started = true;
    // Like every audio source, the start carries buffers per second as its rate and the
    // sample rate in the format record.
    const float buffersPerSecond = static_cast<float>(
        static_cast<double>(m_format->GetSampleRate()) / m_format->GetBufferSize());
    TRef<TVokNotifyOperation> start =
        MakeRef<TVokStartWaveOperation>(m_format->GetFormatRecord(), buffersPerSecond);
    m_outputPin->Notify(start.Get());
}

void TDruRealToAudio::StopOutput() {
    m_started = false;
    for (TZemVokQueuedRealSinkPin* input : m_inputs) {
        input->GetQueue().Clear(); // the stream they belonged to has ended
    }
    m_outputPin->SendStop();
}

TVokNotifyResults TDruRealToAudio::HandleInput(TVokBasicPin* pin, const TVokGuid& /*typeId*/,
                                               TVokNotifyFlags /*flags*/,
                                               TVokNotifyOperation* operation) {
    auto* input = dynamic_cast<TZemVokQueuedRealSinkPin*>(pin);
    if (input == nullptr || operation == nullptr) {
        return {};
    }
    return ProcessInputOperation(*input, operation);
}

TVokNotifyResults TDruRealToAudio::HandleOutput(TVokBasicPin* /*pin*/, const TVokGuid& /*typeId*/,
                                                TVokNotifyFlags /*flags*/,
                                                TVokNotifyOperation* operation) {
    if (operation == nullptr) {
        return {};
    }
    return ProcessOutputOperation(operation);
}

TVokNotifyResults TDruRealToAudio::ProcessInputOperation(TZemVokQueuedRealSinkPin& pin,
                                                         TVokNotifyOperation* operation) {
    if (auto* start = OperationAs<TVokStartSampleRateOperation>(operation)) {
        m_blockCounter = 0;
        pin.TakeStart(*start);
        TryToStart();
        return m_outputPin->Notify(operation);
    }
    if (OperationAs<TVokStopOperation>(operation) != nullptr) {
        pin.SetStopped(true); // it stays started: its next start restarts the output
        StopOutput();
        return m_outputPin->Notify(operation);
    }
    if (auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation)) {
        auto* buffer = BufferCast<TZemRealBuffer>(supplied->GetBuffer());
        // Samples are kept only where they can be used: an input that has not started (or
        // has stopped and not started again) belongs to no stream, and one whose block length
        // is 0 contributes nothing while the output runs. While the output is not running
        // only the newest buffer is kept, so that an input waiting for the others cannot pile
        // up samples without bound.
        if (buffer == nullptr || !pin.IsStarted() || pin.IsStopped() ||
            (m_started && pin.GetBlockSamples() == 0)) {
            return {};
        }
        pin.KeepBuffer(MakeRef<TZemRealBuffer>(buffer), m_started);
        pin.SetReceivedData(true);
        TryToProcess();
        return {};
    }
    if (OperationAs<TVokZemResumeOperation>(operation) != nullptr && m_blockCounter < 3) {
        return {};
    }
    return m_outputPin->Notify(operation);
}

TVokNotifyResults TDruRealToAudio::ProcessOutputOperation(TVokNotifyOperation* operation) {
    for (TZemVokQueuedRealSinkPin* input : m_inputs) {
        input->SetReceivedData(false);
    }
    for (size_t i = 0; i < m_inputs.size(); ++i) {
        TZemVokQueuedRealSinkPin* input = m_inputs[i];
        if (!input->HasReceivedData()) {
            input->Notify(operation);
        }
    }
    return {};
}

void TDruRealToAudio::TryToProcess() {
    if (m_busy || !m_started) {
        return;
    }
    // Every complete block is made now. The count queued on entry bounds the loop, so that
    // producers on other threads cannot keep it running.
    uint64_t blocks = std::numeric_limits<uint64_t>::max();
    bool anyContributes = false;
    for (const TZemVokQueuedRealSinkPin* input : m_inputs) {
        if (input->IsConnected() && input->GetBlockSamples() > 0) {
            anyContributes = true;
            blocks = std::min(blocks, input->GetQueue().GetAvailable() / input->GetBlockSamples());
        }
    }
    if (!anyContributes) {
        return;
    }
    m_busy = true;
    try {
        for (uint64_t block = 0; block < blocks && m_started; ++block) {
            const bool ready = std::all_of(m_inputs.begin(), m_inputs.end(), [](const auto* input) {
                return !input->IsConnected() ||
                       input->GetQueue().GetAvailable() >= input->GetBlockSamples();
            });
            if (!ready) {
                break;
            }
            ProduceBlock();
        }
    } catch (...) {
        m_busy = false;
        throw;
    }
    m_busy = false;
}

void TDruRealToAudio::ProduceBlock() {
    const uint32_t frames = m_format->GetBufferSize();
    const uint32_t channels = m_format->GetChannels();
    const uint32_t containerBits = m_format->GetContainerBits();
    const uint32_t blockAlign = m_format->GetBlockAlign();
    TRef<TDruAudioBuffer> audio =
        MakeRef<TDruAudioBuffer>(m_format->GetSampleRate(), m_format->GetChannelMask(), frames,
                                 channels, m_format->GetBits());
    if (!m_temporary || m_temporary->GetSize() != frames) {
        m_temporary = MakeRef<TZemRealBuffer>(frames);
    }
    if (m_rounded.size() != frames) {
        m_rounded.resize(frames);
    }
    uint8_t* data = audio->GetWritePointer();
    for (uint32_t channel = 0; channel < channels; ++channel) {
        TZemVokQueuedRealSinkPin* input = channel < m_inputs.size() ? m_inputs[channel] : nullptr;
        if (input != nullptr && input->IsConnected() && input->ExtractBlock(*m_temporary)) {
            RoundSamples(m_temporary->GetReadPointer(), m_rounded.data(), frames);
        } else {
            std::fill(m_rounded.begin(), m_rounded.end(), 0); // silence
        }
        StoreChannel(m_rounded.data(), data + channel * (containerBits / 8), blockAlign,
                     containerBits, frames);
    }
    m_outputPin->SendBuffer(audio);
    if (m_blockCounter < 3) {
        ++m_blockCounter;
        if (m_blockCounter == 3) {
            TRef<TVokNotifyOperation> resume = MakeRef<TVokZemResumeOperation>();
            m_outputPin->Notify(resume.Get());
        }
    }
}
