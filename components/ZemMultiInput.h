#pragma once

#include "buffers/ZemSimpleDataBuffer.h"
#include "buffers/ZemVokOperations.h"
#include "buffers/ZemVokStreamPins.h"
#include "components/ZemBufferQueue.h"
#include "pins/VokComponent.h"
#include "pins/VokObject.h"
#include "pins/VokPin.h"

#include <atomic>
#include <cstdint>
#include <vector>

/// Receiving interface of the queued real sink pin (answered by `QueryType`).
inline constexpr TVokGuid kZemQueuedRealSinkPinInterface =
    TVokGuid::Parse("{AEE73535-9267-4CB2-ABF7-905245E0EB46}");

/// The most samples one block may take from one input: a real buffer holds at most 2^30 bytes.
inline constexpr uint32_t kZemMaxBlockSamples = (uint32_t{1} << 30) / sizeof(double);

/// `value` rounded to the nearest integer (ties to even), clamped to [0, kZemMaxBlockSamples];
/// NaN gives 0. The block-length rule of the multi-input components.
uint32_t ZemNearestBlockSamples(double value);

/// A real sink that collects what arrives in a sample queue, so that its owner can take blocks
/// of any length however the source cut its buffers, and that remembers the stream state the
/// multi-input components negotiate with.
///
/// Threads and locks: the queue has its own lock and may be filled from any thread. Every other
/// field is read and written by the owner with the pin's group lock held (the owner puts its
/// inputs into its own lock group), except the received-data mark, which is atomic.
class TZemVokQueuedRealSinkPin : public TZemVokRealSinkPin {
  public:
    /// `dataHandler`: the owner's handler for everything that arrives (see `TZemVokRealSinkPin`).
    TZemVokQueuedRealSinkPin(TVokComponent* owner, TZemPinHandler dataHandler);

    /// Also answers `kZemQueuedRealSinkPinInterface`.
    bool QueryType(const TVokGuid& typeId) const override;

    /// The queued samples (references to the received buffers, never copies).
    TZemBufferQueue& GetQueue() { return m_queue; }
    const TZemBufferQueue& GetQueue() const { return m_queue; }

    /// Takes the sample rate (samples per second) and the block length of `start`; the pin is
    /// started and no longer stopped. A rate that is not a finite positive number is kept as 0.
    void TakeStart(const TVokStartSampleRateOperation& start);
    /// A start arrived and no stop since.
    bool IsStarted() const { return m_started; }
    void SetStarted(bool started) { m_started = started; }
    /// Input sample rate from the last start (samples per second).
    double GetInputRate() const { return m_inputRate; }
    /// The block length the last start announced.
    int32_t GetInputBlockLength() const { return m_inputBlockLength; }
    /// Input samples that make one output block.
    uint32_t GetBlockSamples() const { return m_blockSamples; }
    void SetBlockSamples(uint32_t samples) { m_blockSamples = samples; }
    bool IsStopped() const { return m_stopped; }
    void SetStopped(bool stopped) { m_stopped = stopped; }
    /// The source answered a stream query: it will not deliver.
    bool IsIgnoring() const { return m_ignoring; }
    void SetIgnoring(bool ignoring) { m_ignoring = ignoring; }
    /// True from creation until the first stop: the pin may query its source.
    bool IsQueryEnabled() const { return m_queryEnabled; }
    void SetQueryEnabled(bool enabled) { m_queryEnabled = enabled; }
    /// The merger's mark "data arrived since the last operation from downstream".
    bool HasReceivedData() const { return m_receivedData.load(std::memory_order_relaxed); }
    void SetReceivedData(bool received) {
        m_receivedData.store(received, std::memory_order_relaxed);
    }

    /// Queues `buffer` without letting the queue grow without bound: while the output is not
    /// running only the newest buffer is kept (an input waiting for the others), and while it
    /// runs but cannot take the samples (another input stalls without stopping) the old ones
    /// are given up beyond 256 blocks (about six seconds of 1024-sample blocks at 44100 Hz,
    /// enough for producers on different threads to run apart). Called with the pin's group
    /// lock held.
    void KeepBuffer(TRef<IZemDataBuffer> buffer, bool outputRunning);

