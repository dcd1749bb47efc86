#pragma once

// The drawing surface every display draws through: integer pixel coordinates with the origin at
// the top-left, right and bottom edges exclusive, line ends left out, pen raster modes and
// top-left text placement, mapped onto QPainter drawing into a QImage (or onto a printer's
// painter). Only the GUI thread uses a canvas.

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// A colour as stored in forms and properties: 0x00BBGGRR (red in the low byte). With the high
/// bit set (0x80000000 | index, index 0..24) it names a system colour that resolves through the
/// application palette.
using TZemColor = int32_t;

/// Outline styles. The numeric order is shared with the published pen properties.
enum TZemPenStyle : uint8_t {
    zpsSolid,
    zpsDash,
    zpsDot,
    zpsDashDot,
    zpsDashDotDot,
    zpsClear,
    zpsInsideFrame
};

/// Raster modes that combine the pen (and the brush of filled shapes) with the pixels below.
/// The numeric order is shared with the published pen properties.
enum TZemPenMode : uint8_t {
    zpmBlack,
    zpmWhite,
    zpmNop,
    zpmNot,
    zpmCopy,
    zpmNotCopy,
    zpmMergePenNot,
    zpmMaskPenNot,
    zpmMergeNotPen,
    zpmMaskNotPen,
    zpmMerge,
    zpmNotMerge,
    zpmMask,
    zpmNotMask,
    zpmXor,
    zpmNotXor
};

/// Fill styles; hatches draw their lines only (transparent background). The numeric order is
/// shared with the published brush properties.
enum TZemBrushStyle : uint8_t {
    zbsSolid,
    zbsClear,
    zbsHorizontal,
    zbsVertical,
    zbsFDiagonal,
    zbsBDiagonal,
    zbsCross,
    zbsDiagCross
};

/// A font as forms store it.
struct TZemFontDesc {
    /// Face name; resolved through the system's font matching ("Arial" → a metric-compatible face).
    std::string m_name = "Arial";
    /// Negative: character height in pixels. Positive: cell height in pixels. 0: 11 pixels.
    int m_height = -11;
    /// Text colour (0x00BBGGRR or a system colour).
    TZemColor m_color = 0xFFFFFF;
    bool m_bold = false;
    bool m_italic = false;
    bool m_underline = false;
    bool m_strikeOut = false;

    bool operator==(const TZemFontDesc&) const = default;
};

/// The drawing surface displays draw on. All coordinates are device pixels; rectangles given as
/// (left, top, right, bottom) cover left..right-1 × top..bottom-1. No antialiasing is used except
/// for text. Not thread safe: one thread (the GUI thread) per canvas.
class TZemCanvas {
  public:
    /// Draws into `image`, which must be non-null and in Format_RGB32, Format_ARGB32 or
    /// Format_ARGB32_Premultiplied; the image must outlive the canvas and must not be resized
    /// while the canvas exists. Throws std::invalid_argument otherwise, naming the format found.
    explicit TZemCanvas(QImage& image);
    /// Draws onto any paint device through an existing, active painter (printing). The painter is
    /// not owned; its state is saved here and restored by the destructor. `width` and `height`
    /// give the drawing area in the painter's coordinates (negative values count as 0).
    /// Throws std::invalid_argument when the painter is not active.
    TZemCanvas(QPainter& painter, int width, int height);
    ~TZemCanvas();

    TZemCanvas(const TZemCanvas&) = delete;
    TZemCanvas& operator=(const TZemCanvas&) = delete;

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    /// The painter underneath, for pixel images (the waterfall). A caller may change pen, brush,
    /// font and composition mode freely (the canvas re-applies its own tools on its next call),
    /// but must leave the transform and the clip as it found them.
    QPainter& GetPainter();

    // --- Tools -----------------------------------------------------------------------------
    /// Sets the whole pen. A width below 1 counts as 1; widths above 1 draw round ends and joins.
    void SetPen(TZemColor color, int width = 1, TZemPenStyle style = zpsSolid,
                TZemPenMode mode = zpmCopy);
    void SetPenColor(TZemColor color);
    void SetPenWidth(int width);
    void SetPenStyle(TZemPenStyle style);
    void SetPenMode(TZemPenMode mode);
    TZemColor GetPenColor() const { return m_tools.m_penColor; }
    int GetPenWidth() const { return m_tools.m_penWidth; }
    TZemPenStyle GetPenStyle() const { return m_tools.m_penStyle; }
    TZemPenMode GetPenMode() const { return m_tools.m_penMode; }

