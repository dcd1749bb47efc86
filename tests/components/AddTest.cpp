#include "components/ZemAdd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr auto kWatchdog = 60s;

// Drives one real stream; records what comes back up and may decline stream queries.
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
        if (m_declines && OperationAs<TVokQueryStreamOperation>(operation) != nullptr) {
            Send(new TVokIgnoreStreamOperation());
        }
        return {};
    }
    void Send(TVokNotifyOperation* operation) {
        TRef<TVokNotifyOperation> held(operation);
        m_output->Notify(held.Get());
    }
    // Sent the way a generator sends its start: under the global write lock. The adder may
    // then query its other inputs' sources from inside the start's dispatch without putting a
    // sink-before-source order into the lock-order graph.
    void Start(double sampleRate, int32_t blockSize = 0) {
        TVokGlobalWriteLockSection global;
        Send(new TVokStartSampleRateOperation(blockSize, sampleRate));
    }
    void SendSamples(const std::vector<double>& samples) {
        m_output->SendBuffer(
            MakeRef<TZemRealBuffer>(samples.data(), static_cast<uint32_t>(samples.size())));
    }
    template <class T> int CountUpstream() const {
        return static_cast<int>(std::count_if(m_upstream.begin(), m_upstream.end(), [](auto& op) {
            return OperationAs<T>(op.Get()) != nullptr;
        }));
    }

    // Declared before the pin: its destruction still reports operations.
    std::vector<TRef<TVokNotifyOperation>> m_upstream;
    TVokObject m_lock;
    TVokPinPtr<TZemVokRealSourcePin> m_output;
    bool m_declines = false;
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
    // The samples of every buffer received, in order.
    std::vector<std::vector<double>> Buffers() const {
        std::vector<std::vector<double>> buffers;
        for (const auto& operation : m_received) {
            if (auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation.Get())) {
                auto* real = BufferCast<TZemRealBuffer>(supplied->GetBuffer());
                buffers.emplace_back(real->GetReadPointer(),
                                     real->GetReadPointer() + real->GetSize());
            }
        }
        return buffers;
    }

    // Declared before the pin: its destruction still delivers a stop.
    std::vector<TRef<TVokNotifyOperation>> m_received;
    TVokObject m_lock;
    TVokPinPtr<TZemVokRealSinkPin> m_input;
};

// `count` values first, first + step, ... (integers, so sums are exact).
std::vector<double> Ramp(size_t count, double first, double step = 1.0) {
    std::vector<double> values(count);
    for (size_t i = 0; i < count; ++i) {
        values[i] = first + step * static_cast<double>(i);
    }
    return values;
}

class AddTest : public ::testing::Test {
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

    // An adder with `inputs` input pins, its output recorded, and one source per input
    // linked to it (the first `linked` of them).
    void Build(int inputs, int linked = -1) {
        m_adder = new TZemAdd(m_form.get());
        m_adder->SetName("ZemAdd1");
        m_adder->GetInputPins()->SetCount(inputs);
        m_sink = new TTestRealSink(m_form.get());
        ASSERT_TRUE(m_adder->GetRealOutputPin()->Connect(m_sink->m_input.get()));
        for (int i = 0; i < inputs; ++i) {
            m_sources.push_back(new TTestRealSource(m_form.get()));
            if (linked < 0 || i < linked) {
                ASSERT_TRUE(m_sources.back()->m_output->Connect(Input(i)));
            }
        }
    }
    TZemVokQueuedRealSinkPin* Input(int index) const {
        return static_cast<TZemVokQueuedRealSinkPin*>(m_adder->GetInputPins()->GetPin(index));
    }
    TTestRealSource& Source(int index) { return *m_sources.at(static_cast<size_t>(index)); }

    std::unique_ptr<TVokForm> m_form;
    TZemAdd* m_adder = nullptr;
    TTestRealSink* m_sink = nullptr;
    std::vector<TTestRealSource*> m_sources;
    int64_t m_pinsBefore = 0;
    int64_t m_operationsBefore = 0;
    int64_t m_blocksBefore = 0;
};

