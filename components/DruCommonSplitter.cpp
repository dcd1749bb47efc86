#include "components/DruCommonSplitter.h"

#include "dsp/VecPrimitives.h"

#include <algorithm>
#include <stdexcept>
#include <string>

// ---- TDruChannelPinList ----------------------------------------------------------------------

TDruChannelPinList::TDruChannelPinList(TDruCommonSplitter& splitter)
    : TVokPinList(&splitter, false), m_splitter(splitter) {
}

void TDruChannelPinList::SetCount(int count) {
    m_splitter.SetChannelCount(count);
}

// ---- TDruCommonSplitter ----------------------------------------------------------------------

TDruCommonSplitter::TDruCommonSplitter(TVokComponent* owner)
    : TVokComponent(owner),
      m_inputPin(MakePin<TDruVokAudioSinkPin>(
          this, TZemPinHandler::Of<&TDruCommonSplitter::ProcessInputOperation>(this))),
      m_outputPins(std::make_unique<TDruChannelPinList>(*this)) {
    TVokObject::LinkObjects(&m_lock, m_inputPin.get());
    TVokObject::LinkObjects(&m_lock, m_outputPins.get());
}

TDruCommonSplitter::~TDruCommonSplitter() {
    ShutDown();
}

const TVokClassInfo& TDruCommonSplitter::ClassInfo() {
    using T = TDruCommonSplitter;
    static const TVokClassInfo info("TDruCommonSplitter", &TVokComponent::ClassInfo(), nullptr,
                                    {
                                        TVokProp::Object("InputPin", &T::GetInputPin),
                                        TVokProp::Object("OutputPins", &T::GetOutputPins),
                                        TVokProp::Integer("CountChannels", &T::GetCountChannels,
                                                          &T::SetCountChannels, kDefaultChannels),
                                    });
    return info;
}

std::string TDruCommonSplitter::Describe() const {
    std::string text = GetClassInfo().GetClassName();
    if (!GetName().empty()) {
        text += " " + GetName();
    }
    return text;
}

void TDruCommonSplitter::ShutDown() noexcept {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    try {
        // Disconnecting takes the global write lock, so it waits for a buffer in flight; no
        // buffer arrives afterwards.
        m_inputPin->Disconnect();
        TVokWriteLockSection section(m_lock);
        StopOutputs();
    } catch (...) {
        // A failing downstream handler must not escape a destructor; the pins still tell
        // their sinks about the stop when they are freed.
    }
}

TZemVokSourcePin* TDruCommonSplitter::GetOutputPin(int32_t channel) const {
    TVokReadLockSection section(const_cast<TVokObject&>(m_lock));
    if (channel < 0 || static_cast<size_t>(channel) >= m_outputs.size()) {
        throw std::out_of_range(Describe() + ": Index out of range = " + std::to_string(channel));
    }
    return m_outputs[static_cast<size_t>(channel)].get();
}

int32_t TDruCommonSplitter::GetCountChannels() const {
    TVokReadLockSection section(const_cast<TVokObject&>(m_lock));
    return static_cast<int32_t>(m_outputs.size());
}

void TDruCommonSplitter::SetChannelCount(int32_t count) {
    const auto wanted = static_cast<size_t>(std::clamp(count, kMinChannels, kMaxChannels));
    TVokGlobalWriteLockSection global;
    TVokWriteLockSection section(m_lock);
    while (m_outputs.size() > wanted) {
        m_outputPins->Remove(m_outputs.back().get());
        // Freeing the pin unlinks its sinks, each of which hears that its stream stopped.
        m_outputs.pop_back();
    }
    while (m_outputs.size() < wanted) {
        TVokPinPtr<TZemVokSourcePin> pin = CreateOutputPin();
        TVokObject::LinkObjects(&m_lock, pin.get());
        pin->FunctionSinkPins().Add(m_inputPin.get(), true);
        m_outputPins->Add(pin.get());
        m_outputs.push_back(std::move(pin));
    }
}

TVokPinPtr<TZemVokSourcePin> TDruCommonSplitter::CreateOutputPin() {
    return MakePin<TZemVokRealSourcePin>(
        this, TZemPinHandler::Of<&TDruCommonSplitter::ProcessOutputOperation>(this));
}

void TDruCommonSplitter::StartWave(const uint8_t* formatRecord) {
    if (formatRecord != nullptr) {
        m_format = DruLoadWaveFormat(formatRecord);
    }
}

void TDruCommonSplitter::StopOutputs() {
    TRef<TVokNotifyOperation> stop = MakeRef<TVokStopOperation>();
    BroadcastOperation(stop.Get());
}

void TDruCommonSplitter::ResumeOutputs() {
    TRef<TVokNotifyOperation> resume = MakeRef<TVokZemResumeOperation>();
    BroadcastOperation(resume.Get());
}

void TDruCommonSplitter::BroadcastOperation(TVokNotifyOperation* operation) {
    // Indexed, re-reading the size: a downstream handler that changes the channel count
    // cannot make this loop run past the vector.
    for (size_t channel = 0; channel < m_outputs.size(); ++channel) {
        m_outputs[channel]->Notify(operation);
    }
}

TVokNotifyResults TDruCommonSplitter::ProcessInputOperation(TVokBasicPin* /*pin*/,
                                                            const TVokGuid& /*typeId*/,
                                                            TVokNotifyFlags /*flags*/,
                                                            TVokNotifyOperation* operation) {
    // Buffers are by far the most frequent operation, so they are tested first.
    if (const auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation)) {
        const IZemDataBuffer* buffer = supplied->GetBuffer();
        if (buffer == nullptr) {
            return {};
        }
        const auto* audio = BufferCast<TDruAudioBuffer>(buffer);
        if (audio == nullptr) {
            throw std::invalid_argument(Describe() +
                                        ": the supplied buffer is not an audio buffer");
        }
        ProcessAudio(*audio);
    } else if (const auto* start = OperationAs<TVokStartWaveOperation>(operation)) {
        StartWave(start->GetFormatRecord());
    } else if (OperationAs<TVokStopOperation>(operation) != nullptr) {
        StopOutputs();
    } else if (OperationAs<TVokZemResumeOperation>(operation) != nullptr) {
        ResumeOutputs();
    }
    return {};
}

