#include "pins/VokProperties.h"

#include "pins/VokComponent.h"

#include <map>
#include <mutex>
#include <stdexcept>

const char* PropertyKindName(TVokPropertyKind kind) {
    switch (kind) {
    case pkInteger:
        return "integer";
    case pkFloat:
        return "float";
    case pkBool:
        return "bool";
    case pkString:
        return "string";
    case pkEnum:
        return "enum";
    case pkSet:
        return "set";
    case pkObject:
        return "object";
    case pkCollection:
        return "collection";
    case pkEvent:
        return "event";
    }
    return "unknown";
}

namespace {

constexpr int64_t SystemColor(int index) {
    return VokSystemColor(index);
}

// Listing order matters: when two names share a value, the writer uses the first.
constexpr TVokIdentifier kColorIdentifiers[] = {
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clNone", 0x1FFFFFFF},
    {"clDefault", 0x20000000},
    {"clScrollBar", SystemColor(0)},
    {"clBackground", SystemColor(1)},
    {"clActiveCaption", SystemColor(2)},
    {"clInactiveCaption", SystemColor(3)},
    {"clMenu", SystemColor(4)},
    {"clWindow", SystemColor(5)},
    {"clWindowFrame", SystemColor(6)},
    {"clMenuText", SystemColor(7)},
    {"clWindowText", SystemColor(8)},
    {"clCaptionText", SystemColor(9)},
    {"clActiveBorder", SystemColor(10)},
    {"clInactiveBorder", SystemColor(11)},
    {"clAppWorkSpace", SystemColor(12)},
    {"clHighlight", SystemColor(13)},
    {"clHighlightText", SystemColor(14)},
    {"clBtnFace", SystemColor(15)},
    {"clBtnShadow", SystemColor(16)},
    {"clGrayText", SystemColor(17)},
    {"clBtnText", SystemColor(18)},
    {"clInactiveCaptionText", SystemColor(19)},
    {"clBtnHighlight", SystemColor(20)},
    {"cl3DDkShadow", SystemColor(21)},
    {"cl3DLight", SystemColor(22)},
    {"clInfoText", SystemColor(23)},
    {"clInfoBk", SystemColor(24)},
};

constexpr TVokIdentifier kCharsetIdentifiers[] = {
    {"ANSI_CHARSET", 0},      {"DEFAULT_CHARSET", 1},    {"SYMBOL_CHARSET", 2},
    {"MAC_CHARSET", 77},      {"SHIFTJIS_CHARSET", 128}, {"HANGEUL_CHARSET", 129},
    {"JOHAB_CHARSET", 130},   {"GB2312_CHARSET", 134},   {"CHINESEBIG5_CHARSET", 136},
    {"GREEK_CHARSET", 161},   {"TURKISH_CHARSET", 162},  {"VIETNAMESE_CHARSET", 163},
    {"HEBREW_CHARSET", 177},  {"ARABIC_CHARSET", 178},   {"BALTIC_CHARSET", 186},
    {"RUSSIAN_CHARSET", 204}, {"THAI_CHARSET", 222},     {"EASTEUROPE_CHARSET", 238},
    {"OEM_CHARSET", 255},
};

// crSize is an older name of crSizeAll: listed after it, so it is read but never written.
constexpr TVokIdentifier kCursorIdentifiers[] = {
    {"crDefault", 0},     {"crNone", -1},     {"crArrow", -2},      {"crCross", -3},
    {"crIBeam", -4},      {"crSizeNESW", -6}, {"crSizeNS", -7},     {"crSizeNWSE", -8},
    {"crSizeWE", -9},     {"crUpArrow", -10}, {"crHourGlass", -11}, {"crDrag", -12},
    {"crNoDrop", -13},    {"crHSplit", -14},  {"crVSplit", -15},    {"crMultiDrag", -16},
    {"crSQLWait", -17},   {"crNo", -18},      {"crAppStart", -19},  {"crHelp", -20},
    {"crHandPoint", -21}, {"crSizeAll", -22}, {"crSize", -22},
};

} // namespace

