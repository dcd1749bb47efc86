#pragma once

#include "capture/HoxCaptureService.h"
#include "pins/VokExtCollection.h"
#include "pins/VokGuid.h"
#include "pins/VokObject.h"
#include "pins/VokPersistent.h"
#include "pins/VokProperties.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TVokFiler;
class TVokReader;
class TVokWriter;

/// Capture devices: listing and naming them, and the persistent device selection with its
/// fall-back list.
///
/// Names. A device is listed under its friendly name, trimmed; a blank name is not listed; the
/// n-th device (n ≥ 2) whose trimmed name equals an earlier one's is listed as that name
/// followed by " (n)". The moniker name (`THoxCaptureDeviceDesc::m_monikerName`) is the key that
/// identifies a device across runs; selections store it next to the name.
///
/// Threads: lists are built on the calling thread from the installed capture service. The
/// selection objects are changed on the GUI thread; their setters take a write lock section on
/// the owner's lock object.

/// The audio input device category.
inline constexpr TVokGuid kDSAudioInputDeviceCategory =
    TVokGuid::Parse("{33D9A762-90C8-11D0-BD43-00A0C911CE86}");
/// The category of every registered filter (what `THoxDSCapDeviceList::FillFilters` lists).
inline constexpr TVokGuid kDSLegacyFilterCategory =
    TVokGuid::Parse("{083863F1-70DE-11D0-BD40-00A0C911CE86}");

/// One listed device or filter.
struct THoxDSCapDeviceInfo {
    std::string m_monikerName;
    /// The friendly name as read, trimmed, and made unique within the list.
    std::string m_rawName;
    std::string m_baseName;
    std::string m_name;
    /// The device itself.
    THoxCaptureDeviceDesc m_moniker;
    /// The category it was listed under.
    TVokGuid m_classId;
};

/// An ordered list of devices, built for one use (never cached).
class THoxDSCapDeviceList {
  public:
    /// Clears the list and lists the devices of `category` (only the audio input category has
    /// devices here), with the naming rule above.
    void Fill(const TVokGuid& category);
    /// Clears the list and lists every device as a filter.
    void FillFilters();

    int GetCount() const { return static_cast<int>(m_items.size()); }
    const THoxDSCapDeviceInfo& Get(int index) const {
        return m_items.at(static_cast<size_t>(index));
    }
    const std::vector<THoxDSCapDeviceInfo>& GetItems() const { return m_items; }

    /// The device whose moniker name is `monikerName`, or null.
    const THoxDSCapDeviceInfo* FindMoniker(const std::string& monikerName) const;
    /// The moniker name of the device listed as `name`, if any.
    std::optional<std::string> FindMonikerName(const std::string& name) const;
    /// The listed name of the device whose moniker name is `monikerName`, if any.
    std::optional<std::string> FindName(const std::string& monikerName) const;

  private:
    void FillFrom(const std::vector<THoxCaptureDeviceDesc>& devices, const TVokGuid& category);

    std::vector<THoxDSCapDeviceInfo> m_items;
};

/// Called after a device selection changed.
class TDSDevice;
using TDSDeviceChangeEvent = std::function<void(TDSDevice& device)>;

/// A device selection.
///
/// `DeviceName` is "Default" (the system's default device), "None" (no device) or the listed
/// name of a device, whose moniker name is kept in `MonikerName`. In form descriptions the pair
/// is stored as the pseudo-property "Data" = (MonikerName, DeviceName), written only when the
/// name is not "Default" (any case).
///
/// Locking: `SetDeviceName` runs under a write lock section on the owner's lock object (the
/// capture component's), and calls the change callback inside it.
///
/// Published property: `DeviceName` (default "Default").
class TDSDevice : public TVokPersistent, public IVokPublished {
  public:
    /// `lock` (the owner's lock object; may be null) must outlive the selection.
    TDSDevice(TVokObject* lock, TDSDeviceChangeEvent onChange);

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    std::string GetDeviceName() const { return m_deviceName; }
    /// Equal → nothing. "NONE" in any case, or empty: "None", no moniker, no callback.
    /// "DEFAULT" in any case: kept as given, no moniker, callback. Another name: the devices of
    /// the category are listed; a device with that name gives its moniker name and the name is
    /// kept, otherwise "None" with no moniker; callback.
    virtual void SetDeviceName(const std::string& name);
    const std::string& GetMonikerName() const { return m_monikerName; }
    /// The friendly and moniker name of the device last resolved for capture ("" after
    /// `ClearCurrent`).
    const std::string& GetCurrentName() const { return m_currentName; }
    const std::string& GetCurrentMonikerName() const { return m_currentMonikerName; }
    void ClearCurrent();

