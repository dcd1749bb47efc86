#pragma once

#include "pins/VokProperties.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

class TVokComponent;
class TVokSourcePin;
class TVokSinkPin;

/// Names the handler an event property holds, for writing (`OnClick = StartButtonClick`);
/// an empty answer leaves the event out.
using TVokEventNamer = std::function<std::string(
    const TVokComponent& root, const TVokPropertyInfo& property, const TVokEventValue& value)>;

/// Writes live components as a form description that `TVokFormReader` reads back to the same
/// values and links.
///
/// The root is written as the top-level object; the components it owns follow as nested
/// objects, each inside the object its `GetParentComponent` names (directly inside the root
/// when it names none). Per object, in property-table order: every writable value that differs
/// from its declared default or is marked `AlwaysStored` (integers by their identifier when
/// their table lists the value: `Color = clRed`), sub-objects as dotted paths
/// (`AudioFormat.SampleRate = 44100`), collections as `<item … end>`, references to components
/// by name, events through the namer; then the pseudo-properties of pins (`Form`, `State`,
/// `SinkPins`/`SourcePin`) and pin lists (after `Count`: `Form`, `Pins`) by their own rules.
///
/// Threads: the thread that owns the components; link structures are read under the global
/// lock as usual. Throws what a property getter throws, and std::invalid_argument for a float
/// that is not finite.
class TVokFormWriter {
  public:
    void SetEventNamer(TVokEventNamer namer) { m_eventNamer = std::move(namer); }
    /// The description of `root` and the components it owns; lines end with "\n", nested
    /// lines are indented by two blanks per level.
    std::string Write(const TVokComponent& root) const;

  private:
    TVokEventNamer m_eventNamer;
};

/// One link: a source pin and a sink it serves.
struct TVokLinkEntry {
    TVokSourcePin* m_source = nullptr;
    TVokSinkPin* m_sink = nullptr;
};

/// Every link of the pins published by `root` and the components it owns: components in order
/// (root first), pins in published-property order (pin lists and collections included), and
/// each source's sinks in dispatch order.
std::vector<TVokLinkEntry> VokListLinks(const TVokComponent& root);
