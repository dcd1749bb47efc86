// The level view: its colour functions (grey, colour stops, rainbow; single pixels and the
// batch the image fill uses), the default colours of new stops, its settings and their
// notifications, label precision, the preferred width, and, hosted in a real display, the bar,
// the track line and when pointer moves repaint it.
#include "tests/display/ScopeTestSupport.h"

#include "display/ZemFonts.h"
#include "waterfall/ZemLevelDisplay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

using namespace scopetest;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

uint32_t Rgb(int red, int green, int blue) {
    return static_cast<uint32_t>(red << 16 | green << 8 | blue);
}
/// 0x00RRGGBB as a TColor (0x00BBGGRR), and back: the same exchange.
uint32_t Swap(uint32_t color) {
    return (color & 0xFF) << 16 | (color & 0xFF00) | (color >> 16 & 0xFF);
}

/// A level view whose colour function is overridden: the batch must not bypass it.
class TOwnRainbowView : public TZemDisplayLevelView {
  public:
    using TZemDisplayLevelView::TZemDisplayLevelView;
    TVokColor RainbowColor(double, double) const override { return 0x123456; }
};

/// A level view that counts its repaint requests.
class TCountingView : public TZemDisplayLevelView {
  public:
    using TZemDisplayLevelView::TZemDisplayLevelView;
    void Invalidate() override {
        ++m_repaints;
        TZemDisplayLevelView::Invalidate();
    }
    int m_repaints = 0;
};

/// A free-standing level view over the levels 0 … 1000 whose host counts re-colouring requests.
class LevelDisplayTest : public testing::Test {
  protected:
    TZemLevelHost Host() {
        TZemLevelHost host;
        host.m_getMin = [this] { return m_min; };
        host.m_getMax = [this] { return m_max; };
        host.m_valueAt = [this](int, int) { return m_value; };
        host.m_colorsChanged = [this] { ++m_recolours; };
        return host;
    }
    void SetStops(TZemBasicLevelDisplayLevelView& view, const std::vector<TVokColor>& colors) {
        view.GetColors()->Clear();
        for (const TVokColor color : colors) {
            static_cast<TZemLevelDisplayColor*>(view.GetColors()->Add())->SetColor(color);
        }
    }
    /// Colours as 0x00RRGGBB.
    uint32_t Colour(double range, double v) {
        return Swap(static_cast<uint32_t>(m_view.ColorOf(range, v)));
    }

    double m_min = 0.0;
    double m_max = 1000.0;
    double m_value = 0.0;
    int m_recolours = 0;
    TZemDisplayLevelView m_view{nullptr, Host()};
};

// ---- colours -----------------------------------------------------------------------------------

struct TRainbowCase {
    double m_t;
    uint32_t m_rgb;
};

class LevelDisplayRainbowTest : public LevelDisplayTest,
                                public testing::WithParamInterface<TRainbowCase> {};

TEST_P(LevelDisplayRainbowTest, ColourOfLevel) {
    const TRainbowCase& c = GetParam();
    EXPECT_EQ(Colour(2.0, c.m_t * 2.0), c.m_rgb) << "t = " << c.m_t;
    EXPECT_EQ(m_view.PixelColor(2.0, c.m_t * 2.0), c.m_rgb);
}

INSTANTIATE_TEST_SUITE_P(
    LevelDisplayBands, LevelDisplayRainbowTest,
    testing::Values(TRainbowCase{0.0, Rgb(0, 0, 0)}, TRainbowCase{0.5, Rgb(0, 255, 63)},
                    TRainbowCase{1.0, Rgb(255, 0, 128)}, TRainbowCase{100.0 / 1408, Rgb(0, 0, 100)},
                    TRainbowCase{300.0 / 1408, Rgb(0, 44, 255)},
                    TRainbowCase{900.0 / 1408, Rgb(132, 255, 0)},
                    TRainbowCase{1100.0 / 1408, Rgb(255, 179, 0)},
                    // Capped above, wrapping below.
                    TRainbowCase{3.0, Rgb(255, 0, 128)}, TRainbowCase{-1.0 / 1408, Rgb(0, 0, 255)},
                    TRainbowCase{kNaN, Rgb(0, 0, 0)}));

