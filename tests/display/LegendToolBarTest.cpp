// The legend, title and chart toolbar of a scope, drawn onto images: legend width and the empty
// groups that take no room, hover buttons (never exported, never without ButtonsEnabled), item
// clicks, toolbar geometry, the glyph list each button state draws from, and toolbar presses.

#include "display/ZemCanvas.h"
#include "display/ZemFonts.h"
#include "display/ZemLegend.h"
#include "display/ZemScope.h"
#include "display/ZemScopeItems.h"
#include "display/ZemToolBar.h"

#include <gtest/gtest.h>

#include <QImage>

#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;

/// A scope that records property-dialog requests instead of opening the dialog.
class TRecordingScope : public TZemScope {
  public:
    TRecordingScope() : TZemScope(nullptr) {}
    void ShowProperties(int page, int selection) override { m_shown.emplace_back(page, selection); }
    std::vector<std::pair<int, int>> m_shown;
};

/// A view that takes no room and counts the presses the display passes on.
class TPressCounter : public TZemDisplayView {
  public:
    using TZemDisplayView::TZemDisplayView;
    void GetPreferredSize(int& width, int& height) const override { width = height = 0; }
    TZemViewAlignment GetAlignment() const override { return zvaTop; }
    bool TakesPart() const override { return false; }
    bool IsShown() const override { return true; }
    void MouseDown(TZemMouseButton, TZemShiftState, bool, int, int) override { ++m_presses; }
    int m_presses = 0;
};

bool IsInk(QRgb pixel) {
    return (pixel & 0xFFFFFF) != 0;
}

/// Pixels inside `rect` (clipped to the image) for which `test` holds.
template <class Test> int CountPixels(const QImage& image, const TZemRect& rect, Test test) {
    int count = 0;
    for (int y = std::max(rect.m_top, 0); y < std::min(rect.m_bottom, image.height()); ++y) {
        for (int x = std::max(rect.m_left, 0); x < std::min(rect.m_right, image.width()); ++x) {
            count += test(image.pixel(x, y)) ? 1 : 0;
        }
    }
    return count;
}

class LegendToolBarTest : public testing::Test {
  protected:
    void SetUp() override {
        m_scope.SetBounds(0, 0, kWidth, kHeight);
        m_scope.GetChannels()->GetChannel(0)->SetName("Channel0");
        m_scope.Layout();
    }

    TZemScopeLegendView* Legend() { return m_scope.GetLegend(); }
    TZemScopeToolBar* ToolBar() { return static_cast<TZemScopeToolBar*>(m_scope.GetToolBar()); }

    QImage BlackImage() const {
        QImage image(kWidth, kHeight, QImage::Format_RGB32);
        image.fill(0xFF000000);
        return image;
    }

    /// The legend alone, drawn after a fresh layout.
    QImage DrawLegend(bool exporting) {
        m_scope.Layout();
        QImage image = BlackImage();
        TZemCanvas canvas(image);
        TZemDrawArgs args;
        args.m_canvas = &canvas;
        args.m_exporting = exporting;
        Legend()->DrawView(args);
        return image;
    }

    QImage DrawToolBar() {
        QImage image = BlackImage();
        TZemCanvas canvas(image);
        ToolBar()->Draw(canvas);
        return image;
    }

    /// Centre of a listed legend item's button.
    std::pair<int, int> ItemCentre(int group, int item) {
        m_scope.Layout();
        const TZemRect rect = Legend()->GetItemButtonRect(group, item);
        EXPECT_FALSE(rect.IsEmpty()) << "group " << group << " item " << item << " is not listed";
        return {(rect.m_left + rect.m_right) / 2, (rect.m_top + rect.m_bottom) / 2};
    }

    TRecordingScope m_scope;
};

// ---- Legend -------------------------------------------------------------------------------------

struct TWidthCase {
    const char* m_label;
    std::string m_channelName;
    std::string m_cursorCaption; ///< caption of the (empty or not) cursor group
    bool m_channelCaptionVisible;
    int m_cursorCount;
};

class LegendWidthTest : public LegendToolBarTest, public testing::WithParamInterface<TWidthCase> {};

