#include "pins/VokFormReader.h"

#include "pins/VokComponent.h"
#include "pins/VokExtCollection.h"
#include "pins/VokFiler.h"
#include "pins/VokPin.h"
#include "pins/VokPinList.h"
#include "pins/VokStandIn.h"
#include "pins/VokStateDispatcher.h"
#include "pins/VokUnloadedPin.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

namespace {

/// Finds one pseudo-property among those an object declares.
class TFindFiler final : public TVokFiler {
  public:
    explicit TFindFiler(std::string wanted) : m_wanted(std::move(wanted)) {}

    void DefineProperty(const std::string& name, const TReadProc& read, const TWriteProc& /*write*/,
                        bool /*hasData*/) override {
        m_names.push_back(name);
        if (name == m_wanted) {
            m_read = read;
        }
    }

    std::string m_wanted;
    std::vector<std::string> m_names;
    TReadProc m_read;
};

std::string JoinNames(const std::vector<std::string>& names) {
    std::string result;
    for (size_t i = 0; i < names.size(); ++i) {
        result += i == 0 ? "" : (i + 1 == names.size() ? " or " : ", ");
        result += names[i];
    }
    return result;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> segments;
    size_t start = 0;
    for (;;) {
        const size_t dot = path.find('.', start);
        segments.push_back(path.substr(start, dot - start));
        if (dot == std::string::npos) {
            return segments;
        }
        start = dot + 1;
    }
}

/// "TDruSignalGen", or "the pin Form1.X.InputPin" for objects without a property table.
std::string DescribeObject(const TVokPersistent* object) {
    if (const auto* pin = dynamic_cast<const TVokBasicPin*>(object)) {
        return "the pin " + pin->GetFullName(true);
    }
    return detail::ClassNameOf(*object);
}

bool IsBoolWord(const std::string& text, bool& value) {
    std::string word = text;
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    value = word == "true";
    return word == "true" || word == "false";
}

} // namespace

/// One reading: what it created, in which order, and what to resolve at the end.
struct TVokFormReader::TRun {
    struct TFixup {
        TVokPersistent* m_object;
        const TVokPropertyInfo* m_property;
        std::string m_name;
        TVokTextPosition m_position;
    };

    TRun(const TVokFormReader& reader, TVokComponent& root, bool rootCreated)
        : m_reader(reader), m_root(root), m_rootCreated(rootCreated),
          m_mark(TVokUnloadedPin::NextSerial()) {
        m_context.m_fileName = reader.m_fileName;
        m_context.m_root = &root;
    }

    [[noreturn]] void Fail(TVokTextPosition position, const std::string& message) const {
        throw EVokFormError(m_reader.m_fileName, position, message);
    }

    /// Runs `action`; any exception other than a description error becomes one at `position`.
    template <class F> void At(TVokTextPosition position, F&& action) const {
        try {
            action();
        } catch (const EVokFormError&) {
            throw;
        } catch (const std::exception& error) {
            Fail(position, error.what());
        }
    }

    void Execute(const TVokFormObject& document) {
        m_root.BeginLoading();
        try {
            if (m_root.GetName().empty()) {
                At(document.m_namePosition, [&] { m_root.SetName(document.m_name); });
            }
            m_loadOrder.emplace_back(&m_root, document.m_position);
            ApplyBody(document, m_root);
            ResolveFixups();
            for (const auto& [component, position] : m_loadOrder) {
                At(position, [component = component] { component->Loaded(); });
            }
            DropLoneDispatchers();
            TVokUnloadedPin::PurgeUnusedSince(m_mark);
        } catch (...) {
            Rollback();
            throw;
        }
    }

    void Rollback() {
        for (auto component = m_created.rbegin(); component != m_created.rend(); ++component) {
            if (IsOwnedByRoot(*component)) {
                delete *component;
            }
        }
        m_created.clear();
        DropLoneDispatchers();
        TVokUnloadedPin::DiscardSince(m_mark);
        if (!m_rootCreated && m_root.IsLoading()) {
            try {
                m_root.Loaded();
            } catch (...) {
                // The reading has failed already; that error is the one to report.
            }
        }
    }

    bool IsOwnedByRoot(const TVokComponent* component) const {
        for (int i = 0; i < m_root.GetComponentCount(); ++i) {
            if (m_root.GetComponent(i) == component) {
                return true;
            }
        }
        return false;
    }

