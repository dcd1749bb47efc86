#include "dsp/VecPrimitives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr float kFltMax = std::numeric_limits<float>::max();

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Floor of v ÷ 2^shift by division, independent of the shift operators the routines use.
int64_t FloorShift(int64_t v, int shift) {
    const int64_t d = int64_t{1} << shift;
    return v >= 0 ? v / d : -((-v + d - 1) / d);
}

// value × 2^−scale rounded (ties to even, or toward zero) and saturated; NaN gives 0.
int32_t RefToInt32(double value, TVecRoundMode mode, int32_t scale) {
    if (std::isnan(value)) {
        return 0;
    }
    // Beyond ±3000 nothing changes any more: every nonzero double is then 0 or saturated.
    const int exponent = -std::clamp(scale, -3000, 3000);
    const long double v = std::ldexp(static_cast<long double>(value), exponent);
    long double r = std::trunc(v);
    if (mode == rmNearest) {
        const long double frac = std::fabs(v - r);
        if (frac > 0.5L || (frac == 0.5L && std::fmod(r, 2.0L) != 0)) {
            r += v < 0 ? -1 : 1;
        }
    }
    return r >= 2147483647.0L ? 2147483647 : (r <= -2147483648.0L ? INT32_MIN : int32_t(r));
}

// Runs `check(len, offset)` for every length 1 … 67 at element offsets 0 … 3 from an aligned
// start, so every vector head and tail path is hit.
void ForEachShape(const std::function<void(int32_t, int32_t)>& check) {
    for (int32_t offset = 0; offset < 4; ++offset) {
        for (int32_t len = 1; len <= 67; ++len) {
            SCOPED_TRACE("len " + std::to_string(len) + " offset " + std::to_string(offset));
            check(len, offset);
        }
    }
}

// Random doubles with a sprinkling of zeros of both signs, equal values and large magnitudes.
std::vector<double> RandomDoubles(std::mt19937& rng, size_t count) {
    std::uniform_real_distribution<double> value(-1000.0, 1000.0);
    std::uniform_int_distribution<int> pick(0, 15);
    std::vector<double> v(count);
    for (double& x : v) {
        const int kind = pick(rng);
        x = kind == 0   ? 0.0
            : kind == 1 ? -0.0
            : kind == 2 ? 7.5
            : kind == 3 ? value(rng) * 1e7
                        : value(rng);
    }
    return v;
}

// ---- errors ------------------------------------------------------------------------------

struct TErrorCase {
    const char* name;
    bool hasSrc;
    bool strided;
    std::function<TVecStatus(const void* src, void* dst, int32_t len, int32_t step)> call;
};

std::vector<TErrorCase> ErrorCases() {
    using S = const void*;
    using D = void*;
    // Byte steps are valid for every element type, so a positive step never triggers an error.
    return {
        {"Copy64f", true, false,
         [](S s, D d, int32_t n, int32_t) { return VecCopy64f((const double*)s, (double*)d, n); }},
        {"CopyStrided16s", true, true,
         [](S s, D d, int32_t n, int32_t st) {
             return VecCopyStrided16s((const int16_t*)s, st, (int16_t*)d, st, 1, n);
         }},
        {"Convert64fTo32s", true, false,
         [](S s, D d, int32_t n, int32_t) {
             return VecConvert64fTo32s((const double*)s, (int32_t*)d, n, rmNearest, 0);
         }},
        {"ConvertStrided8uTo32s", true, true,
         [](S s, D d, int32_t n, int32_t st) {
             return VecConvertStrided8uTo32s((const uint8_t*)s, st, (int32_t*)d, st, n, 1);
         }},
        {"Deinterleave16sTo64f", true, true,
         [](S s, D d, int32_t n, int32_t st) {
             return VecDeinterleave16sTo64f((const int16_t*)s, st, (double*)d, n);
         }},
        {"Div64f", true, false,
         [](S s, D d, int32_t n, int32_t) { return VecDiv64f((const double*)s, (double*)d, n); }},
        {"Div64fc", true, false,
         [](S s, D d, int32_t n, int32_t) {
             return VecDiv64fc((const TVecComplex*)s, (TVecComplex*)d, n);
         }},
        {"MulConst64f", true, false,
         [](S s, D d, int32_t n, int32_t) {
             return VecMulConst64f((const double*)s, 0.0, (double*)d, n);
         }},
        {"Magnitude64fc", true, false,
         [](S s, D d, int32_t n, int32_t) {
             return VecMagnitude64fc((const TVecComplex*)s, (double*)d, n);
         }},
        {"Max64f", true, false,
         [](S s, D d, int32_t n, int32_t) { return VecMax64f((const double*)s, n, (double*)d); }},
        {"Fill64fc", false, false,
         [](S, D d, int32_t n, int32_t) {
             return VecFill64fc({1.0, 2.0}, (TVecComplex*)d, n);
         }},
        {"FillStrided32s", false, true,
         [](S, D d, int32_t n, int32_t st) { return VecFillStrided32s(5, (int32_t*)d, st, 1, n); }},
        {"Zero64fc", false, false,
         [](S, D d, int32_t n, int32_t) { return VecZero64fc((TVecComplex*)d, n); }},
        {"ConjExtend64fc", false, false,
         [](S, D d, int32_t n, int32_t) { return VecConjExtend64fc((TVecComplex*)d, n); }},
    };
}

