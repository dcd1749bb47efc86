#include "pins/VokObject.h"

#include <algorithm>
#include <utility>

namespace {

TVokMultiReadExclusiveWriteSynchronizer& GlobalSynchronizer() {
    return TVokGlobalLockObject::Instance().Synchronizer();
}

template <class T> void EraseFirst(std::vector<T*>& list, T* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it != list.end()) {
        list.erase(it);
    }
}

} // namespace

// ---- sections --------------------------------------------------------------------------------

TVokLockSection::TVokLockSection(TGlobal global, IVokBaseLockObject* inner, TInner innerMode,
                                 TVokLockObject* counted) {
    if (global == kGlobalRead) {
        GlobalSynchronizer().BeginRead();
    } else if (global == kGlobalWrite) {
        GlobalSynchronizer().BeginWrite();
    }
    m_global = global;
    if (inner == nullptr) {
        return;
    }
    if (counted != nullptr) {
        counted->AddRef();
    }
    try {
        if (innerMode == kInnerWrite) {
            inner->BeginWrite();
        } else {
            inner->BeginRead();
        }
    } catch (...) {
        if (counted != nullptr) {
            counted->Release();
        }
        Release();
        throw;
    }
    m_inner = inner;
    m_innerMode = innerMode;
    m_counted = counted;
}

TVokLockSection::TVokLockSection(TVokLockSection&& other) noexcept
    : m_inner(std::exchange(other.m_inner, nullptr)),
      m_counted(std::exchange(other.m_counted, nullptr)),
      m_global(std::exchange(other.m_global, kGlobalNone)),
      m_innerMode(std::exchange(other.m_innerMode, kInnerNone)) {
}

TVokLockSection& TVokLockSection::operator=(TVokLockSection&& other) noexcept {
    if (this != &other) {
        Release();
        m_inner = std::exchange(other.m_inner, nullptr);
        m_counted = std::exchange(other.m_counted, nullptr);
        m_global = std::exchange(other.m_global, kGlobalNone);
        m_innerMode = std::exchange(other.m_innerMode, kInnerNone);
    }
    return *this;
}

void TVokLockSection::Release() noexcept {
    // Inner lock first, then the global one: the reverse of construction. The End calls only
    // throw on unpaired use, which a section rules out.
    if (IVokBaseLockObject* inner = std::exchange(m_inner, nullptr)) {
        if (m_innerMode == kInnerWrite) {
            inner->EndWrite();
        } else {
            inner->EndRead();
        }
        m_innerMode = kInnerNone;
        if (TVokLockObject* counted = std::exchange(m_counted, nullptr)) {
            counted->Release();
        }
    }
    const TGlobal global = std::exchange(m_global, kGlobalNone);
    if (global == kGlobalRead) {
        GlobalSynchronizer().EndRead();
    } else if (global == kGlobalWrite) {
        GlobalSynchronizer().EndWrite();
    }
}

TVokLockSection TVokGlobalLockObject::ReadSection() {
    return TVokGlobalReadLockSection();
}
TVokLockSection TVokGlobalLockObject::WriteSection() {
    return TVokGlobalWriteLockSection();
}

// ---- group lock objects ----------------------------------------------------------------------

TVokLockObject::~TVokLockObject() {
    // No need to wait for a thread leaving the mutex: every holder keeps a reference until it
    // has unlocked.
    s_liveCount.fetch_sub(1, std::memory_order_relaxed);
}

TVokLockSection TVokLockObject::ReadSection() {
    return TVokStreamReadLockSection(*this);
}
TVokLockSection TVokLockObject::WriteSection() {
    return TVokStreamWriteLockSection(*this);
}

// ---- lockable objects ------------------------------------------------------------------------

// Holds the group write lock of one object during a structural change (global write lock held).
class TVokObject::TStructuralHold {
  public:
    explicit TStructuralHold(TVokObject& object) : m_object(object) {
        object.BeginWriteStructural();
    }
    ~TStructuralHold() { m_object.EndWrite(); }
    TStructuralHold(const TStructuralHold&) = delete;
    TStructuralHold& operator=(const TStructuralHold&) = delete;

  private:
    TVokObject& m_object;
};

TVokObject::TVokObject() : m_lock(MakeRef<TVokLockObject>().Detach()) {
}

TVokObject::~TVokObject() {
    {
        TVokGlobalWriteLockSection global;
        TStructuralHold self(*this);
        while (!m_linked.empty()) {
            UnlinkObjects(this, m_linked.back());
        }
        while (!m_backLinks.empty()) {
            UnlinkObjects(m_backLinks.back(), this);
        }
    }
    // Holds still counted here belong to the destroying thread (no other thread can hold a
    // group lock while it holds the global write lock above): a handler that frees its own pin
    // while the dispatch holds that pin's group. They are given back with the object.
    TVokLockObject* lock = m_lock.load(std::memory_order_relaxed);
    for (; m_writeHolds > 0; --m_writeHolds) {
        lock->EndWrite();
    }
    for (; m_readHolds > 0; --m_readHolds) {
        lock->EndRead();
    }
    lock->Release();
}

TRef<TVokLockObject> TVokObject::GetLockObject() const {
    std::lock_guard<std::mutex> guard(m_guard);
    return TRef<TVokLockObject>(m_lock.load(std::memory_order_relaxed));
}

