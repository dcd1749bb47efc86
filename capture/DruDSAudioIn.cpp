#include "capture/DruDSAudioIn.h"

#include "buffers/DruAudioBuffer.h"
#include "buffers/ZemVokOperations.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

/// Ends a connection step after its failure was reported (and handled: an unhandled one is
/// already on its way as `EDSException`), so that a failing build reports once.
struct THoxConnectionFailed {};

constexpr uint16_t kFormatTagPcm = 1;

uint16_t Load16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t Load32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
           (uint32_t{bytes[3]} << 24);
}

/// (1 << channels) − 1, for any channel count.
uint32_t MaskOfChannelCount(uint32_t channels) {
    return channels >= 32 ? 0xFFFFFFFFu : (uint32_t{1} << channels) - 1;
}

/// The extensible record completed from the first 18 bytes of a plain wave format block.
void CompleteFormatRecord(const uint8_t* block, uint8_t* record) {
    TDruWaveFormat format;
    format.m_formatTag = kDruFormatTagExtensible;
    format.m_channels = Load16(block + 2);
    format.m_samplesPerSecond = Load32(block + 4);
    format.m_averageBytesPerSecond = Load32(block + 8);
    format.m_blockAlign = Load16(block + 12);
    format.m_bitsPerSample = Load16(block + 14);
    format.m_extraSize = kDruFormatExtraSize;
    format.m_validBitsPerSample = format.m_bitsPerSample;
    format.m_channelMask = MaskOfChannelCount(format.m_channels);
    format.m_subFormat = kDruSubFormatPcm;
    DruStoreWaveFormat(format, record);
}

/// The grabber's media type for the demanded format: the whole extensible record for more than
/// two channels or more than 16 bits, otherwise its first 18 bytes as plain PCM.
THoxMediaType MakeMediaType(const TDruAudioFormat& audioFormat) {
    THoxMediaType mediaType;
    mediaType.m_majorAudio = true;
    mediaType.m_subtypePcm = true;
    mediaType.m_fixedSizeSamples = true;
    mediaType.m_temporalCompression = false;
    mediaType.m_sampleSize = 1;
    mediaType.m_formatType = hftWaveFormatEx;
    const uint8_t* record = audioFormat.GetFormatRecord();
    if (audioFormat.GetChannels() > 2 || audioFormat.GetBits() > 16) {
        const uint32_t size = std::min<uint32_t>(18u + Load16(record + 16), kDruFormatRecordSize);
        mediaType.m_format.assign(record, record + size);
    } else {
        mediaType.m_format.assign(record, record + 18);
        mediaType.m_format[0] = static_cast<uint8_t>(kFormatTagPcm);
        mediaType.m_format[1] = 0;
        mediaType.m_format[16] = 0;
        mediaType.m_format[17] = 0;
    }
    return mediaType;
}

} // namespace

// ---- modes -----------------------------------------------------------------------------------

void TDruAudioModes::Fill(const THoxCaptureFilter* capture) {
    m_modes.clear();
    if (capture == nullptr) {
        return;
    }
    for (const THoxAudioCapability& capability : capture->GetCapabilities()) {
        const THoxMediaType& type = capability.m_mediaType;
        if (type.m_formatType != hftWaveFormatEx || type.m_format.size() < 18) {
            continue;
        }
        TDruAudioModeFormat mode;
        const uint16_t tag = Load16(type.m_format.data());
        if (tag == kDruFormatTagExtensible && type.m_format.size() >= kDruFormatRecordSize) {
            std::copy_n(type.m_format.begin(), kDruFormatRecordSize, mode.m_format.begin());
        } else if (tag == kFormatTagPcm) {
            CompleteFormatRecord(type.m_format.data(), mode.m_format.data());
        }
        mode.m_limits = capability.m_limits;
        m_modes.push_back(mode);
    }
}

// ---- creation and destruction ------------------------------------------------------------------

