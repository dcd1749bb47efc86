#include "components/DruSpectrum.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <future>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using TSignal = std::vector<std::vector<int32_t>>; // per channel

constexpr double kRate = 44100.0;

// Drives an audio stream the way the capture component does.
class TTestAudioSource : public TVokComponent {
  public:
    explicit TTestAudioSource(TVokComponent* owner)
        : TVokComponent(owner), m_output(MakePin<TDruVokAudioSourcePin>(this, TZemPinHandler{})) {
        TVokObject::LinkObjects(&m_lock, m_output.get());
    }
    // Starts a 16-bit stream of `channels` channels at 44100 samples per second.
    void Start(uint32_t channels) {
        const TDruWaveFormat format = DruMakeWaveFormat(44100, 3, channels, 16);
        uint8_t record[kDruFormatRecordSize];
        DruStoreWaveFormat(format, record);
        TRef<TVokNotifyOperation> start = MakeRef<TVokStartWaveOperation>(record, 43.07f);
        m_output->Notify(start.Get());
    }
    // Sends frames first … first + count − 1 of `signal` as one 16-bit buffer.
    void Send(const TSignal& signal, size_t first, size_t count) {
        const auto channels = static_cast<uint32_t>(signal.size());
        auto buffer =
            MakeRef<TDruAudioBuffer>(44100u, 3u, static_cast<uint32_t>(count), channels, 16u);
        auto* data = reinterpret_cast<int16_t*>(buffer->GetWritePointer());
        for (size_t frame = 0; frame < count; ++frame) {
            for (uint32_t channel = 0; channel < channels; ++channel) {
                *data++ = static_cast<int16_t>(signal[channel][first + frame]);
            }
        }
        m_output->SendBuffer(buffer);
    }
    // Sends `signal` cut into buffers of the given sizes.
    void SendInPieces(const TSignal& signal, const std::vector<size_t>& sizes) {
        size_t first = 0;
        for (const size_t size : sizes) {
            Send(signal, first, size);
            first += size;
        }
    }

    TVokObject m_lock;
    TVokPinPtr<TDruVokAudioSourcePin> m_output;
};

// Records what reaches its sink pin, which takes real buffers and real values.
class TTestSink : public TVokComponent {
  public:
    explicit TTestSink(TVokComponent* owner)
        : TVokComponent(owner), m_input(MakePin<TZemVokComboRealSinkPin>(
                                    this, TZemPinHandler::Of<&TTestSink::OnData>(this))) {
        TVokObject::LinkObjects(&m_lock, m_input.get());
        m_input->SetUpstreamTypeFree(true); // like a display channel: also fed by value pins
    }
    TVokNotifyResults OnData(TVokBasicPin*, const TVokGuid&, TVokNotifyFlags,
                             TVokNotifyOperation* operation) {
        m_received.emplace_back(operation);
        return {};
    }
    template <class T> std::vector<T*> All() const {
        std::vector<T*> result;
        for (const auto& operation : m_received) {
            if (T* typed = OperationAs<T>(operation.Get())) {
                result.push_back(typed);
            }
        }
        return result;
    }
    std::vector<std::vector<double>> Spectra() const {
        std::vector<std::vector<double>> result;
        for (auto* supplied : All<TVokSuppliedBufferOperation>()) {
            const auto* real = BufferCast<TZemRealBuffer>(supplied->GetBuffer());
            result.emplace_back(real->GetReadPointer(), real->GetReadPointer() + real->GetSize());
        }
        return result;
    }

    TVokObject m_lock;
    std::vector<TRef<TVokNotifyOperation>> m_received;
    TVokPinPtr<TZemVokComboRealSinkPin> m_input;
};

