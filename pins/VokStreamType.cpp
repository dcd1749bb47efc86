#include "pins/VokStreamType.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

std::string TVokGuid::ToString() const {
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(m_data1), static_cast<unsigned>(m_data2),
                  static_cast<unsigned>(m_data3), m_data4[0], m_data4[1], m_data4[2], m_data4[3],
                  m_data4[4], m_data4[5], m_data4[6], m_data4[7]);
    return text;
}

// ---- TVokPinStreamType -----------------------------------------------------------------------

void TVokPinStreamType::AddOrSet(const TVokGuid& typeId, TVokLinkHandler handler) {
    const int index = IndexOf(typeId);
    if (index >= 0) {
        m_entries[static_cast<size_t>(index)].m_handler = handler;
    } else {
        m_entries.push_back(TVokStreamTypeEntry{typeId, handler});
    }
}

void TVokPinStreamType::Remove(const TVokGuid& typeId) {
    const int index = IndexOf(typeId);
    if (index >= 0) {
        m_entries.erase(m_entries.begin() + index);
    }
}

void TVokPinStreamType::Swap(int first, int second) {
    At(first);
    At(second);
    std::swap(m_entries[static_cast<size_t>(first)], m_entries[static_cast<size_t>(second)]);
}

int TVokPinStreamType::IndexOf(const TVokGuid& typeId) const {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].m_typeId == typeId) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const TVokStreamTypeEntry& TVokPinStreamType::At(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_entries.size()) {
        throw std::out_of_range("Index out of range = " + std::to_string(index));
    }
    return m_entries[static_cast<size_t>(index)];
}

// ---- TVokStreamTypeRegistry ------------------------------------------------------------------

TVokStreamTypeRegistry& TVokStreamTypeRegistry::Instance() {
    // Never destroyed: pins with static storage may dispatch while the process exits.
    static auto* const s_registry = new TVokStreamTypeRegistry();
    return *s_registry;
}

TVokStreamTypeRegistry::TVokStreamTypeRegistry() {
    const std::pair<TVokGuid, const char*> standardTypes[] = {
        {kVokIntegerType, "Integer single"}, {kVokFloatType, "Float single"},
        {kVokRealType, "Real single"},       {kVokRealComplexType, "Real Complex single"},
        {kVokBoolType, "Boolean single"},    {kVokCharacterType, "Character single"},
        {kVokStringType, "Sting"}, // the name as it has always been stored
    };
    for (const auto& [typeId, name] : standardTypes) {
        SetName(typeId, name);
    }
}

int TVokStreamTypeRegistry::Find(const TVokGuid& typeId) const {
    const int count = m_count.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i) {
        if (m_entries[i].m_typeId == typeId) {
            return i;
        }
    }
    return -1;
}

int TVokStreamTypeRegistry::FindOrAppend(const TVokGuid& typeId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const int found = Find(typeId);
    if (found >= 0) {
        return found;
    }
    const int index = m_count.load(std::memory_order_relaxed);
    if (index >= kCapacity) {
        throw std::length_error("The stream type registry is full (" + std::to_string(kCapacity) +
                                " types); cannot add " + typeId.ToString());
    }
    m_entries[index].m_typeId = typeId;
    m_count.store(index + 1, std::memory_order_release);
    return index;
}

void TVokStreamTypeRegistry::SetName(const TVokGuid& typeId, std::string name) {
    const int index = FindOrAppend(typeId);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries[index].m_name = std::move(name);
}

void TVokStreamTypeRegistry::SetDefaultDispatch(const TVokGuid& typeId,
                                                TVokDefaultDispatch function) {
    const int index = FindOrAppend(typeId);
    m_entries[index].m_function.store(function, std::memory_order_release);
}

std::string TVokStreamTypeRegistry::GetName(const TVokGuid& typeId) const {
    const int index = Find(typeId);
    if (index < 0) {
        return {};
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries[index].m_name;
}

TVokDefaultDispatch TVokStreamTypeRegistry::GetDefaultDispatch(const TVokGuid& typeId) const {
    const int index = Find(typeId);
    return index < 0 ? nullptr : m_entries[index].m_function.load(std::memory_order_acquire);
}