TDruDSAudioIn::TDruDSAudioIn(TVokComponent* owner) : TVokComponent(owner) {
    const bool designing = owner != nullptr && owner->IsDesigning();
    m_graph = std::make_unique<TDSGraph>(this, &m_lock,
                                         [this](int32_t code, intptr_t param1, intptr_t param2) {
                                             GraphEvent(code, param1, param2);
                                         });
    m_storedEnabled = true;
    m_sources = std::make_unique<TDSSwitches>();
    m_device =
        std::make_unique<TDSAudioCaptureDevice>(&m_lock, [this](TDSDevice&) { DeviceChanged(); });
    m_queue = std::make_unique<THoxDSBufferQueue>();
    m_outputPin = MakePin<TDruVokAudioSourcePin>(
        this, TZemPinHandler::Of<&TDruDSAudioIn::ProcessOutputOperation>(this));
    m_enablePin = MakePin<TVokBoolStatePin>(
        this, 0, [this](TVokBoolStatePin&, bool value) { SetEnabled(value); });
    TVokObject::LinkObjects(&m_lock, m_outputPin.get());
    TVokObject::LinkObjects(&m_lock, m_enablePin.get());
    {
        TVokWriteLockSection section(m_lock);
        ReleaseReferences();
    }
    m_audioFormat = std::make_unique<TDruAudioFormat>(
        &m_lock, [this](TDruAudioFormatBasic&) { FormatChanged(); });
    m_modes = std::make_unique<TDruAudioModes>();
    if (!designing) {
        m_grabberCallback = std::make_unique<THoxDSSampleGrabberCB>(
            [this](const THoxMediaSample& sample) { SampleArrived(sample); });
        m_notifyThread = std::make_unique<TZemNotifyThread>([this] { DeliverBlocks(); });
    }
}

TDruDSAudioIn::~TDruDSAudioIn() {
    try {
        AbortCapture();
    } catch (...) {
        // Destruction goes on: the graph is torn down below whatever the stop answered.
    }
    if (m_notifyThread != nullptr) {
        m_notifyThread->Stop();
    }
    {
        TVokWriteLockSection section(m_lock);
        try {
            TearDownGraph();
        } catch (...) {
        }
        ReleaseReferences();
        m_graph->ReleaseFilterGraph();
    }
    m_notifyThread.reset();
    m_grabberCallback.reset();
    m_enablePin.reset();
    m_outputPin.reset();
    m_queue.reset();
    m_sources.reset();
    m_device.reset();
    m_modes.reset();
    m_graph.reset();
    m_audioFormat.reset();
}

const TVokClassInfo& TDruDSAudioIn::ClassInfo() {
    using T = TDruDSAudioIn;
    static const TVokClassInfo info(
        "TDruDSAudioIn", &TVokComponent::ClassInfo(), TVokClassInfo::FactoryOf<T>,
        {
            TVokProp::Bool("Enabled", &T::GetEnabled, &T::SetEnabled, true),
            TVokProp::Object("AudioFormat", &T::GetAudioFormat, &T::SetAudioFormat),
            TVokProp::Object("AudioCaptureDevice", &T::GetAudioCaptureDevice,
                             &T::SetAudioCaptureDevice),
            TVokProp::Object("Graph", &T::GetGraph, &T::SetGraph),
            TVokProp::Object("OutputPin", &T::GetOutputPin),
            TVokProp::Object("EnablePin", &T::GetEnablePin),
        });
    return info;
}

// ---- properties
// ----------------------------------------------------------------------------------

bool TDruDSAudioIn::GetEnabled() const {
    return IsDesigning() ? m_storedEnabled : m_capturing.load(std::memory_order_acquire);
}

void TDruDSAudioIn::SetEnabled(bool enabled) {
    if (IsDesigning() || IsLoading()) {
        m_storedEnabled = enabled;
        m_enablePin->SetValue(enabled);
        return;
    }
    if (enabled) {
        StartCapture();
    } else {
        StopCapture();
    }
}

void TDruDSAudioIn::Start() {
    if (!m_capturing.load(std::memory_order_acquire)) {
        StartCapture();
    }
}

