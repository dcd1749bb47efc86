#include "components/DruRealToAudio.h"

#include "buffers/DruAudioBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

// Drives one real stream and records what comes back up.
class TTestRealSource : public TVokComponent {
  public:
    explicit TTestRealSource(TVokComponent* owner)
        : TVokComponent(owner), m_output(MakePin<TZemVokRealSourcePin>(
                                    this, TZemPinHandler::Of<&TTestRealSource::OnUpstream>(this))) {
        TVokObject::LinkObjects(&m_lock, m_output.get());
    }
    TVokNotifyResults OnUpstream(TVokBasicPin*, const TVokGuid&, TVokNotifyFlags,
                                 TVokNotifyOperation* operation) {
        m_upstream.emplace_back(operation);
        if (m_onUpstream) {
            m_onUpstream();
        }
        return {};
    }
    void Send(TVokNotifyOperation* operation) {
        TRef<TVokNotifyOperation> held(operation);
        m_output->Notify(held.Get());
    }
    void Start(double sampleRate, int32_t blockSize = 0) {
        Send(new TVokStartSampleRateOperation(blockSize, sampleRate));
    }
    void SendSamples(const std::vector<double>& samples) {
        m_output->SendBuffer(
            MakeRef<TZemRealBuffer>(samples.data(), static_cast<uint32_t>(samples.size())));
    }

    // Declared before the pin: its destruction still reports operations.
    std::vector<TRef<TVokNotifyOperation>> m_upstream;
    std::function<void()> m_onUpstream;
    TVokObject m_lock;
    TVokPinPtr<TZemVokRealSourcePin> m_output;
};

// Records every operation reaching its audio sink pin.
class TTestAudioSink : public TVokComponent {
  public:
    explicit TTestAudioSink(TVokComponent* owner)
        : TVokComponent(owner), m_input(MakePin<TDruVokAudioSinkPin>(
                                    this, TZemPinHandler::Of<&TTestAudioSink::OnData>(this))) {
        TVokObject::LinkObjects(&m_lock, m_input.get());
    }
    TVokNotifyResults OnData(TVokBasicPin*, const TVokGuid&, TVokNotifyFlags,
                             TVokNotifyOperation* operation) {
        m_received.emplace_back(operation);
        return {};
    }
    template <class T> int Count() const {
        return static_cast<int>(std::count_if(m_received.begin(), m_received.end(), [](auto& op) {
            return OperationAs<T>(op.Get()) != nullptr;
        }));
    }
    template <class T> T* Last() const {
        for (auto it = m_received.rbegin(); it != m_received.rend(); ++it) {
            if (auto* operation = OperationAs<T>(it->Get())) {
                return operation;
            }
        }
        return nullptr;
    }
    std::vector<TDruAudioBuffer*> Buffers() const {
        std::vector<TDruAudioBuffer*> buffers;
        for (const auto& operation : m_received) {
            if (auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation.Get())) {
                buffers.push_back(BufferCast<TDruAudioBuffer>(supplied->GetBuffer()));
            }
        }
        return buffers;
    }
    // One letter per operation: W wave start, R real start, B buffer, Z resume, S stop.
    std::string Trace() const {
        std::string trace;
        for (const auto& operation : m_received) {
            TVokNotifyOperation* op = operation.Get();
            if (OperationAs<TVokStartWaveOperation>(op) != nullptr) {
                trace += 'W';
            } else if (OperationAs<TVokStartSampleRateOperation>(op) != nullptr) {
                trace += 'R';
            } else if (OperationAs<TVokSuppliedBufferOperation>(op) != nullptr) {
                trace += 'B';
            } else if (OperationAs<TVokZemResumeOperation>(op) != nullptr) {
                trace += 'Z';
            } else if (OperationAs<TVokStopOperation>(op) != nullptr) {
                trace += 'S';
            } else {
                trace += '?';
            }
        }
        return trace;
    }

    // Declared before the pin: its destruction still delivers a stop.
    std::vector<TRef<TVokNotifyOperation>> m_received;
    TVokObject m_lock;
    TVokPinPtr<TDruVokAudioSinkPin> m_input;
};

