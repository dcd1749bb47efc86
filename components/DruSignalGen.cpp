#include "components/DruSignalGen.h"

#include "dsp/VecPrimitives.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace {

/// Longest saw-tooth period handled, in samples; longer ones give silence.
constexpr int64_t kMaxPeriod = std::numeric_limits<int32_t>::max();

/// Phase range the waveform routines accept: [0, 2π).
bool PhaseUsable(float phase) {
    return phase >= 0.0f && static_cast<double>(phase) < TDruSignalGen::kTwoPi;
}

} // namespace

const std::vector<std::string>& DruSignalTypeNames() {
    static const std::vector<std::string> names{"atTone", "atTriangle", "atSquare", "atSawToothUp",
                                                "atSawToothDown"};
    return names;
}

TDruSignalGen::TDruSignalGen(TVokComponent* owner) : TDruCommonGen(owner) {
    m_frequencyPin = MakePin<TVokFloatIntStatePin>(
        this, 0, [this](TVokFloatIntStatePin&, float value) { SetFrequency(value); });
    TVokObject::LinkObjects(&m_lock, m_frequencyPin.get());
    // Shows the current frequency from the start (nothing is linked yet, so nothing is sent).
    m_frequencyPin->SetValue(static_cast<float>(GetFrequency()));
}

TDruSignalGen::~TDruSignalGen() {
    ShutDown();
}

const TVokClassInfo& TDruSignalGen::ClassInfo() {
    using T = TDruSignalGen;
    static const TVokClassInfo info(
        "TDruSignalGen", &TDruCommonGen::ClassInfo(), TVokClassInfo::FactoryOf<T>,
        {
            TVokProp::Enum("SignalType", DruSignalTypeNames(), &T::GetSignalType, &T::SetSignalType,
                           atTone),
            TVokProp::Float("Phase", &T::GetPhase, &T::SetPhase, 0.0f),
            TVokProp::Integer("Amplitude", &T::GetAmplitude, &T::SetAmplitude, 20000),
            TVokProp::Float("Frequency", &T::GetFrequency, &T::SetFrequency, 500.0),
            TVokProp::Float("Asymmetry", &T::GetAsymmetry, &T::SetAsymmetry, 0.0),
            TVokProp::Object("FrequencyPin", &T::GetFrequencyPin),
        });
    return info;
}

// ---- properties --------------------------------------------------------------------------

float TDruSignalGen::HalfCycleLater(float phase) {
    double later = static_cast<double>(phase) + kPiPrime;
    if (later > kTwoPiPrime) {
        later -= kTwoPiPrime;
    }
    return static_cast<float>(later);
}

void TDruSignalGen::SetSignalType(TDruSignalType type) {
    if (type > atSawToothDown) {
        throw std::invalid_argument("TDruSignalGen " + GetName() + ": SignalType " +
                                    std::to_string(static_cast<int>(type)) +
                                    " is not a signal type");
    }
    TVokWriteLockSection section(m_lock);
    if (m_signalType.exchange(type, std::memory_order_acq_rel) != type) {
        m_secondPhase = HalfCycleLater(m_firstPhase);
    }
}

void TDruSignalGen::SetPhase(float phase) {
    TVokWriteLockSection section(m_lock);
    // NaN compares unequal to itself and is stored like any other change.
    if (m_phase.exchange(phase, std::memory_order_acq_rel) != phase) {
        m_firstPhase = phase;
        m_secondPhase = HalfCycleLater(phase);
    }
}

void TDruSignalGen::SetAmplitude(int32_t amplitude) {
    TVokWriteLockSection section(m_lock);
    m_amplitude.store(std::clamp(amplitude, 0, 32767), std::memory_order_release);
}

void TDruSignalGen::SetFrequency(double frequency) {
    if (!(frequency >= 0.0)) {
        frequency = 0.0;
    }
    TVokWriteLockSection section(m_lock);
    if (m_frequency.exchange(frequency, std::memory_order_acq_rel) != frequency) {
        m_frequencyPin->SetValue(static_cast<float>(frequency));
    }
}

