#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

/// A 128-bit globally unique identifier, kept in its registry-text field order
/// {Data1-Data2-Data3-Data4[0..1]-Data4[2..7]}. Stream types and the receiving interfaces of pins
/// are named by GUIDs; the all-zero GUID is the null type.
struct TVokGuid {
    uint32_t m_data1 = 0;
    uint16_t m_data2 = 0;
    uint16_t m_data3 = 0;
    uint8_t m_data4[8] = {};

    /// Parses "{8-4-4-4-12}" hexadecimal text at compile time or run time; throws
    /// std::invalid_argument naming the text when it is malformed (a compile error in a
    /// constant expression).
    static constexpr TVokGuid Parse(std::string_view text) {
        if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
            text[14] != '-' || text[19] != '-' || text[24] != '-') {
            throw std::invalid_argument("Malformed GUID '" + std::string(text) +
                                        "': expected {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
        }
        TVokGuid guid;
        guid.m_data1 = static_cast<uint32_t>(Hex(text, 1, 8));
        guid.m_data2 = static_cast<uint16_t>(Hex(text, 10, 4));
        guid.m_data3 = static_cast<uint16_t>(Hex(text, 15, 4));
        guid.m_data4[0] = static_cast<uint8_t>(Hex(text, 20, 2));
        guid.m_data4[1] = static_cast<uint8_t>(Hex(text, 22, 2));
        for (int i = 0; i < 6; ++i) {
            guid.m_data4[2 + i] = static_cast<uint8_t>(Hex(text, 25 + 2 * i, 2));
        }
        return guid;
    }

    constexpr bool IsNull() const { return *this == TVokGuid{}; }

    /// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
    std::string ToString() const;

    friend constexpr bool operator==(const TVokGuid& a, const TVokGuid& b) {
        if (a.m_data1 != b.m_data1 || a.m_data2 != b.m_data2 || a.m_data3 != b.m_data3) {
            return false;
        }
        for (int i = 0; i < 8; ++i) {
            if (a.m_data4[i] != b.m_data4[i]) {
                return false;
            }
        }
        return true;
    }

  private:
    static constexpr uint64_t Hex(std::string_view text, size_t at, size_t digits) {
        uint64_t value = 0;
        for (size_t i = at; i < at + digits; ++i) {
            const char c = text[i];
            uint64_t digit = 0;
            if (c >= '0' && c <= '9') {
                digit = static_cast<uint64_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                digit = static_cast<uint64_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                digit = static_cast<uint64_t>(c - 'A' + 10);
            } else {
                throw std::invalid_argument("Malformed GUID '" + std::string(text) + "': '" +
                                            std::string(1, c) + "' is not a hex digit");
            }
            value = value * 16 + digit;
        }
        return value;
    }
};

/// The null type: no common stream type.
inline constexpr TVokGuid kVokNullType{};
