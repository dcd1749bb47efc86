#include "display/ZemScopeItems.h"

#include "display/ZemDataChart.h"
#include "display/ZemDataDisplay.h"
#include "display/ZemScopeChannel.h"
#include "pins/VokFiler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace {

void Redraw(TZemDataDisplay* display) {
    if (display != nullptr) {
        display->RedrawDisplay();
    }
}

/// Stores `value` in `field` and answers whether it changed.
template <class V> bool Store(V& field, const V& value) {
    if (field == value) {
        return false;
    }
    field = value;
    return true;
}

TZemDisplayHighlighting* HighlightingOf(TZemDataDisplay* display) {
    auto* chart = dynamic_cast<TZemDataChart*>(display);
    return chart != nullptr ? chart->GetHighlighting() : nullptr;
}

/// Whether items of one kind light their legend button when hovered in the plot (true when the
/// display has no highlighting settings).
bool LightsLegendButton(TZemDataDisplay* display,
                        TZemDisplayItemHighlighting* (TZemDisplayHighlighting::*kind)() const) {
    TZemDisplayHighlighting* highlighting = HighlightingOf(display);
    return highlighting == nullptr || (highlighting->*kind)()->GetHiglightLegendButton();
}

void AssignLabel(TZemDisplayLabel& target, const TZemDisplayLabel& source) {
    target.SetText(source.GetText());
    target.GetFont()->Assign(*source.GetFont());
    target.SetVisible(source.GetVisible());
}

/// Checks an item index read from a form or set by code: −1 or more.
void CheckIndex(const std::string& what, int index) {
    if (index < -1) {
        throw std::invalid_argument(what + " " + std::to_string(index) +
                                    " is not an index: expected -1 (none) or a position from 0");
    }
}

/// Reads an integer pseudo-property value as an index within int.
int ReadIndex(TVokReader& reader, const std::string& what) {
    const int64_t value = reader.ReadInteger();
    if (value < -1 || value > std::numeric_limits<int32_t>::max()) {
        // The reader adds the value's position to the message.
        throw std::invalid_argument(what + " " + std::to_string(value) +
                                    " is not an index: expected -1 (none) or a position from 0");
    }
    return static_cast<int>(value);
}

/// True while the display is being read from a form: references by index then wait for their
/// first use, since the collections they point into may still be replaced by the reading.
bool IsReading(const TZemDataDisplay* display) {
    return display != nullptr && display->IsLoading();
}

/// True when an item leaving `collection` must not bind the references still waiting: the
/// collection is freeing all its items for good (its owner is going), or the display is being
/// read from a form (the reading replaces whole collections).
bool KeepsWaitingIndexes(TVokExtCollection* collection) {
    auto* items = dynamic_cast<TZemDisplayCollection*>(collection);
    return items == nullptr || items->IsDestroying() || IsReading(items->GetDisplay());
}

template <class Item> std::string NameWithCount(const char* prefix, Item* item) {
    const int count = item->GetCollection() != nullptr ? item->GetCollection()->GetCount() : 0;
    return prefix + std::to_string(count);
}

} // namespace

const std::vector<std::string>& ZemMarkerShapeNames() {
    static const std::vector<std::string> names{
        "msPoint",         "msCircle", "msSquare",     "msDiamond",      "msPlus",
        "msCross",         "msStar",   "msTriangleUp", "msTriangleDown", "msTriangleLeft",
        "msTriangleRight", "msHLine",  "msVLine"};
    return names;
}

// ---- Highlighting ------------------------------------------------------------------------------

const TVokClassInfo& TZemDisplayItemHighlighting::ClassInfo() {
    using T = TZemDisplayItemHighlighting;
    static const TVokClassInfo info(
        "TZemDisplayItemHighlighting", nullptr, nullptr,
        {
            TVokProp::Bool("HiglightLegendButton", &T::GetHiglightLegendButton,
                           &T::SetHiglightLegendButton, true),
            TVokProp::Bool("HiglightFromLegend", &T::GetHiglightFromLegend,
                           &T::SetHiglightFromLegend, true),
            TVokProp::Bool("HiglightFromMouse", &T::GetHiglightFromMouse, &T::SetHiglightFromMouse,
                           true),
            TVokProp::Color("Color", &T::GetColor, &T::SetColor, 0x00FF00),
        });
    return info;
}

void TZemDisplayItemHighlighting::Changed() {
    Redraw(m_display);
}

void TZemDisplayItemHighlighting::SetHiglightLegendButton(bool value) {
    if (Store(m_legendButton, value)) {
        Changed();
    }
}

void TZemDisplayItemHighlighting::SetHiglightFromLegend(bool value) {
    if (Store(m_fromLegend, value)) {
        Changed();
    }
}

void TZemDisplayItemHighlighting::SetHiglightFromMouse(bool value) {
    if (Store(m_fromMouse, value)) {
        Changed();
    }
}

void TZemDisplayItemHighlighting::SetColor(TVokColor value) {
    if (Store(m_color, value)) {
        Changed();
    }
}

const TVokClassInfo& TZemChannelItemHighlighting::ClassInfo() {
    using T = TZemChannelItemHighlighting;
    // Re-declared for its different default.
    static const TVokClassInfo info(
        "TZemChannelItemHighlighting", &TZemDisplayItemHighlighting::ClassInfo(), nullptr,
        {
            TVokProp::Bool("HiglightFromMouse", &T::GetHiglightFromMouse, &T::SetHiglightFromMouse,
                           false),
        });
    return info;
}

