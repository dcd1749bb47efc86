#pragma once

#include "buffers/DruAudioBuffer.h"
#include "buffers/DruAudioFormat.h"
#include "buffers/ZemVokStreamPins.h"
#include "pins/VokComponent.h"
#include "pins/VokPinList.h"

#include <cstdint>
#include <memory>
#include <vector>

class TDruCommonSplitter;

/// A published pin list of a splitter whose length is the splitter's channel count: setting
/// its `Count` (a form description does) sets the channel count of the splitter, which then
/// brings every per-channel list to that length. It names the pins but does not own them; the
/// splitter does.
class TDruChannelPinList final : public TVokPinList {
  public:
    explicit TDruChannelPinList(TDruCommonSplitter& splitter);

    /// `SetChannelCount(count)` on the splitter (clamped to 1 … 32 there).
    void SetCount(int count) override;

  private:
    TDruCommonSplitter& m_splitter;
};

/// Base of the components that take an audio stream on one input pin and work on each of its
/// channels separately: the input pin, one output pin per channel, the format of the running
/// stream, the start/stop/resume protocol and the conversion of one channel of interleaved
/// integer frames into a real buffer of raw sample values (a 16-bit sample of 1000 becomes
/// 1000.0; 8-bit samples have their zero level at 127). What happens to a converted channel is
/// the derived class's `DeliverChannel`.
///
/// Threads and locks: the component's lock object `m_lock`, its input pin, its output pins
/// and its pin lists form one lock group. Operations arriving at the input (and at the outputs
/// from downstream) are handled on the sender's thread with that group's lock held, and
/// everything they cause downstream runs nested in the same call. Property setters take the
/// group's write lock; `SetChannelCount` first takes the global write lock (it adds and frees
/// pins), so it must not be called while the calling thread holds a group lock that another
/// thread may wait for (call it from the GUI thread, as the form reader and the window do).
///
/// Ownership: the component owns its pins; the output pins are freed from the end of the list
/// when the channel count shrinks, each telling its sinks that their stream stopped.
///
/// Published properties: `InputPin`, `OutputPins`, `CountChannels` (default 2).
class TDruCommonSplitter : public TVokComponent {
  public:
    static constexpr int32_t kMinChannels = 1;
    static constexpr int32_t kMaxChannels = 32;
    static constexpr int32_t kDefaultChannels = 2;

    ~TDruCommonSplitter() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TDruVokAudioSinkPin* GetInputPin() const { return m_inputPin.get(); }
    /// The output pins in channel order; its `Count` is the channel count.
    TVokPinList* GetOutputPins() const { return m_outputPins.get(); }
    /// The output pin of channel `channel`; throws std::out_of_range naming the index.
    TZemVokSourcePin* GetOutputPin(int32_t channel) const;

    /// Number of output pins (group read lock).
    int32_t GetCountChannels() const;
    /// `SetChannelCount(count)`.
    void SetCountChannels(int32_t count) { SetChannelCount(count); }

    /// Clamps `count` to 1 … 32, frees output pins from the end while there are more, and
    /// appends new ones from `CreateOutputPin`, each declared dependent on the input pin and
    /// put into the component's lock group. Pins added while a stream runs get data from the
    /// next buffer on, but no start until the next start. Global write lock, then the group's
    /// write lock.
    virtual void SetChannelCount(int32_t count);

  protected:
    /// Creates the input pin and empty output lists; the concrete class's constructor then
    /// calls `SetChannelCount(kDefaultChannels)`, so that its own overrides take part.
    explicit TDruCommonSplitter(TVokComponent* owner);