    void SetBrush(TZemColor color, TZemBrushStyle style = zbsSolid);
    void SetBrushColor(TZemColor color);
    void SetBrushStyle(TZemBrushStyle style);
    TZemColor GetBrushColor() const { return m_tools.m_brushColor; }
    TZemBrushStyle GetBrushStyle() const { return m_tools.m_brushStyle; }

    void SetFont(const TZemFontDesc& font);
    const TZemFontDesc& GetFont() const { return m_tools.m_font; }

    /// Pushes pen, brush and font (not the clip, not the current position) on a small stack.
    void SaveTools();
    /// Pops what the matching SaveTools pushed; does nothing when the stack is empty.
    void RestoreTools();

    // --- Lines and shapes ----------------------------------------------------------------------
    /// Sets the current position without drawing.
    void MoveTo(int x, int y);
    /// Line from the current position to (x, y) with the pen; the end pixel is never drawn and a
    /// zero-length line draws nothing (so chained lines touch every vertex once). The current
    /// position becomes (x, y). Wide pens draw a round-ended stroke that does cover the end.
    void LineTo(int x, int y);
    /// Polyline through `count` points with the pen, every vertex including the last one drawn.
    /// A 1-px pen in copy mode takes one QPainter call; a 1-px pen in another mode draws each
    /// vertex exactly once (so XOR twice restores). A null pointer or count < 1 draws nothing.
    void PolylineInclusive(const QPoint* points, int count);
    /// Sets one pixel to `color` like a 1-px pen point: respects the clip and the pen mode.
    void SetPixel(int x, int y, TZemColor color);
    /// Outline with the pen over left..right-1 × top..bottom-1, the interior filled with the
    /// brush. With a clear pen the brush fills the whole box. Swapped corners are put in order.
    void Rectangle(int left, int top, int right, int bottom);
    /// Ellipse inscribed in left..right-1 × top..bottom-1, outlined with the pen and filled with
    /// the brush. Swapped corners are put in order.
    void Ellipse(int left, int top, int right, int bottom);
    /// Closed polygon through `count` points, filled with the brush (odd-even rule) and outlined
    /// with the pen through every vertex. A null pointer or count < 2 draws nothing.
    void Polygon(const QPoint* points, int count);
    /// Fills left..right-1 × top..bottom-1 with the brush, no outline; nothing for a clear brush
    /// or an empty rectangle (right <= left or bottom <= top). The pen mode does not apply: the
    /// brush is always copied.
    /// Fills each rectangle (x … x + w − 1 by y … y + h − 1) with the brush, in one call; for
    /// many rectangles of one colour (bars). Rectangles must be normalised.
    void FillRects(const QRect* rects, int count);
    void FillRect(int left, int top, int right, int bottom);
    /// Dotted rectangle outline over left..right-1 × top..bottom-1 that inverts the pixels it
    /// touches (XOR with white), so drawing it twice restores them. Ignores the tools.
    void FocusRect(int left, int top, int right, int bottom);

    // --- Text ------------------------------------------------------------------------------
    /// Draws `text` (UTF-8) in the font colour with its cell's top-left at (x, y). With a solid
    /// brush the cell (advance × font height) is first filled with the brush colour; with any
    /// other brush the background shows through. The pen mode does not apply to text.
    void TextOut(int x, int y, const std::string& text);
    /// Text rotated 90° counter-clockwise: it starts at (x, y) and runs upward; the glyph cells
    /// lie to the right of x (x .. x + font height). Background as for TextOut.
    void TextOutRotated90(int x, int y, const std::string& text);
    /// Text rotated 90° clockwise: it starts at (x, y) and runs downward; the glyph cells lie to
    /// the left of x (x - font height .. x). Background as for TextOut.
    void TextOutRotated270(int x, int y, const std::string& text);
    /// Advance width of `text` in the current font, in pixels.
    int TextWidth(const std::string& text) const;
    /// Line height (ascent + descent) of the current font, in pixels; the same for every text.
    int TextHeight(const std::string& text) const;
    /// (TextWidth, TextHeight) of `text`.
    QSize TextExtent(const std::string& text) const;
    /// TextWidth in another font, without changing the current one.
    int TextWidth(const TZemFontDesc& font, const std::string& text) const;
    /// TextHeight in another font, without changing the current one.
    int TextHeight(const TZemFontDesc& font, const std::string& text) const;

    // --- Clip ------------------------------------------------------------------------------
    /// Restricts drawing to left..right-1 × top..bottom-1 (an empty rectangle hides everything).
    void SetClipRect(int left, int top, int right, int bottom);
    void SetClipRegion(const QRegion& region);
    /// Removes the clip: the whole surface is drawable again.
    void ClearClip();
    /// Removes left..right-1 × top..bottom-1 from the clip (from the whole surface when unclipped).
    void ExcludeClipRect(int left, int top, int right, int bottom);
    /// Whether left..right-1 × top..bottom-1 meets the drawable area.
    bool RectVisible(int left, int top, int right, int bottom) const;
    /// The drawable area; the whole surface when there is no clip.
    QRegion GetClipRegion() const;

