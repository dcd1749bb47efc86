#pragma once

#include "pins/VokPersistent.h"
#include "pins/VokSet.h"

#include <any>
#include <concepts>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

class TVokComponent;
class TVokClassInfo;

/// The kind of value a published property holds; decides how it is read, written and streamed.
enum TVokPropertyKind : uint8_t {
    pkInteger,    ///< any integral type, carried as int64_t
    pkFloat,      ///< float or double, carried as double
    pkBool,       ///< bool
    pkString,     ///< std::string
    pkEnum,       ///< an enumeration, carried by the value's name ("atTone")
    pkSet,        ///< a `TVokSet` or unsigned bit mask, carried as the names of its members
    pkObject,     ///< a sub-object (pin, pin list, format object), carried as TVokPersistent*
    pkCollection, ///< a collection sub-object, carried as TVokPersistent*
    pkEvent,      ///< an event handler, carried as std::any holding the handler type
};

/// Name of a kind for messages: "integer", "float", "bool", "string", "enum", "set", "object",
/// "collection", "event".
const char* PropertyKindName(TVokPropertyKind kind);

/// Enumeration value carried by its name as written in the design, for example "atTone".
struct TVokEnumValue {
    std::string m_name;
    friend bool operator==(const TVokEnumValue&, const TVokEnumValue&) = default;
};

/// Set value carried as the names of its members, in the enumeration's declaration order.
struct TVokSetValue {
    std::vector<std::string> m_names;
    friend bool operator==(const TVokSetValue&, const TVokSetValue&) = default;
};

/// Event handler value: `m_handler` holds the property's handler type (for example a
/// std::function) or nothing for "no handler". Handlers cannot be compared: two values are
/// equal only when both are empty.
struct TVokEventValue {
    std::any m_handler;
    friend bool operator==(const TVokEventValue& a, const TVokEventValue& b) {
        return !a.m_handler.has_value() && !b.m_handler.has_value();
    }
};

/// A property value for generic access by the form reader and writer. The alternative in use
/// follows the property's kind: int64_t (pkInteger), double (pkFloat), bool, std::string,
/// TVokEnumValue, TVokSetValue, TVokPersistent* (pkObject and pkCollection), TVokEventValue.
using TVokValue = std::variant<int64_t, double, bool, std::string, TVokEnumValue, TVokSetValue,
                               TVokPersistent*, TVokEventValue>;

/// One identifier of an integer property: a name that stands for a value in descriptions
/// (`Color = clRed`).
struct TVokIdentifier {
    const char* m_name;
    int64_t m_value;
};

/// An identifier table, in listing order. The tables a property refers to are static arrays
/// that live as long as the program; a property only keeps a view of its table.
using TVokIdentifiers = std::span<const TVokIdentifier>;

/// The value `name` stands for in `identifiers` (exact, case-sensitive match), or nullopt.
std::optional<int64_t> VokIdentToInteger(TVokIdentifiers identifiers, std::string_view name);
/// The identifier that stands for `value`, the first listed when several do; null when none.
const char* VokIntegerToIdent(TVokIdentifiers identifiers, int64_t value);

/// A colour. An RGB colour is 0x00BBGGRR (red in the low byte); a system colour (one of the
/// desktop's theme colours, resolved by the GUI side) is 0x80000000 | index and so negative;
/// `kVokClNone` (no colour) and `kVokClDefault` (the control's own default) are special values.
using TVokColor = int32_t;

/// The system colour with theme index `index` (0 … 24, see `VokColorIdentifiers`).
constexpr TVokColor VokSystemColor(int index) {
    return static_cast<TVokColor>(0x80000000U | static_cast<uint32_t>(index));
}
/// True for a system colour (high bit set).
constexpr bool VokIsSystemColor(TVokColor color) {
    return color < 0;
}
/// The theme index of a system colour (its low byte), or -1 for any other colour.
constexpr int VokSystemColorIndex(TVokColor color) {
    return VokIsSystemColor(color) ? static_cast<int>(static_cast<uint32_t>(color) & 0xFFU) : -1;
}

