// Cursors, cursor links, marker groups, channel markers, highlighting and trails of a scope:
// published defaults, reading a form description (with the index pseudo-properties and their
// older names), writing it back unchanged, and what destroying a cursor, a channel or a marker
// group leaves behind.

#include "display/ZemScope.h"
#include "display/ZemScopeChannel.h"
#include "display/ZemScopeItems.h"
#include "pins/VokFormReader.h"
#include "pins/VokFormText.h"
#include "pins/VokFormWriter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

/// Every kind of item, with references by index (one of them not bound yet: cursor link 1's end
/// names a cursor the scope does not have) and the older names of the index pseudo-properties.
const char* const kDescription = R"(object ZemScope1: TZemScope
  Cursors = <
    item
      Name = 'Start'
      Position.X = 1.5
      Color = clLime
      Channels = <
        item
          ChannelIndex = 1
          Size = 5
          Shape = msSquare
          ChannelLabel.Text = '%Y'
        end
        item
          Channel = 0
          UseChannelColor = False
        end>
      Kind = ckBoth
    end
    item
      Position.Y = -2.25
    end>
  CursorLinks = <
    item
      BeginCursorIndex_ = 0
      EndCursorIndex_ = 1
      MeasurementLine.Y = 250.0
      MeasurementLine.Style = psDash
      Selection.Visible = True
    end
    item
      Name = 'Open'
      EndCursorIndex_ = 7
    end>
  MarkerGroups = <
    item
      Name = 'G0'
      Shape = msCircle
    end
    item
      Name = 'G1'
      Size = 7
      Labels.Text = '%X'
    end>
  Highlighting.Channels.HiglightFromMouse = True
  Highlighting.MouseHitPoint.Color = clBlue
  Trails.Color = clRed
  Channels = <
    item
      Name = 'Left'
      Markers = <
        item
          Name = 'Peak'
          Position = 12
          MarkerGroupIndex = 1
        end
        item
          Position = 3
          MarkerGroup = 0
        end>
    end
    item
      Name = 'Right'
      Markers = <>
    end>
end
)";

class ScopeItemsTest : public testing::Test {
  protected:
    std::unique_ptr<TZemScope> Read(const std::string& text) {
        auto scope = std::make_unique<TZemScope>(nullptr);
        TVokFormReader("items.form").ReadInto(text, *scope);
        return scope;
    }

    static TZemDisplayCursor* Cursor(TZemScope& scope, int index) {
        return scope.GetCursors()->GetCursor(index);
    }
    static TZemDisplayCursorLink* Link(TZemScope& scope, int index) {
        return scope.GetCursorLinks()->GetLink(index);
    }
    static TZemScopeChannelMarker* Marker(TZemScope& scope, int channel, int index) {
        return scope.GetScopeChannel(channel)->GetMarkers()->GetMarker(index);
    }
};

// Every published value of a fresh object equals its declared default, so the writer leaves
// exactly the changed values out; and the defaults that differ between siblings hold.
TEST_F(ScopeItemsTest, FreshObjectsHoldTheirDeclaredDefaults) {
    TZemScope scope(nullptr);
    TZemDisplayCursor* cursor = static_cast<TZemDisplayCursor*>(scope.GetCursors()->Add());
    auto* channelLink = static_cast<TZemDisplayChannelLink*>(cursor->GetChannels()->Add());
    auto* link = static_cast<TZemDisplayCursorLink*>(scope.GetCursorLinks()->Add());
    auto* group = static_cast<TZemScopeMarkerGroup*>(scope.GetMarkerGroups()->Add());
    auto* marker =
        static_cast<TZemScopeChannelMarker*>(scope.GetScopeChannel(0)->GetMarkers()->Add());
    TZemDisplayHighlighting* highlighting = scope.GetHighlighting();
    const std::vector<const TVokPersistent*> objects{cursor,
                                                     cursor->GetPosition(),
                                                     channelLink,
                                                     link,
                                                     link->GetMeasurementLine(),
                                                     link->GetSelection(),
                                                     group,
                                                     marker,
                                                     highlighting->GetChannels(),
                                                     highlighting->GetMarkers(),
                                                     highlighting->GetMouseHitPoint(),
                                                     scope.GetTrails()};
    for (const TVokPersistent* object : objects) {
        for (const TVokPropertyInfo* property : ClassInfoOf(object)->GetProperties()) {
            // Names are given by count ("Cursor1"), not by a default.
            if (property->GetDefault().has_value() && property->IsStored() &&
                property->GetName() != "Name") {
                EXPECT_TRUE(property->IsDefault(object))
                    << ClassInfoOf(object)->GetClassName() << "." << property->GetName();
            }
        }
    }
    EXPECT_FALSE(highlighting->GetChannels()->GetHiglightFromMouse());
    EXPECT_TRUE(highlighting->GetMarkers()->GetHiglightFromMouse());
    EXPECT_EQ(cursor->GetName(), "Cursor1");
    EXPECT_EQ(link->GetName(), "Link1");
    EXPECT_EQ(group->GetName(), "MarkerGroup1");
    EXPECT_EQ(marker->GetName(), "Marker1");
    EXPECT_EQ(link->GetBeginCursorIndex(), -1);
    EXPECT_FALSE(marker->IsDrawn());
}