TVokNotifyResults TDruCommonSplitter::ProcessOutputOperation(TVokBasicPin* pin,
                                                             const TVokGuid& typeId,
                                                             TVokNotifyFlags flags,
                                                             TVokNotifyOperation* operation) {
    if (m_inputPin->HasSourcePin()) {
        return m_inputPin->Notify(operation);
    }
    return ProcessInputOperation(pin, typeId, flags, operation);
}

void TDruCommonSplitter::ProcessAudio(const TDruAudioBuffer& buffer) {
    void (TDruCommonSplitter::*convert)(int32_t, const TDruAudioBuffer&) = nullptr;
    switch (m_format.m_bitsPerSample) {
    case 8:
        convert = &TDruCommonSplitter::ConvertChannel8;
        break;
    case 16:
        convert = &TDruCommonSplitter::ConvertChannel16;
        break;
    case 24:
        convert = &TDruCommonSplitter::ConvertChannel24;
        break;
    case 32:
        convert = &TDruCommonSplitter::ConvertChannel32;
        break;
    default:
        return;
    }
    // Output pins at or above the stream's channel count have no channel of their own: they
    // would read their neighbour's bytes, so they get nothing.
    for (size_t channel = 0; channel < m_outputs.size() && channel < m_format.m_channels;
         ++channel) {
        if (m_outputs[channel]->IsConnected()) {
            (this->*convert)(static_cast<int32_t>(channel), buffer);
        }
    }
}

TDruCommonSplitter::TChannelSpan
TDruCommonSplitter::ChannelSpan(int32_t channel, uint32_t sampleBytes,
                                const TDruAudioBuffer& buffer) const {
    const uint64_t blockAlign = m_format.m_blockAlign;
    const uint64_t byteSize = buffer.GetByteSize();
    const uint64_t offset = static_cast<uint64_t>(channel) * sampleBytes;
    TChannelSpan span;
    if (blockAlign == 0 || byteSize < offset + sampleBytes) {
        return span;
    }
    // Whole frames only; with a consistent format every frame's sample lies inside, but a
    // start whose block align is smaller than its channels need must not make us read past
    // the buffer.
    const uint64_t frames =
        std::min(byteSize / blockAlign, (byteSize - offset - sampleBytes) / blockAlign + 1);
    span.First = buffer.GetReadPointer() + offset;
    span.Frames = static_cast<uint32_t>(frames);
    return span;
}

void TDruCommonSplitter::ConvertChannel8(int32_t channel, const TDruAudioBuffer& buffer) {
    const TChannelSpan span = ChannelSpan(channel, 1, buffer);
    TRef<TZemRealBuffer> samples = MakeRef<TZemRealBuffer>(span.Frames);
    double* destination = samples->GetWritePointer();
    const uint8_t* source = span.First;
    const size_t step = m_format.m_blockAlign;
    for (uint32_t frame = 0; frame < span.Frames; ++frame, source += step) {
        destination[frame] = static_cast<double>(static_cast<int32_t>(*source) - 127);
    }
    DeliverChannel(channel, samples);
}

void TDruCommonSplitter::ConvertChannel16(int32_t channel, const TDruAudioBuffer& buffer) {
    const TChannelSpan span = ChannelSpan(channel, 2, buffer);
    TRef<TZemRealBuffer> samples = MakeRef<TZemRealBuffer>(span.Frames);
    if (span.Frames > 0) {
        VecDeinterleave16sTo64f(reinterpret_cast<const int16_t*>(span.First), m_format.m_blockAlign,
                                samples->GetWritePointer(), static_cast<int32_t>(span.Frames));
    }
    DeliverChannel(channel, samples);
}

void TDruCommonSplitter::ConvertChannel24(int32_t channel, const TDruAudioBuffer& buffer) {
    const TChannelSpan span = ChannelSpan(channel, 3, buffer);
    TRef<TZemRealBuffer> samples = MakeRef<TZemRealBuffer>(span.Frames);
    double* destination = samples->GetWritePointer();
    const uint8_t* source = span.First;
    const size_t step = m_format.m_blockAlign;
    for (uint32_t frame = 0; frame < span.Frames; ++frame, source += step) {
        const int32_t raw = static_cast<int32_t>(uint32_t{source[0]} | (uint32_t{source[1]} << 8) |
                                                 (uint32_t{source[2]} << 16));
        // Sign-extend the 24-bit value.
        destination[frame] = static_cast<double>((raw ^ 0x800000) - 0x800000);
    }
    DeliverChannel(channel, samples);
}

void TDruCommonSplitter::ConvertChannel32(int32_t channel, const TDruAudioBuffer& buffer) {
    const TChannelSpan span = ChannelSpan(channel, 4, buffer);
    TRef<TZemRealBuffer> samples = MakeRef<TZemRealBuffer>(span.Frames);
    if (span.Frames > 0) {
        VecDeinterleave32sTo64f(reinterpret_cast<const int32_t*>(span.First), m_format.m_blockAlign,
                                samples->GetWritePointer(), static_cast<int32_t>(span.Frames));
    }
    DeliverChannel(channel, samples);
}

void TDruCommonSplitter::DeliverChannel(int32_t /*channel*/,
                                        const TRef<TZemRealBuffer>& /*samples*/) {
}