    /// A dispatcher this reading created that only one pin joined is no link: let it go.
    void DropLoneDispatchers() {
        TVokGlobalWriteLockSection global;
        for (const auto& [saved, name] : m_context.m_dispatcherNames) {
            for (bool designing : {false, true}) {
                TVokStateDispatcher* dispatcher = TVokStateDispatcher::Find(name, designing);
                if (dispatcher != nullptr && dispatcher->GetPinCount() == 1) {
                    dispatcher->RemovePin(dispatcher->GetPin(0)); // deletes the dispatcher
                }
            }
        }
    }

    void ApplyBody(const TVokFormObject& object, TVokComponent& component) {
        for (const auto& [isObject, index] : object.m_order) {
            if (isObject) {
                CreateChild(object.m_children[index], component);
            } else {
                Assign(&component, component, "", object.m_assignments[index]);
            }
        }
    }

    void CreateChild(const TVokFormObject& object, TVokComponent& parent) {
        const TVokClassInfo* info = FindVokClass(object.m_className);
        if (info == nullptr) {
            Fail(object.m_classPosition, "found unknown class '" + object.m_className +
                                             "', expected a registered component class");
        }
        if (info->GetFactory() == nullptr) {
            Fail(object.m_classPosition, "found the abstract class " + object.m_className +
                                             ", expected a class that can be created");
        }
        if (m_root.FindComponent(object.m_name) != nullptr) {
            Fail(object.m_namePosition, "found a second component named '" + object.m_name +
                                            "', expected a name not used by another " +
                                            "component of " + m_root.GetName());
        }
        TVokComponent* component = nullptr;
        At(object.m_position, [&] { component = info->Create(&m_root); });
        m_created.push_back(component);
        component->BeginLoading();
        if (m_root.IsDesigning()) {
            component->SetDesigning(true);
        }
        At(object.m_namePosition, [&] { component->SetName(object.m_name); });
        At(object.m_position, [&] { component->SetParentComponent(&parent); });
        m_loadOrder.emplace_back(component, object.m_position);
        ApplyBody(object, *component);
    }

    void Assign(TVokPersistent* target, TVokComponent& component, const std::string& basePath,
                const TVokFormAssignment& assignment) {
        const std::vector<std::string> segments = SplitPath(assignment.m_path);
        for (const std::string& segment : segments) {
            if (segment.empty()) {
                Fail(assignment.m_position, "found the property path '" + assignment.m_path +
                                                "', expected names separated by single dots");
            }
        }
        if (TVokRawProperties* raw = component.GetRawProperties();
            raw != nullptr && target == &component &&
            component.GetClassInfo().FindProperty(segments.front()) == nullptr) {
            // A stand-in keeps what its class does not publish, to be written back unchanged.
            raw->Set(assignment.m_path, assignment.GetValue());
            return;
        }
        TVokPersistent* current = target;
        std::string objectPath = basePath;
        for (size_t i = 0; i + 1 < segments.size(); ++i) {
            const std::string& segment = segments[i];
            const TVokClassInfo* info = ClassInfoOf(current);
            const TVokPropertyInfo* property =
                info != nullptr ? info->FindProperty(segment) : nullptr;
            if (property == nullptr) {
                Fail(assignment.m_position, "found unknown property '" + segment +
                                                "', expected a published property of " +
                                                DescribeObject(current));
            }
            if (!property->IsObjectValued()) {
                Fail(assignment.m_position,
                     "found '" + segment + ".', but " + info->GetClassName() + "." + segment +
                         " is no sub-object (its kind is " + PropertyKindName(property->GetKind()) +
                         "), expected a sub-object before '.'");
            }
            TVokPersistent* next = nullptr;
            At(assignment.m_position,
               [&] { next = std::get<TVokPersistent*>(property->Get(current)); });
            if (next == nullptr) {
                Fail(assignment.m_position, "found " + info->GetClassName() + "." + segment +
                                                " empty (nil), expected a sub-object to set " +
                                                "properties on");
            }
            if (dynamic_cast<TVokComponent*>(next) != nullptr) {
                Fail(assignment.m_position, "found '" + segment +
                                                "' referring to another component, expected a " +
                                                "sub-object of " + info->GetClassName());
            }
            current = next;
            objectPath = objectPath.empty() ? segment : objectPath + "." + segment;
        }
        const std::string& name = segments.back();
        if (const TVokClassInfo* info = ClassInfoOf(current)) {
            if (const TVokPropertyInfo* property = info->FindProperty(name)) {
                SetValue(current, *property, assignment.GetValue(), component, objectPath);
                return;
            }
        }
        TFindFiler filer(name);
        current->DefineProperties(filer);
        if (!filer.m_read) {
            std::vector<std::string> names;
            if (const TVokClassInfo* info = ClassInfoOf(current)) {
                for (const TVokPropertyInfo* property : info->GetProperties()) {
                    names.push_back(property->GetName());
                }
            }
            names.insert(names.end(), filer.m_names.begin(), filer.m_names.end());
            Fail(assignment.m_position,
                 "found unknown property '" + name + "', expected " +
                     (names.empty() ? std::string("no property (") + DescribeObject(current) +
                                          " publishes none)"
                                    : "a property of " + DescribeObject(current) + " (" +
                                          JoinNames(names) + ")"));
        }
        m_context.m_objectPath = objectPath;
        TVokReader reader(assignment.GetValue(), m_context);
        At(assignment.GetValue().m_position, [&] {
            filer.m_read(reader);
            reader.CheckFinished();
        });
    }

