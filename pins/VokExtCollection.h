#pragma once

#include "pins/VokPersistent.h"
#include "pins/VokProperties.h"

#include <string>
#include <vector>

class TVokExtCollection;
class TVokExtCollectionItem;

/// Describes the class of the items a collection creates: the published class name and a
/// factory that creates a new item joined to the given collection. Build it with `Of<T>()` for
/// an item class `T` that has a static `ClassInfo()` and a constructor taking the collection.
struct TVokCollectionItemClass {
    using TFactory = TVokExtCollectionItem* (*)(TVokExtCollection* collection);

    std::string m_className;
    TFactory m_factory = nullptr;

    template <class T> static TVokCollectionItemClass Of() {
        return {T::ClassInfo().GetClassName(),
                [](TVokExtCollection* collection) -> TVokExtCollectionItem* {
                    return new T(collection);
                }};
    }

    /// Two descriptors name the same item class when their class names are equal.
    friend bool operator==(const TVokCollectionItemClass& a, const TVokCollectionItemClass& b) {
        return a.m_className == b.m_className;
    }
};

/// Receives the membership changes of a collection. Observers are not owned by the collection:
/// an observer removes itself (`RemoveObserver`) before it is destroyed. Exceptions thrown by an
/// observer are swallowed by the collection. An observer must not free the item it is told
/// about, and it is told nothing while the collection itself is being destroyed.
class IVokCollectionObserver {
  public:
    /// `item` has joined the collection: it is in place (index, ID) and complete.
    virtual void ItemAdded(TVokExtCollectionItem* item) = 0;
    /// `item` is about to leave the collection (extracted or deleted); it is still in place.
    virtual void ItemRemoving(TVokExtCollectionItem* item) = 0;

  protected:
    ~IVokCollectionObserver() = default;
};

/// One item of a `TVokExtCollection`: knows its collection and its place in it, carries an ID
/// unique within its collection and one untyped pointer the collection never uses. Subclasses
/// publish their properties through their own class info (derived from `ClassInfo()`, which
/// declares none) and call `Changed` from their setters.
///
/// Ownership: an item that belongs to a collection is owned by it. Destroying an item removes it
/// from its collection (see the destructor).
///
/// Threads: items are created, changed, moved and destroyed on the GUI thread only; nothing here
/// takes a lock.
class TVokExtCollectionItem : public TVokPersistent, public IVokPublished {
  public:
    /// Creates an item appended to `collection` (which may be null: the item then belongs to
    /// nobody and its creator owns it). Joining in the constructor is bookkeeping only (place,
    /// ID, change marker): the item is not complete yet, so neither `ItemAdded` nor the
    /// observers nor `Update` are called. `TVokExtCollection::Add`/`Insert` and `SetCollection`
    /// call them once the item is complete; create items through those to be announced.
    explicit TVokExtCollectionItem(TVokExtCollection* collection);
    /// Removes the item from its collection. By the time this base destructor runs only the base
    /// part is alive, so observers told here (`ItemRemoving`, for an item that was announced to
    /// them) may compare the pointer or read its index and ID but not use its class. A subclass
    /// that wants observers to see the whole item calls `SetCollection(nullptr)` first in its own
    /// destructor. Exceptions from the collection's `Update` are swallowed here. While the
    /// collection itself is being destroyed nothing is called back.
    ~TVokExtCollectionItem() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    /// The collection the item belongs to, or null.
    TVokExtCollection* GetCollection() const { return m_collection; }
    /// Moves the item to `collection` (null: out of any collection; the caller then owns it).
    /// The old collection tells its observers that the item is removing, the new one announces
    /// it (`ItemAdded`, observers) and gives it a new ID from its own counter. Nothing happens
    /// when `collection` is the current one. If the new collection's `ItemAdded` throws, the item
    /// is left out of any collection and the exception propagates.
    void SetCollection(TVokExtCollection* collection);

    /// The item's position in its collection, or −1 without collection.
    int GetIndex() const;
    /// Moves the item to position `index` of its collection (0 … count − 1); the items between
    /// shift by one. Throws std::out_of_range naming the index and the count for a bad index and
    /// std::logic_error for an item without collection.
    void SetIndex(int index);

