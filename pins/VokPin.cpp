#include "pins/VokPin.h"

#include "pins/VokComponent.h"
#include "pins/VokPinList.h"
#include "pins/VokStateDispatcher.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>

namespace detail {

std::recursive_mutex& VokRegistryMutex() {
    // Never destroyed: pins with static storage may still leave the registry at exit.
    static auto* const s_mutex = new std::recursive_mutex();
    return *s_mutex;
}

} // namespace detail

namespace {

/// Every live pin, placeholders included; guarded by detail::VokRegistryMutex().
std::vector<TVokBasicPin*>& LivePins() {
    static auto* const s_pins = new std::vector<TVokBasicPin*>();
    return *s_pins;
}

/// Holds an object's group write lock; the caller already holds the global lock.
class TGroupWriteHold {
  public:
    explicit TGroupWriteHold(TVokObject& object) : m_object(object) { object.BeginWrite(); }
    ~TGroupWriteHold() { m_object.EndWrite(); }
    TGroupWriteHold(const TGroupWriteHold&) = delete;
    TGroupWriteHold& operator=(const TGroupWriteHold&) = delete;

  private:
    TVokObject& m_object;
};

/// Resets a flag or counter on scope exit, also when an exception passes.
template <class F> class TScopeExit {
  public:
    explicit TScopeExit(F action) : m_action(std::move(action)) {}
    ~TScopeExit() { m_action(); }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;

  private:
    F m_action;
};

/// Source pins inside a `DependsOnRecursive` query on this thread: the re-entrancy guard that
/// stops the walk at a pin already being asked. Per thread, so concurrent queries (which only
/// hold the global read lock) do not disturb each other.
thread_local std::vector<const TVokSourcePin*> t_dependencyQueries;

/// Bound on the lock-chain walk; the link rules keep the graph free of loops, this keeps a
/// broken invariant from recursing without end.
constexpr int kMaxChainDepth = 256;

/// Weight bookkeeping of link entries.
constexpr int32_t kMaxRaisedWeight = 10000;
constexpr int32_t kServeLaterStep = 4;
/// Nesting limits of dispatches and link notifications of one pin.
constexpr int kMaxDispatchDepth = 200;
constexpr int kMaxLinkNotificationDepth = 10;

} // namespace

// ---- TVokPinObject ---------------------------------------------------------------------------

void TVokPinObject::ObjectRemoved(TVokPinObject* /*object*/) {
}
void TVokPinObject::ReplaceDependency(TVokBasicPin* /*oldPin*/, TVokBasicPin* /*newPin*/) {
}
void TVokPinObject::SetDependencyByName(TVokBasicPin* /*sink*/, const std::string& /*name*/) {
}
std::string TVokPinObject::GetDependencyName(TVokBasicPin* /*sink*/) const {
    return {};
}

// ---- TVokBasicPin ----------------------------------------------------------------------------

TVokBasicPin::TVokBasicPin() {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    LivePins().push_back(this);
}

TVokBasicPin::~TVokBasicPin() {
    BeforeDestruction();
}

int64_t TVokBasicPin::LiveCount() {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    return static_cast<int64_t>(LivePins().size());
}

std::vector<TVokBasicPin*> TVokBasicPin::LivePinsSnapshot() {
    std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
    return LivePins();
}

void TVokBasicPin::BeforeDestruction() {
    if (m_destroyed) {
        return;
    }
    TVokGlobalWriteLockSection global;
    m_destroyed = true;
    try {
        Disconnect();
    } catch (...) {
        // A receiver that fails while its link is broken must not keep a pin alive that its
        // owner is freeing; Disconnect has removed every link before passing the error on.
    }
    // Every list forgets the pin, also lists of other components that hold it without being
    // recorded as its containing list.
    for (TVokPinList* list : TVokPinList::LiveLists()) {
        list->PinDestroyed(this);
    }
    m_pinList = nullptr;
    std::vector<TVokBasicPin*> others;
    {
        std::lock_guard<std::recursive_mutex> lock(detail::VokRegistryMutex());
        std::vector<TVokBasicPin*>& pins = LivePins();
        pins.erase(std::remove(pins.begin(), pins.end(), this), pins.end());
        others = pins;
    }
    for (TVokBasicPin* pin : others) {
        pin->ObjectRemoved(this);
    }
    for (TVokStateDispatcher* dispatcher : TVokStateDispatcher::LiveDispatchers()) {
        dispatcher->ObjectRemoved(this);
    }
}

void TVokBasicPin::RemoveLink(TVokBasicPin* /*pin*/, bool /*keepPlaceholder*/) {
}
void TVokBasicPin::AddLink(TVokBasicPin* /*pin*/, TVokBasicPin* /*dependency*/) {
}
TVokBasicPin* TVokBasicPin::GetDependency(TVokBasicPin* /*pin*/) const {
    return nullptr;
}
bool TVokBasicPin::DependsOn(TVokBasicPin* /*pin*/) const {
    return false;
}
TVokGuid TVokBasicPin::GetLinkType(TVokBasicPin* /*pin*/) const {
    return kVokNullType;
}

TVokComponent* TVokBasicPin::GetRoot() const {
    TVokComponent* owner = GetOwner();
    return owner != nullptr ? owner->GetRoot() : nullptr;
}

std::string TVokBasicPin::GetRootName() const {
    if (const TVokComponent* root = GetRoot()) {
        return root->GetName();
    }
    const std::string name = GetFullIndexName(true);
    return name.substr(0, name.find('.'));
}

bool TVokBasicPin::DependsOnRecursive(TVokBasicPin* /*pin*/) const {
    return false;
}

bool TVokBasicPin::CanConnectTo(TVokBasicPin* pin) const {
    return pin != nullptr && pin != this && pin->IsDesigning() == IsDesigning() &&
           (pin->IsPlaceholder() || IsPlaceholder());
}

bool TVokBasicPin::IsTypeCompatible(TVokBasicPin* /*pin*/) const {
    return false;
}

