// Integer properties with identifiers (colours, cursors, charsets) and the font, pen and brush
// sub-objects, through the form reader and writer.

#include "FormTestSupport.h"

#include "pins/VokGraphicsObjects.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

using namespace formtest;

namespace {

/// Stands for a display: a colour, a cursor, a plain integer, a font, a pen that starts red
/// (its class default is black) and a brush.
class TGraphicsTest : public TVokComponent {
  public:
    explicit TGraphicsTest(TVokComponent* owner) : TVokComponent(owner) {}
    static const TVokClassInfo& ClassInfo() {
        using T = TGraphicsTest;
        static const TVokClassInfo info(
            "TGraphicsTestComponent", &TVokComponent::ClassInfo(), TVokClassInfo::FactoryOf<T>,
            {
                TVokProp::Color("Color", &T::m_color, &T::m_color, kVokClWhite),
                TVokProp::Cursor("Cursor", &T::m_cursor, &T::m_cursor, kVokCrDefault),
                TVokProp::Integer("Count", &T::m_count, &T::m_count, 0),
                TVokProp::Object("Font", &T::GetFont),
                TVokProp::Object("Pen", &T::GetPen),
                TVokProp::Object("Brush", &T::GetBrush),
            });
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokFont* GetFont() const { return m_font.get(); }
    TVokPen* GetPen() const { return m_pen.get(); }
    TVokBrush* GetBrush() const { return m_brush.get(); }

    TVokColor m_color = kVokClWhite;
    TVokCursor m_cursor = kVokCrDefault;
    int32_t m_count = 0;
    std::unique_ptr<TVokFont> m_font = std::make_unique<TVokFont>();
    std::unique_ptr<TVokPen> m_pen = std::make_unique<TVokPen>(kVokClRed);
    std::unique_ptr<TVokBrush> m_brush = std::make_unique<TVokBrush>();
};

/// The value of the property at the dotted `path` ("Font.Height"), walking sub-objects.
TVokValue ValueAt(const TVokPersistent* object, const std::string& path) {
    size_t start = 0;
    for (size_t dot = path.find('.'); dot != std::string::npos; dot = path.find('.', start)) {
        object = std::get<TVokPersistent*>(
            ClassInfoOf(object)->GetValue(object, path.substr(start, dot - start)));
        start = dot + 1;
    }
    return ClassInfoOf(object)->GetValue(object, path.substr(start));
}

class GraphicsPropertiesTest : public FormFixture {
  protected:
    void SetUp() override {
        FormFixture::SetUp();
        RegisterVokClass(TGraphicsTest::ClassInfo());
    }

    /// A window holding one `Graphics1` whose assignments are `lines` (line 3 onwards).
    static std::string Describe(const std::vector<std::string>& lines) {
        std::string text = "object Form1: TFormTestForm\n"
                           "  object Graphics1: TGraphicsTestComponent\n";
        for (const std::string& line : lines) {
            text += "    " + line + "\n";
        }
        return text + "  end\nend\n";
    }

    static std::unique_ptr<TVokComponent> Read(const std::string& text) {
        return TVokFormReader("graphics.form").Read(text);
    }

