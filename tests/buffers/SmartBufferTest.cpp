#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "buffers/ZemInternalStore.h"

namespace {

// Every test must give back every block it took from the pool.
class SmartBufferTest : public ::testing::Test {
  protected:
    void SetUp() override { m_blocksBefore = PoolBlocksInUse(); }
    void TearDown() override {
        EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore) << "pool blocks leaked";
    }

    int64_t m_blocksBefore = 0;
};

bool IsAligned(const void* block) {
    return reinterpret_cast<uintptr_t>(block) % kBlockAlignment == 0;
}

class RoundAllocationSizeTest : public ::testing::TestWithParam<std::pair<uint32_t, uint32_t>> {};

TEST_P(RoundAllocationSizeTest, GivesThePowerOfTwoClass) {
    EXPECT_EQ(RoundAllocationSize(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundAllocationSizeTest,
                         ::testing::Values(std::pair{0u, 4u}, std::pair{1u, 4u}, std::pair{3u, 4u},
                                           std::pair{4u, 4u}, std::pair{5u, 8u},
                                           std::pair{1000u, 1024u}, std::pair{1024u, 1024u},
                                           std::pair{1025u, 2048u}, std::pair{1u << 30, 1u << 30},
                                           std::pair{(1u << 30) + 1, 1u << 30},
                                           std::pair{0xFFFFFFFFu, 1u << 30}));

TEST_F(SmartBufferTest, ReleasedBlocksComeBackLastInFirstOut) {
    constexpr int64_t kSize = 12347; // a size no other test uses
    void* a = AcquireBlock(kSize);
    ReleaseBlock(a, kSize);
    EXPECT_EQ(AcquireBlock(kSize), a) << "acquire, release, acquire must reuse the block";

    void* b = AcquireBlock(kSize);
    ASSERT_NE(a, b);
    ReleaseBlock(a, kSize);
    ReleaseBlock(b, kSize);
    EXPECT_EQ(PoolFreeBlocks(kSize), 2);
    EXPECT_EQ(AcquireBlock(kSize), b);
    EXPECT_EQ(AcquireBlock(kSize), a);
    ReleaseBlock(a, kSize);
    ReleaseBlock(b, kSize);
}

TEST_F(SmartBufferTest, SizeListsAreExactAndKeptInFirstRequestOrder) {
    const size_t listsBefore = PoolListSizes().size();
    EXPECT_EQ(AcquireBlock(0), nullptr);
    EXPECT_EQ(AcquireBlock(-5), nullptr);
    EXPECT_EQ(PoolListSizes().size(), listsBefore) << "size 0 must not create a list";

    void* first = AcquireBlock(7771);
    void* second = AcquireBlock(3331);
    void* third = AcquireBlock(7772); // one byte more is another list, not a range
    const std::vector<uint32_t> sizes = PoolListSizes();
    ASSERT_EQ(sizes.size(), listsBefore + 3);
    EXPECT_EQ(sizes[listsBefore], 7771u);
    EXPECT_EQ(sizes[listsBefore + 1], 3331u);
    EXPECT_EQ(sizes[listsBefore + 2], 7772u);
    ReleaseBlock(first, 7771);
    ReleaseBlock(second, 3331);
    ReleaseBlock(third, 7772);
}

class BlockAlignmentTest : public SmartBufferTest, public ::testing::WithParamInterface<int64_t> {};

TEST_P(BlockAlignmentTest, EveryBlockIsAlignedAndUsableToItsEnd) {
    const int64_t size = GetParam();
    void* raw = AllocAligned(size);
    void* pooled = AcquireBlock(size);
    for (void* block : {raw, pooled}) {
        ASSERT_NE(block, nullptr);
        EXPECT_TRUE(IsAligned(block));
        std::memset(block, 0xA5, static_cast<size_t>(size)); // the sanitizer checks the extent
    }
    FreeAligned(raw);
    ReleaseBlock(pooled, size);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockAlignmentTest,
                         ::testing::Values(1, 3, 8, 31, 32, 33, 1000, 4096, 65537, 1 << 20));

TEST_F(SmartBufferTest, AlignedAllocationEdgeCases) {
    EXPECT_EQ(AllocAligned(0), nullptr);
    EXPECT_EQ(AllocAligned(-1), nullptr);
    FreeAligned(nullptr);
}

TEST_F(SmartBufferTest, OversizedRequestsAreRefusedNotTruncated) {
    constexpr int64_t kTooBig = (int64_t{1} << 30) + 1;
    try {
        AcquireBlock(kTooBig);
        FAIL() << "no exception";
    } catch (const std::length_error& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("1073741825"), std::string::npos) << message;
        EXPECT_NE(message.find("1073741824"), std::string::npos) << message;
    }
    EXPECT_THROW(new TZemSmartMemoryBuffer(static_cast<uint32_t>(kTooBig)), std::length_error);
    EXPECT_THROW(CheckBlockSize(uint64_t{1} << 32), std::length_error);
    EXPECT_EQ(CheckBlockSize(1u << 30), 1u << 30);
}

TEST_F(SmartBufferTest, ReleaseAfterClearPoolGoesBackToTheHeap) {
    constexpr int64_t kSize = 54321;
    void* kept = AcquireBlock(kSize);
    void* pooled = AcquireBlock(kSize);
    ReleaseBlock(pooled, kSize);
    ClearPool();
    EXPECT_TRUE(PoolListSizes().empty());
    EXPECT_EQ(PoolFreeBlocks(kSize), -1);
    ReleaseBlock(kept, kSize); // no list any more: freed, not retained (the leak checker agrees)
    EXPECT_EQ(PoolFreeBlocks(kSize), -1);
    ReleaseBlock(nullptr, kSize);
}

// Runs in a child process: shutting the pool down must not disturb the other tests.
TEST(SmartBufferShutdownTest, ShutdownFreesEveryListAndLateReleasesGoToTheHeap) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const int64_t before = PoolBlocksInUse();
            void* held = AcquireBlock(4000);
            void* pooled = AcquireBlock(4000);
            ReleaseBlock(pooled, 4000);
            TZemSmartBufferManager::Instance().Shutdown();
            bool ok = PoolListSizes().empty();
            ReleaseBlock(held, 4000); // arrives after shutdown: freed at once, no crash
            ok = ok && PoolFreeBlocks(4000) == -1 && PoolBlocksInUse() == before;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Storage objects: owner and holder counting.
TEST_F(SmartBufferTest, ExclusiveWhileAtMostOneOwner) {
    auto* storage = new TZemSmartMemoryBuffer(100);
    storage->AddHolder(true);
    EXPECT_TRUE(storage->IsExclusive());
    storage->AddHolder(true);
    EXPECT_FALSE(storage->IsExclusive());
    storage->AddHolder(false); // a non-owner does not count against exclusivity
    storage->RemoveHolder(true);
    EXPECT_TRUE(storage->IsExclusive());
    EXPECT_EQ(storage->GetHolders(), 2);

    storage->AddHolder(true);
    storage->DropOwnership();
    EXPECT_TRUE(storage->IsExclusive());
    EXPECT_EQ(storage->GetHolders(), 3);
    EXPECT_EQ(storage->GetOwners(), 1);
    storage->RemoveHolder(false);
    storage->RemoveHolder(false);
    storage->RemoveHolder(true); // the last holder: the storage and its block go back
}

TEST_F(SmartBufferTest, LastHolderDestroysEvenWithAnOwnerLeft) {
    auto* storage = new TZemSmartMemoryBuffer(64);
    storage->AddHolder(true);
    EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore + 2); // the object and its block
    storage->RemoveHolder(false);
    EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore);
}

