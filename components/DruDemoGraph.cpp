#include "components/DruDemoGraph.h"

#include "components/DruAudioToReal.h"
#include "components/DruRealToAudio.h"
#include "components/DruSignalGen.h"
#include "components/DruSpectrum.h"
#include "components/ZemAdd.h"
#include "pins/VokPinList.h"

#include <stdexcept>
#include <string>

namespace {

void Link(TVokBasicPin* source, TVokBasicPin* sink) {
    if (sink == nullptr) {
        return;
    }
    if (source == nullptr || !source->Connect(sink)) {
        throw std::runtime_error("Cannot link " +
                                 (source != nullptr ? source->GetFullName(true) : "nothing") +
                                 " to " + sink->GetFullName(true));
    }
}

template <class T> T* Create(TVokComponent& owner, const char* name) {
    auto* component = new T(&owner);
    component->SetName(name);
    return component;
}

} // namespace

void TDruDemoGraph::EnableGenerators(bool enabled) const {
    for (TDruSignalGen* generator : m_generators) {
        generator->SetEnabled(enabled);
    }
}

TDruDemoGraph BuildDemoGraph(TVokComponent& owner, TDruVokAudioSourcePin& capture,
                             const TDruDemoDisplays& displays) {
    TDruDemoGraph graph;
    struct TGeneratorSetting {
        const char* m_name;
        int32_t m_amplitude;
        double m_frequency;
    };
    constexpr TGeneratorSetting kGenerators[] = {
        {"DruSignalGen1", 5000, 520.0},
        {"DruSignalGen2", 2500, 10000.0},
        {"DruSignalGen3", 1250, 21500.0},
    };
    for (size_t i = 0; i < graph.m_generators.size(); ++i) {
        TDruSignalGen* generator = Create<TDruSignalGen>(owner, kGenerators[i].m_name);
        generator->SetEnabled(false);
        generator->SetPumpPriority(0);
        generator->SetClockSource(csExternal);
        generator->GetAudioFormat()->SetChannels(1);
        generator->GetAudioFormat()->SetSampleRate(44100);
        generator->SetAmplitude(kGenerators[i].m_amplitude);
        generator->SetFrequency(kGenerators[i].m_frequency);
        graph.m_generators[i] = generator;
    }
    for (size_t i = 0; i < graph.m_splitters.size(); ++i) {
        const std::string name = "DruAudioToReal" + std::to_string(i + 1);
        graph.m_splitters[i] = Create<TDruAudioToReal>(owner, name.c_str());
        if (i > 0) {
            graph.m_splitters[i]->SetCountChannels(1);
        }
    }
    graph.m_spectra[0] = Create<TDruSpectrum>(owner, "DruSpectrum1");
    graph.m_spectra[0]->SetSamplingWindowStep(0);
    graph.m_spectra[1] = Create<TDruSpectrum>(owner, "DruSpectrum2");
    graph.m_spectra[1]->SetCountChannels(1);
    graph.m_spectra[1]->SetSamplingWindowStep(0);
    constexpr int kAdderInputs[] = {2, 3, 2};
    for (size_t i = 0; i < graph.m_adders.size(); ++i) {
        const std::string name = "ZemAdd" + std::to_string(i + 1);
        graph.m_adders[i] = Create<TZemAdd>(owner, name.c_str());
        graph.m_adders[i]->GetInputPins()->SetCount(kAdderInputs[i]);
    }
    graph.m_merger = Create<TDruRealToAudio>(owner, "DruRealToAudio1");
    graph.m_merger->GetInputPins()->SetCount(1);
    graph.m_merger->GetAudioFormat()->SetChannels(1);
    graph.m_merger->GetAudioFormat()->SetSampleRate(44100);

    // The links, source by source, sinks in the order the window stores them.
    auto [gen1, gen2, gen3] = graph.m_generators;
    auto [toReal1, toReal2, toReal3, toReal4] = graph.m_splitters;
    auto [add1, add2, add3] = graph.m_adders;
    TDruSpectrum* spectrum1 = graph.m_spectra[0];
    TDruSpectrum* spectrum2 = graph.m_spectra[1];

    Link(&capture, gen1->GetClockPin());
    Link(&capture, gen3->GetClockPin());
    Link(&capture, spectrum1->GetInputPin());
    Link(&capture, toReal1->GetInputPin());
    Link(&capture, gen2->GetClockPin());
    for (int channel = 0; channel < 2; ++channel) {
        TVokBasicPin* output = toReal1->GetOutputPins()->GetPin(channel);
        Link(output, add1->GetInputPins()->GetPin(channel));
        Link(output, displays.m_scope1[static_cast<size_t>(channel)]);
        Link(spectrum1->GetOutputPins()->GetPin(channel),
             displays.m_scope2[static_cast<size_t>(channel)]);
    }
    const TDruSignalGen* generators[] = {gen1, gen2, gen3};
    TDruAudioToReal* generatorSplitters[] = {toReal2, toReal3, toReal4};
    for (int i = 0; i < 3; ++i) {
        Link(generators[i]->GetOutputPin(), generatorSplitters[i]->GetInputPin());
    }
    for (int i = 0; i < 3; ++i) {
        TVokBasicPin* output = generatorSplitters[i]->GetOutputPins()->GetPin(0);
        Link(output, add2->GetInputPins()->GetPin(i));
        Link(output, displays.m_scope3[static_cast<size_t>(i)]);
    }
    Link(add1->GetOutputPin(), add3->GetInputPins()->GetPin(0));
    Link(add2->GetOutputPin(), add3->GetInputPins()->GetPin(1));
    Link(add3->GetOutputPin(), graph.m_merger->GetInputPins()->GetPin(0));
    Link(graph.m_merger->GetOutputPin(), spectrum2->GetInputPin());
    Link(spectrum2->GetOutputPins()->GetPin(0), displays.m_waterfall);
    return graph;
}
