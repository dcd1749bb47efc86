#include "display/ZemGlyphs.h"

#include <stdexcept>
#include <string>

namespace {

using TArt = std::array<const char*, kZemGlyphSize>;

// Our own toolbar art: each glyph is a square button (grey frame, face, rounded by transparent
// corners) with a white symbol, softened with 'a' where edges run diagonally.
const std::array<TArt, kZemGlyphCount> kArt = {{
    // 0 play
    TArt{
        ".BBBBBBBBBBBBBB.",
        "BKKKKKKKKKKKKKKB",
        "BKKKKKKKKKKKKKKB",
        "BKKKKaKKKKKKKKKB",
        "BKKKKWWaKKKKKKKB",
        "BKKKKWWWWaKKKKKB",
        "BKKKKWWWWWWaKKKB",
        "BKKKKWWWWWWWWaKB",
        "BKKKKWWWWWWWWaKB",
        "BKKKKWWWWWWaKKKB",
        "BKKKKWWWWaKKKKKB",
        "BKKKKWWaKKKKKKKB",
        "BKKKKaKKKKKKKKKB",
        "BKKKKKKKKKKKKKKB",
        "BKKKKKKKKKKKKKKB",
        ".BBBBBBBBBBBBBB.",
    },
    // 1 pause
    TArt{
        ".BBBBBBBBBBBBBB.",
        "BKKKKKKKKKKKKKKB",
        "BKKKKKKKKKKKKKKB",
        "BKKKKKKKKKKKKKKB",
        "BKKKWWWKKWWWKKKB",
        "BKKKWWWKKWWWKKKB",
        "BKKKWWWKKWWWKKKB",
        "BKKKWWWKKWWWKKKB",
        "BKKKWWWKKWWWKKKB",
        "BKKKWWWKKWWWKKKB",
        "BKKKWWWKKWWWKKKB",
        "BKKKWWWKKWWWKKKB",
        "BKKKWWWKKWWWKKKB",
        "BKKKKKKKKKKKKKKB",
        "BKKKKKKKKKKKKKKB",
        ".BBBBBBBBBBBBBB.",
    },
    // 2 zoom in
    TArt{
        ".BBBBBBBBBBBBBB.",
        "BKKKKKKKKKKKKKKB",
        "BKKKaWWWaKKKKKKB",
        "BKKaWKKKWaKKKKKB",
        "BKaWKKWKKWaKKKKB",
        "BKWKKKWKKKWKKKKB",
        "BKWKWWWWWKWKKKKB",
        "BKWKKKWKKKWKKKKB",
        "BKaWKKWKKWaKKKKB",
        "BKKaWKKKWWaKKKKB",
        "BKKKaWWWaWWWKKKB",
        "BKKKKKKKKKWWWKKB",
        "BKKKKKKKKKKWWWKB",
        "BKKKKKKKKKKKWWaB",
        "BKKKKKKKKKKKKaKB",
        ".BBBBBBBBBBBBBB.",
    },
    // 3 zoom out
    TArt{
        ".BBBBBBBBBBBBBB.",
        "BKKKKKKKKKKKKKKB",
        "BKKKaWWWaKKKKKKB",
        "BKKaWKKKWaKKKKKB",
        "BKaWKKKKKWaKKKKB",
        "BKWKKKKKKKWKKKKB",
        "BKWKWWWWWKWKKKKB",
        "BKWKKKKKKKWKKKKB",
        "BKaWKKKKKWaKKKKB",
        "BKKaWKKKWWaKKKKB",
        "BKKKaWWWaWWWKKKB",
        "BKKKKKKKKKWWWKKB",
        "BKKKKKKKKKKWWWKB",
        "BKKKKKKKKKKKWWaB",
        "BKKKKKKKKKKKKaKB",
        ".BBBBBBBBBBBBBB.",
    },
    // 4 zoom reset
    TArt{
        ".BBBBBBBBBBBBBB.",
        "BKKKKKKKKKKKKKKB",
        "BKKKaWWWaKKKKKKB",
        "BKKaWKKKWaKKKKKB",
        "BKaWKKKKKWaKKKKB",
        "BKWKKWWWKKWKKKKB",
        "BKWKKWWWKKWKKKKB",
        "BKWKKWWWKKWKKKKB",
        "BKaWKKKKKWaKKKKB",
        "BKKaWKKKWWaKKKKB",
        "BKKKaWWWaWWWKKKB",
        "BKKKKKKKKKWWWKKB",
        "BKKKKKKKKKKWWWKB",
        "BKKKKKKKKKKKWWaB",
        "BKKKKKKKKKKKKaKB",
        ".BBBBBBBBBBBBBB.",
    },
    // 5 printer
    TArt{
        ".BBBBBBBBBBBBBB.",
        "BKKKKKKKKKKKKKKB",
        "BKKKWWWWWWWWKKKB",
        "BKKKWKKKKKKWKKKB",
        "BKKKWKWWWWKWKKKB",
        "BKKKWKKKKKKWKKKB",
        "BKaWWWWWWWWWWaKB",
        "BKWWWWWWWWWWWWKB",
        "BKWWWWWWWWWKKWKB",
        "BKWWWWWWWWWWWWKB",
        "BKWWKKKKKKKKWWKB",
        "BKaWKWWWWWWKWaKB",
        "BKKKKWKKKKWKKKKB",
        "BKKKKWWWWWWKKKKB",
        "BKKKKKKKKKKKKKKB",
        ".BBBBBBBBBBBBBB.",
    },
    // 6 disk
    TArt{
        ".BBBBBBBBBBBBBB.",
        "BKKKKKKKKKKKKKKB",
        "BKWWWKKKKKKWaKKB",
        "BKWWWKKKKWKWWaKB",
        "BKWWWKKKKWKWWWKB",
        "BKWWWKKKKKKWWWKB",
        "BKWWWWWWWWWWWWKB",
        "BKWWWWWWWWWWWWKB",
        "BKWWKKKKKKKKWWKB",
        "BKWWKWWWWWWKWWKB",
        "BKWWKKKKKKKKWWKB",
        "BKWWKWWWWWWKWWKB",
        "BKWWKKKKKKKKWWKB",
        "BKaWWWWWWWWWWaKB",
        "BKKKKKKKKKKKKKKB",
        ".BBBBBBBBBBBBBB.",
    },
    // 7 copy
    TArt{
        ".BBBBBBBBBBBBBB.",
        "BKKKKKKKKKKKKKKB",
        "BKWWWWWWWKKKKKKB",
        "BKWKKKKKWKKKKKKB",
        "BKWKWWWKWKKKKKKB",
        "BKWKKKKWWWWWWWKB",
        "BKWKWWWWKKKKKWKB",
        "BKWKKKKWKWWWKWKB",
        "BKWKWWWWKKKKKWKB",
        "BKWKKKKWKWWWKWKB",
        "BKWWWWWWKKKKKWKB",
        "BKKKKKKWKWWWKWKB",
        "BKKKKKKWKKKKKWKB",
        "BKKKKKKWWWWWWWKB",
        "BKKKKKKKKKKKKKKB",
        ".BBBBBBBBBBBBBB.",
    },
    // 8 wrench
    TArt{
        ".BBBBBBBBBBBBBB.",
        "BKKKKKKKKKKKKKKB",
        "BKKKKKKKKaWWaKKB",
        "BKKKKKKKaWWaKKKB",
        "BKKKKKKKWWaKKaKB",
        "BKKKKKKKWWKKaWKB",
        "BKKKKKKKWWaaWWKB",
        "BKKKKKKaWWWWWaKB",
        "BKKKKKaWWWWWaKKB",
        "BKKKKaWWWaKKKKKB",
        "BKKKaWWWaKKKKKKB",
        "BKKaWWWaKKKKKKKB",
        "BKaWWWaKKKKKKKKB",
        "BKWWWaKKKKKKKKKB",
        "BKaWaKKKKKKKKKKB",
        ".BBBBBBBBBBBBBB.",
    },
    // 9 zoom back
    TArt{
        ".BBBBBBBBBBBBBB.",
        "BKKKKKKKKKKKKKKB",
        "BKKKaWWWaKKKKKKB",
        "BKKaWKKKWaKKKKKB",
        "BKaWKKWKKWaKKKKB",
        "BKWKKWaKKKWKKKKB",
        "BKWKWWWWWKWKKKKB",
        "BKWKKWaKKKWKKKKB",
        "BKaWKKWKKWaKKKKB",
        "BKKaWKKKWWaKKKKB",
        "BKKKaWWWaWWWKKKB",
        "BKKKKKKKKKWWWKKB",
        "BKKKKKKKKKKWWWKB",
        "BKKKKKKKKKKKWWaB",
        "BKKKKKKKKKKKKaKB",
        ".BBBBBBBBBBBBBB.",
    },
    // 10 zoom forward
    TArt{
        ".BBBBBBBBBBBBBB.",
        "BKKKKKKKKKKKKKKB",
        "BKKKaWWWaKKKKKKB",
        "BKKaWKKKWaKKKKKB",
        "BKaWKKWKKWaKKKKB",
        "BKWKKKaWKKWKKKKB",
        "BKWKWWWWWKWKKKKB",
        "BKWKKKaWKKWKKKKB",
        "BKaWKKWKKWaKKKKB",
        "BKKaWKKKWWaKKKKB",
        "BKKKaWWWaWWWKKKB",
        "BKKKKKKKKKWWWKKB",
        "BKKKKKKKKKKWWWKB",
        "BKKKKKKKKKKKWWaB",
        "BKKKKKKKKKKKKaKB",
        ".BBBBBBBBBBBBBB.",
    },
}};

} // namespace