bool TVokBasicPin::IsConnected() const {
    return IsInDispatcher();
}

bool TVokBasicPin::IsInDispatcher() const {
    TVokGlobalReadLockSection global;
    return m_dispatcher != nullptr;
}

bool TVokBasicPin::IsConnectedTo(TVokBasicPin* pin) const {
    return IsInSameDispatcher(pin);
}

bool TVokBasicPin::IsDispatcher(const TVokStateDispatcher* dispatcher) const {
    TVokGlobalReadLockSection global;
    return dispatcher != nullptr && m_dispatcher == dispatcher;
}

bool TVokBasicPin::IsInSameDispatcher(const TVokBasicPin* pin) const {
    TVokGlobalReadLockSection global;
    return pin != nullptr && pin != this && m_dispatcher != nullptr &&
           pin->m_dispatcher == m_dispatcher;
}

TVokStateDispatcher* TVokBasicPin::GetDispatcher(int index) const {
    TVokGlobalReadLockSection global;
    if (index != 0 || m_dispatcher == nullptr) {
        throw std::out_of_range("Index out of range = " + std::to_string(index));
    }
    return m_dispatcher;
}

bool TVokBasicPin::ConnectStateEx(TVokBasicPin* pin, TVokBasicPin* realPin) {
    if (pin == nullptr || pin == this) {
        return false;
    }
    TVokGlobalWriteLockSection global;
    if (!CanConnectTo(pin)) {
        return false;
    }
    TGroupWriteHold self(*this);
    if (TVokStateDispatcher* dispatcher = m_dispatcher) {
        const bool joined = pin->JoinDispatcherEx(dispatcher, realPin);
        StateChanged();
        return joined;
    }
    if (TVokStateDispatcher* dispatcher = pin->m_dispatcher) {
        const bool joined = JoinDispatcher(dispatcher);
        StateChanged();
        return joined;
    }
    TVokStateDispatcher* dispatcher = CreateDispatcher(GetRoot());
    m_dispatcher = dispatcher;
    pin->m_dispatcher = dispatcher;
    dispatcher->AddPin(this);
    dispatcher->AddPinEx(pin, realPin);
    StateChanged();
    return true;
}

bool TVokBasicPin::ConnectEx(TVokBasicPin* pin, TVokBasicPin* /*dependency*/) {
    if (pin == nullptr || !CanConnectTo(pin)) {
        return false;
    }
    return ConnectState(pin);
}

bool TVokBasicPin::CanConnectWithDependency(TVokBasicPin* pin, TVokBasicPin* dependency) const {
    return dependency == nullptr && CanConnectTo(pin);
}

void TVokBasicPin::Disconnect() {
    TVokGlobalWriteLockSection global;
    LeaveDispatcher();
}

void TVokBasicPin::LeaveDispatcher() {
    if (TVokStateDispatcher* dispatcher = m_dispatcher) {
        dispatcher->RemovePin(this); // clears m_dispatcher and may delete the dispatcher
        m_dispatcher = nullptr;
    }
}

TVokNotifyResults TVokBasicPin::Notify(TVokNotifyOperation* operation) {
    return NotifyDispatcher(operation, {}, nullptr);
}

bool TVokBasicPin::JoinNamedDispatcher(const std::string& name) {
    TVokGlobalWriteLockSection global;
    TVokStateDispatcher* dispatcher = TVokStateDispatcher::Find(name, IsDesigning());
    if (dispatcher == nullptr) {
        dispatcher = CreateNamedDispatcher(name, IsDesigning());
    }
    if (dispatcher == m_dispatcher) {
        return true;
    }
    LeaveDispatcher();
    m_dispatcher = dispatcher;
    dispatcher->AddPin(this);
    StateChanged();
    return true;
}

TVokBasicPin* TVokBasicPin::GetLinkedPin(int index) const {
    throw std::out_of_range("Index out of range = " + std::to_string(index));
}

TVokBasicPin* TVokBasicPin::GetLinkDependency(int index) const {
    throw std::out_of_range("Index out of range = " + std::to_string(index));
}

bool TVokBasicPin::JoinDispatcherEx(TVokStateDispatcher* dispatcher, TVokBasicPin* realPin) {
    TVokGlobalWriteLockSection global;
    TGroupWriteHold self(*this);
    if (dispatcher == m_dispatcher) {
        return false;
    }
    if (m_dispatcher != nullptr) {
        Disconnect();
    }
    if (dispatcher == nullptr || !CanJoinDispatcher(dispatcher)) {
        return false;
    }
    dispatcher->AddPinEx(this, realPin);
    m_dispatcher = dispatcher;
    StateChanged();
    return true;
}

bool TVokBasicPin::CanJoinDispatcher(TVokStateDispatcher* dispatcher) const {
    if (dispatcher == nullptr) {
        return false;
    }
    TVokGlobalReadLockSection global;
    const bool skipSinks = GetPinKind() == vpkSink;
    for (int i = 0; i < dispatcher->GetPinCount(); ++i) {
        TVokBasicPin* member = dispatcher->GetPin(i);
        if (member == this || (skipSinks && member->GetPinKind() == vpkSink)) {
            continue;
        }
        if (!CanConnectTo(member)) {
            return false;
        }
    }
    return true;
}

TVokStateDispatcher* TVokBasicPin::CreateDispatcher(TVokComponent* root) {
    const std::string rootName = root != nullptr ? root->GetName() : GetRootName();
    return CreateNamedDispatcher(TVokStateDispatcher::UniqueName(rootName, IsDesigning()),
                                 IsDesigning());
}

TVokStateDispatcher* TVokBasicPin::CreateNamedDispatcher(const std::string& name, bool designing) {
    return new TVokStateDispatcher(name, designing);
}

bool TVokBasicPin::IsDesigning() const {
    const TVokComponent* owner = GetOwner();
    return owner != nullptr && owner->IsDesigning();
}

TVokGuid TVokBasicPin::GetStateType(TVokBasicPin* /*pin*/) const {
    return kVokNullType;
}

