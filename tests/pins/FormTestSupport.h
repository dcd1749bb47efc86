#pragma once

// Shared by the form reader and writer tests: the processing graph of the main window as a
// description of test components, the links it must produce, and a leak-checking fixture.

#include "FormTestComponents.h"

#include "pins/VokFormReader.h"
#include "pins/VokFormWriter.h"
#include "pins/VokStateDispatcher.h"
#include "pins/VokUnloadedPin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace formtest {

/// The processing part of the main window, every link stored at both ends. The capture
/// component comes last, so that its output serves its five sinks in the stored order.
inline const char* const kMainDescription = R"(object Form1: TFormTestForm
  Caption = 'Audio Recorder Demo'
  object DruSignalGen1: TFormTestSignalGen
    Enabled = False
    PumpPriority = 0
    ClockSource = csExternal
    AudioFormat.SampleRate = 44100
    AudioFormat.Channels = 1
    Amplitude = 5000
    Frequency = 520.0
    ClockPin.Form = Form1
    ClockPin.SourcePin = Form1.DruDSAudioIn1.OutputPin
    OutputPin.Form = Form1
    OutputPin.SinkPins = (Form1.DruAudioToReal2.InputPin)
  end
  object DruSignalGen2: TFormTestSignalGen
    Enabled = False
    PumpPriority = 0
    ClockSource = csExternal
    AudioFormat.SampleRate = 44100
    AudioFormat.Channels = 1
    Amplitude = 2500
    Frequency = 10000.0
    ClockPin.Form = Form1
    ClockPin.SourcePin = Form1.DruDSAudioIn1.OutputPin
    OutputPin.Form = Form1
    OutputPin.SinkPins = (Form1.DruAudioToReal3.InputPin)
  end
  object DruSignalGen3: TFormTestSignalGen
    Enabled = False
    PumpPriority = 0
    ClockSource = csExternal
    AudioFormat.SampleRate = 44100
    AudioFormat.Channels = 1
    Amplitude = 1250
    Frequency = 21500.0
    ClockPin.Form = Form1
    ClockPin.SourcePin = Form1.DruDSAudioIn1.OutputPin
    OutputPin.Form = Form1
    OutputPin.SinkPins = (Form1.DruAudioToReal4.InputPin)
  end
  object DruAudioToReal1: TFormTestAudioToReal
    InputPin.Form = Form1
    InputPin.SourcePin = Form1.DruDSAudioIn1.OutputPin
    OutputPins.Count = 2
    OutputPins.Form = Form1
    OutputPins.Pins = (Sinks ((Form1.ZemAdd1.InputPins._Pin0 'Form1.ZemAdd1.InputPins.Pin [0]') (Form1.ZemScope1.InputPins._Pin0 'Form1.ZemScope1.InputPins.Channel0')) Sinks ((Form1.ZemAdd1.InputPins._Pin1 'Form1.ZemAdd1.InputPins.Pin [1]') (Form1.ZemScope1.InputPins._Pin1 'Form1.ZemScope1.InputPins.Channel1')))
  end
  object DruAudioToReal2: TFormTestAudioToReal
    CountChannels = 1
    InputPin.Form = Form1
    InputPin.SourcePin = Form1.DruSignalGen1.OutputPin
    OutputPins.Count = 1
    OutputPins.Form = Form1
    OutputPins.Pins = (Sinks ((Form1.ZemAdd2.InputPins._Pin0 'Form1.ZemAdd2.InputPins.Pin [0]') (Form1.ZemScope3.InputPins._Pin0 'Form1.ZemScope3.InputPins.Signal')))
  end
  object DruAudioToReal3: TFormTestAudioToReal
    CountChannels = 1
    InputPin.Form = Form1
    InputPin.SourcePin = Form1.DruSignalGen2.OutputPin
    OutputPins.Count = 1
    OutputPins.Form = Form1
    OutputPins.Pins = (Sinks ((Form1.ZemAdd2.InputPins._Pin1 'Form1.ZemAdd2.InputPins.Pin [1]') (Form1.ZemScope3.InputPins._Pin1 'Form1.ZemScope3.InputPins.Channel1')))
  end
  object DruAudioToReal4: TFormTestAudioToReal
    CountChannels = 1
    InputPin.Form = Form1
    InputPin.SourcePin = Form1.DruSignalGen3.OutputPin
    OutputPins.Count = 1
    OutputPins.Form = Form1
    OutputPins.Pins = (Sinks ((Form1.ZemAdd2.InputPins._Pin2 'Form1.ZemAdd2.InputPins.Pin [2]') (Form1.ZemScope3.InputPins._Pin2 'Form1.ZemScope3.InputPins.Channel2')))
  end
  object DruSpectrum1: TFormTestSpectrum
    SamplingWindowStep = 0
    InputPin.Form = Form1
    InputPin.SourcePin = Form1.DruDSAudioIn1.OutputPin
    OutputPins.Count = 2
    OutputPins.Form = Form1
    OutputPins.Pins = (Sinks ((Form1.ZemScope2.InputPins._Pin0 'Form1.ZemScope2.InputPins.Channel0')) Sinks ((Form1.ZemScope2.InputPins._Pin1 'Form1.ZemScope2.InputPins.Channel1')))
    FrequencyOutputPins.Count = 2
    FrequencyOutputPins.Form = Form1
    FrequencyOutputPins.Pins = (nil nil)
  end
  object DruSpectrum2: TFormTestSpectrum
    CountChannels = 1
    SamplingWindowStep = 0
    InputPin.Form = Form1
    InputPin.SourcePin = Form1.DruRealToAudio1.OutputPin
    OutputPins.Count = 1
    OutputPins.Form = Form1
    OutputPins.Pins = (Sinks (Form1.ZemWaterfall1.InputPin))
    FrequencyOutputPins.Count = 1
    FrequencyOutputPins.Form = Form1
    FrequencyOutputPins.Pins = (nil)
  end
  object ZemAdd1: TFormTestAdd
    InputPins.Count = 2
    InputPins.Form = Form1
    InputPins.Pins = ((Form1.DruAudioToReal1.OutputPins._Pin0 'Form1.DruAudioToReal1.OutputPins.Pin [0]') (Form1.DruAudioToReal1.OutputPins._Pin1 'Form1.DruAudioToReal1.OutputPins.Pin [1]'))
    OutputPin.Form = Form1
    OutputPin.SinkPins = ((Form1.ZemAdd3.InputPins._Pin0 'Form1.ZemAdd3.InputPins.Pin [0]'))
  end
  object ZemAdd2: TFormTestAdd
    InputPins.Count = 3
    InputPins.Form = Form1
    InputPins.Pins = ((Form1.DruAudioToReal2.OutputPins._Pin0 'Form1.DruAudioToReal2.OutputPins.Pin [0]') (Form1.DruAudioToReal3.OutputPins._Pin0 'Form1.DruAudioToReal3.OutputPins.Pin [0]') (Form1.DruAudioToReal4.OutputPins._Pin0 'Form1.DruAudioToReal4.OutputPins.Pin [0]'))
    OutputPin.Form = Form1
    OutputPin.SinkPins = ((Form1.ZemAdd3.InputPins._Pin1 'Form1.ZemAdd3.InputPins.Pin [1]'))
  end
  object ZemAdd3: TFormTestAdd
    InputPins.Count = 2
    InputPins.Form = Form1
    InputPins.Pins = (Form1.ZemAdd1.OutputPin Form1.ZemAdd2.OutputPin)
    OutputPin.Form = Form1
    OutputPin.SinkPins = ((Form1.DruRealToAudio1.InputPins._Pin0 'Form1.DruRealToAudio1.InputPins.Pin [0]'))
  end
  object DruRealToAudio1: TFormTestAdd
    InputPins.Count = 1
    InputPins.Form = Form1
    InputPins.Pins = (Form1.ZemAdd3.OutputPin)
    OutputPin.Form = Form1
    OutputPin.SinkPins = (Form1.DruSpectrum2.InputPin)
  end
  object ZemScope1: TFormTestScope
    Channels = <
      item
        Name = 'Channel0'
      end
      item
        Name = 'Channel1'
        Color = 65280
      end>
    InputPins.Count = 2
    InputPins.Form = Form1
    InputPins.Pins = ((Form1.DruAudioToReal1.OutputPins._Pin0 'Form1.DruAudioToReal1.OutputPins.Pin [0]') (Form1.DruAudioToReal1.OutputPins._Pin1 'Form1.DruAudioToReal1.OutputPins.Pin [1]'))
  end
  object ZemScope2: TFormTestScope
    Channels = <
      item
        Name = 'Channel0'
      end
      item
        Name = 'Channel1'
        Color = 65280
      end
      item
        Name = 'Channel2'
        Color = 16711680
      end>
    InputPins.Count = 3
    InputPins.Form = Form1
    InputPins.Pins = ((Form1.DruSpectrum1.OutputPins._Pin0 'Form1.DruSpectrum1.OutputPins.Pin [0]') (Form1.DruSpectrum1.OutputPins._Pin1 'Form1.DruSpectrum1.OutputPins.Pin [1]') nil)
  end
  object ZemScope3: TFormTestScope
    Channels = <
      item
        Name = 'Signal'
      end
      item
        Name = 'Channel1'
        Color = 65280
      end
      item
        Name = 'Channel2'
        Color = 16711680
      end>
    InputPins.Count = 3
    InputPins.Form = Form1
    InputPins.Pins = ((Form1.DruAudioToReal2.OutputPins._Pin0 'Form1.DruAudioToReal2.OutputPins.Pin [0]') (Form1.DruAudioToReal3.OutputPins._Pin0 'Form1.DruAudioToReal3.OutputPins.Pin [0]') (Form1.DruAudioToReal4.OutputPins._Pin0 'Form1.DruAudioToReal4.OutputPins.Pin [0]'))
  end
  object ZemWaterfall1: TFormTestWaterfall
    InputPin.Form = Form1
    InputPin.SourcePin = (Form1.DruSpectrum2.OutputPins._Pin0 'Form1.DruSpectrum2.OutputPins.Pin [0]')
  end
  object DruDSAudioIn1: TFormTestAudioIn
    Enabled = False
    AudioFormat.SampleRate = 44100
    OutputPin.Form = Form1
    OutputPin.SinkPins = (Form1.DruSignalGen1.ClockPin Form1.DruSignalGen3.ClockPin Form1.DruSpectrum1.InputPin Form1.DruAudioToReal1.InputPin Form1.DruSignalGen2.ClockPin)
  end
