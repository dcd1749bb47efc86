#pragma once

// Counting replacements of the global allocation functions, for tests that promise "no heap
// allocation in steady state". Include this header from exactly one file of a test executable:
// it defines the replacements for that whole executable. ThreadSanitizer tracks allocations
// through its own, so tsan builds leave such files out.

#include <atomic>
#include <cstdlib>
#include <new>

namespace counting {

/// While set, every allocation adds one to `g_allocations`.
inline std::atomic<bool> g_counting{false};
inline std::atomic<long> g_allocations{0};

/// Counts the allocations made while `action` runs.
template <class F> long CountAllocations(F&& action) {
    g_allocations.store(0);
    g_counting.store(true);
    action();
    g_counting.store(false);
    return g_allocations.load();
}

} // namespace counting

void* operator new(std::size_t size) {
    if (counting::g_counting.load(std::memory_order_relaxed)) {
        counting::g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
