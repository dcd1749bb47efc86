#include "buffers/DruAudioBuffer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <typeinfo>

// 16- and 32-bit samples are loaded and stored in host order (as the vector routines do); the
// record and the samples are little-endian, so the host must be too. The record itself is
// read and written byte by byte and needs no such assumption.
static_assert(std::endian::native == std::endian::little, "audio samples are little-endian");

namespace {

// ---- sample widths -------------------------------------------------------------------------

// Each codec loads a sample as a signed 32-bit value (8-bit: the raw byte 0 … 255; 24-bit:
// sign-extended) and stores the low bytes of a value; kMin/kMax bound the width.
struct TCodec8 {
    static constexpr uint32_t kBytes = 1;
    static constexpr int64_t kMin = 0;
    static constexpr int64_t kMax = 255;
    static int32_t Load(const uint8_t* at) { return at[0]; }
    static void Store(uint8_t* at, int32_t value) { at[0] = static_cast<uint8_t>(value); }
};

struct TCodec16 {
    static constexpr uint32_t kBytes = 2;
    static constexpr int64_t kMin = -32768;
    static constexpr int64_t kMax = 32767;
    static int32_t Load(const uint8_t* at) {
        int16_t value;
        std::memcpy(&value, at, sizeof value);
        return value;
    }
    static void Store(uint8_t* at, int32_t value) {
        const auto narrow = static_cast<int16_t>(value);
        std::memcpy(at, &narrow, sizeof narrow);
    }
};

struct TCodec24 {
    static constexpr uint32_t kBytes = 3;
    static constexpr int64_t kMin = -8388608;
    static constexpr int64_t kMax = 8388607;
    static int32_t Load(const uint8_t* at) {
        const int32_t raw = at[0] | (at[1] << 8) | (at[2] << 16);
        return (raw ^ 0x800000) - 0x800000; // sign-extend bit 23
    }
    static void Store(uint8_t* at, int32_t value) {
        const auto bits = static_cast<uint32_t>(value);
        at[0] = static_cast<uint8_t>(bits);
        at[1] = static_cast<uint8_t>(bits >> 8);
        at[2] = static_cast<uint8_t>(bits >> 16);
    }
};

struct TCodec32 {
    static constexpr uint32_t kBytes = 4;
    static constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    static constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    static int32_t Load(const uint8_t* at) {
        int32_t value;
        std::memcpy(&value, at, sizeof value);
        return value;
    }
    static void Store(uint8_t* at, int32_t value) { std::memcpy(at, &value, sizeof value); }
};

enum TWidth : uint8_t { wdNone, wd8, wd16, wd24, wd32 };

// Operations work by container width; other containers have no sample encoding.
TWidth WidthOf(uint32_t containerBits) {
    switch (containerBits) {
    case 8:
        return wd8;
    case 16:
        return wd16;
    case 24:
        return wd24;
    case 32:
        return wd32;
    default:
        return wdNone;
    }
}

uint32_t BytesOf(TWidth width) {
    return width == wdNone ? 0u : static_cast<uint32_t>(width);
}

int32_t Narrow(int64_t value) {
    return static_cast<int32_t>(value);
}

template <class Codec> int32_t Saturate(int64_t value) {
    return Narrow(std::clamp(value, Codec::kMin, Codec::kMax));
}

// Vector routines take signed 32-bit counts and steps; frame counts stay below 2^30 and steps
// below 2^16, so they always fit.
int32_t Len(uint32_t count) {
    return static_cast<int32_t>(count);
}

// ---- strided loops -------------------------------------------------------------------------
// Every loop walks `columns` adjacent samples in each of `rows` rows, a row being one frame
// (step = block align). When both sides are packed rows, the walk is one flat run the compiler
// vectorises. Each op is a lambda inlined into its loop: no call per sample.

template <class Codec, class Op>
void ModifyStrided(uint8_t* target, uint32_t targetStep, const uint8_t* source, uint32_t sourceStep,
                   uint32_t columns, uint32_t rows, Op op) {
    constexpr uint32_t kBytes = Codec::kBytes;
    if (targetStep == columns * kBytes && sourceStep == columns * kBytes) {
        columns *= rows;
        rows = 1;
    }
    for (uint32_t row = 0; row < rows; ++row) {
        uint8_t* t = target + size_t{row} * targetStep;
        const uint8_t* s = source + size_t{row} * sourceStep;
        for (uint32_t column = 0; column < columns; ++column) {
            const size_t at = size_t{column} * kBytes;
            Codec::Store(t + at, op(Codec::Load(t + at), Codec::Load(s + at)));
        }
    }
}

template <class From, class To, class Convert>
void ConvertStrided(const uint8_t* source, uint32_t sourceStep, uint8_t* target,
                    uint32_t targetStep, uint32_t columns, uint32_t rows, Convert convert) {
    if (sourceStep == columns * From::kBytes && targetStep == columns * To::kBytes) {
        columns *= rows;
        rows = 1;
    }
    for (uint32_t row = 0; row < rows; ++row) {
        const uint8_t* s = source + size_t{row} * sourceStep;
        uint8_t* t = target + size_t{row} * targetStep;
        for (uint32_t column = 0; column < columns; ++column) {
            const int64_t value = From::Load(s + size_t{column} * From::kBytes);
            To::Store(t + size_t{column} * To::kBytes, Saturate<To>(convert(value)));
        }
    }
}

template <class Codec>
void FillStrided(uint8_t* target, uint32_t step, uint32_t rows, int32_t value) {
    for (uint32_t row = 0; row < rows; ++row) {
        Codec::Store(target + size_t{row} * step, value);
    }
}

template <class Codec>
void ScaleStrided(uint8_t* target, uint32_t step, uint32_t columns, uint32_t rows, double factor) {
    if (step == columns * Codec::kBytes) {
        columns *= rows;
        rows = 1;
    }
    for (uint32_t row = 0; row < rows; ++row) {
        uint8_t* t = target + size_t{row} * step;
        for (uint32_t column = 0; column < columns; ++column) {
            uint8_t* at = t + size_t{column} * Codec::kBytes;
            const double scaled = std::nearbyint(factor * Codec::Load(at)); // ties to even
            int32_t result;
            if (std::isnan(scaled)) {
                result = 0;
            } else if (scaled <= static_cast<double>(Codec::kMin)) {
                result = Narrow(Codec::kMin);
            } else if (scaled >= static_cast<double>(Codec::kMax)) {
                result = Narrow(Codec::kMax);
            } else {
                result = static_cast<int32_t>(scaled);
            }
            Codec::Store(at, result);
        }
    }
}

// ---- arithmetic ----------------------------------------------------------------------------

enum TOperation : int { opAdd, opSubtract, opMultiply, opDivide };

// 8-bit samples have their zero level at 127; results keep the low byte (modulo 256).
void Arithmetic8(int operation, uint8_t* target, uint32_t targetStep, const uint8_t* source,
                 uint32_t sourceStep, uint32_t columns, uint32_t rows) {
    switch (operation) {
    case opAdd:
        ModifyStrided<TCodec8>(target, targetStep, source, sourceStep, columns, rows,
                               [](int32_t a, int32_t b) { return a + (b - 127); });
        break;
    case opSubtract:
        ModifyStrided<TCodec8>(target, targetStep, source, sourceStep, columns, rows,
                               [](int32_t a, int32_t b) { return a + (127 - b); });
        break;
    case opMultiply:
        ModifyStrided<TCodec8>(target, targetStep, source, sourceStep, columns, rows,
                               [](int32_t a, int32_t b) { return (a - 127) * (b - 127) + 127; });
        break;
    default:
        ModifyStrided<TCodec8>(
            target, targetStep, source, sourceStep, columns, rows,
            [](int32_t a, int32_t b) { return b == 127 ? 127 : (a - 127) / (b - 127) + 127; });
        break;
    }
}

// 24- and 32-bit samples combine in wrapping 32-bit arithmetic (unsigned, so overflow is
// defined) and keep the low bytes. Division truncates; a zero divisor saturates toward the
// dividend's sign instead of faulting, and 0 ÷ 0 gives 0.
template <class Codec>
void ArithmeticWide(int operation, uint8_t* target, uint32_t targetStep, const uint8_t* source,
                    uint32_t sourceStep, uint32_t columns, uint32_t rows) {
    auto wrap = [](uint32_t value) { return static_cast<int32_t>(value); };
    switch (operation) {
    case opAdd:
        ModifyStrided<Codec>(target, targetStep, source, sourceStep, columns, rows,
                             [wrap](int32_t a, int32_t b) {
                                 return wrap(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
                             });
        break;
    case opSubtract:
        ModifyStrided<Codec>(target, targetStep, source, sourceStep, columns, rows,
                             [wrap](int32_t a, int32_t b) {
                                 return wrap(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
                             });
        break;
    case opMultiply:
        ModifyStrided<Codec>(target, targetStep, source, sourceStep, columns, rows,
                             [wrap](int32_t a, int32_t b) {
                                 return wrap(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
                             });
        break;
    default:
        ModifyStrided<Codec>(target, targetStep, source, sourceStep, columns, rows,
                             [](int32_t a, int32_t b) -> int32_t {
                                 if (b == 0) {
                                     return a == 0 ? 0 : Narrow(a > 0 ? Codec::kMax : Codec::kMin);
                                 }
                                 if (b == -1) {
                                     // -2^31 ÷ -1 does not fit: it wraps back to -2^31.
                                     return static_cast<int32_t>(0u - static_cast<uint32_t>(a));
                                 }
                                 return a / b;
                             });
        break;
    }
}

void Arithmetic16(int operation, uint8_t* target, uint32_t targetStep, const uint8_t* source,
                  uint32_t sourceStep, uint32_t columns, uint32_t rows) {
    // Saturating, and a rounded (ties to even) saturating quotient: the routines' scale 0.
    auto* t = reinterpret_cast<int16_t*>(target);
    const auto* s = reinterpret_cast<const int16_t*>(source);
    const int32_t tStep = Len(targetStep);
    const int32_t sStep = Len(sourceStep);
    switch (operation) {
    case opAdd:
        VecAddStridedScaled16s(s, sStep, t, tStep, Len(columns), Len(rows), 0);
        break;
    case opSubtract:
        VecSubStridedScaled16s(s, sStep, t, tStep, Len(columns), Len(rows), 0);
        break;
    case opMultiply:
        VecMulStridedScaled16s(s, sStep, t, tStep, Len(columns), Len(rows), 0);
        break;
    default:
        VecDivStridedScaled16s(s, sStep, t, tStep, Len(columns), Len(rows), 0);
        break;
    }
}

void Arithmetic(TWidth width, int operation, uint8_t* target, uint32_t targetStep,
                const uint8_t* source, uint32_t sourceStep, uint32_t columns, uint32_t rows) {
    switch (width) {
    case wd8:
        Arithmetic8(operation, target, targetStep, source, sourceStep, columns, rows);
        break;
    case wd16:
        Arithmetic16(operation, target, targetStep, source, sourceStep, columns, rows);
        break;
    case wd24:
        ArithmeticWide<TCodec24>(operation, target, targetStep, source, sourceStep, columns, rows);
        break;
    case wd32:
        ArithmeticWide<TCodec32>(operation, target, targetStep, source, sourceStep, columns, rows);
        break;
    case wdNone:
        break;
    }
}

// ---- width conversion ----------------------------------------------------------------------
// Conversions that involve 24 bits scale by the full-scale ratio with the 8-bit zero at 127;
// 8 ↔ 16/32 bits puts the 8-bit zero at 128 (those are the vector routines). All ratios use a
// 64-bit intermediate and truncate toward zero. The few results that fall just outside the
// destination range (the most negative 16-, 24-bit sample widened, the 8-bit 255 to 24 bits)
// saturate instead of wrapping to the opposite sign.

void Convert(TWidth from, TWidth to, const uint8_t* source, uint32_t sourceStep, uint8_t* target,
             uint32_t targetStep, uint32_t columns, uint32_t rows) {
    const int32_t sStep = Len(sourceStep);
    const int32_t tStep = Len(targetStep);
    const auto* s16 = reinterpret_cast<const int16_t*>(source);
    const auto* s32 = reinterpret_cast<const int32_t*>(source);
    auto* t16 = reinterpret_cast<int16_t*>(target);
    auto* t32 = reinterpret_cast<int32_t*>(target);
    const int32_t width = Len(columns);
    const int32_t height = Len(rows);
    if (from == to) {
        switch (from) {
        case wd8:
            VecCopyStrided8u(source, sStep, target, tStep, width, height);
            break;
        case wd16:
            VecCopyStrided16s(s16, sStep, t16, tStep, width, height);
            break;
        case wd24:
            VecCopyStrided8u(source, sStep, target, tStep, width * 3, height);
            break;
        case wd32:
            VecCopyStrided32s(s32, sStep, t32, tStep, width, height);
            break;
        case wdNone:
            break;
        }
        return;
    }
    constexpr int64_t k8 = 127;
    constexpr int64_t k16 = 32767;
    constexpr int64_t k24 = 8388607;
    constexpr int64_t k32 = 2147483647;
    switch (from * 8 + to) {
    case wd8 * 8 + wd16:
        VecConvertStrided8uTo16s(source, sStep, t16, tStep, width, height);
        break;
    case wd8 * 8 + wd32:
        VecConvertStrided8uTo32s(source, sStep, t32, tStep, width, height);
        break;
    case wd16 * 8 + wd8:
        VecConvertStrided16sTo8u(s16, sStep, target, tStep, width, height);
        break;
    case wd32 * 8 + wd8:
        VecConvertStrided32sTo8u(s32, sStep, target, tStep, width, height);
        break;
    case wd16 * 8 + wd32:
        ConvertStrided<TCodec16, TCodec32>(source, sourceStep, target, targetStep, columns, rows,
                                           [](int64_t x) { return x * k32 / k16; });
        break;
    case wd32 * 8 + wd16:
        ConvertStrided<TCodec32, TCodec16>(source, sourceStep, target, targetStep, columns, rows,
                                           [](int64_t x) { return x * k16 / k32; });
        break;
    case wd8 * 8 + wd24:
        ConvertStrided<TCodec8, TCodec24>(source, sourceStep, target, targetStep, columns, rows,
                                          [](int64_t x) { return (x - 127) * k24 / k8; });
        break;
    case wd16 * 8 + wd24:
        ConvertStrided<TCodec16, TCodec24>(source, sourceStep, target, targetStep, columns, rows,
                                           [](int64_t x) { return x * k24 / k16; });
        break;
    case wd32 * 8 + wd24:
        ConvertStrided<TCodec32, TCodec24>(source, sourceStep, target, targetStep, columns, rows,
                                           [](int64_t x) { return x * k24 / k32; });
        break;
    case wd24 * 8 + wd8:
        ConvertStrided<TCodec24, TCodec8>(source, sourceStep, target, targetStep, columns, rows,
                                          [](int64_t x) { return x * k8 / k24 + 127; });
        break;
    case wd24 * 8 + wd16:
        ConvertStrided<TCodec24, TCodec16>(source, sourceStep, target, targetStep, columns, rows,
                                           [](int64_t x) { return x * k16 / k24; });
        break;
    case wd24 * 8 + wd32:
        ConvertStrided<TCodec24, TCodec32>(source, sourceStep, target, targetStep, columns, rows,
                                           [](int64_t x) { return x * k32 / k24; });
        break;
    default:
        break;
    }
}

// ---- channel pairing -----------------------------------------------------------------------

struct TChannelPair {
    uint32_t m_this;
    uint32_t m_other;
};

// Channels paired by speaker, in speaker order (so both indices rise). At most one pair per
// speaker: no allocation.
struct TChannelPairs {
    std::array<TChannelPair, kDruSpeakerCount> m_pairs{};
    uint32_t m_count = 0;

    // True when pair i is (i, i) for every i: the paired channels form the same run of
    // adjacent columns on both sides.
    bool IsIdentity() const {
        for (uint32_t i = 0; i < m_count; ++i) {
            if (m_pairs[i].m_this != i || m_pairs[i].m_other != i) {
                return false;
            }
        }
        return true;
    }
};

TChannelPairs PairBySpeaker(uint32_t thisMask, uint32_t thisChannels, uint32_t otherMask,
                            uint32_t otherChannels) {
    TChannelPairs result;
    for (uint32_t speaker = 0; speaker < kDruSpeakerCount; ++speaker) {
        const uint32_t bit = uint32_t{1} << speaker;
        if ((thisMask & bit) == 0 || (otherMask & bit) == 0) {
            continue;
        }
        const auto thisIndex = static_cast<uint32_t>(std::popcount(thisMask & (bit - 1)));
        const auto otherIndex = static_cast<uint32_t>(std::popcount(otherMask & (bit - 1)));
        // A mask may name more speakers than the buffer has channels.
        if (thisIndex < thisChannels && otherIndex < otherChannels) {
            result.m_pairs[result.m_count++] = {thisIndex, otherIndex};
        }
    }
    return result;
}

// Byte size of a buffer of `frames` frames; refuses formats the record cannot describe.
uint32_t FormatByteSize(uint32_t frames, uint32_t channels, uint32_t validBits) {
    constexpr uint32_t kField = 0xFFFF;
    const uint64_t containerBits =
        validBits > kField ? uint64_t{validBits} + 8 : DruContainerBits(validBits);
    const uint64_t blockAlign = containerBits / 8 * channels;
    if (channels > kField || containerBits > kField || blockAlign > kField) {
        throw std::invalid_argument("An audio frame of " + std::to_string(channels) +
                                    " channels of " + std::to_string(validBits) +
                                    " bits does not fit the format record (at most 65535 "
                                    "channels, bits and bytes per frame)");
    }
    return CheckBlockSize(uint64_t{frames} * blockAlign + kDruFormatRecordSize);
}

} // namespace

// ---- TTavSmartMediaBuffer ------------------------------------------------------------------

std::unique_ptr<TZemSmartBuffer> TTavSmartMediaBuffer::CloneStorage(bool /*copyContents*/) {
    auto clone = std::make_unique<TTavSmartMediaBuffer>();
    CopyTimeStampTo(*clone);
    return clone;
}

int64_t TTavSmartMediaBuffer::GetStartTime() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_startTime;
}

void TTavSmartMediaBuffer::SetStartTime(int64_t time) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_startTime = time;
}

int64_t TTavSmartMediaBuffer::GetStopTime() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_stopTime;
}