TVokIdentifiers VokColorIdentifiers() {
    return kColorIdentifiers;
}

TVokIdentifiers VokCharsetIdentifiers() {
    return kCharsetIdentifiers;
}

TVokIdentifiers VokCursorIdentifiers() {
    return kCursorIdentifiers;
}

std::optional<int64_t> VokIdentToInteger(TVokIdentifiers identifiers, std::string_view name) {
    for (const TVokIdentifier& identifier : identifiers) {
        if (name == identifier.m_name) {
            return identifier.m_value;
        }
    }
    return std::nullopt;
}

const char* VokIntegerToIdent(TVokIdentifiers identifiers, int64_t value) {
    for (const TVokIdentifier& identifier : identifiers) {
        if (identifier.m_value == value) {
            return identifier.m_name;
        }
    }
    return nullptr;
}

namespace detail {

const char* ValueKindName(const TVokValue& value) {
    // Same order as the alternatives of TVokValue.
    static const char* const kNames[] = {"an integer", "a float", "a bool",    "a string",
                                         "an enum",    "a set",   "an object", "an event"};
    return kNames[value.index()];
}

std::string ClassNameOf(const TVokPersistent& object) {
    if (const TVokClassInfo* info = ClassInfoOf(&object)) {
        return info->GetClassName();
    }
    return typeid(object).name();
}

size_t FindValueName(const std::vector<std::string>& names, const std::string& name) {
    for (size_t index = 0; index < names.size(); ++index) {
        if (names[index] == name) {
            return index;
        }
    }
    throw TVokValueError("'" + name + "' is not one of its value names");
}

} // namespace detail

TVokPropertyInfo::TVokPropertyInfo(std::string name, TVokPropertyKind kind,
                                   std::vector<std::string> valueNames,
                                   std::optional<TVokValue> defaultValue, TGetter getter,
                                   TSetter setter)
    : m_name(std::move(name)), m_kind(kind), m_valueNames(std::move(valueNames)),
      m_default(std::move(defaultValue)), m_getter(std::move(getter)), m_setter(std::move(setter)) {
}

void TVokPropertyInfo::Fail(const std::string& reason) const {
    throw std::invalid_argument(m_className + "." + m_name + " (" + PropertyKindName(m_kind) +
                                "): " + reason);
}

TVokValue TVokPropertyInfo::Get(const TVokPersistent* object) const {
    if (object == nullptr) {
        Fail("cannot read from no object");
    }
    try {
        return m_getter(*object);
    } catch (const detail::TVokValueError& error) {
        Fail(error.what());
    }
}

void TVokPropertyInfo::Set(TVokPersistent* object, const TVokValue& value) const {
    if (object == nullptr) {
        Fail("cannot write to no object");
    }
    if (!m_setter) {
        Fail("the property is read-only");
    }
    try {
        m_setter(*object, value);
    } catch (const detail::TVokValueError& error) {
        Fail(error.what());
    }
}

TVokPropertyInfo TVokPropertyInfo::WithIdentifiers(TVokIdentifiers identifiers) && {
    if (m_kind != pkInteger) {
        throw std::invalid_argument("The " + std::string(PropertyKindName(m_kind)) + " property " +
                                    m_name +
                                    " cannot take identifiers; only integer properties can");
    }
    m_identifiers = identifiers;
    return std::move(*this);
}

bool TVokPropertyInfo::IsDefault(const TVokPersistent* object) const {
    return m_default.has_value() && Get(object) == *m_default;
}

