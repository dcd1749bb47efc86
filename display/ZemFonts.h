#pragma once

#include "display/ZemCanvas.h"
#include "pins/VokGraphicsObjects.h"

#include <string>

/// The drawing description of a published font.
TZemFontDesc ZemFontDescOf(const TVokFont& font);
/// Text width and height (ascent + descent) in `font`, for layout outside drawing. GUI thread.
int ZemTextWidth(const TVokFont& font, const std::string& text);
int ZemTextHeight(const TVokFont& font, const std::string& text);
