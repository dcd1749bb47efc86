#include "pins/VokGraphicsObjects.h"

#include <algorithm>
#include <utility>

namespace {

/// Stores `value` in `field`; true when that changed it.
template <class V> bool Update(V& field, const V& value) {
    if (field == value) {
        return false;
    }
    field = value;
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TVokFont

TVokFont::TVokFont() = default;

TVokFont::TVokFont(std::string name, int32_t height, TVokColor color, TVokFontStyles style)
    : m_color(color), m_height(height), m_name(std::move(name)), m_style(style) {
}

const TVokClassInfo& TVokFont::ClassInfo() {
    using T = TVokFont;
    // Every property is always stored: a font is written whole (see the class comment).
    static const TVokClassInfo info(
        "TVokFont", nullptr, nullptr,
        {
            TVokProp::Charset("Charset", &T::GetCharset, &T::SetCharset, kVokDefaultCharset)
                .AlwaysStored(),
            TVokProp::Color("Color", &T::GetColor, &T::SetColor, kVokClWindowText).AlwaysStored(),
            TVokProp::Integer("Height", &T::GetHeight, &T::SetHeight, -11).AlwaysStored(),
            TVokProp::String("Name", &T::GetName, &T::SetName, "MS Sans Serif").AlwaysStored(),
            TVokProp::Set("Style", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"},
                          &T::GetStyle, &T::SetStyle, TVokFontStyles{})
                .AlwaysStored(),
        });
    return info;
}

void TVokFont::SetCharset(TVokCharset charset) {
    if (Update(m_charset, charset)) {
        Changed();
    }
}

void TVokFont::SetColor(TVokColor color) {
    if (Update(m_color, color)) {
        Changed();
    }
}

void TVokFont::SetHeight(int32_t height) {
    if (Update(m_height, height)) {
        Changed();
    }
}

void TVokFont::SetName(const std::string& name) {
    if (Update(m_name, name)) {
        Changed();
    }
}

void TVokFont::SetStyle(TVokFontStyles style) {
    if (Update(m_style, style)) {
        Changed();
    }
}

void TVokFont::Assign(const TVokFont& source) {
    // Each Update comes first in its "||" so every field is copied.
    bool changed = Update(m_charset, source.m_charset);
    changed = Update(m_color, source.m_color) || changed;
    changed = Update(m_height, source.m_height) || changed;
    changed = Update(m_name, source.m_name) || changed;
    changed = Update(m_style, source.m_style) || changed;
    if (changed) {
        Changed();
    }
}

void TVokFont::Assign(const TVokPersistent* source) {
    if (const auto* font = dynamic_cast<const TVokFont*>(source)) {
        Assign(*font);
    } else {
        TVokPersistent::Assign(source);
    }
}

bool operator==(const TVokFont& a, const TVokFont& b) {
    return a.m_charset == b.m_charset && a.m_color == b.m_color && a.m_height == b.m_height &&
           a.m_name == b.m_name && a.m_style == b.m_style;
}

void TVokFont::Changed() {
    if (m_onChange) {
        m_onChange();
    }
}

// ---------------------------------------------------------------------------------------------
// TVokPen

TVokPen::TVokPen(TVokColor color, int32_t width, TVokPenStyle style, TVokPenMode mode)
    : m_color(color), m_mode(mode), m_style(style), m_width(std::max(width, 1)) {
}

const TVokClassInfo& TVokPen::ClassInfo() {
    using T = TVokPen;
    // Color is always stored, the rest only when not default (see the class comment).
    static const TVokClassInfo info(
        "TVokPen", nullptr, nullptr,
        {
            TVokProp::Color("Color", &T::GetColor, &T::SetColor, kVokClBlack).AlwaysStored(),
            TVokProp::Enum("Mode",
                           {"pmBlack", "pmWhite", "pmNop", "pmNot", "pmCopy", "pmNotCopy",
                            "pmMergePenNot", "pmMaskPenNot", "pmMergeNotPen", "pmMaskNotPen",
                            "pmMerge", "pmNotMerge", "pmMask", "pmNotMask", "pmXor", "pmNotXor"},
                           &T::GetMode, &T::SetMode, pmCopy),
            TVokProp::Enum("Style",
                           {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear",
                            "psInsideFrame"},
                           &T::GetStyle, &T::SetStyle, psSolid),
            TVokProp::Integer("Width", &T::GetWidth, &T::SetWidth, 1),
        });
    return info;
}

void TVokPen::SetColor(TVokColor color) {
    if (Update(m_color, color)) {
        Changed();
    }
}

void TVokPen::SetMode(TVokPenMode mode) {
    if (Update(m_mode, mode)) {
        Changed();
    }
}

void TVokPen::SetStyle(TVokPenStyle style) {
    if (Update(m_style, style)) {
        Changed();
    }
}

void TVokPen::SetWidth(int32_t width) {
    if (Update(m_width, std::max(width, 1))) {
        Changed();
    }
}

void TVokPen::Assign(const TVokPen& source) {
    // Each Update comes first in its "||" so every field is copied.
    bool changed = Update(m_color, source.m_color);
    changed = Update(m_mode, source.m_mode) || changed;
    changed = Update(m_style, source.m_style) || changed;
    changed = Update(m_width, source.m_width) || changed;
    if (changed) {
        Changed();
    }
}

void TVokPen::Assign(const TVokPersistent* source) {
    if (const auto* pen = dynamic_cast<const TVokPen*>(source)) {
        Assign(*pen);
    } else {
        TVokPersistent::Assign(source);
    }
}

bool operator==(const TVokPen& a, const TVokPen& b) {
    return a.m_color == b.m_color && a.m_mode == b.m_mode && a.m_style == b.m_style &&
           a.m_width == b.m_width;
}

void TVokPen::Changed() {
    if (m_onChange) {
        m_onChange();
    }
}

// ---------------------------------------------------------------------------------------------
// TVokBrush

TVokBrush::TVokBrush(TVokColor color, TVokBrushStyle style) : m_color(color), m_style(style) {
}

const TVokClassInfo& TVokBrush::ClassInfo() {
    using T = TVokBrush;
    // Color is always stored, Style only when not default (see TVokPen's class comment).
    static const TVokClassInfo info(
        "TVokBrush", nullptr, nullptr,
        {
            TVokProp::Color("Color", &T::GetColor, &T::SetColor, kVokClWhite).AlwaysStored(),
            TVokProp::Enum("Style",
                           {"bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal",
                            "bsBDiagonal", "bsCross", "bsDiagCross"},
                           &T::GetStyle, &T::SetStyle, bsSolid),
        });
    return info;
}

void TVokBrush::SetColor(TVokColor color) {
    if (Update(m_color, color)) {
        Changed();
    }
}

void TVokBrush::SetStyle(TVokBrushStyle style) {
    if (Update(m_style, style)) {
        Changed();
    }
}

void TVokBrush::Assign(const TVokBrush& source) {
    // Each Update comes first in its "||" so every field is copied.
    bool changed = Update(m_color, source.m_color);
    changed = Update(m_style, source.m_style) || changed;
    if (changed) {
        Changed();
    }
}

void TVokBrush::Assign(const TVokPersistent* source) {
    if (const auto* brush = dynamic_cast<const TVokBrush*>(source)) {
        Assign(*brush);
    } else {
        TVokPersistent::Assign(source);
    }
}

bool operator==(const TVokBrush& a, const TVokBrush& b) {
    return a.m_color == b.m_color && a.m_style == b.m_style;
}

void TVokBrush::Changed() {
    if (m_onChange) {
        m_onChange();
    }
}