constexpr TVokColor kVokClBlack = 0x000000;
constexpr TVokColor kVokClMaroon = 0x000080;
constexpr TVokColor kVokClGreen = 0x008000;
constexpr TVokColor kVokClOlive = 0x008080;
constexpr TVokColor kVokClNavy = 0x800000;
constexpr TVokColor kVokClPurple = 0x800080;
constexpr TVokColor kVokClTeal = 0x808000;
constexpr TVokColor kVokClGray = 0x808080;
constexpr TVokColor kVokClSilver = 0xC0C0C0;
constexpr TVokColor kVokClRed = 0x0000FF;
constexpr TVokColor kVokClLime = 0x00FF00;
constexpr TVokColor kVokClYellow = 0x00FFFF;
constexpr TVokColor kVokClBlue = 0xFF0000;
constexpr TVokColor kVokClFuchsia = 0xFF00FF;
constexpr TVokColor kVokClAqua = 0xFFFF00;
constexpr TVokColor kVokClWhite = 0xFFFFFF;
constexpr TVokColor kVokClCream = 0xF0FBFF;
constexpr TVokColor kVokClNone = 0x1FFFFFFF;
constexpr TVokColor kVokClDefault = 0x20000000;
constexpr TVokColor kVokClWindowText = VokSystemColor(8);
constexpr TVokColor kVokClBtnFace = VokSystemColor(15);

/// A font's character set, one of `VokCharsetIdentifiers` (`DEFAULT_CHARSET` = 1).
using TVokCharset = uint8_t;
constexpr TVokCharset kVokAnsiCharset = 0;
constexpr TVokCharset kVokDefaultCharset = 1;

/// A mouse cursor shape: one of `VokCursorIdentifiers` (0 and below are the built-in shapes).
using TVokCursor = int16_t;
constexpr TVokCursor kVokCrDefault = 0;
constexpr TVokCursor kVokCrArrow = -2;
constexpr TVokCursor kVokCrCross = -3;
constexpr TVokCursor kVokCrVSplit = -15;
constexpr TVokCursor kVokCrHandPoint = -21;

/// The colour names: the RGB colours (clBlack … clMedGray), clNone, clDefault and the system
/// colours (clScrollBar … clInfoBk).
TVokIdentifiers VokColorIdentifiers();
/// The character set names (ANSI_CHARSET … OEM_CHARSET).
TVokIdentifiers VokCharsetIdentifiers();
/// The cursor names (crDefault … crSizeAll); `crSize` is read as `crSizeAll`, which is written.
TVokIdentifiers VokCursorIdentifiers();

/// One published property: its name, kind, value names (enum and set kinds), default value and
/// type-erased accessors that work through a `TVokPersistent*`.
///
/// `Get` and `Set` throw std::invalid_argument naming the class, the property and the problem
/// when the object is not of the declaring class, the value has another kind than the property
/// expects, an enum/set name is unknown, an integer does not fit the property's type, or the
/// property is read-only. A float property also accepts an integer value.
/// Property infos are immutable once their class info is built; reading them is thread safe.
/// `Get`/`Set` call the object's own getter/setter and follow that object's thread rules.
class TVokPropertyInfo {
  public:
    using TGetter = std::function<TVokValue(const TVokPersistent&)>;
    using TSetter = std::function<void(TVokPersistent&, const TVokValue&)>;

    TVokPropertyInfo(std::string name, TVokPropertyKind kind, std::vector<std::string> valueNames,
                     std::optional<TVokValue> defaultValue, TGetter getter, TSetter setter);

