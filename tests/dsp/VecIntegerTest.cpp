#include "dsp/VecPrimitives.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

__extension__ typedef __int128 TInt128;

// Floor division for den > 0, written independently of the routines under test.
TInt128 FloorDiv(TInt128 num, TInt128 den) {
    TInt128 q = num / den;
    if (q * den > num) {
        --q;
    }
    return q;
}

// Exact num ÷ den (den ≠ 0) rounded to nearest with ties to even.
TInt128 RoundEven(TInt128 num, TInt128 den) {
    if (den < 0) {
        num = -num;
        den = -den;
    }
    const TInt128 q = FloorDiv(num, den);
    const TInt128 twiceRem = 2 * (num - q * den); // in [0, 2·den)
    if (twiceRem > den || (twiceRem == den && (q % 2) != 0)) {
        return q + 1;
    }
    return q;
}

// Reference: exact ÷ den × 2^−scale, ties to even, saturated to [lo, hi]. Beyond ±90 the
// result no longer changes (|exact| ≤ 2^62, 1 ≤ |den| ≤ 2^31): it is 0 for large scales and
// saturated for large negative ones; clamping keeps the 128-bit arithmetic exact.
int64_t RefScale(TInt128 exact, TInt128 den, int64_t scale, int64_t lo, int64_t hi) {
    scale = std::clamp<int64_t>(scale, den == 1 ? -60 : -90, 90);
    TInt128 num = exact;
    if (scale > 0) {
        den *= TInt128{1} << scale;
    } else {
        num *= TInt128{1} << -scale;
    }
    const TInt128 r = RoundEven(num, den);
    return r < lo ? lo : (r > hi ? hi : static_cast<int64_t>(r));
}

enum class TOp { Add, Sub, Mul, Div, AddConst, SubRevConst };

TInt128 Exact(TOp op, int64_t d, int64_t s) {
    switch (op) {
    case TOp::Add:
    case TOp::AddConst:
        return TInt128{d} + s;
    case TOp::Sub:
        return TInt128{d} - s;
    case TOp::SubRevConst:
        return TInt128{s} - d;
    case TOp::Mul:
        return TInt128{d} * s;
    case TOp::Div:
        break;
    }
    return 0;
}

template <typename T> int64_t RefElement(TOp op, T d, T s, int64_t scale) {
    constexpr int64_t lo = std::numeric_limits<T>::min();
    constexpr int64_t hi = std::numeric_limits<T>::max();
    if (op == TOp::Div) {
        if (s == 0) {
            return d == 0 ? 0 : (d > 0 ? hi : lo);
        }
        return RefScale(d, s, scale, lo, hi);
    }
    return RefScale(Exact(op, d, s), 1, scale, lo, hi);
}

template <typename T> std::vector<T> RandomWithLimits(std::mt19937& rng, size_t count) {
    // Half the values hug the limits, zero and ±1, where rounding and saturation bite.
    const std::vector<int64_t> special{
        std::numeric_limits<T>::min(),     std::numeric_limits<T>::min() + 1, -2, -1, 0, 1, 2, 3, 5,
        std::numeric_limits<T>::max() - 1, std::numeric_limits<T>::max()};
    std::uniform_int_distribution<int64_t> any(std::numeric_limits<T>::min(),
                                               std::numeric_limits<T>::max());
    std::uniform_int_distribution<size_t> pick(0, special.size() - 1);
    std::vector<T> out(count);
    for (size_t i = 0; i < count; ++i) {
        out[i] = static_cast<T>(i % 2 == 0 ? special[pick(rng)] : any(rng));
    }
    return out;
}

// One routine under test seen as: srcDst ← op(srcDst, src) with the given scale.
struct TScaledCase {
    std::string name;
    TOp op;
    int bits; // 8, 16 or 32
    std::function<TVecStatus(const void*, void*, int32_t, int32_t)> call;
};

void PrintTo(const TScaledCase& c, std::ostream* os) {
    *os << c.name;
}

