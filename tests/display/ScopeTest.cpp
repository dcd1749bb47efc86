// The scope: layout, the hand-over of incoming data with its history rules, the pixel rules of
// line, bar and point channels, scale information from start operations, and the zoom history.
#include "ScopeTestSupport.h"

#include "display/ZemLegend.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using namespace scopetest;

namespace {

constexpr uint32_t kRed = 0xFF0000; // channel colour 0x0000FF as 0x00RRGGBB

/// A bare scope whose data view is the whole control and whose Y mapping is 1:1: with a height
/// of 102 the Y range 0..100 maps value v to row 101 − v (the visible minimum lands on the
/// last row, the maximum on row 1), and with a width of n the X values 0..n−1 land on columns
/// 0..n−1.
struct TBareScope : TScopeRig {
    explicit TBareScope(int width, double yMin = 0.0, double yMax = 100.0, int channels = 1)
        : TScopeRig(channels, width, 102) {
        HideDecorations();
        Scope().GetYAxis()->GetAutoScaling()->SetEnabled(false);
        Scope().GetYAxis()->SetMin(yMin);
        Scope().GetYAxis()->SetMax(yMax);
    }
};

/// The bounding box of the pixels of colour `rgb`: (left, top, right, bottom), inclusive.
std::tuple<int, int, int, int> InkBox(const QImage& image, uint32_t rgb) {
    int left = image.width();
    int top = image.height();
    int right = -1;
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (PixelAt(image, x, y) == rgb) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return {left, top, right, bottom};
}

int CountPixels(const QImage& image, uint32_t rgb) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += PixelAt(image, x, y) == rgb ? 1 : 0;
        }
    }
    return count;
}

} // namespace

void scopetest::TScopeRig::HideDecorations() {
    m_scope->GetTitle()->SetVisible(false);
    m_scope->GetLegend()->SetVisible(false);
    m_scope->GetXAxis()->SetVisible(false);
    m_scope->GetYAxis()->SetVisible(false);
    m_scope->GetScopeDataView()->SetGridColor(0);
    m_scope->GetScopeDataView()->SetZeroGridColor(0);
}

// --- Layout -----------------------------------------------------------------------------------

TEST(ScopeLayout, HiddenViewsLeaveTheWholeControlToTheDataViewAndThinViewsAreNotShown) {
    TScopeRig rig(1, 300, 200);
    rig.Refresh();
    const TZemRect withAxes = rig.Scope().GetScopeDataView()->GetRect();
    EXPECT_GT(withAxes.m_left, 0);
    EXPECT_LT(withAxes.m_bottom, 200);

    rig.HideDecorations();
    rig.Refresh();
    EXPECT_EQ(rig.Scope().GetScopeDataView()->GetRect(), (TZemRect{0, 0, 300, 200}));

    // A fixed-size axis of 1 pixel takes part in the layout but is neither shown nor hit.
    TZemScopeYAxis* axis = rig.Scope().GetYAxis();
    axis->SetVisible(true);
    axis->GetViewSize()->SetAutoSize(false);
    axis->GetViewSize()->SetSize(1);
    rig.Refresh();
    EXPECT_EQ(axis->GetRect().Width(), 1);
    EXPECT_FALSE(axis->IsShown());
    EXPECT_TRUE(axis->GetHitRect().IsEmpty());
}

// --- Incoming data
// --------------------------------------------------------------------------------

