// Full and relative names of pins: "Form1.DruSpectrum1.OutputPins.Pin [0]" (display form) and
// "Form1.DruSpectrum1.OutputPins._Pin0" (index form). Names are found by searching the owner's
// published object-valued properties for the pin or its pin list.
#include "pins/VokComponent.h"
#include "pins/VokPin.h"
#include "pins/VokPinList.h"

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

namespace {

/// Path of `wanted` inside `object`'s published properties, prefixed with `prefix`; "" when not
/// found. A pin list met on the way is searched for `wanted` when `wanted` is a pin; persistent
/// sub-objects that are not components are searched recursively, each once.
std::string PropertyPath(const TVokPersistent* object, const TVokPersistent* wanted,
                         const std::string& prefix, std::vector<const TVokPersistent*>& visited) {
    for (const TVokPublishedObject& property : PublishedObjectsOf(object)) {
        if (property.m_object == wanted) {
            return prefix + property.m_name;
        }
        if (const auto* list = dynamic_cast<const TVokPinList*>(property.m_object)) {
            if (const auto* pin = dynamic_cast<const TVokBasicPin*>(wanted)) {
                const int index = list->IndexOf(pin);
                if (index >= 0) {
                    return prefix + property.m_name + "." + list->GetPinDisplayName(index);
                }
            }
            continue;
        }
        if (dynamic_cast<const TVokComponent*>(property.m_object) != nullptr ||
            std::find(visited.begin(), visited.end(), property.m_object) != visited.end()) {
            continue;
        }
        visited.push_back(property.m_object);
        std::string found =
            PropertyPath(property.m_object, wanted, prefix + property.m_name + ".", visited);
        if (!found.empty()) {
            return found;
        }
    }
    return {};
}

/// The search, skipped while `owner` is being destroyed; any failure leaves the name empty.
std::string SafePropertyPath(const TVokComponent& owner, const TVokPersistent* wanted) {
    if (owner.IsDestroying()) {
        return {};
    }
    try {
        std::vector<const TVokPersistent*> visited{&owner};
        return PropertyPath(&owner, wanted, "", visited);
    } catch (const std::exception&) {
        return {};
    }
}

/// `name` without everything up to and including its first ".".
std::string AfterFirstDot(const std::string& name) {
    const size_t dot = name.find('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

} // namespace

std::string TVokBasicPin::ComposeName(bool indexForm, bool withRoot) const {
    const TVokComponent* owner = GetOwner();
    if (owner == nullptr) {
        return "(No owner)";
    }
    TVokGlobalReadLockSection global;
    std::string name = owner->GetName() + ".";
    if (const TVokPinList* list = m_pinList) {
        name += SafePropertyPath(*owner, list);
        const int index = list->IndexOf(this);
        if (indexForm) {
            name += "._Pin" + std::to_string(index);
        } else if (index >= 0) {
            name += "." + list->GetPinDisplayName(index);
        }
    } else {
        name += SafePropertyPath(*owner, this);
    }
    if (withRoot) {
        name = GetRootName() + "." + name;
    }
    return name;
}

std::string TVokBasicPin::GetFullName(bool withRoot) const {
    return ComposeName(false, withRoot);
}

std::string TVokBasicPin::GetFullIndexName(bool withRoot) const {
    return ComposeName(true, withRoot);
}

std::string TVokBasicPin::GetPinName() const {
    return AfterFirstDot(GetFullName(false));
}

std::string TVokBasicPin::GetPinIndexName() const {
    return AfterFirstDot(GetFullIndexName(false));
}

std::string TVokBasicPin::GetOwnerPath() const {
    const std::string path = AfterFirstDot(GetFullIndexName(true));
    const size_t dot = path.rfind('.');
    return dot == std::string::npos ? path : path.substr(0, dot);
}
