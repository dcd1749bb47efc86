// Copy, conversion, fill/zero, floating arithmetic and statistics routines.
//
// The hot loops (widening conversions, deinterleave, add, multiply by a constant, magnitude,
// min/max) are plain counted loops over memcpy loads so the compiler vectorises them; each is
// cloned for AVX2 and picked at load time, with the baseline x86-64 clone always present.

#include "dsp/VecPrimitives.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

namespace {

// Wide-vector clones of the hot loops are picked at load time; the default clone runs anywhere.
// The AVX2 clone deliberately does not enable FMA: contracting re² + im² or a·c − b·d into a
// fused operation would change the low bits relative to the portable clone.
#define VEC_CLONES __attribute__((target_clones("avx2", "default")))

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInt32Lo = -2147483648.0;
constexpr double kInt32Hi = 2147483647.0;

// Loads and stores through memcpy so elements may sit at any byte offset (odd steps,
// unaligned blocks) without undefined behaviour; the compiler turns them into plain moves.
template <typename T> inline T LoadAt(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

template <typename T> inline void StoreAt(unsigned char* p, T v) {
    std::memcpy(p, &v, sizeof(T));
}

inline const unsigned char* Bytes(const void* p) {
    return static_cast<const unsigned char*>(p);
}

inline unsigned char* Bytes(void* p) {
    return static_cast<unsigned char*>(p);
}

// Checks shared by every strided routine, in the documented order.
inline TVecStatus CheckStrided(const void* src, int32_t srcStep, const void* dst, int32_t dstStep,
                               int32_t width, int32_t height) {
    if (src == nullptr || dst == nullptr) {
        return vsNullPtrErr;
    }
    if (width <= 0 || height <= 0) {
        return vsSizeErr;
    }
    if (srcStep <= 0 || dstStep <= 0) {
        return vsStepErr;
    }
    return vsOk;
}

// dst(row, col) = op(src(row, col)) over a width × height region; rows are `step` bytes apart
// and may start at any byte offset. Row offsets are formed in 64 bits: height × step can
// exceed 2^31 for large regions.
template <typename TIn, typename TOut, typename Op>
inline TVecStatus StridedMap(const TIn* src, int32_t srcStep, TOut* dst, int32_t dstStep,
                             int32_t width, int32_t height, Op op) {
    const TVecStatus status = CheckStrided(src, srcStep, dst, dstStep, width, height);
    if (status != vsOk) {
        return status;
    }
    const unsigned char* srcRow = Bytes(src);
    unsigned char* dstRow = Bytes(dst);
    for (int32_t row = 0; row < height; ++row) {
        for (int32_t col = 0; col < width; ++col) {
            StoreAt<TOut>(dstRow + static_cast<size_t>(col) * sizeof(TOut),
                          op(LoadAt<TIn>(srcRow + static_cast<size_t>(col) * sizeof(TIn))));
        }
        srcRow += srcStep;
        dstRow += dstStep;
    }
    return vsOk;
}

// Fixed element stride: the compiler sees a constant stride and vectorises the gather into
// loads and shuffles. `kStride` is in elements of TIn.
template <typename TIn, int kStride>
inline void DeinterleaveFixed(const unsigned char* src, double* dst, int32_t len) {
    for (int32_t i = 0; i < len; ++i) {
        dst[i] = LoadAt<TIn>(src + static_cast<size_t>(i) * kStride * sizeof(TIn));
    }
}

template <typename TIn>
inline TVecStatus Deinterleave(const TIn* src, int32_t srcStep, double* dst, int32_t len) {
    if (src == nullptr || dst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    if (srcStep <= 0) {
        return vsStepErr;
    }
    const unsigned char* s = Bytes(src);
    // The layouts the audio code meets: mono, stereo, 4, 6 and 8 channels.
    if (srcStep % static_cast<int32_t>(sizeof(TIn)) == 0) {
        switch (srcStep / static_cast<int32_t>(sizeof(TIn))) {
        case 1:
            DeinterleaveFixed<TIn, 1>(s, dst, len);
            return vsOk;
        case 2:
            DeinterleaveFixed<TIn, 2>(s, dst, len);
            return vsOk;
        case 4:
            DeinterleaveFixed<TIn, 4>(s, dst, len);
            return vsOk;
        case 6:
            DeinterleaveFixed<TIn, 6>(s, dst, len);
            return vsOk;
        case 8:
            DeinterleaveFixed<TIn, 8>(s, dst, len);
            return vsOk;
        default:
            break;
        }
    }
    for (int32_t i = 0; i < len; ++i) {
        dst[i] = LoadAt<TIn>(s + static_cast<size_t>(i) * static_cast<size_t>(srcStep));
    }
    return vsOk;
}

// Rounds an already scaled value and saturates it to int32; NaN becomes 0. Clamping happens
// on the double so the final conversion never sees an out-of-range value. Nearest rounding
// uses the current rounding mode, which is ties-to-even unless a caller changed it.
template <TVecRoundMode kMode> inline int32_t RoundSaturate(double x) {
    double r = kMode == rmNearest ? std::nearbyint(x) : x; // the conversion itself truncates
    r = r < kInt32Lo ? kInt32Lo : r;
    r = r > kInt32Hi ? kInt32Hi : r;
    r = r == r ? r : 0.0;
    return static_cast<int32_t>(r);
}

// value × 2^−scale, rounded and saturated. For |scale| ≤ 1000 the factor 2^−scale is a normal
// double and the product is exact or, when it underflows, far below 0.5 (rounds to 0 anyway)
// or overflows (saturates anyway). Beyond that a single factor would be 0 or ∞ and turn ∞ × 0
// into NaN, so ldexp scales each element exactly instead.
template <typename TIn, TVecRoundMode kMode>
inline void ConvertToInt32(const TIn* src, int32_t* dst, int32_t len, int32_t scale) {
    if (scale == 0) {
        for (int32_t i = 0; i < len; ++i) {
            dst[i] = RoundSaturate<kMode>(static_cast<double>(src[i]));
        }
    } else if (scale >= -1000 && scale <= 1000) {
        const double factor = std::ldexp(1.0, -scale);
        for (int32_t i = 0; i < len; ++i) {
            dst[i] = RoundSaturate<kMode>(static_cast<double>(src[i]) * factor);
        }
    } else {
        // Any nonzero finite double times 2^±4000 under- or overflows; clamping also keeps
        // the negation of −2^31 defined.
        const int exponent =
            scale > 0 ? -(scale < 4000 ? scale : 4000) : (scale > -4000 ? -scale : 4000);
        for (int32_t i = 0; i < len; ++i) {
            dst[i] = RoundSaturate<kMode>(std::ldexp(static_cast<double>(src[i]), exponent));
        }
    }
}

template <typename TIn>
inline TVecStatus ConvertToInt32Checked(const TIn* src, int32_t* dst, int32_t len,
                                        TVecRoundMode mode, int32_t scale) {
    if (src == nullptr || dst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    if (mode == rmZero) {
        ConvertToInt32<TIn, rmZero>(src, dst, len, scale);
    } else {
        ConvertToInt32<TIn, rmNearest>(src, dst, len, scale);
    }
    return vsOk;
}

inline TVecStatus CheckUnary(const void* a, const void* b, int32_t len) {
    if (a == nullptr || b == nullptr) {
        return vsNullPtrErr;
    }
    return len <= 0 ? vsSizeErr : vsOk;
}

inline TVecStatus CheckDst(const void* dst, int32_t len) {
    if (dst == nullptr) {
        return vsNullPtrErr;
    }
    return len <= 0 ? vsSizeErr : vsOk;
}

template <typename T> inline TVecStatus FillRun(T value, T* dst, int32_t len) {
    const TVecStatus status = CheckDst(dst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        dst[i] = value;
    }
    return vsOk;
}

inline TVecStatus ZeroBytes(void* dst, int32_t len, size_t elementSize) {
    const TVecStatus status = CheckDst(dst, len);
    if (status != vsOk) {
        return status;
    }
    std::memset(dst, 0, static_cast<size_t>(len) * elementSize);
    return vsOk;
}

// Extremum by the rule "the first element, then each following one that compares `Better`
// replaces it". Since a comparison with NaN is false, a NaN first element is the result and
// a later NaN never replaces anything. For NaN-free data the rule's result is the first
// element equal to the extreme value, which differs from the value itself only in the sign
// of a zero. The vector pass keeps four independent lanes (each applying the rule to its
// subsequence) and notes any NaN; NaN data or a zero extreme falls back to exact scalar
// passes, so the fast path never changes the result.
template <typename Better> inline double Extremum(const double* src, int32_t len, Better better) {
    constexpr int32_t kLanes = 8;
    if (len >= 2 * kLanes) {
        double acc[kLanes];
        bool anyNaN = false;
        for (int32_t k = 0; k < kLanes; ++k) {
            acc[k] = src[k];
        }
        const int32_t tailStart = len - (len - kLanes) % kLanes;
        for (int32_t i = kLanes; i < tailStart; i += kLanes) {
            for (int32_t k = 0; k < kLanes; ++k) {
                const double x = src[i + k];
                acc[k] = better(x, acc[k]) ? x : acc[k];
                anyNaN |= x != x;
            }
        }
        for (int32_t k = 0; k < kLanes; ++k) {
            anyNaN |= acc[k] != acc[k];
        }
        for (int32_t i = tailStart; i < len; ++i) {
            anyNaN |= src[i] != src[i];
        }
        if (!anyNaN) {
            double best = acc[0];
            for (int32_t k = 1; k < kLanes; ++k) {
                best = better(acc[k], best) ? acc[k] : best;
            }
            for (int32_t i = tailStart; i < len; ++i) {
                best = better(src[i], best) ? src[i] : best;
            }
            if (best != 0.0) {
                return best;
            }
            // ±0 extreme: the rule keeps the first zero met (one exists: best came from src).
            int32_t first = 0;
            while (src[first] != 0.0) {
                ++first;
            }
            return src[first];
        }
    }
    double best = src[0];
    for (int32_t i = 1; i < len; ++i) {
        best = better(src[i], best) ? src[i] : best;
    }
    return best;
}

} // namespace

// ---- copy ----------------------------------------------------------------------------------

TVecStatus VecCopy8u(const uint8_t* src, uint8_t* dst, int32_t len) {
    const TVecStatus status = CheckUnary(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    std::memmove(dst, src, static_cast<size_t>(len));
    return vsOk;
}

// memmove gives the forward element copy's result whenever dst ≤ src (the shift towards lower
// addresses callers rely on) and a true copy for every other overlap.
TVecStatus VecCopy64f(const double* src, double* dst, int32_t len) {
    const TVecStatus status = CheckUnary(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    std::memmove(dst, src, static_cast<size_t>(len) * sizeof(double));
    return vsOk;
}

TVecStatus VecCopyStrided8u(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                            int32_t width, int32_t height) {
    return StridedMap(src, srcStep, dst, dstStep, width, height, [](uint8_t x) { return x; });
}

TVecStatus VecCopyStrided16s(const int16_t* src, int32_t srcStep, int16_t* dst, int32_t dstStep,
                             int32_t width, int32_t height) {
    return StridedMap(src, srcStep, dst, dstStep, width, height, [](int16_t x) { return x; });
}

TVecStatus VecCopyStrided32s(const int32_t* src, int32_t srcStep, int32_t* dst, int32_t dstStep,
                             int32_t width, int32_t height) {
    return StridedMap(src, srcStep, dst, dstStep, width, height, [](int32_t x) { return x; });
}

// ---- convert -------------------------------------------------------------------------------

VEC_CLONES TVecStatus VecConvert32sTo64f(const int32_t* src, double* dst, int32_t len) {
    const TVecStatus status = CheckUnary(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        dst[i] = src[i];
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecConvert32fTo64f(const float* src, double* dst, int32_t len) {
    const TVecStatus status = CheckUnary(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        dst[i] = src[i];
    }
    return vsOk;
}

// Doubles between FLT_MAX and the clamp limit round to FLT_MAX anyway, so comparing against
// FLT_MAX itself yields the same results with one exact constant.
VEC_CLONES TVecStatus VecConvert64fTo32f(const double* src, float* dst, int32_t len) {
    const TVecStatus status = CheckUnary(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    constexpr double kMax = FLT_MAX;
    for (int32_t i = 0; i < len; ++i) {
        double x = src[i];
        x = x < -kMax ? -kMax : x;
        x = x > kMax ? kMax : x;
        dst[i] = static_cast<float>(x);
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecConvert32fTo32s(const float* src, int32_t* dst, int32_t len,
                                         TVecRoundMode mode, int32_t scale) {
    return ConvertToInt32Checked(src, dst, len, mode, scale);
}

VEC_CLONES TVecStatus VecConvert64fTo32s(const double* src, int32_t* dst, int32_t len,
                                         TVecRoundMode mode, int32_t scale) {
    return ConvertToInt32Checked(src, dst, len, mode, scale);
}

TVecStatus VecConvertStrided8uTo16s(const uint8_t* src, int32_t srcStep, int16_t* dst,
                                    int32_t dstStep, int32_t width, int32_t height) {
    return StridedMap(src, srcStep, dst, dstStep, width, height,
                      [](uint8_t x) { return static_cast<int16_t>(int32_t{x} * 257 - 32768); });
}

TVecStatus VecConvertStrided8uTo32s(const uint8_t* src, int32_t srcStep, int32_t* dst,
                                    int32_t dstStep, int32_t width, int32_t height) {
    return StridedMap(src, srcStep, dst, dstStep, width, height, [](uint8_t x) {
        return static_cast<int32_t>(int64_t{x} * 16843009 - 2147483648LL);
    });
}

// x − (x >> 8) maps the 16-bit range onto 255/256 of itself so the top byte spreads evenly;
// adding 128 moves signed to offset binary.
TVecStatus VecConvertStrided16sTo8u(const int16_t* src, int32_t srcStep, uint8_t* dst,
                                    int32_t dstStep, int32_t width, int32_t height) {
    return StridedMap(src, srcStep, dst, dstStep, width, height, [](int16_t x) {
        const int32_t v = x;
        return static_cast<uint8_t>(((v - (v >> 8)) >> 8) + 128);
    });
}

TVecStatus VecConvertStrided32sTo8u(const int32_t* src, int32_t srcStep, uint8_t* dst,
                                    int32_t dstStep, int32_t width, int32_t height) {
    return StridedMap(src, srcStep, dst, dstStep, width, height, [](int32_t x) {
        const int64_t v = x;
        return static_cast<uint8_t>(((v - (v >> 8)) >> 24) + 128);
    });
}

VEC_CLONES TVecStatus VecDeinterleave16sTo64f(const int16_t* src, int32_t srcStep, double* dst,
                                              int32_t len) {
    return Deinterleave(src, srcStep, dst, len);
}

VEC_CLONES TVecStatus VecDeinterleave32sTo64f(const int32_t* src, int32_t srcStep, double* dst,
                                              int32_t len) {
    return Deinterleave(src, srcStep, dst, len);
}

// ---- floating arithmetic (in place) --------------------------------------------------------

// src and srcDst may be the same array; the compiler's run-time overlap check keeps the
// vector path for that case and for disjoint arrays.
VEC_CLONES TVecStatus VecAdd64f(const double* src, double* srcDst, int32_t len) {
    const TVecStatus status = CheckUnary(src, srcDst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        srcDst[i] += src[i];
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecSub64f(const double* src, double* srcDst, int32_t len) {
    const TVecStatus status = CheckUnary(src, srcDst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        srcDst[i] -= src[i];
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecMul64f(const double* src, double* srcDst, int32_t len) {
    const TVecStatus status = CheckUnary(src, srcDst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        srcDst[i] *= src[i];
    }
    return vsOk;
}

// A zero divisor's sign must not matter (−0 would flip the infinity's sign under plain IEEE
// division), so zero divisors are resolved from the dividend's sign alone.
VEC_CLONES TVecStatus VecDiv64f(const double* src, double* srcDst, int32_t len) {
    const TVecStatus status = CheckUnary(src, srcDst, len);
    if (status != vsOk) {
        return status;
    }
    bool anyZero = false;
    for (int32_t i = 0; i < len; ++i) {
        const double a = srcDst[i];
        const double b = src[i];
        const bool zero = b == 0.0;
        const double byZero = a > 0.0 ? kInf : (a < 0.0 ? -kInf : kNaN);
        srcDst[i] = zero ? byZero : a / b;
        anyZero |= zero;
    }
    return anyZero ? vsDivByZero : vsOk;
}

VEC_CLONES TVecStatus VecAdd64fc(const TVecComplex* src, TVecComplex* srcDst, int32_t len) {
    const TVecStatus status = CheckUnary(src, srcDst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        srcDst[i].re += src[i].re;
        srcDst[i].im += src[i].im;
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecSub64fc(const TVecComplex* src, TVecComplex* srcDst, int32_t len) {
    const TVecStatus status = CheckUnary(src, srcDst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        srcDst[i].re -= src[i].re;
        srcDst[i].im -= src[i].im;
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecMul64fc(const TVecComplex* src, TVecComplex* srcDst, int32_t len) {
    const TVecStatus status = CheckUnary(src, srcDst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        const double a = srcDst[i].re;
        const double b = srcDst[i].im;
        const double c = src[i].re;
        const double d = src[i].im;
        srcDst[i].re = a * c - b * d;
        srcDst[i].im = a * d + b * c;
    }
    return vsOk;
}

// The textbook formula, without rescaling: results for divisors near the limits of the
// double range over- or underflow exactly as that formula does.
VEC_CLONES TVecStatus VecDiv64fc(const TVecComplex* src, TVecComplex* srcDst, int32_t len) {
    const TVecStatus status = CheckUnary(src, srcDst, len);
    if (status != vsOk) {
        return status;
    }
    bool anyZero = false;
    for (int32_t i = 0; i < len; ++i) {
        const double a = srcDst[i].re;
        const double b = srcDst[i].im;
        const double c = src[i].re;
        const double d = src[i].im;
        const bool zero = c == 0.0 && d == 0.0;
        const double den = c * c + d * d;
        srcDst[i].re = zero ? kNaN : (a * c + b * d) / den;
        srcDst[i].im = zero ? kNaN : (b * c - a * d) / den;
        anyZero |= zero;
    }
    return anyZero ? vsDivByZero : vsOk;
}

// Factor 0 stores true zeros and factor 1 copies, whatever the source holds (∞ and NaN
// included), rather than the IEEE products 0 × ∞ = NaN or −0.
VEC_CLONES TVecStatus VecMulConst64f(const double* src, double value, double* dst, int32_t len) {
    const TVecStatus status = CheckUnary(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    if (value == 0.0) {
        std::memset(dst, 0, static_cast<size_t>(len) * sizeof(double));
    } else if (value == 1.0) {
        std::memmove(dst, src, static_cast<size_t>(len) * sizeof(double));
    } else {
        for (int32_t i = 0; i < len; ++i) {
            dst[i] = value * src[i];
        }
    }
    return vsOk;
}

// ---- fill and zero -------------------------------------------------------------------------

TVecStatus VecFill8u(uint8_t value, uint8_t* dst, int32_t len) {
    const TVecStatus status = CheckDst(dst, len);
    if (status != vsOk) {
        return status;
    }
    std::memset(dst, value, static_cast<size_t>(len));
    return vsOk;
}

TVecStatus VecFill16s(int16_t value, int16_t* dst, int32_t len) {
    return FillRun(value, dst, len);
}

TVecStatus VecFill32s(int32_t value, int32_t* dst, int32_t len) {
    return FillRun(value, dst, len);
}

TVecStatus VecFill64f(double value, double* dst, int32_t len) {
    return FillRun(value, dst, len);
}

TVecStatus VecFill64fc(TVecComplex value, TVecComplex* dst, int32_t len) {
    return FillRun(value, dst, len);
}

TVecStatus VecFillStrided32s(int32_t value, int32_t* dst, int32_t dstStep, int32_t width,
                             int32_t height) {
    // The destination doubles as the (never read) source so the shared checks apply as is.
    return StridedMap(dst, dstStep, dst, dstStep, width, height,
                      [value](int32_t) { return value; });
}

TVecStatus VecZero8u(uint8_t* dst, int32_t len) {
    return ZeroBytes(dst, len, sizeof(uint8_t));
}

TVecStatus VecZero16s(int16_t* dst, int32_t len) {
    return ZeroBytes(dst, len, sizeof(int16_t));
}

TVecStatus VecZero32s(int32_t* dst, int32_t len) {
    return ZeroBytes(dst, len, sizeof(int32_t));
}

TVecStatus VecZero64f(double* dst, int32_t len) {
    return ZeroBytes(dst, len, sizeof(double));
}

TVecStatus VecZero64fc(TVecComplex* dst, int32_t len) {
    return ZeroBytes(dst, len, sizeof(TVecComplex));
}

// ---- statistics ----------------------------------------------------------------------------

VEC_CLONES TVecStatus VecMin64f(const double* src, int32_t len, double* result) {
    const TVecStatus status = CheckUnary(src, result, len);
    if (status != vsOk) {
        return status;
    }
    *result = Extremum(src, len, [](double x, double best) { return x < best; });
    return vsOk;
}

VEC_CLONES TVecStatus VecMax64f(const double* src, int32_t len, double* result) {
    const TVecStatus status = CheckUnary(src, result, len);
    if (status != vsOk) {
        return status;
    }
    *result = Extremum(src, len, [](double x, double best) { return x > best; });
    return vsOk;
}

VEC_CLONES TVecStatus VecMagnitude64fc(const TVecComplex* src, double* dst, int32_t len) {
    const TVecStatus status = CheckUnary(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        const double re = src[i].re;
        const double im = src[i].im;
        dst[i] = std::sqrt(re * re + im * im);
    }
    return vsOk;
}

TVecStatus VecConjExtend64fc(TVecComplex* srcDst, int32_t len) {
    const TVecStatus status = CheckDst(srcDst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t k = len / 2 + 1; k < len; ++k) {
        srcDst[k].re = srcDst[len - k].re;
        srcDst[k].im = -srcDst[len - k].im;
    }
    return vsOk;
}
