#include "platform/VokPeriodicTimer.h"

#include <cassert>
#include <stdexcept>
#include <string>

TVokPeriodicTimer::TVokPeriodicTimer(std::chrono::nanoseconds period, TVokTimerCallback callback,
                                     TVokThreadPriority priority)
    : m_period(period), m_callback(std::move(callback)), m_start(std::chrono::steady_clock::now()) {
    if (m_period <= std::chrono::nanoseconds::zero()) {
        throw std::invalid_argument("TVokPeriodicTimer: the period must be positive, not " +
                                    std::to_string(m_period.count()) + " ns");
    }
    if (!m_callback) {
        throw std::invalid_argument("TVokPeriodicTimer: the callback is empty");
    }
    m_thread = std::thread([this, priority] { Run(priority); });
}

TVokPeriodicTimer::~TVokPeriodicTimer() {
    assert(!m_thread.joinable() || m_thread.get_id() != std::this_thread::get_id());
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        Stop();
    }
}

void TVokPeriodicTimer::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    if (m_thread.get_id() == std::this_thread::get_id()) {
        throw std::logic_error("TVokPeriodicTimer::Stop called from the timer's own callback");
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping.store(true, std::memory_order_relaxed);
    }
    m_wake.notify_all();
    m_thread.join();
}

void TVokPeriodicTimer::Run(TVokThreadPriority priority) {
    RaiseCurrentThreadPriority(priority);
    uint64_t next = 0; // the first tick not yet called
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        // Sleep until the absolute deadline of the next tick; a wake-up for any other reason
        // goes back to sleep until the same deadline.
        if (m_wake.wait_until(lock, GetDeadline(next),
                              [this] { return m_stopping.load(std::memory_order_relaxed); })) {
            return;
        }
        lock.unlock();

        // Every tick whose deadline has passed is due now (at least `next` itself). Counted
        // again after each callback, so that a callback that ran long is caught up with too.
        while (!m_stopping.load(std::memory_order_relaxed)) {
            const auto elapsed = std::chrono::steady_clock::now() - m_start;
            const auto passed = static_cast<uint64_t>(elapsed / m_period);
            if (passed <= next) {
                break;
            }
            if (passed - next > kMaxCatchUpTicks) {
                m_skipped.fetch_add(passed - next - kMaxCatchUpTicks, std::memory_order_relaxed);
                next = passed - kMaxCatchUpTicks;
            }
            try {
                m_callback(TVokTimerTick{next, GetDeadline(next)});
            } catch (...) {
                // Nobody on this thread could handle it; the next tick still comes.
            }
            ++next;
        }

        lock.lock();
    }
}
