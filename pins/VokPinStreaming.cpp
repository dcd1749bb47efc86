// How pins and pin lists store their links in form descriptions and make them again when read.
//
// Every link is stored at both ends: a sink stores its source (`SourcePin`), a source its sinks
// (`SinkPins`), a pin list one entry per pin (`Pins`). A reading makes a link when the second of
// its two pins reads its side; the first names a pin that does not exist yet and gets a
// placeholder (TVokUnloadedPin), which at run time only stands for the name.
#include "pins/VokComponent.h"
#include "pins/VokFiler.h"
#include "pins/VokPin.h"
#include "pins/VokPinList.h"
#include "pins/VokStateDispatcher.h"
#include "pins/VokUnloadedPin.h"

#include <string>
#include <vector>

namespace {

/// A pin named in a description: its full index name and its full display name, both with
/// root.
struct TPinReference {
    std::string m_indexName;
    std::string m_displayName;
};

/// One link of a source: the sink and, optionally, the dependency pin's name.
struct TSinkEntry {
    TPinReference m_sink;
    std::string m_dependency;
};

/// One entry of `Pins`.
struct TListEntry {
    enum TLinks : uint8_t { leNone, leReference, leSinks };
    bool m_hasState = false;
    std::string m_stateName;
    TLinks m_links = leNone;
    TPinReference m_reference;
    std::vector<TSinkEntry> m_sinks;

    /// The kind of pin the entry implies (for list-slot placeholders).
    TVokPinKind ImpliedKind() const {
        if (m_links == leSinks) {
            return vpkSource;
        }
        return m_hasState && m_links == leNone ? vpkState : vpkSink;
    }
};

// ---- parsing ---------------------------------------------------------------------------------

/// identifier, or (identifier string).
TPinReference ReadPinReference(TVokReader& reader) {
    if (reader.NextValue() == fvIdentifier) {
        const std::string name = reader.ReadIdent();
        return {name, name};
    }
    if (reader.NextValue() != fvList) {
        reader.Error("found " + reader.DescribeNext() +
                     ", expected a pin name or a list (name 'display name')");
    }
    TPinReference reference;
    reader.ReadListBegin();
    reference.m_indexName = reader.ReadIdent();
    reference.m_displayName = reader.ReadString();
    reader.ReadListEnd();
    return reference;
}

/// identifier, (identifier string), (identifier dependency string), (identifier dependency).
TSinkEntry ReadSinkEntry(TVokReader& reader) {
    if (reader.NextValue() == fvIdentifier) {
        const std::string name = reader.ReadIdent();
        return {{name, name}, {}};
    }
    if (reader.NextValue() != fvList) {
        reader.Error("found " + reader.DescribeNext() +
                     ", expected a sink name or a list (name [dependency] ['display name'])");
    }
    TSinkEntry entry;
    reader.ReadListBegin();
    entry.m_sink.m_indexName = reader.ReadIdent();
    entry.m_sink.m_displayName = entry.m_sink.m_indexName;
    if (!reader.EndOfList() && reader.NextValue() == fvIdentifier) {
        entry.m_dependency = reader.ReadIdent();
    }
    if (!reader.EndOfList()) {
        entry.m_sink.m_displayName = reader.ReadString();
    }
    reader.ReadListEnd();
    return entry;
}

std::vector<TSinkEntry> ReadSinkEntries(TVokReader& reader) {
    std::vector<TSinkEntry> entries;
    reader.ReadListBegin();
    while (!reader.EndOfList()) {
        entries.push_back(ReadSinkEntry(reader));
    }
    reader.ReadListEnd();
    return entries;
}

/// A string (the dispatcher name), or a list of that string and member references (skipped).
std::string ReadStateName(TVokReader& reader) {
    if (reader.NextValue() == fvString) {
        return reader.ReadString();
    }
    if (reader.NextValue() != fvList) {
        reader.Error("found " + reader.DescribeNext() +
                     ", expected a dispatcher name or a list ('name' members...)");
    }
    reader.ReadListBegin();
    std::string name = reader.ReadString();
    while (!reader.EndOfList()) {
        ReadPinReference(reader);
    }
    reader.ReadListEnd();
    return name;
}

std::vector<TListEntry> ReadListEntries(TVokReader& reader) {
    std::vector<TListEntry> entries;
    reader.ReadListBegin();
    while (!reader.EndOfList()) {
        TListEntry entry;
        const std::string word = reader.PeekIdent();
        if (word == "nil") {
            reader.ReadIdent();
        } else if (word == "Sinks") {
            reader.ReadIdent();
            entry.m_links = TListEntry::leSinks;
            entry.m_sinks = ReadSinkEntries(reader);
        } else if (word == "State") {
            reader.ReadIdent();
            entry.m_hasState = true;
            reader.ReadListBegin();
            entry.m_stateName = ReadStateName(reader);
            if (reader.PeekIdent() == "Sinks") {
                reader.ReadIdent();
                entry.m_links = TListEntry::leSinks;
                entry.m_sinks = ReadSinkEntries(reader);
            } else if (!reader.EndOfList()) {
                entry.m_links = TListEntry::leReference;
                entry.m_reference = ReadPinReference(reader);
            }
            reader.ReadListEnd();
        } else if (!word.empty() || reader.NextValue() == fvList) {
            entry.m_links = TListEntry::leReference;
            entry.m_reference = ReadPinReference(reader);
        } else {
            reader.Error("found " + reader.DescribeNext() +
                         ", expected nil, Sinks, State or a pin reference");
        }
        entries.push_back(std::move(entry));
    }
    reader.ReadListEnd();
    return entries;
}

// ---- linking ---------------------------------------------------------------------------------

/// A name saved under `savedRoot` renamed to `currentRoot`: "Form2.X.Pin" → "Form1.X.Pin".
std::string RewriteRoot(const std::string& name, const std::string& savedRoot,
                        const std::string& currentRoot) {
    if (savedRoot.empty() || name.size() <= savedRoot.size() ||
        name.compare(0, savedRoot.size(), savedRoot) != 0 || name[savedRoot.size()] != '.') {
        return name;
    }
    return currentRoot + name.substr(savedRoot.size());
}

/// How one pin (or list) reads names: the root they are found under and the rewriting.
struct TNaming {
    TVokComponent* m_root;
    std::string m_savedRoot;
    std::string m_currentRoot;
    std::string m_requester;

