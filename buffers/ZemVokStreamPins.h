#pragma once

#include "buffers/ZemVokOperations.h"
#include "pins/VokPin.h"

/// Receiving interface that every buffer pin implements (both directions).
inline constexpr TVokGuid kZemBufferPinInterface =
    TVokGuid::Parse("{20ACBC6D-DA0D-4359-8C78-CE0067D009A0}");
/// Generic buffer stream: listed first in every buffer pin's type list; no pin implements it.
inline constexpr TVokGuid kZemBufferStreamType =
    TVokGuid::Parse("{949B7FD0-421F-4F1B-B8D2-87969D3E66E0}");
inline constexpr TVokGuid kZemRealBufferStreamType =
    TVokGuid::Parse("{58041272-EF20-4696-87E6-9EE46ABFBD89}");
inline constexpr TVokGuid kZemIntegerBufferStreamType =
    TVokGuid::Parse("{473B965F-AB43-4493-B9E3-BEE9CF0803D4}");
inline constexpr TVokGuid kDruAudioBufferStreamType =
    TVokGuid::Parse("{1D5BD085-492E-4979-8F76-9C97D5C3C5B6}");

/// Default dispatch of the real, integer and audio buffer streams: hands the operation to the
/// receiver's `Receive` unless it is a link notification. Serves both directions.
TVokNotifyResults DispatchBuffer(TVokBasicPin* sender, TVokBasicPin* receiver,
                                 const TVokGuid& typeId, TVokNotifyFlags flags,
                                 TVokNotifyOperation* operation);

/// Registers the buffer stream types with `DispatchBuffer`. Idempotent and thread safe; buffer
/// pins call it on construction, the program once at start-up (after the pin framework).
void ZemInitializeBufferStreams();

/// A handler of a buffer pin's owner: (receiving pin, typeId, flags, operation) → results,
/// bound to the owner (`TVokLinkHandler::Of<&TOwner::Method>(owner)`).
using TZemPinHandler = TVokLinkHandler;

/// Base of every buffer source pin: remembers the start of the running stream and replays it to
/// sinks linked later; tells every sink it unlinks that its stream stopped.
/// Type list: clock (`DispatchClock`), generic buffer stream.
class TZemVokSourcePin : public TVokSourcePin {
  public:
    explicit TZemVokSourcePin(TVokComponent* owner);
    ~TZemVokSourcePin() override;

    /// Wraps `buffer` in a new `TVokSuppliedBufferOperation` and dispatches it. Never raises:
    /// an exception in any downstream handler is swallowed (the remaining sinks of that dispatch
    /// are not served). Answers the empty set.
    TVokNotifyResults SendBuffer(TRef<IZemDataBuffer> buffer);
    /// Dispatches a new `TVokStopOperation`.
    TVokNotifyResults SendStop();

    /// Dispatches, then remembers a start operation (any kind) or forgets it on a stop.
    TVokNotifyResults Notify(TVokNotifyOperation* operation) override;
    /// The remembered start, or null.
    TRef<TVokNotifyOperation> GetRememberedStart() const;

    /// Clock ticks for clock sinks: one per supplied (or plain clock) operation.
    virtual TVokNotifyResults DispatchClock(TVokBasicPin* receiver, const TVokGuid& typeId,
                                            TVokNotifyFlags flags, TVokNotifyOperation* operation);
    /// Operations sent up by sinks; the base answers the empty set.
    virtual TVokNotifyResults
    ReceiveUpstream(const TVokGuid& typeId, TVokNotifyOperation* operation, TVokNotifyFlags flags);

    bool QueryType(const TVokGuid& typeId) const override;
    TVokNotifyResults Receive(const TVokGuid& typeId, TVokNotifyOperation* operation,
                              TVokNotifyFlags flags) override;
    /// Links the sink, then replays the remembered start to it alone.
    void AddLink(TVokBasicPin* pin, TVokBasicPin* dependency) override;
    /// Sends a stop to the sink alone (errors swallowed), then removes its entry.
    void RemoveLink(TVokBasicPin* pin, bool keepPlaceholder) override;

  protected:
    /// Called after a dispatch to update what is remembered; group write lock held.
    virtual void Remember(TVokNotifyOperation* operation);
    /// Replays what is remembered to a newly linked `sink`.
    virtual void Replay(TVokSinkPin* sink);

    /// Guarded by this pin's group lock.
    TRef<TVokNotifyOperation> m_start;
};