TVokNotifyResults TVokBasicPin::NotifyDispatcher(TVokNotifyOperation* /*operation*/,
                                                 TVokNotifyFlags /*flags*/,
                                                 TVokBasicPin* /*target*/) {
    return {};
}

void TVokBasicPin::StateChanged() {
    TVokGlobalWriteLockSection global;
    TVokStateDispatcher* dispatcher = m_dispatcher;
    if (dispatcher == nullptr) {
        return;
    }
    TGroupWriteHold dispatcherHold(*dispatcher);
    std::vector<TVokBasicPin*> members;
    for (int i = 0; i < dispatcher->GetPinCount(); ++i) {
        members.push_back(dispatcher->GetPin(i));
    }
    const TVokNotifyFlags flags{nfLinkChanged};
    auto synchronise = [&](TVokBasicPin* sender, TVokBasicPin* target) {
        TRef<TVokNotifyOperation> operation = MakeRef<TVokNotifyOperation>();
        sender->NotifyDispatcher(operation.Get(), flags, target);
    };
    auto source = std::find_if(members.begin(), members.end(),
                               [](TVokBasicPin* pin) { return pin->GetPinKind() == vpkSource; });
    if (source != members.end()) {
        synchronise(*source, *source == this ? nullptr : this);
        return;
    }
    for (TVokBasicPin* member : members) {
        if (member->GetPinKind() == vpkSink) {
            continue;
        }
        synchronise(member, member == this ? nullptr : this);
    }
}

bool TVokBasicPin::QueryType(const TVokGuid& /*typeId*/) const {
    return false;
}

TVokNotifyResults TVokBasicPin::Receive(const TVokGuid& /*typeId*/,
                                        TVokNotifyOperation* /*operation*/,
                                        TVokNotifyFlags /*flags*/) {
    return {};
}

// ---- TVokPin ---------------------------------------------------------------------------------

TVokPin::TVokPin(TVokComponent* owner) : m_owner(owner) {
}

void TVokPin::AddStreamType(const TVokGuid& typeId, TVokLinkHandler handler) {
    TVokWriteLockSection section(*this);
    m_streamTypes.AddOrSet(typeId, handler);
}

void TVokPin::AddStreamTypeId(const TVokGuid& typeId) {
    AddStreamType(typeId, TVokLinkHandler{&TVokPin::RegistryDispatch, this});
}

TVokLinkHandler TVokPin::GetHandlerFor(const TVokGuid& typeId) const {
    if (typeId.IsNull()) {
        return {};
    }
    const int index = m_streamTypes.IndexOf(typeId);
    if (index < 0) {
        return {};
    }
    const TVokLinkHandler& handler = m_streamTypes.GetHandler(index);
    if (handler.IsAssigned()) {
        return handler;
    }
    return TVokLinkHandler{&TVokPin::RegistryDispatch, const_cast<TVokPin*>(this)};
}

TVokNotifyResults TVokPin::RegistryDispatch(void* context, TVokBasicPin* receiver,
                                            const TVokGuid& typeId, TVokNotifyFlags flags,
                                            TVokNotifyOperation* operation) {
    const TVokDefaultDispatch function =
        TVokStreamTypeRegistry::Instance().GetDefaultDispatch(typeId);
    if (function == nullptr) {
        return {};
    }
    return function(static_cast<TVokPin*>(context), receiver, typeId, flags, operation);
}

TVokGuid TVokPin::GetStateType(TVokBasicPin* pin) const {
    if (pin == nullptr) {
        return kVokNullType;
    }
    const auto& entries = m_streamTypes.GetEntries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (pin->QueryType(it->m_typeId)) {
            return it->m_typeId;
        }
    }
    return kVokNullType;
}

TVokGuid TVokPin::GetDefaultStateType() const {
    const auto& entries = m_streamTypes.GetEntries();
    return entries.empty() ? kVokNullType : entries.back().m_typeId;
}

TVokGuid TVokPin::GetStateTypeWith(TVokBasicPin* pin) const {
    return GetStateType(pin);
}

TVokNotifyResults TVokPin::NotifyDispatcher(TVokNotifyOperation* operation, TVokNotifyFlags flags,
                                            TVokBasicPin* target) {
    TVokWriteLockSection section(*this);
    TVokStateDispatcher* dispatcher = m_dispatcher;
    if (dispatcher == nullptr) {
        return {};
    }
    // Members are copied first: a handler that makes a structural change (which the dispatching
    // thread may do) must not invalidate the walk.
    std::vector<TVokBasicPin*> members;
    members.reserve(static_cast<size_t>(dispatcher->GetPinCount()));
    for (int i = 0; i < dispatcher->GetPinCount(); ++i) {
        members.push_back(dispatcher->GetPin(i));
    }
    const size_t count = members.size();
    for (size_t i = 0; i < count; ++i) {
        TVokBasicPin* member = members[i];
        if (target != nullptr) {
            if (member != target) {
                continue;
            }
            flags.Include(nfLastReceiver);
        } else if (i + 1 == count || (i + 2 == count && members[count - 1] == this)) {
            flags.Include(nfLastReceiver);
        }
        if (member == this) {
            continue;
        }
        const TVokGuid stateType = GetStateTypeWith(member);
        const TVokLinkHandler handler = GetHandlerFor(stateType);
        // Only the sender's group is held: members of one dispatcher send to each other, so
        // locking the receiver as well would take two groups in both orders.
        if (handler.IsAssigned()) {
            handler(member, stateType, flags, operation);
        }
    }
    return {};
}

// ---- TVokStreamPin ---------------------------------------------------------------------------

void TVokStreamPin::CollectTypes(TVokPinTypeRestricted& list, TVokBasicPin* /*requester*/) const {
    for (const TVokStreamTypeEntry& entry : GetStreamTypes().GetEntries()) {
        list.AddOrSet(entry.m_typeId, entry.m_handler);
    }
}

// ---- TVokFunctionSinkPinList -----------------------------------------------------------------

