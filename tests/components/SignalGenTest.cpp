#include "components/DruSignalGen.h"

#include "buffers/ZemInternalStore.h"
#include "components/ZemClockGen.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Every wait is bounded (generous, for sanitizer builds on a loaded machine).
constexpr auto kWatchdog = 20s;

constexpr long double kTruePi = 3.141592653589793238462643383279502884L;

/// What a sink received, decoded.
struct TReceived {
    enum TKind {
        kStartWave,
        kBuffer,
        kResume,
        kEndStop,
        kStop,
        kIgnore,
        kPumpRequest,
        kStartPump,
        kOther,
    };
    TKind m_kind = kOther;
    /// Start: the record it carries; buffer: the record in its header.
    TDruWaveFormat m_format;
    /// Start: its rate. Pump request: its desired rate.
    float m_rate = 0.0f;
    /// Pump request fields.
    TVokComponent* m_pump = nullptr;
    int32_t m_pumpPriority = 0;
    uint8_t m_pumpType = 0;
    /// Buffer: frames and a copy of the sample area.
    uint32_t m_frames = 0;
    std::vector<uint8_t> m_bytes;
    std::thread::id m_thread;

    /// The sample of `channel` in `frame` as a signed value (8-bit: the raw byte).
    int32_t Sample(uint32_t frame, uint32_t channel) const {
        const uint32_t width = m_format.m_bitsPerSample / 8;
        const uint8_t* at = m_bytes.data() + frame * m_format.m_blockAlign + channel * width;
        switch (width) {
        case 1:
            return at[0];
        case 2: {
            int16_t value;
            std::memcpy(&value, at, 2);
            return value;
        }
        case 3: {
            const int32_t raw = at[0] | (at[1] << 8) | (at[2] << 16);
            return raw >= (1 << 23) ? raw - (1 << 24) : raw;
        }
        default: {
            int32_t value;
            std::memcpy(&value, at, 4);
            return value;
        }
        }
    }
};

/// A component whose audio sink records everything that arrives, from any thread.
class TRecorder : public TVokComponent {
  public:
    explicit TRecorder(TVokComponent* owner) : TVokComponent(owner) {
        m_sink = MakePin<TDruVokAudioSinkPin>(this, TZemPinHandler::Of<&TRecorder::OnData>(this));
    }

    TDruVokAudioSinkPin* Sink() const { return m_sink.get(); }

    TVokNotifyResults OnData(TVokBasicPin*, const TVokGuid&, TVokNotifyFlags,
                             TVokNotifyOperation* operation) {
        TReceived received;
        received.m_thread = std::this_thread::get_id();
        if (const auto* start = OperationAs<TVokStartWaveOperation>(operation)) {
            received.m_kind = TReceived::kStartWave;
            received.m_format = DruLoadWaveFormat(start->GetFormatRecord());
            received.m_rate = start->GetRate();
        } else if (const auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation)) {
            const auto* buffer = BufferCast<TDruAudioBuffer>(supplied->GetBuffer());
            received.m_kind = TReceived::kBuffer;
            if (buffer != nullptr) {
                received.m_format = DruLoadWaveFormat(buffer->GetHeader());
                received.m_frames = buffer->GetSize();
                received.m_bytes.assign(buffer->GetReadPointer(),
                                        buffer->GetReadPointer() + buffer->GetByteSize());
            }
        } else if (OperationAs<TVokZemResumeOperation>(operation) != nullptr) {
            received.m_kind = TReceived::kResume;
        } else if (OperationAs<TVokEndStopOperation>(operation) != nullptr) {
            received.m_kind = TReceived::kEndStop;
        } else if (OperationAs<TVokStopOperation>(operation) != nullptr) {
            received.m_kind = TReceived::kStop;
        } else if (OperationAs<TVokIgnoreStreamOperation>(operation) != nullptr) {
            received.m_kind = TReceived::kIgnore;
        } else if (const auto* pump = OperationAs<TVokPumpRequestOperation>(operation)) {
            received.m_kind = TReceived::kPumpRequest;
            received.m_rate = pump->GetDesiredRate();
            received.m_pump = pump->GetPump();
            received.m_pumpPriority = pump->GetPumpPriority();
            received.m_pumpType = pump->GetPumpType();
        } else if (OperationAs<TVokStartPumpOperation>(operation) != nullptr) {
            received.m_kind = TReceived::kStartPump;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_received.push_back(std::move(received));
        }
        m_changed.notify_all();
        return {};
    }

    std::vector<TReceived> Received() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }
    /// The kinds received, as one letter each: S start, B buffer, R resume, E end-stop, T stop,
    /// I ignore, P pump request, U start pump, ? other.
    std::string Trace() {
        static const char kLetters[] = "SBRETIPU?";
        std::string trace;
        for (const TReceived& received : Received()) {
            trace += kLetters[received.m_kind];
        }
        return trace;
    }
    std::vector<TReceived> Buffers() {
        std::vector<TReceived> buffers;
        for (TReceived& received : Received()) {
            if (received.m_kind == TReceived::kBuffer) {
                buffers.push_back(std::move(received));
            }
        }
        return buffers;
    }
    /// Channel `channel` of every buffer received, one after the other.
    std::vector<int32_t> Stream(uint32_t channel = 0) {
        std::vector<int32_t> samples;
        for (const TReceived& buffer : Buffers()) {
            for (uint32_t frame = 0; frame < buffer.m_frames; ++frame) {
                samples.push_back(buffer.Sample(frame, channel));
            }
        }
        return samples;
    }
    bool WaitForBuffers(size_t count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kWatchdog, [&] {
            size_t buffers = 0;
            for (const TReceived& received : m_received) {
                buffers += received.m_kind == TReceived::kBuffer;
            }
            return buffers >= count;
        });
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_received.clear();
    }

  private:
    std::mutex m_mutex; // guards m_received
    std::condition_variable m_changed;
    std::vector<TReceived> m_received;
    TVokPinPtr<TDruVokAudioSinkPin> m_sink;
};

