// Once the history is full and the image sized, new spectra and the frames that show them
// allocate nothing from the heap: spectra are copied into reused slots and the image scrolls in
// place. The counting allocator replaces the global one for this executable; the tsan preset
// leaves this file out.
#if !defined(__SANITIZE_THREAD__)

#include "../display/CountingAllocator.h"
#include "WaterfallTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace waterfalltest;

TEST(WaterfallAllocation, SteadySpectraAndFramesAllocateNothing) {
    TWaterfallRig rig;
    rig.Waterfall().GetXAxis()->SetSamples(64);
    std::vector<double> spectrum(128);
    int number = 0;
    // A frame as the window sees it: 17 new spectra, then a repaint.
    auto frame = [&] {
        for (int index = 0; index < 17; ++index, ++number) {
            for (size_t bin = 0; bin < spectrum.size(); ++bin) {
                spectrum[bin] = 1000.0 + 900.0 * std::sin(0.2 * double(bin) + 0.3 * number);
            }
            rig.Waterfall().GetData().AddData(spectrum.data(), uint32_t(spectrum.size()));
        }
        rig.Waterfall().RenderToImage();
    };
    for (int warmUp = 0; warmUp < 8; ++warmUp) {
        frame();
    }
    const long allocations = counting::CountAllocations([&] {
        for (int steady = 0; steady < 20; ++steady) {
            frame();
        }
    });
    EXPECT_EQ(allocations, 0) << "heap allocations in 20 frames of 17 spectra";
}

#endif // !defined(__SANITIZE_THREAD__)