TEST(VecFloatErrors, NullThenSizeThenStepAndNothingWritten) {
    alignas(64) unsigned char src[1024];
    alignas(64) unsigned char dst[1024];
    std::memset(src, 0x11, sizeof src);
    for (const TErrorCase& c : ErrorCases()) {
        SCOPED_TRACE(c.name);
        std::memset(dst, 0xAB, sizeof dst);
        EXPECT_EQ(c.call(src, nullptr, 0, 0), vsNullPtrErr); // null wins over length and step
        if (c.hasSrc) {
            EXPECT_EQ(c.call(nullptr, dst, -1, -1), vsNullPtrErr);
        }
        EXPECT_EQ(c.call(src, dst, 0, 0), vsSizeErr); // length wins over step
        EXPECT_EQ(c.call(src, dst, -5, 8), vsSizeErr);
        if (c.strided) {
            EXPECT_EQ(c.call(src, dst, 4, 0), vsStepErr);
            EXPECT_EQ(c.call(src, dst, 4, -8), vsStepErr);
        }
        for (unsigned char b : dst) {
            ASSERT_EQ(b, 0xAB);
        }
    }
}

// ---- conversions -------------------------------------------------------------------------

TEST(VecFloatConvert, ToInt32RoundingEdgeCases) {
    struct TCase {
        double value;
        int32_t scale;
        int32_t nearest;
        int32_t zero;
    };
    const TCase cases[] = {
        {2.5, 0, 2, 2},
        {-2.5, 0, -2, -2},
        {3.5, 0, 4, 3},
        {-3.5, 0, -4, -3},
        {5.0, 1, 2, 2},    // 2.5 after scaling
        {-7.0, 1, -4, -3}, // −3.5 after scaling
        {1.5, -1, 3, 3},   // scale < 0 multiplies
        {2147483647.4, 0, 2147483647, 2147483647},
        {2147483647.5, 0, 2147483647, 2147483647}, // rounds to 2^31, saturates
        {-2147483648.5, 0, INT32_MIN, INT32_MIN},  // tie to even −2^31
        {-2147483649.0, 0, INT32_MIN, INT32_MIN},
        {1e300, 0, INT32_MAX, INT32_MAX},
        {kInf, 5000, INT32_MAX, INT32_MAX},
        {-kInf, 0, INT32_MIN, INT32_MIN},
        {kNaN, 0, 0, 0},
        {1.0, INT32_MIN, INT32_MAX, INT32_MAX},
        {-1e300, INT32_MAX, 0, 0},
        {4.9e-324, -1100, 1 << 26, 1 << 26}, // smallest subnormal × 2^1100
        {4.9e-324, -1200, INT32_MAX, INT32_MAX},
        {1e-200, INT32_MIN + 1, INT32_MAX, INT32_MAX},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " scale " + std::to_string(c.scale));
        int32_t out = 99;
        ASSERT_EQ(VecConvert64fTo32s(&c.value, &out, 1, rmNearest, c.scale), vsOk);
        EXPECT_EQ(out, c.nearest);
        ASSERT_EQ(VecConvert64fTo32s(&c.value, &out, 1, rmZero, c.scale), vsOk);
        EXPECT_EQ(out, c.zero);
        if (std::fabs(c.value) < 1e38 || !std::isfinite(c.value)) {
            const float f = static_cast<float>(c.value);
            ASSERT_EQ(VecConvert32fTo32s(&f, &out, 1, rmNearest, c.scale), vsOk);
            EXPECT_EQ(out, RefToInt32(f, rmNearest, c.scale));
            ASSERT_EQ(VecConvert32fTo32s(&f, &out, 1, rmZero, c.scale), vsOk);
            EXPECT_EQ(out, RefToInt32(f, rmZero, c.scale));
        }
    }
}