void TTavSmartMediaBuffer::SetStopTime(int64_t time) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_stopTime = time;
}

void TTavSmartMediaBuffer::CopyTimeStampTo(TTavSmartMediaBuffer& destination) {
    int64_t start = 0;
    int64_t stop = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        start = m_startTime;
        stop = m_stopTime;
    }
    destination.SetTimeValid(GetTimeValid());
    destination.SetStartTime(start);
    destination.SetStopTime(stop);
}

// ---- TDruSmartAudioBuffer ------------------------------------------------------------------

TDruSmartAudioBuffer::TDruSmartAudioBuffer(uint32_t byteSize)
    : m_allocatedSize(RoundAllocationSize(CheckBlockSize(byteSize))) {
    m_data = AcquireBlock(m_allocatedSize);
}

TDruSmartAudioBuffer::~TDruSmartAudioBuffer() {
    ReleaseBlock(m_data, m_allocatedSize);
}

std::unique_ptr<TZemSmartBuffer> TDruSmartAudioBuffer::CloneStorage(bool copyContents) {
    auto clone = std::make_unique<TDruSmartAudioBuffer>(m_allocatedSize);
    const uint32_t bytes =
        copyContents ? m_allocatedSize : std::min(kDruFormatRecordSize, m_allocatedSize);
    std::memcpy(clone->m_data, m_data, bytes);
    CopyTimeStampTo(*clone);
    return clone;
}

