#include "capture/DSCaptureDevice.h"

#include "pins/VokFiler.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <map>

std::string HoxTrim(const std::string& text) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

std::string HoxUpperCase(const std::string& text) {
    std::string result = text;
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return result;
}

namespace {

/// Reads the "Data" value (MonikerName, Name) into the two strings.
void ReadNamePair(TVokReader& reader, std::string& monikerName, std::string& name) {
    reader.ReadListBegin();
    std::string moniker = reader.ReadString();
    std::string value = reader.ReadString();
    reader.ReadListEnd();
    monikerName = std::move(moniker);
    name = std::move(value);
}

void WriteNamePair(TVokWriter& writer, const std::string& monikerName, const std::string& name) {
    writer.WriteListBegin();
    writer.WriteString(monikerName);
    writer.WriteString(name);
    writer.WriteListEnd();
}

} // namespace

// ---- device list -------------------------------------------------------------------------------

void THoxDSCapDeviceList::Fill(const TVokGuid& category) {
    m_items.clear();
    if (category == kDSAudioInputDeviceCategory) {
        FillFrom(HoxGetCaptureService()->ListInputDevices(), category);
    }
}

void THoxDSCapDeviceList::FillFilters() {
    m_items.clear();
    FillFrom(HoxGetCaptureService()->ListAllDevices(), kDSLegacyFilterCategory);
}

void THoxDSCapDeviceList::FillFrom(const std::vector<THoxCaptureDeviceDesc>& devices,
                                   const TVokGuid& category) {
    std::map<std::string, int> seen;
    for (const THoxCaptureDeviceDesc& device : devices) {
        THoxDSCapDeviceInfo info;
        info.m_rawName = device.m_friendlyName;
        info.m_baseName = HoxTrim(device.m_friendlyName);
        if (info.m_baseName.empty()) {
            continue;
        }
        const int count = ++seen[info.m_baseName];
        info.m_name = info.m_baseName;
        if (count >= 2) {
            char suffix[32];
            std::snprintf(suffix, sizeof suffix, " (%d)", count);
            info.m_name += suffix;
        }
        info.m_monikerName = device.m_monikerName;
        info.m_moniker = device;
        info.m_classId = category;
        m_items.push_back(std::move(info));
    }
}

const THoxDSCapDeviceInfo* THoxDSCapDeviceList::FindMoniker(const std::string& monikerName) const {
    for (const THoxDSCapDeviceInfo& info : m_items) {
        if (info.m_monikerName == monikerName) {
            return &info;
        }
    }
    return nullptr;
}

std::optional<std::string> THoxDSCapDeviceList::FindMonikerName(const std::string& name) const {
    for (const THoxDSCapDeviceInfo& info : m_items) {
        if (info.m_name == name) {
            return info.m_monikerName;
        }
    }
    return std::nullopt;
}

std::optional<std::string> THoxDSCapDeviceList::FindName(const std::string& monikerName) const {
    if (const THoxDSCapDeviceInfo* info = FindMoniker(monikerName)) {
        return info->m_name;
    }
    return std::nullopt;
}

// ---- device selection
// ----------------------------------------------------------------------------

TDSDevice::TDSDevice(TVokObject* lock, TDSDeviceChangeEvent onChange)
    : m_lock(lock), m_onChange(std::move(onChange)) {
}

const TVokClassInfo& TDSDevice::ClassInfo() {
    using T = TDSDevice;
    static const TVokClassInfo info(
        "TDSDevice", nullptr, nullptr,
        {
            // Stored with the moniker name in "Data".
            TVokProp::String("DeviceName", &T::GetDeviceName, &T::SetDeviceName, "Default")
                .NotStored(),
        });
    return info;
}

TVokLockSection TDSDevice::LockOwner() {
    if (m_lock == nullptr) {
        return TVokLockSection();
    }
    return TVokWriteLockSection(*m_lock);
}

void TDSDevice::SetDeviceName(const std::string& name) {
    TVokLockSection section = LockOwner();
    if (name == m_deviceName) {
        return;
    }
    const std::string upper = HoxUpperCase(name);
    if (name.empty() || upper == "NONE") {
        m_deviceName = "None";
        m_monikerName.clear();
        return;
    }
    if (upper == "DEFAULT") {
        m_monikerName.clear();
        m_deviceName = name;
    } else {
        THoxDSCapDeviceList list;
        list.Fill(GetCategory());
        if (std::optional<std::string> moniker = list.FindMonikerName(name)) {
            m_monikerName = *moniker;
            m_deviceName = name;
        } else {
            m_deviceName = "None";
            m_monikerName.clear();
        }
    }
    if (m_onChange) {
        m_onChange(*this);
    }
}

