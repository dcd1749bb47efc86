#include "display/ZemFonts.h"

TZemFontSpec ZemFontSpecOf(const TVokFont& font) {
    TZemFontSpec spec;
    spec.m_name = font.GetName();
    spec.m_height = font.GetHeight();
    spec.m_color = font.GetColor();
    spec.m_bold = font.GetStyle().Contains(fsBold);
    spec.m_italic = font.GetStyle().Contains(fsItalic);
    spec.m_underline = font.GetStyle().Contains(fsUnderline);
    spec.m_strikeOut = font.GetStyle().Contains(fsStrikeOut);
    return spec;
}

int ZemTextWidth(const TVokFont& font, const std::string& text) {
    return TZemCanvas::MeasureTextWidth(ZemFontSpecOf(font), text);
}

int ZemTextHeight(const TVokFont& font, const std::string& /*text*/) {
    return TZemCanvas::MeasureTextHeight(ZemFontSpecOf(font));
}
