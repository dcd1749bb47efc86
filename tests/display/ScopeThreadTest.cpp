// A producer thread feeding a scope at 1 kHz while the GUI thread's refresh timer hands the data
// over and repaints: repaints stay throttled to the refresh interval, hold freezes the picture
// and the latest data show on release. Runs under ThreadSanitizer in the tsan preset.
#include "ScopeTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace scopetest;

namespace {

/// Runs the event loop until `done` or the watchdog's 10 s pass.
void PumpUntil(const std::function<bool()>& done) {
    QElapsedTimer watchdog;
    watchdog.start();
    while (!done()) {
        ASSERT_LT(watchdog.elapsed(), 10000) << "watchdog";
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

/// Sends 1024-sample buffers of `value` down both channels at about 1 kHz until stopped.
class TProducer {
  public:
    TProducer(TScopeRig& rig, std::atomic<double>& value) {
        m_thread = std::thread([this, &rig, &value] {
            std::vector<double> samples(1024);
            auto next = std::chrono::steady_clock::now();
            while (!m_stop.load()) {
                samples.assign(1024, value.load());
                rig.Send(0, samples);
                rig.Send(1, samples);
                m_sent.fetch_add(1);
                next += std::chrono::milliseconds(1);
                std::this_thread::sleep_until(next);
            }
        });
    }
    ~TProducer() { Stop(); }
    void Stop() {
        m_stop.store(true);
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    int Sent() const { return m_sent.load(); }

  private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sent{0};
    std::thread m_thread;
};

} // namespace

TEST(ScopeThreads, RepaintsFollowTheRefreshTimerNotTheProducer) {
    TScopeRig rig(2);
    TZemScope& scope = rig.Scope();
    QWidget* widget = scope.GetWidget();
    widget->show();
    PumpUntil([&] { return scope.GetRenderCount() > 0; });
    scope.SetRefreshInterval(100);
    // Let the paints of showing the window settle before counting.
    QElapsedTimer settle;
    settle.start();
    PumpUntil([&] { return settle.elapsed() >= 200; });

    std::atomic<double> value{100.0};
    const uint64_t rendersBefore = scope.GetRenderCount();
    QElapsedTimer elapsed;
    elapsed.start();
    {
        TProducer producer(rig, value);
        PumpUntil([&] { return elapsed.elapsed() >= 600; });
        producer.Stop();
        EXPECT_GT(producer.Sent(), 50);
    }
    const qint64 milliseconds = elapsed.elapsed();
    const uint64_t renders = scope.GetRenderCount() - rendersBefore;
    EXPECT_GE(renders, 1U);
    EXPECT_LE(renders, static_cast<uint64_t>(milliseconds / 100 + 1));

    // Hold: new data keep arriving but the picture stays; release shows the latest.
    PumpUntil([&] { return !rig.Channel(0).HasNewData(); });
    scope.SetHold(true);
    value.store(-300.0);
    {
        TProducer producer(rig, value);
        PumpUntil([&] { return producer.Sent() > 30; });
        producer.Stop();
    }
    PumpUntil([&] { return elapsed.elapsed() >= milliseconds + 400; });
    EXPECT_EQ(rig.Channel(0).GetDisplayY().front(), 100.0);
    scope.SetHold(false);
    EXPECT_EQ(rig.Channel(0).GetDisplayY().front(), -300.0);
    EXPECT_EQ(rig.Channel(1).GetDisplayY().size(), 1024U);
    widget->hide();
}
