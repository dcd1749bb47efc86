// Live capture from the private sound server that ./test.sh starts (scripts/audio-server.sh):
// a 1000 Hz sine source at 44100 Hz is the default capture device. Every test here is skipped
// when the server's directory is not in the environment; the device-lost test kills and
// restarts that server, so these tests take turns (CTest resource lock).
//
// Figures (latency, cycle times, thread and descriptor counts, detection time) are printed as
// "[ figures ]" lines for the closing note; nothing asserts a timing beyond the bounds the
// design promises (device loss noticed within 2 s).

#include "CaptureTestSupport.h"
#include "buffers/ZemInternalStore.h"
#include "capture/DruDSAudioIn.h"
#include "capture/HoxPaCaptureService.h"
#include "components/DruAudioToReal.h"
#include "components/DruSpectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "AllocationCounting.h"

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr double kSineFrequency = 1000.0;
constexpr uint32_t kSampleRate = 44100;
constexpr uint32_t kBufferSize = 1024;

double Milliseconds(TClock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

/// Entries of a /proc directory of this process.
int CountEntries(const char* path) {
    DIR* directory = opendir(path);
    if (directory == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent* entry = readdir(directory)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(directory);
    return count - (std::string(path) == "/proc/self/fd" ? 1 : 0); // the directory itself
}

/// Runs the sound server script with `command`; true on success.
bool ServerScript(const char* command) {
    const std::string line = std::string(AUDIO_SERVER_SCRIPT) + " " + command + " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

/// Aborts the process when a step takes longer than its bound (a hang must fail, not stall).
class TWatchdog {
  public:
    TWatchdog(std::chrono::seconds bound, std::string what)
        : m_what(std::move(what)), m_deadline(TClock::now() + bound), m_thread([this] { Run(); }) {}
    ~TWatchdog() {
        m_done = true;
        m_thread.join();
    }

  private:
    void Run() {
        while (!m_done.load()) {
            if (TClock::now() > m_deadline) {
                std::fprintf(stderr, "watchdog: %s did not finish in time\n", m_what.c_str());
                std::abort();
            }
            std::this_thread::sleep_for(10ms);
        }
    }
    const std::string m_what;
    const TClock::time_point m_deadline;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

class LiveCapture : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("AUDIO_SERVER_DIR") == nullptr) {
            GTEST_SKIP() << "no private sound server (run ./test.sh, or eval \"$("
                         << AUDIO_SERVER_SCRIPT << " start)\")";
        }
        // A previous test may have left the server killed.
        if (!ServerScript("status")) {
            ASSERT_TRUE(ServerScript("restart"));
        }
        m_pinsBefore = TVokBasicPin::LiveCount();
        m_operationsBefore = TVokNotifyOperation::LiveCount();
        m_blocksBefore = PoolBlocksInUse();
    }
    void TearDown() override {
        if (IsSkipped()) {
            return;
        }
        EXPECT_EQ(TVokBasicPin::LiveCount(), m_pinsBefore);
        EXPECT_EQ(TVokNotifyOperation::LiveCount(), m_operationsBefore);
        EXPECT_EQ(PoolBlocksInUse(), m_blocksBefore);
    }

    static std::unique_ptr<TDruDSAudioIn> MakeAudioIn() {
        auto audioIn = std::make_unique<TDruDSAudioIn>(nullptr);
        audioIn->GetAudioFormat()->SetSampleRate(kSampleRate);
        audioIn->GetAudioFormat()->SetBufferSize(kBufferSize);
        return audioIn;
    }

    static bool WaitForBuffers(const TRecordingSink& sink, size_t count,
                               std::chrono::milliseconds timeout = 10s) {
        return PumpUntil([&] { return sink.CountOf(TRecordedEvent::kBuffer) >= count; }, timeout);
    }

    int64_t m_pinsBefore = 0;
    int64_t m_operationsBefore = 0;
    int64_t m_blocksBefore = 0;
};

TEST_F(LiveCapture, OneSecondFromDefaultFindsTheSineWithinOneBin) {
    TRecordingSink sink;
    TDruAudioToReal splitter(nullptr);
    TDruSpectrum spectrum(nullptr);
    spectrum.SetOrder(12);
    // Only linked outputs are computed.
    TRealDrain splitterDrain(2);
    TRealDrain spectrumDrain(2);
    for (int32_t channel = 0; channel < 2; ++channel) {
        ASSERT_TRUE(splitter.GetOutputPin(channel)->Connect(splitterDrain.GetInputPin(channel)));
        ASSERT_TRUE(spectrum.GetOutputPin(channel)->Connect(spectrumDrain.GetInputPin(channel)));
    }
    std::vector<double> peaks;
    spectrum.SetOnFrequencyResult([&peaks](TDruSpectrum*, int32_t channel, double frequency) {
        if (channel == 0) {
            peaks.push_back(frequency);
        }
    });
    std::unique_ptr<TDruDSAudioIn> audioIn = MakeAudioIn();
    ASSERT_EQ(audioIn->GetAudioCaptureDevice()->GetDeviceName(), "Default");
    ASSERT_TRUE(audioIn->GetOutputPin()->Connect(sink.GetInputPin()));
    ASSERT_TRUE(audioIn->GetOutputPin()->Connect(splitter.GetInputPin()));
    ASSERT_TRUE(audioIn->GetOutputPin()->Connect(spectrum.GetInputPin()));

    const TClock::time_point started = TClock::now();
    audioIn->Start();
    ASSERT_TRUE(audioIn->GetEnabled());
    ASSERT_TRUE(WaitForBuffers(sink, 1));
    const double firstLatency = Milliseconds(sink.GetEvents()[1].m_arrival - started);
    ASSERT_TRUE(PumpUntil([&] { return sink.GetFrames() >= kSampleRate; }, 15s));
    audioIn->Stop();
    ASSERT_TRUE(PumpUntil([&] { return !peaks.empty(); }, 5s));
    std::printf("[ figures ] first start (building the graph) to first buffer: %.1f ms\n",
                firstLatency);

    const std::vector<TRecordedEvent> events = sink.GetEvents();
    ASSERT_GE(events.size(), 3u);
    // The announcement: plain 16-bit stereo PCM completed to the extensible record.
    ASSERT_EQ(events[0].m_kind, TRecordedEvent::kStartWave);
    const TDruWaveFormat format = DruLoadWaveFormat(events[0].m_format.data());
    EXPECT_EQ(format.m_formatTag, kDruFormatTagExtensible);
    EXPECT_EQ(format.m_extraSize, 22);
    EXPECT_EQ(format.m_channels, 2);
    EXPECT_EQ(format.m_samplesPerSecond, kSampleRate);
    EXPECT_EQ(format.m_validBitsPerSample, 16);
    EXPECT_EQ(format.m_channelMask, 3u);
    EXPECT_EQ(format.m_blockAlign, 4);
    EXPECT_EQ(format.m_subFormat, kDruSubFormatPcm);
    EXPECT_EQ(events[0].m_rate, 43.06640625f);
    // Then whole 1024-frame buffers, contiguous in stream time, one resume after the first.
    int64_t expectedStart = 0;
    size_t resumes = 0;
    for (size_t index = 1; index < events.size(); ++index) {
        const TRecordedEvent& event = events[index];
        if (event.m_kind == TRecordedEvent::kResume) {
            EXPECT_EQ(index, 2u);
            ++resumes;
            continue;
        }
        if (event.m_kind == TRecordedEvent::kStop) {
            EXPECT_EQ(index, events.size() - 1);
            continue;
        }
        ASSERT_EQ(event.m_kind, TRecordedEvent::kBuffer) << "event " << index;
        EXPECT_EQ(event.m_frames, kBufferSize);
        EXPECT_EQ(event.m_sampleBytes, kBufferSize * 4);
        EXPECT_TRUE(event.m_timeValid);
        EXPECT_EQ(event.m_startTime, expectedStart);
        expectedStart = event.m_stopTime;
    }
    EXPECT_EQ(resumes, 1u);
    const double bin = static_cast<double>(kSampleRate) / 4096.0;
    EXPECT_NEAR(peaks.back(), kSineFrequency, bin) << "bin width " << bin << " Hz";
    EXPECT_GE(splitterDrain.GetValues(0), uint64_t{kSampleRate});
    EXPECT_EQ(splitterDrain.GetValues(1), splitterDrain.GetValues(0));
    EXPECT_GE(spectrumDrain.GetValues(0), uint64_t{kSampleRate} / 4096 * 2048);
    EXPECT_NEAR(spectrum.GetResultFrequency(1), kSineFrequency, bin);
}

TEST_F(LiveCapture, StopAndStartAgainRunTheSameGraph) {
    TRecordingSink sink;
    std::unique_ptr<TDruDSAudioIn> audioIn = MakeAudioIn();
    ASSERT_TRUE(audioIn->GetOutputPin()->Connect(sink.GetInputPin()));
    int built = 0;
    audioIn->GetGraph()->SetOnGraphBuilt([&built](TVokComponent*) { ++built; });
    audioIn->Start();
    ASSERT_TRUE(WaitForBuffers(sink, 3));
    EXPECT_EQ(built, 2);
    audioIn->Stop();
    EXPECT_FALSE(audioIn->GetEnabled());
    EXPECT_EQ(sink.GetEvents().back().m_kind, TRecordedEvent::kStop);
    const size_t buffersAtStop = sink.CountOf(TRecordedEvent::kBuffer);
    PumpUntil([] { return false; }, 100ms);
    EXPECT_EQ(sink.CountOf(TRecordedEvent::kBuffer), buffersAtStop) << "a buffer after the stop";
    audioIn->Stop(); // not capturing: no second stop operation
    EXPECT_EQ(sink.CountOf(TRecordedEvent::kStop), 1u);

    sink.Clear();
    const TClock::time_point restarted = TClock::now();
    audioIn->Start();
    ASSERT_TRUE(WaitForBuffers(sink, 3));
    std::printf("[ figures ] restart on the same graph to first buffer: %.1f ms\n",
                Milliseconds(sink.GetEvents()[1].m_arrival - restarted));
    EXPECT_EQ(audioIn->GetBuildCount(), 1u);
    EXPECT_EQ(built, 3);
    EXPECT_EQ(sink.GetEvents()[0].m_kind, TRecordedEvent::kStartWave);

    // Enabled := true while capturing: a new announcement, a new resume, no rebuild.
    sink.Clear();
    audioIn->SetEnabled(true);
    ASSERT_TRUE(WaitForBuffers(sink, 2));
    const std::vector<TRecordedEvent> events = sink.GetEvents();
    EXPECT_EQ(events[0].m_kind, TRecordedEvent::kStartWave);
    EXPECT_EQ(events[1].m_kind, TRecordedEvent::kBuffer);
    EXPECT_EQ(events[2].m_kind, TRecordedEvent::kResume);
    EXPECT_EQ(built, 3);
    EXPECT_TRUE(audioIn->GetEnabled());
    audioIn->SetEnabled(false);
    EXPECT_FALSE(audioIn->GetEnabled());
}

TEST_F(LiveCapture, TwoHundredStartStopCyclesKeepThreadsAndDescriptorsFlat) {
    TRecordingSink sink;
    std::unique_ptr<TDruDSAudioIn> audioIn = MakeAudioIn();
    ASSERT_TRUE(audioIn->GetOutputPin()->Connect(sink.GetInputPin()));
    // The first cycle builds the graph and opens the sound system; counts are taken after it.
    audioIn->Start();
    ASSERT_TRUE(WaitForBuffers(sink, 1));
    audioIn->Stop();
    const int threadsBefore = CountEntries("/proc/self/task");
    const int descriptorsBefore = CountEntries("/proc/self/fd");

    constexpr int kCycles = 200;
    double longestStop = 0.0;
    double totalFirstBuffer = 0.0;
    const TClock::time_point begin = TClock::now();
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        sink.Clear();
        const TClock::time_point started = TClock::now();
        {
            TWatchdog watchdog(20s, "start " + std::to_string(cycle));
            audioIn->Start();
            ASSERT_TRUE(audioIn->GetEnabled()) << "cycle " << cycle;
            ASSERT_TRUE(WaitForBuffers(sink, 1)) << "cycle " << cycle;
        }
        totalFirstBuffer += Milliseconds(sink.GetEvents()[1].m_arrival - started);
        const TClock::time_point stopping = TClock::now();
        {
            TWatchdog watchdog(20s, "stop " + std::to_string(cycle));
            audioIn->Stop();
        }
        longestStop = std::max(longestStop, Milliseconds(TClock::now() - stopping));
        ASSERT_FALSE(audioIn->GetEnabled());
    }
    const double total = Milliseconds(TClock::now() - begin);
    const int threadsAfter = CountEntries("/proc/self/task");
    const int descriptorsAfter = CountEntries("/proc/self/fd");
    std::printf("[ figures ] %d start/stop cycles: %.0f ms, %.1f ms per cycle, first buffer "
                "%.1f ms on average, longest stop %.1f ms; threads %d -> %d, descriptors "
                "%d -> %d\n",
                kCycles, total, total / kCycles, totalFirstBuffer / kCycles, longestStop,
                threadsBefore, threadsAfter, descriptorsBefore, descriptorsAfter);
    EXPECT_EQ(threadsAfter, threadsBefore);
    EXPECT_EQ(descriptorsAfter, descriptorsBefore);
    EXPECT_EQ(audioIn->GetBuildCount(), 1u);
}

