#include "pins/VokComponent.h"
#include "pins/VokPin.h"
#include "pins/VokStateDispatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Every wait is bounded: "blocked" means not done after kBlocked, "proceeds" means done within
// kWatchdog (generous, for sanitizer builds on a loaded machine).
constexpr auto kBlocked = 100ms;
constexpr auto kWatchdog = 20s;

template <class T> bool Finishes(std::future<T>& future) {
    return future.wait_for(kWatchdog) == std::future_status::ready;
}
template <class T> bool Blocks(std::future<T>& future) {
    return future.wait_for(kBlocked) == std::future_status::timeout;
}

// A thread that takes a lock, reports it, and gives it back when told.
class THolder {
  public:
    explicit THolder(std::function<TVokLockSection()> take) {
        m_takenFuture = m_taken.get_future();
        std::shared_future<void> release = m_release.get_future().share();
        m_thread = std::thread([this, take, release] {
            TVokLockSection section = take();
            m_taken.set_value();
            release.wait();
        });
    }
    ~THolder() {
        Release();
        m_thread.join();
    }
    THolder(const THolder&) = delete;
    THolder& operator=(const THolder&) = delete;
    bool WaitTaken() { return Finishes(m_takenFuture); }
    void Release() {
        if (!m_released) {
            m_released = true;
            m_release.set_value();
        }
    }

  private:
    std::promise<void> m_taken;
    std::promise<void> m_release;
    std::future<void> m_takenFuture;
    bool m_released = false;
    std::thread m_thread;
};

constexpr TVokGuid kGeneric = TVokGuid::Parse("{3F2A9C1E-7B45-4D8A-9E16-C05B2D7F8A31}");
constexpr TVokGuid kAudio = TVokGuid::Parse("{8D41B7E2-0C9F-4A63-B258-71E4F9A06C5D}");
constexpr TVokGuid kReal = kVokRealType;
constexpr TVokGuid kClock = kVokClockType;

using TTypes = std::vector<TVokGuid>;

bool Has(const TTypes& types, const TVokGuid& typeId) {
    return std::find(types.begin(), types.end(), typeId) != types.end();
}

// One handler call: which pin's handler ran, for which receiver, with what.
struct TCall {
    TVokBasicPin* m_handlerPin = nullptr;
    TVokBasicPin* m_receiver = nullptr;
    TVokGuid m_type;
    TVokNotifyFlags m_flags;
    uint32_t m_operationId = 0;
};
using TLog = std::vector<TCall>;

const TVokNotifyFlags kNone{};
const TVokNotifyFlags kLast{nfLastReceiver};
const TVokNotifyFlags kLinkFlags{nfLinkChanged, nfLastReceiver};

// A source with a given type list (every type handled by a recording handler that passes the
// operation to the receiver's Receive) and a given set of implemented receiving interfaces.
class TTestSource : public TVokSourcePin {
  public:
    TTestSource(TVokComponent* owner, const TTypes& types, TTypes implemented, TLog* log)
        : TVokSourcePin(owner), m_implemented(std::move(implemented)), m_log(log) {
        for (const TVokGuid& type : types) {
            AddStreamType(type, TVokLinkHandler::Of<&TTestSource::Send>(this));
        }
    }
    bool QueryType(const TVokGuid& typeId) const override { return Has(m_implemented, typeId); }
    void LinkRemoved() override { ++m_linkRemoved; }

    int m_linkRemoved = 0;

  private:
    TVokNotifyResults Send(TVokBasicPin* receiver, const TVokGuid& typeId, TVokNotifyFlags flags,
                           TVokNotifyOperation* operation) {
        m_log->push_back({this, receiver, typeId, flags, operation->GetId()});
        return receiver->Receive(typeId, operation, flags);
    }

    TTypes m_implemented;
    TLog* m_log;
};

// A sink with a given own type list (handlers record upstream calls and answer
// m_upstreamResult) and given implemented interfaces; Receive runs an optional hook.
class TTestSink : public TVokSinkPin {
  public:
    using THook = std::function<TVokNotifyResults(TVokNotifyFlags, TVokNotifyOperation*)>;

    TTestSink(TVokComponent* owner, const TTypes& types, TTypes implemented, TLog* log)
        : TVokSinkPin(owner), m_implemented(std::move(implemented)), m_log(log) {
        for (const TVokGuid& type : types) {
            AddStreamType(type, TVokLinkHandler::Of<&TTestSink::Upstream>(this));
        }
    }
    bool QueryType(const TVokGuid& typeId) const override { return Has(m_implemented, typeId); }
    void LinkRemoved() override { ++m_linkRemoved; }
    TVokNotifyResults Receive(const TVokGuid& /*typeId*/, TVokNotifyOperation* operation,
                              TVokNotifyFlags flags) override {
        ++m_received;
        if (!m_hook) {
            return {};
        }
        const THook hook = m_hook; // the hook may destroy this pin
        return hook(flags, operation);
    }

    THook m_hook;
    TVokNotifyResults m_upstreamResult;
    int m_received = 0;
    int m_linkRemoved = 0;

  private:
    TVokNotifyResults Upstream(TVokBasicPin* receiver, const TVokGuid& typeId,
                               TVokNotifyFlags flags, TVokNotifyOperation* operation) {
        m_log->push_back({this, receiver, typeId, flags, operation->GetId()});
        return m_upstreamResult;
    }

