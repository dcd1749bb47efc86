#include "display/ZemFonts.h"

TZemFontDesc ZemFontDescOf(const TVokFont& font) {
    TZemFontDesc desc;
    desc.m_name = font.GetName();
    desc.m_height = font.GetHeight();
    desc.m_color = font.GetColor();
    desc.m_bold = font.GetStyle().Contains(fsBold);
    desc.m_italic = font.GetStyle().Contains(fsItalic);
    desc.m_underline = font.GetStyle().Contains(fsUnderline);
    desc.m_strikeOut = font.GetStyle().Contains(fsStrikeOut);
    return desc;
}

int ZemTextWidth(const TVokFont& font, const std::string& text) {
    return TZemCanvas::MeasureTextWidth(ZemFontDescOf(font), text);
}

int ZemTextHeight(const TVokFont& font, const std::string& /*text*/) {
    return TZemCanvas::MeasureTextHeight(ZemFontDescOf(font));
}
