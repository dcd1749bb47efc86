#include "FormTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace formtest;

namespace {

template <class T> T* Add(TVokComponent& root, const char* name) {
    auto* component = new T(&root);
    component->SetName(name);
    return component;
}

/// Lines of `text` (without their indentation) that start with `prefix`.
std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        line.erase(0, line.find_first_not_of(' '));
        if (line.rfind(prefix, 0) == 0) {
            lines.push_back(line);
        }
        start = end + 1;
    }
    return lines;
}

class FormWriterTest : public FormFixture {};

TEST_F(FormWriterTest, WritesTheStoredLinksOfTheMainWindowExactly) {
    TForm form;
    form.SetName("Form1");
    auto* audioIn = Add<TAudioIn>(form, "DruDSAudioIn1");
    auto* gen1 = Add<TSignalGen>(form, "DruSignalGen1");
    auto* gen2 = Add<TSignalGen>(form, "DruSignalGen2");
    auto* gen3 = Add<TSignalGen>(form, "DruSignalGen3");
    auto* splitter = Add<TAudioToReal>(form, "DruAudioToReal1");
    auto* spectrum = Add<TSpectrum>(form, "DruSpectrum1");
    auto* add1 = Add<TAdd>(form, "ZemAdd1");
    auto* add2 = Add<TAdd>(form, "ZemAdd2");
    auto* add3 = Add<TAdd>(form, "ZemAdd3");
    auto* scope1 = Add<TScope>(form, "ZemScope1");
    auto* scope2 = Add<TScope>(form, "ZemScope2");
    auto* quiet = Add<TScope>(form, "ZemScope9");
    scope1->GetChannels()->Add();
    scope1->GetChannels()->Add();
    for (int i = 0; i < 3; ++i) {
        scope2->GetChannels()->Add();
        quiet->GetChannels()->Add();
    }
    TSource* output = audioIn->GetOutputPin();
    for (TVokBasicPin* sink : std::vector<TVokBasicPin*>{
             gen1->GetClockPin(), gen3->GetClockPin(), spectrum->GetInputPin(),
             splitter->GetInputPin(), gen2->GetClockPin()}) {
        ASSERT_TRUE(output->Connect(sink));
    }
    TVokPinList* outputs = splitter->GetOutputPins();
    ASSERT_TRUE(outputs->GetPin(0)->Connect(add1->GetInputPins()->GetPin(0)));
    ASSERT_TRUE(outputs->GetPin(0)->Connect(scope1->GetInputPins()->GetPin(0)));
    ASSERT_TRUE(outputs->GetPin(1)->Connect(add1->GetInputPins()->GetPin(1)));
    ASSERT_TRUE(outputs->GetPin(1)->Connect(scope1->GetInputPins()->GetPin(1)));
    ASSERT_TRUE(spectrum->GetOutputPins()->GetPin(0)->Connect(scope2->GetInputPins()->GetPin(0)));
    ASSERT_TRUE(spectrum->GetOutputPins()->GetPin(1)->Connect(scope2->GetInputPins()->GetPin(1)));
    ASSERT_TRUE(add3->GetInputPins()->GetPin(0)->Connect(add1->GetOutputPin()));
    ASSERT_TRUE(add3->GetInputPins()->GetPin(1)->Connect(add2->GetOutputPin()));

    const std::string text = TVokFormWriter().Write(form);
    // A sink whose source is held directly by a property.
    EXPECT_EQ(LinesStartingWith(text, "InputPin.SourcePin = Form1.DruDSAudioIn1"),
              (std::vector<std::string>{"InputPin.SourcePin = Form1.DruDSAudioIn1.OutputPin",
                                        "InputPin.SourcePin = Form1.DruDSAudioIn1.OutputPin"}));
    EXPECT_NE(text.find("\n    InputPin.Form = Form1\n    InputPin.SourcePin = "
                        "Form1.DruDSAudioIn1.OutputPin\n"),
              std::string::npos);
    EXPECT_EQ(
        LinesStartingWith(text, "OutputPin.SinkPins = (Form1.DruSignalGen1"),
        (std::vector<std::string>{"OutputPin.SinkPins = (Form1.DruSignalGen1.ClockPin "
                                  "Form1.DruSignalGen3.ClockPin Form1.DruSpectrum1.InputPin "
                                  "Form1.DruAudioToReal1.InputPin Form1.DruSignalGen2.ClockPin)"}));
    // The first splitter's two outputs, each with its two sinks in pin lists.
    EXPECT_NE(text.find("OutputPins.Pins = (Sinks ((Form1.ZemAdd1.InputPins._Pin0 "
                        "'Form1.ZemAdd1.InputPins.Pin [0]') (Form1.ZemScope1.InputPins._Pin0 "
                        "'Form1.ZemScope1.InputPins.Channel0')) Sinks "
                        "((Form1.ZemAdd1.InputPins._Pin1 'Form1.ZemAdd1.InputPins.Pin [1]') "
                        "(Form1.ZemScope1.InputPins._Pin1 "
                        "'Form1.ZemScope1.InputPins.Channel1')))\n"),
              std::string::npos)
        << text;
    // A list of three pins whose third has no link.
    EXPECT_NE(text.find("InputPins.Pins = ((Form1.DruSpectrum1.OutputPins._Pin0 "
                        "'Form1.DruSpectrum1.OutputPins.Pin [0]') "
                        "(Form1.DruSpectrum1.OutputPins._Pin1 "
                        "'Form1.DruSpectrum1.OutputPins.Pin [1]') nil)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("InputPins.Pins = (Form1.ZemAdd1.OutputPin Form1.ZemAdd2.OutputPin)\n"),
              std::string::npos);
    // Owning lists without links still write one nil per pin; a plain one writes nothing.
    EXPECT_NE(text.find("    FrequencyOutputPins.Count = 2\n    FrequencyOutputPins.Form = "
                        "Form1\n    FrequencyOutputPins.Pins = (nil nil)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  object ZemAdd2: TFormTestAdd\n    InputPins.Count = 2\n"
                        "    InputPins.Form = Form1\n    InputPins.Pins = (nil nil)\n"
                        "    OutputPin.Form = Form1\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("    InputPins.Count = 3\n    InputPins.Form = Form1\n  end\n"),
              std::string::npos)
        << text;
    // Unlinked pins store nothing.
    EXPECT_EQ(text.find("EnablePin"), std::string::npos);
    EXPECT_EQ(LinesStartingWith(text, "ClockPin.Form = Form1").size(), 3U);
}

TEST_F(FormWriterTest, WritesOnlyNonDefaultValuesInTableOrder) {
    TForm form;
    form.SetName("Form1");
    form.m_caption = "Demo";
    auto* kinds = Add<TKinds>(form, "K");
    auto* later = Add<TKinds>(form, "Later");
    kinds->m_count = -3;
    kinds->m_ratio = 0.25;
    kinds->m_active = true;
    kinds->m_caption = "It's\ttabbed";
    kinds->m_shape = atTriangle;
    kinds->m_speakers = TSpeakers{spFrontLeft, spFrontCenter};
    kinds->m_format->m_sampleRate = 44100;
    kinds->m_format->m_mask = TSpeakers{};
    kinds->m_partner = later;
    kinds->m_onChange = [] {};
    dynamic_cast<TItem*>(kinds->m_items->Add())->m_value = 5;
    kinds->m_items->Add();
    later->m_partner = &form;
    TVokFormWriter writer;
    writer.SetEventNamer([](const TVokComponent& root, const TVokPropertyInfo& property,
                            const TVokEventValue& value) {
        return value.m_handler.has_value() ? root.GetName() + property.GetName() : std::string();
    });
    const std::string text = writer.Write(form);
    EXPECT_EQ(text, "object Form1: TFormTestForm\n"
                    "  Caption = 'Demo'\n"
                    "  object K: TFormTestKinds\n"
                    "    Count = -3\n"
                    "    Ratio = 0.25\n"
                    "    Active = True\n"
                    "    Caption = 'It''s'#9'tabbed'\n"
                    "    Shape = atTriangle\n"
                    "    Speakers = [spFrontLeft, spFrontCenter]\n"
                    "    Format.SampleRate = 44100\n"
                    "    Format.ChannelMask = []\n"
                    "    Partner = Later\n"
                    "    Items = <\n"
                    "      item\n"
                    "        Value = 5\n"
                    "      end\n"
                    "      item\n"
                    "      end>\n"
                    "    OnChange = Form1OnChange\n"
                    "  end\n"
                    "  object Later: TFormTestKinds\n"
                    "    Partner = Form1\n"
                    "    Items = <>\n"
                    "  end\n"
                    "end\n");
    // And it reads back to the same values.
    TVokFormReader reader("kinds.form");
    reader.SetEventResolver([](TVokComponent&, const TVokPropertyInfo&, const std::string&) {
        return TVokEventValue{TChangeEvent([] {})};
    });
    std::unique_ptr<TVokComponent> again = reader.Read(text);
    EXPECT_EQ(writer.Write(*again), text);
}

TEST_F(FormWriterTest, NestedObjectsFollowTheirEnclosingComponent) {
    // A component that records its enclosing object, like a control in a panel.
    class TPanel : public TNode {
      public:
        using TNode::TNode;
        TVokComponent* GetParentComponent() const override { return m_parent; }
        void SetParentComponent(TVokComponent* parent) override { m_parent = parent; }
        TVokComponent* m_parent = nullptr;
    };
    TForm form;
    form.SetName("Form1");
    auto* outer = Add<TPanel>(form, "Outer");
    auto* inner = Add<TPanel>(form, "Inner");
    auto* loose = Add<TPanel>(form, "Loose");
    inner->m_parent = outer;
    loose->m_parent = loose; // encloses itself: still written once, under the root
    EXPECT_EQ(TVokFormWriter().Write(form), "object Form1: TFormTestForm\n"
                                            "  object Outer: TVokComponent\n"
                                            "    object Inner: TVokComponent\n"
                                            "    end\n"
                                            "  end\n"
                                            "  object Loose: TVokComponent\n"
                                            "  end\n"
                                            "end\n");
}

TEST_F(FormWriterTest, SinkEntriesCarryDependencies) {
    TForm form;
    form.SetName("Form1");
    // Only the source stores dependencies, so it comes after its sinks.
    auto* first = Add<TWaterfall>(form, "A");
    auto* second = Add<TWaterfall>(form, "B");
    auto* third = Add<TAdd>(form, "C");
    auto* source = Add<TSignalGen>(form, "S");
    ASSERT_TRUE(source->GetOutputPin()->Connect(first->GetInputPin()));
    ASSERT_TRUE(source->GetOutputPin()->ConnectEx(second->GetInputPin(), first->GetInputPin()));
    ASSERT_TRUE(
        source->GetOutputPin()->ConnectEx(third->GetInputPins()->GetPin(1), first->GetInputPin()));
    const std::string text = TVokFormWriter().Write(form);
    EXPECT_EQ(LinesStartingWith(text, "OutputPin.SinkPins"),
              (std::vector<std::string>{"OutputPin.SinkPins = (Form1.A.InputPin "
                                        "(Form1.B.InputPin A.InputPin) "
                                        "(Form1.C.InputPins._Pin1 A.InputPin "
                                        "'Form1.C.InputPins.Pin [1]'))"}));
    std::unique_ptr<TVokComponent> again = TVokFormReader("dependency.form").Read(text);
    TSource* output = dynamic_cast<TSignalGen*>(again->FindComponent("S"))->GetOutputPin();
    ASSERT_EQ(output->GetSinkCount(), 3);
    EXPECT_EQ(output->GetLinkDependency(1),
              dynamic_cast<TWaterfall*>(again->FindComponent("A"))->GetInputPin());
    EXPECT_EQ(output->GetLinkDependency(2), output->GetLinkDependency(1));
    EXPECT_EQ(TVokFormWriter().Write(*again), text);
}

TEST_F(FormWriterTest, StateValueNamesMembersOfOtherWindowsOnceAround) {
    TForm formA;
    formA.SetName("FormA");
    TForm formB;
    formB.SetName("FormB");
    auto* genA = Add<TSignalGen>(formA, "G");
    auto* genB = Add<TSignalGen>(formB, "G");
    ASSERT_TRUE(genA->GetEnablePin()->Connect(genB->GetEnablePin()));
    const std::string listForm = "EnablePin.State = ('FormALink1' FormB.G.EnablePin)";
    const std::string nameForm = "EnablePin.State = 'FormALink1'";
    // The first write for FormA names the foreign member; the dispatcher then remembers FormA
    // until it has been written as often as it has members.
    EXPECT_EQ(LinesStartingWith(TVokFormWriter().Write(formA), "EnablePin.State"),
              std::vector<std::string>{listForm});
    EXPECT_EQ(LinesStartingWith(TVokFormWriter().Write(formA), "EnablePin.State"),
              std::vector<std::string>{nameForm});
    EXPECT_EQ(LinesStartingWith(TVokFormWriter().Write(formA), "EnablePin.State"),
              std::vector<std::string>{listForm});
    // Members of one window: the name alone.
    auto* other = Add<TSignalGen>(formA, "H");
    genA->GetEnablePin()->Disconnect();
    ASSERT_TRUE(genA->GetEnablePin()->Connect(other->GetEnablePin()));
    const std::string text = TVokFormWriter().Write(formA);
    EXPECT_EQ(LinesStartingWith(text, "EnablePin."),
              (std::vector<std::string>{"EnablePin.Form = FormA", nameForm,
                                        "EnablePin.Form = FormA", nameForm}));
    std::unique_ptr<TVokComponent> again = TVokFormReader("state.form").Read(text);
    auto* readG = dynamic_cast<TSignalGen*>(again->FindComponent("G"));
    auto* readH = dynamic_cast<TSignalGen*>(again->FindComponent("H"));
    EXPECT_TRUE(readG->GetEnablePin()->IsInSameDispatcher(readH->GetEnablePin()));
    EXPECT_FALSE(readG->GetEnablePin()->IsInSameDispatcher(genA->GetEnablePin()));
}

TEST_F(FormWriterTest, ListLinksFollowsComponentsPinsAndDispatchOrder) {
    std::unique_ptr<TVokComponent> form = TVokFormReader("main.form").Read(kMainDescription);
    const std::vector<TVokLinkEntry> links = VokListLinks(*form);
    ASSERT_EQ(links.size(), MainLinks().size());
    EXPECT_EQ(links.front().m_source->GetFullName(true), "Form1.DruSignalGen1.OutputPin");
    EXPECT_EQ(links.back().m_sink->GetFullName(true), "Form1.DruSignalGen2.ClockPin");
}

} // namespace
