#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// Enumerations shared by the processing components, with the value names their published
/// properties use (value k is named by entry k of the list).

/// Where a generator takes its ticks from.
enum TZemClockSource : uint8_t {
    csInternal, ///< the internal clock (components/ZemClockGen.h), one tick per buffer period
    csExternal, ///< its `ClockPin`: one tick per clock operation or buffer received there
};

/// "csInternal", "csExternal".
inline const std::vector<std::string>& ZemClockSourceNames() {
    static const std::vector<std::string> names{"csInternal", "csExternal"};
    return names;
}

/// Scale of a forward Fourier transform of length N.
enum TZemFourierNormalization : uint8_t {
    fnNone,          ///< 1
    fnNormalize,     ///< 1 / N
    fnNormalizeSqrt, ///< 1 / √N
};

/// "fnNone", "fnNormalize", "fnNormalizeSqrt".
inline const std::vector<std::string>& ZemFourierNormalizationNames() {
    static const std::vector<std::string> names{"fnNone", "fnNormalize", "fnNormalizeSqrt"};
    return names;
}
