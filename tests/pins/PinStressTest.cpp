// Concurrency stress: one thread keeps changing the graph (link, unlink, destroy) while two
// threads dispatch through the same sources, downstream and upstream. Runs in every preset;
// under the thread sanitizer it doubles as the race check of the pin framework.
#include "pins/VokPin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

const TVokGuid kStressType = TVokGuid::Parse("{5E1A7C33-2B4D-4F6E-8A9B-0C1D2E3F4A5B}");

std::atomic<int64_t> g_upstreamCalls{0};

TVokNotifyResults CountUpstream(void*, TVokBasicPin*, const TVokGuid&, TVokNotifyFlags,
                                TVokNotifyOperation*) {
    g_upstreamCalls.fetch_add(1, std::memory_order_relaxed);
    return {};
}

/// A sink counting deliveries; the count is guarded by the sink's group lock, which the
/// dispatch holds around the handler.
class TCountingSink : public TVokSinkPin {
  public:
    TCountingSink() : TVokSinkPin(nullptr) {
        AddStreamType(kStressType, TVokLinkHandler{&CountUpstream, this});
    }
    bool QueryType(const TVokGuid& typeId) const override { return typeId == kStressType; }
    TVokNotifyResults Receive(const TVokGuid&, TVokNotifyOperation* operation,
                              TVokNotifyFlags flags) override {
        if (flags.Contains(nfLinkChanged)) {
            return {}; // link notifications carry no data
        }
        ++m_received;
        if (m_forward != nullptr) {
            m_forward->Notify(operation); // nested dispatch in the same thread
        }
        return {};
    }
    int64_t Received() {
        TVokReadLockSection section(*this);
        return m_received;
    }

    TVokSourcePin* m_forward = nullptr;

  private:
    int64_t m_received = 0;
};

class TStressSource : public TVokSourcePin {
  public:
    TStressSource() : TVokSourcePin(nullptr) {
        AddStreamType(kStressType, TVokLinkHandler::Of<&TStressSource::Dispatch>(this));
    }
    bool QueryType(const TVokGuid& typeId) const override { return typeId == kStressType; }
    TVokNotifyResults Dispatch(TVokBasicPin* receiver, const TVokGuid& typeId,
                               TVokNotifyFlags flags, TVokNotifyOperation* operation) {
        return receiver->Receive(typeId, operation, flags);
    }
};

/// Fails and ends the process when `work` has not finished within `limit`: a deadlocked
/// thread cannot be stopped any other way.
class TWatchdog {
  public:
    explicit TWatchdog(std::chrono::seconds limit)
        : m_thread([this, limit] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
                  std::fprintf(stderr, "watchdog: the stress test is stuck (deadlock?)\n");
                  std::abort();
              }
          }) {}
    ~TWatchdog() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

  private:
    std::mutex m_mutex; ///< guards m_finished
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

TEST(PinStressTest, LinkingUnlinkingAndDestroyingWhileTwoThreadsDispatch) {
    const int64_t pinsBefore = TVokBasicPin::LiveCount();
    const int64_t operationsBefore = TVokNotifyOperation::LiveCount();
    {
        TWatchdog watchdog(std::chrono::seconds(120));

        auto first = MakePin<TStressSource>();
        auto second = MakePin<TStressSource>();
        // Sinks that stay linked all the time: their counts must match the dispatches exactly.
        auto firstKeeper = MakePin<TCountingSink>();
        auto secondKeeper = MakePin<TCountingSink>();
        ASSERT_TRUE(first->Connect(firstKeeper.get()));
        ASSERT_TRUE(second->Connect(secondKeeper.get()));
        // A component in the middle: its input forwards to its output, which depends on it and
        // shares its lock group; the input moves between the two sources.
        auto middleIn = MakePin<TCountingSink>();
        auto middleOut = MakePin<TStressSource>();
        middleOut->FunctionSinkPins().Add(middleIn.get(), true);
        middleIn->m_forward = middleOut.get();
        auto downstream = MakePin<TCountingSink>();
        ASSERT_TRUE(middleOut->Connect(downstream.get()));
        ASSERT_TRUE(first->Connect(middleIn.get()));

        std::atomic<bool> stop{false};
        std::atomic<int64_t> firstSent{0};
        std::atomic<int64_t> secondSent{0};
        auto dispatcher = [&](unsigned seed) {
            std::minstd_rand random(seed);
            while (!stop.load(std::memory_order_relaxed)) {
                const TRef<TVokNotifyOperation> operation = MakeRef<TVokClockOperation>();
                switch (random() % 4) {
                case 0:
                case 1:
                    first->Notify(operation.Get());
                    firstSent.fetch_add(1, std::memory_order_relaxed);
                    break;
                case 2:
                    second->Notify(operation.Get());
                    secondSent.fetch_add(1, std::memory_order_relaxed);
                    break;
                default:
                    downstream->Notify(operation.Get()); // upstream through the lock chain
                    break;
                }
            }
        };
        int64_t structuralChanges = 0;
        auto changer = [&] {
            std::minstd_rand random(7);
            std::vector<TVokPinPtr<TCountingSink>> churn;
            while (!stop.load(std::memory_order_relaxed)) {
                TStressSource* source = random() % 2 == 0 ? first.get() : second.get();
                switch (random() % 5) {
                case 0:
                    churn.push_back(MakePin<TCountingSink>());
                    source->Connect(churn.back().get());
                    break;
                case 1:
                    if (!churn.empty()) {
                        churn[random() % churn.size()]->Connect(source); // re-link
                    }
                    break;
                case 2:
                    if (!churn.empty()) {
                        churn[random() % churn.size()]->Connect(nullptr);
                    }
                    break;
                case 3:
                    if (!churn.empty()) {
                        churn.erase(churn.begin() +
                                    static_cast<ptrdiff_t>(random() % churn.size()));
                    }
                    break;
                default:
                    middleIn->Connect(source);
                    break;
                }
                ++structuralChanges;
                std::this_thread::yield();
            }
        };

        std::thread one(dispatcher, 1u);
        std::thread two(dispatcher, 2u);
        std::thread three(changer);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        stop = true;
        one.join();
        two.join();
        three.join();

        EXPECT_GT(structuralChanges, 10);
        EXPECT_GT(firstSent.load() + secondSent.load(), 100);
        EXPECT_EQ(firstKeeper->Received(), firstSent.load()) << "lost or duplicated deliveries";
        EXPECT_EQ(secondKeeper->Received(), secondSent.load()) << "lost or duplicated deliveries";
        EXPECT_EQ(downstream->Received(), middleIn->Received())
            << "every delivery to the middle component is forwarded exactly once";
        EXPECT_GT(g_upstreamCalls.load(), 0);
        EXPECT_EQ(downstream->GetLockChain().size(), 4u)
            << "source, middle input, middle output, downstream sink";
    }
    EXPECT_EQ(TVokBasicPin::LiveCount(), pinsBefore);
    EXPECT_EQ(TVokNotifyOperation::LiveCount(), operationsBefore);
}

} // namespace