TZemChannelMouseHitPoint::TZemChannelMouseHitPoint(TZemDataDisplay* display)
    : m_display(display),
      m_pointLabel(std::make_unique<TZemMeasurementLabel>([this] { Changed(); }, -11, false)) {
}

TZemChannelMouseHitPoint::~TZemChannelMouseHitPoint() = default;

const TVokClassInfo& TZemChannelMouseHitPoint::ClassInfo() {
    using T = TZemChannelMouseHitPoint;
    static const TVokClassInfo info(
        "TZemChannelMouseHitPoint", nullptr, nullptr,
        {
            TVokProp::Bool("Enabled", &T::GetEnabled, &T::SetEnabled, true),
            TVokProp::Color("Color", &T::GetColor, &T::SetColor, 0x0000FF),
            TVokProp::Bool("UseChannelColor", &T::GetUseChannelColor, &T::SetUseChannelColor, true),
            TVokProp::Object("PointLabel", &T::GetPointLabel),
        });
    return info;
}

void TZemChannelMouseHitPoint::Changed() {
    Redraw(m_display);
}

void TZemChannelMouseHitPoint::SetEnabled(bool value) {
    if (Store(m_enabled, value)) {
        Changed();
    }
}

void TZemChannelMouseHitPoint::SetColor(TVokColor value) {
    if (Store(m_color, value)) {
        Changed();
    }
}

void TZemChannelMouseHitPoint::SetUseChannelColor(bool value) {
    if (Store(m_useChannelColor, value)) {
        Changed();
    }
}

TZemDisplayHighlighting::TZemDisplayHighlighting(TZemDataDisplay* display)
    : m_channels(std::make_unique<TZemChannelItemHighlighting>(display)),
      m_markers(std::make_unique<TZemDisplayItemHighlighting>(display)),
      m_cursors(std::make_unique<TZemDisplayItemHighlighting>(display)),
      m_cursorLinks(std::make_unique<TZemDisplayItemHighlighting>(display)),
      m_mouseHitPoint(std::make_unique<TZemChannelMouseHitPoint>(display)) {
}

TZemDisplayHighlighting::~TZemDisplayHighlighting() = default;

const TVokClassInfo& TZemDisplayHighlighting::ClassInfo() {
    using T = TZemDisplayHighlighting;
    static const TVokClassInfo info("TZemDisplayHighlighting", nullptr, nullptr,
                                    {
                                        TVokProp::Object("Channels", &T::GetChannels),
                                        TVokProp::Object("Markers", &T::GetMarkers),
                                        TVokProp::Object("Cursors", &T::GetCursors),
                                        TVokProp::Object("CursorLinks", &T::GetCursorLinks),
                                        TVokProp::Object("MouseHitPoint", &T::GetMouseHitPoint),
                                    });
    return info;
}

TZemDisplayTrails::TZemDisplayTrails(TZemDataDisplay* display)
    : m_display(display), m_font(ZemMakeDisplayFont(-11, false, [this] { Changed(); })) {
}

TZemDisplayTrails::~TZemDisplayTrails() = default;

const TVokClassInfo& TZemDisplayTrails::ClassInfo() {
    using T = TZemDisplayTrails;
    static const TVokClassInfo info(
        "TZemDisplayTrails", nullptr, nullptr,
        {
            TVokProp::Color("Color", &T::GetColor, &T::SetColor, 0xFFFFFF),
            TVokProp::Object("Font", &T::GetFont),
        });
    return info;
}

void TZemDisplayTrails::Changed() {
    Redraw(m_display);
}

void TZemDisplayTrails::SetColor(TVokColor value) {
    if (Store(m_color, value)) {
        Changed();
    }
}

// ---- Channel links ------------------------------------------------------------------------------

TZemDisplayChannelLink::TZemDisplayChannelLink(TVokExtCollection* collection)
    : TZemDisplayCollectionItem(collection),
      m_channelLabel(std::make_unique<TZemOptionalLabel>([this] { ItemChanged(); }, -11, false)),
      m_pen(std::make_unique<TVokPen>()), m_brush(std::make_unique<TVokBrush>()) {
    m_pen->SetOnChange([this] { ItemChanged(); });
    m_brush->SetOnChange([this] { ItemChanged(); });
}

TZemDisplayChannelLink::~TZemDisplayChannelLink() {
    // When all cursors go with their chart, the channels may have gone before them without
    // telling their links (their collection no longer reaches the chart then).
    if (m_channel != nullptr && !CursorsGoing()) {
        m_channel->UnregisterLink(this);
    }
}

bool TZemDisplayChannelLink::CursorsGoing() const {
    const TZemDisplayCursor* cursor = GetCursor();
    const TVokExtCollection* cursors = cursor != nullptr ? cursor->GetCollection() : nullptr;
    return cursors != nullptr && cursors->IsDestroying();
}

const TVokClassInfo& TZemDisplayChannelLink::ClassInfo() {
    using T = TZemDisplayChannelLink;
    static const TVokClassInfo info(
        "TZemDisplayChannelLink", &TZemDisplayCollectionItem::ClassInfo(), nullptr,
        {
            TVokProp::Object("ChannelLabel", &T::GetChannelLabel),
            TVokProp::Bool("UseChannelColor", &T::GetUseChannelColor, &T::SetUseChannelColor, true),
            TVokProp::Object("Pen", &T::GetPen),
            TVokProp::Integer("Size", &T::GetSize, &T::SetSize, 3),
            TVokProp::Enum("Shape", ZemMarkerShapeNames(), &T::GetShape, &T::SetShape, msCircle),
            TVokProp::Object("Brush", &T::GetBrush),
        });
    return info;
}

