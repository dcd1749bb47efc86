// Pixel rules of the drawing surface where they differ from QPainter's own: line ends, shape
// extents, raster modes, text placement, clipping and colour conversion.
#include "display/ZemCanvas.h"

#include <QGuiApplication>
#include <QPalette>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kWhite = 0xFFFFFFFF;

/// Bounding box of every pixel that differs from `background`; null when there is none.
QRect InkBox(const QImage& image, QRgb background) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != background) {
                box = box.united(QRect(x, y, 1, 1));
            }
        }
    }
    return box;
}

int InkCount(const QImage& image, QRgb background) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) != background ? 1 : 0;
        }
    }
    return count;
}

/// A black 64×64 RGB32 image with a canvas on it; pen white, brush red.
class CanvasTest : public testing::Test {
  protected:
    CanvasTest() : m_image(64, 64, QImage::Format_RGB32) {
        m_image.fill(kBlack);
        m_canvas = std::make_unique<TZemCanvas>(m_image);
        m_canvas->SetPen(0xFFFFFF);
        m_canvas->SetBrush(0x0000FF);
    }

    QRgb PixelAt(int x, int y) const { return m_image.pixel(x, y); }

    /// Fills the image with a pattern so raster modes have something to change.
    void FillPattern() {
        for (int y = 0; y < m_image.height(); ++y) {
            for (int x = 0; x < m_image.width(); ++x) {
                m_image.setPixel(x, y, qRgb(x * 4, y * 4, (x * y) & 0xFF));
            }
        }
    }

    QImage m_image;
    std::unique_ptr<TZemCanvas> m_canvas;
};

// --- LineTo: the end pixel is never drawn ------------------------------------------------------

struct TLineCase {
    int m_dx;
    int m_dy;
};

class LineEndTest : public CanvasTest, public testing::WithParamInterface<TLineCase> {};

TEST_P(LineEndTest, StartDrawnEndLeftOutOnePixelPerMajorStep) {
    const auto [dx, dy] = GetParam();
    const int x0 = 32;
    const int y0 = 32;
    m_canvas->MoveTo(x0, y0);
    m_canvas->LineTo(x0 + dx, y0 + dy);
    EXPECT_EQ(PixelAt(x0, y0), kWhite);
    EXPECT_EQ(PixelAt(x0 + dx, y0 + dy), kBlack);
    const int major = std::max(std::abs(dx), std::abs(dy));
    EXPECT_EQ(InkCount(m_image, kBlack), major);
    if (dx == 0 || dy == 0 || std::abs(dx) == std::abs(dy)) {
        const int sx = (dx > 0) - (dx < 0);
        const int sy = (dy > 0) - (dy < 0);
        for (int step = 0; step < major; ++step) {
            EXPECT_EQ(PixelAt(x0 + step * sx, y0 + step * sy), kWhite) << "step " << step;
        }
    }
    // Chaining continues from the end point, which the next line draws.
    m_canvas->LineTo(x0 + dx, y0 + dy + 20 * (dy >= 0 ? 1 : -1));
    EXPECT_EQ(PixelAt(x0 + dx, y0 + dy), kWhite);
}

INSTANTIATE_TEST_SUITE_P(AllDirections, LineEndTest,
                         testing::Values(TLineCase{10, 0}, TLineCase{-10, 0}, TLineCase{0, 10},
                                         TLineCase{0, -10}, TLineCase{10, 10}, TLineCase{-10, 10},
                                         TLineCase{10, -10}, TLineCase{-10, -10}, TLineCase{1, 0},
                                         TLineCase{0, -1}, TLineCase{-1, 1}, TLineCase{7, 3},
                                         TLineCase{-7, 3}, TLineCase{7, -3}, TLineCase{-7, -3},
                                         TLineCase{3, 7}, TLineCase{-3, 7}, TLineCase{3, -7},
                                         TLineCase{-3, -7}));

TEST_F(CanvasTest, ZeroLengthAndHiddenLinesDrawNothing) {
    m_canvas->MoveTo(5, 5);
    m_canvas->LineTo(5, 5);
    m_canvas->SetPenStyle(zpsClear);
    m_canvas->LineTo(20, 5);
    m_canvas->SetPen(0xFFFFFF, 1, zpsSolid, zpmNop);
    m_canvas->LineTo(20, 20);
    EXPECT_TRUE(InkBox(m_image, kBlack).isNull());
}

