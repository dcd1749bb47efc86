#pragma once

#include "pins/VokGuid.h"
#include "pins/VokObject.h"
#include "pins/VokOperations.h"
#include "pins/VokStreamType.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

class TVokComponent;
class TVokPinList;
class TVokStateDispatcher;
class TVokBasicPin;
class TVokSourcePin;
class TVokSinkPin;
class TVokFiler;
class TVokReader;
class TVokWriter;

// Locking of the pin graph (see VokObject.h for the lock order):
// - The link structure (which sink is linked to which source, function-dependency lists,
//   dependent-source lists, upstream lock chains, dispatcher membership, pin-list membership)
//   changes only under the global write lock, so a thread holding the global read lock sees it
//   stable.
// - A source pin's link entries are also re-ordered and re-weighted after every dispatch, under
//   the global READ lock and the source's group write lock: read them under its group lock.
// - A pin's depth counter and stream type list are guarded by its group lock.

/// Raised by runaway recursion: a pin that is dispatching more than 200 nested times, or a link
/// notification nested more than 10 times.
class EVokException : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// The message of `EVokException` for runaway recursion.
inline constexpr const char* kVokSelfDependencyMessage =
    "The pin depends on itself. Please protect with functional dependency.";

/// Answer of `GetPinKind`.
enum TVokPinKind : uint8_t { vpkSource = 0, vpkSink = 1, vpkState = 2 };

/// Common base of pins and state dispatchers: lockable, and told when another pin goes away.
class TVokPinObject : public TVokObject {
  public:
    /// `object` is being destroyed (called under the global write lock on every live pin and
    /// dispatcher); drop every reference to it.
    virtual void ObjectRemoved(TVokPinObject* object);
    /// Replaces the dependency `oldPin` recorded on this object's links by `newPin`.
    virtual void ReplaceDependency(TVokBasicPin* oldPin, TVokBasicPin* newPin);
    /// Records the dependency of the link with `sink` by the dependency pin's name (form files).
    virtual void SetDependencyByName(TVokBasicPin* sink, const std::string& name);
    /// The name of the dependency recorded for the link with `sink`; "" when none.
    virtual std::string GetDependencyName(TVokBasicPin* sink) const;
};

/// Root of the pin classes. A pin belongs to an owner component, which frees it; pins are never
/// shared or reference counted. Any thread may call any operation: structural operations take
/// the global write lock, dispatches and queries the global read lock (see VokObject.h).
///
/// Destruction: call `BeforeDestruction` while the pin is still whole (`TVokPinPtr` does it),
/// so that overrides such as a source pin sending a stop to each sink it unlinks still run.
/// The destructor calls it again (harmless) for pins deleted directly.
class TVokBasicPin : public TVokPinObject {
  public:
    ~TVokBasicPin() override;
    /// Breaks every link, leaves the dispatcher and the containing pin list, tells every live
    /// pin (`ObjectRemoved`) and leaves the live-pin registry. Idempotent. Takes the global
    /// write lock.
    void BeforeDestruction();

