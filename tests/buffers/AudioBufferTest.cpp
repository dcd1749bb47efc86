#include "buffers/DruAudioBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// Every test must give back every block it took from the pool.
class AudioBufferTest : public ::testing::Test {
  protected:
    void SetUp() override { m_blocksBefore = PoolBlocksInUse(); }
    void TearDown() override {
        EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore) << "pool blocks leaked";
    }

    int64_t m_blocksBefore = 0;
};

template <class Param> class AudioBufferParamTest : public ::testing::TestWithParam<Param> {
  protected:
    void SetUp() override { m_blocksBefore = PoolBlocksInUse(); }
    void TearDown() override {
        EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore) << "pool blocks leaked";
    }

    int64_t m_blocksBefore = 0;
};

constexpr uint32_t kStereo = 0x3;     // front left, front right
constexpr uint32_t kLeftCenter = 0x5; // front left, front center
constexpr uint32_t kLeftRightCenter = 0x7;
constexpr uint32_t kLeftCenterBack = 0x15; // front left, front center, back left
constexpr uint32_t kCenter = 0x4;

TRef<TDruAudioBuffer> MakeAudio(uint32_t mask, uint32_t frames, uint32_t channels, uint32_t bits,
                                uint32_t rate = 44100) {
    return MakeRef<TDruAudioBuffer>(rate, mask, frames, channels, bits);
}

// The sample as a signed value of its width (8-bit: the raw byte).
int64_t Signed(const TDruAudioBuffer& buffer, uint32_t frame, uint32_t channel) {
    const int64_t raw = buffer.GetSample(frame, channel);
    if (buffer.GetContainerBits() == 24) {
        return raw >= 0x800000 ? raw - 0x1000000 : raw;
    }
    return raw;
}

int64_t Wrap(int64_t value, uint32_t bits) {
    const int64_t range = int64_t{1} << bits;
    int64_t low = value & (range - 1);
    return bits == 8 ? low : (low >= range / 2 ? low - range : low);
}

int64_t MinOf(uint32_t bits) {
    return bits == 8 ? 0 : -(int64_t{1} << (bits - 1));
}

int64_t MaxOf(uint32_t bits) {
    return bits == 8 ? 255 : (int64_t{1} << (bits - 1)) - 1;
}

void ExpectRangeError(const std::function<void()>& call, const char* message) {
    try {
        call();
        ADD_FAILURE() << "no exception for " << message;
    } catch (const ERangeError& error) {
        EXPECT_STREQ(error.what(), message);
    }
}

// ---- sizes and header ----------------------------------------------------------------------

TEST_F(AudioBufferTest, Stereo16BitBufferOf1024Frames) {
    auto buffer = MakeAudio(kStereo, 1024, 2, 16);
    EXPECT_EQ(buffer->TZemGenericBuffer::GetByteSize(), 4136u) << "4096 sample bytes + header";
    EXPECT_EQ(buffer->GetStorage()->GetAllocatedSize(), 8192u);
    EXPECT_EQ(buffer->GetByteSize(), 4096u);
    EXPECT_EQ(buffer->GetSize(), 1024u);
    EXPECT_EQ(buffer->GetReadPointer(), buffer->GetHeader() + 40);
    EXPECT_EQ(buffer->GetHeader(), buffer->GetStorage()->GetData());
    EXPECT_EQ(buffer->GetChannels(), 2u);
    EXPECT_EQ(buffer->GetBits(), 16u);
    EXPECT_EQ(buffer->GetContainerBits(), 16u);
    EXPECT_EQ(buffer->GetBlockAlign(), 4u);
    EXPECT_EQ(buffer->GetSampleRate(), 44100u);
    EXPECT_EQ(buffer->GetChannelMask(), kStereo);
    EXPECT_EQ(buffer->GetFormatSize(), 40u);
    EXPECT_EQ(buffer->GetSampleByteSize(), 2u);

    auto twelve = MakeAudio(kStereo, 10, 2, 12);
    EXPECT_EQ(twelve->GetContainerBits(), 16u);
    EXPECT_EQ(twelve->GetBlockAlign(), 4u);
    EXPECT_EQ(twelve->GetByteSize(), 40u);
    EXPECT_EQ(MakeAudio(kStereo, 0, 2, 16)->GetSize(), 0u);
}

TEST_F(AudioBufferTest, FormatsTheRecordCannotHoldAreRefused) {
    EXPECT_THROW(MakeAudio(kStereo, 4, 70000, 16), std::invalid_argument);
    EXPECT_THROW(MakeAudio(kStereo, 4, 20000, 32), std::invalid_argument) << "80000-byte frames";
    EXPECT_THROW(MakeAudio(kStereo, 4, 2, 0xFFFFFFFFu), std::invalid_argument);
    EXPECT_THROW(MakeAudio(kStereo, 1u << 28, 2, 16), std::length_error);
    EXPECT_THROW(MakeRef<TDruAudioBuffer>(nullptr, 16u), std::invalid_argument);
}

