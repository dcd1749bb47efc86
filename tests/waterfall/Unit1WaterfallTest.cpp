// The main window's description read with the real waterfall class: its settings arrive, its
// pin is linked to the second spectrum analyser, and writing and reading back keeps everything.
#include "../display/WindowFormSupport.h"
#include "WaterfallTestSupport.h"

#include "pins/VokFormWriter.h"

#include <gtest/gtest.h>

using namespace waterfalltest;

namespace {

std::unique_ptr<TVokComponent> ReadWindow(std::string_view text) {
    InitializeOnce();
    return windowform::ReadWindow(text);
}

void ExpectWindowWaterfall(TVokComponent& root) {
    auto* waterfall = dynamic_cast<TZemWaterfall*>(root.FindComponent("ZemWaterfall1"));
    ASSERT_NE(waterfall, nullptr);
    EXPECT_EQ(waterfall->GetXAxis()->GetSamples(), 1024);
    EXPECT_EQ(waterfall->GetYAxis()->GetMinTick(), 0.0);
    EXPECT_EQ(waterfall->GetYAxis()->GetMaxTick(), 500.0);
    EXPECT_EQ(waterfall->GetYAxis()->GetTicksMode(), atmAuto);
    EXPECT_EQ(waterfall->GetLevels()->GetAxis()->GetMax(), 400000);
    EXPECT_EQ(waterfall->GetLevels()->GetAxis()->GetMin(), 0);
    EXPECT_TRUE(waterfall->GetLevels()->GetAxis()->GetAutoscale());
    EXPECT_FALSE(waterfall->GetLevels()->GetGrayScale());
    EXPECT_EQ(waterfall->GetLevels()->GetColors()->GetCount(), 0);
    EXPECT_FALSE(waterfall->GetLevels()->GetLevelLabel()->GetVisible());
    EXPECT_FALSE(waterfall->GetTitle()->GetVisible());
    EXPECT_EQ(waterfall->GetTitle()->GetText(), "Channel 0 Spectrum Waterfall");
    EXPECT_FALSE(waterfall->GetLegend()->GetVisible());
    EXPECT_EQ(waterfall->GetMarkerGroups()->GetCount(), 0);
    EXPECT_EQ(waterfall->GetWidth(), 385);
    EXPECT_EQ(waterfall->GetHeight(), 326);
    TVokComponent* spectrum = root.FindComponent("DruSpectrum2");
    ASSERT_NE(waterfall->GetInputPin()->GetSourcePin(), nullptr);
    EXPECT_EQ(waterfall->GetInputPin()->GetSourcePin()->GetOwner(), spectrum);
}

} // namespace

TEST(WindowWaterfall, ReadsWithTheRealClassAndSurvivesWriteAndReadBack) {
    std::unique_ptr<TVokComponent> first = ReadWindow(Unit1FormDescription());
    ExpectWindowWaterfall(*first);
    const std::string written = TVokFormWriter().Write(*first);
    first.reset();
    std::unique_ptr<TVokComponent> second = ReadWindow(written);
    ExpectWindowWaterfall(*second);
    EXPECT_EQ(TVokFormWriter().Write(*second), written);
}