// The sample of `channel` in `frame` as the signed value of the buffer's container width
// (8-bit: the raw byte).
int64_t RawSample(const TDruAudioBuffer& buffer, uint32_t frame, uint32_t channel) {
    const uint32_t bytes = buffer.GetContainerBits() / 8;
    const uint8_t* sample =
        buffer.GetReadPointer() + frame * buffer.GetBlockAlign() + channel * bytes;
    uint32_t value = 0;
    for (uint32_t i = 0; i < bytes; ++i) {
        value |= uint32_t{sample[i]} << (8 * i);
    }
    if (bytes == 1) {
        return value;
    }
    const uint32_t signBit = uint32_t{1} << (8 * bytes - 1);
    return (value & signBit) != 0 ? static_cast<int64_t>(value) - 2 * int64_t{signBit} : value;
}

std::vector<double> Block(std::vector<double> head, size_t size = 1024) {
    head.resize(size, 0.0);
    return head;
}

class RealToAudioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_pinsBefore = TVokBasicPin::LiveCount();
        m_operationsBefore = TVokNotifyOperation::LiveCount();
        m_blocksBefore = PoolBlocksInUse();
        m_form = std::make_unique<TVokForm>();
        m_form->SetName("Form1");
    }
    void TearDown() override {
        m_form.reset();
        EXPECT_EQ(TVokBasicPin::LiveCount(), m_pinsBefore) << "pins leaked";
        EXPECT_EQ(TVokNotifyOperation::LiveCount(), m_operationsBefore) << "operations leaked";
        EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore) << "pool blocks leaked";
    }

    // A merger of `channels` channels and `bits` bits, its output recorded, with one source per
    // channel, the first `linked` of them linked.
    void Build(uint32_t channels, uint32_t bits = 16, int linked = -1) {
        m_merger = new TDruRealToAudio(m_form.get());
        m_merger->SetName("DruRealToAudio1");
        m_merger->GetAudioFormat()->SetChannels(channels);
        m_merger->GetAudioFormat()->SetBits(bits);
        m_sink = new TTestAudioSink(m_form.get());
        ASSERT_TRUE(m_merger->GetOutputPin()->Connect(m_sink->m_input.get()));
        for (uint32_t i = 0; i < channels; ++i) {
            m_sources.push_back(new TTestRealSource(m_form.get()));
            if (linked < 0 || static_cast<int>(i) < linked) {
                ASSERT_TRUE(m_sources.back()->m_output->Connect(Input(i)));
            }
        }
    }
    TZemVokQueuedRealSinkPin* Input(uint32_t index) const {
        return static_cast<TZemVokQueuedRealSinkPin*>(
            m_merger->GetInputPins()->GetPin(static_cast<int>(index)));
    }
    TTestRealSource& Source(uint32_t index) { return *m_sources.at(index); }

    std::unique_ptr<TVokForm> m_form;
    TDruRealToAudio* m_merger = nullptr;
    TTestAudioSink* m_sink = nullptr;
    std::vector<TTestRealSource*> m_sources;
    int64_t m_pinsBefore = 0;
    int64_t m_operationsBefore = 0;
    int64_t m_blocksBefore = 0;
};

// ---------------------------------------------------------------- rounding and widths

struct TWidthCase {
    uint32_t m_bits;
    std::vector<double> m_inputs;
    std::vector<int64_t> m_expected; // 8-bit: raw bytes; wider: signed container values
};

class RealToAudioWidthTest : public RealToAudioTest,
                             public ::testing::WithParamInterface<TWidthCase> {};

