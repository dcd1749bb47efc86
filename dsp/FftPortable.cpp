// The transform for any x86-64 processor: one complex value per 128-bit vector.
#include "dsp/FftPlan.h"

namespace fft_portable {
#define FFT_LANES 1
#include "dsp/FftVariant.inc"
#undef FFT_LANES

void Run(const TFftPlan& plan, const double* src, double* dst, double* work) {
    Transform(plan, src, dst, work);
}
} // namespace fft_portable