end
)";

/// The links of the main window's graph in `VokListLinks` order (components in document
/// order, sources in property order, sinks in dispatch order), names without root.
inline std::vector<std::string> MainLinks() {
    return {
        "DruSignalGen1.OutputPin -> DruAudioToReal2.InputPin",
        "DruSignalGen2.OutputPin -> DruAudioToReal3.InputPin",
        "DruSignalGen3.OutputPin -> DruAudioToReal4.InputPin",
        "DruAudioToReal1.OutputPins.Pin [0] -> ZemAdd1.InputPins.Pin [0]",
        "DruAudioToReal1.OutputPins.Pin [0] -> ZemScope1.InputPins.Channel0",
        "DruAudioToReal1.OutputPins.Pin [1] -> ZemAdd1.InputPins.Pin [1]",
        "DruAudioToReal1.OutputPins.Pin [1] -> ZemScope1.InputPins.Channel1",
        "DruAudioToReal2.OutputPins.Pin [0] -> ZemAdd2.InputPins.Pin [0]",
        "DruAudioToReal2.OutputPins.Pin [0] -> ZemScope3.InputPins.Signal",
        "DruAudioToReal3.OutputPins.Pin [0] -> ZemAdd2.InputPins.Pin [1]",
        "DruAudioToReal3.OutputPins.Pin [0] -> ZemScope3.InputPins.Channel1",
        "DruAudioToReal4.OutputPins.Pin [0] -> ZemAdd2.InputPins.Pin [2]",
        "DruAudioToReal4.OutputPins.Pin [0] -> ZemScope3.InputPins.Channel2",
        "DruSpectrum1.OutputPins.Pin [0] -> ZemScope2.InputPins.Channel0",
        "DruSpectrum1.OutputPins.Pin [1] -> ZemScope2.InputPins.Channel1",
        "DruSpectrum2.OutputPins.Pin [0] -> ZemWaterfall1.InputPin",
        "ZemAdd1.OutputPin -> ZemAdd3.InputPins.Pin [0]",
        "ZemAdd2.OutputPin -> ZemAdd3.InputPins.Pin [1]",
        "ZemAdd3.OutputPin -> DruRealToAudio1.InputPins.Pin [0]",
        "DruRealToAudio1.OutputPin -> DruSpectrum2.InputPin",
        "DruDSAudioIn1.OutputPin -> DruSignalGen1.ClockPin",
        "DruDSAudioIn1.OutputPin -> DruSignalGen3.ClockPin",
        "DruDSAudioIn1.OutputPin -> DruSpectrum1.InputPin",
        "DruDSAudioIn1.OutputPin -> DruAudioToReal1.InputPin",
        "DruDSAudioIn1.OutputPin -> DruSignalGen2.ClockPin",
    };
}