// |X[k]| for k = 0 … N/2 − 1 of x[start … start + N − 1] by the direct sum, scaled, with the DC
// bin set to 0.
std::vector<double> DirectMagnitudes(const std::vector<int32_t>& x, size_t start, uint32_t length,
                                     double scale) {
    std::vector<double> result(length / 2, 0.0);
    for (uint32_t k = 1; k < length / 2; ++k) {
        long double re = 0;
        long double im = 0;
        for (uint32_t n = 0; n < length; ++n) {
            const long double angle =
                2 * std::numbers::pi_v<long double> * ((uint64_t{k} * n) % length) / length;
            re += x[start + n] * std::cos(angle);
            im -= x[start + n] * std::sin(angle);
        }
        result[k] = static_cast<double>(std::sqrt(re * re + im * im)) * scale;
    }
    return result;
}

void ExpectSpectrum(const std::vector<double>& actual, const std::vector<double>& expected,
                    const std::string& what) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    EXPECT_EQ(actual[0], 0.0) << what << ": the DC bin is suppressed";
    for (size_t k = 0; k < actual.size(); ++k) {
        ASSERT_NEAR(actual[k], expected[k], 1e-6 * (1 + expected[k])) << what << " bin " << k;
    }
}

std::vector<int32_t> Noise(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> value(-32768, 32767);
    std::vector<int32_t> result(count);
    for (auto& sample : result) {
        sample = value(random);
    }
    return result;
}

// amplitude × sin(2π·bin·n/256), rounded: exactly on bin `bin` of a 256-sample window.
std::vector<int32_t> Tone(size_t count, uint32_t bin, double amplitude) {
    std::vector<int32_t> result(count);
    for (size_t n = 0; n < count; ++n) {
        result[n] = static_cast<int32_t>(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * bin * (n % 256) / 256)));
    }
    return result;
}

class SpectrumTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_form.SetName("Form1");
        m_pinsBefore = TVokBasicPin::LiveCount();
        m_operationsBefore = TVokNotifyOperation::LiveCount();
        m_blocksBefore = PoolBlocksInUse();
        m_source = Make<TTestAudioSource>();
        m_spectrum = Make<TDruSpectrum>();
        m_spectrum->SetName("DruSpectrum1");
        ASSERT_TRUE(m_source->m_output->Connect(m_spectrum->GetInputPin()));
    }
    void TearDown() override {
        while (!m_components.empty()) {
            m_components.pop_back();
        }
        EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 0u) << "posts outlived the window";
        EXPECT_EQ(TVokBasicPin::LiveCount(), m_pinsBefore);
        EXPECT_EQ(TVokNotifyOperation::LiveCount(), m_operationsBefore);
        EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore);
    }
    template <class T> T* Make() {
        m_components.push_back(std::make_unique<T>(&m_form));
        return static_cast<T*>(m_components.back().get());
    }
    std::vector<TTestSink*> LinkSinks() {
        std::vector<TTestSink*> sinks;
        for (int32_t i = 0; i < m_spectrum->GetCountChannels(); ++i) {
            sinks.push_back(Make<TTestSink>());
            EXPECT_TRUE(m_spectrum->GetOutputPin(i)->Connect(sinks.back()->m_input.get()));
        }
        return sinks;
    }
    // Records every report of the handler.
    void RecordFrequencies() {
        m_spectrum->SetOnFrequencyResult(
            [this](TDruSpectrum* sender, int32_t channel, double frequency) {
                EXPECT_EQ(sender, m_spectrum);
                m_reports.emplace_back(channel, frequency);
            });
    }

    TVokForm m_form;
    std::vector<std::unique_ptr<TVokComponent>> m_components;
    TTestAudioSource* m_source = nullptr;
    TDruSpectrum* m_spectrum = nullptr;
    std::vector<std::pair<int32_t, double>> m_reports;
    int64_t m_pinsBefore = 0;
    int64_t m_operationsBefore = 0;
    int64_t m_blocksBefore = 0;
};

