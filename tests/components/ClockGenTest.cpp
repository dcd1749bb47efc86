#include "components/ZemClockGen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Every wait is bounded (generous, for sanitizer builds on a loaded machine); nothing asserts
// how fast a clock ticks.
constexpr auto kWatchdog = 20s;

bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A clock client: its own lock object, a tick count and the thread its ticks ran on.
class TClient {
  public:
    TZemClockCallback Callback() {
        return [this] {
            if (m_onTick) {
                m_onTick(*this);
            }
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_thread = std::this_thread::get_id();
                ++m_ticks;
            }
            m_changed.notify_all();
        };
    }
    bool WaitForTicks(int count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kWatchdog, [&] { return m_ticks >= count; });
    }
    int Ticks() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ticks;
    }
    std::thread::id Thread() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_thread;
    }

    TVokObject m_lock;
    std::atomic<TZemClockGenItem*> m_item{nullptr};
    /// Runs on the clock thread before the tick is counted; set before registering.
    std::function<void(TClient&)> m_onTick;

  private:
    std::mutex m_mutex; // guards m_ticks and m_thread
    std::condition_variable m_changed;
    int m_ticks = 0;
    std::thread::id m_thread;
};

class ClockGenTest : public ::testing::Test {
  protected:
    void SetUp() override { m_threadsBefore = TZemClockGenThread::LiveCount(); }
    void TearDown() override {
        m_list.reset();
        EXPECT_EQ(TZemClockGenThread::LiveCount(), m_threadsBefore) << "clock threads leaked";
    }

    TZemClockGenItem* Register(TClient& client, uint32_t period) {
        TZemClockGenItem* item =
            m_list->RegisterClockClient(period, &client.m_lock, client.Callback(), nullptr);
        client.m_item = item;
        return item;
    }
    bool ThreadsEnd() {
        return WaitUntil([this] { return m_list->GetLiveThreadCount() == 0; });
    }

    std::unique_ptr<TZemClockGenList> m_list = std::make_unique<TZemClockGenList>();
    int64_t m_threadsBefore = 0;
};

TEST_F(ClockGenTest, ClientsOfOnePeriodShareOneGeneratorAndWorkerOtherPeriodsGetTheirOwn) {
    TClient a;
    TClient b;
    TClient c;
    TZemClockGenItem* itemA = Register(a, 23);
    TZemClockGenItem* itemB = Register(b, 23);
    EXPECT_EQ(itemA->GetGenerator(), itemB->GetGenerator());
    EXPECT_EQ(m_list->GetGeneratorCount(), 1u);
    EXPECT_EQ(m_list->GetLiveThreadCount(), 1);
    TZemClockGenItem* itemC = Register(c, 46);
    EXPECT_NE(itemC->GetGenerator(), itemA->GetGenerator());
    EXPECT_EQ(m_list->GetGeneratorCount(), 2u);
    EXPECT_EQ(m_list->GetLiveThreadCount(), 2);
    EXPECT_EQ(m_list->FindGenerator(23), itemA->GetGenerator());
    EXPECT_EQ(itemA->GetGenerator()->GetItemCount(), 2u);
    EXPECT_TRUE(itemA->GetGenerator()->HasTimer());

    // The generator and its clients form one lock group: callbacks run with it held.
    EXPECT_EQ(itemA->GetGenerator()->GetLockObject(), a.m_lock.GetLockObject());
    EXPECT_EQ(a.m_lock.GetLockObject(), b.m_lock.GetLockObject());
    EXPECT_NE(a.m_lock.GetLockObject(), c.m_lock.GetLockObject());

    ASSERT_TRUE(a.WaitForTicks(3));
    ASSERT_TRUE(b.WaitForTicks(3));
    ASSERT_TRUE(c.WaitForTicks(3));
    const std::thread::id worker23 = itemA->GetGenerator()->GetThread()->GetId();
    EXPECT_EQ(a.Thread(), worker23);
    EXPECT_EQ(b.Thread(), worker23);
    EXPECT_EQ(c.Thread(), itemC->GetGenerator()->GetThread()->GetId());
    EXPECT_NE(c.Thread(), worker23);
    EXPECT_NE(a.Thread(), std::this_thread::get_id());

    EXPECT_FALSE(m_list->UnregisterClockClient(itemA, &a.m_lock));
    EXPECT_NE(b.m_lock.GetLockObject(), a.m_lock.GetLockObject());
    EXPECT_FALSE(m_list->UnregisterClockClient(itemC, &c.m_lock));
    EXPECT_TRUE(m_list->UnregisterClockClient(itemB, nullptr));
    EXPECT_TRUE(ThreadsEnd());
}

