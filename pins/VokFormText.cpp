#include "pins/VokFormText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

EVokFormError::EVokFormError(const std::string& fileName, TVokTextPosition position,
                             const std::string& message)
    : std::runtime_error(fileName + ":" + std::to_string(position.m_line) + ":" +
                         std::to_string(position.m_column) + ": " + message),
      m_fileName(fileName), m_position(position), m_message(message) {
}

const char* FormValueKindName(TVokFormValueKind kind) {
    switch (kind) {
    case fvIdentifier:
        return "identifier";
    case fvString:
        return "string";
    case fvInteger:
        return "integer";
    case fvFloat:
        return "float";
    case fvList:
        return "list";
    case fvSet:
        return "set";
    case fvCollection:
        return "collection";
    }
    return "value";
}

namespace {

/// Longest text quoted in a message.
constexpr size_t kQuoteLimit = 40;

std::string Quote(std::string_view text) {
    std::string result = "'";
    for (char c : text.substr(0, kQuoteLimit)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 127) {
            result += '?';
        } else {
            result += c;
        }
    }
    if (text.size() > kQuoteLimit) {
        result += "...";
    }
    return result + "'";
}

bool IsIdentifierStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsIdentifierChar(char c) {
    return IsIdentifierStart(c) || IsDigit(c) || c == '.';
}

enum TTokenKind : uint8_t {
    tkIdentifier,
    tkString,
    tkInteger,
    tkFloat,
    tkSymbol,
    tkEnd,
};

struct TToken {
    TTokenKind m_kind = tkEnd;
    TVokTextPosition m_position;
    std::string m_text; ///< identifier, decoded string, number as written, or the symbol
    int64_t m_integer = 0;
    double m_float = 0.0;

    bool IsSymbol(char symbol) const {
        return m_kind == tkSymbol && m_text.size() == 1 && m_text[0] == symbol;
    }
    bool IsWord(std::string_view word) const { return m_kind == tkIdentifier && m_text == word; }
};

std::string DescribeToken(const TToken& token) {
    switch (token.m_kind) {
    case tkIdentifier:
        return "identifier " + Quote(token.m_text);
    case tkString:
        return "string " + Quote(token.m_text);
    case tkInteger:
        return "integer " + token.m_text;
    case tkFloat:
        return "float " + token.m_text;
    case tkSymbol:
        return "'" + token.m_text + "'";
    case tkEnd:
        return "end of file";
    }
    return "token";
}

class TLexer {
  public:
    TLexer(std::string_view text, const std::string& fileName)
        : m_text(text), m_fileName(fileName) {}

    TToken Next() {
        SkipBlanks();
        TToken token;
        token.m_position = Here();
        if (m_offset >= m_text.size()) {
            token.m_kind = tkEnd;
            return token;
        }
        const char c = m_text[m_offset];
        if (IsIdentifierStart(c)) {
            token.m_kind = tkIdentifier;
            while (m_offset < m_text.size() && IsIdentifierChar(m_text[m_offset])) {
                token.m_text += Advance();
            }
            return token;
        }
        if (IsDigit(c) || ((c == '-' || c == '+') && m_offset + 1 < m_text.size() &&
                           IsDigit(m_text[m_offset + 1]))) {
            return Number(token);
        }
        if (c == '\'' || c == '#') {
            return String(token);
        }
        if (c == '=' || c == ':' || c == '(' || c == ')' || c == '[' || c == ']' || c == ',' ||
            c == '<' || c == '>') {
            token.m_kind = tkSymbol;
            token.m_text = std::string(1, Advance());
            return token;
        }
        Fail(token.m_position, "found " + DescribeCharacter(c) + ", expected a name, a value or " +
                                   "one of = : ( ) [ ] , < >");
    }

    [[noreturn]] void Fail(TVokTextPosition position, const std::string& message) const {
        throw EVokFormError(m_fileName, position, message);
    }

