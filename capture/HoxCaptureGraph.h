#pragma once

#include "capture/HoxCaptureService.h"
#include "platform/VokMessageWindow.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

/// The capture graph as the capture services offer it: a graph of named filters (a capture
/// filter bound to a device, a sample grabber), a builder that connects the capture filter to
/// the grabber (which opens a capture stream of the grabber's exact format), the graph's media
/// control (run and stop the stream) and its event queue (a stream that ends on its own
/// becomes event `kHoxEventDeviceLost`, announced by posting a message to a window).
///
/// Threads: everything here is used on the thread that owns the capture component (the GUI
/// thread), except the sample path (stream thread → grabber → grabber callback) and
/// `THoxFilterGraph::StreamLost` (a service thread), which only touch what their comments say.

/// Graph event codes.
inline constexpr int32_t kHoxEventErrorAbort = 3;
inline constexpr int32_t kHoxEventStarvation = 23;
inline constexpr int32_t kHoxEventDeviceLost = 31;
/// The message a graph posts to its notification window when events are waiting.
inline constexpr uint32_t kHoxGraphNotifyMessage = 1025;

/// Format block kinds of a media type.
enum THoxFormatType : uint8_t {
    hftNone,        ///< no format block
    hftWaveFormatEx ///< a wave format record: 18 bytes, or the 40-byte extensible record
};

/// What a connection carries: always audio, PCM, fixed-size samples, with a wave format block.
struct THoxMediaType {
    bool m_majorAudio = true;
    bool m_subtypePcm = true;
    bool m_fixedSizeSamples = true;
    bool m_temporalCompression = false;
    uint32_t m_sampleSize = 1;
    THoxFormatType m_formatType = hftNone;
    /// The format block: 18 bytes (format tag, channels, samples per second, average bytes per
    /// second, block alignment, bits per sample, extra size; little-endian), or 18 + extra size.
    std::vector<uint8_t> m_format;
};

/// The stream format a wave-format-ex media type describes (channels, container bits, sample
/// rate); false when the type has no such block or the block is shorter than 18 bytes.
bool HoxStreamFormatOf(const THoxMediaType& mediaType, THoxStreamFormat& format);

/// One captured block as the grabber hands it on: valid only during the call.
struct THoxMediaSample {
    const uint8_t* m_data = nullptr;
    uint32_t m_length = 0;
    /// 100-nanosecond units of stream time.
    int64_t m_startTime = 0;
    int64_t m_stopTime = 0;
};

/// Receives the samples of a grabber, on the stream's thread (see `IHoxSampleSink`).
class IHoxSampleGrabberCB {
  public:
    /// `sampleTime` in seconds of stream time. The answer is ignored.
    virtual int32_t SampleCB(double sampleTime, const THoxMediaSample& sample) noexcept = 0;
    /// Buffer-copy delivery; not used by this system.
    virtual int32_t BufferCB(double sampleTime, const uint8_t* buffer, int32_t length) = 0;

  protected:
    ~IHoxSampleGrabberCB() = default;
};

/// A filter of a graph: a name, given when it is added.
class THoxFilter {
  public:
    virtual ~THoxFilter() = default;
    const std::string& GetName() const { return m_name; }

  private:
    friend class THoxFilterGraph;
    std::string m_name;
};

/// One format capability of a capture filter: a media type and nine limits (minimum, maximum
/// and granularity of channels, bits per sample and sample frequency, in that order).
struct THoxAudioCapability {
    THoxMediaType m_mediaType;
    std::array<uint32_t, 9> m_limits{};
};

/// A capture device bound as a filter. Its stream configuration takes the capture format
/// (checked with the device at once); its buffer negotiation takes the block size.
class THoxCaptureFilter final : public THoxFilter {
  public:
    THoxCaptureFilter(std::shared_ptr<IHoxCaptureService> service, THoxCaptureDeviceDesc device);

    const THoxCaptureDeviceDesc& GetDevice() const { return m_device; }
    IHoxCaptureService& GetService() const { return *m_service; }

    /// Sets the capture format from a wave-format-ex media type: the device must capture
    /// exactly that format. Answers the device's verdict; nothing is kept on failure.
    THoxResult SetFormat(const THoxMediaType& mediaType);
    /// The format set last, if any.
    const std::optional<THoxStreamFormat>& GetFormat() const { return m_format; }
    /// The formats the device offers (its default rate, 16 bits, up to its channel count).
    std::vector<THoxAudioCapability> GetCapabilities() const;

    /// Buffer negotiation: `bufferBytes` per block (−1: no request), in bytes of the current
    /// format; answers whether the request was taken.
    bool SuggestAllocatorProperties(int32_t buffers, int32_t bufferBytes, int32_t alignment,
                                    int32_t prefix);
    /// Frames per block requested (0: the device chooses).
    uint32_t GetSuggestedFrames() const { return m_suggestedFrames; }

  private:
    std::shared_ptr<IHoxCaptureService> m_service;
    THoxCaptureDeviceDesc m_device;
    std::optional<THoxStreamFormat> m_format;
    uint32_t m_suggestedFrames = 0;
};

/// The sample grabber: the end of the capture connection. Passes every block to its callback.
class THoxSampleGrabber final : public THoxFilter, public IHoxSampleSink {
  public:
    /// The type the grabber accepts; refused without a wave-format-ex block.
    THoxResult SetMediaType(const THoxMediaType& mediaType);
    const THoxMediaType& GetMediaType() const { return m_mediaType; }
    /// The type of the connection while connected; `kHoxErrorNotConnected` otherwise.
    THoxResult GetConnectedMediaType(THoxMediaType& mediaType) const;
    bool IsConnected() const { return m_connected; }