/// Every link of `root` as "Source -> Sink", display names without root (with root when
/// `withRoot`).
inline std::vector<std::string> LinkNames(const TVokComponent& root, bool withRoot = false) {
    std::vector<std::string> names;
    for (const TVokLinkEntry& link : VokListLinks(root)) {
        names.push_back(link.m_source->GetFullName(withRoot) + " -> " +
                        link.m_sink->GetFullName(withRoot));
    }
    return names;
}

/// `text` with every occurrence of `from` replaced by `to`.
inline std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

/// Registers the test classes and checks that every test leaves no pin, placeholder or
/// dispatcher behind.
class FormFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterVokClasses();
        RegisterFormTestClasses();
        LoadedLog().clear();
        m_pins = TVokBasicPin::LiveCount();
        m_placeholders = TVokUnloadedPin::PlaceholderCount();
        m_dispatchers = TVokStateDispatcher::LiveCount();
    }
    void TearDown() override {
        EXPECT_EQ(TVokBasicPin::LiveCount(), m_pins);
        EXPECT_EQ(TVokUnloadedPin::PlaceholderCount(), m_placeholders);
        EXPECT_EQ(TVokStateDispatcher::LiveCount(), m_dispatchers);
    }

    int64_t m_pins = 0;
    int64_t m_placeholders = 0;
    int64_t m_dispatchers = 0;
};

} // namespace formtest
