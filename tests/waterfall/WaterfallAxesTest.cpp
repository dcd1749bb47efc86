// The waterfall's axes and items: frequency units and ends, captions and tick ranges by mode,
// the history length, the zoom-window rules of both axes and the visible spectra and bins they
// give, the orientation of the bin axis, the toolbar's buttons, the default colours of marker
// groups and a description with marker groups written and read back.
#include "WaterfallTestSupport.h"

#include "pins/VokFormReader.h"
#include "pins/VokFormWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace waterfalltest;

namespace {

class WaterfallAxes : public testing::Test {
  protected:
    TZemWaterfall& Waterfall() { return m_rig.Waterfall(); }
    TZemWaterfallXAxis& X() { return *Waterfall().GetXAxis(); }
    TZemWaterfallYAxis& Y() { return *Waterfall().GetYAxis(); }
    /// Zooms the display to the history window `x` and the bin window `y` (tick units).
    void ZoomTo(TZemRealRange x, TZemRealRange y = {0.0, 500.0}) { Waterfall().ZoomTo(y, x); }

    TWaterfallRig m_rig;
};

/// The toolbar and the marker groups share the axes' waterfall.
using WaterfallItems = WaterfallAxes;

// ---- frequency unit and end ---------------------------------------------------------------------

struct TFrequencyCase {
    double m_rate;
    const char* m_caption;
    double m_end;
};

class WaterfallAxesFrequency : public testing::TestWithParam<TFrequencyCase> {};

TEST_P(WaterfallAxesFrequency, UnitAndEndFollowTheSampleRate) {
    int exponent = 0;
    EXPECT_DOUBLE_EQ(detail::ZemWaterfallFrequencyEnd(GetParam().m_rate, exponent),
                     GetParam().m_end);
    EXPECT_EQ(detail::ZemWaterfallFrequencyCaption(exponent), GetParam().m_caption);
}

INSTANTIATE_TEST_SUITE_P(
    WaterfallAxes, WaterfallAxesFrequency,
    testing::Values(TFrequencyCase{44100.0, "kHz", 22.05}, TFrequencyCase{0.0, "kHz", 5.0},
                    TFrequencyCase{10000.0, "kHz", 5.0}, TFrequencyCase{500.0, "Hz", 250.0},
                    TFrequencyCase{0.001, "mHz", 0.5}, TFrequencyCase{2.0e6, "Mhz", 1.0},
                    TFrequencyCase{1.0e9, "Hz (E-9)", 0.5}));

TEST_F(WaterfallAxes, ASpectrumStartLabelsTheBinAxisInFrequency) {
    m_rig.StartSpectrum(44100.0);
    m_rig.Paint();
    EXPECT_TRUE(Y().IsFrequencyMode());
    EXPECT_EQ(Y().GetCaption(), "kHz");
    EXPECT_DOUBLE_EQ(Y().GetTickMin(), 0.0);
    EXPECT_DOUBLE_EQ(Y().GetTickMax(), 22.05);
    EXPECT_EQ(Y().FormatLabel(10.0), "10.0"); // three digits over a span of 22.05
    // The data range stays in bins.
    EXPECT_DOUBLE_EQ(Y().GetDataMax(), 500.0);
}

// ---- captions and tick ranges -------------------------------------------------------------------

struct TModeCase {
    TZemDisplayAxisTicksMode m_mode;
    bool m_designing;
    const char* m_caption;
    double m_tickMin;
    double m_tickMax;
};

class WaterfallAxesMode : public WaterfallAxes, public testing::WithParamInterface<TModeCase> {};

TEST_P(WaterfallAxesMode, CaptionAndTickRangeFollowTheMode) {
    Y().SetBinCount(128);
    Y().SetMinTick(-5.0);
    Y().SetMaxTick(7.5);
    Y().SetTicksMode(GetParam().m_mode);
    Waterfall().SetDesigning(GetParam().m_designing);
    EXPECT_EQ(Y().GetCaption(), GetParam().m_caption);
    EXPECT_DOUBLE_EQ(Y().GetTickMin(), GetParam().m_tickMin);
    EXPECT_DOUBLE_EQ(Y().GetTickMax(), GetParam().m_tickMax);
    EXPECT_DOUBLE_EQ(Y().GetDataMax(), 128.0);
    Y().GetAxisLabel()->SetText("Bins");
    EXPECT_EQ(Y().GetCaption(), "Bins");
}

INSTANTIATE_TEST_SUITE_P(WaterfallAxes, WaterfallAxesMode,
                         testing::Values(TModeCase{atmAuto, true, "Y Axis", 0.0, 128.0},
                                         TModeCase{atmAuto, false, "Samples", 0.0, 128.0},
                                         TModeCase{atmIntensity, false, "Intensity", 0.0, 128.0},
                                         TModeCase{atmFrequency, true, "kHz", 0.0, 5.0},
                                         TModeCase{atmManual, false, "Samples", -5.0, 7.5},
                                         TModeCase{atmBufferSamples, true, "Samples", 0.0, 128.0}));

TEST_F(WaterfallAxes, TheHistoryLengthSetsTheDataAndTickRanges) {
    EXPECT_EQ(X().GetSamples(), 512);
    X().SetSamples(0);
    EXPECT_EQ(X().GetSamples(), 1024);
    EXPECT_THROW(X().SetSamples(-1), std::invalid_argument);
    X().SetSamples(300);
    EXPECT_DOUBLE_EQ(X().GetDataMax(), 300.0);
    EXPECT_DOUBLE_EQ(X().GetTickMax(), 300.0);
    X().GetMaxTick()->SetAutoScale(false);
    X().GetMinTick()->SetAutoScale(false);
    X().GetMinTick()->SetValue(-50.0);
    EXPECT_DOUBLE_EQ(X().GetTickMin(), -50.0);
    EXPECT_DOUBLE_EQ(X().GetTickMax(), 1024.0);
    EXPECT_EQ(X().GetLastVisibleSample(), 300);
}

TEST_F(WaterfallAxes, TheOldestSpectrumSetsTheBinCount) {
    EXPECT_EQ(Y().GetBinCount(), TZemWaterfallYAxis::kInitialBinCount);
    m_rig.Send(Spectrum(64, [](int bin) { return bin; }));
    m_rig.Paint();
    EXPECT_EQ(Y().GetBinCount(), 64);
    EXPECT_DOUBLE_EQ(Y().GetTickMax(), 64.0);
    EXPECT_EQ(Y().GetEndVisibleBin(), 64);
    Y().SetBinCount(0);
    EXPECT_EQ(Y().GetBinCount(), 1);
}

// ---- zoom windows -------------------------------------------------------------------------------

struct TWindowCase {
    double m_min;
    double m_max;
    double m_start;
    double m_end;
};

class WaterfallAxesHistoryWindow : public WaterfallAxes,
                                   public testing::WithParamInterface<TWindowCase> {};

// Samples 1024, ticks 0 … 1024: whole ends, halves to even, at least 2 steps, clamped at the top.
TEST_P(WaterfallAxesHistoryWindow, EndsAreWholeAndAtLeastTwoStepsApart) {
    X().SetSamples(1024);
    X().ZoomToWindow(GetParam().m_min, GetParam().m_max);
    EXPECT_EQ(X().GetZoomMin(), GetParam().m_start);
    EXPECT_EQ(X().GetZoomMax(), GetParam().m_end);
}

INSTANTIATE_TEST_SUITE_P(WaterfallAxes, WaterfallAxesHistoryWindow,
                         testing::Values(TWindowCase{10.0, 20.0, 10, 20},
                                         TWindowCase{20.0, 10.0, 10, 20},
                                         TWindowCase{2.5, 3.5, 2, 4},
                                         TWindowCase{10.4, 10.6, 10, 12},
                                         TWindowCase{1023.6, 1024.2, 1022, 1024}));

class WaterfallAxesBinWindow : public WaterfallAxes,
                               public testing::WithParamInterface<TWindowCase> {};

// 250 bins over ticks 0 … 500 (a bin is 2 ticks): at least two bins, clamped at the top.
TEST_P(WaterfallAxesBinWindow, AWindowOfOneBinOrLessGrowsToTwoBins) {
    Y().SetBinCount(250);
    Y().SetTicksMode(atmManual);
    Y().ZoomToWindow(GetParam().m_min, GetParam().m_max);
    double start = 0.0;
    double end = 0.0;
    Y().GetZoomRange(start, end);
    EXPECT_DOUBLE_EQ(start, GetParam().m_start);
    EXPECT_DOUBLE_EQ(end, GetParam().m_end);
}

INSTANTIATE_TEST_SUITE_P(WaterfallAxes, WaterfallAxesBinWindow,
                         testing::Values(TWindowCase{100.0, 300.0, 100.0, 300.0},
                                         TWindowCase{10.0, 11.5, 10.0, 14.0},
                                         TWindowCase{7.0, 7.0, 7.0, 11.0},
                                         TWindowCase{12.0, 14.5, 12.0, 14.5},
                                         TWindowCase{499.0, 499.5, 496.0, 500.0}));

struct TCentreCase {
    int m_start;
    int m_end;
    double m_factor;
    int m_newStart;
    int m_newEnd;
};

class WaterfallAxesCentreZoom : public WaterfallAxes,
                                public testing::WithParamInterface<TCentreCase> {};

TEST_P(WaterfallAxesCentreZoom, TheHistoryWindowMovesByWholeHalves) {
    X().SetSamples(1024);
    ZoomTo({double(GetParam().m_start), double(GetParam().m_end)});
    X().ZoomWindowBy(GetParam().m_factor);
    EXPECT_EQ(X().GetZoomMin(), GetParam().m_newStart);
    EXPECT_EQ(X().GetZoomMax(), GetParam().m_newEnd);
}

INSTANTIATE_TEST_SUITE_P(
    WaterfallAxes, WaterfallAxesCentreZoom,
    testing::Values(TCentreCase{0, 1024, 0.5, 256, 768},
                    // d = −3, half −1.5: 1.5 → 2 and 4.5 → 4 (halves to even).
                    TCentreCase{0, 6, 0.5, 2, 4},
                    // Two steps wide: unchanged when zooming in, grows when zooming out.
                    TCentreCase{10, 12, 0.5, 10, 12}, TCentreCase{10, 12, 2.0, 9, 13},
                    // d rounds to 0: half becomes 1.
                    TCentreCase{10, 13, 0.9, 9, 14}));

TEST_F(WaterfallAxes, CentreZoomStartsFromTheVisibleRangeWhenNotZoomed) {
    X().ZoomWindowBy(0.5);
    EXPECT_EQ(X().GetZoomMin(), 128);
    EXPECT_EQ(X().GetZoomMax(), 384);
    Y().ZoomWindowBy(0.5);
    double start = 0.0;
    double end = 0.0;
    Y().GetZoomRange(start, end);
    EXPECT_DOUBLE_EQ(start, 125.0);
    EXPECT_DOUBLE_EQ(end, 375.0);
}

TEST_F(WaterfallAxes, TheWindowsGiveTheVisibleSpectraAndBins) {
    X().SetSamples(1024);
    X().GetMaxTick()->SetAutoScale(false);
    X().GetMaxTick()->SetValue(2048.0);
    EXPECT_EQ(X().GetFirstVisibleSample(), 0);
    EXPECT_EQ(X().GetLastVisibleSample(), 1024);
    ZoomTo({513.0, 1535.0}, {100.4, 200.6});
    // (513 ÷ 2048) × 1024 = 256.5 → 256; 767.5 → 768.
    EXPECT_EQ(X().GetFirstVisibleSample(), 256);
    EXPECT_EQ(X().GetLastVisibleSample(), 768);
    EXPECT_DOUBLE_EQ(X().GetTickVisibleMin(), 512.0);
    EXPECT_DOUBLE_EQ(X().GetTickVisibleMax(), 1536.0);
    EXPECT_EQ(Y().GetFirstVisibleBin(), 100);
    EXPECT_EQ(Y().GetEndVisibleBin(), 201);
    EXPECT_DOUBLE_EQ(Y().GetTickVisibleMax(), 201.0);
    // Windows beyond the data show the whole history and all bins.
    ZoomTo({-300.0, 5000.0}, {-10.0, 900.0});
    EXPECT_EQ(X().GetFirstVisibleSample(), 0);
    EXPECT_EQ(X().GetLastVisibleSample(), 1024);
    EXPECT_EQ(Y().GetFirstVisibleBin(), 0);
    EXPECT_EQ(Y().GetEndVisibleBin(), 500);
    Waterfall().Unzoom();
    EXPECT_EQ(X().GetFirstVisibleSample(), 0);
    EXPECT_EQ(Y().GetEndVisibleBin(), 500);
}

// Four spectra across a wide axis: the automatic step would be a fraction, the history axis
// draws one tick per whole spectrum.
TEST_F(WaterfallAxes, HistoryTicksFallOnWholeSpectra) {
    X().SetSamples(4);
    const QImage image = m_rig.Paint();
    std::vector<int> ticks;
    X().ForEachMajorTick([&ticks](int pixel, bool) { ticks.push_back(pixel); });
    ASSERT_EQ(ticks.size(), 5u);
    const int row = X().GetRect().m_top + 8;
    const TZemRect data = Waterfall().GetDataView()->GetRect();
    std::vector<int> inked;
    for (int x = data.m_left; x < data.m_right; ++x) {
        if (PixelAt(image, x, row) == 0xFFFFFF) {
            inked.push_back(x);
        }
    }
    std::sort(ticks.begin(), ticks.end());
    EXPECT_EQ(inked, ticks);
    EXPECT_EQ(X().FormatLabel(2.0), "2");
}

TEST_F(WaterfallAxes, AVerticalWaterfallRunsTheBinsFromLeftToRight) {
    m_rig.Paint();
    EXPECT_LT(Y().TickValueToPixel(500.0), Y().TickValueToPixel(0.0)); // bin 0 at the bottom
    Waterfall().SetVertical(true);
    m_rig.Paint();
    EXPECT_GT(Y().TickValueToPixel(500.0), Y().TickValueToPixel(0.0));
    Y().SetReversed(true);
    EXPECT_LT(Y().TickValueToPixel(500.0), Y().TickValueToPixel(0.0));
}

// ---- toolbar ------------------------------------------------------------------------------------

TEST_F(WaterfallItems, ToolBarButtonsKeepTheirOrderAndEnabledRules) {
    TZemDisplayToolBar& toolBar = *Waterfall().GetToolBar();
    std::vector<int> glyphs;
    for (const TZemDisplayToolBarButton& button : toolBar.GetButtons()) {
        glyphs.push_back(button.m_glyph);
    }
    EXPECT_EQ(glyphs, (std::vector<int>{0, 1, 7, 5, 6, 8, 2, 3, 4, 9, 10}));
    const auto enabled = [&toolBar](int index) {
        toolBar.UpdateButtons();
        return toolBar.GetButtons()[static_cast<size_t>(index)].m_enabled;
    };
    EXPECT_FALSE(enabled(TZemScopeToolBar::kWrenchButton));
    Waterfall().GetMarkerGroups()->Add();
    EXPECT_TRUE(enabled(TZemScopeToolBar::kWrenchButton));

    EXPECT_FALSE(enabled(TZemScopeToolBar::kZoomOutButton));
    EXPECT_FALSE(enabled(TZemScopeToolBar::kZoomResetButton));
    EXPECT_FALSE(enabled(TZemScopeToolBar::kZoomBackButton));
    // Zoomed, but both windows cover their axes.
    ZoomTo({0.0, 512.0}, {0.0, 500.0});
    EXPECT_FALSE(enabled(TZemScopeToolBar::kZoomOutButton));
    EXPECT_TRUE(enabled(TZemScopeToolBar::kZoomResetButton));
    EXPECT_TRUE(enabled(TZemScopeToolBar::kZoomBackButton));
    ZoomTo({0.0, 512.0}, {0.0, 250.0});
    EXPECT_TRUE(enabled(TZemScopeToolBar::kZoomOutButton));
    ZoomTo({10.0, 512.0}, {0.0, 500.0});
    EXPECT_TRUE(enabled(TZemScopeToolBar::kZoomOutButton));
    EXPECT_FALSE(enabled(TZemScopeToolBar::kZoomForwardButton));
    Waterfall().ZoomUndo();
    EXPECT_TRUE(enabled(TZemScopeToolBar::kZoomForwardButton));
    Waterfall().Unzoom();
    EXPECT_FALSE(enabled(TZemScopeToolBar::kZoomOutButton));
}

// ---- marker groups ------------------------------------------------------------------------------

TEST_F(WaterfallItems, NewMarkerGroupsTakeTheLeastUsedColour) {
    TZemWaterfallMarkerGroups& groups = *Waterfall().GetMarkerGroups();
    const auto add = [&groups] { return static_cast<TZemWaterfallMarkerGroup*>(groups.Add()); };
    // The new group counts too, with the white pen every group starts with.
    EXPECT_EQ(add()->GetPen()->GetColor(), 0xC0C0C0u);
    EXPECT_EQ(add()->GetPen()->GetColor(), 0x00FF00u);
    TZemWaterfallMarkerGroup* third = add();
    EXPECT_EQ(third->GetPen()->GetColor(), 0xFF0000u);
    EXPECT_EQ(third->GetBrush()->GetColor(), 0xFF0000u);
    groups.GetGroup(0)->GetPen()->SetColor(0x00FF00);
    EXPECT_EQ(add()->GetPen()->GetColor(), 0xC0C0C0u);
}

const char* const kDescription = R"(object ZemWaterfall1: TZemWaterfall
  XAxis.Samples = 1024
  XAxis.MaxTick.AutoScale = False
  YAxis.TicksMode = atmManual
  YAxis.MinMax = (0 500.0)
  Legend.MarkerGroups.Caption.Font.Height = -15
  MarkerGroups = <
    item
      Name = 'Peaks'
      Pen.Color = clRed
      Markers = <
        item
          Name = 'First'
          Position.X = 7
          Position.Y = 120
        end
        item
          Position.Y = 3
        end>
    end
    item
      Markers = <>
    end>
  Highlighting.Markers.HiglightFromLegend = False
  Highlighting.MouseHitPoint.PointLabel.Text = '%Z'
end
)";