    /// Fills all of `destination` (one output block) from the queue and answers true: directly
    /// when the block length B = `GetBlockSamples` equals the destination's size, otherwise by
    /// taking B samples into a scratch buffer of the pin and resampling them by nearest
    /// neighbour: output sample k is input sample min(B − 1, nearest(p_k)) with p_0 = 0 and
    /// p_{k+1} = p_k + (B − 1) ÷ size. Answers false and leaves `destination` untouched when B
    /// is 0 or fewer than B samples are queued. Called with the pin's group lock held.
    bool ExtractBlock(TZemRealBuffer& destination);

  private:
    TZemBufferQueue m_queue;
    bool m_started = false;
    double m_inputRate = 0.0;
    int32_t m_inputBlockLength = 0;
    uint32_t m_blockSamples = 0;
    bool m_stopped = false;
    bool m_ignoring = false;
    bool m_queryEnabled = true;
    std::atomic<bool> m_receivedData{false};
    /// Holds the samples of one block before resampling; never shared.
    TRef<TZemRealBuffer> m_scratch;
};

/// Base of components that take any number of real streams, align them in queues and produce
/// one output stream of fixed block length (`BufferSize` samples per output buffer).
///
/// Protocol: every input announces its stream with a `TVokStartSampleRateOperation`. The output
/// starts once every connected input has started or declined (its source answered a
/// `TVokQueryStreamOperation` with a `TVokIgnoreStreamOperation`); the output rate is the
/// largest input rate and each input contributes nearest(`BufferSize` × its rate ÷ output
/// rate) samples to a block, resampled by nearest neighbour to `BufferSize`. A block is made as
/// soon as every started input holds enough samples, and every complete block is made at once,
/// so an input that delivers more than a block per buffer does not pile up samples. The output
/// stops when no input is started any more.
///
/// Samples are queued only where they can be used: buffers at an input that has not started
/// are dropped, an input keeps only its newest buffer while the output waits for its start, and
/// a stopped input's queue is emptied.
///
/// Threads and locks: `m_lock` guards every field; the inputs and the output pin share its lock
/// group, so handlers run with it held (on the producer's thread) and `ProcessBlock` runs on
/// the thread whose buffer completed the set, sending downstream on that thread. The list of
/// inputs changes only under the global write lock (pin creation and removal).
///
/// Lock order of the stream query: negotiating the start, the component queries the sources of
/// inputs that have not started from inside the start's dispatch, so it holds its own group
/// while it takes the groups of that input's upstream chain, the reverse of the
/// source-before-sink order of dispatches. Send starts that can lead to a query under the global
/// write lock (as the generators do), where group locks are taken without waiting; under the
/// global read lock this is safe only while no other thread dispatches from those upstream
/// sources into this component.
///
/// Published property: `BufferSize` (integer, default 1024).
class TZemMultiInput : public TVokComponent {
  public:
    explicit TZemMultiInput(TVokComponent* owner);
    ~TZemMultiInput() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    /// Samples per output block. Takes the component's read lock.
    int32_t GetBufferSize() const;
    /// Under the component's write lock: stores a changed value and, while started, recomputes
    /// every input's block length (no new start is sent). Throws std::invalid_argument naming
    /// the component and the value outside 1 … kZemMaxBlockSamples.
    virtual void SetBufferSize(int32_t bufferSize);

    /// The inputs in list order (global read lock, or the component's lock, held by the caller).
    int GetInputCount() const { return static_cast<int>(m_inputs.size()); }
    TZemVokQueuedRealSinkPin* GetInput(int index) const {
        return m_inputs.at(static_cast<size_t>(index));
    }
    /// The output start has been sent and no stop since.
    bool IsStarted() const { return m_started; }
    /// The output rate negotiated at the start (samples per second).
    double GetOutputRate() const { return m_outputRate; }