void TZemDisplayChannelLink::DefineProperties(TVokFiler& filer) {
    auto read = [this](const char* name) {
        return [this, name](TVokReader& reader) { SetChannelIndex(ReadIndex(reader, name)); };
    };
    filer.DefineProperty(
        "ChannelIndex", read("ChannelIndex"),
        [this](TVokWriter& writer) { writer.WriteInteger(GetChannelIndex()); },
        m_channel != nullptr || m_pendingIndex >= 0);
    // Older descriptions store the index under the name of the property itself.
    filer.DefineProperty(
        "Channel", read("Channel"), [](TVokWriter&) {}, false);
}

void TZemDisplayChannelLink::Assign(const TVokPersistent* source) {
    TZemDisplayCollectionItem::Assign(source);
    if (const auto* other = dynamic_cast<const TZemDisplayChannelLink*>(source)) {
        AssignLabel(*m_channelLabel, *other->m_channelLabel);
        m_pen->Assign(*other->m_pen);
        m_brush->Assign(*other->m_brush);
        if (TZemDisplayChannel* channel = other->GetChannel()) {
            SetChannel(channel);
        } else {
            SetChannelIndex(other->GetChannelIndex());
        }
    }
}

TZemDisplayCursor* TZemDisplayChannelLink::GetCursor() const {
    auto* links = dynamic_cast<TZemDisplayChannelLinks*>(GetCollection());
    return links != nullptr ? links->GetCursor() : nullptr;
}

TZemDataChart* TZemDisplayChannelLink::GetChart() const {
    return dynamic_cast<TZemDataChart*>(GetDisplay());
}

void TZemDisplayChannelLink::Attach(TZemDisplayChannel* channel) const {
    if (m_channel != nullptr) {
        m_channel->UnregisterLink(const_cast<TZemDisplayChannelLink*>(this));
    }
    m_channel = channel;
    m_pendingIndex = -1;
    if (m_channel != nullptr) {
        m_channel->RegisterLink(const_cast<TZemDisplayChannelLink*>(this));
    }
}

TZemDisplayChannel* TZemDisplayChannelLink::GetChannel() const {
    if (m_channel == nullptr && m_pendingIndex >= 0) {
        // Through the collection: this also runs while a channel is being destroyed, when only
        // its display-item part is left.
        TZemDataChart* chart = GetChart();
        TZemDisplayCollection* channels =
            chart != nullptr ? chart->GetChannelCollection() : nullptr;
        if (channels != nullptr && m_pendingIndex < channels->GetCount()) {
            Attach(dynamic_cast<TZemDisplayChannel*>(channels->GetDisplayItem(m_pendingIndex)));
        }
    }
    return m_channel;
}

void TZemDisplayChannelLink::SetChannel(TZemDisplayChannel* channel) {
    if (channel != m_channel || m_pendingIndex >= 0) {
        Attach(channel);
        ItemChanged();
    }
}

int TZemDisplayChannelLink::GetChannelIndex() const {
    if (TZemDisplayChannel* channel = GetChannel()) {
        return channel->GetIndex();
    }
    return m_pendingIndex;
}

void TZemDisplayChannelLink::SetChannelIndex(int index) {
    CheckIndex("ChannelIndex", index);
    Attach(nullptr);
    m_pendingIndex = index;
    if (!IsReading(GetDisplay())) {
        GetChannel();
    }
    ItemChanged();
}

void TZemDisplayChannelLink::SetUseChannelColor(bool value) {
    if (Store(m_useChannelColor, value)) {
        ItemChanged();
    }
}

void TZemDisplayChannelLink::SetSize(uint32_t value) {
    if (Store(m_size, value)) {
        ItemChanged();
    }
}

void TZemDisplayChannelLink::SetShape(TZemDisplayMarkerShape value) {
    if (value > msVLine) {
        throw std::invalid_argument("TZemDisplayChannelLink " + GetName() + ": Shape " +
                                    std::to_string(static_cast<int>(value)) +
                                    " is not a marker shape");
    }
    if (Store(m_shape, value)) {
        ItemChanged();
    }
}

TZemDisplayChannelLinks::TZemDisplayChannelLinks(TZemDataDisplay* display,
                                                 TZemDisplayCursor* cursor)
    : TZemDisplayCollection(display, TVokCollectionItemClass::Of<TZemDisplayChannelLink>()),
      m_cursor(cursor) {
}

TZemDisplayChannelLinks::~TZemDisplayChannelLinks() {
    // Links reach their cursor through this collection while they are freed.
    DestroyItems();
}

const TVokClassInfo& TZemDisplayChannelLinks::ClassInfo() {
    static const TVokClassInfo info("TZemDisplayChannelLinks", &TZemDisplayCollection::ClassInfo(),
                                    nullptr, {});
    return info;
}

void ZemChannelDestroyed(TZemDataChart* chart, TZemDisplayChannel* channel) {
    if (chart == nullptr || channel == nullptr || chart->GetCursors() == nullptr) {
        return;
    }
    if (!KeepsWaitingIndexes(channel->GetCollection())) {
        // Indexes still waiting for their first use must bind before the channel's place goes.
        ZemBindItemReferences(chart);
    }
    TZemDisplayCursors* cursors = chart->GetCursors();
    for (int cursorIndex = 0; cursorIndex < cursors->GetCount(); ++cursorIndex) {
        TZemDisplayChannelLinks* links = cursors->GetCursor(cursorIndex)->GetChannels();
        // Newest first, so deleting keeps the indexes still to visit.
        for (int linkIndex = links->GetCount() - 1; linkIndex >= 0; --linkIndex) {
            TZemDisplayChannelLink* link = links->GetLink(linkIndex);
            // A link still waiting for an index (form reading) binds later to whatever channel
            // then holds it.
            if (link->IsBoundTo(channel)) {
                links->Delete(linkIndex); // the link unregisters itself from the channel
            }
        }
    }
}