void TVokFunctionSinkPinList::Add(TVokSinkPin* sinkPin, bool shareLock) {
    if (sinkPin == nullptr) {
        throw std::invalid_argument("Cannot add a null sink pin to the function dependencies of " +
                                    m_source.GetFullName(true));
    }
    TVokGlobalWriteLockSection global;
    m_pins.push_back(sinkPin);
    sinkPin->m_dependentSources.push_back(&m_source);
    if (shareLock) {
        TVokObject::LinkObjects(&m_source, sinkPin);
    }
    // The sinks fed by this source now reach further upstream.
    for (const TVokSinkPinEntry& entry : m_source.m_entries) {
        entry.m_sink->RebuildLockChain();
    }
}

bool TVokFunctionSinkPinList::Contains(const TVokBasicPin* pin) const {
    return std::find(m_pins.begin(), m_pins.end(), pin) != m_pins.end();
}

// ---- TVokSourcePin ---------------------------------------------------------------------------

/// One running dispatch of a source pin: its snapshot of the link entries.
struct TVokSourcePin::TDispatchFrame {
    TVokSinkPinEntry* m_entries;
    size_t m_count;
    TDispatchFrame* m_next;
};

TVokSourcePin::TVokSourcePin(TVokComponent* owner) : TVokStreamPin(owner), m_functionSinks(*this) {
}

TVokSourcePin::~TVokSourcePin() {
    BeforeDestruction();
}

int TVokSourcePin::GetSinkCount() const {
    TVokReadLockSection section(const_cast<TVokSourcePin&>(*this));
    return static_cast<int>(m_entries.size());
}

TVokSinkPin* TVokSourcePin::GetSink(int index) const {
    TVokReadLockSection section(const_cast<TVokSourcePin&>(*this));
    if (index < 0 || static_cast<size_t>(index) >= m_entries.size()) {
        throw std::out_of_range("Index out of range = " + std::to_string(index));
    }
    return m_entries[static_cast<size_t>(index)].m_sink;
}

int32_t TVokSourcePin::GetSinkWeight(int index) const {
    TVokReadLockSection section(const_cast<TVokSourcePin&>(*this));
    if (index < 0 || static_cast<size_t>(index) >= m_entries.size()) {
        throw std::out_of_range("Index out of range = " + std::to_string(index));
    }
    return m_entries[static_cast<size_t>(index)].m_weight;
}

int TVokSourcePin::IndexOfSink(const TVokBasicPin* sink) const {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].m_sink == sink) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TVokGuid TVokSourcePin::LinkTypeWith(const TVokBasicPin* sink) const {
    if (sink == nullptr) {
        return kVokNullType;
    }
    const auto& entries = GetStreamTypes().GetEntries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (sink->QueryType(it->m_typeId)) {
            return it->m_typeId;
        }
    }
    return kVokNullType;
}

bool TVokSourcePin::CanSupply(const TVokBasicPin* sink) const {
    return !LinkTypeWith(sink).IsNull();
}

void TVokSourcePin::SendLinkNotification(TVokSinkPin* sink, const TVokLinkHandler& handler) {
    if (!handler.IsAssigned()) {
        return;
    }
    TVokWriteLockSection section(*this);
    if (m_depth > kMaxLinkNotificationDepth) {
        throw EVokException(kVokSelfDependencyMessage);
    }
    ++m_depth;
    TScopeExit restore([this] { --m_depth; });
    TRef<TVokNotifyOperation> operation = MakeRef<TVokNotifyOperation>();
    handler(sink, LinkTypeWith(sink), {nfLinkChanged, nfLastReceiver}, operation.Get());
}

void TVokSourcePin::SendLinkNotificationTo(TVokSinkPin* sink) {
    TVokLinkHandler handler;
    {
        TVokReadLockSection section(*this);
        const int index = IndexOfSink(sink);
        if (index < 0) {
            return;
        }
        handler = m_entries[static_cast<size_t>(index)].m_handler;
    }
    SendLinkNotification(sink, handler);
}

bool TVokSourcePin::ConnectSink(TVokSinkPin* pin, TVokBasicPin* dependency) {
    return ConnectEx(pin, dependency);
}

TVokNotifyResults TVokSourcePin::Notify(TVokNotifyOperation* operation) {
    return Dispatch(operation, nullptr);
}

TVokNotifyResults TVokSourcePin::NotifySink(TVokNotifyOperation* operation, TVokSinkPin* target) {
    if (target == nullptr) {
        return {};
    }
    return Dispatch(operation, target);
}

TVokNotifyResults TVokSourcePin::Dispatch(TVokNotifyOperation* operation, TVokSinkPin* target) {
    TVokWriteLockSection section(*this);

    // The snapshot lives on the stack for the usual fan-out; only wider sources allocate.
    constexpr size_t kInlineEntries = 8;
    const size_t count = m_entries.size();
    alignas(
        TVokSinkPinEntry) unsigned char inlineStorage[kInlineEntries * sizeof(TVokSinkPinEntry)];
    std::unique_ptr<TVokSinkPinEntry[]> heapEntries;
    TVokSinkPinEntry* snapshot;
    if (count <= kInlineEntries) {
        snapshot = std::uninitialized_copy(m_entries.begin(), m_entries.end(),
                                           reinterpret_cast<TVokSinkPinEntry*>(inlineStorage)) -
                   count;
    } else {
        heapEntries = std::make_unique<TVokSinkPinEntry[]>(count);
        snapshot = std::copy(m_entries.begin(), m_entries.end(), heapEntries.get()) - count;
    }

    if (m_depth > kMaxDispatchDepth) {
        throw EVokException(kVokSelfDependencyMessage);
    }
    ++m_depth;
    TDispatchFrame frame{snapshot, count, m_frames};
    m_frames = &frame;
    TScopeExit restore([this, &frame] {
        m_frames = frame.m_next;
        --m_depth;
    });

    if (m_dispatcher != nullptr) {
        NotifyDispatcher(operation, {}, nullptr);
    }
    for (size_t i = 0; i < count; ++i) {
        TVokSinkPinEntry& entry = snapshot[i];
        TVokSinkPin* const sink = entry.m_sink;
        if (sink == nullptr || (target != nullptr && sink != target) ||
            !entry.m_handler.IsAssigned()) {
            continue; // destroyed by an earlier handler, not the target, or nothing to call
        }
        const TVokNotifyFlags flags =
            i + 1 == count ? TVokNotifyFlags{nfLastReceiver} : TVokNotifyFlags{};
        TVokNotifyResults result;
        sink->BeginWrite();
        try {
            result = entry.m_handler(sink, entry.m_linkType, flags, operation);
        } catch (...) {
            if (entry.m_sink != nullptr) {
                sink->EndWrite();
            }
            throw;
        }
        // A sink destroyed by its own handler gave its holds back when it went away.
        if (entry.m_sink == nullptr) {
            continue;
        }
        sink->EndWrite();
        if (result.Contains(nrServeLater)) {
            const int live = IndexOfSink(sink);
            if (live >= 0 && m_entries[static_cast<size_t>(live)].m_weight < kMaxRaisedWeight) {
                m_entries[static_cast<size_t>(live)].m_weight += kServeLaterStep;
            }
        }
    }
    if (!m_disconnecting) {
        Reorder();
    }
    return {};
}

