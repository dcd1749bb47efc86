#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pins/VokGuid.h"
#include "pins/VokObject.h"
#include "pins/VokPersistent.h"
#include "pins/VokProperties.h"
#include "pins/VokSet.h"

/// The audio format: the 40-byte extensible wave format record that every audio buffer and
/// every start-of-audio-stream operation carries, the speaker set of its channel mask, and the
/// format objects through which audio-producing components publish their output format.

// ---- speakers ------------------------------------------------------------------------------

/// Speaker positions in channel-mask bit order: speaker k is bit k of a channel mask. Channel i
/// of an interleaved frame belongs to the i-th set bit of the mask, counting from bit 0.
enum TDruSpeaker : uint8_t {
    spFrontLeft,
    spFrontRight,
    spFrontCenter,
    spSubwoofer,
    spBackLeft,
    spBackRight,
    spFrontLeftOfCenter,
    spFrontRightOfCenter,
    spBackCenter,
    spSideLeft,
    spSideRight,
    spTopCenter,
    spTopFrontLeft,
    spTopFrontCenter,
    spTopFrontRight,
    spTopBackLeft,
    spTopBackCenter,
    spTopBackRight,
};

/// A set of speakers; as a channel mask, speaker k is bit k.
using TDruSpeakers = TVokSet<TDruSpeaker>;

/// Number of speaker positions (bits 0 … 17 of a channel mask).
inline constexpr uint32_t kDruSpeakerCount = 18;
/// The channel-mask bits that name speakers.
inline constexpr uint32_t kDruSpeakerBits = (uint32_t{1} << kDruSpeakerCount) - 1;

/// The speakers' names in bit order ("spFrontLeft", …, "spTopBackRight").
const std::vector<std::string>& DruSpeakerNames();

/// The channel mask of a speaker set.
constexpr uint32_t DruSpeakersToMask(TDruSpeakers speakers) {
    return static_cast<uint32_t>(speakers.ToBits()) & kDruSpeakerBits;
}
/// The speakers named by a channel mask; bits above the speaker positions are dropped.
constexpr TDruSpeakers DruMaskToSpeakers(uint32_t mask) {
    return TDruSpeakers::FromBits(mask & kDruSpeakerBits);
}

// ---- the format record ---------------------------------------------------------------------

/// Byte size of the format record.
inline constexpr uint32_t kDruFormatRecordSize = 40;
/// Format tag of the extensible record.
inline constexpr uint16_t kDruFormatTagExtensible = 0xFFFE;
/// Bytes of the record after its first 18 (the extension).
inline constexpr uint16_t kDruFormatExtraSize = 22;
/// Sub-format of integer PCM samples.
inline constexpr TVokGuid kDruSubFormatPcm =
    TVokGuid::Parse("{00000001-0000-0010-8000-00AA00389B71}");

/// The format record with its fields decoded. In memory (in a buffer's block, in a start
/// operation, in `TDruAudioFormatBasic::GetFormatRecord`) the record is always the 40-byte
/// little-endian image written by `DruStoreWaveFormat`; this struct is only its decoded form,
/// laid out like the image so that the offsets below document it.
struct TDruWaveFormat {
    uint16_t m_formatTag = kDruFormatTagExtensible;
    uint16_t m_channels = 0;
    /// Frames per second.
    uint32_t m_samplesPerSecond = 0;
    /// Samples per second × block align.
    uint32_t m_averageBytesPerSecond = 0;
    /// Bytes per frame: channels × container bits ÷ 8.
    uint16_t m_blockAlign = 0;
    /// Container bits: the valid bits rounded up to a multiple of 8.
    uint16_t m_bitsPerSample = 0;
    uint16_t m_extraSize = kDruFormatExtraSize;
    uint16_t m_validBitsPerSample = 0;
    uint32_t m_channelMask = 0;
    TVokGuid m_subFormat = kDruSubFormatPcm;