TVokClassInfo::TVokClassInfo(std::string className, const TVokClassInfo* parent,
                             TVokComponentFactory factory, std::vector<TVokPropertyInfo> properties)
    : m_className(std::move(className)), m_parent(parent), m_factory(factory),
      m_ownProperties(std::move(properties)) {
    for (size_t index = 0; index < m_ownProperties.size(); ++index) {
        m_ownProperties[index].m_className = m_className;
        for (size_t earlier = 0; earlier < index; ++earlier) {
            if (m_ownProperties[earlier].GetName() == m_ownProperties[index].GetName()) {
                throw std::invalid_argument(m_className + " declares the property " +
                                            m_ownProperties[index].GetName() + " twice");
            }
        }
    }
    // The flattened list is built once here so look-ups never walk the parent chain; the own
    // vector is not resized afterwards, so the pointers stay valid.
    if (m_parent != nullptr) {
        m_allProperties = m_parent->GetProperties();
    }
    for (const TVokPropertyInfo& property : m_ownProperties) {
        bool replaced = false;
        for (const TVokPropertyInfo*& inherited : m_allProperties) {
            if (inherited->GetName() == property.GetName()) {
                inherited = &property;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            m_allProperties.push_back(&property);
        }
    }
}

bool TVokClassInfo::InheritsFrom(const TVokClassInfo& other) const {
    for (const TVokClassInfo* info = this; info != nullptr; info = info->m_parent) {
        if (info == &other) {
            return true;
        }
    }
    return false;
}

TVokComponent* TVokClassInfo::Create(TVokComponent* owner) const {
    if (m_factory == nullptr) {
        throw std::invalid_argument("Cannot create an instance of the abstract class " +
                                    m_className);
    }
    return m_factory(owner, *this);
}

const TVokPropertyInfo* TVokClassInfo::FindProperty(std::string_view name) const {
    for (const TVokPropertyInfo* property : m_allProperties) {
        if (property->GetName() == name) {
            return property;
        }
    }
    return nullptr;
}

const TVokPropertyInfo& TVokClassInfo::GetProperty(std::string_view name) const {
    if (const TVokPropertyInfo* property = FindProperty(name)) {
        return *property;
    }
    throw std::invalid_argument(m_className + " has no published property '" + std::string(name) +
                                "'");
}

TVokValue TVokClassInfo::GetValue(const TVokPersistent* object, std::string_view name) const {
    return GetProperty(name).Get(object);
}

void TVokClassInfo::SetValue(TVokPersistent* object, std::string_view name,
                             const TVokValue& value) const {
    GetProperty(name).Set(object, value);
}

const TVokClassInfo* ClassInfoOf(const TVokPersistent* object) {
    const auto* published = dynamic_cast<const IVokPublished*>(object);
    return published != nullptr ? &published->GetClassInfo() : nullptr;
}

std::vector<TVokPublishedObject> PublishedObjectsOf(const TVokPersistent* object) {
    std::vector<TVokPublishedObject> result;
    const TVokClassInfo* info = ClassInfoOf(object);
    if (info == nullptr) {
        return result;
    }
    for (const TVokPropertyInfo* property : info->GetProperties()) {
        if (property->IsObjectValued()) {
            if (TVokPersistent* value = std::get<TVokPersistent*>(property->Get(object))) {
                result.push_back({property->GetName(), value});
            }
        }
    }
    return result;
}

namespace {

struct TClassRegistry {
    std::mutex m_mutex; ///< guards m_classes
    std::map<std::string, const TVokClassInfo*, std::less<>> m_classes;
};

// Function-local so registration from any static initialiser finds it constructed.
TClassRegistry& Registry() {
    static TClassRegistry registry;
    return registry;
}

} // namespace

bool RegisterVokClass(const TVokClassInfo& info) {
    TClassRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.m_mutex);
    auto [position, inserted] = registry.m_classes.emplace(info.GetClassName(), &info);
    if (!inserted && position->second != &info) {
        throw std::invalid_argument("Another class named " + info.GetClassName() +
                                    " is already registered");
    }
    return true;
}

const TVokClassInfo* FindVokClass(std::string_view className) {
    TClassRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.m_mutex);
    auto position = registry.m_classes.find(className);
    return position != registry.m_classes.end() ? position->second : nullptr;
}