    // --- Images ------------------------------------------------------------------------------
    /// Draws `image`'s `source` rectangle stretched over `destination` (QRect: width × height
    /// pixels from its top-left); `smooth` selects bilinear filtering, otherwise nearest pixel.
    /// Empty rectangles or a null image draw nothing.
    void StretchImage(const QRect& destination, const QImage& image, const QRect& source,
                      bool smooth);
    /// Draws glyph `index` of a glyph list (16×16 cells side by side, ARGB32, alpha =
    /// coverage) with its top-left at (x, y). An index outside the list draws nothing.
    void DrawGlyph(int x, int y, const QImage& list, int index);

    // --- Conversions ---------------------------------------------------------------------------
    /// The Qt colour of `color`; system colours resolve through the application palette, unknown
    /// system colour indices give black.
    static QColor ToQColor(TZemColor color);
    /// 0x00BBGGRR of `color` (alpha dropped).
    static TZemColor FromQColor(const QColor& color);
    /// The Qt font of `font` in pixel sizes (see TZemFontDesc::m_height).
    static QFont ToQFont(const TZemFontDesc& font);
    /// Text width and height (ascent + descent) in `font` without a surface, through the same
    /// caches the canvas draws from. GUI thread only.
    static int MeasureTextWidth(const TZemFontDesc& font, const std::string& text);
    static int MeasureTextHeight(const TZemFontDesc& font);

  private:
    /// Everything SaveTools/RestoreTools keeps.
    struct TTools {
        TZemColor m_penColor = 0;
        int m_penWidth = 1;
        TZemPenStyle m_penStyle = zpsSolid;
        TZemPenMode m_penMode = zpmCopy;
        TZemColor m_brushColor = 0xFFFFFF;
        TZemBrushStyle m_brushStyle = zbsSolid;
        TZemFontDesc m_font;
    };

    /// One measured font.
    struct TFontEntry {
        TZemFontDesc m_desc;
        QFont m_font;
        QFontMetrics m_metrics;
    };

    /// Which of the canvas's prepared pens is set on the painter.
    enum class TAppliedPen : uint8_t { kNone, kSquare, kFlat, kNoPen, kPixel };
    /// Which brush is set on the painter.
    enum class TAppliedBrush : uint8_t { kNone, kBrush, kNoBrush };

    void InitPainter();
    void RebuildPens();
    void RebuildBrush();
    void ApplyPen(TAppliedPen pen);
    void ApplyBrush(TAppliedBrush brush);
    void ApplyMode(TZemPenMode mode);
    void ApplyFont();
    void ForgetPainterState();
    /// Draws the 1-px line from (x0, y0) to (x1, y1) leaving out the end pixel.
    void DrawThinLine(int x0, int y0, int x1, int y1);
    void DrawText(int x, int y, const std::string& text, int rotation);
    const TFontEntry& LookupFont(const TZemFontDesc& font) const;

    std::optional<QPainter> m_ownedPainter;
    QPainter* m_painter = nullptr;
    int m_width = 0;
    int m_height = 0;

    TTools m_tools;
    std::vector<TTools> m_savedTools;
    int m_penX = 0;
    int m_penY = 0;

    // Prepared Qt tools, rebuilt only when a tool changes so drawing calls copy a shared pen.
    QPen m_squarePen;
    QPen m_flatPen;
    QBrush m_brush;
    QPen m_pixelPen; ///< SetPixel's pen, in m_pixelPenColor
    TZemColor m_pixelPenColor = 0;
    bool m_pixelPenValid = false;
    QFont m_qfont;
    QFontMetrics m_metrics;

    // What is currently set on the painter, so unchanged tools are not set again.
    TAppliedPen m_appliedPen = TAppliedPen::kNone;
    TAppliedBrush m_appliedBrush = TAppliedBrush::kNone;
    bool m_fontApplied = false;
    int m_appliedMode = -1;

    /// The image drawn into, when the canvas was made on one (null on a painter).
    QImage* m_image = nullptr;
    bool m_hasClip = false;
    /// The clip is the single rectangle m_clipRect (else the region m_clip).
    bool m_clipIsRect = false;
    QRect m_clipRect;
    QRegion m_clip;

    /// Fonts measured through this canvas (small, oldest dropped first).
    mutable std::vector<TFontEntry> m_fontCache;
};