void TDruDSAudioIn::Stop() {
    if (m_capturing.load(std::memory_order_acquire)) {
        StopCapture();
    }
}

void TDruDSAudioIn::Loaded() {
    TVokComponent::Loaded();
    if (!IsDesigning() && m_storedEnabled) {
        StartCapture();
    }
}

void TDruDSAudioIn::SetAudioFormat(TDruAudioFormat* format) {
    if (format == nullptr) {
        throw std::invalid_argument(GetName() + ": AudioFormat cannot be set to nothing");
    }
    m_audioFormat->Assign(format);
}

void TDruDSAudioIn::SetAudioCaptureDevice(TDSAudioCaptureDevice* device) {
    if (device == nullptr) {
        throw std::invalid_argument(GetName() + ": AudioCaptureDevice cannot be set to nothing");
    }
    m_device->Assign(device);
}

void TDruDSAudioIn::SetGraph(TDSGraph* graph) {
    if (graph == nullptr) {
        throw std::invalid_argument(GetName() + ": Graph cannot be set to nothing");
    }
    m_graph->Assign(graph);
}

uint64_t TDruDSAudioIn::GetOverflowCount() const {
    return m_graph->GetOverflowCount();
}

// ---- building
// --------------------------------------------------------------------------------------

void TDruDSAudioIn::PrepareGraph() {
    if (m_prepared) {
        return;
    }
    m_buildError = nullptr;
    m_moniker = m_device->ResolveMoniker();
    std::optional<THoxCaptureDeviceDesc> moniker = m_moniker;
    BuildGraph();
    if (m_moniker != moniker) {
        // The build released the references (a failure); the device stays resolved.
        m_moniker = moniker;
    }
    if (ConnectGraph()) {
        m_mediaControl = m_graph->GetFilterGraph();
        m_prepared = m_mediaControl != nullptr;
    }
}

bool TDruDSAudioIn::BuildGraph() {
    // 1. Nothing of an earlier graph survives a new build.
    const std::optional<THoxCaptureDeviceDesc> moniker = m_moniker;
    ReleaseReferences();
    m_graph->ReleaseFilterGraph();
    m_moniker = moniker;
    ++m_buildCount;
    // 2. The builder; its failure reaches the caller.
    if (m_builder == nullptr) {
        try {
            m_builder = std::make_shared<THoxCaptureGraphBuilder>();
        } catch (const std::bad_alloc&) {
            m_graph->ReportError(kDSErrorBuildGraphBuilder, kHoxErrorNoMemory);
            return false;
        }
    }
    try {
        // 3. The filter graph.
        THoxResult result = m_graph->CreateFilterGraph();
        if (result != kHoxOk) {
            m_graph->ReportError(kDSErrorBuildGraph, result);
            return false;
        }
        // 4. Additional filters.
        m_graph->AddAdditionalFilters();
        // 5. The builder works on the filter graph.
        result = m_builder->SetFiltergraph(m_graph->GetFilterGraph());
        if (result != kHoxOk) {
            m_graph->ReportError(kDSErrorBuildGraphBuilder, result);
            return false;
        }
        // 6. No device: a graph without capture filter.
        if (!m_moniker.has_value()) {
            return true;
        }
        // 7. The capture filter.
        THoxFilterGraph& filterGraph = *m_graph->GetFilterGraph();
        if (m_moniker->m_maxInputChannels > 0) {
            m_captureFilter =
                std::make_shared<THoxCaptureFilter>(filterGraph.GetServicePtr(), *m_moniker);
        }
        if (m_captureFilter == nullptr) {
            m_graph->ReportError(kDSErrorCreateCaptureFilter, kHoxErrorInvalidDevice);
            return false;
        }
        m_bufferNegotiation = m_builder->FindBufferNegotiation(m_captureFilter.get());
        result = filterGraph.AddFilter(m_captureFilter, "");
        if (result != kHoxOk) {
            m_captureFilter.reset();
            m_bufferNegotiation = false;
            m_graph->ReportError(kDSErrorAddCaptureFilter, result);
            return false;
        }
        return true;
    } catch (const EDSException&) {
        m_buildError = std::current_exception();
        ReleaseReferences();
        m_graph->ReleaseFilterGraph();
        return false;
    }
}

