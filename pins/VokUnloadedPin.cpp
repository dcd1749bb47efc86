#include "pins/VokUnloadedPin.h"

#include "pins/VokComponent.h"
#include "pins/VokPinList.h"
#include "pins/VokStateDispatcher.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace {

/// Every registered placeholder; guarded by detail::VokRegistryMutex().
std::vector<TVokUnloadedPin*>& Registry() {
    static auto* const s_placeholders = new std::vector<TVokUnloadedPin*>();
    return *s_placeholders;
}

std::atomic<uint64_t> s_nextSerial{1};

std::string AfterFirstDot(const std::string& name) {
    const size_t dot = name.find('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string BeforeFirstDot(const std::string& name) {
    return name.substr(0, name.find('.'));
}

std::vector<TVokUnloadedPin*> RegistrySnapshot() {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    return Registry();
}

bool IsRegistered(const TVokUnloadedPin* placeholder) {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    const auto& registry = Registry();
    return std::find(registry.begin(), registry.end(), placeholder) != registry.end();
}

/// Matching by index name: a pin of the reader's root (or without root) matches through its
/// full index name with root, or without root when its root name is the reader's; a pin of
/// another root only through its name with root, and only when that root has another name.
bool MatchesIndexName(TVokBasicPin* pin, const std::string& name, const TVokComponent* root,
                      const std::string& rootName) {
    const TVokComponent* pinRoot = pin->GetRoot();
    if (pinRoot == root || pinRoot == nullptr) {
        if (pin->GetFullIndexName(true) == name) {
            return true;
        }
        return pin->GetRootName() == rootName && pin->GetFullIndexName(false) == name;
    }
    return pin->GetRootName() != rootName && pin->GetFullIndexName(true) == name;
}

} // namespace

TVokUnloadedPin::TVokUnloadedPin(TVokPinKind kind, std::string indexName, std::string displayName,
                                 TVokComponent* root, std::string requesterName)
    : m_kind(kind), m_indexName(std::move(indexName)), m_displayName(std::move(displayName)),
      m_root(root != nullptr && root->GetName() == BeforeFirstDot(m_indexName) ? root : nullptr),
      m_requesterName(std::move(requesterName)), m_serial(s_nextSerial++) {
}

TVokUnloadedPin::~TVokUnloadedPin() {
    BeforeDestruction();
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    auto& registry = Registry();
    registry.erase(std::remove(registry.begin(), registry.end(), this), registry.end());
}

std::string TVokUnloadedPin::GetFullIndexName(bool withRoot) const {
    return withRoot ? m_indexName : AfterFirstDot(m_indexName);
}

std::string TVokUnloadedPin::GetFullName(bool withRoot) const {
    return withRoot ? m_displayName : AfterFirstDot(m_indexName);
}

std::string TVokUnloadedPin::GetPinName() const {
    const size_t dot = m_displayName.rfind('.');
    return dot == std::string::npos ? m_displayName : m_displayName.substr(dot + 1);
}

bool TVokUnloadedPin::CanConnectTo(TVokBasicPin* pin) const {
    return pin != nullptr && pin != this && !pin->IsPlaceholder() && pin->IsDesigning();
}

bool TVokUnloadedPin::IsConnected() const {
    TVokGlobalReadLockSection global;
    return !m_links.empty();
}

bool TVokUnloadedPin::IsConnectedTo(TVokBasicPin* pin) const {
    TVokGlobalReadLockSection global;
    return std::any_of(m_links.begin(), m_links.end(),
                       [pin](const TRecordedLink& link) { return link.m_pin == pin; });
}

TVokBasicPin* TVokUnloadedPin::GetDependency(TVokBasicPin* pin) const {
    TVokGlobalReadLockSection global;
    for (const TRecordedLink& link : m_links) {
        if (link.m_pin == pin) {
            return link.m_dependency;
        }
    }
    return nullptr;
}

int TVokUnloadedPin::GetLinkCount() const {
    TVokGlobalReadLockSection global;
    return static_cast<int>(m_links.size());
}

