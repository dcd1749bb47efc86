#pragma once

#include "pins/VokMultiReadLock.h"
#include "pins/VokPersistent.h"
#include "pins/VokRefCounted.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// Lock order, binding for every thread:
//   1. the global lock (TVokGlobalLockObject) first, then
//   2. group locks (TVokLockObject, reached through TVokObject or directly), only ever taken
//      inside a global read (or write) section.
// Because every group lock is taken inside a global read section and the global write lock
// waits for all foreign readers to leave, a structural change (global write) never waits for a
// thread that is itself blocked on a group lock held by the changing thread. Consequently a
// thread must not take the global write lock while another thread it waits for may be blocked
// on a group lock the first thread holds. Group locks are recursive per thread; regrouping
// (LinkObjects / UnlinkObjects) happens only under the global write lock.
// Components take locks only through the scoped sections below, never by bare Begin/End pairs.

class TVokLockSection;

/// The operations every lock offers: a read and a write lock, taken and given back by the same
/// thread, and scoped sections that pair them.
class IVokBaseLockObject {
  public:
    virtual void BeginRead() = 0;
    virtual void BeginWrite() = 0;
    virtual void EndRead() = 0;
    virtual void EndWrite() = 0;
    /// A scoped read section on this lock (see the section classes for what each one takes).
    virtual TVokLockSection ReadSection() = 0;
    /// A scoped write section on this lock.
    virtual TVokLockSection WriteSection() = 0;

  protected:
    ~IVokBaseLockObject() = default;
};

/// The one process-wide synchroniser. Read by every dispatch and query, written by every
/// structural change of the pin graph. Created on first use and never destroyed, so objects
/// with static storage may still lock it while the process shuts down.
class TVokGlobalLockObject final : public IVokBaseLockObject {
  public:
    /// The global instance; thread safe, cheap after the first call.
    static TVokGlobalLockObject& Instance() {
        // Deliberately never deleted (see the class comment); reachable, so not a leak.
        static TVokGlobalLockObject* const s_instance = new TVokGlobalLockObject();
        return *s_instance;
    }

    void BeginRead() override { m_synchronizer.BeginRead(); }
    void BeginWrite() override { m_synchronizer.BeginWrite(); }
    void EndRead() override { m_synchronizer.EndRead(); }
    void EndWrite() override { m_synchronizer.EndWrite(); }
    /// Global read section (`TVokGlobalReadLockSection`).
    TVokLockSection ReadSection() override;
    /// Global write section (`TVokGlobalWriteLockSection`).
    TVokLockSection WriteSection() override;

    TVokMultiReadExclusiveWriteSynchronizer& Synchronizer() { return m_synchronizer; }

  private:
    TVokGlobalLockObject() = default;
    /// The global lock itself; guards the structure of the pin graph (links, lock groups,
    /// object lists) against traffic.
    TVokMultiReadExclusiveWriteSynchronizer m_synchronizer;
};

/// A group lock: one recursive mutex shared by every object of a lock group. Read and write
/// both enter the same mutex, so the lock is exclusive for readers too; they differ only in the
/// bookkeeping of the objects holding it. Reference counted: it lives while some group member
/// (or section) references it. Take it only inside a global read section.
class TVokLockObject final : public TVokRefCounted, public IVokBaseLockObject {
  public:
    TVokLockObject() { s_liveCount.fetch_add(1, std::memory_order_relaxed); }

    void BeginRead() override { m_mutex.lock(); }
    void BeginWrite() override { m_mutex.lock(); }
    void EndRead() override { m_mutex.unlock(); }
    void EndWrite() override { m_mutex.unlock(); }
    /// `TVokStreamReadLockSection` on this lock object (global read, then this lock).
    TVokLockSection ReadSection() override;
    /// `TVokStreamWriteLockSection` on this lock object (global read, then this lock).
    TVokLockSection WriteSection() override;

    /// Write lock for a structural change, called only under the global write lock. No other
    /// thread can then hold or wait for a group lock (they are all taken inside global read
    /// sections), so the try succeeds at once; it still loops, yielding, if a caller broke that
    /// rule. Not blocking also keeps lock-order checkers from seeing group locks taken in
    /// varying order while groups are merged and split.
    void BeginWriteStructural() {
        while (!m_mutex.try_lock()) {
            std::this_thread::yield();
        }
    }

    /// The object behind a reference, for comparing two references.
    const TVokLockObject* GetIdentity() const { return this; }

    /// Number of lock objects currently alive in the process (for leak checks).
    static int64_t LiveCount() { return s_liveCount.load(std::memory_order_relaxed); }

  private:
    ~TVokLockObject() override;

    /// The group lock; guards the state of every object of the group (pins, their link lists,
    /// a component's own fields) and the hold counts of the group's TVokObjects.
    std::recursive_mutex m_mutex;
    static inline std::atomic<int64_t> s_liveCount{0};
};

/// Lockable base of pins, pin lists, dispatchers and the components' own lock holders.
///
/// Each object belongs to one lock group; `LinkObjects` merges groups, `UnlinkObjects` splits
/// them again. `BeginRead`/`BeginWrite` lock the object's current group; holds are counted per
/// object so that a regroup moves them to the new group lock: a thread that holds a group while
/// it is merged or split still holds the new group afterwards, as many times as before.
/// Upstream lock chains of sink pins (ordered lists of objects read-locked before an upstream
/// dispatch) are built by the pin classes on top of `TVokReadLockSection`.
class TVokObject : public TVokPersistent, public IVokBaseLockObject {
  public:
    TVokObject();
    /// Takes the global write lock and unlinks this object from every object it is linked to.
    /// Holds the destroying thread still has through this object are given back.
    ~TVokObject() override;