void TVokSourcePin::Reorder() {
    bool needed = false;
    for (TVokSinkPinEntry& entry : m_entries) {
        if (entry.m_weight > 0) {
            --entry.m_weight;
            needed = true;
        }
        needed = needed || entry.m_dependency != nullptr;
    }
    if (!needed) {
        return;
    }
    // Insertion sort: stable, allocation-free and quick for the few links a pin has.
    for (size_t i = 1; i < m_entries.size(); ++i) {
        for (size_t j = i; j > 0 && m_entries[j - 1].m_weight > m_entries[j].m_weight; --j) {
            std::swap(m_entries[j - 1], m_entries[j]);
        }
    }
    // A link that depends on a later-served sink moves right behind it.
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const TVokBasicPin* dependency = m_entries[i].m_dependency;
        if (dependency == nullptr) {
            continue;
        }
        for (size_t j = i + 1; j < m_entries.size(); ++j) {
            if (m_entries[j].m_sink == dependency) {
                std::rotate(m_entries.begin() + static_cast<ptrdiff_t>(i),
                            m_entries.begin() + static_cast<ptrdiff_t>(i) + 1,
                            m_entries.begin() + static_cast<ptrdiff_t>(j) + 1);
                break;
            }
        }
    }
}

void TVokSourcePin::RemoveLink(TVokBasicPin* pin, bool /*keepPlaceholder*/) {
    if (m_disconnecting) {
        return; // Disconnect clears the whole list at once
    }
    const int index = IndexOfSink(pin);
    if (index >= 0) {
        m_entries.erase(m_entries.begin() + index);
    }
}

void TVokSourcePin::AddLink(TVokBasicPin* pin, TVokBasicPin* dependency) {
    auto* sink = dynamic_cast<TVokSinkPin*>(pin);
    if (sink == nullptr || IndexOfSink(sink) >= 0) {
        return;
    }
    const TVokGuid linkType = LinkTypeWith(sink);
    m_entries.push_back(TVokSinkPinEntry{sink, dependency, linkType, GetHandlerFor(linkType), 0});
}

TVokBasicPin* TVokSourcePin::GetDependency(TVokBasicPin* pin) const {
    TVokReadLockSection section(const_cast<TVokSourcePin&>(*this));
    const int index = IndexOfSink(pin);
    return index >= 0 ? m_entries[static_cast<size_t>(index)].m_dependency : nullptr;
}

bool TVokSourcePin::DependsOn(TVokBasicPin* pin) const {
    TVokGlobalReadLockSection global;
    return m_functionSinks.Contains(pin);
}

TVokGuid TVokSourcePin::GetLinkType(TVokBasicPin* pin) const {
    TVokReadLockSection section(const_cast<TVokSourcePin&>(*this));
    const int index = IndexOfSink(pin);
    if (index >= 0) {
        return m_entries[static_cast<size_t>(index)].m_linkType;
    }
    return IsInSameDispatcher(pin) ? GetStateTypeWith(pin) : kVokNullType;
}

bool TVokSourcePin::DependsOnRecursive(TVokBasicPin* pin) const {
    TVokGlobalReadLockSection global;
    auto& active = t_dependencyQueries;
    if (std::find(active.begin(), active.end(), this) != active.end()) {
        return false;
    }
    if (m_functionSinks.Contains(pin)) {
        return true;
    }
    active.push_back(this);
    TScopeExit pop([&active] { active.pop_back(); });
    for (TVokSinkPin* sink : m_functionSinks.m_pins) {
        if (sink->DependsOnRecursive(pin)) {
            return true;
        }
    }
    return false;
}

bool TVokSourcePin::CanConnectTo(TVokBasicPin* pin) const {
    if (pin == nullptr || pin == this) {
        return false;
    }
    if (pin->GetPinKind() == vpkSink && !pin->IsPlaceholder()) {
        return pin->CanConnectTo(const_cast<TVokSourcePin*>(this));
    }
    if (pin->IsDesigning() != IsDesigning()) {
        return false;
    }
    if (pin->GetPinKind() == vpkState) {
        return !GetStateType(pin).IsNull();
    }
    return pin->IsPlaceholder();
}

bool TVokSourcePin::IsTypeCompatible(TVokBasicPin* pin) const {
    if (pin == nullptr) {
        return false;
    }
    if (pin->GetPinKind() == vpkSink) {
        return CanSupply(pin);
    }
    return pin->GetPinKind() == vpkState && !GetStateType(pin).IsNull();
}

bool TVokSourcePin::IsConnected() const {
    TVokReadLockSection section(const_cast<TVokSourcePin&>(*this));
    return !m_entries.empty() || m_dispatcher != nullptr;
}

