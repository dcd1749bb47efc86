#include "pins/VokFormWriter.h"

#include "pins/VokComponent.h"
#include "pins/VokExtCollection.h"
#include "pins/VokFiler.h"
#include "pins/VokFormText.h"
#include "pins/VokPin.h"
#include "pins/VokPinList.h"
#include "pins/VokStandIn.h"

#include <algorithm>
#include <stdexcept>

namespace {

/// Collects the pseudo-properties an object declares, in declaration order.
class TCollectFiler final : public TVokFiler {
  public:
    struct TProperty {
        std::string m_name;
        TWriteProc m_write;
    };

    void DefineProperty(const std::string& name, const TReadProc& /*read*/, const TWriteProc& write,
                        bool hasData) override {
        if (hasData) {
            m_properties.push_back(TProperty{name, write});
        }
    }

    std::vector<TProperty> m_properties;
};

bool Contains(const std::vector<const TVokPersistent*>& objects, const TVokPersistent* object) {
    return std::find(objects.begin(), objects.end(), object) != objects.end();
}

std::string FormatName(const std::string& name, const TVokPropertyInfo& property) {
    if (!IsFormIdentifier(name) || name.find('.') != std::string::npos) {
        throw std::invalid_argument(property.GetClassName() + "." + property.GetName() +
                                    " holds the name '" + name +
                                    "', which a description cannot hold");
    }
    return name;
}

std::string FormatValue(const TVokValue& value, const TVokPropertyInfo& property) {
    if (const auto* number = std::get_if<int64_t>(&value)) {
        if (const char* identifier = VokIntegerToIdent(property.GetIdentifiers(), *number)) {
            return identifier;
        }
        return std::to_string(*number);
    }
    if (const auto* number = std::get_if<double>(&value)) {
        return VokFormatFormFloat(*number);
    }
    if (const auto* flag = std::get_if<bool>(&value)) {
        return *flag ? "True" : "False";
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        return VokFormatFormString(*text);
    }
    if (const auto* member = std::get_if<TVokEnumValue>(&value)) {
        return FormatName(member->m_name, property);
    }
    if (const auto* members = std::get_if<TVokSetValue>(&value)) {
        std::string text = "[";
        for (size_t i = 0; i < members->m_names.size(); ++i) {
            text += (i == 0 ? "" : ", ") + FormatName(members->m_names[i], property);
        }
        return text + "]";
    }
    throw std::invalid_argument(property.GetClassName() + "." + property.GetName() +
                                " holds a value a description cannot hold");
}

class TWriterRun {
  public:
    TWriterRun(const TVokComponent& root, const TVokEventNamer& namer)
        : m_root(root), m_namer(namer) {}

    std::string Run() {
        WriteObject(m_root, 0);
        return std::move(m_text);
    }

  private:
    void Line(int depth, const std::string& text) {
        m_text.append(static_cast<size_t>(depth) * 2, ' ');
        m_text += text;
        m_text += '\n';
    }

    bool OwnedByRoot(const TVokComponent* component) const {
        for (int i = 0; i < m_root.GetComponentCount(); ++i) {
            if (m_root.GetComponent(i) == component) {
                return true;
            }
        }
        return false;
    }

    bool IsChildOf(const TVokComponent& child, const TVokComponent& parent) const {
        const TVokComponent* enclosing = child.GetParentComponent();
        if (&parent != &m_root) {
            return enclosing == &parent;
        }
        return enclosing == nullptr || enclosing == &m_root || enclosing == &child ||
               !OwnedByRoot(enclosing);
    }

    void WriteObject(const TVokComponent& component, int depth) {
        m_written.push_back(&component);
        const TVokClassInfo& info = component.GetClassInfo();
        Line(depth, "object " + component.GetName() + ": " + info.GetClassName());
        std::vector<const TVokPersistent*> visited{&component};
        WriteProperties(&component, "", depth + 1, visited, true);
        if (const TVokRawProperties* raw = component.GetRawProperties()) {
            for (const auto& [path, value] : raw->GetEntries()) {
                Line(depth + 1, path + " = " + VokFormatFormValue(value, depth + 1));
            }
        }
        for (int i = 0; i < m_root.GetComponentCount(); ++i) {
            const TVokComponent* child = m_root.GetComponent(i);
            if (!Contains(m_written, child) && IsChildOf(*child, component)) {
                WriteObject(*child, depth + 1);
            }
        }
        if (&component == &m_root) {
            // Components whose enclosing objects form a loop are still written.
            for (int i = 0; i < m_root.GetComponentCount(); ++i) {
                if (!Contains(m_written, m_root.GetComponent(i))) {
                    WriteObject(*m_root.GetComponent(i), depth + 1);
                }
            }
        }
        Line(depth, "end");
    }

