#pragma once

#include "buffers/ZemSimpleDataBuffer.h"

#include <cstdint>
#include <mutex>
#include <vector>

/// One queued buffer: a reference to it and the element count it had when it was queued.
struct TZemBufferWrapper {
    TRef<IZemDataBuffer> Buffer;
    uint32_t Size = 0;
};

/// A first-in-first-out store of sample buffers from which a reader takes exactly as many
/// samples as it asks for, however the writer cut them into buffers.
///
/// Buffers are queued by reference, never copied: the queue keeps the very buffer object it
/// was given, so the writer must not resize or write into it afterwards (send a fresh buffer,
/// or a `Clone`, which copy-on-write then protects). Each sample is copied once, by
/// `ExtractSamples`, straight into the reader's destination. Counts are in elements; the
/// destination and the queued buffers must have the same element size (real buffers with real
/// buffers: the pins queue nothing else).
///
/// Threads: every method may be called from any thread; all are serialised by the queue's own
/// lock (a writer's data handler and a reader's processing may run on different threads).
/// Steady-state use allocates nothing: the ring of entries only grows.
class TZemBufferQueue {
  public:
    TZemBufferQueue() = default;
    TZemBufferQueue(const TZemBufferQueue&) = delete;
    TZemBufferQueue& operator=(const TZemBufferQueue&) = delete;

    /// Appends `buffer` (a reference, no copy) and adds its element count to the available
    /// samples. An empty buffer adds nothing. Throws std::invalid_argument for a null buffer.
    void AddBuffer(const TRef<IZemDataBuffer>& buffer);
    /// Fills `destination` completely (its `GetSize` elements, from element 0) from the head
    /// of the queue and answers true; when fewer samples are queued, does nothing and answers
    /// false. A destination of 0 elements answers true and takes nothing. Buffers taken
    /// completely are released. Throws std::invalid_argument, changing nothing, when a queued
    /// buffer that would be read has a different element size than `destination` or has
    /// shrunk since it was queued.
    bool ExtractSamples(IZemDataBuffer& destination);
    /// Samples queued and not yet taken.
    uint64_t GetAvailable() const;
    /// Buffers still (partly) queued.
    size_t GetBufferCount() const;
    /// Releases every queued buffer; nothing is available afterwards.
    void Clear();

  private:
    TZemBufferWrapper& Entry(size_t index) { return m_ring[(m_head + index) % m_ring.size()]; }
    void PopFront();

    /// Guards every field below.
    mutable std::mutex m_lock;
    /// Ring of entries: m_count of them, the oldest at m_head.
    std::vector<TZemBufferWrapper> m_ring;
    size_t m_head = 0;
    size_t m_count = 0;
    /// Samples queued and not yet taken.
    uint64_t m_available = 0;
    /// Samples already taken from the oldest entry.
    uint32_t m_headOffset = 0;
};
