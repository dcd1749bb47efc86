#include "pins/VokComponent.h"

#include <algorithm>
#include <stdexcept>

namespace {

bool IsIdentifierStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsIdentifierChar(char c) {
    return IsIdentifierStart(c) || (c >= '0' && c <= '9');
}

} // namespace

bool IsValidComponentName(std::string_view name) {
    return !name.empty() && IsIdentifierStart(name.front()) &&
           std::all_of(name.begin() + 1, name.end(), IsIdentifierChar);
}

TVokComponent::TVokComponent(TVokComponent* owner) : m_owner(owner) {
    if (m_owner != nullptr) {
        m_owner->m_components.push_back(this);
    }
}

TVokComponent::~TVokComponent() {
    m_state.Include(csDestroying);
    DestroyComponents();
    if (m_owner != nullptr) {
        auto& siblings = m_owner->m_components;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
}

void TVokComponent::DestroyComponents() {
    // Each child's destructor erases it from m_components, so always take the current last.
    while (!m_components.empty()) {
        TVokComponent* child = m_components.back();
        delete child;
    }
}

const TVokClassInfo& TVokComponent::ClassInfo() {
    using T = TVokComponent;
    static const TVokClassInfo info("TVokComponent", nullptr, nullptr,
                                    {TVokProp::String("Name", &T::GetName, &T::SetName, "")});
    return info;
}

void TVokComponent::SetName(const std::string& name) {
    if (name == m_name) {
        return;
    }
    if (!name.empty() && !IsValidComponentName(name)) {
        throw std::invalid_argument("\"" + name + "\" is not a valid component name");
    }
    if (!name.empty() && m_owner != nullptr && m_owner->FindComponent(name) != nullptr) {
        throw std::invalid_argument("A component named " + name + " already exists");
    }
    m_name = name;
}

TVokComponent* TVokComponent::GetComponent(int index) const {
    if (index < 0 || index >= GetComponentCount()) {
        throw std::out_of_range("Index out of range = " + std::to_string(index));
    }
    return m_components[static_cast<size_t>(index)];
}

TVokComponent* TVokComponent::FindComponent(std::string_view name) const {
    if (name.empty()) {
        return nullptr;
    }
    for (TVokComponent* child : m_components) {
        if (child->m_name == name) {
            return child;
        }
    }
    return nullptr;
}

void TVokComponent::SetDesigning(bool designing) {
    if (designing) {
        m_state.Include(csDesigning);
    } else {
        m_state.Exclude(csDesigning);
    }
    for (TVokComponent* child : m_components) {
        child->SetDesigning(designing);
    }
}

void TVokComponent::Loaded() {
    m_state.Exclude(csLoading);
}

TVokComponent* TVokComponent::GetRoot() const {
    const TVokComponent* current = this;
    // Ownership is a tree (an owner is set once, at construction), so this walk ends.
    while (current->m_owner != nullptr && !current->IsForm()) {
        current = current->m_owner;
    }
    return const_cast<TVokComponent*>(current);
}

const TVokClassInfo& TVokForm::ClassInfo() {
    static const TVokClassInfo info("TVokForm", &TVokComponent::ClassInfo(),
                                    TVokClassInfo::FactoryOf<TVokForm>, {});
    return info;
}
