#pragma once

#include "pins/VokRefCounted.h"

#include <atomic>
#include <cstdint>

class TVokComponent;

/// Everything that travels along a link: a small immutable object whose class says what
/// happened and whose fields carry the values. Receivers recognise an operation by class test
/// (`dynamic_cast`), so a subclass is accepted wherever its base is expected.
///
/// Reference counted: the sender creates one and hands it to `Notify`; every receiver that
/// wants to keep it takes a `TRef`; the last release frees it. May be created and released on
/// any thread.
class TVokNotifyOperation : public TVokRefCounted {
  public:
    TVokNotifyOperation() : m_id(s_nextId.fetch_add(1, std::memory_order_relaxed) + 1) {
        s_liveCount.fetch_add(1, std::memory_order_relaxed);
    }

    /// The implementing object, for class tests by receivers.
    const TVokNotifyOperation* GetOperation() const { return this; }
    /// Process-wide identifier, taken from an atomic counter at construction (the first
    /// operation of the process gets 1).
    uint32_t GetId() const { return m_id; }

    /// Number of operations currently alive in the process (for leak checks).
    static int64_t LiveCount() { return s_liveCount.load(std::memory_order_relaxed); }

  protected:
    ~TVokNotifyOperation() override { s_liveCount.fetch_sub(1, std::memory_order_relaxed); }

  private:
    const uint32_t m_id;
    static inline std::atomic<uint32_t> s_nextId{0};
    static inline std::atomic<int64_t> s_liveCount{0};
};

/// A clock tick.
class TVokClockOperation : public TVokNotifyOperation {};

/// Data supplied; every supplied operation also counts as a clock tick.
class TVokSuppliedOperation : public TVokClockOperation {};

/// A state value changed; each outgoing link converts it into its receiver's value type.
class TVokSuppliedMulticastOperation : public TVokSuppliedOperation {};

/// A single-precision value supplied.
class TVokSuppliedSingleOperation : public TVokSuppliedOperation {
  public:
    explicit TVokSuppliedSingleOperation(float value) : m_value(value) {}
    float GetValue() const { return m_value; }

  private:
    const float m_value;
};

/// A boolean value supplied.
class TVokSuppliedBoolOperation : public TVokSuppliedOperation {
  public:
    explicit TVokSuppliedBoolOperation(bool value) : m_value(value) {}
    bool GetValue() const { return m_value; }

  private:
    const bool m_value;
};

/// A double-precision value supplied.
class TVokSuppliedRealOperation : public TVokSuppliedOperation {
  public:
    explicit TVokSuppliedRealOperation(double value) : m_value(value) {}
    double GetValue() const { return m_value; }

  private:
    const double m_value;
};

/// A 32-bit integer value supplied.
class TVokSuppliedIntegerOperation : public TVokSuppliedOperation {
  public:
    explicit TVokSuppliedIntegerOperation(int32_t value) : m_value(value) {}
    int32_t GetValue() const { return m_value; }

  private:
    const int32_t m_value;
};

/// A component asks its upstream to be driven at a rate. The requesting component is not
/// owned; it outlives the dispatch that carries the request.
class TVokPumpRequestOperation : public TVokNotifyOperation {
  public:
    /// All fields zero.
    TVokPumpRequestOperation() = default;
    TVokPumpRequestOperation(TVokComponent* pump, float desiredRate, int32_t pumpPriority,
                             uint8_t pumpType)
        : m_pump(pump), m_pumpType(pumpType), m_pumpPriority(pumpPriority),
          m_desiredRate(desiredRate) {}

    TVokComponent* GetPump() const { return m_pump; }
    uint8_t GetPumpType() const { return m_pumpType; }
    int32_t GetPumpPriority() const { return m_pumpPriority; }
    float GetDesiredRate() const { return m_desiredRate; }

  private:
    TVokComponent* const m_pump = nullptr;
    const uint8_t m_pumpType = 0;
    const int32_t m_pumpPriority = 0;
    const float m_desiredRate = 0.0f;
};

/// A stream starts.
class TVokStartOperation : public TVokNotifyOperation {};

/// A stream starts at the given rate (per second).
class TVokStartRateOperation : public TVokStartOperation {
  public:
    explicit TVokStartRateOperation(float rate) : m_rate(rate) {}
    float GetRate() const { return m_rate; }

  private:
    const float m_rate;
};

/// A stream stops.
class TVokStopOperation : public TVokNotifyOperation {};

/// A stream stops at its end.
class TVokEndStopOperation : public TVokStopOperation {};

/// A query sent upstream by an input of a multi-input component.
class TVokQueryStreamOperation : public TVokNotifyOperation {};

/// Sent upstream within the same protocol as the query.
class TVokIgnoreStreamOperation : public TVokNotifyOperation {};

/// The operation as `T` when it is one (or derives from one), else null.
template <class T> T* OperationAs(TVokNotifyOperation* operation) {
    return dynamic_cast<T*>(operation);
}