    const std::string& GetName() const { return m_name; }
    TVokPropertyKind GetKind() const { return m_kind; }
    /// The name of the class that declares this property (set when its class info is built).
    const std::string& GetClassName() const { return m_className; }
    /// For pkEnum and pkSet: the value names in enumeration order; empty otherwise.
    const std::vector<std::string>& GetValueNames() const { return m_valueNames; }
    /// The default value, if the property has one (objects, collections and events do not).
    const std::optional<TVokValue>& GetDefault() const { return m_default; }
    bool IsReadOnly() const { return !m_setter; }
    /// True when the kind is pkObject or pkCollection: the value is a sub-object.
    bool IsObjectValued() const { return m_kind == pkObject || m_kind == pkCollection; }
    /// True when `object`'s current value equals the default (the writer skips such values).
    bool IsDefault(const TVokPersistent* object) const;
    /// False for a property whose value the class stores another way (a pseudo-property
    /// declared by `DefineProperties`); the writer skips it, the reader still accepts it.
    bool IsStored() const { return m_stored; }
    /// This property, marked as not stored: `TVokProp::String(...).NotStored()`.
    TVokPropertyInfo NotStored() && {
        m_stored = false;
        return std::move(*this);
    }
    /// True for a property the writer stores even when it holds its default (the properties of
    /// a font, which is stored whole). The default is still declared, for editors.
    bool IsAlwaysStored() const { return m_alwaysStored; }
    /// This property, marked as always stored: `TVokProp::Color(...).AlwaysStored()`.
    TVokPropertyInfo AlwaysStored() && {
        m_alwaysStored = true;
        return std::move(*this);
    }
    /// For an integer property with identifiers (colours, charsets, cursors): its table, which
    /// the reader accepts besides numbers and the writer uses for the values it lists. Empty
    /// for every other property.
    TVokIdentifiers GetIdentifiers() const { return m_identifiers; }
    /// This integer property, with the identifiers `identifiers` (a static table). Throws
    /// std::invalid_argument naming the property when it is not of kind pkInteger.
    TVokPropertyInfo WithIdentifiers(TVokIdentifiers identifiers) &&;

    TVokValue Get(const TVokPersistent* object) const;
    void Set(TVokPersistent* object, const TVokValue& value) const;

  private:
    friend class TVokClassInfo;
    [[noreturn]] void Fail(const std::string& reason) const;

    std::string m_name;
    std::string m_className;
    TVokPropertyKind m_kind;
    std::vector<std::string> m_valueNames;
    std::optional<TVokValue> m_default;
    TGetter m_getter;
    TSetter m_setter;
    TVokIdentifiers m_identifiers;
    bool m_stored = true;
    bool m_alwaysStored = false;
};

/// Creates a component of the class `info` describes, given its owner (which may be null); used
/// by the form reader. Classes built into the program ignore `info`; stand-in classes registered
/// at run time (VokStandIn.h) share one factory and take their table from it.
using TVokComponentFactory = TVokComponent* (*)(TVokComponent* owner, const TVokClassInfo& info);

/// The published-property table of one class: its name, its parent's table, a factory (null for
/// abstract classes) and the properties it declares itself, in declaration order.
/// A class builds its table once, as a function-local static in its .cpp, and never changes it;
/// all methods are thread safe.
class TVokClassInfo {
  public:
    /// `parent` must outlive this table (parents are function-local statics as well).
    /// Throws std::invalid_argument when two own properties share a name.
    TVokClassInfo(std::string className, const TVokClassInfo* parent, TVokComponentFactory factory,
                  std::vector<TVokPropertyInfo> properties);
    TVokClassInfo(const TVokClassInfo&) = delete;
    TVokClassInfo& operator=(const TVokClassInfo&) = delete;

    /// Factory for a class `T` constructible from its owner: `TVokClassInfo::FactoryOf<T>`.
    template <class T>
    static TVokComponent* FactoryOf(TVokComponent* owner, const TVokClassInfo& /*info*/) {
        return new T(owner);
    }

    const std::string& GetClassName() const { return m_className; }
    const TVokClassInfo* GetParent() const { return m_parent; }
    TVokComponentFactory GetFactory() const { return m_factory; }
    /// True when this is `other` or a class derived from it.
    bool InheritsFrom(const TVokClassInfo& other) const;

    /// Creates a component through the factory; the caller (or `owner`) owns it.
    /// Throws std::invalid_argument for a class without a factory.
    TVokComponent* Create(TVokComponent* owner) const;

    /// The properties this class declares itself, in declaration order.
    const std::vector<TVokPropertyInfo>& GetOwnProperties() const { return m_ownProperties; }
    /// All properties, inherited first (root class first), each class's in declaration order.
    /// A class that re-declares an inherited name (to change its default, say) replaces the
    /// inherited entry at its original position.
    const std::vector<const TVokPropertyInfo*>& GetProperties() const { return m_allProperties; }
    /// The property named `name` (exact match), including inherited ones; null when absent.
    const TVokPropertyInfo* FindProperty(std::string_view name) const;
    /// As `FindProperty`, but throws std::invalid_argument naming the class and the name.
    const TVokPropertyInfo& GetProperty(std::string_view name) const;