TEST_F(SpectrumTest, PublishedPropertiesDefaultsAndClamps) {
    const TVokClassInfo& info = TDruSpectrum::ClassInfo();
    std::vector<std::string> names;
    for (const TVokPropertyInfo* property : info.GetProperties()) {
        names.push_back(property->GetName());
        if (!property->IsObjectValued() && property->GetKind() != pkEvent &&
            property->GetName() != "Name") {
            EXPECT_TRUE(property->IsDefault(m_spectrum)) << property->GetName();
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "InputPin", "OutputPins", "CountChannels",
                                               "Order", "SamplingWindowStep", "Normalization",
                                               "FrequencyOutputPins", "OnFrequencyResult"}));
    EXPECT_EQ(std::get<TVokEnumValue>(info.GetValue(m_spectrum, "Normalization")).m_name,
              "fnNormalize");

    for (const auto& [requested, stored] :
         {std::pair{5, 8}, std::pair{31, 30}, std::pair{12, 12}}) {
        m_spectrum->SetOrder(requested);
        EXPECT_EQ(m_spectrum->GetOrder(), stored);
    }
    // The frequency pins follow the channel count, also when it is set through their list.
    ClassInfoOf(m_spectrum->GetFrequencyOutputPins())
        ->SetValue(m_spectrum->GetFrequencyOutputPins(), "Count", int64_t{3});
    EXPECT_EQ(m_spectrum->GetCountChannels(), 3);
    EXPECT_EQ(m_spectrum->GetOutputPins()->GetCount(), 3);
    ASSERT_EQ(m_spectrum->GetFrequencyOutputPins()->GetCount(), 3);
    TVokRealSourcePin* third = m_spectrum->GetFrequencyOutputPin(2);
    EXPECT_EQ(third->GetFullName(true), "Form1.DruSpectrum1.FrequencyOutputPins.Pin [2]");
    EXPECT_TRUE(third->DependsOn(m_spectrum->GetInputPin()));
    m_spectrum->SetCountChannels(1);
    EXPECT_EQ(m_spectrum->GetFrequencyOutputPins()->GetCount(), 1);
    EXPECT_THROW(m_spectrum->GetFrequencyOutputPin(1), std::out_of_range);
    EXPECT_THROW(m_spectrum->GetResultFrequency(1), std::out_of_range);
}

// A 16-bit sine of amplitude 10000 exactly on bin 20 and the magnitude each scale gives there.
class SpectrumScaleTest
    : public SpectrumTest,
      public ::testing::WithParamInterface<std::pair<TZemFourierNormalization, double>> {};

TEST_P(SpectrumScaleTest, ASineOnBin20GivesItsScaledAmplitudeAndItsFrequency) {
    const auto [normalization, expected] = GetParam();
    m_spectrum->SetNormalization(normalization);
    const auto sinks = LinkSinks();
    RecordFrequencies();
    // Channel 1 is a constant: its only bin, DC, is suppressed.
    const TSignal signal{Tone(1024, 20, 10000), std::vector<int32_t>(1024, 1000)};
    m_source->Start(2);
    m_source->Send(signal, 0, 1024);

    const auto starts = sinks[0]->All<TVokStartSpectrumOperation>();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0]->GetBlockSize(), 128);
    EXPECT_EQ(starts[0]->GetSampleRate(), kRate);
    const auto tones = sinks[0]->Spectra();
    ASSERT_EQ(tones.size(), 4u);
    const double scale = expected / 5000.0 / 256.0; // 1/N for fnNormalize
    ExpectSpectrum(tones[3], DirectMagnitudes(signal[0], 768, 256, scale), "tone");
    EXPECT_NEAR(tones[3][20], expected, expected * 1e-4);
    const auto constants = sinks[1]->Spectra();
    ASSERT_EQ(constants.size(), 4u);
    for (const double magnitude : constants[0]) {
        EXPECT_LT(magnitude, 1e-6 * expected);
    }

    EXPECT_TRUE(m_reports.empty()) << "reports come on the GUI thread only";
    EXPECT_EQ(TVokHeadlessMessageLoop::GetPendingCount(), 8u) << "one post per spectrum";
    EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 8u);
    ASSERT_EQ(m_reports.size(), 16u) << "every message reports every channel";
    EXPECT_EQ(m_reports[14], (std::pair<int32_t, double>{0, 3445.3125}));
    EXPECT_EQ(m_reports[15].first, 1);
}

