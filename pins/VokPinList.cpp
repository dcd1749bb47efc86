#include "pins/VokPinList.h"

#include "pins/VokComponent.h"
#include "pins/VokPin.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

std::string DefaultDisplayName(int index) {
    return "Pin [" + std::to_string(index) + "]";
}

} // namespace

// ---- TVokPinList -----------------------------------------------------------------------------

namespace {

/// Every live pin list; guarded by detail::VokRegistryMutex().
std::vector<TVokPinList*>& Lists() {
    static auto* const s_lists = new std::vector<TVokPinList*>();
    return *s_lists;
}

} // namespace

TVokPinList::TVokPinList(TVokComponent* owner, bool ownsPins)
    : m_owner(owner), m_ownsPins(ownsPins) {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    Lists().push_back(this);
}

TVokPinList::~TVokPinList() {
    Clear();
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    Lists().erase(std::remove(Lists().begin(), Lists().end(), this), Lists().end());
}

std::vector<TVokPinList*> TVokPinList::LiveLists() {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    return Lists();
}

const TVokClassInfo& TVokPinList::ClassInfo() {
    using T = TVokPinList;
    static const TVokClassInfo info("TVokPinList", nullptr, nullptr,
                                    {
                                        TVokProp::Integer("Count", &T::GetCount, &T::SetCount, 0),
                                    });
    return info;
}

void TVokPinList::CheckIndex(int index, int count) const {
    if (index < 0 || index >= count) {
        throw std::out_of_range("Index out of range = " + std::to_string(index));
    }
}

void TVokPinList::DropTrailingPlaceholders() const {
    if (m_pending == 0 ||
        (m_owner != nullptr && (m_owner->IsLoading() || m_owner->IsDesigning()))) {
        return;
    }
    // Slots that no real pin has filled by now never will be: a form named more pins than the
    // component made.
    TVokGlobalWriteLockSection global;
    auto& entries = const_cast<std::vector<TEntry>&>(m_entries);
    while (m_pending > 0 && !entries.empty() && entries.back().m_pin->IsPlaceholder()) {
        TVokBasicPin* placeholder = entries.back().m_pin;
        entries.pop_back();
        --m_pending;
        placeholder->SetHeldByList(false);
        placeholder->DisposeIfUnused();
    }
}

int TVokPinList::GetCount() const {
    DropTrailingPlaceholders();
    TVokReadLockSection section(const_cast<TVokPinList&>(*this));
    return RawCount() - m_pending;
}

void TVokPinList::SetCount(int /*count*/) {
}

TVokBasicPin* TVokPinList::GetPin(int index) const {
    DropTrailingPlaceholders();
    TVokReadLockSection section(const_cast<TVokPinList&>(*this));
    CheckIndex(index, RawCount());
    return m_entries[static_cast<size_t>(index)].m_pin;
}

void TVokPinList::AddNamed(TVokBasicPin* pin, const std::string& name) {
    if (pin == nullptr) {
        throw std::invalid_argument("Cannot add a null pin to a pin list");
    }
    TVokGlobalWriteLockSection global;
    TVokWriteLockSection section(*this);
    if (pin->IsPlaceholder()) {
        pin->SetHeldByList(true);
        ++m_pending;
        m_entries.push_back(TEntry{name, pin});
        return;
    }
    auto slot = std::find_if(m_entries.begin(), m_entries.end(),
                             [](const TEntry& entry) { return entry.m_pin->IsPlaceholder(); });
    const bool fillsSlot = m_pending > 0 && slot != m_entries.end();
    if (fillsSlot) {
        TVokBasicPin* placeholder = slot->m_pin;
        *slot = TEntry{name, pin};
        --m_pending;
        placeholder->SetHeldByList(false);
        placeholder->HandOverTo(pin); // hands its links over and discards itself
    } else {
        m_entries.push_back(TEntry{name, pin});
    }
    if (pin->GetOwner() == m_owner) {
        pin->SetPinList(this);
    }
    if (fillsSlot) {
        // Now that the pin has its name in the list, links named for it elsewhere reach it.
        pin->ResolvePlaceholders();
    }
}

void TVokPinList::DeleteEntry(int index) {
    TEntry entry = std::move(m_entries[static_cast<size_t>(index)]);
    m_entries.erase(m_entries.begin() + index);
    if (entry.m_pin->IsPlaceholder()) {
        --m_pending;
        entry.m_pin->SetHeldByList(false);
        entry.m_pin->DisposeIfUnused();
        return;
    }
    if (entry.m_pin->GetPinList() == this) {
        entry.m_pin->SetPinList(nullptr);
    }
    if (m_ownsPins) {
        TVokPinDeleter()(entry.m_pin);
    }
}