// ---- TTavTimeStamp and TTavMediaBuffer -----------------------------------------------------

bool TTavTimeStamp::GetTimeValid() const {
    return m_buffer.GetMediaStorage().GetTimeValid();
}

void TTavTimeStamp::SetTimeValid(bool valid) {
    m_buffer.GetMediaStorage().SetTimeValid(valid);
}

int64_t TTavTimeStamp::GetStartTime() const {
    return m_buffer.GetMediaStorage().GetStartTime();
}

void TTavTimeStamp::SetStartTime(int64_t time) {
    m_buffer.GetMediaStorage().SetStartTime(time);
}

int64_t TTavTimeStamp::GetStopTime() const {
    return m_buffer.GetMediaStorage().GetStopTime();
}

void TTavTimeStamp::SetStopTime(int64_t time) {
    m_buffer.GetMediaStorage().SetStopTime(time);
}

TTavMediaBuffer::TTavMediaBuffer(TTavSmartMediaBuffer* storage, uint32_t byteSize)
    : TZemGenericBuffer(storage, byteSize) {
}

void TTavMediaBuffer::Assign(const TZemGenericBuffer& source) {
    if (BufferCast<TTavMediaBuffer>(&source) == nullptr) {
        throw std::invalid_argument(std::string("Cannot assign a ") + typeid(source).name() +
                                    " to a media buffer: it is no media buffer");
    }
    TZemGenericBuffer::Assign(source);
}