bool TDruDSAudioIn::ConnectGraph() {
    if (m_graph->GetFilterGraph() == nullptr) {
        return false;
    }
    if (!m_connected) {
        try {
            // 8. Activation (registration).
            m_graph->Activate();
            if (m_captureFilter != nullptr) {
                ConnectCaptureFilter();
            }
            // 16. Event notification.
            m_graph->SetUpEventNotification();
            m_connected = true;
        } catch (const EDSException&) {
            m_buildError = std::current_exception();
            TearDownGraph();
            return false;
        } catch (const THoxConnectionFailed&) {
            TearDownGraph();
            return false;
        }
    }
    // 17. Input sources, then the event.
    m_sources->Collect(m_captureFilter.get());
    m_graph->RaiseGraphBuilt();
    return true;
}

void TDruDSAudioIn::FailConnection(const char* message, THoxResult code) {
    m_graph->ReportError(message, code);
    throw THoxConnectionFailed{};
}

void TDruDSAudioIn::ConnectCaptureFilter() {
    THoxFilterGraph& filterGraph = *m_graph->GetFilterGraph();
    // 9. The grabber.
    std::shared_ptr<THoxFilter> filter = filterGraph.FindFilterByName(kGrabberName);
    if (filter == nullptr) {
        auto grabber = std::make_shared<THoxSampleGrabber>();
        const THoxResult result = filterGraph.AddFilter(grabber, kGrabberName);
        if (result != kHoxOk) {
            FailConnection(kDSErrorSetGrabber, result);
        }
        filter = grabber;
    }
    m_grabber = std::dynamic_pointer_cast<THoxSampleGrabber>(filter);
    if (m_grabber == nullptr) {
        FailConnection(kDSErrorSetGrabber, kHoxErrorInvalidDevice);
    }
    // 10. The grabber takes exactly the demanded format.
    THoxMediaType mediaType;
    try {
        mediaType = MakeMediaType(*m_audioFormat);
    } catch (const std::bad_alloc&) {
        FailConnection(kDSErrorSetGrabberFormat, kHoxErrorNoMemory);
    }
    THoxResult result = m_grabber->SetMediaType(mediaType);
    if (result != kHoxOk) {
        FailConnection(kDSErrorSetGrabberFormat, result);
    }
    // 11. The device's capabilities.
    m_modes->Fill(m_captureFilter.get());
    // 12. The device captures exactly that format, or the build fails.
    result = m_captureFilter->SetFormat(mediaType);
    if (result != kHoxOk) {
        FailConnection(kDSErrorSetFormat, result);
    }
    // 13. The block size.
    if (m_bufferNegotiation) {
        const uint64_t bytes =
            uint64_t{m_audioFormat->GetBlockAlign()} * m_audioFormat->GetBufferSize();
        m_captureFilter->SuggestAllocatorProperties(
            -1,
            static_cast<int32_t>(std::min<uint64_t>(bytes, std::numeric_limits<int32_t>::max())),
            -1, -1);
    }
    // 14. The connection: the capture stream is opened here.
    result = m_builder->RenderStream(*m_captureFilter, *m_grabber);
    if (result != kHoxOk) {
        FailConnection(kDSErrorSetGrabber, result);
    }
    // 15. Grabber settings.
    m_grabber->SetBufferSamples(false);
    m_grabber->SetOneShot(false);
    m_grabber->SetCallback(m_grabberCallback.get(), 0);
}

void TDruDSAudioIn::TearDownGraph() {
    StopCapture();
    m_graph->Deactivate();
    m_sources->Clear();
    m_modes->Clear();
    m_grabber.reset();
    if (m_captureFilter != nullptr) {
        m_graph->RemoveDownstream(*m_captureFilter);
    }
    m_connected = false;
}

