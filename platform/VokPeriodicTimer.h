#pragma once

#include "platform/VokThreadPriority.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

/// One tick of a `TVokPeriodicTimer`: its number (0, 1, 2, ...) and the deadline it was due at.
struct TVokTimerTick {
    uint64_t Index = 0;
    std::chrono::steady_clock::time_point Deadline;
};

/// Called on the timer's own thread for every tick, in index order. Exceptions it throws are
/// swallowed (there is nobody on the timer thread to report them to).
using TVokTimerCallback = std::function<void(const TVokTimerTick& tick)>;

/// A periodic timer: a thread of its own that sleeps until absolute deadlines on
/// `std::chrono::steady_clock` and calls the callback once per period.
///
/// Deadlines: tick k is due at start + (k + 1) × period, start being the moment of
/// construction. They never drift: a tick that runs late (the machine was busy or the callback
/// took long) does not move later deadlines. Ticks whose deadlines passed while the thread was
/// held up are called back to back as soon as it runs again, at most `kMaxCatchUpTicks` of
/// them; older overdue ticks are skipped (counted by `GetSkippedTicks`), so a long stall does
/// not turn into a long burst. A tick is never called before its deadline.
///
/// Threads: the callback runs on the timer thread only, never two at a time; keep it short
/// (handing a tick to another thread is the intended use). The timer thread raises its own
/// priority as `RaiseCurrentThreadPriority` permits. `Stop` and the destructor may be called
/// from any thread except the timer thread itself.
class TVokPeriodicTimer {
  public:
    /// Overdue ticks called back to back after a stall; older ones are skipped.
    static constexpr uint64_t kMaxCatchUpTicks = 64;

    /// Starts the timer thread at once. Throws std::invalid_argument for a period of zero or
    /// less or an empty callback, std::system_error when the thread cannot be started.
    TVokPeriodicTimer(std::chrono::nanoseconds period, TVokTimerCallback callback,
                      TVokThreadPriority priority = tpTimeCritical);
    TVokPeriodicTimer(const TVokPeriodicTimer&) = delete;
    TVokPeriodicTimer& operator=(const TVokPeriodicTimer&) = delete;
    /// `Stop`. Must not run on the timer thread (from the callback).
    ~TVokPeriodicTimer();

    /// Stops the timer: no callback starts after it returns, and a running one has finished.
    /// Does not wait for the next deadline. Idempotent. Throws std::logic_error when called on
    /// the timer thread (it would wait for itself).
    void Stop();

    std::chrono::nanoseconds GetPeriod() const { return m_period; }
    /// The deadline of tick `index`.
    std::chrono::steady_clock::time_point GetDeadline(uint64_t index) const {
        return m_start + m_period * static_cast<int64_t>(index + 1);
    }
    /// Overdue ticks skipped so far (beyond `kMaxCatchUpTicks` after a stall). Any thread.
    uint64_t GetSkippedTicks() const { return m_skipped.load(std::memory_order_relaxed); }

  private:
    void Run(TVokThreadPriority priority);

    const std::chrono::nanoseconds m_period;
    const TVokTimerCallback m_callback;
    const std::chrono::steady_clock::time_point m_start;
    std::atomic<uint64_t> m_skipped{0};
    /// Guards nothing but the sleep/wake hand-shake on `m_wake`: `Stop` sets `m_stopping`
    /// while holding it, so a sleeping timer thread cannot miss the request.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
