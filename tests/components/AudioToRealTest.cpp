#include "components/DruAudioToReal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Drives an audio stream the way the capture component does.
class TTestAudioSource : public TVokComponent {
  public:
    explicit TTestAudioSource(TVokComponent* owner)
        : TVokComponent(owner),
          m_output(MakePin<TDruVokAudioSourcePin>(
              this, TZemPinHandler::Of<&TTestAudioSource::OnUpstream>(this))) {
        TVokObject::LinkObjects(&m_lock, m_output.get());
    }
    TVokNotifyResults OnUpstream(TVokBasicPin*, const TVokGuid&, TVokNotifyFlags,
                                 TVokNotifyOperation* operation) {
        m_upstream.emplace_back(operation);
        return {};
    }
    void Send(TVokNotifyOperation* operation) {
        TRef<TVokNotifyOperation> held(operation);
        m_output->Notify(held.Get());
    }
    // Announces the stream described by `buffer`'s own format record.
    void Start(const TDruAudioBuffer& buffer) {
        Send(new TVokStartWaveOperation(buffer.GetHeader(), 44100.0f / 1024));
    }

    // The records before the pins: a pin being destroyed still delivers a stop.
    TVokObject m_lock;
    std::vector<TRef<TVokNotifyOperation>> m_upstream;
    TVokPinPtr<TDruVokAudioSourcePin> m_output;
};

// Records every operation reaching its real sink pin.
class TTestRealSink : public TVokComponent {
  public:
    explicit TTestRealSink(TVokComponent* owner)
        : TVokComponent(owner), m_input(MakePin<TZemVokRealSinkPin>(
                                    this, TZemPinHandler::Of<&TTestRealSink::OnData>(this))) {
        TVokObject::LinkObjects(&m_lock, m_input.get());
    }
    TVokNotifyResults OnData(TVokBasicPin*, const TVokGuid&, TVokNotifyFlags,
                             TVokNotifyOperation* operation) {
        m_received.emplace_back(operation);
        return {};
    }
    template <class T> int Count() const {
        int count = 0;
        for (const auto& operation : m_received) {
            count += OperationAs<T>(operation.Get()) != nullptr;
        }
        return count;
    }
    // The values of every real buffer received, in order.
    std::vector<std::vector<double>> Buffers() const {
        std::vector<std::vector<double>> result;
        for (const auto& operation : m_received) {
            if (auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation.Get())) {
                const auto* real = BufferCast<TZemRealBuffer>(supplied->GetBuffer());
                result.emplace_back(real->GetReadPointer(),
                                    real->GetReadPointer() + real->GetSize());
            }
        }
        return result;
    }

    TVokObject m_lock;
    std::vector<TRef<TVokNotifyOperation>> m_received;
    TVokPinPtr<TZemVokRealSinkPin> m_input;
};

// The real splitter, counting the channels it hands on.
class TCountingSplitter : public TDruAudioToReal {
  public:
    using TDruAudioToReal::ProcessInputOperation;
    using TDruAudioToReal::TDruAudioToReal;
    void DeliverChannel(int32_t channel, const TRef<TZemRealBuffer>& samples) override {
        m_delivered.push_back(channel);
        TDruAudioToReal::DeliverChannel(channel, samples);
    }
    std::vector<int32_t> m_delivered;
};

// An audio buffer whose sample (frame, channel) holds the low container bytes of
// `raw(frame, channel)`, little-endian.
template <class F>
TRef<TDruAudioBuffer> MakeAudio(uint32_t channels, uint32_t bits, uint32_t frames, F raw) {
    auto buffer = MakeRef<TDruAudioBuffer>(44100u, (1u << channels) - 1, frames, channels, bits);
    uint8_t* data = buffer->GetWritePointer();
    const uint32_t width = bits / 8;
    for (uint32_t frame = 0; frame < frames; ++frame) {
        for (uint32_t channel = 0; channel < channels; ++channel) {
            const uint32_t value = raw(frame, channel);
            for (uint32_t byte = 0; byte < width; ++byte) {
                *data++ = static_cast<uint8_t>(value >> (8 * byte));
            }
        }
    }
    return buffer;
}

class AudioToRealTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_form.SetName("Form1");
        m_pinsBefore = TVokBasicPin::LiveCount();
        m_operationsBefore = TVokNotifyOperation::LiveCount();
        m_blocksBefore = PoolBlocksInUse();
        m_source = Make<TTestAudioSource>();
        m_splitter = Make<TCountingSplitter>();
        m_splitter->SetName("DruAudioToReal1");
        ASSERT_TRUE(m_source->m_output->Connect(m_splitter->GetInputPin()));
    }
    void TearDown() override {
        while (!m_components.empty()) {
            m_components.pop_back();
        }
        EXPECT_EQ(TVokBasicPin::LiveCount(), m_pinsBefore);
        EXPECT_EQ(TVokNotifyOperation::LiveCount(), m_operationsBefore);
        EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore);
    }
    template <class T> T* Make() {
        m_components.push_back(std::make_unique<T>(&m_form));
        return static_cast<T*>(m_components.back().get());
    }
    // A sink on each output pin of the splitter.
    std::vector<TTestRealSink*> LinkSinks() {
        std::vector<TTestRealSink*> sinks;
        for (int32_t i = 0; i < m_splitter->GetCountChannels(); ++i) {
            sinks.push_back(Make<TTestRealSink>());
            EXPECT_TRUE(m_splitter->GetOutputPin(i)->Connect(sinks.back()->m_input.get()));
        }
        return sinks;
    }

    TVokForm m_form;
    std::vector<std::unique_ptr<TVokComponent>> m_components;
    TTestAudioSource* m_source = nullptr;
    TCountingSplitter* m_splitter = nullptr;
    int64_t m_pinsBefore = 0;
    int64_t m_operationsBefore = 0;
    int64_t m_blocksBefore = 0;
};

TEST_F(AudioToRealTest, StereoBufferGivesTheLeftAndRightSamplesAfterASampleRateStart) {
    const auto sinks = LinkSinks();
    auto audio = MakeAudio(2, 16, 1024, [](uint32_t frame, uint32_t channel) {
        return static_cast<uint32_t>(channel == 0 ? frame * 64 - 32768 : 32767 - frame * 7);
    });
    m_source->Start(*audio);
    m_source->m_output->SendBuffer(audio);

    for (uint32_t channel = 0; channel < 2; ++channel) {
        const auto& received = sinks[channel]->m_received;
        ASSERT_EQ(received.size(), 2u);
        const auto* start = OperationAs<TVokStartSampleRateOperation>(received[0].Get());
        ASSERT_NE(start, nullptr);
        EXPECT_EQ(start->GetBlockSize(), 0);
        EXPECT_EQ(start->GetSampleRate(), 44100.0);
        EXPECT_EQ(start->GetRate(), 44100.0f) << "the rate is in samples per second";
        const auto buffers = sinks[channel]->Buffers();
        ASSERT_EQ(buffers.size(), 1u);
        ASSERT_EQ(buffers[0].size(), 1024u);
        for (uint32_t frame = 0; frame < 1024; frame += 101) {
            EXPECT_EQ(buffers[0][frame], channel == 0 ? frame * 64.0 - 32768 : 32767.0 - frame * 7);
        }
    }
}

// Raw container values and what the splitter must make of them.
struct TConversionCase {
    uint32_t m_bits;
    std::vector<uint32_t> m_raw;
    std::vector<double> m_expected;
};

class AudioToRealConversionTest : public AudioToRealTest,
                                  public ::testing::WithParamInterface<TConversionCase> {};