// Rounding is to nearest with ties to even; values outside the width wrap around, never clip.
TEST_P(RealToAudioWidthTest, SamplesAreRoundedAndWrapped) {
    const TWidthCase& param = GetParam();
    Build(1, param.m_bits);
    Source(0).Start(44100.0);
    Source(0).SendSamples(Block(param.m_inputs));
    const auto buffers = m_sink->Buffers();
    ASSERT_EQ(buffers.size(), 1u);
    const TDruAudioBuffer& audio = *buffers[0];
    ASSERT_EQ(audio.GetSize(), 1024u);
    ASSERT_EQ(audio.GetChannels(), 1u);
    ASSERT_EQ(audio.GetBits(), param.m_bits);
    for (size_t k = 0; k < param.m_expected.size(); ++k) {
        EXPECT_EQ(RawSample(audio, static_cast<uint32_t>(k), 0), param.m_expected[k])
            << "sample " << k << " from " << param.m_inputs[k];
    }
    // The rest of the block was zero: 127 at 8 bits, 0 wider.
    EXPECT_EQ(RawSample(audio, 1023, 0), param.m_bits == 8 ? 127 : 0);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Widths, RealToAudioWidthTest,
    ::testing::Values(TWidthCase{16,
                                 {0.4, 0.5, 1.5, -2.5, 40000.0, -32768.0, -32769.0, 65536.0, -0.5,
                                  2.5},
                                 {0, 0, 2, -2, -25536, -32768, 32767, 0, 0, 2}},
                      TWidthCase{8,
                                 {0.0, -127.0, 129.0, 0.5, 127.5, -128.0, 1000.0},
                                 {127, 0, 0, 127, 255, 255, (1000 + 127) % 256}},
                      TWidthCase{24,
                                 {8388607.0, 8388608.0, -1.0, -8388609.0, 16777216.4, -3.5},
                                 {8388607, -8388608, -1, 8388607, 0, -4}},
                      TWidthCase{32,
                                 {2147483647.0, 2147483648.0, -2147483649.0, 4294967297.0, 1e20,
                                  kNaN, -kInfinity, -2147483648.0, 6442450943.5},
                                 {2147483647, -2147483648LL, 2147483647, 1, 1661992960, 0, 0,
                                  -2147483648LL, -2147483648LL}}));

TEST_F(RealToAudioTest, AStereoFormatWithOnlyTheFirstInputConnectedGivesASilentRightChannel) {
    Build(2, 16, 1);
    Source(0).Start(44100.0);
    ASSERT_TRUE(m_merger->IsStarted()) << "an unconnected input does not hold the start back";
    Source(0).SendSamples(Block({100.0, -200.0, 300.0}));
    const auto buffers = m_sink->Buffers();
    ASSERT_EQ(buffers.size(), 1u);
    EXPECT_EQ(buffers[0]->GetChannels(), 2u);
    EXPECT_EQ(RawSample(*buffers[0], 0, 0), 100);
    EXPECT_EQ(RawSample(*buffers[0], 1, 0), -200);
    EXPECT_EQ(RawSample(*buffers[0], 2, 0), 300);
    for (uint32_t frame = 0; frame < 1024; ++frame) {
        ASSERT_EQ(RawSample(*buffers[0], frame, 1), 0) << "frame " << frame;
    }
}

// ---------------------------------------------------------------- rates and blocks

TEST_F(RealToAudioTest, InputsAt22050SetTheOutputSampleRateAtStart) {
    Build(1);
    EXPECT_EQ(m_merger->GetAudioFormat()->GetSampleRate(), 11025u);
    Source(0).Start(22050.0);
    EXPECT_EQ(m_merger->GetAudioFormat()->GetSampleRate(), 22050u);
    const auto* start = m_sink->Last<TVokStartWaveOperation>();
    ASSERT_NE(start, nullptr);
    const TDruWaveFormat format = DruLoadWaveFormat(start->GetFormatRecord());
    EXPECT_EQ(format.m_samplesPerSecond, 22050u);
    EXPECT_EQ(format.m_channels, 1u);
    EXPECT_EQ(format.m_validBitsPerSample, 16u);
    Source(0).SendSamples(Block({5.0}));
    ASSERT_EQ(m_sink->Buffers().size(), 1u);
    EXPECT_EQ(m_sink->Buffers()[0]->GetSampleRate(), 22050u);
}

TEST_F(RealToAudioTest, InputsAtTwoRatesTakeTheLargerAndResampleTheSlowerOne) {
    Build(2);
    Source(1).Start(22050.0);
    EXPECT_FALSE(m_merger->IsStarted()) << "waits for every connected input";
    EXPECT_EQ(m_sink->Count<TVokStartWaveOperation>(), 0);
    Source(0).Start(44100.0);
    ASSERT_EQ(m_sink->Count<TVokStartWaveOperation>(), 1);
    EXPECT_EQ(m_merger->GetAudioFormat()->GetSampleRate(), 44100u);
    EXPECT_EQ(Input(1)->GetBlockSamples(), 512u);

    std::vector<double> slow(512);
    for (size_t i = 0; i < slow.size(); ++i) {
        slow[i] = static_cast<double>(i) * 10.0;
    }
    Source(0).SendSamples(Block({}));
    Source(1).SendSamples(slow);
    const auto buffers = m_sink->Buffers();
    ASSERT_EQ(buffers.size(), 1u);
    EXPECT_EQ(RawSample(*buffers[0], 0, 1), 0);
    EXPECT_EQ(RawSample(*buffers[0], 3, 1), 10);     // 3 × 511 ÷ 1024 ≈ 1.497
    EXPECT_EQ(RawSample(*buffers[0], 512, 1), 2560); // 255.5 rounds to 256 (to even)
    EXPECT_EQ(RawSample(*buffers[0], 1023, 1), 5110);
}