// ---- TDruAudioBuffer -----------------------------------------------------------------------

TDruAudioBuffer::TDruAudioBuffer(uint32_t byteSize, TFreshStorage)
    : TTavMediaBuffer(new TDruSmartAudioBuffer(byteSize), byteSize) {
}

TDruAudioBuffer::TDruAudioBuffer(uint32_t samplesPerSecond, uint32_t channelMask,
                                 uint32_t frameCount, uint32_t channels, uint32_t validBits)
    : TDruAudioBuffer(FormatByteSize(frameCount, channels, validBits), TFreshStorage{}) {
    const TDruWaveFormat format =
        DruMakeWaveFormat(samplesPerSecond, channelMask, channels, validBits);
    DruStoreWaveFormat(format, static_cast<uint8_t*>(m_storage->GetData()));
    StorageChanged();
}

TDruAudioBuffer::TDruAudioBuffer(const uint8_t* formatRecord, uint32_t sampleByteCount)
    : TDruAudioBuffer(CheckBlockSize(uint64_t{sampleByteCount} + kDruFormatRecordSize),
                      TFreshStorage{}) {
    if (formatRecord == nullptr) {
        throw std::invalid_argument("An audio buffer needs a format record, not null");
    }
    std::memcpy(m_storage->GetData(), formatRecord, kDruFormatRecordSize);
    StorageChanged();
}