TEST(VecFloatConvert, To32fClampsAtSingleRange) {
    const double src[] = {3.4028235e38, 1e39, kInf, -3.4028235e38, -kInf, 3.40282349e38,
                          1e-50,        -0.0, 1.1};
    const float expected[] = {kFltMax, kFltMax, kFltMax, -kFltMax, -kFltMax,
                              kFltMax, 0.0f,    -0.0f,   1.1f};
    float out[9];
    ASSERT_EQ(VecConvert64fTo32f(src, out, 9), vsOk);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(std::memcmp(&out[i], &expected[i], sizeof(float)), 0) << i;
    }
    const double nan = kNaN;
    ASSERT_EQ(VecConvert64fTo32f(&nan, out, 1), vsOk);
    EXPECT_TRUE(std::isnan(out[0]));
}

// Every 8- and 16-bit input, and 32-bit extremes, through width-1 and padded regions.
TEST(VecFloatConvert, StridedFormulasExhaustive) {
    std::vector<int16_t> from8To16(256 * 2, 7);
    std::vector<int32_t> from8To32(256);
    std::vector<uint8_t> bytes(256);
    for (int x = 0; x < 256; ++x) {
        bytes[x] = static_cast<uint8_t>(x);
    }
    // 16s destination with a step of 4 bytes: every other element must stay untouched.
    ASSERT_EQ(VecConvertStrided8uTo16s(bytes.data(), 1, from8To16.data(), 4, 1, 256), vsOk);
    ASSERT_EQ(VecConvertStrided8uTo32s(bytes.data(), 16, from8To32.data(), 64, 16, 16), vsOk);
    for (int x = 0; x < 256; ++x) {
        EXPECT_EQ(from8To16[2 * x], x * 257 - 32768);
        EXPECT_EQ(from8To16[2 * x + 1], 7);
        EXPECT_EQ(from8To32[x], int64_t{x} * 16843009 - 2147483648LL);
    }
    std::vector<int16_t> all16(65536);
    for (int i = 0; i < 65536; ++i) {
        all16[i] = static_cast<int16_t>(i - 32768);
    }
    std::vector<uint8_t> out8(65536);
    ASSERT_EQ(VecConvertStrided16sTo8u(all16.data(), 512, out8.data(), 256, 256, 256), vsOk);
    for (int i = 0; i < 65536; ++i) {
        const int64_t x = all16[i];
        ASSERT_EQ(out8[i], (FloorShift(x - FloorShift(x, 8), 8) + 128) & 255) << x;
    }
    std::mt19937 rng(1234);
    std::vector<int32_t> in32 = {INT32_MIN, INT32_MIN + 1, -256, -255,          -1,       0,
                                 1,         255,           256,  INT32_MAX - 1, INT32_MAX};
    for (int i = 0; i < 1000; ++i) {
        in32.push_back(static_cast<int32_t>(rng()));
    }
    std::vector<uint8_t> out32(in32.size() * 3, 0x5A);
    ASSERT_EQ(VecConvertStrided32sTo8u(in32.data(), 4, out32.data(), 3, 1,
                                       static_cast<int32_t>(in32.size())),
              vsOk);
    for (size_t i = 0; i < in32.size(); ++i) {
        const int64_t x = in32[i];
        EXPECT_EQ(out32[3 * i], (FloorShift(x - FloorShift(x, 8), 24) + 128) & 255) << x;
        EXPECT_EQ(out32[3 * i + 1], 0x5A);
    }
}

