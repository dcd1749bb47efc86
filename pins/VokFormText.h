#pragma once

// The text notation of form descriptions: a tree of `object Name: TClass … end` blocks holding
// property assignments (`Name = value`, dotted paths such as `AudioFormat.SampleRate = 44100`)
// and nested objects, in document order. Values are identifiers (which may contain "." and
// "_"), single-quoted strings, integers, floats, parenthesised lists, sets (`[a, b]`) and
// collections (`<item … end>`). `//` starts a comment that runs to the end of the line.
// docs/form-format.md describes the notation with an example.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

/// A position in a description: line and column, both counted from 1; columns count bytes.
struct TVokTextPosition {
    int m_line = 1;
    int m_column = 1;
};

/// An error in a form description. `what()` is "FILE:LINE:COLUMN: message", and the message
/// names what was found and what was expected.
class EVokFormError : public std::runtime_error {
  public:
    EVokFormError(const std::string& fileName, TVokTextPosition position,
                  const std::string& message);

    const std::string& GetFileName() const { return m_fileName; }
    TVokTextPosition GetPosition() const { return m_position; }
    /// The message without the "FILE:LINE:COLUMN: " prefix.
    const std::string& GetMessage() const { return m_message; }

  private:
    std::string m_fileName;
    TVokTextPosition m_position;
    std::string m_message;
};

/// The kinds of values in a description.
enum TVokFormValueKind : uint8_t {
    fvIdentifier, ///< `Form1.DruDSAudioIn1.OutputPin`, `csExternal`, `True`, `nil`
    fvString,     ///< `'Audio Recorder Demo'`
    fvInteger,    ///< `44100`, `-11`
    fvFloat,      ///< `520.0`, `1.5e-3`
    fvList,       ///< `(a 'b' (c))`
    fvSet,        ///< `[spFrontLeft, spFrontRight]`
    fvCollection, ///< `<item … end item … end>`
};

/// Name of a kind for messages: "identifier", "string", ….
const char* FormValueKindName(TVokFormValueKind kind);

struct TVokFormValue;

/// `Path = value`, where the path names a property of the enclosing object, possibly through
/// sub-objects (`AudioFormat.SampleRate`, `OutputPins.Pins`).
struct TVokFormAssignment {
    std::string m_path;
    TVokTextPosition m_position;
    std::vector<TVokFormValue> m_value; ///< exactly one element (a vector keeps the type complete)
    const TVokFormValue& GetValue() const { return m_value.front(); }
};

/// One `item … end` of a collection value.
struct TVokFormItem {
    TVokTextPosition m_position;
    std::vector<TVokFormAssignment> m_assignments;
};

/// A value with the position of its first character.
struct TVokFormValue {
    TVokFormValueKind m_kind = fvIdentifier;
    TVokTextPosition m_position;
    /// For lists, sets and collections: the position of the closing bracket.
    TVokTextPosition m_end;
    /// Identifier or decoded string contents; numbers as written.
    std::string m_text;
    int64_t m_integer = 0;
    double m_float = 0.0;
    /// List elements, or the identifiers of a set.
    std::vector<TVokFormValue> m_items;
    /// The items of a collection.
    std::vector<TVokFormItem> m_collection;

    /// "identifier 'X'", "string 'abc'", "integer 12", "list", … for messages.
    std::string Describe() const;
};

/// `object Name: TClass`, its assignments and nested objects in document order.
struct TVokFormObject {
    std::string m_name;
    std::string m_className;
    TVokTextPosition m_position;      ///< of the keyword `object`
    TVokTextPosition m_namePosition;  ///< of the name
    TVokTextPosition m_classPosition; ///< of the class name
    std::vector<TVokFormAssignment> m_assignments;
    std::vector<TVokFormObject> m_children;
    /// Document order: each entry is (true, index into m_children) or (false, index into
    /// m_assignments).
    std::vector<std::pair<bool, size_t>> m_order;
};

/// Deepest nesting of objects, lists, sets and collections a description may use.
inline constexpr int kVokFormMaxDepth = 64;

/// Parses a whole description: exactly one top-level object. Throws `EVokFormError` naming
/// `fileName` for any syntax error (unterminated string, list or object, unknown character,
/// malformed number, nesting deeper than `kVokFormMaxDepth`, text after the last `end`).
/// Pure function, thread safe.
TVokFormObject VokParseForm(std::string_view text, const std::string& fileName);

/// True when `text` can be written as one identifier token.
bool IsFormIdentifier(std::string_view text);

/// `text` in the notation: single-quoted with quotes doubled; control characters (below 32 and
/// 127) as `#n` codes between quoted parts. The empty string is `''`.
std::string VokFormatFormString(std::string_view text);

/// `value` in the shortest notation that reads back to the same double, always with a "." or
/// an exponent so that it reads back as a float. Throws std::invalid_argument for infinities
/// and NaN, which the notation cannot hold.
std::string VokFormatFormFloat(double value);

/// `value` in the notation, laid out as the form writer lays out an assignment at nesting
/// `depth` (two spaces per level): a non-empty collection spans lines, its `item` and `end`
/// lines at `depth + 1` and their assignments at `depth + 2`; everything else is one line.
/// Numbers are written from their values, so the text reads back to an equal value.
std::string VokFormatFormValue(const TVokFormValue& value, int depth);
