#include "components/ZemBufferQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <random>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr auto kWatchdog = 20s;

// A real buffer holding first, first + 1, ... (count values).
TRef<IZemDataBuffer> Ramp(uint32_t count, double first) {
    auto buffer = MakeRef<TZemRealBuffer>(count);
    double* data = buffer->GetWritePointer();
    for (uint32_t i = 0; i < count; ++i) {
        data[i] = first + i;
    }
    return buffer;
}

// Index of the first element of `buffer` that is not first, first + 1, ..., or -1.
int64_t FirstMismatch(const TZemRealBuffer& buffer, double first) {
    const double* data = buffer.GetReadPointer();
    for (uint32_t i = 0; i < buffer.GetSize(); ++i) {
        if (data[i] != first + i) {
            return i;
        }
    }
    return -1;
}

// Every test gives back every pool block it took.
class BufferQueueTest : public ::testing::Test {
  protected:
    void SetUp() override { m_blocksBefore = PoolBlocksInUse(); }
    void TearDown() override {
        EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore) << "pool blocks leaked";
    }
    int64_t m_blocksBefore = 0;
};

TEST_F(BufferQueueTest, ARequestSpansBuffersAndTheQueueRefusesWhatItCannotFill) {
    TZemBufferQueue queue;
    queue.AddBuffer(Ramp(300, 0));
    queue.AddBuffer(Ramp(500, 300));
    EXPECT_EQ(queue.GetAvailable(), 800u);

    auto first = MakeRef<TZemRealBuffer>(512);
    ASSERT_TRUE(queue.ExtractSamples(*first));
    EXPECT_EQ(FirstMismatch(*first, 0), -1);
    EXPECT_EQ(queue.GetAvailable(), 288u);
    EXPECT_EQ(queue.GetBufferCount(), 1u); // the 300-sample buffer is released

    auto tooMany = MakeRef<TZemRealBuffer>(289);
    tooMany->Fill(-1);
    EXPECT_FALSE(queue.ExtractSamples(*tooMany));
    EXPECT_EQ(tooMany->Max(), -1.0); // untouched
    EXPECT_EQ(queue.GetAvailable(), 288u);

    auto rest = MakeRef<TZemRealBuffer>(288);
    ASSERT_TRUE(queue.ExtractSamples(*rest));
    EXPECT_EQ(FirstMismatch(*rest, 512), -1);
    EXPECT_EQ(queue.GetAvailable(), 0u);
    EXPECT_EQ(queue.GetBufferCount(), 0u);

    auto one = MakeRef<TZemRealBuffer>(1);
    EXPECT_FALSE(queue.ExtractSamples(*one));
    auto none = MakeRef<TZemRealBuffer>();
    EXPECT_TRUE(queue.ExtractSamples(*none));
    queue.AddBuffer(Ramp(3, 0));
    EXPECT_TRUE(queue.ExtractSamples(*none));
    EXPECT_EQ(queue.GetAvailable(), 3u);
}

// (largest writer buffer, reader request size): every sample comes out once, in order,
// whatever the cut; the bookkeeping matches a naive model after every step.
class BufferQueueCutTest : public BufferQueueTest,
                           public ::testing::WithParamInterface<std::tuple<uint32_t, uint32_t>> {};

