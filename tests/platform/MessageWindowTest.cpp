#include "platform/VokMessageWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Every wait is bounded (generous, for sanitizer builds on a loaded machine).
constexpr auto kWatchdog = 20s;

struct TDelivery {
    TVokMessage Message;
    std::thread::id Thread;
};

// Records every delivery with the thread it ran on.
class TRecorder {
  public:
    TVokMessageHandler Handler() {
        return [this](const TVokMessage& message) {
            m_deliveries.push_back({message, std::this_thread::get_id()});
        };
    }
    const std::vector<TDelivery>& Deliveries() const { return m_deliveries; }

  private:
    std::vector<TDelivery> m_deliveries; // owner thread only, like every handler
};

class MessageWindowTest : public ::testing::Test {
  protected:
    // Each test starts and ends with an empty queue on the test thread.
    void SetUp() override { TVokHeadlessMessageLoop::ProcessMessages(); }
    void TearDown() override { EXPECT_EQ(TVokHeadlessMessageLoop::GetPendingCount(), 0u); }
};

TEST_F(MessageWindowTest, PostsFromTheOwnerAreQueuedAndDeliveredInOrderAcrossWindows) {
    TRecorder first;
    TRecorder second;
    TVokHeadlessMessageWindow a(first.Handler());
    TVokHeadlessMessageWindow b(second.Handler());
    std::vector<uint32_t> order;
    for (uint32_t i = 0; i < 50; ++i) {
        ASSERT_TRUE((i % 3 == 0 ? b : a).Post(0xA00 + i, -static_cast<intptr_t>(i), i * 7));
    }
    // Nothing is delivered synchronously, not even on the owner thread.
    EXPECT_TRUE(first.Deliveries().empty());
    EXPECT_TRUE(second.Deliveries().empty());
    EXPECT_EQ(TVokHeadlessMessageLoop::GetPendingCount(), 50u);

    EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 50u);
    ASSERT_EQ(first.Deliveries().size() + second.Deliveries().size(), 50u);
    uint32_t expectA = 0xA00;
    for (const TDelivery& delivery : first.Deliveries()) {
        while ((expectA - 0xA00) % 3 == 0) {
            ++expectA;
        }
        EXPECT_EQ(delivery.Message.Message, expectA);
        EXPECT_EQ(delivery.Message.WParam, -static_cast<intptr_t>(expectA - 0xA00));
        EXPECT_EQ(delivery.Message.LParam, static_cast<intptr_t>((expectA - 0xA00) * 7));
        EXPECT_EQ(delivery.Thread, std::this_thread::get_id());
        ++expectA;
    }
    for (size_t k = 0; k < second.Deliveries().size(); ++k) {
        EXPECT_EQ(second.Deliveries()[k].Message.Message, 0xA00 + 3 * k);
    }
    EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 0u);
}

TEST_F(MessageWindowTest, MessagesPostedByAHandlerWaitForTheNextPump) {
    std::unique_ptr<TVokHeadlessMessageWindow> window;
    int calls = 0;
    window = std::make_unique<TVokHeadlessMessageWindow>([&](const TVokMessage& message) {
        ++calls;
        if (message.Message < 3) {
            window->Post(message.Message + 1);
        }
    });
    window->Post(0);
    for (int pump = 1; pump <= 4; ++pump) {
        EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 1u);
        EXPECT_EQ(calls, pump);
    }
    EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 0u);
}