TEST(ScopeHistory, SizeLimitKeepsTheNewestSamplesInArrivalOrder) {
    TScopeRig rig;
    TZemScopeChannel& channel = rig.Channel(0);
    auto displayed = [&] {
        rig.Scope().CheckNewData();
        return channel.GetDisplayY();
    };
    // No limit: every buffer replaces the previous one and X runs 0 … count − 1.
    rig.Send(0, {1, 2, 3});
    rig.Send(0, {4, 5});
    EXPECT_EQ(displayed(), (std::vector<double>{4, 5}));
    EXPECT_EQ(channel.GetDisplayX(), (std::vector<double>{0, 1}));

    rig.Scope().SetSizeLimit(4);
    rig.Send(0, {1, 2, 3, 4, 5, 6}); // longer: the last four
    EXPECT_EQ(displayed(), (std::vector<double>{3, 4, 5, 6}));
    rig.Send(0, {7}); // shorter: slides
    EXPECT_EQ(displayed(), (std::vector<double>{4, 5, 6, 7}));
    EXPECT_EQ(channel.GetDisplayX(), (std::vector<double>{0, 1, 2, 3}));

    // A lower limit cuts incoming data to its first samples.
    rig.Send(0, {8, 9, 10, 11});
    rig.Scope().SetSizeLimit(2);
    EXPECT_EQ(displayed(), (std::vector<double>{8, 9}));
}

TEST(ScopeHistory, SingleValuesCountOnWhileTheWindowSlides) {
    TScopeRig rig;
    rig.Scope().SetSizeLimit(100);
    for (int value = 0; value < 102; ++value) {
        TRef<TVokNotifyOperation> single = MakeRef<TVokSuppliedRealOperation>(value * 2.0);
        rig.Channel(0).GetInputPin()->Receive(kVokRealType, single.Get(), {});
    }
    rig.Scope().CheckNewData();
    const std::vector<double>& x = rig.Channel(0).GetDisplayX();
    const std::vector<double>& y = rig.Channel(0).GetDisplayY();
    ASSERT_EQ(x.size(), 100U);
    EXPECT_EQ(x.front(), 2.0);
    EXPECT_EQ(x.back(), 101.0);
    EXPECT_EQ(y.front(), 4.0);
    EXPECT_EQ(y.back(), 202.0);
}

TEST(ScopeHistory, HoldFreezesThePictureAndReleaseShowsTheLatestData) {
    TBareScope bare(16);
    bare.Send(0, std::vector<double>(16, 20.0));
    bare.Refresh();
    bare.Scope().SetHold(true);
    bare.Send(0, std::vector<double>(16, 60.0));
    bare.Send(0, std::vector<double>(16, 70.0));
    EXPECT_EQ(RowsOf(bare.Refresh(), 5, kRed), (std::vector<int>{81}));
    bare.Scope().SetHold(false);
    EXPECT_EQ(RowsOf(bare.Refresh(), 5, kRed), (std::vector<int>{31}));
}

// --- Pixel rules --------------------------------------------------------------------------------

TEST(ScopeChannelPixels, LineSquareWaveCoversEveryVertexWithoutGaps) {
    constexpr int kCount = 64;
    TBareScope bare(kCount);
    std::vector<double> wave(kCount);
    for (int i = 0; i < kCount; ++i) {
        wave[static_cast<size_t>(i)] = (i / 8) % 2 == 0 ? 20.0 : 80.0;
    }
    bare.Send(0, wave);
    const QImage image = bare.Refresh();
    for (int i = 0; i < kCount; ++i) {
        const int row = 101 - static_cast<int>(wave[static_cast<size_t>(i)]);
        EXPECT_EQ(PixelAt(image, i, row), kRed) << "vertex " << i;
    }
    // Each column holds one unbroken run of ink: the steps are joined.
    for (int x = 0; x < kCount; ++x) {
        const std::vector<int> rows = RowsOf(image, x, kRed);
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.back() - rows.front() + 1, static_cast<int>(rows.size())) << "column " << x;
    }
}

