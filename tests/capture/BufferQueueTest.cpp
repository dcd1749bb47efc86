// The block queue between the stream's thread and the delivery thread, the delivery thread
// itself and the grabber's callback object.

#include "buffers/ZemInternalStore.h"
#include "capture/HoxDSBufferQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::vector<uint8_t> Bytes(uint32_t count, uint8_t first) {
    std::vector<uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

class BufferQueueTest : public ::testing::Test {
  protected:
    void SetUp() override { m_blocksBefore = PoolBlocksInUse(); }
    void TearDown() override { EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore); }

    int64_t m_blocksBefore = 0;
};

TEST_F(BufferQueueTest, EntriesComeOutInOrderWithTheirTimesAndBytes) {
    THoxDSBufferQueue queue;
    EXPECT_EQ(queue.Dequeue(), nullptr);
    for (uint8_t index = 0; index < 3; ++index) {
        const std::vector<uint8_t> bytes = Bytes(100u + index, index);
        ASSERT_TRUE(queue.Enqueue(10 * index, 10 * index + 5, bytes.data(),
                                  static_cast<uint32_t>(bytes.size())));
    }
    EXPECT_EQ(queue.GetCount(), 3u);
    for (uint8_t index = 0; index < 3; ++index) {
        THoxDSQueueEntry* entry = queue.Dequeue();
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->m_startTime, 10 * index);
        EXPECT_EQ(entry->m_stopTime, 10 * index + 5);
        ASSERT_EQ(entry->m_dataLength, 100u + index);
        const std::vector<uint8_t> expected = Bytes(100u + index, index);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), entry->GetData()));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(entry->GetData()) % 32, 0u);
        THoxDSBufferQueue::FreeEntry(entry);
    }
    EXPECT_EQ(queue.Dequeue(), nullptr);
    // An empty block is a valid entry.
    ASSERT_TRUE(queue.Enqueue(1, 2, nullptr, 0));
    EXPECT_EQ(queue.GetCount(), 1u);
}

TEST_F(BufferQueueTest, ClearAndDestructionGiveEveryBlockBack) {
    const std::vector<uint8_t> bytes = Bytes(4096, 0);
    {
        THoxDSBufferQueue queue;
        for (int index = 0; index < 5; ++index) {
            queue.Enqueue(0, 0, bytes.data(), 4096);
        }
        queue.Clear();
        EXPECT_EQ(queue.GetCount(), 0u);
        EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore);
        queue.Enqueue(0, 0, bytes.data(), 4096);
    }
}

TEST_F(BufferQueueTest, SteadyTrafficReusesPooledBlocks) {
    THoxDSBufferQueue queue;
    const std::vector<uint8_t> bytes = Bytes(4000, 7);
    const uint32_t blockSize = RoundAllocationSize(THoxDSQueueEntry::kHeaderSize + 4000);
    const int64_t freeBefore = std::max<int64_t>(PoolFreeBlocks(blockSize), 0);
    for (int round = 0; round < 1000; ++round) {
        queue.Enqueue(round, round, bytes.data(), 4000);
        queue.Enqueue(round, round, bytes.data(), 4000);
        THoxDSBufferQueue::FreeEntry(queue.Dequeue());
        THoxDSBufferQueue::FreeEntry(queue.Dequeue());
    }
    // Two blocks at most were ever needed at once: the pool gained no more than those.
    EXPECT_LE(PoolFreeBlocks(blockSize), freeBefore + 2);
}

TEST_F(BufferQueueTest, ProducerAndDeliveryThreadHandEverythingOver) {
    THoxDSBufferQueue queue;
    std::atomic<uint64_t> received{0};
    std::atomic<uint64_t> expectedNext{0};
    std::atomic<bool> ordered{true};
    TZemNotifyThread consumer([&] {
        while (THoxDSQueueEntry* entry = queue.Dequeue()) {
            if (entry->m_startTime != static_cast<int64_t>(expectedNext.fetch_add(1))) {
                ordered = false;
            }
            received.fetch_add(entry->m_dataLength);
            THoxDSBufferQueue::FreeEntry(entry);
        }
    });
    const std::vector<uint8_t> bytes = Bytes(256, 1);
    std::thread producer([&] {
        for (int index = 0; index < 5000; ++index) {
            queue.Enqueue(index, index + 1, bytes.data(), 256);
            consumer.Signal();
        }
    });
    producer.join();
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (received.load() < 5000u * 256 && std::chrono::steady_clock::now() < deadline) {
        consumer.Signal();
        std::this_thread::sleep_for(1ms);
    }
    consumer.Stop();
    EXPECT_EQ(received.load(), 5000u * 256);
    EXPECT_TRUE(ordered.load());
}

TEST(NotifyThread, SignalsWhileBusyCollapseIntoOneMoreWake) {
    std::atomic<bool> release{false};
    std::atomic<int> calls{0};
    TZemNotifyThread thread([&] {
        ++calls;
        while (!release.load()) {
            std::this_thread::sleep_for(1ms);
        }
    });
    thread.Signal();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (calls.load() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(calls.load(), 1);
    for (int index = 0; index < 10; ++index) {
        thread.Signal();
    }
    release = true;
    while (thread.GetWakeCount() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(calls.load(), 2);
    EXPECT_EQ(thread.GetWakeCount(), 2u);
    thread.Stop();
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_THROW(TZemNotifyThread(nullptr), std::invalid_argument);
}

TEST(NotifyThread, SurvivesACallbackThatThrows) {
    std::atomic<int> calls{0};
    TZemNotifyThread thread([&] {
        ++calls;
        throw std::runtime_error("callback failure");
    });
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    for (int expected = 1; expected <= 3; ++expected) {
        thread.Signal();
        while (calls.load() < expected && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
    }
    EXPECT_EQ(calls.load(), 3);
}

TEST(SampleGrabberCallback, ForwardsSamplesOnlyThroughTheSampleMethod) {
    std::vector<int64_t> starts;
    THoxDSSampleGrabberCB callback(
        [&starts](const THoxMediaSample& sample) { starts.push_back(sample.m_startTime); });
    THoxSampleGrabber grabber;
    const uint8_t data[4] = {1, 2, 3, 4};
    grabber.SampleArrived(data, 4, 1, 2); // no callback yet
    grabber.SetCallback(&callback, 0);
    grabber.SampleArrived(data, 4, 10, 20);
    grabber.SetCallback(&callback, 1);
    grabber.SampleArrived(data, 4, 30, 40);
    EXPECT_EQ(starts, (std::vector<int64_t>{10}));
    EXPECT_EQ(callback.BufferCB(0.0, data, 4), 0);
}

} // namespace
