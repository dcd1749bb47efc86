#pragma once

// The waterfall's spectrum store: the last N spectra (oldest first), the spectra held back while
// the display is held, and the running minimum and maximum over the stored spectra.
//
// Spectra are copied into slots that are reused: a slot keeps its memory when its spectrum
// leaves the history, so storing a spectrum allocates nothing once the history is full (unless
// a spectrum is longer than any before it). Not thread-safe: the waterfall guards the store with
// its data lock.

#include <cstddef>
#include <cstdint>
#include <vector>

/// A first-in first-out queue of doubles in a ring; grows only when pushed beyond its
/// capacity.
class TZemRealQueue {
  public:
    void Push(double value);
    int Count() const { return static_cast<int>(m_count); }
    /// Element `index` from the front (0 = oldest); the caller keeps 0 ≤ index < Count.
    double Item(int index) const {
        return m_items[(m_head + static_cast<size_t>(index)) % m_items.size()];
    }
    /// Removes the front element (nothing when empty).
    void PopFront();
    void Clear() {
        m_head = 0;
        m_count = 0;
    }
    /// Makes room for `capacity` elements without a later allocation.
    void Reserve(size_t capacity);

  private:
    std::vector<double> m_items;
    size_t m_head = 0;
    size_t m_count = 0;
};

/// An ordered list of spectra in reusable slots (oldest first).
class TZemSpectrumRing {
  public:
    int Count() const { return static_cast<int>(m_count); }
    bool IsEmpty() const { return m_count == 0; }
    /// Spectrum `index` (0 = oldest); the caller keeps 0 ≤ index < Count.
    const std::vector<double>& At(int index) const { return m_slots[SlotOf(index)]; }
    /// Appends a copy of `count` values (grows the ring when full).
    void Push(const double* values, uint32_t count);
    /// Appends by swapping `spectrum` into a free slot (its old memory comes back in
    /// `spectrum`).
    void PushSwap(std::vector<double>& spectrum);
    /// Removes the oldest (its slot keeps its memory for reuse).
    void PopFront();
    /// Takes the oldest out by swapping it into `spectrum`, then removes it.
    void PopFrontSwap(std::vector<double>& spectrum);
    void Clear() {
        m_head = 0;
        m_count = 0;
    }
    /// Makes the ring `slots` slots long (never fewer than the stored spectra); the stored
    /// spectra keep their order.
    void SetSlotCount(size_t slots);

  private:
    size_t SlotOf(int index) const {
        return (m_head + static_cast<size_t>(index)) % m_slots.size();
    }
    std::vector<double>& NextSlot();

    std::vector<std::vector<double>> m_slots;
    size_t m_head = 0;
    size_t m_count = 0;
};

/// The spectrum store of a waterfall.
class TZemWaterfallBuffers {
  public:
    /// The bin count reported before any spectrum and for a spectrum of length 0.
    static constexpr int kNoDataBinCount = 500;
    static constexpr int kEmptySpectrumBinCount = 512;

    explicit TZemWaterfallBuffers(int capacity = 512);

    /// The history's capacity (`XAxis.Samples`). Lowering it drops the oldest spectra of the
    /// history (running extremes rescanned) and of the held ones; answers whether the history
    /// lost spectra.
    bool SetCapacity(int capacity);
    int GetCapacity() const { return m_capacity; }

    /// Stores a spectrum in the history: appends it with its extremes, keeps at most
    /// `GetCapacity` spectra, updates the running extremes. Answers whether a running extreme
    /// changed.
    bool Store(const double* values, uint32_t count);
    /// Holds a spectrum back; at most `GetCapacity` are kept (the oldest goes).
    void Hold(const double* values, uint32_t count);
    /// Stores the held spectra in order (emptying the history first when a clear happened
    /// while held). Answers whether a running extreme changed.
    bool ReleaseHeld();
    /// Drops the held spectra and the extremes; `keepHistory` (held or dragging) keeps the
    /// history until the next release, otherwise it is emptied at once.
    void Clear(bool keepHistory);

    const TZemSpectrumRing& GetHistory() const { return m_history; }
    const TZemSpectrumRing& GetPending() const { return m_pending; }
    int GetCount() const { return m_history.Count(); }
    /// The length of the oldest stored spectrum; 500 with none, 512 for an empty one.
    int GetBinCount() const;
    /// True when extremes are known (the queues are not empty).
    bool HasExtremes() const { return m_maxQueue.Count() > 0; }
    double GetRunningMin() const { return m_runningMin; }
    double GetRunningMax() const { return m_runningMax; }
    const TZemRealQueue& GetMaxQueue() const { return m_maxQueue; }
    const TZemRealQueue& GetMinQueue() const { return m_minQueue; }
    bool IsClearHistoryPending() const { return m_clearHistoryPending; }

  private:
    bool StoreSlot(std::vector<double>* swapIn, const double* values, uint32_t count);
    bool DropOldest();
    void Rescan(bool maximum);

    int m_capacity;
    TZemSpectrumRing m_history;
    TZemSpectrumRing m_pending;
    TZemRealQueue m_maxQueue;
    TZemRealQueue m_minQueue;
    double m_runningMax = 0.0;
    double m_runningMin = 0.0;
    bool m_clearHistoryPending = false;
    std::vector<double> m_scratch; ///< a slot's memory in transit between the rings
};
