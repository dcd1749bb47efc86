// The capture component against a stand-in service, for what a real sound server cannot
// produce on demand: blocks that are not a whole number of frames, machines without a capture
// device, devices that vanish or change.

#include "CaptureTestSupport.h"
#include "buffers/ZemInternalStore.h"
#include "capture/DruDSAudioIn.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <numeric>
#include <vector>

namespace {

using namespace std::chrono_literals;

class AudioInTest : public ::testing::Test {
  protected:
    AudioInTest() : m_service(std::make_shared<TFakeCaptureService>()), m_scope(m_service) {}

    void SetUp() override {
        m_pinsBefore = TVokBasicPin::LiveCount();
        m_operationsBefore = TVokNotifyOperation::LiveCount();
        m_blocksBefore = PoolBlocksInUse();
    }
    void TearDown() override {
        EXPECT_EQ(TVokBasicPin::LiveCount(), m_pinsBefore);
        EXPECT_EQ(TVokNotifyOperation::LiveCount(), m_operationsBefore);
        EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore);
    }

    /// A stereo 16-bit 44100 Hz component linked to `sink`.
    std::unique_ptr<TDruDSAudioIn> MakeAudioIn(TRecordingSink& sink) {
        auto audioIn = std::make_unique<TDruDSAudioIn>(nullptr);
        audioIn->GetAudioFormat()->SetSampleRate(44100);
        EXPECT_TRUE(audioIn->GetOutputPin()->Connect(sink.GetInputPin()));
        return audioIn;
    }

    bool WaitForBuffers(const TRecordingSink& sink, size_t count) {
        return PumpUntil([&] { return sink.CountOf(TRecordedEvent::kBuffer) >= count; }, 10s);
    }

    std::shared_ptr<TFakeCaptureService> m_service;
    TServiceScope m_scope;
    int64_t m_pinsBefore = 0;
    int64_t m_operationsBefore = 0;
    int64_t m_blocksBefore = 0;
};

TEST_F(AudioInTest, BlocksDeliverTheirWholeFramesOnly) {
    m_service->m_devices = {TFakeCaptureService::Device("Mic")};
    TRecordingSink sink(true);
    std::unique_ptr<TDruDSAudioIn> audioIn = MakeAudioIn(sink);
    audioIn->Start();
    ASSERT_TRUE(audioIn->GetEnabled());
    const std::optional<THoxStreamFormat> opened = m_service->GetOpenedFormat();
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(*opened, (THoxStreamFormat{2, 16, 44100, 1024}));

    // 1024 frames and 3 bytes of a frame: the buffer holds the 1024 frames.
    std::vector<uint8_t> block(4099);
    std::iota(block.begin(), block.end(), uint8_t{0});
    ASSERT_TRUE(m_service->Push(block, 1000, 233219));
    ASSERT_TRUE(WaitForBuffers(sink, 1));
    // Less than a frame: no buffer; then two frames.
    ASSERT_TRUE(m_service->Push(std::vector<uint8_t>(3, 9), 233219, 233220));
    ASSERT_TRUE(m_service->Push(std::vector<uint8_t>(8, 5), 233220, 233221));
    ASSERT_TRUE(WaitForBuffers(sink, 2));
    audioIn->Stop();
    audioIn->Stop();

    const std::vector<TRecordedEvent> events = sink.GetEvents();
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].m_kind, TRecordedEvent::kStartWave);
    EXPECT_EQ(events[1].m_kind, TRecordedEvent::kBuffer);
    EXPECT_EQ(events[2].m_kind, TRecordedEvent::kResume);
    EXPECT_EQ(events[3].m_kind, TRecordedEvent::kBuffer);
    EXPECT_EQ(events[4].m_kind, TRecordedEvent::kStop);
    EXPECT_EQ(events[1].m_frames, 1024u);
    EXPECT_EQ(events[1].m_sampleBytes, 4096u);
    EXPECT_TRUE(std::equal(events[1].m_samples.begin(), events[1].m_samples.end(), block.begin()));
    EXPECT_TRUE(events[1].m_timeValid);
    EXPECT_EQ(events[1].m_startTime, 1000);
    EXPECT_EQ(events[1].m_stopTime, 233219);
    EXPECT_EQ(events[3].m_frames, 2u);
    EXPECT_EQ(events[3].m_samples, std::vector<uint8_t>(8, 5));
}