    /// A new output pin: a real buffer source whose operations from downstream go to
    /// `ProcessOutputOperation`.
    virtual TVokPinPtr<TZemVokSourcePin> CreateOutputPin();
    /// A stream starts with the 40-byte format record at `formatRecord` (null: nothing
    /// happens). The base copies the record; overrides call it first and then announce their
    /// own streams.
    virtual void StartWave(const uint8_t* formatRecord);
    /// Sends a new stop operation to every output pin.
    virtual void StopOutputs();
    /// Sends a new resume operation to every output pin.
    virtual void ResumeOutputs();
    /// Converts every channel of `buffer` whose output pin is connected and whose index is
    /// below the stream's channel count, with the conversion of the stream's container width
    /// (8, 16, 24 or 32 bits; any other width, as before the first start, produces nothing).
    virtual void ProcessAudio(const TDruAudioBuffer& buffer);
    /// Sends `operation` (the same object) to every output pin in list order. Exceptions of
    /// downstream handlers propagate.
    virtual void BroadcastOperation(TVokNotifyOperation* operation);
    /// Converts channel `channel` of `buffer` into a new real buffer and hands it to
    /// `DeliverChannel`. Only whole frames count: a partial frame at the end of the buffer is
    /// left out, as is a frame whose sample of this channel would lie outside the buffer (the
    /// stream's format may promise more than the buffer holds).
    virtual void ConvertChannel8(int32_t channel, const TDruAudioBuffer& buffer);
    virtual void ConvertChannel16(int32_t channel, const TDruAudioBuffer& buffer);
    virtual void ConvertChannel24(int32_t channel, const TDruAudioBuffer& buffer);
    virtual void ConvertChannel32(int32_t channel, const TDruAudioBuffer& buffer);
    /// What happens to a converted channel; the base does nothing. Group lock held.
    virtual void DeliverChannel(int32_t channel, const TRef<TZemRealBuffer>& samples);

    /// Handler of the input pin: a wave start → `StartWave`, a stop → `StopOutputs`, a resume →
    /// `ResumeOutputs`, a supplied buffer → `ProcessAudio`; anything else is ignored. A supplied
    /// buffer that is not an audio buffer throws std::invalid_argument naming the component.
    TVokNotifyResults ProcessInputOperation(TVokBasicPin* pin, const TVokGuid& typeId,
                                            TVokNotifyFlags flags, TVokNotifyOperation* operation);
    /// Handler of the output pins for operations coming from downstream: passed upstream
    /// through the input pin when it is linked, otherwise handled as if it had arrived at the
    /// input.
    TVokNotifyResults ProcessOutputOperation(TVokBasicPin* pin, const TVokGuid& typeId,
                                             TVokNotifyFlags flags, TVokNotifyOperation* operation);

    /// Disconnects the input pin (waiting for any dispatch in flight) and stops the outputs,
    /// once; never throws. Concrete classes with state of their own call it first in their
    /// destructors, so that no buffer reaches them half destroyed; the base destructor calls
    /// it too.
    void ShutDown() noexcept;

    /// The format of the running stream, decoded from the record of the latest start (all
    /// zero before the first). Group lock held.
    const TDruWaveFormat& GetStreamFormat() const { return m_format; }
    /// Output pins; read with the group lock held.
    size_t GetOutputCount() const { return m_outputs.size(); }
    TZemVokSourcePin* GetOutputAt(size_t channel) const { return m_outputs[channel].get(); }
    /// "TClass Name", for messages.
    std::string Describe() const;

    /// The component's own lock object. Guards the stream format, the output pin vector and
    /// whatever per-stream state derived classes keep; declared before the pins, so that they
    /// are destroyed first.
    TVokObject m_lock;

  private:
    /// The first byte and the number of whole frames of one channel of `buffer`, for samples
    /// of `sampleBytes` bytes.
    struct TChannelSpan {
        const uint8_t* First = nullptr;
        uint32_t Frames = 0;
    };
    TChannelSpan ChannelSpan(int32_t channel, uint32_t sampleBytes,
                             const TDruAudioBuffer& buffer) const;

    TVokPinPtr<TDruVokAudioSinkPin> m_inputPin;
    std::unique_ptr<TDruChannelPinList> m_outputPins;
    /// The output pins in channel order; owned here. Changed under the global write lock and
    /// the group's write lock.
    std::vector<TVokPinPtr<TZemVokSourcePin>> m_outputs;
    /// The stream's format (group lock).
    TDruWaveFormat m_format;
    bool m_shutDown = false;
};
