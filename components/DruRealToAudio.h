#pragma once

#include "buffers/DruAudioFormat.h"
#include "buffers/ZemSimpleDataBuffer.h"
#include "buffers/ZemVokStreamPins.h"
#include "components/ZemMultiInput.h"
#include "pins/VokComponent.h"
#include "pins/VokObject.h"
#include "pins/VokPinList.h"

#include <cstdint>
#include <memory>
#include <vector>

/// Turns real streams back into one audio stream: input pin i feeds channel i, and every
/// output buffer interleaves the inputs' samples, rounded to the nearest integer (ties to even)
/// and stored in the integer width of `AudioFormat`. Values outside the width are not clipped:
/// they wrap around (the low bits are kept; 8-bit samples are stored as (x + 127) modulo 256).
/// NaN and infinite samples are stored as 0.
///
/// Inputs are queued like the adder's (`TZemVokQueuedRealSinkPin`), so they may deliver
/// buffers of any length and at different rates. The output starts once every connected input
/// has started, with the largest input rate, which also becomes `AudioFormat.SampleRate`; the
/// output stops as soon as any input stops. Every complete block is produced at once; inputs
/// that are not connected contribute silence. A `TVokZemResumeOperation` follows the third
/// block of a run; resume operations arriving before that are swallowed.
///
/// Threads and locks: `m_lock` guards every field and the format (whose setters take it); the
/// inputs and the output pin share its lock group, so handlers run with it held on the
/// producer's thread, and blocks are sent downstream on the thread that completed them.
/// A change of `AudioFormat.Channels` creates or frees input pins and therefore takes the
/// global write lock inside the format's write section: while a stream may be delivered on
/// another thread, make that change inside a `TVokGlobalWriteLockSection` taken first (as the
/// form reader and every structural change do).
///
/// Published properties: `AudioFormat` (`TDruAudioFormat`, defaults 2 channels, 16 bits, 11025
/// samples per second, [spFrontLeft, spFrontRight], `BufferSize` 1024), `OutputPin`
/// (`TDruVokAudioSourcePin`), `InputPins` (a pin list of exactly `Channels` queued real sinks).
class TDruRealToAudio : public TVokComponent {
  public:
    explicit TDruRealToAudio(TVokComponent* owner);
    /// Disconnects every input, stops the output and disconnects it.
    ~TDruRealToAudio() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TDruAudioFormat* GetAudioFormat() const { return m_format.get(); }
    TDruVokAudioSourcePin* GetOutputPin() const { return m_outputPin.get(); }
    TVokPinList* GetInputPins() const { return m_inputPins.get(); }

    /// The inputs in channel order (global read lock, or the component's lock, held by the
    /// caller).
    int GetInputCount() const { return static_cast<int>(m_inputs.size()); }
    TZemVokQueuedRealSinkPin* GetInput(int index) const {
        return m_inputs.at(static_cast<size_t>(index));
    }
    /// The wave start has been sent and no stop since.
    bool IsStarted() const { return m_started; }
    /// The largest rate of the connected, started inputs (samples per second).
    double GetOutputRate() const { return m_outputRate; }

  protected:
    /// Everything that arrives at input `pin` (the pin's group held).
    virtual TVokNotifyResults ProcessInputOperation(TZemVokQueuedRealSinkPin& pin,
                                                    TVokNotifyOperation* operation);
    /// Everything that arrives at the output pin from downstream: passed up through every
    /// input, in list order, that has not received data since this call began.
    virtual TVokNotifyResults ProcessOutputOperation(TVokNotifyOperation* operation);

  private:
    TVokNotifyResults HandleInput(TVokBasicPin* pin, const TVokGuid& typeId, TVokNotifyFlags flags,
                                  TVokNotifyOperation* operation);
    TVokNotifyResults HandleOutput(TVokBasicPin* pin, const TVokGuid& typeId, TVokNotifyFlags flags,
                                   TVokNotifyOperation* operation);
    /// Brings the number of inputs to `Channels`, then recomputes the rates. The format's
    /// write section (the component's lock) is held.
    void OnFormatChange();
    /// Output rate = the largest rate of the connected, started inputs; when every connected
    /// input has started, sets their block lengths and answers true.
    bool RecomputeRates();
    void TryToStart();
    /// Produces every block that all connected inputs can supply.
    void TryToProcess();
    /// One block: every channel from its input (or silence) into a new audio buffer, sent.
    void ProduceBlock();
    /// `SendStop` down the output; the output is no longer started and the queues are emptied.
    void StopOutput();

    /// Declared first: the format and the pins lock it, and it outlives them. Guards every
    /// field below and the state of the inputs (they share its lock group).
    TVokObject m_lock;
    std::unique_ptr<TDruAudioFormat> m_format;
    TVokPinPtr<TDruVokAudioSourcePin> m_outputPin;
    /// Owns the inputs.
    std::unique_ptr<TVokPinList> m_inputPins;
    /// The inputs in channel order, not owned; changed under the global write lock.
    std::vector<TZemVokQueuedRealSinkPin*> m_inputs;
    double m_outputRate = 0.0;
    bool m_started = false;
    /// Blocks of the current run, counted up to 3 (the resume follows the third).
    uint32_t m_blockCounter = 0;
    /// Set while blocks are being made, so that a block fed back into an input does not nest.
    bool m_busy = false;
    /// One channel of a block; reused for every channel, never shared.
    TRef<TZemRealBuffer> m_temporary;
    /// The rounded samples of one channel.
    std::vector<int32_t> m_rounded;
};
