#include "pins/VokExtCollection.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

/// Runs `action` inside one update of `collection`. When `action` throws, the update still
/// ends (so `Update` sees the partial change) and the action's exception is the one reported.
template <class F> void InOneUpdate(TVokExtCollection& collection, F action) {
    collection.BeginUpdate();
    try {
        action();
    } catch (...) {
        try {
            collection.EndUpdate();
        } catch (...) {
            // The first failure is the one worth reporting.
        }
        throw;
    }
    collection.EndUpdate();
}

} // namespace

// ---------------------------------------------------------------- TVokExtCollectionItem

TVokExtCollectionItem::TVokExtCollectionItem(TVokExtCollection* collection) {
    if (collection != nullptr) {
        collection->Join(this);
    }
}

TVokExtCollectionItem::~TVokExtCollectionItem() {
    if (m_collection != nullptr) {
        m_collection->ItemDestroyed(this);
    }
}

const TVokClassInfo& TVokExtCollectionItem::ClassInfo() {
    static const TVokClassInfo info("TVokExtCollectionItem", nullptr, nullptr, {});
    return info;
}

void TVokExtCollectionItem::SetCollection(TVokExtCollection* collection) {
    if (collection == m_collection) {
        return;
    }
    if (TVokExtCollection* old = m_collection) {
        if (old->m_destroying) {
            old->Leave(this);
        } else {
            old->NotifyRemoving(this);
            old->Leave(this);
            old->Changed(nullptr);
        }
    }
    if (collection != nullptr) {
        collection->Join(this);
        collection->Announce(this);
        collection->Changed(nullptr);
    }
}

int TVokExtCollectionItem::GetIndex() const {
    return m_collection != nullptr ? m_collection->IndexOf(this) : -1;
}

void TVokExtCollectionItem::SetIndex(int index) {
    if (m_collection == nullptr) {
        throw std::logic_error("Cannot move a " + GetClassInfo().GetClassName() +
                               " that belongs to no collection");
    }
    auto& items = m_collection->m_items;
    if (index < 0 || index >= m_collection->GetCount()) {
        m_collection->ThrowIndex(index);
    }
    const int current = GetIndex();
    if (current == index) {
        return;
    }
    const auto from = items.begin() + current;
    const auto to = items.begin() + index;
    // Rotating the range between the two places shifts the items in between by one.
    if (current < index) {
        std::rotate(from, from + 1, to + 1);
    } else {
        std::rotate(to, from, from + 1);
    }
    m_collection->Changed(nullptr);
}

std::string TVokExtCollectionItem::GetDisplayName() const {
    return GetClassInfo().GetClassName();
}

void TVokExtCollectionItem::Assign(const TVokPersistent* source) {
    if (source == this) {
        return;
    }
    const auto* other = dynamic_cast<const TVokExtCollectionItem*>(source);
    if (other == nullptr) {
        TVokPersistent::Assign(source);
        return;
    }
    const TVokClassInfo& mine = GetClassInfo();
    const TVokClassInfo& theirs = other->GetClassInfo();
    // Only the properties both classes have are copied: those of the less derived class.
    const TVokClassInfo* shared = nullptr;
    if (theirs.InheritsFrom(mine)) {
        shared = &mine;
    } else if (mine.InheritsFrom(theirs)) {
        shared = &theirs;
    } else {
        throw std::invalid_argument("Cannot assign a " + theirs.GetClassName() + " to a " +
                                    mine.GetClassName());
    }
    for (const TVokPropertyInfo* property : shared->GetProperties()) {
        if (!property->IsObjectValued() && !property->IsReadOnly()) {
            property->Set(this, property->Get(other));
        }
    }
}

void TVokExtCollectionItem::Changed(bool allItems) {
    if (m_collection != nullptr && !m_collection->m_destroying) {
        m_collection->Changed(allItems ? nullptr : this);
    }
}

// ---------------------------------------------------------------- TVokExtCollection

