#include "buffers/ZemVokStreamPins.h"

#include <cstring>
#include <exception>

namespace {

void StoreLittleEndian(TVokWaveFormatBlock& block, size_t offset, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        block[offset + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    }
}

/// Registers the buffer stream types once per process.
void EnsureBufferStreams() {
    static const bool s_registered = [] {
        auto& registry = TVokStreamTypeRegistry::Instance();
        for (const TVokGuid& type :
             {kZemRealBufferStreamType, kZemIntegerBufferStreamType, kDruAudioBufferStreamType}) {
            registry.SetDefaultDispatch(type, &DispatchBuffer);
        }
        return true;
    }();
    (void)s_registered;
}

} // namespace

TVokWaveFormatBlock DefaultWaveFormatBlock() {
    // Extensible PCM: tag, channels, rate, bytes per second, alignment, bits, extra size, valid
    // bits, channel mask, then the PCM sub-format {00000001-0000-0010-8000-00AA00389B71}.
    constexpr uint32_t kChannels = 2;
    constexpr uint32_t kBits = 16;
    constexpr uint32_t kRate = 11024;
    constexpr uint32_t kAlignment = kBits / 8 * kChannels;
    TVokWaveFormatBlock block{};
    StoreLittleEndian(block, 0, 0xFFFE, 2);
    StoreLittleEndian(block, 2, kChannels, 2);
    StoreLittleEndian(block, 4, kRate, 4);
    StoreLittleEndian(block, 8, kAlignment * kRate, 4);
    StoreLittleEndian(block, 12, kAlignment, 2);
    StoreLittleEndian(block, 14, kBits, 2);
    StoreLittleEndian(block, 16, 22, 2);
    StoreLittleEndian(block, 18, kBits, 2);
    StoreLittleEndian(block, 20, 3, 4);
    StoreLittleEndian(block, 24, 0x00000001, 4);
    StoreLittleEndian(block, 28, 0x0000, 2);
    StoreLittleEndian(block, 30, 0x0010, 2);
    const uint8_t tail[8] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    std::memcpy(block.data() + 32, tail, sizeof tail);
    return block;
}

TVokNotifyResults DispatchBuffer(TVokBasicPin* /*sender*/, TVokBasicPin* receiver,
                                 const TVokGuid& typeId, TVokNotifyFlags flags,
                                 TVokNotifyOperation* operation) {
    if (flags.Contains(nfLinkChanged) || !receiver->QueryType(kZemBufferPinInterface)) {
        return {};
    }
    return receiver->Receive(typeId, operation, flags);
}

void ZemInitializeBufferStreams() {
    EnsureBufferStreams();
}

// ---- TZemVokSourcePin ------------------------------------------------------------------------

TZemVokSourcePin::TZemVokSourcePin(TVokComponent* owner) : TVokSourcePin(owner) {
    EnsureBufferStreams();
    AddStreamType(kVokClockType, TVokLinkHandler::Of<&TZemVokSourcePin::DispatchClock>(this));
    AddStreamTypeId(kZemBufferStreamType);
}

TZemVokSourcePin::~TZemVokSourcePin() {
    // Sinks still linked hear their stop from this class's RemoveLink.
    BeforeDestruction();
}

TVokNotifyResults TZemVokSourcePin::SendBuffer(TRef<IZemDataBuffer> buffer) {
    try {
        TRef<TVokNotifyOperation> operation =
            MakeRef<TVokSuppliedBufferOperation>(std::move(buffer));
        return Notify(operation.Get());
    } catch (...) {
        // A failing receiver must not stop the stream: the sender goes on with its next buffer.
        return {};
    }
}

TVokNotifyResults TZemVokSourcePin::SendStop() {
    TRef<TVokNotifyOperation> operation = MakeRef<TVokStopOperation>();
    return Notify(operation.Get());
}

TVokNotifyResults TZemVokSourcePin::Notify(TVokNotifyOperation* operation) {
    // Buffers, the bulk of the traffic, change nothing that is remembered: they skip the
    // extra section.
    if (OperationAs<TVokSuppliedBufferOperation>(operation) != nullptr) {
        return TVokSourcePin::Notify(operation);
    }
    TVokWriteLockSection section(*this);
    const TVokNotifyResults result = TVokSourcePin::Notify(operation);
    Remember(operation);
    return result;
}

void TZemVokSourcePin::Remember(TVokNotifyOperation* operation) {
    if (OperationAs<TVokStartOperation>(operation) != nullptr) {
        m_start = operation;
    } else if (OperationAs<TVokStopOperation>(operation) != nullptr) {
        m_start.Reset();
    }
}

TRef<TVokNotifyOperation> TZemVokSourcePin::GetRememberedStart() const {
    TVokReadLockSection section(const_cast<TZemVokSourcePin&>(*this));
    return m_start;
}