template <typename T> void CheckAgainstReference(const TScaledCase& c) {
    std::mt19937 rng(20240611);
    constexpr size_t kCount = 600;
    std::vector<int32_t> scales;
    for (int s = -40; s <= 40; ++s) {
        scales.push_back(s);
    }
    for (int32_t s : {41, 62, 63, 64, 65, 100, std::numeric_limits<int32_t>::max(), -41, -64, -100,
                      std::numeric_limits<int32_t>::min()}) {
        scales.push_back(s);
    }
    for (int32_t scale : scales) {
        const std::vector<T> src = RandomWithLimits<T>(rng, kCount);
        const std::vector<T> before = RandomWithLimits<T>(rng, kCount);
        std::vector<T> srcDst = before;
        const TVecStatus status = c.call(src.data(), srcDst.data(), kCount, scale);
        bool anyZeroDivisor = false;
        for (size_t i = 0; i < kCount; ++i) {
            const bool constant = c.op == TOp::AddConst || c.op == TOp::SubRevConst;
            const T operand = constant ? src[0] : src[i];
            const int64_t expected = RefElement<T>(c.op, before[i], operand, scale);
            anyZeroDivisor |= (c.op == TOp::Div && src[i] == 0);
            ASSERT_EQ(int64_t{srcDst[i]}, expected)
                << c.name << " scale " << scale << " d " << int64_t{before[i]} << " s "
                << int64_t{src[i]};
        }
        EXPECT_EQ(status, anyZeroDivisor ? vsDivByZero : vsOk) << c.name << " scale " << scale;
    }
}

class ScaledIntegerTest : public ::testing::TestWithParam<TScaledCase> {};

TEST_P(ScaledIntegerTest, MatchesExactReferenceOverScalesAndLimits) {
    const TScaledCase& c = GetParam();
    switch (c.bits) {
    case 8:
        CheckAgainstReference<uint8_t>(c);
        break;
    case 16:
        CheckAgainstReference<int16_t>(c);
        break;
    default:
        CheckAgainstReference<int32_t>(c);
        break;
    }
}

TEST_P(ScaledIntegerTest, RejectsNullAndEmptyWithoutWriting) {
    const TScaledCase& c = GetParam();
    uint64_t src = 0x0101010101010101ull;
    uint64_t dst = 0x0202020202020202ull;
    if (c.op != TOp::AddConst && c.op != TOp::SubRevConst) { // these take no source array
        EXPECT_EQ(c.call(nullptr, &dst, 1, 0), vsNullPtrErr);
    }
    EXPECT_EQ(c.call(&src, nullptr, 0, 0), vsNullPtrErr) << "null is tested before the length";
    EXPECT_EQ(c.call(&src, &dst, 0, 0), vsSizeErr);
    EXPECT_EQ(c.call(&src, &dst, -3, 0), vsSizeErr);
    EXPECT_EQ(dst, 0x0202020202020202ull);
}

// Strided routines seen as one dense row of `len` elements.
template <typename Fn> auto DenseStrided16s(Fn fn) {
    return [fn](const void* s, void* d, int32_t len, int32_t scale) {
        return fn(static_cast<const int16_t*>(s), 2 * std::max(len, 1), static_cast<int16_t*>(d),
                  2 * std::max(len, 1), len, 1, scale);
    };
}

// The constant routines take the source's first element as their constant; the reference
// uses it for every position.
template <typename Fn> auto WithConstant(Fn fn) {
    return [fn](const void* s, void* d, int32_t len, int32_t scale) {
        const int32_t value = s == nullptr ? 7 : *static_cast<const int32_t*>(s);
        return fn(value, static_cast<int32_t*>(d), len, scale);
    };
}

