#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

/// Block pool and the shared storage objects behind every sample buffer.
///
/// Blocks come from one process-wide pool that keeps a free list per exact byte size and never
/// returns a block to the heap while the program runs, so the steady-state data path does no
/// heap traffic. Every block is aligned to 32 bytes.

/// Largest block the pool hands out and the storage can describe, in bytes (2^30).
inline constexpr uint32_t kMaxBlockSize = 1u << 30;

/// Alignment of every pooled block, in bytes.
inline constexpr uint32_t kBlockAlignment = 32;

/// Takes `size` bytes from the heap, aligned to 32 bytes. A size of 0 or less gives null
/// without touching the heap. The heap's own address is kept (as a full pointer) just below the
/// returned block. Throws std::bad_alloc when the heap refuses. Thread safe.
void* AllocAligned(int64_t size);

/// Gives a block from `AllocAligned` back to the heap; null is ignored. Thread safe.
void FreeAligned(void* block) noexcept;

/// Refuses byte sizes the pool cannot hand out: throws std::length_error naming `byteSize` and
/// the 2^30 limit when `byteSize` exceeds it; otherwise returns it narrowed to 32 bits.
uint32_t CheckBlockSize(uint64_t byteSize);

/// The free list of one exact block size. Used as a stack: the block released last is handed
/// out first. Not locked itself; the pool's lock guards every list.
class TZemSmartBufferList {
  public:
    explicit TZemSmartBufferList(uint32_t size) : m_size(size) {}
    TZemSmartBufferList(const TZemSmartBufferList&) = delete;
    TZemSmartBufferList& operator=(const TZemSmartBufferList&) = delete;
    /// Frees every block on the list with `FreeAligned`.
    ~TZemSmartBufferList();

    /// Byte size of every block on this list.
    uint32_t GetSize() const noexcept { return m_size; }
    /// Number of blocks waiting on the list.
    size_t GetFreeCount() const noexcept { return m_freeBlocks.size(); }
    /// Removes and returns the most recently pushed block, or null when the list is empty.
    void* PopBlock() noexcept;
    /// Pushes a block of this list's size. May throw std::bad_alloc (the list grows).
    void PushBlock(void* block);

  private:
    uint32_t m_size;
    std::vector<void*> m_freeBlocks;
};

/// The process-wide pool: one free list per exact size ever requested, kept in the order the
/// sizes were first requested. Exactly one instance exists (`Instance`). It is created on first
/// use and is never destroyed, so a block released during static destruction still finds it;
/// at program exit the pool is cleared and shut down, after which released blocks go straight
/// back to the heap. All operations are thread safe and serialised by one lock.
class TZemSmartBufferManager {
  public:
    /// The single pool.
    static TZemSmartBufferManager& Instance();

    TZemSmartBufferManager(const TZemSmartBufferManager&) = delete;
    TZemSmartBufferManager& operator=(const TZemSmartBufferManager&) = delete;

    /// See `AcquireBlock`.
    void* Acquire(int64_t size);
    /// See `ReleaseBlock`.
    void Release(void* block, int64_t size) noexcept;
    /// See `ClearPool`.
    void Clear() noexcept;
    /// Clears the pool and from then on frees released blocks at once. Run at program exit.
    void Shutdown() noexcept;

    /// Blocks handed out by `Acquire` and not yet given back.
    int64_t GetBlocksInUse();
    /// Byte sizes of the size lists, in the order they were created.
    std::vector<uint32_t> GetListSizes();
    /// Blocks waiting on the list of `size`, or -1 when there is no list of that size.
    int64_t GetFreeBlocks(uint32_t size);

  private:
    TZemSmartBufferManager() = default;
    ~TZemSmartBufferManager() = default;

    TZemSmartBufferList* FindList(uint32_t size) noexcept;

    /// Guards m_lists, m_blocksInUse and m_shutDown.
    std::mutex m_lock;
    std::vector<std::unique_ptr<TZemSmartBufferList>> m_lists;
    int64_t m_blocksInUse = 0;
    bool m_shutDown = false;
};

/// A block of exactly `size` bytes, 32-byte aligned, from the free list of that size (last
/// released first) or fresh from the heap; contents are undefined. Size 0 or less gives null and
/// leaves the pool untouched. Throws std::length_error above 2^30 bytes and std::bad_alloc when
/// the heap refuses. Thread safe.
void* AcquireBlock(int64_t size);

/// Gives `block` (from `AcquireBlock(size)`) back to the free list of `size`. A null block is
/// ignored. A block for which no list exists (the pool was cleared meanwhile) goes back to the
/// heap. Never throws. Thread safe.
void ReleaseBlock(void* block, int64_t size) noexcept;