TEST(ScopeChannelPixels, OneSampleDrawsOnePixelOrOneBar) {
    TBareScope bare(32);
    // A fixed X range around the single sample's X of 0.
    TZemScopeXAxis* axis = bare.Scope().GetXAxis();
    axis->GetMin()->SetAutoScale(false);
    axis->GetMax()->SetAutoScale(false);
    axis->GetMin()->SetValue(-15.5);
    axis->GetMax()->SetValue(15.5);
    bare.Send(0, {50.0});
    EXPECT_EQ(CountPixels(bare.Refresh(), kRed), 1);
    bare.Channel(0).SetChannelMode(cmBar);
    bare.Channel(0).SetWidth(3);
    const auto [left, top, right, bottom] = InkBox(bare.Refresh(), kRed);
    EXPECT_EQ(right - left + 1, 3);
    EXPECT_EQ(top, 51);
}

struct TBarCase {
    TZemChannelShadeMode m_shade;
    bool m_reversed;
    double m_value;
    int m_top;    ///< first inked row
    int m_bottom; ///< last inked row
};

class ScopeBars : public testing::TestWithParam<TBarCase> {};

TEST_P(ScopeBars, ReachTheirEdgeAndAreWidthWide) {
    const TBarCase& test = GetParam();
    TBareScope bare(21, -50.0, 50.0);
    bare.Scope().GetYAxis()->SetReversed(test.m_reversed);
    TZemScopeChannel& channel = bare.Channel(0);
    channel.SetChannelMode(cmBar);
    channel.SetShadeMode(test.m_shade);
    channel.SetWidth(5);
    // One bar at X 10 of 0..20; the others are chosen so that their bars stay off the rows
    // and columns under test.
    const double other = test.m_shade == csmTop ? 100.0 : test.m_shade == csmBottom ? -100.0 : 0.0;
    std::vector<double> series(21, other);
    series[10] = test.m_value;
    bare.Send(0, series);
    const QImage image = bare.Refresh();
    const std::vector<int> rows = RowsOf(image, 10, kRed);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), test.m_top);
    EXPECT_EQ(rows.back(), test.m_bottom);
    // Five columns wide, starting at x − trunc(5 ÷ 2).
    int inked = 0;
    for (int x = 6; x <= 14; ++x) {
        inked += PixelAt(image, x, (test.m_top + test.m_bottom) / 2) == kRed ? 1 : 0;
    }
    EXPECT_EQ(inked, 5);
    EXPECT_EQ(PixelAt(image, 8, test.m_top), kRed);
    EXPECT_EQ(PixelAt(image, 12, test.m_top), kRed);
}

// Y −50..50 on 102 rows: value v on row 51 − v (reversed: 51 + v); the data rectangle spans rows
// 0..101.
INSTANTIATE_TEST_SUITE_P(
    ShadeModes, ScopeBars,
    testing::Values(TBarCase{csmZero, false, 20.0, 31, 51}, TBarCase{csmZero, false, -20.0, 51, 71},
                    TBarCase{csmTop, false, 20.0, 0, 31}, TBarCase{csmBottom, false, 20.0, 31, 101},
                    TBarCase{csmTop, true, 20.0, 71, 101}, TBarCase{csmBottom, true, 20.0, 0, 71}));

TEST(ScopeChannelPixels, OnSampleDrawCanSuppressSingleBars) {
    TBareScope bare(11);
    TZemScopeChannel& channel = bare.Channel(0);
    channel.SetChannelMode(cmBar);
    channel.SetOnSampleDraw([](TZemScopeChannel*, double x, double, TZemCanvas&, bool,
                               bool& defaultDraw) { defaultDraw = x != 4.0; });
    bare.Send(0, std::vector<double>(11, 30.0));
    const QImage image = bare.Refresh();
    EXPECT_EQ(PixelAt(image, 3, 71), kRed);
    EXPECT_NE(PixelAt(image, 4, 71), kRed);
    EXPECT_EQ(PixelAt(image, 5, 71), kRed);
}

class ScopePointShapes : public testing::TestWithParam<TZemScopePointsShape> {};

