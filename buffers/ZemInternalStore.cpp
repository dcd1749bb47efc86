#include "buffers/ZemInternalStore.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

// ---- aligned heap blocks -------------------------------------------------------------------

namespace {

// Room below the aligned block for the heap's own address, plus the worst-case shift needed
// to reach the next multiple of 32. A full pointer is stored: 4 bytes would not hold a 64-bit
// address.
constexpr size_t kHeaderBytes = sizeof(void*);
constexpr size_t kSlackBytes = kHeaderBytes + kBlockAlignment - 1;

} // namespace

void* AllocAligned(int64_t size) {
    if (size <= 0) {
        return nullptr;
    }
    void* raw = std::malloc(static_cast<size_t>(size) + kSlackBytes);
    if (raw == nullptr) {
        throw std::bad_alloc();
    }
    const uintptr_t aligned =
        (reinterpret_cast<uintptr_t>(raw) + kSlackBytes) & ~uintptr_t{kBlockAlignment - 1};
    void* block = reinterpret_cast<void*>(aligned);
    std::memcpy(static_cast<char*>(block) - kHeaderBytes, &raw, sizeof raw);
    return block;
}

void FreeAligned(void* block) noexcept {
    if (block == nullptr) {
        return;
    }
    void* raw = nullptr;
    std::memcpy(&raw, static_cast<char*>(block) - kHeaderBytes, sizeof raw);
    std::free(raw);
}

uint32_t CheckBlockSize(uint64_t byteSize) {
    if (byteSize > kMaxBlockSize) {
        throw std::length_error("block of " + std::to_string(byteSize) +
                                " bytes refused: the largest block is " +
                                std::to_string(kMaxBlockSize) + " bytes");
    }
    return static_cast<uint32_t>(byteSize);
}

// ---- free lists ----------------------------------------------------------------------------

TZemSmartBufferList::~TZemSmartBufferList() {
    for (void* block : m_freeBlocks) {
        FreeAligned(block);
    }
}

void* TZemSmartBufferList::PopBlock() noexcept {
    if (m_freeBlocks.empty()) {
        return nullptr;
    }
    void* block = m_freeBlocks.back();
    m_freeBlocks.pop_back();
    return block;
}

void TZemSmartBufferList::PushBlock(void* block) {
    m_freeBlocks.push_back(block);
}

// ---- the pool ------------------------------------------------------------------------------

namespace {

// Clears the pool when static objects are destroyed at exit. Constructed together with the
// pool, so every static object created after the pool is destroyed before it runs; blocks that
// such objects release later go straight back to the heap.
struct TPoolShutdown {
    ~TPoolShutdown() { TZemSmartBufferManager::Instance().Shutdown(); }
};

} // namespace

TZemSmartBufferManager& TZemSmartBufferManager::Instance() {
    // Deliberately never destroyed: a release arriving during static destruction must still
    // find a valid pool. Function-local, so there is no initialisation-order hazard.
    static TZemSmartBufferManager* const s_instance = new TZemSmartBufferManager();
    static TPoolShutdown s_shutdown;
    return *s_instance;
}

TZemSmartBufferList* TZemSmartBufferManager::FindList(uint32_t size) noexcept {
    // Few size classes exist in practice; a linear walk is cheaper than any index.
    for (const auto& list : m_lists) {
        if (list->GetSize() == size) {
            return list.get();
        }
    }
    return nullptr;
}

void* TZemSmartBufferManager::Acquire(int64_t size) {
    if (size <= 0) {
        return nullptr;
    }
    const uint32_t blockSize = CheckBlockSize(static_cast<uint64_t>(size));
    {
        std::lock_guard<std::mutex> guard(m_lock);
        TZemSmartBufferList* list = FindList(blockSize);
        if (list == nullptr) {
            m_lists.push_back(std::make_unique<TZemSmartBufferList>(blockSize));
            list = m_lists.back().get();
        }
        if (void* block = list->PopBlock()) {
            ++m_blocksInUse;
            return block;
        }
    }
    // The heap is called outside the pool lock so other threads keep recycling meanwhile.
    void* block = AllocAligned(blockSize);
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_blocksInUse;
    return block;
}

void TZemSmartBufferManager::Release(void* block, int64_t size) noexcept {
    if (block == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        --m_blocksInUse;
        TZemSmartBufferList* list = (m_shutDown || size <= 0 || size > kMaxBlockSize)
                                        ? nullptr
                                        : FindList(static_cast<uint32_t>(size));
        if (list != nullptr) {
            try {
                list->PushBlock(block);
                return;
            } catch (const std::bad_alloc&) {
                // The list could not grow: hand the block back to the heap instead.
            }
        }
    }
    // No list to keep it (pool cleared or shut down): a block nobody can reuse would leak.
    FreeAligned(block);
}

void TZemSmartBufferManager::Clear() noexcept {
    std::vector<std::unique_ptr<TZemSmartBufferList>> lists;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        lists.swap(m_lists);
    }
    // The lists (and their blocks) are freed here, outside the lock.
}

