// Copy, convert, fill/zero, floating arithmetic and statistics.
//
// The hot loops are written as plain element loops over local pointers so the compiler
// vectorises them; each such routine is cloned for AVX2 and picked at load time, with the
// portable clone always present.

#include "dsp/VecInternal.h"
#include "dsp/VecPrimitives.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

using detail::LoadAt;
using detail::StoreAt;

inline const unsigned char* Bytes(const void* p) {
    return static_cast<const unsigned char*>(p);
}

inline unsigned char* Bytes(void* p) {
    return static_cast<unsigned char*>(p);
}

inline TVecStatus CheckRegion(const void* src, int32_t srcStep, const void* dst, int32_t dstStep,
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

// dst(row, col) = convert(src(row, col)) over a width × height region; the audio case is
// width 1, so that case gets its own loop without a per-row inner loop.
template <typename TSrc, typename TDst, typename Convert>
inline void StridedMap(const TSrc* src, int32_t srcStep, TDst* dst, int32_t dstStep, int32_t width,
                       int32_t height, Convert convert) {
    const unsigned char* srcRow = Bytes(src);
    unsigned char* dstRow = Bytes(dst);
    if (width == 1) {
        for (int32_t row = 0; row < height; ++row) {
            StoreAt<TDst>(dstRow + static_cast<ptrdiff_t>(row) * dstStep,
                          convert(LoadAt<TSrc>(srcRow + static_cast<ptrdiff_t>(row) * srcStep)));
        }
        return;
    }
    for (int32_t row = 0; row < height; ++row) {
        for (int32_t col = 0; col < width; ++col) {
            StoreAt<TDst>(dstRow + col * sizeof(TDst),
                          convert(LoadAt<TSrc>(srcRow + col * sizeof(TSrc))));
        }
        srcRow += srcStep;
        dstRow += dstStep;
    }
}

template <typename T>
inline TVecStatus CopyStrided(const T* src, int32_t srcStep, T* dst, int32_t dstStep, int32_t width,
                              int32_t height) {
    const TVecStatus status = CheckRegion(src, srcStep, dst, dstStep, width, height);
    if (status != vsOk) {
        return status;
    }
    if (width == 1) {
        StridedMap(src, srcStep, dst, dstStep, width, height, [](T v) { return v; });
        return vsOk;
    }
    const size_t rowBytes = static_cast<size_t>(width) * sizeof(T);
    const unsigned char* srcRow = Bytes(src);
    unsigned char* dstRow = Bytes(dst);
    for (int32_t row = 0; row < height; ++row) {
        std::memmove(dstRow, srcRow, rowBytes);
        srcRow += srcStep;
        dstRow += dstStep;
    }
    return vsOk;
}

// Scaling by 2^−scale as two exact power-of-two factors, each a normal double (|exponent| ≤
// 1000): any |scale| up to 2000 is covered, and beyond that every finite nonzero value already
// lands at 0 or saturates. Multiplying by a power of two is exact unless it overflows (then
// saturation follows anyway) or underflows (then the value is far below 0.5 and rounds to 0).
struct TScaleFactors {
    double first;
    double second;
};

inline TScaleFactors MakeScaleFactors(int32_t scale) {
    const int32_t up = scale < -2000 ? 2000 : (scale > 2000 ? -2000 : -scale);
    const int32_t half = up / 2;
    return {std::ldexp(1.0, half), std::ldexp(1.0, up - half)};
}

constexpr double kInt32Lo = -2147483648.0;
constexpr double kInt32Hi = 2147483647.0;

// Already rounded (or about to be truncated) value to int32 with saturation; NaN gives 0.
inline int32_t SaturateToInt32(double v) {
    double c = v > kInt32Hi ? kInt32Hi : v;
    c = c < kInt32Lo ? kInt32Lo : c;
    c = v == v ? c : 0.0;
    return static_cast<int32_t>(c);
}

template <typename T>
inline void ConvertToInt32(const T* src, int32_t* dst, int32_t len, TVecRoundMode mode,
                           TScaleFactors factors) {
    if (mode == rmZero) {
        // The cast truncates toward zero once the value is inside the int32 range.
        for (int32_t i = 0; i < len; ++i) {
            dst[i] = SaturateToInt32(static_cast<double>(src[i]) * factors.first * factors.second);
        }
    } else {
        // nearbyint rounds by the current mode, which is to nearest with ties to even.
        for (int32_t i = 0; i < len; ++i) {
            dst[i] = SaturateToInt32(
                std::nearbyint(static_cast<double>(src[i]) * factors.first * factors.second));
        }
    }
}

template <typename T, int kStride>
inline void DeinterleaveFixed(const T* src, double* dst, int32_t len) {
    for (int32_t i = 0; i < len; ++i) {
        dst[i] = static_cast<double>(src[static_cast<ptrdiff_t>(i) * kStride]);
    }
}

// The common frame layouts (mono, stereo, four channels) get loops with a fixed stride the
// compiler can turn into shuffles; any other step goes element by element.
template <typename T>
inline TVecStatus Deinterleave(const T* src, int32_t srcStep, double* dst, int32_t len) {
    if (src == nullptr || dst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    if (srcStep <= 0) {
        return vsStepErr;
    }
    if (srcStep == sizeof(T)) {
        DeinterleaveFixed<T, 1>(src, dst, len);
    } else if (srcStep == 2 * sizeof(T)) {
        DeinterleaveFixed<T, 2>(src, dst, len);
    } else if (srcStep == 4 * sizeof(T)) {
        DeinterleaveFixed<T, 4>(src, dst, len);
    } else {
        const unsigned char* bytes = Bytes(src);
        for (int32_t i = 0; i < len; ++i) {
            dst[i] = static_cast<double>(LoadAt<T>(bytes + static_cast<ptrdiff_t>(i) * srcStep));
        }
    }
    return vsOk;
}

inline TVecStatus CheckPair(const void* src, const void* dst, int32_t len) {
    if (src == nullptr || dst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    return vsOk;
}

inline TVecStatus CheckOne(const void* dst, int32_t len) {
    if (dst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    return vsOk;
}

template <typename T> inline TVecStatus Fill(T value, T* dst, int32_t len) {
    const TVecStatus status = CheckOne(dst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        dst[i] = value;
    }
    return vsOk;
}

inline TVecStatus ZeroBytes(void* dst, int32_t len, size_t elementSize) {
    const TVecStatus status = CheckOne(dst, len);
    if (status != vsOk) {
        return status;
    }
    std::memset(dst, 0, static_cast<size_t>(len) * elementSize);
    return vsOk;
}

// Four doubles in one generic vector; each clone lowers it to its own registers (two SSE2
// halves in the portable clone, one AVX2 register in the wide one).
typedef double TDouble4 __attribute__((vector_size(32)));

// The first element, then each following one that is strictly better (smaller for the minimum,
// larger for the maximum) replaces it. A NaN never compares better, so it is skipped unless it
// comes first, and then nothing replaces it.
//
// The vector pass keeps that rule in every lane (`x < lane ? x : lane` keeps the lane on NaN
// and on ties), so the lanes together hold the best non-NaN value. The only thing the lane
// order can change is which zero wins when the best value is ±0: there the first zero in the
// data is the answer, found by a second scan that stops at it.
template <bool kMax> inline double ExtremeValue(const double* src, int32_t len) {
    const double first = src[0];
    if (first != first) {
        return first;
    }
    // Vectors are never passed by value here (that would tie the helpers to one vector ABI).
    const auto better = [](double x, double current) {
        if constexpr (kMax) {
            return x > current ? x : current;
        } else {
            return x < current ? x : current;
        }
    };
    int32_t i = 1;
    double best = first;
    if (len >= 17) {
        TDouble4 lanes[4];
        for (TDouble4& lane : lanes) {
            lane = TDouble4{first, first, first, first};
        }
        for (; i + 16 <= len; i += 16) {
            for (int k = 0; k < 4; ++k) {
                TDouble4 x;
                std::memcpy(&x, src + i + 4 * k, sizeof x);
                if constexpr (kMax) {
                    lanes[k] = x > lanes[k] ? x : lanes[k];
                } else {
                    lanes[k] = x < lanes[k] ? x : lanes[k];
                }
            }
        }
        for (const TDouble4& lane : lanes) {
            for (int k = 0; k < 4; ++k) {
                best = better(lane[k], best);
            }
        }
    }
    for (; i < len; ++i) {
        best = better(src[i], best);
    }
    if (best == 0.0) {
        for (i = 0; i < len - 1 && src[i] != 0.0; ++i) {
        }
        best = src[i];
    }
    return best;
}

template <bool kMax> inline TVecStatus Extreme(const double* src, int32_t len, double* result) {
    if (src == nullptr || result == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    *result = ExtremeValue<kMax>(src, len);
    return vsOk;
}

} // namespace

// ---- copy ----------------------------------------------------------------------------------

TVecStatus VecCopy8u(const uint8_t* src, uint8_t* dst, int32_t len) {
    const TVecStatus status = CheckPair(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    std::memmove(dst, src, static_cast<size_t>(len));
    return vsOk;
}

TVecStatus VecCopy64f(const double* src, double* dst, int32_t len) {
    const TVecStatus status = CheckPair(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    // A forward element copy and memmove agree unless dst lies inside the source above src;
    // there the forward copy repeats the leading elements, and that is what it must do.
    if (dst > src && dst < src + len) {
        for (int32_t i = 0; i < len; ++i) {
            dst[i] = src[i];
        }
    } else {
        std::memmove(dst, src, static_cast<size_t>(len) * sizeof(double));
    }
    return vsOk;
}

TVecStatus VecCopyStrided8u(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                            int32_t width, int32_t height) {
    return CopyStrided(src, srcStep, dst, dstStep, width, height);
}

TVecStatus VecCopyStrided16s(const int16_t* src, int32_t srcStep, int16_t* dst, int32_t dstStep,
                             int32_t width, int32_t height) {
    return CopyStrided(src, srcStep, dst, dstStep, width, height);
}

TVecStatus VecCopyStrided32s(const int32_t* src, int32_t srcStep, int32_t* dst, int32_t dstStep,
                             int32_t width, int32_t height) {
    return CopyStrided(src, srcStep, dst, dstStep, width, height);
}

// ---- convert -------------------------------------------------------------------------------

VEC_CLONES TVecStatus VecConvert32sTo64f(const int32_t* src, double* dst, int32_t len) {
    const TVecStatus status = CheckPair(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        dst[i] = static_cast<double>(src[i]);
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecConvert32fTo64f(const float* src, double* dst, int32_t len) {
    const TVecStatus status = CheckPair(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        dst[i] = static_cast<double>(src[i]);
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecConvert64fTo32f(const double* src, float* dst, int32_t len) {
    const TVecStatus status = CheckPair(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    constexpr double kLimit = 3.4028235e38;
    for (int32_t i = 0; i < len; ++i) {
        // One select on the magnitude, its operands computed up front: chained selects, or
        // the select folded into the conversion, keep the loop from vectorising. A NaN fails
        // the comparison and passes through unchanged.
        const double v = src[i];
        const double limit = std::copysign(kLimit, v);
        const bool beyond = std::fabs(v) >= kLimit;
        dst[i] = static_cast<float>(beyond ? limit : v);
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecConvert32fTo32s(const float* src, int32_t* dst, int32_t len,
                                         TVecRoundMode mode, int32_t scale) {
    const TVecStatus status = CheckPair(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    ConvertToInt32(src, dst, len, mode, MakeScaleFactors(scale));
    return vsOk;
}

VEC_CLONES TVecStatus VecConvert64fTo32s(const double* src, int32_t* dst, int32_t len,
                                         TVecRoundMode mode, int32_t scale) {
    const TVecStatus status = CheckPair(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    ConvertToInt32(src, dst, len, mode, MakeScaleFactors(scale));
    return vsOk;
}

TVecStatus VecConvertStrided8uTo16s(const uint8_t* src, int32_t srcStep, int16_t* dst,
                                    int32_t dstStep, int32_t width, int32_t height) {
    const TVecStatus status = CheckRegion(src, srcStep, dst, dstStep, width, height);
    if (status != vsOk) {
        return status;
    }
    StridedMap(src, srcStep, dst, dstStep, width, height,
               [](uint8_t x) { return static_cast<int16_t>(int32_t{x} * 257 - 32768); });
    return vsOk;
}

TVecStatus VecConvertStrided8uTo32s(const uint8_t* src, int32_t srcStep, int32_t* dst,
                                    int32_t dstStep, int32_t width, int32_t height) {
    const TVecStatus status = CheckRegion(src, srcStep, dst, dstStep, width, height);
    if (status != vsOk) {
        return status;
    }
    StridedMap(src, srcStep, dst, dstStep, width, height, [](uint8_t x) {
        return static_cast<int32_t>(int64_t{x} * 16843009 - 2147483648LL);
    });
    return vsOk;
}

TVecStatus VecConvertStrided16sTo8u(const int16_t* src, int32_t srcStep, uint8_t* dst,
                                    int32_t dstStep, int32_t width, int32_t height) {
    const TVecStatus status = CheckRegion(src, srcStep, dst, dstStep, width, height);
    if (status != vsOk) {
        return status;
    }
    StridedMap(src, srcStep, dst, dstStep, width, height, [](int16_t x) {
        const int32_t v = x;
        return static_cast<uint8_t>((((v - (v >> 8)) >> 8) + 128) & 0xFF);
    });
    return vsOk;
}

TVecStatus VecConvertStrided32sTo8u(const int32_t* src, int32_t srcStep, uint8_t* dst,
                                    int32_t dstStep, int32_t width, int32_t height) {
    const TVecStatus status = CheckRegion(src, srcStep, dst, dstStep, width, height);
    if (status != vsOk) {
        return status;
    }
    StridedMap(src, srcStep, dst, dstStep, width, height, [](int32_t x) {
        const int64_t v = x;
        return static_cast<uint8_t>((((v - (v >> 8)) >> 24) + 128) & 0xFF);
    });
    return vsOk;
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

VEC_CLONES TVecStatus VecAdd64f(const double* src, double* srcDst, int32_t len) {
    const TVecStatus status = CheckPair(src, srcDst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        srcDst[i] += src[i];
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecSub64f(const double* src, double* srcDst, int32_t len) {
    const TVecStatus status = CheckPair(src, srcDst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        srcDst[i] -= src[i];
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecMul64f(const double* src, double* srcDst, int32_t len) {
    const TVecStatus status = CheckPair(src, srcDst, len);
    if (status != vsOk) {
        return status;
    }
    for (int32_t i = 0; i < len; ++i) {
        srcDst[i] *= src[i];
    }
    return vsOk;
}

VEC_CLONES TVecStatus VecDiv64f(const double* src, double* srcDst, int32_t len) {
    const TVecStatus status = CheckPair(src, srcDst, len);
    if (status != vsOk) {
        return status;
    }
    // Dividing by +0 gives exactly the required +∞ / NaN / −∞ by the dividend's sign, so a −0
    // divisor is turned into +0 by adding +0 (which leaves every other divisor unchanged).
    // Counting zeros rather than or-ing a flag keeps the loop vectorisable.
    int32_t zeroCount = 0;
    for (int32_t i = 0; i < len; ++i) {
        const double divisor = src[i];
        zeroCount += divisor == 0.0 ? 1 : 0;
        srcDst[i] = srcDst[i] / (divisor + 0.0);
    }
    return zeroCount != 0 ? vsDivByZero : vsOk;
}

VEC_CLONES TVecStatus VecAdd64fc(const TVecComplex* src, TVecComplex* srcDst, int32_t len) {
    const TVecStatus status = CheckPair(src, srcDst, len);
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
    const TVecStatus status = CheckPair(src, srcDst, len);
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
    const TVecStatus status = CheckPair(src, srcDst, len);
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

VEC_CLONES TVecStatus VecDiv64fc(const TVecComplex* src, TVecComplex* srcDst, int32_t len) {
    const TVecStatus status = CheckPair(src, srcDst, len);
    if (status != vsOk) {
        return status;
    }
    // The textbook formula without rescaling. A zero divisor needs no special case: both
    // numerators are then ±0 (or NaN for an infinite or NaN dividend) over a zero denominator,
    // which is NaN.
    int32_t zeroCount = 0;
    for (int32_t i = 0; i < len; ++i) {
        const double a = srcDst[i].re;
        const double b = srcDst[i].im;
        const double c = src[i].re;
        const double d = src[i].im;
        zeroCount += c == 0.0 && d == 0.0 ? 1 : 0;
        const double denominator = c * c + d * d;
        srcDst[i].re = (a * c + b * d) / denominator;
        srcDst[i].im = (b * c - a * d) / denominator;
    }
    return zeroCount != 0 ? vsDivByZero : vsOk;
}

VEC_CLONES TVecStatus VecMulConst64f(const double* src, double value, double* dst, int32_t len) {
    const TVecStatus status = CheckPair(src, dst, len);
    if (status != vsOk) {
        return status;
    }
    // 1 copies and 0 zeroes outright, so infinities and NaNs do not leak through 0 × x.
    if (value == 0.0) {
        std::memset(dst, 0, static_cast<size_t>(len) * sizeof(double));
    } else if (value == 1.0) {
        if (dst != src) {
            std::memmove(dst, src, static_cast<size_t>(len) * sizeof(double));
        }
    } else {
        for (int32_t i = 0; i < len; ++i) {
            dst[i] = value * src[i];
        }
    }
    return vsOk;
}

// ---- fill and zero -------------------------------------------------------------------------

TVecStatus VecFill8u(uint8_t value, uint8_t* dst, int32_t len) {
    const TVecStatus status = CheckOne(dst, len);
    if (status != vsOk) {
        return status;
    }
    std::memset(dst, value, static_cast<size_t>(len));
    return vsOk;
}

TVecStatus VecFill16s(int16_t value, int16_t* dst, int32_t len) {
    return Fill(value, dst, len);
}

TVecStatus VecFill32s(int32_t value, int32_t* dst, int32_t len) {
    return Fill(value, dst, len);
}

TVecStatus VecFill64f(double value, double* dst, int32_t len) {
    return Fill(value, dst, len);
}

TVecStatus VecFill64fc(TVecComplex value, TVecComplex* dst, int32_t len) {
    return Fill(value, dst, len);
}

TVecStatus VecFillStrided32s(int32_t value, int32_t* dst, int32_t dstStep, int32_t width,
                             int32_t height) {
    if (dst == nullptr) {
        return vsNullPtrErr;
    }
    if (width <= 0 || height <= 0) {
        return vsSizeErr;
    }
    if (dstStep <= 0) {
        return vsStepErr;
    }
    unsigned char* row = Bytes(dst);
    for (int32_t r = 0; r < height; ++r) {
        for (int32_t col = 0; col < width; ++col) {
            StoreAt<int32_t>(row + col * sizeof(int32_t), value);
        }
        row += dstStep;
    }
    return vsOk;
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
    return Extreme<false>(src, len, result);
}

VEC_CLONES TVecStatus VecMax64f(const double* src, int32_t len, double* result) {
    return Extreme<true>(src, len, result);
}

VEC_CLONES TVecStatus VecMagnitude64fc(const TVecComplex* src, double* dst, int32_t len) {
    const TVecStatus status = CheckPair(src, dst, len);
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
    const TVecStatus status = CheckOne(srcDst, len);
    if (status != vsOk) {
        return status;
    }
    // Conjugate symmetry X[len − k] = conj(X[k]) for the upper half.
    for (int32_t k = len / 2 + 1; k < len; ++k) {
        srcDst[k].re = srcDst[len - k].re;
        srcDst[k].im = -srcDst[len - k].im;
    }
    return vsOk;
}
