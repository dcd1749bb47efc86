#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

/// Raised when an element, sample or channel index lies outside its buffer. The message is the
/// caller's pattern with the offending index formatted unsigned (so −1 reads 4294967295).
class ERangeError : public std::out_of_range {
  public:
    using std::out_of_range::out_of_range;

    /// An error whose message is `pattern` (holding one "%u") with `index` filled in.
    static ERangeError Format(const char* pattern, uint32_t index) {
        char message[128];
        std::snprintf(message, sizeof message, pattern, static_cast<unsigned>(index));
        return ERangeError(std::string(message));
    }
};