    /// Reads or writes property `name` of `object`; errors as in `TVokPropertyInfo`.
    TVokValue GetValue(const TVokPersistent* object, std::string_view name) const;
    void SetValue(TVokPersistent* object, std::string_view name, const TVokValue& value) const;

  private:
    std::string m_className;
    const TVokClassInfo* m_parent;
    TVokComponentFactory m_factory;
    std::vector<TVokPropertyInfo> m_ownProperties;
    std::vector<const TVokPropertyInfo*> m_allProperties;
};

/// Mix-in of every object that publishes properties (components, and later pins and pin lists):
/// gives access to the table of the object's most derived class. Each class overrides
/// `GetClassInfo` to return its own static `ClassInfo()`.
class IVokPublished {
  public:
    virtual const TVokClassInfo& GetClassInfo() const = 0;

  protected:
    ~IVokPublished() = default;
};

/// The table of `object`'s class, or null when `object` is null or publishes nothing.
const TVokClassInfo* ClassInfoOf(const TVokPersistent* object);

/// One object-valued published property with its current value.
struct TVokPublishedObject {
    std::string m_name;
    TVokPersistent* m_object;
};

/// The values of `object`'s object-valued properties (pkObject and pkCollection), in property
/// order (inherited first); null values are left out. Empty when `object` publishes nothing.
/// This is the list the pin-name search walks.
std::vector<TVokPublishedObject> PublishedObjectsOf(const TVokPersistent* object);

/// Process-wide registry of class tables by class name, for the form reader. The registry is a
/// function-local static guarded by its own mutex, so classes may register from static
/// initialisers in their own .cpp files (e.g.
/// `const bool s_registered = RegisterVokClass(TDruSignalGen::ClassInfo());`) and look-ups are
/// thread safe. Note that an object file of a static library whose symbols nothing references
/// is not linked, and then its registration does not run.
/// Registering the same table again is harmless; another table under a registered name throws
/// std::invalid_argument. Returns true.
bool RegisterVokClass(const TVokClassInfo& info);
/// The registered table named `className`, or null.
const TVokClassInfo* FindVokClass(std::string_view className);

