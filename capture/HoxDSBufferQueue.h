#pragma once

#include "capture/HoxCaptureGraph.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

/// The hand-over of captured blocks from the stream's thread to the capture component's
/// delivery thread: the block queue, the delivery thread and the grabber callback object.

/// One queued block: a header followed by the copied sample bytes, in one pooled block of
/// `m_blockSize` bytes (header included).
struct THoxDSQueueEntry {
    THoxDSQueueEntry* m_next = nullptr;
    /// Byte size of the pooled block holding this entry (the "memory handle").
    uint32_t m_blockSize = 0;
    /// Sample bytes following the header.
    uint32_t m_dataLength = 0;
    /// 100-nanosecond units, as the stream gave them.
    int64_t m_startTime = 0;
    int64_t m_stopTime = 0;

    /// The sample bytes.
    uint8_t* GetData() { return reinterpret_cast<uint8_t*>(this) + kHeaderSize; }
    const uint8_t* GetData() const { return reinterpret_cast<const uint8_t*>(this) + kHeaderSize; }
    /// Header size, rounded up so that the samples start 32-byte aligned.
    static constexpr uint32_t kHeaderSize = 64;
};
static_assert(sizeof(THoxDSQueueEntry) <= THoxDSQueueEntry::kHeaderSize);

/// A first-in first-out queue of copied blocks under its own lock.
///
/// Memory: every entry is one block of the process-wide block pool (sized header + data), so in
/// steady state (blocks of one size coming and going) enqueueing takes blocks the pool already
/// holds and never reaches the heap.
///
/// Threads: `Enqueue` runs on the stream's thread; `Dequeue`, `FreeEntry` and `Clear` on any
/// thread. The lock guards the links and the copy into a new entry; the dequeuing thread reads
/// an entry it took outside the lock (it owns it until `FreeEntry`).
class THoxDSBufferQueue {
  public:
    THoxDSBufferQueue() = default;
    /// Frees whatever is still queued.
    ~THoxDSBufferQueue();
    THoxDSBufferQueue(const THoxDSBufferQueue&) = delete;
    THoxDSBufferQueue& operator=(const THoxDSBufferQueue&) = delete;

    /// Copies `length` bytes at `data` into a new entry at the tail. The block is taken from the
    /// pool outside the lock; linking, filling the header and copying happen under it, so a
    /// reader never sees a partial entry. Answers false (nothing queued) when no block could be
    /// had; never throws.
    bool Enqueue(int64_t startTime, int64_t stopTime, const uint8_t* data,
                 uint32_t length) noexcept;
    /// Unlinks and returns the oldest entry (the caller owns it until `FreeEntry`), or null.
    THoxDSQueueEntry* Dequeue() noexcept;
    /// Gives an entry back to the pool; null is ignored.
    static void FreeEntry(THoxDSQueueEntry* entry) noexcept;
    /// Dequeues and frees everything, holding the lock throughout.
    void Clear() noexcept;
    /// Entries queued now.
    size_t GetCount() const;
    /// Blocks refused because no memory could be had.
    uint64_t GetDroppedCount() const { return m_dropped.load(std::memory_order_relaxed); }

  private:
    /// Guards m_head, m_tail and m_count (re-entrant, as the design asks).
    mutable std::recursive_mutex m_lock;
    THoxDSQueueEntry* m_head = nullptr;
    THoxDSQueueEntry* m_tail = nullptr;
    size_t m_count = 0;
    std::atomic<uint64_t> m_dropped{0};
};

/// A worker thread that runs a callback after each wake.
///
/// Created running; it waits on an auto-reset event without time-out. `Signal` sets the event
/// (signals that arrive while the callback runs collapse into one more wake). After each wake
/// the thread ends if it was told to, otherwise it calls the callback. It raises its own
/// priority to `tpHighest` where the system permits. Exceptions of the callback are swallowed
/// (the thread must not die of them; the callback reports its own errors).
class TZemNotifyThread {
  public:
    using TCallback = std::function<void()>;

    /// Starts the thread. Throws std::invalid_argument for an empty callback.
    explicit TZemNotifyThread(TCallback callback);
    /// `Stop`.
    ~TZemNotifyThread();
    TZemNotifyThread(const TZemNotifyThread&) = delete;
    TZemNotifyThread& operator=(const TZemNotifyThread&) = delete;

    /// Any thread, real-time safe (takes the event's short lock, never allocates): wakes the
    /// thread.
    void Signal() noexcept;
    /// Tells the thread to end, wakes it and waits for it (a callback in progress finishes
    /// first). Idempotent. Must not be called from the thread itself.
    void Stop();
    /// Wakes served so far (callback calls).
    uint64_t GetWakeCount() const { return m_wakes.load(std::memory_order_acquire); }
    bool IsRunning() const { return m_thread.joinable(); }

  private:
    void Run();

    const TCallback m_callback;
    /// Guards m_signalled and m_terminated.
    std::mutex m_mutex;
    std::condition_variable m_event;
    bool m_signalled = false;
    bool m_terminated = false;
    std::atomic<uint64_t> m_wakes{0};
    std::thread m_thread;
};

/// The grabber's callback object: forwards every sample to the owner's sample handler (a
/// method pointer; empty: samples are dropped). Owned by the capture component; not reference
/// counted.
class THoxDSSampleGrabberCB final : public IHoxSampleGrabberCB {
  public:
    using TSampleHandler = std::function<void(const THoxMediaSample& sample)>;

    explicit THoxDSSampleGrabberCB(TSampleHandler handler) : m_handler(std::move(handler)) {}

    /// Stream thread: calls the handler.
    int32_t SampleCB(double sampleTime, const THoxMediaSample& sample) noexcept override;
    /// Answers 0.
    int32_t BufferCB(double sampleTime, const uint8_t* buffer, int32_t length) override;

  private:
    const TSampleHandler m_handler;
};