const TDruAudioBuffer& TDruAudioBuffer::RequireAudio(const TZemGenericBuffer* source) {
    const auto* audio = BufferCast<TDruAudioBuffer>(source);
    if (audio == nullptr) {
        throw std::invalid_argument(
            source == nullptr ? std::string("An audio buffer cannot share the storage of no buffer")
                              : std::string("An audio buffer cannot share the storage of a ") +
                                    typeid(*source).name() + ": it is no audio buffer");
    }
    return *audio;
}

TDruAudioBuffer::TDruAudioBuffer(const TZemGenericBuffer* source)
    : TTavMediaBuffer(&RequireAudio(source).GetMediaStorage(), RequireAudio(source).m_byteSize) {
    StorageChanged();
}

TRef<TZemGenericBuffer> TDruAudioBuffer::Clone() const {
    return TRef<TZemGenericBuffer>(new TDruAudioBuffer(this));
}

void TDruAudioBuffer::Assign(const TZemGenericBuffer& source) {
    if (BufferCast<TDruAudioBuffer>(&source) == nullptr) {
        throw std::invalid_argument(std::string("Cannot assign a ") + typeid(source).name() +
                                    " to an audio buffer: it is no audio buffer");
    }
    TTavMediaBuffer::Assign(source);
    StorageChanged(); // the cached format follows the header
}