TEST_F(LiveCapture, DeviceLostAbortsWithinTwoSecondsAndRestartCapturesAgain) {
    TRecordingSink sink;
    std::unique_ptr<TDruDSAudioIn> audioIn = MakeAudioIn();
    ASSERT_TRUE(audioIn->GetOutputPin()->Connect(sink.GetInputPin()));
    int lost = 0;
    audioIn->GetGraph()->SetOnDeviceLost([&lost](TVokComponent*) { ++lost; });
    audioIn->Start();
    ASSERT_TRUE(WaitForBuffers(sink, 5));

    const TClock::time_point killed = TClock::now();
    ASSERT_TRUE(ServerScript("kill"));
    const bool aborted = PumpUntil([&] { return !audioIn->GetEnabled(); }, 2s);
    const double detection = Milliseconds(TClock::now() - killed);
    ASSERT_TRUE(aborted) << "still capturing 2 s after the server was killed";
    std::printf("[ figures ] device lost noticed (Enabled false) %.1f ms after the kill\n",
                detection);
    EXPECT_EQ(lost, 1);
    const size_t buffers = sink.CountOf(TRecordedEvent::kBuffer);
    PumpUntil([] { return false; }, 300ms);
    EXPECT_EQ(sink.CountOf(TRecordedEvent::kBuffer), buffers) << "a buffer after the abort";
    // An abort sends no stop downstream.
    EXPECT_EQ(sink.CountOf(TRecordedEvent::kStop), 0u);

    ASSERT_TRUE(ServerScript("restart"));
    sink.Clear();
    const TClock::time_point restarted = TClock::now();
    audioIn->Start();
    ASSERT_TRUE(audioIn->GetEnabled());
    ASSERT_TRUE(WaitForBuffers(sink, 5));
    std::printf("[ figures ] start after the server came back to first buffer: %.1f ms\n",
                Milliseconds(sink.GetEvents()[1].m_arrival - restarted));
    EXPECT_EQ(audioIn->GetBuildCount(), 1u) << "the same graph runs again";
    audioIn->Stop();
}

