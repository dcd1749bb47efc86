#pragma once

#include <cstdint>

/// The precomputed plan of a real FFT context, shared by the instruction-set variants of the
/// transform. Plain data only: the variants are compiled with different vector flags.
struct TFftPlan {
    static constexpr int kMaxStages = 32;

    int64_t realSize;    ///< N
    int64_t complexSize; ///< M = N / 2
    double scale;        ///< forward scale S
    int32_t stageCount;
    int32_t radix[kMaxStages];
    int64_t length[kMaxStages]; ///< n: length of the sub-transforms the pass combines
    int64_t stride[kMaxStages]; ///< s: their stride in complex units
    /// Per pass: twiddle vectors laid out as the pass reads them, or null when the pass is too
    /// large for a table and computes its twiddles from the two-level table.
    const double* twiddles[kMaxStages];
    /// Split step: wr/wi vectors per pair k, k + 1, and cos/sin pairs per k ≤ M/2; null when
    /// they come from the two-level table.
    const double* splitVectors;
    const double* splitCosSin;
    /// e^{−2πi·j/N} = coarse[j >> fineBits] × fine[j & (2^fineBits − 1)], as cos/sin pairs.
    const double* coarse;
    const double* fine;
    int32_t fineBits;
};
