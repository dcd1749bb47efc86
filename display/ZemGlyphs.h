#pragma once

// The 16×16 glyphs of the display toolbars, drawn as character art and recoloured per toolbar.

#include "display/ZemCanvas.h"

#include <QImage>

#include <array>

/// Number of toolbar glyphs and their edge length in pixels.
inline constexpr int kZemGlyphCount = 11, kZemGlyphSize = 16;

/// The template art of glyph `index` (0 play, 1 pause, 2 zoom in, 3 zoom out, 4 zoom reset,
/// 5 printer, 6 disk, 7 copy, 8 wrench, 9 zoom back, 10 zoom forward): 16 rows of 16 characters,
/// where 'W' is the symbol, 'B' the button border, 'a' the blend between symbol and button face,
/// 'K' the button face and '.' transparent. Throws std::out_of_range for any other index.
const std::array<const char*, 16>& ZemGlyphArt(int index);

/// One recoloured glyph list: a Format_ARGB32 image of 176×16 holding the 11 glyphs side by side.
/// 'W' becomes `glyph`, 'B' `border`, 'K' `button`, 'a' the per-channel average of glyph and
/// button (sum halved, truncated), all opaque; '.' becomes alpha 0. Transparency lives only in
/// alpha, so no colour choice can make a glyph pixel vanish. System colours resolve through the
/// application palette at the time of the call. GUI thread only.
QImage ZemBuildGlyphList(TZemColor glyph, TZemColor button, TZemColor border);