    /// The owner component, or null.
    virtual TVokComponent* GetOwner() const { return nullptr; }
    /// The owner's root is being destroyed.
    virtual void OwnerDestroying() {}
    /// Forgets the link with `pin` on this side only (global write lock held by the caller).
    virtual void RemoveLink(TVokBasicPin* pin, bool keepPlaceholder);
    /// Records a link with `pin` on this side only (global write lock held by the caller).
    virtual void AddLink(TVokBasicPin* pin, TVokBasicPin* dependency);
    /// Hook run on the far pin after a link was removed (global write lock held).
    virtual void LinkRemoved() {}
    virtual TVokPinKind GetPinKind() const = 0;
    /// The dependency recorded for the link with `pin`, or null.
    virtual TVokBasicPin* GetDependency(TVokBasicPin* pin) const;
    /// Direct functional dependency on `pin`.
    virtual bool DependsOn(TVokBasicPin* pin) const;
    /// Type of the link with `pin`; the null type when not linked.
    virtual TVokGuid GetLinkType(TVokBasicPin* pin) const;
    /// Name of the owner's root (the form); for a pin without owner the part of its full index
    /// name before the first ".".
    virtual std::string GetRootName() const;
    /// The owner's root component, or null without owner.
    virtual TVokComponent* GetRoot() const;
    /// Name relative to the owner, display form ("OutputPins.Pin [0]").
    virtual std::string GetPinName() const;
    /// Name relative to the owner, index form ("OutputPins._Pin0").
    virtual std::string GetPinIndexName() const;
    /// Index-form full name without root and without the last part ("DruSpectrum1.OutputPins").
    virtual std::string GetOwnerPath() const;
    /// Display form: "Form1.DruSpectrum1.OutputPins.Pin [0]" (with root) or without "Form1.";
    /// "(No owner)" for a pin without owner.
    virtual std::string GetFullName(bool withRoot) const;
    /// Index form: "Form1.DruSpectrum1.OutputPins._Pin0".
    virtual std::string GetFullIndexName(bool withRoot) const;
    /// Functional dependency on `pin`, followed transitively.
    virtual bool DependsOnRecursive(TVokBasicPin* pin) const;
    /// All link rules hold for a link between this pin and `pin`.
    virtual bool CanConnectTo(TVokBasicPin* pin) const;
    /// A common type exists.
    virtual bool IsTypeCompatible(TVokBasicPin* pin) const;
    /// Has any link or dispatcher.
    virtual bool IsConnected() const;
    bool IsInDispatcher() const;
    /// Linked with `pin` (or in the same dispatcher).
    virtual bool IsConnectedTo(TVokBasicPin* pin) const;
    bool IsDispatcher(const TVokStateDispatcher* dispatcher) const;
    bool IsInSameDispatcher(const TVokBasicPin* pin) const;
    /// Joins this pin and `pin` through a state dispatcher. Answers false (changing nothing)
    /// when they are not compatible.
    bool ConnectState(TVokBasicPin* pin) { return ConnectStateEx(pin, nullptr); }
    virtual bool ConnectStateEx(TVokBasicPin* pin, TVokBasicPin* realPin);
    /// Makes a link; answers true when it exists afterwards. On a sink `Connect(nullptr)`
    /// breaks its link. Refusals answer false and change nothing.
    bool Connect(TVokBasicPin* pin) { return ConnectEx(pin, nullptr); }
    virtual bool ConnectEx(TVokBasicPin* pin, TVokBasicPin* dependency);
    virtual bool CanConnectWithDependency(TVokBasicPin* pin, TVokBasicPin* dependency) const;
    /// Breaks every link and leaves the dispatcher.
    virtual void Disconnect();
    /// Sends an operation: from a source to its sinks, from a sink up to its source, from a
    /// state pin to its dispatcher's members. Answers the result flags.
    virtual TVokNotifyResults Notify(TVokNotifyOperation* operation);
    /// Joins the dispatcher named `name` of this pin's design state, creating it when absent
    /// (no compatibility check; used when reading form descriptions).
    virtual bool JoinNamedDispatcher(const std::string& name);
    /// In a dispatcher.
    virtual bool HasStateLink() const { return IsInDispatcher(); }
    /// Uniform link enumeration: sinks of a source, the source of a sink, none for others.
    virtual int GetLinkCount() const { return 0; }
    virtual TVokBasicPin* GetLinkedPin(int index) const;
    virtual TVokBasicPin* GetLinkDependency(int index) const;
    int GetDispatcherCount() const { return IsInDispatcher() ? 1 : 0; }
    TVokStateDispatcher* GetDispatcher(int index) const;
    bool JoinDispatcher(TVokStateDispatcher* dispatcher) {
        return JoinDispatcherEx(dispatcher, nullptr);
    }
    virtual bool JoinDispatcherEx(TVokStateDispatcher* dispatcher, TVokBasicPin* realPin);
    /// Every current member of `dispatcher` is acceptable to this pin.
    virtual bool CanJoinDispatcher(TVokStateDispatcher* dispatcher) const;
    /// A new dispatcher named after `root` ("Form1Link1"), not yet joined.
    virtual TVokStateDispatcher* CreateDispatcher(TVokComponent* root);
    virtual TVokStateDispatcher* CreateNamedDispatcher(const std::string& name, bool designing);
    /// The owner is in design state (never at run time).
    virtual bool IsDesigning() const;
    /// The last own stream type that `pin` supports; the null type when none.
    virtual TVokGuid GetStateType(TVokBasicPin* pin) const;
    /// Sends `operation` to the members of this pin's dispatcher (all but this pin, or only
    /// `target`). Answers the empty set.
    virtual TVokNotifyResults NotifyDispatcher(TVokNotifyOperation* operation,
                                               TVokNotifyFlags flags, TVokBasicPin* target);
    /// Called after this pin joined a dispatcher or its dispatcher changed: synchronises the
    /// members' state.
    virtual void StateChanged();
    /// True when this pin's class implements the receiving interface `typeId`.
    virtual bool QueryType(const TVokGuid& typeId) const;
    /// This pin when it implements `typeId`, else null.
    TVokBasicPin* GetInterfaceFor(const TVokGuid& typeId) {
        return QueryType(typeId) ? this : nullptr;
    }