/// Frees every block on the free lists and every size list. Blocks in use stay valid and go
/// back to the heap when released. Thread safe.
void ClearPool() noexcept;

/// The size class of sample storage: the smallest power of two 2^k, 2 ≤ k ≤ 30, with 2^k ≥ n;
/// 2^30 for anything larger. So 0 … 4 give 4, 5 gives 8, 1000 gives 1024.
uint32_t RoundAllocationSize(uint32_t n) noexcept;

/// Diagnostics for leak checks: blocks handed out by the pool and not yet released.
int64_t PoolBlocksInUse();
/// Diagnostics: the byte sizes of the pool's size lists in creation order.
std::vector<uint32_t> PoolListSizes();
/// Diagnostics: blocks on the free list of `size`, or -1 when no such list exists.
int64_t PoolFreeBlocks(uint32_t size);

/// A shared storage object: counts the buffers that hold it (holders) and those among them that
/// hold it as owners, and destroys itself when the last holder leaves. The counters are guarded
/// by the object's own re-entrant lock, so holders on different threads may come and go
/// concurrently. The object itself, like every derived storage, lives in a pooled block of its
/// exact object size; create storage objects only with `new` and never delete them directly
/// once a holder was added.
class TZemSmartBuffer {
  public:
    /// Counts start at 0; the creator registers itself with `AddHolder` at once.
    TZemSmartBuffer() = default;
    TZemSmartBuffer(const TZemSmartBuffer&) = delete;
    TZemSmartBuffer& operator=(const TZemSmartBuffer&) = delete;
    virtual ~TZemSmartBuffer() = default;

    /// Storage objects are taken from the pool, keyed by their exact object size.
    static void* operator new(std::size_t size);
    static void operator delete(void* object, std::size_t size) noexcept;

    /// Enters the lock guarding the counters (and derived state such as a time stamp).
    /// Re-entrant for the same thread; pair every `Lock` with one `Unlock`.
    void Lock() { m_lock.lock(); }
    void Unlock() { m_lock.unlock(); }

    /// Under the lock: one more holder, and one more owner when `isOwner`.
    virtual void AddHolder(bool isOwner);
    /// Under the lock: one owner fewer when `isOwner` and owners > 0, then one holder fewer when
    /// holders > 0. When that takes holders from 1 to 0 the object destroys itself after leaving
    /// the lock; the caller must not touch it afterwards.
    virtual void RemoveHolder(bool isOwner);
    /// Under the lock: one owner fewer when owners > 0; the caller stays a holder.
    virtual void DropOwnership();
    /// True when at most one owner holds the storage (read under the lock): its owner may then
    /// write in place.
    virtual bool IsExclusive();
    /// A new storage of the same kind with both counts 0; the caller must register itself with
    /// `AddHolder`. The base class gives an empty storage.
    virtual std::unique_ptr<TZemSmartBuffer> CloneStorage(bool copyContents);

    /// Address of the storage's block (32-byte aligned), or null for storage without a block.
    virtual void* GetData() const noexcept { return nullptr; }
    /// Byte size of the block, 0 for storage without a block.
    virtual uint32_t GetAllocatedSize() const noexcept { return 0; }

    /// Current counts, read under the lock (diagnostics).
    int32_t GetOwners();
    int32_t GetHolders();

  protected:
    /// Guards m_owners and m_holders; derived storage may guard more (e.g. a time stamp).
    std::recursive_mutex m_lock;
    int32_t m_owners = 0;
    int32_t m_holders = 0;
};

/// Storage holding one pooled block whose size is a power of two (`RoundAllocationSize`).
class TZemSmartMemoryBuffer : public TZemSmartBuffer {
  public:
    /// A block of `RoundAllocationSize(size)` bytes with undefined contents. Throws
    /// std::length_error above 2^30 bytes.
    explicit TZemSmartMemoryBuffer(uint32_t size);
    /// As above, then copies `size` bytes from `source` into the block.
    TZemSmartMemoryBuffer(uint32_t size, const void* source);
    /// Returns the block to the pool.
    ~TZemSmartMemoryBuffer() override;

    /// A new memory storage of the same allocated size; with `copyContents` the whole block is
    /// copied, otherwise its contents are undefined.
    std::unique_ptr<TZemSmartBuffer> CloneStorage(bool copyContents) override;

    void* GetData() const noexcept override { return m_data; }
    uint32_t GetAllocatedSize() const noexcept override { return m_allocatedSize; }

    /// Copies min(destination, source allocated size) bytes from `source`'s block into
    /// `destination`'s. The caller guarantees nobody writes either block meanwhile.
    static void CopyStorageContents(TZemSmartBuffer& destination, const TZemSmartBuffer& source);

  private:
    void* m_data = nullptr;
    uint32_t m_allocatedSize = 0;
};
