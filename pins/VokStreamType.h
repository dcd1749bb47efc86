#pragma once

#include "pins/VokGuid.h"
#include "pins/VokSet.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class TVokBasicPin;
class TVokNotifyOperation;

/// Flags passed to every link handler.
enum TVokNotifyFlag : uint8_t {
    /// The delivery announces that a link or a dispatcher membership was made or changed; it
    /// carries no data. Stream handlers ignore it; state pins answer with their current value.
    nfLinkChanged = 0,
    /// This receiver is the last one served by this dispatch.
    nfLastReceiver = 1,
};
using TVokNotifyFlags = TVokSet<TVokNotifyFlag>;

/// Result flags returned by link handlers.
enum TVokNotifyResult : uint8_t {
    /// Serve the link that returned it later in following dispatches (raises its weight).
    nrServeLater = 0,
};
using TVokNotifyResults = TVokSet<TVokNotifyResult>;

/// Code of a link handler: (context, receiving pin, link type, flags, operation) → results.
/// The receiving pin is the pin whose receiving interface for `typeId` is addressed.
using TVokLinkHandlerCode = TVokNotifyResults (*)(void* context, TVokBasicPin* receiver,
                                                  const TVokGuid& typeId, TVokNotifyFlags flags,
                                                  TVokNotifyOperation* operation);

/// A link handler: code bound to a context object (a method pointer). Assigned when its code is
/// set. Copying is cheap; calling does not allocate.
struct TVokLinkHandler {
    TVokLinkHandlerCode m_code = nullptr;
    void* m_context = nullptr;

    bool IsAssigned() const { return m_code != nullptr; }
    TVokNotifyResults operator()(TVokBasicPin* receiver, const TVokGuid& typeId,
                                 TVokNotifyFlags flags, TVokNotifyOperation* operation) const {
        return m_code(m_context, receiver, typeId, flags, operation);
    }

    /// Binds the member function `Method` of `object`, e.g.
    /// `TVokLinkHandler::Of<&TMyPin::DispatchReal>(this)`. The method takes (receiver, typeId,
    /// flags, operation) and answers the result flags.
    template <auto Method, class C> static TVokLinkHandler Of(C* object) {
        return {[](void* context, TVokBasicPin* receiver, const TVokGuid& typeId,
                   TVokNotifyFlags flags, TVokNotifyOperation* operation) {
                    return (static_cast<C*>(context)->*Method)(receiver, typeId, flags, operation);
                },
                object};
    }

    friend bool operator==(const TVokLinkHandler&, const TVokLinkHandler&) = default;
};

/// The default dispatch function of a stream type: (sending pin, receiving pin, type, flags,
/// operation) → results. Serves links whose handler entry is unassigned.
using TVokDefaultDispatch = TVokNotifyResults (*)(TVokBasicPin* sender, TVokBasicPin* receiver,
                                                  const TVokGuid& typeId, TVokNotifyFlags flags,
                                                  TVokNotifyOperation* operation);

/// One entry of a pin's stream type list.
struct TVokStreamTypeEntry {
    TVokGuid m_typeId;
    TVokLinkHandler m_handler;
};

/// The ordered list of stream types a pin sends or receives, each with its handler (which may
/// be unassigned). The last entry is the most specific type. Guarded by the owning pin's group
/// lock. `TVokPinTypeRestricted` is the same list used as a scratch copy.
class TVokPinStreamType {
  public:
    /// Replaces the handler when `typeId` is present, else appends an entry at the end.
    void AddOrSet(const TVokGuid& typeId, TVokLinkHandler handler);
    /// Removes `typeId`'s entry (later entries move down one place); nothing when absent.
    void Remove(const TVokGuid& typeId);
    /// Swaps two entries; throws std::out_of_range for an invalid index.
    void Swap(int first, int second);
    /// Index of `typeId`, or −1.
    int IndexOf(const TVokGuid& typeId) const;

    int GetCount() const { return static_cast<int>(m_entries.size()); }
    /// Throws std::out_of_range for an invalid index.
    const TVokGuid& GetType(int index) const { return At(index).m_typeId; }
    const TVokLinkHandler& GetHandler(int index) const { return At(index).m_handler; }
    const std::vector<TVokStreamTypeEntry>& GetEntries() const { return m_entries; }

  private:
    const TVokStreamTypeEntry& At(int index) const;
    std::vector<TVokStreamTypeEntry> m_entries;
};
using TVokPinTypeRestricted = TVokPinStreamType;

/// The process-wide stream type registry: identifiers with a display name and a default
/// dispatch function. Filled at start-up; any thread may read it. Names are for display only.
///
/// Entries are never removed. Look-ups of the dispatch function take no lock (the table is a
/// fixed array published through an atomic count), so registry dispatch costs no mutex.
class TVokStreamTypeRegistry {
  public:
    /// The registry, created on first use with the standard types and their names
    /// ("Integer single", "Float single", "Real single", "Real Complex single",
    /// "Boolean single", "Character single", "Sting").
    static TVokStreamTypeRegistry& Instance();

    /// Index of `typeId`, appending an entry with an empty name and no function when absent.
    /// Throws std::length_error when the registry is full (256 types).
    int FindOrAppend(const TVokGuid& typeId);
    /// Index of `typeId`, or −1.
    int Find(const TVokGuid& typeId) const;
    void SetName(const TVokGuid& typeId, std::string name);
    void SetDefaultDispatch(const TVokGuid& typeId, TVokDefaultDispatch function);
    /// The display name, or "" when the type is unknown or unnamed.
    std::string GetName(const TVokGuid& typeId) const;
    /// The default dispatch function, or null.
    TVokDefaultDispatch GetDefaultDispatch(const TVokGuid& typeId) const;
    int GetCount() const { return m_count.load(std::memory_order_acquire); }

  private:
    TVokStreamTypeRegistry();
    static constexpr int kCapacity = 256;
    struct TEntry {
        TVokGuid m_typeId;
        std::atomic<TVokDefaultDispatch> m_function{nullptr};
        std::string m_name; ///< guarded by m_mutex
    };
    /// Guards appending entries and the names.
    mutable std::mutex m_mutex;
    std::atomic<int> m_count{0};
    TEntry m_entries[kCapacity];
};

/// The stream type identifiers of the standard pins.
inline constexpr TVokGuid kVokClockType = TVokGuid::Parse("{48CDAF9F-00C7-4B45-999D-4EE25353A952}");
inline constexpr TVokGuid kVokBoolType = TVokGuid::Parse("{7AA677AE-F983-4714-8E64-EC6F3D17695B}");
inline constexpr TVokGuid kVokFloatType = TVokGuid::Parse("{67F6997B-7EB4-4E2F-8320-4A512B5F2BC7}");
inline constexpr TVokGuid kVokIntegerType =
    TVokGuid::Parse("{92F6B47E-B46E-49BB-9A8E-676D3C2F2E66}");
inline constexpr TVokGuid kVokRealType = TVokGuid::Parse("{208F9564-3C20-4C97-BB77-2FC5AE6E4194}");
inline constexpr TVokGuid kVokRealComplexType =
    TVokGuid::Parse("{4CC4ADE6-E5AE-4E27-A9E7-42C14E062F41}");
inline constexpr TVokGuid kVokCharacterType =
    TVokGuid::Parse("{3241B885-95E1-495F-ACEC-4A1C98872B63}");
inline constexpr TVokGuid kVokStringType =
    TVokGuid::Parse("{25C048B4-89D4-4277-AA98-A835EB29F5C1}");
