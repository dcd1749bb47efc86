// The transform compiled for AVX2 with fused multiply-add; chosen at run time when the
// processor has both.
#include "dsp/FftPlan.h"

namespace fft_avx2 {
#define FFT_LANES 2
#include "dsp/FftVariant.inc"
#undef FFT_LANES

void Run(const TFftPlan& plan, const double* src, double* dst, double* work) {
    Transform(plan, src, dst, work);
}
} // namespace fft_avx2
