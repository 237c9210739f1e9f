// How the object-data channel keeps its arrays: each in an owned block of
// exactly its length, with the public pointer and the recorded length kept in
// step. Shared by the channel's contract, its array conversion and its file
// part; not part of the host's interface.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace korvane_detail {

// Counts an object may hold, from arrays or from a file.
constexpr int32_t kMaxVertices = 1 << 24;
constexpr int32_t kMaxIndices = 1 << 26;

// (Re)makes `store` at exactly `count` zeroed entries unless it already has that
// length; keeps the public pointer and the recorded length in step.
template <typename T>
void EnsureLength(std::unique_ptr<T[]>& store, int& length, T*& pub, int count) {
    if (store && length == count) return;
    store.reset(new T[static_cast<size_t>(count)]());
    length = count;
    pub = store.get();
}

// Replaces `store` by a copy of `source`, or drops it when `source` is null.
template <typename T>
void Adopt(std::unique_ptr<T[]>& store, int& length, T*& pub, const std::vector<T>* source) {
    if (source == nullptr) {
        store.reset();
        length = 0;
        pub = nullptr;
        return;
    }
    store.reset(new T[source->size()]());
    if (!source->empty()) std::memcpy(store.get(), source->data(), source->size() * sizeof(T));
    length = static_cast<int>(source->size());
    pub = store.get();
}

// The array as allocated; empty when it is missing.
template <typename T>
std::vector<T> CopyOut(const std::unique_ptr<T[]>& store, int length) {
    if (!store) return {};
    return std::vector<T>(store.get(), store.get() + length);
}

}  // namespace korvane_detail
