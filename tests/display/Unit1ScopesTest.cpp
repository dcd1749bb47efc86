// The main window's description read with the real scope class: every scope setting the window
// stores arrives, the display ends of the links are made, and writing and reading back keeps them.
#include "ScopeTestSupport.h"
#include "WindowFormSupport.h"

#include "components/DruAudioToReal.h"
#include "display/ZemLegend.h"
#include "pins/VokFormWriter.h"

#include <gtest/gtest.h>

using namespace scopetest;

namespace {

std::unique_ptr<TVokComponent> ReadWindow(std::string_view text) {
    InitializeOnce();
    return windowform::ReadWindow(text);
}

TZemScope& ScopeNamed(TVokComponent& root, const char* name) {
    auto* scope = dynamic_cast<TZemScope*>(root.FindComponent(name));
    if (scope == nullptr) {
        throw std::runtime_error(std::string("no scope ") + name);
    }
    return *scope;
}

/// The settings the window's description gives its three scopes.
void ExpectWindowScopes(TVokComponent& root) {
    TZemScope& scope1 = ScopeNamed(root, "ZemScope1");
    TZemScope& scope2 = ScopeNamed(root, "ZemScope2");
    TZemScope& scope3 = ScopeNamed(root, "ZemScope3");

    ASSERT_EQ(scope1.GetChannels()->GetCount(), 2);
    EXPECT_EQ(scope1.GetScopeChannel(0)->GetName(), "Channel0");
    EXPECT_EQ(scope1.GetScopeChannel(0)->GetColor(), kVokClRed);
    EXPECT_EQ(scope1.GetScopeChannel(1)->GetColor(), kVokClLime);
    EXPECT_EQ(scope1.GetScopeChannel(1)->GetPoints()->GetSize(), 1U);
    EXPECT_EQ(scope1.GetScopeChannel(1)->GetPoints()->GetPen()->GetColor(), kVokClLime);
    EXPECT_EQ(scope1.GetScopeChannel(1)->GetPoints()->GetBrush()->GetColor(), kVokClLime);
    EXPECT_EQ(scope1.GetYAxis()->GetMin(), -15000.0);
    EXPECT_EQ(scope1.GetYAxis()->GetMax(), 15000.0);
    EXPECT_EQ(scope1.GetWidth(), 374);
    EXPECT_EQ(scope1.GetHeight(), 286);
    EXPECT_FALSE(scope1.GetTitle()->GetVisible());
    EXPECT_EQ(scope1.GetTitle()->GetText(), "Scope");
    EXPECT_FALSE(scope1.GetLegend()->GetVisible());
    EXPECT_FALSE(scope1.GetXAxis()->GetAxisLabel()->GetVisible());
    EXPECT_EQ(scope1.GetXAxis()->GetFont()->GetName(), "Arial");

    ASSERT_EQ(scope2.GetChannels()->GetCount(), 3);
    EXPECT_EQ(scope2.GetScopeChannel(0)->GetChannelMode(), cmBar);
    EXPECT_EQ(scope2.GetScopeChannel(0)->GetWidth(), 5);
    EXPECT_EQ(scope2.GetScopeChannel(1)->GetWidth(), 3);
    EXPECT_EQ(scope2.GetScopeChannel(0)->GetPoints()->GetPen()->GetWidth(), 3);
    EXPECT_EQ(scope2.GetScopeChannel(2)->GetColor(), kVokClBlue);
    EXPECT_EQ(scope2.GetScopeChannel(2)->GetInputPin()->GetSourcePin(), nullptr);
    EXPECT_EQ(scope2.GetYAxis()->GetMax(), 500000.0);
    EXPECT_EQ(scope2.GetYAxis()->GetAutoScaling()->GetSpaceBelow()->GetSpace(), 0U);
    EXPECT_FALSE(scope2.GetLegend()->GetButtonsEnabled());

    ASSERT_EQ(scope3.GetChannels()->GetCount(), 3);
    EXPECT_EQ(scope3.GetScopeChannel(0)->GetName(), "Signal");
    EXPECT_EQ(scope3.GetXAxis()->GetTicksMode(), atmBufferSamples);
    EXPECT_FALSE(scope3.GetXAxis()->GetMin()->GetAutoScale());
    EXPECT_FALSE(scope3.GetXAxis()->GetMax()->GetAutoScale());
    EXPECT_EQ(scope3.GetXAxis()->GetAxisLabel()->GetText(), "X Axis");
    EXPECT_EQ(scope3.GetYAxis()->GetMin(), -1000.0);

    // The display ends of the links: channel pins fed by the splitters and the spectrum.
    auto& splitter = dynamic_cast<TDruAudioToReal&>(*root.FindComponent("DruAudioToReal1"));
    EXPECT_EQ(scope1.GetScopeChannel(1)->GetInputPin()->GetSourcePin(),
              splitter.GetOutputPins()->GetPin(1));
    EXPECT_NE(scope2.GetScopeChannel(1)->GetInputPin()->GetSourcePin(), nullptr);
    EXPECT_EQ(scope3.GetInputPins()->GetPin(0), scope3.GetScopeChannel(0)->GetInputPin());
}

} // namespace

TEST(WindowScopes, ReadWithTheRealScopeAndSurviveWriteAndReadBack) {
    std::unique_ptr<TVokComponent> first = ReadWindow(Unit1FormDescription());
    ExpectWindowScopes(*first);
    const std::string written = TVokFormWriter().Write(*first);
    first.reset();
    std::unique_ptr<TVokComponent> second = ReadWindow(written);
    ExpectWindowScopes(*second);
    EXPECT_EQ(TVokFormWriter().Write(*second), written);
}
