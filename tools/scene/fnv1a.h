// 64-bit FNV-1a over raw bytes: the digest of a channel's state. The bytes
// are taken as they lie in memory, which is little-endian on every target
// built here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace crumpletool {

class Fnv1a64 {
public:
    void Feed(const void* data, size_t bytes) {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < bytes; ++i) hash_ = (hash_ ^ p[i]) * 0x100000001B3ull;
    }
    // The length first, so a missing array is not the same as a shorter neighbour.
    template <typename T>
    void FeedArray(const T* array, int length) {
        const int32_t n = array ? length : -1;
        Feed(&n, sizeof n);
        if (array && length > 0) Feed(array, sizeof(T) * static_cast<size_t>(length));
    }
    uint64_t value() const { return hash_; }

private:
    uint64_t hash_ = 0xCBF29CE484222325ull;
};

}  // namespace crumpletool
