#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "buffers/ZemSimpleDataBuffer.h"

namespace {

// Every test must give back every block it took from the pool.
class DataBufferTest : public ::testing::Test {
  protected:
    void SetUp() override { m_blocksBefore = PoolBlocksInUse(); }
    void TearDown() override {
        EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore) << "pool blocks leaked";
    }

    int64_t m_blocksBefore = 0;
};

TRef<TZemRealBuffer> MakeReal(const std::vector<double>& values) {
    return MakeRef<TZemRealBuffer>(values.data(), static_cast<uint32_t>(values.size()));
}

std::vector<double> Values(const TZemRealBuffer& buffer) {
    const double* data = buffer.GetReadPointer();
    return std::vector<double>(data, data + buffer.GetSize());
}

TRef<TZemIntegerBuffer> MakeInteger(const std::vector<int32_t>& values) {
    auto buffer = MakeRef<TZemIntegerBuffer>(static_cast<uint32_t>(values.size()));
    for (size_t i = 0; i < values.size(); ++i) {
        buffer->SetValue(static_cast<int32_t>(i), values[i]);
    }
    return buffer;
}

// ---- sizes ---------------------------------------------------------------------------------

TEST_F(DataBufferTest, SetSizeRules) {
    auto five = MakeRef<TZemRealBuffer>(5u);
    five->SetSize(0, true);
    EXPECT_EQ(five->GetSize(), 5u) << "count 0 keeps the size";

    auto buffer = MakeRef<TZemRealBuffer>(100u);
    EXPECT_EQ(buffer->GetStorage()->GetAllocatedSize(), 1024u);
    for (int32_t i = 0; i < 100; ++i) {
        buffer->SetValue(i, i * 1.5);
    }
    const double* block = buffer->GetReadPointer();
    buffer->SetSize(128, true);
    EXPECT_EQ(buffer->GetReadPointer(), block) << "fits the block: grows in place";
    EXPECT_EQ(buffer->GetByteSize(), 1024u);
    for (int32_t i = 100; i < 128; ++i) {
        buffer->SetValue(i, i * 1.5);
    }
    buffer->SetSize(129, true);
    EXPECT_EQ(buffer->GetStorage()->GetAllocatedSize(), 2048u);
    EXPECT_EQ(buffer->GetSize(), 129u);
    for (int32_t i = 0; i < 128; ++i) {
        ASSERT_EQ(buffer->GetValue(i), i * 1.5) << i;
    }
    const double* moved = buffer->GetReadPointer();
    buffer->SetSize(3, true);
    EXPECT_EQ(buffer->GetReadPointer(), moved) << "shrinking never reallocates";
    EXPECT_EQ(buffer->GetByteSize(), 24u);

    // Shared storage grows into a new block even though the old one would fit.
    auto other = BufferCast<TZemRealBuffer>(buffer->Clone());
    buffer->SetSize(4, true);
    EXPECT_NE(buffer->GetStorage(), other->GetStorage());
    EXPECT_EQ(buffer->GetValue(2), 3.0);
    EXPECT_EQ(other->GetSize(), 3u);
}

TEST_F(DataBufferTest, OversizedCountsAreRefused) {
    EXPECT_THROW(MakeRef<TZemRealBuffer>((1u << 27) + 1), std::length_error);
    EXPECT_THROW(MakeRef<TZemComplexBuffer>(0x20000000u), std::length_error);
    auto buffer = MakeRef<TZemIntegerBuffer>(4u);
    EXPECT_THROW(buffer->SetSize(0x40000000u, false), std::length_error);
    EXPECT_EQ(buffer->GetSize(), 4u);
}

TEST_F(DataBufferTest, EveryDataAddressIsAligned) {
    for (uint32_t count : {0u, 1u, 3u, 17u, 1000u}) {
        auto real = MakeRef<TZemRealBuffer>(count);
        auto block = MakeRef<TZemBlockBuffer>(count);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(real->GetReadPointer()) % 32, 0u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block->GetReadPointer()) % 32, 0u);
    }
}

// ---- sharing and copy on write -------------------------------------------------------------