void TDruDSAudioIn::ReleaseReferences() {
    m_builder.reset();
    m_captureFilter.reset();
    m_bufferNegotiation = false;
    m_grabber.reset();
    m_moniker.reset();
    m_mediaControl.reset();
}

void TDruDSAudioIn::CloseGraph() {
    if (m_prepared) {
        TearDownGraph();
    }
    {
        TVokWriteLockSection section(m_lock);
        ReleaseReferences();
        m_graph->ReleaseFilterGraph();
    }
    m_device->ClearCurrent();
    m_prepared = false;
    m_connected = false;
}

// ---- running
// -----------------------------------------------------------------------------------------

void TDruDSAudioIn::StartCapture() {
    // Held throughout, so the delivery thread never sees the flags and the connected format
    // change under it (it holds the same group while it delivers).
    TVokWriteLockSection section(m_lock);
    m_queue->Clear();
    PrepareGraph();
    if (!m_prepared) {
        if (m_buildError != nullptr) {
            std::rethrow_exception(std::exchange(m_buildError, nullptr));
        }
        return;
    }
    m_firstBufferSent = false;
    // The grabber (created when a graph without device has none yet).
    const std::shared_ptr<THoxFilterGraph>& filterGraph = m_graph->GetFilterGraph();
    std::shared_ptr<THoxFilter> filter = filterGraph->FindFilterByName(kGrabberName);
    if (filter == nullptr) {
        auto grabber = std::make_shared<THoxSampleGrabber>();
        const THoxResult result = filterGraph->AddFilter(grabber, kGrabberName);
        if (result != kHoxOk) {
            m_graph->ReportError(kDSErrorSetGrabber, result);
        } else {
            filter = grabber;
        }
    }
    if (filter != nullptr) {
        m_grabber = std::dynamic_pointer_cast<THoxSampleGrabber>(filter);
        if (m_grabber == nullptr) {
            m_graph->ReportError(kDSErrorSetGrabber, kHoxErrorInvalidDevice);
        }
    }
    AnnounceStream();
    RunGraph();
}

void TDruDSAudioIn::AnnounceStream() {
    if (m_grabber == nullptr) {
        return;
    }
    THoxMediaType mediaType;
    if (m_grabber->GetConnectedMediaType(mediaType) != kHoxOk ||
        mediaType.m_formatType != hftWaveFormatEx || mediaType.m_format.size() < 18) {
        return;
    }
    const uint8_t* block = mediaType.m_format.data();
    if (Load16(block) == kDruFormatTagExtensible && mediaType.m_format.size() >= 40) {
        std::copy_n(block, kDruFormatRecordSize, m_connectedFormat.begin());
    } else {
        CompleteFormatRecord(block, m_connectedFormat.data());
    }
    const double samplesPerSecond = Load32(m_connectedFormat.data() + 4);
    const auto rate = static_cast<float>(samplesPerSecond / m_audioFormat->GetBufferSize());
    const TRef<TVokStartWaveOperation> start =
        MakeRef<TVokStartWaveOperation>(m_connectedFormat.data(), rate);
    m_outputPin->Notify(start.Get());
}

void TDruDSAudioIn::RunGraph() {
    if (m_graph->GetFilterGraph() != nullptr && m_capturing.load(std::memory_order_acquire)) {
        return;
    }
    if (!ConnectGraph()) {
        return;
    }
    if (m_mediaControl != nullptr) {
        const THoxResult result = m_mediaControl->Run();
        if (result != kHoxOk) {
            m_mediaControl->Stop();
            m_graph->ReportError(kDSErrorStartCapture, result);
            return;
        }
        m_capturing.store(true, std::memory_order_release);
    } else {
        m_graph->ReportError(kDSErrorStartCapture, 0);
    }
}

void TDruDSAudioIn::StopCapture() {
    TVokWriteLockSection section(m_lock);
    if (!m_capturing.load(std::memory_order_acquire)) {
        return;
    }
    if (const std::shared_ptr<THoxFilterGraph> filterGraph = m_graph->GetFilterGraph()) {
        const THoxResult result = filterGraph->Stop();
        if (result != kHoxOk) {
            m_graph->ReportError(kDSErrorStopCapture, result);
            return;
        }
    }
    m_queue->Clear();
    m_outputPin->SendStop();
    m_capturing.store(false, std::memory_order_release);
}

