#pragma once

#include "pins/VokPin.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

/// A placeholder for a pin that a form description names before the pin exists (the far end
/// of a link read from the earlier component, or a slot of a plain pin list whose real pins
/// come later).
///
/// Placeholders are owned by the process-wide placeholder registry (and are in the live-pin
/// registry like every pin). A placeholder always counts as being in design state, so real
/// pins refuse to link to it at run time; in design state it records the links made on it and
/// hands them over to the real pin (`HandOverTo`). It disposes of itself when its last recorded
/// link goes and no pin list holds it.
///
/// Threads: created, handed over and disposed of by the thread that reads a description, under
/// the global write lock.
class TVokUnloadedPin : public TVokBasicPin {
  public:
    /// One link recorded on the placeholder.
    struct TRecordedLink {
        TVokBasicPin* m_pin = nullptr;
        TVokBasicPin* m_dependency = nullptr;
    };

    ~TVokUnloadedPin() override;

    /// The kind of pin it stands for.
    TVokPinKind GetPinKind() const override { return m_kind; }
    /// The stored index name; without root everything after its first ".".
    std::string GetFullIndexName(bool withRoot) const override;
    /// With root the stored display name; without root the index name without its first part.
    std::string GetFullName(bool withRoot) const override;
    /// The display name after its last ".".
    std::string GetPinName() const override;
    TVokComponent* GetRoot() const override { return nullptr; }
    bool IsDesigning() const override { return true; }
    bool CanConnectTo(TVokBasicPin* pin) const override;
    bool IsTypeCompatible(TVokBasicPin* /*pin*/) const override { return true; }
    /// Has recorded links.
    bool IsConnected() const override;
    /// A recorded link names `pin`.
    bool IsConnectedTo(TVokBasicPin* pin) const override;
    bool DependsOnRecursive(TVokBasicPin* /*pin*/) const override { return false; }
    TVokGuid GetStateType(TVokBasicPin* /*pin*/) const override { return kVokNullType; }
    TVokBasicPin* GetDependency(TVokBasicPin* pin) const override;
    int GetLinkCount() const override;
    TVokBasicPin* GetLinkedPin(int index) const override;
    TVokBasicPin* GetLinkDependency(int index) const override;

    /// Records a link with `pin` (a real pin in design state) and `dependency`. A sink drops
    /// its current link first. Answers false for pins in another design state, placeholders
    /// and null. Global write lock.
    bool ConnectEx(TVokBasicPin* pin, TVokBasicPin* dependency) override;
    /// Forgets the link with `pin`; disposes of the placeholder when it was the last one and no
    /// list holds it (unless `keepPlaceholder`).
    void RemoveLink(TVokBasicPin* pin, bool keepPlaceholder) override;
    /// Forgets every recorded link.
    void Disconnect() override;
    void ObjectRemoved(TVokPinObject* object) override;
    void ReplaceDependency(TVokBasicPin* oldPin, TVokBasicPin* newPin) override;

    bool IsPlaceholder() const override { return true; }
    void SetHeldByList(bool held) override { m_heldByList = held; }
    bool IsHeldByList() const { return m_heldByList; }
    /// Makes every recorded link (last to first) on `pin` with `ConnectEx`, joins the
    /// dispatcher a description named for the slot, replaces this placeholder by `pin` in the
    /// dependency references of every live pin, and destroys the placeholder. A failure of one
    /// link is passed on after the placeholder is gone.
    void HandOverTo(TVokBasicPin* pin) override;
    void DisposeIfUnused() override;
    /// Placeholders resolve nothing and read no links of their own.
    void ResolvePlaceholders() override {}

    /// The dispatcher a description named for this slot; joined by the real pin on hand-over.
    void SetStateName(std::string name) { m_stateName = std::move(name); }
    const std::string& GetStateName() const { return m_stateName; }
    /// The full name of the pin whose reading created it.
    const std::string& GetRequesterName() const { return m_requesterName; }
    /// The root that was reading when it was created, kept only when its name is the first
    /// part of the index name (compared, never used to reach the root).
    const TVokComponent* GetStoredRoot() const { return m_root; }
    /// Creation number, increasing through the process.
    uint64_t GetSerial() const { return m_serial; }
    const std::vector<TRecordedLink>& GetRecordedLinks() const { return m_links; }

    // ---- placeholder registry (process-wide, under the registry critical section) ----------

    /// The live pin named `indexName` (full index name with root, or without root for pins of
    /// `root`'s name), else a pin of `root` (or without root) whose full display name, with or
    /// without root, is `displayName`; else a new registered placeholder of `kind` with both
    /// names. Null for an empty index name. Takes the global write lock.
    static TVokBasicPin* FindOrCreatePin(TVokComponent* root, TVokPinKind kind,
                                         const std::string& indexName,
                                         const std::string& displayName,
                                         const std::string& requesterName);
    /// A new registered placeholder (a pin-list slot).
    static TVokUnloadedPin* Create(TVokComponent* root, TVokPinKind kind,
                                   const std::string& indexName, const std::string& displayName,
                                   const std::string& requesterName);
    /// Hands every placeholder that no list holds and whose index name names `pin` (its full
    /// index or display name, with root, or without root for the same root name) over to
    /// `pin`. Nothing for placeholders. Takes the global write lock.
    static void ResolveFor(TVokBasicPin* pin);
    /// Number of registered placeholders (for leak checks).
    static int64_t PlaceholderCount();
    /// The serial the next placeholder will get.
    static uint64_t NextSerial();
    /// Destroys every placeholder created at or after `serial`, taking it out of the lists
    /// that hold it first (a failed reading leaves none behind). Global write lock.
    static void DiscardSince(uint64_t serial);
    /// Destroys the placeholders created at or after `serial` that hold no link and that no
    /// list holds (left over by a finished reading). Global write lock.
    static void PurgeUnusedSince(uint64_t serial);

  private:
    TVokUnloadedPin(TVokPinKind kind, std::string indexName, std::string displayName,
                    TVokComponent* root, std::string requesterName);
    /// Leaves the registry and is deleted (global write lock held).
    void Dispose();

    const TVokPinKind m_kind;
    const std::string m_indexName;
    const std::string m_displayName;
    const TVokComponent* m_root;
    const std::string m_requesterName;
    const uint64_t m_serial;
    /// Recorded links; changed under the global write lock.
    std::vector<TRecordedLink> m_links;
    std::string m_stateName;
    bool m_heldByList = false;
    bool m_disposing = false;
};
