#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "buffers/DruAudioFormat.h"
#include "buffers/ZemInternalStore.h"
#include "buffers/ZemSimpleDataBuffer.h"

/// Media and audio buffers.
///
/// An audio buffer is a copy-on-write buffer (see ZemSimpleDataBuffer.h for sharing, threads
/// and ownership) whose pooled block starts with the 40-byte format record, followed by the
/// interleaved integer PCM frames: frame f, channel c starts at byte f × block align +
/// c × container bits ÷ 8 of the sample area. Samples are 8-bit unsigned with the zero level at
/// 127, 16-bit signed, 24-bit signed in three bytes (low byte first) or 32-bit signed, all
/// little-endian. The storage also carries a time stamp, which travels into detached copies.
///
/// The header is written only when a storage is created, so every holder of a storage may read
/// it without a lock. A buffer's cached format (channels, widths, block align, mask) is taken
/// from its header by `StorageChanged`.
///
/// Bad headers and sizes: a buffer whose sample bytes are not a whole number of frames, or
/// whose record is inconsistent (a block align too small for its channels, valid bits wider
/// than the container), never makes any operation read or write outside its sample area:
/// every channel is processed only over the frames whose sample lies completely inside it.
/// Channel and frame indices outside the buffer raise `ERangeError`; nothing else raises.

class TTavMediaBuffer;
class TDruAudioBuffer;
class TDruAudioDataBufferAccess;

/// Storage with a time stamp: a valid flag and start and stop times (in the producer's units).
/// The times are guarded by the storage lock; the valid flag is written without it (it is
/// atomic, so readers on other threads see either value).
class TTavSmartMediaBuffer : public TZemSmartBuffer {
  public:
    TTavSmartMediaBuffer() = default;

    /// A new media storage (counts 0) with the same time stamp.
    std::unique_ptr<TZemSmartBuffer> CloneStorage(bool copyContents) override;

    bool GetTimeValid() const noexcept { return m_timeValid.load(std::memory_order_relaxed) != 0; }
    void SetTimeValid(bool valid) noexcept {
        m_timeValid.store(valid ? 1 : 0, std::memory_order_relaxed);
    }
    /// Read and written under the storage lock.
    int64_t GetStartTime();
    void SetStartTime(int64_t time);
    int64_t GetStopTime();
    void SetStopTime(int64_t time);

    /// Copies the time stamp into `destination` (both locks are taken in turn, never together).
    void CopyTimeStampTo(TTavSmartMediaBuffer& destination);

  private:
    std::atomic<uint8_t> m_timeValid{0};
    /// Guarded by m_lock.
    int64_t m_startTime = 0;
    int64_t m_stopTime = 0;
};

/// Audio storage: one pooled block of `RoundAllocationSize(byteSize)` bytes holding the format
/// record and the samples. The storage object itself lives in a pooled block of its exact
/// object size, like every storage.
class TDruSmartAudioBuffer : public TTavSmartMediaBuffer {
  public:
    /// A block for `byteSize` bytes (header included), contents undefined. Throws
    /// std::length_error above 2^30 bytes.
    explicit TDruSmartAudioBuffer(uint32_t byteSize);
    /// Returns the block to the pool.
    ~TDruSmartAudioBuffer() override;

    /// A new audio storage with the same allocated size and time stamp. With `copyContents`
    /// the whole block is copied; without, only the format record, so that a buffer detached
    /// for writing still describes itself.
    std::unique_ptr<TZemSmartBuffer> CloneStorage(bool copyContents) override;

    void* GetData() const noexcept override { return m_data; }
    uint32_t GetAllocatedSize() const noexcept override { return m_allocatedSize; }

  private:
    void* m_data = nullptr;
    uint32_t m_allocatedSize = 0;
};

/// A handle onto the time stamp of a media buffer's current storage (it follows the buffer
/// when it detaches). Owned by its buffer; same thread rule as the buffer.
class TTavTimeStamp {
  public:
    explicit TTavTimeStamp(TTavMediaBuffer& buffer) noexcept : m_buffer(buffer) {}
    TTavTimeStamp(const TTavTimeStamp&) = delete;
    TTavTimeStamp& operator=(const TTavTimeStamp&) = delete;

    bool GetTimeValid() const;
    /// Written without the storage lock.
    void SetTimeValid(bool valid);
    /// Under the storage lock.
    int64_t GetStartTime() const;
    void SetStartTime(int64_t time);
    int64_t GetStopTime() const;
    void SetStopTime(int64_t time);