    /// The ID given by the collection when the item joined it: unique within that collection and
    /// never given twice by it. Kept when the item leaves; a new collection gives a new one.
    int GetID() const { return m_id; }

    /// The name shown for the item in lists and editors; the base answers the published class
    /// name.
    virtual std::string GetDisplayName() const;

    /// The untyped pointer for the item's user; the collection never reads or frees it.
    void* GetData() const { return m_data; }
    void SetData(void* data) { m_data = data; }

    /// Copies `source`'s published properties into this item: every writable property that is
    /// not object-valued, of the less derived of the two item classes (one must derive from the
    /// other). Sub-objects are not copied; a subclass that owns some overrides this and calls
    /// the base. Any other source is handed to `TVokPersistent::Assign` (which refuses with
    /// std::invalid_argument). A property setter that throws leaves the properties before it
    /// copied.
    void Assign(const TVokPersistent* source) override;

  protected:
    /// For setters of subclasses: marks the collection changed and, when it is not updating,
    /// calls its `Update` with this item (or with null when `allItems`, for a change that
    /// affects the other items too).
    void Changed(bool allItems);

  private:
    friend class TVokExtCollection;

    TVokExtCollection* m_collection = nullptr;
    int m_id = 0;
    void* m_data = nullptr;
    /// True between the announcement to the collection's observers and the removing
    /// notification, so observers hear about the removal only of items they heard added.
    bool m_announced = false;
};

/// An ordered collection of items of one item class; the base of display channel, marker,
/// cursor, colour level and device collections.
///
/// Ownership: the collection owns its items and frees them, newest first, when it is destroyed;
/// `Extract` hands an item's ownership to the caller. The owner passed at construction is not
/// owned: it is only answered by `GetOwner` (for naming and streaming).
///
/// Notifications, in order, after the collection's own bookkeeping: an added item goes to
/// `ItemAdded`, then to each observer's `ItemAdded`; an item being removed (extracted or
/// deleted) goes to each observer's `ItemRemoving` while it is still in place. Every change sets
/// the change marker to −1 and, when the collection is not updating, then calls `Update`.
/// Observer exceptions are swallowed; exceptions of `ItemAdded` and `Update` propagate.
///
/// Threads: the collection and its items are changed on the GUI thread only; nothing here takes
/// a lock. Other threads must not read it while the GUI thread can change it.
class TVokExtCollection : public TVokPersistent, public IVokPublished {
  public:
    /// `owner` may be null. Throws std::invalid_argument when `itemClass` has no factory.
    TVokExtCollection(TVokPersistent* owner, TVokCollectionItemClass itemClass);
    /// Frees the items newest first without calling anything back (see `DestroyItems`).
    ~TVokExtCollection() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokPersistent* GetOwner() const { return m_owner; }
    const TVokCollectionItemClass& GetItemClass() const { return m_itemClass; }

    int GetCount() const { return static_cast<int>(m_items.size()); }
    /// The item at `index`; throws std::out_of_range ("Index out of range = i (count n)").
    TVokExtCollectionItem* GetItem(int index) const;
    /// The item with ID `id`, or null.
    TVokExtCollectionItem* FindItemID(int id) const;
    /// The position of `item`, or −1 when it is not in this collection (or null).
    int IndexOf(const TVokExtCollectionItem* item) const;

    /// Creates an item of the item class at the end, announces it and returns it (owned by the
    /// collection). If `ItemAdded` throws, the new item is freed and the exception propagates.
    /// Throws std::logic_error when the factory answers no item or an item of another
    /// collection.
    TVokExtCollectionItem* Add();
    /// As `Add`, but the new item is placed at `index` (0 … count). Throws std::out_of_range for
    /// another index, before creating anything.
    TVokExtCollectionItem* Insert(int index);
    /// Tells the observers that the item at `index` is removing, then frees it. Throws
    /// std::out_of_range for a bad index.
    void Delete(int index);
    /// Removes `item` without freeing it and returns it; the caller owns it from then on. The
    /// observers are told it is removing. Throws std::invalid_argument when `item` is not in this
    /// collection.
    TVokExtCollectionItem* Extract(TVokExtCollectionItem* item);
    /// Deletes every item, newest first, inside one update (so `Update` runs once).
    void Clear();