// An input delivering several blocks per buffer has them all made at once.
TEST_F(RealToAudioTest, AFastInputIsDrainedCompletely) {
    Build(1);
    Source(0).Start(44100.0);
    for (int round = 1; round <= 4; ++round) {
        Source(0).SendSamples(std::vector<double>(4096 + 100, round));
        EXPECT_EQ(m_sink->Buffers().size(), static_cast<size_t>(4 * round + (round * 100) / 1024));
        EXPECT_LT(Input(0)->GetQueue().GetAvailable(), 1024u);
    }
}

// ---------------------------------------------------------------- the stream protocol

TEST_F(RealToAudioTest, TheResumeFollowsTheThirdBlockAndEarlierResumesAreSwallowed) {
    Build(1);
    Source(0).Start(44100.0);
    Source(0).Send(new TVokZemResumeOperation());
    for (int i = 0; i < 2; ++i) {
        Source(0).SendSamples(Block({}));
    }
    Source(0).Send(new TVokZemResumeOperation());
    Source(0).SendSamples(Block({}));
    Source(0).SendSamples(Block({}));
    Source(0).Send(new TVokZemResumeOperation());
    // Wave start, the input's own start passed on, then the blocks with the merger's resume
    // after the third; the input's later resume is passed on.
    EXPECT_EQ(m_sink->Trace(), "WRBBBZBZ");

    // A new start begins a new run with its own resume.
    Source(0).Start(44100.0);
    for (int i = 0; i < 3; ++i) {
        Source(0).SendSamples(Block({}));
    }
    EXPECT_EQ(m_sink->Trace().substr(8), "RBBBZ");
}

TEST_F(RealToAudioTest, AnyInputStoppingStopsTheOutputAndItsNextStartRestartsIt) {
    Build(2);
    Source(0).Start(44100.0);
    Source(1).Start(44100.0);
    ASSERT_TRUE(m_merger->IsStarted());
    Source(1).SendSamples(Block({1.0}));
    Source(0).m_output->SendStop();
    EXPECT_FALSE(m_merger->IsStarted());
    EXPECT_GE(m_sink->Count<TVokStopOperation>(), 1);
    EXPECT_EQ(Input(1)->GetQueue().GetAvailable(), 0u) << "the stopped stream's samples go";
    EXPECT_TRUE(Input(0)->IsStarted()) << "a stopped input stays started";

    // While stopped nothing is made: the running input keeps only its newest buffer, the
    // stopped one keeps nothing.
    Source(1).SendSamples(Block({2.0}));
    Source(1).SendSamples(Block({3.0}));
    Source(0).SendSamples(Block({-1.0}));
    EXPECT_TRUE(m_sink->Buffers().empty());
    EXPECT_EQ(Input(0)->GetQueue().GetAvailable(), 0u);
    EXPECT_EQ(Input(1)->GetQueue().GetAvailable(), 1024u);

    Source(0).Start(44100.0);
    ASSERT_TRUE(m_merger->IsStarted());
    EXPECT_EQ(m_sink->Count<TVokStartWaveOperation>(), 2);
    Source(0).SendSamples(Block({4.0}));
    const auto buffers = m_sink->Buffers();
    ASSERT_EQ(buffers.size(), 1u);
    EXPECT_EQ(RawSample(*buffers[0], 0, 0), 4);
    EXPECT_EQ(RawSample(*buffers[0], 0, 1), 3);
}

