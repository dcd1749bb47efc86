// Forward real FFT. Orders 0 … 3 use direct small kernels. Larger orders transform the N/2
// complex values z[m] = x[2m] + i·x[2m+1] with radix-8 (and radix-4/2) Stockham passes, which
// need no bit-reversal pass and keep every inner loop on contiguous pairs of complex values,
// then split the result into the real spectrum, applying the scale in that same step.
//
// Every table is built in FftInit. Passes of up to 2^17 points read their twiddles from tables
// laid out exactly as the vector code loads them; longer passes (orders above 18) compute theirs
// from a two-level table of unit roots, so even order 30 needs only about 1 MiB of tables.

#include "dsp/Fft.h"
#include "dsp/FftDetail.h"
#include "dsp/FftPlan.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace fft_avx512 {
void Run(const TFftPlan& plan, const double* src, double* dst, double* work);
}
namespace fft_avx2 {
void Run(const TFftPlan& plan, const double* src, double* dst, double* work);
}
namespace fft_portable {
void Run(const TFftPlan& plan, const double* src, double* dst, double* work);
}

struct FftContext {
    int32_t kind; ///< kKindRealFft while alive, 0 after release
    int32_t order;
    int32_t flag;
    int32_t hint;
    bool forwardScaled;
    bool inverseScaled;
    double scale;
    int64_t workSize; ///< bytes of scratch the transform wants (0: none)
    double* tables;   ///< one allocation holding every table of the plan
    TFftPlan plan;
};

namespace {

constexpr int32_t kKindRealFft = 9;
constexpr int32_t kMaxOrder = 30;
constexpr int32_t kFirstPlannedOrder = 4;
/// Passes longer than this read their twiddles from the two-level table instead.
constexpr int64_t kMaxTabledPass = int64_t{1} << 17;
/// Largest order whose split step has tables of its own.
constexpr int32_t kMaxTabledSplitOrder = 18;
/// Complex points up to which the transform runs without a work area (scratch on the stack).
constexpr int64_t kMaxStackComplex = 512;
/// The passes run in two halves of the work area aligned to whole cache lines, so that wide
/// vectors never straddle two lines whatever the caller's arrays look like.
constexpr size_t kWorkAlignment = 64;

double* AlignWork(uint8_t* work) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(work);
    return reinterpret_cast<double*>((address + kWorkAlignment - 1) & ~(kWorkAlignment - 1));
}

constexpr long double kTwoPi = 6.283185307179586476925286766559L;

using TRunner = void (*)(const TFftPlan&, const double*, double*, double*);
using detail::TFftVariant;

/// Four complex values per vector need a first pass of at least four steps.
constexpr int32_t kFirstAvx512Order = 5;

bool CpuHas(TFftVariant variant) {
    __builtin_cpu_init();
    switch (variant) {
    case TFftVariant::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx2") &&
               __builtin_cpu_supports("fma");
    case TFftVariant::Avx2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case TFftVariant::Portable:
        break;
    }
    return true;
}

TFftVariant BestVariant() {
    static const TFftVariant best = CpuHas(TFftVariant::Avx512) ? TFftVariant::Avx512
                                    : CpuHas(TFftVariant::Avx2) ? TFftVariant::Avx2
                                                                : TFftVariant::Portable;
    return best;
}

// The runner of `variant` for a context of `order` (the widest vectors skip the smallest
// orders).
TRunner RunnerFor(TFftVariant variant, int32_t order) {
    if (variant == TFftVariant::Avx512 && order < kFirstAvx512Order) {
        variant = TFftVariant::Avx2;
    }
    switch (variant) {
    case TFftVariant::Avx512:
        return fft_avx512::Run;
    case TFftVariant::Avx2:
        return fft_avx2::Run;
    case TFftVariant::Portable:
        break;
    }
    return fft_portable::Run;
}

// cos and sin of 2π·j/n, j reduced modulo n first so large indices keep full accuracy.
void UnitRootExact(int64_t j, int64_t n, double* c, double* s) {
    j %= n;
    const long double angle = kTwoPi * static_cast<long double>(j) / static_cast<long double>(n);
    *c = static_cast<double>(std::cos(angle));
    *s = static_cast<double>(std::sin(angle));
}

// Doubles of the twiddle table of one pass (layout in FftKernels.inc), 0 for a pass that
// computes its twiddles from the two-level table.
int64_t PassTableDoubles(int32_t radix, int64_t n) {
    return n > kMaxTabledPass ? 0 : (n / radix) * 4 * (radix - 1);
}