INSTANTIATE_TEST_SUITE_P(Scales, SpectrumScaleTest,
                         ::testing::Values(std::pair{fnNormalize, 5000.0},
                                           std::pair{fnNone, 1280000.0},
                                           std::pair{fnNormalizeSqrt, 80000.0}),
                         [](const auto& info) {
                             return ZemFourierNormalizationNames()[info.param.first];
                         });

TEST_F(SpectrumTest, FourSpectraPerBufferAndChannelEachOfItsOwnWindow) {
    const auto sinks = LinkSinks();
    const TSignal signal{Noise(2048, 1), Noise(2048, 2)};
    m_source->Start(2);
    m_source->Send(signal, 0, 1024);
    m_source->Send(signal, 1024, 1024);
    for (size_t channel = 0; channel < 2; ++channel) {
        const auto spectra = sinks[channel]->Spectra();
        ASSERT_EQ(spectra.size(), 8u);
        for (size_t window = 0; window < 8; ++window) {
            ExpectSpectrum(
                spectra[window], DirectMagnitudes(signal[channel], window * 256, 256, 1.0 / 256),
                "channel " + std::to_string(channel) + " window " + std::to_string(window));
        }
    }
}

// A step, the buffer sizes a stream comes in and the distance between window starts.
struct TStepCase {
    uint32_t m_step;
    std::vector<size_t> m_sizes;
    size_t m_stride;
};

class SpectrumStepTest : public SpectrumTest, public ::testing::WithParamInterface<TStepCase> {};

TEST_P(SpectrumStepTest, WindowsStartEveryStepSamplesWhateverTheBuffers) {
    const TStepCase& param = GetParam();
    m_spectrum->SetCountChannels(1);
    m_spectrum->SetSamplingWindowStep(param.m_step);
    const auto sinks = LinkSinks();
    size_t total = 0;
    for (const size_t size : param.m_sizes) {
        total += size;
    }
    const TSignal signal{Noise(total, param.m_step)};
    m_source->Start(1);
    m_source->SendInPieces(signal, param.m_sizes);

    const auto spectra = sinks[0]->Spectra();
    ASSERT_EQ(spectra.size(), (total - 256) / param.m_stride + 1);
    for (size_t window = 0; window < spectra.size(); ++window) {
        ExpectSpectrum(spectra[window],
                       DirectMagnitudes(signal[0], window * param.m_stride, 256, 1.0 / 256),
                       "window " + std::to_string(window));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SpectrumStepTest,
    ::testing::Values(
        // Gaps between windows.
        TStepCase{512, {300, 700, 1, 999, 1000, 100}, 512},
        TStepCase{300, {123, 456, 789, 1011}, 300}, TStepCase{1000, {256, 1000, 37, 2000}, 1000},
        // Overlapping windows (the first window ends with the first buffer), with buffers
        // shorter than what the next window misses.
        TStepCase{64, {256, 100, 10, 20, 30, 1000, 5, 63, 64, 65}, 64},
        TStepCase{255, {256, 100, 100, 100, 300}, 255}, TStepCase{1, {256, 3, 1, 17}, 1}),
    [](const auto& info) { return "Step" + std::to_string(info.param.m_step); });

TEST_F(SpectrumTest, AnOverlappingStepSkipsTheRestOfTheBufferThatCompletesTheFirstWindow) {
    m_spectrum->SetCountChannels(1);
    m_spectrum->SetSamplingWindowStep(64);
    const auto sinks = LinkSinks();
    const TSignal signal{Noise(2048, 7)};
    m_source->Start(1);
    m_source->Send(signal, 0, 1024);
    ASSERT_EQ(sinks[0]->Spectra().size(), 1u);
    m_source->Send(signal, 1024, 1024);
    const auto spectra = sinks[0]->Spectra();
    ASSERT_EQ(spectra.size(), 17u) << "then one spectrum per 64 samples";
    // The window slid on from the first one, over samples 256 … 1023.
    std::vector<int32_t> joined(signal[0].begin() + 64, signal[0].begin() + 256);
    joined.insert(joined.end(), signal[0].begin() + 1024, signal[0].end());
    for (size_t window = 1; window < spectra.size(); window += 8) {
        ExpectSpectrum(spectra[window], DirectMagnitudes(joined, (window - 1) * 64, 256, 1.0 / 256),
                       "window " + std::to_string(window));
    }
}

TEST_F(SpectrumTest, PeakFrequenciesReachTheHandlerAndTheFrequencyPins) {
    const auto sinks = LinkSinks();
    auto* frequencySink = Make<TTestSink>();
    ASSERT_TRUE(m_spectrum->GetFrequencyOutputPin(0)->Connect(frequencySink->m_input.get()));
    RecordFrequencies();
    // A strong tone on bin 37 and a weaker one on bin 90; channel 1 is silent.
    TSignal signal{Tone(512, 37, 8000), std::vector<int32_t>(512, 0)};
    const auto weaker = Tone(512, 90, 3000);
    for (size_t n = 0; n < 512; ++n) {
        signal[0][n] += weaker[n];
    }
    m_source->Start(2);
    m_source->Send(signal, 0, 512);
    EXPECT_EQ(m_spectrum->GetFrequencyOutputPin(0)->GetValue(), 0.0);
    EXPECT_EQ(TVokHeadlessMessageLoop::ProcessMessages(), 4u);

    const double peak = 37 * kRate / 256; // 6373.828125 Hz
    ASSERT_EQ(m_reports.size(), 8u);
    for (size_t report = 0; report < 8; report += 2) {
        EXPECT_EQ(m_reports[report], (std::pair<int32_t, double>{0, peak}));
        EXPECT_EQ(m_reports[report + 1], (std::pair<int32_t, double>{1, 0.0}));
    }
    EXPECT_EQ(m_spectrum->GetResultFrequency(0), peak);
    EXPECT_EQ(m_spectrum->GetFrequencyOutputPin(0)->GetValue(), peak);
    EXPECT_EQ(m_spectrum->GetFrequencyOutputPin(1)->GetValue(), 0.0);
    // The link brought the pin's value 0; the first report changes it, later ones do not.
    const auto values = frequencySink->All<TVokSuppliedRealOperation>();
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0]->GetValue(), 0.0);
    EXPECT_EQ(values[1]->GetValue(), peak);
}