TEST_F(LiveCapture, AnImpossibleFormatIsReportedOrRaised) {
    std::unique_ptr<TDruDSAudioIn> audioIn = MakeAudioIn();
    audioIn->GetAudioFormat()->SetSampleRate(1);
    std::vector<std::string> reports;
    audioIn->GetGraph()->SetOnError(
        [&reports](TVokComponent*, const std::string& text, int32_t code, bool& handled) {
            reports.push_back(text + " " + std::to_string(code));
            handled = true;
        });
    EXPECT_NO_THROW(audioIn->Start());
    EXPECT_FALSE(audioIn->GetEnabled());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rfind("Can't set desired audio format. -", 0), 0u) << reports[0];

    audioIn->GetGraph()->SetOnError(nullptr);
    try {
        audioIn->Start();
        FAIL() << "no exception";
    } catch (const EDSException& error) {
        EXPECT_EQ(error.GetErrorText(), "Can't set desired audio format.");
        EXPECT_EQ(std::string(error.what()).rfind("Can't set desired audio format. - 4294", 0), 0u)
            << error.what();
    }
    EXPECT_FALSE(audioIn->GetEnabled());

    // A possible format from then on works on the same component.
    TRecordingSink sink;
    ASSERT_TRUE(audioIn->GetOutputPin()->Connect(sink.GetInputPin()));
    audioIn->GetAudioFormat()->SetSampleRate(kSampleRate);
    audioIn->Start();
    EXPECT_TRUE(WaitForBuffers(sink, 1));
    audioIn->Stop();
}