TEST_F(ClockGenTest, TheLastClientLeavingEndsTheWorkerAndALaterRegistrationStartsAnew) {
    TClient first;
    TZemClockGenItem* item = Register(first, 23);
    ASSERT_TRUE(first.WaitForTicks(2));
    EXPECT_TRUE(m_list->UnregisterClockClient(item, &first.m_lock));
    // Gone from the registry at once; its worker ends after one more tick.
    EXPECT_EQ(m_list->GetGeneratorCount(), 0u);
    EXPECT_EQ(m_list->FindGenerator(23), nullptr);
    EXPECT_TRUE(ThreadsEnd());
    const int ticksAtEnd = first.Ticks();

    TClient second;
    TZemClockGenItem* again = Register(second, 23);
    EXPECT_EQ(m_list->GetLiveThreadCount(), 1);
    ASSERT_TRUE(second.WaitForTicks(2));
    EXPECT_EQ(first.Ticks(), ticksAtEnd);
    EXPECT_TRUE(m_list->UnregisterClockClient(again, &second.m_lock));
    EXPECT_TRUE(ThreadsEnd());
}

TEST_F(ClockGenTest, NoCallbackRunsAfterUnregisteringReturns) {
    TClient leaving;
    TClient staying;
    // Long callbacks make an unregistration during a running tick likely.
    leaving.m_onTick = [](TClient&) { std::this_thread::sleep_for(2ms); };
    TZemClockGenItem* leavingItem = Register(leaving, 1);
    TZemClockGenItem* stayingItem = Register(staying, 1);
    ASSERT_TRUE(leaving.WaitForTicks(5));
    EXPECT_FALSE(m_list->UnregisterClockClient(leavingItem, &leaving.m_lock));
    const int atReturn = leaving.Ticks();
    const int stayingAtReturn = staying.Ticks();
    ASSERT_TRUE(staying.WaitForTicks(stayingAtReturn + 5));
    EXPECT_EQ(leaving.Ticks(), atReturn);
    EXPECT_TRUE(m_list->UnregisterClockClient(stayingItem, &staying.m_lock));
    EXPECT_TRUE(ThreadsEnd());
}

TEST_F(ClockGenTest, ACallbackMayUnregisterItselfWithoutDeadlock) {
    TClient self;
    TClient other;
    std::atomic<int> registryEmptyAnswer{-1};
    self.m_onTick = [this, &registryEmptyAnswer](TClient& client) {
        if (client.Ticks() >= 2) { // from its third tick on, once its item is known
            if (TZemClockGenItem* item = client.m_item.exchange(nullptr)) {
                registryEmptyAnswer = m_list->UnregisterClockClient(item, &client.m_lock);
            }
        }
    };
    Register(self, 5);
    TZemClockGenItem* otherItem = Register(other, 5);
    ASSERT_TRUE(WaitUntil([&] { return registryEmptyAnswer != -1; }));
    const int selfAfter = self.Ticks();
    ASSERT_TRUE(other.WaitForTicks(other.Ticks() + 5));
    EXPECT_EQ(self.Ticks(), selfAfter);
    EXPECT_EQ(registryEmptyAnswer, 0);
    EXPECT_EQ(otherItem->GetGenerator()->GetItemCount(), 1u);
    EXPECT_TRUE(m_list->UnregisterClockClient(otherItem, &other.m_lock));

    // The last client of a generator leaving from its own callback: the worker destroys the
    // generator right after that tick.
    TClient last;
    last.m_onTick = [this](TClient& client) {
        if (TZemClockGenItem* item = client.m_item.exchange(nullptr)) {
            m_list->UnregisterClockClient(item, nullptr);
        }
    };
    Register(last, 7);
    ASSERT_TRUE(last.WaitForTicks(1));
    EXPECT_TRUE(ThreadsEnd());
    const int lastTicks = last.Ticks();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(last.Ticks(), lastTicks);
    EXPECT_EQ(m_list->GetGeneratorCount(), 0u);
}

TEST_F(ClockGenTest, TicksArrivingWhileCallbacksRunAreQueued) {
    std::atomic<bool> release{false};
    TClient slow;
    slow.m_onTick = [&release](TClient& client) {
        if (client.Ticks() == 0) {
            const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
            while (!release && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(1ms);
            }
        }
    };
    TZemClockGenItem* item = Register(slow, 2);
    TZemClockGenThread* worker = item->GetGenerator()->GetThread();
    EXPECT_TRUE(WaitUntil([worker] { return worker->GetSemaphore().GetCount() >= 5; }));
    const uint32_t queued = worker->GetSemaphore().GetCount();
    release = true;
    // The queued ticks run back to back once the first one returns.
    EXPECT_TRUE(slow.WaitForTicks(1 + static_cast<int>(queued)));
    EXPECT_TRUE(m_list->UnregisterClockClient(item, &slow.m_lock));
    EXPECT_TRUE(ThreadsEnd());
}

