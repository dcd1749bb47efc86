#include "dsp/Fft.h"
#include "dsp/FftDetail.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

using detail::TFftVariant;

struct TContextDeleter {
    void operator()(FftContext* context) const { FftFree(context); }
};
using TContextPtr = std::unique_ptr<FftContext, TContextDeleter>;

TContextPtr MakeContext(int order, int flag) {
    FftContext* context = nullptr;
    EXPECT_EQ(FftInit(&context, order, flag, 2), vsOk) << "order " << order << " flag " << flag;
    return TContextPtr(context);
}

std::vector<double> RandomSignal(int64_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> x(static_cast<size_t>(n) + 2);
    for (int64_t i = 0; i < n; ++i) {
        x[static_cast<size_t>(i)] = dist(rng);
    }
    return x;
}

long double ForwardScale(int order, int flag) {
    const long double n = std::ldexp(1.0L, order);
    return flag == 1 ? 1.0L / n : flag == 4 ? 1.0L / std::sqrt(n) : 1.0L;
}

// Bin k of S·Σ x[n]·e^{−2πi·kn/N}, summed directly in extended precision.
void DirectBin(const std::vector<double>& x, int order, int flag, int64_t k, long double* re,
               long double* im) {
    const int64_t n = int64_t{1} << order;
    long double sumRe = 0.0L, sumIm = 0.0L;
    for (int64_t j = 0; j < n; ++j) {
        const long double angle =
            2.0L * 3.141592653589793238462643383279503L * static_cast<long double>((k * j) % n) / n;
        sumRe += x[static_cast<size_t>(j)] * std::cos(angle);
        sumIm -= x[static_cast<size_t>(j)] * std::sin(angle);
    }
    *re = sumRe * ForwardScale(order, flag);
    *im = sumIm * ForwardScale(order, flag);
}

// Largest deviation from the direct sum over the bins `step` apart (always bins 0 and N/2).
double MaxErrorAgainstDirect(const std::vector<double>& x, const std::vector<double>& y, int order,
                             int flag, int64_t step) {
    const int64_t half = (int64_t{1} << order) / 2;
    double worst = 0.0;
    for (int64_t k = 0; k <= half; k = (k == half) ? half + 1 : std::min(k + step, half)) {
        long double re, im;
        DirectBin(x, order, flag, k, &re, &im);
        worst = std::max(worst, static_cast<double>(std::fabs(y[2 * k] - re)));
        worst = std::max(worst, static_cast<double>(std::fabs(y[2 * k + 1] - im)));
    }
    return worst;
}

std::vector<TFftVariant> AvailableVariants() {
    std::vector<TFftVariant> variants;
    for (const TFftVariant variant :
         {TFftVariant::Portable, TFftVariant::Avx2, TFftVariant::Avx512}) {
        if (detail::FftVariantAvailable(variant)) {
            variants.push_back(variant);
        }
    }
    return variants;
}

class FftAgainstDirect : public ::testing::TestWithParam<std::tuple<int, int>> {};

