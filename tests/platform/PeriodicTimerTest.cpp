#include "platform/VokPeriodicTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

// Every wait is bounded (generous, for sanitizer builds on a loaded machine). Timing checks
// only ever use slack far beyond scheduling noise.
constexpr auto kWatchdog = 20s;

struct TCall {
    TVokTimerTick Tick;
    TClock::time_point CalledAt;
};

// Collects ticks; a test waits until a given number arrived.
class TTickLog {
  public:
    void Add(const TVokTimerTick& tick) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_calls.push_back({tick, TClock::now()});
        }
        m_changed.notify_all();
    }
    bool WaitFor(size_t count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kWatchdog, [&] { return m_calls.size() >= count; });
    }
    std::vector<TCall> Calls() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }

  private:
    std::mutex m_mutex; // guards m_calls
    std::condition_variable m_changed;
    std::vector<TCall> m_calls;
};

// Ticks lie on the grid start + (k + 1) × period and are never early.
void ExpectOnGrid(const TVokPeriodicTimer& timer, const std::vector<TCall>& calls) {
    for (const TCall& call : calls) {
        EXPECT_EQ(call.Tick.Deadline, timer.GetDeadline(call.Tick.Index));
        EXPECT_GE(call.CalledAt, call.Tick.Deadline) << "tick " << call.Tick.Index << " early";
    }
    for (size_t k = 1; k < calls.size(); ++k) {
        const auto steps = static_cast<int64_t>(calls[k].Tick.Index - calls[0].Tick.Index);
        EXPECT_EQ(calls[k].Tick.Deadline - calls[0].Tick.Deadline, timer.GetPeriod() * steps);
    }
}

TEST(PeriodicTimerTest, TicksComeInOrderOnTheTimerThreadAtAbsoluteDeadlines) {
    TTickLog log;
    std::atomic<bool> onCaller{false};
    const std::thread::id caller = std::this_thread::get_id();
    TVokPeriodicTimer timer(2ms, [&](const TVokTimerTick& tick) {
        onCaller = onCaller || std::this_thread::get_id() == caller;
        log.Add(tick);
    });
    ASSERT_TRUE(log.WaitFor(30));
    timer.Stop();
    const std::vector<TCall> calls = log.Calls();
    for (size_t k = 0; k < calls.size(); ++k) {
        EXPECT_EQ(calls[k].Tick.Index, k);
    }
    ExpectOnGrid(timer, calls);
    EXPECT_FALSE(onCaller);
    EXPECT_EQ(timer.GetSkippedTicks(), 0u);
}

TEST(PeriodicTimerTest, ALateTickDoesNotShiftLaterDeadlines) {
    // Tick 0 holds the thread for 50 periods; ticks 1 … 49 are then overdue and follow back to
    // back. A timer that slept one period after each tick would reach tick 80 no sooner than
    // 50 periods (500 ms) after its deadline.
    constexpr auto kPeriod = 10ms;
    TTickLog log;
    TVokPeriodicTimer timer(kPeriod, [&](const TVokTimerTick& tick) {
        if (tick.Index == 0) {
            std::this_thread::sleep_for(kPeriod * 50);
        }
        log.Add(tick);
    });
    ASSERT_TRUE(log.WaitFor(81));
    timer.Stop();
    const std::vector<TCall> calls = log.Calls();
    for (size_t k = 0; k < calls.size(); ++k) {
        ASSERT_EQ(calls[k].Tick.Index, k) << "no tick may be skipped after a stall of 50";
    }
    ExpectOnGrid(timer, calls);
    EXPECT_LT(calls[80].CalledAt - calls[80].Tick.Deadline, 400ms);
}

TEST(PeriodicTimerTest, ALongStallSkipsAllButTheLastOverdueTicks) {
    constexpr auto kPeriod = 1ms;
    TTickLog log;
    TVokPeriodicTimer timer(kPeriod, [&](const TVokTimerTick& tick) {
        if (tick.Index == 0) {
            std::this_thread::sleep_for(kPeriod * 300);
        }
        log.Add(tick);
    });
    ASSERT_TRUE(log.WaitFor(2 + TVokPeriodicTimer::kMaxCatchUpTicks));
    timer.Stop();
    const std::vector<TCall> calls = log.Calls();
    const uint64_t resumedAt = calls[1].Tick.Index;
    // At least 300 deadlines passed during the stall; only the last 64 of them are called.
    EXPECT_GE(resumedAt, 300u - TVokPeriodicTimer::kMaxCatchUpTicks);
    EXPECT_GE(timer.GetSkippedTicks(), resumedAt - 1);
    for (size_t k = 2; k < calls.size(); ++k) {
        EXPECT_GT(calls[k].Tick.Index, calls[k - 1].Tick.Index);
    }
    ExpectOnGrid(timer, calls);
}

TEST(PeriodicTimerTest, StopDoesNotWaitForTheNextDeadlineAndEndsTheTicks) {
    std::atomic<int> ticks{0};
    auto slow = std::make_unique<TVokPeriodicTimer>(1h, [&](const TVokTimerTick&) { ++ticks; });
    auto stopped = std::async(std::launch::async, [&slow] { slow->Stop(); });
    ASSERT_EQ(stopped.wait_for(kWatchdog), std::future_status::ready);
    slow.reset();
    EXPECT_EQ(ticks, 0);

    TTickLog log;
    TVokPeriodicTimer fast(1ms, [&](const TVokTimerTick& tick) { log.Add(tick); });
    ASSERT_TRUE(log.WaitFor(3));
    fast.Stop();
    const size_t atStop = log.Calls().size();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(log.Calls().size(), atStop);
    fast.Stop(); // idempotent
}

TEST(PeriodicTimerTest, TheCallbackCannotStopItsOwnTimerAndItsExceptionsDoNotEndTheTicks) {
    std::atomic<int> refused{0};
    TTickLog log;
    TVokPeriodicTimer* self = nullptr;
    std::promise<void> ready;
    std::shared_future<void> readyFuture = ready.get_future().share();
    TVokPeriodicTimer timer(1ms, [&](const TVokTimerTick& tick) {
        readyFuture.wait();
        log.Add(tick);
        if (tick.Index == 0) {
            try {
                self->Stop();
            } catch (const std::logic_error&) {
                ++refused;
            }
        }
        if (tick.Index == 1) {
            throw std::runtime_error("callback failed");
        }
    });
    self = &timer;
    ready.set_value();
    ASSERT_TRUE(log.WaitFor(4));
    timer.Stop();
    EXPECT_EQ(refused, 1);
}

TEST(PeriodicTimerTest, BadArgumentsAreRefused) {
    const TVokTimerCallback callback = [](const TVokTimerTick&) {};
    EXPECT_THROW(TVokPeriodicTimer(0ms, callback), std::invalid_argument);
    EXPECT_THROW(TVokPeriodicTimer(-5ms, callback), std::invalid_argument);
    EXPECT_THROW(TVokPeriodicTimer(1ms, TVokTimerCallback{}), std::invalid_argument);
}

} // namespace