void TDSDevice::ClearCurrent() {
    m_currentName.clear();
    m_currentMonikerName.clear();
}

TVokGuid TDSDevice::GetCategory() const {
    return kDSAudioInputDeviceCategory;
}

void TDSDevice::ListNames(std::vector<std::string>& names, int mode) const {
    THoxDSCapDeviceList list;
    list.Fill(GetCategory());
    for (const THoxDSCapDeviceInfo& info : list.GetItems()) {
        switch (mode) {
        case 0:
            names.push_back(info.m_name);
            break;
        case 1:
            names.push_back(info.m_monikerName);
            break;
        default:
            names.push_back(info.m_name + " - " + info.m_monikerName);
            break;
        }
    }
}

std::optional<THoxCaptureDeviceDesc> TDSDevice::ResolveMoniker() {
    std::optional<THoxCaptureDeviceDesc> found;
    if (HoxUpperCase(m_deviceName) == "DEFAULT") {
        found = HoxGetCaptureService()->GetDefaultInputDevice();
    } else {
        THoxDSCapDeviceList list;
        list.Fill(GetCategory());
        if (const THoxDSCapDeviceInfo* info = list.FindMoniker(m_monikerName)) {
            found = info->m_moniker;
        }
    }
    if (found.has_value()) {
        SetCurrent(*found);
    }
    return found;
}

void TDSDevice::SetCurrent(const THoxCaptureDeviceDesc& device) {
    m_currentName = device.m_friendlyName;
    m_currentMonikerName = device.m_monikerName;
}

void TDSDevice::DefineProperties(TVokFiler& filer) {
    filer.DefineProperty(
        "Data", [this](TVokReader& reader) { ReadData(reader); },
        [this](TVokWriter& writer) { WriteData(writer); }, HoxUpperCase(m_deviceName) != "DEFAULT");
}

void TDSDevice::ReadData(TVokReader& reader) {
    std::string monikerName;
    std::string name;
    ReadNamePair(reader, monikerName, name);
    TVokLockSection section = LockOwner();
    m_monikerName = std::move(monikerName);
    m_deviceName = std::move(name);
}

void TDSDevice::WriteData(TVokWriter& writer) const {
    WriteNamePair(writer, m_monikerName, m_deviceName);
}

void TDSDevice::Assign(const TVokPersistent* source) {
    const auto* other = dynamic_cast<const TDSDevice*>(source);
    if (other == nullptr) {
        TVokPersistent::Assign(source);
        return;
    }
    if (other == this) {
        return;
    }
    TVokLockSection section = LockOwner();
    m_deviceName = other->m_deviceName;
    m_monikerName = other->m_monikerName;
}

// ---- alternatives
// --------------------------------------------------------------------------------

TDSDeviceItem::TDSDeviceItem(TVokExtCollection* collection) : TVokExtCollectionItem(collection) {
}

const TVokClassInfo& TDSDeviceItem::ClassInfo() {
    using T = TDSDeviceItem;
    static const TVokClassInfo info(
        "TDSDeviceItem", &TVokExtCollectionItem::ClassInfo(), nullptr,
        {
            // Stored with the moniker name in "Data".
            TVokProp::String("DeviceName", &T::GetDeviceName, &T::SetDeviceName, "").NotStored(),
        });
    return info;
}

void TDSDeviceItem::SetDeviceName(const std::string& name) {
    if (name == m_deviceName) {
        return;
    }
    if (name.empty()) {
        m_deviceName.clear();
        m_monikerName.clear();
        Changed(false);
        return;
    }
    THoxDSCapDeviceList list;
    list.Fill(GetCategory());
    if (std::optional<std::string> moniker = list.FindMonikerName(name)) {
        m_monikerName = *moniker;
        m_deviceName = name;
        Changed(false);
    }
}

void TDSDeviceItem::DefineProperties(TVokFiler& filer) {
    filer.DefineProperty(
        "Data", [this](TVokReader& reader) { ReadNamePair(reader, m_monikerName, m_deviceName); },
        [this](TVokWriter& writer) { WriteNamePair(writer, m_monikerName, m_deviceName); },
        !m_monikerName.empty());
}

