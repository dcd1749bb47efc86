#pragma once

#include <cstdint>

/// The precomputed plan of a real FFT context, shared by the instruction-set variants of the
/// transform. Plain data only: the variants are compiled with different vector flags.
struct TFftPlan {
    static constexpr int kMaxStages = 32;
    /// Most complex values one vector of any variant holds.
    static constexpr int kMaxLanes = 4;

    int64_t realSize;    ///< N
    int64_t complexSize; ///< M = N / 2
    double scale;        ///< forward scale S
    int32_t stageCount;
    int32_t radix[kMaxStages];
    int64_t length[kMaxStages]; ///< n: length of the sub-transforms the pass combines
    int64_t stride[kMaxStages]; ///< s: their stride in complex units
    /// Per pass: its twiddle table (layout in FftKernels.inc), or null when the pass is too long
    /// for a table and computes its twiddles from the two-level table.
    const double* twiddles[kMaxStages];
    /// Split step: the (c, c) pairs of W_N^k = c − i·s for k = 0 … M/2 (padded for the widest
    /// vector), then from `splitTable + splitRowLength` the (s, −s) pairs; null when they come
    /// from the two-level table.
    const double* splitTable;
    int64_t splitRowLength;
    /// e^{−2πi·j/N} = coarse[j >> fineBits] × fine[j & (2^fineBits − 1)], as cos/sin pairs.
    const double* coarse;
    const double* fine;
    int32_t fineBits;
};
