// Integer element-wise arithmetic (scaled, saturating) and thresholds.
//
// Every scaled routine first forms the exact result in a wider type (int64 covers sums,
// differences and 32 × 32 products; quotients with large scales use 128-bit integers), then
// applies the scale with round-to-nearest-even and saturates. The scale is sorted into one of
// four kinds once per call so the per-element loops stay simple enough to vectorise.

#include "dsp/VecInternal.h"
#include "dsp/VecPrimitives.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

namespace {

__extension__ typedef __int128 TInt128;

template <typename T> constexpr int64_t kLo = std::numeric_limits<T>::min();
template <typename T> constexpr int64_t kHi = std::numeric_limits<T>::max();

template <typename T> inline T Saturate(int64_t r) {
    return static_cast<T>(std::clamp<int64_t>(r, kLo<T>, kHi<T>));
}

// r × 2^−shift rounded to nearest with ties to even, for 1 ≤ shift ≤ 62.
inline int64_t RoundShiftDown(int64_t r, int shift) {
    const int64_t floorQ = r >> shift; // arithmetic shift: floor division
    const uint64_t rem = static_cast<uint64_t>(r) & ((uint64_t{1} << shift) - 1);
    const uint64_t half = uint64_t{1} << (shift - 1);
    return floorQ + static_cast<int64_t>((rem > half) | ((rem == half) & (floorQ & 1)));
}

// Saturate(r × 2^shift) for 1 ≤ shift ≤ 32 without overflow: a value already outside the
// element range stays outside after a left shift, and one inside has at most 32 bits.
template <typename T> inline T ScaleUp(int64_t r, int shift) {
    if (r > kHi<T>) {
        return static_cast<T>(kHi<T>);
    }
    if (r < kLo<T>) {
        return static_cast<T>(kLo<T>);
    }
    return Saturate<T>(static_cast<int64_t>(static_cast<uint64_t>(r) << shift));
}

enum class TScaleKind { Plain, Down, Up, Zero };

struct TScale {
    TScaleKind kind;
    int shift;
};

// |exact results| < 2^63 here, so a down shift of 63 or more always rounds to 0, and any
// nonzero value shifted up by 32 or more saturates (32 is then as good as any larger shift).
inline TScale ClassifyScale(int32_t scale) {
    if (scale == 0) {
        return {TScaleKind::Plain, 0};
    }
    if (scale > 0) {
        return scale >= 63 ? TScale{TScaleKind::Zero, 0} : TScale{TScaleKind::Down, scale};
    }
    const int64_t up = -static_cast<int64_t>(scale);
    return {TScaleKind::Up, static_cast<int>(std::min<int64_t>(up, 32))};
}

using detail::LoadAt;
using detail::StoreAt;

// dst[i] = scaled(op(dst[i], src[i])) over one contiguous run; elements reached through byte
// pointers so the same loop serves strided rows.
template <typename T, typename Op>
inline void ScaledRun(const unsigned char* src, unsigned char* dst, int32_t count, TScale scale,
                      Op op) {
    constexpr size_t kSize = sizeof(T);
    switch (scale.kind) {
    case TScaleKind::Plain:
        for (int32_t i = 0; i < count; ++i) {
            const int64_t r = op(LoadAt<T>(dst + i * kSize), LoadAt<T>(src + i * kSize));
            StoreAt<T>(dst + i * kSize, Saturate<T>(r));
        }
        break;
    case TScaleKind::Down:
        for (int32_t i = 0; i < count; ++i) {
            const int64_t r = op(LoadAt<T>(dst + i * kSize), LoadAt<T>(src + i * kSize));
            StoreAt<T>(dst + i * kSize, Saturate<T>(RoundShiftDown(r, scale.shift)));
        }
        break;
    case TScaleKind::Up:
        for (int32_t i = 0; i < count; ++i) {
            const int64_t r = op(LoadAt<T>(dst + i * kSize), LoadAt<T>(src + i * kSize));
            StoreAt<T>(dst + i * kSize, ScaleUp<T>(r, scale.shift));
        }
        break;
    case TScaleKind::Zero:
        std::memset(dst, 0, static_cast<size_t>(count) * kSize);
        break;
    }
}

template <typename T, typename Op>
inline TVecStatus ScaledInPlace(const T* src, T* srcDst, int32_t len, int32_t scale, Op op) {
    if (src == nullptr || srcDst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    ScaledRun<T>(reinterpret_cast<const unsigned char*>(src),
                 reinterpret_cast<unsigned char*>(srcDst), len, ClassifyScale(scale), op);
    return vsOk;
}

template <typename T, typename Op>
inline TVecStatus ScaledStrided(const T* src, int32_t srcStep, T* srcDst, int32_t srcDstStep,
                                int32_t width, int32_t height, int32_t scale, Op op) {
    if (src == nullptr || srcDst == nullptr) {
        return vsNullPtrErr;
    }
    if (width <= 0 || height <= 0) {
        return vsSizeErr;
    }
    if (srcStep <= 0 || srcDstStep <= 0) {
        return vsStepErr;
    }
    const TScale kind = ClassifyScale(scale);
    const auto* srcRow = reinterpret_cast<const unsigned char*>(src);
    auto* dstRow = reinterpret_cast<unsigned char*>(srcDst);
    for (int32_t row = 0; row < height; ++row) {
        ScaledRun<T>(srcRow, dstRow, width, kind, op);
        srcRow += srcStep;
        dstRow += srcDstStep;
    }
    return vsOk;
}

// Rounded quotient num ÷ den (den > 0) with ties to even; W is int64_t or TInt128.
template <typename W> inline W RoundDivide(W num, W den) {
    W quot = num / den;
    W rem = num % den; // same sign as num
    if (rem < 0) {
        rem = -rem;
    }
    const W twice = rem * 2;
    if (twice > den || (twice == den && (quot & 1) != 0)) {
        quot += num < 0 ? -1 : 1;
    }
    return quot;
}

// Quotient num × 2^−scale ÷ den, rounded to nearest (ties to even) and saturated to T.
// |num|, |den| ≤ 2^31. A zero divisor gives 0, the upper or the lower limit by the sign of
// the dividend and raises `divZero`.
template <typename T>
inline T DivideScaled(int64_t num, int64_t den, int32_t scale, bool& divZero) {
    if (den == 0) {
        divZero = true;
        return static_cast<T>(num == 0 ? 0 : (num > 0 ? kHi<T> : kLo<T>));
    }
    if (num == 0) {
        return 0;
    }
    if (den < 0) {
        num = -num;
        den = -den;
    }
    if (scale >= -31 && scale <= 31) {
        // Both operands stay below 2^62 after scaling: 64-bit arithmetic is exact.
        if (scale > 0) {
            den <<= scale;
        } else {
            num *= int64_t{1} << -scale;
        }
        return Saturate<T>(RoundDivide<int64_t>(num, den));
    }
    if (scale > 64) {
        return 0; // |quotient| ≤ 2^31 / 2^65: rounds to 0
    }
    if (scale < -64) {
        return static_cast<T>(num > 0 ? kHi<T> : kLo<T>); // |quotient| ≥ 2^65 / 2^31
    }
    TInt128 wideNum = num;
    TInt128 wideDen = den;
    if (scale > 0) {
        wideDen *= TInt128{1} << scale;
    } else {
        wideNum *= TInt128{1} << -scale;
    }
    const TInt128 q = RoundDivide<TInt128>(wideNum, wideDen);
    return static_cast<T>(q > kHi<T> ? kHi<T> : (q < kLo<T> ? kLo<T> : static_cast<int64_t>(q)));
}

template <typename T>
inline void DivideRun(const unsigned char* src, unsigned char* dst, int32_t count, int32_t scale,
                      bool& divZero) {
    constexpr size_t kSize = sizeof(T);
    for (int32_t i = 0; i < count; ++i) {
        const T divisor = LoadAt<T>(src + i * kSize);
        const T dividend = LoadAt<T>(dst + i * kSize);
        StoreAt<T>(dst + i * kSize, DivideScaled<T>(dividend, divisor, scale, divZero));
    }
}

constexpr auto kAdd = [](int64_t d, int64_t s) { return d + s; };
constexpr auto kSub = [](int64_t d, int64_t s) { return d - s; };
constexpr auto kMul = [](int64_t d, int64_t s) { return d * s; };

} // namespace

VEC_CLONES TVecStatus VecAddScaled8u(const uint8_t* src, uint8_t* srcDst, int32_t len,
                                     int32_t scale) {
    return ScaledInPlace(src, srcDst, len, scale, kAdd);
}

VEC_CLONES TVecStatus VecSubScaled8u(const uint8_t* src, uint8_t* srcDst, int32_t len,
                                     int32_t scale) {
    return ScaledInPlace(src, srcDst, len, scale, kSub);
}

VEC_CLONES TVecStatus VecMulScaled8u(const uint8_t* src, uint8_t* srcDst, int32_t len,
                                     int32_t scale) {
    return ScaledInPlace(src, srcDst, len, scale, kMul);
}

VEC_CLONES TVecStatus VecAddScaled32s(const int32_t* src, int32_t* srcDst, int32_t len,
                                      int32_t scale) {
    return ScaledInPlace(src, srcDst, len, scale, kAdd);
}

VEC_CLONES TVecStatus VecSubScaled32s(const int32_t* src, int32_t* srcDst, int32_t len,
                                      int32_t scale) {
    return ScaledInPlace(src, srcDst, len, scale, kSub);
}

VEC_CLONES TVecStatus VecMulScaled32s(const int32_t* src, int32_t* srcDst, int32_t len,
                                      int32_t scale) {
    return ScaledInPlace(src, srcDst, len, scale, kMul);
}

TVecStatus VecDivScaled32s(const int32_t* src, int32_t* srcDst, int32_t len, int32_t scale) {
    if (src == nullptr || srcDst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    bool divZero = false;
    DivideRun<int32_t>(reinterpret_cast<const unsigned char*>(src),
                       reinterpret_cast<unsigned char*>(srcDst), len, scale, divZero);
    return divZero ? vsDivByZero : vsOk;
}

VEC_CLONES TVecStatus VecAddStridedScaled16s(const int16_t* src, int32_t srcStep, int16_t* srcDst,
                                             int32_t srcDstStep, int32_t width, int32_t height,
                                             int32_t scale) {
    return ScaledStrided(src, srcStep, srcDst, srcDstStep, width, height, scale, kAdd);
}

VEC_CLONES TVecStatus VecSubStridedScaled16s(const int16_t* src, int32_t srcStep, int16_t* srcDst,
                                             int32_t srcDstStep, int32_t width, int32_t height,
                                             int32_t scale) {
    return ScaledStrided(src, srcStep, srcDst, srcDstStep, width, height, scale, kSub);
}

VEC_CLONES TVecStatus VecMulStridedScaled16s(const int16_t* src, int32_t srcStep, int16_t* srcDst,
                                             int32_t srcDstStep, int32_t width, int32_t height,
                                             int32_t scale) {
    return ScaledStrided(src, srcStep, srcDst, srcDstStep, width, height, scale, kMul);
}

TVecStatus VecDivStridedScaled16s(const int16_t* src, int32_t srcStep, int16_t* srcDst,
                                  int32_t srcDstStep, int32_t width, int32_t height,
                                  int32_t scale) {
    if (src == nullptr || srcDst == nullptr) {
        return vsNullPtrErr;
    }
    if (width <= 0 || height <= 0) {
        return vsSizeErr;
    }
    if (srcStep <= 0 || srcDstStep <= 0) {
        return vsStepErr;
    }
    bool divZero = false;
    const auto* srcRow = reinterpret_cast<const unsigned char*>(src);
    auto* dstRow = reinterpret_cast<unsigned char*>(srcDst);
    for (int32_t row = 0; row < height; ++row) {
        DivideRun<int16_t>(srcRow, dstRow, width, scale, divZero);
        srcRow += srcStep;
        dstRow += srcDstStep;
    }
    return divZero ? vsDivByZero : vsOk;
}

VEC_CLONES TVecStatus VecAddSaturate16s(const int16_t* src, int16_t* srcDst, int32_t len) {
    if (src == nullptr || srcDst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    for (int32_t i = 0; i < len; ++i) {
        const int32_t sum = int32_t{srcDst[i]} + int32_t{src[i]};
        srcDst[i] = static_cast<int16_t>(std::clamp(sum, -32768, 32767));
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecAddConst32s(int32_t value, int32_t* srcDst, int32_t len, int32_t scale) {
    if (srcDst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    // The constant stands in for the source operand of every element.
    const int64_t constant = value;
    auto* bytes = reinterpret_cast<unsigned char*>(srcDst);
    ScaledRun<int32_t>(bytes, bytes, len, ClassifyScale(scale),
                       [constant](int64_t d, int64_t) { return d + constant; });
    return vsOk;
}

VEC_CLONES TVecStatus VecSubRevConst32s(int32_t value, int32_t* srcDst, int32_t len,
                                        int32_t scale) {
    if (srcDst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    const int64_t constant = value;
    auto* bytes = reinterpret_cast<unsigned char*>(srcDst);
    ScaledRun<int32_t>(bytes, bytes, len, ClassifyScale(scale),
                       [constant](int64_t d, int64_t) { return constant - d; });
    return vsOk;
}

VEC_CLONES TVecStatus VecThresholdAbove32s(int32_t* srcDst, int32_t len, int32_t level) {
    if (srcDst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    for (int32_t i = 0; i < len; ++i) {
        srcDst[i] = std::min(srcDst[i], level);
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecThresholdBelowAbove16s(int16_t* srcDst, int32_t len, int16_t lowLevel,
                                                int16_t lowValue, int16_t highLevel,
                                                int16_t highValue) {
    if (srcDst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    if (lowLevel > highLevel) {
        return vsThresholdErr;
    }
    for (int32_t i = 0; i < len; ++i) {
        const int16_t v = srcDst[i];
        srcDst[i] = v < lowLevel ? lowValue : (v > highLevel ? highValue : v);
    }
    return vsOk;
}
