#pragma once

// What the waterfall shows and offers around its image besides the axes: the legend of marker
// groups, the highlighting settings, the marker groups with their markers (each at a history
// index and a bin), and the toolbar.
//
// Threads: GUI thread only. Items belong to their collections; a marker group owns its markers.

#include "display/ZemDisplayCollection.h"
#include "display/ZemLegend.h"
#include "display/ZemScopeItems.h"
#include "display/ZemToolBar.h"

#include <cstdint>
#include <functional>
#include <memory>

class TZemBasicWaterfall;
class TZemWaterfallMarker;
class TZemWaterfallMarkerGroup;

/// The waterfall's legend: one group, `MarkerGroups` ("Marker Groups"), over the waterfall's
/// marker groups. Published besides: the ignored hook `_MarkerGroups` (never written).
class TZemWaterfallLegendView : public TZemLegendView {
  public:
    /// The waterfall may still be under construction: its groups are fetched when needed.
    explicit TZemWaterfallLegendView(TZemBasicWaterfall* waterfall);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemLegendGroup* GetMarkerGroups() const { return GetGroup(0); }

  private:
    std::function<void()> m_expandHook;
};

/// The waterfall's `Highlighting`: `Markers` (how marker groups and markers react to the
/// pointer) and `MouseHitPoint` (the point and read-out at the pointer; an empty label text
/// means "%X : %Y : %Z"). Every change repaints the waterfall.
class TZemWaterfallHighlighting : public TVokPersistent, public IVokPublished {
  public:
    /// `waterfall` is told to repaint after any change; it may be null.
    explicit TZemWaterfallHighlighting(TZemBasicWaterfall* waterfall);
    ~TZemWaterfallHighlighting() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemDisplayItemHighlighting* GetMarkers() const { return m_markers.get(); }
    TZemChannelMouseHitPoint* GetMouseHitPoint() const { return m_mouseHitPoint.get(); }

  private:
    std::unique_ptr<TZemDisplayItemHighlighting> m_markers;
    std::unique_ptr<TZemChannelMouseHitPoint> m_mouseHitPoint;
};

/// A marker's `Position`: `X`, the history index, and `Y`, the bin (0 each). A changed value
/// repaints the waterfall.
class TZemWaterfallMarkerPosition : public TVokPersistent, public IVokPublished {
  public:
    explicit TZemWaterfallMarkerPosition(TZemWaterfallMarker* marker) : m_marker(marker) {}
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    int32_t GetX() const { return m_x; }
    void SetX(int32_t value);
    int32_t GetY() const { return m_y; }
    void SetY(int32_t value);

  private:
    void Changed();

    TZemWaterfallMarker* m_marker;
    int32_t m_x = 0;
    int32_t m_y = 0;
};

/// A marker at a (history index, bin) cell of the waterfall, drawn in its group's look.
/// Published: `Position`; `Name` inherited.
class TZemWaterfallMarker : public TZemDisplayMarker {
  public:
    explicit TZemWaterfallMarker(TVokExtCollection* collection);
    ~TZemWaterfallMarker() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    void Assign(const TVokPersistent* source) override;

    TZemWaterfallMarkerPosition* GetPosition() const { return m_position.get(); }

  private:
    std::unique_ptr<TZemWaterfallMarkerPosition> m_position;
};

/// A marker group's `Markers`. Adding or removing markers re-lays out the waterfall.
class TZemWaterfallMarkers : public TZemDisplayCollection {
  public:
    /// `group` owns the collection; `display` (the group's) may be null.
    TZemWaterfallMarkers(TZemDataDisplay* display, TZemWaterfallMarkerGroup* group);
    ~TZemWaterfallMarkers() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemWaterfallMarkerGroup* GetGroup() const { return m_group; }
    TZemWaterfallMarker* GetMarker(int index) const {
        return static_cast<TZemWaterfallMarker*>(GetItem(index));
    }

  protected:
    void Update(TVokExtCollectionItem* item) override;

  private:
    TZemWaterfallMarkerGroup* m_group;
};

/// A group of waterfall markers sharing their look; owns its `Markers`. A group joining a
/// collection takes as pen and brush colour the first of 0xFFFFFF, 0xC0C0C0, 0x00FF00, 0xFF0000,
/// 0x00FFFF, 0xFFFF00, 0xF0FBFF, 0x008080, 0x800080, 0xFF00FF, 0xFFFF00, 0x808000, 0x800000,
/// 0x0000FF used by the fewest group pens of that collection, itself included with the pen
/// colour every group starts with (white).
///
/// The legend button lights while the group is under the pointer or picked in the legend,
/// provided `Highlighting.Markers.HiglightLegendButton`; the legend picks it only with
/// `HiglightFromLegend`. Published: `Markers`, besides the inherited look.
class TZemWaterfallMarkerGroup : public TZemDisplayMarkerGroup {
  public:
    explicit TZemWaterfallMarkerGroup(TVokExtCollection* collection);
    ~TZemWaterfallMarkerGroup() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    void Assign(const TVokPersistent* source) override;

    TZemWaterfallMarkers* GetMarkers() const { return m_markers.get(); }

    bool IsLegendButtonHighlighted() const override;
    void SetHighlightedFromLegend(bool highlighted) override;

  private:
    /// The waterfall's marker highlighting settings, or null.
    TZemDisplayItemHighlighting* MarkerHighlighting() const;

    std::unique_ptr<TZemWaterfallMarkers> m_markers;
};

/// The waterfall's `MarkerGroups`. Adding or removing groups re-lays out the waterfall.
class TZemWaterfallMarkerGroups : public TZemDisplayCollection {
  public:
    /// The palette new groups take their colour from, in order of preference.
    static constexpr TVokColor kPalette[14] = {0xFFFFFF, 0xC0C0C0, 0x00FF00, 0xFF0000, 0x00FFFF,
                                               0xFFFF00, 0xF0FBFF, 0x008080, 0x800080, 0xFF00FF,
                                               0xFFFF00, 0x808000, 0x800000, 0x0000FF};

    explicit TZemWaterfallMarkerGroups(TZemDataDisplay* display);
    ~TZemWaterfallMarkerGroups() override;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TZemWaterfallMarkerGroup* GetGroup(int index) const {
        return static_cast<TZemWaterfallMarkerGroup*>(GetItem(index));
    }

  protected:
    /// Gives the new group its default pen and brush colour.
    void ItemAdded(TVokExtCollectionItem* item) override;
    void Update(TVokExtCollectionItem* item) override;
};

/// The waterfall's toolbar: the scope toolbar's buttons and rules, with the wrench enabled only
/// while the waterfall has marker groups and zoom out only while `CanZoomOut` (zoomed, and a
/// window does not cover its axis).
class TZemWaterfallToolBar : public TZemScopeToolBar {
  public:
    /// `waterfall` must not be null and must outlive the toolbar.
    explicit TZemWaterfallToolBar(TZemBasicWaterfall* waterfall);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    void UpdateButtons() override;

  private:
    TZemBasicWaterfall* m_waterfall;
};