bool TVokSourcePin::IsConnectedTo(TVokBasicPin* pin) const {
    TVokReadLockSection section(const_cast<TVokSourcePin&>(*this));
    return (pin != nullptr && IndexOfSink(pin) >= 0) || IsInSameDispatcher(pin);
}

bool TVokSourcePin::ConnectEx(TVokBasicPin* pin, TVokBasicPin* dependency) {
    if (pin == nullptr || pin == this) {
        return false;
    }
    TVokGlobalWriteLockSection global;
    if (auto* sink = dynamic_cast<TVokSinkPin*>(pin)) {
        if (!CanConnectWithDependency(sink, dependency)) {
            return false;
        }
        return sink->ConnectEx(this, dependency);
    }
    if (pin->GetPinKind() == vpkState) {
        return ConnectState(pin);
    }
    if (pin->IsPlaceholder()) {
        return pin->ConnectEx(this, dependency);
    }
    return false;
}

bool TVokSourcePin::CanConnectWithDependency(TVokBasicPin* pin, TVokBasicPin* dependency) const {
    if (dependency == nullptr) {
        return CanConnectTo(pin);
    }
    if (dependency == pin) {
        return false;
    }
    TVokReadLockSection section(const_cast<TVokSourcePin&>(*this));
    if (IndexOfSink(dependency) < 0) {
        return false; // the dependency must be a sink already linked to this source
    }
    // Follow the recorded dependencies; the walk must end at a link without one. More steps
    // than links means a loop.
    const TVokBasicPin* current = dependency;
    for (size_t step = 0; step <= m_entries.size(); ++step) {
        const int index = IndexOfSink(current);
        if (index < 0) {
            return false;
        }
        current = m_entries[static_cast<size_t>(index)].m_dependency;
        if (current == nullptr) {
            return true;
        }
    }
    return false;
}

void TVokSourcePin::Disconnect() {
    TVokGlobalWriteLockSection global;
    TGroupWriteHold self(*this);
    LeaveDispatcher();
    std::exception_ptr firstError;
    for (size_t i = m_entries.size(); i-- > 0;) {
        if (i >= m_entries.size()) {
            continue; // a hook shortened the list
        }
        TVokSinkPin* sink = m_entries[i].m_sink;
        m_disconnecting = true;
        try {
            RemoveLink(sink, false);
        } catch (...) {
            if (!firstError) {
                firstError = std::current_exception();
            }
        }
        m_disconnecting = false;
        sink->RemoveLink(this, false);
        sink->RebuildLockChain();
        sink->LinkRemoved();
    }
    m_entries.clear();
    if (firstError) {
        std::rethrow_exception(firstError);
    }
}

TVokBasicPin* TVokSourcePin::GetLinkedPin(int index) const {
    return GetSink(index);
}

TVokBasicPin* TVokSourcePin::GetLinkDependency(int index) const {
    TVokReadLockSection section(const_cast<TVokSourcePin&>(*this));
    if (index < 0 || static_cast<size_t>(index) >= m_entries.size()) {
        throw std::out_of_range("Index out of range = " + std::to_string(index));
    }
    return m_entries[static_cast<size_t>(index)].m_dependency;
}

void TVokSourcePin::ObjectRemoved(TVokPinObject* object) {
    TVokStreamPin::ObjectRemoved(object);
    auto& functionSinks = m_functionSinks.m_pins;
    const auto removed = std::remove(functionSinks.begin(), functionSinks.end(), object);
    const bool dependencyRemoved = removed != functionSinks.end();
    functionSinks.erase(removed, functionSinks.end());
    if (dependencyRemoved) {
        // The lock chains of the sinks this source feeds reached upstream through the
        // destroyed pin.
        for (const TVokSinkPinEntry& entry : m_entries) {
            entry.m_sink->RebuildLockChain();
        }
    }
    if (auto* pin = dynamic_cast<TVokBasicPin*>(object); pin != nullptr && IndexOfSink(pin) >= 0) {
        RemoveLink(pin, false);
    }
    for (TVokSinkPinEntry& entry : m_entries) {
        if (entry.m_dependency == object) {
            entry.m_dependency = nullptr;
        }
    }
    for (TDispatchFrame* frame = m_frames; frame != nullptr; frame = frame->m_next) {
        for (size_t i = 0; i < frame->m_count; ++i) {
            if (frame->m_entries[i].m_sink == object) {
                frame->m_entries[i].m_sink = nullptr;
            }
        }
    }
}

void TVokSourcePin::ReplaceDependency(TVokBasicPin* oldPin, TVokBasicPin* newPin) {
    TVokGlobalWriteLockSection global;
    for (TVokSinkPinEntry& entry : m_entries) {
        if (entry.m_dependency == oldPin) {
            entry.m_dependency = newPin;
        }
    }
}

void TVokSourcePin::StateChanged() {
    if (m_dispatcher == nullptr) {
        return;
    }
    TRef<TVokNotifyOperation> operation = MakeRef<TVokNotifyOperation>();
    NotifyDispatcher(operation.Get(), {nfLinkChanged}, nullptr);
}

// ---- TVokSinkPin -----------------------------------------------------------------------------

TVokSinkPin::TVokSinkPin(TVokComponent* owner) : TVokStreamPin(owner) {
}

TVokSinkPin::~TVokSinkPin() {
    BeforeDestruction();
}

TVokSourcePin* TVokSinkPin::GetSourcePin() const {
    TVokGlobalReadLockSection global;
    return m_source;
}

TVokGuid TVokSinkPin::UpstreamTypeWith(const TVokSourcePin* source) const {
    if (source == nullptr) {
        return kVokNullType;
    }
    const TVokGuid linkType = source->LinkTypeWith(this);
    TVokGuid nearest = kVokNullType;
    const auto& entries = source->GetStreamTypes().GetEntries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (!source->QueryType(it->m_typeId)) {
            continue;
        }
        if (it->m_typeId == linkType) {
            return linkType;
        }
        if (nearest.IsNull()) {
            nearest = it->m_typeId;
        }
    }
    return nearest;
}