TEST_F(LiveCapture, FormatChangesApplyFromTheNextBuiltGraph) {
    TRecordingSink sink;
    std::unique_ptr<TDruDSAudioIn> audioIn = MakeAudioIn();
    ASSERT_TRUE(audioIn->GetOutputPin()->Connect(sink.GetInputPin()));
    audioIn->Start();
    ASSERT_TRUE(WaitForBuffers(sink, 1));
    // While capturing: neither this run nor the next start on the same graph changes.
    audioIn->GetAudioFormat()->SetSampleRate(22050);
    audioIn->Stop();
    sink.Clear();
    audioIn->Start();
    ASSERT_TRUE(WaitForBuffers(sink, 1));
    EXPECT_EQ(DruLoadWaveFormat(sink.GetEvents()[0].m_format.data()).m_samplesPerSecond,
              kSampleRate);
    audioIn->Stop();
    EXPECT_EQ(audioIn->GetBuildCount(), 1u);
    // While stopped: the graph closes and the next start builds one with the new rate, here
    // 24-bit stereo, announced with its whole extensible record.
    audioIn->GetAudioFormat()->SetBits(24);
    sink.Clear();
    audioIn->Start();
    ASSERT_TRUE(WaitForBuffers(sink, 2));
    audioIn->Stop();
    EXPECT_EQ(audioIn->GetBuildCount(), 2u);
    const std::vector<TRecordedEvent> events = sink.GetEvents();
    const TDruWaveFormat format = DruLoadWaveFormat(events[0].m_format.data());
    EXPECT_EQ(format.m_samplesPerSecond, 22050u);
    EXPECT_EQ(format.m_bitsPerSample, 24);
    EXPECT_EQ(format.m_blockAlign, 6);
    EXPECT_EQ(events[0].m_rate, 22050.0f / kBufferSize);
    EXPECT_EQ(events[1].m_frames, kBufferSize);
    EXPECT_EQ(events[1].m_sampleBytes, kBufferSize * 6);
}