// Width = the largest of caption width + 23 (caption font) and item name width + 30 (legend
// font) over the shown groups; a group without items counts for nothing, however long its
// caption.
TEST_P(LegendWidthTest, IsTheWidestCaptionOrItemOfTheShownGroups) {
    const TWidthCase& param = GetParam();
    m_scope.GetChannels()->GetChannel(0)->SetName(param.m_channelName);
    Legend()->GetChannels()->GetCaption()->SetVisible(param.m_channelCaptionVisible);
    Legend()->GetCursors()->GetCaption()->SetText(param.m_cursorCaption);
    for (int i = 0; i < param.m_cursorCount; ++i) {
        static_cast<TZemDisplayCursor*>(m_scope.GetCursors()->Add())->SetName("C");
    }

    const TVokFont& captionFont = *Legend()->GetChannels()->GetCaption()->GetFont();
    int expected = ZemTextWidth(*Legend()->GetFont(), param.m_channelName) + 30;
    if (param.m_channelCaptionVisible) {
        expected = std::max(expected, ZemTextWidth(captionFont, "Channels") + 23);
    }
    if (param.m_cursorCount > 0) {
        expected = std::max(expected, ZemTextWidth(captionFont, param.m_cursorCaption) + 23);
        expected = std::max(expected, ZemTextWidth(*Legend()->GetFont(), "C") + 30);
    }
    int width = 0;
    int height = 0;
    Legend()->GetPreferredSize(width, height);
    EXPECT_EQ(width, expected);
    EXPECT_EQ(height, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LegendWidthTest,
    testing::Values(TWidthCase{"CaptionWins", "C0", "", true, 0},
                    TWidthCase{"NameWins", "A rather long channel name", "", true, 0},
                    TWidthCase{"HiddenCaption", "C0", "", false, 0},
                    TWidthCase{"EmptyGroupLongCaption", "C0", std::string(60, 'W'), true, 0},
                    TWidthCase{"FilledGroupLongCaption", "C0", std::string(20, 'W'), true, 1}),
    [](const testing::TestParamInfo<TWidthCase>& info) { return info.param.m_label; });

TEST_F(LegendToolBarTest, EmptyGroupDrawsNothingNotEvenItsCaption) {
    Legend()->GetCursors()->GetCaption()->SetText("Cursors here");
    const QImage withEmptyGroup = DrawLegend(false);
    Legend()->GetCursors()->SetVisible(false);
    const QImage withoutGroup = DrawLegend(false);
    EXPECT_EQ(withEmptyGroup, withoutGroup);

    Legend()->GetCursors()->SetVisible(true);
    m_scope.GetCursors()->Add();
    const QImage withCursor = DrawLegend(false);
    EXPECT_NE(withCursor, withoutGroup);
    EXPECT_GT(CountPixels(withCursor, Legend()->GetRect(), IsInk),
              CountPixels(withoutGroup, Legend()->GetRect(), IsInk));
}

struct THoverCase {
    const char* m_label;
    bool m_buttonsEnabled;
    bool m_exporting;
    bool m_expectButton;
};

class LegendHoverTest : public LegendToolBarTest, public testing::WithParamInterface<THoverCase> {};

// The hovered item is lit in the mouse-over colours, but never in an exported picture and never
// without ButtonsEnabled.
TEST_P(LegendHoverTest, HoverButtonShowsOnlyWhenEnabledAndOnScreen) {
    const THoverCase& param = GetParam();
    Legend()->SetButtonsEnabled(param.m_buttonsEnabled);
    const auto [x, y] = ItemCentre(0, 0);
    m_scope.HandleMouseMove(0, x, y);
    EXPECT_EQ(Legend()->GetChannels()->GetHoverIndex(), param.m_buttonsEnabled ? 0 : -1);

    const QImage image = DrawLegend(param.m_exporting);
    const QRgb fill = TZemCanvas::ToQColor(Legend()->GetMouseOverButtonColor()).rgb();
    const QRgb border = TZemCanvas::ToQColor(Legend()->GetMouseOverBorderColor()).rgb();
    const TZemRect button = Legend()->GetItemButtonRect(0, 0);
    EXPECT_EQ(CountPixels(image, button, [&](QRgb pixel) { return pixel == fill; }) > 0,
              param.m_expectButton);
    EXPECT_EQ(CountPixels(image, Legend()->GetRect(), [&](QRgb pixel) { return pixel == border; }) >
                  0,
              param.m_expectButton);
}

INSTANTIATE_TEST_SUITE_P(Cases, LegendHoverTest,
                         testing::Values(THoverCase{"OnScreen", true, false, true},
                                         THoverCase{"Exported", true, true, false},
                                         THoverCase{"ButtonsDisabled", false, false, false}),
                         [](const testing::TestParamInfo<THoverCase>& info) {
                             return info.param.m_label;
                         });

TEST_F(LegendToolBarTest, ItemClickCallsHandlerThenPropertiesUnlessHandled) {
    m_scope.GetCursors()->Add();
    m_scope.GetCursors()->Add();
    std::vector<int> clicked;
    bool handle = false;
    Legend()->GetCursors()->SetOnItemClick([&](TZemLegendGroup* sender, int item, bool& handled) {
        EXPECT_EQ(sender, Legend()->GetCursors());
        clicked.push_back(item);
        handled = handle;
    });
    auto click = [&](int group, int item) {
        const auto [x, y] = ItemCentre(group, item);
        m_scope.HandleMouseMove(0, x, y);
        m_scope.HandleMouseDown(mbRight, 0, x, y);
        m_scope.HandleMouseUp(mbRight, 0, x, y);
    };

    click(2, 1);
    EXPECT_EQ(clicked, std::vector<int>{1});
    EXPECT_EQ(m_scope.m_shown, (std::vector<std::pair<int, int>>{{2, 1}}));
    EXPECT_EQ(Legend()->GetCursors()->GetPressedIndex(), -1);

    handle = true;
    click(2, 0);
    EXPECT_EQ(clicked, (std::vector<int>{1, 0}));
    EXPECT_EQ(m_scope.m_shown.size(), 1U);

    // Without ButtonsEnabled a click does nothing.
    Legend()->SetButtonsEnabled(false);
    handle = false;
    const TZemRect rect = Legend()->GetItemButtonRect(2, 0);
    m_scope.HandleMouseDown(mbLeft, 0, rect.m_left + 2, rect.m_top + 2);
    EXPECT_EQ(clicked.size(), 2U);
    EXPECT_EQ(m_scope.m_shown.size(), 1U);
}

TEST_F(LegendToolBarTest, TitleIsCentredOnTheDisplayWidth) {
    TZemDisplayTitle* title = m_scope.GetTitle();
    int width = 0;
    int height = 0;
    title->GetPreferredSize(width, height);
    EXPECT_EQ(height, ZemTextHeight(*title->GetFont(), "Xg") + 16);

    m_scope.Layout();
    QImage image = BlackImage();
    {
        TZemCanvas canvas(image);
        TZemDrawArgs args;
        args.m_canvas = &canvas;
        title->DrawView(args);
    }
    int left = kWidth;
    int right = -1;
    int top = kHeight;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            if (IsInk(image.pixel(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
            }
        }
    }
    ASSERT_GE(right, left) << "the title drew nothing";
    EXPECT_NEAR((left + right) / 2.0, kWidth / 2.0, 3.0);
    EXPECT_GE(top, 4);
}

// ---- Toolbar ------------------------------------------------------------------------------------

struct TGeometryCase {
    const char* m_label;
    bool m_hold;
    bool m_hideCopy;
    int m_visible;
};

class ToolBarGeometryTest : public LegendToolBarTest,
                            public testing::WithParamInterface<TGeometryCase> {};

// Play or pause is hidden, so 10 of 11 buttons show: the first row holds 5 (half of all 11), the
// second row starts at top + 17, and the bar sits trunc(visible × 17 ÷ 2) + 2 from the right.
TEST_P(ToolBarGeometryTest, RowsAndPlacementFollowTheVisibleButtons) {
    const TGeometryCase& param = GetParam();
    m_scope.SetHold(param.m_hold);
    ToolBar()->UpdateButtons();
    ToolBar()->GetButtons()[TZemScopeToolBar::kCopyButton].m_visible = !param.m_hideCopy;
    ASSERT_EQ(ToolBar()->GetButtons().size(), 11U);
    ASSERT_EQ(ToolBar()->GetVisibleButtonCount(), param.m_visible);

    const int left = kWidth - param.m_visible * 17 / 2 - 2;
    EXPECT_EQ(ToolBar()->GetLeft(), left);
    EXPECT_EQ(ToolBar()->GetTop(), 3);
    int placed = 0;
    for (int index = 0; index < 11; ++index) {
        const TZemRect rect = ToolBar()->GetButtonRect(index);
        if (!ToolBar()->GetButtons()[static_cast<size_t>(index)].m_visible) {
            EXPECT_TRUE(rect.IsEmpty());
            continue;
        }
        const int column = placed < 5 ? placed : placed - 5;
        EXPECT_EQ(rect, (TZemRect{left + column * 17, placed < 5 ? 3 : 20, left + column * 17 + 16,
                                  placed < 5 ? 19 : 36}))
            << "button " << index;
        ++placed;
    }
    EXPECT_EQ(ToolBar()->GetTrackRect(), (TZemRect{left, 3, left + param.m_visible * 17 / 2, 36}));
}

INSTANTIATE_TEST_SUITE_P(Cases, ToolBarGeometryTest,
                         testing::Values(TGeometryCase{"Running", false, false, 10},
                                         TGeometryCase{"Holding", true, false, 10},
                                         TGeometryCase{"CopyHidden", false, true, 9}),
                         [](const testing::TestParamInfo<TGeometryCase>& info) {
                             return info.param.m_label;
                         });

struct TGlyphCase {
    const char* m_label;
    int m_button;
    bool m_mouseOver;
    bool m_pressed;
    TZemToolBarGlyphState m_expected;
};

class ToolBarGlyphTest : public LegendToolBarTest,
                         public testing::WithParamInterface<TGlyphCase> {};

// Each button square shows its glyph from the list of its state: pressed under the pointer →
// mouse down, under the pointer → mouse over, enabled → normal, else disabled.
TEST_P(ToolBarGlyphTest, ButtonDrawsFromTheListOfItsState) {
    const TGlyphCase& param = GetParam();
    ToolBar()->UpdateButtons();
    const TZemRect rect = ToolBar()->GetButtonRect(param.m_button);
    ASSERT_FALSE(rect.IsEmpty());
    const int x = param.m_mouseOver ? rect.m_left + 3 : 5;
    const int y = param.m_mouseOver ? rect.m_top + 3 : kHeight - 5;
    m_scope.HandleMouseMove(0, x, y);
    ToolBar()->GetButtons()[static_cast<size_t>(param.m_button)].m_pressed = param.m_pressed;

    const QImage drawn = DrawToolBar();
    const int glyph = ToolBar()->GetButtons()[static_cast<size_t>(param.m_button)].m_glyph;
    for (int state = tgsNormal; state <= tgsDisabled; ++state) {
        QImage reference = BlackImage();
        {
            TZemCanvas canvas(reference);
            canvas.DrawGlyph(rect.m_left, rect.m_top,
                             ToolBar()->GetGlyphList(static_cast<TZemToolBarGlyphState>(state)),
                             glyph);
        }
        const QRect square(rect.m_left, rect.m_top, 16, 16);
        EXPECT_EQ(drawn.copy(square) == reference.copy(square), state == param.m_expected)
            << "list " << state;
    }
    EXPECT_EQ(ToolBar()->WasButtonDrawnUnderMouse(), param.m_mouseOver);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToolBarGlyphTest,
    testing::Values(
        TGlyphCase{"Normal", TZemScopeToolBar::kCopyButton, false, false, tgsNormal},
        TGlyphCase{"MouseOver", TZemScopeToolBar::kCopyButton, true, false, tgsMouseOver},
        TGlyphCase{"MouseDown", TZemScopeToolBar::kCopyButton, true, true, tgsMouseDown},
        TGlyphCase{"PressedElsewhere", TZemScopeToolBar::kCopyButton, false, true, tgsNormal},
        TGlyphCase{"Disabled", TZemScopeToolBar::kZoomResetButton, false, false, tgsDisabled}),
    [](const testing::TestParamInfo<TGlyphCase>& info) { return info.param.m_label; });

TEST_F(LegendToolBarTest, ColourChangeRebuildsTheGlyphLists) {
    const QRgb red = qRgb(255, 0, 0);
    auto holdsRed = [&](const QImage& list) {
        return CountPixels(list, {0, 0, list.width(), list.height()}, [&](QRgb pixel) {
                   return qAlpha(pixel) == 255 && (pixel | 0xFF000000) == red;
               }) > 0;
    };
    EXPECT_FALSE(holdsRed(ToolBar()->GetGlyphList(tgsNormal)));
    ToolBar()->SetGlyphColor(0x0000FF);
    EXPECT_TRUE(holdsRed(ToolBar()->GetGlyphList(tgsNormal)));
    EXPECT_TRUE(holdsRed(ToolBar()->GetGlyphList(tgsMouseDown)));
    EXPECT_FALSE(holdsRed(ToolBar()->GetGlyphList(tgsDisabled)));
}

TEST_F(LegendToolBarTest, ButtonPressRunsItsActionAndGoesNoFurther) {
    auto* counter = new TPressCounter(&m_scope);
    m_scope.GetViews().Add(counter);
    ToolBar()->UpdateButtons();
    const TZemRect zoomIn = ToolBar()->GetButtonRect(TZemScopeToolBar::kZoomInButton);
    m_scope.HandleMouseMove(0, zoomIn.m_left + 4, zoomIn.m_top + 4);

    m_scope.HandleMouseDown(mbLeft, 0, zoomIn.m_left + 4, zoomIn.m_top + 4);
    EXPECT_TRUE(m_scope.IsZoomed());
    EXPECT_EQ(m_scope.GetUndoHistory().GetCount(), 1U);
    EXPECT_TRUE(ToolBar()->GetButtons()[TZemScopeToolBar::kZoomInButton].m_pressed);
    EXPECT_EQ(counter->m_presses, 0);
    m_scope.HandleMouseUp(mbLeft, 0, zoomIn.m_left + 4, zoomIn.m_top + 4);
    EXPECT_FALSE(ToolBar()->GetButtons()[TZemScopeToolBar::kZoomInButton].m_pressed);

    // A disabled button (zoom forward: nothing to redo) and the space beside the bar pass on.
    ToolBar()->UpdateButtons();
    const TZemRect forward = ToolBar()->GetButtonRect(TZemScopeToolBar::kZoomForwardButton);
    m_scope.HandleMouseDown(mbLeft, 0, forward.m_left + 4, forward.m_top + 4);
    m_scope.HandleMouseDown(mbLeft, 0, 10, kHeight - 10);
    EXPECT_EQ(counter->m_presses, 2);
    EXPECT_EQ(m_scope.GetUndoHistory().GetCount(), 1U);

    // The pause button holds the picture; then play shows in its place and resumes.
    ToolBar()->UpdateButtons();
    const TZemRect pause = ToolBar()->GetButtonRect(TZemScopeToolBar::kPauseButton);
    EXPECT_TRUE(ToolBar()->MouseDown(mbLeft, pause.m_left, pause.m_top));
    EXPECT_TRUE(m_scope.GetHold());
    ToolBar()->MouseUp();
    ToolBar()->UpdateButtons();
    EXPECT_EQ(ToolBar()->GetButtonRect(TZemScopeToolBar::kPlayButton), pause);
    EXPECT_TRUE(ToolBar()->MouseDown(mbLeft, pause.m_left, pause.m_top));
    EXPECT_FALSE(m_scope.GetHold());
    // Only the left button presses chart toolbar buttons.
    EXPECT_FALSE(ToolBar()->MouseDown(mbRight, pause.m_left, pause.m_top));
}

} // namespace