TEST_P(AudioToRealConversionTest, EveryWidthGivesTheRawSignedValuesOfItsOwnChannel) {
    const TConversionCase& param = GetParam();
    m_splitter->SetCountChannels(3);
    const auto sinks = LinkSinks();
    const auto frames = static_cast<uint32_t>(param.m_raw.size());
    // Channel c holds the values rotated by c, so reading a neighbour's bytes shows.
    auto audio = MakeAudio(3, param.m_bits, frames, [&](uint32_t frame, uint32_t channel) {
        return param.m_raw[(frame + channel) % frames];
    });
    m_source->Start(*audio);
    m_source->m_output->SendBuffer(audio);
    for (uint32_t channel = 0; channel < 3; ++channel) {
        const auto buffers = sinks[channel]->Buffers();
        ASSERT_EQ(buffers.size(), 1u);
        ASSERT_EQ(buffers[0].size(), frames);
        for (uint32_t frame = 0; frame < frames; ++frame) {
            EXPECT_EQ(buffers[0][frame], param.m_expected[(frame + channel) % frames])
                << param.m_bits << "-bit channel " << channel << " frame " << frame;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Widths, AudioToRealConversionTest,
    ::testing::Values(
        TConversionCase{8, {127, 0, 255, 128, 1}, {0, -127, 128, 1, -126}},
        TConversionCase{16, {0x7FFF, 0x8000, 0xFFFF, 0, 1000}, {32767, -32768, -1, 0, 1000}},
        TConversionCase{
            24, {0xFFFFFF, 0x800000, 0x7FFFFF, 1, 0x123456}, {-1, -8388608, 8388607, 1, 0x123456}},
        TConversionCase{32,
                        {0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0, 123456789},
                        {2147483647.0, -2147483648.0, -1, 0, 123456789}}),
    [](const auto& info) { return std::to_string(info.param.m_bits) + "Bit"; });

TEST_F(AudioToRealTest, OnlyConnectedOutputsBelowTheStreamsChannelCountAreConverted) {
    m_splitter->SetCountChannels(4);
    auto* onOne = Make<TTestRealSink>();
    auto* onThree = Make<TTestRealSink>();
    ASSERT_TRUE(m_splitter->GetOutputPin(1)->Connect(onOne->m_input.get()));
    ASSERT_TRUE(m_splitter->GetOutputPin(3)->Connect(onThree->m_input.get()));
    // A three-channel stream: pin 3 has no channel, pins 0 and 2 no sink.
    auto audio =
        MakeAudio(3, 16, 8, [](uint32_t frame, uint32_t channel) { return frame * 10 + channel; });
    m_source->Start(*audio);
    m_source->m_output->SendBuffer(audio);

    EXPECT_EQ(m_splitter->m_delivered, std::vector<int32_t>{1});
    ASSERT_EQ(onOne->Buffers().size(), 1u);
    EXPECT_EQ(onOne->Buffers()[0][7], 71.0);
    EXPECT_EQ(onThree->Count<TVokStartOperation>(), 1) << "every output hears the start";
    EXPECT_EQ(onThree->Count<TVokSuppliedBufferOperation>(), 0);
}

TEST_F(AudioToRealTest, APartialFrameAtTheEndIsLeftOut) {
    const auto sinks = LinkSinks();
    for (const uint32_t bits : {16u, 24u}) {
        auto whole = MakeAudio(
            2, bits, 10, [](uint32_t frame, uint32_t channel) { return frame + 100 * channel; });
        // The same record with 10 frames and all but one byte of an eleventh.
        const uint32_t bytes = whole->GetByteSize() + 2 * bits / 8 - 1;
        auto partial = MakeRef<TDruAudioBuffer>(whole->GetHeader(), bytes);
        std::copy(whole->GetReadPointer(), whole->GetReadPointer() + whole->GetByteSize(),
                  partial->GetWritePointer());
        EXPECT_EQ(partial->GetByteSize(), bytes);
        m_source->Start(*whole);
        m_source->m_output->SendBuffer(partial);
        for (uint32_t channel = 0; channel < 2; ++channel) {
            const auto buffers = sinks[channel]->Buffers();
            ASSERT_FALSE(buffers.empty());
            ASSERT_EQ(buffers.back().size(), 10u) << bits << "-bit channel " << channel;
            EXPECT_EQ(buffers.back()[9], 9.0 + 100 * channel);
        }
    }
}

TEST_F(AudioToRealTest, ABufferBeforeAnyStartOrThatIsNotAudioProducesNothing) {
    const auto sinks = LinkSinks();
    auto audio = MakeAudio(2, 16, 16, [](uint32_t, uint32_t) { return 5u; });
    m_source->m_output->SendBuffer(audio);
    EXPECT_TRUE(m_splitter->m_delivered.empty()) << "no format yet";

    m_source->Start(*audio);
    const double values[] = {1.0, 2.0};
    m_source->m_output->SendBuffer(MakeRef<TZemRealBuffer>(values, 2u)); // swallowed by the send
    EXPECT_TRUE(m_splitter->m_delivered.empty());
    TRef<TVokNotifyOperation> supplied =
        MakeRef<TVokSuppliedBufferOperation>(MakeRef<TZemRealBuffer>(values, 2u));
    try {
        m_splitter->ProcessInputOperation(nullptr, kDruAudioBufferStreamType, {}, supplied.Get());
        ADD_FAILURE() << "a real buffer was taken for audio";
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find("TDruAudioToReal DruAudioToReal1"),
                  std::string::npos)
            << error.what();
    }

    m_source->m_output->SendBuffer(audio);
    EXPECT_EQ(m_splitter->m_delivered, (std::vector<int32_t>{0, 1}));
}

TEST_F(AudioToRealTest, StopAndResumeReachEveryOutputPin) {
    m_splitter->SetCountChannels(3);
    const auto sinks = LinkSinks();
    m_source->Send(new TVokZemResumeOperation());
    m_source->m_output->SendStop();
    m_source->Send(new TVokEndStopOperation());
    for (const TTestRealSink* sink : sinks) {
        EXPECT_EQ(sink->Count<TVokZemResumeOperation>(), 1);
        EXPECT_EQ(sink->Count<TVokStopOperation>(), 2) << "an end stop is a stop too";
    }
}

class AudioToRealCountTest : public AudioToRealTest,
                             public ::testing::WithParamInterface<std::pair<int32_t, int32_t>> {};

TEST_P(AudioToRealCountTest, TheChannelCountIsClampedAndIsThePinListsCount) {
    const auto [requested, expected] = GetParam();
    m_splitter->SetCountChannels(requested);
    EXPECT_EQ(m_splitter->GetCountChannels(), expected);
    EXPECT_EQ(m_splitter->GetOutputPins()->GetCount(), expected);
    // Through the list's published Count, as a form description sets it.
    const TVokClassInfo* listInfo = ClassInfoOf(m_splitter->GetOutputPins());
    listInfo->SetValue(m_splitter->GetOutputPins(), "Count", int64_t{requested});
    EXPECT_EQ(m_splitter->GetCountChannels(), expected);
    for (int32_t i = 0; i < expected; ++i) {
        TVokSourcePin* pin = m_splitter->GetOutputPin(i);
        EXPECT_EQ(m_splitter->GetOutputPins()->GetPin(i), pin);
        EXPECT_TRUE(pin->DependsOn(m_splitter->GetInputPin()));
        EXPECT_EQ(pin->GetFullName(true),
                  "Form1.DruAudioToReal1.OutputPins.Pin [" + std::to_string(i) + "]");
    }
    EXPECT_THROW(m_splitter->GetOutputPin(expected), std::out_of_range);
}

INSTANTIATE_TEST_SUITE_P(Counts, AudioToRealCountTest,
                         ::testing::Values(std::pair{0, 1}, std::pair{-5, 1}, std::pair{3, 3},
                                           std::pair{32, 32}, std::pair{40, 32}));

TEST_F(AudioToRealTest, ChangingTheCountWhileStreamingStopsRemovedPinsAndFeedsNewOnes) {
    const auto sinks = LinkSinks();
    auto audio = MakeAudio(3, 16, 4, [](uint32_t, uint32_t channel) { return channel; });
    m_source->Start(*audio);
    m_splitter->SetCountChannels(1);
    EXPECT_EQ(sinks[1]->Count<TVokStopOperation>(), 1) << "a freed pin stops its sinks";
    EXPECT_FALSE(sinks[1]->m_input->HasSourcePin());

    m_splitter->SetCountChannels(3);
    auto* late = Make<TTestRealSink>();
    ASSERT_TRUE(m_splitter->GetOutputPin(2)->Connect(late->m_input.get()));
    m_source->m_output->SendBuffer(audio);
    EXPECT_EQ(late->Count<TVokStartOperation>(), 0) << "no start until the next start";
    ASSERT_EQ(late->Buffers().size(), 1u);
    EXPECT_EQ(late->Buffers()[0][0], 2.0);
}

TEST_F(AudioToRealTest, OperationsFromDownstreamGoUpstreamOrAreHandledAsInput) {
    const auto sinks = LinkSinks();
    TRef<TVokNotifyOperation> query = MakeRef<TVokQueryStreamOperation>();
    sinks[0]->m_input->Notify(query.Get());
    ASSERT_EQ(m_source->m_upstream.size(), 1u);
    EXPECT_EQ(m_source->m_upstream[0], query);

    // Unlinking the input is a stop for the stream, passed on to every output.
    m_splitter->GetInputPin()->Disconnect();
    EXPECT_EQ(sinks[0]->Count<TVokStopOperation>(), 1);
    EXPECT_EQ(sinks[1]->Count<TVokStopOperation>(), 1);
    // Without an upstream the splitter acts on it itself: a stop reaches every output.
    TRef<TVokNotifyOperation> stop = MakeRef<TVokStopOperation>();
    sinks[1]->m_input->Notify(stop.Get());
    EXPECT_EQ(sinks[0]->Count<TVokStopOperation>(), 2);
    EXPECT_EQ(sinks[1]->Count<TVokStopOperation>(), 2);
    EXPECT_EQ(m_source->m_upstream.size(), 1u);
}

TEST_F(AudioToRealTest, DestroyingTheSplitterStopsItsSinks) {
    const auto sinks = LinkSinks();
    m_source->Start(*MakeAudio(2, 16, 1, [](uint32_t, uint32_t) { return 0u; }));
    std::erase_if(m_components, [this](const auto& c) { return c.get() == m_splitter; });
    EXPECT_FALSE(m_source->m_output->HasSinks());
    for (const TTestRealSink* sink : sinks) {
        EXPECT_GE(sink->Count<TVokStopOperation>(), 1);
        EXPECT_FALSE(sink->m_input->HasSourcePin());
    }
}

} // namespace