TEST_F(LiveCapture, AtMostElevenBlocksGoOutPerWake) {
    TRecordingSink sink;
    std::unique_ptr<TDruDSAudioIn> audioIn = MakeAudioIn();
    audioIn->GetAudioFormat()->SetBufferSize(256); // 5.8 ms per block
    ASSERT_TRUE(audioIn->GetOutputPin()->Connect(sink.GetInputPin()));
    TZemNotifyThread* thread = audioIn->GetNotifyThread();
    sink.SetWakeCounter([thread] { return thread->GetWakeCount(); });
    audioIn->Start();
    ASSERT_TRUE(WaitForBuffers(sink, 1));
    size_t queued = 0;
    {
        // The output pin shares the component's lock group: holding it holds the delivery.
        TVokWriteLockSection hold(*audioIn->GetOutputPin());
        PumpUntil([&] { return audioIn->GetBufferQueue().GetCount() >= 15; }, 5s);
        queued = audioIn->GetBufferQueue().GetCount();
        sink.Clear();
    }
    ASSERT_GE(queued, 15u);
    ASSERT_TRUE(WaitForBuffers(sink, queued));
    audioIn->Stop();
    // The counter reads the delivery thread, which goes before the component's output pin.
    sink.SetWakeCounter(nullptr);
    const std::vector<TRecordedEvent> events = sink.GetEvents();
    // The first wake after the release delivers 11 blocks, no more.
    const uint64_t firstWake = events.front().m_wake;
    size_t inFirstWake = 0;
    for (const TRecordedEvent& event : events) {
        inFirstWake += event.m_kind == TRecordedEvent::kBuffer && event.m_wake == firstWake;
    }
    EXPECT_EQ(inFirstWake, static_cast<size_t>(TDruDSAudioIn::kMaxBlocksPerWake));
}