TEST_P(ScopePointShapes, InkStaysInsideTheSizeBox) {
    TBareScope bare(41);
    TZemScopeChannel& channel = bare.Channel(0);
    channel.SetChannelMode(cmPoint);
    channel.GetPoints()->SetVisible(true);
    channel.GetPoints()->SetShape(GetParam());
    channel.GetPoints()->SetSize(4);
    std::vector<double> one(41, -1000.0); // off the view: only the middle point shows
    one[20] = 50.0;
    bare.Send(0, one);
    const auto [left, top, right, bottom] = InkBox(bare.Refresh(), kRed);
    // Box (x − s, y − s) to (x + s + 1, y + s + 1), right and bottom exclusive.
    EXPECT_GE(left, 20 - 4);
    EXPECT_LE(right, 20 + 4);
    EXPECT_GE(top, 51 - 4);
    EXPECT_LE(bottom, 51 + 4);
    EXPECT_EQ(left + right, 40) << "centred on the sample";
}

INSTANTIATE_TEST_SUITE_P(Shapes, ScopePointShapes,
                         testing::Values(psCircle, psSquare, psDiamond, psPlus, psCross, psStar));

TEST(ScopeChannelPixels, ExtremeValuesAndWidthsAreClampedNotUndefined) {
    TBareScope bare(8);
    TZemScopeChannel& channel = bare.Channel(0);
    channel.SetWidth(0);
    EXPECT_EQ(channel.GetWidth(), 1);
    channel.SetWidth(5000);
    EXPECT_EQ(channel.GetWidth(), 2000);
    channel.SetWidth(1);
    bare.Scope().GetYAxis()->SetMin(-1.0);
    bare.Scope().GetYAxis()->SetMax(1.0); // a scale above 1
    bare.Send(0, {1e308, -1e308, 0.0, 1e308, std::nan(""), -1e308, 0.0, 1.0});
    const QImage image = bare.Refresh();
    for (int x : {2, 6}) {
        EXPECT_EQ(PixelAt(image, x, 51), kRed) << "the zero samples still land on the middle row";
    }
    const std::vector<int>& pixels = bare.Channel(0).GetPixelY();
    for (int pixel : pixels) {
        EXPECT_LE(std::abs(pixel), kZemPixelLimit);
    }
    // With autoscaling the ±1e308 data give a finite range and a picture.
    bare.Scope().GetYAxis()->GetAutoScaling()->SetEnabled(true);
    bare.Send(0, {1e308, -1e308, 1e308, -1e308});
    bare.Refresh();
    EXPECT_TRUE(std::isfinite(bare.Scope().GetVisibleYMax()));
    EXPECT_TRUE(std::isfinite(bare.Scope().GetVisibleYMin()));
}

TEST(ScopeChannelPixels, EqualVisibleXEndsAreWidenedByOneEachSide) {
    TBareScope bare(21);
    TZemScopeXAxis* axis = bare.Scope().GetXAxis();
    axis->GetMin()->SetAutoScale(false);
    axis->GetMax()->SetAutoScale(false);
    axis->GetMin()->SetValue(5.0);
    axis->GetMax()->SetValue(5.0);
    std::vector<double> series(11, 50.0);
    bare.Send(0, series);
    const QImage image = bare.Refresh();
    // Range 4..6 over 21 columns: X 5 lands on the middle column.
    EXPECT_EQ(PixelAt(image, 10, 51), kRed);
}

// --- Scale information ------------------------------------------------------------------------

TEST(ScopeScales, SpectrumStartsUseTheStreamSampleRate) {
    TScopeRig rig;
    rig.Start(0, 44100.0, 128, true);
    rig.Send(0, std::vector<double>(128, 1.0));
    rig.Refresh();
    EXPECT_TRUE(rig.Scope().HasSpectrumChannel());
    EXPECT_DOUBLE_EQ(rig.Scope().GetSampleRate(), 44100.0);
    EXPECT_DOUBLE_EQ(rig.Scope().GetXAxis()->GetVisibleMax(), 22.05);
    EXPECT_EQ(rig.Scope().GetXAxis()->GetCaption(), "kHz");
}