TEST_F(LevelDisplayTest, GreyRoundsHalvesToEvenAndWraps) {
    m_view.SetGrayScale(true);
    EXPECT_EQ(Colour(1.0, 0.5), Rgb(128, 128, 128));
    EXPECT_EQ(Colour(255.0, 256.0), Rgb(0, 0, 0));
    EXPECT_EQ(Colour(255.0, -1.0), Rgb(255, 255, 255));
    EXPECT_EQ(m_recolours, 1);
}

TEST_F(LevelDisplayTest, StopsSpanTheRangeEndToEnd) {
    SetStops(m_view, {0x0000FF, 0xFF0000, 0x00FF00, 0x00FFFF});
    EXPECT_EQ(Colour(30.0, 0.0), Rgb(255, 0, 0));
    EXPECT_EQ(Colour(30.0, 10.0), Rgb(0, 0, 255));
    EXPECT_EQ(Colour(30.0, 30.0), Rgb(255, 255, 0));
    // Halfway red → blue: 255 + round(−127.5) and 0 + round(127.5), halves to even.
    EXPECT_EQ(Colour(30.0, 5.0), Rgb(127, 0, 128));
    // Beyond the range the nearer end's colour, never a read past the list.
    EXPECT_EQ(Colour(30.0, 95.0), Rgb(255, 255, 0));
    EXPECT_EQ(Colour(30.0, 1e300), Rgb(255, 255, 0));
    EXPECT_EQ(Colour(30.0, -40.0), Rgb(255, 0, 0));
    EXPECT_EQ(Colour(30.0, kNaN), Rgb(255, 0, 0));
}

TEST_F(LevelDisplayTest, BlackToWhiteStopsMatchTheGreyScale) {
    SetStops(m_view, {0x000000, 0xFFFFFF});
    TZemDisplayLevelView grey(nullptr, Host());
    grey.SetGrayScale(true);
    for (double v = 0.0; v <= 300.0; v += 0.5) {
        ASSERT_EQ(m_view.ColorOf(300.0, v), grey.ColorOf(300.0, v)) << v;
    }
}

TEST_F(LevelDisplayTest, SystemColourStopsAreResolved) {
    SetStops(m_view, {kVokClBtnFace, 0xFFFFFF});
    const auto resolved = TZemCanvas::FromQColor(TZemCanvas::ToQColor(kVokClBtnFace));
    EXPECT_EQ(m_view.ColorOf(1.0, 0.0), resolved);
}

// The batch fill against the single-pixel colour, for every scale and both transforms.
class LevelDisplayBatchTest : public LevelDisplayTest,
                              public testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(LevelDisplayBatchTest, EqualsPixelColor) {
    const auto [scale, logarithmic] = GetParam();
    m_view.SetGrayScale(scale == 1);
    if (scale == 2) {
        SetStops(m_view, {0x000000, 0x0080FF, 0xFF00FF, 0xFFFFFF});
    }
    std::vector<double> values = {-5e5,  -1000.5, -1.0,   0.0, 0.25, 1.0,  99.5, 500.0,
                                  999.0, 1000.0,  1000.5, 4e6, kNaN, kInf, -kInf};
    for (int i = 0; i < 400; ++i) {
        values.push_back(-200.0 + i * 3.7);
    }
    const double minimum = 10.0;
    const double range = logarithmic ? ZemSignedLog(1000.0) - ZemSignedLog(minimum) : 990.0;
    const int count = static_cast<int>(values.size());
    // Written backwards with stride −2 into the middle of a guarded buffer.
    std::vector<uint32_t> out(2 * values.size() + 2, 0xDEADBEEF);
    uint32_t* last = out.data() + 2 * (values.size() - 1);
    m_view.PixelColors(values.data(), count, minimum, range, logarithmic, last, -2);
    for (int i = 0; i < count; ++i) {
        const double v =
            logarithmic ? ZemSignedLog(values[i]) - ZemSignedLog(minimum) : values[i] - minimum;
        ASSERT_EQ(last[-2 * i], m_view.PixelColor(range, v)) << "value " << values[i];
        ASSERT_EQ(last[-2 * i + 1], 0xDEADBEEF);
    }
}

