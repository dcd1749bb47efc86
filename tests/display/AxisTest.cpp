// Axes: the value ↔ pixel mapping, the automatic and custom major step, the tick walk, label
// precision, the scope X axis's units and captions, Y autoscaling with its history and
// hysteresis, zoom ranges and panning, and the form-file range properties. Extreme inputs
// (ranges beyond doubles, tiny steps, NaN) must end promptly with finite results.
#include "ScopeTestSupport.h"

#include "display/ZemDisplayAxis.h"
#include "display/ZemScopeAxes.h"
#include "pins/VokFormReader.h"
#include "pins/VokFormText.h"
#include "pins/VokFormWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace scopetest;
using detail::TZemTickMark;
using detail::TZemTickWalk;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

/// A horizontal axis of `length` pixels (data view 0 … length, right edge exclusive) mapping
/// [low, high] onto pixels 0 … length with the X rule.
TZemTickWalk LinearWalk(double low, double high, double step, int length, int minDistance) {
    TZemTickWalk walk;
    walk.m_low = low;
    walk.m_high = high;
    walk.m_step = step;
    walk.m_minDistance = minDistance;
    walk.m_spanBegin = 0;
    walk.m_spanEnd = length + 1;
    const detail::TZemAxisMapping mapping =
        detail::ZemAxisMapping(high, low, length, false, false, false);
    walk.m_pixelOf = [mapping, length](double value) {
        return detail::ZemMapValue(mapping, length + 1, value, false);
    };
    return walk;
}

std::vector<TZemTickMark> Walk(const TZemTickWalk& walk) {
    std::vector<TZemTickMark> marks;
    detail::ZemWalkTicks(walk, [&marks](const TZemTickMark& mark) { marks.push_back(mark); });
    return marks;
}

std::vector<TZemTickMark> Majors(const std::vector<TZemTickMark>& marks) {
    std::vector<TZemTickMark> majors;
    std::copy_if(marks.begin(), marks.end(), std::back_inserter(majors),
                 [](const TZemTickMark& mark) { return mark.m_major; });
    std::sort(majors.begin(), majors.end(),
              [](const TZemTickMark& a, const TZemTickMark& b) { return a.m_pixel < b.m_pixel; });
    return majors;
}

} // namespace

// --- Mapping ----------------------------------------------------------------------------------

struct TMappingCase {
    bool m_yRule;
    bool m_reversed;
    bool m_logarithmic;
};

class AxisMapping : public testing::TestWithParam<TMappingCase> {};

// Data view (20, 10) – (320, 210): the Y rule maps over height − 1 = 198 from the bottom edge
// (minimum on row 209, maximum on row 11), the X rule over width 299 from the right edge
// (minimum on column 20, maximum on column 319); Reversed swaps the ends.
TEST_P(AxisMapping, RangeEndsLandOnTheDocumentedPixels) {
    const TMappingCase test = GetParam();
    const TZemRect view{20, 10, 320, 210};
    const int length = test.m_yRule ? view.Height() - 2 : view.Width() - 1;
    const int farEdge = test.m_yRule ? view.m_bottom : view.m_right;
    const int minPixel = test.m_yRule ? view.m_bottom - 1 : view.m_left;
    const int maxPixel = test.m_yRule ? view.m_top + 1 : view.m_right - 1;
    const double low = test.m_logarithmic ? 1.0 : -250.0;
    const double high = test.m_logarithmic ? 1e5 : 1750.0;
    const detail::TZemAxisMapping mapping = detail::ZemAxisMapping(
        high, low, length, test.m_yRule, test.m_reversed, test.m_logarithmic);
    const auto pixel = [&](double value) {
        return detail::ZemMapValue(mapping, farEdge, value, test.m_logarithmic);
    };
    EXPECT_EQ(pixel(low), test.m_reversed ? maxPixel : minPixel);
    EXPECT_EQ(pixel(high), test.m_reversed ? minPixel : maxPixel);
    // Monotonic in between.
    const int middle = pixel(test.m_logarithmic ? 300.0 : 750.0);
    EXPECT_GT(middle, std::min(minPixel, maxPixel));
    EXPECT_LT(middle, std::max(minPixel, maxPixel));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, AxisMapping,
    testing::Values(TMappingCase{true, false, false}, TMappingCase{true, true, false},
                    TMappingCase{false, false, false}, TMappingCase{false, true, false},
                    TMappingCase{true, false, true}, TMappingCase{false, true, true}));

TEST(AxisMappingDegenerate, ZeroOrUnmappableRangesPutEveryValueOnTheMiddlePixel) {
    for (const auto& [low, high] : {std::pair{5.0, 5.0}, std::pair{-1e308, 1e308},
                                    std::pair{kNaN, 1.0}, std::pair{-kInf, kInf}}) {
        for (bool yRule : {true, false}) {
            const detail::TZemAxisMapping mapping =
                detail::ZemAxisMapping(high, low, 200, yRule, false, false);
            for (double value : {5.0, 0.0, -3e300, kNaN, kInf}) {
                EXPECT_EQ(detail::ZemMapValue(mapping, 300, value, false), 300 - 100 - 1)
                    << low << ".." << high << " value " << value;
            }
        }
    }
    // An axis of length 0 maps everything onto one pixel too.
    const detail::TZemAxisMapping empty = detail::ZemAxisMapping(10.0, 0.0, 0, true, false, false);
    EXPECT_EQ(detail::ZemMapValue(empty, 50, 0.0, false), 49);
    EXPECT_EQ(detail::ZemMapValue(empty, 50, 10.0, false), 49);
}

