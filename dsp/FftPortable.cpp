// The transform for any x86-64 processor (two SSE2 operations per 4-double vector).
#include "dsp/FftPlan.h"

namespace fft_portable {
#define FFT_LANES 2
#include "dsp/FftVariant.inc"
#undef FFT_LANES

void Run(const TFftPlan& plan, const double* src, double* dst, double* work) {
    Transform(plan, src, dst, work);
}
} // namespace fft_portable
