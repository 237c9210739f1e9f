// From vertices to triangles; see triangle_search.h.
#include "damage/triangle_search.h"

#include <algorithm>
#include <cstdint>

#include "mesh/sse2.h"
#include "mesh/vector_math.h"

namespace crumple {

namespace {

// Lists this long, searched over the whole index array, go through the table.
constexpr size_t kLookupModeMinimum = 75;

template <typename Index>
void FillLookupTable(const Index* indices, int used, std::vector<std::vector<int>>& table) {
    const size_t entries = table.size();
    for (int p = 0; p < used; ++p) {
        const size_t v = indices[p];
        // Values past the vertex arrays break the mesh contract; they are not
        // recorded rather than grow the table past the vertices.
        if (v < entries) table[v].push_back(p);
    }
}

// The listed vertex numbers as one mark byte each over [low, high], the span
// they cover, or sorted when the marks would outweigh the index entries to
// be read (a search never holds more memory than the part of the index array
// it reads, or 64 KB). Listed vertices are
// usually close together, so most index entries fall outside the span and
// are rejected by one comparison; entries take the raw bits of the int
// GetIndex gives, the difference from low wrapping as the int values would.
class ListedVertexes {
public:
    ListedVertexes(const std::vector<int>& vertexes, long long entries) {
        const long long low = *std::min_element(vertexes.begin(), vertexes.end());
        const long long high = *std::max_element(vertexes.begin(), vertexes.end());
        low_ = static_cast<uint32_t>(low);
        span_ = static_cast<uint32_t>(high - low);
        const long long maxMarks = std::max<long long>(kMinMarks, 4 * entries);
        if (static_cast<long long>(span_) + 2 <= maxMarks) {
            // One byte past the span stays 0: entries outside read it.
            marks_.assign(static_cast<size_t>(span_) + 2, 0);
            for (int v : vertexes) marks_[static_cast<uint32_t>(v) - low_] = 1;
        } else {
            sorted_ = vertexes;
            std::sort(sorted_.begin(), sorted_.end());
        }
    }
    uint32_t Low() const { return low_; }
    uint32_t Span() const { return span_; }
    bool Has(uint32_t raw) const {
        const uint32_t offset = raw - low_;
        if (!marks_.empty()) return marks_[offset <= span_ ? offset : span_ + 1] != 0;
        return offset <= span_ && std::binary_search(sorted_.begin(), sorted_.end(), static_cast<int>(raw));
    }

private:
    static constexpr long long kMinMarks = 1 << 16;
    uint32_t low_ = 0, span_ = 0;
    std::vector<uint8_t> marks_;
    std::vector<int> sorted_;
};

// Entry p as the raw bits of the int GetIndex gives (16-bit entries
// zero-extended, 32-bit ones as they are).
template <typename Index>
uint32_t Raw(const Index* indices, long long p) {
    return indices ? static_cast<uint32_t>(indices[p]) : 0u;
}

// Index entries are first tested in blocks of whole triangles.
constexpr int kScanBlock = 48;

// Whether any entry of a block lies in [low, low + span], as unsigned offsets.
template <typename Index>
bool AnyInSpan(const Index* block, uint32_t low, uint32_t span) {
    uint32_t any = 0;
    for (int i = 0; i < kScanBlock; ++i) any |= static_cast<uint32_t>(block[i]) - low <= span ? 1u : 0u;
    return any != 0;
}

#if CRUMPLE_SSE2
// Four entries per step. Offsetting by low - 2^31 turns the unsigned test
// into one signed comparison: an entry is outside when above the span.
inline bool AnyInSpan(const uint32_t* block, uint32_t low, uint32_t span) {
    const __m128i shift = _mm_set1_epi32(static_cast<int>(low ^ 0x80000000u));
    const __m128i limit = _mm_set1_epi32(static_cast<int>(span ^ 0x80000000u));
    __m128i outside = _mm_set1_epi32(-1);
    const __m128i* v = reinterpret_cast<const __m128i*>(block);
    for (int i = 0; i < kScanBlock / 4; ++i)
        outside = _mm_and_si128(outside, _mm_cmpgt_epi32(_mm_sub_epi32(_mm_loadu_si128(v + i), shift), limit));
    return _mm_movemask_epi8(outside) != 0xFFFF;
}
#endif

// Positions [start, end) of an index array; the start of every triangle with
// a listed corner is appended ascending. Triangles are counted from `start`,
// and the rest of a found triangle is not read. A mesh without an index array
// reads as all zeros, as GetIndex gives it.
template <typename Index>
void ScanIndexes(const Index* indices, int start, long long end, const ListedVertexes& listed,
                 std::vector<int>* found) {
    long long k = 0;
    // Blocks of whole triangles go first through a branch-free test; most
    // blocks hold no entry in the listed span.
    constexpr int kBlock = kScanBlock;
    if (indices && start >= 0) {
        const uint32_t low = listed.Low(), span = listed.Span();
        for (; start + k + kBlock <= end; k += kBlock) {
            const Index* block = indices + start + k;
            if (!AnyInSpan(block, low, span)) continue;
            // Whole triangles, all three corners tested without branches: in
            // a block near the listed vertices the outcome of each corner is
            // hard to predict. The triangle start is that of its first corner.
            for (int t = 0; t < kBlock; t += 3) {
                const bool hit = listed.Has(static_cast<uint32_t>(block[t])) |
                                 listed.Has(static_cast<uint32_t>(block[t + 1])) |
                                 listed.Has(static_cast<uint32_t>(block[t + 2]));
                if (hit) {
                    const long long p = start + k + t;
                    found->push_back(static_cast<int>((p / 3) * 3));
                }
            }
        }
    }
    for (; start + k < end; ++k) {
        const long long p = start + k;
        if (p < 0) continue;
        if (!listed.Has(Raw(indices, p))) continue;
        found->push_back(static_cast<int>((p / 3) * 3));
        k = (k / 3) * 3 + 2;
    }
}

}  // namespace

void BuildLookupTable(const MeshView& mesh, std::vector<std::vector<int>>* table) {
    const int capacity = std::max(0, mesh.vertexCapacity);
    table->resize(static_cast<size_t>(capacity));
    for (std::vector<int>& entry : *table) entry.clear();
    const int used = std::min(mesh.indicesUsed, mesh.indexCapacity);
    if (mesh.indices32)
        FillLookupTable(mesh.indices32, used, *table);
    else if (mesh.indices16)
        FillLookupTable(mesh.indices16, used, *table);
}

void FindTrianglesWithVertices(const MeshView& mesh, int start, int count, const std::vector<int>& vertexes,
                               std::vector<int>* found) {
    if (!found || vertexes.empty()) return;
    long long end = 0;
    if (start == 0 && vertexes.size() >= kLookupModeMinimum) {
        // The table holds only values below the vertex capacity.
        const int capacity = mesh.vertexCapacity;
        std::vector<int> tabled;
        tabled.reserve(vertexes.size());
        for (int v : vertexes)
            if (v >= 0 && v < capacity) tabled.push_back(v);
        if (tabled.empty() || (!mesh.indices32 && !mesh.indices16)) return;
        end = std::min(mesh.indicesUsed, mesh.indexCapacity);
        const ListedVertexes listed(tabled, end);
        if (mesh.indices32)
            ScanIndexes(mesh.indices32, 0, end, listed, found);
        else
            ScanIndexes(mesh.indices16, 0, end, listed, found);
        return;
    }
    end = std::min(static_cast<long long>(start) + std::max(count, 0), static_cast<long long>(mesh.indexCapacity));
    const ListedVertexes listed(vertexes, end - start);
    if (mesh.indices32)
        ScanIndexes(mesh.indices32, start, end, listed, found);
    else if (mesh.indices16)
        ScanIndexes(mesh.indices16, start, end, listed, found);
    else
        ScanIndexes(static_cast<const uint32_t*>(nullptr), start, end, listed, found);
}

bool AllOnOneSide(const D3DXVECTOR3& centre, const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                  float radius) {
    const float r2 = radius * radius;
    const float sa = SquaredDistance(a, centre);
    const float sb = SquaredDistance(b, centre);
    const float sc = SquaredDistance(c, centre);
    if (sa < r2 && sb < r2 && sc < r2) return true;
    return sa > r2 && sb > r2 && sc > r2;
}

}  // namespace crumple
