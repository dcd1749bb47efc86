#include "dsp/VecPrimitives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr long double kTwoPi = 2.0L * kPi;
// The generator's asymmetry for square waves: 3.141592621 as a single float, just below π.
const float kPiBelow = 3.141592621f;

long double WrapPhase(long double theta) {
    return theta - kTwoPi * std::floor(theta / kTwoPi);
}

// Direct evaluation of the unit triangle: +1 at 0, −1 at π + a, +1 at 2π.
long double UnitTriangle(long double theta, long double a) {
    theta = WrapPhase(theta);
    if (theta < kPi + a) {
        return 1.0L - 2.0L * theta / (kPi + a);
    }
    return -1.0L + 2.0L * (theta - kPi - a) / (kPi - a);
}

int TruncRef(long double x) {
    return static_cast<int>(std::trunc(x));
}

struct TWaveCase {
    int16_t magnitude;
    double relFreq;
    float asym; // triangle only
    float phase;
};

void PrintTo(const TWaveCase& c, std::ostream* os) {
    *os << "A " << c.magnitude << " f " << c.relFreq << " a " << c.asym << " phase " << c.phase;
}

class WaveTest : public ::testing::TestWithParam<TWaveCase> {};

constexpr int32_t kLen = 4096;

TEST_P(WaveTest, ToneMatchesDirectEvaluationAndAdvancesPhase) {
    const TWaveCase c = GetParam();
    std::vector<int16_t> out(kLen);
    float phase = c.phase;
    ASSERT_EQ(VecTone16s(out.data(), kLen, c.magnitude, c.relFreq, &phase), vsOk);
    const long double omega = kTwoPi * c.relFreq;
    for (int32_t n = 0; n < kLen; ++n) {
        const long double exact = c.magnitude * std::cos(c.phase + omega * n);
        ASSERT_LE(std::abs(out[n] - TruncRef(exact)), 1) << "n " << n;
    }
    const long double expected = WrapPhase(c.phase + omega * kLen);
    EXPECT_NEAR(phase, static_cast<double>(expected), 1e-6);
}

TEST_P(WaveTest, TriangleMatchesDirectEvaluationAndAdvancesPhase) {
    const TWaveCase c = GetParam();
    std::vector<int16_t> out(kLen);
    float phase = c.phase;
    ASSERT_EQ(VecTriangle16s(out.data(), kLen, c.magnitude, c.relFreq, c.asym, &phase), vsOk);
    const long double omega = kTwoPi * c.relFreq;
    for (int32_t n = 0; n < kLen; ++n) {
        const long double exact = c.magnitude * UnitTriangle(c.phase + omega * n, c.asym);
        ASSERT_LE(std::abs(out[n] - TruncRef(exact)), 1) << "n " << n;
    }
    EXPECT_NEAR(phase, static_cast<double>(WrapPhase(c.phase + omega * kLen)), 1e-6);
}

