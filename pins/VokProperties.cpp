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