TEST(VecFloatConvert, RandomAgainstReference) {
    std::mt19937 rng(42);
    alignas(64) double d[80];
    alignas(64) float f[80];
    alignas(64) int32_t s[80];
    alignas(64) int32_t outS[80];
    alignas(64) double outD[80];
    alignas(64) float outF[80];
    ForEachShape([&](int32_t len, int32_t off) {
        const std::vector<double> values = RandomDoubles(rng, 80);
        for (int i = 0; i < 80; ++i) {
            d[i] = values[i] * (i % 5 == 0 ? 3e6 : 1.0) + 0.5 * (i % 3); // hits ties and range
            f[i] = static_cast<float>(d[i]);
            s[i] = static_cast<int32_t>(rng());
        }
        const int32_t scale = static_cast<int32_t>(rng() % 9) - 4;
        for (TVecRoundMode mode : {rmNearest, rmZero}) {
            ASSERT_EQ(VecConvert64fTo32s(d + off, outS + off, len, mode, scale), vsOk);
            for (int32_t i = 0; i < len; ++i) {
                ASSERT_EQ(outS[off + i], RefToInt32(d[off + i], mode, scale)) << d[off + i];
            }
            ASSERT_EQ(VecConvert32fTo32s(f + off, outS + off, len, mode, scale), vsOk);
            for (int32_t i = 0; i < len; ++i) {
                ASSERT_EQ(outS[off + i], RefToInt32(f[off + i], mode, scale)) << f[off + i];
            }
        }
        ASSERT_EQ(VecConvert32sTo64f(s + off, outD + off, len), vsOk);
        for (int32_t i = 0; i < len; ++i) {
            ASSERT_EQ(outD[off + i], static_cast<double>(s[off + i]));
        }
        ASSERT_EQ(VecConvert32fTo64f(f + off, outD + off, len), vsOk);
        for (int32_t i = 0; i < len; ++i) {
            ASSERT_EQ(outD[off + i], static_cast<double>(f[off + i]));
        }
        ASSERT_EQ(VecConvert64fTo32f(d + off, outF + off, len), vsOk);
        for (int32_t i = 0; i < len; ++i) {
            ASSERT_EQ(outF[off + i], static_cast<float>(d[off + i]));
        }
    });
}

// Channel `channel` of frames of `channels` samples, for strides the routine specialises and
// for ones it does not (3 and 5 channels).
TEST(VecFloatConvert, DeinterleaveEveryLayout) {
    std::mt19937 rng(7);
    std::vector<int16_t> frames16(67 * 5 + 8);
    std::vector<int32_t> frames32(67 * 5 + 8);
    for (size_t i = 0; i < frames16.size(); ++i) {
        frames16[i] = static_cast<int16_t>(rng());
        frames32[i] = static_cast<int32_t>(rng());
    }
    frames16[0] = INT16_MIN;
    frames32[0] = INT32_MIN;
    alignas(64) double out[72];
    for (int32_t channels = 1; channels <= 5; ++channels) {
        ForEachShape([&](int32_t len, int32_t off) {
            const int32_t channel = off % channels;
            ASSERT_EQ(
                VecDeinterleave16sTo64f(frames16.data() + channel, channels * 2, out + off, len),
                vsOk);
            for (int32_t i = 0; i < len; ++i) {
                ASSERT_EQ(out[off + i], frames16[channel + i * channels]);
            }
            ASSERT_EQ(
                VecDeinterleave32sTo64f(frames32.data() + channel, channels * 4, out + off, len),
                vsOk);
            for (int32_t i = 0; i < len; ++i) {
                ASSERT_EQ(out[off + i], frames32[channel + i * channels]);
            }
        });
    }
}

// ---- arithmetic --------------------------------------------------------------------------

using TRealOp = TVecStatus (*)(const double*, double*, int32_t);
using TComplexOp = TVecStatus (*)(const TVecComplex*, TVecComplex*, int32_t);