std::vector<TScaledCase> AllScaledCases() {
    auto u8 = [](auto fn) {
        return [fn](const void* s, void* d, int32_t len, int32_t scale) {
            return fn(static_cast<const uint8_t*>(s), static_cast<uint8_t*>(d), len, scale);
        };
    };
    auto s32 = [](auto fn) {
        return [fn](const void* s, void* d, int32_t len, int32_t scale) {
            return fn(static_cast<const int32_t*>(s), static_cast<int32_t*>(d), len, scale);
        };
    };
    return {
        {"Add8u", TOp::Add, 8, u8(VecAddScaled8u)},
        {"Sub8u", TOp::Sub, 8, u8(VecSubScaled8u)},
        {"Mul8u", TOp::Mul, 8, u8(VecMulScaled8u)},
        {"Add32s", TOp::Add, 32, s32(VecAddScaled32s)},
        {"Sub32s", TOp::Sub, 32, s32(VecSubScaled32s)},
        {"Mul32s", TOp::Mul, 32, s32(VecMulScaled32s)},
        {"Div32s", TOp::Div, 32, s32(VecDivScaled32s)},
        {"AddStrided16s", TOp::Add, 16, DenseStrided16s(VecAddStridedScaled16s)},
        {"SubStrided16s", TOp::Sub, 16, DenseStrided16s(VecSubStridedScaled16s)},
        {"MulStrided16s", TOp::Mul, 16, DenseStrided16s(VecMulStridedScaled16s)},
        {"DivStrided16s", TOp::Div, 16, DenseStrided16s(VecDivStridedScaled16s)},
        {"AddConst32s", TOp::AddConst, 32, WithConstant(VecAddConst32s)},
        {"SubRevConst32s", TOp::SubRevConst, 32, WithConstant(VecSubRevConst32s)},
    };
}

INSTANTIATE_TEST_SUITE_P(Routines, ScaledIntegerTest, ::testing::ValuesIn(AllScaledCases()),
                         [](const auto& info) { return info.param.name; });

TEST(ScaledIntegerEdgeTest, NamedCases) {
    int32_t a = 2147483647;
    const int32_t one = 1;
    EXPECT_EQ(VecAddScaled32s(&one, &a, 1, 0), vsOk);
    EXPECT_EQ(a, 2147483647);

    const int32_t zeros[2] = {0, 0};
    int32_t halves[2] = {3, 5}; // 1.5 and 2.5 both round to the even 2
    EXPECT_EQ(VecAddScaled32s(zeros, halves, 2, 1), vsOk);
    EXPECT_EQ(halves[0], 2);
    EXPECT_EQ(halves[1], 2);

    const uint8_t five = 5;
    uint8_t three = 3;
    EXPECT_EQ(VecSubScaled8u(&five, &three, 1, 0), vsOk);
    EXPECT_EQ(three, 0);
    const uint8_t hundred = 100;
    uint8_t twoHundred = 200;
    EXPECT_EQ(VecAddScaled8u(&hundred, &twoHundred, 1, 0), vsOk);
    EXPECT_EQ(twoHundred, 255);
}

TEST(ScaledIntegerEdgeTest, DivisionByZeroWritesEveryResult) {
    const int32_t divisors[4] = {0, 0, 0, 2};
    int32_t dividends[4] = {5, 0, -5, 7};
    EXPECT_EQ(VecDivScaled32s(divisors, dividends, 4, 0), vsDivByZero);
    EXPECT_EQ(dividends[0], 2147483647);
    EXPECT_EQ(dividends[1], 0);
    EXPECT_EQ(dividends[2], -2147483648);
    EXPECT_EQ(dividends[3], 4); // 3.5 → 4

    const int16_t divisors16[3] = {0, 0, 0};
    int16_t dividends16[3] = {9, 0, -9};
    EXPECT_EQ(VecDivStridedScaled16s(divisors16, 6, dividends16, 6, 3, 1, -3), vsDivByZero);
    EXPECT_EQ(dividends16[0], 32767);
    EXPECT_EQ(dividends16[1], 0);
    EXPECT_EQ(dividends16[2], -32768);
}