TEST_F(AudioBufferTest, SetSizeRules) {
    auto buffer = MakeAudio(kStereo, 1024, 2, 16);
    for (uint32_t f = 0; f < 1024; ++f) {
        buffer->SetSample(f, 0, static_cast<int32_t>(f));
        buffer->SetSample(f, 1, -static_cast<int32_t>(f));
    }
    buffer->GetTimeStamp()->SetStartTime(77);
    const uint8_t* block = buffer->GetReadPointer();

    buffer->SetSize(0, true);
    EXPECT_EQ(buffer->GetSize(), 1024u) << "0 frames changes nothing";
    buffer->SetSize(10, true);
    EXPECT_EQ(buffer->GetSize(), 10u);
    EXPECT_EQ(buffer->TZemGenericBuffer::GetByteSize(), 80u);
    EXPECT_EQ(buffer->GetReadPointer(), block) << "shrinking never reallocates";
    buffer->SetSize(2038, true); // (8192 − 40) ÷ 4 frames fit the block
    EXPECT_EQ(buffer->GetReadPointer(), block) << "exclusive storage grows in place";
    EXPECT_EQ(buffer->GetSample(1000, 0), 1000);

    buffer->SetSize(2039, true);
    EXPECT_EQ(buffer->GetStorage()->GetAllocatedSize(), 16384u);
    EXPECT_EQ(buffer->GetSize(), 2039u);
    EXPECT_EQ(buffer->GetSampleRate(), 44100u) << "the header moves along";
    EXPECT_EQ(buffer->GetChannels(), 2u);
    EXPECT_EQ(buffer->GetTimeStamp()->GetStartTime(), 77) << "so does the time stamp";
    EXPECT_EQ(buffer->GetSample(1023, 0), 1023) << "contents kept";
    EXPECT_EQ(buffer->GetSample(1023, 1), -1023);

    // Shared storage grows into a new block even though the old one would fit.
    auto shared = BufferCast<TDruAudioBuffer>(buffer->Clone());
    buffer->SetSize(3000, false);
    EXPECT_NE(buffer->GetStorage(), shared->GetStorage());
    EXPECT_EQ(buffer->GetChannelMask(), kStereo);
    EXPECT_EQ(shared->GetSize(), 2039u);
    EXPECT_THROW(buffer->SetSize(1u << 28, true), std::length_error);
    EXPECT_EQ(buffer->GetSize(), 3000u);
}

// ---- sample access -------------------------------------------------------------------------