    void SetValue(TVokPersistent* object, const TVokPropertyInfo& property,
                  const TVokFormValue& value, TVokComponent& component,
                  const std::string& objectPath) {
        const std::string what = property.GetClassName() + "." + property.GetName();
        auto mismatch = [&](const std::string& expected) {
            Fail(value.m_position, what + " expects " + expected + ", found " + value.Describe());
        };
        TVokValue converted;
        bool flag = false;
        switch (property.GetKind()) {
        case pkInteger:
            if (value.m_kind == fvIdentifier && !property.GetIdentifiers().empty()) {
                converted = IdentifierValue(property, value);
                break;
            }
            if (value.m_kind != fvInteger) {
                mismatch(property.GetIdentifiers().empty() ? "an integer"
                                                           : "an integer or an identifier");
            }
            converted = value.m_integer;
            break;
        case pkFloat:
            if (value.m_kind == fvInteger) {
                converted = static_cast<double>(value.m_integer);
            } else if (value.m_kind == fvFloat) {
                converted = value.m_float;
            } else {
                mismatch("a float");
            }
            break;
        case pkBool:
            if (value.m_kind != fvIdentifier || !IsBoolWord(value.m_text, flag)) {
                mismatch("True or False");
            }
            converted = flag;
            break;
        case pkString:
            if (value.m_kind != fvString) {
                mismatch("a string");
            }
            converted = value.m_text;
            break;
        case pkEnum:
            if (value.m_kind != fvIdentifier) {
                mismatch("an enumeration value");
            }
            converted = TVokEnumValue{value.m_text};
            break;
        case pkSet:
            if (value.m_kind != fvSet) {
                mismatch("a set [a, b]");
            }
            {
                TVokSetValue members;
                for (const TVokFormValue& member : value.m_items) {
                    members.m_names.push_back(member.m_text);
                }
                converted = std::move(members);
            }
            break;
        case pkObject:
            if (property.IsReadOnly()) {
                Fail(value.m_position, what + " is a sub-object, expected its properties set " +
                                           "one by one (" + property.GetName() +
                                           ".Name = value), found " + value.Describe());
            }
            if (value.m_kind != fvIdentifier) {
                mismatch("a component name or nil");
            }
            if (value.m_text != "nil") {
                m_fixups.push_back(TFixup{object, &property, value.m_text, value.m_position});
                return;
            }
            converted = static_cast<TVokPersistent*>(nullptr);
            break;
        case pkCollection:
            if (value.m_kind != fvCollection) {
                mismatch("a collection <item ... end>");
            }
            FillCollection(object, property, value, component, objectPath);
            return;
        case pkEvent:
            if (value.m_kind != fvIdentifier) {
                mismatch("a handler name or nil");
            }
            if (value.m_text == "nil") {
                converted = TVokEventValue{};
            } else if (m_reader.m_eventResolver) {
                At(value.m_position,
                   [&] { converted = m_reader.m_eventResolver(m_root, property, value.m_text); });
            } else {
                Fail(value.m_position, "found the handler name '" + value.m_text + "' for " + what +
                                           ", expected nil (no handlers are bound here)");
            }
            break;
        }
        At(value.m_position, [&] { property.Set(object, converted); });
    }

    /// The value the identifier `value` stands for in `property`'s table.
    int64_t IdentifierValue(const TVokPropertyInfo& property, const TVokFormValue& value) const {
        const TVokIdentifiers identifiers = property.GetIdentifiers();
        if (const std::optional<int64_t> number = VokIdentToInteger(identifiers, value.m_text)) {
            return *number;
        }
        // The tables run to dozens of names: the first few show what kind of name is meant.
        std::string examples;
        const size_t shown = std::min<size_t>(identifiers.size(), 3);
        for (size_t i = 0; i < shown; ++i) {
            examples += std::string(identifiers[i].m_name) + ", ";
        }
        Fail(value.m_position,
             "found unknown identifier '" + value.m_text + "' for " + property.GetClassName() +
                 "." + property.GetName() + ", expected an integer or one of its " +
                 std::to_string(identifiers.size()) + " identifiers (" + examples + "…)");
    }