TEST(AxisMappingScope, AxesMapTheirRangesOntoTheDataView) {
    TScopeRig rig;
    rig.Scope().GetYAxis()->GetAutoScaling()->SetEnabled(false);
    rig.Refresh();
    const TZemRect view = rig.Scope().GetScopeDataView()->GetRect();
    TZemScopeYAxis* yAxis = rig.Scope().GetYAxis();
    TZemScopeXAxis* xAxis = rig.Scope().GetXAxis();
    EXPECT_EQ(yAxis->TickValueToPixel(yAxis->GetVisibleMin()), view.m_bottom - 1);
    EXPECT_EQ(yAxis->TickValueToPixel(yAxis->GetVisibleMax()), view.m_top + 1);
    EXPECT_EQ(xAxis->TickValueToPixel(xAxis->GetTickVisibleMin()), view.m_left);
    EXPECT_EQ(xAxis->TickValueToPixel(xAxis->GetTickVisibleMax()), view.m_right - 1);
    // The grid walk stays inside the data view and finds the zero line of −1000 … 1000.
    int zeroCount = 0;
    yAxis->ForEachMajorTick([&](int pixel, bool isZero) {
        EXPECT_GE(pixel, view.m_top);
        EXPECT_LT(pixel, view.m_bottom);
        zeroCount += isZero ? 1 : 0;
        if (isZero) {
            EXPECT_EQ(pixel, yAxis->TickValueToPixel(0.0));
        }
    });
    EXPECT_EQ(zeroCount, 1);
}

// --- Automatic step ---------------------------------------------------------------------------

// Over many (range, length, spacing) draws: the step is 1, 2, 2.5 or 5 × 10^k; it keeps ticks
// at least max(spacing, "Xg" + 2) pixels apart; the next smaller candidate would not; and the
// tick walk with it draws every multiple of the step, evenly and never closer than D.
TEST(AxisAutoStep, StepIsTheSmallestNiceStepThatKeepsLabelsApart) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    constexpr int kLabelHeight = 12;
    constexpr int kMinDistance = kLabelHeight;
    int walksWithSeveralTicks = 0;
    for (int round = 0; round < 3000; ++round) {
        const double range =
            std::pow(10.0, -9.0 + 18.0 * unit(random)) * (1.0 + 9.0 * unit(random));
        const int length = 40 + static_cast<int>(1960 * unit(random));
        const int spacing = 20 + static_cast<int>(80 * unit(random));
        const double step = detail::ZemAutoStep(range, length, spacing, kLabelHeight);
        SCOPED_TRACE(testing::Message() << "range " << range << " length " << length << " spacing "
                                        << spacing << " step " << step);

        const double decade = std::pow(10.0, std::floor(std::log10(step) + 1e-12));
        const double mantissa = step / decade;
        const double candidates[] = {1.0, 2.0, 2.5, 5.0};
        const auto found = std::find_if(std::begin(candidates), std::end(candidates),
                                        [&](double c) { return std::fabs(mantissa - c) < 1e-9; });
        ASSERT_NE(found, std::end(candidates)) << "mantissa " << mantissa;

        const double needed = std::max<double>(spacing, kLabelHeight + 2);
        const double pixels = step / range * length;
        EXPECT_GE(pixels, needed * (1.0 - 1e-9));
        const double smaller = found == std::begin(candidates) ? 0.5 * decade : found[-1] * decade;
        EXPECT_LT(smaller / range * length, needed * (1.0 + 1e-9));

        const double low = range * (unit(random) * 2.0 - 1.5);
        const std::vector<TZemTickMark> majors =
            Majors(Walk(LinearWalk(low, low + range, step, length, kMinDistance)));
        walksWithSeveralTicks += majors.size() >= 3 ? 1 : 0;
        for (size_t i = 0; i < majors.size(); ++i) {
            const double multiple = majors[i].m_value / step;
            EXPECT_NEAR(multiple, std::round(multiple), 1e-6);
            if (i > 0) {
                const int gap = majors[i].m_pixel - majors[i - 1].m_pixel;
                EXPECT_GT(gap, kMinDistance);
                EXPECT_NEAR(gap, pixels, 1.5) << "no tick left out between two drawn ones";
            }
        }
    }
    EXPECT_GT(walksWithSeveralTicks, 2000);
}

struct TExtremeStep {
    double m_range;
    int m_length;
};

class AxisAutoStepExtremes : public testing::TestWithParam<TExtremeStep> {};