void TZemSmartBufferManager::Shutdown() noexcept {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_shutDown = true;
    }
    Clear();
}

int64_t TZemSmartBufferManager::GetBlocksInUse() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_blocksInUse;
}

std::vector<uint32_t> TZemSmartBufferManager::GetListSizes() {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<uint32_t> sizes;
    sizes.reserve(m_lists.size());
    for (const auto& list : m_lists) {
        sizes.push_back(list->GetSize());
    }
    return sizes;
}

int64_t TZemSmartBufferManager::GetFreeBlocks(uint32_t size) {
    std::lock_guard<std::mutex> guard(m_lock);
    const TZemSmartBufferList* list = FindList(size);
    return list == nullptr ? -1 : static_cast<int64_t>(list->GetFreeCount());
}

void* AcquireBlock(int64_t size) {
    return TZemSmartBufferManager::Instance().Acquire(size);
}

void ReleaseBlock(void* block, int64_t size) noexcept {
    if (block != nullptr) {
        TZemSmartBufferManager::Instance().Release(block, size);
    }
}

void ClearPool() noexcept {
    TZemSmartBufferManager::Instance().Clear();
}

uint32_t RoundAllocationSize(uint32_t n) noexcept {
    for (uint32_t k = 2; k <= 30; ++k) {
        if ((uint32_t{1} << k) >= n) {
            return uint32_t{1} << k;
        }
    }
    return kMaxBlockSize;
}

int64_t PoolBlocksInUse() {
    return TZemSmartBufferManager::Instance().GetBlocksInUse();
}

std::vector<uint32_t> PoolListSizes() {
    return TZemSmartBufferManager::Instance().GetListSizes();
}

int64_t PoolFreeBlocks(uint32_t size) {
    return TZemSmartBufferManager::Instance().GetFreeBlocks(size);
}

// ---- shared storage ------------------------------------------------------------------------

void* TZemSmartBuffer::operator new(std::size_t size) {
    // AcquireBlock throws rather than returning null, as an allocation function must.
    return AcquireBlock(static_cast<int64_t>(size));
}

void TZemSmartBuffer::operator delete(void* object, std::size_t size) noexcept {
    // The virtual destructor makes `size` the dynamic object size, matching the acquire.
    ReleaseBlock(object, static_cast<int64_t>(size));
}

void TZemSmartBuffer::AddHolder(bool isOwner) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (isOwner) {
        ++m_owners;
    }
    ++m_holders;
}

void TZemSmartBuffer::RemoveHolder(bool isOwner) {
    bool lastHolder = false;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        if (isOwner && m_owners > 0) {
            --m_owners;
        }
        if (m_holders > 0) {
            --m_holders;
            lastHolder = m_holders == 0;
        }
    }
    // Destroyed only after the lock is left: the lock is part of this object.
    if (lastHolder) {
        delete this;
    }
}

void TZemSmartBuffer::DropOwnership() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_owners > 0) {
        --m_owners;
    }
}

bool TZemSmartBuffer::IsExclusive() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_owners <= 1;
}

std::unique_ptr<TZemSmartBuffer> TZemSmartBuffer::CloneStorage(bool /*copyContents*/) {
    return std::unique_ptr<TZemSmartBuffer>(new TZemSmartBuffer());
}

int32_t TZemSmartBuffer::GetOwners() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_owners;
}

int32_t TZemSmartBuffer::GetHolders() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_holders;
}

TZemSmartMemoryBuffer::TZemSmartMemoryBuffer(uint32_t size)
    : m_allocatedSize(RoundAllocationSize(CheckBlockSize(size))) {
    m_data = AcquireBlock(m_allocatedSize);
}

TZemSmartMemoryBuffer::TZemSmartMemoryBuffer(uint32_t size, const void* source)
    : TZemSmartMemoryBuffer(size) {
    if (size > 0) {
        std::memcpy(m_data, source, size);
    }
}

TZemSmartMemoryBuffer::~TZemSmartMemoryBuffer() {
    ReleaseBlock(m_data, m_allocatedSize);
}

std::unique_ptr<TZemSmartBuffer> TZemSmartMemoryBuffer::CloneStorage(bool copyContents) {
    auto clone = std::make_unique<TZemSmartMemoryBuffer>(m_allocatedSize);
    if (copyContents) {
        std::memcpy(clone->m_data, m_data, m_allocatedSize);
    }
    return clone;
}

void TZemSmartMemoryBuffer::CopyStorageContents(TZemSmartBuffer& destination,
                                                const TZemSmartBuffer& source) {
    const uint32_t bytes = std::min(destination.GetAllocatedSize(), source.GetAllocatedSize());
    if (bytes > 0 && destination.GetData() != source.GetData()) {
        std::memcpy(destination.GetData(), source.GetData(), bytes);
    }
}
