#pragma once

#include "buffers/ZemVokStreamPins.h"

#include <array>

class TVokComponent;
class TDruSignalGen;
class TDruAudioToReal;
class TDruSpectrum;
class TZemAdd;
class TDruRealToAudio;

/// The display inputs the processing graph feeds: two channels of the first scope, two of the
/// spectrum scope, three of the generator scope and the waterfall input. Any sink pin that can
/// take real buffers will do (the window's displays, or recording pins in tests and tools).
struct TDruDemoDisplays {
    std::array<TVokBasicPin*, 2> m_scope1{};
    std::array<TVokBasicPin*, 2> m_scope2{};
    std::array<TVokBasicPin*, 3> m_scope3{};
    TVokBasicPin* m_waterfall = nullptr;
};

/// The processing components of the main window, owned by the component they were created
/// under.
struct TDruDemoGraph {
    std::array<TDruSignalGen*, 3> m_generators{};
    /// DruAudioToReal1 (the capture) to DruAudioToReal4 (the third generator).
    std::array<TDruAudioToReal*, 4> m_splitters{};
    std::array<TDruSpectrum*, 2> m_spectra{};
    std::array<TZemAdd*, 3> m_adders{};
    TDruRealToAudio* m_merger = nullptr;

    /// Enables the three generators in order (the window's Start, minus the capture).
    void EnableGenerators(bool enabled) const;
};

/// Creates the window's processing components under `owner` with their names and non-default
/// settings and makes every link of the window's graph in the order the window stores them:
/// `capture` stands for the capture component's output pin, `displays` for the display inputs
/// (null entries stay unlinked). Throws std::runtime_error naming both pins when a link is
/// refused. Call on the thread that owns `owner`; nothing is started.
TDruDemoGraph BuildDemoGraph(TVokComponent& owner, TDruVokAudioSourcePin& capture,
                             const TDruDemoDisplays& displays);