TEST_P(BufferQueueCutTest, TheReaderGetsEverySampleOnceInOrder) {
    const auto [largestWrite, readSize] = GetParam();
    std::mt19937 random(1234);
    std::uniform_int_distribution<uint32_t> writeSize(0, largestWrite);
    TZemBufferQueue queue;
    auto destination = MakeRef<TZemRealBuffer>(readSize);
    double written = 0;
    double read = 0;
    for (int step = 0; step < 400; ++step) {
        const uint32_t size = writeSize(random);
        queue.AddBuffer(Ramp(size, written));
        written += size;
        while (written - read >= readSize && readSize > 0) {
            ASSERT_TRUE(queue.ExtractSamples(*destination));
            ASSERT_EQ(FirstMismatch(*destination, read), -1) << "step " << step;
            read += readSize;
        }
        ASSERT_EQ(queue.GetAvailable(), static_cast<uint64_t>(written - read));
        if (readSize > 0 && written - read < readSize) {
            EXPECT_FALSE(queue.ExtractSamples(*destination));
        }
    }
    queue.Clear();
    EXPECT_EQ(queue.GetAvailable(), 0u);
    EXPECT_EQ(queue.GetBufferCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cuts, BufferQueueCutTest,
                         ::testing::Values(std::make_tuple(1u, 1u), std::make_tuple(300u, 1024u),
                                           std::make_tuple(1024u, 1024u),
                                           std::make_tuple(4096u, 1024u),
                                           std::make_tuple(5000u, 7u),
                                           std::make_tuple(16u, 1000u)));

TEST_F(BufferQueueTest, BuffersAreQueuedByReferenceAndReleasedWhenTakenCompletely) {
    TZemBufferQueue queue;
    TRef<IZemDataBuffer> buffer = Ramp(100, 0);
    const int64_t blocks = PoolBlocksInUse();
    queue.AddBuffer(buffer);
    EXPECT_EQ(PoolBlocksInUse(), blocks); // no copy
    EXPECT_EQ(buffer->RefCount(), 2);
    auto part = MakeRef<TZemRealBuffer>(60);
    ASSERT_TRUE(queue.ExtractSamples(*part));
    EXPECT_EQ(buffer->RefCount(), 2);
    auto rest = MakeRef<TZemRealBuffer>(40);
    ASSERT_TRUE(queue.ExtractSamples(*rest));
    EXPECT_EQ(buffer->RefCount(), 1);
    EXPECT_EQ(FirstMismatch(*rest, 60), -1);

    queue.AddBuffer(buffer);
    queue.AddBuffer(buffer);
    queue.Clear();
    EXPECT_EQ(buffer->RefCount(), 1);
}

TEST_F(BufferQueueTest, ADestinationSharingItsStorageIsDetachedBeforeItIsWritten) {
    TZemBufferQueue queue;
    queue.AddBuffer(Ramp(8, 100));
    auto destination = MakeRef<TZemRealBuffer>(8);
    destination->Fill(5);
    TRef<TZemGenericBuffer> sharer = destination->Clone();
    ASSERT_TRUE(queue.ExtractSamples(*destination));
    EXPECT_EQ(FirstMismatch(*destination, 100), -1);
    const auto* shared = BufferCast<TZemRealBuffer>(sharer.Get());
    EXPECT_EQ(shared->Min(), 5.0);
    EXPECT_EQ(shared->Max(), 5.0);
}

TEST_F(BufferQueueTest, IntegerBuffersAreCountedInElementsToo) {
    TZemBufferQueue queue;
    for (int32_t start : {0, 5}) {
        auto buffer = MakeRef<TZemIntegerBuffer>(5);
        for (int32_t i = 0; i < 5; ++i) {
            buffer->SetValue(i, start + i);
        }
        queue.AddBuffer(TRef<IZemDataBuffer>(buffer));
    }
    auto destination = MakeRef<TZemIntegerBuffer>(7);
    ASSERT_TRUE(queue.ExtractSamples(*destination));
    for (int32_t i = 0; i < 7; ++i) {
        EXPECT_EQ(destination->GetValue(i), i);
    }
    EXPECT_EQ(queue.GetAvailable(), 3u);
}

TEST_F(BufferQueueTest, BadInputIsRefusedWithoutChangingTheQueue) {
    TZemBufferQueue queue;
    EXPECT_THROW(queue.AddBuffer(TRef<IZemDataBuffer>()), std::invalid_argument);
    queue.AddBuffer(MakeRef<TZemRealBuffer>());
    EXPECT_EQ(queue.GetBufferCount(), 0u); // an empty buffer adds nothing

    queue.AddBuffer(Ramp(10, 0));
    auto integers = MakeRef<TZemIntegerBuffer>(4);
    EXPECT_THROW(queue.ExtractSamples(*integers), std::invalid_argument);
    EXPECT_EQ(queue.GetAvailable(), 10u);

    TRef<IZemDataBuffer> shrinking = Ramp(10, 10);
    queue.AddBuffer(shrinking);
    shrinking->SetSize(4, true);
    auto destination = MakeRef<TZemRealBuffer>(15);
    EXPECT_THROW(queue.ExtractSamples(*destination), std::invalid_argument);
    EXPECT_EQ(queue.GetAvailable(), 20u);
    // What lies before the shrunk buffer can still be taken.
    auto head = MakeRef<TZemRealBuffer>(10);
    ASSERT_TRUE(queue.ExtractSamples(*head));
    EXPECT_EQ(FirstMismatch(*head, 0), -1);
}

TEST_F(BufferQueueTest, AWriterAndAReaderOnDifferentThreadsAgree) {
    static constexpr double kTotal = 400000;
    static constexpr uint32_t kRead = 1024;
    TZemBufferQueue queue;
    auto writer = std::async(std::launch::async, [&queue] {
        std::mt19937 random(99);
        std::uniform_int_distribution<uint32_t> size(1, 3000);
        double written = 0;
        while (written < kTotal) {
            const auto count =
                static_cast<uint32_t>(std::min<double>(size(random), kTotal - written));
            queue.AddBuffer(Ramp(count, written));
            written += count;
        }
    });
    auto reader = std::async(std::launch::async, [&queue] {
        auto destination = MakeRef<TZemRealBuffer>(kRead);
        const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
        double read = 0;
        while (read + kRead <= kTotal && std::chrono::steady_clock::now() < deadline) {
            if (!queue.ExtractSamples(*destination)) {
                std::this_thread::yield();
                continue;
            }
            if (FirstMismatch(*destination, read) != -1) {
                return false;
            }
            read += kRead;
        }
        return read + kRead > kTotal;
    });
    ASSERT_EQ(writer.wait_for(kWatchdog), std::future_status::ready);
    ASSERT_EQ(reader.wait_for(kWatchdog), std::future_status::ready);
    writer.get();
    EXPECT_TRUE(reader.get());
    EXPECT_EQ(queue.GetAvailable(), static_cast<uint64_t>(kTotal) % kRead);
}

} // namespace
