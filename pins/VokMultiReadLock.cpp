#include "pins/VokMultiReadLock.h"

#include <stdexcept>

namespace {

constexpr uint64_t kReaderUnit = 1;
constexpr uint64_t kReaderMask = (uint64_t{1} << 20) - 1;
constexpr uint64_t kWriterHeld = uint64_t{1} << 20;
constexpr uint64_t kWaitingWriterUnit = uint64_t{1} << 21;
constexpr uint64_t kWaitingWriterMask = ((uint64_t{1} << 21) - 1) << 21;
constexpr uint64_t kSleepingReaderUnit = uint64_t{1} << 42;
constexpr uint64_t kSleepingReaderMask = ((uint64_t{1} << 21) - 1) << 42;
// A thread's first read must wait while anyone writes or waits to write (writer preference).
constexpr uint64_t kBlocksNewReaders = kWriterHeld | kWaitingWriterMask;

struct TThreadEntry {
    const void* owner;
    uint32_t readCount;
    uint32_t writeCount;
};

constexpr int kMaxEntries = 32;

// Trivially destructible and constant-initialised: no thread-exit destructor and no lazy
// initialisation check, so the table stays usable from destructors that run at process exit
// and a lookup is a few loads.
struct TThreadTable {
    TThreadEntry entries[kMaxEntries];
    int used;
};

thread_local TThreadTable t_table{};

TThreadEntry* FindEntry(const void* owner) noexcept {
    TThreadTable& table = t_table;
    for (int i = 0; i < table.used; ++i) {
        if (table.entries[i].owner == owner) {
            return &table.entries[i];
        }
    }
    return nullptr;
}

TThreadEntry& OpenEntry(const void* owner) {
    if (TThreadEntry* entry = FindEntry(owner)) {
        return *entry;
    }
    // Entries whose counts are zero belong to nobody any more (also those of synchronisers that
    // were destroyed, so an address that is reused starts from a clean entry).
    TThreadTable& table = t_table;
    for (int i = 0; i < table.used; ++i) {
        TThreadEntry& entry = table.entries[i];
        if (entry.readCount == 0 && entry.writeCount == 0) {
            entry.owner = owner;
            return entry;
        }
    }
    if (table.used == kMaxEntries) {
        throw std::logic_error("TVokMultiReadExclusiveWriteSynchronizer: a thread holds more "
                               "than 32 synchronisers at once");
    }
    TThreadEntry& entry = table.entries[table.used++];
    entry = TThreadEntry{owner, 0, 0};
    return entry;
}

} // namespace

TVokMultiReadExclusiveWriteSynchronizer::~TVokMultiReadExclusiveWriteSynchronizer() {
    BeginWrite();
    if (TThreadEntry* entry = FindEntry(this)) {
        *entry = TThreadEntry{nullptr, 0, 0};
    }
}

void TVokMultiReadExclusiveWriteSynchronizer::BeginRead() {
    TThreadEntry& entry = OpenEntry(this);
    if (++entry.readCount > 1 || entry.writeCount > 0) {
        return; // re-entrant read, or a read by the writer: nothing shared changes
    }
    uint64_t state = m_state.load(std::memory_order_relaxed);
    while ((state & kBlocksNewReaders) == 0) {
        if (m_state.compare_exchange_weak(state, state + kReaderUnit, std::memory_order_acquire,
                                          std::memory_order_relaxed)) {
            return;
        }
    }
    SlowBeginRead();
}

void TVokMultiReadExclusiveWriteSynchronizer::SlowBeginRead() {
    std::unique_lock<std::mutex> lock(m_mutex);
    // Registered as sleeping before the check, so every later release sees it in its result.
    uint64_t state =
        m_state.fetch_add(kSleepingReaderUnit, std::memory_order_relaxed) + kSleepingReaderUnit;
    for (;;) {
        if ((state & kBlocksNewReaders) == 0) {
            if (m_state.compare_exchange_weak(state, state - kSleepingReaderUnit + kReaderUnit,
                                              std::memory_order_acquire,
                                              std::memory_order_relaxed)) {
                return;
            }
            continue;
        }
        m_changed.wait(lock);
        state = m_state.load(std::memory_order_relaxed);
    }
}

