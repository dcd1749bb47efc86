#pragma once

#include "components/DruCommonSplitter.h"
#include "components/ZemFilterTypes.h"
#include "dsp/Fft.h"
#include "pins/VokStandardPins.h"
#include "platform/VokMessageWindow.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TDruSpectrum;

/// Reports the latest peak frequency of one channel, in Hz. Called on the GUI thread.
using TDruFrequencyEvent =
    std::function<void(TDruSpectrum* sender, int32_t channel, double frequency)>;

/// Magnitude spectra of an audio stream, channel by channel.
///
/// Every connected channel is cut into windows of N = 2^`Order` samples (raw sample values, as
/// the splitter converts them); each full window is transformed with the real FFT and its N/2
/// magnitudes |X[0]| … |X[N/2 − 1]| are sent as a new real buffer on the channel's output pin,
/// with |X[0]| set to 0 (the DC bin is suppressed). With `Normalization` fnNormalize a sine of
/// amplitude A exactly on a bin gives A/2 there, with fnNone A·N/2, with fnNormalizeSqrt
/// A·√N/2. A wave start is announced downstream as a spectrum start with block size N/2 and
/// the stream's samples per second.
///
/// Windows: with `SamplingWindowStep` s = 0 every N consecutive samples form one window; with
/// s ≥ N a window starts every s samples and the s − N samples between windows are ignored;
/// with 0 < s < N the first window is filled as with s = 0 and the rest of the buffer that
/// completes it is skipped, then from the next buffer on a spectrum follows every s new
/// samples, each window overlapping the previous one by N − s samples. Buffers shorter than
/// the samples still missing from a window just add what they have.
///
/// Peak frequency: when `OnFrequencyResult` is assigned or the channel's frequency pin is
/// connected, each spectrum's strongest bin i (the lowest of equal ones; 0 for a silent
/// window) gives the channel's result frequency i × samples per second ÷ N, and a message
/// (`kResultMessage`) is posted to the component's message window. On the GUI thread the
/// message runs `DeliverFrequencies`, which reports the latest result of every channel through
/// `OnFrequencyResult` and the frequency pins. Results accumulate, so a lost or merged message
/// loses only intermediate values.
///
/// Threads and locks: windows are fed and spectra computed on the thread that delivers the
/// audio, with the component's group lock held; the only hand-over to the GUI thread is the
/// posted message, and `DeliverFrequencies` reads the results under the group's read lock.
/// Setters take the group's write lock (`SetChannelCount` the global write lock first). The
/// component must be created and destroyed on the GUI thread that pumps its message window.
///
/// Memory: the transform context, the windows and the transform's scratch are made at the
/// stream's start and released at its stop; in between every spectrum takes only its
/// magnitude buffer from the pool. An `Order` whose window of N doubles does not fit a buffer
/// (2^30 bytes, so orders above 27) or whose transform cannot be set up produces no spectra
/// for that stream.
///
/// Published properties: those of `TDruCommonSplitter`, then `Order` (default 8, clamped to
/// 8 … 30, used at the next start), `SamplingWindowStep` (default 0, read on every buffer),
/// `Normalization` (default fnNormalize; a change while a stream runs replaces the transform
/// at once), `FrequencyOutputPins` (one `TVokRealSourcePin` per channel) and
/// `OnFrequencyResult`.
class TDruSpectrum : public TDruCommonSplitter {
  public:
    /// The message the analyser posts to its own window when new peak frequencies are ready.
    static constexpr uint32_t kResultMessage = 0xA00;
    static constexpr int32_t kMinOrder = 8;
    static constexpr int32_t kMaxOrder = 30;
    static constexpr int32_t kDefaultOrder = 8;

    /// Two channels. Creates the message window on the calling (GUI) thread, unless the owner
    /// is in design state.
    explicit TDruSpectrum(TVokComponent* owner);
    ~TDruSpectrum() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    int32_t GetOrder() const;
    /// Clamped to 8 … 30; takes effect at the next start.
    void SetOrder(int32_t order);
    /// Samples between the starts of consecutive windows; 0: back to back.
    uint32_t GetSamplingWindowStep() const;
    void SetSamplingWindowStep(uint32_t step);
    TZemFourierNormalization GetNormalization() const;
    /// Replaces the running transform at once (a transform that cannot be made stops the
    /// spectra until the next start).
    void SetNormalization(TZemFourierNormalization normalization);
    /// The frequency pins in channel order; its `Count` is the channel count.
    TVokPinList* GetFrequencyOutputPins() const { return m_frequencyPinList.get(); }
    /// The frequency pin of channel `channel`; throws std::out_of_range naming the index.
    TVokRealSourcePin* GetFrequencyOutputPin(int32_t channel) const;
    TDruFrequencyEvent GetOnFrequencyResult() const;
    void SetOnFrequencyResult(TDruFrequencyEvent handler);

