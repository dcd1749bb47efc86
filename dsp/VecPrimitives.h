#pragma once

#include <cstdint>

/// Vector primitives: small routines over raw arrays given by address and element count.
///
/// Every routine is re-entrant, never allocates, never throws and reports problems only through
/// its `TVecStatus`. Tests run in this order unless a routine says otherwise: null addresses
/// (`vsNullPtrErr`), then lengths/regions (`vsSizeErr`), then steps (`vsStepErr`), then
/// parameter ranges. On any error nothing is written.
///
/// Any alignment and any length are accepted; blocks from the pool are 32-byte aligned, which
/// the wide variants profit from.
///
/// In-place routines take (source, source-and-destination, length[, scale]) and compute
/// destination ← destination op source.
///
/// Scaled integer routines: the exact result r becomes r × 2^(−scale), rounded to the nearest
/// integer with ties to even, then saturated to the element range ([0, 255], [−32768, 32767],
/// [−2147483648, 2147483647]). scale 0 is plain saturating arithmetic; scale < 0 multiplies.
///
/// Strided routines take per array a start address and a step in bytes between rows, and a
/// region of width × height elements. Walking one channel of interleaved audio frames is
/// width 1, height = frame count, step = block align.

enum TVecStatus : int32_t {
    vsOk = 0,
    vsDivByZero = 6, ///< a division by zero occurred; every result was still written
    vsSizeErr = -6,  ///< length (or width/height) ≤ 0
    vsNullPtrErr = -8,
    vsMemErr = -9,
    vsStepErr = -14,          ///< a step ≤ 0 in a strided routine
    vsFftOrderErr = -15,      ///< FFT order outside 0 … 30
    vsFftFlagErr = -16,       ///< FFT scaling flag not one of 1, 2, 4, 8
    vsContextMatchErr = -17,  ///< FFT context of the wrong kind
    vsThresholdErr = -18,     ///< threshold levels inverted
    vsJaehneErr = -38,        ///< Jaehne magnitude negative
    vsTriangleAsymErr = -40,  ///< asymmetry outside [−π, π)
    vsTrianglePhaseErr = -41, ///< phase outside [0, 2π)
    vsTriangleFreqErr = -42,  ///< relative frequency outside [0, 0.5)
    vsTriangleMagnErr = -43,  ///< magnitude < 1
    vsTonePhaseErr = -44,     ///< phase outside [0, 2π)
    vsToneFreqErr = -45,      ///< relative frequency outside [0, 0.5)
    vsToneMagnErr = -46,      ///< magnitude < 1
};

/// Complex double, real part first (16 bytes).
struct TVecComplex {
    double re;
    double im;
};

/// Rounding of float → integer conversions.
enum TVecRoundMode : int32_t {
    rmNearest, ///< to nearest, ties to even
    rmZero,    ///< toward zero
};

// ---- copy ----------------------------------------------------------------------------------

TVecStatus VecCopy8u(const uint8_t* src, uint8_t* dst, int32_t len);
/// Copies forwards element by element, so it may also shift a vector towards lower addresses
/// within itself (dst < src, overlapping).
TVecStatus VecCopy64f(const double* src, double* dst, int32_t len);
TVecStatus VecCopyStrided8u(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                            int32_t width, int32_t height);
TVecStatus VecCopyStrided16s(const int16_t* src, int32_t srcStep, int16_t* dst, int32_t dstStep,
                             int32_t width, int32_t height);
TVecStatus VecCopyStrided32s(const int32_t* src, int32_t srcStep, int32_t* dst, int32_t dstStep,
                             int32_t width, int32_t height);

// ---- convert -------------------------------------------------------------------------------

/// Exact widening.
TVecStatus VecConvert32sTo64f(const int32_t* src, double* dst, int32_t len);
/// Exact widening.
TVecStatus VecConvert32fTo64f(const float* src, double* dst, int32_t len);
/// Values at or beyond ±3.4028235e38 become ±3.4028235e38; others are rounded to single.
TVecStatus VecConvert64fTo32f(const double* src, float* dst, int32_t len);
/// value × 2^(−scale), rounded by `mode`, saturated to 32 bits. NaN becomes 0.
TVecStatus VecConvert32fTo32s(const float* src, int32_t* dst, int32_t len, TVecRoundMode mode,
                              int32_t scale);
/// value × 2^(−scale), rounded by `mode`, saturated to 32 bits. NaN becomes 0.
TVecStatus VecConvert64fTo32s(const double* src, int32_t* dst, int32_t len, TVecRoundMode mode,
                              int32_t scale);