TEST_F(SmartBufferTest, StorageObjectsArePooledByExactObjectSize) {
    auto* first = new TZemSmartMemoryBuffer(0);
    EXPECT_EQ(first->GetAllocatedSize(), 4u) << "an empty storage still owns a 4-byte block";
    EXPECT_NE(first->GetData(), nullptr);
    EXPECT_TRUE(IsAligned(first->GetData()));
    first->AddHolder(true);
    first->RemoveHolder(true);
    EXPECT_GE(PoolFreeBlocks(sizeof(TZemSmartMemoryBuffer)), 1);
    auto* second = new TZemSmartMemoryBuffer(0);
    EXPECT_EQ(static_cast<void*>(second), static_cast<void*>(first)) << "object block recycled";
    second->AddHolder(true);
    second->RemoveHolder(true);
}

TEST_F(SmartBufferTest, CloneAndCopyStorageContents) {
    uint8_t pattern[100];
    for (int i = 0; i < 100; ++i) {
        pattern[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    auto* source = new TZemSmartMemoryBuffer(100, pattern);
    source->AddHolder(true);
    EXPECT_EQ(source->GetAllocatedSize(), 128u);
    EXPECT_EQ(std::memcmp(source->GetData(), pattern, 100), 0);

    std::unique_ptr<TZemSmartBuffer> copy = source->CloneStorage(true);
    std::unique_ptr<TZemSmartBuffer> blank = source->CloneStorage(false);
    EXPECT_EQ(copy->GetAllocatedSize(), 128u);
    EXPECT_EQ(blank->GetAllocatedSize(), 128u);
    EXPECT_EQ(copy->GetHolders(), 0);
    EXPECT_NE(copy->GetData(), source->GetData());
    EXPECT_EQ(std::memcmp(copy->GetData(), source->GetData(), 128), 0);

    // Copying between sizes takes the smaller allocated size.
    auto* large = new TZemSmartMemoryBuffer(200);
    std::memset(large->GetData(), 0xEE, 256);
    TZemSmartMemoryBuffer::CopyStorageContents(*large, *source);
    EXPECT_EQ(std::memcmp(large->GetData(), source->GetData(), 128), 0);
    EXPECT_EQ(static_cast<uint8_t*>(large->GetData())[128], 0xEE);
    delete large; // never registered, so deleting directly is allowed

    EXPECT_EQ(TZemSmartBuffer().CloneStorage(true)->GetData(), nullptr);
    source->RemoveHolder(true);
}

} // namespace
