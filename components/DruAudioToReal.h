#pragma once

#include "components/DruCommonSplitter.h"

/// Splits an audio stream into real streams: output pin i carries channel i of every audio
/// buffer as a real buffer of raw sample values (a 16-bit sample of −1234 becomes −1234.0;
/// 8-bit samples have their zero level at 127, so 127 becomes 0.0). Only connected output
/// pins cost work: the others are neither converted nor sent.
///
/// A wave start reaches every output pin as a sample-rate start with block size 0 and the
/// stream's samples per second (so the rate is in samples per second); stop and resume are
/// passed on to every output pin. Operations sent up by sinks go on upstream through the input
/// pin, or are handled as input when the input is not linked.
///
/// Threads and locks as `TDruCommonSplitter`: everything runs on the sender's thread, nested
/// in its send, with the component's group lock held.
///
/// Published properties: those of `TDruCommonSplitter`.
class TDruAudioToReal : public TDruCommonSplitter {
  public:
    /// Two output pins.
    explicit TDruAudioToReal(TVokComponent* owner);

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

  protected:
    TVokPinPtr<TZemVokSourcePin> CreateOutputPin() override;
    /// Copies the record, then sends one new sample-rate start (block size 0, the record's
    /// samples per second) to every output pin in order. A null record does nothing.
    void StartWave(const uint8_t* formatRecord) override;
    /// Sends `samples` on output pin `channel`.
    void DeliverChannel(int32_t channel, const TRef<TZemRealBuffer>& samples) override;
};