  private:
    TTavMediaBuffer& m_buffer;
};

/// A buffer over media storage, with its time stamp. Abstract. Writing the time stamp does not
/// detach the storage: the producer stamps its own fresh buffer before sending it.
class TTavMediaBuffer : public TZemGenericBuffer {
  public:
    /// The buffer's time stamp, owned by the buffer.
    TTavTimeStamp* GetTimeStamp() noexcept { return &m_timeStamp; }
    /// The storage as media storage.
    TTavSmartMediaBuffer& GetMediaStorage() const noexcept {
        return static_cast<TTavSmartMediaBuffer&>(*m_storage);
    }

    /// As `TZemGenericBuffer::Assign`; throws std::invalid_argument naming the source's class
    /// when `source` is not a media buffer (its storage would carry no time stamp).
    void Assign(const TZemGenericBuffer& source) override;

  protected:
    /// Holds `storage` as an owner with `byteSize` bytes in use.
    TTavMediaBuffer(TTavSmartMediaBuffer* storage, uint32_t byteSize);
    ~TTavMediaBuffer() override = default;

  private:
    TTavTimeStamp m_timeStamp{*this};
};

/// Interleaved integer PCM frames with their format record.
///
/// Units: `GetSize`, `SetSize`, `GetSample`/`SetSample` and the audio `CopyTo` count frames;
/// `GetByteSize` counts sample bytes (without the header); the inherited byte size
/// (`m_byteSize`) includes the 40-byte header.
///
/// Operations between two audio buffers pair channels by speaker: for every speaker set in
/// both channel masks, this buffer's channel at that speaker (its index is the number of set
/// bits below it in the mask) meets the other buffer's channel at the same speaker; channels
/// without a partner are left alone.
class TDruAudioBuffer : public TTavMediaBuffer {
  public:
    /// `frameCount` frames of `channels` samples of `validBits` (container bits rounded up to a
    /// multiple of 8), contents undefined; the header holds the matching record. Throws
    /// std::invalid_argument when channels, container bits or the frame size do not fit the
    /// record's 16-bit fields, std::length_error above 2^30 bytes.
    TDruAudioBuffer(uint32_t samplesPerSecond, uint32_t channelMask, uint32_t frameCount,
                    uint32_t channels, uint32_t validBits);
    TDruAudioBuffer(uint32_t samplesPerSecond, TDruSpeakers channelMask, uint32_t frameCount,
                    uint32_t channels, uint32_t validBits)
        : TDruAudioBuffer(samplesPerSecond, DruSpeakersToMask(channelMask), frameCount, channels,
                          validBits) {}
    /// A buffer described by a received 40-byte record (copied verbatim into the header, not
    /// checked) with `sampleByteCount` sample bytes, which need not be a whole number of
    /// frames; contents undefined. Throws std::invalid_argument for a null record and
    /// std::length_error above 2^30 bytes.
    TDruAudioBuffer(const uint8_t* formatRecord, uint32_t sampleByteCount);
    /// Shares `source`'s storage (one more owner) and takes its byte size; no sample is
    /// copied. Throws std::invalid_argument when `source` is null or not an audio buffer.
    explicit TDruAudioBuffer(const TZemGenericBuffer* source);

    /// With an audio destination: copies `count` frames from frame `sourceOffset` to the
    /// destination's frame `destinationOffset` (through its modify pointer), for every speaker
    /// pair; the count is cut to the frames both buffers hold. Overlapping ranges of one block
    /// copy forwards. Equal widths copy bytes; otherwise, on signed values with a 64-bit
    /// intermediate, truncating: with 24 bits the full-scale ratio (8→24 (x − 127) × 8388607 ÷
    /// 127, 16→24 x × 8388607 ÷ 32767, 32→24 x × 8388607 ÷ 2147483647 and the inverse ratios,
    /// 24→8 adding 127); 16↔32 x × 2147483647 ÷ 32767 and back; 8→16 x × 257 − 32768,
    /// 8→32 x × 16843009 − 2147483648, 16→8 ((x − (x >> 8)) >> 8) + 128, 32→8
    /// ((x − (x >> 8)) >> 24) + 128 (modulo 256). Results outside the destination width
    /// saturate. With any other destination: a byte copy from the sample area, offsets and
    /// count in bytes, cut to both buffers' byte sizes.
    void CopyTo(uint32_t sourceOffset, TZemGenericBuffer& destination, uint32_t destinationOffset,
                uint32_t count) const override;
    /// A new audio buffer sharing this storage.
    TRef<TZemGenericBuffer> Clone() const override;
    /// Shares an audio buffer's storage; throws std::invalid_argument naming the class for any
    /// other source.
    void Assign(const TZemGenericBuffer& source) override;
    /// Frame count `frames`: 0 → nothing; not above the current count → shrinks in place;
    /// exclusive storage big enough → grows in place (new frames undefined); otherwise moves to
    /// new storage holding the same header and time stamp, copying the old block when
    /// `keepContents`. Throws std::length_error (changing nothing) above 2^30 bytes.
    void SetSize(uint32_t frames, bool keepContents) override;
    /// Sample bytes (the header not counted).
    uint32_t GetByteSize() const override { return m_byteSize - kDruFormatRecordSize; }
    /// Whole frames: sample bytes ÷ block align; 0 when either is 0.
    uint32_t GetSize() const override {
        return m_blockAlign == 0 ? 0 : GetByteSize() / m_blockAlign;
    }
    /// Reads the header of the current storage into the cached format.
    void StorageChanged() override;