    /// Starts a batch of changes: until the matching `EndUpdate`, changes only set the change
    /// marker. Calls nest.
    void BeginUpdate() { ++m_updateCount; }
    /// Ends a batch; the outermost call runs `Update(nullptr)` (whether or not anything
    /// changed). Throws std::logic_error without a matching `BeginUpdate`.
    void EndUpdate();
    /// The nesting depth of `BeginUpdate`; changes call `Update` only while it is 0.
    int GetUpdateCount() const { return m_updateCount; }

    /// −1 after any change; users reset it (`SetChangeMarker`) to notice the next change.
    int GetChangeMarker() const { return m_changeMarker; }
    void SetChangeMarker(int value) { m_changeMarker = value; }

    /// Registers `observer` (not owned; registering it again does nothing).
    void AddObserver(IVokCollectionObserver* observer);
    /// Unregisters `observer`; unknown observers are ignored. Safe inside a notification.
    void RemoveObserver(IVokCollectionObserver* observer);

    /// True once the collection has begun freeing its items for good (`DestroyItems`); item
    /// destructors of subclasses check it to avoid calling back into a half-destroyed owner.
    bool IsDestroying() const { return m_destroying; }

    /// Copies another collection with the same item class: clears this one, then adds one item
    /// per source item and assigns it from that item, all inside one update. Throws
    /// std::invalid_argument naming both item classes for a collection of another item class;
    /// any other source is handed to `TVokPersistent::Assign`.
    void Assign(const TVokPersistent* source) override;

  protected:
    /// Called after bookkeeping for each announced item, before the observers. Does nothing in
    /// the base; subclasses react to new items (a display gives a new channel its colour).
    virtual void ItemAdded(TVokExtCollectionItem* item);
    /// Called after each change while the collection is not updating: with the item whose own
    /// properties changed, or null for a change of membership, order or of all items; and with
    /// null after the outermost `EndUpdate`. Does nothing in the base; a display repaints.
    virtual void Update(TVokExtCollectionItem* item);

    /// Frees every item newest first without notifications, `Update` or change marker, and marks
    /// the collection as destroying for good. The base destructor calls it; a subclass whose
    /// items use the subclass's own members calls it first in its own destructor.
    void DestroyItems();

  private:
    friend class TVokExtCollectionItem;

    /// Bookkeeping of a joining item: appended, given the next ID, change marker set.
    void Join(TVokExtCollectionItem* item);
    /// Bookkeeping of a leaving item: taken out of the list, its collection cleared.
    void Leave(TVokExtCollectionItem* item);
    /// Announces a joined item (`ItemAdded`, then the observers); if `ItemAdded` throws, the
    /// item leaves again and the exception propagates.
    void Announce(TVokExtCollectionItem* item);
    /// Tells the observers that an announced item is removing.
    void NotifyRemoving(TVokExtCollectionItem* item);
    /// Sets the change marker and, unless updating, calls `Update(item)`.
    void Changed(TVokExtCollectionItem* item);
    /// Called by an item's destructor.
    void ItemDestroyed(TVokExtCollectionItem* item) noexcept;
    /// Creates a joined item through the factory; see `Add`.
    TVokExtCollectionItem* CreateItem();
    [[noreturn]] void ThrowIndex(int index) const;

    TVokPersistent* m_owner;
    TVokCollectionItemClass m_itemClass;
    std::vector<TVokExtCollectionItem*> m_items;      ///< owned, in collection order
    std::vector<IVokCollectionObserver*> m_observers; ///< not owned, in registration order
    int m_nextId = 0;
    int m_changeMarker = 0;
    int m_updateCount = 0;
    bool m_destroying = false;
    /// The item that `Delete` is freeing: its destructor only does the bookkeeping, `Delete`
    /// reports the change itself.
    TVokExtCollectionItem* m_quietItem = nullptr;
};