TEST_P(AxisAutoStepExtremes, EndsWithAFiniteNonZeroStep) {
    const TExtremeStep test = GetParam();
    for (bool logarithmic : {false, true}) {
        const double step =
            detail::ZemAutoStep(test.m_range, test.m_range, test.m_length, 20, 12, logarithmic);
        EXPECT_TRUE(std::isfinite(step)) << test.m_range;
        EXPECT_NE(step, 0.0) << test.m_range;
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, AxisAutoStepExtremes,
                         testing::Values(TExtremeStep{1e-300, 500}, TExtremeStep{1e300, 500},
                                         TExtremeStep{1.7e308, 3}, TExtremeStep{1e300, 1},
                                         TExtremeStep{kInf, 500}, TExtremeStep{kNaN, 500},
                                         TExtremeStep{0.0, 500}, TExtremeStep{5.0, 0},
                                         TExtremeStep{-5.0, 300}, TExtremeStep{4.9e-324, 2000}));

TEST(AxisAutoStepExtremes, ZeroRangeOrLengthGivesStepOne) {
    EXPECT_EQ(detail::ZemAutoStep(0.0, 500, 20, 12), 1.0);
    EXPECT_EQ(detail::ZemAutoStep(100.0, 0, 20, 12), 1.0);
    EXPECT_EQ(detail::ZemAutoStep(kInf, 500, 20, 12), 1.0);
}

// --- Custom step ------------------------------------------------------------------------------

struct TCustomStepCase {
    double m_step;
    double m_range;
    int m_length;
    int m_minSpacing;
    double m_expected;
};

class AxisCustomStep : public testing::TestWithParam<TCustomStepCase> {};

TEST_P(AxisCustomStep, DoublesUntilTicksHaveRoomAndNeverRunsAway) {
    const TCustomStepCase test = GetParam();
    EXPECT_EQ(detail::ZemCustomStep(test.m_step, test.m_range, test.m_length, test.m_minSpacing),
              test.m_expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AxisCustomStep,
    testing::Values(TCustomStepCase{1.0, 100.0, 200, 14, 8.0}, // 8 × 2 = 16 px > 14
                    TCustomStepCase{10.0, 100.0, 200, 14, 10.0},
                    TCustomStepCase{1.0, 1000.0, 100, 1, 32.0}, // override: > 1 px
                    TCustomStepCase{0.0, 100.0, 200, 14, 8.0},  // not above 0 → from 1
                    TCustomStepCase{-3.0, 100.0, 200, 14, 8.0},
                    TCustomStepCase{kNaN, 100.0, 200, 14, 8.0},
                    TCustomStepCase{1.0, 0.0, 200, 14, 1.0}, // nothing to make room on
                    TCustomStepCase{1.0, kNaN, 200, 14, 1.0},
                    TCustomStepCase{1.0, 100.0, 0, 14, 1.0},
                    // 2^994 gives 25 px, 2^993 only 12.
                    TCustomStepCase{1.0, 1e300, 100, 14, 0x1p+994}));

TEST(AxisMajorTicks, StepNotAboveZeroIsStoredAsOne) {
    int changes = 0;
    TZemMajorTicks ticks([&changes] { ++changes; });
    EXPECT_EQ(ticks.GetStep(), 10.0);
    for (double bad : {0.0, -5.0, kNaN, kInf}) {
        ticks.SetStep(2.5);
        ticks.SetStep(bad);
        EXPECT_EQ(ticks.GetStep(), 1.0) << bad;
    }
    EXPECT_EQ(changes, 8);
}

// --- Tick walk --------------------------------------------------------------------------------

TEST(AxisTickWalk, MinorTicksDivideEachMajorGapEvenly) {
    TZemTickWalk walk = LinearWalk(0.0, 10.0, 2.0, 100, 5);
    walk.m_minorCount = 4;
    std::vector<int> minors;
    std::vector<int> majors;
    detail::ZemWalkTicks(walk, [&](const TZemTickMark& mark) {
        (mark.m_major ? majors : minors).push_back(mark.m_pixel);
    });
    EXPECT_EQ(majors, (std::vector<int>{0, 20, 40, 60, 80, 100}));
    std::sort(minors.begin(), minors.end());
    std::vector<int> expected;
    for (int pixel = 4; pixel < 120; pixel += 4) {
        if (pixel % 20 != 0 && pixel <= 100) {
            expected.push_back(pixel);
        }
    }
    // The walk goes one step past each end; minors outside the span are left out.
    EXPECT_EQ(minors, expected);
}

TEST(AxisTickWalk, StartsAtZeroAndReportsItOnceAsTheZeroTick) {
    const std::vector<TZemTickMark> marks = Walk(LinearWalk(-10.0, 10.0, 5.0, 200, 5));
    std::vector<double> values;
    for (const TZemTickMark& mark : marks) {
        values.push_back(mark.m_value);
        EXPECT_EQ(mark.m_isZero, mark.m_value == 0.0);
    }
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, (std::vector<double>{-10.0, -5.0, 0.0, 5.0, 10.0}));
}

TEST(AxisTickWalk, TicksCloserThanTheLabelExtentAreLeftOut) {
    // 10 px per unit and D = 15: only every second tick is drawn.
    const std::vector<TZemTickMark> majors = Majors(Walk(LinearWalk(0.0, 20.0, 1.0, 200, 15)));
    ASSERT_EQ(majors.size(), 11U);
    for (size_t i = 1; i < majors.size(); ++i) {
        EXPECT_EQ(majors[i].m_pixel - majors[i - 1].m_pixel, 20);
    }
}

TEST(AxisTickWalk, CustomStepHookCanHideTicksAndBadStepsFallBack) {
    TZemTickWalk walk = LinearWalk(0.0, 10.0, 1.0, 100, 5);
    walk.m_customStep = [](double value, double& step, bool& draw) {
        draw = value != 4.0;
        step = value < 5.0 ? kNaN : -2.0; // unusable, then negative: its magnitude counts
    };
    std::vector<double> values;
    for (const TZemTickMark& mark : Majors(Walk(walk))) {
        values.push_back(mark.m_value);
    }
    EXPECT_EQ(values, (std::vector<double>{0.0, 1.0, 2.0, 3.0, 5.0, 7.0, 9.0}));
}

struct TRunawayWalk {
    double m_low;
    double m_high;
    double m_step;
    bool m_logarithmic;
};

class AxisTickWalkBounds : public testing::TestWithParam<TRunawayWalk> {};

TEST_P(AxisTickWalkBounds, EndsForAnyRangeAndStep) {
    const TRunawayWalk test = GetParam();
    TZemTickWalk walk = LinearWalk(test.m_low, test.m_high, test.m_step, 500, 1);
    walk.m_logarithmic = test.m_logarithmic;
    walk.m_minorCount = 100000000; // capped by the pixel distance
    size_t visited = 0;
    detail::ZemWalkTicks(walk, [&](const TZemTickMark& mark) {
        ++visited;
        EXPECT_TRUE(std::isfinite(mark.m_value));
    });
    EXPECT_LE(visited, 2U * detail::kZemMaxTicksPerDirection + 500U);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, AxisTickWalkBounds,
    testing::Values(TRunawayWalk{-1e308, 1e308, 1.0, false},
                    TRunawayWalk{0.0, 1e300, 1e-300, false}, TRunawayWalk{-1.0, 1.0, 1e-20, false},
                    TRunawayWalk{1e300, 1.7e308, 1.0, false}, TRunawayWalk{0.0, 1e300, 1.0, true},
                    TRunawayWalk{-1e6, 1e6, kNaN, false}, TRunawayWalk{kNaN, 1.0, 1.0, false}));

// --- Labels -----------------------------------------------------------------------------------

struct TDigitsCase {
    int m_precision;
    bool m_fixed;
    double m_range;
    int m_digits;
};

class AxisLabelDigits : public testing::TestWithParam<TDigitsCase> {};

TEST_P(AxisLabelDigits, FollowThePrecisionRule) {
    const TDigitsCase test = GetParam();
    EXPECT_EQ(detail::ZemScopeLabelDigits(test.m_precision, test.m_fixed, test.m_range),
              test.m_digits);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AxisLabelDigits,
    testing::Values(TDigitsCase{3, false, 30000.0, 0}, TDigitsCase{3, false, 5.0, 2},
                    TDigitsCase{3, false, 0.5, 3}, TDigitsCase{3, false, 0.05, 4},
                    TDigitsCase{3, false, -5.0, 2}, TDigitsCase{3, false, 0.0, 1},
                    TDigitsCase{0, false, 0.05, 0}, TDigitsCase{5, true, 30000.0, 5},
                    TDigitsCase{3, false, kInf, 0}, TDigitsCase{3, false, kNaN, 0},
                    TDigitsCase{18, false, 1e-300, 318}));

TEST(AxisLabels, ScopeYLabelsFollowTheVisibleRange) {
    TScopeRig rig;
    TZemScopeYAxis* axis = rig.Scope().GetYAxis();
    axis->GetAutoScaling()->SetEnabled(false);
    const struct {
        double m_max;
        const char* m_text;
    } cases[] = {{30000.0, "1235"}, {5.0, "1234.57"}, {0.5, "1234.568"}, {0.05, "1234.5678"}};
    for (const auto& test : cases) {
        axis->SetMin(0.0);
        axis->SetMax(test.m_max);
        EXPECT_EQ(axis->FormatLabel(1234.5678), test.m_text) << test.m_max;
    }
    axis->SetFixedPrecision(true);
    axis->SetPrecision(40); // clamped to 18
    EXPECT_EQ(axis->GetPrecision(), 18);
    EXPECT_EQ(axis->FormatLabel(0.5), "0.500000000000000000");
    // A label never shows a negative zero.
    axis->SetPrecision(2);
    EXPECT_EQ(axis->FormatLabel(-1e-9), "0.00");
    axis->SetOnCustomLabel([](TZemDisplayAxis*, double value, std::string& text) {
        text = "<" + text + (value > 0 ? "+" : "-") + ">";
    });
    EXPECT_EQ(axis->FormatLabel(2.0), "<2.00+>");
}

TEST(AxisLabels, GenericAxisShowsTheValueRoundedToEven) {
    TZemDisplayXAxis axis(nullptr);
    EXPECT_EQ(axis.FormatLabel(2.5), "2");
    EXPECT_EQ(axis.FormatLabel(3.5), "4");
    EXPECT_EQ(axis.FormatLabel(-0.4), "0");
    EXPECT_EQ(axis.FormatLabel(1e12), "1000000000000");
    EXPECT_EQ(axis.GetCaption(), "X Axis");
    EXPECT_EQ(detail::ZemFormatFixed(1e308, 0).size(), 309U);
}

// --- Scope X units and captions ---------------------------------------------------------------

struct TUnitCase {
    detail::TZemXAxisDataKind m_kind;
    double m_sampleRate;
    int m_samples;
    int m_exponent;
    const char* m_caption;
};

class AxisXUnits : public testing::TestWithParam<TUnitCase> {};

TEST_P(AxisXUnits, ExponentAndCaptionFollowRateAndSamples) {
    const TUnitCase test = GetParam();
    const int exponent = detail::ZemXUnitExponent(test.m_kind, test.m_sampleRate, test.m_samples);
    EXPECT_EQ(exponent, test.m_exponent);
    EXPECT_EQ(detail::ZemXAxisCaption(test.m_kind, exponent), test.m_caption);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AxisXUnits,
    testing::Values(TUnitCase{detail::xdkFrequency, 44100.0, 1024, 3, "kHz"},
                    TUnitCase{detail::xdkFrequency, 500.0, 1024, 0, "Hz"},
                    TUnitCase{detail::xdkFrequency, 2e9, 1024, 9, "GHz"},
                    TUnitCase{detail::xdkFrequency, 0.002, 1024, 0, "Hz"}, // trunc toward zero
                    TUnitCase{detail::xdkFrequency, 2e-5, 1024, -3, "mHz"},
                    TUnitCase{detail::xdkFrequency, 5e13, 1024, 12, "Hz (E-12)"},
                    TUnitCase{detail::xdkTime, 44100.0, 1024, 3, "mSec"},
                    TUnitCase{detail::xdkTime, 44100.0, 441000, 0, "Sec"},
                    TUnitCase{detail::xdkTime, 1e6, 10, 6, "uSec"},
                    TUnitCase{detail::xdkTime, 1e9, 1000, 9, "nSec"},
                    TUnitCase{detail::xdkTime, 1.0, 1000000, -3, "Sec (E3)"},
                    TUnitCase{detail::xdkTime, kNaN, 1024, 0, "Sec"},
                    TUnitCase{detail::xdkTime, 1e300, 1, 303, "Sec (E-303)"},
                    TUnitCase{detail::xdkTime, 1e308, 1, 0, "Sec"},
                    TUnitCase{detail::xdkSamples, 44100.0, 1024, 0, "Samples"},
                    TUnitCase{detail::xdkIntensity, 44100.0, 1024, 0, "Intensity"}));

TEST(AxisXUnits, TicksModeDecidesTheKind) {
    using detail::ZemXAxisDataKind;
    EXPECT_EQ(ZemXAxisDataKind(atmAuto, true, true), detail::xdkFrequency);
    EXPECT_EQ(ZemXAxisDataKind(atmAuto, false, true), detail::xdkIntensity);
    EXPECT_EQ(ZemXAxisDataKind(atmAuto, false, false), detail::xdkSamples);
    EXPECT_EQ(ZemXAxisDataKind(atmBufferSamples, true, true), detail::xdkSamples);
    EXPECT_EQ(ZemXAxisDataKind(atmManual, true, false), detail::xdkSamples);
    EXPECT_EQ(ZemXAxisDataKind(atmTime, true, false), detail::xdkTime);
}

TEST(AxisXUnits, TimeModeShowsMillisecondsOfTheStream) {
    TScopeRig rig;
    TZemScopeXAxis* axis = rig.Scope().GetXAxis();
    axis->SetTicksMode(atmTime);
    rig.Start(0, 44100.0, 1024, false);
    rig.Send(0, std::vector<double>(1024, 1.0));
    rig.Refresh();
    EXPECT_EQ(axis->GetUnitExponent(), 3);
    EXPECT_EQ(axis->GetCaption(), "mSec");
    EXPECT_DOUBLE_EQ(axis->GetVisibleMin(), 0.0);
    EXPECT_NEAR(axis->GetVisibleMax(), 1023.0 / 44100.0 * 1000.0, 1e-9);
    // Unit ends turn sample indices into milliseconds.
    EXPECT_NEAR(axis->GetUnitMax() - axis->GetUnitMin(), 1023.0 / 44.1, 1e-9);

    axis->GetUnitScale()->SetAutoScale(false);
    axis->GetUnitScale()->SetExponent(0);
    rig.Refresh();
    EXPECT_EQ(axis->GetCaption(), "Sec");
    EXPECT_NEAR(axis->GetVisibleMax(), 1023.0 / 44100.0, 1e-12);

    axis->SetTicksMode(atmManual);
    EXPECT_EQ(axis->GetCaption(), "X Axis");
    axis->GetAxisLabel()->SetText("Time");
    EXPECT_EQ(axis->GetCaption(), "Time");
}

TEST(AxisXUnits, SampleCountFollowsTheScopeOrMaxSample) {
    TScopeRig rig;
    TZemScopeXAxis* axis = rig.Scope().GetXAxis();
    axis->SetSampleCount(0);
    EXPECT_EQ(axis->GetSampleCount(), 1024);
    axis->SetSampleCount(300);
    EXPECT_EQ(axis->GetSampleCount(), 300);
    EXPECT_DOUBLE_EQ(axis->GetDataMax(), 299.0);
    axis->GetMaxSample()->SetAutosize(false);
    axis->GetMaxSample()->SetValue(64);
    EXPECT_EQ(axis->GetSampleCount(), 64);
    EXPECT_DOUBLE_EQ(axis->GetDataMax(), 63.0);
}

// --- Y autoscaling ----------------------------------------------------------------------------

class AxisAutoScaling : public testing::Test {
  protected:
    AxisAutoScaling() : m_scaling([] {}) {
        m_scaling.GetSpaceAbove()->SetSpace(0);
        m_scaling.GetSpaceBelow()->SetSpace(0);
    }
    /// One refresh with data extremes ±`extent`: the history step, then the visible range.
    TZemRealRange Refresh(double extent) {
        m_scaling.PushHistory(-extent, extent);
        return m_scaling.ComputeRange(-extent, extent);
    }

    TZemScopeAutoScaling m_scaling;
};

TEST_F(AxisAutoScaling, OpensAtOnceAndShrinksOnlyAfterTheExtremesLeaveTheHistory) {
    EXPECT_EQ(Refresh(100.0).m_max, 100.0);
    EXPECT_EQ(Refresh(200.0).m_max, 200.0) << "growing data open the range at once";
    for (int refresh = 1; refresh < 20; ++refresh) {
        const TZemRealRange range = Refresh(50.0);
        EXPECT_EQ(range.m_min, -200.0) << refresh;
        EXPECT_EQ(range.m_max, 200.0) << refresh;
    }
    const TZemRealRange shrunk = Refresh(50.0);
    EXPECT_EQ(shrunk.m_min, -50.0);
    EXPECT_EQ(shrunk.m_max, 50.0);
    // Asking again without new data gives the same range.
    EXPECT_EQ(m_scaling.ComputeRange(-50.0, 50.0).m_max, 50.0);
}

TEST_F(AxisAutoScaling, ShrinkingWithinTheThresholdKeepsTheRange) {
    m_scaling.SetMaxHistory(0);
    Refresh(100.0);
    // Threshold 10 %: the range shrinks once the new end lies more than (range × 10 / 200)
    // inside the old one.
    EXPECT_EQ(Refresh(91.0).m_max, 100.0);
    EXPECT_EQ(Refresh(90.0).m_max, 90.0);
    m_scaling.GetSpaceAbove()->SetThreshold(0);
    EXPECT_EQ(Refresh(89.9).m_max, 89.9);
}

TEST_F(AxisAutoScaling, WithoutHistoryTheRangeFollowsEachBuffer) {
    m_scaling.SetMaxHistory(0);
    EXPECT_EQ(Refresh(200.0).m_max, 200.0);
    EXPECT_EQ(Refresh(50.0).m_max, 50.0);
    EXPECT_EQ(m_scaling.GetHistoryCount(), 0U);
}

TEST_F(AxisAutoScaling, SpacesWidenByTheirPercentageOfTheRange) {
    m_scaling.GetSpaceAbove()->SetSpace(20);
    m_scaling.GetSpaceBelow()->SetSpace(40);
    const TZemRealRange range = m_scaling.ComputeRange(0.0, 100.0);
    EXPECT_DOUBLE_EQ(range.m_max, 110.0);
    EXPECT_DOUBLE_EQ(range.m_min, -20.0);
}

TEST_F(AxisAutoScaling, HistoryLengthIsBoundedWithAClearError) {
    m_scaling.SetMaxHistory(5);
    for (int i = 0; i < 12; ++i) {
        Refresh(i);
    }
    EXPECT_EQ(m_scaling.GetHistoryCount(), 5U);
    try {
        m_scaling.SetMaxHistory(4000000000U);
        FAIL() << "no error";
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find("MaxHistory 4000000000"), std::string::npos);
    }
    EXPECT_EQ(m_scaling.GetMaxHistory(), 5U);
}