// Region of width × height inside rows wider than the region: the padding must survive.
TEST(StridedScaledTest, WalksRowsByByteStepAndLeavesPaddingAlone) {
    constexpr int32_t kWidth = 3;
    constexpr int32_t kHeight = 5;
    constexpr int32_t kSrcStep = 10; // 5 elements per source row
    constexpr int32_t kDstStep = 7;  // odd step: rows start at odd byte offsets
    using TFn =
        TVecStatus (*)(const int16_t*, int32_t, int16_t*, int32_t, int32_t, int32_t, int32_t);
    const std::pair<TOp, TFn> routines[] = {{TOp::Add, VecAddStridedScaled16s},
                                            {TOp::Sub, VecSubStridedScaled16s},
                                            {TOp::Mul, VecMulStridedScaled16s},
                                            {TOp::Div, VecDivStridedScaled16s}};
    std::mt19937 rng(5);
    for (const auto& [op, fn] : routines) {
        std::vector<int16_t> src = RandomWithLimits<int16_t>(rng, kSrcStep / 2 * kHeight);
        std::vector<unsigned char> dst(kDstStep * kHeight + 1);
        for (auto& b : dst) {
            b = static_cast<unsigned char>(rng());
        }
        const std::vector<unsigned char> before = dst;
        // dst starts one byte in so every element is misaligned.
        auto* dstStart = reinterpret_cast<int16_t*>(dst.data() + 1);
        fn(src.data(), kSrcStep, dstStart, kDstStep, kWidth, kHeight, 1);
        for (int32_t byte = 0; byte < static_cast<int32_t>(dst.size()); ++byte) {
            const int32_t offset = byte - 1;
            const bool inRegion = offset >= 0 && offset % kDstStep < kWidth * 2;
            if (!inRegion) {
                ASSERT_EQ(dst[byte], before[byte]) << "padding byte " << byte;
            }
        }
        for (int32_t row = 0; row < kHeight; ++row) {
            for (int32_t col = 0; col < kWidth; ++col) {
                int16_t got;
                int16_t old;
                std::memcpy(&got, dst.data() + 1 + row * kDstStep + col * 2, 2);
                std::memcpy(&old, before.data() + 1 + row * kDstStep + col * 2, 2);
                const int16_t s = src[row * kSrcStep / 2 + col];
                ASSERT_EQ(got, RefElement<int16_t>(op, old, s, 1)) << "row " << row;
            }
        }
    }
    int16_t x[4] = {};
    EXPECT_EQ(VecAddStridedScaled16s(x, 2, x, 2, 0, 1, 0), vsSizeErr);
    EXPECT_EQ(VecAddStridedScaled16s(x, 2, x, 2, 1, -1, 0), vsSizeErr);
    EXPECT_EQ(VecAddStridedScaled16s(x, 0, x, 2, 1, 1, 0), vsStepErr);
    EXPECT_EQ(VecDivStridedScaled16s(x, 2, x, -2, 1, 1, 0), vsStepErr);
    EXPECT_EQ(VecMulStridedScaled16s(x, 2, nullptr, 0, 0, 1, 0), vsNullPtrErr);
}

TEST(SaturateAndThresholdTest, MatchReference) {
    std::mt19937 rng(99);
    const std::vector<int16_t> a = RandomWithLimits<int16_t>(rng, 2000);
    const std::vector<int16_t> b = RandomWithLimits<int16_t>(rng, 2000);
    std::vector<int16_t> sum = b;
    ASSERT_EQ(VecAddSaturate16s(a.data(), sum.data(), 2000), vsOk);
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(sum[i], std::clamp(int32_t{a[i]} + b[i], -32768, 32767));
    }

    std::vector<int32_t> t{-5, 10, 11, 2147483647, -2147483648};
    ASSERT_EQ(VecThresholdAbove32s(t.data(), 5, 10), vsOk);
    EXPECT_EQ(t, (std::vector<int32_t>{-5, 10, 10, 10, -2147483648}));

    std::vector<int16_t> u{-200, -100, -99, 0, 99, 100, 101, 32767};
    ASSERT_EQ(VecThresholdBelowAbove16s(u.data(), 8, -100, -1000, 100, 1000), vsOk);
    EXPECT_EQ(u, (std::vector<int16_t>{-1000, -100, -99, 0, 99, 100, 1000, 1000}));
    const std::vector<int16_t> kept = u;
    EXPECT_EQ(VecThresholdBelowAbove16s(u.data(), 8, 5, 0, 4, 0), vsThresholdErr);
    EXPECT_EQ(VecThresholdBelowAbove16s(u.data(), 0, 5, 0, 4, 0), vsSizeErr);
    EXPECT_EQ(VecThresholdBelowAbove16s(nullptr, 8, 0, 0, 4, 0), vsNullPtrErr);
    EXPECT_EQ(VecThresholdAbove32s(t.data(), -1, 0), vsSizeErr);
    EXPECT_EQ(u, kept);
}

} // namespace