INSTANTIATE_TEST_SUITE_P(LevelDisplayScales, LevelDisplayBatchTest,
                         testing::Combine(testing::Values(0, 1, 2), testing::Bool()));

TEST_F(LevelDisplayTest, BatchUsesAnOverriddenColourFunction) {
    TOwnRainbowView view(nullptr, Host());
    const double values[2] = {0.0, 500.0};
    uint32_t out[2] = {};
    view.PixelColors(values, 2, 0.0, 1000.0, false, out, 1);
    EXPECT_EQ(out[0], Swap(0x123456));
    EXPECT_EQ(out[1], Swap(0x123456));
}

// ---- settings ----------------------------------------------------------------------------------

TEST_F(LevelDisplayTest, NewStopsTakeTheLeastUsedDefaultColour) {
    std::vector<TVokColor> added;
    for (int i = 0; i < 16; ++i) {
        added.push_back(static_cast<TZemLevelDisplayColor*>(m_view.GetColors()->Add())->GetColor());
    }
    // The list names 0xFFFF00 twice; its second place is taken by then.
    const std::vector<TVokColor> expected = {
        0x000000, 0xFF0000, 0x00FF00, 0x00FFFF, 0x0000FF, 0xFFFF00, 0xF0FBFF, 0x008080,
        0xFFFFFF, 0xC0C0C0, 0x800080, 0xFF00FF, 0x808000, 0x800000, 0x000000, 0xFF0000};
    EXPECT_EQ(added, expected);

    SetStops(m_view, {0xFF0000});
    EXPECT_EQ(static_cast<TZemLevelDisplayColor*>(m_view.GetColors()->Add())->GetColor(), 0);
}

TEST_F(LevelDisplayTest, ColourChangesAskTheHostToRecolour) {
    auto* stop = static_cast<TZemLevelDisplayColor*>(m_view.GetColors()->Add());
    m_view.GetColors()->Add();
    EXPECT_EQ(m_recolours, 2);
    stop->SetColor(0x0000FF);
    stop->SetColor(0x0000FF);
    EXPECT_EQ(m_recolours, 3);
    EXPECT_EQ(Colour(1.0, 0.0), Rgb(255, 0, 0));
    m_view.GetColors()->Delete(1);
    EXPECT_EQ(m_recolours, 4);
    m_view.SetBarWidth(20);
    m_view.GetAxis()->SetMax(5);
    EXPECT_EQ(m_recolours, 4);
    EXPECT_EQ(Colour(1.0, 0.0), Rgb(0, 0, 0)) << "one stop: the rainbow";
}

TEST_F(LevelDisplayTest, PublishedValuesAndClamps) {
    TZemLevelAxis& axis = *m_view.GetAxis();
    const std::vector<std::pair<int32_t, int32_t>> precisions = {{25, 18}, {-3, 0}, {7, 7}};
    for (const auto& [written, stored] : precisions) {
        axis.SetPrecision(written);
        EXPECT_EQ(axis.GetPrecision(), stored);
    }
    m_view.SetBarWidth(-4);
    EXPECT_EQ(m_view.GetBarWidth(), 0);
    // What the window's form writes, through the published tables.
    const TVokClassInfo& info = m_view.GetClassInfo();
    auto* axisObject = std::get<TVokPersistent*>(info.GetValue(&m_view, "Axis"));
    ClassInfoOf(axisObject)->SetValue(axisObject, "Max", int64_t{400000});
    EXPECT_EQ(axis.GetMax(), 400000);
    auto* label = std::get<TVokPersistent*>(info.GetValue(&m_view, "LevelLabel"));
    EXPECT_EQ(std::get<std::string>(ClassInfoOf(label)->GetValue(label, "Text")), "Levels");
    EXPECT_TRUE(ClassInfoOf(label)->GetProperty("Text").IsDefault(label));
    EXPECT_TRUE(m_view.GetLevelLabel()->GetFont()->GetStyle().Contains(fsBold));
    EXPECT_TRUE(TZemLevelDisplayColor::ClassInfo().GetProperty("Color").IsAlwaysStored());
    EXPECT_EQ(info.GetProperty("_Axis").GetKind(), pkEvent);
    EXPECT_EQ(m_view.GetTrackedValue(), -10000000.0);
}