void TVokPinList::Delete(int index) {
    TVokGlobalWriteLockSection global;
    TVokWriteLockSection section(*this);
    CheckIndex(index, RawCount());
    DeleteEntry(index);
}

void TVokPinList::Remove(TVokBasicPin* pin) {
    TVokGlobalWriteLockSection global;
    TVokWriteLockSection section(*this);
    for (int index = RawCount(); index-- > 0;) {
        if (index < RawCount() && m_entries[static_cast<size_t>(index)].m_pin == pin) {
            DeleteEntry(index);
        }
    }
}

void TVokPinList::Clear() {
    TVokGlobalWriteLockSection global;
    TVokWriteLockSection section(*this);
    while (!m_entries.empty()) {
        DeleteEntry(RawCount() - 1);
    }
}

void TVokPinList::PinDestroyed(TVokBasicPin* pin) {
    TVokGlobalWriteLockSection global;
    TVokWriteLockSection section(*this);
    if (pin->IsPlaceholder()) {
        for (const TEntry& entry : m_entries) {
            if (entry.m_pin == pin) {
                --m_pending;
            }
        }
    }
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [pin](const TEntry& entry) { return entry.m_pin == pin; }),
                    m_entries.end());
}

int TVokPinList::GetEntryCount() const {
    TVokReadLockSection section(const_cast<TVokPinList&>(*this));
    return RawCount();
}

int TVokPinList::IndexOf(const TVokBasicPin* pin) const {
    TVokReadLockSection section(const_cast<TVokPinList&>(*this));
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].m_pin == pin) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TVokPinList::Exchange(int first, int second) {
    TVokGlobalWriteLockSection global;
    TVokWriteLockSection section(*this);
    CheckIndex(first, RawCount());
    CheckIndex(second, RawCount());
    std::swap(m_entries[static_cast<size_t>(first)], m_entries[static_cast<size_t>(second)]);
}

std::string TVokPinList::GetPinDisplayName(int index) const {
    TVokReadLockSection section(const_cast<TVokPinList&>(*this));
    CheckIndex(index, RawCount());
    const std::string& name = m_entries[static_cast<size_t>(index)].m_name;
    return name.empty() ? DefaultDisplayName(index) : name;
}

void TVokPinList::SetPinDisplayName(int index, const std::string& name) {
    TVokGlobalWriteLockSection global;
    TVokWriteLockSection section(*this);
    if (index < 0 || index >= RawCount() - m_pending) {
        return;
    }
    std::string stored = name == DefaultDisplayName(index) ? std::string() : name;
    m_entries[static_cast<size_t>(index)].m_name = std::move(stored);
}

std::string TVokPinList::GetRootName() const {
    if (m_owner == nullptr) {
        return {};
    }
    return m_owner->GetRoot()->GetName();
}

bool TVokPinList::HasLinks() const {
    TVokReadLockSection section(const_cast<TVokPinList&>(*this));
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [](const TEntry& entry) { return entry.m_pin->IsConnected(); });
}

// ---- TVokPinListOwner ------------------------------------------------------------------------

TVokPinListOwner::TVokPinListOwner(TVokComponent* owner, TRemoveCallback removeCallback,
                                   TCreateCallback createCallback, int maximum, int minimum)
    : TVokPinList(owner, true), m_minimum(std::max(minimum, 0)), m_maximum(maximum),
      m_removeCallback(std::move(removeCallback)), m_createCallback(std::move(createCallback)) {
    Resize(m_minimum);
}

TVokPinListOwner::~TVokPinListOwner() {
    Resize(0);
}

const TVokClassInfo& TVokPinListOwner::ClassInfo() {
    static const TVokClassInfo info("TVokPinListOwner", &TVokPinList::ClassInfo(), nullptr, {});
    return info;
}

void TVokPinListOwner::SetCount(int count) {
    Resize(std::min(std::max(count, m_minimum), m_maximum));
}

void TVokPinListOwner::Resize(int count) {
    TVokGlobalWriteLockSection global;
    while (GetCount() > count) {
        const int last = RawCount() - 1;
        if (m_removeCallback) {
            m_removeCallback(*this, GetPin(last));
        }
        TVokWriteLockSection section(*this);
        DeleteEntry(last);
    }
    if (!m_createCallback) {
        return;
    }
    while (GetCount() < count) {
        TVokBasicPin* pin = m_createCallback(*this);
        if (pin == nullptr) {
            break; // the callback refused; the list stays shorter
        }
        Add(pin);
    }
}
