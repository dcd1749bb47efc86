#include "FormTestSupport.h"

#include "pins/VokFormText.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace formtest;

namespace {

class FormReaderTest : public FormFixture {
  protected:
    std::unique_ptr<TVokComponent> Read(const std::string& text) {
        TVokFormReader reader("main.form");
        return reader.Read(text);
    }
    template <class T> T* Find(TVokComponent& root, const char* name) {
        auto* component = dynamic_cast<T*>(root.FindComponent(name));
        EXPECT_NE(component, nullptr) << name;
        return component;
    }
};

// ---- the notation ----------------------------------------------------------------------------

TEST(FormTextTest, ParsesEveryValueKindWithPositions) {
    const TVokFormObject root = VokParseForm("// a comment\n"
                                             "object F: TF\n"
                                             "  A.B = Form1.X._Pin0 // trailing comment\n"
                                             "  S = 'it''s'#13#10'ok'\n"
                                             "  I = -42\n"
                                             "  R = 1.5e-3\n"
                                             "  L = (a 'b' (c) nil)\n"
                                             "  M = [x, y]\n"
                                             "  E = []\n"
                                             "  C = <item V = 1 end item end>\n"
                                             "  object G: TG end\n"
                                             "end\n",
                                             "t.form");
    EXPECT_EQ(root.m_name, "F");
    EXPECT_EQ(root.m_className, "TF");
    EXPECT_EQ(root.m_position.m_line, 2);
    ASSERT_EQ(root.m_assignments.size(), 8U);
    ASSERT_EQ(root.m_children.size(), 1U);
    EXPECT_EQ(root.m_order.back(), std::make_pair(true, size_t{0}));
    const auto& path = root.m_assignments[0];
    EXPECT_EQ(path.m_path, "A.B");
    EXPECT_EQ(path.GetValue().m_text, "Form1.X._Pin0");
    EXPECT_EQ(path.GetValue().m_position.m_line, 3);
    EXPECT_EQ(path.GetValue().m_position.m_column, 9);
    EXPECT_EQ(root.m_assignments[1].GetValue().m_text, "it's\r\nok");
    EXPECT_EQ(root.m_assignments[2].GetValue().m_integer, -42);
    EXPECT_DOUBLE_EQ(root.m_assignments[3].GetValue().m_float, 1.5e-3);
    const TVokFormValue& list = root.m_assignments[4].GetValue();
    ASSERT_EQ(list.m_kind, fvList);
    ASSERT_EQ(list.m_items.size(), 4U);
    EXPECT_EQ(list.m_items[2].m_kind, fvList);
    EXPECT_EQ(root.m_assignments[5].GetValue().m_items.size(), 2U);
    EXPECT_TRUE(root.m_assignments[6].GetValue().m_items.empty());
    const TVokFormValue& collection = root.m_assignments[7].GetValue();
    ASSERT_EQ(collection.m_collection.size(), 2U);
    EXPECT_EQ(collection.m_collection[0].m_assignments[0].m_path, "V");
}

TEST(FormTextTest, StringsAndFloatsWriteBackExactly) {
    for (const std::string& text : {std::string(""), std::string("it's"), std::string("a\tb\n"),
                                    std::string("\x01'\x7f"), std::string("Pin [0]")}) {
        const std::string written = VokFormatFormString(text);
        const TVokFormObject root = VokParseForm("object F: TF S = " + written + " end", "t");
        EXPECT_EQ(root.m_assignments[0].GetValue().m_text, text) << written;
    }
    for (double value : {0.0, 520.0, 21500.0, 0.1, -1.25e-300, 1e21, 123456789.125, 500000.0, 1e-4,
                         9.999999999999998e15, 1e16, -0.0}) {
        const std::string written = VokFormatFormFloat(value);
        const TVokFormObject root = VokParseForm("object F: TF R = " + written + " end", "t");
        EXPECT_EQ(root.m_assignments[0].GetValue().m_kind, fvFloat) << written;
        EXPECT_EQ(root.m_assignments[0].GetValue().m_float, value) << written;
    }
    EXPECT_EQ(VokFormatFormFloat(520.0), "520.0");
    EXPECT_EQ(VokFormatFormFloat(500000.0), "500000.0");
    EXPECT_EQ(VokFormatFormFloat(1e21), "1e+21");
    EXPECT_EQ(VokFormatFormString("it's"), "'it''s'");
    EXPECT_EQ(VokFormatFormString("a\nb"), "'a'#10'b'");
}

struct TSyntaxCase {
    const char* m_text;
    int m_line;
    int m_column;
    const char* m_message;
};

class FormSyntaxErrorTest : public ::testing::TestWithParam<TSyntaxCase> {};

TEST_P(FormSyntaxErrorTest, NamesPositionFoundAndExpected) {
    const TSyntaxCase& c = GetParam();
    try {
        VokParseForm(c.m_text, "bad.form");
        FAIL() << "no error for: " << c.m_text;
    } catch (const EVokFormError& error) {
        EXPECT_EQ(error.GetPosition().m_line, c.m_line) << error.what();
        EXPECT_EQ(error.GetPosition().m_column, c.m_column) << error.what();
        EXPECT_NE(error.GetMessage().find(c.m_message), std::string::npos) << error.what();
        const std::string prefix =
            "bad.form:" + std::to_string(c.m_line) + ":" + std::to_string(c.m_column) + ": ";
        EXPECT_EQ(std::string(error.what()).rfind(prefix, 0), 0U) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormSyntaxErrorTest,
    ::testing::Values(
        TSyntaxCase{"", 1, 1, "found end of file, expected 'object'"},
        TSyntaxCase{"object F: TF\n  S = 'abc\nend\n", 2, 7,
                    "unterminated string: found end of line"},
        TSyntaxCase{"object F: TF\n  S = 'abc", 2, 7, "unterminated string: found end of file"},
        TSyntaxCase{"object F: TF\n  L = (a (b)\n", 3, 1,
                    "found end of file, expected ')' to close the list opened at 2:7"},
        TSyntaxCase{"object F: TF\n  object G: TG\n  end\n", 4, 1,
                    "expected a property assignment, 'object' or 'end' to close object F"},
        TSyntaxCase{"object F: TF\n  X = @\nend", 2, 7, "found '@', expected a name"},
        TSyntaxCase{"object F: TF\n  X = 12ab\nend", 2, 9, "after the number 12"},
        TSyntaxCase{"object F: TF\n  X = 99999999999999999999\nend", 2, 7,
                    "expected an integer within 64 bits"},
        TSyntaxCase{"object F: TF\n  X = 1e999\nend", 2, 7, "expected a finite float"},
        TSyntaxCase{"object F: TF\n  X = #300\nend", 2, 7, "expected #0 to #255"},
        TSyntaxCase{"object F: TF\n  X = [a b]\nend", 2, 10, "expected ',' or ']'"},
        TSyntaxCase{"object F: TF\n  X = <item V = 1 >\nend", 2, 19,
                    "expected a property assignment or 'end' to close the item"},
        TSyntaxCase{"object F: TF\n  X 5\nend", 2, 5, "expected '=' after the property name"},
        TSyntaxCase{"object F: TF\n  X =\nend", 3, 1, "found identifier 'end', expected"},
        TSyntaxCase{"object F.G: TF end", 1, 8, "expected a component name"},
        TSyntaxCase{"object F: TF end end", 1, 18, "after the last 'end', expected end of file"},
        TSyntaxCase{"object F: TF\n  S = 'a\x01'\nend", 2, 9, "control character 1"}));

TEST(FormTextTest, DeepNestingIsAnErrorNotACrash) {
    std::string text = "object F: TF X = ";
    text += std::string(100000, '(');
    EXPECT_THROW(VokParseForm(text, "deep"), EVokFormError);
    std::string objects;
    for (int i = 0; i < 1000; ++i) {
        objects += "object A: T ";
    }
    EXPECT_THROW(VokParseForm(objects, "deep"), EVokFormError);
}

// ---- the main window's graph -----------------------------------------------------------------

TEST_F(FormReaderTest, MainDescriptionMakesExactlyTheLinksOfTheGraph) {
    std::unique_ptr<TVokComponent> form = Read(kMainDescription);
    EXPECT_EQ(form->GetName(), "Form1");
    EXPECT_EQ(LinkNames(*form), MainLinks());
    // Every placeholder named by the earlier end was resolved by the later one.
    EXPECT_EQ(TVokUnloadedPin::PlaceholderCount(), m_placeholders);
    auto* scope2 = Find<TScope>(*form, "ZemScope2");
    EXPECT_EQ(scope2->GetInputPins()->GetCount(), 3);
    EXPECT_FALSE(scope2->GetInputPins()->GetPin(2)->IsConnected());
    auto* generator = Find<TSignalGen>(*form, "DruSignalGen2");
    EXPECT_FALSE(generator->m_enabled);
    EXPECT_EQ(generator->m_clockSource, csExternal);
    EXPECT_EQ(generator->m_amplitude, 2500);
    EXPECT_EQ(generator->m_frequency, 10000.0);
    EXPECT_EQ(generator->m_format->m_sampleRate, 44100U);
    EXPECT_EQ(generator->m_format->m_channels, 1U);
    EXPECT_EQ(Find<TAudioToReal>(*form, "DruAudioToReal3")->GetCountChannels(), 1);
    EXPECT_EQ(Find<TAdd>(*form, "ZemAdd2")->GetInputPins()->GetCount(), 3);
    EXPECT_EQ(Find<TScope>(*form, "ZemScope3")->GetInputPins()->GetPinDisplayName(0), "Signal");
}

TEST_F(FormReaderTest, LoadedRunsOnEveryComponentAfterTheWholeDescription) {
    std::unique_ptr<TVokComponent> form = Read(kMainDescription);
    const std::vector<std::string>& log = LoadedLog();
    ASSERT_EQ(log.size(), 19U);
    EXPECT_EQ(log.front(), "Form1");
    EXPECT_EQ(log[1], "DruSignalGen1");
    EXPECT_EQ(log.back(), "DruDSAudioIn1");
    for (int i = 0; i < form->GetComponentCount(); ++i) {
        EXPECT_FALSE(form->GetComponent(i)->IsLoading());
    }
    // The first component's Loaded already sees links made by the last one.
    EXPECT_EQ(Find<TAudioIn>(*form, "DruDSAudioIn1")->m_sinksAtLoaded, 5);
}

TEST_F(FormReaderTest, FiveSinksServedInTheStoredOrderWhenTheSourceComesLast) {
    std::unique_ptr<TVokComponent> form = Read(kMainDescription);
    TSource* output = Find<TAudioIn>(*form, "DruDSAudioIn1")->GetOutputPin();
    std::vector<std::string> sinks;
    for (int i = 0; i < output->GetSinkCount(); ++i) {
        sinks.push_back(output->GetSink(i)->GetFullName(true));
    }
    EXPECT_EQ(sinks, (std::vector<std::string>{
                         "Form1.DruSignalGen1.ClockPin", "Form1.DruSignalGen3.ClockPin",
                         "Form1.DruSpectrum1.InputPin", "Form1.DruAudioToReal1.InputPin",
                         "Form1.DruSignalGen2.ClockPin"}));
}

TEST_F(FormReaderTest, SinksOfAnEarlierSourceAreServedInTheOrderTheLinksWereMade) {
    // The source comes first: every link is made when its sink reads its side, so the
    // sinks' document order wins over the stored order; writing and reading again keeps it.
    const std::string text = "object Form1: TFormTestForm\n"
                             "  object In: TFormTestAudioIn\n"
                             "    OutputPin.Form = Form1\n"
                             "    OutputPin.SinkPins = (Form1.C.ClockPin Form1.A.ClockPin "
                             "Form1.B.ClockPin)\n"
                             "  end\n"
                             "  object A: TFormTestSignalGen\n"
                             "    ClockPin.SourcePin = Form1.In.OutputPin\n"
                             "  end\n"
                             "  object B: TFormTestSignalGen\n"
                             "    ClockPin.SourcePin = Form1.In.OutputPin\n"
                             "  end\n"
                             "  object C: TFormTestSignalGen\n"
                             "    ClockPin.SourcePin = Form1.In.OutputPin\n"
                             "  end\n"
                             "end\n";
    const std::vector<std::string> order = {
        "In.OutputPin -> A.ClockPin", "In.OutputPin -> B.ClockPin", "In.OutputPin -> C.ClockPin"};
    std::unique_ptr<TVokComponent> form = Read(text);
    EXPECT_EQ(LinkNames(*form), order);
    const std::string written = TVokFormWriter().Write(*form);
    EXPECT_NE(written.find("OutputPin.SinkPins = (Form1.A.ClockPin Form1.B.ClockPin "
                           "Form1.C.ClockPin)"),
              std::string::npos)
        << written;
    EXPECT_EQ(LinkNames(*Read(written)), order);
}

TEST_F(FormReaderTest, LinksNamedOnlyByOneEndAreMadeForwardAndBackward) {
    // Only the later end stores the link: the earlier end's name is enough either way.
    const std::string sinkFirst = "object Form1: TFormTestForm\n"
                                  "  object W: TFormTestWaterfall\n"
                                  "    InputPin.SourcePin = Form1.G.OutputPin\n"
                                  "  end\n"
                                  "  object G: TFormTestSignalGen\n"
                                  "  end\n"
                                  "end\n";
    std::unique_ptr<TVokComponent> form = Read(sinkFirst);
    // Named first by the sink, never stored by the source: silently absent, no placeholder
    // left.
    EXPECT_TRUE(LinkNames(*form).empty());
    EXPECT_EQ(TVokUnloadedPin::PlaceholderCount(), m_placeholders);

    const std::string sourceLast = "object Form1: TFormTestForm\n"
                                   "  object W: TFormTestWaterfall\n"
                                   "    InputPin.SourcePin = Form1.G.OutputPin\n"
                                   "  end\n"
                                   "  object G: TFormTestSignalGen\n"
                                   "    OutputPin.SinkPins = (Form1.W.InputPin)\n"
                                   "  end\n"
                                   "end\n";
    EXPECT_EQ(LinkNames(*Read(sourceLast)),
              (std::vector<std::string>{"G.OutputPin -> W.InputPin"}));
    const std::string sourceFirst = "object Form1: TFormTestForm\n"
                                    "  object G: TFormTestSignalGen\n"
                                    "    OutputPin.SinkPins = (Form1.W.InputPin)\n"
                                    "  end\n"
                                    "  object W: TFormTestWaterfall\n"
                                    "    InputPin.SourcePin = Form1.G.OutputPin\n"
                                    "  end\n"
                                    "end\n";
    EXPECT_EQ(LinkNames(*Read(sourceFirst)),
              (std::vector<std::string>{"G.OutputPin -> W.InputPin"}));
    EXPECT_EQ(TVokUnloadedPin::PlaceholderCount(), m_placeholders);
}

TEST_F(FormReaderTest, DescriptionSavedUnderAnotherWindowNameLinksThePinsOfTheReader) {
    const std::string saved = ReplaceAll(kMainDescription, "Form1", "Form2");
    ASSERT_NE(saved.find("Form2.DruDSAudioIn1.OutputPin"), std::string::npos);
    TForm form1;
    form1.SetName("Form1");
    // Another window named like the saved one is alive: its pins must not be linked.
    std::unique_ptr<TVokComponent> form2 = Read(saved);
    const std::vector<std::string> form2Links = LinkNames(*form2, true);

    TVokFormReader("saved.form").ReadInto(saved, form1);
    EXPECT_EQ(form1.GetName(), "Form1");
    EXPECT_EQ(LinkNames(form1), MainLinks());
    for (const std::string& link : LinkNames(form1, true)) {
        EXPECT_EQ(link.find("Form2"), std::string::npos) << link;
    }
    EXPECT_EQ(LinkNames(*form2, true), form2Links);
}

TEST_F(FormReaderTest, TwoWindowsOfTheSameNameKeepTheirLinksApart) {
    std::unique_ptr<TVokComponent> first = Read(kMainDescription);
    std::unique_ptr<TVokComponent> second = Read(kMainDescription);
    EXPECT_EQ(LinkNames(*first), MainLinks());
    EXPECT_EQ(LinkNames(*second), MainLinks());
    for (const TVokLinkEntry& link : VokListLinks(*second)) {
        EXPECT_EQ(link.m_source->GetRoot(), second.get());
        EXPECT_EQ(link.m_sink->GetRoot(), second.get());
    }
}

TEST_F(FormReaderTest, RoundTripKeepsLinksAndValues) {
    std::unique_ptr<TVokComponent> form = Read(kMainDescription);
    const std::string written = TVokFormWriter().Write(*form);
    std::unique_ptr<TVokComponent> again = Read(written);
    EXPECT_EQ(LinkNames(*again), MainLinks());
    EXPECT_EQ(TVokFormWriter().Write(*again), written);
    auto* generator = Find<TSignalGen>(*again, "DruSignalGen3");
    EXPECT_EQ(generator->m_amplitude, 1250);
    EXPECT_EQ(generator->m_frequency, 21500.0);
    EXPECT_EQ(generator->m_pumpPriority, 0);
    EXPECT_EQ(Find<TScope>(*again, "ZemScope2")->GetChannels()->GetCount(), 3);
    EXPECT_EQ(dynamic_cast<TForm&>(*again).m_caption, "Audio Recorder Demo");
}

// ---- values ----------------------------------------------------------------------------------

TEST_F(FormReaderTest, EveryValueKindIsSet) {
    std::string boundHandler;
    TVokFormReader reader("kinds.form");
    reader.SetEventResolver(
        [&](TVokComponent& root, const TVokPropertyInfo& property, const std::string& name) {
            boundHandler = root.GetName() + "." + property.GetName() + "=" + name;
            return TVokEventValue{TChangeEvent([] {})};
        });
    std::unique_ptr<TVokComponent> form =
        reader.Read("object Form1: TFormTestForm\n"
                    "  object K: TFormTestKinds\n"
                    "    Count = -9000000000\n"
                    "    Small = -7\n"
                    "    Ratio = 3\n"
                    "    Active = true\n"
                    "    Caption = 'It''s'#10'two lines'\n"
                    "    Shape = atSquare\n"
                    "    Speakers = [spFrontRight, spFrontCenter]\n"
                    "    Format.SampleRate = 48000\n"
                    "    Format.ChannelMask = []\n"
                    "    Partner = Later\n"
                    "    Items = <\n"
                    "      item\n"
                    "        Value = 1\n"
                    "        Label = 'one'\n"
                    "      end\n"
                    "      item\n"
                    "      end>\n"
                    "    OnChange = KChanged\n"
                    "  end\n"
                    "  object Later: TFormTestKinds\n"
                    "    Partner = Form1\n"
                    "    OnChange = nil\n"
                    "  end\n"
                    "end\n");
    auto* kinds = Find<TKinds>(*form, "K");
    EXPECT_EQ(kinds->m_count, -9000000000);
    EXPECT_EQ(kinds->m_small, -7);
    EXPECT_EQ(kinds->m_ratio, 3.0);
    EXPECT_TRUE(kinds->m_active);
    EXPECT_EQ(kinds->m_caption, "It's\ntwo lines");
    EXPECT_EQ(kinds->m_shape, atSquare);
    EXPECT_EQ(kinds->m_speakers, (TSpeakers{spFrontRight, spFrontCenter}));
    EXPECT_EQ(kinds->m_format->m_sampleRate, 48000U);
    EXPECT_TRUE(kinds->m_format->m_mask.IsEmpty());
    EXPECT_EQ(kinds->m_partner, form->FindComponent("Later")); // a forward reference
    EXPECT_EQ(Find<TKinds>(*form, "Later")->m_partner, form.get());
    ASSERT_EQ(kinds->m_items->GetCount(), 2);
    EXPECT_EQ(dynamic_cast<TItem*>(kinds->m_items->GetItem(0))->m_label, "one");
    EXPECT_TRUE(static_cast<bool>(kinds->m_onChange));
    EXPECT_EQ(boundHandler, "Form1.OnChange=KChanged");
}

// ---- bad descriptions ------------------------------------------------------------------------

struct TReadErrorCase {
    const char* m_body; ///< inserted as the body of object K: TFormTestKinds
    int m_line;         ///< line of the error (the body starts on line 6)
    int m_column;
    const char* m_message;
};

class FormReadErrorTest : public FormFixture,
                          public ::testing::WithParamInterface<TReadErrorCase> {};

TEST_P(FormReadErrorTest, FailsCleanlyWithPosition) {
    const TReadErrorCase& c = GetParam();
    // Linked components come first, so that a failure has links to take back.
    const std::string text = std::string("object Form1: TFormTestForm\n"
                                         "  object G: TFormTestSignalGen\n"
                                         "    OutputPin.SinkPins = (Form1.W.InputPin)\n"
                                         "  end\n"
                                         "  object K: TFormTestKinds\n") +
                             c.m_body +
                             "\n  end\n"
                             "  object W: TFormTestWaterfall\n"
                             "    InputPin.SourcePin = Form1.G.OutputPin\n"
                             "  end\n"
                             "end\n";
    // Read into an existing window that already has a linked pin of its own.
    TForm form;
    form.SetName("Form1");
    TAudioIn* existing = new TAudioIn(&form);
    existing->SetName("Existing");
    TWaterfall* listener = new TWaterfall(&form);
    listener->SetName("Listener");
    ASSERT_TRUE(existing->GetOutputPin()->Connect(listener->GetInputPin()));
    const int64_t pins = TVokBasicPin::LiveCount();
    try {
        TVokFormReader("bad.form").ReadInto(text, form);
        FAIL() << "no error for: " << c.m_body;
    } catch (const EVokFormError& error) {
        EXPECT_EQ(error.GetPosition().m_line, c.m_line) << error.what();
        EXPECT_EQ(error.GetPosition().m_column, c.m_column) << error.what();
        EXPECT_NE(error.GetMessage().find(c.m_message), std::string::npos) << error.what();
        EXPECT_EQ(error.GetFileName(), "bad.form");
    }
    EXPECT_EQ(form.GetComponentCount(), 2);
    EXPECT_EQ(TVokBasicPin::LiveCount(), pins);
    EXPECT_EQ(TVokUnloadedPin::PlaceholderCount(), m_placeholders);
    EXPECT_EQ(existing->GetOutputPin()->GetSinkCount(), 1);
    EXPECT_FALSE(form.IsLoading());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormReadErrorTest,
    ::testing::Values(
        TReadErrorCase{"    object X: TNoSuchClass\n    end", 6, 15,
                       "found unknown class 'TNoSuchClass', expected a registered"},
        TReadErrorCase{"    Amplitude = 5", 6, 5, "found unknown property 'Amplitude'"},
        TReadErrorCase{"    Count = 'many'", 6, 13, "expects an integer, found string 'many'"},
        TReadErrorCase{"    Active = 1", 6, 14, "expects True or False, found integer 1"},
        TReadErrorCase{"    Caption = Title", 6, 15, "expects a string, found identifier"},
        TReadErrorCase{"    Shape = atNoise", 6, 13, "'atNoise' is not one of its value names"},
        TReadErrorCase{"    Speakers = [spRear]", 6, 16, "'spRear' is not one of"},
        TReadErrorCase{"    Speakers = spFrontLeft", 6, 16, "expects a set [a, b]"},
        TReadErrorCase{"    Small = 70000", 6, 13, "out of range"},
        TReadErrorCase{"    Ratio = (1)", 6, 13, "expects a float, found list"},
        TReadErrorCase{"    Format = 5", 6, 14, "is a sub-object"},
        TReadErrorCase{"    Format.Rate = 5", 6, 5, "unknown property 'Rate'"},
        TReadErrorCase{"    Count.X = 5", 6, 5, "is no sub-object (its kind is integer)"},
        TReadErrorCase{"    Format..SampleRate = 5", 6, 5, "names separated by single dots"},
        TReadErrorCase{"    Partner = Nobody", 6, 15, "found unknown component 'Nobody'"},
        TReadErrorCase{"    Partner.Caption = 'x'", 6, 5, "empty (nil)"},
        TReadErrorCase{"    Items = <item Value = 'x' end>", 6, 27, "expects an integer"},
        TReadErrorCase{"    Items = 3", 6, 13, "expects a collection"},
        TReadErrorCase{"    OnChange = Handler", 6, 16, "no handlers are bound here"},
        TReadErrorCase{"    Fail = 3", 6, 12, "Fail refuses 3"},
        TReadErrorCase{"    FailLoaded = True", 5, 3, "Loaded refused by K"},
        TReadErrorCase{"    object G: TFormTestSignalGen\n    end", 6, 12,
                       "found a second component named 'G'"}));

struct TLinkErrorCase {
    const char* m_assignment;
    int m_column;
    const char* m_message;
};

class FormLinkErrorTest : public FormFixture,
                          public ::testing::WithParamInterface<TLinkErrorCase> {};

TEST_P(FormLinkErrorTest, BadLinkValuesAreDescriptionErrors) {
    const TLinkErrorCase& c = GetParam();
    const std::string text = std::string("object Form1: TFormTestForm\n"
                                         "  object S: TFormTestSpectrum\n") +
                             c.m_assignment + "\n  end\nend\n";
    try {
        TVokFormReader("link.form").Read(text);
        FAIL() << "no error for: " << c.m_assignment;
    } catch (const EVokFormError& error) {
        EXPECT_EQ(error.GetPosition().m_line, 3) << error.what();
        EXPECT_EQ(error.GetPosition().m_column, c.m_column) << error.what();
        EXPECT_NE(error.GetMessage().find(c.m_message), std::string::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormLinkErrorTest,
    ::testing::Values(
        TLinkErrorCase{"    InputPin.SourcePin = 'Form1.X.OutputPin'", 26,
                       "expected a pin name or a list"},
        TLinkErrorCase{"    InputPin.SourcePin = (Form1.X.OutputPin)", 44, "expected a string"},
        TLinkErrorCase{"    InputPin.SourcePin = (A 'a' B)", 33,
                       "found identifier 'B', expected ')'"},
        TLinkErrorCase{"    InputPin.SinkPins = (A)", 5, "unknown property 'SinkPins'"},
        TLinkErrorCase{"    InputPin.Form = 'Form1'", 21, "expected an identifier"},
        TLinkErrorCase{"    OutputPins.Pins = (State ('x' Form1.A.B 5))", 45,
                       "found integer 5, expected ')'"},
        TLinkErrorCase{"    OutputPins.Pins = (Sinks 5)", 30, "expected a list '('"},
        TLinkErrorCase{"    OutputPins.Pins = (5)", 24, "expected nil, Sinks, State or a pin"},
        TLinkErrorCase{"    OutputPins.Pins = (State ())", 31, "expected a value"},
        TLinkErrorCase{"    OutputPins.PinsOwner = 5", 28, "expected True or False"},
        TLinkErrorCase{"    OutputPins.State = 'x'", 5, "unknown property 'State'"},
        TLinkErrorCase{"    OutputPins.Pins.Count = 1", 5, "unknown property 'Pins'"}));

TEST_F(FormReaderTest, PinsOwnerIsAcceptedAndIgnored) {
    std::unique_ptr<TVokComponent> form = Read("object Form1: TFormTestForm\n"
                                               "  object S: TFormTestSpectrum\n"
                                               "    OutputPins.PinsOwner = True\n"
                                               "    OutputPins.Form = Form1\n"
                                               "  end\n"
                                               "end\n");
    EXPECT_EQ(Find<TSpectrum>(*form, "S")->GetOutputPins()->GetCount(), 2);
}

TEST_F(FormReaderTest, OwningListGrowsToItsEntries) {
    std::unique_ptr<TVokComponent> form =
        Read("object Form1: TFormTestForm\n"
             "  object A: TFormTestAdd\n"
             "    InputPins.Pins = (nil nil nil Form1.G.OutputPin)\n"
             "  end\n"
             "  object G: TFormTestSignalGen\n"
             "    OutputPin.SinkPins = ((Form1.A.InputPins._Pin3 'Form1.A.InputPins.Pin [3]'))\n"
             "  end\n"
             "end\n");
    EXPECT_EQ(Find<TAdd>(*form, "A")->GetInputPins()->GetCount(), 4);
    EXPECT_EQ(LinkNames(*form), (std::vector<std::string>{"G.OutputPin -> A.InputPins.Pin [3]"}));
}

TEST_F(FormReaderTest, LeftOverListSlotsAreDroppedOnceLoaded) {
    // The list names three pins before its channels exist; only two channels come.
    std::unique_ptr<TVokComponent> form = Read("object Form1: TFormTestForm\n"
                                               "  object Sc: TFormTestScope\n"
                                               "    InputPins.Pins = (nil nil nil)\n"
                                               "    Channels = <item end item end>\n"
                                               "  end\n"
                                               "end\n");
    TVokPinList* pins = Find<TScope>(*form, "Sc")->GetInputPins();
    EXPECT_EQ(pins->GetEntryCount(), 3);
    EXPECT_EQ(pins->GetCount(), 2); // counting drops the trailing slot
    EXPECT_EQ(pins->GetEntryCount(), 2);
    EXPECT_FALSE(pins->GetPin(0)->IsPlaceholder());
    EXPECT_EQ(TVokUnloadedPin::PlaceholderCount(), m_placeholders);
}

TEST_F(FormReaderTest, DesignStatePlaceholdersRecordLinksAndHandThemOver) {
    // In design state links to pins that are not loaded yet are recorded on placeholders:
    // here by a list slot that the scope's channel pins fill later.
    TForm form;
    form.SetName("Form1");
    form.SetDesigning(true);
    TVokFormReader("design.form")
        .ReadInto("object Form1: TFormTestForm\n"
                  "  object A: TFormTestAudioToReal\n"
                  "    OutputPins.Pins = (Sinks ((Form1.Sc.InputPins._Pin0 "
                  "'Form1.Sc.InputPins.Channel0')))\n"
                  "  end\n"
                  "  object Sc: TFormTestScope\n"
                  "    InputPins.Pins = ((Form1.A.OutputPins._Pin0 "
                  "'Form1.A.OutputPins.Pin [0]') nil)\n"
                  "    Channels = <item end item end>\n"
                  "  end\n"
                  "end\n",
                  form);
    EXPECT_EQ(LinkNames(form),
              (std::vector<std::string>{"A.OutputPins.Pin [0] -> Sc.InputPins.Channel0"}));
    EXPECT_EQ(TVokUnloadedPin::PlaceholderCount(), m_placeholders);
}

TEST_F(FormReaderTest, StateLinksJoinOneDispatcherPerReading) {
    const std::string text = "object Form1: TFormTestForm\n"
                             "  object A: TFormTestSignalGen\n"
                             "    EnablePin.Form = Form1\n"
                             "    EnablePin.State = 'Form1Link1'\n"
                             "  end\n"
                             "  object B: TFormTestSignalGen\n"
                             "    EnablePin.Form = Form1\n"
                             "    EnablePin.State = ('Form1Link1' Form9.C.EnablePin)\n"
                             "  end\n"
                             "  object Lone: TFormTestSignalGen\n"
                             "    EnablePin.State = 'Form1Link7'\n"
                             "  end\n"
                             "end\n";
    std::unique_ptr<TVokComponent> first = Read(text);
    std::unique_ptr<TVokComponent> second = Read(text);
    for (TVokComponent* form : {first.get(), second.get()}) {
        TVokBoolStatePin* a = Find<TSignalGen>(*form, "A")->GetEnablePin();
        TVokBoolStatePin* b = Find<TSignalGen>(*form, "B")->GetEnablePin();
        EXPECT_TRUE(a->IsInSameDispatcher(b));
        EXPECT_EQ(a->GetStateLinkCount(), 2);
        // A dispatcher only one pin joined is no link.
        EXPECT_FALSE(Find<TSignalGen>(*form, "Lone")->GetEnablePin()->IsInDispatcher());
    }
    // The second window did not join the first window's dispatcher.
    EXPECT_FALSE(Find<TSignalGen>(*first, "A")
                     ->GetEnablePin()
                     ->IsInSameDispatcher(Find<TSignalGen>(*second, "A")->GetEnablePin()));
}

} // namespace