/// Base of every buffer sink pin. Type list: generic buffer stream.
class TZemVokSinkPin : public TVokSinkPin {
  public:
    explicit TZemVokSinkPin(TVokComponent* owner);

    /// Data arriving from the source; the base answers the empty set.
    virtual TVokNotifyResults ReceiveData(const TVokGuid& typeId, TVokNotifyOperation* operation,
                                          TVokNotifyFlags flags);
    bool QueryType(const TVokGuid& typeId) const override;
    TVokNotifyResults Receive(const TVokGuid& typeId, TVokNotifyOperation* operation,
                              TVokNotifyFlags flags) override;
};

/// Sends real buffers (`TZemRealBuffer`). Type list: clock, generic, "Float single"
/// (`DispatchFirstSample`), real buffer stream. Operations sent up by sinks go to the owner's
/// upstream handler.
class TZemVokRealSourcePin : public TZemVokSourcePin {
  public:
    /// `upstreamHandler` may be unassigned.
    TZemVokRealSourcePin(TVokComponent* owner, TZemPinHandler upstreamHandler);

    /// For "Float single" receivers: the first sample of each real buffer as a single.
    virtual TVokNotifyResults DispatchFirstSample(TVokBasicPin* receiver, const TVokGuid& typeId,
                                                  TVokNotifyFlags flags,
                                                  TVokNotifyOperation* operation);
    TVokNotifyResults ReceiveUpstream(const TVokGuid& typeId, TVokNotifyOperation* operation,
                                      TVokNotifyFlags flags) override;
    bool QueryType(const TVokGuid& typeId) const override;

  private:
    const TZemPinHandler m_upstreamHandler;
};

/// Receives real buffers. Type list: generic, real buffer stream. Data goes to the owner's data
/// handler, called in the sending thread with this pin's group write lock held.
class TZemVokRealSinkPin : public TZemVokSinkPin {
  public:
    TZemVokRealSinkPin(TVokComponent* owner, TZemPinHandler dataHandler);

    TVokNotifyResults ReceiveData(const TVokGuid& typeId, TVokNotifyOperation* operation,
                                  TVokNotifyFlags flags) override;
    bool QueryType(const TVokGuid& typeId) const override;

  private:
    const TZemPinHandler m_dataHandler;
};

/// A real sink that also takes "Float single" and "Real single" values.
class TZemVokComboRealSinkPin : public TZemVokRealSinkPin {
  public:
    TZemVokComboRealSinkPin(TVokComponent* owner, TZemPinHandler dataHandler);
    bool QueryType(const TVokGuid& typeId) const override;
};

/// A combined sink that also takes integer buffers and "Integer single" values (scope channels,
/// the waterfall input).
class TZemVokComboRealIntSinkPin : public TZemVokComboRealSinkPin {
  public:
    TZemVokComboRealIntSinkPin(TVokComponent* owner, TZemPinHandler dataHandler);
    bool QueryType(const TVokGuid& typeId) const override;
};

/// Sends audio buffers (`TDruAudioBuffer`). Type list: clock, generic, audio buffer stream.
/// Also remembers the last resume and replays it after the start.
class TDruVokAudioSourcePin : public TZemVokSourcePin {
  public:
    TDruVokAudioSourcePin(TVokComponent* owner, TZemPinHandler upstreamHandler);

    TVokNotifyResults ReceiveUpstream(const TVokGuid& typeId, TVokNotifyOperation* operation,
                                      TVokNotifyFlags flags) override;
    bool QueryType(const TVokGuid& typeId) const override;

  protected:
    void Remember(TVokNotifyOperation* operation) override;
    void Replay(TVokSinkPin* sink) override;

  private:
    const TZemPinHandler m_upstreamHandler;
    /// Guarded by this pin's group lock.
    TRef<TVokNotifyOperation> m_resume;
};

/// Receives audio buffers. Type list: generic, audio buffer stream.
class TDruVokAudioSinkPin : public TZemVokSinkPin {
  public:
    TDruVokAudioSinkPin(TVokComponent* owner, TZemPinHandler dataHandler);

    TVokNotifyResults ReceiveData(const TVokGuid& typeId, TVokNotifyOperation* operation,
                                  TVokNotifyFlags flags) override;
    bool QueryType(const TVokGuid& typeId) const override;

  private:
    const TZemPinHandler m_dataHandler;
};