void FillPassTable(double* out, int32_t radix, int64_t n, int64_t s) {
    const int64_t m = n / radix;
    for (int t = 1; t < radix; ++t) {
        for (int64_t p = 0; p < m; ++p) {
            double c, sn;
            UnitRootExact(t * p, n, &c, &sn);
            // Stride 1: per t a row of (c, c) pairs over p, then a row of (s, −s) pairs.
            // Larger strides: per p and t the four doubles together.
            double* pair =
                s == 1 ? out + 4 * m * (t - 1) + 2 * p : out + 4 * ((radix - 1) * p + t - 1);
            double* signedPair = s == 1 ? pair + 2 * m : pair + 2;
            pair[0] = c, pair[1] = c;
            signedPair[0] = sn, signedPair[1] = -sn;
        }
    }
}

// Lays out the passes and the tables; returns false when memory is short.
bool BuildPlan(FftContext& context) {
    TFftPlan& plan = context.plan;
    const int32_t order = context.order;
    plan.realSize = int64_t{1} << order;
    plan.complexSize = plan.realSize / 2;
    plan.scale = context.scale;

    // Radix-8 passes where possible, radix-4 and radix-2 for the rest; the first pass holds two
    // steps per vector, so it needs at least two of them.
    const int32_t log2Complex = order - 1;
    int32_t radix8Count = log2Complex / 3;
    int32_t radix4Count = 0;
    int32_t radix2Count = 0;
    switch (log2Complex % 3) {
    case 1:
        radix8Count -= 1;
        radix4Count = 2;
        break;
    case 2:
        radix4Count = 1;
        break;
    }
    if (log2Complex == 3) {
        radix8Count = 0;
        radix4Count = 1;
        radix2Count = 1;
    }
    plan.stageCount = radix8Count + radix4Count + radix2Count;
    int64_t n = plan.complexSize, s = 1;
    int64_t total = 0;
    for (int32_t i = 0; i < plan.stageCount; ++i) {
        plan.radix[i] = i < radix8Count ? 8 : i < radix8Count + radix4Count ? 4 : 2;
        plan.length[i] = n;
        plan.stride[i] = s;
        total += PassTableDoubles(plan.radix[i], n);
        n /= plan.radix[i];
        s *= plan.radix[i];
    }
    const bool tabledSplit = order <= kMaxTabledSplitOrder;
    // Rows of (c, c) and (s, −s) pairs for k = 0 … M/2, padded so that the widest vector may
    // load past M/2.
    plan.splitRowLength = 2 * (plan.complexSize / 2 + 1 + TFftPlan::kMaxLanes);
    const int64_t splitDoubles = tabledSplit ? 2 * plan.splitRowLength : 0;
    plan.fineBits = (order + 1) / 2;
    const int64_t fineCount = int64_t{1} << plan.fineBits;
    const int64_t coarseCount = plan.realSize >> plan.fineBits;
    total += splitDoubles + 2 * (fineCount + coarseCount);

    context.tables = new (std::nothrow) double[static_cast<size_t>(total)];
    if (context.tables == nullptr) {
        return false;
    }
    double* cursor = context.tables;
    for (int32_t i = 0; i < plan.stageCount; ++i) {
        const int64_t doubles = PassTableDoubles(plan.radix[i], plan.length[i]);
        plan.twiddles[i] = doubles > 0 ? cursor : nullptr;
        if (doubles > 0) {
            FillPassTable(cursor, plan.radix[i], plan.length[i], plan.stride[i]);
        }
        cursor += doubles;
    }
    plan.splitTable = nullptr;
    if (tabledSplit) {
        plan.splitTable = cursor;
        for (int64_t k = 0; k < plan.splitRowLength / 2; ++k) {
            double c, sn;
            UnitRootExact(k, plan.realSize, &c, &sn);
            cursor[2 * k] = c, cursor[2 * k + 1] = c;
            cursor[plan.splitRowLength + 2 * k] = sn;
            cursor[plan.splitRowLength + 2 * k + 1] = -sn;
        }
        cursor += splitDoubles;
    }
    double* fine = cursor;
    for (int64_t j = 0; j < fineCount; ++j) {
        UnitRootExact(j, plan.realSize, &fine[2 * j], &fine[2 * j + 1]);
    }
    cursor += 2 * fineCount;
    double* coarse = cursor;
    for (int64_t j = 0; j < coarseCount; ++j) {
        UnitRootExact(j << plan.fineBits, plan.realSize, &coarse[2 * j], &coarse[2 * j + 1]);
    }
    plan.fine = fine;
    plan.coarse = coarse;
    return true;
}

