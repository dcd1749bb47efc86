#pragma once

#include "pins/VokPin.h"

#include <atomic>
#include <functional>

/// Sends clock ticks: every supplied operation it dispatches reaches a clock sink as one tick.
/// Type list: clock (`DispatchClock`).
class TVokClockSourcePin : public TVokSourcePin {
  public:
    explicit TVokClockSourcePin(TVokComponent* owner);

    /// Handler of the clock type: calls `receiver->Clock()` when the receiver implements the
    /// clock type, the delivery is not a link notification and the operation is a clock
    /// operation (supplied operations included). Answers the empty set.
    virtual TVokNotifyResults DispatchClock(TVokBasicPin* receiver, const TVokGuid& typeId,
                                            TVokNotifyFlags flags, TVokNotifyOperation* operation);
};

/// Receives clock ticks. Its own type list is empty, so it can be fed by any source that offers
/// the clock type. The clock handler runs in the sending thread with this pin's group write
/// lock held.
class TVokClockSinkPin : public TVokSinkPin {
  public:
    using TClockHandler = std::function<void(TVokClockSinkPin& pin)>;

    /// `tag` is the owner's to interpret; `clockHandler` may be empty.
    TVokClockSinkPin(TVokComponent* owner, int tag, TClockHandler clockHandler);

    bool QueryType(const TVokGuid& typeId) const override;
    /// Calls the clock handler when assigned.
    void Clock() override;

    int GetTag() const { return m_tag; }
    /// Set by the owner before the pin is linked.
    void SetClockHandler(TClockHandler handler) { m_clockHandler = std::move(handler); }

  private:
    const int m_tag;
    TClockHandler m_clockHandler;
};

/// Sends a double value to "Real single" and "Float single" receivers, and ticks to clock
/// sinks. Type list: clock (`DispatchClock`), "Float single" and "Real single" (`DispatchReal`).
class TVokRealSourcePin : public TVokClockSourcePin {
  public:
    explicit TVokRealSourcePin(TVokComponent* owner);

    /// Stores `value` and sends it to every sink when it differs from the current value.
    void SetValue(double value);
    double GetValue() const;
    /// Replaces the conversion for every receiver when assigned.
    void SetCustomLinkHandler(TVokLinkHandler handler);

    /// Per receiver: "Real single" receivers get the operation unchanged (or the current value
    /// on a link notification); "Float single" receivers get real values narrowed to float.
    virtual TVokNotifyResults DispatchReal(TVokBasicPin* receiver, const TVokGuid& typeId,
                                           TVokNotifyFlags flags, TVokNotifyOperation* operation);

  private:
    /// Guarded by this pin's group lock.
    TVokLinkHandler m_customLinkHandler;
    double m_value = 0.0;
};

/// A boolean state shared with the other members of its dispatcher ("Boolean single").
/// The change handler runs in the thread that changed the value of another member, with that
/// member's group lock held (not this pin's); the value itself is atomic.
class TVokBoolStatePin : public TVokStatePin {
  public:
    using TChangeHandler = std::function<void(TVokBoolStatePin& pin, bool value)>;

    TVokBoolStatePin(TVokComponent* owner, int tag, TChangeHandler changeHandler);

    /// Stores `value` and tells the other members when it differs from the current value.
    void SetValue(bool value);
    bool GetValue() const;
    int GetTag() const { return m_tag; }
    void SetCustomLinkHandler(TVokLinkHandler handler);
    void SetChangeHandler(TChangeHandler handler) { m_changeHandler = std::move(handler); }

    bool QueryType(const TVokGuid& typeId) const override;
    /// Outgoing handler: a boolean passing through sets this pin's value; "Boolean single"
    /// receivers get the operation (or the current value on a link notification).
    virtual TVokNotifyResults DispatchState(TVokBasicPin* receiver, const TVokGuid& typeId,
                                            TVokNotifyFlags flags, TVokNotifyOperation* operation);
    /// A supplied boolean sets the value and calls the change handler; others are ignored.
    TVokNotifyResults Receive(const TVokGuid& typeId, TVokNotifyOperation* operation,
                              TVokNotifyFlags flags) override;

  private:
    const int m_tag;
    /// Guarded by this pin's group lock.
    TVokLinkHandler m_customLinkHandler;
    TChangeHandler m_changeHandler;
    std::atomic<bool> m_value{false};
};

/// A numeric state shared with the members of its dispatcher, delivered as "Float single" or
/// "Integer single" (rounded to the nearest integer, halves to even). Threads as for
/// `TVokBoolStatePin`.
class TVokFloatIntStatePin : public TVokStatePin {
  public:
    using TChangeHandler = std::function<void(TVokFloatIntStatePin& pin, float value)>;

    TVokFloatIntStatePin(TVokComponent* owner, int tag, TChangeHandler changeHandler);

    /// Stores `value` and tells the other members (each link converts it) when it differs.
    void SetValue(float value);
    float GetValue() const;
    int GetTag() const { return m_tag; }
    void SetCustomFloatLinkHandler(TVokLinkHandler handler);
    void SetCustomIntegerLinkHandler(TVokLinkHandler handler);
    void SetChangeHandler(TChangeHandler handler) { m_changeHandler = std::move(handler); }

    bool QueryType(const TVokGuid& typeId) const override;
    virtual TVokNotifyResults DispatchState(TVokBasicPin* receiver, const TVokGuid& typeId,
                                            TVokNotifyFlags flags, TVokNotifyOperation* operation);
    /// A supplied integer or single sets the value and calls the change handler.
    TVokNotifyResults Receive(const TVokGuid& typeId, TVokNotifyOperation* operation,
                              TVokNotifyFlags flags) override;

  private:
    const int m_tag;
    /// Guarded by this pin's group lock.
    TVokLinkHandler m_customFloatLinkHandler;
    TVokLinkHandler m_customIntegerLinkHandler;
    TChangeHandler m_changeHandler;
    std::atomic<float> m_value{0.0f};
};

/// `value` rounded to the nearest 32-bit integer, halves to even; saturated at the limits,
/// NaN gives 0.
int32_t VokRoundToInteger(float value);
