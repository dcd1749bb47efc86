#include "display/ZemDisplayCollection.h"

#include "display/ZemDataDisplay.h"

const TVokClassInfo& TZemDisplayCollectionItem::ClassInfo() {
    using T = TZemDisplayCollectionItem;
    static const TVokClassInfo info("TZemDisplayCollectionItem",
                                    &TVokExtCollectionItem::ClassInfo(), nullptr,
                                    {TVokProp::String("Name", &T::GetName, &T::SetName, "")});
    return info;
}

TZemDisplayCollectionItem::TZemDisplayCollectionItem(TVokExtCollection* collection)
    : TVokExtCollectionItem(collection) {
}

void TZemDisplayCollectionItem::SetName(const std::string& name) {
    if (name != m_name) {
        m_name = name;
        ItemChanged();
    }
}

TZemDataDisplay* TZemDisplayCollectionItem::GetDisplay() const {
    auto* collection = dynamic_cast<TZemDisplayCollection*>(GetCollection());
    return collection != nullptr ? collection->GetDisplay() : nullptr;
}

void TZemDisplayCollectionItem::ItemChanged() {
    if (TZemDataDisplay* display = GetDisplay()) {
        display->RedrawDisplay();
    }
}

const TVokClassInfo& TZemOptionalDisplayCollectionItem::ClassInfo() {
    using T = TZemOptionalDisplayCollectionItem;
    static const TVokClassInfo info(
        "TZemOptionalDisplayCollectionItem", &TZemDisplayCollectionItem::ClassInfo(), nullptr,
        {TVokProp::Bool("Visible", &T::GetVisible, &T::SetVisible, true)});
    return info;
}

void TZemOptionalDisplayCollectionItem::SetVisible(bool value) {
    if (value != m_visible) {
        m_visible = value;
        ItemChanged();
    }
}

TZemDisplayCollection::TZemDisplayCollection(TZemDataDisplay* display,
                                             TVokCollectionItemClass itemClass)
    : TVokExtCollection(display, std::move(itemClass)), m_display(display) {
}

const TVokClassInfo& TZemDisplayCollection::ClassInfo() {
    static const TVokClassInfo info("TZemDisplayCollection", &TVokExtCollection::ClassInfo(),
                                    nullptr, {});
    return info;
}

TZemDisplayCollectionItem* TZemDisplayCollection::GetDisplayItem(int index) const {
    return static_cast<TZemDisplayCollectionItem*>(GetItem(index));
}

void TZemDisplayCollection::Update(TVokExtCollectionItem* /*item*/) {
    if (m_display != nullptr && !IsDestroying()) {
        m_display->RedrawDisplay();
    }
}

TZemDisplayLabel::TZemDisplayLabel(std::function<void()> onChange, int fontHeight, bool bold)
    : m_onChange(std::move(onChange)),
      m_font(ZemMakeDisplayFont(fontHeight, bold, [this] { Changed(); })) {
}

const TVokClassInfo& TZemDisplayLabel::ClassInfo() {
    using T = TZemDisplayLabel;
    static const TVokClassInfo info(
        "TZemDisplayLabel", nullptr, nullptr,
        {
            TVokProp::String("Text", &T::GetText, &T::SetText, ""),
            TVokProp::Object("Font", &T::GetFont),
            TVokProp::Bool("Visible", &T::GetVisible, &T::SetVisible, true),
        });
    return info;
}

void TZemDisplayLabel::SetText(const std::string& value) {
    if (value != m_text) {
        m_text = value;
        Changed();
    }
}

void TZemDisplayLabel::SetVisible(bool value) {
    if (value != m_visible) {
        m_visible = value;
        Changed();
    }
}

const TVokClassInfo& TZemMeasurementLabel::ClassInfo() {
    static const TVokClassInfo info("TZemMeasurementLabel", &TZemDisplayLabel::ClassInfo(), nullptr,
                                    {});
    return info;
}

const TVokClassInfo& TZemOptionalLabel::ClassInfo() {
    static const TVokClassInfo info("TZemOptionalLabel", &TZemDisplayLabel::ClassInfo(), nullptr,
                                    {});
    return info;
}

std::unique_ptr<TVokFont> ZemMakeDisplayFont(int height, bool bold,
                                             std::function<void()> onChange) {
    auto font = std::make_unique<TVokFont>("Arial", height, kVokClWhite,
                                           bold ? TVokFontStyles{fsBold} : TVokFontStyles{});
    font->SetOnChange(std::move(onChange));
    return font;
}