TEST_F(ScopeItemsTest, ReadsItemsAndBindsTheirReferences) {
    std::unique_ptr<TZemScope> scope = Read(kDescription);
    ASSERT_EQ(scope->GetCursors()->GetCount(), 2);
    TZemDisplayCursor* start = Cursor(*scope, 0);
    EXPECT_EQ(start->GetName(), "Start");
    EXPECT_EQ(start->GetPosition()->GetX(), 1.5);
    EXPECT_EQ(start->GetColor(), 0x00FF00);
    EXPECT_EQ(start->GetKind(), ckBoth);
    ASSERT_EQ(start->GetChannels()->GetCount(), 2);
    TZemDisplayChannelLink* first = start->GetChannels()->GetLink(0);
    EXPECT_EQ(first->GetChannel(), scope->GetChannel(1));
    EXPECT_EQ(first->GetSize(), 5U);
    EXPECT_EQ(first->GetShape(), msSquare);
    EXPECT_EQ(first->GetChannelLabel()->GetText(), "%Y");
    EXPECT_EQ(start->GetChannels()->GetLink(1)->GetChannel(), scope->GetChannel(0));
    EXPECT_EQ(Cursor(*scope, 1)->GetName(), "Cursor2");
    EXPECT_EQ(Cursor(*scope, 1)->GetPosition()->GetY(), -2.25);

    TZemDisplayCursorLink* link = Link(*scope, 0);
    EXPECT_EQ(link->GetBeginCursor(), start);
    EXPECT_EQ(link->GetEndCursor(), Cursor(*scope, 1));
    EXPECT_EQ(start->GetLinks(), TZemDisplayCursorLinkList{link});
    EXPECT_EQ(link->GetMeasurementLine()->GetY(), 100.0); // clamped
    EXPECT_EQ(link->GetMeasurementLine()->GetStyle(), psDash);
    EXPECT_TRUE(link->GetSelection()->GetVisible());
    EXPECT_EQ(Link(*scope, 1)->GetEndCursor(), nullptr);
    EXPECT_EQ(Link(*scope, 1)->GetEndCursorIndex(), 7); // kept until the cursor exists

    TZemScopeMarkerGroups* groups = scope->GetMarkerGroups();
    EXPECT_EQ(Marker(*scope, 0, 0)->GetName(), "Peak");
    EXPECT_EQ(Marker(*scope, 0, 0)->GetPosition(), 12);
    EXPECT_EQ(Marker(*scope, 0, 0)->GetMarkerGroup(), groups->GetGroup(1));
    EXPECT_EQ(Marker(*scope, 0, 1)->GetMarkerGroup(), groups->GetGroup(0));
    EXPECT_EQ(groups->GetGroup(1)->GetSize(), 7U);
    EXPECT_EQ(groups->GetGroup(1)->GetLabels()->GetText(), "%X");
    EXPECT_EQ(groups->GetGroup(0)->GetShape(), msCircle);
    EXPECT_TRUE(scope->GetHighlighting()->GetChannels()->GetHiglightFromMouse());
    EXPECT_EQ(scope->GetHighlighting()->GetMouseHitPoint()->GetColor(), 0xFF0000);
    EXPECT_EQ(scope->GetTrails()->GetColor(), 0x0000FF);

    // The unbound end binds once the scope has that cursor.
    for (int i = 0; i < 6; ++i) {
        scope->GetCursors()->Add();
    }
    EXPECT_EQ(Link(*scope, 1)->GetEndCursor(), Cursor(*scope, 7));
}

TEST_F(ScopeItemsTest, WritingAndReadingBackKeepsEverything) {
    std::unique_ptr<TZemScope> scope = Read(kDescription);
    const std::string written = TVokFormWriter().Write(*scope);
    for (const char* expected :
         {"BeginCursorIndex_ = 0", "EndCursorIndex_ = 7", "MarkerGroupIndex = 1",
          "MarkerGroupIndex = 0", "ChannelIndex = 1", "ChannelIndex = 0"}) {
        EXPECT_NE(written.find(expected), std::string::npos) << expected << " in\n" << written;
    }
    for (const char* absent : {"BeginCursorIndex =", "MarkerGroup =", "Channel =", "_Channels"}) {
        EXPECT_EQ(written.find(absent), std::string::npos) << absent << " in\n" << written;
    }

    std::unique_ptr<TZemScope> again = Read(written);
    EXPECT_EQ(TVokFormWriter().Write(*again), written);
    EXPECT_EQ(Link(*again, 0)->GetEndCursor(), Cursor(*again, 1));
    EXPECT_EQ(Cursor(*again, 0)->GetChannels()->GetLink(0)->GetChannel(), again->GetChannel(1));
    EXPECT_EQ(Marker(*again, 0, 0)->GetMarkerGroup(), again->GetMarkerGroups()->GetGroup(1));
}

