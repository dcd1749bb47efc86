#pragma once

#include <cstdint>

// Counts heap allocations (malloc, calloc, realloc: operator new and the C libraries included)
// per thread, so that code running on a thread the test does not own (the capture stream's)
// can tell whether a call allocated. Sanitizer builds bring their own allocator, so there the
// count is not kept.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define CAPTURE_COUNTS_ALLOCATIONS 1
#else
#define CAPTURE_COUNTS_ALLOCATIONS 0
#endif

/// Heap allocations made by the calling thread so far.
uint64_t CurrentThreadAllocations();
