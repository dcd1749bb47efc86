#pragma once

// Small value types and numeric helpers shared by every display: rectangles with exclusive
// right and bottom edges, real points and ranges, zoom operations, mouse buttons and shift
// state, and the saturating rounding every pixel computation goes through.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

/// A pixel rectangle (left, top) to (right, bottom), right and bottom exclusive.
struct TZemRect {
    int m_left = 0;
    int m_top = 0;
    int m_right = 0;
    int m_bottom = 0;

    int Width() const { return m_right - m_left; }
    int Height() const { return m_bottom - m_top; }
    bool IsEmpty() const { return m_right <= m_left || m_bottom <= m_top; }
    bool Contains(int x, int y) const {
        return x >= m_left && x < m_right && y >= m_top && y < m_bottom;
    }
    friend bool operator==(const TZemRect&, const TZemRect&) = default;
};

struct TZemRealPoint {
    double m_x = 0.0;
    double m_y = 0.0;
    friend bool operator==(const TZemRealPoint&, const TZemRealPoint&) = default;
};

/// The visible ranges handed to `OnZoomChanged`: first the X and Y minima, then the maxima.
struct TZemRealRanges {
    TZemRealPoint m_min;
    TZemRealPoint m_max;
    friend bool operator==(const TZemRealRanges&, const TZemRealRanges&) = default;
};

/// A range of one axis, in data units.
struct TZemRealRange {
    double m_min = 0.0;
    double m_max = 0.0;
};

enum TZemZoomOperation : uint8_t { zoUndo, zoRedo, zoMouseWheel, zoZoom, zoZoomOff };

enum TZemMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

/// Keyboard and mouse-button state of a pointer event, as bits.
enum TZemShiftFlag : uint32_t {
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
    ssLeft = 8,
    ssRight = 16,
    ssMiddle = 32,
    ssDouble = 64,
};
using TZemShiftState = uint32_t;

/// Alignment of a view in its display's layout.
enum TZemViewAlignment : uint8_t {
    zvaTop = 1,
    zvaBottom = 2,
    zvaLeft = 3,
    zvaRight = 4,
    zvaClient = 5,
};

namespace detail {

/// `value`, already integral or to be truncated, saturated to the 32-bit range; NaN gives 0.
inline int32_t ZemSaturateToInt32(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483647.0) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value <= -2147483648.0) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(value);
}

} // namespace detail

/// Nearest integer with ties to even, saturated to the 32-bit range; NaN gives 0. Every scalar
/// pixel rounding of the displays goes through it, so no double → int conversion is undefined.
inline int32_t ZemRound(double value) {
    return detail::ZemSaturateToInt32(std::isfinite(value) ? std::nearbyint(value) : value);
}

/// Truncation toward zero, saturated like `ZemRound`.
inline int32_t ZemTrunc(double value) {
    return detail::ZemSaturateToInt32(value);
}

/// Pixel coordinates are kept within ±10 000 000 so that pixel arithmetic (bar edges, point
/// boxes) never overflows 32 bits; far outside any surface, so clamping changes no picture.
inline constexpr int32_t kZemPixelLimit = 10000000;
inline int32_t ZemClampPixel(int64_t pixel) {
    return static_cast<int32_t>(std::clamp<int64_t>(pixel, -kZemPixelLimit, kZemPixelLimit));
}

/// Signed logarithm of logarithmic axes: log10(1 + v) for v ≥ 0, −log10(1 − v) below.
inline double ZemSignedLog(double value) {
    return value >= 0 ? std::log10(1.0 + value) : -std::log10(1.0 - value);
}
/// Inverse of `ZemSignedLog`.
inline double ZemSignedPow(double value) {
    return value >= 0 ? std::pow(10.0, value) - 1.0 : -(std::pow(10.0, -value) - 1.0);
}
