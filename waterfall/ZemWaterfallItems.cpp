#include "waterfall/ZemWaterfallItems.h"

#include "waterfall/ZemWaterfall.h"

#include <array>
#include <limits>

namespace {

/// Adding or removing items (an update without an item) changes the legend's size: the display
/// is laid out again. Answers whether that happened.
bool RelayoutOnListChange(const TZemDisplayCollection& collection,
                          const TVokExtCollectionItem* item) {
    TZemDataDisplay* display = collection.GetDisplay();
    if (item != nullptr || display == nullptr || collection.IsDestroying()) {
        return false;
    }
    display->InvalidateLayout();
    return true;
}

} // namespace

// ---- Legend ------------------------------------------------------------------------------------

TZemWaterfallLegendView::TZemWaterfallLegendView(TZemBasicWaterfall* waterfall)
    : TZemLegendView(waterfall) {
    AddGroup("Marker Groups", [waterfall]() -> TZemDisplayCollection* {
        return waterfall != nullptr ? waterfall->GetMarkerGroups() : nullptr;
    });
}

const TVokClassInfo& TZemWaterfallLegendView::ClassInfo() {
    using T = TZemWaterfallLegendView;
    static const TVokClassInfo info(
        "TZemWaterfallLegendView", &TZemLegendView::ClassInfo(), nullptr,
        {
            TVokProp::Object("MarkerGroups", &T::GetMarkerGroups),
            // Design-time expansion hook: accepted, ignored, never written.
            TVokProp::Event("_MarkerGroups", &T::m_expandHook, &T::m_expandHook).NotStored(),
        });
    return info;
}

// ---- Highlighting ------------------------------------------------------------------------------

TZemWaterfallHighlighting::TZemWaterfallHighlighting(TZemBasicWaterfall* waterfall)
    : m_markers(std::make_unique<TZemDisplayItemHighlighting>(waterfall)),
      m_mouseHitPoint(std::make_unique<TZemChannelMouseHitPoint>(waterfall)) {
}

TZemWaterfallHighlighting::~TZemWaterfallHighlighting() = default;

const TVokClassInfo& TZemWaterfallHighlighting::ClassInfo() {
    using T = TZemWaterfallHighlighting;
    static const TVokClassInfo info("TZemWaterfallHighlighting", nullptr, nullptr,
                                    {
                                        TVokProp::Object("Markers", &T::GetMarkers),
                                        TVokProp::Object("MouseHitPoint", &T::GetMouseHitPoint),
                                    });
    return info;
}

// ---- Markers -----------------------------------------------------------------------------------

const TVokClassInfo& TZemWaterfallMarkerPosition::ClassInfo() {
    using T = TZemWaterfallMarkerPosition;
    static const TVokClassInfo info("TZemWaterfallMarkerPosition", nullptr, nullptr,
                                    {
                                        TVokProp::Integer("X", &T::GetX, &T::SetX, 0),
                                        TVokProp::Integer("Y", &T::GetY, &T::SetY, 0),
                                    });
    return info;
}

void TZemWaterfallMarkerPosition::Changed() {
    if (m_marker != nullptr) {
        m_marker->ItemChanged();
    }
}

void TZemWaterfallMarkerPosition::SetX(int32_t value) {
    if (value != m_x) {
        m_x = value;
        Changed();
    }
}

void TZemWaterfallMarkerPosition::SetY(int32_t value) {
    if (value != m_y) {
        m_y = value;
        Changed();
    }
}

TZemWaterfallMarker::TZemWaterfallMarker(TVokExtCollection* collection)
    : TZemDisplayMarker(collection),
      m_position(std::make_unique<TZemWaterfallMarkerPosition>(this)) {
}

TZemWaterfallMarker::~TZemWaterfallMarker() = default;

const TVokClassInfo& TZemWaterfallMarker::ClassInfo() {
    using T = TZemWaterfallMarker;
    static const TVokClassInfo info("TZemWaterfallMarker", &TZemDisplayMarker::ClassInfo(), nullptr,
                                    {TVokProp::Object("Position", &T::GetPosition)});
    return info;
}

void TZemWaterfallMarker::Assign(const TVokPersistent* source) {
    TZemDisplayMarker::Assign(source);
    if (const auto* other = dynamic_cast<const TZemWaterfallMarker*>(source)) {
        m_position->SetX(other->m_position->GetX());
        m_position->SetY(other->m_position->GetY());
    }
}

TZemWaterfallMarkers::TZemWaterfallMarkers(TZemDataDisplay* display,
                                           TZemWaterfallMarkerGroup* group)
    : TZemDisplayCollection(display, TVokCollectionItemClass::Of<TZemWaterfallMarker>()),
      m_group(group) {
}

TZemWaterfallMarkers::~TZemWaterfallMarkers() {
    DestroyItems();
}

const TVokClassInfo& TZemWaterfallMarkers::ClassInfo() {
    static const TVokClassInfo info("TZemWaterfallMarkers", &TZemDisplayCollection::ClassInfo(),
                                    nullptr, {});
    return info;
}