    std::string Rewrite(const std::string& name) const {
        return RewriteRoot(name, m_savedRoot, m_currentRoot);
    }
    TVokBasicPin* Find(TVokPinKind kind, const TPinReference& reference) const {
        return TVokUnloadedPin::FindOrCreatePin(m_root, kind, Rewrite(reference.m_indexName),
                                                Rewrite(reference.m_displayName), m_requester);
    }
};

TNaming NamingFor(const TVokBasicPin& pin, const TVokReader& reader) {
    TVokComponent* root = reader.GetRoot() != nullptr ? reader.GetRoot() : pin.GetRoot();
    return TNaming{root, pin.GetFormRootName(), pin.GetRootName(), pin.GetFullName(true)};
}

/// Links `pin` to the source named by `reference`.
void LinkToSource(TVokBasicPin& pin, const TPinReference& reference, const TNaming& naming) {
    if (TVokBasicPin* source = naming.Find(vpkSource, reference)) {
        pin.Connect(source);
    }
}

/// Links every sink of `entries` from `pin`, with its dependency.
void LinkSinks(TVokBasicPin& pin, const std::vector<TSinkEntry>& entries, const TNaming& naming) {
    for (const TSinkEntry& entry : entries) {
        TVokBasicPin* dependency = nullptr;
        if (!entry.m_dependency.empty()) {
            dependency = naming.Find(vpkSink, {entry.m_dependency, entry.m_dependency});
        }
        TVokBasicPin* sink = naming.Find(vpkSink, entry.m_sink);
        if (sink != nullptr) {
            pin.ConnectEx(sink, dependency);
        }
    }
}

/// Joins the dispatcher a description names (placeholders keep the name for their real pin).
void JoinState(TVokBasicPin& pin, const std::string& savedName, TVokReader& reader) {
    const std::string name = reader.GetContext().MapDispatcherName(savedName, pin.IsDesigning());
    if (auto* placeholder = dynamic_cast<TVokUnloadedPin*>(&pin)) {
        placeholder->SetStateName(name);
        return;
    }
    pin.JoinNamedDispatcher(name);
}

// ---- writing ---------------------------------------------------------------------------------

/// identifier when both names are equal, else (identifier 'display name').
void WritePinReference(TVokWriter& writer, const TVokBasicPin& pin) {
    const std::string indexName = pin.GetFullIndexName(true);
    const std::string displayName = pin.GetFullName(true);
    if (indexName == displayName) {
        writer.WriteIdent(indexName);
        return;
    }
    writer.WriteListBegin();
    writer.WriteIdent(indexName);
    writer.WriteString(displayName);
    writer.WriteListEnd();
}

/// The dependency as stored: its display name, with root only when its root differs from the
/// source's. A name that is no identifier (a pin-list entry's "Pin [0]") is stored in index
/// form, which names the same pin.
std::string DependencyName(const TVokBasicPin& source, const TVokBasicPin& dependency) {
    const bool withRoot = dependency.GetRootName() != source.GetRootName();
    std::string name = dependency.GetFullName(withRoot);
    if (!IsFormIdentifier(name)) {
        name = dependency.GetFullIndexName(withRoot);
    }
    return name;
}

void WriteSinkEntries(TVokWriter& writer, const TVokBasicPin& source) {
    TVokGlobalReadLockSection global;
    writer.WriteListBegin();
    for (int i = 0; i < source.GetLinkCount(); ++i) {
        const TVokBasicPin* sink = source.GetLinkedPin(i);
        const TVokBasicPin* dependency = source.GetLinkDependency(i);
        const std::string indexName = sink->GetFullIndexName(true);
        const std::string displayName = sink->GetFullName(true);
        if (dependency == nullptr && indexName == displayName) {
            writer.WriteIdent(indexName);
            continue;
        }
        writer.WriteListBegin();
        writer.WriteIdent(indexName);
        if (dependency != nullptr) {
            writer.WriteIdent(DependencyName(source, *dependency));
        }
        if (indexName != displayName) {
            writer.WriteString(displayName);
        }
        writer.WriteListEnd();
    }
    writer.WriteListEnd();
}

/// The links of a pin as a list entry stores them (nothing when it has none).
void WriteEntryLinks(TVokWriter& writer, const TVokBasicPin& pin) {
    if (const auto* source = dynamic_cast<const TVokSourcePin*>(&pin)) {
        if (source->HasSinks()) {
            writer.WriteIdent("Sinks");
            WriteSinkEntries(writer, *source);
        }
    } else if (const auto* sink = dynamic_cast<const TVokSinkPin*>(&pin)) {
        if (const TVokSourcePin* linked = sink->GetSourcePin()) {
            WritePinReference(writer, *linked);
        }
    }
}

} // namespace

