// Test-signal generators: ramp, tone, triangle and the Jaehne chirp.
//
// All of them carry their running values in long double (80-bit extended precision on
// x86-64): the tone's recurrence and the triangle's incremental stepping accumulate rounding
// error sample by sample, and the wider format keeps that error far below one output LSB over
// any block length. Angles use the true π in extended precision, both for the signals and for
// the accepted phase and asymmetry ranges.

#include "dsp/VecInternal.h"
#include "dsp/VecPrimitives.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr long double kTwoPi = 2.0L * kPi;

// Truncation toward zero to 16 bits; values are within ±magnitude already, the clamp only
// guards the conversion.
inline int16_t Truncate16(long double x) {
    if (std::isnan(x)) {
        return 0;
    }
    // The conversion truncates toward zero.
    return static_cast<int16_t>(static_cast<int32_t>(std::clamp(x, -32768.0L, 32767.0L)));
}

inline bool PhaseInRange(float phase) {
    return static_cast<long double>(phase) >= 0.0L && static_cast<long double>(phase) < kTwoPi;
}

// φ + ω·count reduced modulo 2π, rounded to single; anything that does not land in [0, 2π)
// after rounding (the reduced value can round up to exactly 2π's neighbour above) becomes 0
// so the next call accepts it.
inline float AdvancePhase(long double phase, long double omega, int32_t count) {
    const long double total = phase + omega * static_cast<long double>(count);
    const long double reduced = total - kTwoPi * std::floor(total / kTwoPi);
    const float result = static_cast<float>(reduced);
    return PhaseInRange(result) ? result : 0.0f;
}

// The tone a·cos(φ + nω) by the recurrence x[n] = 2cos(ω)·x[n−1] − x[n−2]. Short blocks run
// the recurrence serially in extended precision. Longer ones seed eight samples that way and
// then advance eight interleaved chains at once, x[n] = 2cos(8ω)·x[n−8] − x[n−16], in double:
// the chains are independent, so the loop vectorises, and over the few hundred steps of a
// block the double error stays far below one output LSB. Only the stores truncate.
constexpr int32_t kToneLanes = 8;

VEC_CLONES void ToneChains(int16_t* dst, int32_t len, double* older, double* newer, double twoCos) {
    for (int32_t base = kToneLanes; base < len; base += kToneLanes) {
        const int32_t count = std::min(kToneLanes, len - base);
        double next[kToneLanes];
        for (int32_t k = 0; k < kToneLanes; ++k) {
            next[k] = twoCos * newer[k] - older[k];
            older[k] = newer[k];
            newer[k] = next[k];
        }
        if (count == kToneLanes) {
            for (int32_t k = 0; k < kToneLanes; ++k) {
                dst[base + k] = static_cast<int16_t>(
                    static_cast<int32_t>(std::clamp(next[k], -32768.0, 32767.0)));
            }
        } else {
            for (int32_t k = 0; k < count; ++k) {
                dst[base + k] = static_cast<int16_t>(
                    static_cast<int32_t>(std::clamp(next[k], -32768.0, 32767.0)));
            }
        }
    }
}

void ToneLanes(int16_t* dst, int32_t len, long double amp, long double start, long double omega) {
    // Serial seed: x[−8] … x[7] (the first eight are the chains' previous values).
    long double seed[3 * kToneLanes];
    seed[0] = amp * std::cos(start - kToneLanes * omega);
    seed[1] = amp * std::cos(start - (kToneLanes - 1) * omega);
    const long double twoCos = 2.0L * std::cos(omega);
    const int32_t seedEnd = kToneLanes + std::min(len, 2 * kToneLanes);
    for (int32_t i = 2; i < seedEnd; ++i) {
        seed[i] = twoCos * seed[i - 1] - seed[i - 2];
    }
    // Exact start values for the first two samples, as the serial form always had.
    seed[kToneLanes] = amp * std::cos(start);
    if (len > 1) {
        seed[kToneLanes + 1] = amp * std::cos(start + omega);
        for (int32_t i = kToneLanes + 2; i < seedEnd; ++i) {
            seed[i] = twoCos * seed[i - 1] - seed[i - 2];
        }
    }
    const int32_t head = std::min(len, kToneLanes);
    for (int32_t n = 0; n < head; ++n) {
        dst[n] = Truncate16(seed[kToneLanes + n]);
    }
    if (len <= kToneLanes) {
        return;
    }
    double older[kToneLanes];
    double newer[kToneLanes];
    for (int32_t k = 0; k < kToneLanes; ++k) {
        older[k] = static_cast<double>(seed[k]);
        newer[k] = static_cast<double>(seed[kToneLanes + k]);
    }
    ToneChains(dst, len, older, newer, static_cast<double>(2.0L * std::cos(kToneLanes * omega)));
}

} // namespace