void TZemWaterfallMarkers::Update(TVokExtCollectionItem* item) {
    if (!RelayoutOnListChange(*this, item)) {
        TZemDisplayCollection::Update(item);
    }
}

// ---- Marker groups -----------------------------------------------------------------------------

TZemWaterfallMarkerGroup::TZemWaterfallMarkerGroup(TVokExtCollection* collection)
    : TZemDisplayMarkerGroup(collection),
      m_markers(std::make_unique<TZemWaterfallMarkers>(GetDisplay(), this)) {
}

TZemWaterfallMarkerGroup::~TZemWaterfallMarkerGroup() = default;

const TVokClassInfo& TZemWaterfallMarkerGroup::ClassInfo() {
    using T = TZemWaterfallMarkerGroup;
    static const TVokClassInfo info("TZemWaterfallMarkerGroup",
                                    &TZemDisplayMarkerGroup::ClassInfo(), nullptr,
                                    {TVokProp::Collection("Markers", &T::GetMarkers)});
    return info;
}

void TZemWaterfallMarkerGroup::Assign(const TVokPersistent* source) {
    TZemDisplayMarkerGroup::Assign(source);
    if (const auto* other = dynamic_cast<const TZemWaterfallMarkerGroup*>(source)) {
        m_markers->Assign(other->m_markers.get());
    }
}

TZemDisplayItemHighlighting* TZemWaterfallMarkerGroup::MarkerHighlighting() const {
    auto* waterfall = dynamic_cast<TZemBasicWaterfall*>(GetDisplay());
    TZemWaterfallHighlighting* highlighting =
        waterfall != nullptr ? waterfall->GetHighlighting() : nullptr;
    return highlighting != nullptr ? highlighting->GetMarkers() : nullptr;
}

bool TZemWaterfallMarkerGroup::IsLegendButtonHighlighted() const {
    const TZemDisplayItemHighlighting* settings = MarkerHighlighting();
    return (IsHovered() || IsHighlightedFromLegend()) &&
           (settings == nullptr || settings->GetHiglightLegendButton());
}

void TZemWaterfallMarkerGroup::SetHighlightedFromLegend(bool highlighted) {
    // Releasing always clears the pick; picking needs `HiglightFromLegend`.
    const TZemDisplayItemHighlighting* settings = MarkerHighlighting();
    if (highlighted && settings != nullptr && !settings->GetHiglightFromLegend()) {
        return;
    }
    TZemDisplayMarkerGroup::SetHighlightedFromLegend(highlighted);
}

TZemWaterfallMarkerGroups::TZemWaterfallMarkerGroups(TZemDataDisplay* display)
    : TZemDisplayCollection(display, TVokCollectionItemClass::Of<TZemWaterfallMarkerGroup>()) {
}

TZemWaterfallMarkerGroups::~TZemWaterfallMarkerGroups() {
    DestroyItems();
}

const TVokClassInfo& TZemWaterfallMarkerGroups::ClassInfo() {
    static const TVokClassInfo info("TZemWaterfallMarkerGroups",
                                    &TZemDisplayCollection::ClassInfo(), nullptr, {});
    return info;
}

void TZemWaterfallMarkerGroups::ItemAdded(TVokExtCollectionItem* item) {
    TZemDisplayCollection::ItemAdded(item);
    auto* added = dynamic_cast<TZemWaterfallMarkerGroup*>(item);
    if (added == nullptr) {
        return;
    }
    // Every group counts, the new one too (its pen still holds the colour groups start with).
    std::array<int, std::size(kPalette)> uses{};
    for (int index = 0; index < GetCount(); ++index) {
        const TVokColor color = GetGroup(index)->GetPen()->GetColor();
        for (size_t entry = 0; entry < uses.size(); ++entry) {
            if (kPalette[entry] == color) {
                ++uses[entry];
            }
        }
    }
    size_t best = 0;
    for (size_t entry = 1; entry < uses.size(); ++entry) {
        if (uses[entry] < uses[best]) {
            best = entry;
        }
    }
    added->GetPen()->SetColor(kPalette[best]);
    added->GetBrush()->SetColor(kPalette[best]);
}

void TZemWaterfallMarkerGroups::Update(TVokExtCollectionItem* item) {
    if (!RelayoutOnListChange(*this, item)) {
        TZemDisplayCollection::Update(item);
    }
}

// ---- Toolbar -----------------------------------------------------------------------------------

TZemWaterfallToolBar::TZemWaterfallToolBar(TZemBasicWaterfall* waterfall)
    : TZemScopeToolBar(waterfall), m_waterfall(waterfall) {
}

const TVokClassInfo& TZemWaterfallToolBar::ClassInfo() {
    static const TVokClassInfo info("TZemWaterfallToolBar", &TZemScopeToolBar::ClassInfo(), nullptr,
                                    {});
    return info;
}

void TZemWaterfallToolBar::UpdateButtons() {
    TZemScopeToolBar::UpdateButtons();
    std::vector<TZemDisplayToolBarButton>& buttons = GetButtons();
    buttons[kWrenchButton].m_enabled = m_waterfall->HasMarkerGroups();
    buttons[kZoomOutButton].m_enabled = m_waterfall->CanZoomOut();
}