    void FillCollection(TVokPersistent* object, const TVokPropertyInfo& property,
                        const TVokFormValue& value, TVokComponent& component,
                        const std::string& objectPath) {
        TVokPersistent* held = nullptr;
        At(value.m_position, [&] { held = std::get<TVokPersistent*>(property.Get(object)); });
        auto* collection = dynamic_cast<TVokExtCollection*>(held);
        if (collection == nullptr) {
            Fail(value.m_position, property.GetClassName() + "." + property.GetName() +
                                       " holds no collection, expected one to fill");
        }
        const std::string itemPath =
            objectPath.empty() ? property.GetName() : objectPath + "." + property.GetName();
        collection->BeginUpdate();
        try {
            At(value.m_position, [&] { collection->Clear(); });
            for (const TVokFormItem& item : value.m_collection) {
                TVokExtCollectionItem* added = nullptr;
                At(item.m_position, [&] { added = collection->Add(); });
                for (const TVokFormAssignment& assignment : item.m_assignments) {
                    Assign(added, component, itemPath, assignment);
                }
            }
        } catch (...) {
            try {
                collection->EndUpdate();
            } catch (...) {
                // The first error is the one to report.
            }
            throw;
        }
        At(value.m_end, [&] { collection->EndUpdate(); });
    }

    void ResolveFixups() {
        for (const TFixup& fixup : m_fixups) {
            TVokComponent* target =
                fixup.m_name == m_root.GetName() ? &m_root : m_root.FindComponent(fixup.m_name);
            if (target == nullptr) {
                Fail(fixup.m_position, "found unknown component '" + fixup.m_name +
                                           "', expected nil or the name of a component of " +
                                           m_root.GetName());
            }
            At(fixup.m_position, [&] { fixup.m_property->Set(fixup.m_object, target); });
        }
    }

    const TVokFormReader& m_reader;
    TVokComponent& m_root;
    const bool m_rootCreated;
    const uint64_t m_mark;
    TVokReadContext m_context;
    std::vector<TVokComponent*> m_created;
    std::vector<std::pair<TVokComponent*, TVokTextPosition>> m_loadOrder;
    std::vector<TFixup> m_fixups;
};

TVokFormReader::TVokFormReader(std::string fileName) : m_fileName(std::move(fileName)) {
}

std::unique_ptr<TVokComponent> TVokFormReader::Read(std::string_view text, TVokComponent* owner) {
    const TVokFormObject document = VokParseForm(text, m_fileName);
    const TVokClassInfo* info = FindVokClass(document.m_className);
    if (info == nullptr || info->GetFactory() == nullptr) {
        throw EVokFormError(m_fileName, document.m_classPosition,
                            "found " + std::string(info == nullptr ? "unknown" : "abstract") +
                                " class '" + document.m_className +
                                "', expected a registered class that can be created");
    }
    if (owner != nullptr && owner->FindComponent(document.m_name) != nullptr) {
        throw EVokFormError(m_fileName, document.m_namePosition,
                            "found a second component named '" + document.m_name +
                                "', expected a name not used by another component of " +
                                owner->GetName());
    }
    std::unique_ptr<TVokComponent> root;
    try {
        root.reset(info->Create(owner));
    } catch (const std::exception& error) {
        throw EVokFormError(m_fileName, document.m_position, error.what());
    }
    TRun run(*this, *root, true);
    run.Execute(document);
    return root;
}

void TVokFormReader::ReadInto(std::string_view text, TVokComponent& root) {
    const TVokFormObject document = VokParseForm(text, m_fileName);
    const TVokClassInfo* rootInfo = ClassInfoOf(&root);
    const TVokClassInfo* named = FindVokClass(document.m_className);
    const bool fits = rootInfo != nullptr && (rootInfo->GetClassName() == document.m_className ||
                                              (named != nullptr && rootInfo->InheritsFrom(*named)));
    if (!fits) {
        throw EVokFormError(m_fileName, document.m_classPosition,
                            "found the class '" + document.m_className + "', expected " +
                                (rootInfo != nullptr ? rootInfo->GetClassName()
                                                     : std::string("a published class")) +
                                " (the class of the component being read) or a base of it");
    }
    TRun run(*this, root, false);
    run.Execute(document);
}

void RegisterVokClasses() {
    RegisterVokClass(TVokForm::ClassInfo());
}