void TVokMultiReadExclusiveWriteSynchronizer::EndRead() {
    TThreadEntry* entry = FindEntry(this);
    if (entry == nullptr || entry->readCount == 0) {
        throw std::logic_error(
            "TVokMultiReadExclusiveWriteSynchronizer::EndRead: the calling thread holds no read "
            "lock");
    }
    if (--entry->readCount > 0 || entry->writeCount > 0) {
        return;
    }
    const uint64_t state = m_state.fetch_sub(kReaderUnit, std::memory_order_acq_rel) - kReaderUnit;
    // Only writers wait for readers to leave.
    if ((state & kReaderMask) == 0 && (state & kWaitingWriterMask) != 0) {
        Wake();
    }
}

void TVokMultiReadExclusiveWriteSynchronizer::BeginWrite() {
    TThreadEntry& entry = OpenEntry(this);
    if (entry.writeCount > 0) {
        ++entry.writeCount;
        return;
    }
    // A reader hands its own read back while it waits, so that it does not wait for itself.
    const uint64_t ownRead = entry.readCount > 0 ? kReaderUnit : 0;
    uint64_t expected = ownRead;
    if (!m_state.compare_exchange_strong(expected, kWriterHeld, std::memory_order_acquire,
                                         std::memory_order_relaxed)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        uint64_t state =
            m_state.fetch_add(kWaitingWriterUnit - ownRead, std::memory_order_relaxed) +
            kWaitingWriterUnit - ownRead;
        for (;;) {
            if ((state & (kWriterHeld | kReaderMask)) == 0) {
                if (m_state.compare_exchange_weak(state, state - kWaitingWriterUnit + kWriterHeld,
                                                  std::memory_order_acquire,
                                                  std::memory_order_relaxed)) {
                    break;
                }
                continue;
            }
            m_changed.wait(lock);
            state = m_state.load(std::memory_order_relaxed);
        }
    }
    entry.writeCount = 1;
    m_revision.fetch_add(1, std::memory_order_relaxed);
}

void TVokMultiReadExclusiveWriteSynchronizer::EndWrite() {
    TThreadEntry* entry = FindEntry(this);
    if (entry == nullptr || entry->writeCount == 0) {
        throw std::logic_error("TVokMultiReadExclusiveWriteSynchronizer::EndWrite: the calling "
                               "thread does not hold the write lock");
    }
    if (--entry->writeCount > 0) {
        return;
    }
    // A writer that still reads becomes an ordinary reader again, in the same atomic step, so
    // no other writer can slip in between. Unsigned wrap-around makes the combined delta exact.
    const uint64_t delta = (entry->readCount > 0 ? kReaderUnit : 0) - kWriterHeld;
    const uint64_t state = m_state.fetch_add(delta, std::memory_order_acq_rel) + delta;
    if ((state & (kWaitingWriterMask | kSleepingReaderMask)) != 0) {
        Wake();
    }
}

bool TVokMultiReadExclusiveWriteSynchronizer::IsWriter() const {
    const TThreadEntry* entry = FindEntry(this);
    return entry != nullptr && entry->writeCount > 0;
}

uint32_t TVokMultiReadExclusiveWriteSynchronizer::ReadDepth() const {
    const TThreadEntry* entry = FindEntry(this);
    return entry != nullptr ? entry->readCount : 0;
}

void TVokMultiReadExclusiveWriteSynchronizer::Wake() {
    // The state already changed; taking the mutex orders this wake-up after any waiter's
    // check-then-wait, so it cannot be lost.
    { std::lock_guard<std::mutex> lock(m_mutex); }
    m_changed.notify_all();
}
