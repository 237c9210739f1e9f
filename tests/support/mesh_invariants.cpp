#include "mesh_invariants.h"

#include <cmath>
#include <cstring>

namespace {

bool Finite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool Finite(const D3DXVECTOR2& v) { return std::isfinite(v.x) && std::isfinite(v.y); }

}  // namespace

::testing::AssertionResult MeshIsSound(Vexa_ObjectData& o, int verticesUsed, int indicesUsed) {
    const int vc = o.GetVertexCount(), ic = o.GetIndexCount();
    if (verticesUsed < 0 || verticesUsed > vc)
        return ::testing::AssertionFailure() << "vertices used " << verticesUsed << " outside capacity " << vc;
    if (indicesUsed < 0 || indicesUsed > ic || indicesUsed % 3 != 0)
        return ::testing::AssertionFailure() << "indices used " << indicesUsed << " invalid for capacity " << ic;
    if (o.PositionsLength() != vc || o.NormalsLength() != vc || o.TexCoordsLength(0) != vc)
        return ::testing::AssertionFailure() << "position/normal/set-0 lengths " << o.PositionsLength() << "/"
                                             << o.NormalsLength() << "/" << o.TexCoordsLength(0) << " != " << vc;
    if ((o.HasTexCoords(1) && o.TexCoordsLength(1) != vc) || (o.HasTexCoords(2) && o.TexCoordsLength(2) != vc) ||
        (o.HasVertexColors() && o.ColorsLength() != vc))
        return ::testing::AssertionFailure() << "set-1/set-2/colour array length differs from " << vc;
    if (o.IndexArrayLength() != ic)
        return ::testing::AssertionFailure() << "index array length " << o.IndexArrayLength() << " != " << ic;
    for (int v = 0; v < verticesUsed; ++v) {
        if (!Finite(o.pPositions[v]) || !Finite(o.pNormals[v]) || !Finite(o.pTexCoords0[v]) ||
            (o.pTexCoords1 && !Finite(o.pTexCoords1[v])) || (o.pTexCoords2 && !Finite(o.pTexCoords2[v])))
            return ::testing::AssertionFailure() << "vertex " << v << " has a non-finite attribute";
    }
    for (int p = 0; p < indicesUsed; ++p) {
        const int index = o.GetIndex(p);
        if (index < 0 || index >= verticesUsed)
            return ::testing::AssertionFailure() << "index " << index << " at position " << p
                                                 << " not below vertices used " << verticesUsed;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult RenderBuffersMatch(Vexa_ObjectData& o, const std::vector<int>& vertices) {
    IDirect3DVertexBuffer9* vb = o.CurrentVertexBuffer();
    IDirect3DIndexBuffer9* ib = o.CurrentIndexBuffer();
    if (!vb || !ib) return ::testing::AssertionFailure() << "render buffers missing";
    const size_t size = static_cast<size_t>(o.VertexRecordSize());
    if (vb->GetSize() < size * static_cast<size_t>(o.GetVertexCount()))
        return ::testing::AssertionFailure() << "vertex buffer too small";
    for (int v : vertices) {
        const uint8_t* r = vb->Data() + size * static_cast<size_t>(v);
        if (std::memcmp(r, &o.pPositions[v], 12) != 0 || std::memcmp(r + 12, &o.pNormals[v], 12) != 0 ||
            std::memcmp(r + 24, &o.pColors[v], 4) != 0 || std::memcmp(r + 28, &o.pTexCoords0[v], 8) != 0 ||
            std::memcmp(r + 36, &o.pTexCoords1[v], 8) != 0 ||
            (size == 52 && std::memcmp(r + 44, &o.pTexCoords2[v], 8) != 0))
            return ::testing::AssertionFailure() << "vertex record " << v << " differs from the working arrays";
    }
    const int ic = o.GetIndexCount();
    const size_t width = o.UsesIndices16() ? 2 : 4;
    if (ib->GetSize() != width * static_cast<size_t>(ic))
        return ::testing::AssertionFailure() << "index buffer holds " << ib->GetSize() << " bytes, expected "
                                             << width * static_cast<size_t>(ic);
    const void* src = o.UsesIndices16() ? static_cast<const void*>(o.pIndices16) : static_cast<const void*>(o.pIndices32);
    if (ic > 0 && std::memcmp(ib->Data(), src, width * static_cast<size_t>(ic)) != 0)
        return ::testing::AssertionFailure() << "index buffer differs from the index array";
    return ::testing::AssertionSuccess();
}

bool SameBits(const MeshArrays& a, const MeshArrays& b) {
    auto same = [](const auto& x, const auto& y) {
        return x.size() == y.size() && (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(x[0])) == 0);
    };
    return same(a.positions, b.positions) && same(a.normals, b.normals) && same(a.texCoords0, b.texCoords0) &&
           same(a.texCoords1, b.texCoords1) && same(a.texCoords2, b.texCoords2) && same(a.colors, b.colors) &&
           a.indices == b.indices;
}