// --- PolylineInclusive: every vertex drawn ------------------------------------------------------

class PolylineTest : public CanvasTest, public testing::WithParamInterface<TZemPenMode> {};

TEST_P(PolylineTest, SquareWaveCoversEveryVertexOnce) {
    // Sample-like data: steep steps between two rows, including a vertical one.
    std::vector<QPoint> points;
    for (int x = 2, index = 0; x < 60; x += 3, ++index) {
        points.emplace_back(x, index % 2 == 0 ? 10 : 50);
    }
    points.emplace_back(points.back().x(), 30);
    m_canvas->SetPen(0xFFFFFF, 1, zpsSolid, GetParam());
    m_canvas->PolylineInclusive(points.data(), int(points.size()));
    for (const QPoint& point : points) {
        // In XOR mode a vertex drawn twice would be black again.
        EXPECT_EQ(PixelAt(point.x(), point.y()), kWhite) << point.x() << "," << point.y();
    }
    // No gap along the vertical last segment.
    for (int y = 30; y <= 50; ++y) {
        EXPECT_EQ(PixelAt(points.back().x(), y), kWhite) << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, PolylineTest, testing::Values(zpmCopy, zpmXor));

TEST_F(CanvasTest, BadPointListsDrawNothing) {
    const QPoint point(3, 3);
    m_canvas->PolylineInclusive(nullptr, 5);
    m_canvas->PolylineInclusive(&point, 0);
    m_canvas->Polygon(nullptr, 3);
    m_canvas->Polygon(&point, 1);
    EXPECT_TRUE(InkBox(m_image, kBlack).isNull());
    m_canvas->PolylineInclusive(&point, 1);
    EXPECT_EQ(InkBox(m_image, kBlack), QRect(3, 3, 1, 1));
}

// --- Shapes cover exactly left..right-1 × top..bottom-1 ----------------------------------------

enum class TShape { kRectangle, kEllipse, kFillRect };

struct TShapeCase {
    TShape m_shape;
    TZemPenStyle m_penStyle;
    QRect m_box; // as (left, top, width, height)
};

class ShapeExtentTest : public CanvasTest, public testing::WithParamInterface<TShapeCase> {};

TEST_P(ShapeExtentTest, InkBoxIsTheBox) {
    const TShapeCase& shape = GetParam();
    const QRect& box = shape.m_box;
    m_canvas->SetPenStyle(shape.m_penStyle);
    const int right = box.x() + box.width();
    const int bottom = box.y() + box.height();
    switch (shape.m_shape) {
    case TShape::kRectangle:
        m_canvas->Rectangle(box.x(), box.y(), right, bottom);
        break;
    case TShape::kEllipse:
        m_canvas->Ellipse(box.x(), box.y(), right, bottom);
        break;
    case TShape::kFillRect:
        m_canvas->FillRect(box.x(), box.y(), right, bottom);
        break;
    }
    EXPECT_EQ(InkBox(m_image, kBlack), box);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, ShapeExtentTest,
    testing::Values(TShapeCase{TShape::kRectangle, zpsSolid, QRect(10, 12, 20, 15)},
                    TShapeCase{TShape::kRectangle, zpsClear, QRect(10, 12, 20, 15)},
                    TShapeCase{TShape::kRectangle, zpsSolid, QRect(5, 5, 1, 6)},
                    TShapeCase{TShape::kRectangle, zpsSolid, QRect(5, 5, 2, 2)},
                    TShapeCase{TShape::kRectangle, zpsDot, QRect(4, 4, 30, 30)},
                    TShapeCase{TShape::kEllipse, zpsSolid, QRect(10, 12, 20, 15)},
                    TShapeCase{TShape::kEllipse, zpsClear, QRect(10, 12, 21, 16)},
                    TShapeCase{TShape::kFillRect, zpsSolid, QRect(0, 0, 64, 1)},
                    TShapeCase{TShape::kFillRect, zpsSolid, QRect(3, 7, 9, 11)}));

class EllipseSizeTest : public CanvasTest, public testing::WithParamInterface<TZemPenStyle> {};

TEST_P(EllipseSizeTest, InkBoxIsTheBoxAtEverySize) {
    for (int width = 1; width <= 40; width += 1) {
        for (int height = 1; height <= 40; height += 3) {
            m_image.fill(kBlack);
            m_canvas->SetPenStyle(GetParam());
            m_canvas->Ellipse(11, 7, 11 + width, 7 + height);
            ASSERT_EQ(InkBox(m_image, kBlack), QRect(11, 7, width, height))
                << width << "x" << height;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Outlines, EllipseSizeTest, testing::Values(zpsSolid, zpsClear));

TEST_F(CanvasTest, RectangleOutlinesWithPenAndFillsWithBrushUnlessHollow) {
    m_canvas->Rectangle(30, 20, 10, 40); // swapped corners are put in order
    EXPECT_EQ(PixelAt(10, 20), kWhite);
    EXPECT_EQ(PixelAt(29, 39), kWhite);
    EXPECT_EQ(PixelAt(20, 30), qRgb(255, 0, 0));
    EXPECT_EQ(PixelAt(30, 40), kBlack);

    m_canvas->SetBrushStyle(zbsClear);
    m_canvas->Rectangle(40, 5, 60, 25);
    m_canvas->Ellipse(40, 30, 60, 50);
    EXPECT_EQ(PixelAt(40, 5), kWhite);
    EXPECT_EQ(PixelAt(50, 15), kBlack);
    EXPECT_EQ(PixelAt(50, 40), kBlack);

    m_canvas->FillRect(0, 0, 10, 10); // a clear brush fills nothing
    m_canvas->SetBrush(0x00FF00, zbsHorizontal);
    m_canvas->FillRect(0, 50, 10, 64); // hatch lines only, the background shows through
    const QRect hatch(0, 50, 10, 14);
    EXPECT_EQ(InkBox(m_image.copy(QRect(0, 0, 10, 10)), kBlack), QRect());
    const int inked = InkCount(m_image.copy(hatch), kBlack);
    EXPECT_GT(inked, 0);
    EXPECT_LT(inked, hatch.width() * hatch.height());
}

// --- Raster modes ---------------------------------------------------------------------------

struct TModeCase {
    TZemPenMode m_mode;
    QRgb (*m_expected)(QRgb pen, QRgb destination);
};

class PenModeTest : public CanvasTest, public testing::WithParamInterface<TModeCase> {};

TEST_P(PenModeTest, SetPixelCombinesPenAndDestination) {
    constexpr QRgb kDestination = 0x123456;
    constexpr QRgb kPen = 0x0F0FF0; // TZemColor 0xF00F0F
    m_image.fill(0xFF000000 | kDestination);
    m_canvas->SetPenMode(GetParam().m_mode);
    m_canvas->SetPixel(7, 9, 0xF00F0F);
    EXPECT_EQ(PixelAt(7, 9), 0xFF000000 | (GetParam().m_expected(kPen, kDestination) & 0xFFFFFF));
    EXPECT_EQ(PixelAt(8, 9), 0xFF000000 | kDestination);
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, PenModeTest,
    testing::Values(TModeCase{zpmBlack, [](QRgb, QRgb) { return QRgb(0); }},
                    TModeCase{zpmWhite, [](QRgb, QRgb) { return QRgb(0xFFFFFF); }},
                    TModeCase{zpmNop, [](QRgb, QRgb d) { return d; }},
                    TModeCase{zpmNot, [](QRgb, QRgb d) { return ~d; }},
                    TModeCase{zpmCopy, [](QRgb p, QRgb) { return p; }},
                    TModeCase{zpmNotCopy, [](QRgb p, QRgb) { return ~p; }},
                    TModeCase{zpmMergePenNot, [](QRgb p, QRgb d) { return p | ~d; }},
                    TModeCase{zpmMaskPenNot, [](QRgb p, QRgb d) { return p & ~d; }},
                    TModeCase{zpmMergeNotPen, [](QRgb p, QRgb d) { return ~p | d; }},
                    TModeCase{zpmMaskNotPen, [](QRgb p, QRgb d) { return ~p & d; }},
                    TModeCase{zpmMerge, [](QRgb p, QRgb d) { return p | d; }},
                    TModeCase{zpmNotMerge, [](QRgb p, QRgb d) { return ~(p | d); }},
                    TModeCase{zpmMask, [](QRgb p, QRgb d) { return p & d; }},
                    TModeCase{zpmNotMask, [](QRgb p, QRgb d) { return ~(p & d); }},
                    TModeCase{zpmXor, [](QRgb p, QRgb d) { return p ^ d; }},
                    TModeCase{zpmNotXor, [](QRgb p, QRgb d) { return ~(p ^ d); }}));

class XorTwiceTest : public CanvasTest, public testing::WithParamInterface<int> {};

TEST_P(XorTwiceTest, RestoresThePixels) {
    FillPattern();
    const QImage before = m_image.copy();
    m_canvas->SetPen(0x00FFFF, 1, zpsSolid, zpmXor);
    m_canvas->SetBrush(0xFF00FF);
    const auto draw = [&] {
        switch (GetParam()) {
        case 0:
            m_canvas->MoveTo(3, 60);
            m_canvas->LineTo(50, 7);
            m_canvas->LineTo(9, 9);
            break;
        case 1:
            m_canvas->Rectangle(5, 6, 40, 33);
            break;
        case 2:
            m_canvas->Ellipse(5, 6, 40, 33);
            break;
        case 3:
            m_canvas->FocusRect(2, 3, 61, 50);
            break;
        case 4:
            m_canvas->FocusRect(10, 10, 11, 30); // one column wide
            break;
        }
    };
    draw();
    EXPECT_NE(m_image, before);
    draw();
    EXPECT_EQ(m_image, before);
}

INSTANTIATE_TEST_SUITE_P(Shapes, XorTwiceTest, testing::Range(0, 5));

TEST_F(CanvasTest, FocusRectIsADottedOutline) {
    m_canvas->FocusRect(10, 10, 30, 20);
    EXPECT_EQ(InkBox(m_image, kBlack), QRect(10, 10, 20, 10));
    EXPECT_NE(PixelAt(10, 10), PixelAt(11, 10)); // dotted, not solid
    EXPECT_EQ(PixelAt(20, 15), kBlack);
}

// --- Text -------------------------------------------------------------------------------------

TEST_F(CanvasTest, TextCellPlacementAndBackground) {
    m_canvas->SetFont(TZemFontDesc{});
    ASSERT_EQ(m_canvas->TextHeight("Xg"), 12);
    EXPECT_EQ(m_canvas->TextExtent("Xg"), QSize(m_canvas->TextWidth("Xg"), 12));

    m_canvas->SetBrushStyle(zbsClear);
    m_canvas->TextOut(10, 20, "X");
    const QRect ink = InkBox(m_image, kBlack);
    ASSERT_FALSE(ink.isNull());
    EXPECT_GE(ink.top(), 20);
    EXPECT_LT(ink.bottom(), 32);
    EXPECT_GE(ink.left(), 10);
    EXPECT_EQ(PixelAt(10, 20), kBlack); // hollow brush: no cell fill

    m_image.fill(kBlack);
    m_canvas->SetBrush(0x00FF00);
    m_canvas->TextOut(30, 40, "Xg");
    const QRect cell(30, 40, m_canvas->TextWidth("Xg"), 12);
    EXPECT_EQ(InkBox(m_image, kBlack), cell);
    EXPECT_EQ(InkCount(m_image.copy(cell), kBlack), cell.width() * cell.height());
    EXPECT_EQ(PixelAt(30, 40), qRgb(0, 255, 0));
}

TEST_F(CanvasTest, RotatedTextRunsAlongTheEdgeOfItsStartPoint) {
    m_canvas->SetBrushStyle(zbsClear);
    const int height = m_canvas->TextHeight("Xg");
    m_canvas->TextOutRotated90(20, 60, "Hello");
    QRect ink = InkBox(m_image, kBlack);
    ASSERT_FALSE(ink.isNull());
    EXPECT_GE(ink.left(), 20);
    EXPECT_LE(ink.right(), 20 + height);
    EXPECT_LE(ink.bottom(), 60);
    EXPECT_GT(ink.height(), ink.width()); // runs upward

    m_image.fill(kBlack);
    m_canvas->TextOutRotated270(40, 4, "Hello");
    ink = InkBox(m_image, kBlack);
    ASSERT_FALSE(ink.isNull());
    EXPECT_LE(ink.right(), 40);
    EXPECT_GE(ink.left(), 40 - height);
    EXPECT_GE(ink.top(), 4);
    EXPECT_GT(ink.height(), ink.width()); // runs downward
}

TEST_F(CanvasTest, FontsMeasureWithoutChangingTheCurrentOne) {
    TZemFontDesc large;
    large.m_height = -21;
    large.m_bold = true;
    EXPECT_EQ(m_canvas->TextHeight(large, "Xg"), 23);
    EXPECT_GT(m_canvas->TextWidth(large, "1024"), m_canvas->TextWidth("1024"));
    EXPECT_EQ(m_canvas->TextHeight("Xg"), 12);

    m_canvas->SaveTools();
    m_canvas->SetFont(large);
    m_canvas->SetPen(0x123456, 3, zpsDash, zpmXor);
    m_canvas->SetBrush(0x654321, zbsCross);
    m_canvas->RestoreTools();
    m_canvas->RestoreTools(); // empty stack: nothing happens
    EXPECT_EQ(m_canvas->GetFont(), TZemFontDesc{});
    EXPECT_EQ(m_canvas->TextHeight("Xg"), 12);
    EXPECT_EQ(m_canvas->GetPenColor(), 0xFFFFFF);
    EXPECT_EQ(m_canvas->GetPenWidth(), 1);
    EXPECT_EQ(m_canvas->GetPenMode(), zpmCopy);
    EXPECT_EQ(m_canvas->GetBrushStyle(), zbsSolid);
}

TEST(CanvasFontTest, HeightsMapToPixelSizes) {
    TZemFontDesc font;
    EXPECT_EQ(TZemCanvas::ToQFont(font).pixelSize(), 11);
    font.m_height = 20; // cell height
    EXPECT_EQ(TZemCanvas::ToQFont(font).pixelSize(), 17);
    font.m_height = 0;
    EXPECT_EQ(TZemCanvas::ToQFont(font).pixelSize(), 11);
    font.m_height = 1;
    EXPECT_EQ(TZemCanvas::ToQFont(font).pixelSize(), 1);
    font.m_height = std::numeric_limits<int>::min();
    EXPECT_GT(TZemCanvas::ToQFont(font).pixelSize(), 0);
}

// --- Clip -------------------------------------------------------------------------------------

TEST_F(CanvasTest, ExcludedRectKeepsItsPixels) {
    m_canvas->ExcludeClipRect(10, 10, 20, 25);
    m_canvas->FillRect(0, 0, 64, 64);
    EXPECT_TRUE(InkBox(m_image.copy(10, 10, 10, 15), kBlack).isNull());
    EXPECT_EQ(InkCount(m_image, kBlack), 64 * 64 - 10 * 15);
    EXPECT_FALSE(m_canvas->RectVisible(12, 12, 18, 18));
    EXPECT_TRUE(m_canvas->RectVisible(12, 12, 21, 18));

    m_canvas->ClearClip();
    EXPECT_EQ(m_canvas->GetClipRegion(), QRegion(0, 0, 64, 64));
    EXPECT_TRUE(m_canvas->RectVisible(12, 12, 18, 18));
    EXPECT_FALSE(m_canvas->RectVisible(64, 0, 70, 10));
}

TEST_F(CanvasTest, SetPixelRespectsTheClip) {
    m_canvas->SetClipRect(10, 10, 20, 20);
    m_canvas->SetPixel(15, 15, 0xFFFFFF);
    m_canvas->SetPixel(20, 15, 0xFFFFFF);
    m_canvas->SetPixel(5, 5, 0xFFFFFF);
    EXPECT_EQ(InkBox(m_image, kBlack), QRect(15, 15, 1, 1));
    EXPECT_TRUE(m_canvas->RectVisible(19, 19, 30, 30));
    EXPECT_FALSE(m_canvas->RectVisible(20, 0, 30, 30));
    EXPECT_FALSE(m_canvas->RectVisible(15, 15, 15, 18)); // empty rectangle

    // Pixel colours and the pen alternate without one leaking into the other.
    m_canvas->SetPixel(11, 11, 0x0000FF);
    m_canvas->MoveTo(11, 12);
    m_canvas->LineTo(14, 12);
    m_canvas->SetPixel(12, 11, 0x00FF00);
    m_canvas->SetPixel(13, 11, 0x0000FF);
    EXPECT_EQ(PixelAt(11, 11), qRgb(255, 0, 0));
    EXPECT_EQ(PixelAt(12, 11), qRgb(0, 255, 0));
    EXPECT_EQ(PixelAt(13, 11), qRgb(255, 0, 0));
    EXPECT_EQ(PixelAt(13, 12), kWhite);
}

// --- Images -----------------------------------------------------------------------------------

TEST_F(CanvasTest, StretchAndGlyphImages) {
    QImage source(2, 1, QImage::Format_RGB32);
    source.setPixel(0, 0, qRgb(255, 0, 0));
    source.setPixel(1, 0, qRgb(0, 0, 255));
    m_canvas->StretchImage(QRect(4, 4, 8, 3), source, source.rect(), false);
    EXPECT_EQ(InkBox(m_image, kBlack), QRect(4, 4, 8, 3));
    EXPECT_EQ(PixelAt(7, 6), qRgb(255, 0, 0));
    EXPECT_EQ(PixelAt(8, 4), qRgb(0, 0, 255));

    QImage list(32, 16, QImage::Format_ARGB32);
    list.fill(Qt::transparent);
    list.setPixel(16 + 3, 5, qRgb(0, 255, 0));
    m_image.fill(kBlack);
    m_canvas->DrawGlyph(40, 40, list, 1);
    m_canvas->DrawGlyph(0, 0, list, 2); // outside the list
    m_canvas->DrawGlyph(0, 0, list, -1);
    EXPECT_EQ(InkBox(m_image, kBlack), QRect(43, 45, 1, 1));
}

// --- Colours and bad input -------------------------------------------------------------------

TEST(CanvasColorTest, ConversionsAndSystemColours) {
    EXPECT_EQ(TZemCanvas::ToQColor(0x00123456), QColor(0x56, 0x34, 0x12));
    EXPECT_EQ(TZemCanvas::FromQColor(TZemCanvas::ToQColor(0x00123456)), 0x00123456);
    const QPalette palette = QGuiApplication::palette();
    EXPECT_EQ(TZemCanvas::ToQColor(TZemColor(0x8000000F)).rgb(),
              palette.color(QPalette::Button).rgb());
    EXPECT_EQ(TZemCanvas::ToQColor(TZemColor(0x80000008)).rgb(),
              palette.color(QPalette::WindowText).rgb());
    EXPECT_EQ(TZemCanvas::ToQColor(TZemColor(0x80000019)), QColor(0, 0, 0));
    EXPECT_EQ(TZemCanvas::ToQColor(TZemColor(0xFFFFFFFF)), QColor(0, 0, 0));
}

TEST(CanvasSetupTest, UnusableSurfacesAreRefusedWithTheReason) {
    QImage null;
    EXPECT_THROW(TZemCanvas{null}, std::invalid_argument);
    QImage indexed(8, 8, QImage::Format_Indexed8);
    try {
        TZemCanvas canvas(indexed);
        FAIL() << "an indexed image was accepted";
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find("Format_RGB32"), std::string::npos);
    }
    QPainter inactive;
    EXPECT_THROW(TZemCanvas(inactive, 10, 10), std::invalid_argument);
}

TEST_F(CanvasTest, ExtremeCoordinatesNeitherCrashNorDrawOffSurfaceGarbage) {
    constexpr int kMin = std::numeric_limits<int>::min();
    constexpr int kMax = std::numeric_limits<int>::max();
    m_canvas->MoveTo(kMin, kMin);
    m_canvas->LineTo(kMax, kMax);
    m_canvas->LineTo(kMin, 7);
    m_canvas->SetBrushStyle(zbsClear);
    m_canvas->Rectangle(kMin, kMin, kMax, kMax);
    m_canvas->Ellipse(kMin, 3, kMax, 9);
    m_canvas->FocusRect(kMin, kMin, kMax, kMax);
    m_canvas->ExcludeClipRect(kMin, kMin, kMax, kMax);
    EXPECT_TRUE(m_canvas->GetClipRegion().isEmpty());
    m_canvas->FillRect(0, 0, 64, 64);
    EXPECT_EQ(PixelAt(32, 0), kBlack);
}

TEST_F(CanvasTest, PrinterPainterIsRestoredAfterUse) {
    QImage page(20, 20, QImage::Format_RGB32);
    page.fill(kBlack);
    QPainter painter(&page);
    painter.setPen(Qt::green);
    {
        TZemCanvas canvas(painter, 20, 20);
        canvas.SetClipRect(0, 0, 5, 5);
        canvas.SetBrush(0xFFFFFF);
        canvas.FillRect(0, 0, 20, 20);
    }
    EXPECT_FALSE(painter.hasClipping());
    EXPECT_EQ(painter.pen().color(), QColor(Qt::green));
    painter.end();
    EXPECT_EQ(InkBox(page, kBlack), QRect(0, 0, 5, 5));
}

} // namespace