TEST_F(ClockGenTest, AThrowingCallbackDoesNotStopTheOtherClients) {
    TClient thrower;
    TClient counter;
    thrower.m_onTick = [](TClient&) { throw std::runtime_error("client failed"); };
    TZemClockGenItem* throwerItem = Register(thrower, 3);
    TZemClockGenItem* counterItem = Register(counter, 3);
    EXPECT_TRUE(counter.WaitForTicks(5));
    EXPECT_EQ(thrower.Ticks(), 0);
    m_list->UnregisterClockClient(throwerItem, &thrower.m_lock);
    m_list->UnregisterClockClient(counterItem, &counter.m_lock);
    EXPECT_TRUE(ThreadsEnd());
}

TEST_F(ClockGenTest, APeriodOfZeroGivesAGeneratorWithoutTicks) {
    TClient client;
    TZemClockGenItem* item = Register(client, 0);
    EXPECT_FALSE(item->GetGenerator()->HasTimer());
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(client.Ticks(), 0);
    EXPECT_TRUE(m_list->UnregisterClockClient(item, &client.m_lock));
    EXPECT_TRUE(ThreadsEnd());
    EXPECT_EQ(client.Ticks(), 0);
}

TEST_F(ClockGenTest, ShutdownStopsRemainingGeneratorsAndWaitsForEveryWorker) {
    TClient a;
    TClient b;
    TClient c;
    TClient d;
    Register(a, 4);
    Register(b, 4);
    Register(c, 9);
    TZemClockGenItem* itemD = Register(d, 11);
    ASSERT_TRUE(a.WaitForTicks(1));
    ASSERT_TRUE(c.WaitForTicks(1));
    m_list->UnregisterClockClient(itemD, &d.m_lock); // its worker is ending on its own
    m_list->Shutdown();
    EXPECT_EQ(m_list->GetLiveThreadCount(), 0);
    EXPECT_EQ(m_list->GetGeneratorCount(), 0u);
    EXPECT_EQ(TZemClockGenThread::LiveCount(), m_threadsBefore);
    const int ticksA = a.Ticks();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(a.Ticks(), ticksA);
    // The clients that shared a generator no longer share a lock group.
    EXPECT_NE(a.m_lock.GetLockObject(), b.m_lock.GetLockObject());
    EXPECT_THROW(Register(a, 4), std::logic_error);
    m_list->Shutdown();
}

TEST_F(ClockGenTest, BadArgumentsAreRefusedWithoutChangingAnything) {
    TClient client;
    TClient stranger;
    EXPECT_THROW(m_list->RegisterClockClient(23, nullptr, client.Callback(), nullptr),
                 std::invalid_argument);
    EXPECT_EQ(m_list->GetGeneratorCount(), 0u);
    EXPECT_THROW(m_list->UnregisterClockClient(nullptr, &client.m_lock), std::invalid_argument);

    TZemClockGenItem* item = Register(client, 23);
    EXPECT_THROW(m_list->UnregisterClockClient(item, &stranger.m_lock), std::invalid_argument);
    EXPECT_EQ(item->GetGenerator()->GetItemCount(), 1u);
    EXPECT_TRUE(m_list->UnregisterClockClient(item, &client.m_lock));
    // Unregistering twice is refused: the item is found nowhere.
    EXPECT_THROW(m_list->UnregisterClockClient(item, &client.m_lock), std::invalid_argument);
    EXPECT_TRUE(ThreadsEnd());
}

TEST(ClockGenRegistry, TheProcessWideRegistryServesTheFreeFunctions) {
    TClient client;
    TZemClockGenItem* item = RegisterClockClient(23, &client.m_lock, client.Callback(), nullptr);
    EXPECT_EQ(TZemClockGenList::Instance().FindGenerator(23), item->GetGenerator());
    ASSERT_TRUE(client.WaitForTicks(2));
    EXPECT_TRUE(UnregisterClockClient(item, &client.m_lock));
    EXPECT_TRUE(WaitUntil([] { return TZemClockGenList::Instance().GetLiveThreadCount() == 0; }));
}

TEST(ClockGenSemaphore, ReleasesBeyondTheMaximumAreRefused) {
    TZemCountingSemaphore semaphore(3);
    EXPECT_TRUE(semaphore.Release());
    EXPECT_TRUE(semaphore.Release());
    EXPECT_TRUE(semaphore.Release());
    EXPECT_FALSE(semaphore.Release());
    EXPECT_EQ(semaphore.GetCount(), 3u);
    semaphore.Acquire();
    EXPECT_EQ(semaphore.GetCount(), 2u);
    EXPECT_TRUE(semaphore.Release());
}

} // namespace
