#include "waterfall/ZemWaterfallBuffers.h"

#include <algorithm>

// --- TZemRealQueue
// --------------------------------------------------------------------------------

void TZemRealQueue::Reserve(size_t capacity) {
    if (capacity <= m_items.size()) {
        return;
    }
    std::vector<double> items(capacity);
    for (size_t index = 0; index < m_count; ++index) {
        items[index] = m_items[(m_head + index) % m_items.size()];
    }
    m_items.swap(items);
    m_head = 0;
}

void TZemRealQueue::Push(double value) {
    if (m_count == m_items.size()) {
        Reserve(std::max<size_t>(16, m_items.size() * 2));
    }
    m_items[(m_head + m_count) % m_items.size()] = value;
    ++m_count;
}

void TZemRealQueue::PopFront() {
    if (m_count > 0) {
        m_head = (m_head + 1) % m_items.size();
        --m_count;
    }
}

// --- TZemSpectrumRing
// -----------------------------------------------------------------------------

void TZemSpectrumRing::SetSlotCount(size_t slots) {
    slots = std::max(slots, m_count);
    if (slots == m_slots.size()) {
        return;
    }
    std::vector<std::vector<double>> resized(slots);
    // The stored spectra move to the front; as many other old slots as fit stay as spares
    // with their memory.
    size_t spare = m_count;
    for (size_t index = 0; index < m_slots.size(); ++index) {
        const size_t from = (m_head + index) % m_slots.size();
        if (index < m_count) {
            resized[index].swap(m_slots[from]);
        } else if (spare < slots) {
            resized[spare++].swap(m_slots[from]);
        }
    }
    m_slots.swap(resized);
    m_head = 0;
}

std::vector<double>& TZemSpectrumRing::NextSlot() {
    if (m_count == m_slots.size()) {
        SetSlotCount(std::max<size_t>(8, m_slots.size() * 2));
    }
    std::vector<double>& slot = m_slots[(m_head + m_count) % m_slots.size()];
    ++m_count;
    return slot;
}

void TZemSpectrumRing::Push(const double* values, uint32_t count) {
    // assign keeps the slot's memory when it is large enough: no allocation in steady state.
    NextSlot().assign(values, values + count);
}

void TZemSpectrumRing::PushSwap(std::vector<double>& spectrum) {
    NextSlot().swap(spectrum);
}

void TZemSpectrumRing::PopFront() {
    if (m_count > 0) {
        m_head = (m_head + 1) % m_slots.size();
        --m_count;
    }
}

void TZemSpectrumRing::PopFrontSwap(std::vector<double>& spectrum) {
    if (m_count > 0) {
        m_slots[m_head].swap(spectrum);
        PopFront();
    }
}

// --- TZemWaterfallBuffers
// -------------------------------------------------------------------------

TZemWaterfallBuffers::TZemWaterfallBuffers(int capacity) : m_capacity(std::max(1, capacity)) {
    SetCapacity(m_capacity);
}

bool TZemWaterfallBuffers::SetCapacity(int capacity) {
    m_capacity = std::max(1, capacity);
    bool cut = false;
    while (m_history.Count() > m_capacity) {
        DropOldest();
        cut = true;
    }
    while (m_pending.Count() > m_capacity) {
        m_pending.PopFront();
    }
    // One slot more than the capacity, as a spectrum is appended before the oldest goes; the
    // slots are reused in turn, so after one round storing allocates nothing.
    const size_t slots = static_cast<size_t>(m_capacity) + 1;
    m_history.SetSlotCount(slots);
    m_pending.SetSlotCount(slots);
    m_maxQueue.Reserve(slots);
    m_minQueue.Reserve(slots);
    return cut;
}

int TZemWaterfallBuffers::GetBinCount() const {
    if (m_history.IsEmpty()) {
        return kNoDataBinCount;
    }
    const size_t length = m_history.At(0).size();
    return length == 0 ? kEmptySpectrumBinCount
                       : static_cast<int>(std::min<size_t>(length, INT32_MAX));
}

void TZemWaterfallBuffers::Rescan(bool maximum) {
    const TZemRealQueue& queue = maximum ? m_maxQueue : m_minQueue;
    // The front is about to go: the extreme of the others.
    double extreme = queue.Item(1);
    for (int index = 2; index < queue.Count(); ++index) {
        const double value = queue.Item(index);
        extreme = maximum ? std::max(extreme, value) : std::min(extreme, value);
    }
    (maximum ? m_runningMax : m_runningMin) = extreme;
}

bool TZemWaterfallBuffers::DropOldest() {
    bool moved = false;
    if (m_maxQueue.Count() > 1 && m_maxQueue.Item(0) == m_runningMax) {
        Rescan(true);
        moved = true;
    }
    m_maxQueue.PopFront();
    if (m_minQueue.Count() > 1 && m_minQueue.Item(0) == m_runningMin) {
        Rescan(false);
        moved = true;
    }
    m_minQueue.PopFront();
    m_history.PopFront();
    return moved;
}

bool TZemWaterfallBuffers::StoreSlot(std::vector<double>* swapIn, const double* values,
                                     uint32_t count) {
    double low = 0.0;
    double high = 0.0;
    if (count > 0) {
        const auto [minimum, maximum] = std::minmax_element(values, values + count);
        low = *minimum;
        high = *maximum;
    }
    if (swapIn != nullptr) {
        m_history.PushSwap(*swapIn);
    } else {
        m_history.Push(values, count);
    }
    m_maxQueue.Push(high);
    m_minQueue.Push(low);
    bool moved = false;
    if (m_history.Count() == 1) {
        moved = m_runningMin != low || m_runningMax != high;
        m_runningMin = low;
        m_runningMax = high;
    } else {
        if (low < m_runningMin) {
            m_runningMin = low;
            moved = true;
        }
        if (high > m_runningMax) {
            m_runningMax = high;
            moved = true;
        }
    }
    if (m_history.Count() > m_capacity) {
        moved |= DropOldest();
    }
    return moved;
}

bool TZemWaterfallBuffers::Store(const double* values, uint32_t count) {
    return StoreSlot(nullptr, values, count);
}

void TZemWaterfallBuffers::Hold(const double* values, uint32_t count) {
    m_pending.Push(values, count);
    if (m_pending.Count() > m_capacity) {
        m_pending.PopFront();
    }
}

bool TZemWaterfallBuffers::ReleaseHeld() {
    bool moved = false;
    if (m_clearHistoryPending) {
        m_history.Clear();
        m_maxQueue.Clear();
        m_minQueue.Clear();
        m_clearHistoryPending = false;
        moved = true;
    }
    while (!m_pending.IsEmpty()) {
        m_pending.PopFrontSwap(m_scratch);
        // The spectrum's memory moves into the history; the history's free slot comes back.
        const double* values = m_scratch.data();
        const auto count = static_cast<uint32_t>(m_scratch.size());
        std::vector<double> spectrum;
        spectrum.swap(m_scratch);
        moved |= StoreSlot(&spectrum, values, count);
        m_scratch.swap(spectrum);
    }
    return moved;
}

void TZemWaterfallBuffers::Clear(bool keepHistory) {
    m_pending.Clear();
    m_maxQueue.Clear();
    m_minQueue.Clear();
    m_runningMax = 0.0;
    m_runningMin = 0.0;
    if (keepHistory) {
        m_clearHistoryPending = true;
    } else {
        m_history.Clear();
    }
}