TVokExtCollection::TVokExtCollection(TVokPersistent* owner, TVokCollectionItemClass itemClass)
    : m_owner(owner), m_itemClass(std::move(itemClass)) {
    if (m_itemClass.m_factory == nullptr) {
        throw std::invalid_argument("A collection of " + m_itemClass.m_className +
                                    " items needs a factory for its items");
    }
}

TVokExtCollection::~TVokExtCollection() {
    DestroyItems();
}

const TVokClassInfo& TVokExtCollection::ClassInfo() {
    static const TVokClassInfo info("TVokExtCollection", nullptr, nullptr, {});
    return info;
}

void TVokExtCollection::ThrowIndex(int index) const {
    throw std::out_of_range("Index out of range = " + std::to_string(index) + " (count " +
                            std::to_string(GetCount()) + ")");
}

TVokExtCollectionItem* TVokExtCollection::GetItem(int index) const {
    if (index < 0 || index >= GetCount()) {
        ThrowIndex(index);
    }
    return m_items[static_cast<size_t>(index)];
}

TVokExtCollectionItem* TVokExtCollection::FindItemID(int id) const {
    for (TVokExtCollectionItem* item : m_items) {
        if (item->m_id == id) {
            return item;
        }
    }
    return nullptr;
}

int TVokExtCollection::IndexOf(const TVokExtCollectionItem* item) const {
    if (item == nullptr) {
        return -1;
    }
    const auto found = std::find(m_items.begin(), m_items.end(), item);
    return found == m_items.end() ? -1 : static_cast<int>(found - m_items.begin());
}

TVokExtCollectionItem* TVokExtCollection::CreateItem() {
    TVokExtCollectionItem* item = m_itemClass.m_factory(this);
    if (item == nullptr) {
        throw std::logic_error("The factory of " + m_itemClass.m_className +
                               " items created no item");
    }
    if (item->m_collection == nullptr) {
        Join(item);
    } else if (item->m_collection != this) {
        throw std::logic_error("The factory of " + m_itemClass.m_className +
                               " items created an item of another collection");
    }
    return item;
}

TVokExtCollectionItem* TVokExtCollection::Add() {
    return Insert(GetCount());
}

TVokExtCollectionItem* TVokExtCollection::Insert(int index) {
    if (index < 0 || index > GetCount()) {
        ThrowIndex(index);
    }
    TVokExtCollectionItem* item = CreateItem();
    // The factory appended it; move it into place before anybody hears of it.
    const auto last = m_items.end() - 1;
    std::rotate(m_items.begin() + index, last, m_items.end());
    try {
        Announce(item);
    } catch (...) {
        // Announce has taken it out again; nobody else knows it.
        delete item;
        throw;
    }
    Changed(nullptr);
    return item;
}

void TVokExtCollection::Delete(int index) {
    TVokExtCollectionItem* item = GetItem(index);
    NotifyRemoving(item);
    // The item stays in place while its destructors run, so subclass destructors still see
    // their collection; its base destructor then only takes it out.
    m_quietItem = item;
    delete item;
    m_quietItem = nullptr;
    Changed(nullptr);
}

TVokExtCollectionItem* TVokExtCollection::Extract(TVokExtCollectionItem* item) {
    if (IndexOf(item) < 0) {
        throw std::invalid_argument("Cannot extract an item that is not in this collection of " +
                                    m_itemClass.m_className + " items");
    }
    NotifyRemoving(item);
    Leave(item);
    Changed(nullptr);
    return item;
}

void TVokExtCollection::Clear() {
    if (m_items.empty()) {
        return;
    }
    InOneUpdate(*this, [this] {
        while (!m_items.empty()) {
            Delete(GetCount() - 1);
        }
    });
}

void TVokExtCollection::EndUpdate() {
    if (m_updateCount <= 0) {
        throw std::logic_error("EndUpdate without BeginUpdate on a collection of " +
                               m_itemClass.m_className + " items");
    }
    if (--m_updateCount == 0) {
        Update(nullptr);
    }
}

