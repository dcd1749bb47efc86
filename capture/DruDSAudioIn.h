#pragma once

#include "buffers/DruAudioFormat.h"
#include "buffers/ZemVokStreamPins.h"
#include "capture/DSCaptureDevice.h"
#include "capture/DSGraphProperty.h"
#include "capture/HoxCaptureGraph.h"
#include "capture/HoxDSBufferQueue.h"
#include "pins/VokComponent.h"
#include "pins/VokObject.h"
#include "pins/VokPin.h"
#include "pins/VokStandardPins.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

/// One format capability reported by the capture device: a 40-byte format record (layout of
/// DruAudioFormat.h) and nine limits: minimum, maximum and granularity of channels, of bits per
/// sample and of sample frequency, in that order.
struct TDruAudioModeFormat {
    std::array<uint8_t, kDruFormatRecordSize> m_format{};
    std::array<uint32_t, 9> m_limits{};
};

/// The capture device's format capabilities, recorded while the graph is connected. Nothing
/// in the component reads them; they are offered to application code.
class TDruAudioModes {
  public:
    /// Replaces the list by `capture`'s capabilities (cleared when null).
    void Fill(const THoxCaptureFilter* capture);
    void Clear() { m_modes.clear(); }
    int GetCount() const { return static_cast<int>(m_modes.size()); }
    const TDruAudioModeFormat& Get(int index) const {
        return m_modes.at(static_cast<size_t>(index));
    }

  private:
    std::vector<TDruAudioModeFormat> m_modes;
};

/// Live audio capture: the source of captured audio in the processing graph.
///
/// The component owns a device selection (`AudioCaptureDevice`), a capture graph (`Graph`) and
/// the format it demands (`AudioFormat`). Starting builds the graph when there is none (the
/// capture device connected to a sample grabber with exactly `AudioFormat`, blocks of
/// `AudioFormat.BufferSize` frames requested), announces the connected format on `OutputPin` as
/// a wave start with the rate samples per second ÷ `BufferSize`, and runs it. Every captured
/// block becomes one `TDruAudioBuffer` holding its whole frames (a trailing partial frame is
/// dropped), stamped with the block's start and stop times, sent on `OutputPin`; the first
/// buffer of each start is followed by one resume operation. Stopping sends a stop operation;
/// aborting (the device was lost or failed) stops the graph without one.
///
/// Threads:
/// - GUI thread: `Start`, `Stop`, `Enabled`, property setters, `Loaded`, graph events (through
///   the graph's window), device and format changes, destruction.
/// - The capture stream's thread: only the sample handler (copy the block into the queue,
///   signal the delivery thread); it takes no pin lock.
/// - The delivery thread (`TZemNotifyThread`, highest priority): `DeliverBlocks`, and through
///   `SendBuffer` the whole downstream graph.
///
/// Locks: the component's lock object `m_lock` and `OutputPin` form one lock group.
/// `StopCapture`, `AbortCapture`, `DeliverBlocks` and the release of the graph hold a write
/// lock section on it throughout, so a batch being delivered finishes before a stop begins and
/// no buffer follows the stop operation. At most 11 blocks are delivered per wake, which bounds
/// how long the delivery thread holds the group.
///
/// Errors: every capture failure goes through `Graph`'s error report (`OnError`, then
/// `EDSException` unless handled). A failure while building tears the graph down and leaves the
/// component not prepared; when no handler handled it, the `EDSException` then reaches the
/// caller of `Start`, `Enabled` or `Loaded`.
///
/// Published properties, in order: `Enabled` (default true), `AudioFormat`,
/// `AudioCaptureDevice`, `Graph`, `OutputPin`, `EnablePin`.
class TDruDSAudioIn : public TVokComponent {
  public:
    /// At most this many blocks are delivered per wake of the delivery thread.
    static constexpr int kMaxBlocksPerWake = 11;
    /// The name of the grabber in the graph.
    static constexpr const char* kGrabberName = "HoxDS_AudioGrabber";

    explicit TDruDSAudioIn(TVokComponent* owner);
    ~TDruDSAudioIn() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    /// At design time the stored value; at run time whether the component is capturing.
    bool GetEnabled() const;
    /// At design time or while loading: stores the value and shows it on `EnablePin`. At run
    /// time true runs `StartCapture` (also while capturing) and false `StopCapture`.
    void SetEnabled(bool enabled);
    /// When not capturing, `StartCapture`.
    void Start();
    /// When capturing, `StopCapture`.
    void Stop();
    /// At run time, starts capturing when the stored `Enabled` is true.
    void Loaded() override;

    TDruAudioFormat* GetAudioFormat() const { return m_audioFormat.get(); }
    /// Copies the settings of `format`; throws std::invalid_argument for null.
    void SetAudioFormat(TDruAudioFormat* format);
    TDSAudioCaptureDevice* GetAudioCaptureDevice() const { return m_device.get(); }
    /// Copies the selection of `device`; throws std::invalid_argument for null.
    void SetAudioCaptureDevice(TDSAudioCaptureDevice* device);
    TDSGraph* GetGraph() const { return m_graph.get(); }
    /// Copies the settings of `graph`; throws std::invalid_argument for null.
    void SetGraph(TDSGraph* graph);
    TDruVokAudioSourcePin* GetOutputPin() const { return m_outputPin.get(); }
    TVokBoolStatePin* GetEnablePin() const { return m_enablePin.get(); }