  private:
    static std::string DescribeCharacter(char c) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte >= 127) {
            return "the byte " + std::to_string(byte);
        }
        return std::string("'") + c + "'";
    }

    TVokTextPosition Here() const { return TVokTextPosition{m_line, m_column}; }

    char Advance() {
        const char c = m_text[m_offset++];
        if (c == '\n') {
            ++m_line;
            m_column = 1;
        } else {
            ++m_column;
        }
        return c;
    }

    void SkipBlanks() {
        while (m_offset < m_text.size()) {
            const char c = m_text[m_offset];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                Advance();
            } else if (c == '/' && m_offset + 1 < m_text.size() && m_text[m_offset + 1] == '/') {
                while (m_offset < m_text.size() && m_text[m_offset] != '\n') {
                    Advance();
                }
            } else {
                return;
            }
        }
    }

    TToken Number(TToken& token) {
        const size_t start = m_offset;
        if (m_text[m_offset] == '-' || m_text[m_offset] == '+') {
            Advance();
        }
        while (m_offset < m_text.size() && IsDigit(m_text[m_offset])) {
            Advance();
        }
        bool isFloat = false;
        if (m_offset + 1 < m_text.size() && m_text[m_offset] == '.' &&
            IsDigit(m_text[m_offset + 1])) {
            isFloat = true;
            Advance();
            while (m_offset < m_text.size() && IsDigit(m_text[m_offset])) {
                Advance();
            }
        }
        if (m_offset < m_text.size() && (m_text[m_offset] == 'e' || m_text[m_offset] == 'E')) {
            size_t look = m_offset + 1;
            if (look < m_text.size() && (m_text[look] == '-' || m_text[look] == '+')) {
                ++look;
            }
            if (look < m_text.size() && IsDigit(m_text[look])) {
                isFloat = true;
                while (m_offset < look) {
                    Advance();
                }
                while (m_offset < m_text.size() && IsDigit(m_text[m_offset])) {
                    Advance();
                }
            }
        }
        token.m_text = std::string(m_text.substr(start, m_offset - start));
        if (m_offset < m_text.size() &&
            (IsIdentifierChar(m_text[m_offset]) || m_text[m_offset] == '\'')) {
            Fail(Here(), "found " + DescribeCharacter(m_text[m_offset]) + " after the number " +
                             token.m_text + ", expected a blank or a delimiter");
        }
        // from_chars takes no leading '+'.
        const char* first = token.m_text.data() + (token.m_text[0] == '+' ? 1 : 0);
        const char* last = token.m_text.data() + token.m_text.size();
        if (isFloat) {
            token.m_kind = tkFloat;
            const auto [end, error] = std::from_chars(first, last, token.m_float);
            if (error != std::errc() || end != last || !std::isfinite(token.m_float)) {
                Fail(token.m_position,
                     "found the float " + token.m_text + ", expected a finite float in range");
            }
        } else {
            token.m_kind = tkInteger;
            const auto [end, error] = std::from_chars(first, last, token.m_integer);
            if (error != std::errc() || end != last) {
                Fail(token.m_position,
                     "found the integer " + token.m_text + ", expected an integer within 64 bits");
            }
        }
        return token;
    }

    TToken String(TToken& token) {
        token.m_kind = tkString;
        while (m_offset < m_text.size() && (m_text[m_offset] == '\'' || m_text[m_offset] == '#')) {
            if (m_text[m_offset] == '#') {
                const TVokTextPosition codePosition = Here();
                Advance();
                int code = 0;
                int digits = 0;
                while (m_offset < m_text.size() && IsDigit(m_text[m_offset])) {
                    code = code * 10 + (Advance() - '0');
                    if (++digits > 3 || code > 255) {
                        Fail(codePosition, "found a character code above 255, expected #0 to #255");
                    }
                }
                if (digits == 0) {
                    Fail(codePosition, "found '#' without digits, expected a character code");
                }
                token.m_text += static_cast<char>(code);
                continue;
            }
            const TVokTextPosition quotePosition = Here();
            Advance(); // opening quote
            for (;;) {
                if (m_offset >= m_text.size()) {
                    Fail(quotePosition, "unterminated string: found end of file, expected a "
                                        "closing quote");
                }
                const char c = m_text[m_offset];
                if (c == '\n' || c == '\r') {
                    Fail(quotePosition, "unterminated string: found end of line, expected a "
                                        "closing quote");
                }
                if (static_cast<unsigned char>(c) < 32 || c == 127) {
                    Fail(Here(), "found the control character " +
                                     std::to_string(static_cast<unsigned char>(c)) +
                                     " in a string, expected it written as a #code");
                }
                Advance();
                if (c == '\'') {
                    if (m_offset < m_text.size() && m_text[m_offset] == '\'') {
                        Advance();
                        token.m_text += '\'';
                        continue;
                    }
                    break;
                }
                token.m_text += c;
            }
        }
        if (m_offset < m_text.size() && IsIdentifierChar(m_text[m_offset])) {
            Fail(Here(), "found " + DescribeCharacter(m_text[m_offset]) +
                             " right after a string, expected a blank or a delimiter");
        }
        return token;
    }

    std::string_view m_text;
    const std::string& m_fileName;
    size_t m_offset = 0;
    int m_line = 1;
    int m_column = 1;
};