bool TVokSinkPin::CanReceiveFrom(const TVokSourcePin* source) const {
    return m_upstreamTypeFree || GetStreamTypes().GetCount() == 0 ||
           !UpstreamTypeWith(source).IsNull();
}

TVokGuid TVokSinkPin::GetUpstreamType() const {
    TVokGlobalReadLockSection global;
    return m_upstreamType;
}

void TVokSinkPin::UpdateUpstream() {
    m_upstreamType = UpstreamTypeWith(m_source);
    m_upstreamHandler = GetHandlerFor(m_upstreamType);
}

TVokNotifyResults TVokSinkPin::Notify(TVokNotifyOperation* operation) {
    TVokGlobalReadLockSection global;
    size_t locked = 0;
    TScopeExit release([this, &locked] {
        for (size_t i = 0; i < locked; ++i) {
            m_lockChain[i]->EndRead();
        }
    });
    for (TVokPin* pin : m_lockChain) {
        pin->BeginRead();
        ++locked;
    }
    if (m_source == nullptr || !m_upstreamHandler.IsAssigned()) {
        return {};
    }
    return m_upstreamHandler(m_source, m_upstreamType, {nfLastReceiver}, operation);
}

void TVokSinkPin::Assign(const TVokPersistent* source) {
    if (source == nullptr) {
        Connect(nullptr);
        return;
    }
    const auto* other = dynamic_cast<const TVokSinkPin*>(source);
    if (other == nullptr) {
        TVokStreamPin::Assign(source);
        return;
    }
    Connect(other->GetSourcePin());
}

void TVokSinkPin::RemoveLink(TVokBasicPin* pin, bool /*keepPlaceholder*/) {
    if (pin != nullptr && pin == m_source) {
        m_source = nullptr;
        m_upstreamHandler = {};
        m_upstreamType = kVokNullType;
    }
}

TVokBasicPin* TVokSinkPin::GetDependency(TVokBasicPin* pin) const {
    TVokGlobalReadLockSection global;
    if (pin == nullptr || pin != m_source) {
        return nullptr;
    }
    return m_source->GetDependency(const_cast<TVokSinkPin*>(this));
}

TVokGuid TVokSinkPin::GetLinkType(TVokBasicPin* pin) const {
    TVokGlobalReadLockSection global;
    if (pin != nullptr && pin == m_source) {
        return m_upstreamType;
    }
    return IsInSameDispatcher(pin) ? GetStateTypeWith(pin) : kVokNullType;
}

bool TVokSinkPin::DependsOnRecursive(TVokBasicPin* pin) const {
    TVokGlobalReadLockSection global;
    if (m_source == nullptr) {
        return false;
    }
    return pin == m_source || m_source->DependsOnRecursive(pin);
}

bool TVokSinkPin::CanConnectTo(TVokBasicPin* pin) const {
    if (pin == nullptr || pin == this || pin->IsDesigning() != IsDesigning()) {
        return false;
    }
    if (pin->GetPinKind() == vpkState) {
        return !GetStateType(pin).IsNull();
    }
    if (pin->IsPlaceholder()) {
        return true;
    }
    const auto* source = dynamic_cast<const TVokSourcePin*>(pin);
    return source != nullptr && source->CanSupply(this) && CanReceiveFrom(source) &&
           !source->DependsOnRecursive(const_cast<TVokSinkPin*>(this));
}

bool TVokSinkPin::IsTypeCompatible(TVokBasicPin* pin) const {
    if (pin == nullptr) {
        return false;
    }
    if (const auto* source = dynamic_cast<const TVokSourcePin*>(pin)) {
        return source->CanSupply(this);
    }
    return pin->GetPinKind() == vpkState && !GetStateType(pin).IsNull();
}

bool TVokSinkPin::IsConnected() const {
    TVokGlobalReadLockSection global;
    return m_source != nullptr || m_dispatcher != nullptr;
}

bool TVokSinkPin::IsConnectedTo(TVokBasicPin* pin) const {
    TVokGlobalReadLockSection global;
    return (pin != nullptr && pin == m_source) || IsInSameDispatcher(pin);
}

void TVokSinkPin::BreakLink() {
    TVokSourcePin* old = m_source;
    if (old == nullptr) {
        return;
    }
    // The source goes first: a subclass may still serve this sink (a stop) before the entry
    // goes away.
    old->RemoveLink(this, false);
    RemoveLink(old, false);
    RebuildLockChain();
    old->LinkRemoved();
}

bool TVokSinkPin::ConnectEx(TVokBasicPin* pin, TVokBasicPin* dependency) {
    TVokGlobalWriteLockSection global;
    TGroupWriteHold self(*this);
    if (pin != nullptr && pin == m_source) {
        return true;
    }
    if (pin == nullptr) {
        BreakLink();
        return true;
    }
    if (!CanConnectTo(pin)) {
        return false;
    }
    if (m_dispatcher != nullptr) {
        Disconnect();
    }
    BreakLink();
    auto* source = dynamic_cast<TVokSourcePin*>(pin);
    if (source == nullptr) {
        const bool linked = pin->Connect(this);
        RebuildLockChain();
        return linked;
    }
    TGroupWriteHold sourceHold(*source);
    m_source = source;
    source->AddLink(this, dependency);
    UpdateUpstream();
    source->SendLinkNotificationTo(this);
    // Entries of another type are re-typed (a new link may change what the source offers) and
    // told again.
    const TVokGuid newType = source->LinkTypeWith(this);
    for (size_t i = 0; i < source->m_entries.size(); ++i) {
        if (source->m_entries[i].m_linkType == newType) {
            continue;
        }
        TVokSinkPin* other = source->m_entries[i].m_sink;
        const TVokGuid otherType = source->LinkTypeWith(other);
        const TVokLinkHandler otherHandler = source->GetHandlerFor(otherType);
        source->m_entries[i].m_linkType = otherType;
        source->m_entries[i].m_handler = otherHandler;
        source->SendLinkNotification(other, otherHandler);
        other->UpdateUpstream();
    }
    RebuildLockChain();
    return true;
}