TEST_F(DataBufferTest, CopyOnWriteIsolatesSharers) {
    auto a = MakeReal({1, 2, 3, 4});
    auto b = MakeRef<TZemRealBuffer>(a.Get());
    EXPECT_EQ(b->GetReadPointer(), a->GetReadPointer()) << "sharing copies nothing";
    EXPECT_EQ(a->GetStorage()->GetOwners(), 2);

    b->GetModifyPointer()[0] = 10;
    EXPECT_EQ(Values(*a), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(Values(*b), (std::vector<double>{10, 2, 3, 4}));
    EXPECT_FALSE(a->MakeUnique(true)) << "sole owner writes in place";
    EXPECT_FALSE(b->MakeUnique(true));

    auto c = BufferCast<TZemRealBuffer>(a->Clone());
    EXPECT_TRUE(c->MakeUnique(true));
    EXPECT_EQ(Values(*c), Values(*a));

    // A buffer that gives up ownership lets the remaining owner write in place.
    auto d = BufferCast<TZemRealBuffer>(a->Clone());
    d->ReleaseOwnership();
    EXPECT_FALSE(d->IsOwner());
    EXPECT_EQ(a->GetModifyPointer(), d->GetReadPointer());
}

TEST_F(DataBufferTest, AssignSharesStorageAndSize) {
    auto source = MakeReal({5, 6, 7});
    auto target = MakeRef<TZemRealBuffer>(10u);
    target->Assign(*source);
    EXPECT_EQ(target->GetStorage(), source->GetStorage());
    EXPECT_EQ(target->GetSize(), 3u);
    EXPECT_EQ(source->GetStorage()->GetHolders(), 2);
    target->Assign(*target);
    EXPECT_EQ(source->GetStorage()->GetHolders(), 2);

    EXPECT_NE(BufferCast<IZemRealBuffer>(source->GetInstance()), nullptr);
    EXPECT_EQ(BufferCast<IZemIntegerBuffer>(source->GetInstance()), nullptr);
    EXPECT_EQ(source->GetSequenceStamp()->GetBuffer(), source.Get());
}

TEST_F(DataBufferTest, ConstructionFormsConvertExactly) {
    const int32_t ints[] = {-2147483647 - 1, -1, 0, 2147483647};
    const float floats[] = {0.1f, -3.5f, 1e30f};
    EXPECT_EQ(Values(*MakeRef<TZemRealBuffer>(ints, 4u)),
              (std::vector<double>{-2147483648.0, -1, 0, 2147483647.0}));
    EXPECT_EQ(Values(*MakeRef<TZemRealBuffer>(floats, 3u)),
              (std::vector<double>{double(0.1f), -3.5, double(1e30f)}));
    EXPECT_EQ(MakeRef<TZemRealBuffer>()->GetSize(), 0u);
}

TEST_F(DataBufferTest, CopyToCountsElementsOnlyBetweenSameTypes) {
    auto source = MakeReal({1, 2, 3, 4});
    auto target = MakeReal({0, 0, 0, 0});
    auto keep = BufferCast<TZemRealBuffer>(target->Clone());
    source->CopyTo(1, *target, 2, 2);
    EXPECT_EQ(Values(*target), (std::vector<double>{0, 0, 2, 3}));
    EXPECT_EQ(Values(*keep), (std::vector<double>{0, 0, 0, 0})) << "destination detached first";

    auto bytes = MakeRef<TZemBlockBuffer>(16u);
    bytes->Zero();
    source->CopyTo(8, *bytes, 0, 8); // bytes: exactly the element 2.0
    double copied = 0;
    std::memcpy(&copied, bytes->GetReadPointer(), 8);
    EXPECT_EQ(copied, 2.0);
    EXPECT_EQ(bytes->GetReadPointer()[8], 0);

    auto ints = MakeInteger({1, 2, 3});
    auto intTarget = MakeInteger({0, 0, 0});
    ints->CopyTo(0, *intTarget, 1, 2);
    EXPECT_EQ(intTarget->GetValue(2), 2);
}

// ---- element access and statistics ---------------------------------------------------------

TEST_F(DataBufferTest, RealIndexErrorsCarryTheExactMessage) {
    auto buffer = MakeReal({1, 2, 3});
    auto expectMessage = [](auto&& call, const char* message) {
        try {
            call();
            ADD_FAILURE() << "no exception for " << message;
        } catch (const ERangeError& error) {
            EXPECT_STREQ(error.what(), message);
        }
    };
    expectMessage([&] { buffer->GetValue(3); }, "Index out of rabge = 3");
    expectMessage([&] { buffer->GetValue(-1); }, "Index out of rabge = 4294967295");
    expectMessage([&] { buffer->SetValue(7, 0); }, "Index out of rabge = 7");
    EXPECT_EQ(buffer->GetValue(2), 3.0);
}

TEST_F(DataBufferTest, RangeExtremesClampTheirBounds) {
    auto buffer = MakeReal({4, -2, 9, 1});
    EXPECT_EQ(buffer->Min(), -2);
    EXPECT_EQ(buffer->Max(), 9);
    EXPECT_EQ(buffer->MaxInRange(-5, 2), 4);
    EXPECT_EQ(buffer->MinInRange(2, 100), 1);
    EXPECT_EQ(buffer->MaxInRange(10, 100), 1) << "start at or above the count → count − 1";
    EXPECT_EQ(buffer->MinInRange(2, 2), 0);
    EXPECT_EQ(buffer->MaxInRange(3, -1), 0);

    auto empty = MakeRef<TZemRealBuffer>();
    EXPECT_EQ(empty->Min(), 0);
    EXPECT_EQ(empty->MaxInRange(0, 5), 0);
    EXPECT_EQ(empty->MaxOfValues(0, 5), 0);
    EXPECT_EQ(MakeRef<TZemIntegerBuffer>()->Max(), 0);
    EXPECT_EQ(MakeInteger({3, -8, 5})->Min(), -8);
}

TEST_F(DataBufferTest, OfValuesSkipsMarkers) {
    auto buffer = MakeReal({1.7e308, 3, 1.7e308, 5});
    EXPECT_EQ(buffer->MaxOfValues(0, 4), 5);
    EXPECT_EQ(buffer->MinOfValues(0, 4), 0) << "a marker at start counts as 0";
    EXPECT_EQ(buffer->MinOfValues(1, 4), 3);
    auto markers = MakeReal({1.7e308, -1.7e308, 1.7e308});
    EXPECT_EQ(markers->MaxOfValues(0, 3), 0);
    EXPECT_EQ(markers->MinOfValues(0, 3), 0);
    EXPECT_EQ(MakeReal({-1, -7})->MaxOfValues(1, 1), 0);
}

// ---- arithmetic against naive references ---------------------------------------------------

TEST_F(DataBufferTest, RealArithmeticAndZeroDivisors) {
    std::mt19937 random(1234);
    std::uniform_real_distribution<double> value(-100, 100);
    std::vector<double> x(257), y(257);
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = value(random);
        y[i] = i % 5 == 0 ? 0.0 : value(random);
    }
    x[0] = 3, x[5] = -3, x[10] = 0;
    auto divisor = MakeReal(y);
    auto sum = MakeReal(x), diff = MakeReal(x), prod = MakeReal(x), quot = MakeReal(x);
    sum->Add(*divisor);
    diff->Subtract(*divisor);
    prod->Multiply(*divisor);
    quot->Divide(*divisor);
    for (size_t i = 0; i < x.size(); ++i) {
        const int32_t k = static_cast<int32_t>(i);
        ASSERT_EQ(sum->GetValue(k), x[i] + y[i]);
        ASSERT_EQ(diff->GetValue(k), x[i] - y[i]);
        ASSERT_EQ(prod->GetValue(k), x[i] * y[i]);
        const double expected = y[i] != 0 ? x[i] / y[i] : (x[i] > 0 ? 1e15 : x[i] < 0 ? -1e14 : 0);
        ASSERT_EQ(quot->GetValue(k), expected) << i;
    }
    auto self = MakeReal({0, 2, -4});
    self->Divide(*self);
    EXPECT_EQ(Values(*self), (std::vector<double>{0, 1, 1}));
}