// Two consecutive blocks continue where the first stopped: the same as one long block, up to
// the single-precision phase carried between them.
TEST_P(WaveTest, BlocksJoinWithoutPhaseJump) {
    const TWaveCase c = GetParam();
    for (bool triangle : {false, true}) {
        auto generate = [&](int16_t* dst, int32_t len, float* phase) {
            return triangle ? VecTriangle16s(dst, len, c.magnitude, c.relFreq, c.asym, phase)
                            : VecTone16s(dst, len, c.magnitude, c.relFreq, phase);
        };
        std::vector<int16_t> whole(1024);
        std::vector<int16_t> halves(1024);
        float phaseWhole = c.phase;
        float phaseHalves = c.phase;
        ASSERT_EQ(generate(whole.data(), 1024, &phaseWhole), vsOk);
        ASSERT_EQ(generate(halves.data(), 512, &phaseHalves), vsOk);
        ASSERT_EQ(generate(halves.data() + 512, 512, &phaseHalves), vsOk);
        for (int32_t n = 0; n < 1024; ++n) {
            ASSERT_LE(std::abs(whole[n] - halves[n]), 1)
                << (triangle ? "triangle" : "tone") << " n " << n;
        }
        EXPECT_NEAR(phaseWhole, phaseHalves, 2e-6);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, WaveTest,
                         ::testing::Values(TWaveCase{5000, 520.0 / 44100.0, 0.0f, 0.0f},
                                           TWaveCase{32767, 0.123, 1.0f, 1.0f},
                                           TWaveCase{1, 0.3, -2.5f, 6.28f},
                                           TWaveCase{20000, 0.0001, 2.5f, 3.0f},
                                           TWaveCase{32767, 0.4999, -1.0f, 0.5f},
                                           TWaveCase{1250, 441.0 / 44100.0, 0.3f, 4.0f}));

TEST(ToneTest, ZeroFrequencyIsConstantAndKeepsPhase) {
    std::vector<int16_t> out(300);
    float phase = 2.0f;
    ASSERT_EQ(VecTone16s(out.data(), 300, 12345, 0.0, &phase), vsOk);
    const int expected = TruncRef(12345.0L * std::cos(2.0L)); // −5137.4 → −5137
    for (int16_t v : out) {
        ASSERT_EQ(v, expected);
    }
    EXPECT_EQ(phase, 2.0f);
}

// Signal parameters are checked before the destination and the length; on failure nothing
// is written and the phase stays.
TEST(ToneTest, ChecksParametersInOrderAndWritesNothingOnError) {
    int16_t out[4] = {7, 7, 7, 7};
    float phase = 1.0f;
    float badPhase = 6.2831855f; // the single float just above 2π
    EXPECT_EQ(VecTone16s(nullptr, 0, 0, 0.7, &badPhase), vsToneMagnErr);
    EXPECT_EQ(VecTone16s(nullptr, 0, 1, 0.5, &badPhase), vsToneFreqErr);
    EXPECT_EQ(VecTone16s(nullptr, 0, 1, -0.1, &badPhase), vsToneFreqErr);
    EXPECT_EQ(VecTone16s(nullptr, 0, 1, std::nan(""), &phase), vsToneFreqErr);
    EXPECT_EQ(VecTone16s(nullptr, 0, 1, 0.1, &badPhase), vsTonePhaseErr);
    float negative = -0.0001f;
    EXPECT_EQ(VecTone16s(out, 4, 1, 0.1, &negative), vsTonePhaseErr);
    EXPECT_EQ(VecTone16s(nullptr, 0, 1, 0.1, &phase), vsNullPtrErr);
    EXPECT_EQ(VecTone16s(out, 0, 1, 0.1, &phase), vsSizeErr);
    EXPECT_EQ(VecTone16s(out, 4, 1, 0.1, nullptr), vsNullPtrErr);

    EXPECT_EQ(VecTriangle16s(nullptr, 0, 0, 0.7, 5.0f, &badPhase), vsTriangleMagnErr);
    EXPECT_EQ(VecTriangle16s(nullptr, 0, 1, 0.7, 5.0f, &badPhase), vsTriangleFreqErr);
    EXPECT_EQ(VecTriangle16s(nullptr, 0, 1, 0.1, 5.0f, &badPhase), vsTriangleAsymErr);
    // Single-precision π lies above π: outside [−π, π) on both ends.
    EXPECT_EQ(VecTriangle16s(nullptr, 0, 1, 0.1, 3.14159274f, &phase), vsTriangleAsymErr);
    EXPECT_EQ(VecTriangle16s(nullptr, 0, 1, 0.1, -3.14159274f, &phase), vsTriangleAsymErr);
    EXPECT_EQ(VecTriangle16s(nullptr, 0, 1, 0.1, 0.0f, &badPhase), vsTrianglePhaseErr);
    EXPECT_EQ(VecTriangle16s(nullptr, 0, 1, 0.1, 0.0f, &phase), vsNullPtrErr);
    EXPECT_EQ(VecTriangle16s(out, -1, 1, 0.1, 0.0f, &phase), vsSizeErr);

    EXPECT_EQ(phase, 1.0f);
    EXPECT_EQ(badPhase, 6.2831855f);
    for (int16_t v : out) {
        EXPECT_EQ(v, 7);
    }
}

// The square wave is built from two triangles whose asymmetry sits just inside ±π: one falls
// over almost the whole cycle, the other rises. Their steep edges must stay finite and within
// ±A, and their saturated sum must form flat plateaus.
TEST(TriangleTest, NearVerticalEdgesSumToSquarePlateaus) {
    constexpr int32_t kN = 4096;
    for (double relFreq : {441.0 / 44100.0, 1000.0 / 44100.0, 0.37}) {
        std::vector<int16_t> falling(kN);
        std::vector<int16_t> rising(kN);
        const float startPhase = 0.25f;
        float phase1 = startPhase;
        float phase2 = startPhase + kPiBelow;
        ASSERT_EQ(VecTriangle16s(falling.data(), kN, 32767, relFreq, kPiBelow, &phase1), vsOk);
        ASSERT_EQ(VecTriangle16s(rising.data(), kN, 32767, relFreq, -kPiBelow, &phase2), vsOk);
        ASSERT_EQ(VecAddSaturate16s(rising.data(), falling.data(), kN), vsOk);
        ASSERT_EQ(VecThresholdBelowAbove16s(falling.data(), kN, -1250, -1250, 1250, 1250), vsOk);
        const long double omega = kTwoPi * relFreq;
        for (int32_t n = 0; n < kN; ++n) {
            const long double theta = WrapPhase(startPhase + omega * n);
            // Skip samples within two sample steps of a jump.
            const long double margin = 2.0L * omega + 1e-6L;
            if (theta < margin || std::fabs(theta - kPi) < margin || kTwoPi - theta < margin) {
                continue;
            }
            ASSERT_EQ(falling[n], theta < kPi ? 1250 : -1250) << "f " << relFreq << " n " << n;
        }
    }
}

TEST(RampTest, RoundsHalfAwayFromZeroAndSaturates) {
    int16_t out[5];
    ASSERT_EQ(VecRamp16s(out, 5, -0.5f, 1.0f), vsOk);
    EXPECT_EQ(std::vector<int16_t>(out, out + 5), (std::vector<int16_t>{-1, 1, 2, 3, 4}));
    ASSERT_EQ(VecRamp16s(out, 5, 0.5f, 1.0f), vsOk); // 0.5, 1.5, 2.5 ... all away from zero
    EXPECT_EQ(std::vector<int16_t>(out, out + 5), (std::vector<int16_t>{1, 2, 3, 4, 5}));
    ASSERT_EQ(VecRamp16s(out, 5, 32000.0f, 500.0f), vsOk);
    EXPECT_EQ(std::vector<int16_t>(out, out + 5),
              (std::vector<int16_t>{32000, 32500, 32767, 32767, 32767}));
    ASSERT_EQ(VecRamp16s(out, 5, -32767.4f, -0.3f), vsOk);
    EXPECT_EQ(std::vector<int16_t>(out, out + 5),
              (std::vector<int16_t>{-32767, -32768, -32768, -32768, -32768}));

    // A long ramp with a slope that is not a short binary fraction.
    constexpr int32_t kN = 20000;
    std::vector<int16_t> ramp(kN);
    const float offset = -20000.3f;
    const float slope = 2.0001f;
    ASSERT_EQ(VecRamp16s(ramp.data(), kN, offset, slope), vsOk);
    for (int32_t i = 0; i < kN; ++i) {
        const long double exact =
            static_cast<long double>(offset) + i * static_cast<long double>(slope);
        ASSERT_EQ(ramp[i], std::clamp<long double>(std::round(exact), -32768, 32767)) << i;
    }
    EXPECT_EQ(VecRamp16s(nullptr, 0, 0.0f, 1.0f), vsNullPtrErr);
    EXPECT_EQ(VecRamp16s(out, 0, 0.0f, 1.0f), vsSizeErr);
}

TEST(JaehneTest, MatchesSineOfSquaredIndex) {
    for (int32_t len : {1, 2, 7, 64, 1000}) {
        std::vector<double> out(len);
        ASSERT_EQ(VecJaehne64f(out.data(), len, 3.5), vsOk);
        for (int32_t n = 0; n < len; ++n) {
            const long double exact =
                3.5L * std::sin(kPi / 2.0L * static_cast<long double>(n) * n / len);
            ASSERT_NEAR(out[n], static_cast<double>(exact), 1e-12) << "len " << len << " n " << n;
        }
    }
    double one = 9.0;
    ASSERT_EQ(VecJaehne64f(&one, 1, 100.0), vsOk);
    EXPECT_EQ(one, 0.0);
    double untouched = 9.0;
    EXPECT_EQ(VecJaehne64f(&untouched, 1, -1.0), vsJaehneErr);
    EXPECT_EQ(VecJaehne64f(&untouched, 0, -1.0), vsSizeErr);
    EXPECT_EQ(VecJaehne64f(nullptr, 1, -1.0), vsNullPtrErr);
    EXPECT_EQ(untouched, 9.0);
}

} // namespace
