#include "capture/HoxCaptureGraph.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

uint16_t Load16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t Load32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
           (uint32_t{bytes[3]} << 24);
}

void Store16(uint8_t* bytes, uint32_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

void Store32(uint8_t* bytes, uint32_t value) {
    for (int index = 0; index < 4; ++index) {
        bytes[index] = static_cast<uint8_t>(value >> (8 * index));
    }
}

constexpr uint16_t kFormatTagPcm = 1;
constexpr uint16_t kFormatTagExtensible = 0xFFFE;

} // namespace

bool HoxStreamFormatOf(const THoxMediaType& mediaType, THoxStreamFormat& format) {
    if (mediaType.m_formatType != hftWaveFormatEx || mediaType.m_format.size() < 18) {
        return false;
    }
    const uint8_t* block = mediaType.m_format.data();
    const uint16_t tag = Load16(block);
    if (tag != kFormatTagPcm && tag != kFormatTagExtensible) {
        return false;
    }
    format.m_channels = Load16(block + 2);
    format.m_sampleRate = Load32(block + 4);
    format.m_containerBits = Load16(block + 14);
    return true;
}

// ---- capture filter --------------------------------------------------------------------------

THoxCaptureFilter::THoxCaptureFilter(std::shared_ptr<IHoxCaptureService> service,
                                     THoxCaptureDeviceDesc device)
    : m_service(std::move(service)), m_device(std::move(device)) {
}

THoxResult THoxCaptureFilter::SetFormat(const THoxMediaType& mediaType) {
    THoxStreamFormat format;
    if (!HoxStreamFormatOf(mediaType, format)) {
        return kHoxErrorInvalidFormat;
    }
    format.m_framesPerBuffer = m_suggestedFrames;
    const THoxResult result = m_service->CheckFormat(m_device.m_monikerName, format);
    if (result == kHoxOk) {
        m_format = format;
    }
    return result;
}

std::vector<THoxAudioCapability> THoxCaptureFilter::GetCapabilities() const {
    if (m_device.m_maxInputChannels == 0) {
        return {};
    }
    const uint32_t rate = static_cast<uint32_t>(std::lround(m_device.m_defaultSampleRate));
    const uint32_t channels = std::min<uint32_t>(m_device.m_maxInputChannels, 2);
    THoxAudioCapability capability;
    capability.m_mediaType.m_formatType = hftWaveFormatEx;
    capability.m_mediaType.m_format.assign(18, 0);
    uint8_t* block = capability.m_mediaType.m_format.data();
    Store16(block, kFormatTagPcm);
    Store16(block + 2, channels);
    Store32(block + 4, rate);
    Store32(block + 8, rate * channels * 2);
    Store16(block + 12, channels * 2);
    Store16(block + 14, 16);
    capability.m_limits = {1, m_device.m_maxInputChannels, 1, 8, 32, 8, rate, rate, 1};
    return {capability};
}

bool THoxCaptureFilter::SuggestAllocatorProperties(int32_t, int32_t bufferBytes, int32_t, int32_t) {
    if (bufferBytes <= 0 || !m_format.has_value() || m_format->GetBlockAlign() == 0) {
        return false;
    }
    m_suggestedFrames = static_cast<uint32_t>(bufferBytes) / m_format->GetBlockAlign();
    m_format->m_framesPerBuffer = m_suggestedFrames;
    return true;
}

// ---- sample grabber --------------------------------------------------------------------------

THoxResult THoxSampleGrabber::SetMediaType(const THoxMediaType& mediaType) {
    THoxStreamFormat format;
    if (!HoxStreamFormatOf(mediaType, format)) {
        return kHoxErrorInvalidFormat;
    }
    m_mediaType = mediaType;
    return kHoxOk;
}

THoxResult THoxSampleGrabber::GetConnectedMediaType(THoxMediaType& mediaType) const {
    if (!m_connected) {
        return kHoxErrorNotConnected;
    }
    mediaType = m_mediaType;
    return kHoxOk;
}

void THoxSampleGrabber::SetCallback(IHoxSampleGrabberCB* callback, int32_t method) {
    // Only the sample method is served; a buffer-method request leaves no callback.
    m_callback.store(method == 0 ? callback : nullptr, std::memory_order_release);
}

void THoxSampleGrabber::SampleArrived(const uint8_t* data, uint32_t length, int64_t startTime,
                                      int64_t stopTime) noexcept {
    IHoxSampleGrabberCB* callback = m_callback.load(std::memory_order_acquire);
    if (callback != nullptr) {
        const THoxMediaSample sample{data, length, startTime, stopTime};
        callback->SampleCB(static_cast<double>(startTime) / 1e7, sample);
    }
}

// ---- filter graph ----------------------------------------------------------------------------

THoxFilterGraph::THoxFilterGraph(std::shared_ptr<IHoxCaptureService> service)
    : m_service(std::move(service)) {
}

THoxFilterGraph::~THoxFilterGraph() {
    std::unique_ptr<IHoxCaptureStream> stream;
    {
        std::lock_guard<std::mutex> guard(m_streamMutex);
        stream = std::move(m_stream);
    }
    stream.reset();
}

THoxResult THoxFilterGraph::AddFilter(const std::shared_ptr<THoxFilter>& filter,
                                      const std::string& name) {
    if (filter == nullptr || Contains(filter.get())) {
        return kHoxErrorInvalidDevice;
    }
    filter->m_name = name;
    m_filters.push_back(filter);
    return kHoxOk;
}