/// x × 257 − 32768.
TVecStatus VecConvertStrided8uTo16s(const uint8_t* src, int32_t srcStep, int16_t* dst,
                                    int32_t dstStep, int32_t width, int32_t height);
/// x × 16843009 − 2147483648.
TVecStatus VecConvertStrided8uTo32s(const uint8_t* src, int32_t srcStep, int32_t* dst,
                                    int32_t dstStep, int32_t width, int32_t height);
/// ((x − (x >> 8)) >> 8) + 128 modulo 256 (arithmetic shifts).
TVecStatus VecConvertStrided16sTo8u(const int16_t* src, int32_t srcStep, uint8_t* dst,
                                    int32_t dstStep, int32_t width, int32_t height);
/// ((x − (x >> 8)) >> 24) + 128 modulo 256 (arithmetic shifts).
TVecStatus VecConvertStrided32sTo8u(const int32_t* src, int32_t srcStep, uint8_t* dst,
                                    int32_t dstStep, int32_t width, int32_t height);
/// One channel of interleaved 16-bit frames to contiguous doubles: dst[i] is the sample at
/// byte offset i × srcStep from src (exact). The splitter's hot loop.
TVecStatus VecDeinterleave16sTo64f(const int16_t* src, int32_t srcStep, double* dst, int32_t len);
/// One channel of interleaved 32-bit frames to contiguous doubles (exact).
TVecStatus VecDeinterleave32sTo64f(const int32_t* src, int32_t srcStep, double* dst, int32_t len);

// ---- floating arithmetic (in place) --------------------------------------------------------

TVecStatus VecAdd64f(const double* src, double* srcDst, int32_t len);
TVecStatus VecSub64f(const double* src, double* srcDst, int32_t len);
TVecStatus VecMul64f(const double* src, double* srcDst, int32_t len);
/// Divisor 0 gives +∞ for a positive dividend, NaN for 0, −∞ for a negative one, and status
/// `vsDivByZero` (all results written).
TVecStatus VecDiv64f(const double* src, double* srcDst, int32_t len);
TVecStatus VecAdd64fc(const TVecComplex* src, TVecComplex* srcDst, int32_t len);
TVecStatus VecSub64fc(const TVecComplex* src, TVecComplex* srcDst, int32_t len);
/// (a+bi)(c+di) = (ac − bd) + (ad + bc)i.
TVecStatus VecMul64fc(const TVecComplex* src, TVecComplex* srcDst, int32_t len);
/// By (c+di): ((ac + bd) + (bc − ad)i) ÷ (c² + d²); divisor 0 + 0i gives NaN + NaN·i and
/// status `vsDivByZero`.
TVecStatus VecDiv64fc(const TVecComplex* src, TVecComplex* srcDst, int32_t len);
/// dst = value × src (value 1 copies, value 0 zeroes). src and dst may be the same array.
TVecStatus VecMulConst64f(const double* src, double value, double* dst, int32_t len);

// ---- integer arithmetic (in place, scaled) -------------------------------------------------

TVecStatus VecAddScaled8u(const uint8_t* src, uint8_t* srcDst, int32_t len, int32_t scale);
TVecStatus VecSubScaled8u(const uint8_t* src, uint8_t* srcDst, int32_t len, int32_t scale);
TVecStatus VecMulScaled8u(const uint8_t* src, uint8_t* srcDst, int32_t len, int32_t scale);
TVecStatus VecAddScaled32s(const int32_t* src, int32_t* srcDst, int32_t len, int32_t scale);
TVecStatus VecSubScaled32s(const int32_t* src, int32_t* srcDst, int32_t len, int32_t scale);
TVecStatus VecMulScaled32s(const int32_t* src, int32_t* srcDst, int32_t len, int32_t scale);
/// Exact quotient srcDst ÷ src scaled, rounded to nearest (ties to even), saturated; a zero
/// divisor gives 0 for a zero dividend, 2147483647 for a positive and −2147483648 for a
/// negative one, and status `vsDivByZero`.
TVecStatus VecDivScaled32s(const int32_t* src, int32_t* srcDst, int32_t len, int32_t scale);
TVecStatus VecAddStridedScaled16s(const int16_t* src, int32_t srcStep, int16_t* srcDst,
                                  int32_t srcDstStep, int32_t width, int32_t height, int32_t scale);
TVecStatus VecSubStridedScaled16s(const int16_t* src, int32_t srcStep, int16_t* srcDst,
                                  int32_t srcDstStep, int32_t width, int32_t height, int32_t scale);