TEST(AxisAutoScalingScope, ScopeRunsTheHistoryAndStartsEmptyIt) {
    TScopeRig rig;
    TZemScopeYAxis* axis = rig.Scope().GetYAxis();
    axis->GetAutoScaling()->GetSpaceAbove()->SetSpace(0);
    axis->GetAutoScaling()->GetSpaceBelow()->SetSpace(0);
    rig.Send(0, {-200.0, 200.0});
    rig.Refresh();
    EXPECT_EQ(axis->GetVisibleMax(), 200.0);
    for (int refresh = 0; refresh < 5; ++refresh) {
        rig.Send(0, {-10.0, 10.0});
        rig.Refresh();
    }
    EXPECT_EQ(axis->GetVisibleMax(), 200.0);
    rig.Start(0, 1000.0, 2, false);
    rig.Send(0, {-10.0, 10.0});
    rig.Refresh();
    EXPECT_EQ(axis->GetVisibleMax(), 10.0);

    // All-equal data open to value ± 0.5.
    axis->GetAutoScaling()->SetMaxHistory(0);
    axis->GetAutoScaling()->GetSpaceAbove()->SetThreshold(0);
    axis->GetAutoScaling()->GetSpaceBelow()->SetThreshold(0);
    rig.Send(0, {7.0, 7.0, 7.0});
    rig.Refresh();
    EXPECT_EQ(axis->GetDataMin(), 6.5);
    EXPECT_EQ(axis->GetVisibleMin(), 6.5);
    EXPECT_EQ(axis->GetVisibleMax(), 7.5);
}

