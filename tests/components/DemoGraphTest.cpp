// The processing part of the main window's graph, headless: a test source stands for the
// capture output and recording sinks for the displays.
#include "buffers/DruAudioBuffer.h"
#include "buffers/DruAudioFormat.h"
#include "components/DruDemoGraph.h"
#include "components/DruSignalGen.h"
#include "pins/VokComponent.h"
#include "pins/VokStateDispatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kFrames = 1024;
constexpr double kBinWidth = static_cast<double>(kRate) / 256.0; // 256-sample windows
constexpr int kLeftBin = 10;
constexpr int kRightBin = 30;

/// Stands for a display: a real sink of the kind display channels use, recording starts, stops
/// and the samples of every buffer.
class TRecordingDisplay : public TVokComponent {
  public:
    explicit TRecordingDisplay(TVokComponent* owner, const char* name) : TVokComponent(owner) {
        SetName(name);
        m_input = MakePin<TZemVokComboRealIntSinkPin>(
            this, TZemPinHandler::Of<&TRecordingDisplay::OnData>(this));
        m_input->SetUpstreamTypeFree(true);
    }

    TVokNotifyResults OnData(TVokBasicPin*, const TVokGuid&, TVokNotifyFlags,
                             TVokNotifyOperation* operation) {
        if (const auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation)) {
            const auto* real = BufferCast<TZemRealBuffer>(supplied->GetBuffer());
            if (real != nullptr) {
                m_buffers.emplace_back(real->GetReadPointer(),
                                       real->GetReadPointer() + real->GetSize());
            }
        } else if (OperationAs<TVokStartOperation>(operation) != nullptr) {
            ++m_starts;
        } else if (OperationAs<TVokStopOperation>(operation) != nullptr) {
            ++m_stops;
        }
        return {};
    }

    TVokPinPtr<TZemVokComboRealIntSinkPin> m_input;
    std::vector<std::vector<double>> m_buffers;
    int m_starts = 0;
    int m_stops = 0;
};

/// Stands for the capture component: its output pin is driven by the test.
class TTestCapture : public TVokComponent {
  public:
    explicit TTestCapture(TVokComponent* owner) : TVokComponent(owner) {
        SetName("DruDSAudioIn1");
        m_output = MakePin<TDruVokAudioSourcePin>(this, TZemPinHandler{});
    }

    void Start() {
        uint8_t record[kDruFormatRecordSize];
        DruStoreWaveFormat(DruMakeWaveFormat(kRate, 3, 2, 16), record);
        TRef<TVokNotifyOperation> start =
            MakeRef<TVokStartWaveOperation>(record, static_cast<float>(kRate) / kFrames);
        m_output->Notify(start.Get());
    }

    /// One stereo 16-bit buffer: a tone on the left at bin 10, on the right at bin 30 of a
    /// 256-sample window, continuing from the previous buffer.
    TRef<TDruAudioBuffer> NextBuffer() {
        TRef<TDruAudioBuffer> buffer = MakeRef<TDruAudioBuffer>(kRate, 3u, kFrames, 2u, 16u);
        auto* samples = reinterpret_cast<int16_t*>(buffer->GetWritePointer());
        for (uint32_t frame = 0; frame < kFrames; ++frame, ++m_sample) {
            const double t = static_cast<double>(m_sample) / 256.0 * 2.0 * std::numbers::pi;
            samples[2 * frame] = static_cast<int16_t>(std::lround(8000.0 * std::sin(kLeftBin * t)));
            samples[2 * frame + 1] =
                static_cast<int16_t>(std::lround(4000.0 * std::sin(kRightBin * t)));
        }
        return buffer;
    }

    TVokPinPtr<TDruVokAudioSourcePin> m_output;
    uint64_t m_sample = 0;
};

int PeakBin(const std::vector<double>& spectrum) {
    return static_cast<int>(std::max_element(spectrum.begin() + 1, spectrum.end()) -
                            spectrum.begin());
}

class DemoGraphTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_pinsBefore = TVokBasicPin::LiveCount();
        m_operationsBefore = TVokNotifyOperation::LiveCount();
        m_form = std::make_unique<TVokForm>();
        m_form->SetName("Form1");
        m_capture = new TTestCapture(m_form.get());
        const char* names[] = {"ZemScope1a", "ZemScope1b", "ZemScope2a", "ZemScope2b",
                               "ZemScope3a", "ZemScope3b", "ZemScope3c", "ZemWaterfall1"};
        for (int i = 0; i < 8; ++i) {
            m_displays[i] = new TRecordingDisplay(m_form.get(), names[i]);
        }
        TDruDemoDisplays displays;
        displays.m_scope1 = {Input(0), Input(1)};
        displays.m_scope2 = {Input(2), Input(3)};
        displays.m_scope3 = {Input(4), Input(5), Input(6)};
        displays.m_waterfall = Input(7);
        m_graph = BuildDemoGraph(*m_form, *m_capture->m_output, displays);
    }
    void TearDown() override {
        m_form.reset();
        EXPECT_EQ(TVokBasicPin::LiveCount(), m_pinsBefore);
        EXPECT_EQ(TVokNotifyOperation::LiveCount(), m_operationsBefore);
    }
    TVokBasicPin* Input(int display) { return m_displays[display]->m_input.get(); }
    TRecordingDisplay& Display(int index) { return *m_displays[index]; }

    std::unique_ptr<TVokForm> m_form;
    TTestCapture* m_capture = nullptr;
    TRecordingDisplay* m_displays[8] = {};
    TDruDemoGraph m_graph;
    int64_t m_pinsBefore = 0;
    int64_t m_operationsBefore = 0;
};