// Every order up to 12 and every scaling, in each variant, out of place and in place.
TEST_P(FftAgainstDirect, MatchesDirectSumInEveryVariantAndInPlace) {
    const auto [order, flag] = GetParam();
    const int64_t n = int64_t{1} << order;
    const auto context = MakeContext(order, flag);
    const std::vector<double> x = RandomSignal(n, 1234u + static_cast<unsigned>(order));
    // The error of a sound FFT grows like log N; the input norm is about √N.
    const double tolerance = 1e-14 * (order + 1) * std::sqrt(static_cast<double>(n)) *
                             static_cast<double>(ForwardScale(order, flag));
    for (const TFftVariant variant : AvailableVariants()) {
        std::vector<double> outOfPlace(static_cast<size_t>(n) + 2, -7.0);
        ASSERT_EQ(detail::FftForwardRealVariant(x.data(), outOfPlace.data(), context.get(), nullptr,
                                                variant),
                  vsOk);
        EXPECT_LE(MaxErrorAgainstDirect(x, outOfPlace, order, flag, 1), tolerance)
            << "variant " << static_cast<int>(variant);
        EXPECT_EQ(outOfPlace[1], 0.0);
        EXPECT_EQ(outOfPlace[2 * static_cast<size_t>(n / 2) + 1], 0.0);

        // The packed half spectrum: 2 × (N/2 + 1) doubles (two for N = 1).
        const size_t packed = 2 * static_cast<size_t>(n / 2 + 1);
        std::vector<double> inPlace = x;
        ASSERT_EQ(detail::FftForwardRealVariant(inPlace.data(), inPlace.data(), context.get(),
                                                nullptr, variant),
                  vsOk);
        // The same operations in the same order: bit for bit.
        EXPECT_EQ(std::memcmp(inPlace.data(), outOfPlace.data(), packed * sizeof(double)), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Orders, FftAgainstDirect,
                         ::testing::Combine(::testing::Range(0, 13),
                                            ::testing::Values(1, 2, 4, 8)));

TEST(Fft, CosineAtBinEightGivesHalfWithForwardScaling) {
    const auto context = MakeContext(8, 1);
    std::vector<double> x(258);
    for (int i = 0; i < 256; ++i) {
        x[i] = std::cos(2.0 * M_PI * 8.0 * i / 256.0);
    }
    std::vector<double> y(258);
    ASSERT_EQ(FftForwardReal(x.data(), y.data(), context.get(), nullptr), vsOk);
    for (int k = 0; k <= 128; ++k) {
        EXPECT_NEAR(y[2 * k], k == 8 ? 0.5 : 0.0, 1e-15) << k;
        EXPECT_NEAR(y[2 * k + 1], 0.0, 1e-15) << k;
    }
}

TEST(Fft, OnesGiveTheSumUnscaledAndImpulseIsFlatWithSquareRootScaling) {
    const auto unscaled = MakeContext(8, 8);
    std::vector<double> ones(258, 1.0), y(258);
    ASSERT_EQ(FftForwardReal(ones.data(), y.data(), unscaled.get(), nullptr), vsOk);
    EXPECT_DOUBLE_EQ(y[0], 256.0);
    for (int i = 1; i < 258; ++i) {
        EXPECT_NEAR(y[i], 0.0, 1e-12) << i;
    }

    const auto rootScaled = MakeContext(10, 4);
    std::vector<double> impulse(1026, 0.0), spectrum(1026);
    impulse[0] = 1.0;
    ASSERT_EQ(FftForwardReal(impulse.data(), spectrum.data(), rootScaled.get(), nullptr), vsOk);
    for (int k = 0; k <= 512; ++k) {
        EXPECT_DOUBLE_EQ(spectrum[2 * k], 1.0 / 32.0) << k;
        EXPECT_EQ(spectrum[2 * k + 1], 0.0) << k;
    }
}

TEST(Fft, RefusesBadArgumentsWithTheirCodes) {
    FftContext* context = reinterpret_cast<FftContext*>(0x1);
    EXPECT_EQ(FftInit(&context, 31, 1, 2), vsFftOrderErr);
    EXPECT_EQ(context, nullptr);
    EXPECT_EQ(FftInit(&context, -1, 1, 2), vsFftOrderErr);
    EXPECT_EQ(FftInit(&context, 8, 3, 2), vsFftFlagErr);
    EXPECT_EQ(FftInit(&context, 8, 0, 2), vsFftFlagErr);
    EXPECT_EQ(FftInit(nullptr, 8, 1, 2), vsNullPtrErr);

    const auto valid = MakeContext(8, 1);
    std::vector<double> buffer(258);
    EXPECT_EQ(FftForwardReal(nullptr, buffer.data(), valid.get(), nullptr), vsNullPtrErr);
    EXPECT_EQ(FftForwardReal(buffer.data(), nullptr, valid.get(), nullptr), vsNullPtrErr);
    EXPECT_EQ(FftForwardReal(buffer.data(), buffer.data(), nullptr, nullptr), vsNullPtrErr);

    // Memory that is not a live context: its kind tag does not match.
    alignas(64) unsigned char notAContext[512] = {};
    auto* fake = reinterpret_cast<FftContext*>(notAContext);
    EXPECT_EQ(FftForwardReal(buffer.data(), buffer.data(), fake, nullptr), vsContextMatchErr);
    EXPECT_EQ(FftFree(fake), vsContextMatchErr);
    int64_t workSize = -1;
    EXPECT_EQ(FftGetWorkSize(fake, &workSize), vsContextMatchErr);
    EXPECT_EQ(workSize, -1);
}

// The largest order sets up quickly with small tables and reports an honest work size.
TEST(Fft, LargestOrderSetsUpAndFrees) {
    FftContext* context = nullptr;
    ASSERT_EQ(FftInit(&context, 30, 8, 2), vsOk);
    int64_t workSize = 0;
    ASSERT_EQ(FftGetWorkSize(context, &workSize), vsOk);
    EXPECT_EQ(workSize, (int64_t{1} << 30) * 16 + 64);
    EXPECT_EQ(FftFree(context), vsOk);

    const auto small = MakeContext(9, 8);
    ASSERT_EQ(FftGetWorkSize(small.get(), &workSize), vsOk);
    EXPECT_EQ(workSize, 0);
}

// Orders whose passes read twiddles from the two-level table (above 18) and the largest fully
// tabled one, with and without a caller's work area: spot bins against the direct sum and
// Parseval's identity over the whole spectrum.
class FftLargeOrder : public ::testing::TestWithParam<int> {};

TEST_P(FftLargeOrder, SpotBinsAndEnergyMatch) {
    const int order = GetParam();
    const int64_t n = int64_t{1} << order;
    const auto context = MakeContext(order, 8);
    const std::vector<double> x = RandomSignal(n, 99u);
    std::vector<double> y(static_cast<size_t>(n) + 2);
    ASSERT_EQ(FftForwardReal(x.data(), y.data(), context.get(), nullptr), vsOk);

    int64_t workSize = 0;
    ASSERT_EQ(FftGetWorkSize(context.get(), &workSize), vsOk);
    std::vector<uint8_t> work(static_cast<size_t>(workSize));
    std::vector<double> withWork(static_cast<size_t>(n) + 2);
    ASSERT_EQ(FftForwardReal(x.data(), withWork.data(), context.get(), work.data()), vsOk);
    EXPECT_EQ(y, withWork);

    const double tolerance = 1e-13 * order * std::sqrt(static_cast<double>(n));
    for (const int64_t k : {int64_t{0}, int64_t{1}, int64_t{3}, n / 8 + 5, n / 2 - 1, n / 2}) {
        long double re, im;
        DirectBin(x, order, 8, k, &re, &im);
        EXPECT_NEAR(y[2 * k], static_cast<double>(re), tolerance) << "bin " << k;
        EXPECT_NEAR(y[2 * k + 1], static_cast<double>(im), tolerance) << "bin " << k;
    }
    long double timeEnergy = 0.0L, freqEnergy = 0.0L;
    for (int64_t i = 0; i < n; ++i) {
        timeEnergy += static_cast<long double>(x[i]) * x[i];
    }
    for (int64_t k = 0; k <= n / 2; ++k) {
        const long double power = static_cast<long double>(y[2 * k]) * y[2 * k] +
                                  static_cast<long double>(y[2 * k + 1]) * y[2 * k + 1];
        freqEnergy += (k == 0 || k == n / 2) ? power : 2.0L * power;
    }
    EXPECT_NEAR(static_cast<double>(freqEnergy / n / timeEnergy), 1.0, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Orders, FftLargeOrder, ::testing::Values(16, 18, 19, 20));

// One context serves several threads at once, each with its own destination.
TEST(Fft, ConcurrentTransformsOnOneContextMatchSerialOnes) {
    constexpr int kOrder = 11;
    constexpr int64_t kSize = int64_t{1} << kOrder;
    const auto context = MakeContext(kOrder, 1);
    std::vector<std::vector<double>> inputs, expected;
    for (unsigned t = 0; t < 4; ++t) {
        inputs.push_back(RandomSignal(kSize, 500u + t));
        expected.emplace_back(kSize + 2);
        ASSERT_EQ(FftForwardReal(inputs[t].data(), expected[t].data(), context.get(), nullptr),
                  vsOk);
    }
    std::vector<std::vector<double>> results(4, std::vector<double>(kSize + 2));
    std::vector<std::thread> threads;
    for (size_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int repeat = 0; repeat < 200; ++repeat) {
                FftForwardReal(inputs[t].data(), results[t].data(), context.get(), nullptr);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(results, expected);
}

} // namespace