TVecStatus VecMulStridedScaled16s(const int16_t* src, int32_t srcStep, int16_t* srcDst,
                                  int32_t srcDstStep, int32_t width, int32_t height, int32_t scale);
/// As `VecDivScaled32s` with limits 32767 and −32768.
TVecStatus VecDivStridedScaled16s(const int16_t* src, int32_t srcStep, int16_t* srcDst,
                                  int32_t srcDstStep, int32_t width, int32_t height, int32_t scale);
/// srcDst = saturate(srcDst + src).
TVecStatus VecAddSaturate16s(const int16_t* src, int16_t* srcDst, int32_t len);
/// srcDst = (srcDst + value) scaled and saturated.
TVecStatus VecAddConst32s(int32_t value, int32_t* srcDst, int32_t len, int32_t scale);
/// srcDst = (value − srcDst) scaled and saturated.
TVecStatus VecSubRevConst32s(int32_t value, int32_t* srcDst, int32_t len, int32_t scale);

// ---- fill and zero -------------------------------------------------------------------------

TVecStatus VecFill8u(uint8_t value, uint8_t* dst, int32_t len);
TVecStatus VecFill16s(int16_t value, int16_t* dst, int32_t len);
TVecStatus VecFill32s(int32_t value, int32_t* dst, int32_t len);
TVecStatus VecFill64f(double value, double* dst, int32_t len);
TVecStatus VecFill64fc(TVecComplex value, TVecComplex* dst, int32_t len);
TVecStatus VecFillStrided32s(int32_t value, int32_t* dst, int32_t dstStep, int32_t width,
                             int32_t height);
TVecStatus VecZero8u(uint8_t* dst, int32_t len);
TVecStatus VecZero16s(int16_t* dst, int32_t len);
TVecStatus VecZero32s(int32_t* dst, int32_t len);
TVecStatus VecZero64f(double* dst, int32_t len);
TVecStatus VecZero64fc(TVecComplex* dst, int32_t len);

// ---- statistics ----------------------------------------------------------------------------

/// The first element, then each following one that is smaller replaces it (NaN never does).
TVecStatus VecMin64f(const double* src, int32_t len, double* result);
/// The first element, then each following one that is larger replaces it (NaN never does).
TVecStatus VecMax64f(const double* src, int32_t len, double* result);
/// dst[i] = √(re² + im²).
TVecStatus VecMagnitude64fc(const TVecComplex* src, double* dst, int32_t len);
/// For a spectrum of `len` complex slots whose bins 0 … len/2 are filled, bins len/2+1 … len−1
/// become the conjugates of bins len/2−1 … 1.
TVecStatus VecConjExtend64fc(TVecComplex* srcDst, int32_t len);

// ---- thresholds ----------------------------------------------------------------------------

/// Values greater than `level` become `level`.
TVecStatus VecThresholdAbove32s(int32_t* srcDst, int32_t len, int32_t level);
/// Values below `lowLevel` become `lowValue`, values above `highLevel` become `highValue`;
/// lowLevel > highLevel is `vsThresholdErr`.
TVecStatus VecThresholdBelowAbove16s(int16_t* srcDst, int32_t len, int16_t lowLevel,
                                     int16_t lowValue, int16_t highLevel, int16_t highValue);

// ---- test signals --------------------------------------------------------------------------

/// dst[i] = offset + i × slope (single-precision parameters, evaluated in extended precision),
/// rounded half away from zero, saturated to 16 bits.
TVecStatus VecRamp16s(int16_t* dst, int32_t len, float offset, float slope);
/// x[n] = magnitude · cos(phase + 2π·relFreq·n) by the two-term recurrence on unrounded values,
/// each stored truncated toward zero; then `*phase` advances by 2π·relFreq·len modulo 2π (0 if
/// that lands outside [0, 2π)). Checks magnitude ≥ 1, relFreq in [0, 0.5), phase in [0, 2π)
/// before dst and len.
TVecStatus VecTone16s(int16_t* dst, int32_t len, int16_t magnitude, double relFreq, float* phase);
/// x[n] = magnitude · T(phase + 2π·relFreq·n), T = +1 at 0, −1 at π + asym, +1 at 2π, linear
/// between; stored truncated toward zero; the phase advances as for the tone. Checks
/// magnitude, relFreq, asym in [−π, π) and phase before dst and len.
TVecStatus VecTriangle16s(int16_t* dst, int32_t len, int16_t magnitude, double relFreq, float asym,
                          float* phase);
/// dst[n] = magnitude × sin(π/2 × n² / len); len 1 gives the single element 0.
TVecStatus VecJaehne64f(double* dst, int32_t len, double magnitude);