class TParser {
  public:
    TParser(std::string_view text, const std::string& fileName)
        : m_lexer(text, fileName), m_current(m_lexer.Next()) {}

    TVokFormObject ParseDocument() {
        if (!m_current.IsWord("object")) {
            Fail("found " + DescribeToken(m_current) + ", expected 'object'");
        }
        TVokFormObject root = ParseObject(0);
        if (m_current.m_kind != tkEnd) {
            Fail("found " + DescribeToken(m_current) +
                 " after the last 'end', expected end of file");
        }
        return root;
    }

  private:
    [[noreturn]] void Fail(const std::string& message) const {
        m_lexer.Fail(m_current.m_position, message);
    }

    TToken Take() {
        TToken token = std::move(m_current);
        m_current = m_lexer.Next();
        return token;
    }

    void CheckDepth(int depth) const {
        if (depth >= kVokFormMaxDepth) {
            Fail("found nesting deeper than " + std::to_string(kVokFormMaxDepth) +
                 " levels, expected a flatter description");
        }
    }

    void Expect(char symbol, const std::string& context) {
        if (!m_current.IsSymbol(symbol)) {
            Fail("found " + DescribeToken(m_current) + ", expected '" + std::string(1, symbol) +
                 "' " + context);
        }
        Take();
    }

    TToken ExpectPlainName(const char* what) {
        if (m_current.m_kind != tkIdentifier || m_current.m_text.find('.') != std::string::npos) {
            Fail("found " + DescribeToken(m_current) + ", expected " + what);
        }
        return Take();
    }

    static std::string Where(TVokTextPosition position) {
        return std::to_string(position.m_line) + ":" + std::to_string(position.m_column);
    }

    TVokFormObject ParseObject(int depth) {
        CheckDepth(depth);
        TVokFormObject object;
        object.m_position = Take().m_position; // 'object'
        const TToken name = ExpectPlainName("a component name after 'object'");
        object.m_name = name.m_text;
        object.m_namePosition = name.m_position;
        Expect(':', "between the component name and its class");
        const TToken className = ExpectPlainName("a class name");
        object.m_className = className.m_text;
        object.m_classPosition = className.m_position;
        for (;;) {
            if (m_current.IsWord("end")) {
                Take();
                return object;
            }
            if (m_current.IsWord("object")) {
                object.m_order.emplace_back(true, object.m_children.size());
                object.m_children.push_back(ParseObject(depth + 1));
                continue;
            }
            if (m_current.m_kind == tkIdentifier) {
                object.m_order.emplace_back(false, object.m_assignments.size());
                object.m_assignments.push_back(ParseAssignment(depth));
                continue;
            }
            Fail("found " + DescribeToken(m_current) + ", expected a property assignment, " +
                 "'object' or 'end' to close object " + object.m_name + " opened at " +
                 Where(object.m_position));
        }
    }

