// Gathering new vertices and triangles: hole damage collects one pass's work
// in lists of its own and commits them at the end of the pass.
#include "mesh/index_access.h"
#include "mesh/vector_math.h"
#include "plugin/Kel_Crumple.h"

using namespace crumple;

// Reads: normals, texture sets 0-2 and colours of vertices a and b in the
// working arrays. Writes: appends one entry to each list (set 2 only when the
// mesh has it). Assumes a and b are vertex numbers of the working arrays and
// the lists exist. The midpoint normal is not renormalised: the rim keeps the
// plain mean, opposite normals give (0, 0, 0).
void Kel_Crumple::AddVertexToArray(int a, int b, std::vector<D3DXVECTOR3>* normals,
                                   std::vector<D3DXVECTOR2>* texCoords0, std::vector<D3DXVECTOR2>* texCoords1,
                                   std::vector<D3DXVECTOR2>* texCoords2, std::vector<uint32_t>* colors) {
    Vexa_ObjectData* o = pObjectData;
    normals->push_back(Scale(Add(o->pNormals[a], o->pNormals[b]), 0.5f));
    texCoords0->push_back(Scale(Add(o->pTexCoords0[a], o->pTexCoords0[b]), 0.5f));
    texCoords1->push_back(Scale(Add(o->pTexCoords1[a], o->pTexCoords1[b]), 0.5f));
    if (o->HasTexCoords(2) && o->pTexCoords2)
        texCoords2->push_back(Scale(Add(o->pTexCoords2[a], o->pTexCoords2[b]), 0.5f));
    colors->push_back(CalcAverageColor(o->pColors[a], o->pColors[b]));
}

// As the edge form, for the centre of triangle (a, b, c): sums rounded to
// float in the order (a + b) + c, then multiplied by the float nearest 1/3.
void Kel_Crumple::AddVertexToArray(int a, int b, int c, std::vector<D3DXVECTOR3>* normals,
                                   std::vector<D3DXVECTOR2>* texCoords0, std::vector<D3DXVECTOR2>* texCoords1,
                                   std::vector<D3DXVECTOR2>* texCoords2, std::vector<uint32_t>* colors) {
    Vexa_ObjectData* o = pObjectData;
    normals->push_back(Scale(Add(Add(o->pNormals[a], o->pNormals[b]), o->pNormals[c]), kOneThird));
    texCoords0->push_back(Scale(Add(Add(o->pTexCoords0[a], o->pTexCoords0[b]), o->pTexCoords0[c]), kOneThird));
    texCoords1->push_back(Scale(Add(Add(o->pTexCoords1[a], o->pTexCoords1[b]), o->pTexCoords1[c]), kOneThird));
    if (o->HasTexCoords(2) && o->pTexCoords2)
        texCoords2->push_back(
            Scale(Add(Add(o->pTexCoords2[a], o->pTexCoords2[b]), o->pTexCoords2[c]), kOneThird));
    colors->push_back(CalcAverageColor(o->pColors[a], o->pColors[b], o->pColors[c]));
}

// Reads: vCollisionPos and the three corner positions. Writes: appends a, b, c
// to `list` unless keep is false and the triangle's centre lies inside the
// sphere or on its surface. Corner order (the winding) is the caller's.
void Kel_Crumple::AddIndexesToArray(int a, int b, int c, D3DXVECTOR3& pa, D3DXVECTOR3& pb, D3DXVECTOR3& pc,
                                    bool keep, float radius, std::vector<uint32_t>* list) {
    if (!keep) {
        const D3DXVECTOR3 centre = Scale(Add(Add(pa, pb), pc), kOneThird);
        const float s = SquaredDistance(vCollisionPos, centre);
        if (!(s > radius * radius)) return;
    }
    list->push_back(static_cast<uint32_t>(a));
    list->push_back(static_cast<uint32_t>(b));
    list->push_back(static_cast<uint32_t>(c));
}

// Writes index `vertex` at `position` and records the position in the lookup
// entry of `vertex`. A vertex beyond the table grows the table to cover it.
// Refused (nothing written): a position outside the index array, or a vertex
// number the mesh cannot hold (negative, at or past the vertex capacity, or
// past 65535 on a 16-bit index array), since such an index would point past
// the vertices or wrap.
void Kel_Crumple::AddIndexToBufferAndLookup(int vertex, int position) {
    Vexa_ObjectData* o = pObjectData;
    if (!o || position < 0 || position >= o->GetIndexCount()) return;
    if (vertex < 0 || vertex >= o->GetVertexCount() || vertex >= AddressableVertexes(o)) return;
    o->SetIndex(vertex, position);
    NoteIndexesWritten(position + 1);
    ForgetCornerReach();
    if (static_cast<size_t>(vertex) >= vIndexLookupTable.size())
        vIndexLookupTable.resize(static_cast<size_t>(vertex) + 1);
    vIndexLookupTable[static_cast<size_t>(vertex)].push_back(position);
}