void TZemVokSourcePin::Replay(TVokSinkPin* sink) {
    if (m_start) {
        NotifySink(m_start.Get(), sink);
    }
}

TVokNotifyResults TZemVokSourcePin::DispatchClock(TVokBasicPin* receiver,
                                                  const TVokGuid& /*typeId*/,
                                                  TVokNotifyFlags /*flags*/,
                                                  TVokNotifyOperation* operation) {
    // Link notifications are plain operations, so they never tick.
    if (receiver->QueryType(kVokClockType) &&
        OperationAs<TVokClockOperation>(operation) != nullptr) {
        receiver->Clock();
    }
    return {};
}

TVokNotifyResults TZemVokSourcePin::ReceiveUpstream(const TVokGuid& /*typeId*/,
                                                    TVokNotifyOperation* /*operation*/,
                                                    TVokNotifyFlags /*flags*/) {
    return {};
}

bool TZemVokSourcePin::QueryType(const TVokGuid& typeId) const {
    return typeId == kZemBufferPinInterface || TVokSourcePin::QueryType(typeId);
}

TVokNotifyResults TZemVokSourcePin::Receive(const TVokGuid& typeId, TVokNotifyOperation* operation,
                                            TVokNotifyFlags flags) {
    return ReceiveUpstream(typeId, operation, flags);
}

void TZemVokSourcePin::AddLink(TVokBasicPin* pin, TVokBasicPin* dependency) {
    TVokSourcePin::AddLink(pin, dependency);
    if (auto* sink = dynamic_cast<TVokSinkPin*>(pin); sink != nullptr && IsConnectedTo(sink)) {
        Replay(sink);
    }
}

void TZemVokSourcePin::RemoveLink(TVokBasicPin* pin, bool keepPlaceholder) {
    if (auto* sink = dynamic_cast<TVokSinkPin*>(pin); sink != nullptr && IsConnectedTo(sink)) {
        try {
            TRef<TVokNotifyOperation> stop = MakeRef<TVokStopOperation>();
            NotifySink(stop.Get(), sink);
        } catch (...) {
            // The link goes away whatever the sink makes of its stop.
        }
    }
    TVokSourcePin::RemoveLink(pin, keepPlaceholder);
}

// ---- TZemVokSinkPin --------------------------------------------------------------------------

TZemVokSinkPin::TZemVokSinkPin(TVokComponent* owner) : TVokSinkPin(owner) {
    EnsureBufferStreams();
    AddStreamTypeId(kZemBufferStreamType);
}

TVokNotifyResults TZemVokSinkPin::ReceiveData(const TVokGuid& /*typeId*/,
                                              TVokNotifyOperation* /*operation*/,
                                              TVokNotifyFlags /*flags*/) {
    return {};
}

bool TZemVokSinkPin::QueryType(const TVokGuid& typeId) const {
    return typeId == kZemBufferPinInterface || TVokSinkPin::QueryType(typeId);
}

TVokNotifyResults TZemVokSinkPin::Receive(const TVokGuid& typeId, TVokNotifyOperation* operation,
                                          TVokNotifyFlags flags) {
    return ReceiveData(typeId, operation, flags);
}

// ---- real pins -------------------------------------------------------------------------------

TZemVokRealSourcePin::TZemVokRealSourcePin(TVokComponent* owner, TZemPinHandler upstreamHandler)
    : TZemVokSourcePin(owner), m_upstreamHandler(upstreamHandler) {
    AddStreamType(kVokFloatType,
                  TVokLinkHandler::Of<&TZemVokRealSourcePin::DispatchFirstSample>(this));
    AddStreamTypeId(kZemRealBufferStreamType);
}

TVokNotifyResults TZemVokRealSourcePin::DispatchFirstSample(TVokBasicPin* receiver,
                                                            const TVokGuid& /*typeId*/,
                                                            TVokNotifyFlags flags,
                                                            TVokNotifyOperation* operation) {
    if (flags.Contains(nfLinkChanged) || !receiver->QueryType(kVokFloatType)) {
        return {};
    }
    const auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation);
    const auto* buffer =
        supplied != nullptr ? BufferCast<TZemRealBuffer>(supplied->GetBuffer()) : nullptr;
    if (buffer == nullptr || buffer->GetSize() == 0) {
        return {}; // nothing to take a first sample from
    }
    TRef<TVokNotifyOperation> single =
        MakeRef<TVokSuppliedSingleOperation>(static_cast<float>(buffer->GetReadPointer()[0]));
    receiver->Receive(kVokFloatType, single.Get(), flags);
    return {};
}