TEST_F(SpectrumTest, NoPeakIsSoughtOrPostedWhenNothingWantsIt) {
    m_spectrum->SetCountChannels(2);
    auto* magnitudes = Make<TTestSink>();
    auto* frequencies = Make<TTestSink>();
    // Channel 0: magnitudes wanted, its frequency not; channel 1: only its frequency pin.
    ASSERT_TRUE(m_spectrum->GetOutputPin(0)->Connect(magnitudes->m_input.get()));
    ASSERT_TRUE(m_spectrum->GetFrequencyOutputPin(1)->Connect(frequencies->m_input.get()));
    const TSignal signal{Tone(512, 37, 8000), Tone(512, 50, 8000)};
    m_source->Start(2);
    m_source->Send(signal, 0, 512);
    EXPECT_EQ(magnitudes->Spectra().size(), 2u);
    EXPECT_EQ(TVokHeadlessMessageLoop::GetPendingCount(), 0u);
    EXPECT_EQ(m_spectrum->GetResultFrequency(0), 0.0);
    EXPECT_EQ(m_spectrum->GetResultFrequency(1), 0.0) << "an unconnected output is not analysed";
    EXPECT_EQ(frequencies->All<TVokSuppliedRealOperation>().size(), 1u) << "only the link's";
}

class SpectrumOrderTest : public SpectrumTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(SpectrumOrderTest, AnOrderWhoseWindowCannotBeStoredProducesNoSpectraForThatRun) {
    m_spectrum->SetCountChannels(1);
    m_spectrum->SetOrder(GetParam());
    const auto sinks = LinkSinks();
    const TSignal signal{Noise(4096, 3)};
    m_source->Start(1);
    const auto starts = sinks[0]->All<TVokStartSpectrumOperation>();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0]->GetBlockSize(), 1 << (GetParam() - 1));
    EXPECT_FALSE(m_spectrum->IsTransforming());
    const int64_t blocks = PoolBlocksInUse();
    m_source->Send(signal, 0, 4096);
    EXPECT_TRUE(sinks[0]->Spectra().empty());
    EXPECT_EQ(PoolBlocksInUse(), blocks);

    // The next run with a usable order works again.
    m_source->m_output->SendStop();
    m_spectrum->SetOrder(10);
    m_source->Start(1);
    EXPECT_TRUE(m_spectrum->IsTransforming());
    m_source->Send(signal, 0, 4096);
    const auto spectra = sinks[0]->Spectra();
    ASSERT_EQ(spectra.size(), 4u);
    EXPECT_EQ(spectra[0].size(), 512u);
}