    /// The typed receiving interface: called by link handlers of a link whose type this pin
    /// implements. The base answers the empty set.
    virtual TVokNotifyResults Receive(const TVokGuid& typeId, TVokNotifyOperation* operation,
                                      TVokNotifyFlags flags);
    /// The clock receiving interface (only pins that implement the clock type act on it).
    virtual void Clock() {}

    /// Placeholders stand for pins that a form description names before they exist.
    virtual bool IsPlaceholder() const { return false; }
    /// A placeholder marks itself as waiting in a pin list slot.
    virtual void SetHeldByList(bool held) { (void)held; }
    /// A placeholder hands its recorded links over to `pin` and discards itself.
    virtual void HandOverTo(TVokBasicPin* pin) { (void)pin; }
    /// A placeholder that no pin list holds and that has no recorded link discards itself
    /// (called by pin lists after they let go of a placeholder; global write lock held).
    virtual void DisposeIfUnused() {}

    // Form descriptions (VokPinStreaming.cpp). A pin stores its links as pseudo-properties
    // next to its owner's ordinary properties; reading happens on the thread that reads the
    // description, under the global write lock for every link made.

    /// Declares the pseudo-properties: `Form`, `State`, and `SinkPins` (sources) or
    /// `SourcePin` (sinks), each with its reader, its writer and whether it is written.
    void DefineProperties(TVokFiler& filer) override;
    /// The `Form` pseudo-property is written: the pin has a stored link (a dispatcher, sinks
    /// or a source).
    virtual bool IsFormStored() const { return IsConnected(); }
    /// Hands every placeholder named like this pin over to it (before it reads its links).
    virtual void ResolvePlaceholders();
    /// Reads `SinkPins` (sources) or `SourcePin` (sinks) and makes the links it names.
    virtual void ReadLinks(TVokReader& reader);
    /// Reads `State` and joins the dispatcher it names.
    virtual void ReadState(TVokReader& reader);
    /// Writes the `State` value of this pin's dispatcher.
    virtual void WriteState(TVokWriter& writer) const;

    /// The pin list of the owner that holds this pin, or null.
    TVokPinList* GetPinList() const { return m_pinList; }
    void SetPinList(TVokPinList* list) { m_pinList = list; }
    /// The root name read from a form description ("" when none).
    const std::string& GetFormRootName() const { return m_formRootName; }
    void SetFormRootName(std::string name) { m_formRootName = std::move(name); }

    /// Number of pins alive in the process, placeholders included (for leak checks).
    static int64_t LiveCount();
    /// A copy of the live-pin registry in creation order. Call it under the global write lock
    /// when the pins are used afterwards (nothing can be destroyed meanwhile).
    static std::vector<TVokBasicPin*> LivePinsSnapshot();