    TVokFormAssignment ParseAssignment(int depth) {
        TVokFormAssignment assignment;
        const TToken path = Take();
        assignment.m_path = path.m_text;
        assignment.m_position = path.m_position;
        Expect('=', "after the property name " + Quote(path.m_text));
        assignment.m_value.push_back(ParseValue(depth + 1));
        return assignment;
    }

    TVokFormValue ParseValue(int depth) {
        CheckDepth(depth);
        TVokFormValue value;
        value.m_position = m_current.m_position;
        switch (m_current.m_kind) {
        case tkIdentifier:
            if (m_current.IsWord("end") || m_current.IsWord("object") || m_current.IsWord("item")) {
                break; // a keyword: the value is missing
            }
            value.m_kind = fvIdentifier;
            value.m_text = Take().m_text;
            return value;
        case tkString:
            value.m_kind = fvString;
            value.m_text = Take().m_text;
            return value;
        case tkInteger:
            value.m_kind = fvInteger;
            value.m_integer = m_current.m_integer;
            value.m_text = Take().m_text;
            return value;
        case tkFloat:
            value.m_kind = fvFloat;
            value.m_float = m_current.m_float;
            value.m_text = Take().m_text;
            return value;
        case tkSymbol:
            if (m_current.IsSymbol('(')) {
                return ParseList(std::move(value), depth);
            }
            if (m_current.IsSymbol('[')) {
                return ParseSet(std::move(value));
            }
            if (m_current.IsSymbol('<')) {
                return ParseCollection(std::move(value), depth);
            }
            break;
        case tkEnd:
            break;
        }
        Fail("found " + DescribeToken(m_current) + ", expected a value");
    }

    TVokFormValue ParseList(TVokFormValue value, int depth) {
        value.m_kind = fvList;
        Take();
        while (!m_current.IsSymbol(')')) {
            if (m_current.m_kind == tkEnd) {
                Fail("found end of file, expected ')' to close the list opened at " +
                     Where(value.m_position));
            }
            value.m_items.push_back(ParseValue(depth + 1));
        }
        value.m_end = Take().m_position;
        return value;
    }

    TVokFormValue ParseSet(TVokFormValue value) {
        value.m_kind = fvSet;
        Take();
        if (!m_current.IsSymbol(']')) {
            for (;;) {
                TVokFormValue member;
                member.m_position = m_current.m_position;
                member.m_text = ExpectPlainName("a set member name").m_text;
                value.m_items.push_back(std::move(member));
                if (m_current.IsSymbol(']')) {
                    break;
                }
                Expect(',', "or ']' in the set opened at " + Where(value.m_position));
            }
        }
        value.m_end = Take().m_position;
        return value;
    }

    TVokFormValue ParseCollection(TVokFormValue value, int depth) {
        value.m_kind = fvCollection;
        Take();
        while (!m_current.IsSymbol('>')) {
            if (!m_current.IsWord("item")) {
                Fail("found " + DescribeToken(m_current) +
                     ", expected 'item' or '>' to close the collection opened at " +
                     Where(value.m_position));
            }
            TVokFormItem item;
            item.m_position = Take().m_position;
            while (!m_current.IsWord("end")) {
                if (m_current.m_kind != tkIdentifier) {
                    Fail("found " + DescribeToken(m_current) +
                         ", expected a property assignment or 'end' to close the item opened "
                         "at " +
                         Where(item.m_position));
                }
                item.m_assignments.push_back(ParseAssignment(depth + 1));
            }
            Take();
            value.m_collection.push_back(std::move(item));
        }
        value.m_end = Take().m_position;
        return value;
    }