// ---- Cursors ------------------------------------------------------------------------------------

const TVokClassInfo& TZemDisplayCursorPosition::ClassInfo() {
    using T = TZemDisplayCursorPosition;
    static const TVokClassInfo info("TZemDisplayCursorPosition", nullptr, nullptr,
                                    {
                                        TVokProp::Float("X", &T::GetX, &T::SetX, 0.0),
                                        TVokProp::Float("Y", &T::GetY, &T::SetY, 0.0),
                                    });
    return info;
}

namespace {
/// Equal values, counting two NaNs as equal (so setting NaN again does not repaint again).
bool SameValue(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}
} // namespace

void TZemDisplayCursorPosition::SetX(double value) {
    if (!SameValue(value, m_x)) {
        m_x = value;
        m_cursor->ItemChanged();
    }
}

void TZemDisplayCursorPosition::SetY(double value) {
    if (!SameValue(value, m_y)) {
        m_y = value;
        m_cursor->ItemChanged();
    }
}

TZemDisplayCursor::TZemDisplayCursor(TVokExtCollection* collection)
    : TZemOptionalDisplayCollectionItem(collection),
      m_position(std::make_unique<TZemDisplayCursorPosition>(this)),
      m_channels(std::make_unique<TZemDisplayChannelLinks>(GetDisplay(), this)) {
    SetName(NameWithCount("Cursor", this));
}

TZemDisplayCursor::~TZemDisplayCursor() {
    if (!KeepsWaitingIndexes(GetCollection())) {
        // Indexes still waiting for their first use must bind before this cursor's place goes.
        ZemBindItemReferences(dynamic_cast<TZemDataChart*>(GetDisplay()));
    }
    // Each link takes itself out of m_links.
    while (!m_links.empty()) {
        m_links.back()->CursorDestroyed(this);
    }
    if (TZemDataDisplay* display = GetDisplay()) {
        display->SetLayoutNeeded();
    }
}

const TVokClassInfo& TZemDisplayCursor::ClassInfo() {
    using T = TZemDisplayCursor;
    static const TVokClassInfo info(
        "TZemDisplayCursor", &TZemOptionalDisplayCollectionItem::ClassInfo(), nullptr,
        {
            TVokProp::Object("Position", &T::GetPosition),
            TVokProp::Color("Color", &T::GetColor, &T::SetColor, 0x0000FF),
            TVokProp::Collection("Channels", &T::GetChannels),
            TVokProp::Enum("Kind", {"ckVertical", "ckHorizontal", "ckBoth"}, &T::GetKind,
                           &T::SetKind, ckVertical),
            TVokProp::Event("OnClick", &T::GetOnClick, &T::SetOnClick),
            TVokProp::Event("OnMouseDown", &T::GetOnMouseDown, &T::SetOnMouseDown),
            TVokProp::Event("OnMouseUp", &T::GetOnMouseUp, &T::SetOnMouseUp),
        });
    return info;
}

void TZemDisplayCursor::Assign(const TVokPersistent* source) {
    TZemOptionalDisplayCollectionItem::Assign(source);
    if (const auto* other = dynamic_cast<const TZemDisplayCursor*>(source)) {
        m_position->SetX(other->m_position->GetX());
        m_position->SetY(other->m_position->GetY());
        m_channels->Assign(other->m_channels.get());
    }
}

void TZemDisplayCursor::SetColor(TVokColor value) {
    if (Store(m_color, value)) {
        ItemChanged();
    }
}

void TZemDisplayCursor::SetKind(TZemDisplayCursorKind value) {
    if (value > ckBoth) {
        throw std::invalid_argument("TZemDisplayCursor " + GetName() + ": Kind " +
                                    std::to_string(static_cast<int>(value)) +
                                    " is not a cursor kind");
    }
    if (Store(m_kind, value)) {
        ItemChanged();
    }
}

bool TZemDisplayCursor::IsLegendButtonHighlighted() const {
    return (m_hovered || m_dragging) &&
           LightsLegendButton(GetDisplay(), &TZemDisplayHighlighting::GetCursors);
}

void TZemDisplayCursor::SetHighlightedFromLegend(bool highlighted) {
    if (Store(m_highlightedFromLegend, highlighted)) {
        ItemChanged();
    }
}

void TZemDisplayCursor::RegisterLink(TZemDisplayCursorLink* link) {
    if (std::find(m_links.begin(), m_links.end(), link) == m_links.end()) {
        m_links.push_back(link);
    }
}

void TZemDisplayCursor::UnregisterLink(TZemDisplayCursorLink* link) {
    m_links.erase(std::remove(m_links.begin(), m_links.end(), link), m_links.end());
}

TZemDisplayCursors::TZemDisplayCursors(TZemDataDisplay* display)
    : TZemDisplayCollection(display, TVokCollectionItemClass::Of<TZemDisplayCursor>()) {
}

TZemDisplayCursors::~TZemDisplayCursors() {
    // Cursors reach their display through this collection while they are freed.
    DestroyItems();
}

const TVokClassInfo& TZemDisplayCursors::ClassInfo() {
    using T = TZemDisplayCursors;
    static const TVokClassInfo info(
        "TZemDisplayCursors", &TZemDisplayCollection::ClassInfo(), nullptr,
        {TVokProp::Event("OnPositionChange", &T::GetOnPositionChange, &T::SetOnPositionChange)});
    return info;
}