TEST_F(MessageWindowTest, PostersOnOtherThreadsAreDeliveredInOrderOnTheOwnerThreadOnly) {
    constexpr int kPosters = 4;
    constexpr int kPerPoster = 3000;
    std::vector<int> nextSequence(kPosters, 0);
    int delivered = 0;
    bool allOnOwner = true;
    bool inOrder = true;
    const std::thread::id owner = std::this_thread::get_id();
    TVokHeadlessMessageWindow window([&](const TVokMessage& message) {
        allOnOwner = allOnOwner && std::this_thread::get_id() == owner;
        const auto poster = static_cast<size_t>(message.WParam);
        inOrder = inOrder && message.LParam == nextSequence[poster];
        nextSequence[poster] = static_cast<int>(message.LParam) + 1;
        ++delivered;
    });

    std::atomic<bool> refusedTooLong{false};
    std::vector<std::thread> posters;
    const TVokMessagePoster poster = window.GetPoster();
    for (int p = 0; p < kPosters; ++p) {
        posters.emplace_back([&, p] {
            const auto giveUp = std::chrono::steady_clock::now() + kWatchdog;
            for (int i = 0; i < kPerPoster; ++i) {
                // A full queue refuses; try again once the owner has pumped.
                while (!(i % 2 == 0 ? poster.Post(1, p, i) : window.Post(1, p, i))) {
                    if (std::chrono::steady_clock::now() > giveUp) {
                        refusedTooLong = true;
                        return;
                    }
                    std::this_thread::yield();
                }
            }
        });
    }
    const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
    while (delivered < kPosters * kPerPoster && std::chrono::steady_clock::now() < deadline &&
           !refusedTooLong) {
        TVokHeadlessMessageLoop::WaitAndProcessMessages(10ms);
    }
    for (std::thread& thread : posters) {
        thread.join();
    }
    TVokHeadlessMessageLoop::ProcessMessages();
    EXPECT_FALSE(refusedTooLong);
    EXPECT_EQ(delivered, kPosters * kPerPoster);
    EXPECT_TRUE(allOnOwner);
    EXPECT_TRUE(inOrder);
}

TEST_F(MessageWindowTest, DestroyingAWindowDropsWhatIsQueuedAndRefusesLaterPosts) {
    auto state = std::make_unique<int>(0);
    auto window = std::make_unique<TVokHeadlessMessageWindow>(
        [counter = state.get()](const TVokMessage&) { ++*counter; });
    TRecorder other;
    TVokHeadlessMessageWindow survivor(other.Handler());
    const TVokMessagePoster poster = window->GetPoster();
    for (int i = 0; i < 100; ++i) {
        window->Post(1);
        survivor.Post(2);
    }
    window.reset();
    state.reset(); // a delivery to the destroyed window's handler would now touch freed memory
    EXPECT_EQ(TVokHeadlessMessageLoop::GetPendingCount(), 100u);
    EXPECT_FALSE(poster.Post(1));
    EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 100u);
    EXPECT_EQ(other.Deliveries().size(), 100u);
    EXPECT_FALSE(TVokMessagePoster().Post(1));
}

TEST_F(MessageWindowTest, AHandlerMayDestroyItsOwnWindowOrAnotherOneWithMessagesQueued) {
    std::unique_ptr<TVokHeadlessMessageWindow> victim;
    std::unique_ptr<TVokHeadlessMessageWindow> killer;
    int victimCalls = 0;
    int killerCalls = 0;
    victim =
        std::make_unique<TVokHeadlessMessageWindow>([&](const TVokMessage&) { ++victimCalls; });
    killer = std::make_unique<TVokHeadlessMessageWindow>([&](const TVokMessage&) {
        ++killerCalls;
        victim.reset();
        killer.reset(); // its own window, from inside its handler
    });
    victim->Post(1);
    killer->Post(1);
    killer->Post(2);
    victim->Post(2);
    EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 2u);
    EXPECT_EQ(victimCalls, 1);
    EXPECT_EQ(killerCalls, 1);
    EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 0u);
}

TEST_F(MessageWindowTest, APosterRacingWithTheWindowsDestructionIsRefusedOrDropped) {
    int delivered = 0;
    auto window = std::make_unique<TVokHeadlessMessageWindow>(
        [&delivered](const TVokMessage&) { ++delivered; });
    std::promise<void> started;
    std::thread posterThread([&started, poster = window->GetPoster()] {
        started.set_value();
        const auto giveUp = std::chrono::steady_clock::now() + kWatchdog;
        // Posts until the window is gone (refused) or the queue is full (also refused).
        while (poster.Post(7) && std::chrono::steady_clock::now() < giveUp) {
        }
    });
    started.get_future().wait();
    std::this_thread::sleep_for(1ms);
    window.reset();
    posterThread.join();
    EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 0u);
    EXPECT_EQ(delivered, 0);
}

