// The main window's description as compiled into the program, read with the real processing
// and capture classes and stand-ins for the visual ones.

#include "app/Unit1Form.h"
#include "capture/CaptureClasses.h"
#include "capture/DruDSAudioIn.h"
#include "components/ComponentClasses.h"
#include "components/DruAudioToReal.h"
#include "components/DruRealToAudio.h"
#include "components/DruSignalGen.h"
#include "components/DruSpectrum.h"
#include "components/ZemAdd.h"
#include "pins/VokFormReader.h"
#include "pins/VokFormWriter.h"
#include "pins/VokPin.h"
#include "pins/VokStandIn.h"
#include "pins/VokUnloadedPin.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class Unit1FormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        VokInitializeFramework();
        RegisterVokClasses();
        RegisterComponentClasses();
        RegisterCaptureClasses();
        RegisterUnit1StandIns();
        m_pins = TVokBasicPin::LiveCount();
        m_placeholders = TVokUnloadedPin::PlaceholderCount();
    }
    void TearDown() override {
        EXPECT_EQ(TVokBasicPin::LiveCount(), m_pins);
        EXPECT_EQ(TVokUnloadedPin::PlaceholderCount(), m_placeholders);
    }

    static std::unique_ptr<TVokComponent> ReadWindow(std::string_view text) {
        return TVokFormReader("Unit1.form").Read(text);
    }

    template <class T> static T& Component(const TVokComponent& root, std::string_view name) {
        auto* component = dynamic_cast<T*>(root.FindComponent(name));
        if (component == nullptr) {
            throw std::runtime_error("no component " + std::string(name) + " of that class");
        }
        return *component;
    }

    int64_t m_pins = 0;
    int64_t m_placeholders = 0;
};

std::vector<std::string> LinkNames(const TVokComponent& root) {
    std::vector<std::string> names;
    for (const TVokLinkEntry& link : VokListLinks(root)) {
        names.push_back(link.m_source->GetFullName(false) + " -> " +
                        link.m_sink->GetFullName(false));
    }
    return names;
}

/// The window's links among the pins that exist without the displays, in listing order
/// (components in document order, sinks in dispatch order). The capture's five sinks keep the
/// order the description stores, although each of them names the capture first.
const std::vector<std::string> kProcessingLinks = {
    "ZemAdd1.OutputPin -> ZemAdd3.InputPins.Pin [0]",
    "ZemAdd2.OutputPin -> ZemAdd3.InputPins.Pin [1]",
    "ZemAdd3.OutputPin -> DruRealToAudio1.InputPins.Pin [0]",
    "DruRealToAudio1.OutputPin -> DruSpectrum2.InputPin",
    "DruSignalGen1.OutputPin -> DruAudioToReal2.InputPin",
    "DruSignalGen2.OutputPin -> DruAudioToReal3.InputPin",
    "DruSignalGen3.OutputPin -> DruAudioToReal4.InputPin",
    "DruAudioToReal1.OutputPins.Pin [0] -> ZemAdd1.InputPins.Pin [0]",
    "DruAudioToReal1.OutputPins.Pin [1] -> ZemAdd1.InputPins.Pin [1]",
    "DruAudioToReal2.OutputPins.Pin [0] -> ZemAdd2.InputPins.Pin [0]",
    "DruAudioToReal3.OutputPins.Pin [0] -> ZemAdd2.InputPins.Pin [1]",
    "DruAudioToReal4.OutputPins.Pin [0] -> ZemAdd2.InputPins.Pin [2]",
    "DruDSAudioIn1.OutputPin -> DruSignalGen1.ClockPin",
    "DruDSAudioIn1.OutputPin -> DruSignalGen3.ClockPin",
    "DruDSAudioIn1.OutputPin -> DruSpectrum1.InputPin",
    "DruDSAudioIn1.OutputPin -> DruAudioToReal1.InputPin",
    "DruDSAudioIn1.OutputPin -> DruSignalGen2.ClockPin",
};

TEST_F(Unit1FormTest, MakesExactlyTheProcessingLinksInStoredOrder) {
    std::unique_ptr<TVokComponent> window = ReadWindow(Unit1FormDescription());
    ASSERT_TRUE(window->IsForm());
    EXPECT_EQ(window->GetName(), "Form1");
    EXPECT_EQ(LinkNames(*window), kProcessingLinks);

    // Every sink knows its source, and nothing else is linked: the generators' enable and
    // frequency pins, the capture's enable pin and the spectra's frequency outputs stay free.
    for (const char* name : {"DruSignalGen1", "DruSignalGen2", "DruSignalGen3"}) {
        const auto& generator = Component<TDruSignalGen>(*window, name);
        EXPECT_FALSE(generator.GetEnablePin()->IsConnected()) << name;
        EXPECT_FALSE(generator.GetFrequencyPin()->IsConnected()) << name;
        EXPECT_EQ(generator.GetClockPin()->GetSourcePin(),
                  Component<TDruDSAudioIn>(*window, "DruDSAudioIn1").GetOutputPin())
            << name;
    }
    EXPECT_FALSE(Component<TDruDSAudioIn>(*window, "DruDSAudioIn1").GetEnablePin()->IsConnected());
    for (const char* name : {"DruSpectrum1", "DruSpectrum2"}) {
        const TVokPinList& outputs =
            *Component<TDruSpectrum>(*window, name).GetFrequencyOutputPins();
        for (int i = 0; i < outputs.GetCount(); ++i) {
            EXPECT_FALSE(outputs.GetPin(i)->IsConnected()) << name << " " << i;
        }
    }
}

