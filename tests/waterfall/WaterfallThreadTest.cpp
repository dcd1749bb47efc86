// A producer thread feeds spectra through the pin (with an occasional start) at about 200 per
// second while the GUI thread paints, holds and releases, and changes the history length: the
// data lock and the recorded requests keep both sides apart (the tsan preset checks it).
#include "WaterfallTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

using namespace waterfalltest;

TEST(WaterfallThreads, AProducerFeedsWhileTheDisplayPaints) {
    TWaterfallRig rig;
    rig.Waterfall().GetXAxis()->SetSamples(128);
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int number = 0; number < 200; ++number) {
            if (number % 50 == 25) {
                rig.StartSpectrum(44100.0);
            }
            rig.Send(Spectrum(64 + number % 3, [&](int bin) {
                return 1000.0 * (1.0 + std::sin(0.1 * bin + 0.05 * number));
            }));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        done.store(true);
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int frame = 0;
    while (!done.load() && std::chrono::steady_clock::now() < deadline) {
        rig.Waterfall().RenderToImage();
        if (frame % 7 == 3) {
            rig.Waterfall().SetHold(!rig.Waterfall().GetHold());
        }
        if (frame % 23 == 11) {
            rig.Waterfall().GetXAxis()->SetSamples(frame % 2 == 0 ? 64 : 128);
        }
        ++frame;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    producer.join();
    ASSERT_TRUE(done.load()) << "the producer did not finish within 30 s";
    rig.Waterfall().SetHold(false);
    rig.Waterfall().RenderToImage();
    EXPECT_GT(rig.Waterfall().GetRowCount(), 0);
    EXPECT_LE(rig.Waterfall().GetRowCount(), rig.Waterfall().GetXAxis()->GetSamples());
}