TEST_F(ScopeItemsTest, DestroyingAnItemLeavesNoDanglingReference) {
    std::unique_ptr<TZemScope> scope = Read(kDescription);
    TZemDisplayCursorLink* link = Link(*scope, 0);
    ASSERT_EQ(link->GetBeginCursor(), Cursor(*scope, 0));

    // A cursor goes: its links keep going with no cursor at that end.
    scope->GetCursors()->Delete(0);
    EXPECT_EQ(link->GetBeginCursor(), nullptr);
    EXPECT_EQ(link->GetBeginCursorIndex(), -1);
    EXPECT_EQ(link->GetEndCursorIndex(), 0);
    EXPECT_TRUE(scope->IsLayoutNeeded());

    // A channel goes: the channel links pointing to it go with it.
    auto* toLeft = static_cast<TZemDisplayChannelLink*>(
        scope->GetCursors()->GetCursor(0)->GetChannels()->Add());
    toLeft->SetChannel(scope->GetChannel(0));
    scope->GetChannels()->Delete(0);
    EXPECT_EQ(scope->GetCursors()->GetCursor(0)->GetChannels()->GetCount(), 0);

    // A marker group goes: its markers have none; a marker that needs one gets the first, and
    // a scope without groups gets a new one.
    auto* marker =
        static_cast<TZemScopeChannelMarker*>(scope->GetScopeChannel(0)->GetMarkers()->Add());
    marker->SetMarkerGroupIndex(1);
    EXPECT_EQ(marker->GetMarkerGroup(), scope->GetMarkerGroups()->GetGroup(1));
    scope->GetMarkerGroups()->Delete(1);
    EXPECT_EQ(marker->GetMarkerGroup(), nullptr);
    EXPECT_EQ(marker->GetMarkerGroupIndex(), -1);
    EXPECT_EQ(marker->NeedMarkerGroup(), scope->GetMarkerGroups()->GetGroup(0));
    scope->GetMarkerGroups()->Clear();
    EXPECT_EQ(marker->GetMarkerGroup(), nullptr);
    ASSERT_NE(marker->NeedMarkerGroup(), nullptr);
    EXPECT_EQ(scope->GetMarkerGroups()->GetCount(), 1);
    EXPECT_EQ(scope->GetMarkerGroups()->GetGroup(0)->GetMarkers(),
              std::vector<TZemScopeChannelMarker*>{marker});
}

struct TBadCase {
    const char* m_label;
    const char* m_assignment; ///< inside a cursor link, channel link or marker
    const char* m_collection;
    const char* m_named; ///< what the message must name
};

class ScopeItemsBadInputTest : public ScopeItemsTest,
                               public testing::WithParamInterface<TBadCase> {};

// Bad indexes are refused with a message naming the property and the value; nothing is kept.
TEST_P(ScopeItemsBadInputTest, IsRefusedWithANamedError) {
    const TBadCase& param = GetParam();
    std::string text = "object ZemScope1: TZemScope\n";
    if (std::string(param.m_collection) == "Markers") {
        text += "  Channels = <\n    item\n      Markers = <\n        item\n          ";
        text += param.m_assignment;
        text += "\n        end>\n    end>\nend\n";
    } else if (std::string(param.m_collection) == "Channels") {
        text += "  Cursors = <\n    item\n      Channels = <\n        item\n          ";
        text += param.m_assignment;
        text += "\n        end>\n    end>\nend\n";
    } else {
        text += "  CursorLinks = <\n    item\n      ";
        text += param.m_assignment;
        text += "\n    end>\nend\n";
    }
    try {
        Read(text);
        FAIL() << "accepted " << param.m_assignment;
    } catch (const EVokFormError& error) {
        EXPECT_NE(std::string(error.what()).find(param.m_named), std::string::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScopeItemsBadInputTest,
    testing::Values(
        TBadCase{"NegativeCursorIndex", "BeginCursorIndex_ = -5", "CursorLinks", "-5"},
        TBadCase{"PublishedNegativeIndex", "EndCursorIndex = -2", "CursorLinks", "EndCursorIndex"},
        TBadCase{"TextAsIndex", "ChannelIndex = 'one'", "Channels", "'one'"},
        TBadCase{"HugeIndex", "MarkerGroupIndex = 99999999999", "Markers", "99999999999"},
        TBadCase{"OlderNameNegative", "Channel = -3", "Channels", "Channel -3"},
        TBadCase{"MeasurementOutOfKind", "MeasurementLine.Style = psWide", "CursorLinks",
                 "psWide"}),
    [](const testing::TestParamInfo<TBadCase>& info) { return info.param.m_label; });

} // namespace
