#include "capture/HoxDSBufferQueue.h"

#include "buffers/ZemInternalStore.h"
#include "platform/VokThreadPriority.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

// ---- queue -------------------------------------------------------------------------------------

THoxDSBufferQueue::~THoxDSBufferQueue() {
    Clear();
}

bool THoxDSBufferQueue::Enqueue(int64_t startTime, int64_t stopTime, const uint8_t* data,
                                uint32_t length) noexcept {
    if (length > kMaxBlockSize - THoxDSQueueEntry::kHeaderSize) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    // Rounded to the pool's size classes, so blocks of slightly varying lengths share a list.
    const uint32_t blockSize = RoundAllocationSize(THoxDSQueueEntry::kHeaderSize + length);
    void* block = nullptr;
    try {
        block = AcquireBlock(blockSize);
    } catch (...) {
        block = nullptr;
    }
    if (block == nullptr) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto* entry = new (block) THoxDSQueueEntry();
    entry->m_blockSize = blockSize;
    entry->m_dataLength = length;
    entry->m_startTime = startTime;
    entry->m_stopTime = stopTime;
    if (length > 0) {
        std::memcpy(entry->GetData(), data, length);
    }
    if (m_tail != nullptr) {
        m_tail->m_next = entry;
    } else {
        m_head = entry;
    }
    m_tail = entry;
    ++m_count;
    return true;
}

THoxDSQueueEntry* THoxDSBufferQueue::Dequeue() noexcept {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    THoxDSQueueEntry* entry = m_head;
    if (entry != nullptr) {
        m_head = entry->m_next;
        if (m_head == nullptr) {
            m_tail = nullptr;
        }
        entry->m_next = nullptr;
        --m_count;
    }
    return entry;
}

void THoxDSBufferQueue::FreeEntry(THoxDSQueueEntry* entry) noexcept {
    if (entry != nullptr) {
        const uint32_t blockSize = entry->m_blockSize;
        entry->~THoxDSQueueEntry();
        ReleaseBlock(entry, blockSize);
    }
}

void THoxDSBufferQueue::Clear() noexcept {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    while (THoxDSQueueEntry* entry = Dequeue()) {
        FreeEntry(entry);
    }
}

size_t THoxDSBufferQueue::GetCount() const {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_count;
}

// ---- notify thread
// -------------------------------------------------------------------------------

TZemNotifyThread::TZemNotifyThread(TCallback callback) : m_callback(std::move(callback)) {
    if (!m_callback) {
        throw std::invalid_argument("TZemNotifyThread needs a callback");
    }
    m_thread = std::thread([this] { Run(); });
}

TZemNotifyThread::~TZemNotifyThread() {
    Stop();
}

void TZemNotifyThread::Signal() noexcept {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_signalled = true;
    }
    m_event.notify_one();
}

void TZemNotifyThread::Stop() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_terminated = true;
        m_signalled = true;
    }
    m_event.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void TZemNotifyThread::Run() {
    RaiseCurrentThreadPriority(tpHighest);
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_event.wait(lock, [this] { return m_signalled; });
            // Auto-reset: one wake consumes every signal given so far.
            m_signalled = false;
            if (m_terminated) {
                return;
            }
        }
        try {
            m_callback();
        } catch (...) {
            // The callback reports its own failures; the thread keeps serving.
        }
        m_wakes.fetch_add(1, std::memory_order_acq_rel);
    }
}

// ---- grabber callback
// ------------------------------------------------------------------------------

int32_t THoxDSSampleGrabberCB::SampleCB(double, const THoxMediaSample& sample) noexcept {
    if (m_handler) {
        m_handler(sample);
    }
    return 0;
}

int32_t THoxDSSampleGrabberCB::BufferCB(double, const uint8_t*, int32_t) {
    return 0;
}