TEST(AxisAutoScalingScope, ExtremeDataDrawPromptlyWithReadableLabels) {
    TScopeRig rig;
    TZemScopeYAxis* axis = rig.Scope().GetYAxis();
    rig.Send(0, {1e308, -1e308, 1e308, -1e308});
    rig.Refresh();
    // The spaces would widen the range beyond doubles: the fixed range is shown instead.
    EXPECT_EQ(axis->GetVisibleMin(), -1000.0);
    EXPECT_EQ(axis->GetVisibleMax(), 1000.0);

    // A fixed range spanning all doubles: mapping, step and tick walk still end.
    axis->GetAutoScaling()->SetEnabled(false);
    axis->SetMin(-1.7e308);
    axis->SetMax(1.7e308);
    // Labels of 309 digits would make the autosized axis wider than the display.
    axis->GetViewSize()->SetAutoSize(false);
    axis->GetViewSize()->SetSize(60);
    rig.Refresh();
    int ticks = 0;
    axis->WalkTicks([&](const TZemTickMark& mark) {
        ++ticks;
        const std::string text = axis->FormatLabel(mark.m_value);
        EXPECT_EQ(text.find("nan"), std::string::npos) << text;
        EXPECT_EQ(text.find("inf"), std::string::npos) << text;
    });
    EXPECT_GE(ticks, 1);
    EXPECT_TRUE(std::isfinite(axis->GetMajorStep()));
}