#if CAPTURE_COUNTS_ALLOCATIONS
/// The hand-over on the stream's thread (the PortAudio callback into the grabber callback, the
/// queue and the wake of the delivery thread) takes nothing from the heap once it runs.
class TCountingHandOver final : public IHoxSampleSink, public IHoxStreamListener {
  public:
    explicit TCountingHandOver(THoxDSBufferQueue& queue, TZemNotifyThread& thread)
        : m_callback([&queue, &thread](const THoxMediaSample& sample) {
              queue.Enqueue(sample.m_startTime, sample.m_stopTime, sample.m_data, sample.m_length);
              thread.Signal();
          }) {
        m_grabber.SetCallback(&m_callback, 0);
    }
    void SampleArrived(const uint8_t* data, uint32_t length, int64_t startTime,
                       int64_t stopTime) noexcept override {
        const uint64_t before = CurrentThreadAllocations();
        m_grabber.SampleArrived(data, length, startTime, stopTime);
        const uint64_t calls = m_calls.fetch_add(1) + 1;
        if (calls > 50) {
            m_steadyAllocations.fetch_add(CurrentThreadAllocations() - before);
        }
    }
    void StreamLost() noexcept override {}

    std::atomic<uint64_t> m_calls{0};
    std::atomic<uint64_t> m_steadyAllocations{0};

  private:
    THoxDSSampleGrabberCB m_callback;
    THoxSampleGrabber m_grabber;
};

TEST_F(LiveCapture, TheStreamThreadsHandOverAllocatesNothingInSteadyState) {
    THoxDSBufferQueue queue;
    TZemNotifyThread consumer([&queue] {
        while (THoxDSQueueEntry* entry = queue.Dequeue()) {
            THoxDSBufferQueue::FreeEntry(entry);
        }
    });
    TCountingHandOver handOver(queue, consumer);
    std::shared_ptr<IHoxCaptureService> service = HoxGetCaptureService();
    std::optional<THoxCaptureDeviceDesc> device = service->GetDefaultInputDevice();
    ASSERT_TRUE(device.has_value());
    std::unique_ptr<IHoxCaptureStream> stream;
    ASSERT_EQ(service->OpenStream(device->m_monikerName, THoxStreamFormat{2, 16, kSampleRate, 256},
                                  handOver, handOver, stream),
              kHoxOk);
    ASSERT_EQ(stream->Start(), kHoxOk);
    const uint32_t blockSize = RoundAllocationSize(THoxDSQueueEntry::kHeaderSize + 256 * 4);
    PumpUntil([&] { return handOver.m_calls.load() >= 220; }, 20s);
    ASSERT_EQ(stream->Stop(), kHoxOk);
    stream.reset();
    consumer.Stop();
    EXPECT_GE(handOver.m_calls.load(), 220u);
    EXPECT_EQ(handOver.m_steadyAllocations.load(), 0u);
    // The blocks went round: the pool never needed more than a few at once.
    EXPECT_LE(PoolFreeBlocks(blockSize), 16);
}
#endif

} // namespace