TEST_F(DemoGraphTest, LinksAreMadeInTheWindowsOrder) {
    TDruVokAudioSourcePin& capture = *m_capture->m_output;
    ASSERT_EQ(capture.GetSinkCount(), 5);
    EXPECT_EQ(capture.GetSink(0)->GetFullName(true), "Form1.DruSignalGen1.ClockPin");
    EXPECT_EQ(capture.GetSink(1)->GetFullName(true), "Form1.DruSignalGen3.ClockPin");
    EXPECT_EQ(capture.GetSink(2)->GetFullName(true), "Form1.DruSpectrum1.InputPin");
    EXPECT_EQ(capture.GetSink(3)->GetFullName(true), "Form1.DruAudioToReal1.InputPin");
    EXPECT_EQ(capture.GetSink(4)->GetFullName(true), "Form1.DruSignalGen2.ClockPin");
}

TEST_F(DemoGraphTest, BuffersFlowToEveryDisplayAndStopReachesThemAll) {
    m_graph.EnableGenerators(true);
    m_capture->Start();
    constexpr int kBuffers = 6;
    std::vector<std::vector<int16_t>> sent;
    for (int i = 0; i < kBuffers; ++i) {
        TRef<TDruAudioBuffer> buffer = m_capture->NextBuffer();
        const auto* samples = reinterpret_cast<const int16_t*>(buffer->GetReadPointer());
        sent.emplace_back(samples, samples + 2 * kFrames);
        m_capture->m_output->SendBuffer(buffer);
    }

    // The first scope sees the captured samples as doubles.
    for (int channel = 0; channel < 2; ++channel) {
        const TRecordingDisplay& scope = Display(channel);
        ASSERT_EQ(scope.m_buffers.size(), static_cast<size_t>(kBuffers));
        for (int i = 0; i < kBuffers; ++i) {
            ASSERT_EQ(scope.m_buffers[i].size(), kFrames);
            for (uint32_t frame = 0; frame < kFrames; frame += 97) {
                EXPECT_EQ(scope.m_buffers[i][frame], sent[i][2 * frame + channel]);
            }
        }
    }
    // The spectrum scope: four 128-bin spectra per buffer and channel, peaking at the tones.
    const int expectedBins[] = {kLeftBin, kRightBin};
    for (int channel = 0; channel < 2; ++channel) {
        const TRecordingDisplay& scope = Display(2 + channel);
        ASSERT_EQ(scope.m_buffers.size(), static_cast<size_t>(4 * kBuffers));
        for (const auto& spectrum : scope.m_buffers) {
            ASSERT_EQ(spectrum.size(), 128u);
            EXPECT_EQ(PeakBin(spectrum), expectedBins[channel]);
        }
    }
    // The generator scope: one 1024-sample stream per generator and buffer.
    for (int generator = 0; generator < 3; ++generator) {
        const TRecordingDisplay& scope = Display(4 + generator);
        ASSERT_EQ(scope.m_buffers.size(), static_cast<size_t>(kBuffers)) << generator;
        EXPECT_EQ(scope.m_buffers.front().size(), kFrames);
        const double peak = std::abs(
            *std::max_element(scope.m_buffers.back().begin(), scope.m_buffers.back().end(),
                              [](double a, double b) { return std::abs(a) < std::abs(b); }));
        const double amplitudes[] = {5000.0, 2500.0, 1250.0};
        EXPECT_NEAR(peak, amplitudes[generator], amplitudes[generator] * 0.05);
    }
    // The waterfall: 128-bin spectra of the mix, with the generators' and the input's peaks.
    const TRecordingDisplay& waterfall = Display(7);
    ASSERT_GE(waterfall.m_buffers.size(), 4u);
    const std::vector<double>& last = waterfall.m_buffers.back();
    ASSERT_EQ(last.size(), 128u);
    std::vector<double> sorted = last;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    const int peakBins[] = {static_cast<int>(std::lround(520.0 / kBinWidth)),
                            static_cast<int>(std::lround(10000.0 / kBinWidth)),
                            static_cast<int>(std::lround(21500.0 / kBinWidth)), kLeftBin,
                            kRightBin};
    for (int bin : peakBins) {
        EXPECT_GT(last[static_cast<size_t>(bin)], 20.0 * median) << "bin " << bin;
    }

    // Stop: the capture stops, the generators are disabled; every display hears a stop.
    m_capture->m_output->SendStop();
    m_graph.EnableGenerators(false);
    for (int display = 0; display < 8; ++display) {
        EXPECT_GE(Display(display).m_stops, 1) << "display " << display;
    }
}

} // namespace