namespace detail {

/// Thrown by the value converters; `TVokPropertyInfo` adds the class and property name.
struct TVokValueError : std::invalid_argument {
    explicit TVokValueError(const std::string& reason) : std::invalid_argument(reason) {}
};

/// The published class name of `object`, or its C++ type name when it publishes nothing.
std::string ClassNameOf(const TVokPersistent& object);

/// Names a value's alternative for messages ("an integer", "a string", ...).
const char* ValueKindName(const TVokValue& value);

template <class M, class C> C* MemberClassOf(M C::*);
/// The class a member pointer belongs to.
template <class P> using TMemberClass = std::remove_pointer_t<decltype(MemberClassOf(P{}))>;

template <class C> const C& CastObject(const TVokPersistent& object) {
    const C* result = dynamic_cast<const C*>(&object);
    if (result == nullptr) {
        throw TVokValueError("object is a " + ClassNameOf(object) + ", not of the declaring class");
    }
    return *result;
}

template <class C> C& CastObject(TVokPersistent& object) {
    return const_cast<C&>(CastObject<C>(std::as_const(object)));
}

template <class Want> const Want& Expect(const TVokValue& value, const char* wanted) {
    if (const Want* result = std::get_if<Want>(&value)) {
        return *result;
    }
    throw TVokValueError(std::string("expects ") + wanted + " value, got " + ValueKindName(value));
}

/// Conversion between a typed C++ value `V` and a `TVokValue` of one kind.
template <class V> struct TIntegerCodec {
    TVokValue ToValue(const V& value) const { return static_cast<int64_t>(value); }
    V FromValue(const TVokValue& value) const {
        const int64_t number = Expect<int64_t>(value, "an integer");
        if (!std::in_range<V>(number)) {
            throw TVokValueError("value " + std::to_string(number) + " is out of range");
        }
        return static_cast<V>(number);
    }
};

template <class V> struct TFloatCodec {
    TVokValue ToValue(const V& value) const { return static_cast<double>(value); }
    V FromValue(const TVokValue& value) const {
        if (const int64_t* number = std::get_if<int64_t>(&value)) {
            return static_cast<V>(*number);
        }
        return static_cast<V>(Expect<double>(value, "a float"));
    }
};

template <class V> struct TPlainCodec {
    const char* m_wanted;
    TVokValue ToValue(const V& value) const { return value; }
    V FromValue(const TVokValue& value) const { return Expect<V>(value, m_wanted); }
};

size_t FindValueName(const std::vector<std::string>& names, const std::string& name);

template <class V> struct TEnumCodec {
    std::vector<std::string> m_names;
    TVokValue ToValue(const V& value) const {
        const auto index = static_cast<size_t>(value);
        if (index >= m_names.size()) {
            throw TVokValueError("holds the unnamed value " + std::to_string(index));
        }
        return TVokEnumValue{m_names[index]};
    }
    V FromValue(const TVokValue& value) const {
        return static_cast<V>(
            FindValueName(m_names, Expect<TVokEnumValue>(value, "an enum").m_name));
    }
};

template <class V> uint64_t SetBits(const V& value) {
    if constexpr (std::is_integral_v<V>) {
        return static_cast<uint64_t>(value);
    } else {
        return value.ToBits();
    }
}

template <class V> struct TSetCodec {
    std::vector<std::string> m_names;
    TVokValue ToValue(const V& value) const {
        const uint64_t bits = SetBits(value);
        TVokSetValue result;
        for (size_t index = 0; index < m_names.size() && index < 64; ++index) {
            if ((bits >> index) & 1U) {
                result.m_names.push_back(m_names[index]);
            }
        }
        if (m_names.size() < 64 && (bits >> m_names.size()) != 0) {
            throw TVokValueError("holds unnamed members");
        }
        return result;
    }
    V FromValue(const TVokValue& value) const {
        uint64_t bits = 0;
        for (const std::string& name : Expect<TVokSetValue>(value, "a set").m_names) {
            bits |= uint64_t{1} << FindValueName(m_names, name);
        }
        if constexpr (std::is_integral_v<V>) {
            return static_cast<V>(bits);
        } else {
            return V::FromBits(bits);
        }
    }
};

/// V is a pointer to a class derived from TVokPersistent.
template <class V> struct TObjectCodec {
    TVokValue ToValue(V value) const {
        return static_cast<TVokPersistent*>(
            const_cast<std::remove_const_t<std::remove_pointer_t<V>>*>(value));
    }
    V FromValue(const TVokValue& value) const {
        TVokPersistent* object = Expect<TVokPersistent*>(value, "an object");
        if (object == nullptr) {
            return nullptr;
        }
        V result = dynamic_cast<V>(object);
        if (result == nullptr) {
            throw TVokValueError("cannot take an object of class " + ClassNameOf(*object));
        }
        return result;
    }
};

template <class V> struct TEventCodec {
    TVokValue ToValue(const V& value) const {
        if constexpr (std::is_constructible_v<bool, const V&>) {
            if (!static_cast<bool>(value)) {
                return TVokEventValue{};
            }
        }
        return TVokEventValue{std::any(value)};
    }
    V FromValue(const TVokValue& value) const {
        const std::any& handler = Expect<TVokEventValue>(value, "an event").m_handler;
        if (!handler.has_value()) {
            return V{};
        }
        if (const V* result = std::any_cast<V>(&handler)) {
            return *result;
        }
        throw TVokValueError(std::string("cannot take a handler of type ") + handler.type().name());
    }
};

/// Builds the type-erased getter from a const member function or a data member pointer.
template <class Codec, class Getter>
TVokPropertyInfo::TGetter MakeGetter(Codec codec, Getter getter) {
    using C = TMemberClass<Getter>;
    return [codec, getter](const TVokPersistent& object) -> TVokValue {
        return codec.ToValue(std::invoke(getter, CastObject<C>(object)));
    };
}

/// Builds the type-erased setter from a member function or a data member pointer (null: the
/// property is read-only).
template <class V, class Codec, class Setter>
TVokPropertyInfo::TSetter MakeSetter(Codec codec, Setter setter) {
    if constexpr (std::is_null_pointer_v<Setter>) {
        return {};
    } else {
        using C = TMemberClass<Setter>;
        return [codec, setter](TVokPersistent& object, const TVokValue& value) {
            V converted = codec.FromValue(value);
            C& target = CastObject<C>(object);
            if constexpr (std::is_member_object_pointer_v<Setter>) {
                target.*setter = std::move(converted);
            } else {
                std::invoke(setter, target, std::move(converted));
            }
        };
    }
}

template <class Getter, class C>
using TGetterValue = std::remove_cvref_t<std::invoke_result_t<Getter, const C&>>;

template <class Getter> using TValueOf = TGetterValue<Getter, TMemberClass<Getter>>;

template <class V, class Codec, class Getter, class Setter>
TVokPropertyInfo Make(std::string name, TVokPropertyKind kind, std::vector<std::string> names,
                      std::optional<TVokValue> defaultValue, Codec codec, Getter getter,
                      Setter setter) {
    return TVokPropertyInfo(std::move(name), kind, std::move(names), std::move(defaultValue),
                            MakeGetter(codec, getter), MakeSetter<V>(codec, setter));
}

} // namespace detail

