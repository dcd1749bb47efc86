#include "pins/VokStateDispatcher.h"

#include <algorithm>
#include <stdexcept>

namespace {

/// The dispatchers of run time [0] and of design state [1]; guarded by
/// detail::VokRegistryMutex().
std::vector<TVokStateDispatcher*>* DispatcherLists() {
    static auto* const s_lists = new std::vector<TVokStateDispatcher*>[2];
    return s_lists;
}

std::vector<TVokStateDispatcher*>& ListOf(bool designing) {
    return DispatcherLists()[designing ? 1 : 0];
}

} // namespace

TVokStateDispatcher::TVokStateDispatcher(std::string name, bool designing)
    : m_name(std::move(name)), m_designing(designing) {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    ListOf(designing).push_back(this);
}

TVokStateDispatcher::~TVokStateDispatcher() {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    for (bool designing : {false, true}) {
        auto& list = ListOf(designing);
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

const TVokDispatcherPinStorage& TVokStateDispatcher::At(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_members.size()) {
        throw std::out_of_range("Index out of range = " + std::to_string(index));
    }
    return m_members[static_cast<size_t>(index)];
}

int TVokStateDispatcher::IndexOf(const TVokBasicPin* pin) const {
    for (size_t i = 0; i < m_members.size(); ++i) {
        if (m_members[i].m_pin == pin) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TVokStateDispatcher::AddPinEx(TVokBasicPin* pin, TVokBasicPin* realPin) {
    if (pin == nullptr) {
        return;
    }
    TVokGlobalWriteLockSection global;
    if (IndexOf(pin) >= 0) {
        return;
    }
    m_members.push_back(TVokDispatcherPinStorage{pin, realPin});
}

void TVokStateDispatcher::RemovePin(TVokBasicPin* pin) {
    TVokGlobalWriteLockSection global;
    const int index = IndexOf(pin);
    if (index < 0) {
        return;
    }
    const TVokBasicPin* joinedThrough = m_members[static_cast<size_t>(index)].m_joinedThrough;
    m_members.erase(m_members.begin() + index);
    if (pin->m_dispatcher == this) {
        pin->m_dispatcher = nullptr;
    }
    if (joinedThrough != nullptr) {
        for (TVokDispatcherPinStorage& member : m_members) {
            if (member.m_joinedThrough == joinedThrough) {
                member.m_joinedThrough = nullptr;
                break;
            }
        }
    }
    // A state link needs two ends: the last member is let go and the dispatcher goes away.
    if (m_members.size() == 1) {
        TVokBasicPin* last = m_members.front().m_pin;
        if (last->m_dispatcher == this) {
            last->m_dispatcher = nullptr;
        }
        m_members.clear();
    }
    if (m_members.empty()) {
        delete this;
    }
}

void TVokStateDispatcher::ObjectRemoved(TVokPinObject* object) {
    for (TVokDispatcherPinStorage& member : m_members) {
        if (member.m_joinedThrough == object) {
            member.m_joinedThrough = nullptr;
        }
    }
}

bool TVokStateDispatcher::NoteWrittenFor(const std::string& rootName) {
    TVokGlobalWriteLockSection global;
    const bool written =
        std::find(m_writtenRoots.begin(), m_writtenRoots.end(), rootName) != m_writtenRoots.end();
    if (!written) {
        m_writtenRoots.push_back(rootName);
    }
    if (++m_writeCount >= GetPinCount()) {
        m_writtenRoots.clear();
        m_writeCount = 0;
    }
    return written;
}

TVokStateDispatcher* TVokStateDispatcher::Find(const std::string& name, bool designing) {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    for (TVokStateDispatcher* dispatcher : ListOf(designing)) {
        if (dispatcher->m_name == name) {
            return dispatcher;
        }
    }
    return nullptr;
}

std::string TVokStateDispatcher::UniqueName(const std::string& rootName, bool designing) {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    for (int number = 1;; ++number) {
        std::string name = rootName + "Link" + std::to_string(number);
        if (Find(name, designing) == nullptr) {
            return name;
        }
    }
}

std::vector<TVokStateDispatcher*> TVokStateDispatcher::LiveDispatchers() {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    std::vector<TVokStateDispatcher*> all = ListOf(false);
    all.insert(all.end(), ListOf(true).begin(), ListOf(true).end());
    return all;
}

int64_t TVokStateDispatcher::LiveCount() {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    return static_cast<int64_t>(ListOf(false).size() + ListOf(true).size());
}