    void SetBufferSamples(bool bufferSamples) { m_bufferSamples = bufferSamples; }
    void SetOneShot(bool oneShot) { m_oneShot = oneShot; }
    /// The callback (not owned; null: none) and its method (0: `SampleCB`, 1: `BufferCB`).
    /// Set before the stream runs; read by the stream's thread.
    void SetCallback(IHoxSampleGrabberCB* callback, int32_t method);

    /// Stream thread: hands the block to the callback's `SampleCB`.
    void SampleArrived(const uint8_t* data, uint32_t length, int64_t startTime,
                       int64_t stopTime) noexcept override;

  private:
    friend class THoxFilterGraph;
    THoxMediaType m_mediaType;
    bool m_connected = false;
    bool m_bufferSamples = false;
    bool m_oneShot = false;
    std::atomic<IHoxSampleGrabberCB*> m_callback{nullptr};
};

/// A filter graph with its media control and its event queue.
class THoxFilterGraph final : public IHoxStreamListener {
  public:
    explicit THoxFilterGraph(std::shared_ptr<IHoxCaptureService> service);
    /// Closes the capture stream first.
    ~THoxFilterGraph();
    THoxFilterGraph(const THoxFilterGraph&) = delete;
    THoxFilterGraph& operator=(const THoxFilterGraph&) = delete;

    IHoxCaptureService& GetService() const { return *m_service; }
    std::shared_ptr<IHoxCaptureService> GetServicePtr() const { return m_service; }

    /// Adds `filter` under `name` (an empty name is allowed; a filter can be added once).
    THoxResult AddFilter(const std::shared_ptr<THoxFilter>& filter, const std::string& name);
    /// Removes `filter` (disconnecting it first); false when it is not in the graph.
    bool RemoveFilter(THoxFilter* filter);
    /// The filter named `name`, or null.
    std::shared_ptr<THoxFilter> FindFilterByName(const std::string& name) const;
    bool Contains(const THoxFilter* filter) const;

    /// Connects the capture filter's output to the grabber: opens a capture stream of the
    /// capture filter's format (the grabber's when the filter has none) with its block size.
    /// Both filters must be in the graph.
    THoxResult Connect(THoxCaptureFilter& capture, THoxSampleGrabber& grabber);
    /// Breaks the connection `filter` takes part in (closing the stream); nothing otherwise.
    void Disconnect(THoxFilter& filter);
    /// The filter `filter`'s output is connected to, or null.
    THoxFilter* ConnectedTo(const THoxFilter& filter) const;

    // Media control.
    /// Starts the stream (success without one). Restarting a running stream does nothing.
    THoxResult Run();
    /// Stops the stream (success when none runs).
    THoxResult Stop();
    bool IsRunning() const;

    // Events.
    /// Events are announced by posting `message` through `poster` (an empty poster: none).
    void SetNotifyWindow(TVokMessagePoster poster, uint32_t message);
    /// 0: announce events; any other value: queue them silently.
    void SetNotifyFlags(int32_t flags);
    /// Takes the oldest queued event (time-out 0); false when none is queued.
    bool GetEvent(int32_t& code, intptr_t& param1, intptr_t& param2);
    /// Queues an event and announces it. Any thread.
    void QueueEvent(int32_t code, intptr_t param1, intptr_t param2);

    /// Overflow count and frames of the current stream (0 without one). Any thread.
    uint64_t GetOverflowCount() const;
    uint64_t GetFramesCaptured() const;

    /// A service thread: the running stream ended on its own → event `kHoxEventDeviceLost`.
    void StreamLost() noexcept override;

  private:
    struct TEvent {
        int32_t m_code;
        intptr_t m_param1;
        intptr_t m_param2;
    };

    const std::shared_ptr<IHoxCaptureService> m_service;
    std::vector<std::shared_ptr<THoxFilter>> m_filters;
    /// The connection: capture filter → grabber, and its stream.
    THoxCaptureFilter* m_source = nullptr;
    THoxSampleGrabber* m_sink = nullptr;
    /// Read by other threads only through the counters, which the owner thread never changes
    /// while they read (the stream is replaced only on the owner thread, under m_streamMutex).
    std::unique_ptr<IHoxCaptureStream> m_stream;
    mutable std::mutex m_streamMutex;

    /// Guards the event queue and the notification settings.
    mutable std::mutex m_eventMutex;
    std::deque<TEvent> m_events;
    TVokMessagePoster m_poster;
    uint32_t m_message = 0;
    int32_t m_notifyFlags = 0;
};

/// Builds the capture connection of a graph.
class THoxCaptureGraphBuilder {
  public:
    /// The graph to build in (null: none).
    THoxResult SetFiltergraph(std::shared_ptr<THoxFilterGraph> graph);
    const std::shared_ptr<THoxFilterGraph>& GetFiltergraph() const { return m_graph; }
    /// Whether the capture filter's output takes a block-size request (every one does).
    bool FindBufferNegotiation(const THoxCaptureFilter* capture) const;
    /// Renders the capture filter's audio output to the grabber; both must be in the graph.
    THoxResult RenderStream(THoxCaptureFilter& capture, THoxSampleGrabber& grabber);

  private:
    std::shared_ptr<THoxFilterGraph> m_graph;
};
