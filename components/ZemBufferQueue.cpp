#include "components/ZemBufferQueue.h"

#include <stdexcept>
#include <string>

namespace {

// Bytes per element; a buffer without a fixed element size counts in bytes.
uint32_t ElementSize(const IZemDataBuffer& buffer) {
    if (const auto* memory = BufferCast<TZemMemoryBuffer>(&buffer)) {
        return memory->GetElementSize();
    }
    return 1;
}

} // namespace

void TZemBufferQueue::AddBuffer(const TRef<IZemDataBuffer>& buffer) {
    if (!buffer) {
        throw std::invalid_argument("TZemBufferQueue::AddBuffer: the buffer is null");
    }
    const uint32_t size = buffer->GetSize();
    if (size == 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_count == m_ring.size()) {
        // Grow the ring, oldest entry first; this only happens until the queue's working
        // depth is reached.
        std::vector<TZemBufferWrapper> grown(m_ring.empty() ? 8 : m_ring.size() * 2);
        for (size_t i = 0; i < m_count; ++i) {
            grown[i] = std::move(Entry(i));
        }
        m_ring.swap(grown);
        m_head = 0;
    }
    m_ring[(m_head + m_count) % m_ring.size()] = TZemBufferWrapper{buffer, size};
    ++m_count;
    m_available += size;
}

bool TZemBufferQueue::ExtractSamples(IZemDataBuffer& destination) {
    const uint32_t needed = destination.GetSize();
    const uint32_t elementSize = ElementSize(destination);
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_available < needed) {
        return false;
    }

    // Check every entry that will be read before anything changes.
    uint64_t covered = 0;
    for (size_t i = 0; covered < needed; ++i) {
        const TZemBufferWrapper& entry = Entry(i);
        if (ElementSize(*entry.Buffer) != elementSize) {
            throw std::invalid_argument("TZemBufferQueue::ExtractSamples: a queued buffer has " +
                                        std::to_string(ElementSize(*entry.Buffer)) +
                                        "-byte elements, the destination " +
                                        std::to_string(elementSize) + "-byte elements");
        }
        if (entry.Buffer->GetSize() < entry.Size) {
            throw std::invalid_argument(
                "TZemBufferQueue::ExtractSamples: a queued buffer shrank from " +
                std::to_string(entry.Size) + " to " + std::to_string(entry.Buffer->GetSize()) +
                " elements after it was queued");
        }
        covered += entry.Size - (i == 0 ? m_headOffset : 0);
    }

    uint32_t remaining = needed;
    uint32_t written = 0;
    while (remaining > 0) {
        TZemBufferWrapper& head = Entry(0);
        const uint32_t left = head.Size - m_headOffset;
        const uint32_t take = remaining < left ? remaining : left;
        // Counted in bytes through the common copy: one copy per sample, whatever the
        // element type, straight into the destination.
        head.Buffer->TZemGenericBuffer::CopyTo(m_headOffset * elementSize, destination,
                                               written * elementSize, take * elementSize);
        written += take;
        remaining -= take;
        if (take < left) {
            m_headOffset += take;
        } else {
            PopFront();
        }
    }
    m_available -= needed;
    return true;
}

void TZemBufferQueue::PopFront() {
    m_ring[m_head] = TZemBufferWrapper{};
    m_head = (m_head + 1) % m_ring.size();
    --m_count;
    m_headOffset = 0;
}

uint64_t TZemBufferQueue::GetAvailable() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_available;
}

size_t TZemBufferQueue::GetBufferCount() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_count;
}

void TZemBufferQueue::Clear() {
    std::lock_guard<std::mutex> lock(m_lock);
    while (m_count > 0) {
        PopFront();
    }
    m_available = 0;
}