    TLexer m_lexer;
    TToken m_current;
};

} // namespace

std::string TVokFormValue::Describe() const {
    switch (m_kind) {
    case fvIdentifier:
        return "identifier " + Quote(m_text);
    case fvString:
        return "string " + Quote(m_text);
    case fvInteger:
    case fvFloat:
        return std::string(FormValueKindName(m_kind)) + " " + m_text;
    case fvList:
    case fvSet:
    case fvCollection:
        return FormValueKindName(m_kind);
    }
    return "value";
}

TVokFormObject VokParseForm(std::string_view text, const std::string& fileName) {
    TParser parser(text, fileName);
    return parser.ParseDocument();
}

bool IsFormIdentifier(std::string_view text) {
    if (text.empty() || !IsIdentifierStart(text.front())) {
        return false;
    }
    for (char c : text) {
        if (!IsIdentifierChar(c)) {
            return false;
        }
    }
    return true;
}

std::string VokFormatFormString(std::string_view text) {
    std::string result;
    bool quoted = false;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 127) {
            if (quoted) {
                result += '\'';
                quoted = false;
            }
            result += '#' + std::to_string(byte);
            continue;
        }
        if (!quoted) {
            result += '\'';
            quoted = true;
        }
        result += c;
        if (c == '\'') {
            result += '\'';
        }
    }
    if (quoted) {
        result += '\'';
    }
    return result.empty() ? "''" : result;
}

std::string VokFormatFormFloat(double value) {
    if (!std::isfinite(value)) {
        throw std::invalid_argument("Cannot write the float " + std::to_string(value) +
                                    ": a description holds finite floats only");
    }
    // The shortest text that reads back exactly; plain digits rather than an exponent for
    // everyday magnitudes, so 500000.0 stays readable instead of becoming 5e+05.
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 1e16);
    char buffer[400];
    const auto [end, error] =
        plain ? std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed)
              : std::to_chars(buffer, buffer + sizeof(buffer), value);
    std::string text(buffer, error == std::errc() ? end : buffer);
    if (text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return text;
}

namespace {

void AppendIndent(std::string& text, int depth) {
    text.append(static_cast<size_t>(std::max(depth, 0)) * 2, ' ');
}

} // namespace

std::string VokFormatFormValue(const TVokFormValue& value, int depth) {
    switch (value.m_kind) {
    case fvIdentifier:
        return value.m_text;
    case fvString:
        return VokFormatFormString(value.m_text);
    case fvInteger:
        return std::to_string(value.m_integer);
    case fvFloat:
        return VokFormatFormFloat(value.m_float);
    case fvList:
    case fvSet: {
        const bool isList = value.m_kind == fvList;
        std::string text(1, isList ? '(' : '[');
        for (size_t i = 0; i < value.m_items.size(); ++i) {
            if (i > 0) {
                text += isList ? " " : ", ";
            }
            text += VokFormatFormValue(value.m_items[i], depth);
        }
        return text + (isList ? ')' : ']');
    }
    case fvCollection: {
        if (value.m_collection.empty()) {
            return "<>";
        }
        std::string text = "<";
        for (size_t i = 0; i < value.m_collection.size(); ++i) {
            text += '\n';
            AppendIndent(text, depth + 1);
            text += "item";
            for (const TVokFormAssignment& assignment : value.m_collection[i].m_assignments) {
                text += '\n';
                AppendIndent(text, depth + 2);
                text += assignment.m_path + " = " +
                        VokFormatFormValue(assignment.GetValue(), depth + 2);
            }
            text += '\n';
            AppendIndent(text, depth + 1);
            text += i + 1 == value.m_collection.size() ? "end>" : "end";
        }
        return text;
    }
    }
    return {};
}