    static TGraphicsTest& Graphics(TVokComponent& root) {
        auto* graphics = dynamic_cast<TGraphicsTest*>(root.FindComponent("Graphics1"));
        if (graphics == nullptr) {
            throw std::logic_error("the description has no Graphics1");
        }
        return *graphics;
    }
};

// ---- reading and writing single values ----------------------------------------------------

struct TValueCase {
    const char* m_assignment;
    const char* m_path;
    TVokValue m_expected;
    /// The line the writer must give back, or null when the value must not be written.
    const char* m_written;
};

void PrintTo(const TValueCase& value, std::ostream* out) {
    *out << value.m_assignment;
}

class GraphicsValueTest : public GraphicsPropertiesTest,
                          public ::testing::WithParamInterface<TValueCase> {};

TEST_P(GraphicsValueTest, ReadsNumbersAndIdentifiersAndWritesTheIdentifierWhenOneFits) {
    const TValueCase& c = GetParam();
    std::unique_ptr<TVokComponent> form = Read(Describe({c.m_assignment}));
    EXPECT_EQ(ValueAt(&Graphics(*form), c.m_path), c.m_expected);

    const std::string written = TVokFormWriter().Write(*form);
    if (c.m_written != nullptr) {
        EXPECT_NE(written.find("\n    " + std::string(c.m_written) + "\n"), std::string::npos)
            << written;
    } else {
        EXPECT_EQ(written.find("\n    " + std::string(c.m_path) + " = "), std::string::npos)
            << written;
    }
}

int64_t Int(int64_t value) {
    return value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, GraphicsValueTest,
    ::testing::Values(
        TValueCase{"Color = clRed", "Color", Int(0x0000FF), "Color = clRed"},
        TValueCase{"Color = 16711680", "Color", Int(0xFF0000), "Color = clBlue"},
        TValueCase{"Color = 1193046", "Color", Int(0x123456), "Color = 1193046"},
        TValueCase{"Color = clBtnFace", "Color", Int(kVokClBtnFace), "Color = clBtnFace"},
        TValueCase{"Color = -2147483647", "Color", Int(VokSystemColor(1)), "Color = clBackground"},
        TValueCase{"Color = clNone", "Color", Int(kVokClNone), "Color = clNone"},
        TValueCase{"Color = clWhite", "Color", Int(kVokClWhite), nullptr},
        TValueCase{"Cursor = crVSplit", "Cursor", Int(-15), "Cursor = crVSplit"},
        TValueCase{"Cursor = crSize", "Cursor", Int(-22), "Cursor = crSizeAll"},
        TValueCase{"Cursor = -21", "Cursor", Int(-21), "Cursor = crHandPoint"},
        TValueCase{"Cursor = 5", "Cursor", Int(5), "Cursor = 5"},
        TValueCase{"Count = 255", "Count", Int(255), "Count = 255"},
        TValueCase{"Font.Charset = DEFAULT_CHARSET", "Font.Charset", Int(1),
                   "Font.Charset = DEFAULT_CHARSET"},
        TValueCase{"Font.Charset = 204", "Font.Charset", Int(204),
                   "Font.Charset = RUSSIAN_CHARSET"},
        TValueCase{"Font.Color = clWhite", "Font.Color", Int(kVokClWhite), "Font.Color = clWhite"},
        TValueCase{"Font.Height = -13", "Font.Height", Int(-13), "Font.Height = -13"},
        TValueCase{"Font.Name = 'Arial'", "Font.Name", std::string("Arial"), "Font.Name = 'Arial'"},
        TValueCase{"Font.Style = [fsBold]", "Font.Style", TVokSetValue{{"fsBold"}},
                   "Font.Style = [fsBold]"},
        TValueCase{"Font.Style = [fsStrikeOut, fsItalic]", "Font.Style",
                   TVokSetValue{{"fsItalic", "fsStrikeOut"}},
                   "Font.Style = [fsItalic, fsStrikeOut]"},
        TValueCase{"Pen.Width = 3", "Pen.Width", Int(3), "Pen.Width = 3"},
        TValueCase{"Pen.Width = 0", "Pen.Width", Int(1), nullptr},
        TValueCase{"Pen.Color = clLime", "Pen.Color", Int(kVokClLime), "Pen.Color = clLime"},
        TValueCase{"Pen.Color = clBlack", "Pen.Color", Int(kVokClBlack), "Pen.Color = clBlack"},
        TValueCase{"Pen.Style = psDash", "Pen.Style", TVokEnumValue{"psDash"},
                   "Pen.Style = psDash"},
        TValueCase{"Pen.Mode = pmXor", "Pen.Mode", TVokEnumValue{"pmXor"}, "Pen.Mode = pmXor"},
        TValueCase{"Brush.Color = clLime", "Brush.Color", Int(kVokClLime), "Brush.Color = clLime"},
        TValueCase{"Brush.Style = bsClear", "Brush.Style", TVokEnumValue{"bsClear"},
                   "Brush.Style = bsClear"}));

// ---- whole objects --------------------------------------------------------------------------

TEST_F(GraphicsPropertiesTest, FontIsWrittenWholeAndColoursAlwaysEvenAtDefaults) {
    std::unique_ptr<TVokComponent> form = Read(Describe({}));
    EXPECT_EQ(TVokFormWriter().Write(*form), "object Form1: TFormTestForm\n"
                                             "  object Graphics1: TGraphicsTestComponent\n"
                                             "    Font.Charset = DEFAULT_CHARSET\n"
                                             "    Font.Color = clWindowText\n"
                                             "    Font.Height = -11\n"
                                             "    Font.Name = 'MS Sans Serif'\n"
                                             "    Font.Style = []\n"
                                             "    Pen.Color = clRed\n"
                                             "    Brush.Color = clWhite\n"
                                             "  end\n"
                                             "end\n");
}

TEST_F(GraphicsPropertiesTest, RoundTripKeepsEveryValue) {
    const std::string text = Describe({
        "Color = clBtnFace",
        "Cursor = crHandPoint",
        "Count = 12",
        "Font.Charset = RUSSIAN_CHARSET",
        "Font.Color = clWhite",
        "Font.Height = -13",
        "Font.Name = 'Arial'",
        "Font.Style = [fsBold, fsUnderline]",
        "Pen.Color = clBlack", // the class default, but not this pen's initial colour
        "Pen.Mode = pmNotXor",
        "Pen.Style = psDot",
        "Pen.Width = 4",
        "Brush.Color = 1193046",
        "Brush.Style = bsDiagCross",
    });
    std::unique_ptr<TVokComponent> form = Read(text);
    const std::string written = TVokFormWriter().Write(*form);
    EXPECT_EQ(written, text);

    std::unique_ptr<TVokComponent> again = Read(written);
    const TGraphicsTest& first = Graphics(*form);
    const TGraphicsTest& second = Graphics(*again);
    EXPECT_EQ(second.m_color, kVokClBtnFace);
    EXPECT_EQ(second.m_cursor, kVokCrHandPoint);
    EXPECT_EQ(second.m_count, 12);
    EXPECT_EQ(*second.m_font, *first.m_font);
    TVokFont font("Arial", -13, kVokClWhite, TVokFontStyles{fsBold, fsUnderline});
    font.SetCharset(204);
    EXPECT_EQ(*second.m_font, font);
    EXPECT_EQ(*second.m_pen, TVokPen(kVokClBlack, 4, psDot, pmNotXor));
    EXPECT_EQ(*second.m_brush, TVokBrush(0x123456, bsDiagCross));
}

// ---- errors ---------------------------------------------------------------------------------

struct TErrorCase {
    const char* m_assignment;
    std::vector<std::string> m_fragments;
};

void PrintTo(const TErrorCase& value, std::ostream* out) {
    *out << value.m_assignment;
}

class GraphicsErrorTest : public GraphicsPropertiesTest,
                          public ::testing::WithParamInterface<TErrorCase> {};

TEST_P(GraphicsErrorTest, BadValueFailsAtTheValueNamingTheProperty) {
    const TErrorCase& c = GetParam();
    const std::string assignment = c.m_assignment;
    try {
        Read(Describe({assignment}));
        FAIL() << "no error for " << assignment;
    } catch (const EVokFormError& error) {
        EXPECT_EQ(error.GetFileName(), "graphics.form");
        EXPECT_EQ(error.GetPosition().m_line, 3) << error.what();
        // The value starts two columns after '=', and assignments are indented by four.
        EXPECT_EQ(error.GetPosition().m_column, static_cast<int>(assignment.find('=')) + 7)
            << error.what();
        for (const std::string& fragment : c.m_fragments) {
            EXPECT_NE(error.GetMessage().find(fragment), std::string::npos)
                << "'" << fragment << "' missing from: " << error.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Errors, GraphicsErrorTest,
    ::testing::Values(
        TErrorCase{
            "Color = clPinkish",
            {"TGraphicsTestComponent.Color", "'clPinkish'", "an integer or one of", "clBlack"}},
        TErrorCase{"Cursor = clRed", {"TGraphicsTestComponent.Cursor", "'clRed'", "crDefault"}},
        TErrorCase{"Count = clRed",
                   {"TGraphicsTestComponent.Count", "expects an integer", "identifier 'clRed'"}},
        TErrorCase{"Font.Color = 'red'", {"TVokFont.Color", "an integer or an identifier"}},
        TErrorCase{"Font.Charset = 300", {"TVokFont.Charset", "300", "out of range"}},
        TErrorCase{"Color = 4294967295", {"TGraphicsTestComponent.Color", "out of range"}},
        TErrorCase{"Pen.Style = psWavy", {"TVokPen.Style", "psWavy"}}));

// ---- the tables -------------------------------------------------------------------------------

TEST(GraphicsIdentifiersTest, TablesAndSystemColours) {
    for (TVokIdentifiers table :
         {VokColorIdentifiers(), VokCharsetIdentifiers(), VokCursorIdentifiers()}) {
        std::set<std::string> names;
        for (const TVokIdentifier& identifier : table) {
            EXPECT_TRUE(names.insert(identifier.m_name).second) << identifier.m_name;
            EXPECT_EQ(VokIdentToInteger(table, identifier.m_name), identifier.m_value);
            EXPECT_TRUE(IsFormIdentifier(VokIntegerToIdent(table, identifier.m_value)));
        }
    }
    EXPECT_EQ(VokColorIdentifiers().size(), 47U);
    EXPECT_EQ(VokCharsetIdentifiers().size(), 19U);
    EXPECT_EQ(VokIdentToInteger(VokColorIdentifiers(), "clred"), std::nullopt);

    EXPECT_EQ(kVokClBtnFace, static_cast<TVokColor>(0x8000000F));
    EXPECT_TRUE(VokIsSystemColor(kVokClBtnFace));
    EXPECT_EQ(VokSystemColorIndex(kVokClBtnFace), 15);
    EXPECT_EQ(VokSystemColorIndex(*VokIdentToInteger(VokColorIdentifiers(), "clInfoBk")), 24);
    for (TVokColor plain : {kVokClRed, kVokClWhite, kVokClNone, kVokClDefault}) {
        EXPECT_FALSE(VokIsSystemColor(plain)) << plain;
        EXPECT_EQ(VokSystemColorIndex(plain), -1) << plain;
    }

    const TVokClassInfo& info = TGraphicsTest::ClassInfo();
    EXPECT_EQ(info.GetProperty("Color").GetIdentifiers().data(), VokColorIdentifiers().data());
    EXPECT_TRUE(info.GetProperty("Count").GetIdentifiers().empty());
    EXPECT_THROW(TVokProp::String("Caption", &TForm::m_caption, &TForm::m_caption)
                     .WithIdentifiers(VokColorIdentifiers()),
                 std::invalid_argument);
}

// ---- change notification ----------------------------------------------------------------------

TEST(GraphicsObjectsTest, ChangeHandlerRunsOncePerRealChange) {
    struct TObjects {
        TVokFont m_font;
        TVokPen m_pen;
        TVokBrush m_brush;
    } objects;
    int fontCalls = 0;
    int penCalls = 0;
    int brushCalls = 0;
    objects.m_font.SetOnChange([&] { ++fontCalls; });
    objects.m_pen.SetOnChange([&] { ++penCalls; });
    objects.m_brush.SetOnChange([&] { ++brushCalls; });

    struct TStep {
        const char* m_what;
        std::function<void(TObjects&)> m_action;
        int m_font;
        int m_pen;
        int m_brush;
    };
    const TVokFont whiteArial("Arial", -11, kVokClWhite);
    const TVokFont defaultFont;
    const std::vector<TStep> steps = {
        {"same height", [](TObjects& o) { o.m_font.SetHeight(-11); }, 0, 0, 0},
        {"new height", [](TObjects& o) { o.m_font.SetHeight(-13); }, 1, 0, 0},
        {"new style", [](TObjects& o) { o.m_font.SetStyle({fsBold}); }, 1, 0, 0},
        {"same name", [](TObjects& o) { o.m_font.SetName("MS Sans Serif"); }, 0, 0, 0},
        {"assign three changes", [&](TObjects& o) { o.m_font.Assign(whiteArial); }, 1, 0, 0},
        {"assign equal", [&](TObjects& o) { o.m_font.Assign(&whiteArial); }, 0, 0, 0},
        {"assign default", [&](TObjects& o) { o.m_font.Assign(&defaultFont); }, 1, 0, 0},
        {"width 0 stays 1", [](TObjects& o) { o.m_pen.SetWidth(0); }, 0, 0, 0},
        {"width 3", [](TObjects& o) { o.m_pen.SetWidth(3); }, 0, 1, 0},
        {"width -5 becomes 1", [](TObjects& o) { o.m_pen.SetWidth(-5); }, 0, 1, 0},
        {"same pen colour", [](TObjects& o) { o.m_pen.SetColor(kVokClBlack); }, 0, 0, 0},
        {"new mode", [](TObjects& o) { o.m_pen.SetMode(pmXor); }, 0, 1, 0},
        {"assign pen", [](TObjects& o) { o.m_pen.Assign(TVokPen(kVokClRed, 2)); }, 0, 1, 0},
        {"same brush colour", [](TObjects& o) { o.m_brush.SetColor(kVokClWhite); }, 0, 0, 0},
        {"new brush style", [](TObjects& o) { o.m_brush.SetStyle(bsClear); }, 0, 0, 1},
        {"assign brush", [](TObjects& o) { o.m_brush.Assign(TVokBrush()); }, 0, 0, 1},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.m_what);
        const int font = fontCalls;
        const int pen = penCalls;
        const int brush = brushCalls;
        step.m_action(objects);
        EXPECT_EQ(fontCalls - font, step.m_font);
        EXPECT_EQ(penCalls - pen, step.m_pen);
        EXPECT_EQ(brushCalls - brush, step.m_brush);
    }
    EXPECT_EQ(objects.m_font, defaultFont);
    EXPECT_EQ(objects.m_pen, TVokPen(kVokClRed, 2, psSolid, pmCopy));
    EXPECT_EQ(objects.m_brush, TVokBrush());
    EXPECT_EQ(TVokPen(kVokClRed, 0).GetWidth(), 1);
    EXPECT_THROW(objects.m_font.Assign(&objects.m_pen), std::invalid_argument);
}

} // namespace