TVokBasicPin* TVokUnloadedPin::GetLinkedPin(int index) const {
    TVokGlobalReadLockSection global;
    if (index < 0 || static_cast<size_t>(index) >= m_links.size()) {
        throw std::out_of_range("Index out of range = " + std::to_string(index));
    }
    return m_links[static_cast<size_t>(index)].m_pin;
}

TVokBasicPin* TVokUnloadedPin::GetLinkDependency(int index) const {
    TVokGlobalReadLockSection global;
    if (index < 0 || static_cast<size_t>(index) >= m_links.size()) {
        throw std::out_of_range("Index out of range = " + std::to_string(index));
    }
    return m_links[static_cast<size_t>(index)].m_dependency;
}

bool TVokUnloadedPin::ConnectEx(TVokBasicPin* pin, TVokBasicPin* dependency) {
    if (!CanConnectTo(pin)) {
        return false;
    }
    TVokGlobalWriteLockSection global;
    for (TRecordedLink& link : m_links) {
        if (link.m_pin == pin) {
            link.m_dependency = dependency;
            return true;
        }
    }
    if (auto* sink = dynamic_cast<TVokSinkPin*>(pin); sink != nullptr && sink->HasSourcePin()) {
        sink->Connect(nullptr);
    }
    m_links.push_back(TRecordedLink{pin, dependency});
    return true;
}

void TVokUnloadedPin::RemoveLink(TVokBasicPin* pin, bool keepPlaceholder) {
    TVokGlobalWriteLockSection global;
    const size_t before = m_links.size();
    m_links.erase(std::remove_if(m_links.begin(), m_links.end(),
                                 [pin](const TRecordedLink& link) { return link.m_pin == pin; }),
                  m_links.end());
    if (!keepPlaceholder && before != m_links.size()) {
        DisposeIfUnused();
    }
}

void TVokUnloadedPin::Disconnect() {
    TVokGlobalWriteLockSection global;
    LeaveDispatcher();
    m_links.clear();
}

void TVokUnloadedPin::ObjectRemoved(TVokPinObject* object) {
    for (TRecordedLink& link : m_links) {
        if (link.m_dependency == object) {
            link.m_dependency = nullptr;
        }
    }
    if (auto* pin = dynamic_cast<TVokBasicPin*>(object); pin != nullptr && IsConnectedTo(pin)) {
        RemoveLink(pin, false);
    }
}

void TVokUnloadedPin::ReplaceDependency(TVokBasicPin* oldPin, TVokBasicPin* newPin) {
    TVokGlobalWriteLockSection global;
    for (TRecordedLink& link : m_links) {
        if (link.m_dependency == oldPin) {
            link.m_dependency = newPin;
        }
    }
}

void TVokUnloadedPin::HandOverTo(TVokBasicPin* pin) {
    TVokGlobalWriteLockSection global;
    if (m_disposing) {
        return;
    }
    m_disposing = true;
    const std::vector<TRecordedLink> links = std::move(m_links);
    m_links.clear();
    std::exception_ptr firstError;
    if (pin != nullptr && pin != this) {
        for (auto link = links.rbegin(); link != links.rend(); ++link) {
            try {
                pin->ConnectEx(link->m_pin, link->m_dependency);
            } catch (...) {
                if (!firstError) {
                    firstError = std::current_exception();
                }
            }
        }
        if (!m_stateName.empty()) {
            pin->JoinNamedDispatcher(m_stateName);
        }
        for (TVokBasicPin* other : TVokBasicPin::LivePinsSnapshot()) {
            if (other != this) {
                other->ReplaceDependency(this, pin);
            }
        }
    }
    m_disposing = false;
    Dispose();
    if (firstError) {
        std::rethrow_exception(firstError);
    }
}

void TVokUnloadedPin::DisposeIfUnused() {
    TVokGlobalWriteLockSection global;
    if (!m_heldByList && m_links.empty()) {
        Dispose();
    }
}

void TVokUnloadedPin::Dispose() {
    if (m_disposing) {
        return;
    }
    m_disposing = true;
    {
        std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
        auto& registry = Registry();
        registry.erase(std::remove(registry.begin(), registry.end(), this), registry.end());
    }
    TVokPinDeleter()(this);
}

// ---- registry --------------------------------------------------------------------------------