// ---- TVokBasicPin ----------------------------------------------------------------------------

void TVokBasicPin::DefineProperties(TVokFiler& filer) {
    filer.DefineProperty(
        "Form", [this](TVokReader& reader) { SetFormRootName(reader.ReadIdent()); },
        [this](TVokWriter& writer) { writer.WriteIdent(GetRootName()); }, IsFormStored());
    filer.DefineProperty(
        "State", [this](TVokReader& reader) { ReadState(reader); },
        [this](TVokWriter& writer) { WriteState(writer); }, HasStateLink());
}

void TVokBasicPin::ResolvePlaceholders() {
    TVokUnloadedPin::ResolveFor(this);
}

void TVokBasicPin::ReadLinks(TVokReader& reader) {
    reader.SkipValue();
}

void TVokBasicPin::ReadState(TVokReader& reader) {
    const std::string name = ReadStateName(reader);
    ResolvePlaceholders();
    JoinState(*this, name, reader);
}

void TVokBasicPin::WriteState(TVokWriter& writer) const {
    TVokGlobalWriteLockSection global;
    TVokStateDispatcher* dispatcher = m_dispatcher;
    if (dispatcher == nullptr) {
        writer.WriteString("");
        return;
    }
    const std::string& rootName = writer.GetRootName();
    bool sameRoot = true;
    for (int i = 0; i < dispatcher->GetPinCount(); ++i) {
        sameRoot = sameRoot && dispatcher->GetPin(i)->GetRootName() == GetRootName();
    }
    const bool written = dispatcher->NoteWrittenFor(rootName);
    if (sameRoot || written) {
        writer.WriteString(dispatcher->GetName());
        return;
    }
    writer.WriteListBegin();
    writer.WriteString(dispatcher->GetName());
    for (int i = 0; i < dispatcher->GetPinCount(); ++i) {
        const TVokBasicPin* member = dispatcher->GetPin(i);
        if (member->GetRootName() != rootName) {
            WritePinReference(writer, *member);
        }
    }
    writer.WriteListEnd();
}

// ---- TVokSourcePin ---------------------------------------------------------------------------

void TVokSourcePin::DefineProperties(TVokFiler& filer) {
    TVokStreamPin::DefineProperties(filer);
    filer.DefineProperty(
        "SinkPins", [this](TVokReader& reader) { ReadLinks(reader); },
        [this](TVokWriter& writer) { WriteSinkPins(writer); }, HasSinks());
}

void TVokSourcePin::ReadLinks(TVokReader& reader) {
    const std::vector<TSinkEntry> entries = ReadSinkEntries(reader);
    ResolvePlaceholders();
    LinkSinks(*this, entries, NamingFor(*this, reader));
}

void TVokSourcePin::WriteSinkPins(TVokWriter& writer) const {
    WriteSinkEntries(writer, *this);
}

// ---- TVokSinkPin -----------------------------------------------------------------------------