    TTypes m_implemented;
    TLog* m_log;
};

using TSourcePtr = TVokPinPtr<TTestSource>;
using TSinkPtr = TVokPinPtr<TTestSink>;

class PinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_form.SetName("Form1");
        m_comp = new TVokComponent(&m_form);
        m_comp->SetName("Comp1");
        m_livePins = TVokBasicPin::LiveCount();
        m_liveOperations = TVokNotifyOperation::LiveCount();
        m_liveDispatchers = TVokStateDispatcher::LiveCount();
    }
    void TearDown() override {
        EXPECT_EQ(TVokBasicPin::LiveCount(), m_livePins);
        EXPECT_EQ(TVokNotifyOperation::LiveCount(), m_liveOperations);
        EXPECT_EQ(TVokStateDispatcher::LiveCount(), m_liveDispatchers);
    }

    TSourcePtr Source(const TTypes& types = {kGeneric, kReal},
                      const TTypes& implemented = {kGeneric, kReal}) {
        return MakePin<TTestSource>(m_comp, types, implemented, &m_log);
    }
    TSinkPtr Sink(const TTypes& types = {kReal}, const TTypes& implemented = {kReal}) {
        return MakePin<TTestSink>(m_comp, types, implemented, &m_log);
    }

    // The calls that reached `receiver`, link notifications or data.
    std::vector<TCall> CallsTo(const TVokBasicPin* receiver, bool linkNotifications) const {
        std::vector<TCall> calls;
        for (const TCall& call : m_log) {
            if (call.m_receiver == receiver &&
                call.m_flags.Contains(nfLinkChanged) == linkNotifications) {
                calls.push_back(call);
            }
        }
        return calls;
    }
    // The receivers of data calls in log order.
    std::vector<TVokBasicPin*> DataReceivers() const {
        std::vector<TVokBasicPin*> receivers;
        for (const TCall& call : m_log) {
            if (!call.m_flags.Contains(nfLinkChanged)) {
                receivers.push_back(call.m_receiver);
            }
        }
        return receivers;
    }
    // Dispatches a fresh operation from `source`; answers its identifier.
    uint32_t Send(TVokBasicPin& source) {
        TRef<TVokNotifyOperation> operation = MakeRef<TVokNotifyOperation>();
        EXPECT_TRUE(source.Notify(operation.Get()).IsEmpty());
        return operation->GetId();
    }
    static std::vector<TVokSinkPin*> Order(const TVokSourcePin& source) {
        std::vector<TVokSinkPin*> order;
        for (int i = 0; i < source.GetSinkCount(); ++i) {
            order.push_back(source.GetSink(i));
        }
        return order;
    }

    TVokForm m_form;
    TVokComponent* m_comp = nullptr;
    TLog m_log;
    int64_t m_livePins = 0;
    int64_t m_liveOperations = 0;
    int64_t m_liveDispatchers = 0;
};

// ---------------------------------------------------------------- link typing

struct TLinkCase {
    const char* m_name;
    TTypes m_sourceTypes;
    TTypes m_sourceImplements;
    TTypes m_sinkTypes;
    TTypes m_sinkImplements;
    bool m_upstreamTypeFree;
    bool m_linked;
    TVokGuid m_linkType;
    TVokGuid m_upstreamType;
};

TLinkCase Case(const char* name, const TTypes& sourceTypes, const TTypes& sourceImplements,
               const TTypes& sinkTypes, const TTypes& sinkImplements, bool upstreamTypeFree,
               bool linked, TVokGuid linkType, TVokGuid upstreamType) {
    return {name,   sourceTypes, sourceImplements, sinkTypes, sinkImplements, upstreamTypeFree,
            linked, linkType,    upstreamType};
}

class PinLinkTypeTest : public PinTest, public ::testing::WithParamInterface<TLinkCase> {};