INSTANTIATE_TEST_SUITE_P(Orders, SpectrumOrderTest, ::testing::Values(28, 30));

TEST_F(SpectrumTest, TheTransformLivesFromStartToStopAndFollowsTheNormalization) {
    const auto sinks = LinkSinks();
    const TSignal signal{Tone(1024, 20, 10000), Tone(1024, 20, 10000)};
    m_source->Send(signal, 0, 256);
    EXPECT_TRUE(sinks[0]->Spectra().empty()) << "no spectra before a start";
    m_source->Start(2);
    m_source->Send(signal, 0, 128);
    m_spectrum->SetNormalization(fnNone);
    m_source->Send(signal, 128, 128);
    ASSERT_EQ(sinks[0]->Spectra().size(), 1u);
    ExpectSpectrum(sinks[0]->Spectra()[0], DirectMagnitudes(signal[0], 0, 256, 1.0),
                   "the new scale applies at once");

    m_source->Send(signal, 256, 128); // half a window, dropped by the stop
    m_source->m_output->SendStop();
    EXPECT_FALSE(m_spectrum->IsTransforming());
    for (const TTestSink* sink : sinks) {
        EXPECT_EQ(sink->All<TVokStopOperation>().size(), 1u);
    }
    m_source->Send(signal, 0, 1024);
    EXPECT_EQ(sinks[0]->Spectra().size(), 1u);

    // A new run starts with empty windows.
    m_source->Start(2);
    m_source->Send(signal, 512, 256);
    ASSERT_EQ(sinks[1]->Spectra().size(), 2u);
    ExpectSpectrum(sinks[1]->Spectra()[1], DirectMagnitudes(signal[1], 512, 256, 1.0), "restart");
}

// The processing thread feeds the analyser while the GUI thread reports and changes settings.
TEST_F(SpectrumTest, ProcessingAndTheGuiThreadShareTheAnalyserSafely) {
    const auto sinks = LinkSinks();
    auto* frequencySink = Make<TTestSink>();
    ASSERT_TRUE(m_spectrum->GetFrequencyOutputPin(1)->Connect(frequencySink->m_input.get()));
    RecordFrequencies();
    const TSignal signal{Tone(1024, 37, 8000), Tone(1024, 11, 8000)};
    m_source->Start(2);
    std::atomic<bool> done{false};
    auto producer = std::async(std::launch::async, [&] {
        for (int buffer = 0; buffer < 200; ++buffer) {
            m_source->Send(signal, 0, 1024);
        }
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    for (int round = 0; !done && std::chrono::steady_clock::now() < deadline; ++round) {
        TVokHeadlessMessageLoop::WaitAndProcessMessages(1ms);
        m_spectrum->SetSamplingWindowStep(round % 3 == 0 ? 0 : 128);
        m_spectrum->SetNormalization(round % 2 == 0 ? fnNone : fnNormalize);
    }
    ASSERT_EQ(producer.wait_until(deadline), std::future_status::ready) << "watchdog";
    producer.get();
    TVokHeadlessMessageLoop::ProcessMessages();
    EXPECT_FALSE(m_reports.empty());
    EXPECT_EQ(m_spectrum->GetResultFrequency(1), 11 * kRate / 256);
    EXPECT_EQ(m_spectrum->GetFrequencyOutputPin(1)->GetValue(), 11 * kRate / 256);
    EXPECT_GE(sinks[0]->Spectra().size(), 800u);
}

} // namespace