// ---- Cursor links -------------------------------------------------------------------------------

TZemScopeMeasurementLine::TZemScopeMeasurementLine(TZemDisplayCursorLink* link)
    : m_link(link),
      m_label(std::make_unique<TZemMeasurementLabel>([this] { Changed(); }, -11, false)) {
}

TZemScopeMeasurementLine::~TZemScopeMeasurementLine() = default;

const TVokClassInfo& TZemScopeMeasurementLine::ClassInfo() {
    using T = TZemScopeMeasurementLine;
    static const TVokClassInfo info(
        "TZemScopeMeasurementLine", nullptr, nullptr,
        {
            TVokProp::Float("X", &T::GetX, &T::SetX, 0.0),
            TVokProp::Float("Y", &T::GetY, &T::SetY, 0.0),
            TVokProp::Color("Color", &T::GetColor, &T::SetColor, 0x00FFFF),
            TVokProp::Enum("Style", TVokPen::ClassInfo().GetProperty("Style").GetValueNames(),
                           &T::GetStyle, &T::SetStyle, psDot),
            TVokProp::Enum("Mode", TVokPen::ClassInfo().GetProperty("Mode").GetValueNames(),
                           &T::GetMode, &T::SetMode, pmCopy),
            TVokProp::Object("MeasurementLabel", &T::GetMeasurementLabel),
            TVokProp::Bool("Visible", &T::GetVisible, &T::SetVisible, true),
        });
    return info;
}

void TZemScopeMeasurementLine::Assign(const TVokPersistent* source) {
    const auto* other = dynamic_cast<const TZemScopeMeasurementLine*>(source);
    if (other == nullptr) {
        TVokPersistent::Assign(source);
        return;
    }
    SetX(other->m_x);
    SetY(other->m_y);
    SetColor(other->m_color);
    SetStyle(other->m_style);
    SetMode(other->m_mode);
    AssignLabel(*m_label, *other->m_label);
    SetVisible(other->m_visible);
}

void TZemScopeMeasurementLine::Changed() {
    m_link->ItemChanged();
}

namespace {
double ClampPercent(double value) {
    return std::isnan(value) ? 0.0 : std::clamp(value, -100.0, 100.0);
}
} // namespace

void TZemScopeMeasurementLine::SetX(double value) {
    if (Store(m_x, ClampPercent(value))) {
        Changed();
    }
}

void TZemScopeMeasurementLine::SetY(double value) {
    if (Store(m_y, ClampPercent(value))) {
        Changed();
    }
}

void TZemScopeMeasurementLine::SetColor(TVokColor value) {
    if (Store(m_color, value)) {
        Changed();
    }
}

void TZemScopeMeasurementLine::SetStyle(TVokPenStyle value) {
    if (value > psInsideFrame) {
        throw std::invalid_argument("MeasurementLine.Style " +
                                    std::to_string(static_cast<int>(value)) +
                                    " is not a pen style");
    }
    if (Store(m_style, value)) {
        Changed();
    }
}

void TZemScopeMeasurementLine::SetMode(TVokPenMode value) {
    if (value > pmNotXor) {
        throw std::invalid_argument("MeasurementLine.Mode " +
                                    std::to_string(static_cast<int>(value)) + " is not a pen mode");
    }
    if (Store(m_mode, value)) {
        Changed();
    }
}

void TZemScopeMeasurementLine::SetVisible(bool value) {
    if (Store(m_visible, value)) {
        Changed();
    }
}

TZemScopeSelection::TZemScopeSelection(TZemDisplayCursorLink* link)
    : m_link(link), m_brush(std::make_unique<TVokBrush>(kVokClNavy)) {
    m_brush->SetOnChange([this] { m_link->ItemChanged(); });
}

TZemScopeSelection::~TZemScopeSelection() = default;

const TVokClassInfo& TZemScopeSelection::ClassInfo() {
    using T = TZemScopeSelection;
    static const TVokClassInfo info(
        "TZemScopeSelection", nullptr, nullptr,
        {
            TVokProp::Bool("Visible", &T::GetVisible, &T::SetVisible, false),
            TVokProp::Object("Brush", &T::GetBrush),
        });
    return info;
}

void TZemScopeSelection::Assign(const TVokPersistent* source) {
    const auto* other = dynamic_cast<const TZemScopeSelection*>(source);
    if (other == nullptr) {
        TVokPersistent::Assign(source);
        return;
    }
    SetVisible(other->m_visible);
    m_brush->Assign(*other->m_brush);
}

void TZemScopeSelection::SetVisible(bool value) {
    if (Store(m_visible, value)) {
        m_link->ItemChanged();
    }
}

TZemDisplayCursorLink::TZemDisplayCursorLink(TVokExtCollection* collection)
    : TZemDisplayCollectionItem(collection),
      m_measurementLine(std::make_unique<TZemScopeMeasurementLine>(this)),
      m_selection(std::make_unique<TZemScopeSelection>(this)) {
    SetName(NameWithCount("Link", this));
}

TZemDisplayCursorLink::~TZemDisplayCursorLink() {
    Detach(0);
    Detach(1);
}