TEST(VecFloatArithmetic, RealAndComplexAgainstReference) {
    std::mt19937 rng(99);
    const std::pair<TRealOp, std::function<double(double, double)>> realOps[] = {
        {VecAdd64f, [](double d, double s) { return d + s; }},
        {VecSub64f, [](double d, double s) { return d - s; }},
        {VecMul64f, [](double d, double s) { return d * s; }},
        {VecDiv64f, [](double d, double s) { return d / s; }}, // random divisors are nonzero
    };
    using TC = TVecComplex;
    const std::pair<TComplexOp, std::function<TC(TC, TC)>> complexOps[] = {
        {VecAdd64fc,
         [](TC x, TC y) {
             return TC{x.re + y.re, x.im + y.im};
         }},
        {VecSub64fc,
         [](TC x, TC y) {
             return TC{x.re - y.re, x.im - y.im};
         }},
        {VecMul64fc,
         [](TC x, TC y) {
             return TC{x.re * y.re - x.im * y.im, x.re * y.im + x.im * y.re};
         }},
        {VecDiv64fc,
         [](TC x, TC y) {
             const double n = y.re * y.re + y.im * y.im;
             return TC{(x.re * y.re + x.im * y.im) / n, (x.im * y.re - x.re * y.im) / n};
         }},
    };
    std::uniform_real_distribution<double> dist(-100.0, 100.0);
    alignas(64) double src[140];
    alignas(64) double dst[140];
    ForEachShape([&](int32_t len, int32_t off) {
        for (int i = 0; i < 140; ++i) {
            src[i] = dist(rng) + (dist(rng) > 0 ? 0.0 : 1e-3);
        }
        const double constant = dist(rng);
        for (const auto& [op, ref] : realOps) {
            for (int i = 0; i < 140; ++i) {
                dst[i] = dist(rng);
            }
            const std::vector<double> before(dst, dst + 140);
            ASSERT_EQ(op(src + off, dst + off, len), vsOk);
            for (int i = 0; i < 140; ++i) {
                const bool inside = i >= off && i < off + len;
                ASSERT_TRUE(SameBits(dst[i], inside ? ref(before[i], src[i]) : before[i])) << i;
            }
        }
        for (const auto& [op, ref] : complexOps) {
            for (int i = 0; i < 140; ++i) {
                dst[i] = dist(rng);
            }
            const std::vector<double> before(dst, dst + 140);
            auto* s = reinterpret_cast<const TC*>(src);
            auto* d = reinterpret_cast<TC*>(dst);
            ASSERT_EQ(op(s + off, d + off, len), vsOk);
            for (int i = 0; i < 70; ++i) {
                const TC old{before[2 * i], before[2 * i + 1]};
                const TC want = i >= off && i < off + len ? ref(old, s[i]) : old;
                ASSERT_TRUE(SameBits(d[i].re, want.re) && SameBits(d[i].im, want.im)) << i;
            }
        }
        ASSERT_EQ(VecMagnitude64fc(reinterpret_cast<const TC*>(src) + off, dst, len), vsOk);
        for (int32_t i = 0; i < len; ++i) {
            const double re = src[2 * (off + i)];
            const double im = src[2 * (off + i) + 1];
            ASSERT_EQ(dst[i], std::sqrt(re * re + im * im));
        }
        ASSERT_EQ(VecMulConst64f(src + off, constant, dst + off, len), vsOk);
        for (int32_t i = 0; i < len; ++i) {
            ASSERT_EQ(dst[off + i], constant * src[off + i]);
        }
        ASSERT_EQ(VecMulConst64f(dst + off, -2.0, dst + off, len), vsOk); // in place
        for (int32_t i = 0; i < len; ++i) {
            ASSERT_EQ(dst[off + i], -2.0 * (constant * src[off + i]));
        }
    });
}

