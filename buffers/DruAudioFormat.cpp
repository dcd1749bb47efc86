#include "buffers/DruAudioFormat.h"

#include <algorithm>

using detail::LoadLittleEndian16;
using detail::LoadLittleEndian32;
using detail::StoreLittleEndian16;
using detail::StoreLittleEndian32;

namespace {

constexpr uint32_t kMinChannels = 1;
constexpr uint32_t kMaxChannels = 32;
constexpr uint32_t kMinBits = 8;
constexpr uint32_t kMaxBits = 32;

} // namespace

// ---- speakers and the record ---------------------------------------------------------------

const std::vector<std::string>& DruSpeakerNames() {
    static const std::vector<std::string> names = {
        "spFrontLeft",     "spFrontRight",     "spFrontCenter",       "spSubwoofer",
        "spBackLeft",      "spBackRight",      "spFrontLeftOfCenter", "spFrontRightOfCenter",
        "spBackCenter",    "spSideLeft",       "spSideRight",         "spTopCenter",
        "spTopFrontLeft",  "spTopFrontCenter", "spTopFrontRight",     "spTopBackLeft",
        "spTopBackCenter", "spTopBackRight",
    };
    return names;
}

void DruStoreWaveFormat(const TDruWaveFormat& format, uint8_t* record) noexcept {
    StoreLittleEndian16(record + offsetof(TDruWaveFormat, m_formatTag), format.m_formatTag);
    StoreLittleEndian16(record + offsetof(TDruWaveFormat, m_channels), format.m_channels);
    StoreLittleEndian32(record + offsetof(TDruWaveFormat, m_samplesPerSecond),
                        format.m_samplesPerSecond);
    StoreLittleEndian32(record + offsetof(TDruWaveFormat, m_averageBytesPerSecond),
                        format.m_averageBytesPerSecond);
    StoreLittleEndian16(record + offsetof(TDruWaveFormat, m_blockAlign), format.m_blockAlign);
    StoreLittleEndian16(record + offsetof(TDruWaveFormat, m_bitsPerSample), format.m_bitsPerSample);
    StoreLittleEndian16(record + offsetof(TDruWaveFormat, m_extraSize), format.m_extraSize);
    StoreLittleEndian16(record + offsetof(TDruWaveFormat, m_validBitsPerSample),
                        format.m_validBitsPerSample);
    StoreLittleEndian32(record + offsetof(TDruWaveFormat, m_channelMask), format.m_channelMask);
    uint8_t* guid = record + offsetof(TDruWaveFormat, m_subFormat);
    StoreLittleEndian32(guid, format.m_subFormat.m_data1);
    StoreLittleEndian16(guid + 4, format.m_subFormat.m_data2);
    StoreLittleEndian16(guid + 6, format.m_subFormat.m_data3);
    std::copy(std::begin(format.m_subFormat.m_data4), std::end(format.m_subFormat.m_data4),
              guid + 8);
}

TDruWaveFormat DruLoadWaveFormat(const uint8_t* record) noexcept {
    TDruWaveFormat format;
    format.m_formatTag = LoadLittleEndian16(record + offsetof(TDruWaveFormat, m_formatTag));
    format.m_channels = LoadLittleEndian16(record + offsetof(TDruWaveFormat, m_channels));
    format.m_samplesPerSecond =
        LoadLittleEndian32(record + offsetof(TDruWaveFormat, m_samplesPerSecond));
    format.m_averageBytesPerSecond =
        LoadLittleEndian32(record + offsetof(TDruWaveFormat, m_averageBytesPerSecond));
    format.m_blockAlign = LoadLittleEndian16(record + offsetof(TDruWaveFormat, m_blockAlign));
    format.m_bitsPerSample = LoadLittleEndian16(record + offsetof(TDruWaveFormat, m_bitsPerSample));
    format.m_extraSize = LoadLittleEndian16(record + offsetof(TDruWaveFormat, m_extraSize));
    format.m_validBitsPerSample =
        LoadLittleEndian16(record + offsetof(TDruWaveFormat, m_validBitsPerSample));
    format.m_channelMask = LoadLittleEndian32(record + offsetof(TDruWaveFormat, m_channelMask));
    const uint8_t* guid = record + offsetof(TDruWaveFormat, m_subFormat);
    format.m_subFormat.m_data1 = LoadLittleEndian32(guid);
    format.m_subFormat.m_data2 = LoadLittleEndian16(guid + 4);
    format.m_subFormat.m_data3 = LoadLittleEndian16(guid + 6);
    std::copy(guid + 8, guid + 16, std::begin(format.m_subFormat.m_data4));
    return format;
}

TDruWaveFormat DruMakeWaveFormat(uint32_t samplesPerSecond, uint32_t channelMask, uint32_t channels,
                                 uint32_t validBits) noexcept {
    const uint32_t containerBits = DruContainerBits(validBits);
    const uint32_t blockAlign = containerBits / 8 * channels;
    TDruWaveFormat format;
    format.m_channels = static_cast<uint16_t>(channels);
    format.m_samplesPerSecond = samplesPerSecond;
    format.m_blockAlign = static_cast<uint16_t>(blockAlign);
    format.m_averageBytesPerSecond = format.m_blockAlign * samplesPerSecond;
    format.m_bitsPerSample = static_cast<uint16_t>(containerBits);
    format.m_validBitsPerSample = static_cast<uint16_t>(validBits);
    format.m_channelMask = channelMask;
    return format;
}