const TVokClassInfo& TZemDisplayCursorLink::ClassInfo() {
    using T = TZemDisplayCursorLink;
    static const TVokClassInfo info(
        "TZemDisplayCursorLink", &TZemDisplayCollectionItem::ClassInfo(), nullptr,
        {
            // Stored as "BeginCursorIndex_" and "EndCursorIndex_" (DefineProperties).
            TVokProp::Integer("BeginCursorIndex", &T::GetBeginCursorIndex, &T::SetBeginCursorIndex,
                              -1)
                .NotStored(),
            TVokProp::Integer("EndCursorIndex", &T::GetEndCursorIndex, &T::SetEndCursorIndex, -1)
                .NotStored(),
            TVokProp::Object("MeasurementLine", &T::GetMeasurementLine),
            TVokProp::Object("Selection", &T::GetSelection),
        });
    return info;
}

void TZemDisplayCursorLink::DefineProperties(TVokFiler& filer) {
    static const char* const kNames[2] = {"BeginCursorIndex_", "EndCursorIndex_"};
    for (int end = 0; end < 2; ++end) {
        const std::string name = kNames[end];
        filer.DefineProperty(
            name,
            [this, end, name](TVokReader& reader) { SetCursorIndex(end, ReadIndex(reader, name)); },
            [this, end](TVokWriter& writer) { writer.WriteInteger(CursorIndex(end)); },
            m_cursor[end] != nullptr || m_pendingIndex[end] >= 0);
    }
}

void TZemDisplayCursorLink::Assign(const TVokPersistent* source) {
    TZemDisplayCollectionItem::Assign(source);
    if (const auto* other = dynamic_cast<const TZemDisplayCursorLink*>(source)) {
        m_measurementLine->Assign(other->m_measurementLine.get());
        m_selection->Assign(other->m_selection.get());
    }
}

TZemDisplayCursors* TZemDisplayCursorLink::GetCursors() const {
    auto* links = dynamic_cast<TZemDisplayCursorLinks*>(GetCollection());
    return links != nullptr ? links->GetCursors() : nullptr;
}

void TZemDisplayCursorLink::Detach(int end) const {
    TZemDisplayCursor* old = m_cursor[end];
    m_cursor[end] = nullptr;
    if (old != nullptr && old != m_cursor[1 - end]) {
        old->UnregisterLink(const_cast<TZemDisplayCursorLink*>(this));
    }
}

TZemDisplayCursor* TZemDisplayCursorLink::Resolve(int end) const {
    if (m_cursor[end] == nullptr && m_pendingIndex[end] >= 0) {
        TZemDisplayCursors* cursors = GetCursors();
        if (cursors != nullptr && m_pendingIndex[end] < cursors->GetCount()) {
            m_cursor[end] = cursors->GetCursor(m_pendingIndex[end]);
            m_pendingIndex[end] = -1;
            m_cursor[end]->RegisterLink(const_cast<TZemDisplayCursorLink*>(this));
        }
    }
    return m_cursor[end];
}

void TZemDisplayCursorLink::SetCursor(int end, TZemDisplayCursor* cursor) {
    if (cursor == m_cursor[end] && m_pendingIndex[end] < 0) {
        return;
    }
    Detach(end);
    m_pendingIndex[end] = -1;
    m_cursor[end] = cursor;
    if (cursor != nullptr) {
        cursor->RegisterLink(this);
    }
    ItemChanged();
}

int TZemDisplayCursorLink::CursorIndex(int end) const {
    if (TZemDisplayCursor* cursor = Resolve(end)) {
        return cursor->GetIndex();
    }
    return m_pendingIndex[end];
}

void TZemDisplayCursorLink::SetCursorIndex(int end, int index) {
    CheckIndex(end == 0 ? "BeginCursorIndex" : "EndCursorIndex", index);
    Detach(end);
    m_pendingIndex[end] = index;
    if (!IsReading(GetDisplay())) {
        Resolve(end);
    }
    ItemChanged();
}

void TZemDisplayCursorLink::CursorDestroyed(TZemDisplayCursor* cursor) {
    for (int end = 0; end < 2; ++end) {
        if (m_cursor[end] == cursor) {
            m_cursor[end] = nullptr;
            m_pendingIndex[end] = -1;
        }
    }
    cursor->UnregisterLink(this);
}

TVokColor TZemDisplayCursorLink::GetItemColor() const {
    return m_measurementLine->GetColor();
}

bool TZemDisplayCursorLink::IsLegendButtonHighlighted() const {
    return (m_hovered || m_dragging) &&
           LightsLegendButton(GetDisplay(), &TZemDisplayHighlighting::GetCursorLinks);
}

void TZemDisplayCursorLink::SetHighlightedFromLegend(bool highlighted) {
    if (Store(m_highlightedFromLegend, highlighted)) {
        ItemChanged();
    }
}

TZemDisplayCursorLinks::TZemDisplayCursorLinks(TZemDataDisplay* display,
                                               TZemDisplayCursors* cursors)
    : TZemDisplayCollection(display, TVokCollectionItemClass::Of<TZemDisplayCursorLink>()),
      m_cursors(cursors) {
}

const TVokClassInfo& TZemDisplayCursorLinks::ClassInfo() {
    using T = TZemDisplayCursorLinks;
    static const TVokClassInfo info(
        "TZemDisplayCursorLinks", &TZemDisplayCollection::ClassInfo(), nullptr,
        {TVokProp::Event("OnPositionChange", &T::GetOnPositionChange, &T::SetOnPositionChange)});
    return info;
}

TZemDisplayCursors* TZemDisplayCursorLinks::GetCursors() const {
    if (m_cursors != nullptr) {
        return m_cursors;
    }
    auto* chart = dynamic_cast<TZemDataChart*>(GetDisplay());
    return chart != nullptr ? chart->GetCursors() : nullptr;
}

// ---- Marker groups and markers ------------------------------------------------------------------