bool THoxFilterGraph::RemoveFilter(THoxFilter* filter) {
    const auto found = std::find_if(m_filters.begin(), m_filters.end(),
                                    [filter](const auto& held) { return held.get() == filter; });
    if (found == m_filters.end()) {
        return false;
    }
    Disconnect(*filter);
    m_filters.erase(found);
    return true;
}

std::shared_ptr<THoxFilter> THoxFilterGraph::FindFilterByName(const std::string& name) const {
    for (const auto& filter : m_filters) {
        if (filter->GetName() == name) {
            return filter;
        }
    }
    return nullptr;
}

bool THoxFilterGraph::Contains(const THoxFilter* filter) const {
    return std::any_of(m_filters.begin(), m_filters.end(),
                       [filter](const auto& held) { return held.get() == filter; });
}

THoxResult THoxFilterGraph::Connect(THoxCaptureFilter& capture, THoxSampleGrabber& grabber) {
    if (!Contains(&capture) || !Contains(&grabber)) {
        return kHoxErrorNotConnected;
    }
    Disconnect(capture);
    Disconnect(grabber);
    THoxStreamFormat format;
    if (capture.GetFormat().has_value()) {
        format = *capture.GetFormat();
    } else if (!HoxStreamFormatOf(grabber.GetMediaType(), format)) {
        return kHoxErrorInvalidFormat;
    }
    format.m_framesPerBuffer = capture.GetSuggestedFrames();
    std::unique_ptr<IHoxCaptureStream> stream;
    const THoxResult result =
        m_service->OpenStream(capture.GetDevice().m_monikerName, format, grabber, *this, stream);
    if (result != kHoxOk) {
        return result;
    }
    {
        std::lock_guard<std::mutex> guard(m_streamMutex);
        m_stream = std::move(stream);
    }
    m_source = &capture;
    m_sink = &grabber;
    grabber.m_connected = true;
    return kHoxOk;
}

void THoxFilterGraph::Disconnect(THoxFilter& filter) {
    if (&filter != m_source && &filter != m_sink) {
        return;
    }
    std::unique_ptr<IHoxCaptureStream> stream;
    {
        std::lock_guard<std::mutex> guard(m_streamMutex);
        stream = std::move(m_stream);
    }
    // Destroyed outside the lock: closing waits for the stream's threads.
    stream.reset();
    if (m_sink != nullptr) {
        m_sink->m_connected = false;
    }
    m_source = nullptr;
    m_sink = nullptr;
}

THoxFilter* THoxFilterGraph::ConnectedTo(const THoxFilter& filter) const {
    if (&filter == m_source) {
        return m_sink;
    }
    if (&filter == m_sink) {
        return m_source;
    }
    return nullptr;
}

THoxResult THoxFilterGraph::Run() {
    return m_stream != nullptr ? m_stream->Start() : kHoxOk;
}

THoxResult THoxFilterGraph::Stop() {
    return m_stream != nullptr ? m_stream->Stop() : kHoxOk;
}

bool THoxFilterGraph::IsRunning() const {
    return m_stream != nullptr && m_stream->IsRunning();
}

void THoxFilterGraph::SetNotifyWindow(TVokMessagePoster poster, uint32_t message) {
    std::lock_guard<std::mutex> guard(m_eventMutex);
    m_poster = std::move(poster);
    m_message = message;
}

void THoxFilterGraph::SetNotifyFlags(int32_t flags) {
    std::lock_guard<std::mutex> guard(m_eventMutex);
    m_notifyFlags = flags;
}

bool THoxFilterGraph::GetEvent(int32_t& code, intptr_t& param1, intptr_t& param2) {
    std::lock_guard<std::mutex> guard(m_eventMutex);
    if (m_events.empty()) {
        return false;
    }
    const TEvent event = m_events.front();
    m_events.pop_front();
    code = event.m_code;
    param1 = event.m_param1;
    param2 = event.m_param2;
    return true;
}

void THoxFilterGraph::QueueEvent(int32_t code, intptr_t param1, intptr_t param2) {
    TVokMessagePoster poster;
    uint32_t message = 0;
    {
        std::lock_guard<std::mutex> guard(m_eventMutex);
        m_events.push_back(TEvent{code, param1, param2});
        if (m_notifyFlags != 0) {
            return;
        }
        poster = m_poster;
        message = m_message;
    }
    poster.Post(message);
}

uint64_t THoxFilterGraph::GetOverflowCount() const {
    std::lock_guard<std::mutex> guard(m_streamMutex);
    return m_stream != nullptr ? m_stream->GetOverflowCount() : 0;
}

uint64_t THoxFilterGraph::GetFramesCaptured() const {
    std::lock_guard<std::mutex> guard(m_streamMutex);
    return m_stream != nullptr ? m_stream->GetFramesCaptured() : 0;
}

void THoxFilterGraph::StreamLost() noexcept {
    QueueEvent(kHoxEventDeviceLost, 0, 0);
}

// ---- builder ---------------------------------------------------------------------------------

THoxResult THoxCaptureGraphBuilder::SetFiltergraph(std::shared_ptr<THoxFilterGraph> graph) {
    m_graph = std::move(graph);
    return m_graph != nullptr ? kHoxOk : kHoxErrorNotConnected;
}

bool THoxCaptureGraphBuilder::FindBufferNegotiation(const THoxCaptureFilter* capture) const {
    return capture != nullptr;
}

THoxResult THoxCaptureGraphBuilder::RenderStream(THoxCaptureFilter& capture,
                                                 THoxSampleGrabber& grabber) {
    if (m_graph == nullptr) {
        return kHoxErrorNotConnected;
    }
    return m_graph->Connect(capture, grabber);
}