// ---- TDruAudioFormatBasic ------------------------------------------------------------------

TDruAudioFormatBasic::TDruAudioFormatBasic(TVokObject* owner, TDruFormatChangeEvent onFormatChange)
    : m_owner(owner), m_channels(2), m_bits(16),
      m_sampleRate(11025), m_channelMask{spFrontLeft, spFrontRight} {
    // Nobody else can see the object yet: no lock, and the callback comes last (see header).
    UpdateRecord();
    m_onFormatChange = std::move(onFormatChange);
}

const TVokClassInfo& TDruAudioFormatBasic::ClassInfo() {
    using T = TDruAudioFormatBasic;
    static const TVokClassInfo info(
        "TDruAudioFormatBasic", nullptr, nullptr,
        {
            TVokProp::Integer("SampleRate", &T::GetSampleRate, &T::SetSampleRate, 11025),
            TVokProp::Integer("Channels", &T::GetChannels, &T::SetChannels, 2),
            TVokProp::Integer("Bits", &T::GetBits, &T::SetBits, 16),
            TVokProp::Set("ChannelMask", DruSpeakerNames(), &T::GetChannelMask, &T::SetChannelMask,
                          TDruSpeakers{spFrontLeft, spFrontRight}),
        });
    return info;
}

TVokLockSection TDruAudioFormatBasic::LockOwner() {
    if (m_owner == nullptr) {
        return TVokLockSection();
    }
    return TVokWriteLockSection(*m_owner);
}

void TDruAudioFormatBasic::NotifyChange() {
    if (m_onFormatChange) {
        m_onFormatChange(*this);
    }
}

void TDruAudioFormatBasic::UpdateRecord() {
    m_record =
        DruMakeWaveFormat(m_sampleRate, DruSpeakersToMask(m_channelMask), m_channels, m_bits);
    DruStoreWaveFormat(m_record, m_recordBytes);
}

void TDruAudioFormatBasic::SetChannels(uint32_t channels) {
    TVokLockSection section = LockOwner();
    channels = std::clamp(channels, kMinChannels, kMaxChannels);
    if (channels == m_channels) {
        return;
    }
    m_channels = channels;
    UpdateRecord();
    NotifyChange();
}

void TDruAudioFormatBasic::SetBits(uint32_t bits) {
    TVokLockSection section = LockOwner();
    bits = std::clamp(bits, kMinBits, kMaxBits);
    if (bits == m_bits) {
        return;
    }
    m_bits = bits;
    UpdateRecord();
    NotifyChange();
}

void TDruAudioFormatBasic::SetSampleRate(uint32_t sampleRate) {
    TVokLockSection section = LockOwner();
    m_sampleRate = sampleRate;
    UpdateRecord();
    NotifyChange();
}

void TDruAudioFormatBasic::SetChannelMask(TDruSpeakers channelMask) {
    TVokLockSection section = LockOwner();
    m_channelMask = channelMask;
    UpdateRecord();
    NotifyChange();
}

void TDruAudioFormatBasic::Assign(const TVokPersistent* source) {
    const auto* format = dynamic_cast<const TDruAudioFormatBasic*>(source);
    if (format == nullptr) {
        TVokPersistent::Assign(source);
        return;
    }
    if (format == this) {
        return;
    }
    // One section around all setters (they nest): a reader never sees half a new format.
    TVokLockSection section = LockOwner();
    SetChannels(format->GetChannels());
    SetBits(format->GetBits());
    SetSampleRate(format->GetSampleRate());
    SetChannelMask(format->GetChannelMask());
}

// ---- TDruAudioFormat -----------------------------------------------------------------------

TDruAudioFormat::TDruAudioFormat(TVokObject* owner, TDruFormatChangeEvent onFormatChange)
    : TDruAudioFormatBasic(owner, std::move(onFormatChange)) {
}

const TVokClassInfo& TDruAudioFormat::ClassInfo() {
    using T = TDruAudioFormat;
    static const TVokClassInfo info(
        "TDruAudioFormat", &TDruAudioFormatBasic::ClassInfo(), nullptr,
        {
            TVokProp::Integer("BufferSize", &T::GetBufferSize, &T::SetBufferSize, 1024),
        });
    return info;
}

void TDruAudioFormat::SetBufferSize(uint32_t bufferSize) {
    TVokLockSection section = LockOwner();
    bufferSize = std::max(bufferSize, uint32_t{1});
    if (bufferSize == m_bufferSize) {
        return;
    }
    m_bufferSize = bufferSize;
    NotifyChange();
}

void TDruAudioFormat::Assign(const TVokPersistent* source) {
    TVokLockSection section = LockOwner();
    TDruAudioFormatBasic::Assign(source);
    const auto* format = dynamic_cast<const TDruAudioFormat*>(source);
    if (format != nullptr && format != this) {
        SetBufferSize(format->GetBufferSize());
    }
}