/// Declarative helpers that build a `TVokPropertyInfo` from accessors of class `T`:
/// a getter is a const member function (`&T::GetAmplitude`) or a data member pointer
/// (`&T::m_amplitude`); a setter is a member function taking the value, a data member pointer,
/// or nullptr for a read-only property. Example, in a class's .cpp:
/// ```
/// const TVokClassInfo& TDruSignalGen::ClassInfo() {
///     using T = TDruSignalGen;
///     static const TVokClassInfo info("TDruSignalGen", &TDruCommonGen::ClassInfo(),
///         TVokClassInfo::FactoryOf<T>, {
///             TVokProp::Enum("SignalType", {"atTone", "atTriangle"}, &T::GetSignalType,
///                            &T::SetSignalType, atTone),
///             TVokProp::Integer("Amplitude", &T::GetAmplitude, &T::SetAmplitude, 20000),
///             TVokProp::Object("FrequencyPin", &T::GetFrequencyPin),
///         });
///     return info;
/// }
/// ```
struct TVokProp {
    template <class Getter, class Setter, class D>
    static TVokPropertyInfo Integer(std::string name, Getter getter, Setter setter, D def) {
        using V = detail::TValueOf<Getter>;
        static_assert(std::is_integral_v<V> && !std::is_same_v<V, bool>);
        detail::TIntegerCodec<V> codec;
        return detail::Make<V>(std::move(name), pkInteger, {}, codec.ToValue(static_cast<V>(def)),
                               codec, getter, setter);
    }

    /// An integer property whose values may also be written as the identifiers of
    /// `identifiers` (a static table, see `TVokIdentifiers`).
    template <class Getter, class Setter, class D>
    static TVokPropertyInfo IdentInteger(std::string name, TVokIdentifiers identifiers,
                                         Getter getter, Setter setter, D def) {
        return Integer(std::move(name), getter, setter, def).WithIdentifiers(identifiers);
    }

    /// A `TVokColor` property, read and written by colour name where one fits (`clRed`).
    template <class Getter, class Setter>
    static TVokPropertyInfo Color(std::string name, Getter getter, Setter setter, TVokColor def) {
        static_assert(std::is_same_v<detail::TValueOf<Getter>, TVokColor>);
        return IdentInteger(std::move(name), VokColorIdentifiers(), getter, setter, def);
    }

    /// A `TVokCharset` property, read and written by name where one fits (`DEFAULT_CHARSET`).
    template <class Getter, class Setter>
    static TVokPropertyInfo Charset(std::string name, Getter getter, Setter setter,
                                    TVokCharset def) {
        static_assert(std::is_same_v<detail::TValueOf<Getter>, TVokCharset>);
        return IdentInteger(std::move(name), VokCharsetIdentifiers(), getter, setter, def);
    }