// --- Zoom and pan -----------------------------------------------------------------------------

TEST(AxisZoom, ZoomRangesAreOrderedAndAtLeastOneTenThousandthWide) {
    TScopeRig rig;
    for (TZemDisplayAxis* axis :
         std::initializer_list<TZemDisplayAxis*>{rig.Scope().GetYAxis(), rig.Scope().GetXAxis()}) {
        double low = 0.0;
        double high = 0.0;
        auto* y = dynamic_cast<TZemScopeYAxis*>(axis);
        auto* x = dynamic_cast<TZemScopeXAxis*>(axis);
        const auto set = [&](double a, double b) {
            y != nullptr ? y->SetZoomRange(a, b) : x->SetZoomRange(a, b);
            axis->GetZoomRange(low, high);
        };
        set(5.0, 1.0);
        EXPECT_EQ(low, 1.0);
        EXPECT_EQ(high, 5.0);
        set(3.0, 3.00001);
        EXPECT_EQ(low, 3.0);
        EXPECT_DOUBLE_EQ(high, 3.0001);
        set(kNaN, 2.0); // ignored
        EXPECT_EQ(low, 3.0);
    }
}

TEST(AxisZoom, FactorZoomsAboutTheCentreAndXStaysInsideTheData) {
    TScopeRig rig;
    TZemScopeYAxis* yAxis = rig.Scope().GetYAxis();
    yAxis->GetAutoScaling()->SetEnabled(false);
    yAxis->ZoomByFactor(0.5);
    double low = 0.0;
    double high = 0.0;
    yAxis->GetZoomRange(low, high);
    EXPECT_EQ(low, -500.0);
    EXPECT_EQ(high, 500.0);

    rig.Send(0, std::vector<double>(1024, 1.0));
    rig.Refresh();
    rig.Scope().ZoomTo(TZemRealRange{-1.0, 1.0}, TZemRealRange{-100.0, 500.0});
    EXPECT_EQ(rig.Scope().GetXAxis()->GetVisibleMin(), 0.0);
    EXPECT_EQ(rig.Scope().GetXAxis()->GetVisibleMax(), 500.0);
    EXPECT_EQ(rig.Scope().GetXAxis()->GetFirstVisibleSample(), 0);
    EXPECT_EQ(rig.Scope().GetXAxis()->GetLastVisibleSample(), 500); // rnd(1024 × 500 ÷ 1023)
}

