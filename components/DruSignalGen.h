#pragma once

#include "components/DruCommonGen.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

/// Wave shapes of the signal generator.
enum TDruSignalType : uint8_t {
    atTone,         ///< A · cos(φ + 2πfn)
    atTriangle,     ///< +A at phase 0, −A at π + `Asymmetry`, +A again at 2π
    atSquare,       ///< +A for the first half of each cycle, −A for the second
    atSawToothUp,   ///< ramps from −A up to +A, d + 1 samples per cycle
    atSawToothDown, ///< ramps from +A down to −A, d + 1 samples per cycle
};

/// "atTone", "atTriangle", "atSquare", "atSawToothUp", "atSawToothDown".
const std::vector<std::string>& DruSignalTypeNames();

/// The test-signal generator: tone, triangle, square or saw-tooth as 16-bit mono samples,
/// written into every channel of each buffer (see `TDruCommonGen` for clocking, the stream
/// protocol, locks and threads).
///
/// Every block is synthesised once into the 16-bit scratch block by the vector routines and
/// then copied into each channel. With f = `Frequency` ÷ generation rate and the period
/// d = nearest(1 ÷ f) (ties to even):
/// - tone and triangle use the first phase, which carries over between blocks (modulo 2π);
///   amplitude 0, f outside [0, 0.5), a phase outside [0, 2π) give a silent block and the
///   phase stays;
/// - the square sums two full-scale triangles (the second half a cycle behind, on the second
///   phase), saturated, then clips to ±A; f outside [0, 0.5) or a first phase outside
///   [0, 2π) give silence;
/// - the saw-tooth places each block by the first phase (its position in the cycle), spans
///   d + 1 samples per cycle ending exactly at ±A, and corrects the drift between d and 1 ÷ f
///   a whole sample at a time; frequency 0, a period below 1 sample or above 2^31 − 1, or a
///   phase outside [0, 2π) give silence. It never writes past the block.
/// Phases are reset only by `Start`, `Phase` and `SignalType`.
///
/// Published properties (after the base's), in order: `SignalType` (atTone), `Phase` (0,
/// radians), `Amplitude` (20000), `Frequency` (500.0 Hz), `Asymmetry` (0.0, radians),
/// `FrequencyPin`.
class TDruSignalGen : public TDruCommonGen {
  public:
    /// π′, slightly below π: the generator's half cycle for phase offsets, asymmetry limits
    /// and the saw-tooth's phase.
    static constexpr double kPiPrime = 3.141592621;
    static constexpr double kTwoPiPrime = 2.0 * kPiPrime;
    /// 2π as the phase range of the waveform routines.
    static constexpr double kTwoPi = 6.283185307179586;

    explicit TDruSignalGen(TVokComponent* owner);
    /// Stops the generator before its waveform state goes.
    ~TDruSignalGen() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TDruSignalType GetSignalType() const noexcept {
        return m_signalType.load(std::memory_order_acquire);
    }
    /// On a change the second phase becomes first phase + π′ (less 2π′ above 2π′). Throws
    /// std::invalid_argument for a value outside the enumeration.
    void SetSignalType(TDruSignalType type);
    float GetPhase() const noexcept { return m_phase.load(std::memory_order_acquire); }
    /// On a change: first phase = `phase`, second phase = `phase` + π′ (less 2π′ above 2π′).
    void SetPhase(float phase);
    int32_t GetAmplitude() const noexcept { return m_amplitude.load(std::memory_order_acquire); }
    /// Negative → 0, above 32767 → 32767.
    void SetAmplitude(int32_t amplitude);
    double GetFrequency() const noexcept { return m_frequency.load(std::memory_order_acquire); }
    /// Hz; negative or not a number → 0. On a change `FrequencyPin` shows the new value.
    void SetFrequency(double frequency);
    double GetAsymmetry() const noexcept { return m_asymmetry.load(std::memory_order_acquire); }
    /// Radians, clamped to [−π′, π′]; not a number → 0.
    void SetAsymmetry(double asymmetry);
    /// Receiving a value sets `Frequency`.
    TVokFloatIntStatePin* GetFrequencyPin() const noexcept { return m_frequencyPin.get(); }

    /// Resets the saw-tooth drift and both phases from `Phase`, then starts as the base does.
    void Start() override;

    /// Waveform state, for diagnostics (read under the component's lock or while stopped).
    float GetFirstPhase() const noexcept { return m_firstPhase; }
    float GetSecondPhase() const noexcept { return m_secondPhase; }
    /// Relative frequency f and period d of the last computation (d is 0 when undefined).
    double GetRelativeFrequency() const noexcept { return m_relativeFrequency; }
    int64_t GetPeriod() const noexcept { return m_period; }

  protected:
    /// Stores the rate and recomputes f and d.
    void SetGenerationRate(double rate) override;
    /// Recomputes f and d, synthesises `BufferSize` samples of the current shape into the
    /// scratch block and copies them into every channel of `buffer`.
    void FillBuffer(TDruAudioBuffer& buffer, bool& send, bool& stop) override;

  private:
    /// f = `Frequency` ÷ generation rate, d = nearest(1 ÷ f) (0 when undefined or beyond
    /// 2^31 − 1).
    void ComputePeriod();
    /// first + π′, less 2π′ when that exceeds 2π′.
    static float HalfCycleLater(float phase);

    void FillTone(int16_t* samples, int32_t count, int16_t amplitude);
    void FillTriangle(int16_t* samples, int32_t count, int16_t amplitude);
    void FillSquare(int16_t* samples, int32_t count, int16_t amplitude);
    void FillSawTooth(int16_t* samples, int32_t count, int16_t amplitude, bool rising);

    // Published values: written under m_lock, read anywhere.
    std::atomic<TDruSignalType> m_signalType{atTone};
    std::atomic<float> m_phase{0.0f};
    std::atomic<int32_t> m_amplitude{20000};
    std::atomic<double> m_frequency{500.0};
    std::atomic<double> m_asymmetry{0.0};
    TVokPinPtr<TVokFloatIntStatePin> m_frequencyPin;

    // Waveform state, guarded by m_lock.
    float m_firstPhase = 0.0f;
    float m_secondPhase = static_cast<float>(kPiPrime);
    double m_relativeFrequency = 0.0;
    int64_t m_period = 0;
    /// Saw-tooth drift between the period used and the true one, in samples.
    double m_sawToothError = 0.0;
    /// The square's second triangle; kept between blocks, resized with the block.
    TRef<TZemBlockBuffer> m_temporary;
};
