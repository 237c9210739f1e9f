// What the mesh-file checks share: counts and names as mesh files write them,
// read without trusting them, and the one-line refusal they all give.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>

#include "errors.h"

namespace crumpletool {

// Counts are held saturated at this, so sums and products of them stay
// exact enough to compare with a file size.
constexpr uint64_t kCountCap = uint64_t(1) << 48;

// `text` written in decimal digits only, saturated at kCountCap. False for
// anything else, or nothing.
inline bool ParseCount(const std::string& text, uint64_t* count) {
    if (text.empty()) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = std::min(kCountCap, value * 10 + static_cast<uint64_t>(c - '0'));
    }
    *count = value;
    return true;
}

// "too many" for a saturated count, else the count.
inline std::string DescribeCount(uint64_t n) { return n == kCountCap ? std::string("too many") : std::to_string(n); }

[[noreturn]] inline void Refuse(const std::string& what, const std::string& problem) {
    throw InputError(what + ": " + problem);
}

inline std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Assimp picks a reader by the file name's ending, in any case.
inline bool HasExtension(const std::string& path, const std::string& extension) {
    return path.size() >= extension.size() && Lower(path.substr(path.size() - extension.size())) == extension;
}

}  // namespace crumpletool
