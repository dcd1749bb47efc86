#include "pins/VokStandIn.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <stdexcept>

void TVokRawProperties::Set(const std::string& path, const TVokFormValue& value) {
    auto found = std::find_if(m_entries.begin(), m_entries.end(),
                              [&](const TEntry& entry) { return entry.first == path; });
    if (found != m_entries.end()) {
        found->second = value;
    } else {
        m_entries.emplace_back(path, value);
    }
}

const TVokFormValue* TVokRawProperties::Find(std::string_view path) const {
    for (const TEntry& entry : m_entries) {
        if (entry.first == path) {
            return &entry.second;
        }
    }
    return nullptr;
}

TVokStandIn::TVokStandIn(TVokComponent* owner, const TVokClassInfo& info, bool isForm)
    : TVokComponent(owner), m_info(&info), m_isForm(isForm) {
}

namespace {

TVokComponent* CreateStandIn(TVokComponent* owner, const TVokClassInfo& info) {
    return new TVokStandIn(owner, info, false);
}

TVokComponent* CreateStandInForm(TVokComponent* owner, const TVokClassInfo& info) {
    return new TVokStandIn(owner, info, true);
}

} // namespace

bool RegisterVokStandInClass(const std::string& className, bool isForm) {
    if (!IsValidComponentName(className)) {
        throw std::invalid_argument("'" + className + "' is no class name, expected an identifier");
    }
    // Tables are never freed: the class registry and components created from them keep
    // pointers for the life of the process. The mutex makes check-and-register one step.
    static std::mutex* mutex = new std::mutex;
    static auto* tables = new std::deque<TVokClassInfo>;
    std::lock_guard<std::mutex> guard(*mutex);
    if (FindVokClass(className) != nullptr) {
        return false;
    }
    const TVokClassInfo& info = tables->emplace_back(
        className, isForm ? &TVokForm::ClassInfo() : &TVokComponent::ClassInfo(),
        isForm ? &CreateStandInForm : &CreateStandIn, std::vector<TVokPropertyInfo>{});
    return RegisterVokClass(info);
}