void TDruAudioBuffer::StorageChanged() {
    m_header = static_cast<uint8_t*>(m_storage->GetData());
    const TDruWaveFormat format = DruLoadWaveFormat(m_header);
    m_channels = format.m_channels;
    m_validBits = format.m_validBitsPerSample;
    m_channelMask = format.m_channelMask;
    m_containerBits = format.m_bitsPerSample;
    m_blockAlign = format.m_blockAlign;
    // The samples always start right after the 40 bytes the block reserves for the record,
    // whatever extra size a received record names.
    m_data = m_header + kDruFormatRecordSize;
}

std::unique_ptr<TZemSmartBuffer> TDruAudioBuffer::CreateStorage(uint32_t byteCount) {
    return std::make_unique<TDruSmartAudioBuffer>(byteCount);
}

void TDruAudioBuffer::SetSize(uint32_t frames, bool keepContents) {
    if (frames == 0) {
        return;
    }
    const uint32_t byteSize =
        CheckBlockSize(uint64_t{frames} * m_blockAlign + kDruFormatRecordSize);
    if (frames <= GetSize() ||
        (m_storage->IsExclusive() && m_storage->GetAllocatedSize() >= byteSize)) {
        m_byteSize = byteSize;
        StorageChanged();
        return;
    }
    std::unique_ptr<TZemSmartBuffer> fresh = CreateStorage(byteSize);
    std::memcpy(fresh->GetData(), m_header, kDruFormatRecordSize);
    GetMediaStorage().CopyTimeStampTo(static_cast<TTavSmartMediaBuffer&>(*fresh));
    TZemSmartBuffer* old = m_storage;
    fresh->AddHolder(m_owner);
    SetStorage(fresh.release());
    if (keepContents) {
        TZemSmartMemoryBuffer::CopyStorageContents(*m_storage, *old);
    }
    old->RemoveHolder(m_owner);
    m_byteSize = byteSize;
    StorageChanged();
}

uint32_t TDruAudioBuffer::GetSampleRate() const noexcept {
    return detail::LoadLittleEndian32(m_header + offsetof(TDruWaveFormat, m_samplesPerSecond));
}

void TDruAudioBuffer::GetFormat(void* destination) const noexcept {
    std::memcpy(destination, m_header, kDruFormatRecordSize);
}

uint32_t TDruAudioBuffer::GetFormatSize() const noexcept {
    const uint32_t extra =
        detail::LoadLittleEndian16(m_header + offsetof(TDruWaveFormat, m_extraSize));
    return std::min(extra + 18, kDruFormatRecordSize);
}

TRef<TDruAudioDataBufferAccess> TDruAudioBuffer::GetAccess() {
    return TRef<TDruAudioDataBufferAccess>(new TDruAudioDataBufferAccess(*this));
}

uint32_t TDruAudioBuffer::SafeFrames(uint32_t channel, uint32_t width) const noexcept {
    const uint64_t end = uint64_t{ChannelOffset(channel)} + width; // past the sample in frame 0
    const uint32_t sampleBytes = GetByteSize();
    if (width == 0 || m_blockAlign == 0 || end > sampleBytes) {
        return 0;
    }
    const uint64_t fitting = (sampleBytes - end) / m_blockAlign + 1;
    return static_cast<uint32_t>(std::min<uint64_t>(fitting, GetSize()));
}

int32_t TDruAudioBuffer::GetSample(uint32_t frame, uint32_t channel) const {
    if (channel >= m_channels) {
        throw ERangeError::Format("Channel out of range = %u", channel);
    }
    if (frame >= GetSize()) {
        throw ERangeError::Format("Index out of range = %u", frame);
    }
    uint32_t width = 0;
    if (m_validBits <= 8) {
        width = 1;
    } else if (m_validBits <= 16) {
        width = 2;
    } else if (m_containerBits == 24 || m_containerBits == 32) {
        width = m_containerBits / 8;
    }
    const uint64_t offset = uint64_t{frame} * m_blockAlign + ChannelOffset(channel);
    if (width == 0 || offset + width > GetByteSize()) {
        return 0; // another container, or a record whose frames are too short for the sample
    }
    const uint8_t* at = m_data + offset;
    switch (width) {
    case 1:
        return at[0];
    case 2:
        return TCodec16::Load(at);
    case 3:
        return at[0] | (at[1] << 8) | (at[2] << 16); // deliberately not sign-extended
    default:
        return TCodec32::Load(at);
    }
}