  protected:
    /// Enters the live-pin registry.
    TVokBasicPin();

    /// Leaves the dispatcher (global write lock held by the caller).
    void LeaveDispatcher();

    /// The dispatcher this pin belongs to; changed under the global write lock.
    TVokStateDispatcher* m_dispatcher = nullptr;

  private:
    friend class TVokStateDispatcher;
    std::string ComposeName(bool indexForm, bool withRoot) const;

    TVokPinList* m_pinList = nullptr;
    std::string m_formRootName;
    bool m_destroyed = false;
};

/// Deleter that runs `BeforeDestruction` before deleting, so pin overrides run while the pin is
/// whole.
struct TVokPinDeleter {
    void operator()(TVokBasicPin* pin) const {
        if (pin != nullptr) {
            pin->BeforeDestruction();
            delete pin;
        }
    }
};
/// Owning pointer to a pin: how components hold their pins.
template <class T> using TVokPinPtr = std::unique_ptr<T, TVokPinDeleter>;
template <class T, class... Args> TVokPinPtr<T> MakePin(Args&&... args) {
    return TVokPinPtr<T>(new T(std::forward<Args>(args)...));
}

/// A pin with an owner component and its own stream type list.
class TVokPin : public TVokBasicPin {
  public:
    TVokComponent* GetOwner() const override { return m_owner; }

    /// Adds (or re-binds) an entry of this pin's stream type list with `handler`. Types are
    /// added in the constructor from the least to the most specific. Global read lock and this
    /// pin's group write lock.
    void AddStreamType(const TVokGuid& typeId, TVokLinkHandler handler);
    /// The same with registry dispatch bound to this pin as the handler.
    void AddStreamTypeId(const TVokGuid& typeId);
    /// This pin's stream type list; read under its group lock.
    const TVokPinStreamType& GetStreamTypes() const { return m_streamTypes; }

    /// The handler of `typeId` on this pin: none for the null type or a type not in the list;
    /// the entry's handler, or registry dispatch bound to this pin when it is unassigned.
    TVokLinkHandler GetHandlerFor(const TVokGuid& typeId) const;

    TVokGuid GetStateType(TVokBasicPin* pin) const override;
    /// The most specific own type (the last of the list), or the null type.
    virtual TVokGuid GetDefaultStateType() const;
    /// The state type of this pin with `pin`.
    virtual TVokGuid GetStateTypeWith(TVokBasicPin* pin) const;
    /// Global read lock and this pin's group write lock; members are called without their own
    /// group lock (they may send to this pin in turn), so state kept by receivers is atomic.
    TVokNotifyResults NotifyDispatcher(TVokNotifyOperation* operation, TVokNotifyFlags flags,
                                       TVokBasicPin* target) override;

  protected:
    explicit TVokPin(TVokComponent* owner);

    /// Nesting depth of this pin's own dispatches and link notifications; guarded by its group
    /// lock.
    int m_depth = 0;

  private:
    static TVokNotifyResults RegistryDispatch(void* context, TVokBasicPin* receiver,
                                              const TVokGuid& typeId, TVokNotifyFlags flags,
                                              TVokNotifyOperation* operation);

    TVokComponent* const m_owner;
    /// Guarded by this pin's group lock.
    TVokPinStreamType m_streamTypes;
};

/// Base of source and sink pins.
class TVokStreamPin : public TVokPin {
  public:
    /// Copies this pin's own stream type list (with handlers) into `list`.
    virtual void CollectTypes(TVokPinTypeRestricted& list, TVokBasicPin* requester) const;

  protected:
    using TVokPin::TVokPin;
};