TVokUnloadedPin* TVokUnloadedPin::Create(TVokComponent* root, TVokPinKind kind,
                                         const std::string& indexName,
                                         const std::string& displayName,
                                         const std::string& requesterName) {
    auto* placeholder = new TVokUnloadedPin(kind, indexName, displayName, root, requesterName);
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    Registry().push_back(placeholder);
    return placeholder;
}

TVokBasicPin* TVokUnloadedPin::FindOrCreatePin(TVokComponent* root, TVokPinKind kind,
                                               const std::string& indexName,
                                               const std::string& displayName,
                                               const std::string& requesterName) {
    if (indexName.empty()) {
        return nullptr;
    }
    // Global lock before the registry section: the order pin destruction uses.
    TVokGlobalWriteLockSection global;
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    const std::string rootName = root != nullptr ? root->GetName() : std::string();
    const std::vector<TVokBasicPin*> pins = LivePinsSnapshot();
    for (TVokBasicPin* pin : pins) {
        if (MatchesIndexName(pin, indexName, root, rootName)) {
            return pin;
        }
    }
    if (!displayName.empty()) {
        for (TVokBasicPin* pin : pins) {
            const TVokComponent* pinRoot = pin->GetRoot();
            if ((pinRoot == root || pinRoot == nullptr) &&
                (pin->GetFullName(false) == displayName || pin->GetFullName(true) == displayName)) {
                return pin;
            }
        }
    }
    return Create(root, kind, indexName, displayName.empty() ? indexName : displayName,
                  requesterName);
}

void TVokUnloadedPin::ResolveFor(TVokBasicPin* pin) {
    if (pin == nullptr || pin->IsPlaceholder()) {
        return;
    }
    TVokGlobalWriteLockSection global;
    const std::string rootName = pin->GetRootName();
    const std::string names[] = {pin->GetFullIndexName(true), pin->GetFullName(true)};
    const std::string shortNames[] = {pin->GetFullIndexName(false), pin->GetFullName(false)};
    auto matches = [&](const TVokUnloadedPin* placeholder) {
        if (placeholder->m_heldByList || placeholder->m_disposing) {
            return false;
        }
        const std::string index = placeholder->GetFullIndexName(true);
        if (index == names[0] || index == names[1]) {
            return true;
        }
        const std::string shortIndex = placeholder->GetFullIndexName(false);
        return placeholder->GetRootName() == rootName &&
               (shortIndex == shortNames[0] || shortIndex == shortNames[1]);
    };
    // Each hand-over removes one placeholder, so the registry size bounds the loop.
    for (size_t round = RegistrySnapshot().size(); round > 0; --round) {
        const std::vector<TVokUnloadedPin*> placeholders = RegistrySnapshot();
        auto found = std::find_if(placeholders.begin(), placeholders.end(), matches);
        if (found == placeholders.end()) {
            return;
        }
        (*found)->HandOverTo(pin);
    }
}

int64_t TVokUnloadedPin::PlaceholderCount() {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    return static_cast<int64_t>(Registry().size());
}

uint64_t TVokUnloadedPin::NextSerial() {
    return s_nextSerial.load();
}

void TVokUnloadedPin::DiscardSince(uint64_t serial) {
    TVokGlobalWriteLockSection global;
    for (TVokUnloadedPin* placeholder : RegistrySnapshot()) {
        if (!IsRegistered(placeholder) || placeholder->m_serial < serial) {
            continue; // gone already, or older than the reading
        }
        if (placeholder->m_heldByList) {
            for (TVokPinList* list : TVokPinList::LiveLists()) {
                if (list->IndexOf(placeholder) >= 0) {
                    list->Remove(placeholder); // may dispose of it already
                    if (!IsRegistered(placeholder)) {
                        break;
                    }
                }
            }
            if (!IsRegistered(placeholder)) {
                continue;
            }
        }
        placeholder->m_heldByList = false;
        placeholder->Dispose();
    }
}

void TVokUnloadedPin::PurgeUnusedSince(uint64_t serial) {
    TVokGlobalWriteLockSection global;
    for (TVokUnloadedPin* placeholder : RegistrySnapshot()) {
        if (IsRegistered(placeholder) && placeholder->m_serial >= serial) {
            placeholder->DisposeIfUnused();
        }
    }
}
