#include "display/ZemCanvas.h"

#include "pins/VokProperties.h"

#include <QGuiApplication>
#include <QPalette>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <type_traits>
#include <unordered_map>

// Colours pass between published properties and the canvas unchanged.
static_assert(std::is_same_v<TZemColor, TVokColor>);

namespace {

/// Fonts kept per canvas; a frame uses a handful.
constexpr std::size_t kFontCacheSize = 16;
/// Largest pixel size a font description may ask for; larger requests are clamped.
constexpr int kMaxFontPixels = 8192;
/// Rectangle corners are clamped to ±this so widths stay inside int; anything this far off the
/// surface is invisible either way.
constexpr int64_t kRectLimit = int64_t{1} << 28;
/// Points collected per drawPoints call by FocusRect (a stack buffer, no heap).
constexpr int kFocusBatch = 256;

struct TSystemColorRole {
    QPalette::ColorGroup m_group;
    QPalette::ColorRole m_role;
};

// Palette roles for the system colour indices 0..24, in index order.
constexpr std::array<TSystemColorRole, 25> kSystemColorRoles = {{
    {QPalette::Active, QPalette::Midlight},        // 0 scroll bar
    {QPalette::Active, QPalette::Dark},            // 1 desktop
    {QPalette::Active, QPalette::Highlight},       // 2 active caption
    {QPalette::Inactive, QPalette::Mid},           // 3 inactive caption
    {QPalette::Active, QPalette::Window},          // 4 menu
    {QPalette::Active, QPalette::Base},            // 5 window
    {QPalette::Active, QPalette::Shadow},          // 6 window frame
    {QPalette::Active, QPalette::WindowText},      // 7 menu text
    {QPalette::Active, QPalette::WindowText},      // 8 window text
    {QPalette::Active, QPalette::HighlightedText}, // 9 caption text
    {QPalette::Active, QPalette::Button},          // 10 active border
    {QPalette::Inactive, QPalette::Button},        // 11 inactive border
    {QPalette::Active, QPalette::Mid},             // 12 application workspace
    {QPalette::Active, QPalette::Highlight},       // 13 highlight
    {QPalette::Active, QPalette::HighlightedText}, // 14 highlighted text
    {QPalette::Active, QPalette::Button},          // 15 button face
    {QPalette::Active, QPalette::Dark},            // 16 button shadow
    {QPalette::Disabled, QPalette::Text},          // 17 grey (disabled) text
    {QPalette::Active, QPalette::ButtonText},      // 18 button text
    {QPalette::Inactive, QPalette::Light},         // 19 inactive caption text
    {QPalette::Active, QPalette::Light},           // 20 button highlight
    {QPalette::Active, QPalette::Shadow},          // 21 dark 3-D shadow
    {QPalette::Active, QPalette::Midlight},        // 22 light 3-D edge
    {QPalette::Active, QPalette::ToolTipText},     // 23 tooltip text
    {QPalette::Active, QPalette::ToolTipBase},     // 24 tooltip background
}};

Qt::PenStyle ToQtPenStyle(TZemPenStyle style) {
    switch (style) {
    case zpsDash:
        return Qt::DashLine;
    case zpsDot:
        return Qt::DotLine;
    case zpsDashDot:
        return Qt::DashDotLine;
    case zpsDashDotDot:
        return Qt::DashDotDotLine;
    case zpsClear:
        return Qt::NoPen;
    case zpsSolid:
    case zpsInsideFrame:
    default: // an out-of-range value read from a form draws solid rather than nothing
        return Qt::SolidLine;
    }
}

Qt::BrushStyle ToQtBrushStyle(TZemBrushStyle style) {
    switch (style) {
    case zbsClear:
        return Qt::NoBrush;
    case zbsHorizontal:
        return Qt::HorPattern;
    case zbsVertical:
        return Qt::VerPattern;
    case zbsFDiagonal:
        return Qt::FDiagPattern; // "\" lines
    case zbsBDiagonal:
        return Qt::BDiagPattern; // "/" lines
    case zbsCross:
        return Qt::CrossPattern;
    case zbsDiagCross:
        return Qt::DiagCrossPattern;
    case zbsSolid:
    default:
        return Qt::SolidPattern;
    }
}

QPainter::CompositionMode ToCompositionMode(TZemPenMode mode) {
    switch (mode) {
    case zpmBlack:
        return QPainter::RasterOp_ClearDestination;
    case zpmWhite:
        return QPainter::RasterOp_SetDestination;
    case zpmNot:
        return QPainter::RasterOp_NotDestination;
    case zpmNotCopy:
        return QPainter::RasterOp_NotSource;
    case zpmMergePenNot:
        return QPainter::RasterOp_SourceOrNotDestination;
    case zpmMaskPenNot:
        return QPainter::RasterOp_SourceAndNotDestination;
    case zpmMergeNotPen:
        return QPainter::RasterOp_NotSourceOrDestination;
    case zpmMaskNotPen:
        return QPainter::RasterOp_NotSourceAndDestination;
    case zpmMerge:
        return QPainter::RasterOp_SourceOrDestination;
    case zpmNotMerge:
        return QPainter::RasterOp_NotSourceAndNotDestination;
    case zpmMask:
        return QPainter::RasterOp_SourceAndDestination;
    case zpmNotMask:
        return QPainter::RasterOp_NotSourceOrNotDestination;
    case zpmXor:
        return QPainter::RasterOp_SourceXorDestination;
    case zpmNotXor:
        return QPainter::RasterOp_NotSourceXorDestination;
    case zpmNop: // callers return before drawing; all colours are opaque, so over = copy
    case zpmCopy:
    default:
        return QPainter::CompositionMode_SourceOver;
    }
}

int ClampToInt(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

int ClampToRectLimit(int value) {
    return static_cast<int>(std::clamp<int64_t>(value, -kRectLimit, kRectLimit));
}

/// Puts a (left, top, right, bottom) box in order and inside the coordinate limit; false when
/// it is empty.
bool NormalizeBox(int& left, int& top, int& right, int& bottom) {
    left = ClampToRectLimit(left);
    top = ClampToRectLimit(top);
    right = ClampToRectLimit(right);
    bottom = ClampToRectLimit(bottom);
    if (right < left) {
        std::swap(left, right);
    }
    if (bottom < top) {
        std::swap(top, bottom);
    }
    return right > left && bottom > top;
}

/// left..right-1 × top..bottom-1 as a QRect; empty when right <= left or bottom <= top.
QRect BoxRect(int left, int top, int right, int bottom) {
    const int l = ClampToRectLimit(left);
    const int t = ClampToRectLimit(top);
    const int r = ClampToRectLimit(right);
    const int b = ClampToRectLimit(bottom);
    if (r <= l || b <= t) {
        return {};
    }
    return {l, t, r - l, b - t};
}

int Sign(int64_t value) {
    return (value > 0) - (value < 0);
}

// --- Caches of Qt drawing objects (GUI thread only) ------------------------------------------
//
// Building a QPen, QBrush or laying out a QString allocates; displays repaint the same few pens,
// brushes and labels frame after frame, so each is made once and reused. The caches are small
// and are emptied whole when they fill up (a display never needs that many at once).

struct TPenKey {
    TZemColor m_color;
    int m_width;
    Qt::PenStyle m_style;
    Qt::PenCapStyle m_cap;
    bool operator==(const TPenKey&) const = default;
};

const QPen& CachedPen(const TPenKey& key) {
    struct TEntry {
        TPenKey m_key;
        QPen m_pen;
    };
    static std::vector<TEntry> s_pens;
    for (const TEntry& entry : s_pens) {
        if (entry.m_key == key) {
            return entry.m_pen;
        }
    }
    if (s_pens.size() >= 128) {
        s_pens.clear();
    }
    if (s_pens.capacity() < 128) {
        s_pens.reserve(128);
    }
    const Qt::PenJoinStyle join = key.m_cap == Qt::RoundCap ? Qt::RoundJoin : Qt::MiterJoin;
    s_pens.push_back(TEntry{
        key, QPen(TZemCanvas::ToQColor(key.m_color), key.m_width, key.m_style, key.m_cap, join)});
    return s_pens.back().m_pen;
}

const QBrush& CachedBrush(TZemColor color, Qt::BrushStyle style) {
    struct TEntry {
        TZemColor m_color;
        Qt::BrushStyle m_style;
        QBrush m_brush;
    };
    static std::vector<TEntry> s_brushes;
    for (const TEntry& entry : s_brushes) {
        if (entry.m_color == color && entry.m_style == style) {
            return entry.m_brush;
        }
    }
    if (s_brushes.size() >= 128) {
        s_brushes.clear();
    }
    if (s_brushes.capacity() < 128) {
        s_brushes.reserve(128);
    }
    s_brushes.push_back(TEntry{color, style, QBrush(TZemCanvas::ToQColor(color), style)});
    return s_brushes.back().m_brush;
}

/// A text as laid out in one font: its advance, and pictures of it (upright and both rotations)
/// in the font's colour on a transparent background, made when first drawn.
struct TTextKey {
    TZemFontDesc m_font;
    std::string m_text;
    bool operator==(const TTextKey&) const = default;
};

struct TTextKeyHash {
    size_t operator()(const TTextKey& key) const noexcept {
        size_t hash = std::hash<std::string>()(key.m_text);
        hash = hash * 31 + std::hash<std::string>()(key.m_font.m_name);
        hash = hash * 31 + std::hash<int>()(key.m_font.m_height);
        hash = hash * 31 + std::hash<int>()(key.m_font.m_color);
        hash = hash * 31 + (key.m_font.m_bold ? 1U : 0U) + (key.m_font.m_italic ? 2U : 0U) +
               (key.m_font.m_underline ? 4U : 0U) + (key.m_font.m_strikeOut ? 8U : 0U);
        return hash;
    }
};

struct TTextEntry {
    int m_width = 0;
    QImage m_pictures[3]; ///< upright, rotated 90° counter-clockwise, rotated 90° clockwise
};

std::unordered_map<TTextKey, TTextEntry, TTextKeyHash>& TextCache() {
    static std::unordered_map<TTextKey, TTextEntry, TTextKeyHash> s_texts(1024);
    return s_texts;
}

/// Metrics by font, for measuring without a canvas.
const QFontMetrics& MetricsOf(const TZemFontDesc& font) {
    struct TEntry {
        TZemFontDesc m_font;
        QFontMetrics m_metrics;
    };
    static std::vector<TEntry> s_metrics;
    for (const TEntry& entry : s_metrics) {
        if (entry.m_font == font) {
            return entry.m_metrics;
        }
    }
    if (s_metrics.size() >= 64) {
        s_metrics.clear();
    }
    if (s_metrics.capacity() < 64) {
        s_metrics.reserve(64);
    }
    s_metrics.push_back(TEntry{font, QFontMetrics(TZemCanvas::ToQFont(font))});
    return s_metrics.back().m_metrics;
}

/// The cache entry of `text` in `font`; the lookup allocates nothing once the entry exists.
TTextEntry& TextEntry(const TZemFontDesc& font, const std::string& text) {
    auto& cache = TextCache();
    // A probe key is built in a reused object so that a hit costs no allocation.
    static TTextKey s_probe;
    s_probe.m_font = font;
    s_probe.m_text.assign(text);
    auto found = cache.find(s_probe);
    if (found != cache.end()) {
        return found->second;
    }
    if (cache.size() >= 4096) {
        cache.clear();
    }
    TTextEntry entry;
    entry.m_width = MetricsOf(font).horizontalAdvance(QString::fromStdString(text));
    return cache.emplace(s_probe, std::move(entry)).first->second;
}

} // namespace

// --- Construction -------------------------------------------------------------------------------

TZemCanvas::TZemCanvas(QImage& image) : m_qfont(ToQFont(m_tools.m_font)), m_metrics(m_qfont) {
    const QImage::Format format = image.format();
    if (image.isNull() || (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
                           format != QImage::Format_ARGB32_Premultiplied)) {
        throw std::invalid_argument(
            "TZemCanvas: cannot draw into a " +
            std::string(image.isNull() ? "null image"
                                       : "image of QImage::Format " + std::to_string(int(format))) +
            "; expected a non-empty Format_RGB32, Format_ARGB32 or Format_ARGB32_Premultiplied "
            "image");
    }
    m_ownedPainter.emplace(&image);
    m_painter = &*m_ownedPainter;
    m_image = &image;
    m_width = image.width();
    m_height = image.height();
    InitPainter();
}

TZemCanvas::TZemCanvas(QPainter& painter, int width, int height)
    : m_qfont(ToQFont(m_tools.m_font)), m_metrics(m_qfont) {
    if (!painter.isActive()) {
        throw std::invalid_argument("TZemCanvas: the painter given for a " + std::to_string(width) +
                                    "x" + std::to_string(height) +
                                    " surface is not active; expected a painter after begin()");
    }
    m_painter = &painter;
    m_painter->save();
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
    InitPainter();
}

TZemCanvas::~TZemCanvas() {
    if (m_ownedPainter) {
        m_ownedPainter->end();
    } else {
        m_painter->restore();
    }
}

void TZemCanvas::InitPainter() {
    m_painter->setRenderHint(QPainter::Antialiasing, false);
    m_painter->setRenderHint(QPainter::TextAntialiasing, true);
    m_painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    // Hatch brushes leave the pixels between their lines alone.
    m_painter->setBackgroundMode(Qt::TransparentMode);
    m_painter->setClipping(false);
    m_savedTools.reserve(8);
    m_fontCache.reserve(kFontCacheSize);
    RebuildPens();
    RebuildBrush();
}

QPainter& TZemCanvas::GetPainter() {
    ForgetPainterState();
    return *m_painter;
}

void TZemCanvas::ForgetPainterState() {
    m_appliedPen = TAppliedPen::kNone;
    m_appliedBrush = TAppliedBrush::kNone;
    m_fontApplied = false;
    m_appliedMode = -1;
}

// --- Tools --------------------------------------------------------------------------------------

void TZemCanvas::RebuildPens() {
    const Qt::PenStyle style = ToQtPenStyle(m_tools.m_penStyle);
    const TZemColor color = m_tools.m_penColor;
    if (m_tools.m_penWidth > 1) {
        // Wide pens are geometric strokes with round ends and joins; the end-pixel rule does
        // not apply to them, so both prepared pens are the same.
        m_squarePen = CachedPen({color, m_tools.m_penWidth, style, Qt::RoundCap});
        m_flatPen = m_squarePen;
    } else {
        // A 1-px SquareCap line covers both ends; FlatCap leaves out the pixel with the larger
        // major-axis coordinate, which DrawThinLine uses for lines that run towards it.
        m_squarePen = CachedPen({color, 1, style, Qt::SquareCap});
        m_flatPen = CachedPen({color, 1, style, Qt::FlatCap});
    }
    m_appliedPen = TAppliedPen::kNone;
}

void TZemCanvas::RebuildBrush() {
    m_brush = CachedBrush(m_tools.m_brushColor, ToQtBrushStyle(m_tools.m_brushStyle));
    m_appliedBrush = TAppliedBrush::kNone;
}

void TZemCanvas::ApplyPen(TAppliedPen pen) {
    if (pen == m_appliedPen) {
        return;
    }
    switch (pen) {
    case TAppliedPen::kFlat:
        m_painter->setPen(m_flatPen);
        break;
    case TAppliedPen::kNoPen:
        m_painter->setPen(Qt::NoPen);
        break;
    case TAppliedPen::kPixel:
        m_painter->setPen(m_pixelPen);
        break;
    case TAppliedPen::kSquare:
    case TAppliedPen::kNone:
        m_painter->setPen(m_squarePen);
        pen = TAppliedPen::kSquare;
        break;
    }
    m_appliedPen = pen;
}

void TZemCanvas::ApplyBrush(TAppliedBrush brush) {
    if (brush == m_appliedBrush) {
        return;
    }
    if (brush == TAppliedBrush::kNoBrush) {
        m_painter->setBrush(Qt::NoBrush);
    } else {
        m_painter->setBrush(m_brush);
        brush = TAppliedBrush::kBrush;
    }
    m_appliedBrush = brush;
}

void TZemCanvas::ApplyMode(TZemPenMode mode) {
    if (int(mode) == m_appliedMode) {
        return;
    }
    m_painter->setCompositionMode(ToCompositionMode(mode));
    m_appliedMode = int(mode);
}

void TZemCanvas::ApplyFont() {
    if (!m_fontApplied) {
        m_painter->setFont(m_qfont);
        m_fontApplied = true;
    }
}

void TZemCanvas::SetPen(TZemColor color, int width, TZemPenStyle style, TZemPenMode mode) {
    width = std::max(width, 1);
    m_tools.m_penMode = mode; // applied per drawing call
    if (color == m_tools.m_penColor && width == m_tools.m_penWidth && style == m_tools.m_penStyle) {
        return; // displays set their pens every frame; keep the prepared ones
    }
    m_tools.m_penColor = color;
    m_tools.m_penWidth = width;
    m_tools.m_penStyle = style;
    RebuildPens();
}

void TZemCanvas::SetPenColor(TZemColor color) {
    if (color != m_tools.m_penColor) {
        m_tools.m_penColor = color;
        RebuildPens();
    }
}

void TZemCanvas::SetPenWidth(int width) {
    width = std::max(width, 1);
    if (width != m_tools.m_penWidth) {
        m_tools.m_penWidth = width;
        RebuildPens();
    }
}

void TZemCanvas::SetPenStyle(TZemPenStyle style) {
    if (style != m_tools.m_penStyle) {
        m_tools.m_penStyle = style;
        RebuildPens();
    }
}

void TZemCanvas::SetPenMode(TZemPenMode mode) {
    m_tools.m_penMode = mode; // applied per drawing call
}

void TZemCanvas::SetBrush(TZemColor color, TZemBrushStyle style) {
    if (color == m_tools.m_brushColor && style == m_tools.m_brushStyle) {
        return;
    }
    m_tools.m_brushColor = color;
    m_tools.m_brushStyle = style;
    RebuildBrush();
}

void TZemCanvas::SetBrushColor(TZemColor color) {
    if (color != m_tools.m_brushColor) {
        m_tools.m_brushColor = color;
        RebuildBrush();
    }
}

void TZemCanvas::SetBrushStyle(TZemBrushStyle style) {
    if (style != m_tools.m_brushStyle) {
        m_tools.m_brushStyle = style;
        RebuildBrush();
    }
}

void TZemCanvas::SetFont(const TZemFontDesc& font) {
    if (font == m_tools.m_font) {
        return;
    }
    const TFontEntry& entry = LookupFont(font);
    m_qfont = entry.m_font;
    m_metrics = entry.m_metrics;
    m_tools.m_font = font;
    m_fontApplied = false;
}

void TZemCanvas::SaveTools() {
    m_savedTools.push_back(m_tools);
}

void TZemCanvas::RestoreTools() {
    if (m_savedTools.empty()) {
        return;
    }
    const TTools saved = std::move(m_savedTools.back());
    m_savedTools.pop_back();
    SetFont(saved.m_font);
    m_tools = saved;
    RebuildPens();
    RebuildBrush();
}

const TZemCanvas::TFontEntry& TZemCanvas::LookupFont(const TZemFontDesc& font) const {
    for (const TFontEntry& entry : m_fontCache) {
        if (entry.m_desc == font) {
            return entry;
        }
    }
    if (m_fontCache.size() >= kFontCacheSize) {
        m_fontCache.erase(m_fontCache.begin());
    }
    QFont qfont = ToQFont(font);
    QFontMetrics metrics(qfont);
    m_fontCache.push_back(TFontEntry{font, std::move(qfont), std::move(metrics)});
    return m_fontCache.back();
}

// --- Lines and shapes
// -----------------------------------------------------------------------------

void TZemCanvas::MoveTo(int x, int y) {
    m_penX = x;
    m_penY = y;
}

void TZemCanvas::LineTo(int x, int y) {
    const int x0 = m_penX;
    const int y0 = m_penY;
    m_penX = x;
    m_penY = y;
    if (m_tools.m_penMode == zpmNop || m_tools.m_penStyle == zpsClear || (x == x0 && y == y0)) {
        return;
    }
    ApplyMode(m_tools.m_penMode);
    if (m_tools.m_penWidth > 1) {
        ApplyPen(TAppliedPen::kSquare);
        m_painter->drawLine(x0, y0, x, y);
        return;
    }
    DrawThinLine(x0, y0, x, y);
}

void TZemCanvas::DrawThinLine(int x0, int y0, int x1, int y1) {
    const int64_t dx = int64_t{x1} - x0;
    const int64_t dy = int64_t{y1} - y0;
    const int64_t adx = std::abs(dx);
    const int64_t ady = std::abs(dy);
    if (dx == 0 && dy == 0) {
        return;
    }
    int endX = 0;
    int endY = 0;
    if (dx == 0 || dy == 0 || adx == ady) {
        // Straight and diagonal lines: draw inclusive up to the pixel before the end.
        endX = ClampToInt(x1 - int64_t{Sign(dx)});
        endY = ClampToInt(y1 - int64_t{Sign(dy)});
    } else {
        const bool xMajor = adx > ady;
        const bool endIsLarger = xMajor ? dx > 0 : dy > 0;
        if (endIsLarger) {
            // FlatCap leaves out exactly the end pixel here and keeps Qt's own rasterisation.
            ApplyPen(TAppliedPen::kFlat);
            m_painter->drawLine(x0, y0, x1, y1);
            return;
        }
        // The end has the smaller major coordinate, where FlatCap would drop the start
        // instead: draw inclusive to the line's pixel one major step short of the end.
        if (xMajor) {
            endX = ClampToInt(int64_t{x1} + 1);
            const double minor = double(endX - int64_t{x0}) * double(dy) / double(dx);
            endY = ClampToInt(y0 + std::llround(minor));
        } else {
            endY = ClampToInt(int64_t{y1} + 1);
            const double minor = double(endY - int64_t{y0}) * double(dx) / double(dy);
            endX = ClampToInt(x0 + std::llround(minor));
        }
    }
    ApplyPen(TAppliedPen::kSquare);
    if (endX == x0 && endY == y0) {
        m_painter->drawPoint(x0, y0);
    } else {
        m_painter->drawLine(x0, y0, endX, endY);
    }
}

void TZemCanvas::PolylineInclusive(const QPoint* points, int count) {
    if (points == nullptr || count < 1 || m_tools.m_penMode == zpmNop ||
        m_tools.m_penStyle == zpsClear) {
        return;
    }
    ApplyMode(m_tools.m_penMode);
    if (m_tools.m_penWidth > 1 || m_tools.m_penMode == zpmCopy) {
        // Copy mode may touch a vertex twice, so one polyline call with square ends covers every
        // vertex (FlatCap would drop those that are local maxima of the major coordinate).
        ApplyPen(TAppliedPen::kSquare);
        if (count == 1) {
            m_painter->drawPoint(points[0]);
        } else {
            m_painter->drawPolyline(points, count);
        }
        return;
    }
    // Other raster modes must touch each vertex exactly once: segments without their end pixel,
    // then the last vertex.
    for (int index = 1; index < count; ++index) {
        DrawThinLine(points[index - 1].x(), points[index - 1].y(), points[index].x(),
                     points[index].y());
    }
    ApplyPen(TAppliedPen::kSquare);
    m_painter->drawPoint(points[count - 1]);
}

void TZemCanvas::SetPixel(int x, int y, TZemColor color) {
    if (m_tools.m_penMode == zpmNop) {
        return;
    }
    ApplyMode(m_tools.m_penMode);
    if (!m_pixelPenValid || color != m_pixelPenColor) {
        // Rebuilt only when the colour changes: runs of pixels in one colour share the pen.
        m_pixelPen = CachedPen({color, 1, Qt::SolidLine, Qt::SquareCap});
        m_pixelPenColor = color;
        m_pixelPenValid = true;
        if (m_appliedPen == TAppliedPen::kPixel) {
            m_appliedPen = TAppliedPen::kNone;
        }
    }
    ApplyPen(TAppliedPen::kPixel);
    m_painter->drawPoint(x, y);
}

void TZemCanvas::Rectangle(int left, int top, int right, int bottom) {
    if (m_tools.m_penMode == zpmNop || !NormalizeBox(left, top, right, bottom)) {
        return;
    }
    const bool outline = m_tools.m_penStyle != zpsClear;
    const bool fill = m_tools.m_brushStyle != zbsClear;
    const int width = right - left;
    const int height = bottom - top;
    ApplyMode(m_tools.m_penMode);
    if (!outline) {
        if (fill) {
            ApplyPen(TAppliedPen::kNoPen);
            ApplyBrush(TAppliedBrush::kBrush);
            m_painter->drawRect(left, top, width, height);
        }
        return;
    }
    const int penWidth = m_tools.m_penWidth;
    if (penWidth == 1 && (width <= 2 || height <= 2)) {
        // No interior: the outline covers the whole box.
        ApplyPen(TAppliedPen::kNoPen);
        m_painter->setBrush(CachedBrush(m_tools.m_penColor, Qt::SolidPattern));
        m_appliedBrush = TAppliedBrush::kNone;
        m_painter->drawRect(left, top, width, height);
        return;
    }
    // Interior and outline are drawn separately so that no pixel is touched twice (raster modes).
    if (fill && width > 2 && height > 2) {
        ApplyPen(TAppliedPen::kNoPen);
        ApplyBrush(TAppliedBrush::kBrush);
        m_painter->drawRect(left + 1, top + 1, width - 2, height - 2);
    }
    ApplyPen(TAppliedPen::kSquare);
    ApplyBrush(TAppliedBrush::kNoBrush);
    if (penWidth > 1 && m_tools.m_penStyle == zpsInsideFrame) {
        // The stroke is centred on its path: move the path inwards by half the width so the
        // outline stays inside the box.
        const double inset = penWidth / 2.0;
        m_painter->drawRect(QRectF(left + inset, top + inset, std::max(width - penWidth, 0),
                                   std::max(height - penWidth, 0)));
    } else {
        // A 1-px outline of drawRect(x, y, w, h) covers x..x+w, hence one less.
        m_painter->drawRect(left, top, width - 1, height - 1);
    }
}

void TZemCanvas::Ellipse(int left, int top, int right, int bottom) {
    if (m_tools.m_penMode == zpmNop || !NormalizeBox(left, top, right, bottom)) {
        return;
    }
    const bool outline = m_tools.m_penStyle != zpsClear;
    const bool fill = m_tools.m_brushStyle != zbsClear;
    if (!outline && !fill) {
        return;
    }
    const int width = right - left;
    const int height = bottom - top;
    ApplyMode(m_tools.m_penMode);
    if ((width <= 2 || height <= 2) && (!outline || m_tools.m_penWidth == 1)) {
        // Too small for a curve: the ellipse covers its whole box, in the outline's colour when
        // there is one.
        ApplyPen(TAppliedPen::kNoPen);
        if (outline) {
            m_painter->setBrush(CachedBrush(m_tools.m_penColor, Qt::SolidPattern));
            m_appliedBrush = TAppliedBrush::kNone;
        } else {
            ApplyBrush(TAppliedBrush::kBrush);
        }
        m_painter->drawRect(left, top, width, height);
        return;
    }
    ApplyBrush(fill ? TAppliedBrush::kBrush : TAppliedBrush::kNoBrush);
    // Qt's aliased ellipse lands on whole pixels differently from its rectangles. These
    // fractional boxes were measured to give ink exactly over left..right-1 × top..bottom-1
    // for every size from 3 to 70 pixels, stroked and unstroked.
    if (outline) {
        ApplyPen(TAppliedPen::kSquare);
        m_painter->drawEllipse(QRectF(left + 0.125, top + 0.125, width - 0.625, height - 0.625));
    } else {
        ApplyPen(TAppliedPen::kNoPen);
        m_painter->drawEllipse(QRectF(left - 0.375, top - 0.375, width + 0.75, height + 0.75));
    }
}

void TZemCanvas::Polygon(const QPoint* points, int count) {
    if (points == nullptr || count < 2 || m_tools.m_penMode == zpmNop) {
        return;
    }
    const bool outline = m_tools.m_penStyle != zpsClear;
    const bool fill = m_tools.m_brushStyle != zbsClear;
    if (!outline && !fill) {
        return;
    }
    ApplyMode(m_tools.m_penMode);
    ApplyBrush(fill ? TAppliedBrush::kBrush : TAppliedBrush::kNoBrush);
    ApplyPen(outline ? TAppliedPen::kSquare : TAppliedPen::kNoPen);
    m_painter->drawPolygon(points, count, Qt::OddEvenFill);
}

void TZemCanvas::FillRects(const QRect* rects, int count) {
    if (m_tools.m_brushStyle == zbsClear || count <= 0) {
        return;
    }
    // One painter call for the whole batch: without a pen each rectangle is filled exactly,
    // x … x + w − 1 by y … y + h − 1.
    ApplyMode(zpmCopy);
    ApplyPen(TAppliedPen::kNoPen);
    ApplyBrush(TAppliedBrush::kBrush);
    m_painter->drawRects(rects, count);
}

void TZemCanvas::FillRect(int left, int top, int right, int bottom) {
    const QRect box = BoxRect(left, top, right, bottom);
    if (m_tools.m_brushStyle == zbsClear || box.isEmpty()) {
        return;
    }
    ApplyMode(zpmCopy);
    m_painter->fillRect(box, m_brush);
}

void TZemCanvas::FocusRect(int left, int top, int right, int bottom) {
    const QRect box = BoxRect(left, top, right, bottom);
    if (box.isEmpty()) {
        return;
    }
    // Every perimeter pixel is visited once and inverted when x + y is even, so the dots stay
    // in place whatever the clamping below, and a second call inverts exactly the same pixels.
    // On an unclipped image of our own the pixels are inverted in place: the painter's batched
    // point path would hand the work to its thread pool.
    QImage* image = m_image;
    const bool direct = image != nullptr && !m_hasClip;
    if (!direct) {
        ApplyMode(zpmXor);
        m_painter->setPen(CachedPen({0xFFFFFF, 1, Qt::SolidLine, Qt::SquareCap}));
        m_appliedPen = TAppliedPen::kNone;
    }

    std::array<QPoint, kFocusBatch> batch;
    int batchSize = 0;
    const auto add = [&](int x, int y) {
        if (((int64_t{x} + y) & 1) != 0) {
            return;
        }
        if (direct) {
            if (x >= 0 && y >= 0 && x < image->width() && y < image->height()) {
                auto* line = reinterpret_cast<QRgb*>(image->scanLine(y));
                line[x] ^= 0x00FFFFFFU;
            }
            return;
        }
        batch[std::size_t(batchSize++)] = QPoint(x, y);
        if (batchSize == kFocusBatch) {
            m_painter->drawPoints(batch.data(), batchSize);
            batchSize = 0;
        }
    };
    // Only pixels on the surface matter; clamping keeps the loops short for huge rectangles.
    const int l = box.left();
    const int t = box.top();
    const int r = box.right(); // inclusive
    const int b = box.bottom();
    const int xFrom = std::max(l, 0);
    const int xTo = std::min(r, m_width - 1);
    const int yFrom = std::max(t + 1, 0);
    const int yTo = std::min(b - 1, m_height - 1);
    for (int x = xFrom; x <= xTo; ++x) {
        add(x, t);
        if (b != t) {
            add(x, b);
        }
    }
    for (int y = yFrom; y <= yTo; ++y) {
        add(l, y);
        if (r != l) {
            add(r, y);
        }
    }
    if (batchSize > 0) {
        m_painter->drawPoints(batch.data(), batchSize);
    }
}

// --- Text ---------------------------------------------------------------------------------------

void TZemCanvas::TextOut(int x, int y, const std::string& text) {
    DrawText(x, y, text, 0);
}

void TZemCanvas::TextOutRotated90(int x, int y, const std::string& text) {
    DrawText(x, y, text, -90);
}

void TZemCanvas::TextOutRotated270(int x, int y, const std::string& text) {
    DrawText(x, y, text, 90);
}

void TZemCanvas::DrawText(int x, int y, const std::string& text, int rotation) {
    if (text.empty()) {
        return;
    }
    // The text is drawn from a cached picture of it: laying out a string allocates and costs
    // far more than the blit, and displays draw the same labels frame after frame.
    TTextEntry& entry = TextEntry(m_tools.m_font, text);
    const int slot = rotation == 0 ? 0 : rotation < 0 ? 1 : 2;
    QImage& picture = entry.m_pictures[slot];
    const int width = entry.m_width;
    const int height = m_metrics.height();
    if (picture.isNull() && width > 0 && height > 0) {
        const bool upright = slot == 0;
        picture = QImage(upright ? width : height, upright ? height : width,
                         QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        painter.setFont(m_qfont);
        painter.setPen(ToQColor(m_tools.m_font.m_color));
        if (slot == 1) {
            painter.translate(0, width);
            painter.rotate(-90);
        } else if (slot == 2) {
            painter.translate(height, 0);
            painter.rotate(90);
        }
        painter.drawText(0, m_metrics.ascent(), QString::fromStdString(text));
    }
    // The cell's top-left is (x, y) upright; text rotated counter-clockwise runs up from y with
    // its cells right of x, rotated clockwise it runs down from y with its cells left of x.
    const QRect cell = slot == 0   ? QRect(x, y, width, height)
                       : slot == 1 ? QRect(x, y - width, height, width)
                                   : QRect(x - height, y, height, width);
    ApplyMode(zpmCopy);
    if (m_tools.m_brushStyle == zbsSolid) {
        m_painter->fillRect(cell, ToQColor(m_tools.m_brushColor));
    }
    if (!picture.isNull()) {
        m_painter->drawImage(cell.topLeft(), picture);
    }
}

int TZemCanvas::TextWidth(const std::string& text) const {
    return TextEntry(m_tools.m_font, text).m_width;
}

int TZemCanvas::TextHeight(const std::string& /*text*/) const {
    // Ascent + descent; QFontMetrics::size() would add one more pixel.
    return m_metrics.height();
}

QSize TZemCanvas::TextExtent(const std::string& text) const {
    return {TextWidth(text), m_metrics.height()};
}

int TZemCanvas::TextWidth(const TZemFontDesc& font, const std::string& text) const {
    return TextEntry(font, text).m_width;
}

int TZemCanvas::TextHeight(const TZemFontDesc& font, const std::string& /*text*/) const {
    return MetricsOf(font).height();
}

int TZemCanvas::MeasureTextWidth(const TZemFontDesc& font, const std::string& text) {
    return TextEntry(font, text).m_width;
}

int TZemCanvas::MeasureTextHeight(const TZemFontDesc& font) {
    return MetricsOf(font).height();
}

// --- Clip ---------------------------------------------------------------------------------------

void TZemCanvas::SetClipRect(int left, int top, int right, int bottom) {
    // A single rectangle is kept as such: the painter clips to it without building a region.
    m_clipRect = BoxRect(left, top, right, bottom);
    m_clipIsRect = true;
    m_hasClip = true;
    m_painter->setClipRect(m_clipRect);
}

void TZemCanvas::SetClipRegion(const QRegion& region) {
    m_clip = region;
    m_clipIsRect = false;
    m_hasClip = true;
    m_painter->setClipRegion(m_clip);
}

void TZemCanvas::ClearClip() {
    m_clip = QRegion();
    m_clipIsRect = false;
    m_hasClip = false;
    m_painter->setClipping(false);
}

void TZemCanvas::ExcludeClipRect(int left, int top, int right, int bottom) {
    const QRect excluded = BoxRect(left, top, right, bottom);
    if (excluded.isEmpty()) {
        return;
    }
    SetClipRegion(GetClipRegion().subtracted(QRegion(excluded)));
}

bool TZemCanvas::RectVisible(int left, int top, int right, int bottom) const {
    const QRect box = BoxRect(left, top, right, bottom);
    if (box.isEmpty()) {
        return false;
    }
    if (!m_hasClip) {
        return QRect(0, 0, m_width, m_height).intersects(box);
    }
    return m_clipIsRect ? m_clipRect.intersects(box) : m_clip.intersects(box);
}

QRegion TZemCanvas::GetClipRegion() const {
    if (!m_hasClip) {
        return QRegion(0, 0, m_width, m_height);
    }
    return m_clipIsRect ? QRegion(m_clipRect) : m_clip;
}

// --- Images -------------------------------------------------------------------------------------

void TZemCanvas::StretchImage(const QRect& destination, const QImage& image, const QRect& source,
                              bool smooth) {
    if (image.isNull() || destination.isEmpty() || source.isEmpty()) {
        return;
    }
    ApplyMode(zpmCopy);
    const bool wasSmooth = m_painter->testRenderHint(QPainter::SmoothPixmapTransform);
    m_painter->setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    m_painter->drawImage(QRectF(destination), image, QRectF(source));
    m_painter->setRenderHint(QPainter::SmoothPixmapTransform, wasSmooth);
}

void TZemCanvas::DrawGlyph(int x, int y, const QImage& list, int index) {
    constexpr int kSize = 16;
    if (list.isNull() || index < 0 || list.height() < kSize || index >= list.width() / kSize) {
        return;
    }
    ApplyMode(zpmCopy); // source-over: alpha 0 leaves the pixel below
    m_painter->drawImage(QPoint(x, y), list, QRect(index * kSize, 0, kSize, kSize));
}

// --- Conversions --------------------------------------------------------------------------------

QColor TZemCanvas::ToQColor(TZemColor color) {
    const auto value = static_cast<uint32_t>(color);
    if ((value & 0x80000000u) != 0) {
        const uint32_t index = value & 0x7FFFFFFFu;
        if (index >= kSystemColorRoles.size()) {
            return QColor(0, 0, 0);
        }
        const TSystemColorRole& entry = kSystemColorRoles[index];
        QColor resolved = QGuiApplication::palette().color(entry.m_group, entry.m_role);
        resolved.setAlpha(255); // drawing is opaque; a translucent palette entry would blend
        return resolved;
    }
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

TZemColor TZemCanvas::FromQColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return TZemColor(rgb.red() | (rgb.green() << 8) | (rgb.blue() << 16));
}

QFont TZemCanvas::ToQFont(const TZemFontDesc& font) {
    int pixels = 11;
    if (font.m_height < 0) {
        pixels = font.m_height < -kMaxFontPixels ? kMaxFontPixels : -font.m_height;
    } else if (font.m_height > 0) {
        // A cell height includes the internal leading; the character height is about 85 % of it.
        const int cell = std::min(font.m_height, kMaxFontPixels);
        pixels = std::max(1, int(std::lround(cell * 0.85)));
    }
    QFont result(QString::fromStdString(font.m_name));
    result.setPixelSize(pixels);
    result.setBold(font.m_bold);
    result.setItalic(font.m_italic);
    result.setUnderline(font.m_underline);
    result.setStrikeOut(font.m_strikeOut);
    return result;
}
