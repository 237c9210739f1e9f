// Attributes of new vertices and the centre test of new triangles, inline so
// that hole damage's inner loop pays no call per vertex or triangle. The
// channel's AddVertexToArray, CalcAverageColor and AddIndexesToArray are these.
#pragma once

#include <cstdint>
#include <vector>

#include "host/object_data.h"
#include "mesh/vector_math.h"

namespace crumple {

// Every byte is floor((x1 + x2) / 2). The bytes carry damage state (dent
// record, alpha marks, hole mask), so no carry may pass between them.
inline uint32_t AverageColor(uint32_t c1, uint32_t c2) {
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t x1 = (c1 >> shift) & 0xFFu, x2 = (c2 >> shift) & 0xFFu;
        result |= ((x1 + x2) / 2u) << shift;
    }
    return result;
}

// Red, green and blue are summed in place and divided by 3. Three alphas do
// not fit in place in 32 bits, so each alpha word is divided by 3 first and
// the quotients summed: the alpha can come out one below the truncated mean
// (1,1,1 gives 0; 254,254,254 gives 253).
inline uint32_t AverageColor(uint32_t c1, uint32_t c2, uint32_t c3) {
    uint32_t result = 0;
    for (uint32_t mask = 0xFFu; mask <= 0xFF0000u; mask <<= 8)
        result |= (((c1 & mask) + (c2 & mask) + (c3 & mask)) / 3u) & mask;
    const uint32_t alpha = (c1 & 0xFF000000u) / 3u + (c2 & 0xFF000000u) / 3u + (c3 & 0xFF000000u) / 3u;
    return result | (alpha & 0xFF000000u);
}

// The lists one pass gathers its new vertices' attributes in, entry k for
// its k-th new vertex. Set 2 is filled only when `withSet2`.
struct NewVertexLists {
    std::vector<D3DXVECTOR3>* normals;
    std::vector<D3DXVECTOR2>* texCoords0;
    std::vector<D3DXVECTOR2>* texCoords1;
    std::vector<D3DXVECTOR2>* texCoords2;
    std::vector<uint32_t>* colors;
    bool withSet2;
};

// Reads: normals, texture sets and colours of vertices a and b of `o`.
// Writes: appends their means. The normal is not renormalised: the rim keeps
// the plain mean, opposite normals give (0, 0, 0).
inline void AppendEdgeMean(const Vexa_ObjectData& o, int a, int b, const NewVertexLists& lists) {
    lists.normals->push_back(Scale(Add(o.pNormals[a], o.pNormals[b]), 0.5f));
    lists.texCoords0->push_back(Scale(Add(o.pTexCoords0[a], o.pTexCoords0[b]), 0.5f));
    lists.texCoords1->push_back(Scale(Add(o.pTexCoords1[a], o.pTexCoords1[b]), 0.5f));
    if (lists.withSet2) lists.texCoords2->push_back(Scale(Add(o.pTexCoords2[a], o.pTexCoords2[b]), 0.5f));
    lists.colors->push_back(AverageColor(o.pColors[a], o.pColors[b]));
}

// As the edge form, for the centre of triangle (a, b, c): sums in the order
// (a + b) + c, then multiplied by the float nearest 1/3.
inline void AppendTriangleMean(const Vexa_ObjectData& o, int a, int b, int c, const NewVertexLists& lists) {
    lists.normals->push_back(Scale(Add(Add(o.pNormals[a], o.pNormals[b]), o.pNormals[c]), kOneThird));
    lists.texCoords0->push_back(Scale(Add(Add(o.pTexCoords0[a], o.pTexCoords0[b]), o.pTexCoords0[c]), kOneThird));
    lists.texCoords1->push_back(Scale(Add(Add(o.pTexCoords1[a], o.pTexCoords1[b]), o.pTexCoords1[c]), kOneThird));
    if (lists.withSet2)
        lists.texCoords2->push_back(
            Scale(Add(Add(o.pTexCoords2[a], o.pTexCoords2[b]), o.pTexCoords2[c]), kOneThird));
    lists.colors->push_back(AverageColor(o.pColors[a], o.pColors[b], o.pColors[c]));
}

// Whether a triangle's centre lies strictly outside the sphere of `radius`
// around `centre`: its squared distance compared with r * r in float. A
// centre on the surface counts as inside.
inline bool CentreOutside(const D3DXVECTOR3& centre, const D3DXVECTOR3& pa, const D3DXVECTOR3& pb,
                          const D3DXVECTOR3& pc, float radius) {
    const D3DXVECTOR3 g = Scale(Add(Add(pa, pb), pc), kOneThird);
    return SquaredDistance(centre, g) > radius * radius;
}

// Appends triangle (a, b, c), corners in this order.
inline void AppendTriangle(std::vector<uint32_t>* list, uint32_t a, uint32_t b, uint32_t c) {
    list->push_back(a);
    list->push_back(b);
    list->push_back(c);
}

}  // namespace crumple
