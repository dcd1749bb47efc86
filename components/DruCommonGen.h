#pragma once

#include "buffers/DruAudioBuffer.h"
#include "buffers/DruAudioFormat.h"
#include "buffers/ZemSimpleDataBuffer.h"
#include "buffers/ZemVokStreamPins.h"
#include "components/ZemFilterTypes.h"
#include "pins/VokComponent.h"
#include "pins/VokObject.h"
#include "pins/VokPin.h"
#include "pins/VokStandardPins.h"

#include <atomic>
#include <cstdint>
#include <memory>

class TZemClockGenItem;

/// Base of the audio generators: everything but the waveform. It owns the output pin, the
/// enable and clock pins and the audio format; it produces one audio buffer of `BufferSize`
/// frames per tick while running, and announces, stops and resumes its stream.
///
/// Clocking. With `ClockSource` csExternal every clock operation (or buffer) arriving at
/// `ClockPin` produces one buffer, on the thread that delivers it. With csInternal the
/// generator first asks downstream whether someone else pumps the stream (a pump request);
/// if nobody took the request over it registers with the internal clock at the period of one
/// buffer, nearest(999 ÷ (`SampleRate` ÷ `BufferSize`)) ms, and produces on the clock thread.
///
/// Stream protocol. A start sends a wave start (with the 40-byte format record, rate
/// `SampleRate` div `BufferSize`) down `OutputPin`; then every tick sends one buffer; after
/// the third buffer of a run one resume operation follows; a stop sends an end-stop. A
/// generator starts only when its output is linked (`Enabled` set to true, or `Loaded` while
/// enabled) and stops when disabled, when a stop comes up from downstream, or when destroyed.
///
/// Locks and threads. `m_lock` is the component's lock object; every pin joins its group, so
/// a tick (which runs with the clock pin's or the clock generator's group held) and a property
/// setter (which takes a write lock section on `m_lock`) never overlap. `Enabled`, starting and
/// stopping take the global write lock first (the lock order: global, then group). Property
/// setters run on the user-interface thread; getters take no lock (the published values are
/// atomic). The waveform state of derived classes is guarded by `m_lock`.
///
/// Ownership: the generator owns its pins, its format object and its scratch buffer; a derived
/// class whose `FillBuffer` uses its own members calls `ShutDown` in its destructor, so that
/// no tick reaches it half destroyed.
///
/// Published properties, in order: `Enabled` (default true), `AudioFormat` (object: 2
/// channels, 16 bits, 11025 samples per second, [spFrontLeft, spFrontRight], `BufferSize`
/// 1024), `OutputPin`, `EnablePin`, `ClockPin`, `PumpPriority` (0), `ClockSource`
/// (csInternal).
class TDruCommonGen : public TVokComponent {
  public:
    /// Pump type of the generators' pump requests.
    static constexpr uint8_t kPumpType = 2;

    explicit TDruCommonGen(TVokComponent* owner);
    /// `ShutDown`, then the pins go (each unlinked sink hears a stop).
    ~TDruCommonGen() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    bool GetEnabled() const noexcept { return m_enabled.load(std::memory_order_acquire); }
    /// No change → nothing. Otherwise, under the global write lock and the component's write
    /// lock: stores the value; enabling (outside design state) runs `StartIfConnected`,
    /// disabling runs `Stop`; then `EnablePin` shows the value.
    void SetEnabled(bool enabled);

    /// The output format; owned, lives as long as the generator. Its setters take this
    /// component's write lock; every change replaces the scratch buffer at once, and the next
    /// start announces the new format.
    TDruAudioFormat* GetAudioFormat() const noexcept { return m_audioFormat.get(); }
    /// Takes the settings of `format` (its setters' rules apply). Throws std::invalid_argument
    /// for a null format.
    void SetAudioFormat(TDruAudioFormat* format);

    /// Sends the audio stream; operations coming up from its sinks go to
    /// `ProcessOutputOperation`.
    TDruVokAudioSourcePin* GetOutputPin() const noexcept { return m_outputPin.get(); }
    /// Receiving a value sets `Enabled`; always shows the current `Enabled`.
    TVokBoolStatePin* GetEnablePin() const noexcept { return m_enablePin.get(); }
    /// One tick per clock operation received (csExternal only). The output depends on it.
    TVokClockSinkPin* GetClockPin() const noexcept { return m_clockPin.get(); }

    int32_t GetPumpPriority() const noexcept {
        return m_pumpPriority.load(std::memory_order_acquire);
    }
    /// Stored under the component's write lock; used by the next pump request.
    void SetPumpPriority(int32_t priority);
    TZemClockSource GetClockSource() const noexcept {
        return m_clockSource.load(std::memory_order_acquire);
    }
    /// Stored under the component's write lock; a running generator keeps the clock it
    /// registered until it stops, but produces only on ticks of the current source.
    void SetClockSource(TZemClockSource source);

    /// Starts an enabled generator once it is read from a form (not in design state).
    void Loaded() override;

    /// Starts the generator when its output has sinks. csExternal: it becomes clocked.
    /// csInternal: a pump request (desired rate 1) goes down the output; the generator is
    /// clocked when the request still names it afterwards, otherwise it remembers the pump that
    /// took over. Then `Start`. Takes the global write lock, then the component's.
    void StartIfConnected();
    /// Produces one buffer while running: a new audio buffer in the current format, filled by
    /// `FillBuffer` and sent; after the third buffer of a run one resume operation. Runs on the
    /// clock's thread under the component's write lock.
    void GenerateBlock();

