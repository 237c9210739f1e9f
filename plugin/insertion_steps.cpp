// The channel's insertion steps: hole damage gathers one pass's new vertices
// and triangles in lists of its own (mesh/vertex_means.h) and commits them
// at the end of the pass (mesh/index_lookup.h).
#include "mesh/index_lookup.h"
#include "mesh/vertex_means.h"
#include "plugin/Kel_Crumple.h"

using namespace crumple;

// Reads: normals, texture sets 0-2 and colours of vertices a and b in the
// working arrays. Writes: appends one entry to each list (set 2 only when the
// mesh has it). Assumes a and b are vertex numbers of the working arrays and
// the lists exist.
void Kel_Crumple::AddVertexToArray(int a, int b, std::vector<D3DXVECTOR3>* normals,
                                   std::vector<D3DXVECTOR2>* texCoords0, std::vector<D3DXVECTOR2>* texCoords1,
                                   std::vector<D3DXVECTOR2>* texCoords2, std::vector<uint32_t>* colors) {
    Vexa_ObjectData* o = pObjectData;
    const bool withSet2 = o->HasTexCoords(2) && o->pTexCoords2;
    AppendEdgeMean(*o, a, b, {normals, texCoords0, texCoords1, texCoords2, colors, withSet2});
}

// As the edge form, for the centre of triangle (a, b, c).
void Kel_Crumple::AddVertexToArray(int a, int b, int c, std::vector<D3DXVECTOR3>* normals,
                                   std::vector<D3DXVECTOR2>* texCoords0, std::vector<D3DXVECTOR2>* texCoords1,
                                   std::vector<D3DXVECTOR2>* texCoords2, std::vector<uint32_t>* colors) {
    Vexa_ObjectData* o = pObjectData;
    const bool withSet2 = o->HasTexCoords(2) && o->pTexCoords2;
    AppendTriangleMean(*o, a, b, c, {normals, texCoords0, texCoords1, texCoords2, colors, withSet2});
}

// Reads: vCollisionPos and the three corner positions. Writes: appends a, b, c
// to `list` unless keep is false and the triangle's centre lies inside the
// sphere or on its surface. Corner order (the winding) is the caller's.
void Kel_Crumple::AddIndexesToArray(int a, int b, int c, D3DXVECTOR3& pa, D3DXVECTOR3& pb, D3DXVECTOR3& pc,
                                    bool keep, float radius, std::vector<uint32_t>* list) {
    if (keep || CentreOutside(vCollisionPos, pa, pb, pc, radius))
        AppendTriangle(list, static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c));
}

uint32_t Kel_Crumple::CalcAverageColor(uint32_t c1, uint32_t c2) { return AverageColor(c1, c2); }

uint32_t Kel_Crumple::CalcAverageColor(uint32_t c1, uint32_t c2, uint32_t c3) { return AverageColor(c1, c2, c3); }

void Kel_Crumple::AddIndexToBufferAndLookup(int vertex, int position) {
    if (pObjectData) SetIndexWithLookup(pObjectData, &vIndexLookupTable, vertex, position);
}