void TVokSinkPin::Disconnect() {
    TVokGlobalWriteLockSection global;
    TGroupWriteHold self(*this);
    LeaveDispatcher();
    ConnectEx(nullptr, nullptr);
}

int TVokSinkPin::GetLinkCount() const {
    TVokGlobalReadLockSection global;
    return m_source != nullptr ? 1 : 0;
}

TVokBasicPin* TVokSinkPin::GetLinkedPin(int index) const {
    TVokGlobalReadLockSection global;
    if (index != 0 || m_source == nullptr) {
        throw std::out_of_range("Index out of range = " + std::to_string(index));
    }
    return m_source;
}

TVokBasicPin* TVokSinkPin::GetLinkDependency(int index) const {
    return GetDependency(GetLinkedPin(index));
}

bool TVokSinkPin::JoinDispatcherEx(TVokStateDispatcher* dispatcher, TVokBasicPin* realPin) {
    TVokGlobalWriteLockSection global;
    if (dispatcher != nullptr && dispatcher != m_dispatcher && CanJoinDispatcher(dispatcher)) {
        BreakLink();
    }
    return TVokStreamPin::JoinDispatcherEx(dispatcher, realPin);
}

void TVokSinkPin::ObjectRemoved(TVokPinObject* object) {
    TVokStreamPin::ObjectRemoved(object);
    m_dependentSources.erase(
        std::remove(m_dependentSources.begin(), m_dependentSources.end(), object),
        m_dependentSources.end());
    if (object != nullptr && object == m_source) {
        Disconnect();
    }
}

void TVokSinkPin::RebuildLockChain() {
    RebuildLockChain(0);
}

void TVokSinkPin::RebuildLockChain(int depth) {
    if (depth > kMaxChainDepth) {
        return;
    }
    // Sinks downstream of a source that depends on this sink reach through it.
    for (TVokSourcePin* dependent : m_dependentSources) {
        for (const TVokSinkPinEntry& entry : dependent->m_entries) {
            entry.m_sink->RebuildLockChain(depth + 1);
        }
    }
    m_lockChain.clear();
    if (m_source == nullptr) {
        return;
    }
    // Walk upstream: every source and the sinks it depends on, each further dependency
    // starting a chain of its own.
    std::vector<std::vector<TVokPin*>> chains{{this}};
    auto extend = [&chains](auto& self, size_t chain, TVokSourcePin* source, int level) -> void {
        chains[chain].push_back(source);
        if (level > kMaxChainDepth) {
            return;
        }
        bool first = true;
        for (TVokSinkPin* dependency : source->FunctionSinkPins().m_pins) {
            size_t current = chain;
            if (!first) {
                chains.emplace_back();
                current = chains.size() - 1;
            }
            first = false;
            chains[current].push_back(dependency);
            if (dependency->m_source != nullptr) {
                self(self, current, dependency->m_source, level + 1);
            }
        }
    };
    extend(extend, 0, m_source, 0);
    // Flatten, farthest upstream first: round by round, the last element of every chain, from
    // the last chain to the first.
    bool taken = true;
    while (taken) {
        taken = false;
        for (size_t chain = chains.size(); chain-- > 0;) {
            if (!chains[chain].empty()) {
                m_lockChain.push_back(chains[chain].back());
                chains[chain].pop_back();
                taken = true;
            }
        }
    }
}

// ---- TVokStatePin ----------------------------------------------------------------------------

TVokStatePin::TVokStatePin(TVokComponent* owner) : TVokPin(owner) {
}

TVokStatePin::~TVokStatePin() {
    BeforeDestruction();
}

int TVokStatePin::GetStateLinkCount() const {
    TVokGlobalReadLockSection global;
    return m_dispatcher != nullptr ? m_dispatcher->GetPinCount() : 0;
}

TVokBasicPin* TVokStatePin::GetStateLinkedPin(int index) const {
    TVokGlobalReadLockSection global;
    if (m_dispatcher == nullptr) {
        throw std::out_of_range("Index out of range = " + std::to_string(index));
    }
    return m_dispatcher->GetPin(index);
}

bool TVokStatePin::DependsOn(TVokBasicPin* pin) const {
    return IsInSameDispatcher(pin);
}

bool TVokStatePin::DependsOnRecursive(TVokBasicPin* pin) const {
    return IsInSameDispatcher(pin);
}

TVokGuid TVokStatePin::GetLinkType(TVokBasicPin* pin) const {
    return IsInSameDispatcher(pin) ? GetStateTypeWith(pin) : kVokNullType;
}

bool TVokStatePin::CanConnectTo(TVokBasicPin* pin) const {
    if (pin == nullptr || pin == this || pin->IsDesigning() != IsDesigning()) {
        return false;
    }
    if (pin->IsPlaceholder()) {
        return true;
    }
    switch (pin->GetPinKind()) {
    case vpkSource:
        return !pin->GetStateType(const_cast<TVokStatePin*>(this)).IsNull();
    case vpkState:
        return !GetStateType(pin).IsNull() &&
               !pin->GetStateType(const_cast<TVokStatePin*>(this)).IsNull();
    case vpkSink:
        return !GetStateType(pin).IsNull();
    }
    return false;
}

bool TVokStatePin::IsTypeCompatible(TVokBasicPin* pin) const {
    return CanConnectTo(pin);
}

bool TVokStatePin::ConnectEx(TVokBasicPin* pin, TVokBasicPin* /*dependency*/) {
    if (pin != nullptr && pin->IsPlaceholder()) {
        return pin->Connect(this);
    }
    return ConnectState(pin);
}

// ---- start-up --------------------------------------------------------------------------------

void VokInitializeFramework() {
    TVokGlobalLockObject::Instance();
    detail::VokRegistryMutex();
    LivePins();
    TVokStateDispatcher::LiveCount();
    TVokStreamTypeRegistry::Instance();
}
