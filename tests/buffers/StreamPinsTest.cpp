#include "buffers/ZemVokStreamPins.h"
#include "pins/VokComponent.h"
#include "pins/VokStandardPins.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

/// A component with one data handler that records what its sinks receive.
class TRecorder : public TVokComponent {
  public:
    struct TDelivery {
        TVokBasicPin* m_pin;
        TVokGuid m_type;
        TRef<TVokNotifyOperation> m_operation;
    };

    explicit TRecorder(TVokComponent* owner) : TVokComponent(owner) {}

    TVokNotifyResults OnData(TVokBasicPin* pin, const TVokGuid& typeId, TVokNotifyFlags,
                             TVokNotifyOperation* operation) {
        m_deliveries.push_back({pin, typeId, TRef<TVokNotifyOperation>(operation)});
        if (m_throw) {
            throw std::runtime_error("receiver failed");
        }
        return {};
    }
    TZemPinHandler Handler() { return TZemPinHandler::Of<&TRecorder::OnData>(this); }

    template <class T> int Count(TVokBasicPin* pin) const {
        int count = 0;
        for (const TDelivery& delivery : m_deliveries) {
            count += delivery.m_pin == pin && OperationAs<T>(delivery.m_operation.Get()) != nullptr;
        }
        return count;
    }

    std::vector<TDelivery> m_deliveries;
    bool m_throw = false;
};

class StreamPinsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_form.SetName("Form1");
        m_pinsBefore = TVokBasicPin::LiveCount();
        m_operationsBefore = TVokNotifyOperation::LiveCount();
        m_blocksBefore = PoolBlocksInUse();
    }
    void TearDown() override {
        m_pins.clear();
        m_recorder.m_deliveries.clear();
        EXPECT_EQ(TVokBasicPin::LiveCount(), m_pinsBefore);
        EXPECT_EQ(TVokNotifyOperation::LiveCount(), m_operationsBefore);
        EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore);
    }
    template <class T, class... Args> T* Make(Args&&... args) {
        auto pin = MakePin<T>(&m_form, std::forward<Args>(args)...);
        T* raw = pin.get();
        m_pins.emplace_back(std::move(pin));
        return raw;
    }
    TRef<IZemDataBuffer> RealBuffer(std::vector<double> values) {
        return MakeRef<TZemRealBuffer>(values.data(), static_cast<uint32_t>(values.size()));
    }
    void Start(TZemVokSourcePin* source) {
        TRef<TVokNotifyOperation> start = MakeRef<TVokStartSampleRateOperation>(0, 44100.0);
        source->Notify(start.Get());
    }

    TVokForm m_form;
    TRecorder m_recorder{&m_form};
    std::vector<TVokPinPtr<TVokBasicPin>> m_pins;
    int64_t m_pinsBefore = 0;
    int64_t m_operationsBefore = 0;
    int64_t m_blocksBefore = 0;
};

TEST_F(StreamPinsTest, LinkTypesFollowTheMostSpecificCommonType) {
    auto* real = Make<TZemVokRealSourcePin>(TZemPinHandler{});
    auto* audio = Make<TDruVokAudioSourcePin>(TZemPinHandler{});
    auto* realSink = Make<TZemVokComboRealIntSinkPin>(m_recorder.Handler());
    auto* audioSink = Make<TDruVokAudioSinkPin>(m_recorder.Handler());
    auto* clock = Make<TVokClockSinkPin>(0, nullptr);

    ASSERT_TRUE(real->Connect(realSink));
    EXPECT_EQ(real->GetLinkType(realSink), kZemRealBufferStreamType);
    EXPECT_EQ(realSink->GetUpstreamType(), kZemRealBufferStreamType);
    ASSERT_TRUE(audio->Connect(audioSink));
    EXPECT_EQ(audio->GetLinkType(audioSink), kDruAudioBufferStreamType);
    ASSERT_TRUE(audio->Connect(clock));
    EXPECT_EQ(audio->GetLinkType(clock), kVokClockType);

    auto* otherReal = Make<TZemVokRealSinkPin>(m_recorder.Handler());
    EXPECT_FALSE(audio->Connect(otherReal)) << "a real sink cannot take audio";
    EXPECT_FALSE(otherReal->HasSourcePin());
}