    /// The latest peak frequency of `channel` in Hz (0 before any); throws std::out_of_range.
    double GetResultFrequency(int32_t channel) const;
    /// True while a stream runs with a transform (between a start that could set one up and
    /// the stop).
    bool IsTransforming() const;

    /// The base behaviour, then the result frequencies and the frequency pins (each dependent
    /// on the input pin) follow the new count.
    void SetChannelCount(int32_t count) override;

    /// GUI thread (the message window's handler): for every channel in order, reads its
    /// latest result under the read lock, calls `OnFrequencyResult` and sets the channel's
    /// frequency pin (which tells its sinks only when the value changed).
    void DeliverFrequencies();

  protected:
    TVokPinPtr<TZemVokSourcePin> CreateOutputPin() override;
    /// Copies the record, announces a spectrum start on every output pin and sets up the
    /// transform, the scratch and one empty window per channel. A null record does nothing.
    void StartWave(const uint8_t* formatRecord) override;
    /// Releases the transform and the windows, then sends a stop on every output pin.
    void StopOutputs() override;
    /// Feeds `samples` into the channel's window while a transform exists.
    void DeliverChannel(int32_t channel, const TRef<TZemRealBuffer>& samples) override;

  private:
    /// Per channel feeding state (group lock).
    struct TChannelWindow {
        TRef<TZemRealBuffer> Window;
        /// The window's samples (exclusive storage, so writing never detaches).
        double* Data = nullptr;
        /// Samples in the window so far (fill mode).
        uint32_t Fill = 0;
        /// Samples since the start of the current window, or skipped since the last (fill
        /// mode with a step).
        uint32_t Skip = 0;
        /// Samples still missing from the next overlapping window (sliding mode).
        uint32_t Pending = 0;
        /// The window has been completed at least once.
        bool Full = false;
    };
    struct TAlignedFree {
        void operator()(void* block) const noexcept;
    };
    struct TContextFree {
        void operator()(FftContext* context) const noexcept;
    };

    /// Releases everything a running stream holds.
    void ReleaseRun() noexcept;
    /// Makes a transform context for the running order and `m_normalization`, with its work
    /// area; false (and no context) when that fails.
    bool CreateContext();
    void FeedFillMode(int32_t channel, const double* samples, uint32_t count, uint32_t step);
    void FeedSlidingMode(int32_t channel, const double* samples, uint32_t count, uint32_t step);
    /// Transforms the window of `channel`, sends its magnitudes and updates its peak.
    void ComputeSpectrum(int32_t channel);

    int32_t m_order = kDefaultOrder;
    uint32_t m_samplingWindowStep = 0;
    TZemFourierNormalization m_normalization = fnNormalize;
    TDruFrequencyEvent m_onFrequencyResult;

    // The running stream (all guarded by the group lock).
    std::unique_ptr<FftContext, TContextFree> m_context;
    /// Window length N of the running stream (0 when stopped) and its order.
    uint32_t m_windowLength = 0;
    int32_t m_runOrder = 0;
    double m_sampleRate = 0.0;
    /// Transform output: N/2 + 1 complex bins.
    std::unique_ptr<TVecComplex, TAlignedFree> m_spectrum;
    /// Scratch the transform asks for (may be null).
    std::unique_ptr<uint8_t, TAlignedFree> m_work;
    int64_t m_workSize = 0;
    std::vector<TChannelWindow> m_windows;
    /// Changes whenever the windows or the transform are replaced, so that feeding stops
    /// when a downstream handler restarted or stopped the stream under it.
    uint64_t m_generation = 0;
    /// Latest peak frequency per channel, Hz (group lock; one entry per output pin).
    std::vector<double> m_resultFrequencies;

    std::unique_ptr<TDruChannelPinList> m_frequencyPinList;
    /// Owned here, in channel order; changed under the global write lock and the group's
    /// write lock.
    std::vector<TVokPinPtr<TVokRealSourcePin>> m_frequencyPins;

    /// Posts to the message window from the processing thread; a poster stays safe to use
    /// even when the window is gone. Empty in design state.
    TVokMessagePoster m_poster;
    /// Created and destroyed on the GUI thread; null in design state. Declared last, so it
    /// is destroyed first.
    std::unique_ptr<TVokMessageWindow> m_window;
};