TEST(VecFloatArithmetic, DivisionByZero) {
    const double divisor[] = {0.0, 0.0, 0.0, -0.0, -0.0, 2.0, 0.0};
    double dividend[] = {3.0, -3.0, 0.0, 3.0, -3.0, 1.0, kNaN};
    ASSERT_EQ(VecDiv64f(divisor, dividend, 7), vsDivByZero);
    EXPECT_EQ(dividend[0], kInf);
    EXPECT_EQ(dividend[1], -kInf);
    EXPECT_TRUE(std::isnan(dividend[2]));
    EXPECT_EQ(dividend[3], kInf); // −0 divides like +0
    EXPECT_EQ(dividend[4], -kInf);
    EXPECT_EQ(dividend[5], 0.5); // the rest are still written
    EXPECT_TRUE(std::isnan(dividend[6]));
    ASSERT_EQ(VecDiv64f(divisor + 5, dividend + 5, 1), vsOk);

    const TVecComplex by[] = {{3.0, 4.0}, {0.0, 0.0}, {-0.0, 0.0}, {0.0, 2.0}};
    TVecComplex x[] = {{1.0, 2.0}, {1.0, 1.0}, {0.0, 0.0}, {4.0, 6.0}};
    ASSERT_EQ(VecDiv64fc(by, x, 4), vsDivByZero);
    EXPECT_EQ(x[0].re, 11.0 / 25.0);
    EXPECT_EQ(x[0].im, 2.0 / 25.0);
    for (int i = 1; i < 3; ++i) {
        EXPECT_TRUE(std::isnan(x[i].re) && std::isnan(x[i].im)) << i;
    }
    EXPECT_EQ(x[3].re, 3.0);
    EXPECT_EQ(x[3].im, -2.0);
    ASSERT_EQ(VecDiv64fc(by, x, 1), vsOk);
}

TEST(VecFloatArithmetic, MulConstByOneCopiesAndByZeroZeroes) {
    const double src[] = {kInf, kNaN, -5.0, 1e308};
    double dst[4];
    ASSERT_EQ(VecMulConst64f(src, 0.0, dst, 4), vsOk);
    ASSERT_EQ(VecMulConst64f(src, -0.0, dst + 2, 2), vsOk);
    for (double v : dst) {
        EXPECT_TRUE(SameBits(v, 0.0));
    }
    ASSERT_EQ(VecMulConst64f(src, 1.0, dst, 4), vsOk);
    EXPECT_EQ(std::memcmp(src, dst, sizeof src), 0);
}

// ---- statistics --------------------------------------------------------------------------

TEST(VecFloatStatistics, MinMaxFollowFirstThenStrictlyBetter) {
    struct TCase {
        std::vector<double> data;
        double min;
        double max;
    };
    const TCase cases[] = {
        {{kNaN, 1.0, -1.0}, kNaN, kNaN}, // a leading NaN is never replaced
        {{1.0, kNaN, -1.0, 5.0, kNaN}, -1.0, 5.0},
        {{0.0, -0.0, 1.0, -0.0}, 0.0, 1.0}, // equal zeros do not replace
        {{-0.0, 0.0, -1.0}, -1.0, -0.0},
        {{3.0, 3.0, -kInf, kInf}, -kInf, kInf},
    };
    // Zeros of both signs far apart, so the vector lanes see the later one first.
    std::vector<double> ones(40, 1.0);
    ones[2] = -0.0;
    ones[17] = 0.0;
    std::vector<double> minusOnes(40, -1.0);
    minusOnes[3] = -0.0;
    minusOnes[20] = 0.0;
    const TCase zeroCases[] = {{ones, -0.0, 1.0}, {minusOnes, -1.0, -0.0}};
    for (const TCase& c : zeroCases) {
        double mn = 0;
        double mx = 0;
        ASSERT_EQ(VecMin64f(c.data.data(), 40, &mn), vsOk);
        ASSERT_EQ(VecMax64f(c.data.data(), 40, &mx), vsOk);
        EXPECT_TRUE(SameBits(mn, c.min)) << mn;
        EXPECT_TRUE(SameBits(mx, c.max)) << mx;
    }
    for (const TCase& c : cases) {
        double mn = 0;
        double mx = 0;
        ASSERT_EQ(VecMin64f(c.data.data(), int32_t(c.data.size()), &mn), vsOk);
        ASSERT_EQ(VecMax64f(c.data.data(), int32_t(c.data.size()), &mx), vsOk);
        EXPECT_TRUE(SameBits(mn, c.min) || (std::isnan(mn) && std::isnan(c.min))) << mn;
        EXPECT_TRUE(SameBits(mx, c.max) || (std::isnan(mx) && std::isnan(c.max))) << mx;
    }
    // Random data with zeros of both signs and NaNs at random places, against the rule itself.
    std::mt19937 rng(5);
    alignas(64) double data[72];
    ForEachShape([&](int32_t len, int32_t off) {
        for (int trial = 0; trial < 4; ++trial) {
            const std::vector<double> values = RandomDoubles(rng, 72);
            std::copy(values.begin(), values.end(), data);
            if (trial > 0) {
                data[off + rng() % len] = kNaN;
            }
            if (trial == 3) {
                for (int i = 0; i < 72; ++i) {
                    data[i] = std::fabs(data[i]) * (i % 2 == 0 ? 1 : -1) * 0.0; // only ±0, NaN
                }
            }
            double refMin = data[off];
            double refMax = data[off];
            for (int32_t i = 1; i < len; ++i) {
                refMin = data[off + i] < refMin ? data[off + i] : refMin;
                refMax = data[off + i] > refMax ? data[off + i] : refMax;
            }
            double mn = 0;
            double mx = 0;
            ASSERT_EQ(VecMin64f(data + off, len, &mn), vsOk);
            ASSERT_EQ(VecMax64f(data + off, len, &mx), vsOk);
            ASSERT_TRUE(SameBits(mn, refMin)) << mn << " " << refMin;
            ASSERT_TRUE(SameBits(mx, refMax)) << mx << " " << refMax;
        }
    });
}

