#pragma once

#include "pins/VokObject.h"
#include "pins/VokProperties.h"

#include <functional>
#include <string>
#include <vector>

class TVokBasicPin;
class TVokComponent;
class TVokFiler;
class TVokReader;
class TVokWriter;

/// An ordered list of pins published by a component as one property (`InputPins`,
/// `OutputPins`), each entry with an optional display name. A list that owns its pins frees
/// them when they leave it.
///
/// Structural changes (add, delete, exchange, rename, count) take the global write lock and the
/// list's group write lock; reads take read locks.
///
/// Published property: `Count`.
class TVokPinList : public TVokObject, public IVokPublished {
  public:
    /// `owner` is the component publishing the list; `ownsPins` decides whether the list frees
    /// its pins when they leave it.
    TVokPinList(TVokComponent* owner, bool ownsPins);
    ~TVokPinList() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokComponent* GetOwner() const { return m_owner; }
    bool OwnsPins() const { return m_ownsPins; }

    /// Number of entries minus pending placeholders.
    int GetCount() const;
    /// Changes the number of pins; this class cannot create pins, so it does nothing.
    virtual void SetCount(int count);
    /// The pin at `index`; throws std::out_of_range naming the index.
    TVokBasicPin* GetPin(int index) const;

    void Add(TVokBasicPin* pin) { AddNamed(pin, ""); }
    /// Appends `pin` with display name `name` (empty: the default "Pin [i]"). A pending
    /// placeholder slot, when there is one, is filled instead. When the pin's owner is the list's
    /// owner, the pin records this list as its containing list.
    void AddNamed(TVokBasicPin* pin, const std::string& name);
    /// Removes the entry at `index` (freeing an owned pin); throws std::out_of_range.
    void Delete(int index);
    /// Removes every entry holding `pin`.
    void Remove(TVokBasicPin* pin);
    void Clear();
    /// First index holding `pin`, or −1.
    int IndexOf(const TVokBasicPin* pin) const;
    /// Swaps two entries (names and pins); throws std::out_of_range.
    void Exchange(int first, int second);
    /// The stored display name, or "Pin [i]" when it is empty.
    std::string GetPinDisplayName(int index) const;
    /// Stores a display name; "Pin [i]" stores the empty name. Ignored for index ≥ count.
    void SetPinDisplayName(int index, const std::string& name);
    /// The root name of the list's owner.
    std::string GetRootName() const;
    /// True when any pin of the list is connected.
    virtual bool HasLinks() const;

    /// Root name read from a form description.
    const std::string& GetFormRootName() const { return m_formRootName; }
    void SetFormRootName(std::string name) { m_formRootName = std::move(name); }
    /// Number of placeholder entries waiting for their real pin.
    int GetPendingCount() const { return m_pending; }

    /// Number of entries including pending placeholders.
    int GetEntryCount() const;

    // Form descriptions (VokPinStreaming.cpp): after the ordinary property `Count` a list
    // stores `Form` (always) and `Pins` (one entry per pin), and accepts `PinsOwner`.

    /// Declares `Form`, `Pins` and `PinsOwner` with their readers and writers.
    void DefineProperties(TVokFiler& filer) override;
    /// Reads `Pins`: links every pin of the list as its entry says, appending pending
    /// placeholder slots (plain lists) or growing the list (owning lists) for entries beyond
    /// the count.
    virtual void ReadPins(TVokReader& reader);
    /// Writes `Pins`: one entry per pin in list order.
    virtual void WritePins(TVokWriter& writer) const;

    /// Forgets `pin` without freeing it (the pin is being destroyed).
    void PinDestroyed(TVokBasicPin* pin);
    /// Every live pin list (a copy), so that a destroyed pin leaves all lists holding it.
    static std::vector<TVokPinList*> LiveLists();

  protected:
    struct TEntry {
        std::string m_name;
        TVokBasicPin* m_pin = nullptr;
    };
    /// Number of entries including pending placeholders.
    int RawCount() const { return static_cast<int>(m_entries.size()); }
    /// Removes the entry at `index` (global write lock held).
    void DeleteEntry(int index);

  private:
    void DropTrailingPlaceholders() const;
    void CheckIndex(int index, int count) const;

    TVokComponent* const m_owner;
    const bool m_ownsPins;
    /// Guarded by the global lock (membership) and the list's group lock.
    std::vector<TEntry> m_entries;
    mutable int m_pending = 0;
    std::string m_formRootName;
};

/// A pin list that creates and frees its own pins through callbacks, between a minimum and a
/// maximum count. Always owns its pins.
class TVokPinListOwner : public TVokPinList {
  public:
    /// Creates a new pin for `list`; the list takes ownership.
    using TCreateCallback = std::function<TVokBasicPin*(TVokPinListOwner& list)>;
    /// Told about a pin just before the list frees it.
    using TRemoveCallback = std::function<void(TVokPinListOwner& list, TVokBasicPin* pin)>;

    /// Immediately set to `minimum` pins (minimum is clamped at 0).
    TVokPinListOwner(TVokComponent* owner, TRemoveCallback removeCallback,
                     TCreateCallback createCallback, int maximum, int minimum);
    /// Frees every pin (the minimum is ignored).
    ~TVokPinListOwner() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    /// Clamps `count` to [minimum, maximum]; removes pins from the end (the remove callback sees
    /// each before it is freed) or appends pins from the create callback. Global write lock.
    void SetCount(int count) override;
    int GetMinimum() const { return m_minimum; }
    int GetMaximum() const { return m_maximum; }

  private:
    void Resize(int count);

    const int m_minimum;
    const int m_maximum;
    TRemoveCallback m_removeCallback;
    TCreateCallback m_createCallback;
};