TVecStatus VecRamp16s(int16_t* dst, int32_t len, float offset, float slope) {
    if (dst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    const long double base = offset;
    const long double step = slope;
    for (int32_t i = 0; i < len; ++i) {
        // i × slope is exact in the 64-bit mantissa (31 + 24 bits); round() breaks ties away
        // from zero.
        const long double value = std::round(base + static_cast<long double>(i) * step);
        if (std::isnan(value)) {
            dst[i] = 0;
        } else {
            dst[i] =
                static_cast<int16_t>(static_cast<int32_t>(std::clamp(value, -32768.0L, 32767.0L)));
        }
    }
    return vsOk;
}

TVecStatus VecTone16s(int16_t* dst, int32_t len, int16_t magnitude, double relFreq, float* phase) {
    // The signal parameters are checked before the destination and the length.
    if (magnitude < 1) {
        return vsToneMagnErr;
    }
    if (!(relFreq >= 0.0 && relFreq < 0.5)) {
        return vsToneFreqErr;
    }
    if (phase == nullptr) {
        return vsNullPtrErr;
    }
    if (!PhaseInRange(*phase)) {
        return vsTonePhaseErr;
    }
    if (dst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }

    const long double amp = magnitude;
    const long double start = *phase;
    const long double omega = kTwoPi * static_cast<long double>(relFreq);
    ToneLanes(dst, len, amp, start, omega);
    *phase = AdvancePhase(start, omega, len);
    return vsOk;
}

TVecStatus VecTriangle16s(int16_t* dst, int32_t len, int16_t magnitude, double relFreq, float asym,
                          float* phase) {
    // The signal parameters are checked before the destination and the length.
    if (magnitude < 1) {
        return vsTriangleMagnErr;
    }
    if (!(relFreq >= 0.0 && relFreq < 0.5)) {
        return vsTriangleFreqErr;
    }
    const long double asymmetry = asym;
    if (!(asymmetry >= -kPi && asymmetry < kPi)) {
        return vsTriangleAsymErr;
    }
    if (phase == nullptr) {
        return vsNullPtrErr;
    }
    if (!PhaseInRange(*phase)) {
        return vsTrianglePhaseErr;
    }
    if (dst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }

    const long double amp = magnitude;
    const long double start = *phase;
    const long double omega = kTwoPi * static_cast<long double>(relFreq);
    // Phase spans of the falling and the rising part. A single-precision asymmetry in
    // [−π, π) keeps both above 1e-7, so neither slope below is infinite; an asymmetry just
    // inside ±π gives a near-vertical edge.
    const long double fallSpan = kPi + asymmetry;
    const long double riseSpan = kPi - asymmetry;

    bool falling = start < fallSpan;
    long double value = falling ? amp * (1.0L - 2.0L * start / fallSpan)
                                : amp * (-1.0L + 2.0L * (start - fallSpan) / riseSpan);
    value = std::clamp(value, -amp, amp);

    if (omega == 0.0L) {
        std::fill(dst, dst + len, Truncate16(value));
        return vsOk; // the phase does not move
    }

    // Per-sample slopes −4πfA/(π+a) and +4πfA/(π−a), and their inverses in samples per unit
    // of value, which turn an overshoot past a corner back into time.
    const long double fallSlope = -2.0L * amp * omega / fallSpan;
    const long double riseSlope = 2.0L * amp * omega / riseSpan;
    const long double fallTimePerUnit = fallSpan / (2.0L * amp * omega);
    const long double riseTimePerUnit = riseSpan / (2.0L * amp * omega);

    dst[0] = Truncate16(value);
    for (int32_t n = 1; n < len; ++n) {
        value += falling ? fallSlope : riseSlope;
        // Fold at the corners: the part of the step beyond a corner continues on the other
        // slope. A period is longer than two samples, so one step passes at most two
        // corners; the bound also stops rounding from ping-ponging.
        for (int corner = 0; corner < 4; ++corner) {
            if (falling && value < -amp) {
                const long double timePast = (-amp - value) * fallTimePerUnit;
                value = -amp + timePast * riseSlope;
                falling = false;
            } else if (!falling && value > amp) {
                const long double timePast = (value - amp) * riseTimePerUnit;
                value = amp + timePast * fallSlope;
                falling = true;
            } else {
                break;
            }
        }
        value = std::clamp(value, -amp, amp);
        dst[n] = Truncate16(value);
    }
    *phase = AdvancePhase(start, omega, len);
    return vsOk;
}

TVecStatus VecJaehne64f(double* dst, int32_t len, double magnitude) {
    if (dst == nullptr) {
        return vsNullPtrErr;
    }
    if (len <= 0) {
        return vsSizeErr;
    }
    if (magnitude < 0.0) {
        return vsJaehneErr;
    }
    // sin(π/2 · n²/N) has period 4N in n², so n² is reduced exactly first and the quarter
    // turn picks sin or cos of the remainder: the argument stays below π/2 for every n and
    // the zeros and peaks come out exact.
    const int64_t count = len;
    const long double quarter = kPi / 2.0L / static_cast<long double>(count);
    for (int64_t n = 0; n < count; ++n) {
        const int64_t m = (n * n) % (4 * count);
        const int64_t turn = m / count;
        const long double angle = quarter * static_cast<long double>(m % count);
        long double s = 0.0L;
        switch (turn) {
        case 0:
            s = std::sin(angle);
            break;
        case 1:
            s = std::cos(angle);
            break;
        case 2:
            s = -std::sin(angle);
            break;
        default:
            s = -std::cos(angle);
            break;
        }
        dst[n] = static_cast<double>(static_cast<long double>(magnitude) * s);
    }
    return vsOk;
}