TEST_P(PinLinkTypeTest, LinkAndUpstreamTypesFromEitherEnd) {
    const TLinkCase& c = GetParam();
    for (const bool fromSource : {false, true}) {
        SCOPED_TRACE(fromSource ? "connected from the source" : "connected from the sink");
        m_log.clear();
        TSourcePtr source = Source(c.m_sourceTypes, c.m_sourceImplements);
        TSinkPtr sink = Sink(c.m_sinkTypes, c.m_sinkImplements);
        sink->SetUpstreamTypeFree(c.m_upstreamTypeFree);
        const bool linked = fromSource ? source->Connect(sink.get()) : sink->Connect(source.get());
        ASSERT_EQ(linked, c.m_linked);
        if (!c.m_linked) {
            EXPECT_FALSE(source->CanConnectTo(sink.get()));
            EXPECT_FALSE(sink->CanConnectTo(source.get()));
            EXPECT_EQ(sink->GetSourcePin(), nullptr);
            EXPECT_EQ(source->GetSinkCount(), 0);
            EXPECT_FALSE(sink->IsConnected());
            EXPECT_TRUE(m_log.empty());
            continue;
        }
        EXPECT_EQ(sink->GetSourcePin(), source.get());
        ASSERT_EQ(source->GetSinkCount(), 1);
        EXPECT_EQ(source->GetSink(0), sink.get());
        EXPECT_TRUE(source->IsConnectedTo(sink.get()));
        EXPECT_TRUE(sink->IsConnectedTo(source.get()));
        EXPECT_EQ(source->GetLinkType(sink.get()), c.m_linkType);
        EXPECT_EQ(sink->GetLinkType(source.get()), c.m_upstreamType);
        EXPECT_EQ(sink->GetUpstreamType(), c.m_upstreamType);
        // One link notification, of the link type, through the source's handler.
        const std::vector<TCall> notes = CallsTo(sink.get(), true);
        ASSERT_EQ(notes.size(), 1U);
        EXPECT_EQ(notes[0].m_handlerPin, source.get());
        EXPECT_EQ(notes[0].m_type, c.m_linkType);
        EXPECT_EQ(notes[0].m_flags, kLinkFlags);
        // Data travels with the link type.
        const uint32_t id = Send(*source);
        const std::vector<TCall> data = CallsTo(sink.get(), false);
        ASSERT_EQ(data.size(), 1U);
        EXPECT_EQ(data[0].m_type, c.m_linkType);
        EXPECT_EQ(data[0].m_operationId, id);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PinLinkTypeTest,
    ::testing::Values(
        // The last type of the source's list that the sink supports wins over an earlier one.
        Case("RealSinkGetsReal", {kGeneric, kReal}, {kGeneric, kReal}, {kReal}, {kReal}, false,
             true, kReal, kReal),
        Case("GenericSinkGetsGeneric", {kGeneric, kReal}, {kGeneric, kReal}, {kGeneric}, {kGeneric},
             false, true, kGeneric, kGeneric),
        Case("BothSupportedTakesTheLast", {kGeneric, kReal}, {kGeneric, kReal}, {kGeneric, kReal},
             {kGeneric, kReal}, false, true, kReal, kReal),
        // A clock sink has an empty own list and needs no upstream type.
        Case("ClockSinkOfAudioSource", {kClock, kGeneric, kAudio}, {}, {}, {kClock}, false, true,
             kClock, kVokNullType),
        // Upstream: the link type only when the source implements it, else the nearest to the
        // end of the source's list that it implements.
        Case("UpstreamFallsBackToImplementedType", {kGeneric, kReal}, {kGeneric}, {kGeneric, kReal},
             {kReal}, false, true, kReal, kGeneric),
        Case("NoCommonTypeIsRefused", {kGeneric}, {kGeneric}, {kReal}, {kReal}, false, false,
             kVokNullType, kVokNullType),
        Case("SinkWithTypesNeedsAnUpstreamType", {kGeneric, kReal}, {}, {kReal}, {kReal}, false,
             false, kVokNullType, kVokNullType),
        Case("UpstreamTypeFreeSinkIsAccepted", {kGeneric, kReal}, {}, {kReal}, {kReal}, true, true,
             kReal, kVokNullType)),
    [](const ::testing::TestParamInfo<TLinkCase>& info) { return info.param.m_name; });

TEST_F(PinTest, RelinkUnlinksFromTheOldSourceFirst) {
    TSourcePtr oldSource = Source();
    TSourcePtr newSource = Source();
    TSinkPtr sink = Sink();
    ASSERT_TRUE(sink->Connect(oldSource.get()));
    // When the new link is announced, the old one is already gone.
    int oldSinksSeen = -1;
    int oldRemovedSeen = -1;
    sink->m_hook = [&](TVokNotifyFlags flags, TVokNotifyOperation*) {
        if (flags.Contains(nfLinkChanged)) {
            oldSinksSeen = oldSource->GetSinkCount();
            oldRemovedSeen = oldSource->m_linkRemoved;
        }
        return TVokNotifyResults{};
    };
    m_log.clear();
    ASSERT_TRUE(newSource->Connect(sink.get()));
    EXPECT_EQ(oldSinksSeen, 0);
    EXPECT_EQ(oldRemovedSeen, 1);
    EXPECT_EQ(oldSource->GetSinkCount(), 0);
    EXPECT_FALSE(oldSource->IsConnectedTo(sink.get()));
    EXPECT_EQ(sink->GetSourcePin(), newSource.get());
    EXPECT_EQ(newSource->GetSinkCount(), 1);
    EXPECT_EQ(sink->m_linkRemoved, 0);
    ASSERT_EQ(m_log.size(), 1U);

    // Connecting again with the current source changes nothing and announces nothing.
    EXPECT_TRUE(sink->Connect(newSource.get()));
    EXPECT_TRUE(newSource->Connect(sink.get()));
    EXPECT_EQ(m_log.size(), 1U);
    EXPECT_EQ(newSource->GetSinkCount(), 1);

    // Connect(nullptr) on the sink breaks the link and runs the source's hook.
    EXPECT_TRUE(sink->Connect(nullptr));
    EXPECT_EQ(sink->GetSourcePin(), nullptr);
    EXPECT_EQ(newSource->GetSinkCount(), 0);
    EXPECT_EQ(newSource->m_linkRemoved, 1);
    EXPECT_EQ(sink->GetUpstreamType(), kVokNullType);
    EXPECT_TRUE(sink->GetLockChain().empty());
    EXPECT_FALSE(newSource->Connect(nullptr));
}

TEST_F(PinTest, LinkOfAnotherTypeReannouncesDifferentlyTypedLinks) {
    TSourcePtr source = Source();
    TSinkPtr generic = Sink({kGeneric}, {kGeneric});
    TSinkPtr real = Sink();
    TSinkPtr otherReal = Sink();
    ASSERT_TRUE(source->Connect(generic.get()));
    ASSERT_TRUE(source->Connect(real.get()));
    ASSERT_TRUE(source->Connect(otherReal.get()));
    // The generic link differs from each new real link and is told again each time; the real
    // links are told once.
    const std::vector<TCall> genericNotes = CallsTo(generic.get(), true);
    ASSERT_EQ(genericNotes.size(), 3U);
    for (const TCall& note : genericNotes) {
        EXPECT_EQ(note.m_type, kGeneric);
        EXPECT_EQ(note.m_flags, kLinkFlags);
    }
    EXPECT_EQ(CallsTo(real.get(), true).size(), 1U);
    EXPECT_EQ(CallsTo(otherReal.get(), true).size(), 1U);
    EXPECT_EQ(source->GetLinkType(generic.get()), kGeneric);
    EXPECT_EQ(generic->GetUpstreamType(), kGeneric);
    EXPECT_EQ(source->GetLinkType(real.get()), kReal);
}

TEST_F(PinTest, LinkRefusals) {
    TSourcePtr source = Source();
    TSourcePtr otherSource = Source();
    TSinkPtr sink = Sink();
    TSinkPtr otherSink = Sink();
    EXPECT_FALSE(source->Connect(otherSource.get())); // two sources
    EXPECT_FALSE(sink->Connect(otherSink.get()));     // two sinks
    EXPECT_FALSE(source->Connect(source.get()));
    EXPECT_FALSE(sink->Connect(sink.get()));
    EXPECT_FALSE(source->IsConnected());
    EXPECT_FALSE(sink->IsConnected());
    EXPECT_TRUE(m_log.empty());
}

// ---------------------------------------------------------------- dispatch

class PinDispatchFlagsTest : public PinTest, public ::testing::WithParamInterface<int> {};

TEST_P(PinDispatchFlagsTest, OnlyTheLastSinkIsTheLastReceiver) {
    const int count = GetParam();
    TSourcePtr source = Source();
    std::vector<TSinkPtr> sinks;
    for (int i = 0; i < count; ++i) {
        sinks.push_back(Sink());
        ASSERT_TRUE(source->Connect(sinks.back().get()));
    }
    m_log.clear();
    const std::vector<TVokSinkPin*> order = Order(*source);
    const uint32_t id = Send(*source);
    ASSERT_EQ(m_log.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(m_log[i].m_receiver, order[i]);
        EXPECT_EQ(m_log[i].m_handlerPin, source.get());
        EXPECT_EQ(m_log[i].m_type, kReal);
        EXPECT_EQ(m_log[i].m_operationId, id);
        EXPECT_EQ(m_log[i].m_flags, i + 1 == count ? kLast : kNone);
    }
}

// 9 sinks exceed the snapshot kept on the stack.
INSTANTIATE_TEST_SUITE_P(SinkCounts, PinDispatchFlagsTest, ::testing::Values(1, 2, 3, 9));

TEST_F(PinTest, SingleTargetDispatchKeepsFlagsByPosition) {
    TSourcePtr source = Source();
    TSinkPtr k1 = Sink();
    TSinkPtr k2 = Sink();
    TSinkPtr k3 = Sink();
    TSinkPtr stranger = Sink();
    for (TTestSink* sink : {k1.get(), k2.get(), k3.get()}) {
        ASSERT_TRUE(source->Connect(sink));
    }
    m_log.clear();
    TRef<TVokNotifyOperation> operation = MakeRef<TVokNotifyOperation>();
    const std::vector<TVokSinkPin*> order = Order(*source);
    source->NotifySink(operation.Get(), order[1]);
    ASSERT_EQ(m_log.size(), 1U);
    EXPECT_EQ(m_log[0].m_receiver, order[1]);
    EXPECT_EQ(m_log[0].m_flags, kNone);
    source->NotifySink(operation.Get(), order[2]);
    ASSERT_EQ(m_log.size(), 2U);
    EXPECT_EQ(m_log[1].m_receiver, order[2]);
    EXPECT_EQ(m_log[1].m_flags, kLast);
    source->NotifySink(operation.Get(), stranger.get());
    source->NotifySink(operation.Get(), nullptr);
    EXPECT_EQ(m_log.size(), 2U);
}

TEST_F(PinTest, SinkUnlinkedDuringDispatchIsServedFromTheSnapshotOnce) {
    TSourcePtr source = Source();
    TSinkPtr k1 = Sink();
    TSinkPtr k2 = Sink();
    TSinkPtr k3 = Sink();
    for (TTestSink* sink : {k1.get(), k2.get(), k3.get()}) {
        ASSERT_TRUE(source->Connect(sink));
    }
    k1->m_hook = [&](TVokNotifyFlags, TVokNotifyOperation*) {
        k2->Connect(nullptr);
        return TVokNotifyResults{};
    };
    m_log.clear();
    Send(*source);
    EXPECT_EQ(DataReceivers(), (std::vector<TVokBasicPin*>{k1.get(), k2.get(), k3.get()}));
    EXPECT_EQ(m_log.back().m_flags, kLast);
    EXPECT_EQ(k2->GetSourcePin(), nullptr);
    m_log.clear();
    Send(*source);
    EXPECT_EQ(DataReceivers(), (std::vector<TVokBasicPin*>{k1.get(), k3.get()}));
}

TEST_F(PinTest, SinkDestroyedByAnEarlierHandlerIsSkipped) {
    TSourcePtr source = Source();
    TSinkPtr k1 = Sink();
    TSinkPtr k2 = Sink();
    TSinkPtr k3 = Sink();
    for (TTestSink* sink : {k1.get(), k2.get(), k3.get()}) {
        ASSERT_TRUE(source->Connect(sink));
    }
    TTestSink* const k3Raw = k3.get();
    k1->m_hook = [&](TVokNotifyFlags, TVokNotifyOperation*) {
        k2.reset();
        return TVokNotifyResults{};
    };
    m_log.clear();
    Send(*source);
    EXPECT_EQ(DataReceivers(), (std::vector<TVokBasicPin*>{k1.get(), k3Raw}));
    EXPECT_EQ(m_log.back().m_flags, kLast);
    EXPECT_EQ(source->GetSinkCount(), 2);
    k1->m_hook = nullptr;
    m_log.clear();
    Send(*source);
    EXPECT_EQ(DataReceivers(), (std::vector<TVokBasicPin*>{k1.get(), k3Raw}));
}

TEST_F(PinTest, SinkDestroyedByItsOwnHandlerGivesItsLockBack) {
    TSourcePtr source = Source();
    TSinkPtr k1 = Sink();
    TSinkPtr k2 = Sink();
    TSinkPtr k3 = Sink();
    for (TTestSink* sink : {k1.get(), k2.get(), k3.get()}) {
        ASSERT_TRUE(source->Connect(sink));
    }
    // The sink shares its group with its component's lock holder, as component pins do.
    TVokObject componentLock;
    TVokObject::LinkObjects(&componentLock, k2.get());
    k2->m_hook = [&](TVokNotifyFlags, TVokNotifyOperation*) {
        k2.reset();
        return TVokNotifyResults{};
    };
    m_log.clear();
    Send(*source);
    EXPECT_EQ(k2, nullptr);
    ASSERT_EQ(m_log.size(), 3U);
    EXPECT_EQ(m_log.back().m_flags, kLast);
    EXPECT_EQ(source->GetSinkCount(), 2);
    // Nothing stays locked: another thread can take the component's group and dispatch.
    auto lockComponent =
        std::async(std::launch::async, [&] { TVokWriteLockSection section(componentLock); });
    EXPECT_TRUE(Finishes(lockComponent));
    auto dispatch = std::async(std::launch::async, [&] { Send(*source); });
    EXPECT_TRUE(Finishes(dispatch));
}

TEST_F(PinTest, RunawayRecursionRaisesAndUnwinds) {
    TSourcePtr source = Source();
    TSinkPtr sink = Sink();
    ASSERT_TRUE(source->Connect(sink.get()));
    int calls = 0;
    sink->m_hook = [&](TVokNotifyFlags flags, TVokNotifyOperation* operation) {
        if (!flags.Contains(nfLinkChanged)) {
            ++calls;
            source->Notify(operation);
        }
        return TVokNotifyResults{};
    };
    TRef<TVokNotifyOperation> operation = MakeRef<TVokNotifyOperation>();
    try {
        source->Notify(operation.Get());
        ADD_FAILURE() << "no EVokException";
    } catch (const EVokException& error) {
        EXPECT_STREQ(error.what(),
                     "The pin depends on itself. Please protect with functional dependency.");
    }
    EXPECT_EQ(calls,
              201); // 201 nested dispatches ran, the 202nd raised
    // Depth and locks are restored: plain dispatches work again, also from another thread.
    sink->m_hook = nullptr;
    m_log.clear();
    Send(*source);
    EXPECT_EQ(m_log.size(), 1U);
    auto elsewhere = std::async(std::launch::async, [&] {
        Send(*source);
        TVokWriteLockSection section(*sink);
    });
    EXPECT_TRUE(Finishes(elsewhere));
    EXPECT_EQ(m_log.size(), 2U);
}

TEST_F(PinTest, RunawayLinkNotificationRaises) {
    TSourcePtr source = Source();
    TSinkPtr sink = Sink();
    ASSERT_TRUE(source->Connect(sink.get()));
    int notes = 0;
    sink->m_hook = [&](TVokNotifyFlags flags, TVokNotifyOperation*) {
        if (flags.Contains(nfLinkChanged)) {
            ++notes;
            source->SendLinkNotificationTo(sink.get());
        }
        return TVokNotifyResults{};
    };
    EXPECT_THROW(source->SendLinkNotificationTo(sink.get()), EVokException);
    EXPECT_EQ(notes, 11);
    sink->m_hook = nullptr;
    m_log.clear();
    source->SendLinkNotificationTo(sink.get());
    ASSERT_EQ(m_log.size(), 1U);
    EXPECT_EQ(m_log[0].m_flags, kLinkFlags);
}

TEST_F(PinTest, HandlerExceptionPropagatesAndReleasesLocks) {
    TSourcePtr source = Source();
    TSinkPtr sink = Sink();
    ASSERT_TRUE(source->Connect(sink.get()));
    sink->m_hook = [](TVokNotifyFlags, TVokNotifyOperation*) -> TVokNotifyResults {
        throw std::runtime_error("receiver failed");
    };
    TRef<TVokNotifyOperation> operation = MakeRef<TVokNotifyOperation>();
    EXPECT_THROW(source->Notify(operation.Get()), std::runtime_error);
    sink->m_hook = nullptr;
    auto elsewhere = std::async(std::launch::async, [&] {
        Send(*source);
        TVokWriteLockSection section(*sink);
    });
    EXPECT_TRUE(Finishes(elsewhere));
}

// ---------------------------------------------------------------- weights and dependencies

TEST_F(PinTest, ServeLaterMovesASinkBackForSomeDispatches) {
    TSourcePtr source = Source();
    TSinkPtr k1 = Sink();
    TSinkPtr k2 = Sink();
    TSinkPtr k3 = Sink();
    for (TTestSink* sink : {k1.get(), k2.get(), k3.get()}) {
        ASSERT_TRUE(source->Connect(sink));
    }
    bool later = true;
    k1->m_hook = [&](TVokNotifyFlags, TVokNotifyOperation*) {
        return later ? TVokNotifyResults{nrServeLater} : TVokNotifyResults{};
    };
    m_log.clear();
    Send(*source);
    EXPECT_EQ(DataReceivers(), (std::vector<TVokBasicPin*>{k1.get(), k2.get(), k3.get()}));
    // +4, then −1 after the dispatch: served last from now on.
    EXPECT_EQ(Order(*source), (std::vector<TVokSinkPin*>{k2.get(), k3.get(), k1.get()}));
    EXPECT_EQ(source->GetSinkWeight(2), 3);
    later = false;
    for (int expected : {2, 1, 0, 0}) {
        m_log.clear();
        Send(*source);
        EXPECT_EQ(DataReceivers(), (std::vector<TVokBasicPin*>{k2.get(), k3.get(), k1.get()}));
        EXPECT_EQ(source->GetSinkWeight(2), expected);
    }
    // A sink that always asks to be served later saturates.
    later = true;
    int32_t highest = 0;
    for (int i = 0; i < 3400; ++i) {
        Send(*source);
        highest = std::max(highest, source->GetSinkWeight(2));
        ASSERT_LE(source->GetSinkWeight(2), 10003);
    }
    EXPECT_GE(highest, 10000);
    EXPECT_EQ(source->GetSink(2), k1.get());
}

TEST_F(PinTest, DependencyRuleAndDependentSinksServedAfterTheirDependency) {
    TSourcePtr source = Source();
    TSourcePtr otherSource = Source();
    TSinkPtr k1 = Sink();
    TSinkPtr k2 = Sink();
    TSinkPtr k3 = Sink();
    TSinkPtr foreign = Sink();
    ASSERT_TRUE(source->Connect(k1.get()));
    ASSERT_TRUE(source->Connect(k2.get()));
    ASSERT_TRUE(otherSource->Connect(foreign.get()));
    // The dependency must be a sink of this source, and not the pin itself.
    EXPECT_FALSE(source->ConnectEx(k3.get(), foreign.get()));
    EXPECT_FALSE(source->ConnectEx(k3.get(), k3.get()));
    EXPECT_FALSE(source->CanConnectWithDependency(k3.get(), foreign.get()));
    EXPECT_EQ(k3->GetSourcePin(), nullptr);
    EXPECT_EQ(source->GetSinkCount(), 2);
    ASSERT_TRUE(source->ConnectEx(k3.get(), k1.get()));
    EXPECT_EQ(source->GetDependency(k3.get()), k1.get());
    EXPECT_EQ(k3->GetDependency(source.get()), k1.get());
    EXPECT_EQ(source->GetLinkDependency(2), k1.get());

    // k1 moves back; k3, which depends on it, follows it instead of overtaking it.
    bool later = true;
    k1->m_hook = [&](TVokNotifyFlags, TVokNotifyOperation*) {
        return later ? TVokNotifyResults{nrServeLater} : TVokNotifyResults{};
    };
    Send(*source);
    later = false;
    EXPECT_EQ(Order(*source), (std::vector<TVokSinkPin*>{k2.get(), k1.get(), k3.get()}));
    m_log.clear();
    Send(*source);
    EXPECT_EQ(DataReceivers(), (std::vector<TVokBasicPin*>{k2.get(), k1.get(), k3.get()}));

    // Destroying the dependency clears it from the link that named it.
    k1->m_hook = nullptr;
    k1.reset();
    EXPECT_EQ(source->GetDependency(k3.get()), nullptr);
    EXPECT_EQ(Order(*source), (std::vector<TVokSinkPin*>{k2.get(), k3.get()}));
}

// ---------------------------------------------------------------- functional dependencies

// A → B → C: A.out feeds B.in, B.out depends on B.in and feeds C.in.
class PinChainTest : public PinTest {
  protected:
    void SetUp() override {
        PinTest::SetUp();
        m_aOut = Source({kReal}, {kReal});
        m_bIn = Sink();
        m_bOut = Source({kReal}, {kReal});
        m_cIn = Sink();
    }
    void TearDown() override {
        m_cIn.reset();
        m_bOut.reset();
        m_bIn.reset();
        m_aOut.reset();
        PinTest::TearDown();
    }
    std::vector<TVokPin*> Chain(std::initializer_list<TVokPin*> pins) { return pins; }

    TSourcePtr m_aOut;
    TSinkPtr m_bIn;
    TSourcePtr m_bOut;
    TSinkPtr m_cIn;
};

TEST_F(PinChainTest, DependencySharesTheLockGroup) {
    EXPECT_NE(m_bOut->GetLockObject(), m_bIn->GetLockObject());
    {
        THolder holder([&] { return m_bOut->WriteSection(); });
        ASSERT_TRUE(holder.WaitTaken());
        auto other = std::async(std::launch::async, [&] { TVokWriteLockSection s(*m_bIn); });
        EXPECT_TRUE(Finishes(other));
    }
    m_bOut->FunctionSinkPins().Add(m_bIn.get(), true);
    EXPECT_EQ(m_bOut->GetLockObject(), m_bIn->GetLockObject());
    EXPECT_TRUE(m_bOut->DependsOn(m_bIn.get()));
    EXPECT_EQ(m_bOut->FunctionSinkPins().GetCount(), 1);
    THolder holder([&] { return m_bOut->WriteSection(); });
    ASSERT_TRUE(holder.WaitTaken());
    auto other = std::async(std::launch::async, [&] { TVokWriteLockSection s(*m_bIn); });
    EXPECT_TRUE(Blocks(other));
    holder.Release();
    EXPECT_TRUE(Finishes(other));
}

TEST_F(PinChainTest, LinksThatCloseALoopAreRefused) {
    m_bOut->FunctionSinkPins().Add(m_bIn.get(), true);
    // B.out → B.in directly.
    EXPECT_TRUE(m_bOut->DependsOnRecursive(m_bIn.get()));
    EXPECT_FALSE(m_bOut->Connect(m_bIn.get()));
    EXPECT_FALSE(m_bIn->Connect(m_bOut.get()));
    // Through another component: A.out depends on A.in, A.out → B.in, then B.out → A.in.
    TSinkPtr aIn = Sink();
    m_aOut->FunctionSinkPins().Add(aIn.get(), true);
    ASSERT_TRUE(m_aOut->Connect(m_bIn.get()));
    EXPECT_TRUE(m_bOut->DependsOnRecursive(aIn.get()));
    EXPECT_TRUE(m_bOut->DependsOnRecursive(m_aOut.get()));
    EXPECT_FALSE(m_bOut->DependsOnRecursive(m_cIn.get()));
    EXPECT_FALSE(m_bOut->Connect(aIn.get()));
    EXPECT_FALSE(aIn->Connect(m_bOut.get()));
    EXPECT_EQ(aIn->GetSourcePin(), nullptr);
    EXPECT_EQ(m_bOut->GetSinkCount(), 0);
    // Without the loop the same pins link.
    EXPECT_TRUE(m_bOut->Connect(m_cIn.get()));
}

TEST_F(PinChainTest, LockChainListsFarthestUpstreamFirstInAnyBuildOrder) {
    std::array<int, 3> steps{0, 1, 2};
    do {
        SCOPED_TRACE(::testing::Message() << steps[0] << steps[1] << steps[2]);
        TSinkPtr bIn = Sink();
        TSourcePtr bOut = Source({kReal}, {kReal});
        TSinkPtr cIn = Sink();
        const std::array<std::function<void()>, 3> actions{
            [&] { ASSERT_TRUE(m_aOut->Connect(bIn.get())); },
            [&] { bOut->FunctionSinkPins().Add(bIn.get(), true); },
            [&] { ASSERT_TRUE(bOut->Connect(cIn.get())); },
        };
        for (int step : steps) {
            actions[static_cast<size_t>(step)]();
        }
        EXPECT_EQ(cIn->GetLockChain(), Chain({m_aOut.get(), bIn.get(), bOut.get(), cIn.get()}));
        EXPECT_EQ(bIn->GetLockChain(), Chain({m_aOut.get(), bIn.get()}));
        // Unlinking upstream shortens the chain downstream.
        ASSERT_TRUE(bIn->Connect(nullptr));
        EXPECT_EQ(cIn->GetLockChain(), Chain({bIn.get(), bOut.get(), cIn.get()}));
        EXPECT_TRUE(bIn->GetLockChain().empty());
    } while (std::next_permutation(steps.begin(), steps.end()));
}

TEST_F(PinChainTest, LockChainOfAnOutputWithTwoInputs) {
    TSourcePtr a2Out = Source({kReal}, {kReal});
    TSinkPtr bIn2 = Sink();
    m_bOut->FunctionSinkPins().Add(m_bIn.get(), true);
    m_bOut->FunctionSinkPins().Add(bIn2.get(), true);
    ASSERT_TRUE(m_aOut->Connect(m_bIn.get()));
    ASSERT_TRUE(a2Out->Connect(bIn2.get()));
    ASSERT_TRUE(m_bOut->Connect(m_cIn.get()));
    EXPECT_EQ(m_cIn->GetLockChain(), Chain({a2Out.get(), m_aOut.get(), bIn2.get(), m_bIn.get(),
                                            m_bOut.get(), m_cIn.get()}));
}

TEST_F(PinChainTest, UpstreamNotifyTakesTheLockChainAndCallsTheSinksHandler) {
    TRef<TVokNotifyOperation> operation = MakeRef<TVokNotifyOperation>();
    // Unlinked: nothing is called.
    EXPECT_TRUE(m_cIn->Notify(operation.Get()).IsEmpty());
    EXPECT_TRUE(m_log.empty());

    m_bOut->FunctionSinkPins().Add(m_bIn.get(), true);
    ASSERT_TRUE(m_aOut->Connect(m_bIn.get()));
    ASSERT_TRUE(m_bOut->Connect(m_cIn.get()));
    m_log.clear();
    m_cIn->m_upstreamResult = {nrServeLater};
    EXPECT_EQ(m_cIn->Notify(operation.Get()), TVokNotifyResults{nrServeLater});
    ASSERT_EQ(m_log.size(), 1U);
    EXPECT_EQ(m_log[0].m_handlerPin, m_cIn.get());
    EXPECT_EQ(m_log[0].m_receiver, m_bOut.get());
    EXPECT_EQ(m_log[0].m_type, kReal);
    EXPECT_EQ(m_log[0].m_flags, kLast);
    EXPECT_EQ(m_log[0].m_operationId, operation->GetId());

    // While another thread holds the farthest pin of the chain, the upstream call waits.
    THolder holder([&] { return m_aOut->WriteSection(); });
    ASSERT_TRUE(holder.WaitTaken());
    auto upstream = std::async(std::launch::async, [&] { m_cIn->Notify(operation.Get()); });
    EXPECT_TRUE(Blocks(upstream));
    holder.Release();
    EXPECT_TRUE(Finishes(upstream));
    EXPECT_EQ(m_log.size(), 2U);
}

// ---------------------------------------------------------------- destruction

TEST_F(PinChainTest, DestroyingASinkRemovesItEverywhere) {
    m_bOut->FunctionSinkPins().Add(m_bIn.get(), true);
    ASSERT_TRUE(m_aOut->Connect(m_bIn.get()));
    ASSERT_TRUE(m_bOut->Connect(m_cIn.get()));
    TSinkPtr other = Sink();
    ASSERT_TRUE(m_aOut->Connect(other.get()));
    m_bIn.reset();
    EXPECT_EQ(m_aOut->GetSinkCount(), 1);
    EXPECT_EQ(m_aOut->GetSink(0), other.get());
    EXPECT_EQ(m_bOut->FunctionSinkPins().GetCount(), 0);
    EXPECT_FALSE(m_bOut->DependsOnRecursive(m_aOut.get()));
    // The chain downstream no longer reaches through the destroyed pin.
    EXPECT_EQ(m_cIn->GetLockChain(), Chain({m_bOut.get(), m_cIn.get()}));
    TRef<TVokNotifyOperation> operation = MakeRef<TVokNotifyOperation>();
    m_cIn->Notify(operation.Get());
    m_log.clear();
    Send(*m_aOut);
    EXPECT_EQ(DataReceivers(), (std::vector<TVokBasicPin*>{other.get()}));
}

TEST_F(PinChainTest, DestroyingASourceUnlinksAllItsSinks) {
    TSinkPtr other = Sink();
    ASSERT_TRUE(m_aOut->Connect(m_bIn.get()));
    ASSERT_TRUE(m_aOut->Connect(other.get()));
    m_bOut->FunctionSinkPins().Add(m_bIn.get(), true);
    ASSERT_TRUE(m_bOut->Connect(m_cIn.get()));
    m_aOut.reset();
    EXPECT_EQ(m_bIn->GetSourcePin(), nullptr);
    EXPECT_EQ(other->GetSourcePin(), nullptr);
    EXPECT_EQ(m_bIn->m_linkRemoved, 1);
    EXPECT_EQ(other->m_linkRemoved, 1);
    EXPECT_TRUE(m_bIn->GetLockChain().empty());
    EXPECT_EQ(m_cIn->GetLockChain(), Chain({m_bIn.get(), m_bOut.get(), m_cIn.get()}));
    // Destroying the dependent source leaves the sink it depended on whole.
    m_bOut.reset();
    EXPECT_EQ(m_cIn->GetSourcePin(), nullptr);
    EXPECT_FALSE(m_bIn->IsConnected());
}

TEST_F(PinTest, DisconnectOfASourceRunsEachSinksHook) {
    TSourcePtr source = Source();
    TSinkPtr k1 = Sink();
    TSinkPtr k2 = Sink();
    ASSERT_TRUE(source->Connect(k1.get()));
    ASSERT_TRUE(source->Connect(k2.get()));
    source->Disconnect();
    EXPECT_EQ(source->GetSinkCount(), 0);
    EXPECT_EQ(k1->GetSourcePin(), nullptr);
    EXPECT_EQ(k2->GetSourcePin(), nullptr);
    EXPECT_EQ(k1->m_linkRemoved, 1);
    EXPECT_EQ(k2->m_linkRemoved, 1);
    EXPECT_FALSE(source->IsConnected());
    // A sink's Disconnect runs its source's hook.
    ASSERT_TRUE(source->Connect(k1.get()));
    k1->Disconnect();
    EXPECT_EQ(source->m_linkRemoved, 1);
    EXPECT_EQ(source->GetSinkCount(), 0);
}

TEST_F(PinTest, NullDependencyPinIsRejectedWithAMessage) {
    TSourcePtr source = Source();
    try {
        source->FunctionSinkPins().Add(nullptr, true);
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find("Form1.Comp1."), std::string::npos)
            << error.what();
    }
}

} // namespace