TEST_F(MessageWindowTest, WaitingReturnsOnAPostFromAnotherThreadOrAfterTheTimeOut) {
    TRecorder recorder;
    TVokHeadlessMessageWindow window(recorder.Handler());
    EXPECT_EQ(TVokHeadlessMessageLoop::WaitAndProcessMessages(5ms), 0u);

    std::thread poster([&window] {
        std::this_thread::sleep_for(20ms);
        window.Post(42);
    });
    size_t delivered = 0;
    const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
    while (delivered == 0 && std::chrono::steady_clock::now() < deadline) {
        delivered = TVokHeadlessMessageLoop::WaitAndProcessMessages(kWatchdog);
    }
    poster.join();
    ASSERT_EQ(delivered, 1u);
    EXPECT_EQ(recorder.Deliveries()[0].Message.Message, 42u);
}

TEST_F(MessageWindowTest, AFullQueueRefusesPostsUntilPumped) {
    int delivered = 0;
    TVokHeadlessMessageWindow window([&delivered](const TVokMessage&) { ++delivered; });
    for (size_t i = 0; i < TVokHeadlessMessageLoop::kMaxQueuedMessages; ++i) {
        ASSERT_TRUE(window.Post(1));
    }
    EXPECT_FALSE(window.Post(1));
    EXPECT_EQ(TVokHeadlessMessageLoop::GetPendingCount(),
              TVokHeadlessMessageLoop::kMaxQueuedMessages);
    EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(),
              TVokHeadlessMessageLoop::kMaxQueuedMessages);
    EXPECT_TRUE(window.Post(1));
    EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 1u);
}

TEST_F(MessageWindowTest, AThrowingHandlerLeavesTheRestQueuedInOrder) {
    std::vector<uint32_t> seen;
    TVokHeadlessMessageWindow window([&seen](const TVokMessage& message) {
        seen.push_back(message.Message);
        if (message.Message == 2) {
            throw std::runtime_error("handler failed");
        }
    });
    for (uint32_t i = 1; i <= 4; ++i) {
        window.Post(i);
    }
    EXPECT_THROW(TVokHeadlessMessageLoop::ProcessMessages(), std::runtime_error);
    window.Post(5);
    EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 3u);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
}

TEST_F(MessageWindowTest, TheFactoryIsTheSeamForOtherImplementations) {
    int made = 0;
    TVokMessageWindowFactory previous = SetMessageWindowFactory([&made](TVokMessageHandler h) {
        ++made;
        return std::make_unique<TVokHeadlessMessageWindow>(std::move(h));
    });
    EXPECT_FALSE(previous);
    TRecorder recorder;
    std::unique_ptr<TVokMessageWindow> window = CreateMessageWindow(recorder.Handler());
    EXPECT_EQ(made, 1);
    window->Post(3);
    EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 1u);

    SetMessageWindowFactory(
        [](TVokMessageHandler) { return std::unique_ptr<TVokMessageWindow>(); });
    EXPECT_THROW(CreateMessageWindow(recorder.Handler()), std::logic_error);
    SetMessageWindowFactory({});
    EXPECT_NE(
        dynamic_cast<TVokHeadlessMessageWindow*>(CreateMessageWindow(recorder.Handler()).get()),
        nullptr);
    EXPECT_EQ(made, 1);
}

TEST_F(MessageWindowTest, MisuseIsRefusedWithAClearError) {
    EXPECT_THROW(TVokHeadlessMessageWindow(TVokMessageHandler{}), std::invalid_argument);
    EXPECT_THROW(CreateMessageWindow(TVokMessageHandler{}), std::invalid_argument);
    TRecorder recorder;
    TVokHeadlessMessageWindow window(recorder.Handler());
    auto foreign = std::async(std::launch::async, [&window] {
        try {
            window.Deliver(TVokMessage{9, 0, 0});
        } catch (const std::logic_error& error) {
            return std::string(error.what());
        }
        return std::string();
    });
    ASSERT_EQ(foreign.wait_for(kWatchdog), std::future_status::ready);
    EXPECT_NE(foreign.get().find("owner thread"), std::string::npos);
    EXPECT_TRUE(recorder.Deliveries().empty());
}

} // namespace
