// The toolbar glyph art and its recolouring into glyph lists.
#include "display/ZemGlyphs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <stdexcept>
#include <string>

namespace {

/// The pixel `ZemBuildGlyphList` must produce for template character `code`.
QRgb Expected(char code, QRgb glyph, QRgb button, QRgb border) {
    switch (code) {
    case 'W':
        return glyph;
    case 'K':
        return button;
    case 'B':
        return border;
    case 'a':
        return qRgb((qRed(glyph) + qRed(button)) / 2, (qGreen(glyph) + qGreen(button)) / 2,
                    (qBlue(glyph) + qBlue(button)) / 2);
    default:
        return 0; // transparent
    }
}

struct TColorCase {
    TZemColor m_glyph;
    TZemColor m_button;
    TZemColor m_border;
};

class GlyphListTest : public testing::TestWithParam<TColorCase> {};

TEST_P(GlyphListTest, EveryPixelFollowsItsTemplateCharacter) {
    const TColorCase& colors = GetParam();
    const QImage list = ZemBuildGlyphList(colors.m_glyph, colors.m_button, colors.m_border);
    ASSERT_EQ(list.size(), QSize(176, 16));
    ASSERT_EQ(list.format(), QImage::Format_ARGB32);
    const QRgb glyph = TZemCanvas::ToQColor(colors.m_glyph).rgb();
    const QRgb button = TZemCanvas::ToQColor(colors.m_button).rgb();
    const QRgb border = TZemCanvas::ToQColor(colors.m_border).rgb();
    for (int index = 0; index < kZemGlyphCount; ++index) {
        const auto& art = ZemGlyphArt(index);
        for (int y = 0; y < kZemGlyphSize; ++y) {
            for (int x = 0; x < kZemGlyphSize; ++x) {
                const char code = art[std::size_t(y)][x];
                const QRgb pixel = list.pixel(index * kZemGlyphSize + x, y);
                // Transparency is alpha alone, whatever the colours.
                ASSERT_EQ(qAlpha(pixel), code == '.' ? 0 : 255)
                    << "glyph " << index << " at " << x << "," << y;
                if (code != '.') {
                    ASSERT_EQ(pixel, Expected(code, glyph, button, border))
                        << "glyph " << index << " '" << code << "' at " << x << "," << y;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Colors, GlyphListTest,
    testing::Values(TColorCase{0xFFFFFF, 0x000000, 0x808080},
                    // odd channel sums: (0x01 + 0x02) / 2 truncates to 0x01, and so on
                    TColorCase{0x7F0301, 0x800402, 0x00FFFF},
                    // glyph and button equal: '.' pixels still stay transparent
                    TColorCase{0x000000, 0x000000, 0x000000},
                    TColorCase{TZemColor(0x8000000F), TZemColor(0x80000008), 0x123456}));

TEST(GlyphListTest, AverageTruncatesOddSums) {
    const QImage list = ZemBuildGlyphList(0x030303, 0x000000, 0x000000);
    const auto& art = ZemGlyphArt(0);
    for (int y = 0; y < kZemGlyphSize; ++y) {
        const char* found = std::strchr(art[std::size_t(y)], 'a');
        if (found != nullptr) {
            EXPECT_EQ(list.pixel(int(found - art[std::size_t(y)]), y), qRgb(1, 1, 1));
            return;
        }
    }
    FAIL() << "the play glyph has no blended pixel";
}

class GlyphArtTest : public testing::TestWithParam<int> {};

TEST_P(GlyphArtTest, IsABorderedButtonWithAVisibleSymbol) {
    const auto& art = ZemGlyphArt(GetParam());
    int symbolPixels = 0;
    for (int y = 0; y < kZemGlyphSize; ++y) {
        const std::string row = art[std::size_t(y)];
        ASSERT_EQ(row.size(), std::size_t(kZemGlyphSize)) << "row " << y;
        ASSERT_EQ(row.find_first_not_of("WBaK."), std::string::npos) << "row " << y;
        for (int x = 0; x < kZemGlyphSize; ++x) {
            const bool edge = x == 0 || y == 0 || x == kZemGlyphSize - 1 || y == kZemGlyphSize - 1;
            const bool corner =
                (x == 0 || x == kZemGlyphSize - 1) && (y == 0 || y == kZemGlyphSize - 1);
            // A grey frame with transparent (rounded) corners around an opaque face.
            const char expected = corner ? '.' : (edge ? 'B' : '\0');
            if (expected != '\0') {
                EXPECT_EQ(row[std::size_t(x)], expected) << x << "," << y;
            } else {
                EXPECT_EQ(std::string("KWa").find(row[std::size_t(x)]) != std::string::npos, true)
                    << "interior " << x << "," << y << " is '" << row[std::size_t(x)] << "'";
            }
            symbolPixels += row[std::size_t(x)] == 'W' ? 1 : 0;
        }
    }
    EXPECT_GE(symbolPixels, 10);
}

INSTANTIATE_TEST_SUITE_P(AllGlyphs, GlyphArtTest, testing::Range(0, kZemGlyphCount));

TEST(GlyphArtTest, GlyphsDifferAndBadIndicesAreRefused) {
    std::set<std::string> distinct;
    for (int index = 0; index < kZemGlyphCount; ++index) {
        std::string all;
        for (const char* row : ZemGlyphArt(index)) {
            all += row;
        }
        distinct.insert(all);
    }
    EXPECT_EQ(distinct.size(), std::size_t(kZemGlyphCount));
    EXPECT_THROW(ZemGlyphArt(-1), std::out_of_range);
    EXPECT_THROW(ZemGlyphArt(kZemGlyphCount), std::out_of_range);
}

} // namespace
