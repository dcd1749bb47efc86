#pragma once

// Font, pen and brush: the drawing attributes a display or control publishes as sub-objects
// (`Font.Height = -13`, `Points.Pen.Width = 3`). They only hold values; the GUI side turns them
// into its own drawing objects. A component owns each of them and exposes it with
// `TVokProp::Object("Font", &T::GetFont)`; the form reader fills it in place.
//
// Threads: like the component that owns them, these objects belong to one thread (the GUI
// thread for displays); nothing here locks.

#include "pins/VokPersistent.h"
#include "pins/VokProperties.h"
#include "pins/VokSet.h"

#include <cstdint>
#include <functional>
#include <string>

/// Called after a setter or `Assign` changed at least one value, once per call; never when
/// the values stayed the same. The owner repaints or re-lays out. Exceptions it throws reach
/// the caller of the setter, with the new value already in place.
using TVokChangeHandler = std::function<void()>;

enum TVokFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TVokFontStyles = TVokSet<TVokFontStyle>;

/// A font: character set, colour, height, face name and style.
///
/// A font is stored whole: the writer writes all five properties even at their defaults (they
/// are marked `AlwaysStored`), so a description always says exactly which font it means,
/// whatever font an owner starts with.
class TVokFont : public TVokPersistent, public IVokPublished {
  public:
    /// "MS Sans Serif", height -11, colour clWindowText, no style, DEFAULT_CHARSET.
    TVokFont();
    /// A font with these values and DEFAULT_CHARSET, e.g. `TVokFont("Arial", -11, kVokClWhite)`.
    TVokFont(std::string name, int32_t height, TVokColor color, TVokFontStyles style = {});

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokCharset GetCharset() const { return m_charset; }
    void SetCharset(TVokCharset charset);
    TVokColor GetColor() const { return m_color; }
    void SetColor(TVokColor color);
    /// Negative: the character height in pixels (without internal leading); positive: the
    /// cell height in pixels. Zero lets the GUI side pick its default size.
    int32_t GetHeight() const { return m_height; }
    void SetHeight(int32_t height);
    /// The face name; the GUI side substitutes a similar face when it has no such font.
    const std::string& GetName() const { return m_name; }
    void SetName(const std::string& name);
    TVokFontStyles GetStyle() const { return m_style; }
    void SetStyle(TVokFontStyles style);

    /// Takes all values of `source`; the change handler runs once if any value changed.
    void Assign(const TVokFont& source);
    /// As above for a `TVokFont` source; any other class is refused as by `TVokPersistent`.
    void Assign(const TVokPersistent* source) override;

    /// Installs the handler called after a change (replacing any earlier one; empty: none).
    void SetOnChange(TVokChangeHandler handler) { m_onChange = std::move(handler); }

    /// Equal values; the change handlers are not compared.
    friend bool operator==(const TVokFont& a, const TVokFont& b);

  private:
    void Changed();

    TVokCharset m_charset = kVokDefaultCharset;
    TVokColor m_color = kVokClWindowText;
    int32_t m_height = -11;
    std::string m_name = "MS Sans Serif";
    TVokFontStyles m_style;
    TVokChangeHandler m_onChange;
};

/// How a pen's colour combines with what is already drawn.
enum TVokPenMode : uint8_t {
    pmBlack,
    pmWhite,
    pmNop,
    pmNot,
    pmCopy,
    pmNotCopy,
    pmMergePenNot,
    pmMaskPenNot,
    pmMergeNotPen,
    pmMaskNotPen,
    pmMerge,
    pmNotMerge,
    pmMask,
    pmNotMask,
    pmXor,
    pmNotXor,
};

enum TVokPenStyle : uint8_t {
    psSolid,
    psDash,
    psDot,
    psDashDot,
    psDashDotDot,
    psClear,
    psInsideFrame,
};

/// A pen: colour, mix mode, line style and width in pixels.
///
/// `Color` is always stored, `Mode`, `Style` and `Width` only when they differ from their
/// defaults. Owners often start a pen with a colour of their own (a red trace), so the class
/// default says nothing about what the owner holds; storing the colour every time keeps a
/// description exact without per-instance defaults. The other values rarely differ.
class TVokPen : public TVokPersistent, public IVokPublished {
  public:
    /// `width` below 1 becomes 1.
    explicit TVokPen(TVokColor color = kVokClBlack, int32_t width = 1, TVokPenStyle style = psSolid,
                     TVokPenMode mode = pmCopy);

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokColor GetColor() const { return m_color; }
    void SetColor(TVokColor color);
    TVokPenMode GetMode() const { return m_mode; }
    void SetMode(TVokPenMode mode);
    TVokPenStyle GetStyle() const { return m_style; }
    void SetStyle(TVokPenStyle style);
    /// The line width in pixels, at least 1.
    int32_t GetWidth() const { return m_width; }
    /// Values below 1 become 1.
    void SetWidth(int32_t width);

    /// Takes all values of `source`; the change handler runs once if any value changed.
    void Assign(const TVokPen& source);
    /// As above for a `TVokPen` source; any other class is refused as by `TVokPersistent`.
    void Assign(const TVokPersistent* source) override;

    /// Installs the handler called after a change (replacing any earlier one; empty: none).
    void SetOnChange(TVokChangeHandler handler) { m_onChange = std::move(handler); }

    /// Equal values; the change handlers are not compared.
    friend bool operator==(const TVokPen& a, const TVokPen& b);

  private:
    void Changed();

    TVokColor m_color;
    TVokPenMode m_mode;
    TVokPenStyle m_style;
    int32_t m_width;
    TVokChangeHandler m_onChange;
};

enum TVokBrushStyle : uint8_t {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross,
};

/// A brush: fill colour and pattern. `Color` is always stored (for the reason given at
/// `TVokPen`), `Style` only when it is not bsSolid.
class TVokBrush : public TVokPersistent, public IVokPublished {
  public:
    explicit TVokBrush(TVokColor color = kVokClWhite, TVokBrushStyle style = bsSolid);

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokColor GetColor() const { return m_color; }
    void SetColor(TVokColor color);
    TVokBrushStyle GetStyle() const { return m_style; }
    void SetStyle(TVokBrushStyle style);

    /// Takes all values of `source`; the change handler runs once if any value changed.
    void Assign(const TVokBrush& source);
    /// As above for a `TVokBrush` source; any other class is refused as by `TVokPersistent`.
    void Assign(const TVokPersistent* source) override;

    /// Installs the handler called after a change (replacing any earlier one; empty: none).
    void SetOnChange(TVokChangeHandler handler) { m_onChange = std::move(handler); }

    /// Equal values; the change handlers are not compared.
    friend bool operator==(const TVokBrush& a, const TVokBrush& b);

  private:
    void Changed();

    TVokColor m_color;
    TVokBrushStyle m_style;
    TVokChangeHandler m_onChange;
};
