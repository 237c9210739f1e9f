// The channel's triangle-search and impact-point steps, over the working
// mesh's view.
#include "damage/impact_point_insertion.h"
#include "damage/triangle_search.h"
#include "plugin/Kel_Crumple.h"

using namespace crumple;

// Hits do not build the table (the search reads the indices directly); it
// stays for callers that extend it entry by entry through
// AddIndexToBufferAndLookup.
void Kel_Crumple::CreateIndexLookupTable() {
    if (!pObjectData) {
        vIndexLookupTable.clear();
        return;
    }
    BuildLookupTable(ViewOf(*pObjectData, iVertexesUsed, iIndexesUsed), &vIndexLookupTable);
}

// Adds to *triangles (not cleared) the starts of the triangles found.
void Kel_Crumple::SearchTrianglesInRange(int start, int count, std::vector<int> vertexes,
                                         std::set<int>* triangles) {
    if (!triangles || !pObjectData) return;
    std::vector<int> found;
    FindTrianglesWithVertices(ViewOf(*pObjectData, iVertexesUsed, iIndexesUsed), start, count, vertexes, &found);
    for (int t : found) triangles->insert(t);
}

bool Kel_Crumple::AllInsideOrOutsideCollision(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& c, float radius) {
    return AllOnOneSide(vCollisionPos, a, b, c, radius);
}

bool Kel_Crumple::AddVertex() { return SplitTriangleAt(pObjectData, vCollisionPos, &iVertexesUsed, &iIndexesUsed); }