// ---------------------------------------------------------------- blocks and sums

TEST_F(AddTest, TwoInputsAtOneRateGiveOneSumPerPairWhenItsSecondBufferArrives) {
    Build(2);
    Source(0).Start(44100.0);
    EXPECT_EQ(m_sink->Count<TVokStartOperation>(), 0) << "the second input has not started";
    EXPECT_EQ(Source(1).CountUpstream<TVokQueryStreamOperation>(), 1);
    Source(1).Start(44100.0);
    ASSERT_EQ(m_sink->Count<TVokStartOperation>(), 1);
    const auto* start = m_sink->Last<TVokStartSampleRateOperation>();
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->GetBlockSize(), 1024);
    EXPECT_EQ(start->GetSampleRate(), 44100.0);

    for (int round = 0; round < 3; ++round) {
        const auto a = Ramp(1024, round * 5000.0);
        const auto b = Ramp(1024, -7.0, -3.0);
        Source(0).SendSamples(a);
        EXPECT_EQ(m_sink->Buffers().size(), static_cast<size_t>(round));
        Source(1).SendSamples(b);
        const auto buffers = m_sink->Buffers();
        ASSERT_EQ(buffers.size(), static_cast<size_t>(round + 1));
        for (size_t k = 0; k < 1024; ++k) {
            ASSERT_EQ(buffers.back()[k], a[k] + b[k]) << "round " << round << " sample " << k;
        }
    }
}

// (first input's buffer length, second input's buffer length)
class AddBlockingTest : public AddTest,
                        public ::testing::WithParamInterface<std::tuple<size_t, size_t>> {};

