// Counts as mesh files write them, read without trusting them: the pre-read
// checks compare them with what the file can hold.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

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

}  // namespace crumpletool
