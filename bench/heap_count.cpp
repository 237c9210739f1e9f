// Counting operator new and delete for the benchmark process. Each block
// carries its size in a header in front of it; the counts are plain globals,
// as the benchmarks run on one thread.
#include "heap_count.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

long long held = 0, peak = 0;
// The header keeps the block aligned for any type.
constexpr std::size_t kHeader = alignof(std::max_align_t) > sizeof(std::size_t) ? alignof(std::max_align_t)
                                                                                  : sizeof(std::size_t);

void* Allocate(std::size_t size) {
    void* block = std::malloc(size + kHeader);
    if (!block) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    held += static_cast<long long>(size);
    if (held > peak) peak = held;
    return static_cast<char*>(block) + kHeader;
}

void Release(void* p) {
    if (!p) return;
    void* block = static_cast<char*>(p) - kHeader;
    held -= static_cast<long long>(*static_cast<std::size_t*>(block));
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

HeapMark MarkHeap() {
    peak = held;
    return HeapMark{held};
}
long long PeakSince(const HeapMark& mark) { return peak - mark.held; }
long long HeldSince(const HeapMark& mark) { return held - mark.held; }