int32_t Saturate(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

int32_t ReferenceDivide(int64_t a, int64_t b) {
    if (b == 0) {
        return a == 0 ? 0 : (a > 0 ? INT32_MAX : INT32_MIN);
    }
    int64_t q = a / b, r = a % b;
    if (2 * std::abs(r) > std::abs(b) || (2 * std::abs(r) == std::abs(b) && q % 2 != 0)) {
        q += ((a < 0) != (b < 0)) ? -1 : 1;
    }
    return Saturate(q);
}

TEST_F(DataBufferTest, IntegerArithmeticIsExactAndSaturated) {
    std::vector<int32_t> x = {INT32_MAX, 5, 7, -5, -7, INT32_MIN, 0, 9, INT32_MIN, 6};
    std::vector<int32_t> y = {1, 2, 2, 2, 2, -1, 0, 0, 0, 4};
    std::mt19937 random(99);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    for (int i = 0; i < 500; ++i) {
        x.push_back(any(random));
        y.push_back(i % 3 == 0 ? any(random) >> 16 : any(random));
    }
    auto other = MakeInteger(y);
    auto sum = MakeInteger(x), diff = MakeInteger(x), prod = MakeInteger(x), quot = MakeInteger(x);
    sum->Add(*other);
    diff->Subtract(*other);
    prod->Multiply(*other);
    quot->Divide(*other);
    for (size_t i = 0; i < x.size(); ++i) {
        const int32_t k = static_cast<int32_t>(i);
        const int64_t a = x[i], b = y[i];
        ASSERT_EQ(sum->GetValue(k), Saturate(a + b)) << i;
        ASSERT_EQ(diff->GetValue(k), Saturate(a - b)) << i;
        ASSERT_EQ(prod->GetValue(k), Saturate(a * b)) << i;
        ASSERT_EQ(quot->GetValue(k), ReferenceDivide(a, b)) << a << " / " << b;
    }
    EXPECT_EQ(quot->GetValue(1), 2);
    EXPECT_EQ(quot->GetValue(2), 4);
}

TEST_F(DataBufferTest, BlockArithmeticOverEveryBytePair) {
    auto x = MakeRef<TZemBlockBuffer>(65536u);
    auto y = MakeRef<TZemBlockBuffer>(65536u);
    for (uint32_t i = 0; i < 65536; ++i) {
        x->GetModifyPointer()[i] = static_cast<uint8_t>(i >> 8);
        y->GetModifyPointer()[i] = static_cast<uint8_t>(i);
    }
    auto sum = BufferCast<TZemBlockBuffer>(x->Clone());
    auto diff = BufferCast<TZemBlockBuffer>(x->Clone());
    auto prod = BufferCast<TZemBlockBuffer>(x->Clone());
    auto quot = BufferCast<TZemBlockBuffer>(x->Clone());
    sum->Add(*y);
    diff->Subtract(*y);
    prod->Multiply(*y);
    quot->Divide(*y);
    for (uint32_t i = 0; i < 65536; ++i) {
        const int a = static_cast<int>(i >> 8), b = static_cast<int>(i & 255);
        ASSERT_EQ(sum->GetReadPointer()[i], std::min(a + b, 255));
        ASSERT_EQ(diff->GetReadPointer()[i], std::max(a - b, 0));
        ASSERT_EQ(prod->GetReadPointer()[i], std::min(a * b, 255));
        ASSERT_EQ(quot->GetReadPointer()[i], b != 0 ? a / b : (a != 0 ? 255 : 0)) << a << "/" << b;
    }
    EXPECT_EQ(x->GetReadPointer()[65535], 255) << "the shared source stays untouched";
}

TEST_F(DataBufferTest, ComplexArithmeticFollowsTheFormulas) {
    auto x = MakeRef<TZemComplexBuffer>(3u);
    auto y = MakeRef<TZemComplexBuffer>(3u);
    const TVecComplex a[] = {{1, 2}, {-3, 0.5}, {4, -4}};
    const TVecComplex b[] = {{3, -1}, {0, 2}, {0, 0}};
    for (int32_t i = 0; i < 3; ++i) {
        x->SetValue(i, a[i]);
        y->SetValue(i, b[i]);
    }
    auto prod = BufferCast<TZemComplexBuffer>(x->Clone());
    auto quot = BufferCast<TZemComplexBuffer>(x->Clone());
    prod->Multiply(*y);
    quot->Divide(*y);
    for (int32_t i = 0; i < 2; ++i) {
        const double ac = a[i].re * b[i].re, bd = a[i].im * b[i].im;
        const double ad = a[i].re * b[i].im, bc = a[i].im * b[i].re;
        const double norm = b[i].re * b[i].re + b[i].im * b[i].im;
        EXPECT_DOUBLE_EQ(prod->GetValue(i).re, ac - bd);
        EXPECT_DOUBLE_EQ(prod->GetValue(i).im, ad + bc);
        EXPECT_DOUBLE_EQ(quot->GetValue(i).re, (ac + bd) / norm);
        EXPECT_DOUBLE_EQ(quot->GetValue(i).im, (bc - ad) / norm);
    }
    EXPECT_TRUE(std::isnan(quot->GetValue(2).re) && std::isnan(quot->GetValue(2).im));
    x->Add(*y);
    EXPECT_EQ(x->GetValue(1).im, 2.5);
    x->Zero();
    EXPECT_EQ(x->GetValue(0).re, 0.0);
}

TEST_F(DataBufferTest, FillZeroAndJaehne) {
    auto buffer = MakeRef<TZemRealBuffer>(64u);
    buffer->Fill(2.5);
    EXPECT_EQ(buffer->Min(), 2.5);
    buffer->FillJaehne(-1);
    EXPECT_EQ(buffer->Max(), 2.5) << "a negative magnitude leaves the buffer unchanged";
    buffer->FillJaehne(3);
    for (int32_t n = 0; n < 64; ++n) {
        ASSERT_NEAR(buffer->GetValue(n), 3 * std::sin(std::numbers::pi / 2 * n * n / 64.0), 1e-12);
    }
    auto single = MakeReal({7});
    single->FillJaehne(5);
    EXPECT_EQ(single->GetValue(0), 0);

    auto ints = MakeRef<TZemIntegerBuffer>(9u);
    ints->Fill(-4);
    EXPECT_EQ(ints->Max(), -4);
    ints->Zero();
    EXPECT_EQ(ints->Min(), 0);
    auto bytes = MakeRef<TZemBlockBuffer>(5u);
    bytes->Fill(200);
    EXPECT_EQ(bytes->GetReadPointer()[4], 200);
}

// ---- access objects ------------------------------------------------------------------------

TEST_F(DataBufferTest, AccessObjectsForwardAndDetachWhenTheBufferDies) {
    auto buffer = MakeReal({1, 2, 3});
    TRef<TZemRealDataBufferAccess> access = buffer->GetAccess();
    TRef<TZemRealDataBufferAccess> early = buffer->GetAccess();
    early.Reset(); // leaves the buffer's list; the buffer must not touch it later
    access->SetValue(0, 8);
    EXPECT_EQ(buffer->GetValue(0), 8);
    EXPECT_EQ(access->MaxInRange(0, 3), 8);
    EXPECT_EQ(access->GetBuffer(), TRef<TZemGenericBuffer>(buffer.Get()));
    access->SetSize(3, false);
    EXPECT_EQ(access->GetReadPointer(), buffer->GetReadPointer());

    auto targetBuffer = MakeReal({0, 0, 0});
    TRef<TZemDataBufferAccess> target = targetBuffer->GetAccess();
    access->CopyTo(0, *target, 0, 3);
    EXPECT_EQ(targetBuffer->GetValue(0), 8);

    buffer.Reset();
    EXPECT_TRUE(access->IsDetached());
    EXPECT_EQ(access->GetBuffer(), nullptr);
    EXPECT_THROW(access->GetValue(0), std::logic_error);
    EXPECT_THROW(access->GetSize(), std::logic_error);
}

// ---- threads -------------------------------------------------------------------------------

// Several threads share one storage: they clone it, read it, detach through GetModifyPointer
// and drop references, all at once. Every reader must keep seeing the original samples.
TEST_F(DataBufferTest, ConcurrentSharingDetachingAndDropping) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    constexpr uint32_t kCount = 64;
    std::vector<double> original(kCount);
    for (uint32_t i = 0; i < kCount; ++i) {
        original[i] = i * 0.25;
    }
    auto master = MakeReal(original);
    std::atomic<int> finished{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                auto mine = BufferCast<TZemRealBuffer>(master->Clone());
                auto shared = MakeRef<TZemRealBuffer>(mine.Get());
                if (shared->GetReadPointer()[kCount - 1] != original[kCount - 1]) {
                    ++failures;
                }
                // Two holders of one storage detaching concurrently with other threads'.
                double* mineData = mine->GetModifyPointer();
                mineData[round % kCount] = -1.0 - t;
                shared->GetModifyPointer()[0] = 1e9;
                if (mine->GetValue(static_cast<int32_t>(round % kCount)) != -1.0 - t ||
                    (round % kCount != 0 && mine->GetValue(0) != 0.0)) {
                    ++failures;
                }
                if (round % 3 == 0) {
                    mine->SetSize(kCount * 4, true); // forces new storage while others read
                }
            }
            ++finished;
        });
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (finished.load() < kThreads) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "watchdog: workers did not finish";
            std::abort(); // stuck threads cannot be joined
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(Values(*master), original);
    EXPECT_EQ(master->GetStorage()->GetHolders(), 1);
}

} // namespace