TZemDisplayMarkerGroup::TZemDisplayMarkerGroup(TVokExtCollection* collection)
    : TZemOptionalDisplayCollectionItem(collection),
      m_brush(std::make_unique<TVokBrush>(kVokClWhite)),
      m_pen(std::make_unique<TVokPen>(kVokClWhite)),
      m_labels(std::make_unique<TZemMeasurementLabel>([this] { ItemChanged(); }, -11, false)) {
    m_brush->SetOnChange([this] { ItemChanged(); });
    m_pen->SetOnChange([this] { ItemChanged(); });
    SetName(NameWithCount("MarkerGroup", this));
}

TZemDisplayMarkerGroup::~TZemDisplayMarkerGroup() = default;

const TVokClassInfo& TZemDisplayMarkerGroup::ClassInfo() {
    using T = TZemDisplayMarkerGroup;
    static const TVokClassInfo info(
        "TZemDisplayMarkerGroup", &TZemOptionalDisplayCollectionItem::ClassInfo(), nullptr,
        {
            TVokProp::Object("Brush", &T::GetBrush),
            TVokProp::Object("Pen", &T::GetPen),
            TVokProp::Enum("Shape", ZemMarkerShapeNames(), &T::GetShape, &T::SetShape, msPlus),
            TVokProp::Integer("Size", &T::GetSize, &T::SetSize, 3),
            TVokProp::Object("Labels", &T::GetLabels),
        });
    return info;
}

void TZemDisplayMarkerGroup::Assign(const TVokPersistent* source) {
    TZemOptionalDisplayCollectionItem::Assign(source);
    if (const auto* other = dynamic_cast<const TZemDisplayMarkerGroup*>(source)) {
        m_brush->Assign(*other->m_brush);
        m_pen->Assign(*other->m_pen);
        AssignLabel(*m_labels, *other->m_labels);
    }
}

void TZemDisplayMarkerGroup::SetShape(TZemDisplayMarkerShape value) {
    if (value > msVLine) {
        throw std::invalid_argument("TZemDisplayMarkerGroup " + GetName() + ": Shape " +
                                    std::to_string(static_cast<int>(value)) +
                                    " is not a marker shape");
    }
    if (Store(m_shape, value)) {
        ItemChanged();
    }
}

void TZemDisplayMarkerGroup::SetSize(uint32_t value) {
    if (Store(m_size, value)) {
        ItemChanged();
    }
}

bool TZemDisplayMarkerGroup::IsLegendButtonHighlighted() const {
    return m_hovered && LightsLegendButton(GetDisplay(), &TZemDisplayHighlighting::GetMarkers);
}

void TZemDisplayMarkerGroup::SetHighlightedFromLegend(bool highlighted) {
    if (Store(m_highlightedFromLegend, highlighted)) {
        ItemChanged();
    }
}

TZemScopeMarkerGroup::~TZemScopeMarkerGroup() {
    if (!KeepsWaitingIndexes(GetCollection())) {
        // Indexes still waiting for their first use must bind before this group's place goes.
        ZemBindItemReferences(dynamic_cast<TZemDataChart*>(GetDisplay()));
    }
    for (TZemScopeChannelMarker* marker : m_markers) {
        marker->GroupDestroyed();
    }
}

const TVokClassInfo& TZemScopeMarkerGroup::ClassInfo() {
    static const TVokClassInfo info("TZemScopeMarkerGroup", &TZemDisplayMarkerGroup::ClassInfo(),
                                    nullptr, {});
    return info;
}

TZemScopeMarkerGroups::TZemScopeMarkerGroups(TZemDataDisplay* display)
    : TZemDisplayCollection(display, TVokCollectionItemClass::Of<TZemScopeMarkerGroup>()) {
}

TZemScopeMarkerGroups::~TZemScopeMarkerGroups() {
    DestroyItems();
}

const TVokClassInfo& TZemScopeMarkerGroups::ClassInfo() {
    static const TVokClassInfo info("TZemScopeMarkerGroups", &TZemDisplayCollection::ClassInfo(),
                                    nullptr, {});
    return info;
}

TZemDisplayMarker::TZemDisplayMarker(TVokExtCollection* collection)
    : TZemDisplayCollectionItem(collection) {
    SetName(NameWithCount("Marker", this));
}

const TVokClassInfo& TZemDisplayMarker::ClassInfo() {
    static const TVokClassInfo info("TZemDisplayMarker", &TZemDisplayCollectionItem::ClassInfo(),
                                    nullptr, {});
    return info;
}

TZemScopeChannelMarker::TZemScopeChannelMarker(TVokExtCollection* collection)
    : TZemDisplayMarker(collection) {
}

TZemScopeChannelMarker::~TZemScopeChannelMarker() {
    Detach();
}

const TVokClassInfo& TZemScopeChannelMarker::ClassInfo() {
    using T = TZemScopeChannelMarker;
    static const TVokClassInfo info(
        "TZemScopeChannelMarker", &TZemDisplayMarker::ClassInfo(), nullptr,
        {TVokProp::Integer("Position", &T::GetPosition, &T::SetPosition, 0)});
    return info;
}

void TZemScopeChannelMarker::DefineProperties(TVokFiler& filer) {
    auto read = [this](const char* name) {
        return [this, name](TVokReader& reader) { SetMarkerGroupIndex(ReadIndex(reader, name)); };
    };
    filer.DefineProperty(
        "MarkerGroupIndex", read("MarkerGroupIndex"),
        [this](TVokWriter& writer) { writer.WriteInteger(GetMarkerGroupIndex()); },
        m_group != nullptr || m_pendingIndex >= 0);
    // Older descriptions store the index under the name of the property itself.
    filer.DefineProperty(
        "MarkerGroup", read("MarkerGroup"), [](TVokWriter&) {}, false);
}