/// Drives generators' clock pins: an audio source sending buffers (as the capture component
/// does) and a plain clock source.
class TTicker : public TVokComponent {
  public:
    explicit TTicker(TVokComponent* owner) : TVokComponent(owner) {
        m_audio = MakePin<TDruVokAudioSourcePin>(this, TZemPinHandler{});
        m_clock = MakePin<TVokClockSourcePin>(this);
    }
    TDruVokAudioSourcePin* Audio() const { return m_audio.get(); }
    TVokClockSourcePin* Clock() const { return m_clock.get(); }

    void TickAudio() { m_audio->SendBuffer(MakeRef<TDruAudioBuffer>(44100u, 3u, 16u, 2u, 16u)); }
    void TickClock() {
        TRef<TVokNotifyOperation> tick = MakeRef<TVokClockOperation>();
        m_clock->Notify(tick.Get());
    }

  private:
    TVokPinPtr<TDruVokAudioSourcePin> m_audio;
    TVokPinPtr<TVokClockSourcePin> m_clock;
};

/// A component holding state pins that join the generator's dispatchers.
class TPartner : public TVokComponent {
  public:
    explicit TPartner(TVokComponent* owner) : TVokComponent(owner) {
        m_bool = MakePin<TVokBoolStatePin>(this, 0, nullptr);
        m_float = MakePin<TVokFloatIntStatePin>(this, 0, nullptr);
    }
    TVokBoolStatePin* Bool() const { return m_bool.get(); }
    TVokFloatIntStatePin* Float() const { return m_float.get(); }

  private:
    TVokPinPtr<TVokBoolStatePin> m_bool;
    TVokPinPtr<TVokFloatIntStatePin> m_float;
};

/// trunc(A · cos(φ + 2π f n)), the tone's definition.
int32_t ToneAt(int32_t amplitude, long double phase, long double relFreq, int64_t n) {
    return static_cast<int32_t>(
        std::trunc(amplitude * std::cos(phase + 2.0L * kTruePi * relFreq * n)));
}

class SignalGenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_form.SetName("Form1");
        m_pinsBefore = TVokBasicPin::LiveCount();
        m_operationsBefore = TVokNotifyOperation::LiveCount();
        m_blocksBefore = PoolBlocksInUse();
        m_threadsBefore = TZemClockGenThread::LiveCount();
        m_ticker = new TTicker(&m_form);
    }
    void TearDown() override {
        m_form.DestroyComponents();
        EXPECT_EQ(TVokBasicPin::LiveCount(), m_pinsBefore);
        EXPECT_EQ(TVokNotifyOperation::LiveCount(), m_operationsBefore);
        EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore);
        // A clock thread ends on the tick after its last client left.
        const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
        while (TZemClockGenThread::LiveCount() != m_threadsBefore &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(TZemClockGenThread::LiveCount(), m_threadsBefore) << "clock thread leaked";
    }

    /// A disabled generator with the given clock and format, its output linked to a new
    /// recorder and (csExternal) its clock pin to the ticker's audio source.
    TDruSignalGen* MakeGen(TZemClockSource source, uint32_t sampleRate = 44100,
                           uint32_t bufferSize = 1024, uint32_t channels = 1, uint32_t bits = 16) {
        auto* gen = new TDruSignalGen(&m_form);
        gen->SetEnabled(false);
        gen->SetClockSource(source);
        TDruAudioFormat* format = gen->GetAudioFormat();
        format->SetSampleRate(sampleRate);
        format->SetBufferSize(bufferSize);
        format->SetChannels(channels);
        format->SetBits(bits);
        auto* recorder = new TRecorder(&m_form);
        EXPECT_TRUE(gen->GetOutputPin()->Connect(recorder->Sink()));
        m_recorders.push_back(recorder);
        if (source == csExternal) {
            EXPECT_TRUE(m_ticker->Audio()->Connect(gen->GetClockPin()));
        }
        return gen;
    }
    /// The recorder made with the `index`-th generator.
    TRecorder& Recorder(size_t index = 0) { return *m_recorders.at(index); }

    /// A tone-type generator at `frequency` Hz, amplitude `amplitude`, enabled, after `ticks`
    /// ticks; its samples are in the first recorder.
    TDruSignalGen* Run(TDruSignalType type, double frequency, int32_t amplitude, int ticks,
                       uint32_t bufferSize = 1024) {
        TDruSignalGen* gen = MakeGen(csExternal, 44100, bufferSize);
        gen->SetSignalType(type);
        gen->SetFrequency(frequency);
        gen->SetAmplitude(amplitude);
        gen->SetEnabled(true);
        for (int tick = 0; tick < ticks; ++tick) {
            m_ticker->TickAudio();
        }
        return gen;
    }

    TVokForm m_form;
    TTicker* m_ticker = nullptr;
    std::vector<TRecorder*> m_recorders;
    int64_t m_pinsBefore = 0;
    int64_t m_operationsBefore = 0;
    int64_t m_blocksBefore = 0;
    int64_t m_threadsBefore = 0;
};