void TDSDeviceItem::Assign(const TVokPersistent* source) {
    const auto* other = dynamic_cast<const TDSDeviceItem*>(source);
    if (other == nullptr) {
        TVokExtCollectionItem::Assign(source);
        return;
    }
    m_deviceName = other->m_deviceName;
    m_monikerName = other->m_monikerName;
    Changed(false);
}

const TVokClassInfo& TDSAudioCaptureDeviceItem::ClassInfo() {
    static const TVokClassInfo info("TDSAudioCaptureDeviceItem", &TDSDeviceItem::ClassInfo(),
                                    nullptr, {});
    return info;
}

TDSAudioCaptureDeviceItems::TDSAudioCaptureDeviceItems(TVokPersistent* owner)
    : TVokExtCollection(owner, TVokCollectionItemClass::Of<TDSAudioCaptureDeviceItem>()) {
}

const TVokClassInfo& TDSAudioCaptureDeviceItems::ClassInfo() {
    static const TVokClassInfo info("TDSAudioCaptureDeviceItems", &TVokExtCollection::ClassInfo(),
                                    nullptr, {});
    return info;
}

void TDSAudioCaptureDeviceItems::ItemAdded(TVokExtCollectionItem* item) {
    auto* added = dynamic_cast<TDSAudioCaptureDeviceItem*>(item);
    if (added == nullptr || !added->m_monikerName.empty()) {
        return;
    }
    THoxDSCapDeviceList list;
    list.Fill(kDSAudioInputDeviceCategory);
    const THoxDSCapDeviceInfo* best = nullptr;
    int bestUses = std::numeric_limits<int>::max();
    for (const THoxDSCapDeviceInfo& info : list.GetItems()) {
        int uses = 0;
        for (int index = 0; index < GetCount(); ++index) {
            const TDSAudioCaptureDeviceItem* other = GetAlternative(index);
            if (other != added && other->GetMonikerName() == info.m_monikerName) {
                ++uses;
            }
        }
        if (uses < bestUses) {
            best = &info;
            bestUses = uses;
        }
    }
    if (best != nullptr) {
        added->m_deviceName = best->m_name;
        added->m_monikerName = best->m_monikerName;
    }
}

// ---- audio capture device
// --------------------------------------------------------------------------

TDSAudioCaptureDevice::TDSAudioCaptureDevice(TVokObject* lock, TDSDeviceChangeEvent onChange)
    : TDSDevice(lock, std::move(onChange)),
      m_alternatives(std::make_unique<TDSAudioCaptureDeviceItems>(this)) {
}

const TVokClassInfo& TDSAudioCaptureDevice::ClassInfo() {
    using T = TDSAudioCaptureDevice;
    static const TVokClassInfo info(
        "TDSAudioCaptureDevice", &TDSDevice::ClassInfo(), nullptr,
        {
            TVokProp::Collection("AlternativeDevices", &T::GetAlternativeDevices),
        });
    return info;
}

std::optional<THoxCaptureDeviceDesc> TDSAudioCaptureDevice::ResolveMoniker() {
    std::optional<THoxCaptureDeviceDesc> found;
    std::optional<THoxDSCapDeviceList> list;
    if (HoxUpperCase(m_deviceName) == "DEFAULT") {
        found = HoxGetCaptureService()->GetDefaultInputDevice();
    } else {
        list.emplace();
        list->Fill(GetCategory());
        if (const THoxDSCapDeviceInfo* info = list->FindMoniker(m_monikerName)) {
            found = info->m_moniker;
        }
    }
    if (!found.has_value() && m_alternatives->GetCount() > 0) {
        if (!list.has_value()) {
            list.emplace();
            list->Fill(GetCategory());
        }
        for (int index = 0; index < m_alternatives->GetCount() && !found.has_value(); ++index) {
            const std::string& moniker = m_alternatives->GetAlternative(index)->GetMonikerName();
            if (const THoxDSCapDeviceInfo* info = list->FindMoniker(moniker)) {
                found = info->m_moniker;
            }
        }
    }
    if (found.has_value()) {
        SetCurrent(*found);
    }
    return found;
}

void TDSAudioCaptureDevice::Assign(const TVokPersistent* source) {
    TDSDevice::Assign(source);
    if (const auto* other = dynamic_cast<const TDSAudioCaptureDevice*>(source)) {
        if (other != this) {
            m_alternatives->Assign(other->m_alternatives.get());
        }
    }
}