    /// A `TVokCursor` property, read and written by name where one fits (`crVSplit`).
    template <class Getter, class Setter>
    static TVokPropertyInfo Cursor(std::string name, Getter getter, Setter setter, TVokCursor def) {
        static_assert(std::is_same_v<detail::TValueOf<Getter>, TVokCursor>);
        return IdentInteger(std::move(name), VokCursorIdentifiers(), getter, setter, def);
    }

    template <class Getter, class Setter, class D>
    static TVokPropertyInfo Float(std::string name, Getter getter, Setter setter, D def) {
        using V = detail::TValueOf<Getter>;
        static_assert(std::is_floating_point_v<V>);
        detail::TFloatCodec<V> codec;
        return detail::Make<V>(std::move(name), pkFloat, {}, codec.ToValue(static_cast<V>(def)),
                               codec, getter, setter);
    }

    template <class Getter, class Setter>
    static TVokPropertyInfo Bool(std::string name, Getter getter, Setter setter, bool def) {
        static_assert(std::is_same_v<detail::TValueOf<Getter>, bool>);
        return detail::Make<bool>(std::move(name), pkBool, {}, TVokValue(def),
                                  detail::TPlainCodec<bool>{"a bool"}, getter, setter);
    }

    template <class Getter, class Setter>
    static TVokPropertyInfo String(std::string name, Getter getter, Setter setter,
                                   std::string def = {}) {
        static_assert(std::is_same_v<detail::TValueOf<Getter>, std::string>);
        return detail::Make<std::string>(std::move(name), pkString, {}, TVokValue(std::move(def)),
                                         detail::TPlainCodec<std::string>{"a string"}, getter,
                                         setter);
    }

    /// `names` are the enumeration's value names in order: names[k] is the value k.
    template <class Getter, class Setter, class D>
    static TVokPropertyInfo Enum(std::string name, std::vector<std::string> names, Getter getter,
                                 Setter setter, D def) {
        using V = detail::TValueOf<Getter>;
        static_assert(std::is_enum_v<V>);
        detail::TEnumCodec<V> codec{names};
        return detail::Make<V>(std::move(name), pkEnum, names, codec.ToValue(static_cast<V>(def)),
                               codec, getter, setter);
    }

    /// The value is a `TVokSet<E>` or an unsigned bit mask; `names[k]` names bit k.
    template <class Getter, class Setter, class D>
    static TVokPropertyInfo Set(std::string name, std::vector<std::string> names, Getter getter,
                                Setter setter, D def) {
        using V = detail::TValueOf<Getter>;
        if (names.size() > 64) {
            throw std::invalid_argument("set property " + name + " has more than 64 members");
        }
        detail::TSetCodec<V> codec{names};
        return detail::Make<V>(std::move(name), pkSet, names, codec.ToValue(V(def)), codec, getter,
                               setter);
    }

    /// An object-valued property; the getter returns a pointer to a TVokPersistent-derived
    /// object. Usually read-only (the component owns the object; the form reader fills it in
    /// place); a setter taking the same pointer type may be given.
    template <class Getter, class Setter = std::nullptr_t>
    static TVokPropertyInfo Object(std::string name, Getter getter, Setter setter = nullptr) {
        using V = detail::TValueOf<Getter>;
        static_assert(std::is_convertible_v<V, const TVokPersistent*>);
        return detail::Make<V>(std::move(name), pkObject, {}, std::nullopt,
                               detail::TObjectCodec<V>{}, getter, setter);
    }

    /// A collection held by the component, read-only; the form reader fills it in place.
    template <class Getter> static TVokPropertyInfo Collection(std::string name, Getter getter) {
        using V = detail::TValueOf<Getter>;
        static_assert(std::is_convertible_v<V, const TVokPersistent*>);
        return detail::Make<V>(std::move(name), pkCollection, {}, std::nullopt,
                               detail::TObjectCodec<V>{}, getter, nullptr);
    }

    /// An event; the value type is whatever the getter returns (typically a std::function).
    template <class Getter, class Setter>
    static TVokPropertyInfo Event(std::string name, Getter getter, Setter setter) {
        using V = detail::TValueOf<Getter>;
        return detail::Make<V>(std::move(name), pkEvent, {}, std::nullopt, detail::TEventCodec<V>{},
                               getter, setter);
    }
};