// ---- properties ---------------------------------------------------------------------------

TEST_F(SignalGenTest, PublishesItsPropertiesInOrderWithTheirDefaults) {
    TDruSignalGen gen(nullptr);
    const TVokClassInfo& info = TDruSignalGen::ClassInfo();
    std::vector<std::string> names;
    for (const TVokPropertyInfo* property : info.GetProperties()) {
        names.push_back(property->GetName());
        if (!property->IsObjectValued()) {
            EXPECT_TRUE(property->IsDefault(&gen)) << property->GetName();
        }
    }
    const std::vector<std::string> expected{
        "Name",      "Enabled",      "AudioFormat", "OutputPin",   "EnablePin",
        "ClockPin",  "PumpPriority", "ClockSource", "SignalType",  "Phase",
        "Amplitude", "Frequency",    "Asymmetry",   "FrequencyPin"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(info.GetValue(&gen, "ClockSource"), TVokValue(TVokEnumValue{"csInternal"}));
    EXPECT_EQ(info.GetValue(&gen, "SignalType"), TVokValue(TVokEnumValue{"atTone"}));
    EXPECT_EQ(info.GetValue(&gen, "Amplitude"), TVokValue(int64_t{20000}));
    EXPECT_EQ(info.GetValue(&gen, "Frequency"), TVokValue(500.0));
    EXPECT_EQ(info.GetValue(&gen, "OutputPin"),
              TVokValue(static_cast<TVokPersistent*>(gen.GetOutputPin())));
    EXPECT_EQ(info.GetValue(&gen, "FrequencyPin"),
              TVokValue(static_cast<TVokPersistent*>(gen.GetFrequencyPin())));
    EXPECT_TRUE(gen.GetEnablePin()->GetValue()) << "the enable pin shows Enabled from the start";
    EXPECT_FLOAT_EQ(gen.GetFrequencyPin()->GetValue(), 500.0f);

    const TDruAudioFormat* format = gen.GetAudioFormat();
    EXPECT_EQ(format->GetChannels(), 2u);
    EXPECT_EQ(format->GetBits(), 16u);
    EXPECT_EQ(format->GetSampleRate(), 11025u);
    EXPECT_EQ(DruSpeakersToMask(format->GetChannelMask()), 3u);
    EXPECT_EQ(format->GetBufferSize(), 1024u);

    // Through the table: enumerations by name, the format as an object taken by value.
    info.SetValue(&gen, "ClockSource", TVokEnumValue{"csExternal"});
    info.SetValue(&gen, "SignalType", TVokEnumValue{"atSawToothDown"});
    EXPECT_EQ(gen.GetClockSource(), csExternal);
    EXPECT_EQ(gen.GetSignalType(), atSawToothDown);
    TDruAudioFormat other(nullptr, nullptr);
    other.SetSampleRate(44100);
    other.SetChannels(1);
    other.SetBufferSize(512);
    info.SetValue(&gen, "AudioFormat", static_cast<TVokPersistent*>(&other));
    EXPECT_EQ(format->GetSampleRate(), 44100u);
    EXPECT_EQ(format->GetChannels(), 1u);
    EXPECT_EQ(format->GetBufferSize(), 512u);
    EXPECT_THROW(info.SetValue(&gen, "AudioFormat", static_cast<TVokPersistent*>(nullptr)),
                 std::invalid_argument);
    EXPECT_THROW(info.SetValue(&gen, "SignalType", TVokEnumValue{"atNoise"}),
                 std::invalid_argument);

    TVokComponent* made = info.Create(nullptr);
    EXPECT_NE(dynamic_cast<TDruSignalGen*>(made), nullptr);
    delete made;
    EXPECT_EQ(TDruCommonGen::ClassInfo().GetFactory(), nullptr) << "the base is abstract";
}

TEST_F(SignalGenTest, SettersClampAndResetThePhasesByTheirRules) {
    TDruSignalGen gen(nullptr);
    gen.SetAmplitude(40000);
    EXPECT_EQ(gen.GetAmplitude(), 32767);
    gen.SetAmplitude(-5);
    EXPECT_EQ(gen.GetAmplitude(), 0);
    gen.SetFrequency(-3.0);
    EXPECT_EQ(gen.GetFrequency(), 0.0);
    gen.SetFrequency(std::nan(""));
    EXPECT_EQ(gen.GetFrequency(), 0.0);
    gen.SetFrequency(1234.5);
    EXPECT_FLOAT_EQ(gen.GetFrequencyPin()->GetValue(), 1234.5f) << "the pin follows";
    gen.SetAsymmetry(10.0);
    EXPECT_EQ(gen.GetAsymmetry(), TDruSignalGen::kPiPrime);
    gen.SetAsymmetry(-10.0);
    EXPECT_EQ(gen.GetAsymmetry(), -TDruSignalGen::kPiPrime);
    EXPECT_LT(static_cast<float>(TDruSignalGen::kPiPrime), kTruePi) << "π′ is below π";

    // Phase: second phase half a cycle (π′) later, wrapped past 2π′.
    gen.SetPhase(1.0f);
    EXPECT_EQ(gen.GetFirstPhase(), 1.0f);
    EXPECT_FLOAT_EQ(gen.GetSecondPhase(), static_cast<float>(1.0 + TDruSignalGen::kPiPrime));
    gen.SetPhase(4.0f);
    EXPECT_FLOAT_EQ(gen.GetSecondPhase(), static_cast<float>(4.0 - TDruSignalGen::kPiPrime));
    // A signal type change recomputes the second phase from the first.
    gen.SetSignalType(atSquare);
    EXPECT_FLOAT_EQ(gen.GetSecondPhase(), static_cast<float>(4.0 - TDruSignalGen::kPiPrime));
    EXPECT_THROW(gen.SetSignalType(static_cast<TDruSignalType>(9)), std::invalid_argument);
}

TEST_F(SignalGenTest, EnableAndFrequencyPinsFollowTheirDispatchers) {
    auto* gen = MakeGen(csExternal);
    auto* partner = new TPartner(&m_form);
    ASSERT_TRUE(partner->Bool()->ConnectState(gen->GetEnablePin()));
    ASSERT_TRUE(partner->Float()->ConnectState(gen->GetFrequencyPin()));

    partner->Bool()->SetValue(true);
    EXPECT_TRUE(gen->GetEnabled());
    EXPECT_TRUE(gen->IsRunning());
    partner->Bool()->SetValue(false);
    EXPECT_FALSE(gen->GetEnabled());
    EXPECT_FALSE(gen->IsRunning());
    gen->SetEnabled(true);
    EXPECT_TRUE(partner->Bool()->GetValue()) << "the enable pin shows the new value";

    partner->Float()->SetValue(880.0f);
    EXPECT_EQ(gen->GetFrequency(), 880.0);
    gen->SetFrequency(220.0);
    EXPECT_EQ(partner->Float()->GetValue(), 220.0f);
}

// ---- waveforms ----------------------------------------------------------------------------

TEST_F(SignalGenTest, ToneJoinsBuffersWithoutAPhaseJump) {
    TDruSignalGen* gen = Run(atTone, 520.0, 5000, 1);
    const long double relFreq = 520.0L / 44100.0L;
    // The phase carried over is 2π·520·1024/44100 modulo 2π.
    const long double carried = std::fmod(2.0L * kTruePi * relFreq * 1024.0L, 2.0L * kTruePi);
    EXPECT_NEAR(gen->GetFirstPhase(), static_cast<double>(carried), 1e-6);

    m_ticker->TickAudio();
    m_ticker->TickAudio();
    const std::vector<int32_t> stream = Recorder().Stream();
    ASSERT_EQ(stream.size(), 3u * 1024u);
    // The single-precision phase costs well under one unit over a block; only the truncation
    // of a value next to an integer can differ.
    for (size_t n = 0; n < stream.size(); ++n) {
        ASSERT_NEAR(stream[n], ToneAt(5000, 0.0L, relFreq, static_cast<int64_t>(n)), 1)
            << "sample " << n;
    }
}

TEST_F(SignalGenTest, ToneAtHalfTheRateIsSilentJustBelowItSounds) {
    Run(atTone, 22050.0, 1250, 2);
    for (int32_t sample : Recorder(0).Stream()) {
        ASSERT_EQ(sample, 0);
    }
    Run(atTone, 21500.0, 1250, 2);
    const std::vector<int32_t> stream = Recorder(1).Stream();
    ASSERT_EQ(stream.size(), 2048u);
    const long double relFreq = 21500.0L / 44100.0L;
    for (size_t n = 0; n < stream.size(); ++n) {
        ASSERT_NEAR(stream[n], ToneAt(1250, 0.0L, relFreq, static_cast<int64_t>(n)), 1)
            << "sample " << n;
    }
}

struct TSilentCase {
    const char* m_name;
    TDruSignalType m_type;
    double m_frequency;
    float m_phase;
    int32_t m_amplitude;
};

class SignalGenSilenceTest : public SignalGenTest,
                             public ::testing::WithParamInterface<TSilentCase> {};

TEST_P(SignalGenSilenceTest, UnusableParametersGiveSilence) {
    const TSilentCase& silent = GetParam();
    // The scratch block first holds a loud tone, so that stale samples would show.
    TDruSignalGen* gen = Run(atTone, 1000.0, 30000, 1);
    gen->SetSignalType(silent.m_type);
    gen->SetFrequency(silent.m_frequency);
    gen->SetAmplitude(silent.m_amplitude);
    gen->SetPhase(silent.m_phase);
    gen->SetEnabled(false);
    gen->SetEnabled(true); // the start takes the phase
    Recorder().Clear();
    m_ticker->TickAudio();
    m_ticker->TickAudio();
    const std::vector<int32_t> stream = Recorder().Stream();
    ASSERT_EQ(stream.size(), 2048u);
    for (int32_t sample : stream) {
        ASSERT_EQ(sample, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SignalGenSilenceTest,
    ::testing::Values(TSilentCase{"ToneAtHalfRate", atTone, 22050.0, 0.0f, 5000},
                      TSilentCase{"ToneAmplitudeZero", atTone, 440.0, 0.0f, 0},
                      TSilentCase{"TonePhaseTooLarge", atTone, 440.0, 7.0f, 5000},
                      TSilentCase{"TriangleAboveHalfRate", atTriangle, 30000.0, 0.0f, 5000},
                      TSilentCase{"SquarePhase2Pi", atSquare, 440.0, 6.2832f, 5000},
                      TSilentCase{"SquareNegativePhase", atSquare, 440.0, -1.0f, 5000},
                      TSilentCase{"SquareAtHalfRate", atSquare, 22050.0, 0.0f, 5000},
                      TSilentCase{"SawUpFrequencyZero", atSawToothUp, 0.0, 0.0f, 5000},
                      TSilentCase{"SawDownPhaseTooLarge", atSawToothDown, 441.0, 6.3f, 5000},
                      TSilentCase{"SawDownPhaseNaN", atSawToothDown, 441.0, std::nanf(""), 5000}),
    [](const ::testing::TestParamInfo<TSilentCase>& info) { return info.param.m_name; });

TEST_F(SignalGenTest, SquareHoldsPlusAmplitudeForTheFirstHalfCycleAndMinusForTheSecond) {
    // 441 Hz at 44100: 100 samples per cycle; only the samples on the jumps (phase 0 and π)
    // may take another value within ±A.
    Run(atSquare, 441.0, 1250, 3);
    const std::vector<int32_t> stream = Recorder().Stream();
    ASSERT_EQ(stream.size(), 3u * 1024u);
    for (size_t n = 0; n < stream.size(); ++n) {
        const size_t position = n % 100;
        if (position == 0 || position == 50) {
            ASSERT_LE(std::abs(stream[n]), 1250) << "sample " << n;
        } else {
            ASSERT_EQ(stream[n], position < 50 ? 1250 : -1250) << "sample " << n;
        }
    }
}

TEST_F(SignalGenTest, TriangleFallsToItsAsymmetricMinimumAndRisesBack) {
    TDruSignalGen* gen = MakeGen(csExternal);
    gen->SetSignalType(atTriangle);
    gen->SetFrequency(441.0);
    gen->SetAmplitude(10000);
    gen->SetAsymmetry(kTruePi / 2); // the minimum at 3π/2, sample 75 of each 100
    gen->SetEnabled(true);
    m_ticker->TickAudio();
    m_ticker->TickAudio();
    const std::vector<int32_t> stream = Recorder().Stream();
    ASSERT_EQ(stream.size(), 2048u);
    const long double fall = kTruePi + static_cast<float>(kTruePi / 2);
    for (size_t n = 0; n < stream.size(); ++n) {
        const long double theta = std::fmod(2.0L * kTruePi * 0.01L * n, 2.0L * kTruePi);
        const long double shape = theta < fall
                                      ? 1.0L - 2.0L * theta / fall
                                      : -1.0L + 2.0L * (theta - fall) / (2.0L * kTruePi - fall);
        ASSERT_NEAR(stream[n], 10000.0L * shape, 2.0) << "sample " << n;
    }
    EXPECT_EQ(stream[0], 10000);
    EXPECT_NEAR(stream[75], -10000, 2);
}

/// (rising, buffer size)
class SignalGenSawToothTest : public SignalGenTest,
                              public ::testing::WithParamInterface<std::tuple<bool, uint32_t>> {};

TEST_P(SignalGenSawToothTest, RepeatsEvery101SamplesAt441HzEndingExactlyAtTheAmplitude) {
    const auto [rising, bufferSize] = GetParam();
    // d = 100: each cycle ramps from −A′ in steps of 2A′/100 and its 101st sample is A′.
    const uint32_t blocks = (4 * 1024) / bufferSize;
    Run(rising ? atSawToothUp : atSawToothDown, 441.0, 20000, static_cast<int>(blocks), bufferSize);
    const std::vector<int32_t> stream = Recorder().Stream();
    ASSERT_EQ(stream.size(), static_cast<size_t>(blocks) * bufferSize);
    const int32_t peak = rising ? 20000 : -20000;
    for (size_t n = 0; n < stream.size(); ++n) {
        const auto position = static_cast<int32_t>(n % 101);
        ASSERT_EQ(stream[n], -peak + position * (peak / 50)) << "sample " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, SignalGenSawToothTest,
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Values(1024u, 101u, 100u, 64u, 7u)),
                         [](const ::testing::TestParamInfo<std::tuple<bool, uint32_t>>& info) {
                             return std::string(std::get<0>(info.param) ? "Up" : "Down") + "Block" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST_F(SignalGenTest, SawToothStaysOnItsRampWhateverTheDriftAndBlockSize) {
    // Periods that are no whole number of samples, blocks shorter and longer than a cycle:
    // every step is one ramp step (a drift correction makes it none or two) or the return
    // from the top to −A. A sample the block left unwritten would still hold the loud tone.
    // When the true period is shorter than d (1 ÷ f < d) corrections only ever stretch a
    // cycle, so every cycle ends exactly at A; otherwise a correction may drop that sample.
    struct TCase {
        uint32_t m_bufferSize;
        double m_frequency;
    };
    for (const TCase& sawCase :
         {TCase{64, 440.0}, TCase{64, 443.0}, TCase{64, 300.7}, TCase{64, 97.3}, TCase{1024, 440.0},
          TCase{1024, 3500.0}, TCase{1024, 8000.3}, TCase{1024, 51.7}, TCase{33, 1234.5},
          TCase{33, 1308.6}}) {
        SCOPED_TRACE(std::to_string(sawCase.m_bufferSize) + " frames at " +
                     std::to_string(sawCase.m_frequency) + " Hz");
        TDruSignalGen* gen = Run(atTone, 1000.0, 32000, 1, sawCase.m_bufferSize);
        TRecorder& recorder = *m_recorders.back();
        gen->SetSignalType(atSawToothUp);
        gen->SetFrequency(sawCase.m_frequency);
        gen->SetAmplitude(16000);
        gen->SetEnabled(false);
        gen->SetEnabled(true);
        recorder.Clear();
        for (int block = 0; block < 300; ++block) {
            m_ticker->TickAudio();
        }
        const std::vector<int32_t> stream = recorder.Stream();
        ASSERT_EQ(stream.size(), 300u * sawCase.m_bufferSize);
        const double period = static_cast<double>(gen->GetPeriod());
        const double step = 2.0 * 16000 / period;
        const double lowestTop = period > 44100.0 / sawCase.m_frequency ? 16000 : 16000 - step - 1;
        int restarts = 0;
        for (size_t n = 1; n < stream.size(); ++n) {
            const int32_t difference = stream[n] - stream[n - 1];
            const bool onRamp = difference >= -1 && difference <= 2.0 * step + 1.0;
            const bool restart = stream[n - 1] >= lowestTop && stream[n] <= -16000 + step + 1.0;
            ASSERT_TRUE(onRamp || restart)
                << "sample " << n << ": " << stream[n - 1] << " then " << stream[n];
            ASSERT_LE(std::abs(stream[n]), 16000 + step + 1.0) << "sample " << n;
            restarts += !onRamp;
        }
        // Cycles span d + 1 samples; each correction moves one boundary by one sample.
        EXPECT_NEAR(restarts, stream.size() / (period + 1.0), 2.0 + 300.0 / (period + 1.0));
        m_ticker->Audio()->Disconnect();
    }
}

/// (bits, channels)
class SignalGenWidthTest : public SignalGenTest,
                           public ::testing::WithParamInterface<std::tuple<uint32_t, uint32_t>> {};

TEST_P(SignalGenWidthTest, EveryChannelReceivesTheMonoSamplesConvertedToItsWidth) {
    const auto [bits, channels] = GetParam();
    // A 16-bit mono generator with the same settings gives the samples x.
    TDruSignalGen* reference = MakeGen(csExternal, 44100, 512, 1, 16);
    TDruSignalGen* wide = MakeGen(csExternal, 44100, 512, channels, bits);
    for (TDruSignalGen* gen : {reference, wide}) {
        gen->SetSignalType(atTone);
        gen->SetFrequency(1000.0);
        gen->SetAmplitude(32767);
        gen->SetEnabled(true);
    }
    m_ticker->TickAudio();
    m_ticker->TickAudio();
    const std::vector<int32_t> mono = Recorder(0).Stream();
    const std::vector<TReceived> buffers = Recorder(1).Buffers();
    ASSERT_EQ(buffers.size(), 2u);
    EXPECT_EQ(buffers[0].m_format.m_channels, channels);
    EXPECT_EQ(buffers[0].m_format.m_validBitsPerSample, bits);
    EXPECT_EQ(buffers[0].m_format.m_samplesPerSecond, 44100u);
    for (uint32_t channel = 0; channel < channels; ++channel) {
        const std::vector<int32_t> stream = Recorder(1).Stream(channel);
        ASSERT_EQ(stream.size(), mono.size());
        for (size_t n = 0; n < mono.size(); ++n) {
            const int64_t x = mono[n];
            int64_t expected = x;
            if (bits == 8) {
                expected = (((x - (x >> 8)) >> 8) + 128) & 0xFF;
            } else if (bits == 24) {
                expected = x * 8388607 / 32767;
            } else if (bits == 32) {
                expected = x * 2147483647 / 32767;
            }
            ASSERT_EQ(stream[n], expected) << "channel " << channel << " sample " << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, SignalGenWidthTest,
                         ::testing::Combine(::testing::Values(8u, 16u, 24u, 32u),
                                            ::testing::Values(1u, 2u, 3u)),
                         [](const ::testing::TestParamInfo<std::tuple<uint32_t, uint32_t>>& info) {
                             return std::to_string(std::get<0>(info.param)) + "Bit" +
                                    std::to_string(std::get<1>(info.param)) + "Channels";
                         });

TEST_F(SignalGenTest, AFormatChangeTakesEffectWithTheNextBuffer) {
    TDruSignalGen* gen = Run(atTone, 1000.0, 8000, 1);
    gen->GetAudioFormat()->SetBufferSize(2048);
    m_ticker->TickAudio();
    const std::vector<TReceived> buffers = Recorder().Buffers();
    ASSERT_EQ(buffers.size(), 2u);
    ASSERT_EQ(buffers[1].m_frames, 2048u);
    // The tone continues through the whole longer buffer.
    const long double relFreq = 1000.0L / 44100.0L;
    for (uint32_t frame = 0; frame < 2048; ++frame) {
        ASSERT_NEAR(buffers[1].Sample(frame, 0), ToneAt(8000, 0.0L, relFreq, 1024 + frame), 1)
            << "frame " << frame;
    }
}

// ---- stream protocol, external clock -------------------------------------------------------

/// Drives the clock pin with buffers from an audio source (true) or with plain clock ticks.
class SignalGenClockTest : public SignalGenTest, public ::testing::WithParamInterface<bool> {
  protected:
    void Tick() {
        if (GetParam()) {
            m_ticker->TickAudio();
        } else {
            m_ticker->TickClock();
        }
    }
};

TEST_P(SignalGenClockTest, OneBufferPerTickResumeAfterTheThirdAndAnEndStopWhenDisabled) {
    TDruSignalGen* gen = MakeGen(csExternal);
    if (!GetParam()) {
        m_ticker->Audio()->Disconnect();
        ASSERT_TRUE(m_ticker->Clock()->Connect(gen->GetClockPin()));
    }
    Tick();
    EXPECT_EQ(Recorder().Trace(), "") << "a disabled generator produces nothing";

    gen->SetEnabled(true);
    EXPECT_TRUE(gen->IsRunning());
    EXPECT_TRUE(gen->IsClocked());
    const std::vector<TReceived> started = Recorder().Received();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].m_kind, TReceived::kStartWave);
    EXPECT_EQ(started[0].m_format, gen->GetAudioFormat()->GetWaveFormat());
    EXPECT_EQ(started[0].m_rate, 43.0f) << "44100 div 1024 buffers per second";

    for (int tick = 0; tick < 5; ++tick) {
        Tick();
    }
    EXPECT_EQ(Recorder().Trace(), "SBBBRBB");
    gen->SetEnabled(false);
    Tick();
    EXPECT_EQ(Recorder().Trace(), "SBBBRBBE");

    // The next run announces itself again and resumes after its own third buffer.
    Recorder().Clear();
    gen->SetEnabled(true);
    for (int tick = 0; tick < 4; ++tick) {
        Tick();
    }
    EXPECT_EQ(Recorder().Trace(), "SBBBRB");
    for (const TReceived& buffer : Recorder().Buffers()) {
        EXPECT_EQ(buffer.m_frames, 1024u);
        EXPECT_EQ(buffer.m_format.m_samplesPerSecond, 44100u);
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, SignalGenClockTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "AudioSource" : "ClockSource";
                         });

TEST_F(SignalGenTest, AnUnconnectedGeneratorDoesNotStartAndALateSinkGetsTheStart) {
    auto* gen = new TDruSignalGen(&m_form);
    gen->SetClockSource(csExternal);
    ASSERT_TRUE(m_ticker->Audio()->Connect(gen->GetClockPin()));
    gen->SetEnabled(false);
    gen->SetEnabled(true);
    EXPECT_FALSE(gen->IsRunning());
    EXPECT_FALSE(gen->IsClocked());
    m_ticker->TickAudio();

    // Linked afterwards: nothing was started, so nothing is replayed and ticks produce nothing.
    auto* first = new TRecorder(&m_form);
    ASSERT_TRUE(gen->GetOutputPin()->Connect(first->Sink()));
    m_ticker->TickAudio();
    EXPECT_EQ(first->Trace(), "");

    // Started with a sink, a sink linked later receives the start, then the resume once the
    // third buffer is out, and the following buffers.
    gen->SetEnabled(false);
    gen->SetEnabled(true);
    for (int tick = 0; tick < 4; ++tick) {
        m_ticker->TickAudio();
    }
    auto* late = new TRecorder(&m_form);
    ASSERT_TRUE(gen->GetOutputPin()->Connect(late->Sink()));
    m_ticker->TickAudio();
    EXPECT_EQ(late->Trace(), "SRB");
    EXPECT_EQ(late->Received()[0].m_format, gen->GetAudioFormat()->GetWaveFormat());
    EXPECT_EQ(first->Trace(), "ESBBBRBB");
}

TEST_F(SignalGenTest, LoadedStartsAnEnabledGeneratorOutsideDesignState) {
    auto* gen = new TDruSignalGen(&m_form);
    auto* recorder = new TRecorder(&m_form);
    gen->BeginLoading();
    gen->SetClockSource(csExternal);
    ASSERT_TRUE(gen->GetOutputPin()->Connect(recorder->Sink()));
    gen->Loaded();
    EXPECT_TRUE(gen->IsRunning());
    EXPECT_EQ(recorder->Trace(), "S");

    auto* designed = new TDruSignalGen(&m_form);
    auto* designRecorder = new TRecorder(&m_form);
    designed->SetClockSource(csExternal);
    ASSERT_TRUE(designed->GetOutputPin()->Connect(designRecorder->Sink()));
    designed->SetDesigning(true);
    designed->BeginLoading();
    designed->Loaded();
    designed->SetEnabled(false);
    designed->SetEnabled(true);
    EXPECT_FALSE(designed->IsRunning());
    EXPECT_EQ(designRecorder->Trace(), "E") << "in design state only the stop goes out";
}

TEST_F(SignalGenTest, OperationsFromDownstreamSetTheRateStopOrGetAnIgnore) {
    TDruSignalGen* gen = MakeGen(csExternal);
    TDruVokAudioSinkPin* sink = Recorder().Sink();
    TRef<TVokNotifyOperation> query = MakeRef<TVokQueryStreamOperation>();
    sink->Notify(query.Get());
    EXPECT_EQ(Recorder().Trace(), "I") << "a disabled generator will not deliver";

    gen->SetFrequency(5512.5);
    gen->SetAmplitude(10000);
    gen->SetEnabled(true);
    sink->Notify(query.Get());
    EXPECT_EQ(Recorder().Trace(), "IS") << "an enabled one answers nothing";

    // A sink announcing 22050 samples per second: f = 0.25, four samples per cycle.
    TRef<TVokNotifyOperation> rate = MakeRef<TVokStartSampleRateOperation>(0, 22050.0);
    sink->Notify(rate.Get());
    EXPECT_EQ(gen->GetGenerationRate(), 22050.0);
    EXPECT_EQ(gen->GetPeriod(), 4);
    m_ticker->TickAudio();
    const std::vector<int32_t> stream = Recorder().Stream();
    ASSERT_EQ(stream.size(), 1024u);
    for (size_t n = 0; n < stream.size(); ++n) {
        ASSERT_NEAR(stream[n], ToneAt(10000, 0.0L, 0.25L, static_cast<int64_t>(n)), 1);
    }

    TRef<TVokNotifyOperation> stop = MakeRef<TVokStopOperation>();
    sink->Notify(stop.Get());
    EXPECT_FALSE(gen->IsRunning());
    m_ticker->TickAudio();
    EXPECT_EQ(Recorder().Trace(), "ISBE");
}

TEST_F(SignalGenTest, DestroyingARunningGeneratorEndsItsStream) {
    TDruSignalGen* gen = Run(atTone, 440.0, 1000, 1);
    delete gen;
    EXPECT_EQ(Recorder().Trace(), "SBE"
                                  "T")
        << "the end-stop, then the stop of the unlink";
    m_ticker->TickAudio();
    EXPECT_EQ(Recorder().Trace(), "SBET");
}

// ---- internal clock ------------------------------------------------------------------------

TEST_F(SignalGenTest, TwoInternallyClockedGeneratorsShareOneClockThreadAndProduce) {
    const int64_t threadsBefore = TZemClockGenThread::LiveCount();
    TDruSignalGen* first = MakeGen(csInternal);
    TDruSignalGen* second = MakeGen(csInternal);
    first->SetPumpPriority(7);
    first->SetEnabled(true);
    second->SetEnabled(true);
    EXPECT_EQ(TDruCommonGen::ClockPeriodFor(44100, 1024), 23u);
    EXPECT_EQ(TDruCommonGen::ClockPeriodFor(55296, 1024), 18u) << "999 ÷ 54 = 18.5, to even";
    EXPECT_EQ(TDruCommonGen::ClockPeriodFor(0, 1024), 0u) << "no rate, no ticks";
    for (TDruSignalGen* gen : {first, second}) {
        EXPECT_TRUE(gen->IsClocked()) << "nobody downstream took the pump over";
        EXPECT_NE(gen->GetClockItem(), nullptr);
    }
    TZemClockGen* clock = TZemClockGenList::Instance().FindGenerator(23);
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(clock->GetItemCount(), 2u);
    EXPECT_EQ(TZemClockGenThread::LiveCount() - threadsBefore, 1) << "one thread per period";

    ASSERT_TRUE(Recorder(0).WaitForBuffers(4));
    ASSERT_TRUE(Recorder(1).WaitForBuffers(4));
    first->SetEnabled(false);
    second->SetEnabled(false);
    EXPECT_EQ(first->GetClockItem(), nullptr);

    // Pump requests (desired rate 1, then buffers per second), the start, buffers made on the
    // clock thread, the resume after the third, the end-stop.
    const std::vector<TReceived> received = Recorder(0).Received();
    ASSERT_GE(received.size(), 2u);
    for (size_t index = 0; index < 2; ++index) {
        EXPECT_EQ(received[index].m_kind, TReceived::kPumpRequest);
        EXPECT_EQ(received[index].m_pump, first);
        EXPECT_EQ(received[index].m_pumpPriority, 7);
        EXPECT_EQ(received[index].m_pumpType, TDruCommonGen::kPumpType);
    }
    EXPECT_EQ(received[0].m_rate, 1.0f);
    EXPECT_EQ(received[1].m_rate, 43.0f);
    const std::string trace = Recorder(0).Trace();
    EXPECT_EQ(trace.substr(0, 7), "PPSBBBR");
    EXPECT_EQ(trace.back(), 'E');
    EXPECT_EQ(trace.find('U'), std::string::npos) << "no start-pump: the generator pumps";
    EXPECT_NE(Recorder(0).Buffers()[0].m_thread, std::this_thread::get_id());
    // The clock thread ends on its next tick; the fixture waits for it with a watchdog.
}

} // namespace