TEST_F(RealToAudioTest, AnInputStarvedByAStalledOneKeepsABoundedQueue) {
    Build(2);
    Source(0).Start(44100.0);
    Source(1).Start(44100.0);
    ASSERT_TRUE(m_merger->IsStarted());
    // The first input never delivers: nothing can be made, and the second input's samples
    // must not pile up without bound.
    for (int i = 0; i < 400; ++i) {
        Source(1).SendSamples(Block({static_cast<double>(i)}));
    }
    EXPECT_TRUE(m_sink->Buffers().empty());
    EXPECT_LE(Input(1)->GetQueue().GetAvailable(), 257u * 1024u);
    EXPECT_GE(Input(1)->GetQueue().GetAvailable(), 1024u);
}

TEST_F(RealToAudioTest, ASinkLinkedWhileRunningGetsTheWaveStart) {
    Build(1);
    Source(0).Start(48000.0);
    auto* late = new TTestAudioSink(m_form.get());
    ASSERT_TRUE(m_merger->GetOutputPin()->Connect(late->m_input.get()));
    ASSERT_EQ(late->m_received.size(), 1u);
    const auto* start = OperationAs<TVokStartWaveOperation>(late->m_received[0].Get());
    ASSERT_NE(start, nullptr) << "the remembered start describes the audio format";
    EXPECT_EQ(DruLoadWaveFormat(start->GetFormatRecord()).m_samplesPerSecond, 48000u);
}

TEST_F(RealToAudioTest, OperationsFromDownstreamSkipInputsThatReceivedDataMeanwhile) {
    Build(3);
    for (uint32_t i = 0; i < 3; ++i) {
        Source(i).Start(44100.0);
    }
    // While the query travels up the first input, data arrives at the third.
    Source(0).m_onUpstream = [this] { Source(2).SendSamples(Block({})); };
    TRef<TVokNotifyOperation> query = MakeRef<TVokQueryStreamOperation>();
    m_sink->m_input->Notify(query.Get());
    EXPECT_EQ(Source(0).m_upstream.size(), 1u);
    EXPECT_EQ(Source(1).m_upstream.size(), 1u);
    EXPECT_EQ(Source(2).m_upstream.size(), 0u);

    Source(0).m_onUpstream = nullptr;
    m_sink->m_input->Notify(query.Get());
    EXPECT_EQ(Source(2).m_upstream.size(), 1u) << "the marks are cleared by every call";
}

TEST_F(RealToAudioTest, ChangingChannelsAddsSilentInputsAndRemovesFromTheEnd) {
    Build(2);
    EXPECT_EQ(m_merger->GetInputPins()->GetCount(), 2);
    m_merger->GetAudioFormat()->SetChannels(1);
    ASSERT_EQ(m_merger->GetInputPins()->GetCount(), 1);
    EXPECT_EQ(m_merger->GetInputCount(), 1);
    Source(0).Start(44100.0);
    ASSERT_TRUE(m_merger->IsStarted());

    m_merger->GetAudioFormat()->SetChannels(3);
    ASSERT_EQ(m_merger->GetInputPins()->GetCount(), 3);
    EXPECT_FALSE(Input(2)->IsConnected());
    EXPECT_TRUE(m_merger->GetOutputPin()->DependsOn(Input(2)));
    EXPECT_EQ(Input(2)->GetFullName(false), "DruRealToAudio1.InputPins.Pin [2]");
    Source(0).SendSamples(Block({-9.0}));
    const auto buffers = m_sink->Buffers();
    ASSERT_EQ(buffers.size(), 1u);
    EXPECT_EQ(buffers[0]->GetChannels(), 3u);
    EXPECT_EQ(RawSample(*buffers[0], 0, 0), -9);
    EXPECT_EQ(RawSample(*buffers[0], 0, 1), 0);
    EXPECT_EQ(RawSample(*buffers[0], 0, 2), 0);

    std::vector<std::string> names;
    for (const TVokPropertyInfo* property : TDruRealToAudio::ClassInfo().GetProperties()) {
        names.push_back(property->GetName());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "AudioFormat", "OutputPin", "InputPins"}));
}

TEST_F(RealToAudioTest, DestroyingARunningMergerStopsItsOutput) {
    Build(1);
    Source(0).Start(44100.0);
    Source(0).SendSamples(std::vector<double>(700, 1.0));
    delete m_merger;
    EXPECT_GE(m_sink->Count<TVokStopOperation>(), 1);
    EXPECT_FALSE(Source(0).m_output->HasSinks());
}

} // namespace
