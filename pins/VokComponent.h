#pragma once

#include "pins/VokPersistent.h"
#include "pins/VokProperties.h"

#include <string>
#include <string_view>
#include <vector>

class TVokRawProperties;

/// State flags of a component.
enum TVokComponentStateFlag : uint8_t {
    csLoading,    ///< being read from a form description; cleared by `Loaded`
    csDesigning,  ///< in design state (links are stored, not served)
    csDestroying, ///< its destructor has begun; name searches skip it
};
using TVokComponentState = TVokSet<TVokComponentStateFlag>;

/// Base of every component: a named object in an ownership tree, with published properties.
///
/// Ownership: a component created with an owner is owned by it; the owner destroys its owned
/// components in reverse order of insertion when it is destroyed. A component destroyed
/// earlier removes itself from its owner. The base destructor runs after a derived class's
/// destructor, so a class whose children use its own members calls `DestroyComponents` first.
///
/// Threads: the component tree (creating, destroying, naming, owner lists, state flags) is
/// changed on the GUI thread only and is not locked; other threads may read names and owners
/// only while the GUI thread cannot change them (for example while the processing runs).
///
/// Published property: `Name` (string, default empty).
class TVokComponent : public TVokPersistent, public IVokPublished {
  public:
    /// `owner` may be null (a root without owner); otherwise the new component is appended to
    /// `owner`'s components, with an empty name.
    explicit TVokComponent(TVokComponent* owner);
    ~TVokComponent() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    const std::string& GetName() const { return m_name; }
    /// Renames the component. The name must be empty or an identifier (a letter or "_", then
    /// letters, digits or "_"); otherwise throws std::invalid_argument naming the value. A
    /// non-empty name used by another component of the same owner throws
    /// std::invalid_argument("A component named X already exists"). Names are case-sensitive.
    void SetName(const std::string& name);

    TVokComponent* GetOwner() const { return m_owner; }
    int GetComponentCount() const { return static_cast<int>(m_components.size()); }
    /// The owned component at `index` (insertion order); throws std::out_of_range
    /// ("Index out of range = i") for an invalid index.
    TVokComponent* GetComponent(int index) const;
    /// The directly owned component named `name`, or null (an empty name finds nothing).
    TVokComponent* FindComponent(std::string_view name) const;
    /// Destroys all owned components, newest first.
    void DestroyComponents();

    TVokComponentState GetComponentState() const { return m_state; }
    bool IsLoading() const { return m_state.Contains(csLoading); }
    bool IsDesigning() const { return m_state.Contains(csDesigning); }
    bool IsDestroying() const { return m_state.Contains(csDestroying); }
    /// Sets csLoading; the form reader calls it before setting properties and `Loaded` after.
    void BeginLoading() { m_state.Include(csLoading); }
    /// Sets or clears csDesigning on this component and everything it owns.
    void SetDesigning(bool designing);
    /// Called once all properties of a component read from a form are set; clears csLoading.
    /// Overrides call the base.
    virtual void Loaded();

    /// The component this one is nested in within a form description (a control's container),
    /// or null. The base has none; visual classes override both.
    virtual TVokComponent* GetParentComponent() const { return nullptr; }
    /// Called by the form reader with the object that encloses this one in the description.
    virtual void SetParentComponent(TVokComponent* parent) { (void)parent; }

    /// The assignments kept as written for properties this class does not publish, or null
    /// when the class keeps none (every class but the stand-ins of VokStandIn.h): the form
    /// reader stores such assignments there instead of refusing them, and the writer writes
    /// them back after the published properties.
    virtual TVokRawProperties* GetRawProperties() { return nullptr; }
    const TVokRawProperties* GetRawProperties() const {
        return const_cast<TVokComponent*>(this)->GetRawProperties();
    }

    /// True for the root of a window's tree (see `TVokForm`).
    virtual bool IsForm() const { return false; }
    /// The topmost owner: follows owners until a component without owner or a form; a form is
    /// its own root even when it has an owner. Never null.
    TVokComponent* GetRoot() const;

  private:
    std::string m_name;
    TVokComponent* m_owner;
    std::vector<TVokComponent*> m_components; ///< owned, in insertion order
    TVokComponentState m_state;
};

/// A window's root component: its name ("Form1") is the first part of every full pin name
/// below it, and the root search stops at it.
class TVokForm : public TVokComponent {
  public:
    explicit TVokForm(TVokComponent* owner = nullptr) : TVokComponent(owner) {}

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    bool IsForm() const override { return true; }
};

/// True when `name` is a valid component name: a letter or "_", then letters, digits or "_".
bool IsValidComponentName(std::string_view name);
