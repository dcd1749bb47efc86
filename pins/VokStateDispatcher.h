#pragma once

#include "pins/VokPin.h"

#include <string>
#include <vector>

/// One member of a dispatcher: the pin, and the pin it joined through (form descriptions), or
/// null.
struct TVokDispatcherPinStorage {
    TVokBasicPin* m_pin = nullptr;
    TVokBasicPin* m_joinedThrough = nullptr;
};

/// A named hub that joins state pins (and sources and sinks taking part in a state): when one
/// member changes, every other member is told.
///
/// A dispatcher exists while it has at least two members. When a member leaves and only one
/// would remain, that one forgets the dispatcher and the dispatcher deletes itself; callers
/// must not touch it after `RemovePin`. Membership changes under the global write lock.
class TVokStateDispatcher : public TVokPinObject {
  public:
    /// Enters the registry of its design state under `name`.
    TVokStateDispatcher(std::string name, bool designing);
    ~TVokStateDispatcher() override;

    const std::string& GetName() const { return m_name; }
    bool IsDesigning() const { return m_designing; }

    int GetPinCount() const { return static_cast<int>(m_members.size()); }
    /// Throws std::out_of_range for an invalid index.
    TVokBasicPin* GetPin(int index) const { return At(index).m_pin; }
    TVokBasicPin* GetJoinedThrough(int index) const { return At(index).m_joinedThrough; }
    int IndexOf(const TVokBasicPin* pin) const;
    /// Appends `pin` (nothing when already a member). Global write lock.
    void AddPin(TVokBasicPin* pin) { AddPinEx(pin, nullptr); }
    void AddPinEx(TVokBasicPin* pin, TVokBasicPin* realPin);
    /// Removes `pin`; may delete this dispatcher (see the class comment). Global write lock.
    void RemovePin(TVokBasicPin* pin);

    /// Clears every joined-through pin that is `object`.
    void ObjectRemoved(TVokPinObject* object) override;

    /// Bookkeeping of a form-description save: answers whether this dispatcher was already
    /// written for the root named `rootName`, then counts the write; once it has been written
    /// as often as it has members, it forgets the roots. Called by the writing thread under
    /// the global write lock.
    bool NoteWrittenFor(const std::string& rootName);

    /// The dispatcher named `name` of the given design state, or null.
    static TVokStateDispatcher* Find(const std::string& name, bool designing);
    /// A name "<root>Link<n>" with the smallest n ≥ 1 not used in the design state.
    static std::string UniqueName(const std::string& rootName, bool designing);
    /// Every live dispatcher (both design states), for broadcasts; a copy.
    static std::vector<TVokStateDispatcher*> LiveDispatchers();
    /// Number of live dispatchers (for leak checks).
    static int64_t LiveCount();

  private:
    const TVokDispatcherPinStorage& At(int index) const;

    const std::string m_name;
    const bool m_designing;
    /// In joining order; changed under the global write lock.
    std::vector<TVokDispatcherPinStorage> m_members;
    /// Roots this dispatcher was written for during the current save, and how often it was
    /// written; guarded by the global write lock.
    std::vector<std::string> m_writtenRoots;
    int m_writeCount = 0;
};