    /// The device category listed for names.
    virtual TVokGuid GetCategory() const;
    /// Adds every listed device to `names`: mode 0 its name, 1 its moniker name, 2 its name,
    /// " - " and its moniker name.
    virtual void ListNames(std::vector<std::string>& names, int mode) const;
    /// The device to capture from (the base: the stored device, or the default one for
    /// "Default"); records it as the current device. Empty when none is present.
    virtual std::optional<THoxCaptureDeviceDesc> ResolveMoniker();

    /// Declares "Data" for form descriptions.
    void DefineProperties(TVokFiler& filer) override;
    virtual void ReadData(TVokReader& reader);
    virtual void WriteData(TVokWriter& writer) const;

    /// Takes another selection's names (no listing, no callback).
    void Assign(const TVokPersistent* source) override;

  protected:
    /// Records `device` as the current device.
    void SetCurrent(const THoxCaptureDeviceDesc& device);
    /// A write lock section on the owner, or an empty one without owner.
    TVokLockSection LockOwner();

    TVokObject* const m_lock;
    TDSDeviceChangeEvent m_onChange;
    std::string m_deviceName = "Default";
    std::string m_monikerName;
    std::string m_currentName;
    std::string m_currentMonikerName;
};

/// One alternative device: `DeviceName` and `MonikerName`, stored together as "Data" when the
/// moniker name is not empty. Shown in editors by its `DeviceName`.
///
/// Published property: `DeviceName` (default empty).
class TDSDeviceItem : public TVokExtCollectionItem {
  public:
    explicit TDSDeviceItem(TVokExtCollection* collection);

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    std::string GetDeviceName() const { return m_deviceName; }
    /// Equal → nothing; empty → both names cleared; otherwise the devices are listed and a
    /// device with that name gives both names; without one nothing changes.
    void SetDeviceName(const std::string& name);
    const std::string& GetMonikerName() const { return m_monikerName; }
    std::string GetDisplayName() const override { return m_deviceName; }

    void DefineProperties(TVokFiler& filer) override;
    void Assign(const TVokPersistent* source) override;

  protected:
    /// The category names are resolved against.
    virtual TVokGuid GetCategory() const = 0;

    std::string m_deviceName;
    std::string m_monikerName;

  private:
    friend class TDSAudioCaptureDeviceItems;
};

/// An alternative audio capture device.
class TDSAudioCaptureDeviceItem final : public TDSDeviceItem {
  public:
    using TDSDeviceItem::TDSDeviceItem;
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

  protected:
    TVokGuid GetCategory() const override { return kDSAudioInputDeviceCategory; }
};

/// The ordered alternatives. A new item is given the name of the audio input device that the
/// fewest existing alternatives refer to (the first in list order on a tie), or stays empty
/// when there is no device.
class TDSAudioCaptureDeviceItems final : public TVokExtCollection {
  public:
    explicit TDSAudioCaptureDeviceItems(TVokPersistent* owner);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TDSAudioCaptureDeviceItem* GetAlternative(int index) const {
        return static_cast<TDSAudioCaptureDeviceItem*>(GetItem(index));
    }

  protected:
    void ItemAdded(TVokExtCollectionItem* item) override;
};

/// The audio capture device selection, with alternatives tried in order when the chosen device
/// is not present.
///
/// Published properties: `DeviceName` (default "Default"), `AlternativeDevices`.
class TDSAudioCaptureDevice final : public TDSDevice {
  public:
    TDSAudioCaptureDevice(TVokObject* lock, TDSDeviceChangeEvent onChange);

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TDSAudioCaptureDeviceItems* GetAlternativeDevices() const { return m_alternatives.get(); }

    TVokGuid GetCategory() const override { return kDSAudioInputDeviceCategory; }
    /// The stored device (or the default one for "Default"); when it is not present, the first
    /// alternative that is; records the device found as current.
    std::optional<THoxCaptureDeviceDesc> ResolveMoniker() override;

    /// As the base, and the alternatives when `source` is an audio capture device.
    void Assign(const TVokPersistent* source) override;

  private:
    std::unique_ptr<TDSAudioCaptureDeviceItems> m_alternatives;
};

/// `text` without leading and trailing white space.
std::string HoxTrim(const std::string& text);
/// `text` in upper case (ASCII).
std::string HoxUpperCase(const std::string& text);