    /// Group lock through this object. Call only inside a global read section (use the
    /// sections, not these, in component code).
    void BeginRead() override;
    void BeginWrite() override;
    void EndRead() override;
    void EndWrite() override;
    /// `TVokReadLockSection` on this object.
    TVokLockSection ReadSection() override;
    /// `TVokWriteLockSection` on this object.
    TVokLockSection WriteSection() override;

    /// Links `b` to `a` (b joins a's out-list, a joins b's in-list) and merges their groups.
    /// Nothing happens when `b` is null, equals `a` or is already linked from `a`; answers
    /// whether a link was made. Takes the global write lock: the calling thread must not be
    /// inside a group section that another thread may wait for.
    static bool LinkObjects(TVokObject* a, TVokObject* b);
    /// Removes the link from `a` to `b` and splits the group where no other link joins it.
    /// Nothing happens when `b` is null or not linked from `a`; answers whether a link was
    /// removed. Locks like `LinkObjects`.
    static bool UnlinkObjects(TVokObject* a, TVokObject* b);

    /// The current group lock object. Stable while the caller holds a global read section.
    TRef<TVokLockObject> GetLockObject() const;
    /// Objects linked from this one / linking to this one. Read under the global lock.
    const std::vector<TVokObject*>& LinkedObjects() const { return m_linked; }
    const std::vector<TVokObject*>& BackLinks() const { return m_backLinks; }

  private:
    /// Every object reachable through out- and in-lists, each once, depth first.
    std::vector<TVokObject*> Closure();
    static void Regroup(TVokObject* object);
    /// `BeginWrite` for structural changes (global write lock held); released by `EndWrite`.
    void BeginWriteStructural();
    template <bool kStructural> void BeginWriteImpl();
    class TStructuralHold;

    /// Guards the replacement of `m_lock` (written only under the global write lock by a thread
    /// that also holds the old group lock) against readers taking a reference to it.
    mutable std::mutex m_guard;
    /// The group lock; owns one reference.
    std::atomic<TVokLockObject*> m_lock;
    /// How often the group lock is held through this object; changed only by the thread that
    /// holds the group lock, so guarded by the group lock itself.
    uint32_t m_readHolds = 0;
    uint32_t m_writeHolds = 0;
    /// Non-owning link lists; guarded by the global lock (changed under its write lock).
    std::vector<TVokObject*> m_linked;
    std::vector<TVokObject*> m_backLinks;
};

/// Scoped, movable holder of locks, the common form of every lock section: on destruction it
/// gives back the inner lock (if any) and then the global lock it took. No heap allocation.
/// Sections of one thread are released in reverse order of construction.
class TVokLockSection {
  public:
    TVokLockSection() noexcept = default;
    TVokLockSection(TVokLockSection&& other) noexcept;
    TVokLockSection& operator=(TVokLockSection&& other) noexcept;
    TVokLockSection(const TVokLockSection&) = delete;
    TVokLockSection& operator=(const TVokLockSection&) = delete;
    ~TVokLockSection() { Release(); }

    /// Gives the locks back early; the section then holds nothing.
    void Release() noexcept;
    /// True while the section holds locks.
    bool Holds() const noexcept { return m_global != kGlobalNone; }

  protected:
    enum TGlobal : uint8_t { kGlobalNone, kGlobalRead, kGlobalWrite };
    enum TInner : uint8_t { kInnerNone, kInnerRead, kInnerWrite };
    /// Takes the global lock as `global` says, then `inner` (if not null) as `innerMode` says.
    /// When `counted` is set the section keeps `inner` (a lock object) alive while it holds it.
    TVokLockSection(TGlobal global, IVokBaseLockObject* inner, TInner innerMode,
                    TVokLockObject* counted);

  private:
    IVokBaseLockObject* m_inner = nullptr;
    TVokLockObject* m_counted = nullptr;
    TGlobal m_global = kGlobalNone;
    TInner m_innerMode = kInnerNone;
};

/// Global read, then the group read lock of `object`.
class TVokReadLockSection : public TVokLockSection {
  public:
    explicit TVokReadLockSection(TVokObject& object)
        : TVokLockSection(kGlobalRead, &object, kInnerRead, nullptr) {}
};

/// Global read, then the group write lock of `object`.
class TVokWriteLockSection : public TVokLockSection {
  public:
    explicit TVokWriteLockSection(TVokObject& object)
        : TVokLockSection(kGlobalRead, &object, kInnerWrite, nullptr) {}
};

/// Global read, then `lock` itself for reading; keeps `lock` alive while held.
class TVokStreamReadLockSection : public TVokLockSection {
  public:
    explicit TVokStreamReadLockSection(TVokLockObject& lock)
        : TVokLockSection(kGlobalRead, &lock, kInnerRead, &lock) {}
};

/// Global read, then `lock` itself for writing; keeps `lock` alive while held.
class TVokStreamWriteLockSection : public TVokLockSection {
  public:
    explicit TVokStreamWriteLockSection(TVokLockObject& lock)
        : TVokLockSection(kGlobalRead, &lock, kInnerWrite, &lock) {}
};

/// The global read lock.
class TVokGlobalReadLockSection : public TVokLockSection {
  public:
    TVokGlobalReadLockSection() : TVokLockSection(kGlobalRead, nullptr, kInnerNone, nullptr) {}
};

/// The global write lock (structural changes).
class TVokGlobalWriteLockSection : public TVokLockSection {
  public:
    TVokGlobalWriteLockSection() : TVokLockSection(kGlobalWrite, nullptr, kInnerNone, nullptr) {}
};

inline TVokGlobalReadLockSection GlobalReadSection() {
    return TVokGlobalReadLockSection();
}
inline TVokGlobalWriteLockSection GlobalWriteSection() {
    return TVokGlobalWriteLockSection();
}