TEST(VecFloatStatistics, ConjExtendMirrorsLowerHalf) {
    for (int32_t len : {1, 2, 7, 8, 64}) {
        SCOPED_TRACE(len);
        std::vector<TVecComplex> spectrum(len);
        for (int32_t k = 0; k < len; ++k) {
            spectrum[k] = {k + 0.25, -k - 0.5};
        }
        ASSERT_EQ(VecConjExtend64fc(spectrum.data(), len), vsOk);
        for (int32_t k = 0; k < len; ++k) {
            const int32_t source = k <= len / 2 ? k : len - k;
            EXPECT_EQ(spectrum[k].re, source + 0.25);
            EXPECT_EQ(spectrum[k].im, k <= len / 2 ? -k - 0.5 : source + 0.5);
        }
    }
}

// ---- copy, fill, zero --------------------------------------------------------------------

TEST(VecFloatCopy, OverlapCopiesForwards) {
    for (int32_t shift : {1, 3, 8}) {
        SCOPED_TRACE(shift);
        std::vector<double> v(100);
        for (int i = 0; i < 100; ++i) {
            v[i] = i;
        }
        ASSERT_EQ(VecCopy64f(v.data() + shift, v.data(), 100 - shift), vsOk); // shift down
        for (int i = 0; i < 100; ++i) {
            ASSERT_EQ(v[i], i < 100 - shift ? i + shift : i);
        }
        for (int i = 0; i < 100; ++i) {
            v[i] = i;
        }
        ASSERT_EQ(VecCopy64f(v.data(), v.data() + shift, 100 - shift), vsOk); // repeats
        for (int i = 0; i < 100; ++i) {
            ASSERT_EQ(v[i], i % shift) << i;
        }
    }
    std::vector<uint8_t> bytes = {1, 2, 3, 4, 5};
    ASSERT_EQ(VecCopy8u(bytes.data() + 1, bytes.data(), 4), vsOk);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{2, 3, 4, 5, 5}));
}