/// The list of sink pins of the same component that a source pin's output depends on.
/// Entries leave only when the sink pin is destroyed. Changed under the global write lock.
class TVokFunctionSinkPinList {
  public:
    /// Appends `sinkPin`, records the source in the sink's list of dependent sources and, when
    /// `shareLock` is set, puts both pins into one lock group. Throws std::invalid_argument for
    /// a null pin. Takes the global write lock.
    void Add(TVokSinkPin* sinkPin, bool shareLock);
    int GetCount() const { return static_cast<int>(m_pins.size()); }
    TVokSinkPin* Get(int index) const { return m_pins.at(static_cast<size_t>(index)); }
    bool Contains(const TVokBasicPin* pin) const;

  private:
    friend class TVokSourcePin;
    friend class TVokSinkPin;
    explicit TVokFunctionSinkPinList(TVokSourcePin& source) : m_source(source) {}
    TVokSourcePin& m_source;
    std::vector<TVokSinkPin*> m_pins;
};

/// One link as its source pin keeps it, in dispatch order.
struct TVokSinkPinEntry {
    TVokSinkPin* m_sink = nullptr;
    /// An earlier-served sink of the same source that this link depends on, or null.
    TVokBasicPin* m_dependency = nullptr;
    TVokGuid m_linkType;
    TVokLinkHandler m_handler;
    /// Raised by 4 when a handler answers `nrServeLater` (only while below 10000), lowered by 1
    /// after every dispatch; the entries are served in ascending weight.
    int32_t m_weight = 0;
};

/// An output: feeds any number of sink pins and dispatches every operation to each of them,
/// synchronously, in the calling thread.
class TVokSourcePin : public TVokStreamPin {
  public:
    explicit TVokSourcePin(TVokComponent* owner);
    ~TVokSourcePin() override;

    TVokPinKind GetPinKind() const override { return vpkSource; }

    /// Number of linked sinks (global read, group read).
    int GetSinkCount() const;
    /// The linked sink at `index` in current dispatch order; throws std::out_of_range.
    TVokSinkPin* GetSink(int index) const;
    bool HasSinks() const { return GetSinkCount() > 0; }
    /// The weight of the link at `index` (see `TVokSinkPinEntry`).
    int32_t GetSinkWeight(int index) const;
    /// The link type of this source with `sink`: the last own type that `sink` supports.
    TVokGuid LinkTypeWith(const TVokBasicPin* sink) const;
    /// A link type with `sink` exists.
    bool CanSupply(const TVokBasicPin* sink) const;
    /// Sends a plain operation with {nfLinkChanged, nfLastReceiver} to `sink` through
    /// `handler` (nothing when unassigned). Group write lock; raises `EVokException` when
    /// nested more than 10 times.
    void SendLinkNotification(TVokSinkPin* sink, const TVokLinkHandler& handler);
    /// `SendLinkNotification` with the handler of `sink`'s link entry.
    void SendLinkNotificationTo(TVokSinkPin* sink);
    /// Links `pin` (a sink) with `dependency`; the same as `ConnectEx`.
    bool ConnectSink(TVokSinkPin* pin, TVokBasicPin* dependency);
    /// The sink pins this output depends on.
    TVokFunctionSinkPinList& FunctionSinkPins() { return m_functionSinks; }
    const TVokFunctionSinkPinList& FunctionSinkPins() const { return m_functionSinks; }
    /// True while `Disconnect` removes links.
    bool IsDisconnecting() const { return m_disconnecting; }

    /// Writes the `SinkPins` value: one sink entry per link, in dispatch order.
    virtual void WriteSinkPins(TVokWriter& writer) const;
    void DefineProperties(TVokFiler& filer) override;
    void ReadLinks(TVokReader& reader) override;

    /// Dispatches `operation` to every linked sink in dispatch order. Takes the global read lock
    /// and this pin's group write lock; each sink's handler runs with that sink's group write
    /// lock held. Re-entrant: a handler may notify again (up to 200 nested dispatches of the
    /// same pin; the next raises `EVokException`). Sinks that a handler unlinks are still
    /// served from the snapshot taken at the start; sinks a handler destroys are skipped.
    /// Exceptions of handlers propagate. Answers the empty set.
    TVokNotifyResults Notify(TVokNotifyOperation* operation) override;
    /// The same, serving only `target` (flags still follow its position in the whole list).
    TVokNotifyResults NotifySink(TVokNotifyOperation* operation, TVokSinkPin* target);