    /// Resets the run (block counter, clock set-up, generation rate), marks the generator
    /// running and sends the wave start down the output pin; with csInternal and someone else
    /// pumping, a start-pump operation follows. Takes the global write lock, then the
    /// component's. Derived generators reset their waveform first and then call this.
    virtual void Start();
    /// Releases the internal clock (if registered), clears the running flag and sends an
    /// end-stop down the output pin. Takes the global write lock while releasing the clock, then
    /// the component's write lock.
    virtual void Stop();

    /// Buffers are produced (ticks are served).
    bool IsRunning() const noexcept { return m_running.load(std::memory_order_acquire); }
    /// The generator may produce on ticks (it pumps the stream itself).
    bool IsClocked() const noexcept { return m_clocked.load(std::memory_order_acquire); }
    /// Set by every start and stop.
    bool IsRestartPending() const noexcept { return m_restart.load(std::memory_order_acquire); }
    /// The internal clock registration, or null.
    TZemClockGenItem* GetClockItem() const noexcept {
        return m_clockItem.load(std::memory_order_acquire);
    }
    /// The component that took over the last pump request, or null.
    TVokComponent* GetForeignPump() const noexcept {
        return m_foreignPump.load(std::memory_order_acquire);
    }
    /// Rate the waveform is computed for (samples per second): the format's at start, or the
    /// rate a sink announced upstream.
    double GetGenerationRate() const noexcept {
        return m_generationRate.load(std::memory_order_acquire);
    }
    /// The internal clock period for a format: nearest(999 ÷ (sampleRate ÷ bufferSize)) ms,
    /// at least 1; 0 (a clock that never ticks) for a sample rate of 0.
    static uint32_t ClockPeriodFor(uint32_t sampleRate, uint32_t bufferSize) noexcept;

  protected:
    /// Operations sent up by the output's sinks, with the component's group held: a sample-rate
    /// start sets up the clock and takes its rate as the generation rate; a stop stops; a
    /// stream query while disabled is answered with an ignore operation down the output;
    /// anything else is ignored.
    virtual TVokNotifyResults ProcessOutputOperation(TVokBasicPin* receiver, const TVokGuid& typeId,
                                                     TVokNotifyFlags flags,
                                                     TVokNotifyOperation* operation);
    /// csExternal: clocked. csInternal: a pump request (desired rate `SampleRate` div
    /// `BufferSize`); when clocked and not yet registered, registration with the internal clock.
    virtual void SetupClock();
    /// Called by `Start` with the frames per buffer; does nothing here.
    virtual void PrepareBufferSize(uint32_t frames);
    /// Stores the rate the waveform is computed for; derived generators add their own state.
    virtual void SetGenerationRate(double rate);
    /// Writes one block into `buffer` (a new buffer of the current format, `BufferSize`
    /// frames). Clearing `send` drops the buffer; setting `stop` stops the generator after it.
    /// Component's write lock held.
    virtual void FillBuffer(TDruAudioBuffer& buffer, bool& send, bool& stop) = 0;
    /// The output pin has sinks.
    virtual bool IsOutputConnected() const;

    /// `Stop` once; later calls do nothing. Destructors call it.
    void ShutDown();

    /// The mono 16-bit scratch block: `BufferSize` samples (null when the format's buffer size
    /// is too large to hold). Component's write lock held.
    int16_t* ScratchSamples();
    /// Samples the scratch block holds.
    uint32_t ScratchCount() const noexcept { return m_scratchCount; }
    /// Writes the first `frames` scratch samples into every channel of `buffer`: unchanged
    /// into 16-bit containers, converted into 8-bit (((x − (x >> 8)) >> 8) + 128), 24-bit
    /// (x × 8388607 ÷ 32767) and 32-bit (x × 2147483647 ÷ 32767) ones. `frames` is cut to the
    /// buffer's frames and the scratch size. Component's write lock held.
    void CopyScratchToChannels(TDruAudioBuffer& buffer, uint32_t frames);

    /// The component's lock object; guards the run state below, the scratch buffer and the
    /// waveform state of derived classes. Declared before the pins, which are destroyed first.
    TVokObject m_lock;

  private:
    /// Replaces the scratch block after a format change (format's owner lock held).
    void FormatChanged();
    /// Sends a pump request with `desiredRate`; clocked when it still names this generator.
    void RequestPump(float desiredRate);
    /// The clock pin's handler: a tick produces a block when clocked and csExternal.
    void ExternalTick();
    /// The internal clock's callback: a tick produces a block while the source is csInternal.
    void InternalTick();

    // Published values: written under m_lock, read anywhere.
    std::atomic<bool> m_enabled{true};
    std::atomic<int32_t> m_pumpPriority{0};
    std::atomic<TZemClockSource> m_clockSource{csInternal};

    /// Owned; its owner is m_lock.
    std::unique_ptr<TDruAudioFormat> m_audioFormat;
    TVokPinPtr<TDruVokAudioSourcePin> m_outputPin;
    TVokPinPtr<TVokBoolStatePin> m_enablePin;
    TVokPinPtr<TVokClockSinkPin> m_clockPin;

    // Run state, guarded by m_lock (atomic so that it can be queried without it).
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_clocked{false};
    std::atomic<bool> m_restart{false};
    std::atomic<TZemClockGenItem*> m_clockItem{nullptr};
    std::atomic<TVokComponent*> m_foreignPump{nullptr};
    std::atomic<double> m_generationRate{0.0};
    /// Buffers of this run, up to 2; 20 once the resume went out.
    int32_t m_blockCounter = 0;
    bool m_shutDown = false;
    /// BufferSize × 2 bytes of 16-bit mono samples; replaced on every format change.
    TRef<TZemBlockBuffer> m_scratch;
    uint32_t m_scratchCount = 0;
};