void TVokExtCollection::AddObserver(IVokCollectionObserver* observer) {
    if (observer != nullptr &&
        std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end()) {
        m_observers.push_back(observer);
    }
}

void TVokExtCollection::RemoveObserver(IVokCollectionObserver* observer) {
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer),
                      m_observers.end());
}

void TVokExtCollection::Assign(const TVokPersistent* source) {
    if (source == this) {
        return;
    }
    const auto* other = dynamic_cast<const TVokExtCollection*>(source);
    if (other == nullptr) {
        TVokPersistent::Assign(source);
        return;
    }
    if (!(other->m_itemClass == m_itemClass)) {
        throw std::invalid_argument("Cannot assign a collection of " +
                                    other->m_itemClass.m_className + " items to a collection of " +
                                    m_itemClass.m_className + " items");
    }
    InOneUpdate(*this, [this, other] {
        Clear();
        for (const TVokExtCollectionItem* sourceItem : other->m_items) {
            Add()->Assign(sourceItem);
        }
    });
}

void TVokExtCollection::ItemAdded(TVokExtCollectionItem* /*item*/) {
}

void TVokExtCollection::Update(TVokExtCollectionItem* /*item*/) {
}

void TVokExtCollection::DestroyItems() {
    m_destroying = true;
    // Each item's destructor takes it out of m_items, so always free the current last.
    while (!m_items.empty()) {
        delete m_items.back();
    }
}

void TVokExtCollection::Join(TVokExtCollectionItem* item) {
    if (m_destroying) {
        throw std::logic_error("Cannot add a " + item->GetClassInfo().GetClassName() +
                               " to a collection that is being destroyed");
    }
    m_items.push_back(item);
    item->m_collection = this;
    item->m_id = m_nextId++;
    item->m_announced = false;
    m_changeMarker = -1;
}

void TVokExtCollection::Leave(TVokExtCollectionItem* item) {
    m_items.erase(std::remove(m_items.begin(), m_items.end(), item), m_items.end());
    item->m_collection = nullptr;
    item->m_announced = false;
    m_changeMarker = -1;
}

void TVokExtCollection::Announce(TVokExtCollectionItem* item) {
    m_changeMarker = -1;
    try {
        ItemAdded(item);
    } catch (...) {
        Leave(item);
        throw;
    }
    item->m_announced = true;
    m_changeMarker = -1;
    // A snapshot, so that observers may unregister (themselves or others) while being told;
    // an observer unregistered meanwhile is skipped.
    const std::vector<IVokCollectionObserver*> observers = m_observers;
    for (IVokCollectionObserver* observer : observers) {
        if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end()) {
            continue;
        }
        try {
            observer->ItemAdded(item);
        } catch (...) {
            // An observer's failure must not undo or stop the change.
        }
    }
}

void TVokExtCollection::NotifyRemoving(TVokExtCollectionItem* item) {
    m_changeMarker = -1;
    if (!item->m_announced) {
        return;
    }
    item->m_announced = false;
    const std::vector<IVokCollectionObserver*> observers = m_observers;
    for (IVokCollectionObserver* observer : observers) {
        if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end()) {
            continue;
        }
        try {
            observer->ItemRemoving(item);
        } catch (...) {
            // An observer's failure must not stop the removal.
        }
    }
}

void TVokExtCollection::Changed(TVokExtCollectionItem* item) {
    m_changeMarker = -1;
    if (m_updateCount == 0) {
        Update(item);
    }
}

void TVokExtCollection::ItemDestroyed(TVokExtCollectionItem* item) noexcept {
    if (m_destroying || item == m_quietItem) {
        // The collection is going away, or Delete reports the change itself.
        m_items.erase(std::remove(m_items.begin(), m_items.end(), item), m_items.end());
        item->m_collection = nullptr;
        return;
    }
    try {
        NotifyRemoving(item);
        Leave(item);
        Changed(nullptr);
    } catch (...) {
        // A destructor cannot report it; the item has left the collection either way.
        if (item->m_collection == this) {
            Leave(item);
        }
    }
}
