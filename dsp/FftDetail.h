#pragma once

#include "dsp/Fft.h"

/// Instruction-set variants of the real FFT, for tests that compare them.
namespace detail {

enum class TFftVariant { Portable, Avx2, Avx512 };

/// True when this processor can run `variant`.
bool FftVariantAvailable(TFftVariant variant);

/// `FftForwardReal` forced to one variant (which must be available). Orders too small for the
/// widest vectors run the next narrower variant.
TVecStatus FftForwardRealVariant(const double* src, double* dst, const FftContext* context,
                                 uint8_t* work, TFftVariant variant);

} // namespace detail