    friend bool operator==(const TDruWaveFormat&, const TDruWaveFormat&) = default;
};

static_assert(sizeof(TVokGuid) == 16);
static_assert(sizeof(TDruWaveFormat) == kDruFormatRecordSize, "the record has no padding");
static_assert(offsetof(TDruWaveFormat, m_formatTag) == 0);
static_assert(offsetof(TDruWaveFormat, m_channels) == 2);
static_assert(offsetof(TDruWaveFormat, m_samplesPerSecond) == 4);
static_assert(offsetof(TDruWaveFormat, m_averageBytesPerSecond) == 8);
static_assert(offsetof(TDruWaveFormat, m_blockAlign) == 12);
static_assert(offsetof(TDruWaveFormat, m_bitsPerSample) == 14);
static_assert(offsetof(TDruWaveFormat, m_extraSize) == 16);
static_assert(offsetof(TDruWaveFormat, m_validBitsPerSample) == 18);
static_assert(offsetof(TDruWaveFormat, m_channelMask) == 20);
static_assert(offsetof(TDruWaveFormat, m_subFormat) == 24);

/// Little-endian loads and stores at any byte address, independent of the host's byte order.
namespace detail {
inline uint16_t LoadLittleEndian16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}
inline uint32_t LoadLittleEndian32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
           (uint32_t{bytes[3]} << 24);
}
inline void StoreLittleEndian16(uint8_t* bytes, uint16_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}
inline void StoreLittleEndian32(uint8_t* bytes, uint32_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
    bytes[2] = static_cast<uint8_t>(value >> 16);
    bytes[3] = static_cast<uint8_t>(value >> 24);
}
} // namespace detail

/// Writes `format` as the 40-byte little-endian record at `record` (any alignment). The GUID
/// is stored as its first field (32-bit), second and third (16-bit each), little-endian, then
/// its eight last bytes in order.
void DruStoreWaveFormat(const TDruWaveFormat& format, uint8_t* record) noexcept;
/// Decodes the 40-byte little-endian record at `record` (any alignment), field by field as it
/// stands (nothing is checked or corrected).
TDruWaveFormat DruLoadWaveFormat(const uint8_t* record) noexcept;

/// Container bits of `validBits`: the value itself when a multiple of 8, else the next
/// multiple of 8 above it (12 → 16, 20 → 24).
constexpr uint32_t DruContainerBits(uint32_t validBits) {
    return validBits % 8 == 0 ? validBits : (validBits / 8 + 1) * 8;
}

/// The record of a PCM format: tag 0xFFFE, extra size 22, PCM sub-format, container bits from
/// `validBits`, block align = container bits ÷ 8 × channels, average bytes per second = block
/// align × samples per second. Fields are narrowed to their widths; the format objects keep
/// channels within 1 … 32 and bits within 8 … 32, where everything fits.
TDruWaveFormat DruMakeWaveFormat(uint32_t samplesPerSecond, uint32_t channelMask, uint32_t channels,
                                 uint32_t validBits) noexcept;

// ---- format objects ------------------------------------------------------------------------

class TDruAudioFormatBasic;

/// Called after every change of a format object, with the object.
using TDruFormatChangeEvent = std::function<void(TDruAudioFormatBasic& format)>;