void TVokSinkPin::DefineProperties(TVokFiler& filer) {
    TVokStreamPin::DefineProperties(filer);
    filer.DefineProperty(
        "SourcePin", [this](TVokReader& reader) { ReadLinks(reader); },
        [this](TVokWriter& writer) { WriteSourcePin(writer); }, HasSourcePin());
}

void TVokSinkPin::ReadLinks(TVokReader& reader) {
    const TPinReference reference = ReadPinReference(reader);
    ResolvePlaceholders();
    LinkToSource(*this, reference, NamingFor(*this, reader));
}

void TVokSinkPin::WriteSourcePin(TVokWriter& writer) const {
    if (const TVokSourcePin* source = GetSourcePin()) {
        WritePinReference(writer, *source);
    }
}

// ---- TVokPinList -----------------------------------------------------------------------------

void TVokPinList::DefineProperties(TVokFiler& filer) {
    const bool owning = dynamic_cast<const TVokPinListOwner*>(this) != nullptr;
    filer.DefineProperty(
        "Form", [this](TVokReader& reader) { SetFormRootName(reader.ReadIdent()); },
        [this](TVokWriter& writer) { writer.WriteIdent(GetRootName()); }, true);
    filer.DefineProperty(
        "Pins", [this](TVokReader& reader) { ReadPins(reader); },
        [this](TVokWriter& writer) { WritePins(writer); }, owning || HasLinks());
    filer.DefineProperty(
        "PinsOwner", [](TVokReader& reader) { reader.ReadBool(); }, [](TVokWriter&) {}, false);
}

void TVokPinList::ReadPins(TVokReader& reader) {
    const std::vector<TListEntry> entries = ReadListEntries(reader);
    const bool owning = dynamic_cast<const TVokPinListOwner*>(this) != nullptr;
    TVokComponent* root = reader.GetRoot();
    if (root == nullptr && m_owner != nullptr) {
        root = m_owner->GetRoot();
    }
    const std::string rootName = GetRootName();
    const std::string ownerName = m_owner != nullptr ? m_owner->GetName() : std::string();
    const std::string listName =
        rootName + "." + ownerName + "." + reader.GetContext().m_objectPath;
    if (owning && GetCount() < static_cast<int>(entries.size())) {
        SetCount(static_cast<int>(entries.size())); // clamped to the list's maximum
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const TListEntry& entry = entries[i];
        const int index = static_cast<int>(i);
        if (owning && index >= GetEntryCount()) {
            break; // the list cannot hold more pins
        }
        if (!owning && index >= GetEntryCount()) {
            // Slots for pins that arrive later (a display's channels): pending placeholders
            // that the real pins fill in order.
            while (GetEntryCount() < index + 1) {
                const std::string slotName = listName + "._Pin" + std::to_string(GetEntryCount());
                TVokUnloadedPin* slot = TVokUnloadedPin::Create(root, entry.ImpliedKind(), slotName,
                                                                slotName, listName);
                AddNamed(slot, "");
            }
        }
        TVokBasicPin* pin;
        {
            TVokReadLockSection section(*this);
            pin = m_entries[i].m_pin;
        }
        pin->ResolvePlaceholders();
        TNaming naming{root, GetFormRootName(), rootName, listName + "._Pin" + std::to_string(i)};
        if (entry.m_hasState) {
            JoinState(*pin, entry.m_stateName, reader);
        }
        const bool isSource = pin->GetPinKind() == vpkSource;
        if (entry.m_links == TListEntry::leReference && (!owning || !isSource)) {
            LinkToSource(*pin, entry.m_reference, naming);
        } else if (entry.m_links == TListEntry::leSinks && (!owning || isSource)) {
            LinkSinks(*pin, entry.m_sinks, naming);
        }
    }
}

void TVokPinList::WritePins(TVokWriter& writer) const {
    std::vector<TVokBasicPin*> pins;
    {
        TVokReadLockSection section(const_cast<TVokPinList&>(*this));
        for (const TEntry& entry : m_entries) {
            pins.push_back(entry.m_pin);
        }
    }
    writer.WriteListBegin();
    for (const TVokBasicPin* pin : pins) {
        if (pin->IsPlaceholder()) {
            writer.WriteIdent("nil"); // a slot no real pin has filled
        } else if (pin->IsInDispatcher()) {
            writer.WriteIdent("State");
            writer.WriteListBegin();
            pin->WriteState(writer);
            WriteEntryLinks(writer, *pin);
            writer.WriteListEnd();
        } else if (pin->IsConnected()) {
            WriteEntryLinks(writer, *pin);
        } else {
            writer.WriteIdent("nil");
        }
    }
    writer.WriteListEnd();
}
