#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

/// Re-entrant multi-read / exclusive-write lock: the process-wide lock that separates structural
/// changes of the pin graph (writers) from the traffic through it (readers).
///
/// Behaviour, all per calling thread:
/// - Reads are re-entrant. A re-entrant read (the thread already reads) never blocks and touches
///   no shared state; only the thread's first read and last `EndRead` change the shared word.
/// - Writes are re-entrant, and the writer may take read locks freely.
/// - A reader may take the write lock (upgrade): its own read is handed back while it waits for
///   every other reader to leave, and taken back when its last `EndWrite` runs while it still
///   reads. Note that while it waits, another upgrading reader may get the write lock first.
/// - Writer preference: while a writer waits, a thread's FIRST read blocks; re-entrant reads of
///   threads that already read do not (they would otherwise deadlock against the writer).
/// Every `Begin` must be paired with its `End` in the same thread. Waits are unbounded.
///
/// Per-thread bookkeeping lives in a small thread-local table (no allocation at all); a thread
/// may hold at most 32 different synchronisers at the same time (std::logic_error beyond that).
class TVokMultiReadExclusiveWriteSynchronizer {
  public:
    TVokMultiReadExclusiveWriteSynchronizer() = default;
    TVokMultiReadExclusiveWriteSynchronizer(const TVokMultiReadExclusiveWriteSynchronizer&) =
        delete;
    TVokMultiReadExclusiveWriteSynchronizer&
    operator=(const TVokMultiReadExclusiveWriteSynchronizer&) = delete;
    /// Waits for the write lock (so no other thread still holds it), then goes away.
    ~TVokMultiReadExclusiveWriteSynchronizer();

    /// Takes a read lock. Blocks only on a thread's first read while another thread writes or
    /// waits to write.
    void BeginRead();
    /// Gives back one read lock. Throws std::logic_error if the thread holds none.
    void EndRead();
    /// Takes the write lock; waits until no other thread reads or writes.
    void BeginWrite();
    /// Gives back one write lock. Throws std::logic_error when the calling thread does not hold
    /// the write lock (a programming error).
    void EndWrite();

    /// True when the calling thread holds the write lock.
    bool IsWriter() const;
    /// Number of read locks the calling thread holds on this synchroniser.
    uint32_t ReadDepth() const;
    /// Incremented each time a thread newly obtains the write lock.
    uint64_t RevisionLevel() const { return m_revision.load(std::memory_order_relaxed); }

  private:
    void SlowBeginRead();
    void Wake();

    /// The shared state word: active reader threads (bits 0-19), the write-held flag (bit 20),
    /// waiting writers (bits 21-41) and sleeping readers (bits 42-62). Every change is one atomic
    /// read-modify-write, so a releasing thread sees from its own result whether to wake anyone.
    std::atomic<uint64_t> m_state{0};
    /// Guards nothing but the sleep/wake hand-shake on `m_changed`: a thread that decides to wait
    /// checks `m_state` and waits while holding it, and a releasing thread takes it before
    /// notifying, so no wake-up is lost.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::atomic<uint64_t> m_revision{0};
};