// Orders 0 … 3: X[k] = S·Σ x[n]·e^{−2πi·kn/N} with exact eighth roots of unity.
void TransformSmall(const double* src, double* dst, int32_t order, double scale) {
    constexpr double r = 0.70710678118654752440;
    static constexpr double kCos[8] = {1, r, 0, -r, -1, -r, 0, r};
    static constexpr double kSin[8] = {0, r, 1, r, 0, -r, -1, -r};
    const int n = 1 << order;
    double x[8];
    std::memcpy(x, src, sizeof(double) * static_cast<size_t>(n));
    for (int k = 0; k <= n / 2; ++k) {
        double re = 0.0, im = 0.0;
        for (int j = 0; j < n; ++j) {
            const int angle = ((k * j) % n) * (8 / n);
            re += x[j] * kCos[angle];
            im -= x[j] * kSin[angle];
        }
        dst[2 * k] = scale * re;
        dst[2 * k + 1] = (k == 0 || 2 * k == n) ? 0.0 : scale * im;
    }
    if (n == 1) {
        dst[1] = 0.0;
    }
}

TVecStatus ForwardReal(const double* src, double* dst, const FftContext* context, uint8_t* work,
                       TFftVariant variant) {
    if (context == nullptr || src == nullptr || dst == nullptr) {
        return vsNullPtrErr;
    }
    if (context->kind != kKindRealFft) {
        return vsContextMatchErr;
    }
    if (context->order < kFirstPlannedOrder) {
        TransformSmall(src, dst, context->order, context->scale);
        return vsOk;
    }
    const TFftPlan& plan = context->plan;
    const TRunner runner = RunnerFor(variant, context->order);
    if (plan.complexSize <= kMaxStackComplex) {
        alignas(kWorkAlignment) double scratch[4 * kMaxStackComplex]; // 2N doubles
        runner(plan, src, dst, scratch);
        return vsOk;
    }
    if (work != nullptr) {
        runner(plan, src, dst, AlignWork(work));
        return vsOk;
    }
    void* own = std::malloc(static_cast<size_t>(context->workSize));
    if (own == nullptr) {
        return vsMemErr;
    }
    runner(plan, src, dst, AlignWork(static_cast<uint8_t*>(own)));
    std::free(own);
    return vsOk;
}

} // namespace

TVecStatus FftInit(FftContext** context, int32_t order, int32_t flag, int32_t hint) {
    if (context == nullptr) {
        return vsNullPtrErr;
    }
    *context = nullptr;
    if (order < 0 || order > kMaxOrder) {
        return vsFftOrderErr;
    }
    const double n = std::ldexp(1.0, order);
    double scale;
    switch (flag) {
    case 1:
        scale = 1.0 / n;
        break;
    case 2:
    case 8:
        scale = 1.0;
        break;
    case 4:
        scale = 1.0 / std::sqrt(n);
        break;
    default:
        return vsFftFlagErr;
    }
    auto* created = new (std::nothrow) FftContext{};
    if (created == nullptr) {
        return vsMemErr;
    }
    created->kind = kKindRealFft;
    created->order = order;
    created->flag = flag;
    created->hint = hint;
    created->forwardScaled = flag == 1 || flag == 4;
    created->inverseScaled = flag == 2 || flag == 4;
    created->scale = scale;
    if (order >= kFirstPlannedOrder) {
        if (!BuildPlan(*created)) {
            delete created;
            return vsMemErr;
        }
        if (created->plan.complexSize > kMaxStackComplex) {
            created->workSize = 2 * created->plan.realSize * static_cast<int64_t>(sizeof(double)) +
                                static_cast<int64_t>(kWorkAlignment);
        }
    }
    *context = created;
    return vsOk;
}

TVecStatus FftFree(FftContext* context) {
    if (context == nullptr) {
        return vsNullPtrErr;
    }
    if (context->kind != kKindRealFft) {
        return vsContextMatchErr;
    }
    context->kind = 0;
    delete[] context->tables;
    delete context;
    return vsOk;
}

TVecStatus FftGetWorkSize(const FftContext* context, int64_t* bytes) {
    if (context == nullptr || bytes == nullptr) {
        return vsNullPtrErr;
    }
    if (context->kind != kKindRealFft) {
        return vsContextMatchErr;
    }
    *bytes = context->workSize;
    return vsOk;
}

TVecStatus FftForwardReal(const double* src, double* dst, const FftContext* context,
                          uint8_t* work) {
    return ForwardReal(src, dst, context, work, BestVariant());
}

namespace detail {

bool FftVariantAvailable(TFftVariant variant) {
    return CpuHas(variant);
}

TVecStatus FftForwardRealVariant(const double* src, double* dst, const FftContext* context,
                                 uint8_t* work, TFftVariant variant) {
    return ForwardReal(src, dst, context, work, variant);
}

} // namespace detail