/// The audio format an audio-producing component publishes: channels, valid bits, sample rate
/// and channel mask, kept together with the 40-byte record they describe.
///
/// Locking and threads: every setter takes a write lock section on the owner (the component's
/// `TVokObject`; none when the owner is null), applies its rule, rewrites the record and calls
/// `OnFormatChange` while still holding the lock. So a processing thread that holds the
/// component's read or write lock sees a stable format; getters take no lock and must be called
/// under the owner's lock or on the thread that sets the format.
///
/// Ownership: the owner and the format object belong to the same component, which destroys
/// the format before its lock object.
///
/// Published properties: `Channels` (default 2), `Bits` (16), `SampleRate` (11025),
/// `ChannelMask` ([spFrontLeft, spFrontRight]).
class TDruAudioFormatBasic : public TVokPersistent, public IVokPublished {
  public:
    /// The record starts as tag 0xFFFE, extra size 22, PCM, and takes the defaults 2 channels,
    /// 16 bits, 11025 samples per second and mask [spFrontLeft, spFrontRight] by the setters'
    /// rules. `onFormatChange` (may be empty) is installed only afterwards: the owner is still
    /// being built and hears of no change until its constructor is done.
    TDruAudioFormatBasic(TVokObject* owner, TDruFormatChangeEvent onFormatChange);

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    uint32_t GetChannels() const noexcept { return m_channels; }
    /// 0 becomes 1, above 32 becomes 32; nothing happens when that equals the current value.
    void SetChannels(uint32_t channels);
    /// Valid bits per sample.
    uint32_t GetBits() const noexcept { return m_bits; }
    /// Below 8 becomes 8, above 32 becomes 32; nothing happens when that equals the current
    /// value.
    void SetBits(uint32_t bits);
    uint32_t GetSampleRate() const noexcept { return m_sampleRate; }
    /// Stored as given (no range check); always notifies.
    void SetSampleRate(uint32_t sampleRate);
    TDruSpeakers GetChannelMask() const noexcept { return m_channelMask; }
    /// Stored as given; always notifies.
    void SetChannelMask(TDruSpeakers channelMask);

    /// Container bits (valid bits rounded up to a multiple of 8).
    uint32_t GetContainerBits() const noexcept { return m_record.m_bitsPerSample; }
    /// Bytes per frame.
    uint32_t GetBlockAlign() const noexcept { return m_record.m_blockAlign; }
    /// The decoded record.
    const TDruWaveFormat& GetWaveFormat() const noexcept { return m_record; }
    /// Address of the 40-byte little-endian record, valid as long as this object; components
    /// copy it into their start-of-stream operations. Changes with every setter.
    const uint8_t* GetFormatRecord() const noexcept { return m_recordBytes; }

    TVokObject* GetOwner() const noexcept { return m_owner; }
    const TDruFormatChangeEvent& GetOnFormatChange() const noexcept { return m_onFormatChange; }

    /// Takes the settings of another format object through the setters (each one notifies by
    /// its rule), all inside one write lock section on the owner; anything else is refused as
    /// by `TVokPersistent`.
    void Assign(const TVokPersistent* source) override;

  protected:
    /// A write lock section on the owner, or an empty section when there is no owner.
    TVokLockSection LockOwner();
    /// Calls `OnFormatChange` (if assigned) with this object.
    void NotifyChange();

  private:
    /// Rewrites the record (decoded and image) from the fields.
    void UpdateRecord();

    TVokObject* m_owner;
    TDruFormatChangeEvent m_onFormatChange;
    uint32_t m_channels = 0;
    uint32_t m_bits = 0;
    uint32_t m_sampleRate = 0;
    TDruSpeakers m_channelMask;
    TDruWaveFormat m_record;
    alignas(4) uint8_t m_recordBytes[kDruFormatRecordSize] = {};
};

/// A format object that also names the number of frames per produced buffer.
///
/// Published properties: those of `TDruAudioFormatBasic`, and `BufferSize` (default 1024).
class TDruAudioFormat : public TDruAudioFormatBasic {
  public:
    /// As the base; the buffer size starts at 1024.
    TDruAudioFormat(TVokObject* owner, TDruFormatChangeEvent onFormatChange);

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    /// Frames per produced buffer.
    uint32_t GetBufferSize() const noexcept { return m_bufferSize; }
    /// 0 becomes 1; nothing happens when that equals the current value. Notifies but leaves
    /// the record alone.
    void SetBufferSize(uint32_t bufferSize);

    /// As the base, and the buffer size when `source` is a `TDruAudioFormat` too.
    void Assign(const TVokPersistent* source) override;

  private:
    uint32_t m_bufferSize = 1024;
};