    /// New audio storage (counts 0) for `byteCount` bytes, header included.
    virtual std::unique_ptr<TZemSmartBuffer> CreateStorage(uint32_t byteCount);
    /// Bytes per sample: container bits ÷ 8.
    virtual uint32_t GetSampleByteSize() const { return m_containerBits / 8u; }

    /// A new access object on this buffer.
    TRef<TDruAudioDataBufferAccess> GetAccess();
    uint32_t GetChannels() const noexcept { return m_channels; }
    /// Valid bits per sample.
    uint32_t GetBits() const noexcept { return m_validBits; }
    uint32_t GetSampleRate() const noexcept;
    uint32_t GetBlockAlign() const noexcept { return m_blockAlign; }
    /// The channel mask as recorded (bits above the speakers included).
    uint32_t GetChannelMask() const noexcept { return m_channelMask; }
    uint32_t GetContainerBits() const noexcept { return m_containerBits; }
    /// Copies the 40-byte record to `destination`.
    void GetFormat(void* destination) const noexcept;
    /// The record's extra size + 18 (40 for every record this system writes), at most 40.
    uint32_t GetFormatSize() const noexcept;
    /// Address of the 40-byte record in the block, for reading only.
    const uint8_t* GetHeader() const noexcept { return m_header; }

    /// The sample area; see `TZemGenericBuffer` for what each one may copy.
    const uint8_t* GetReadPointer() const noexcept { return m_data; }
    uint8_t* GetWritePointer() {
        return static_cast<uint8_t*>(TZemGenericBuffer::GetWritePointer());
    }
    uint8_t* GetModifyPointer() {
        return static_cast<uint8_t*>(TZemGenericBuffer::GetModifyPointer());
    }

    /// The sample of `channel` in `frame`: by valid bits, ≤ 8 the raw byte (0 … 255),
    /// 9 … 16 the signed 16-bit value, above 16 with a 24-bit container the three bytes as an
    /// unsigned value (0 … 16777215, not sign-extended), with a 32-bit container the signed
    /// value, with any other container 0. Throws ERangeError "Channel out of range = %u" or
    /// "Index out of range = %u".
    int32_t GetSample(uint32_t frame, uint32_t channel) const;
    /// Takes the modify pointer, then checks: ERangeError "Channel out of rabge = %u" or
    /// "Index out of rabge = %u". Stores the low byte (≤ 8 valid bits), the low 16 bits
    /// (9 … 16) or the low container ÷ 8 bytes (at most 4) of `value`.
    void SetSample(uint32_t frame, uint32_t channel, int32_t value);

