// A steady stream of frames (hand-over of new data and a full render into the off-screen image)
// allocates nothing from the heap once the first frames have sized every buffer.
//
// The counting allocator replaces the global one for the whole executable; the tsan preset
// leaves this file out.
#if !defined(__SANITIZE_THREAD__)

#include "CountingAllocator.h"
#include "ScopeTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace scopetest;

TEST(FrameAllocation, SteadyFramesAllocateNothing) {
    TScopeRig rig(2);
    std::vector<double> first(1024);
    std::vector<double> second(1024);
    // Allocations of the frames' hand-over and render; the senders' buffers are not counted.
    auto frame = [&](int number) {
        for (size_t i = 0; i < first.size(); ++i) {
            first[i] = 10000.0 * std::sin(0.05 * static_cast<double>(i + number));
            second[i] = 5000.0 * std::cos(0.03 * static_cast<double>(i + number));
        }
        rig.Send(0, first);
        rig.Send(1, second);
        return counting::CountAllocations([&] {
            rig.Scope().CheckNewData();
            rig.Scope().RenderToImage();
        });
    };
    for (int number = 0; number < 5; ++number) {
        frame(number);
    }
    long allocations = 0;
    for (int number = 5; number < 25; ++number) {
        allocations += frame(number);
    }
    EXPECT_EQ(allocations, 0) << "heap allocations in 20 steady frames";
}

#endif // !defined(__SANITIZE_THREAD__)
