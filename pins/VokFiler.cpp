#include "pins/VokFiler.h"

#include "pins/VokComponent.h"
#include "pins/VokStateDispatcher.h"

#include <algorithm>
#include <cctype>

std::string TVokReadContext::MapDispatcherName(const std::string& savedName, bool designing) {
    auto known = m_dispatcherNames.find(savedName);
    if (known != m_dispatcherNames.end()) {
        return known->second;
    }
    std::string name = savedName;
    const bool taken = TVokStateDispatcher::Find(name, designing) != nullptr ||
                       std::any_of(m_dispatcherNames.begin(), m_dispatcherNames.end(),
                                   [&name](const auto& entry) { return entry.second == name; });
    if (taken) {
        // A dispatcher of another window (or of an earlier reading) has this name: joining it
        // would tie this window's pins to that one's.
        const std::string rootName = m_root != nullptr ? m_root->GetName() : std::string();
        name = TVokStateDispatcher::UniqueName(rootName, designing);
    }
    m_dispatcherNames.emplace(savedName, name);
    return name;
}

// ---- TVokReader ------------------------------------------------------------------------------

TVokReader::TVokReader(const TVokFormValue& value, TVokReadContext& context) : m_context(context) {
    m_frames.push_back(TFrame{&value, 1, 0, value.m_position});
}

const TVokFormValue* TVokReader::Peek() const {
    const TFrame& frame = m_frames.back();
    return frame.m_index < frame.m_count ? &frame.m_items[frame.m_index] : nullptr;
}

bool TVokReader::EndOfList() const {
    return Peek() == nullptr;
}

std::string TVokReader::DescribeNext() const {
    const TVokFormValue* next = Peek();
    if (next == nullptr) {
        return m_frames.size() > 1 ? "')'" : "the end of the value";
    }
    return next->Describe();
}

void TVokReader::Error(const std::string& message) const {
    const TVokFormValue* next = Peek();
    throw EVokFormError(m_context.m_fileName,
                        next != nullptr ? next->m_position : m_frames.back().m_end, message);
}

TVokFormValueKind TVokReader::NextValue() const {
    const TVokFormValue* next = Peek();
    if (next == nullptr) {
        Error("found " + DescribeNext() + ", expected a value");
    }
    return next->m_kind;
}

const TVokFormValue& TVokReader::Take(TVokFormValueKind kind, const char* expected) {
    const TVokFormValue* next = Peek();
    if (next == nullptr || next->m_kind != kind) {
        Error("found " + DescribeNext() + ", expected " + expected);
    }
    ++m_frames.back().m_index;
    return *next;
}

std::string TVokReader::ReadIdent() {
    return Take(fvIdentifier, "an identifier").m_text;
}

std::string TVokReader::ReadString() {
    return Take(fvString, "a string").m_text;
}

int64_t TVokReader::ReadInteger() {
    return Take(fvInteger, "an integer").m_integer;
}

bool TVokReader::ReadBool() {
    const TVokFormValue* next = Peek();
    if (next != nullptr && next->m_kind == fvIdentifier) {
        std::string word = next->m_text;
        std::transform(word.begin(), word.end(), word.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (word == "true" || word == "false") {
            ++m_frames.back().m_index;
            return word == "true";
        }
    }
    Error("found " + DescribeNext() + ", expected True or False");
}

std::string TVokReader::PeekIdent() const {
    const TVokFormValue* next = Peek();
    return next != nullptr && next->m_kind == fvIdentifier ? next->m_text : std::string();
}

void TVokReader::ReadListBegin() {
    const TVokFormValue& list = Take(fvList, "a list '('");
    m_frames.push_back(TFrame{list.m_items.data(), list.m_items.size(), 0, list.m_end});
}

void TVokReader::ReadListEnd() {
    if (m_frames.size() < 2) {
        Error("found " + DescribeNext() + ", expected a value (no list is open)");
    }
    if (!EndOfList()) {
        Error("found " + DescribeNext() + ", expected ')'");
    }
    m_frames.pop_back();
}

void TVokReader::SkipValue() {
    if (Peek() == nullptr) {
        Error("found " + DescribeNext() + ", expected a value");
    }
    ++m_frames.back().m_index;
}

void TVokReader::CheckFinished() const {
    if (m_frames.size() != 1 || !EndOfList()) {
        Error("found " + DescribeNext() + ", expected the end of the value");
    }
}

// ---- TVokWriter ------------------------------------------------------------------------------

void TVokWriter::Atom(const std::string& text) {
    if (m_needBlank) {
        m_text += ' ';
    }
    m_text += text;
    m_needBlank = true;
}

void TVokWriter::WriteIdent(const std::string& identifier) {
    Atom(identifier);
}

void TVokWriter::WriteString(const std::string& text) {
    Atom(VokFormatFormString(text));
}

void TVokWriter::WriteBool(bool value) {
    Atom(value ? "True" : "False");
}

void TVokWriter::WriteInteger(int64_t value) {
    Atom(std::to_string(value));
}

void TVokWriter::WriteFloat(double value) {
    Atom(VokFormatFormFloat(value));
}

void TVokWriter::WriteListBegin() {
    if (m_needBlank) {
        m_text += ' ';
    }
    m_text += '(';
    m_needBlank = false;
}

void TVokWriter::WriteListEnd() {
    m_text += ')';
    m_needBlank = true;
}