    void RemoveLink(TVokBasicPin* pin, bool keepPlaceholder) override;
    void AddLink(TVokBasicPin* pin, TVokBasicPin* dependency) override;
    TVokBasicPin* GetDependency(TVokBasicPin* pin) const override;
    bool DependsOn(TVokBasicPin* pin) const override;
    TVokGuid GetLinkType(TVokBasicPin* pin) const override;
    bool DependsOnRecursive(TVokBasicPin* pin) const override;
    bool CanConnectTo(TVokBasicPin* pin) const override;
    bool IsTypeCompatible(TVokBasicPin* pin) const override;
    bool IsConnected() const override;
    bool IsConnectedTo(TVokBasicPin* pin) const override;
    bool ConnectEx(TVokBasicPin* pin, TVokBasicPin* dependency) override;
    bool CanConnectWithDependency(TVokBasicPin* pin, TVokBasicPin* dependency) const override;
    void Disconnect() override;
    int GetLinkCount() const override { return GetSinkCount(); }
    TVokBasicPin* GetLinkedPin(int index) const override;
    TVokBasicPin* GetLinkDependency(int index) const override;
    void ObjectRemoved(TVokPinObject* object) override;
    void ReplaceDependency(TVokBasicPin* oldPin, TVokBasicPin* newPin) override;
    void StateChanged() override;

  private:
    friend class TVokFunctionSinkPinList;
    friend class TVokSinkPin;
    struct TDispatchFrame;
    TVokNotifyResults Dispatch(TVokNotifyOperation* operation, TVokSinkPin* target);
    void Reorder();
    int IndexOfSink(const TVokBasicPin* sink) const;

    /// Link entries in dispatch order; guarded by the global lock (membership) and this pin's
    /// group lock (order and weights).
    std::vector<TVokSinkPinEntry> m_entries;
    /// Changed under the global write lock.
    TVokFunctionSinkPinList m_functionSinks;
    bool m_disconnecting = false;
    /// Snapshots of the dispatches running on this pin (innermost first), so that a sink
    /// destroyed by a handler is skipped; touched only by the dispatching thread (the group lock
    /// holder) and under the global write lock.
    TDispatchFrame* m_frames = nullptr;
};

/// An input: fed by at most one source pin; can send operations back up to it.
class TVokSinkPin : public TVokStreamPin {
  public:
    explicit TVokSinkPin(TVokComponent* owner);
    ~TVokSinkPin() override;

    TVokPinKind GetPinKind() const override { return vpkSink; }

    /// The linked source, or null (global read lock).
    TVokSourcePin* GetSourcePin() const;
    bool HasSourcePin() const { return GetSourcePin() != nullptr; }
    /// True when this sink needs no upstream type, its own type list is empty, or an upstream
    /// type with `source` exists.
    bool CanReceiveFrom(const TVokSourcePin* source) const;
    /// When set, the sink can be linked to any source that can supply it (display channels).
    void SetUpstreamTypeFree(bool value) { m_upstreamTypeFree = value; }
    bool GetUpstreamTypeFree() const { return m_upstreamTypeFree; }
    /// The type used for operations sent upstream; null when unlinked or none.
    TVokGuid GetUpstreamType() const;
    /// The pins whose group read locks an upstream dispatch takes, farthest upstream first and
    /// this sink last; empty when unlinked. Read under the global read lock.
    const std::vector<TVokPin*>& GetLockChain() const { return m_lockChain; }

    /// Sends `operation` up to the source: global read lock, group read lock of each pin of the
    /// lock chain in order, then the upstream handler with {nfLastReceiver}. The empty set when
    /// unlinked or no upstream handler exists.
    TVokNotifyResults Notify(TVokNotifyOperation* operation) override;

    /// Links this sink to `source`'s source (a sink pin), or unlinks it when `source` is null.
    void Assign(const TVokPersistent* source) override;