    // ---- capture -----------------------------------------------------------------------------

    /// Clears the queue, prepares the graph (building it when needed), announces the connected
    /// format and runs the graph. GUI thread.
    void StartCapture();
    /// Stops the graph, clears the queue and sends a stop operation; nothing when not capturing.
    /// "Can't stop capture." leaves everything as it was. Holds the component's write lock.
    void StopCapture();
    /// Stops the graph without a stop operation and without clearing the queue (graph events
    /// 3 and 31, destruction). Holds the component's write lock.
    void AbortCapture();
    /// Tears the graph down and releases it; the next start builds a new one.
    void CloseGraph();
    /// The delivery thread's callback: turns up to `kMaxBlocksPerWake` queued blocks into audio
    /// buffers and sends them. Holds the component's write lock.
    void DeliverBlocks();

    bool IsPrepared() const { return m_prepared; }
    bool IsConnected() const { return m_connected; }
    /// The connected format announced at the last start (40-byte record).
    const std::array<uint8_t, kDruFormatRecordSize>& GetConnectedFormat() const {
        return m_connectedFormat;
    }
    const TDruAudioModes& GetModes() const { return *m_modes; }
    const TDSSwitches& GetInputSources() const { return *m_sources; }
    THoxDSBufferQueue& GetBufferQueue() const { return *m_queue; }
    /// The delivery thread, or null at design time.
    TZemNotifyThread* GetNotifyThread() const { return m_notifyThread.get(); }
    /// Blocks the capture stream reported as overflowed, in total for the current graph.
    uint64_t GetOverflowCount() const;
    /// Graph builds so far (for tests of reuse).
    uint64_t GetBuildCount() const { return m_buildCount; }

  private:
    /// Builds (steps up to the capture filter) and connects the graph; prepared afterwards
    /// when that and the media control succeeded.
    void PrepareGraph();
    /// Creates the builder and the filter graph and adds the capture filter. The result is not
    /// examined by the caller.
    bool BuildGraph();
    /// Connects the capture filter to the grabber (once per graph), sets up event notification,
    /// collects the input sources and raises `OnGraphBuilt`.
    bool ConnectGraph();
    /// The connection itself: grabber, formats, block size, rendering, grabber settings.
    void ConnectCaptureFilter();
    /// Announces the grabber's connected format on `OutputPin`.
    void AnnounceStream();
    /// Runs the graph; reports "Can't start capture." on failure.
    void RunGraph();
    /// Stops the graph, removes what is downstream of the capture filter, forgets sources and
    /// modes; the graph counts as not connected.
    void TearDownGraph();
    /// Releases every platform reference of the component.
    void ReleaseReferences();
    /// Reports a failure and ends the step it happened in (see the .cpp).
    [[noreturn]] void FailConnection(const char* message, THoxResult code);

    /// The stream's thread: copies the block into the queue and wakes the delivery thread.
    void SampleArrived(const THoxMediaSample& sample);
    TVokNotifyResults ProcessOutputOperation(TVokBasicPin* pin, const TVokGuid& typeId,
                                             TVokNotifyFlags flags, TVokNotifyOperation* operation);
    void GraphEvent(int32_t code, intptr_t param1, intptr_t param2);
    void DeviceChanged();
    void FormatChanged();

    /// The component's lock object. Guards the flags, the references and the connected format
    /// below (with `OutputPin`'s group); declared first so that it is destroyed last.
    TVokObject m_lock;
    std::unique_ptr<TDSGraph> m_graph;
    bool m_storedEnabled = true;
    std::unique_ptr<TDSSwitches> m_sources;
    std::unique_ptr<TDSAudioCaptureDevice> m_device;
    std::unique_ptr<THoxDSBufferQueue> m_queue;
    TVokPinPtr<TDruVokAudioSourcePin> m_outputPin;
    TVokPinPtr<TVokBoolStatePin> m_enablePin;
    std::unique_ptr<TDruAudioFormat> m_audioFormat;
    std::unique_ptr<TDruAudioModes> m_modes;
    /// Run time only.
    std::unique_ptr<THoxDSSampleGrabberCB> m_grabberCallback;
    std::unique_ptr<TZemNotifyThread> m_notifyThread;

    // References to the current graph's platform objects.
    std::shared_ptr<THoxCaptureGraphBuilder> m_builder;
    std::shared_ptr<THoxCaptureFilter> m_captureFilter;
    bool m_bufferNegotiation = false;
    std::shared_ptr<THoxSampleGrabber> m_grabber;
    std::optional<THoxCaptureDeviceDesc> m_moniker;
    std::shared_ptr<THoxFilterGraph> m_mediaControl;

    bool m_prepared = false;
    bool m_connected = false;
    std::atomic<bool> m_capturing{false};
    bool m_firstBufferSent = false;
    std::array<uint8_t, kDruFormatRecordSize> m_connectedFormat{};
    /// An unhandled build error, raised to the caller once the graph is torn down.
    std::exception_ptr m_buildError;
    uint64_t m_buildCount = 0;
};