struct TFormatCase {
    double m_max;
    int32_t m_precision;
    bool m_fixed;
    double m_value;
    const char* m_text;
};

class LevelDisplayFormatTest : public LevelDisplayTest,
                               public testing::WithParamInterface<TFormatCase> {};

TEST_P(LevelDisplayFormatTest, Precision) {
    const TFormatCase& c = GetParam();
    m_max = c.m_max;
    m_view.GetAxis()->SetPrecision(c.m_precision);
    m_view.GetAxis()->SetFixedPrecision(c.m_fixed);
    EXPECT_EQ(m_view.FormatLevel(c.m_value), c.m_text);
}

INSTANTIATE_TEST_SUITE_P(LevelDisplayRule, LevelDisplayFormatTest,
                         testing::Values(TFormatCase{1000.0, 3, false, 250.4, "250"},
                                         TFormatCase{1.0, 3, false, 0.25, "0.25"},
                                         TFormatCase{0.5, 3, false, 0.125, "0.125"},
                                         TFormatCase{1000.0, 2, true, 250.0, "250.00"},
                                         TFormatCase{1000.0, 0, false, -0.2, "0"}));

TEST_F(LevelDisplayTest, CustomLabelReplacesTheText) {
    m_view.GetAxis()->SetOnCustomLabel(
        [this](TZemBasicLevelDisplayLevelView* sender, double value, std::string& text) {
            EXPECT_EQ(sender, &m_view);
            text = text + " dB" + (value > 0 ? "+" : "");
        });
    EXPECT_EQ(m_view.FormatLevel(3.0), "3 dB+");
}

// ---- hosted in a display -----------------------------------------------------------------------

/// A scope hosting a counting level view over 0 … 1000; the scope's data view gives R.
class LevelDisplayViewTest : public LevelDisplayTest {
  protected:
    LevelDisplayViewTest() {
        m_hosted = new TCountingView(&m_rig.Scope(), Host());
        m_rig.Scope().GetViews().Add(m_hosted);
        m_rig.Scope().Layout();
    }
    TZemRect R() { return m_rig.Scope().GetDataView()->GetRect(); }
    int Width() const {
        int width = 0;
        int height = 0;
        m_hosted->GetPreferredSize(width, height);
        return width;
    }

    TScopeRig m_rig{1, 420, 300};
    TCountingView* m_hosted = nullptr; ///< owned by the scope
};

TEST_F(LevelDisplayViewTest, PreferredWidth) {
    const TVokFont& font = *m_hosted->GetAxis()->GetFont();
    const int labels = std::max(ZemTextWidth(font, "1000"), ZemTextWidth(font, "0")) + 9;
    const int caption = ZemTextHeight(*m_hosted->GetLevelLabel()->GetFont(), "Xg") + 2;
    EXPECT_EQ(Width(), 14 + 4 + labels + caption);
    EXPECT_EQ(m_hosted->GetTrackLineEnd(), 14 + 4 + labels - 2);
    m_hosted->GetLevelLabel()->SetVisible(false);
    EXPECT_EQ(Width(), 14 + 4 + labels);
    m_hosted->GetAxis()->SetVisible(false);
    EXPECT_EQ(Width(), 14 + 4 + 2);
    EXPECT_EQ(m_hosted->GetTrackLineEnd(), 14 + 2);
}

