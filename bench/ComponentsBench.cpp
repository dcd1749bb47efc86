// The processing part of the main window's graph fed as fast as possible: buffers per second
// and the real-time factor against the capture's 44100 ÷ 1024 = 43.07 buffers per second.
#include "buffers/DruAudioBuffer.h"
#include "buffers/DruAudioFormat.h"
#include "components/DruDemoGraph.h"
#include "pins/VokComponent.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kFrames = 1024;
constexpr double kCaptureBuffersPerSecond = static_cast<double>(kRate) / kFrames;

/// Stands for a display: keeps the newest buffer it receives, as a display's incoming store does.
class TKeepingDisplay : public TVokComponent {
  public:
    explicit TKeepingDisplay(TVokComponent* owner)
        : TVokComponent(owner), m_input(MakePin<TZemVokComboRealIntSinkPin>(
                                    this, TZemPinHandler::Of<&TKeepingDisplay::OnData>(this))),
          m_kept(MakeRef<TZemRealBuffer>()) {
        m_input->SetUpstreamTypeFree(true);
    }
    TVokNotifyResults OnData(TVokBasicPin*, const TVokGuid&, TVokNotifyFlags,
                             TVokNotifyOperation* operation) {
        if (const auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation)) {
            if (BufferCast<TZemRealBuffer>(supplied->GetBuffer()) != nullptr) {
                m_kept->Assign(*supplied->GetBuffer());
            }
        }
        return {};
    }
    TVokPinPtr<TZemVokComboRealIntSinkPin> m_input;
    TRef<TZemRealBuffer> m_kept;
};

class TBenchCapture : public TVokComponent {
  public:
    explicit TBenchCapture(TVokComponent* owner)
        : TVokComponent(owner), m_output(MakePin<TDruVokAudioSourcePin>(this, TZemPinHandler{})) {}
    TVokPinPtr<TDruVokAudioSourcePin> m_output;
};

void BM_DemoGraph(benchmark::State& state) {
    auto form = std::make_unique<TVokForm>();
    form->SetName("Form1");
    auto* capture = new TBenchCapture(form.get());
    capture->SetName("DruDSAudioIn1");
    TDruDemoDisplays displays;
    auto display = [&] { return new TKeepingDisplay(form.get()); };
    for (auto& pin : displays.m_scope1) {
        pin = display()->m_input.get();
    }
    for (auto& pin : displays.m_scope2) {
        pin = display()->m_input.get();
    }
    for (auto& pin : displays.m_scope3) {
        pin = display()->m_input.get();
    }
    displays.m_waterfall = display()->m_input.get();
    const TDruDemoGraph graph = BuildDemoGraph(*form, *capture->m_output, displays);
    graph.EnableGenerators(true);

    uint8_t record[kDruFormatRecordSize];
    DruStoreWaveFormat(DruMakeWaveFormat(kRate, 3, 2, 16), record);
    TRef<TVokNotifyOperation> start =
        MakeRef<TVokStartWaveOperation>(record, static_cast<float>(kCaptureBuffersPerSecond));
    capture->m_output->Notify(start.Get());

    // A few captured buffers of a stereo tone, sent in turn (each send shares one of them).
    std::vector<TRef<TDruAudioBuffer>> buffers;
    for (int b = 0; b < 8; ++b) {
        TRef<TDruAudioBuffer> buffer = MakeRef<TDruAudioBuffer>(kRate, 3u, kFrames, 2u, 16u);
        auto* samples = reinterpret_cast<int16_t*>(buffer->GetWritePointer());
        for (uint32_t frame = 0; frame < kFrames; ++frame) {
            const double t = (b * kFrames + frame) * 2.0 * std::numbers::pi / kRate;
            samples[2 * frame] = static_cast<int16_t>(8000.0 * std::sin(1000.0 * t));
            samples[2 * frame + 1] = static_cast<int16_t>(4000.0 * std::sin(3000.0 * t));
        }
        buffers.push_back(buffer);
    }
    size_t next = 0;
    for (auto _ : state) {
        capture->m_output->SendBuffer(buffers[next]);
        next = (next + 1) % buffers.size();
    }
    state.counters["buffers_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["realtime_factor"] =
        benchmark::Counter(static_cast<double>(state.iterations()) / kCaptureBuffersPerSecond,
                           benchmark::Counter::kIsRate);
    capture->m_output->SendStop();
    graph.EnableGenerators(false);
}
BENCHMARK(BM_DemoGraph)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
