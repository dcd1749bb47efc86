#include "buffers/DruAudioFormat.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <vector>

#include "buffers/DruAudioBuffer.h"

namespace {

using TBytes = std::vector<uint8_t>;

TBytes RecordOf(const uint8_t* record) {
    return TBytes(record, record + kDruFormatRecordSize);
}

// The 16 sub-format bytes of integer PCM as the platform lays the GUID out.
const TBytes kPcmGuidBytes = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                              0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

TBytes WithGuid(TBytes head) {
    head.insert(head.end(), kPcmGuidBytes.begin(), kPcmGuidBytes.end());
    return head;
}

struct TRecordCase {
    const char* m_name;
    uint32_t m_sampleRate;
    uint32_t m_channels;
    uint32_t m_bits;
    TDruSpeakers m_mask;
    TBytes m_expected; // written out by hand, byte for byte
};

class FormatRecordTest : public ::testing::TestWithParam<TRecordCase> {};

// The same bytes come from the format object, from the record maker and from an audio
// buffer's header, and decode back to the same fields.
TEST_P(FormatRecordTest, IsByteExact) {
    const TRecordCase& c = GetParam();
    TDruAudioFormat format(nullptr, nullptr);
    format.SetSampleRate(c.m_sampleRate);
    format.SetChannels(c.m_channels);
    format.SetBits(c.m_bits);
    format.SetChannelMask(c.m_mask);
    EXPECT_EQ(RecordOf(format.GetFormatRecord()), c.m_expected);

    auto buffer = MakeRef<TDruAudioBuffer>(c.m_sampleRate, c.m_mask, 7u, c.m_channels, c.m_bits);
    uint8_t header[kDruFormatRecordSize] = {};
    buffer->GetFormat(header);
    EXPECT_EQ(RecordOf(header), c.m_expected);

    const TDruWaveFormat decoded = DruLoadWaveFormat(c.m_expected.data());
    EXPECT_EQ(decoded, format.GetWaveFormat());
    EXPECT_EQ(decoded.m_subFormat, kDruSubFormatPcm);
    uint8_t again[kDruFormatRecordSize] = {};
    DruStoreWaveFormat(decoded, again);
    EXPECT_EQ(RecordOf(again), c.m_expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatRecordTest,
    ::testing::Values(
        TRecordCase{
            "Stereo16Bit44100", 44100, 2, 16, TDruSpeakers{spFrontLeft, spFrontRight},
            WithGuid({0xFE, 0xFF, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1, 0x02, 0x00,
                      0x04, 0x00, 0x10, 0x00, 0x16, 0x00, 0x10, 0x00, 0x03, 0x00, 0x00, 0x00})},
        TRecordCase{
            "Stereo12Bit11025", 11025, 2, 12, TDruSpeakers{spFrontLeft, spFrontRight},
            WithGuid({0xFE, 0xFF, 0x02, 0x00, 0x11, 0x2B, 0x00, 0x00, 0x44, 0xAC, 0x00, 0x00,
                      0x04, 0x00, 0x10, 0x00, 0x16, 0x00, 0x0C, 0x00, 0x03, 0x00, 0x00, 0x00})},
        TRecordCase{
            "FiveChannels24Bit48000", 48000, 5, 24,
            TDruSpeakers{spFrontLeft, spFrontRight, spFrontCenter, spSubwoofer, spBackLeft},
            WithGuid({0xFE, 0xFF, 0x05, 0x00, 0x80, 0xBB, 0x00, 0x00, 0x80, 0xFC, 0x0A, 0x00,
                      0x0F, 0x00, 0x18, 0x00, 0x16, 0x00, 0x18, 0x00, 0x1F, 0x00, 0x00, 0x00})},
        TRecordCase{
            "Mono20BitTopBackRight", 8000, 1, 20, TDruSpeakers{spTopBackRight},
            WithGuid({0xFE, 0xFF, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0xC0, 0x5D, 0x00, 0x00,
                      0x03, 0x00, 0x18, 0x00, 0x16, 0x00, 0x14, 0x00, 0x00, 0x00, 0x02, 0x00})}),
    [](const auto& info) { return std::string(info.param.m_name); });

// ---- the format object ---------------------------------------------------------------------

class AudioFormatTest : public ::testing::Test {
  protected:
    TDruAudioFormat MakeFormat() {
        return TDruAudioFormat(&m_owner, [this](TDruAudioFormatBasic& format) {
            EXPECT_EQ(&format, m_expectedFormat);
            ++m_changes;
        });
    }

    TVokObject m_owner;
    int m_changes = 0;
    const TDruAudioFormatBasic* m_expectedFormat = nullptr;
};

TEST_F(AudioFormatTest, DefaultsAndNoNotificationWhileBuilding) {
    TDruAudioFormat format(&m_owner, [this](TDruAudioFormatBasic&) { ++m_changes; });
    EXPECT_EQ(m_changes, 0) << "the owner is told of changes only once it exists";
    EXPECT_EQ(format.GetChannels(), 2u);
    EXPECT_EQ(format.GetBits(), 16u);
    EXPECT_EQ(format.GetSampleRate(), 11025u);
    EXPECT_EQ(format.GetChannelMask(), (TDruSpeakers{spFrontLeft, spFrontRight}));
    EXPECT_EQ(format.GetBufferSize(), 1024u);
    EXPECT_EQ(format.GetContainerBits(), 16u);
    EXPECT_EQ(format.GetBlockAlign(), 4u);
    EXPECT_EQ(RecordOf(format.GetFormatRecord()),
              WithGuid({0xFE, 0xFF, 0x02, 0x00, 0x11, 0x2B, 0x00, 0x00, 0x44, 0xAC, 0x00, 0x00,
                        0x04, 0x00, 0x10, 0x00, 0x16, 0x00, 0x10, 0x00, 0x03, 0x00, 0x00, 0x00}));
}

struct TSetterCase {
    const char* m_name;
    void (*m_set)(TDruAudioFormat&, uint32_t);
    uint32_t (*m_get)(const TDruAudioFormat&);
    uint32_t m_value;
    uint32_t m_stored;
    bool m_notifies; // starting from the defaults
};

class FormatSetterTest : public ::testing::TestWithParam<TSetterCase> {};

TEST_P(FormatSetterTest, ClampsAndNotifiesByItsRule) {
    const TSetterCase& c = GetParam();
    int changes = 0;
    TDruAudioFormat format(nullptr, [&](TDruAudioFormatBasic&) { ++changes; });
    c.m_set(format, c.m_value);
    EXPECT_EQ(c.m_get(format), c.m_stored);
    EXPECT_EQ(changes, c.m_notifies ? 1 : 0);
}

constexpr auto SetChannels = [](TDruAudioFormat& f, uint32_t v) { f.SetChannels(v); };
constexpr auto GetChannels = [](const TDruAudioFormat& f) { return f.GetChannels(); };
constexpr auto SetBits = [](TDruAudioFormat& f, uint32_t v) { f.SetBits(v); };
constexpr auto GetBits = [](const TDruAudioFormat& f) { return f.GetBits(); };
constexpr auto SetRate = [](TDruAudioFormat& f, uint32_t v) { f.SetSampleRate(v); };
constexpr auto GetRate = [](const TDruAudioFormat& f) { return f.GetSampleRate(); };
constexpr auto SetBufferSize = [](TDruAudioFormat& f, uint32_t v) { f.SetBufferSize(v); };
constexpr auto GetBufferSize = [](const TDruAudioFormat& f) { return f.GetBufferSize(); };

INSTANTIATE_TEST_SUITE_P(
    Rules, FormatSetterTest,
    ::testing::Values(
        TSetterCase{"ChannelsZeroBecomesOne", SetChannels, GetChannels, 0, 1, true},
        TSetterCase{"ChannelsCapAt32", SetChannels, GetChannels, 1000, 32, true},
        TSetterCase{"ChannelsEqualIsNoChange", SetChannels, GetChannels, 2, 2, false},
        TSetterCase{"BitsSevenBecomesEight", SetBits, GetBits, 7, 8, true},
        TSetterCase{"BitsCapAt32", SetBits, GetBits, 40, 32, true},
        TSetterCase{"BitsEqualIsNoChange", SetBits, GetBits, 16, 16, false},
        TSetterCase{"SampleRateUncheckedAlwaysNotifies", SetRate, GetRate, 0, 0, true},
        TSetterCase{"SampleRateEqualStillNotifies", SetRate, GetRate, 11025, 11025, true},
        TSetterCase{"BufferSizeZeroBecomesOne", SetBufferSize, GetBufferSize, 0, 1, true},
        TSetterCase{"BufferSizeEqualIsNoChange", SetBufferSize, GetBufferSize, 1024, 1024, false}),
    [](const auto& info) { return std::string(info.param.m_name); });

TEST_F(AudioFormatTest, RecordFollowsEverySetterExceptBufferSize) {
    TDruAudioFormat format = MakeFormat();
    m_expectedFormat = &format;
    format.SetBits(12);
    EXPECT_EQ(format.GetContainerBits(), 16u) << "12 valid bits sit in 16-bit containers";
    EXPECT_EQ(format.GetBlockAlign(), 4u);
    EXPECT_EQ(format.GetWaveFormat().m_validBitsPerSample, 12u);
    format.SetChannels(0);
    EXPECT_EQ(format.GetBlockAlign(), 2u);
    format.SetSampleRate(8000);
    EXPECT_EQ(format.GetWaveFormat().m_averageBytesPerSecond, 16000u);
    format.SetChannelMask(TDruSpeakers{spFrontCenter});
    format.SetChannelMask(TDruSpeakers{spFrontCenter}); // the same mask notifies again
    EXPECT_EQ(format.GetWaveFormat().m_channelMask, 4u);
    EXPECT_EQ(m_changes, 5);

    const TBytes before = RecordOf(format.GetFormatRecord());
    format.SetBufferSize(256);
    EXPECT_EQ(m_changes, 6) << "the buffer size notifies";
    EXPECT_EQ(RecordOf(format.GetFormatRecord()), before) << "but leaves the record alone";
}

// The change callback runs inside the setter's write lock on the owner: another thread that
// wants the owner's lock gets it only after the setter has returned.
TEST_F(AudioFormatTest, SettersHoldTheOwnersWriteLockThroughTheCallback) {
    std::atomic<bool> callbackDone{false};
    std::future<bool> other;
    TDruAudioFormat format(&m_owner, [&](TDruAudioFormatBasic&) {
        other = std::async(std::launch::async, [&] {
            TVokWriteLockSection section(m_owner);
            return callbackDone.load();
        });
        EXPECT_EQ(other.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout)
            << "the owner's lock must be held while the callback runs";
        callbackDone = true;
    });
    format.SetChannels(4);
    ASSERT_TRUE(other.valid());
    ASSERT_EQ(other.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "watchdog";
    EXPECT_TRUE(other.get());
}

TEST_F(AudioFormatTest, PublishedPropertiesReachTheSetters) {
    TDruAudioFormat format = MakeFormat();
    m_expectedFormat = &format;
    const TVokClassInfo* info = ClassInfoOf(&format);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetClassName(), "TDruAudioFormat");
    for (const char* name : {"SampleRate", "Channels", "Bits", "ChannelMask", "BufferSize"}) {
        const TVokPropertyInfo& property = info->GetProperty(name);
        EXPECT_TRUE(property.IsDefault(&format)) << name;
    }
    info->SetValue(&format, "Channels", int64_t{0});
    EXPECT_EQ(format.GetChannels(), 1u) << "the form goes through the clamping setter";
    info->SetValue(&format, "ChannelMask", TVokSetValue{{"spFrontCenter", "spTopBackRight"}});
    EXPECT_EQ(format.GetWaveFormat().m_channelMask, 0x20004u);
    EXPECT_EQ(info->GetValue(&format, "ChannelMask"),
              TVokValue(TVokSetValue{{"spFrontCenter", "spTopBackRight"}}));
    info->SetValue(&format, "BufferSize", int64_t{512});
    EXPECT_EQ(format.GetBufferSize(), 512u);
    EXPECT_THROW(info->SetValue(&format, "ChannelMask", TVokSetValue{{"spNowhere"}}),
                 std::invalid_argument);
    EXPECT_THROW(info->SetValue(&format, "Bits", int64_t{-1}), std::invalid_argument);
    EXPECT_EQ(m_changes, 3);
}

TEST_F(AudioFormatTest, AssignCopiesTheSettings) {
    TDruAudioFormat source(nullptr, nullptr);
    source.SetChannels(5);
    source.SetBits(24);
    source.SetSampleRate(48000);
    source.SetChannelMask(DruMaskToSpeakers(0x1F));
    source.SetBufferSize(333);
    TDruAudioFormat target = MakeFormat();
    m_expectedFormat = &target;
    target.Assign(&source);
    EXPECT_EQ(RecordOf(target.GetFormatRecord()), RecordOf(source.GetFormatRecord()));
    EXPECT_EQ(target.GetBufferSize(), 333u);

    TDruAudioFormatBasic basic(nullptr, nullptr);
    basic.Assign(&target);
    EXPECT_EQ(RecordOf(basic.GetFormatRecord()), RecordOf(source.GetFormatRecord()));
    TVokObject notAFormat;
    EXPECT_THROW(target.Assign(&notAFormat), std::invalid_argument);
}

} // namespace