const std::array<const char*, 16>& ZemGlyphArt(int index) {
    if (index < 0 || index >= kZemGlyphCount) {
        throw std::out_of_range("ZemGlyphArt: glyph index " + std::to_string(index) +
                                " is outside 0.." + std::to_string(kZemGlyphCount - 1));
    }
    return kArt[std::size_t(index)];
}

QImage ZemBuildGlyphList(TZemColor glyph, TZemColor button, TZemColor border) {
    const QColor glyphColor = TZemCanvas::ToQColor(glyph);
    const QColor buttonColor = TZemCanvas::ToQColor(button);
    const QColor borderColor = TZemCanvas::ToQColor(border);
    const QRgb blend = qRgb((glyphColor.red() + buttonColor.red()) / 2,
                            (glyphColor.green() + buttonColor.green()) / 2,
                            (glyphColor.blue() + buttonColor.blue()) / 2);

    QImage list(kZemGlyphCount * kZemGlyphSize, kZemGlyphSize, QImage::Format_ARGB32);
    for (int index = 0; index < kZemGlyphCount; ++index) {
        const TArt& art = kArt[std::size_t(index)];
        for (int row = 0; row < kZemGlyphSize; ++row) {
            auto* line = reinterpret_cast<QRgb*>(list.scanLine(row)) + index * kZemGlyphSize;
            for (int column = 0; column < kZemGlyphSize; ++column) {
                QRgb pixel = qRgba(0, 0, 0, 0); // '.' and anything unknown stay transparent
                switch (art[std::size_t(row)][column]) {
                case 'W':
                    pixel = glyphColor.rgb();
                    break;
                case 'B':
                    pixel = borderColor.rgb();
                    break;
                case 'K':
                    pixel = buttonColor.rgb();
                    break;
                case 'a':
                    pixel = blend;
                    break;
                default:
                    break;
                }
                line[column] = pixel;
            }
        }
    }
    return list;
}