void TDruSignalGen::SetAsymmetry(double asymmetry) {
    const double usable = std::isnan(asymmetry) ? 0.0 : std::clamp(asymmetry, -kPiPrime, kPiPrime);
    TVokWriteLockSection section(m_lock);
    m_asymmetry.store(usable, std::memory_order_release);
}

// ---- run ---------------------------------------------------------------------------------

void TDruSignalGen::Start() {
    // Held through the common start, so no tick sees the reset phases of a run not yet begun.
    TVokGlobalWriteLockSection global;
    TVokWriteLockSection section(m_lock);
    m_sawToothError = 0.0;
    m_firstPhase = GetPhase();
    m_secondPhase = HalfCycleLater(m_firstPhase);
    TDruCommonGen::Start();
}

void TDruSignalGen::SetGenerationRate(double rate) {
    TDruCommonGen::SetGenerationRate(rate);
    ComputePeriod();
}

void TDruSignalGen::ComputePeriod() {
    m_relativeFrequency = GetFrequency() / GetGenerationRate();
    const double period = std::nearbyint(1.0 / m_relativeFrequency);
    // Frequency 0 (or a rate of 0) leaves the period undefined.
    m_period = period >= 0.0 && period <= static_cast<double>(kMaxPeriod)
                   ? static_cast<int64_t>(period)
                   : 0;
}

void TDruSignalGen::FillBuffer(TDruAudioBuffer& buffer, bool& /*send*/, bool& /*stop*/) {
    ComputePeriod();
    int16_t* samples = ScratchSamples();
    const uint32_t frames = std::min(GetAudioFormat()->GetBufferSize(), ScratchCount());
    if (samples == nullptr || frames == 0 || frames < buffer.GetSize()) {
        // No scratch block for this buffer size: the buffer goes out silent.
        buffer.Zero();
        return;
    }
    const auto count = static_cast<int32_t>(frames);
    const auto amplitude = static_cast<int16_t>(GetAmplitude());
    switch (GetSignalType()) {
    case atTone:
        FillTone(samples, count, amplitude);
        break;
    case atTriangle:
        FillTriangle(samples, count, amplitude);
        break;
    case atSquare:
        FillSquare(samples, count, amplitude);
        break;
    case atSawToothUp:
        FillSawTooth(samples, count, amplitude, true);
        break;
    case atSawToothDown:
        FillSawTooth(samples, count, amplitude, false);
        break;
    }
    CopyScratchToChannels(buffer, frames);
}

// ---- waveforms ---------------------------------------------------------------------------

void TDruSignalGen::FillTone(int16_t* samples, int32_t count, int16_t amplitude) {
    // A refused tone (amplitude, frequency or phase out of range) leaves the phase alone.
    if (VecTone16s(samples, count, amplitude, m_relativeFrequency, &m_firstPhase) != vsOk) {
        VecZero16s(samples, count);
    }
}

void TDruSignalGen::FillTriangle(int16_t* samples, int32_t count, int16_t amplitude) {
    if (VecTriangle16s(samples, count, amplitude, m_relativeFrequency,
                       static_cast<float>(GetAsymmetry()), &m_firstPhase) != vsOk) {
        VecZero16s(samples, count);
    }
}

void TDruSignalGen::FillSquare(int16_t* samples, int32_t count, int16_t amplitude) {
    const double f = m_relativeFrequency;
    if (!(f >= 0.0 && f < 0.5) || !PhaseUsable(m_firstPhase)) {
        VecZero16s(samples, count);
        return;
    }
    const auto bytes = static_cast<uint32_t>(count) * 2;
    if (!m_temporary || m_temporary->GetByteSize() != bytes) {
        m_temporary = MakeRef<TZemBlockBuffer>(bytes);
    }
    auto* rising = reinterpret_cast<int16_t*>(m_temporary->GetWritePointer());
    // Full scale falling over almost the whole cycle from the first phase, plus full scale
    // rising over almost the whole cycle half a cycle later: +32767 in the first half cycle,
    // −32767 in the second.
    if (VecTriangle16s(samples, count, 32767, f, static_cast<float>(kPiPrime), &m_firstPhase) !=
        vsOk) {
        VecZero16s(samples, count);
    }
    if (VecTriangle16s(rising, count, 32767, f, static_cast<float>(-kPiPrime), &m_secondPhase) !=
        vsOk) {
        VecZero16s(rising, count);
    }
    VecAddSaturate16s(rising, samples, count);
    const auto negative = static_cast<int16_t>(-amplitude);
    VecThresholdBelowAbove16s(samples, count, negative, negative, amplitude, amplitude);
}