void TDruAudioBuffer::SetSample(uint32_t frame, uint32_t channel, int32_t value) {
    uint8_t* samples = GetModifyPointer();
    if (channel >= m_channels) {
        throw ERangeError::Format("Channel out of rabge = %u", channel);
    }
    if (frame >= GetSize()) {
        throw ERangeError::Format("Index out of rabge = %u", frame);
    }
    uint32_t width = 0;
    if (m_validBits <= 8) {
        width = 1;
    } else if (m_validBits <= 16) {
        width = 2;
    } else {
        width = std::min(m_containerBits / 8, 4u);
    }
    const uint64_t offset = uint64_t{frame} * m_blockAlign + ChannelOffset(channel);
    if (width == 0 || offset + width > GetByteSize()) {
        return;
    }
    const auto bits = static_cast<uint32_t>(value);
    for (uint32_t i = 0; i < width; ++i) {
        samples[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

void TDruAudioBuffer::Combine(const TDruAudioBuffer& other, int operation) {
    const TWidth width = WidthOf(m_containerBits);
    const uint32_t bytes = BytesOf(width);
    if (width == wdNone) {
        return;
    }
    // Modify first: when `other` is this buffer, its read pointer must see the detached block.
    uint8_t* target = GetModifyPointer();
    const uint8_t* source = other.GetReadPointer();
    const uint32_t frames = std::min(GetSize(), other.GetSize());
    // Applies the operation to `columns` adjacent channels from thisChannel/otherChannel on,
    // over the frames where the last of them lies inside both sample areas. The other side is
    // read in this buffer's width at its own channel offsets.
    auto run = [&](uint32_t thisChannel, uint32_t otherChannel, uint32_t columns) {
        const uint32_t rows = std::min({frames, SafeFrames(thisChannel + columns - 1, bytes),
                                        other.SafeFrames(otherChannel + columns - 1, bytes)});
        if (rows == 0) {
            return;
        }
        Arithmetic(width, operation, target + ChannelOffset(thisChannel), m_blockAlign,
                   source + other.ChannelOffset(otherChannel), other.m_blockAlign, columns, rows);
    };
    if (other.m_channels == 1) {
        for (uint32_t channel = 0; channel < m_channels; ++channel) {
            run(channel, 0, 1);
        }
        return;
    }
    const TChannelPairs pairs =
        PairBySpeaker(m_channelMask, m_channels, other.m_channelMask, other.m_channels);
    if (pairs.m_count > 1 && pairs.IsIdentity() && other.m_containerBits == m_containerBits) {
        run(0, 0, pairs.m_count); // the common case: same speakers, same layout
        return;
    }
    for (uint32_t i = 0; i < pairs.m_count; ++i) {
        run(pairs.m_pairs[i].m_this, pairs.m_pairs[i].m_other, 1);
    }
}

void TDruAudioBuffer::Add(const TDruAudioBuffer& other) {
    Combine(other, opAdd);
}

void TDruAudioBuffer::Subtract(const TDruAudioBuffer& other) {
    Combine(other, opSubtract);
}

void TDruAudioBuffer::Multiply(const TDruAudioBuffer& other) {
    Combine(other, opMultiply);
}

void TDruAudioBuffer::Divide(const TDruAudioBuffer& other) {
    Combine(other, opDivide);
}

void TDruAudioBuffer::Fill(int32_t value) {
    const TWidth width = WidthOf(m_containerBits);
    const uint32_t bytes = BytesOf(width);
    if (width == wdNone) {
        return;
    }
    uint8_t* target = GetWritePointer();
    const uint32_t frames = GetSize();
    if (m_blockAlign == m_channels * bytes) {
        // Packed frames: the whole frame area is samples.
        const int32_t count = Len(frames * m_channels);
        switch (width) {
        case wd8:
            VecFill8u(static_cast<uint8_t>(static_cast<uint32_t>(value) + 127u), target, count);
            break;
        case wd16:
            VecFill16s(static_cast<int16_t>(value), reinterpret_cast<int16_t*>(target), count);
            break;
        case wd24:
            FillStrided<TCodec24>(target, 3, static_cast<uint32_t>(count), value);
            break;
        case wd32:
            VecFill32s(value, reinterpret_cast<int32_t*>(target), count);
            break;
        case wdNone:
            break;
        }
        return;
    }
    for (uint32_t channel = 0; channel < m_channels; ++channel) {
        uint8_t* column = target + ChannelOffset(channel);
        const uint32_t rows = SafeFrames(channel, bytes);
        switch (width) {
        case wd8:
            FillStrided<TCodec8>(column, m_blockAlign, rows,
                                 static_cast<int32_t>(static_cast<uint32_t>(value) + 127u));
            break;
        case wd16:
            FillStrided<TCodec16>(column, m_blockAlign, rows, value);
            break;
        case wd24:
            FillStrided<TCodec24>(column, m_blockAlign, rows, value);
            break;
        case wd32:
            FillStrided<TCodec32>(column, m_blockAlign, rows, value);
            break;
        case wdNone:
            break;
        }
    }
}

void TDruAudioBuffer::Zero() {
    if (m_containerBits == 8) {
        Fill(0); // 8-bit silence is 127
        return;
    }
    VecZero8u(GetWritePointer(), Len(GetByteSize()));
}

void TDruAudioBuffer::Scale(double factor) {
    const TWidth width = WidthOf(m_containerBits);
    const uint32_t bytes = BytesOf(width);
    if (width == wdNone) {
        return;
    }
    uint8_t* target = GetModifyPointer();
    auto scale = [&](uint8_t* at, uint32_t step, uint32_t columns, uint32_t rows) {
        switch (width) {
        case wd8:
            ScaleStrided<TCodec8>(at, step, columns, rows, factor);
            break;
        case wd16:
            ScaleStrided<TCodec16>(at, step, columns, rows, factor);
            break;
        case wd24:
            ScaleStrided<TCodec24>(at, step, columns, rows, factor);
            break;
        case wd32:
            ScaleStrided<TCodec32>(at, step, columns, rows, factor);
            break;
        case wdNone:
            break;
        }
    };
    if (m_blockAlign == m_channels * bytes) {
        scale(target, m_blockAlign, m_channels, GetSize());
        return;
    }
    for (uint32_t channel = 0; channel < m_channels; ++channel) {
        scale(target + ChannelOffset(channel), m_blockAlign, 1, SafeFrames(channel, bytes));
    }
}

void TDruAudioBuffer::CopyTo(uint32_t sourceOffset, TZemGenericBuffer& destination,
                             uint32_t destinationOffset, uint32_t count) const {
    auto* audio = BufferCast<TDruAudioBuffer>(&destination);
    if (audio == nullptr) {
        // Byte copy from the sample area, cut to what both buffers hold.
        const uint32_t sourceBytes = GetByteSize();
        const uint32_t destinationBytes = destination.GetByteSize();
        if (sourceOffset >= sourceBytes || destinationOffset >= destinationBytes) {
            return;
        }
        count = std::min({count, sourceBytes - sourceOffset, destinationBytes - destinationOffset});
        uint8_t* target = static_cast<uint8_t*>(destination.GetModifyPointer()) + destinationOffset;
        VecCopy8u(m_data + sourceOffset, target, Len(count));
        return;
    }
    const TWidth from = WidthOf(m_containerBits);
    const TWidth to = WidthOf(audio->m_containerBits);
    if (from == wdNone || to == wdNone || count == 0) {
        return;
    }
    // The destination may be this very buffer: detach first, then read the current address.
    uint8_t* target = audio->GetModifyPointer();
    const uint8_t* source = m_data;
    auto run = [&](uint32_t thisChannel, uint32_t otherChannel, uint32_t columns) {
        const uint32_t sourceFrames = SafeFrames(thisChannel + columns - 1, BytesOf(from));
        const uint32_t targetFrames = audio->SafeFrames(otherChannel + columns - 1, BytesOf(to));
        if (sourceOffset >= sourceFrames || destinationOffset >= targetFrames) {
            return;
        }
        const uint32_t rows =
            std::min({count, sourceFrames - sourceOffset, targetFrames - destinationOffset});
        Convert(from, to,
                source + uint64_t{sourceOffset} * m_blockAlign + ChannelOffset(thisChannel),
                m_blockAlign,
                target + uint64_t{destinationOffset} * audio->m_blockAlign +
                    audio->ChannelOffset(otherChannel),
                audio->m_blockAlign, columns, rows);
    };
    const TChannelPairs pairs =
        PairBySpeaker(m_channelMask, m_channels, audio->m_channelMask, audio->m_channels);
    if (pairs.m_count > 1 && pairs.IsIdentity()) {
        run(0, 0, pairs.m_count); // adjacent columns on both sides, each in its own width
        return;
    }
    for (uint32_t i = 0; i < pairs.m_count; ++i) {
        run(pairs.m_pairs[i].m_this, pairs.m_pairs[i].m_other, 1);
    }
}