TEST_F(StreamPinsTest, TwoSinksSeeTheVeryBufferObjectAndLinkNotificationsStayOut) {
    auto* source = Make<TZemVokRealSourcePin>(TZemPinHandler{});
    auto* first = Make<TZemVokRealSinkPin>(m_recorder.Handler());
    auto* second = Make<TZemVokRealSinkPin>(m_recorder.Handler());
    ASSERT_TRUE(source->Connect(first));
    ASSERT_TRUE(source->Connect(second));
    EXPECT_TRUE(m_recorder.m_deliveries.empty()) << "link notifications reach no data handler";

    TRef<IZemDataBuffer> buffer = RealBuffer({1.0, 2.0, 3.0});
    source->SendBuffer(buffer);
    ASSERT_EQ(m_recorder.m_deliveries.size(), 2u);
    for (const auto& delivery : m_recorder.m_deliveries) {
        const auto* supplied = OperationAs<TVokSuppliedBufferOperation>(delivery.m_operation.Get());
        ASSERT_NE(supplied, nullptr);
        EXPECT_EQ(supplied->GetBuffer(), buffer.Get()) << "buffers are shared, never copied";
        EXPECT_EQ(delivery.m_type, kZemRealBufferStreamType);
    }
}

TEST_F(StreamPinsTest, LateSinkGetsTheRememberedStartThenBuffersAndNothingAfterAStop) {
    auto* source = Make<TZemVokRealSourcePin>(TZemPinHandler{});
    Start(source);
    auto* late = Make<TZemVokRealSinkPin>(m_recorder.Handler());
    ASSERT_TRUE(source->Connect(late));
    ASSERT_EQ(m_recorder.m_deliveries.size(), 1u);
    EXPECT_NE(
        OperationAs<TVokStartSampleRateOperation>(m_recorder.m_deliveries[0].m_operation.Get()),
        nullptr);
    source->SendBuffer(RealBuffer({1.0}));
    EXPECT_EQ(m_recorder.Count<TVokSuppliedBufferOperation>(late), 1);

    source->SendStop();
    EXPECT_EQ(source->GetRememberedStart(), nullptr);
    auto* afterStop = Make<TZemVokRealSinkPin>(m_recorder.Handler());
    ASSERT_TRUE(source->Connect(afterStop));
    EXPECT_EQ(m_recorder.Count<TVokStartOperation>(afterStop), 0);
}

TEST_F(StreamPinsTest, UnlinkingSendsOneStopToThatSinkOnly) {
    auto* source = Make<TZemVokRealSourcePin>(TZemPinHandler{});
    auto* staying = Make<TZemVokRealSinkPin>(m_recorder.Handler());
    auto* leaving = Make<TZemVokRealSinkPin>(m_recorder.Handler());
    ASSERT_TRUE(source->Connect(staying));
    ASSERT_TRUE(source->Connect(leaving));
    ASSERT_TRUE(leaving->Connect(nullptr)); // no stream running: the stop comes all the same
    EXPECT_EQ(m_recorder.Count<TVokStopOperation>(leaving), 1);
    EXPECT_EQ(m_recorder.Count<TVokStopOperation>(staying), 0);
    EXPECT_EQ(source->GetSinkCount(), 1);

    // Destroying the source stops every sink still linked.
    m_pins.erase(m_pins.begin()); // the source
    EXPECT_EQ(m_recorder.Count<TVokStopOperation>(staying), 1);
    EXPECT_FALSE(staying->HasSourcePin());
}

TEST_F(StreamPinsTest, AudioSourceTicksAClockSinkOncePerBuffer) {
    int ticks = 0;
    auto* audio = Make<TDruVokAudioSourcePin>(TZemPinHandler{});
    auto* clock = Make<TVokClockSinkPin>(0, [&](TVokClockSinkPin&) { ++ticks; });
    ASSERT_TRUE(audio->Connect(clock));
    TRef<TVokNotifyOperation> start = MakeRef<TVokStartWaveOperation>(nullptr, 43.0f);
    audio->Notify(start.Get());
    for (int i = 0; i < 3; ++i) {
        audio->SendBuffer(MakeRef<TZemBlockBuffer>(16u));
    }
    audio->SendStop();
    EXPECT_EQ(ticks, 3);
}