// Blocks are cut across buffer boundaries with exact sums, a block comes as soon as both inputs
// hold 1024 samples, and every complete block is made at once, so an input that delivers more
// than a block per buffer never holds a full block in its queue.
TEST_P(AddBlockingTest, EveryCompleteBlockIsMadeAtOnceAndQueuesStayBelowABlock) {
    const auto [lengthA, lengthB] = GetParam();
    Build(2);
    Source(0).Start(44100.0);
    Source(1).Start(44100.0);
    constexpr size_t kTotal = 16 * 1024;
    const auto streamA = Ramp(kTotal + lengthA, 1.0, 2.0);
    const auto streamB = Ramp(kTotal + lengthB, 1000000.0, -3.0);
    size_t sentA = 0;
    size_t sentB = 0;
    while (sentA < kTotal || sentB < kTotal) {
        if (sentA <= sentB) {
            Source(0).SendSamples({streamA.begin() + sentA, streamA.begin() + sentA + lengthA});
            sentA += lengthA;
        } else {
            Source(1).SendSamples({streamB.begin() + sentB, streamB.begin() + sentB + lengthB});
            sentB += lengthB;
        }
        const size_t blocks = std::min(sentA, sentB) / 1024;
        ASSERT_EQ(m_sink->Buffers().size(), blocks) << "after " << sentA << " + " << sentB;
        EXPECT_EQ(Input(0)->GetQueue().GetAvailable(), sentA - blocks * 1024);
        EXPECT_EQ(Input(1)->GetQueue().GetAvailable(), sentB - blocks * 1024);
        ASSERT_LT(
            std::min(Input(0)->GetQueue().GetAvailable(), Input(1)->GetQueue().GetAvailable()),
            1024u)
            << "a complete block was left in the queues";
    }
    const auto buffers = m_sink->Buffers();
    for (size_t block = 0; block < buffers.size(); ++block) {
        ASSERT_EQ(buffers[block].size(), 1024u);
        for (size_t k = 0; k < 1024; ++k) {
            const size_t n = block * 1024 + k;
            ASSERT_EQ(buffers[block][k], streamA[n] + streamB[n]) << "block " << block << " " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BufferLengths, AddBlockingTest,
                         ::testing::Values(std::make_tuple(300, 300), std::make_tuple(300, 500),
                                           std::make_tuple(1024, 1024), std::make_tuple(4096, 1024),
                                           std::make_tuple(3000, 700),
                                           std::make_tuple(5000, 5000)));

// Nearest(k × 511 ÷ 1024) with ties to even, in exact integer arithmetic.
uint32_t ExpectedIndex(uint32_t k) {
    const uint64_t numerator = uint64_t{k} * 511;
    uint64_t quotient = numerator / 1024;
    const uint64_t twiceRemainder = 2 * (numerator % 1024);
    if (twiceRemainder > 1024 || (twiceRemainder == 1024 && quotient % 2 == 1)) {
        ++quotient;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(quotient, 511));
}

// Which input starts first must not matter: the output rate is the larger one.
class AddRateTest : public AddTest, public ::testing::WithParamInterface<bool> {};

TEST_P(AddRateTest, AHalfRateInputGives512SamplesPerBlockEachRepeatedAboutTwice) {
    const bool slowFirst = GetParam();
    Build(2);
    if (slowFirst) {
        Source(1).Start(22050.0);
        Source(0).Start(44100.0);
    } else {
        Source(0).Start(44100.0);
        Source(1).Start(22050.0);
    }
    ASSERT_EQ(m_sink->Count<TVokStartOperation>(), 1);
    EXPECT_EQ(m_sink->Last<TVokStartSampleRateOperation>()->GetSampleRate(), 44100.0);
    EXPECT_EQ(Input(0)->GetBlockSamples(), 1024u);
    EXPECT_EQ(Input(1)->GetBlockSamples(), 512u);

    for (int round = 0; round < 2; ++round) {
        const auto fast = Ramp(1024, 0.0, 0.0); // silence: the sum shows the slow input alone
        const auto slow = Ramp(512, 10000.0 * (round + 1), 7.0);
        Source(0).SendSamples(fast);
        Source(1).SendSamples(slow);
        const auto buffers = m_sink->Buffers();
        ASSERT_EQ(buffers.size(), static_cast<size_t>(round + 1));
        std::vector<int> uses(512, 0);
        for (uint32_t k = 0; k < 1024; ++k) {
            ASSERT_EQ(buffers.back()[k], slow[ExpectedIndex(k)]) << "sample " << k;
            ++uses[ExpectedIndex(k)];
        }
        EXPECT_EQ(buffers.back().front(), slow.front());
        EXPECT_EQ(buffers.back().back(), slow.back());
        for (int count : uses) {
            EXPECT_GE(count, 1);
            EXPECT_LE(count, 3);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(StartOrder, AddRateTest, ::testing::Bool());

TEST_F(AddTest, ThreeInputsInTheDemonstrationSizesSumExactly) {
    Build(3);
    for (int i = 0; i < 3; ++i) {
        Source(i).Start(44100.0);
    }
    std::mt19937 random(20240605);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (int round = 0; round < 8; ++round) {
        std::vector<std::vector<double>> inputs(3, std::vector<double>(1024));
        for (int i = 0; i < 3; ++i) {
            for (double& value : inputs[static_cast<size_t>(i)]) {
                value = sample(random);
            }
            Source(i).SendSamples(inputs[static_cast<size_t>(i)]);
        }
        const auto buffers = m_sink->Buffers();
        ASSERT_EQ(buffers.size(), static_cast<size_t>(round + 1));
        for (size_t k = 0; k < 1024; ++k) {
            ASSERT_EQ(buffers.back()[k], inputs[0][k] + inputs[1][k] + inputs[2][k]);
        }
    }
}

// ---------------------------------------------------------------- start and stop

TEST_F(AddTest, TheOutputStartsOnlyAfterEveryConnectedInputStartedWithTheLargestRate) {
    Build(4, 3); // the fourth input stays unconnected and holds nothing back
    Source(0).Start(22050.0);
    EXPECT_EQ(Source(1).CountUpstream<TVokQueryStreamOperation>(), 1);
    Source(1).Start(44100.0);
    EXPECT_EQ(Source(2).CountUpstream<TVokQueryStreamOperation>(), 1);
    EXPECT_EQ(m_sink->Count<TVokStartOperation>(), 0);
    Source(2).Start(11025.0);
    ASSERT_EQ(m_sink->Count<TVokStartOperation>(), 1);
    EXPECT_EQ(m_sink->Last<TVokStartSampleRateOperation>()->GetSampleRate(), 44100.0);
    EXPECT_EQ(Input(0)->GetBlockSamples(), 512u);
    EXPECT_EQ(Input(2)->GetBlockSamples(), 256u);

    // A late start joins the running output without a second output start.
    ASSERT_TRUE(Source(3).m_output->Connect(Input(3)));
    Source(3).Start(44100.0);
    EXPECT_EQ(m_sink->Count<TVokStartOperation>(), 1);
    EXPECT_EQ(Input(3)->GetBlockSamples(), 1024u);
}

TEST_F(AddTest, AnInputWhoseSourceDeclinesTheQueryLetsTheOutputStartWithTheOthers) {
    Build(2);
    Source(1).m_declines = true;
    Source(0).Start(44100.0);
    ASSERT_EQ(m_sink->Count<TVokStartOperation>(), 1) << "started with the first input alone";
    EXPECT_EQ(m_sink->Count<TVokIgnoreStreamOperation>(), 1) << "the ignore is passed on";
    EXPECT_TRUE(Input(1)->IsIgnoring());

    const auto a = Ramp(1024, 3.0);
    Source(0).SendSamples(a);
    const auto buffers = m_sink->Buffers();
    ASSERT_EQ(buffers.size(), 1u);
    EXPECT_EQ(buffers[0], a);
}

TEST_F(AddTest, StoppingOneInputKeepsTheOutputGoingAndStoppingBothStopsIt) {
    Build(2);
    Source(0).Start(44100.0);
    Source(1).Start(44100.0);
    Source(0).SendSamples(Ramp(700, 1.0)); // queued, never used: its stream ends
    Source(0).m_output->SendStop();
    EXPECT_EQ(m_sink->Count<TVokStopOperation>(), 0);
    EXPECT_EQ(Input(0)->GetQueue().GetAvailable(), 0u);
    EXPECT_TRUE(m_adder->IsStarted());

    const auto b = Ramp(1024, 50.0);
    Source(1).SendSamples(b);
    auto buffers = m_sink->Buffers();
    ASSERT_EQ(buffers.size(), 1u) << "the remaining input alone makes the blocks";
    EXPECT_EQ(buffers[0], b);

    Source(1).m_output->SendStop();
    EXPECT_EQ(m_sink->Count<TVokStopOperation>(), 1);
    EXPECT_FALSE(m_adder->IsStarted());

    // A new start negotiates again; the stopped input no longer holds it back.
    Source(1).Start(22050.0);
    ASSERT_EQ(m_sink->Count<TVokStartOperation>(), 2);
    EXPECT_EQ(m_sink->Last<TVokStartSampleRateOperation>()->GetSampleRate(), 22050.0);
    EXPECT_EQ(Input(1)->GetBlockSamples(), 1024u);
}

TEST_F(AddTest, AnInputStarvedByAStalledOneKeepsABoundedQueue) {
    Build(2);
    Source(0).Start(44100.0);
    Source(1).Start(44100.0);
    ASSERT_TRUE(m_adder->IsStarted());
    // The first input never delivers (nor stops): no sum can be made, and the second input's
    // samples must not pile up without bound.
    for (int i = 0; i < 400; ++i) {
        Source(1).SendSamples(Ramp(1024, i));
    }
    EXPECT_TRUE(m_sink->Buffers().empty());
    EXPECT_LE(Input(1)->GetQueue().GetAvailable(), 257u * 1024u);
    EXPECT_GE(Input(1)->GetQueue().GetAvailable(), 1024u);
}

TEST_F(AddTest, UnlinkingAStartedInputStopsItsPart) {
    Build(2);
    Source(0).Start(44100.0);
    Source(1).Start(44100.0);
    ASSERT_TRUE(Input(1)->Connect(nullptr));
    EXPECT_FALSE(Input(1)->IsStarted());
    EXPECT_EQ(m_sink->Count<TVokStopOperation>(), 0);
    const auto a = Ramp(1024, 9.0);
    Source(0).SendSamples(a);
    ASSERT_EQ(m_sink->Buffers().size(), 1u);
    EXPECT_EQ(m_sink->Buffers()[0], a);
}

// ---------------------------------------------------------------- the upstream protocol

TEST_F(AddTest, APumpStartIsHeldUntilTheOutputStartsThenAnsweredWithAPumpRequest) {
    Build(2);
    Source(0).Send(new TVokStartPumpOperation());
    EXPECT_TRUE(m_sink->m_received.empty());
    Source(0).Start(44100.0);
    Source(1).Start(44100.0);
    ASSERT_EQ(m_sink->m_received.size(), 2u);
    EXPECT_NE(OperationAs<TVokStartSampleRateOperation>(m_sink->m_received[0].Get()), nullptr);
    const auto* pump = OperationAs<TVokPumpRequestOperation>(m_sink->m_received[1].Get());
    ASSERT_NE(pump, nullptr);
    EXPECT_EQ(pump->GetPump(), nullptr);
    EXPECT_EQ(pump->GetDesiredRate(), 0.0f);
    EXPECT_EQ(pump->GetPumpPriority(), 0);
    EXPECT_EQ(pump->GetPumpType(), 0);

    // Once started, a pump start is passed on; pump requests from upstream never are.
    Source(1).Send(new TVokStartPumpOperation());
    Source(1).Send(new TVokPumpRequestOperation(nullptr, 5.0f, 1, 2));
    Source(1).Send(new TVokZemResumeOperation());
    EXPECT_EQ(m_sink->Count<TVokStartPumpOperation>(), 1);
    EXPECT_EQ(m_sink->Count<TVokPumpRequestOperation>(), 1);
    EXPECT_EQ(m_sink->Count<TVokZemResumeOperation>(), 1);
}

TEST_F(AddTest, OperationsFromDownstreamGoUpEveryConnectedInput) {
    Build(3, 2);
    TRef<TVokNotifyOperation> query = MakeRef<TVokQueryStreamOperation>();
    m_sink->m_input->Notify(query.Get());
    EXPECT_EQ(Source(0).CountUpstream<TVokQueryStreamOperation>(), 1);
    EXPECT_EQ(Source(1).CountUpstream<TVokQueryStreamOperation>(), 1);
    EXPECT_TRUE(m_sink->m_received.empty());
}

TEST_F(AddTest, WithoutConnectedInputsADownstreamStartIsAnsweredWithAPumpRequestAndEchoed) {
    Build(2, 0);
    TRef<TVokNotifyOperation> start = MakeRef<TVokStartSampleRateOperation>(0, 8000.0);
    m_sink->m_input->Notify(start.Get());
    ASSERT_EQ(m_sink->m_received.size(), 2u);
    EXPECT_NE(OperationAs<TVokPumpRequestOperation>(m_sink->m_received[0].Get()), nullptr);
    EXPECT_EQ(m_sink->m_received[1].Get(), start.Get());

    TRef<TVokNotifyOperation> resume = MakeRef<TVokZemResumeOperation>();
    m_sink->m_input->Notify(resume.Get());
    ASSERT_EQ(m_sink->m_received.size(), 3u) << "other operations are echoed without a pump";
    EXPECT_EQ(m_sink->m_received[2].Get(), resume.Get());
}

// ---------------------------------------------------------------- properties and pins

TEST_F(AddTest, ABufferSizeChangeWhileRunningResizesTheBlocksWithoutANewStart) {
    Build(2);
    Source(0).Start(44100.0);
    Source(1).Start(22050.0);
    TZemAdd::ClassInfo().SetValue(m_adder, "BufferSize", int64_t{512});
    EXPECT_EQ(m_adder->GetBufferSize(), 512);
    EXPECT_EQ(Input(0)->GetBlockSamples(), 512u);
    EXPECT_EQ(Input(1)->GetBlockSamples(), 256u);
    EXPECT_EQ(m_sink->Count<TVokStartOperation>(), 1);
    Source(0).SendSamples(Ramp(1024, 0.0));
    Source(1).SendSamples(Ramp(512, 0.0, 0.0));
    const auto buffers = m_sink->Buffers();
    ASSERT_EQ(buffers.size(), 2u);
    EXPECT_EQ(buffers[1], Ramp(512, 512.0));

    for (int32_t bad : {0, -5}) {
        try {
            m_adder->SetBufferSize(bad);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const std::invalid_argument& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find("ZemAdd1"), std::string::npos) << message;
            EXPECT_NE(message.find(std::to_string(bad)), std::string::npos) << message;
        }
    }
    EXPECT_EQ(m_adder->GetBufferSize(), 512);
}

TEST_F(AddTest, InputPinsStayBetweenTwoAndAHundredAndFeedTheOutput) {
    Build(2, 0);
    TVokPinListOwner* pins = m_adder->GetInputPins();
    pins->SetCount(1);
    EXPECT_EQ(pins->GetCount(), 2);
    pins->SetCount(7);
    ASSERT_EQ(pins->GetCount(), 7);
    EXPECT_EQ(m_adder->GetInputCount(), 7);
    EXPECT_TRUE(m_adder->GetRealOutputPin()->DependsOn(pins->GetPin(6)));
    EXPECT_EQ(pins->GetPin(6)->GetFullName(false), "ZemAdd1.InputPins.Pin [6]");
    EXPECT_TRUE(pins->GetPin(6)->QueryType(kZemQueuedRealSinkPinInterface));
    pins->SetCount(500);
    EXPECT_EQ(pins->GetCount(), 100);
    pins->SetCount(3);
    EXPECT_EQ(m_adder->GetInputCount(), 3);

    std::vector<std::string> names;
    for (const TVokPropertyInfo* property : TZemAdd::ClassInfo().GetProperties()) {
        names.push_back(property->GetName());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "BufferSize", "OutputPin", "InputPins"}));
    EXPECT_EQ(std::get<int64_t>(*TZemAdd::ClassInfo().GetProperty("BufferSize").GetDefault()),
              1024);
}

// ---------------------------------------------------------------- threads

// Two producers feed the two inputs from their own threads; every block still pairs the
// inputs' samples in order.
TEST_F(AddTest, InputsFedFromTwoThreadsStillSumInOrder) {
    Build(2);
    Source(0).Start(44100.0);
    Source(1).Start(44100.0);
    constexpr int kBuffers = 400;
    constexpr size_t kLength = 256;
    auto produce = [this](int index, double sign) {
        for (int n = 0; n < kBuffers; ++n) {
            Source(index).SendSamples(Ramp(kLength, sign * static_cast<double>(n * kLength), sign));
        }
    };
    auto first = std::async(std::launch::async, produce, 0, 1.0);
    auto second = std::async(std::launch::async, produce, 1, 3.0);
    ASSERT_EQ(first.wait_for(kWatchdog), std::future_status::ready);
    ASSERT_EQ(second.wait_for(kWatchdog), std::future_status::ready);

    const auto buffers = m_sink->Buffers();
    ASSERT_EQ(buffers.size(), kBuffers * kLength / 1024);
    for (size_t block = 0; block < buffers.size(); ++block) {
        for (size_t k = 0; k < 1024; ++k) {
            ASSERT_EQ(buffers[block][k], 4.0 * static_cast<double>(block * 1024 + k));
        }
    }
}

} // namespace