// --- Zoom history
// ----------------------------------------------------------------------------------

struct ZoomHistory : testing::Test {
    TScopeRig rig;
    std::vector<TZemZoomOperation> events;
    ZoomHistory() {
        rig.Send(0, std::vector<double>(1024, 10.0));
        rig.Refresh();
        rig.Scope().SetOnZoomChanged(
            [this](TZemDataDisplay*, TZemZoomOperation operation, const TZemRealRanges&) {
                events.push_back(operation);
            });
    }
    TZemDisplayZoomListItem Ranges() {
        TZemScope& scope = rig.Scope();
        return {scope.GetVisibleXMin(), scope.GetVisibleXMax(), scope.GetVisibleYMin(),
                scope.GetVisibleYMax(), scope.IsZoomed()};
    }
};

TEST_F(ZoomHistory, WheelStepsAreOneUndoStep) {
    const TZemDisplayZoomListItem before = Ranges();
    const TZemRect view = rig.Scope().GetScopeDataView()->GetRect();
    for (int step = 0; step < 10; ++step) {
        rig.Scope().ZoomAtPoint(view.m_left + 40, view.m_top + 30, 0.9, 0.9);
    }
    EXPECT_TRUE(rig.Scope().IsZoomed());
    EXPECT_LT(Ranges().m_xMax - Ranges().m_xMin, before.m_xMax - before.m_xMin);
    rig.Scope().ZoomUndo();
    const TZemDisplayZoomListItem after = Ranges();
    EXPECT_DOUBLE_EQ(after.m_xMin, before.m_xMin);
    EXPECT_DOUBLE_EQ(after.m_xMax, before.m_xMax);
    EXPECT_DOUBLE_EQ(after.m_yMin, before.m_yMin);
    EXPECT_DOUBLE_EQ(after.m_yMax, before.m_yMax);
    EXPECT_FALSE(after.m_zoomed);
    EXPECT_EQ(events.back(), zoUndo);
}

TEST_F(ZoomHistory, KeepsAHundredStatesAndUndoOnEmptyRaisesNothing) {
    rig.Scope().ZoomUndo();
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(rig.Scope().GetRedoHistory().GetCount(), 1U);

    const TZemDisplayZoomListItem original = Ranges();
    for (int zoom = 0; zoom < 101; ++zoom) {
        rig.Scope().Zoom(zoom % 2 == 0 ? 0.5 : 1.9);
    }
    EXPECT_EQ(rig.Scope().GetUndoHistory().GetCount(), 100U);
    while (!rig.Scope().GetUndoHistory().IsEmpty()) {
        rig.Scope().ZoomUndo();
    }
    EXPECT_TRUE(rig.Scope().IsZoomed()) << "the unzoomed original state was dropped";
    EXPECT_NE(Ranges().m_xMax - Ranges().m_xMin, original.m_xMax - original.m_xMin);
    rig.Scope().ZoomRedo();
    EXPECT_EQ(events.back(), zoRedo);
}

TEST(ValueFormat, ExpandsKnownLettersAndTheDefaultOneLevelDeep) {
    TScopeRig rig;
    TZemScope& scope = rig.Scope();
    const std::string x = scope.GetXAxis()->FormatLabel(5.0);
    const std::string y = scope.GetYAxis()->FormatLabel(7.0);
    EXPECT_EQ(scope.FormatValueText("", "%X : %Y", 5.0, 7.0), x + " : " + y);
    EXPECT_EQ(scope.FormatValueText("%x%%%q|%D", "[%y]", 5.0, 7.0), x + "%|[" + y + "]");
    EXPECT_EQ(scope.FormatValueText("%D", "%D%D!", 5.0, 7.0), "!");
    EXPECT_EQ(scope.FormatValueText("end%", "", 5.0, 7.0), "end");
}
