#pragma once

#include "pins/VokFormText.h"
#include "pins/VokProperties.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TVokComponent;

/// Binds an event property to the handler a description names (`OnClick = StartButtonClick`):
/// answers the handler value for `handlerName` on `root`, or throws to refuse the name.
using TVokEventResolver = std::function<TVokEventValue(
    TVokComponent& root, const TVokPropertyInfo& property, const std::string& handlerName)>;

/// Reads form descriptions (VokFormText.h) into components.
///
/// Every object of the description is created by class name from the class registry
/// (`RegisterVokClass`), owned by the root and told its enclosing object
/// (`SetParentComponent`); every assignment sets a published property through its class's
/// property table, or reaches a pin's or pin list's pseudo-properties (`Form`, `State`,
/// `SinkPins`, `SourcePin`, `Pins`, `PinsOwner`), which make the links. Each component is in
/// loading state (`csLoading`) while it is read, and `Loaded` runs on every component, in
/// document order, once the whole description is read. Objects of a designing root are
/// created designing.
///
/// Failure: any error (syntax, unknown class or property, a value of the wrong kind, a
/// duplicate component name, a setter or `Loaded` that throws) raises `EVokFormError`
/// ("FILE:LINE:COLUMN: message"). Nothing is left behind: the components the reading created
/// are freed with their links, and so are the placeholders it created.
///
/// Threads: the thread that owns the components (the GUI thread); links are made under the
/// global write lock as usual.
class TVokFormReader {
  public:
    /// `fileName` names the description in error messages.
    explicit TVokFormReader(std::string fileName = "<form>");

    /// Installs the binding of event handler names; without one, a handler name other than
    /// `nil` is an error.
    void SetEventResolver(TVokEventResolver resolver) { m_eventResolver = std::move(resolver); }

    /// Creates the root object by its class name (owned by `owner`, which may be null; the
    /// caller owns the result either way) and reads the description into it.
    std::unique_ptr<TVokComponent> Read(std::string_view text, TVokComponent* owner = nullptr);
    /// Reads a description into an existing root, whose class must be the described class or
    /// derive from it. The root keeps its name when it has one (links saved under another
    /// window name are rewritten to it); an unnamed root takes the described name.
    void ReadInto(std::string_view text, TVokComponent& root);

  private:
    struct TRun;

    std::string m_fileName;
    TVokEventResolver m_eventResolver;
};

/// Registers the creatable classes of the pin framework (`TVokForm`) for the form reader.
/// Each library offers such a function; programs call them explicitly at start-up, because
/// registrations from static initialisers of a static library may be dropped by the linker.
void RegisterVokClasses();