    /// this ← this op other, through this buffer's modify pointer, over the frames both hold.
    /// A one-channel `other` applies to every channel; otherwise channels pair by speaker.
    /// Both sides are read in this buffer's width. Per width: 8-bit (zero level 127, results
    /// modulo 256) add this + (other − 127), subtract this + (127 − other), multiply
    /// (this − 127)(other − 127) + 127, divide (this − 127) ÷ (other − 127) + 127 truncating,
    /// 127 when other is 127; 16-bit saturating, division rounded to nearest (ties to even);
    /// 24- and 32-bit wrapping, division truncating. A zero divisor at 16, 24 and 32 bits gives
    /// 0 for a zero dividend and the largest or smallest value of the width otherwise (the
    /// dividend's sign).
    void Add(const TDruAudioBuffer& other);
    void Subtract(const TDruAudioBuffer& other);
    void Multiply(const TDruAudioBuffer& other);
    void Divide(const TDruAudioBuffer& other);
    /// Every sample of every channel, through the write pointer: 8-bit (value + 127) modulo
    /// 256, wider the low bytes of `value`.
    void Fill(int32_t value);
    /// 8-bit: every sample 127 (`Fill(0)`); wider: every sample byte 0.
    void Zero();
    /// Every sample becomes factor × sample rounded to nearest (ties to even), saturated to
    /// the width (8-bit samples are scaled as raw bytes 0 … 255; NaN gives 0).
    void Scale(double factor);

  protected:
    ~TDruAudioBuffer() override = default;

  private:
    struct TFreshStorage {};
    /// Holds new audio storage for `byteSize` bytes (header included); the header is unset.
    TDruAudioBuffer(uint32_t byteSize, TFreshStorage);
    /// `source` as an audio buffer; throws std::invalid_argument otherwise.
    static const TDruAudioBuffer& RequireAudio(const TZemGenericBuffer* source);

    /// this ← this op other; `operation` is one of the arithmetic codes of the .cpp.
    void Combine(const TDruAudioBuffer& other, int operation);
    /// Frames of `channel` whose `width`-byte sample lies wholly inside the sample area.
    uint32_t SafeFrames(uint32_t channel, uint32_t width) const noexcept;
    /// Byte offset of `channel` within a frame.
    uint32_t ChannelOffset(uint32_t channel) const noexcept {
        return channel * (m_containerBits / 8u);
    }

    /// Cached from the header by StorageChanged.
    uint8_t* m_header = nullptr;
    uint32_t m_channels = 0;
    uint32_t m_validBits = 0;
    uint32_t m_channelMask = 0;
    uint32_t m_containerBits = 0;
    uint32_t m_blockAlign = 0;
};

/// Access object of a `TDruAudioBuffer`.
class TDruAudioDataBufferAccess : public TZemDataBufferAccess {
  public:
    explicit TDruAudioDataBufferAccess(TDruAudioBuffer& buffer) : TZemDataBufferAccess(buffer) {}

    uint32_t GetChannels() const { return Audio().GetChannels(); }
    uint32_t GetBits() const { return Audio().GetBits(); }
    uint32_t GetSampleRate() const { return Audio().GetSampleRate(); }
    uint32_t GetBlockAlign() const { return Audio().GetBlockAlign(); }
    uint32_t GetChannelMask() const { return Audio().GetChannelMask(); }
    uint32_t GetContainerBits() const { return Audio().GetContainerBits(); }
    void GetFormat(void* destination) const { Audio().GetFormat(destination); }
    uint32_t GetFormatSize() const { return Audio().GetFormatSize(); }
    TTavTimeStamp* GetTimeStamp() const { return Audio().GetTimeStamp(); }
    const uint8_t* GetReadPointer() const { return Audio().GetReadPointer(); }
    uint8_t* GetWritePointer() { return Audio().GetWritePointer(); }
    uint8_t* GetModifyPointer() { return Audio().GetModifyPointer(); }
    int32_t GetSample(uint32_t frame, uint32_t channel) const {
        return Audio().GetSample(frame, channel);
    }
    void SetSample(uint32_t frame, uint32_t channel, int32_t value) {
        Audio().SetSample(frame, channel, value);
    }
    void Add(const TDruAudioBuffer& other) { Audio().Add(other); }
    void Subtract(const TDruAudioBuffer& other) { Audio().Subtract(other); }
    void Multiply(const TDruAudioBuffer& other) { Audio().Multiply(other); }
    void Divide(const TDruAudioBuffer& other) { Audio().Divide(other); }
    void Fill(int32_t value) { Audio().Fill(value); }
    void Zero() { Audio().Zero(); }
    void Scale(double factor) { Audio().Scale(factor); }

  protected:
    ~TDruAudioDataBufferAccess() override = default;

  private:
    TDruAudioBuffer& Audio() const { return static_cast<TDruAudioBuffer&>(Buffer()); }
};

/// The design's interface names (the classes themselves; see ZemSimpleDataBuffer.h).
using ITavMediaBuffer = TTavMediaBuffer;
using IDruAudioBuffer = TDruAudioBuffer;
using IDruAudioDataBufferAccess = TDruAudioDataBufferAccess;