TEST_F(AudioBufferTest, SampleAccessByWidth) {
    auto eight = MakeAudio(kStereo, 3, 2, 8);
    eight->SetSample(2, 1, 0x1FF); // low byte only
    EXPECT_EQ(eight->GetSample(2, 1), 255) << "8-bit samples read raw";

    auto sixteen = MakeAudio(kStereo, 3, 2, 12);
    sixteen->SetSample(0, 1, -2);
    sixteen->SetSample(1, 0, 70000); // low 16 bits: 4464
    EXPECT_EQ(sixteen->GetSample(0, 1), -2);
    EXPECT_EQ(sixteen->GetSample(1, 0), 4464);
    EXPECT_EQ(sixteen->GetReadPointer()[2], 0xFE) << "little-endian, channel 1 at byte 2";

    auto twentyFour = MakeAudio(kStereo, 3, 2, 20);
    twentyFour->Zero();
    twentyFour->SetSample(1, 1, -1);
    EXPECT_EQ(twentyFour->GetSample(1, 1), 16777215) << "24-bit samples are not sign-extended";
    twentyFour->SetSample(2, 0, 0x12345678);
    EXPECT_EQ(twentyFour->GetSample(2, 0), 0x345678);
    const uint8_t* bytes = twentyFour->GetReadPointer() + 2 * 6;
    EXPECT_EQ(bytes[0], 0x78);
    EXPECT_EQ(bytes[2], 0x34);
    EXPECT_EQ(bytes[3], 0x00) << "three bytes, no more";

    auto thirtyTwo = MakeAudio(kStereo, 3, 2, 32);
    thirtyTwo->SetSample(0, 0, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(thirtyTwo->GetSample(0, 0), std::numeric_limits<int32_t>::min());
}

TEST_F(AudioBufferTest, IndexErrorsCarryTheExactMessages) {
    auto buffer = MakeAudio(kStereo, 4, 2, 16);
    ExpectRangeError([&] { buffer->GetSample(0, 2); }, "Channel out of range = 2");
    ExpectRangeError([&] { buffer->GetSample(4, 0); }, "Index out of range = 4");
    ExpectRangeError([&] { buffer->GetSample(9, 9); }, "Channel out of range = 9");
    ExpectRangeError([&] { buffer->GetSample(0xFFFFFFFFu, 0); }, "Index out of range = 4294967295");
    ExpectRangeError([&] { buffer->SetSample(0, 2, 1); }, "Channel out of rabge = 2");
    ExpectRangeError([&] { buffer->SetSample(4, 1, 1); }, "Index out of rabge = 4");
    auto access = buffer->GetAccess();
    ExpectRangeError([&] { access->GetSample(5, 0); }, "Index out of range = 5");
}

// ---- arithmetic ----------------------------------------------------------------------------

enum TOp { opAdd, opSubtract, opMultiply, opDivide };

// Independent reference: the rules written out on 64-bit values.
int64_t Reference(uint32_t bits, TOp op, int64_t a, int64_t b) {
    if (bits == 8) {
        int64_t r = 0;
        switch (op) {
        case opAdd:
            r = a + (b - 127);
            break;
        case opSubtract:
            r = a + (127 - b);
            break;
        case opMultiply:
            r = (a - 127) * (b - 127) + 127;
            break;
        case opDivide:
            r = b == 127 ? 127 : (a - 127) / (b - 127) + 127;
            break;
        }
        return Wrap(r, 8);
    }
    if (op == opDivide && b == 0) {
        return a == 0 ? 0 : (a > 0 ? MaxOf(bits) : MinOf(bits));
    }
    int64_t exact = 0;
    switch (op) {
    case opAdd:
        exact = a + b;
        break;
    case opSubtract:
        exact = a - b;
        break;
    case opMultiply:
        exact = a * b;
        break;
    case opDivide:
        exact = bits == 16 ? static_cast<int64_t>(std::nearbyint(double(a) / double(b))) : a / b;
        break;
    }
    if (bits == 16) {
        return std::clamp(exact, MinOf(16), MaxOf(16));
    }
    return Wrap(exact, bits);
}

struct TLayout {
    const char* m_name;
    uint32_t m_thisMask;
    uint32_t m_thisChannels;
    uint32_t m_otherMask;
    uint32_t m_otherChannels;
    uint32_t m_otherFrames;
    std::vector<std::pair<uint32_t, uint32_t>> m_pairs; // (this channel, other channel)
};

const TLayout kLayouts[] = {
    {"SameStereo", kStereo, 2, kStereo, 2, 40, {{0, 0}, {1, 1}}},
    {"BySpeaker", kLeftRightCenter, 3, kLeftCenterBack, 3, 33, {{0, 0}, {2, 1}}},
    {"MonoOntoAll", kStereo, 2, kCenter, 1, 40, {{0, 0}, {1, 0}}},
};

void FillRandom(TDruAudioBuffer& buffer, std::mt19937& random, const std::vector<int64_t>& head) {
    const uint32_t bits = buffer.GetContainerBits();
    std::uniform_int_distribution<int64_t> value(MinOf(bits), MaxOf(bits));
    uint32_t next = 0;
    for (uint32_t f = 0; f < buffer.GetSize(); ++f) {
        for (uint32_t c = 0; c < buffer.GetChannels(); ++c, ++next) {
            const int64_t v = next < head.size() ? head[next] : value(random);
            buffer.SetSample(f, c, static_cast<int32_t>(v));
        }
    }
}

using TArithmeticParam = std::tuple<uint32_t, TOp, int>;

class AudioArithmeticTest : public AudioBufferParamTest<TArithmeticParam> {};

TEST_P(AudioArithmeticTest, MatchesTheReferenceOnPairedChannelsOnly) {
    const auto [bits, op, layoutIndex] = GetParam();
    const TLayout& layout = kLayouts[layoutIndex];
    std::mt19937 random(1234 + bits * 16 + op * 4 + static_cast<uint32_t>(layoutIndex));
    auto target = MakeAudio(layout.m_thisMask, 40, layout.m_thisChannels, bits);
    auto other = MakeAudio(layout.m_otherMask, layout.m_otherFrames, layout.m_otherChannels, bits);
    // Edge values first: extremes, zero, minus one, the 8-bit zero level; the other buffer's
    // head holds zero divisors and 127 against them.
    const int64_t lo = MinOf(bits);
    const int64_t hi = MaxOf(bits);
    FillRandom(*target, random, {hi, lo, 0, -1, 127, 5, -7, hi, lo, 0, 3, 200});
    FillRandom(*other, random, {0, 0, 0, 0, 127, 2, 2, -1, -1, 0, 127, 1});
    auto before = BufferCast<TDruAudioBuffer>(target->Clone());

    switch (op) {
    case opAdd:
        target->Add(*other);
        break;
    case opSubtract:
        target->Subtract(*other);
        break;
    case opMultiply:
        target->Multiply(*other);
        break;
    case opDivide:
        target->Divide(*other);
        break;
    }
    ASSERT_NE(before->GetStorage(), target->GetStorage()) << "shared storage detaches first";

    for (uint32_t c = 0; c < layout.m_thisChannels; ++c) {
        const auto pair = std::find_if(layout.m_pairs.begin(), layout.m_pairs.end(),
                                       [c](const auto& p) { return p.first == c; });
        for (uint32_t f = 0; f < 40; ++f) {
            const int64_t a = Signed(*before, f, c);
            int64_t expected = a;
            if (pair != layout.m_pairs.end() && f < layout.m_otherFrames) {
                expected = Reference(bits, op, a, Signed(*other, f, pair->second));
            }
            ASSERT_EQ(Signed(*target, f, c), expected)
                << "frame " << f << " channel " << c << " a " << a;
        }
    }
}

std::string ArithmeticName(const ::testing::TestParamInfo<TArithmeticParam>& info) {
    static const char* const kOps[] = {"Add", "Subtract", "Multiply", "Divide"};
    return std::string(kOps[std::get<1>(info.param)]) + std::to_string(std::get<0>(info.param)) +
           "Bit" + kLayouts[std::get<2>(info.param)].m_name;
}

INSTANTIATE_TEST_SUITE_P(WidthsOpsLayouts, AudioArithmeticTest,
                         ::testing::Combine(::testing::Values(8u, 16u, 24u, 32u),
                                            ::testing::Values(opAdd, opSubtract, opMultiply,
                                                              opDivide),
                                            ::testing::Values(0, 1, 2)),
                         ArithmeticName);

struct TZeroDivisorCase {
    uint32_t m_bits;
    int32_t m_dividend;
    int32_t m_divisor;
    int64_t m_quotient;
};

class ZeroDivisorTest : public AudioBufferParamTest<TZeroDivisorCase> {};

TEST_P(ZeroDivisorTest, SaturatesTowardTheDividendsSign) {
    const TZeroDivisorCase& c = GetParam();
    auto target = MakeAudio(kCenter, 1, 1, c.m_bits);
    auto divisor = MakeAudio(kCenter, 1, 1, c.m_bits);
    target->SetSample(0, 0, c.m_dividend);
    divisor->SetSample(0, 0, c.m_divisor);
    target->Divide(*divisor);
    EXPECT_EQ(Signed(*target, 0, 0), c.m_quotient);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, ZeroDivisorTest,
    ::testing::Values(TZeroDivisorCase{8, 200, 127, 127}, TZeroDivisorCase{8, 0, 127, 127},
                      TZeroDivisorCase{16, 5, 0, 32767}, TZeroDivisorCase{16, -5, 0, -32768},
                      TZeroDivisorCase{16, 0, 0, 0}, TZeroDivisorCase{24, 5, 0, 8388607},
                      TZeroDivisorCase{24, -5, 0, -8388608}, TZeroDivisorCase{24, 0, 0, 0},
                      TZeroDivisorCase{32, 5, 0, 2147483647},
                      TZeroDivisorCase{32, -5, 0, -2147483648LL}, TZeroDivisorCase{32, 0, 0, 0},
                      TZeroDivisorCase{32, std::numeric_limits<int32_t>::min(), -1,
                                       std::numeric_limits<int32_t>::min()},
                      TZeroDivisorCase{24, -8388608, -1, -8388608}, TZeroDivisorCase{16, 7, 2, 4},
                      TZeroDivisorCase{24, 7, 2, 3}, TZeroDivisorCase{24, -7, 2, -3}));

TEST_F(AudioBufferTest, SpeakerPairing) {
    // A mono buffer added to a stereo one changes both channels.
    auto stereo = MakeAudio(kStereo, 2, 2, 16);
    stereo->Fill(100);
    auto mono = MakeAudio(kCenter, 2, 1, 16);
    mono->Fill(5);
    stereo->Add(*mono);
    EXPECT_EQ(stereo->GetSample(1, 0), 105);
    EXPECT_EQ(stereo->GetSample(1, 1), 105);

    // [front left, front right] onto [front left, front center]: only front left meets.
    auto leftCenter = MakeAudio(kLeftCenter, 2, 2, 16);
    leftCenter->Fill(100);
    auto leftRight = MakeAudio(kStereo, 2, 2, 16);
    leftRight->SetSample(0, 0, 1);
    leftRight->SetSample(0, 1, 2);
    leftRight->SetSample(1, 0, 3);
    leftRight->SetSample(1, 1, 4);
    leftCenter->Add(*leftRight);
    EXPECT_EQ(leftCenter->GetSample(0, 0), 101);
    EXPECT_EQ(leftCenter->GetSample(1, 0), 103);
    EXPECT_EQ(leftCenter->GetSample(0, 1), 100) << "front center has no partner";
    EXPECT_EQ(leftCenter->GetSample(1, 1), 100);

    // A mask naming more speakers than there are channels pairs only existing channels.
    auto wide = MakeAudio(kLeftRightCenter, 2, 2, 16);
    wide->Fill(10);
    auto center = MakeAudio(kLeftCenter, 2, 2, 16);
    center->Fill(1);
    wide->Add(*center);
    EXPECT_EQ(wide->GetSample(0, 0), 11);
    EXPECT_EQ(wide->GetSample(0, 1), 10);
}

TEST_F(AudioBufferTest, OtherWidthIsReadInThisWidthWithinItsSampleArea) {
    auto target = MakeAudio(kStereo, 4, 2, 32);
    target->Zero();
    auto narrow = MakeAudio(kStereo, 4, 2, 8); // 8 sample bytes
    for (uint32_t i = 0; i < 8; ++i) {
        narrow->GetModifyPointer()[i] = static_cast<uint8_t>(i + 1);
    }
    std::memset(narrow->GetModifyPointer() + 8, 0x55, 16); // block bytes after the samples
    target->Add(*narrow);
    // Four bytes at each of the 8-bit buffer's sample offsets, where they fit.
    EXPECT_EQ(target->GetSample(0, 0), 0x04030201);
    EXPECT_EQ(target->GetSample(2, 0), 0x08070605);
    EXPECT_EQ(target->GetSample(1, 1), 0x07060504);
    EXPECT_EQ(target->GetSample(2, 1), 0) << "would read past the other's sample area";
    EXPECT_EQ(target->GetSample(3, 0), 0);
}

// ---- fill, zero, scale ---------------------------------------------------------------------

TEST_F(AudioBufferTest, FillAndZeroByWidth) {
    auto eight = MakeAudio(kStereo, 5, 2, 8);
    eight->Zero();
    for (uint32_t i = 0; i < eight->GetByteSize(); ++i) {
        ASSERT_EQ(eight->GetReadPointer()[i], 127) << "8-bit zero level";
    }
    eight->Fill(200);
    EXPECT_EQ(eight->GetSample(4, 1), (200 + 127) % 256);
    eight->Fill(-127);
    EXPECT_EQ(eight->GetSample(0, 0), 0);

    auto sixteen = MakeAudio(kStereo, 5, 2, 16);
    sixteen->Fill(0x12345);
    EXPECT_EQ(sixteen->GetSample(4, 1), 0x2345);
    sixteen->Zero();
    EXPECT_EQ(sixteen->GetSample(4, 1), 0);

    auto twentyFour = MakeAudio(kStereo, 5, 2, 24);
    twentyFour->Fill(-2);
    EXPECT_EQ(twentyFour->GetSample(3, 1), 0xFFFFFE);
    twentyFour->Zero();
    for (uint32_t i = 0; i < twentyFour->GetByteSize(); ++i) {
        ASSERT_EQ(twentyFour->GetReadPointer()[i], 0);
    }

    auto thirtyTwo = MakeAudio(kStereo, 5, 2, 32);
    thirtyTwo->Fill(-5);
    EXPECT_EQ(thirtyTwo->GetSample(4, 0), -5);

    // Fill writes through the write pointer: a sharer keeps its samples.
    auto shared = BufferCast<TDruAudioBuffer>(thirtyTwo->Clone());
    thirtyTwo->Fill(9);
    EXPECT_EQ(shared->GetSample(4, 0), -5);
    EXPECT_EQ(thirtyTwo->GetSample(4, 0), 9);
    EXPECT_EQ(thirtyTwo->GetChannels(), 2u) << "the format survives a write detach";
}

struct TScaleCase {
    uint32_t m_bits;
    int32_t m_sample;
    double m_factor;
    int64_t m_expected;
};

class AudioScaleTest : public AudioBufferParamTest<TScaleCase> {};

TEST_P(AudioScaleTest, RoundsToEvenAndSaturates) {
    const TScaleCase& c = GetParam();
    auto buffer = MakeAudio(kStereo, 3, 2, c.m_bits);
    buffer->Fill(0);
    buffer->SetSample(2, 1, c.m_sample);
    buffer->Scale(c.m_factor);
    EXPECT_EQ(Signed(*buffer, 2, 1), c.m_expected);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, AudioScaleTest,
    ::testing::Values(TScaleCase{16, 3, 0.5, 2}, TScaleCase{16, 5, 0.5, 2},
                      TScaleCase{16, -3, 0.5, -2}, TScaleCase{16, 30000, 2.0, 32767},
                      TScaleCase{16, -30000, 2.0, -32768}, TScaleCase{16, 7, NAN, 0},
                      TScaleCase{8, 200, 0.5, 100}, TScaleCase{8, 201, 0.5, 100},
                      TScaleCase{8, 200, 2.0, 255}, TScaleCase{8, 100, -1.0, 0},
                      TScaleCase{24, -1, 3.0, -3}, TScaleCase{24, 8000000, 2.0, 8388607},
                      TScaleCase{32, -7, 0.5, -4}, TScaleCase{32, 2147483647, 2.0, 2147483647},
                      TScaleCase{32, 3, -INFINITY, -2147483648LL}));

// ---- width conversion ----------------------------------------------------------------------

int64_t ReferenceConvert(uint32_t from, uint32_t to, int64_t x) {
    int64_t r = x;
    if (from == to) {
        return x;
    }
    if (from == 8 && to == 16) {
        r = x * 257 - 32768;
    } else if (from == 8 && to == 32) {
        r = x * 16843009 - 2147483648LL;
    } else if (from == 16 && to == 8) {
        r = Wrap(((x - (x >> 8)) >> 8) + 128, 8);
    } else if (from == 32 && to == 8) {
        r = Wrap(((x - (x >> 8)) >> 24) + 128, 8);
    } else if (from == 16 && to == 32) {
        r = x * 2147483647 / 32767;
    } else if (from == 32 && to == 16) {
        r = x * 32767 / 2147483647;
    } else if (from == 8) { // to 24
        r = (x - 127) * 8388607 / 127;
    } else if (from == 16) {
        r = x * 8388607 / 32767;
    } else if (from == 32) {
        r = x * 8388607 / 2147483647;
    } else if (to == 8) { // from 24
        r = x * 127 / 8388607 + 127;
    } else if (to == 16) {
        r = x * 32767 / 8388607;
    } else {
        r = x * 2147483647 / 8388607;
    }
    return std::clamp(r, MinOf(to), MaxOf(to));
}

using TConvertParam = std::tuple<uint32_t, uint32_t, bool>;

class AudioConvertTest : public AudioBufferParamTest<TConvertParam> {};

// Every width pair, through adjacent channels (stereo → stereo) and through separate speaker
// pairs ([front left, front right, front center] → [front left, front center, back left]).
TEST_P(AudioConvertTest, CopyToConvertsEveryWidthPair) {
    const auto [from, to, bySpeaker] = GetParam();
    const std::vector<int64_t> values = {
        MinOf(from), MinOf(from) + 1, -1, 0, 1, 127, 128, MaxOf(from) - 1,
        MaxOf(from), MaxOf(from) / 3};
    const auto frames = static_cast<uint32_t>(values.size());
    const std::vector<std::pair<uint32_t, uint32_t>> pairs =
        bySpeaker ? std::vector<std::pair<uint32_t, uint32_t>>{{0, 0}, {2, 1}}
                  : std::vector<std::pair<uint32_t, uint32_t>>{{0, 0}, {1, 1}};
    auto source = bySpeaker ? MakeAudio(kLeftRightCenter, frames, 3, from)
                            : MakeAudio(kStereo, frames, 2, from);
    auto target = bySpeaker ? MakeAudio(kLeftCenterBack, frames + 2, 3, to)
                            : MakeAudio(kStereo, frames + 2, 2, to);
    std::mt19937 random(from * 100 + to);
    std::uniform_int_distribution<int64_t> any(MinOf(from), MaxOf(from));
    for (uint32_t f = 0; f < frames; ++f) {
        source->SetSample(f, 0, static_cast<int32_t>(values[f]));
        for (uint32_t c = 1; c < source->GetChannels(); ++c) {
            source->SetSample(f, c, static_cast<int32_t>(any(random)));
        }
    }
    target->Fill(1);
    const int64_t untouched = Signed(*target, 0, 0);
    source->CopyTo(0, *target, 2, frames);
    for (uint32_t f = 0; f < frames; ++f) {
        for (const auto& [fromChannel, toChannel] : pairs) {
            const int64_t x = Signed(*source, f, fromChannel);
            ASSERT_EQ(Signed(*target, f + 2, toChannel), ReferenceConvert(from, to, x))
                << "frame " << f << " channel " << fromChannel << " x " << x;
        }
        if (bySpeaker) {
            ASSERT_EQ(Signed(*target, f + 2, 2), untouched) << "back left has no partner";
        }
    }
    EXPECT_EQ(Signed(*target, 1, 0), untouched) << "frames before the offset stay";
}

INSTANTIATE_TEST_SUITE_P(WidthPairs, AudioConvertTest,
                         ::testing::Combine(::testing::Values(8u, 16u, 24u, 32u),
                                            ::testing::Values(8u, 16u, 24u, 32u),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return std::to_string(std::get<0>(info.param)) + "To" +
                                    std::to_string(std::get<1>(info.param)) +
                                    (std::get<2>(info.param) ? "BySpeaker" : "Adjacent");
                         });

// 24-bit samples are signed in every conversion, whatever GetSample reports.
TEST_F(AudioBufferTest, TwentyFourBitConversionsKeepTheSign) {
    auto convert = [](uint32_t from, uint32_t to, int32_t sample) {
        auto source = MakeAudio(kCenter, 1, 1, from);
        auto target = MakeAudio(kCenter, 1, 1, to);
        source->SetSample(0, 0, sample);
        source->CopyTo(0, *target, 0, 1);
        return target->GetSample(0, 0);
    };
    EXPECT_EQ(convert(24, 16, -1), 0);
    EXPECT_EQ(convert(24, 16, -8388607), -32767);
    EXPECT_EQ(convert(24, 16, -4194304), -16383);
    EXPECT_EQ(convert(24, 16, 8388607), 32767);
    EXPECT_EQ(convert(24, 8, -8388607), 0);
    EXPECT_EQ(convert(24, 8, -1), 127);
    EXPECT_EQ(convert(24, 8, 8388607), 254);
    EXPECT_EQ(convert(24, 32, -1), -256);
    EXPECT_EQ(convert(24, 32, -8388607), -2147483647);
    EXPECT_EQ(convert(24, 32, -8388608), std::numeric_limits<int32_t>::min()) << "saturates";
    EXPECT_EQ(convert(16, 24, -1), 0xFFFF00) << "-256 in three bytes";
    EXPECT_EQ(convert(16, 24, -32767), 0x800001);
    EXPECT_EQ(convert(16, 24, -32768), 0x800000) << "saturates instead of wrapping positive";
    EXPECT_EQ(convert(8, 24, 0), 0x800001);
    EXPECT_EQ(convert(8, 24, 127), 0);
    EXPECT_EQ(convert(8, 24, 255), 0x7FFFFF);
    EXPECT_EQ(convert(32, 24, -2147483647), 0x800001);
    EXPECT_EQ(convert(32, 24, -1), 0) << "truncates toward zero";
    EXPECT_EQ(convert(24, 24, -1), 0xFFFFFF);
}

TEST_F(AudioBufferTest, CopyToCutsTheCountAndFallsBackToBytes) {
    auto source = MakeAudio(kStereo, 6, 2, 16);
    for (uint32_t f = 0; f < 6; ++f) {
        source->SetSample(f, 0, static_cast<int32_t>(10 + f));
        source->SetSample(f, 1, static_cast<int32_t>(20 + f));
    }
    auto target = MakeAudio(kStereo, 4, 2, 16);
    target->Fill(-1);
    auto keep = BufferCast<TDruAudioBuffer>(target->Clone());
    source->CopyTo(3, *target, 2, 100); // 3 frames left in the source, 2 in the target
    EXPECT_EQ(target->GetSample(1, 0), -1);
    EXPECT_EQ(target->GetSample(2, 0), 13);
    EXPECT_EQ(target->GetSample(3, 1), 24);
    EXPECT_EQ(keep->GetSample(3, 1), -1) << "destination detached first";
    source->CopyTo(6, *target, 0, 1); // nothing left to copy
    source->CopyTo(0, *target, 4, 1);
    EXPECT_EQ(target->GetSample(0, 0), -1);

    // A stereo buffer copied to a mono front-left buffer: only front left goes.
    auto left = MakeAudio(0x1, 6, 1, 16);
    source->CopyTo(0, *left, 0, 6);
    EXPECT_EQ(left->GetSample(5, 0), 15);

    // Any other destination takes bytes of the sample area, cut to both sizes.
    auto bytes = MakeRef<TZemBlockBuffer>(6u);
    std::memset(bytes->GetWritePointer(), 0, 6);
    source->CopyTo(20, *bytes, 2, 100);
    EXPECT_EQ(bytes->GetReadPointer()[1], 0);
    EXPECT_EQ(bytes->GetReadPointer()[2], 15) << "frame 5, channel 0, low byte";
    EXPECT_EQ(bytes->GetReadPointer()[4], 25);
    EXPECT_EQ(bytes->GetReadPointer()[5], 0);
}

// ---- sharing, detaching, time stamp --------------------------------------------------------

TEST_F(AudioBufferTest, SharingCopiesNoSamplesAndChecksTheClass) {
    auto buffer = MakeAudio(kStereo, 8, 2, 16);
    TZemGenericBuffer* generic = buffer.Get();
    auto sink = MakeRef<TDruAudioBuffer>(generic);
    EXPECT_EQ(sink->GetReadPointer(), buffer->GetReadPointer());
    EXPECT_EQ(sink->GetStorage()->GetOwners(), 2);
    EXPECT_EQ(sink->GetSize(), 8u);

    auto real = MakeRef<TZemRealBuffer>(4u);
    EXPECT_THROW(MakeRef<TDruAudioBuffer>(real.Get()), std::invalid_argument);
    EXPECT_THROW(MakeRef<TDruAudioBuffer>(static_cast<TZemGenericBuffer*>(nullptr)),
                 std::invalid_argument);
    EXPECT_THROW(sink->Assign(*real), std::invalid_argument);

    auto other = MakeAudio(kCenter, 3, 1, 24, 8000);
    sink->Assign(*other);
    EXPECT_EQ(sink->GetChannels(), 1u) << "the cached format follows the new storage";
    EXPECT_EQ(sink->GetSampleRate(), 8000u);
    EXPECT_EQ(sink->GetSize(), 3u);
    EXPECT_NE(BufferCast<IDruAudioBuffer>(sink->GetInstance()), nullptr);
    EXPECT_EQ(BufferCast<IZemRealBuffer>(sink->GetInstance()), nullptr);
}

TEST_F(AudioBufferTest, DetachWithoutCopyKeepsTheFormatAndTimeStamp) {
    auto buffer = MakeAudio(kLeftCenter, 16, 2, 24, 22050);
    buffer->Fill(1234);
    TTavTimeStamp* stamp = buffer->GetTimeStamp();
    stamp->SetTimeValid(true);
    stamp->SetStartTime(-5);
    stamp->SetStopTime(1LL << 40);
    auto shared = BufferCast<TDruAudioBuffer>(buffer->Clone());
    EXPECT_TRUE(shared->GetTimeStamp()->GetTimeValid()) << "the stamp lives in the storage";

    EXPECT_TRUE(buffer->MakeUnique(false));
    EXPECT_NE(buffer->GetStorage(), shared->GetStorage());
    EXPECT_EQ(buffer->GetChannels(), 2u);
    EXPECT_EQ(buffer->GetSampleRate(), 22050u);
    EXPECT_EQ(buffer->GetBits(), 24u);
    EXPECT_EQ(buffer->GetChannelMask(), kLeftCenter);
    EXPECT_EQ(buffer->GetSize(), 16u);
    EXPECT_TRUE(stamp->GetTimeValid());
    EXPECT_EQ(stamp->GetStartTime(), -5);
    EXPECT_EQ(stamp->GetStopTime(), 1LL << 40);

    // A later stamp change stays with its own storage.
    stamp->SetTimeValid(false);
    stamp->SetStartTime(9);
    EXPECT_TRUE(shared->GetTimeStamp()->GetTimeValid());
    EXPECT_EQ(shared->GetTimeStamp()->GetStartTime(), -5);

    // Detaching for modification copies the samples too.
    auto copy = BufferCast<TDruAudioBuffer>(shared->Clone());
    copy->SetSample(0, 0, 7);
    EXPECT_EQ(copy->GetSample(15, 1), 1234);
    EXPECT_EQ(shared->GetSample(0, 0), 1234);
}

TEST_F(AudioBufferTest, AccessObjectForwardsAndDetaches) {
    auto buffer = MakeAudio(kStereo, 4, 2, 16, 32000);
    auto access = buffer->GetAccess();
    access->Fill(3);
    access->SetSample(1, 1, -4);
    EXPECT_EQ(access->GetSample(1, 1), -4);
    EXPECT_EQ(access->GetChannels(), 2u);
    EXPECT_EQ(access->GetSampleRate(), 32000u);
    EXPECT_EQ(access->GetBlockAlign(), 4u);
    EXPECT_EQ(access->GetSize(), 4u);
    uint8_t record[kDruFormatRecordSize];
    access->GetFormat(record);
    EXPECT_EQ(DruLoadWaveFormat(record), DruMakeWaveFormat(32000, kStereo, 2, 16));
    buffer.Reset();
    EXPECT_TRUE(access->IsDetached());
    EXPECT_THROW(access->GetSample(0, 0), std::logic_error);
}

// ---- bad records and partial frames --------------------------------------------------------

constexpr uint8_t kSentinel = 0xA5;

TRef<TDruAudioBuffer> MakeFromRecord(uint16_t channels, uint16_t blockAlign, uint16_t bits,
                                     uint16_t validBits, uint32_t sampleBytes) {
    TDruWaveFormat format = DruMakeWaveFormat(44100, kStereo, channels, validBits);
    format.m_blockAlign = blockAlign;
    format.m_bitsPerSample = bits;
    uint8_t record[kDruFormatRecordSize];
    DruStoreWaveFormat(format, record);
    auto buffer = MakeRef<TDruAudioBuffer>(record, sampleBytes);
    // Everything after the sample area, up to the end of the block, is a sentinel.
    uint8_t* samples = buffer->GetModifyPointer();
    const uint32_t blockEnd = buffer->GetStorage()->GetAllocatedSize() - kDruFormatRecordSize;
    std::memset(samples, 0, sampleBytes);
    std::memset(samples + sampleBytes, kSentinel, blockEnd - sampleBytes);
    return buffer;
}

void ExpectSentinels(const TDruAudioBuffer& buffer, uint32_t sampleBytes) {
    const uint8_t* samples = buffer.GetReadPointer();
    const uint32_t blockEnd = buffer.GetStorage()->GetAllocatedSize() - kDruFormatRecordSize;
    for (uint32_t i = sampleBytes; i < blockEnd; ++i) {
        ASSERT_EQ(samples[i], kSentinel) << "byte " << i << " past the sample area was written";
    }
}

struct TBadRecordCase {
    const char* m_name;
    uint16_t m_channels;
    uint16_t m_blockAlign;
    uint16_t m_bits;
    uint16_t m_validBits;
    uint32_t m_sampleBytes;
    uint32_t m_frames;
};

class BadRecordTest : public AudioBufferParamTest<TBadRecordCase> {};

// No operation reads or writes past the sample area, whatever the record and byte size say;
// only indices outside the buffer raise.
TEST_P(BadRecordTest, StaysInsideTheSampleArea) {
    const TBadRecordCase& c = GetParam();
    auto buffer =
        MakeFromRecord(c.m_channels, c.m_blockAlign, c.m_bits, c.m_validBits, c.m_sampleBytes);
    EXPECT_EQ(buffer->GetByteSize(), c.m_sampleBytes);
    EXPECT_EQ(buffer->GetSize(), c.m_frames);
    ExpectRangeError([&] { buffer->GetSample(c.m_frames, 0); },
                     ("Index out of range = " + std::to_string(c.m_frames)).c_str());
    ExpectRangeError([&] { buffer->GetSample(0, c.m_channels); },
                     ("Channel out of range = " + std::to_string(c.m_channels)).c_str());

    auto good = MakeAudio(kStereo, 64, 2, 16);
    good->Fill(3);
    auto mono = MakeAudio(kCenter, 64, 1, 16);
    mono->Fill(2);
    for (uint32_t f = 0; f < c.m_frames; ++f) {
        for (uint32_t ch = 0; ch < c.m_channels; ++ch) {
            buffer->SetSample(f, ch, 0x01010101);
            (void)buffer->GetSample(f, ch);
        }
    }
    buffer->Fill(0x7F7F7F7F);
    buffer->Scale(1.0);
    buffer->Add(*good);
    buffer->Multiply(*mono);
    buffer->Divide(*good);
    buffer->CopyTo(0, *buffer, 1, 64);
    good->CopyTo(0, *buffer, 0, 64);
    ExpectSentinels(*buffer, c.m_sampleBytes);

    // Reading: copied out, a sample past the area would bring the sentinel along.
    auto target = MakeAudio(kStereo, 64, 2, 16);
    target->Zero();
    buffer->CopyTo(0, *target, 0, 64);
    good->Add(*buffer);
    for (uint32_t f = 0; f < 64; ++f) {
        for (uint32_t ch = 0; ch < 2; ++ch) {
            ASSERT_NE(target->GetSample(f, ch) & 0xFF, kSentinel) << f << "/" << ch;
            ASSERT_NE(target->GetSample(f, ch) >> 8 & 0xFF, kSentinel) << f << "/" << ch;
        }
    }
    buffer->Zero();
    ExpectSentinels(*buffer, c.m_sampleBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Records, BadRecordTest,
    ::testing::Values(
        // A trailing partial frame: 3 whole frames and 3 bytes.
        TBadRecordCase{"PartialFrame16", 2, 4, 16, 16, 15, 3},
        TBadRecordCase{"PartialFrame24", 2, 6, 24, 24, 20, 3},
        TBadRecordCase{"PartialFrame8", 2, 2, 8, 8, 7, 3},
        // Frames too short for their channels: channel 1 of the last frame sticks out.
        TBadRecordCase{"BlockAlignTooSmall", 2, 3, 16, 16, 24, 8},
        // Valid bits wider than the container.
        TBadRecordCase{"ValidBitsAboveContainer", 2, 2, 8, 16, 8, 4},
        TBadRecordCase{"ContainerOfForty", 2, 10, 40, 40, 25, 2},
        TBadRecordCase{"PaddedFrames", 2, 6, 16, 16, 33, 5},
        TBadRecordCase{"NoBlockAlign", 2, 0, 16, 16, 16, 0}),
    [](const auto& info) { return std::string(info.param.m_name); });

TEST_F(AudioBufferTest, PaddedFramesKeepTheirPadding) {
    auto buffer = MakeFromRecord(2, 6, 16, 16, 30);
    buffer->Fill(-1);
    buffer->Scale(2.0);
    for (uint32_t f = 0; f < 5; ++f) {
        EXPECT_EQ(buffer->GetSample(f, 1), -2);
        EXPECT_EQ(buffer->GetReadPointer()[f * 6 + 4], 0) << "padding untouched";
        EXPECT_EQ(buffer->GetReadPointer()[f * 6 + 5], 0);
    }
}

// ---- threads -------------------------------------------------------------------------------

// Threads each take a buffer on one shared storage, stamp and modify it; copy on write gives
// each its own block with the stamp and format, and the original stays as it was.
TEST_F(AudioBufferTest, ConcurrentSharersDetachWithTheirStamps) {
    auto original = MakeAudio(kStereo, 256, 2, 16);
    original->Fill(11);
    original->GetTimeStamp()->SetStartTime(42);
    constexpr int kThreads = 4;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        auto mine = BufferCast<TDruAudioBuffer>(original->Clone());
        threads.emplace_back([mine, t, &failures] {
            for (int round = 0; round < 50; ++round) {
                auto copy = BufferCast<TDruAudioBuffer>(mine->Clone());
                copy->Scale(2.0);
                copy->GetTimeStamp()->SetStopTime(t);
                if (copy->GetSample(255, 1) != 22 || copy->GetTimeStamp()->GetStartTime() != 42 ||
                    copy->GetChannels() != 2) {
                    ++failures[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[t], 0) << "thread " << t;
    }
    EXPECT_EQ(original->GetSample(255, 1), 11);
    EXPECT_EQ(original->GetTimeStamp()->GetStopTime(), 0);
}

} // namespace