void TDruSignalGen::FillSawTooth(int16_t* samples, int32_t count, int16_t amplitude, bool rising) {
    const double f = m_relativeFrequency;
    const int64_t d = m_period;
    if (!(f > 0.0) || d < 1 || !PhaseUsable(m_firstPhase)) {
        VecZero16s(samples, count);
        return;
    }
    const int64_t n = count;
    // A′: where each cycle ends; cycles start at −A′.
    const int16_t peak = rising ? amplitude : static_cast<int16_t>(-amplitude);
    const double peakValue = peak;

    // 1. Position in the cycle, in samples, and what is left of that cycle.
    const int64_t k = std::clamp<int64_t>(
        static_cast<int64_t>(std::nearbyint(static_cast<double>(m_firstPhase) / kTwoPiPrime / f)),
        0, d);
    int64_t left = d - k;
    bool partial = false;
    if (n < left + 1) {
        left = n - 1;
        partial = true;
    }
    // 2. Drift between the period used and the true one.
    m_sawToothError += static_cast<double>(d) - 1.0 / f;
    // 3. Step per sample.
    const auto step = static_cast<float>(2.0 * peakValue / static_cast<double>(d));

    // 4. The rest of the cycle the previous block began, corrected by whole samples of drift.
    int64_t written = 0;
    // Set when a drift correction stretches the cycle's last sample (A′) past a block that
    // is not partial; that sample then opens the next block.
    bool carryPeak = false;
    if (k > 0 || partial) {
        int64_t j = 0;
        if (std::fabs(m_sawToothError) >= 1.0) {
            j = static_cast<int64_t>(std::trunc(m_sawToothError));
            m_sawToothError -= static_cast<double>(j);
        }
        const int64_t wanted = left + j + 1;
        // A block that ends inside the cycle is filled to its end whatever the correction
        // asks for (one sample more or less); otherwise never beyond the block.
        const int64_t stored = partial ? n : std::clamp<int64_t>(wanted, 0, n);
        if (stored > 0) {
            const auto start = static_cast<float>(static_cast<double>(k - j) * step - peakValue);
            VecRamp16s(samples, static_cast<int32_t>(stored), start, step);
            if (!partial && stored == wanted) {
                samples[stored - 1] = peak;
            }
        }
        written = std::clamp<int64_t>(wanted, 0, n);
        carryPeak = !partial && wanted > n;
    }

    // 5. Whole cycles of d + 1 samples, each ending exactly at A′.
    const int64_t cycles = (n - written) / (d + 1);
    for (int64_t cycle = 0; cycle < cycles; ++cycle) {
        VecRamp16s(samples + written, static_cast<int32_t>(d + 1), static_cast<float>(-peakValue),
                   step);
        samples[written + d] = peak;
        written += d + 1;
    }

    // 6. The beginning of the next cycle, and 7. the phase it leaves for the next block.
    int64_t rest;
    if (partial) {
        rest = n + k;
    } else if (carryPeak) {
        rest = d;
    } else {
        rest = n - written;
        if (rest > 0) {
            VecRamp16s(samples + written, static_cast<int32_t>(rest),
                       static_cast<float>(-peakValue), step);
        }
    }
    m_firstPhase =
        static_cast<float>(kTwoPiPrime * static_cast<double>(rest) / static_cast<double>(d));
}