    /// Writes the `SourcePin` value: a pin reference to the source.
    virtual void WriteSourcePin(TVokWriter& writer) const;
    void DefineProperties(TVokFiler& filer) override;
    void ReadLinks(TVokReader& reader) override;

    void RemoveLink(TVokBasicPin* pin, bool keepPlaceholder) override;
    TVokBasicPin* GetDependency(TVokBasicPin* pin) const override;
    TVokGuid GetLinkType(TVokBasicPin* pin) const override;
    bool DependsOnRecursive(TVokBasicPin* pin) const override;
    bool CanConnectTo(TVokBasicPin* pin) const override;
    bool IsTypeCompatible(TVokBasicPin* pin) const override;
    bool IsConnected() const override;
    bool IsConnectedTo(TVokBasicPin* pin) const override;
    bool ConnectEx(TVokBasicPin* pin, TVokBasicPin* dependency) override;
    void Disconnect() override;
    int GetLinkCount() const override;
    TVokBasicPin* GetLinkedPin(int index) const override;
    TVokBasicPin* GetLinkDependency(int index) const override;
    bool JoinDispatcherEx(TVokStateDispatcher* dispatcher, TVokBasicPin* realPin) override;
    void ObjectRemoved(TVokPinObject* object) override;

  private:
    friend class TVokSourcePin;
    friend class TVokFunctionSinkPinList;
    /// Breaks the link with the current source (global write lock held).
    void BreakLink();
    /// Computes the upstream type and handler for the current source.
    void UpdateUpstream();
    /// Rebuilds this sink's lock chain and those of the sinks downstream of it.
    void RebuildLockChain();
    void RebuildLockChain(int depth);
    /// The upstream type this sink would get from `source` (see `GetUpstreamType`).
    TVokGuid UpstreamTypeWith(const TVokSourcePin* source) const;

    /// All fields change under the global write lock.
    TVokSourcePin* m_source = nullptr;
    TVokLinkHandler m_upstreamHandler;
    TVokGuid m_upstreamType;
    bool m_upstreamTypeFree = false;
    /// Sources of the same component whose function dependencies name this sink.
    std::vector<TVokSourcePin*> m_dependentSources;
    std::vector<TVokPin*> m_lockChain;
};

/// A pin that shares a state with the other members of its dispatcher.
class TVokStatePin : public TVokPin {
  public:
    explicit TVokStatePin(TVokComponent* owner);
    ~TVokStatePin() override;

    TVokPinKind GetPinKind() const override { return vpkState; }
    /// Number of pins in its dispatcher (0 when none).
    virtual int GetStateLinkCount() const;
    virtual TVokBasicPin* GetStateLinkedPin(int index) const;

    /// Same dispatcher.
    bool DependsOn(TVokBasicPin* pin) const override;
    bool DependsOnRecursive(TVokBasicPin* pin) const override;
    /// `GetStateTypeWith(pin)` when in the same dispatcher, else the null type.
    TVokGuid GetLinkType(TVokBasicPin* pin) const override;
    bool CanConnectTo(TVokBasicPin* pin) const override;
    bool IsTypeCompatible(TVokBasicPin* pin) const override;
    /// `ConnectState(pin)`.
    bool ConnectEx(TVokBasicPin* pin, TVokBasicPin* dependency) override;
    int GetLinkCount() const override { return GetStateLinkCount(); }
    TVokBasicPin* GetLinkedPin(int index) const override { return GetStateLinkedPin(index); }
};

/// Process-wide start-up of the pin framework: creates the global lock, the pin registries and
/// the stream type registry with its standard names, in that order. Every one of them is also
/// created on first use, so calling this is optional; the program calls it first thing so
/// that the order is fixed and visible.
void VokInitializeFramework();

namespace detail {
/// The process-wide critical section guarding the live-pin registry, the placeholder registry
/// and the dispatcher registries. Recursive: a broadcast may re-enter it.
std::recursive_mutex& VokRegistryMutex();
} // namespace detail
