#include "components/DruAudioToReal.h"

TDruAudioToReal::TDruAudioToReal(TVokComponent* owner) : TDruCommonSplitter(owner) {
    SetChannelCount(kDefaultChannels);
}

const TVokClassInfo& TDruAudioToReal::ClassInfo() {
    static const TVokClassInfo info("TDruAudioToReal", &TDruCommonSplitter::ClassInfo(),
                                    TVokClassInfo::FactoryOf<TDruAudioToReal>, {});
    return info;
}

TVokPinPtr<TZemVokSourcePin> TDruAudioToReal::CreateOutputPin() {
    return MakePin<TZemVokRealSourcePin>(
        this, TZemPinHandler::Of<&TDruAudioToReal::ProcessOutputOperation>(this));
}

void TDruAudioToReal::StartWave(const uint8_t* formatRecord) {
    if (formatRecord == nullptr) {
        return;
    }
    TDruCommonSplitter::StartWave(formatRecord);
    TRef<TVokNotifyOperation> start = MakeRef<TVokStartSampleRateOperation>(
        0, static_cast<double>(GetStreamFormat().m_samplesPerSecond));
    BroadcastOperation(start.Get());
}

void TDruAudioToReal::DeliverChannel(int32_t channel, const TRef<TZemRealBuffer>& samples) {
    GetOutputAt(static_cast<size_t>(channel))->SendBuffer(TRef<IZemDataBuffer>(samples));
}