TEST_F(AudioInTest, WithoutAnyDeviceTheGraphRunsAndProducesNothing) {
    m_service->m_devices.clear();
    m_service->m_defaultIndex = -1;
    TRecordingSink sink;
    std::unique_ptr<TDruDSAudioIn> audioIn = MakeAudioIn(sink);
    int built = 0;
    audioIn->GetGraph()->SetOnGraphBuilt([&built](TVokComponent*) { ++built; });
    audioIn->Start();
    EXPECT_TRUE(audioIn->GetEnabled());
    EXPECT_TRUE(audioIn->IsPrepared());
    // Built and connected once by the preparation, once more by the run.
    EXPECT_EQ(built, 2);
    EXPECT_FALSE(m_service->Push(std::vector<uint8_t>(16), 0, 1));
    EXPECT_EQ(sink.CountOf(TRecordedEvent::kStartWave), 0u);
    EXPECT_EQ(audioIn->GetModes().GetCount(), 0);
    EXPECT_EQ(audioIn->GetInputSources().GetCount(), 0);
    audioIn->Stop();
    EXPECT_FALSE(audioIn->GetEnabled());
    EXPECT_EQ(sink.CountOf(TRecordedEvent::kBuffer), 0u);
}

TEST_F(AudioInTest, AStoredDeviceThatIsGoneFallsBackToAnAlternative) {
    m_service->m_devices = {TFakeCaptureService::Device("Mic"),
                            TFakeCaptureService::Device("Line")};
    TRecordingSink sink;
    std::unique_ptr<TDruDSAudioIn> audioIn = MakeAudioIn(sink);
    TDSAudioCaptureDevice* device = audioIn->GetAudioCaptureDevice();
    device->SetDeviceName("Mic");
    device->GetAlternativeDevices()->Add();
    device->GetAlternativeDevices()->GetAlternative(0)->SetDeviceName("Line");
    m_service->m_devices.erase(m_service->m_devices.begin());

    audioIn->Start();
    ASSERT_TRUE(audioIn->GetEnabled());
    EXPECT_EQ(device->GetCurrentName(), "Line");
    EXPECT_EQ(device->GetCurrentMonikerName(), "Fake:Line");
    ASSERT_TRUE(m_service->Push(std::vector<uint8_t>(64), 0, 1));
    EXPECT_TRUE(WaitForBuffers(sink, 1));
    audioIn->Stop();
}

TEST_F(AudioInTest, ChangingTheDeviceWhileCapturingStopsAndBuildsAnewAtTheNextStart) {
    m_service->m_devices = {TFakeCaptureService::Device("Mic"),
                            TFakeCaptureService::Device("Line")};
    TRecordingSink sink;
    std::unique_ptr<TDruDSAudioIn> audioIn = MakeAudioIn(sink);
    audioIn->Start();
    ASSERT_TRUE(audioIn->GetEnabled());
    EXPECT_EQ(audioIn->GetBuildCount(), 1u);

    audioIn->GetAudioCaptureDevice()->SetDeviceName("Line");
    EXPECT_FALSE(audioIn->GetEnabled());
    EXPECT_FALSE(audioIn->IsPrepared());
    EXPECT_EQ(sink.CountOf(TRecordedEvent::kStop), 1u);
    EXPECT_EQ(audioIn->GetAudioCaptureDevice()->GetCurrentName(), "");

    audioIn->Start();
    EXPECT_EQ(audioIn->GetBuildCount(), 2u);
    EXPECT_EQ(audioIn->GetAudioCaptureDevice()->GetCurrentMonikerName(), "Fake:Line");
    audioIn->Stop();
}

TEST_F(AudioInTest, EnabledIsStoredWhileLoadingAndStartsAtLoaded) {
    m_service->m_devices.clear();
    m_service->m_defaultIndex = -1;
    TDruDSAudioIn stayOff(nullptr);
    stayOff.BeginLoading();
    stayOff.SetEnabled(false);
    EXPECT_FALSE(stayOff.GetEnablePin()->GetValue());
    stayOff.Loaded();
    EXPECT_FALSE(stayOff.GetEnabled());

    TDruDSAudioIn startsAtLoad(nullptr);
    startsAtLoad.BeginLoading();
    startsAtLoad.Loaded();
    EXPECT_TRUE(startsAtLoad.GetEnabled());
    startsAtLoad.SetEnabled(false);
    EXPECT_FALSE(startsAtLoad.GetEnabled());
}

TEST_F(AudioInTest, AStopComingUpFromASinkStopsTheCapture) {
    m_service->m_devices = {TFakeCaptureService::Device("Mic")};
    TRecordingSink sink;
    TRecordingSink other;
    std::unique_ptr<TDruDSAudioIn> audioIn = MakeAudioIn(sink);
    ASSERT_TRUE(audioIn->GetOutputPin()->Connect(other.GetInputPin()));
    audioIn->Start();
    ASSERT_TRUE(audioIn->GetEnabled());
    const TRef<TVokStopOperation> stop = MakeRef<TVokStopOperation>();
    sink.GetInputPin()->Notify(stop.Get());
    EXPECT_FALSE(audioIn->GetEnabled());
    EXPECT_EQ(sink.CountOf(TRecordedEvent::kStop), 1u);
    EXPECT_EQ(other.CountOf(TRecordedEvent::kStop), 1u);
}

} // namespace