TVokNotifyResults TZemVokRealSourcePin::ReceiveUpstream(const TVokGuid& typeId,
                                                        TVokNotifyOperation* operation,
                                                        TVokNotifyFlags flags) {
    if (!m_upstreamHandler.IsAssigned()) {
        return {};
    }
    return m_upstreamHandler(this, typeId, flags, operation);
}

bool TZemVokRealSourcePin::QueryType(const TVokGuid& typeId) const {
    return typeId == kZemRealBufferStreamType || TZemVokSourcePin::QueryType(typeId);
}

TZemVokRealSinkPin::TZemVokRealSinkPin(TVokComponent* owner, TZemPinHandler dataHandler)
    : TZemVokSinkPin(owner), m_dataHandler(dataHandler) {
    AddStreamTypeId(kZemRealBufferStreamType);
}

TVokNotifyResults TZemVokRealSinkPin::ReceiveData(const TVokGuid& typeId,
                                                  TVokNotifyOperation* operation,
                                                  TVokNotifyFlags flags) {
    if (!m_dataHandler.IsAssigned()) {
        return {};
    }
    return m_dataHandler(this, typeId, flags, operation);
}

bool TZemVokRealSinkPin::QueryType(const TVokGuid& typeId) const {
    return typeId == kZemRealBufferStreamType || TZemVokSinkPin::QueryType(typeId);
}

TZemVokComboRealSinkPin::TZemVokComboRealSinkPin(TVokComponent* owner, TZemPinHandler dataHandler)
    : TZemVokRealSinkPin(owner, dataHandler) {
    AddStreamTypeId(kVokFloatType);
    AddStreamTypeId(kVokRealType);
}

bool TZemVokComboRealSinkPin::QueryType(const TVokGuid& typeId) const {
    return typeId == kVokFloatType || typeId == kVokRealType ||
           TZemVokRealSinkPin::QueryType(typeId);
}

TZemVokComboRealIntSinkPin::TZemVokComboRealIntSinkPin(TVokComponent* owner,
                                                       TZemPinHandler dataHandler)
    : TZemVokComboRealSinkPin(owner, dataHandler) {
    AddStreamTypeId(kZemIntegerBufferStreamType);
    AddStreamTypeId(kVokIntegerType);
}

bool TZemVokComboRealIntSinkPin::QueryType(const TVokGuid& typeId) const {
    return typeId == kZemIntegerBufferStreamType || typeId == kVokIntegerType ||
           TZemVokComboRealSinkPin::QueryType(typeId);
}

// ---- audio pins ------------------------------------------------------------------------------

TDruVokAudioSourcePin::TDruVokAudioSourcePin(TVokComponent* owner, TZemPinHandler upstreamHandler)
    : TZemVokSourcePin(owner), m_upstreamHandler(upstreamHandler) {
    AddStreamTypeId(kDruAudioBufferStreamType);
}

TVokNotifyResults TDruVokAudioSourcePin::ReceiveUpstream(const TVokGuid& typeId,
                                                         TVokNotifyOperation* operation,
                                                         TVokNotifyFlags flags) {
    if (!m_upstreamHandler.IsAssigned()) {
        return {};
    }
    return m_upstreamHandler(this, typeId, flags, operation);
}

bool TDruVokAudioSourcePin::QueryType(const TVokGuid& typeId) const {
    return typeId == kDruAudioBufferStreamType || TZemVokSourcePin::QueryType(typeId);
}

void TDruVokAudioSourcePin::Remember(TVokNotifyOperation* operation) {
    TZemVokSourcePin::Remember(operation);
    if (OperationAs<TVokZemResumeOperation>(operation) != nullptr) {
        m_resume = operation;
    } else if (OperationAs<TVokStopOperation>(operation) != nullptr) {
        m_resume.Reset();
    }
}

void TDruVokAudioSourcePin::Replay(TVokSinkPin* sink) {
    TZemVokSourcePin::Replay(sink);
    if (m_resume) {
        NotifySink(m_resume.Get(), sink);
    }
}

TDruVokAudioSinkPin::TDruVokAudioSinkPin(TVokComponent* owner, TZemPinHandler dataHandler)
    : TZemVokSinkPin(owner), m_dataHandler(dataHandler) {
    AddStreamTypeId(kDruAudioBufferStreamType);
}

TVokNotifyResults TDruVokAudioSinkPin::ReceiveData(const TVokGuid& typeId,
                                                   TVokNotifyOperation* operation,
                                                   TVokNotifyFlags flags) {
    if (!m_dataHandler.IsAssigned()) {
        return {};
    }
    return m_dataHandler(this, typeId, flags, operation);
}

bool TDruVokAudioSinkPin::QueryType(const TVokGuid& typeId) const {
    return typeId == kDruAudioBufferStreamType || TZemVokSinkPin::QueryType(typeId);
}
