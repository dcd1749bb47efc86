// The transform with four complex values per vector, for processors with 512-bit vectors;
// chosen at run time.
#include "dsp/FftPlan.h"

namespace fft_avx512 {
#define FFT_LANES 4
#include "dsp/FftVariant.inc"
#undef FFT_LANES

void Run(const TFftPlan& plan, const double* src, double* dst, double* work) {
    Transform(plan, src, dst, work);
}
} // namespace fft_avx512