void TZemScopeChannelMarker::Assign(const TVokPersistent* source) {
    TZemDisplayMarker::Assign(source);
    if (const auto* other = dynamic_cast<const TZemScopeChannelMarker*>(source)) {
        SetMarkerGroupIndex(other->GetMarkerGroupIndex());
    }
}

void TZemScopeChannelMarker::SetPosition(int32_t value) {
    if (Store(m_position, value)) {
        ItemChanged();
    }
}

TZemScopeMarkerGroups* TZemScopeChannelMarker::GetGroups() const {
    auto* markers = dynamic_cast<TZemScopeChannelMarkers*>(GetCollection());
    return markers != nullptr ? markers->GetMarkerGroups() : nullptr;
}

void TZemScopeChannelMarker::Detach() const {
    if (m_group != nullptr) {
        auto& list = m_group->m_markers;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        m_group = nullptr;
    }
}

void TZemScopeChannelMarker::Attach(TZemScopeMarkerGroup* group) const {
    Detach();
    m_pendingIndex = -1;
    m_group = group;
    if (group != nullptr) {
        group->m_markers.push_back(const_cast<TZemScopeChannelMarker*>(this));
    }
}

TZemScopeMarkerGroup* TZemScopeChannelMarker::GetMarkerGroup() const {
    if (m_group == nullptr && m_pendingIndex >= 0) {
        TZemScopeMarkerGroups* groups = GetGroups();
        if (groups != nullptr && m_pendingIndex < groups->GetCount()) {
            Attach(groups->GetGroup(m_pendingIndex));
        }
    }
    return m_group;
}

void TZemScopeChannelMarker::SetMarkerGroup(TZemScopeMarkerGroup* group) {
    if (group != m_group || m_pendingIndex >= 0) {
        Attach(group);
        ItemChanged();
    }
}

int TZemScopeChannelMarker::GetMarkerGroupIndex() const {
    if (TZemScopeMarkerGroup* group = GetMarkerGroup()) {
        return group->GetIndex();
    }
    return m_pendingIndex;
}

void TZemScopeChannelMarker::SetMarkerGroupIndex(int index) {
    CheckIndex("MarkerGroupIndex", index);
    Detach();
    m_pendingIndex = index;
    if (!IsReading(GetDisplay())) {
        GetMarkerGroup();
    }
    ItemChanged();
}

TZemScopeMarkerGroup* TZemScopeChannelMarker::NeedMarkerGroup() {
    if (TZemScopeMarkerGroup* group = GetMarkerGroup()) {
        return group;
    }
    TZemScopeMarkerGroups* groups = GetGroups();
    if (groups == nullptr) {
        return nullptr;
    }
    if (groups->GetCount() == 0) {
        groups->Add();
    }
    Attach(groups->GetGroup(0));
    return m_group;
}

TZemScopeChannelMarkers::TZemScopeChannelMarkers(TZemDisplayChannel* channel,
                                                 TZemScopeMarkerGroups* groups)
    : TZemDisplayCollection(channel != nullptr  ? channel->GetDisplay()
                            : groups != nullptr ? groups->GetDisplay()
                                                : nullptr,
                            TVokCollectionItemClass::Of<TZemScopeChannelMarker>()),
      m_channel(channel), m_groups(groups) {
}

TZemScopeChannelMarkers::~TZemScopeChannelMarkers() {
    DestroyItems();
}

const TVokClassInfo& TZemScopeChannelMarkers::ClassInfo() {
    static const TVokClassInfo info("TZemScopeChannelMarkers", &TZemDisplayCollection::ClassInfo(),
                                    nullptr, {});
    return info;
}

TZemScopeMarkerGroups* TZemScopeChannelMarkers::GetMarkerGroups() const {
    if (m_groups != nullptr) {
        return m_groups;
    }
    auto* chart = dynamic_cast<TZemDataChart*>(GetDisplay());
    return chart != nullptr ? chart->GetMarkerGroups() : nullptr;
}

// ---- Binding ------------------------------------------------------------------------------------

void ZemBindItemReferences(TZemDataChart* chart) {
    if (chart == nullptr) {
        return;
    }
    if (TZemDisplayCursorLinks* links = chart->GetCursorLinks()) {
        for (int index = 0; index < links->GetCount(); ++index) {
            links->GetLink(index)->GetBeginCursor();
            links->GetLink(index)->GetEndCursor();
        }
    }
    if (TZemDisplayCursors* cursors = chart->GetCursors()) {
        for (int index = 0; index < cursors->GetCount(); ++index) {
            TZemDisplayChannelLinks* channelLinks = cursors->GetCursor(index)->GetChannels();
            for (int link = 0; link < channelLinks->GetCount(); ++link) {
                channelLinks->GetLink(link)->GetChannel();
            }
        }
    }
    if (TZemDisplayCollection* channels = chart->GetChannelCollection()) {
        for (int index = 0; index < channels->GetCount(); ++index) {
            // A channel being destroyed is no scope channel any more and has no markers left.
            auto* channel = dynamic_cast<TZemScopeChannel*>(channels->GetDisplayItem(index));
            TZemScopeChannelMarkers* markers = channel != nullptr ? channel->GetMarkers() : nullptr;
            for (int marker = 0; markers != nullptr && marker < markers->GetCount(); ++marker) {
                markers->GetMarker(marker)->GetMarkerGroup();
            }
        }
    }
}