    /// The output pin; abstract here.
    virtual TZemVokSourcePin* GetOutputPin() const = 0;

  protected:
    /// Everything that arrives at input `pin` (handler of every input, the pin's group held).
    virtual TVokNotifyResults ProcessInputOperation(TZemVokQueuedRealSinkPin& pin,
                                                    TVokNotifyOperation* operation);
    /// Everything that arrives at the output pin from downstream: passed up through every
    /// connected input; with no input connected a start is answered with a pump request and
    /// echoed down the output.
    virtual TVokNotifyResults ProcessOutputOperation(TVokNotifyOperation* operation);
    /// Whether a stop at one input ends that input's part (true).
    virtual bool StopsWithAnyInput() const { return true; }
    /// The output stream ends: clears the started state and the negotiated rates.
    virtual void StopOutput();
    /// Makes every block that all inputs can supply (bounded by what is queued on entry).
    virtual void TryProcess();
    /// Negotiates the output start, or recomputes the block lengths when already started.
    virtual void TryStart();
    /// Combines one block from the inputs and sends it; empty here.
    virtual void ProcessBlock() {}
    /// A new input: linked into the component's lock group, appended to the inputs and made a
    /// function dependency of the output pin. Global write lock held by the caller (pin lists
    /// call it from their create callback). The caller owns the pin.
    virtual TZemVokQueuedRealSinkPin* CreateInputPin();
    /// Forgets `pin` (it is about to be freed by its list). Global write lock held.
    virtual void RemoveInputPin(TZemVokQueuedRealSinkPin* pin);

    /// Binds `ProcessOutputOperation` as a pin handler (for the derived class's output pin).
    TZemPinHandler OutputHandler() {
        return TZemPinHandler::Of<&TZemMultiInput::HandleOutput>(this);
    }
    /// Readiness of `pin` to let the output start (may query its source).
    bool IsReadyToStart(TZemVokQueuedRealSinkPin& pin);
    /// Readiness of `pin` for the next block.
    bool IsReadyForBlock(const TZemVokQueuedRealSinkPin& pin) const;
    /// Sets every connected, started input's block length for the current output rate; marks
    /// the other inputs stopped.
    void ComputeBlockSamples();

    /// Declared before every pin, so that the pins go first. Guards all fields of this class
    /// and of its inputs (the pins share its lock group).
    TVokObject m_lock;
    int32_t m_bufferSize = 1024;
    /// Not owned (the derived class's pin list owns the pins).
    std::vector<TZemVokQueuedRealSinkPin*> m_inputs;
    bool m_started = false;
    bool m_pumpRequested = false;
    bool m_ratesKnown = false;
    /// Set while blocks are being made, so that a block fed back into an input does not nest.
    bool m_busy = false;
    double m_outputRate = 0.0;

  private:
    TVokNotifyResults HandleInput(TVokBasicPin* pin, const TVokGuid& typeId, TVokNotifyFlags flags,
                                  TVokNotifyOperation* operation);
    TVokNotifyResults HandleOutput(TVokBasicPin* pin, const TVokGuid& typeId, TVokNotifyFlags flags,
                                   TVokNotifyOperation* operation);
};

/// A multi-input component with one real output pin.
///
/// Published property: `OutputPin` (`TZemVokRealSourcePin`).
class TZemRealMultiInput : public TZemMultiInput {
  public:
    explicit TZemRealMultiInput(TVokComponent* owner);
    ~TZemRealMultiInput() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemVokRealSourcePin* GetRealOutputPin() const { return m_outputPin.get(); }
    TZemVokSourcePin* GetOutputPin() const override { return m_outputPin.get(); }

  protected:
    /// Clears the started state and sends a stop down the output pin.
    void StopOutput() override;

    TVokPinPtr<TZemVokRealSourcePin> m_outputPin;
};