void TDruDSAudioIn::AbortCapture() {
    TVokWriteLockSection section(m_lock);
    if (!m_capturing.load(std::memory_order_acquire)) {
        return;
    }
    if (m_graph->GetFilterGraph() != nullptr) {
        if (m_mediaControl != nullptr) {
            const THoxResult result = m_mediaControl->Stop();
            if (result != kHoxOk) {
                m_graph->ReportError(kDSErrorStopCapture, result);
                return;
            }
            m_capturing.store(false, std::memory_order_release);
        }
    } else {
        m_capturing.store(false, std::memory_order_release);
    }
}

// ---- delivery
// ------------------------------------------------------------------------------------------

void TDruDSAudioIn::SampleArrived(const THoxMediaSample& sample) {
    m_queue->Enqueue(sample.m_startTime, sample.m_stopTime, sample.m_data, sample.m_length);
    if (m_notifyThread != nullptr) {
        m_notifyThread->Signal();
    }
}

void TDruDSAudioIn::DeliverBlocks() {
    TVokWriteLockSection section(m_lock);
    const TDruWaveFormat format = DruLoadWaveFormat(m_connectedFormat.data());
    for (int count = 0; count < kMaxBlocksPerWake; ++count) {
        THoxDSQueueEntry* entry = m_queue->Dequeue();
        if (entry == nullptr) {
            break;
        }
        // Whole frames only; without a connected format there is nothing to deliver.
        const uint32_t frames =
            format.m_blockAlign == 0 ? 0 : entry->m_dataLength / format.m_blockAlign;
        if (frames == 0) {
            THoxDSBufferQueue::FreeEntry(entry);
            continue;
        }
        TRef<TDruAudioBuffer> buffer;
        try {
            buffer =
                MakeRef<TDruAudioBuffer>(format.m_samplesPerSecond, format.m_channelMask, frames,
                                         format.m_channels, format.m_validBitsPerSample);
        } catch (const std::exception&) {
            THoxDSBufferQueue::FreeEntry(entry);
            continue;
        }
        const uint32_t bytes =
            std::min(frames * uint32_t{format.m_blockAlign}, buffer->GetByteSize());
        std::memcpy(buffer->GetWritePointer(), entry->GetData(), bytes);
        TTavTimeStamp* stamp = buffer->GetTimeStamp();
        stamp->SetTimeValid(true);
        stamp->SetStartTime(entry->m_startTime);
        stamp->SetStopTime(entry->m_stopTime);
        THoxDSBufferQueue::FreeEntry(entry);
        m_outputPin->SendBuffer(TRef<IZemDataBuffer>(buffer.Get()));
        if (!m_firstBufferSent) {
            m_firstBufferSent = true;
            const TRef<TVokZemResumeOperation> resume = MakeRef<TVokZemResumeOperation>();
            m_outputPin->Notify(resume.Get());
        }
    }
}

// ---- callbacks
// -------------------------------------------------------------------------------------------

TVokNotifyResults TDruDSAudioIn::ProcessOutputOperation(TVokBasicPin*, const TVokGuid&,
                                                        TVokNotifyFlags,
                                                        TVokNotifyOperation* operation) {
    if (OperationAs<TVokStartSampleRateOperation>(operation) == nullptr &&
        OperationAs<TVokStopOperation>(operation) != nullptr) {
        StopCapture();
    }
    return {};
}

void TDruDSAudioIn::GraphEvent(int32_t code, intptr_t, intptr_t) {
    if (code == kHoxEventErrorAbort || code == kHoxEventDeviceLost) {
        AbortCapture();
    }
}

void TDruDSAudioIn::DeviceChanged() {
    Stop();
    CloseGraph();
}

void TDruDSAudioIn::FormatChanged() {
    if (!m_capturing.load(std::memory_order_acquire)) {
        CloseGraph();
    }
}