TEST(VecFloatCopy, StridedCopiesAndFillLeavePaddingAlone) {
    std::vector<int32_t> src(4 * 5);
    for (int i = 0; i < 20; ++i) {
        src[i] = i * 1000003;
    }
    std::vector<int32_t> dst32(4 * 6, -1);
    ASSERT_EQ(VecCopyStrided32s(src.data(), 20, dst32.data(), 24, 3, 4), vsOk);
    std::vector<int16_t> dst16(4 * 7, -1);
    ASSERT_EQ(
        VecCopyStrided16s(reinterpret_cast<const int16_t*>(src.data()), 20, dst16.data(), 14, 5, 4),
        vsOk);
    std::vector<uint8_t> dst8(4 * 9, 0xEE);
    ASSERT_EQ(
        VecCopyStrided8u(reinterpret_cast<const uint8_t*>(src.data()), 20, dst8.data(), 9, 7, 4),
        vsOk);
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 6; ++col) {
            EXPECT_EQ(dst32[row * 6 + col], col < 3 ? src[row * 5 + col] : -1);
        }
        EXPECT_EQ(std::memcmp(&dst16[row * 7], &src[row * 5], 10), 0);
        EXPECT_EQ(dst16[row * 7 + 5], -1);
        EXPECT_EQ(std::memcmp(&dst8[row * 9], &src[row * 5], 7), 0);
        EXPECT_EQ(dst8[row * 9 + 7], 0xEE);
    }
    ASSERT_EQ(VecFillStrided32s(42, dst32.data() + 1, 24, 2, 3), vsOk);
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(dst32[row * 6 + 1], row < 3 ? 42 : src[row * 5 + 1]);
        EXPECT_EQ(dst32[row * 6 + 3], -1);
    }
}

TEST(VecFloatFill, FillAndZeroTouchExactlyTheRange) {
    alignas(64) unsigned char buffer[80 * 16];
    const TVecComplex pair{1.5, -2.5};
    const auto check = [&](int32_t len, int32_t off, size_t size, const void* value) {
        size_t wrong = sizeof buffer;
        for (size_t b = 0; b < sizeof buffer && wrong == sizeof buffer; ++b) {
            const size_t element = b / size;
            const bool inside = element >= size_t(off) && element < size_t(off + len);
            const unsigned char want =
                inside ? (value ? static_cast<const unsigned char*>(value)[b % size] : 0) : 0x77;
            wrong = buffer[b] == want ? wrong : b;
        }
        EXPECT_EQ(wrong, sizeof buffer) << "element size " << size;
        std::memset(buffer, 0x77, sizeof buffer);
    };
    std::memset(buffer, 0x77, sizeof buffer);
    ForEachShape([&](int32_t len, int32_t off) {
        const uint8_t v8 = 0x3C;
        const int16_t v16 = -12345;
        const int32_t v32 = 0x12345678;
        const double v64 = -0.1;
        ASSERT_EQ(VecFill8u(v8, reinterpret_cast<uint8_t*>(buffer) + off, len), vsOk);
        check(len, off, 1, &v8);
        ASSERT_EQ(VecFill16s(v16, reinterpret_cast<int16_t*>(buffer) + off, len), vsOk);
        check(len, off, 2, &v16);
        ASSERT_EQ(VecFill32s(v32, reinterpret_cast<int32_t*>(buffer) + off, len), vsOk);
        check(len, off, 4, &v32);
        ASSERT_EQ(VecFill64f(v64, reinterpret_cast<double*>(buffer) + off, len), vsOk);
        check(len, off, 8, &v64);
        ASSERT_EQ(VecFill64fc(pair, reinterpret_cast<TVecComplex*>(buffer) + off, len), vsOk);
        check(len, off, 16, &pair);
        ASSERT_EQ(VecZero8u(reinterpret_cast<uint8_t*>(buffer) + off, len), vsOk);
        check(len, off, 1, nullptr);
        ASSERT_EQ(VecZero16s(reinterpret_cast<int16_t*>(buffer) + off, len), vsOk);
        check(len, off, 2, nullptr);
        ASSERT_EQ(VecZero32s(reinterpret_cast<int32_t*>(buffer) + off, len), vsOk);
        check(len, off, 4, nullptr);
        ASSERT_EQ(VecZero64f(reinterpret_cast<double*>(buffer) + off, len), vsOk);
        check(len, off, 8, nullptr);
        ASSERT_EQ(VecZero64fc(reinterpret_cast<TVecComplex*>(buffer) + off, len), vsOk);
        check(len, off, 16, nullptr);
    });
}

} // namespace
