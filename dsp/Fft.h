#pragma once

#include "dsp/VecPrimitives.h"

#include <cstdint>

/// Forward real FFT of N = 2^order doubles into the packed half spectrum
/// Re X[0], Im X[0], Re X[1], Im X[1], …, Re X[N/2], Im X[N/2] (N + 2 doubles, Im X[0] and
/// Im X[N/2] are 0), where X[k] = S × Σ x[n] e^{−2πi·kn/N}.
///
/// Scaling flags (forward scale S): 1 → 1/N, 2 → 1, 4 → 1/√N, 8 → 1.
struct FftContext;

/// Creates a context for `order` (0 … 30) and `flag`; `hint` is stored unchanged.
/// Errors: null `context` → vsNullPtrErr; bad order → vsFftOrderErr; bad flag → vsFftFlagErr;
/// out of memory → vsMemErr. On error `*context` is left null and nothing stays allocated.
TVecStatus FftInit(FftContext** context, int32_t order, int32_t flag, int32_t hint);

/// Releases a context made by `FftInit`. A context whose kind tag is not that of a real FFT
/// (for instance one already released) → vsContextMatchErr.
TVecStatus FftFree(FftContext* context);

/// Bytes of scratch `FftForwardReal` wants for this context (0 when it needs none).
TVecStatus FftGetWorkSize(const FftContext* context, int64_t* bytes);

/// Transforms N doubles at `src` into N + 2 doubles at `dst`; `src` == `dst` is allowed (in
/// place). `work` may be null: a transform that needs scratch then allocates it for the call
/// (vsMemErr if that fails). The context is only read, so one context may serve several
/// threads at once, each with its own dst and work area.
/// Errors: null context, src or dst → vsNullPtrErr; wrong kind of context → vsContextMatchErr.
TVecStatus FftForwardReal(const double* src, double* dst, const FftContext* context, uint8_t* work);