TEST_F(WaterfallItems, MarkerGroupsAndAxesSurviveWritingAndReadingBack) {
    const auto read = [](const std::string& text) {
        auto waterfall = std::make_unique<TZemWaterfall>(nullptr);
        TVokFormReader("waterfall.form").ReadInto(text, *waterfall);
        return waterfall;
    };
    std::unique_ptr<TZemWaterfall> first = read(kDescription);
    EXPECT_EQ(first->GetXAxis()->GetSamples(), 1024);
    EXPECT_FALSE(first->GetXAxis()->GetMaxTick()->GetAutoScale());
    EXPECT_EQ(first->GetYAxis()->GetTicksMode(), atmManual);
    EXPECT_EQ(first->GetLegend()->GetMarkerGroups()->GetCaption()->GetFont()->GetHeight(), -15);
    TZemWaterfallMarkerGroup* peaks = first->GetMarkerGroups()->GetGroup(0);
    EXPECT_EQ(peaks->GetPen()->GetColor(), 0x0000FFu);
    ASSERT_EQ(peaks->GetMarkers()->GetCount(), 2);
    EXPECT_EQ(peaks->GetMarkers()->GetMarker(0)->GetPosition()->GetX(), 7);
    EXPECT_EQ(peaks->GetMarkers()->GetMarker(0)->GetPosition()->GetY(), 120);
    EXPECT_FALSE(first->GetHighlighting()->GetMarkers()->GetHiglightFromLegend());

    const std::string written = TVokFormWriter().Write(*first);
    for (const char* expected :
         {"YAxis.TicksMode = atmManual", "YAxis.MinMax = (", "Name = 'First'", "Position.X = 7",
          "Position.Y = 3", "Markers = <>"}) {
        EXPECT_NE(written.find(expected), std::string::npos) << expected << " in\n" << written;
    }
    for (const char* absent : {"MinTick", "MaxTick =", "_MarkerGroups"}) {
        EXPECT_EQ(written.find(absent), std::string::npos) << absent << " in\n" << written;
    }
    std::unique_ptr<TZemWaterfall> again = read(written);
    EXPECT_EQ(TVokFormWriter().Write(*again), written);
    EXPECT_DOUBLE_EQ(again->GetYAxis()->GetMaxTick(), 500.0);
}

// A fresh waterfall writes its bin axis mode and range although they hold their defaults.
TEST_F(WaterfallAxes, TheBinAxisModeAndRangeAreAlwaysWritten) {
    const std::string written = TVokFormWriter().Write(Waterfall());
    EXPECT_NE(written.find("YAxis.TicksMode = atmAuto"), std::string::npos) << written;
    EXPECT_NE(written.find("YAxis.MinMax = (0"), std::string::npos) << written;
}

} // namespace