TEST(AxisZoom, DraggingTheXAxisPansTheZoomedWindowWithinTheData) {
    TScopeRig rig;
    rig.Send(0, std::vector<double>(1024, 1.0));
    rig.Refresh();
    std::vector<TZemRealRanges> events;
    rig.Scope().SetOnZoomChanged(
        [&events](TZemDataDisplay*, TZemZoomOperation operation, const TZemRealRanges& ranges) {
            if (operation == zoZoom) {
                events.push_back(ranges);
            }
        });
    TZemScopeXAxis* axis = rig.Scope().GetXAxis();
    // Not zoomed: a drag does nothing.
    const TZemRect rect = axis->GetRect();
    const int y = rect.m_top + 8;
    const int x = rect.m_left + rect.Width() / 2;
    axis->MouseDown(mbLeft, ssLeft, true, x, y);
    axis->MouseMove(ssLeft, x - 40, y);
    axis->MouseUp(mbLeft, 0, true, x - 40, y);
    EXPECT_TRUE(events.empty());

    rig.Scope().ZoomTo(TZemRealRange{-1.0, 1.0}, TZemRealRange{100.0, 300.0});
    events.clear();
    const double length = axis->GetAxisLength();
    axis->MouseDown(mbLeft, ssLeft, true, x, y);
    axis->MouseMove(ssLeft, x - 40, y); // content follows the pointer: the window moves right
    ASSERT_EQ(events.size(), 1U);
    EXPECT_NEAR(axis->GetVisibleMin(), 100.0 + 200.0 * 40.0 / length, 1e-9);
    EXPECT_NEAR(events.back().m_min.m_x, axis->GetVisibleMin(), 1e-9);
    axis->MouseMove(ssLeft, x - 4000, y); // far beyond the data: clamped, width kept
    EXPECT_DOUBLE_EQ(axis->GetVisibleMax(), 1023.0);
    EXPECT_NEAR(axis->GetVisibleMin(), 823.0, 1e-9);
    axis->MouseUp(mbLeft, 0, true, x - 4000, y);
    axis->MouseMove(0, x, y);
    EXPECT_EQ(events.size(), 2U) << "no pan after the release";
}