void TVokObject::BeginRead() {
    // Holding the global read lock, nobody regroups, so the first lock object taken is normally
    // the current one; the re-check covers a caller that locks outside a global section.
    // Under the global write lock no other thread can hold a group lock, so the lock is taken
    // without waiting (see BeginWriteStructural).
    const bool structural = GlobalSynchronizer().IsWriter();
    TRef<TVokLockObject> lock = GetLockObject();
    for (;;) {
        if (structural) {
            lock->BeginWriteStructural();
        } else {
            lock->BeginRead();
        }
        if (m_lock.load(std::memory_order_acquire) == lock.Get()) {
            ++m_readHolds;
            return;
        }
        lock->EndRead();
        lock = GetLockObject();
    }
}

void TVokObject::BeginWrite() {
    // Structural changes (global write lock held) lock groups in whatever order the change needs;
    // taking them without waiting keeps that order out of the lock-order graph that dispatches
    // (source group, then sink group) obey.
    if (GlobalSynchronizer().IsWriter()) {
        BeginWriteImpl<true>();
    } else {
        BeginWriteImpl<false>();
    }
}

void TVokObject::BeginWriteStructural() {
    BeginWriteImpl<true>();
}

template <bool kStructural> void TVokObject::BeginWriteImpl() {
    TRef<TVokLockObject> lock = GetLockObject();
    for (;;) {
        if constexpr (kStructural) {
            lock->BeginWriteStructural();
        } else {
            lock->BeginWrite();
        }
        if (m_lock.load(std::memory_order_acquire) == lock.Get()) {
            ++m_writeHolds;
            return;
        }
        lock->EndWrite();
        lock = GetLockObject();
    }
}

void TVokObject::EndRead() {
    // The caller holds the group lock, so no other thread can replace m_lock now.
    TVokLockObject* lock = m_lock.load(std::memory_order_acquire);
    --m_readHolds;
    lock->EndRead();
}

void TVokObject::EndWrite() {
    TVokLockObject* lock = m_lock.load(std::memory_order_acquire);
    --m_writeHolds;
    lock->EndWrite();
}

TVokLockSection TVokObject::ReadSection() {
    return TVokReadLockSection(*this);
}
TVokLockSection TVokObject::WriteSection() {
    return TVokWriteLockSection(*this);
}

std::vector<TVokObject*> TVokObject::Closure() {
    std::vector<TVokObject*> members;
    std::vector<TVokObject*> pending{this};
    while (!pending.empty()) {
        TVokObject* object = pending.back();
        pending.pop_back();
        if (std::find(members.begin(), members.end(), object) != members.end()) {
            continue;
        }
        members.push_back(object);
        // Pushed in reverse so that the out-list is walked first, in order, then the in-list.
        for (auto it = object->m_backLinks.rbegin(); it != object->m_backLinks.rend(); ++it) {
            pending.push_back(*it);
        }
        for (auto it = object->m_linked.rbegin(); it != object->m_linked.rend(); ++it) {
            pending.push_back(*it);
        }
    }
    return members;
}

void TVokObject::Regroup(TVokObject* object) {
    const std::vector<TVokObject*> members = object->Closure();
    TRef<TVokLockObject> newLock = MakeRef<TVokLockObject>();
    for (TVokObject* member : members) {
        member->BeginWriteStructural();
    }
    // Every hold of the old locks belongs to this thread now (it write-locks all of them), so
    // the new lock is taken exactly as often as the old ones were held, then the old ones are
    // given back. The holds just taken above move along and are released through the new lock.
    uint64_t totalHolds = 0;
    for (TVokObject* member : members) {
        totalHolds += uint64_t{member->m_readHolds} + member->m_writeHolds;
    }
    for (uint64_t i = 0; i < totalHolds; ++i) {
        newLock->BeginWriteStructural();
    }
    for (TVokObject* member : members) {
        TVokLockObject* oldLock;
        {
            std::lock_guard<std::mutex> guard(member->m_guard);
            newLock->AddRef();
            oldLock = member->m_lock.exchange(newLock.Get(), std::memory_order_acq_rel);
        }
        for (uint32_t i = 0; i < member->m_writeHolds; ++i) {
            oldLock->EndWrite();
        }
        for (uint32_t i = 0; i < member->m_readHolds; ++i) {
            oldLock->EndRead();
        }
        oldLock->Release();
    }
    for (TVokObject* member : members) {
        member->EndWrite();
    }
}

bool TVokObject::LinkObjects(TVokObject* a, TVokObject* b) {
    if (a == nullptr || b == nullptr || a == b) {
        return false;
    }
    TVokGlobalWriteLockSection global;
    TStructuralHold holdA(*a);
    TStructuralHold holdB(*b);
    if (std::find(a->m_linked.begin(), a->m_linked.end(), b) != a->m_linked.end()) {
        return false;
    }
    b->m_backLinks.push_back(a);
    a->m_linked.push_back(b);
    const std::vector<TVokObject*> members = a->Closure();
    for (TVokObject* member : members) {
        member->BeginWriteStructural();
    }
    Regroup(a);
    Regroup(b);
    for (TVokObject* member : members) {
        member->EndWrite();
    }
    return true;
}

bool TVokObject::UnlinkObjects(TVokObject* a, TVokObject* b) {
    if (a == nullptr || b == nullptr) {
        return false;
    }
    TVokGlobalWriteLockSection global;
    TStructuralHold holdA(*a);
    TStructuralHold holdB(*b);
    auto link = std::find(a->m_linked.begin(), a->m_linked.end(), b);
    if (link == a->m_linked.end()) {
        return false;
    }
    const std::vector<TVokObject*> members = a->Closure();
    for (TVokObject* member : members) {
        member->BeginWriteStructural();
    }
    a->m_linked.erase(link);
    EraseFirst(b->m_backLinks, a);
    Regroup(a);
    Regroup(b);
    for (TVokObject* member : members) {
        member->EndWrite();
    }
    return true;
}
