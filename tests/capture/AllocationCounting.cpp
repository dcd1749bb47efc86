#include "AllocationCounting.h"

#include <cstddef>

namespace {
thread_local uint64_t t_allocations = 0;
}

uint64_t CurrentThreadAllocations() {
    return t_allocations;
}

#if CAPTURE_COUNTS_ALLOCATIONS
// The test program's own allocator entry points: they count and hand over to the C library's
// allocator, so every library in the process (and operator new) goes through them.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);

void* malloc(size_t size) {
    ++t_allocations;
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
    ++t_allocations;
    return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) {
    ++t_allocations;
    return __libc_realloc(block, size);
}

void free(void* block) {
    __libc_free(block);
}
}
#endif