// --- Form-file range properties
// -------------------------------------------------------------------

TEST(AxisForm, RangePropertiesReadAndOnlyYMinMaxIsWritten) {
    InitializeOnce();
    auto scope = std::make_unique<TZemScope>(nullptr);
    TVokFormReader("axes.form")
        .ReadInto(R"(object Scope1: TZemScope
  YAxis.MinMax = (0 500000.5)
  YAxis.AutoScale = False
  XAxis.MinMax = (-3 7.5)
  XAxis.MinMaxScale = (2 10.5)
  XAxis.AutoScale = False
end
)",
                  *scope);
    EXPECT_EQ(scope->GetYAxis()->GetMin(), 0.0);
    EXPECT_EQ(scope->GetYAxis()->GetMax(), 500000.5);
    EXPECT_FALSE(scope->GetYAxis()->GetAutoScaling()->GetEnabled());
    TZemScopeXAxis* xAxis = scope->GetXAxis();
    EXPECT_EQ(xAxis->GetMin()->GetTick()->GetValue(), -3.0);
    EXPECT_EQ(xAxis->GetMax()->GetTick()->GetValue(), 7.5);
    EXPECT_EQ(xAxis->GetMin()->GetValue(), 2.0);
    EXPECT_EQ(xAxis->GetMax()->GetValue(), 10.5);
    EXPECT_FALSE(xAxis->GetMin()->GetAutoScale());
    EXPECT_FALSE(xAxis->GetMax()->GetAutoScale());

    const std::string written = TVokFormWriter().Write(*scope);
    EXPECT_NE(written.find("YAxis.MinMax = ("), std::string::npos) << written;
    EXPECT_EQ(written.find("XAxis.MinMax"), std::string::npos) << written;
    // The read-only compatibility names are not written; the published ones are.
    EXPECT_EQ(written.find("YAxis.AutoScale ="), std::string::npos) << written;
    EXPECT_EQ(written.find("XAxis.AutoScale ="), std::string::npos) << written;
    EXPECT_NE(written.find("YAxis.AutoScaling.Enabled = False"), std::string::npos) << written;
    auto again = std::make_unique<TZemScope>(nullptr);
    TVokFormReader("again.form").ReadInto(written, *again);
    EXPECT_EQ(again->GetYAxis()->GetMax(), 500000.5);
    EXPECT_EQ(TVokFormWriter().Write(*again), written);
}

TEST(AxisForm, BadRangeValuesGiveAnErrorNamingTheProperty) {
    InitializeOnce();
    for (const char* value : {"(0 'high')", "(1)", "(1 2 3)", "5"}) {
        auto scope = std::make_unique<TZemScope>(nullptr);
        const std::string text =
            std::string("object Scope1: TZemScope\n  YAxis.MinMax = ") + value + "\nend\n";
        try {
            TVokFormReader("bad.form").ReadInto(text, *scope);
            ADD_FAILURE() << value << " was accepted";
        } catch (const EVokFormError& error) {
            EXPECT_NE(std::string(error.what()).find("bad.form:2:"), std::string::npos)
                << error.what();
        }
        EXPECT_EQ(scope->GetYAxis()->GetMin(), -1000.0) << value << " changed the range";
    }
}