    void WriteProperties(const TVokPersistent* object, const std::string& prefix, int depth,
                         std::vector<const TVokPersistent*>& visited, bool isComponent) {
        if (const TVokClassInfo* info = ClassInfoOf(object)) {
            for (const TVokPropertyInfo* property : info->GetProperties()) {
                if ((isComponent && property->GetName() == "Name") || !property->IsStored()) {
                    continue; // the name is written in the object's header
                }
                WriteProperty(object, *property, prefix, depth, visited);
            }
        }
        TCollectFiler filer;
        const_cast<TVokPersistent*>(object)->DefineProperties(filer);
        for (const TCollectFiler::TProperty& property : filer.m_properties) {
            TVokWriter writer(m_root.GetName());
            property.m_write(writer);
            Line(depth, prefix + property.m_name + " = " + writer.GetText());
        }
    }

    void WriteProperty(const TVokPersistent* object, const TVokPropertyInfo& property,
                       const std::string& prefix, int depth,
                       std::vector<const TVokPersistent*>& visited) {
        const std::string name = prefix + property.GetName();
        switch (property.GetKind()) {
        case pkObject: {
            TVokPersistent* value = std::get<TVokPersistent*>(property.Get(object));
            if (const auto* component = dynamic_cast<const TVokComponent*>(value)) {
                if (!property.IsReadOnly() && (component == &m_root || OwnedByRoot(component))) {
                    Line(depth, name + " = " + component->GetName());
                }
                return;
            }
            if (value == nullptr || Contains(visited, value)) {
                return;
            }
            visited.push_back(value);
            WriteProperties(value, name + ".", depth, visited, false);
            return;
        }
        case pkCollection: {
            auto* collection =
                dynamic_cast<TVokExtCollection*>(std::get<TVokPersistent*>(property.Get(object)));
            if (collection == nullptr) {
                return;
            }
            if (collection->GetCount() == 0) {
                Line(depth, name + " = <>");
                return;
            }
            Line(depth, name + " = <");
            for (int i = 0; i < collection->GetCount(); ++i) {
                const TVokExtCollectionItem* item = collection->GetItem(i);
                Line(depth + 1, "item");
                visited.push_back(item);
                WriteProperties(item, "", depth + 2, visited, false);
                Line(depth + 1, i + 1 == collection->GetCount() ? "end>" : "end");
            }
            return;
        }
        case pkEvent: {
            if (!m_namer) {
                return;
            }
            const TVokValue value = property.Get(object);
            const std::string handler = m_namer(m_root, property, std::get<TVokEventValue>(value));
            if (!handler.empty()) {
                Line(depth, name + " = " + FormatName(handler, property));
            }
            return;
        }
        default:
            if (property.IsReadOnly() ||
                (!property.IsAlwaysStored() && property.IsDefault(object))) {
                return;
            }
            Line(depth, name + " = " + FormatValue(property.Get(object), property));
            return;
        }
    }

    const TVokComponent& m_root;
    const TVokEventNamer& m_namer;
    std::string m_text;
    std::vector<const TVokPersistent*> m_written;
};

/// Adds the source pins published by `object` (directly, in pin lists, in sub-objects and in
/// collection items) to `sources`, once each.
void CollectSources(const TVokPersistent* object, std::vector<const TVokPersistent*>& visited,
                    std::vector<TVokSourcePin*>& sources) {
    auto addPin = [&sources](TVokBasicPin* pin) {
        auto* source = dynamic_cast<TVokSourcePin*>(pin);
        if (source != nullptr &&
            std::find(sources.begin(), sources.end(), source) == sources.end()) {
            sources.push_back(source);
        }
    };
    for (const TVokPublishedObject& property : PublishedObjectsOf(object)) {
        TVokPersistent* value = property.m_object;
        if (Contains(visited, value) || dynamic_cast<TVokComponent*>(value) != nullptr) {
            continue;
        }
        visited.push_back(value);
        if (auto* pin = dynamic_cast<TVokBasicPin*>(value)) {
            addPin(pin);
        } else if (auto* list = dynamic_cast<TVokPinList*>(value)) {
            for (int i = 0; i < list->GetCount(); ++i) {
                addPin(list->GetPin(i));
            }
        } else if (auto* collection = dynamic_cast<TVokExtCollection*>(value)) {
            for (int i = 0; i < collection->GetCount(); ++i) {
                CollectSources(collection->GetItem(i), visited, sources);
            }
        } else {
            CollectSources(value, visited, sources);
        }
    }
}

} // namespace

std::string TVokFormWriter::Write(const TVokComponent& root) const {
    TWriterRun run(root, m_eventNamer);
    return run.Run();
}

std::vector<TVokLinkEntry> VokListLinks(const TVokComponent& root) {
    std::vector<const TVokPersistent*> visited;
    std::vector<TVokSourcePin*> sources;
    CollectSources(&root, visited, sources);
    for (int i = 0; i < root.GetComponentCount(); ++i) {
        visited.push_back(root.GetComponent(i));
        CollectSources(root.GetComponent(i), visited, sources);
    }
    std::vector<TVokLinkEntry> links;
    TVokGlobalReadLockSection global;
    for (TVokSourcePin* source : sources) {
        for (int i = 0; i < source->GetSinkCount(); ++i) {
            links.push_back(TVokLinkEntry{source, source->GetSink(i)});
        }
    }
    return links;
}
