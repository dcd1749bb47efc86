#pragma once

// Value-level reading and writing of the pseudo-properties that pins and pin lists store in
// form descriptions (`Form`, `State`, `SinkPins`, `SourcePin`, `Pins`). The form reader and
// writer (VokFormReader.h, VokFormWriter.h) drive these; pins only see one value at a time.

#include "pins/VokFormText.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class TVokComponent;
class TVokReader;
class TVokWriter;

/// Receives the declarations of an object's pseudo-properties (`DefineProperties`).
class TVokFiler {
  public:
    using TReadProc = std::function<void(TVokReader& reader)>;
    using TWriteProc = std::function<void(TVokWriter& writer)>;

    /// Declares pseudo-property `name`: `read` consumes its value, `write` produces it, and
    /// `hasData` tells whether the writer stores it.
    virtual void DefineProperty(const std::string& name, const TReadProc& read,
                                const TWriteProc& write, bool hasData) = 0;

  protected:
    ~TVokFiler() = default;
};

/// What one reading of a description shares between all pseudo-properties it reads: the file
/// name (for messages), the root component being read, the property path of the object whose
/// pseudo-property is being read, and the dispatcher names met so far. Owned by the form
/// reader; used on its thread only.
struct TVokReadContext {
    std::string m_fileName;
    TVokComponent* m_root = nullptr;
    /// Path of the current object below its component ("OutputPins"); empty for the component.
    std::string m_objectPath;
    /// Saved dispatcher name → the name used for it in this reading.
    std::map<std::string, std::string> m_dispatcherNames;

    /// The dispatcher name to join for `savedName`: the saved name itself, unless a dispatcher
    /// of that name existed before it was first met in this reading (another window's); then
    /// a fresh name for this reading's root. The same saved name always maps to the same name.
    std::string MapDispatcherName(const std::string& savedName, bool designing);
};

/// A cursor over one value of a parsed description. Lists are entered with `ReadListBegin`
/// and left with `ReadListEnd`; every read checks the kind of value it meets and throws
/// `EVokFormError` at that value's position naming what it found and what it expected.
class TVokReader {
  public:
    /// Reads `value`; `context` must outlive the reader.
    TVokReader(const TVokFormValue& value, TVokReadContext& context);

    /// Kind of the next value; throws when the current list has ended.
    TVokFormValueKind NextValue() const;
    /// True when the current list (or the whole value) has no more elements.
    bool EndOfList() const;
    std::string ReadIdent();
    std::string ReadString();
    /// `True` or `False` (any case).
    bool ReadBool();
    int64_t ReadInteger();
    /// The identifier that comes next, without consuming it ("" when the next is no
    /// identifier or the list has ended).
    std::string PeekIdent() const;
    void ReadListBegin();
    /// Leaves the current list; throws when elements remain ("expected ')'").
    void ReadListEnd();
    /// Consumes the next value whatever its kind.
    void SkipValue();
    /// Throws unless the whole value has been read.
    void CheckFinished() const;

    /// Throws `EVokFormError` at the next value (or the closing bracket of the current list).
    [[noreturn]] void Error(const std::string& message) const;
    /// "identifier 'X'", "string 'abc'", "end of list", … for messages.
    std::string DescribeNext() const;

    TVokReadContext& GetContext() const { return m_context; }
    /// The root component of the reading (null when reading without one).
    TVokComponent* GetRoot() const { return m_context.m_root; }

  private:
    struct TFrame {
        const TVokFormValue* m_items;
        size_t m_count;
        size_t m_index;
        TVokTextPosition m_end;
    };
    const TVokFormValue& Take(TVokFormValueKind kind, const char* expected);
    const TVokFormValue* Peek() const;

    TVokReadContext& m_context;
    std::vector<TFrame> m_frames;
};

/// Builds the text of one value: atoms separated by single blanks, lists in parentheses with
/// no blank inside the brackets: `(Sinks (a (b 'c')) nil)`. Also tells pins the name of the
/// root being written (the writer's root name).
class TVokWriter {
  public:
    explicit TVokWriter(std::string rootName) : m_rootName(std::move(rootName)) {}

    void WriteIdent(const std::string& identifier);
    void WriteString(const std::string& text);
    void WriteBool(bool value);
    void WriteInteger(int64_t value);
    void WriteFloat(double value);
    void WriteListBegin();
    void WriteListEnd();

    const std::string& GetRootName() const { return m_rootName; }
    /// The text written so far.
    const std::string& GetText() const { return m_text; }

  private:
    void Atom(const std::string& text);

    std::string m_rootName;
    std::string m_text;
    bool m_needBlank = false;
};