TEST_F(Unit1FormTest, SetsEveryComponentAsTheWindowNeedsIt) {
    std::unique_ptr<TVokComponent> window = ReadWindow(Unit1FormDescription());

    const auto& capture = Component<TDruDSAudioIn>(*window, "DruDSAudioIn1");
    EXPECT_FALSE(capture.GetEnabled());
    EXPECT_EQ(capture.GetAudioFormat()->GetSampleRate(), 44100u);

    const struct {
        const char* m_name;
        int32_t m_amplitude;
        double m_frequency;
    } generators[] = {{"DruSignalGen1", 5000, 520.0},
                      {"DruSignalGen2", 2500, 10000.0},
                      {"DruSignalGen3", 1250, 21500.0}};
    for (const auto& expected : generators) {
        const auto& generator = Component<TDruSignalGen>(*window, expected.m_name);
        EXPECT_FALSE(generator.GetEnabled()) << expected.m_name;
        EXPECT_EQ(generator.GetPumpPriority(), 0) << expected.m_name;
        EXPECT_EQ(generator.GetClockSource(), csExternal) << expected.m_name;
        EXPECT_EQ(generator.GetAudioFormat()->GetChannels(), 1u) << expected.m_name;
        EXPECT_EQ(generator.GetAudioFormat()->GetSampleRate(), 44100u) << expected.m_name;
        EXPECT_EQ(generator.GetAmplitude(), expected.m_amplitude) << expected.m_name;
        EXPECT_EQ(generator.GetFrequency(), expected.m_frequency) << expected.m_name;
    }

    EXPECT_EQ(Component<TDruAudioToReal>(*window, "DruAudioToReal1").GetOutputPins()->GetCount(),
              2);
    for (const char* name : {"DruAudioToReal2", "DruAudioToReal3", "DruAudioToReal4"}) {
        EXPECT_EQ(Component<TDruAudioToReal>(*window, name).GetCountChannels(), 1u) << name;
    }
    const auto& spectrum1 = Component<TDruSpectrum>(*window, "DruSpectrum1");
    const auto& spectrum2 = Component<TDruSpectrum>(*window, "DruSpectrum2");
    EXPECT_EQ(spectrum1.GetOutputPins()->GetCount(), 2);
    EXPECT_EQ(spectrum1.GetFrequencyOutputPins()->GetCount(), 2);
    EXPECT_EQ(spectrum2.GetCountChannels(), 1u);
    EXPECT_EQ(spectrum2.GetFrequencyOutputPins()->GetCount(), 1);
    EXPECT_EQ(spectrum1.GetSamplingWindowStep(), 0u);

    EXPECT_EQ(Component<TZemAdd>(*window, "ZemAdd1").GetInputPins()->GetCount(), 2);
    EXPECT_EQ(Component<TZemAdd>(*window, "ZemAdd2").GetInputPins()->GetCount(), 3);
    EXPECT_EQ(Component<TZemAdd>(*window, "ZemAdd3").GetInputPins()->GetCount(), 2);
    const auto& merger = Component<TDruRealToAudio>(*window, "DruRealToAudio1");
    EXPECT_EQ(merger.GetInputPins()->GetCount(), 1);
    EXPECT_EQ(merger.GetAudioFormat()->GetChannels(), 1u);
    EXPECT_EQ(merger.GetAudioFormat()->GetSampleRate(), 44100u);

    // The visual objects are stand-ins here: they keep their settings as written, nested as in
    // the window.
    const TVokRawProperties* windowRaw = window->GetRawProperties();
    ASSERT_NE(windowRaw, nullptr);
    ASSERT_NE(windowRaw->Find("Caption"), nullptr);
    EXPECT_EQ(windowRaw->Find("Caption")->m_text, "Audio Recorder Demo");
    const TVokComponent* stop = window->FindComponent("StopButton");
    ASSERT_NE(stop, nullptr);
    EXPECT_EQ(stop->GetClassInfo().GetClassName(), "TButton");
    ASSERT_NE(stop->GetParentComponent(), nullptr);
    EXPECT_EQ(stop->GetParentComponent()->GetName(), "Panel1");
    ASSERT_NE(stop->GetRawProperties()->Find("OnClick"), nullptr);
    EXPECT_EQ(stop->GetRawProperties()->Find("OnClick")->m_text, "StopButtonClick");
}

TEST_F(Unit1FormTest, WritingAndReadingBackKeepsLinksAndSettings) {
    std::unique_ptr<TVokComponent> first = ReadWindow(Unit1FormDescription());
    const std::string written = TVokFormWriter().Write(*first);
    first.reset();

    std::unique_ptr<TVokComponent> second = ReadWindow(written);
    EXPECT_EQ(LinkNames(*second), kProcessingLinks);
    EXPECT_EQ(TVokFormWriter().Write(*second), written);
    // What a stand-in cannot interpret, the display ends of the links among them, is kept.
    EXPECT_NE(written.find("InputPin.SourcePin = (Form1.DruSpectrum2.OutputPins._Pin0 "
                           "'Form1.DruSpectrum2.OutputPins.Pin [0]')"),
              std::string::npos);
    EXPECT_NE(written.find("Caption = 'Audio Recorder Demo'"), std::string::npos);
}

TEST_F(Unit1FormTest, RealClassesRegisteredFirstWinOverStandIns) {
    // Stand-ins never replace a class of the same name, and registering them twice is
    // harmless.
    EXPECT_FALSE(RegisterVokStandInClass("TDruSignalGen"));
    RegisterUnit1StandIns();
    EXPECT_EQ(FindVokClass("TDruSignalGen"), &TDruSignalGen::ClassInfo());
    EXPECT_THROW(RegisterVokStandInClass("not a name"), std::invalid_argument);
}

} // namespace
