#pragma once

#include <cstring>

/// Wide-vector clones of hot loops, chosen once by the loader, with the portable variant always
/// present. ThreadSanitizer builds keep only the portable code: the loader runs the clone
/// resolvers before the sanitizer's runtime is ready.
#if defined(__SANITIZE_THREAD__)
#define VEC_CLONES
#else
#define VEC_CLONES __attribute__((target_clones("avx2", "default")))
#endif

namespace detail {

/// Loads through memcpy, so strided rows may sit at any byte offset.
template <typename T> inline T LoadAt(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

/// Stores through memcpy, so strided rows may sit at any byte offset.
template <typename T> inline void StoreAt(unsigned char* p, T v) {
    std::memcpy(p, &v, sizeof(T));
}

} // namespace detail
