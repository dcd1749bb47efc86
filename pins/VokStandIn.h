#pragma once

// Stand-in classes: classes a program registers by name only, so that it can read a window's
// description whose visual classes it does not build (form-check, headless tests and tools).
// A stand-in publishes nothing but `Name` and keeps every other assignment as written; the
// writer gives those back unchanged, so a description read and written by a program with
// stand-ins loses nothing. Pins and pin lists of a stand-in do not exist: links a description
// stores at a stand-in's end are kept as text and made only from the other end, where they
// find no pin and are dropped.

#include "pins/VokComponent.h"
#include "pins/VokFormText.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// Assignments kept as written: (property path, value) pairs in the order they were first set.
/// Owned by its component; used on the component's thread.
class TVokRawProperties {
  public:
    using TEntry = std::pair<std::string, TVokFormValue>;

    /// Stores `value` for `path`; a path set before keeps its place and takes the new value.
    void Set(const std::string& path, const TVokFormValue& value);
    /// The value stored for `path`, or null.
    const TVokFormValue* Find(std::string_view path) const;
    const std::vector<TEntry>& GetEntries() const { return m_entries; }

  private:
    std::vector<TEntry> m_entries;
};

/// A component of a stand-in class: its class table is the one it was created from, and it
/// remembers the object that encloses it in the description so that writing nests it again.
/// The enclosing object must outlive it (in a description every object is owned by the window,
/// which destroys the nested ones first).
class TVokStandIn : public TVokComponent {
  public:
    TVokStandIn(TVokComponent* owner, const TVokClassInfo& info, bool isForm);

    const TVokClassInfo& GetClassInfo() const override { return *m_info; }
    TVokRawProperties* GetRawProperties() override { return &m_raw; }
    TVokComponent* GetParentComponent() const override { return m_parent; }
    void SetParentComponent(TVokComponent* parent) override { m_parent = parent; }
    bool IsForm() const override { return m_isForm; }

  private:
    const TVokClassInfo* m_info;
    TVokComponent* m_parent = nullptr;
    TVokRawProperties m_raw;
    bool m_isForm;
};

/// Registers `className` as a stand-in class (a window's root class when `isForm`). Returns
/// false and changes nothing when a class of that name is registered already, so real classes
/// registered first always win. Throws std::invalid_argument for a name that is not an
/// identifier. Thread safe; the table lives until the process ends.
bool RegisterVokStandInClass(const std::string& className, bool isForm = false);
