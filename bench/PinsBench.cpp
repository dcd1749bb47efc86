// The pin framework's hot path: a source dispatching one operation to S sinks, against S plain
// virtual calls as the floor, and the lock sections every dispatch takes.
#include "pins/VokObject.h"
#include "pins/VokPin.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

const TVokGuid kBenchType = TVokGuid::Parse("{0B3F6A52-7C1D-4E8A-9B2F-5D6E7F8A9B0C}");

/// A sink whose handler does nothing but count.
class TBenchSink : public TVokSinkPin {
  public:
    TBenchSink() : TVokSinkPin(nullptr) {}
    bool QueryType(const TVokGuid& typeId) const override { return typeId == kBenchType; }
    TVokNotifyResults Receive(const TVokGuid&, TVokNotifyOperation*, TVokNotifyFlags) override {
        ++m_received;
        return {};
    }
    int64_t m_received = 0;
};

/// A source whose handler for the bench type calls the receiver's `Receive`.
class TBenchSource : public TVokSourcePin {
  public:
    TBenchSource() : TVokSourcePin(nullptr) {
        AddStreamType(kBenchType, TVokLinkHandler::Of<&TBenchSource::Dispatch>(this));
    }
    TVokNotifyResults Dispatch(TVokBasicPin* receiver, const TVokGuid& typeId,
                               TVokNotifyFlags flags, TVokNotifyOperation* operation) {
        return receiver->Receive(typeId, operation, flags);
    }
};

void BM_Dispatch(benchmark::State& state) {
    const auto sinkCount = static_cast<int>(state.range(0));
    auto source = MakePin<TBenchSource>();
    std::vector<TVokPinPtr<TBenchSink>> sinks;
    for (int i = 0; i < sinkCount; ++i) {
        sinks.push_back(MakePin<TBenchSink>());
        if (!source->Connect(sinks.back().get())) {
            state.SkipWithError("link refused");
            return;
        }
    }
    const TRef<TVokNotifyOperation> operation = MakeRef<TVokClockOperation>();
    for (auto _ : state) {
        source->Notify(operation.Get());
    }
    // Seconds per delivered operation per sink (printed with an SI suffix, "30n" = 30 ns).
    state.SetItemsProcessed(state.iterations() * sinkCount);
    state.counters["per_sink"] = benchmark::Counter(static_cast<double>(sinkCount),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}
BENCHMARK(BM_Dispatch)->Arg(1)->Arg(5);

/// The floor: the same number of plain virtual calls with the same arguments.
void BM_VirtualCall(benchmark::State& state) {
    const auto callCount = static_cast<int>(state.range(0));
    std::vector<TVokPinPtr<TBenchSink>> sinks;
    std::vector<TVokBasicPin*> receivers;
    for (int i = 0; i < callCount; ++i) {
        sinks.push_back(MakePin<TBenchSink>());
        receivers.push_back(sinks.back().get());
    }
    const TRef<TVokNotifyOperation> operation = MakeRef<TVokClockOperation>();
    for (auto _ : state) {
        for (TVokBasicPin* receiver : receivers) {
            benchmark::DoNotOptimize(receiver->Receive(kBenchType, operation.Get(), {}));
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * callCount);
}
BENCHMARK(BM_VirtualCall)->Arg(1)->Arg(5);

void BM_GlobalReadSection(benchmark::State& state) {
    for (auto _ : state) {
        TVokGlobalReadLockSection section;
        benchmark::DoNotOptimize(&section);
    }
}
BENCHMARK(BM_GlobalReadSection);

void BM_GlobalReadSectionReentrant(benchmark::State& state) {
    TVokGlobalReadLockSection outer;
    for (auto _ : state) {
        TVokGlobalReadLockSection section;
        benchmark::DoNotOptimize(&section);
    }
}
BENCHMARK(BM_GlobalReadSectionReentrant);

void BM_ObjectWriteSection(benchmark::State& state) {
    TVokObject object;
    for (auto _ : state) {
        TVokWriteLockSection section(object);
        benchmark::DoNotOptimize(&section);
    }
}
BENCHMARK(BM_ObjectWriteSection);

} // namespace
