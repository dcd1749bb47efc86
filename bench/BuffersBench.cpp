// Sending one real buffer through a source pin to S sinks that each keep it in a buffer of
// their own: sharing must cost less than copying the samples once.
#include "buffers/ZemVokStreamPins.h"
#include "pins/VokComponent.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kSamples = 1024;

/// A component whose data handler assigns each received buffer to its own real buffer.
class TKeeper : public TVokComponent {
  public:
    explicit TKeeper(TVokComponent* owner)
        : TVokComponent(owner), m_kept(MakeRef<TZemRealBuffer>()),
          m_input(MakePin<TZemVokRealSinkPin>(this, TZemPinHandler::Of<&TKeeper::OnData>(this))) {}

    TVokNotifyResults OnData(TVokBasicPin*, const TVokGuid&, TVokNotifyFlags,
                             TVokNotifyOperation* operation) {
        if (const auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation)) {
            m_kept->Assign(*supplied->GetBuffer());
        }
        return {};
    }

    TRef<TZemRealBuffer> m_kept;
    TVokPinPtr<TZemVokRealSinkPin> m_input;
};

void BM_SendBuffer(benchmark::State& state) {
    const auto sinkCount = static_cast<int>(state.range(0));
    TVokForm form;
    auto source = MakePin<TZemVokRealSourcePin>(&form, TZemPinHandler{});
    std::vector<TKeeper*> keepers;
    for (int i = 0; i < sinkCount; ++i) {
        keepers.push_back(new TKeeper(&form)); // owned by the form
        source->Connect(keepers.back()->m_input.get());
    }
    std::vector<double> samples(kSamples, 0.5);
    TRef<TZemRealBuffer> buffer = MakeRef<TZemRealBuffer>(samples.data(), kSamples);
    for (auto _ : state) {
        source->SendBuffer(buffer);
    }
    state.counters["per_sink"] = benchmark::Counter(static_cast<double>(sinkCount),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
    source.reset();
}
BENCHMARK(BM_SendBuffer)->Arg(1)->Arg(5);

/// The anchor: copying the 1024 doubles once.
void BM_Memcpy1024Doubles(benchmark::State& state) {
    std::vector<double> from(kSamples, 0.5);
    std::vector<double> to(kSamples);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kSamples * sizeof(double));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Memcpy1024Doubles);

} // namespace