TEST_F(StreamPinsTest, AudioSourceReplaysStartThenResume) {
    auto* audio = Make<TDruVokAudioSourcePin>(TZemPinHandler{});
    TRef<TVokNotifyOperation> start = MakeRef<TVokStartWaveOperation>(nullptr, 43.0f);
    TRef<TVokNotifyOperation> resume = MakeRef<TVokZemResumeOperation>();
    audio->Notify(start.Get());
    audio->Notify(resume.Get());
    auto* sink = Make<TDruVokAudioSinkPin>(m_recorder.Handler());
    ASSERT_TRUE(audio->Connect(sink));
    ASSERT_EQ(m_recorder.m_deliveries.size(), 2u);
    EXPECT_EQ(m_recorder.m_deliveries[0].m_operation.Get(), start.Get());
    EXPECT_EQ(m_recorder.m_deliveries[1].m_operation.Get(), resume.Get());
}

TEST_F(StreamPinsTest, SendBufferSwallowsReceiverErrorsAndUpstreamReachesTheOwner) {
    int upstream = 0;
    struct TContext {
        int* m_count;
    } context{&upstream};
    auto* source = Make<TZemVokRealSourcePin>(TZemPinHandler{
        [](void* raw, TVokBasicPin*, const TVokGuid&, TVokNotifyFlags, TVokNotifyOperation*) {
            ++*static_cast<TContext*>(raw)->m_count;
            return TVokNotifyResults{};
        },
        &context});
    auto* sink = Make<TZemVokRealSinkPin>(m_recorder.Handler());
    ASSERT_TRUE(source->Connect(sink));
    m_recorder.m_throw = true;
    EXPECT_NO_THROW(source->SendBuffer(RealBuffer({1.0})));
    TRef<TVokNotifyOperation> pump = MakeRef<TVokPumpRequestOperation>();
    sink->Notify(pump.Get());
    EXPECT_EQ(upstream, 1);
    m_recorder.m_throw = false;
}

TEST_F(StreamPinsTest, FloatReceiversGetTheFirstSampleOfEachBuffer) {
    auto* source = Make<TZemVokRealSourcePin>(TZemPinHandler{});
    std::vector<float> values;
    auto* state = Make<TVokFloatIntStatePin>(
        0, [&](TVokFloatIntStatePin&, float value) { values.push_back(value); });
    ASSERT_TRUE(source->Connect(state));
    source->SendBuffer(RealBuffer({2.5, 9.0}));
    source->SendBuffer(RealBuffer({}));
    source->SendBuffer(RealBuffer({-1.0}));
    EXPECT_EQ(values, (std::vector<float>{2.5f, -1.0f}));
}

TEST(StartOperationsTest, RatesAndTheDefaultFormatBlock) {
    const TRef<TVokStartSampleRateOperation> blocks =
        MakeRef<TVokStartSampleRateOperation>(1024, 44100.0);
    EXPECT_FLOAT_EQ(blocks->GetRate(), 44100.0f / 1024.0f);
    const TRef<TVokStartSampleRateOperation> samples =
        MakeRef<TVokStartSampleRateOperation>(0, 44100.0);
    EXPECT_EQ(samples->GetRate(), 44100.0f);

    const TRef<TVokStartWaveOperation> wave = MakeRef<TVokStartWaveOperation>(nullptr, 43.0f);
    EXPECT_EQ(wave->GetBlockSize(), 0);
    EXPECT_EQ(wave->GetSampleRate(), 43.0);
    const TVokWaveFormatBlock expected = {
        0xFE, 0xFF, 0x02, 0x00, 0x10, 0x2B, 0x00, 0x00, 0x40, 0xAC, 0x00, 0x00, 0x04, 0x00,
        0x10, 0x00, 0x16, 0x00, 0x10, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    EXPECT_EQ(wave->GetFormat(), expected);
    // A given record is copied as it is.
    TVokWaveFormatBlock given = expected;
    given[2] = 1;
    const TRef<TVokStartWaveOperation> copied =
        MakeRef<TVokStartWaveOperation>(given.data(), 43.0f);
    given[2] = 7;
    EXPECT_EQ(copied->GetFormatRecord()[2], 1);
}

} // namespace