TEST_F(LevelDisplayViewTest, BarShowsTheScaleFromMaximumDownToMinimum) {
    m_hosted->SetBarWidth(10);
    const QImage picture = m_rig.Scope().RenderPicture();
    m_hosted->GetMinorTicks()->SetCount(4);
    m_hosted->GetAxis()->SetLogarithmic(false);
    m_rig.Scope().RenderPicture().scaled(840, 600).save("/tmp/h-level-bar2.png");
    const TZemRect r = R();
    const int h = r.m_bottom - r.m_top - 1;
    const int left = m_hosted->Left();
    ASSERT_GT(h, 100);
    for (int n = 0; n <= h; ++n) {
        const uint32_t expected = Swap(static_cast<uint32_t>(m_hosted->ColorOf(h, h - n)));
        for (const int x : {left + 2, left + 11}) {
            ASSERT_EQ(PixelAt(picture, x, r.m_top + n), expected) << "line " << n << " x " << x;
        }
        // The scale line right of the bar.
        ASSERT_EQ(PixelAt(picture, left + 12, r.m_top + n), 0xFFFFFFu) << n;
    }
    EXPECT_EQ(PixelAt(picture, left + 2, r.m_top), Rgb(255, 0, 128));
}

TEST_F(LevelDisplayViewTest, TrackLineFollowsThePointer) {
    const TZemRect r = R();
    const int h = r.m_bottom - r.m_top - 1;
    // Between the scale line and the labels, on no tick row.
    const int trackY = r.m_top + h - ZemRound(237.0 / 1000.0 * h);
    const int x = m_hosted->Left() + 14 + 5;
    m_value = 237.0;
    m_rig.Scope().HandleMouseMove(0, r.m_left + 10, r.m_top + 10);
    m_rig.Scope().RenderToImage();
    EXPECT_EQ(PixelAt(m_rig.Scope().GetImage(), x, trackY), Rgb(255, 0, 0));
    EXPECT_NE(PixelAt(m_rig.Scope().RenderPicture(), x, trackY), Rgb(255, 0, 0)) << "export";
    m_hosted->SetTrackCursor(false);
    m_rig.Scope().RenderToImage();
    EXPECT_NE(PixelAt(m_rig.Scope().GetImage(), x, trackY), Rgb(255, 0, 0));
}

TEST_F(LevelDisplayViewTest, PointerMovesRepaintOnlyWhenTheValueChanges) {
    const TZemRect r = R();
    TZemScope& scope = m_rig.Scope();
    scope.HandleMouseMove(0, 0, 0); // enters the display outside the data view
    m_hosted->m_repaints = 0;
    m_value = 1.0;
    scope.HandleMouseMove(0, r.m_left + 5, r.m_top + 5);
    scope.HandleMouseMove(0, r.m_left + 6, r.m_top + 5);
    EXPECT_EQ(m_hosted->m_repaints, 1);
    EXPECT_EQ(m_hosted->GetTrackedValue(), 1.0);
    scope.HandleMouseMove(0, 0, 0); // leaves the data view
    EXPECT_EQ(m_hosted->m_repaints, 2);
    EXPECT_EQ(m_hosted->GetLastPointer().m_x, r.m_left + 6);

    m_value = 7.0;
    m_hosted->RefreshLevelTracking(false);
    EXPECT_EQ(m_hosted->GetTrackedValue(), 7.0);
    EXPECT_EQ(m_hosted->m_repaints, 2);
    m_hosted->RefreshLevelTracking(true);
    EXPECT_EQ(m_hosted->m_repaints, 3);

    m_hosted->SetTrackCursor(false);
    m_value = 9.0;
    scope.HandleMouseMove(0, r.m_left + 8, r.m_top + 8);
    scope.HandleMouseMove(0, 0, 0);
    EXPECT_EQ(m_hosted->m_repaints, 3);
    EXPECT_EQ(m_hosted->GetTrackedValue(), 7.0);
}

} // namespace
