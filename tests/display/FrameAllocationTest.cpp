// A steady stream of frames (hand-over of new data and a full render into the off-screen image)
// allocates nothing from the heap once the first frames have sized every buffer.
//
// The counting allocator replaces the global one for the whole executable; ThreadSanitizer
// tracks allocations through its own, so the tsan preset leaves this file out.
#if !defined(__SANITIZE_THREAD__)

#include "ScopeTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

} // namespace

// Counting replacements of the global allocation functions (this executable only).
void* operator new(std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
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

using namespace scopetest;

TEST(FrameAllocation, SteadyFramesAllocateNothing) {
    TScopeRig rig(2);
    std::vector<double> first(1024);
    std::vector<double> second(1024);
    auto frame = [&](int number) {
        for (size_t i = 0; i < first.size(); ++i) {
            first[i] = 10000.0 * std::sin(0.05 * static_cast<double>(i + number));
            second[i] = 5000.0 * std::cos(0.03 * static_cast<double>(i + number));
        }
        rig.Send(0, first);
        rig.Send(1, second);
        g_counting.store(true);
        rig.Scope().CheckNewData();
        rig.Scope().RenderToImage();
        g_counting.store(false);
    };
    for (int number = 0; number < 5; ++number) {
        frame(number);
    }
    g_allocations.store(0);
    for (int number = 5; number < 25; ++number) {
        frame(number);
    }
    EXPECT_EQ(g_allocations.load(), 0) << "heap allocations in 20 steady frames";
}

#endif // !defined(__SANITIZE_THREAD__)
