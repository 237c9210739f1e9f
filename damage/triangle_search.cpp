// From vertices to triangles: the per-vertex index lookup table, the search
// for the triangles that use listed vertices, and the sphere-straddle test.
#include <algorithm>
#include <cstdint>

#include "mesh/vector_math.h"
#include "plugin/Kel_Crumple.h"

using namespace crumple;

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

// The scan over positions [start, end) of an index array. `listed` is sorted
// and free of repeats. Listed vertices are usually close together, so most
// entries fall outside [front, back] and are rejected by one comparison; a
// mesh without an index array reads as all zeros, as GetIndex gives it.
template <typename Index>
void ScanIndexes(const Index* indices, int start, long long end, const std::vector<int>& listed,
                 std::set<int>* triangles) {
    const long long low = listed.front(), high = listed.back();
    for (int k = 0; start + static_cast<long long>(k) < end; ++k) {
        const int p = start + k;
        if (p < 0) continue;
        const long long v = indices ? static_cast<long long>(static_cast<int>(indices[p])) : 0;
        if (v < low || v > high || !std::binary_search(listed.begin(), listed.end(), static_cast<int>(v))) continue;
        triangles->insert(triangles->end(), (p / 3) * 3);
        // The rest of this triangle need not be read.
        k = (k / 3) * 3 + 2;
    }
}

}  // namespace

// Reads: the used part of the index array. Writes: vIndexLookupTable, one
// entry per vertex slot (GetVertexCount()), entry v listing ascending every
// used position holding v. The inner lists keep their storage from the last
// build: the table is rebuilt on every lookup search, and reallocating a
// million lists each hit would cost more than the search.
void Kel_Crumple::CreateIndexLookupTable() {
    Vexa_ObjectData* o = pObjectData;
    const int capacity = o ? std::max(0, o->GetVertexCount()) : 0;
    vIndexLookupTable.resize(static_cast<size_t>(capacity));
    for (std::vector<int>& entry : vIndexLookupTable) entry.clear();
    if (!o) return;
    const int used = std::min(iIndexesUsed, o->GetIndexCount());
    if (o->pIndices32)
        FillLookupTable(o->pIndices32, used, vIndexLookupTable);
    else if (o->pIndices16)
        FillLookupTable(o->pIndices16, used, vIndexLookupTable);
}

// Reads: the index array from `start` over `count` positions (scan), or all
// used positions through the rebuilt table (start 0 with 75 or more listed
// vertices). Writes: inserts into *triangles the start of every triangle with
// a listed corner; the set is not cleared. Assumes `start` is a multiple of 3.
// Positions outside the index array are not read.
void Kel_Crumple::SearchTrianglesInRange(int start, int count, std::vector<int> vertexes,
                                         std::set<int>* triangles) {
    Vexa_ObjectData* o = pObjectData;
    if (!o || !triangles) return;
    if (start == 0 && vertexes.size() >= kLookupModeMinimum) {
        CreateIndexLookupTable();
        for (int v : vertexes) {
            if (v < 0 || static_cast<size_t>(v) >= vIndexLookupTable.size()) continue;
            for (int p : vIndexLookupTable[static_cast<size_t>(v)]) triangles->insert((p / 3) * 3);
        }
        return;
    }

    // Scan: a listed corner is found by membership in a sorted copy, so each
    // position is read once however long the list. The set found is the same
    // as comparing with every entry in list order.
    if (vertexes.empty()) return;
    std::sort(vertexes.begin(), vertexes.end());
    vertexes.erase(std::unique(vertexes.begin(), vertexes.end()), vertexes.end());
    const long long end = std::min(static_cast<long long>(start) + std::max(count, 0),
                                   static_cast<long long>(o->GetIndexCount()));
    if (o->pIndices32)
        ScanIndexes(o->pIndices32, start, end, vertexes, triangles);
    else if (o->pIndices16)
        ScanIndexes(o->pIndices16, start, end, vertexes, triangles);
    else
        ScanIndexes(static_cast<const uint32_t*>(nullptr), start, end, vertexes, triangles);
}

// Reads: vCollisionPos. True when a, b and c lie all strictly inside or all
// strictly outside the sphere of `radius`; false when they straddle its
// surface or any lies exactly on it. Says nothing about which side.
bool Kel_Crumple::AllInsideOrOutsideCollision(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& c, float radius) {
    const float r2 = radius * radius;
    const float sa = SquaredDistance(a, vCollisionPos);
    const float sb = SquaredDistance(b, vCollisionPos);
    const float sc = SquaredDistance(c, vCollisionPos);
    if (sa < r2 && sb < r2 && sc < r2) return true;
    return sa > r2 && sb > r2 && sc > r2;
}
