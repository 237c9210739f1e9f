#include "mesh_invariants.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "korvane_test_access.h"
#include "mesh/vector_math.h"

using crumple::IsFinite;

namespace {

::testing::AssertionResult AsResult(const std::string& problem) {
    if (problem.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << problem;
}

template <typename V>
std::string FirstNonFinite(const V* values, int count, const char* what) {
    for (int v = 0; v < count; ++v)
        if (!IsFinite(values[v])) return "vertex " + std::to_string(v) + " has a non-finite " + what;
    return "";
}

}  // namespace

std::string ArrayLengthsProblem(Vexa_ObjectData& o) {
    const int vc = o.GetVertexCount(), ic = o.GetIndexCount();
    if (o.PositionsLength() != vc || o.NormalsLength() != vc || o.TexCoordsLength(0) != vc)
        return "position/normal/set-0 lengths " + std::to_string(o.PositionsLength()) + "/" +
               std::to_string(o.NormalsLength()) + "/" + std::to_string(o.TexCoordsLength(0)) +
               " != " + std::to_string(vc);
    if ((o.HasTexCoords(1) && o.TexCoordsLength(1) != vc) || (o.HasTexCoords(2) && o.TexCoordsLength(2) != vc) ||
        (o.HasVertexColors() && o.ColorsLength() != vc))
        return "set-1/set-2/colour array length differs from " + std::to_string(vc);
    if (o.IndexArrayLength() != ic)
        return "index array length " + std::to_string(o.IndexArrayLength()) + " != " + std::to_string(ic);
    return "";
}

std::string NonFiniteProblem(Vexa_ObjectData& o, int vertices) {
    std::string problem = FirstNonFinite(o.pPositions, std::min(vertices, o.PositionsLength()), "position");
    if (problem.empty()) problem = FirstNonFinite(o.pNormals, std::min(vertices, o.NormalsLength()), "normal");
    const D3DXVECTOR2* sets[3] = {o.pTexCoords0, o.pTexCoords1, o.pTexCoords2};
    for (int set = 0; set < 3 && problem.empty(); ++set)
        problem = FirstNonFinite(sets[set], std::min(vertices, o.TexCoordsLength(set)), "texture coordinate");
    return problem;
}

std::string NanPositionProblem(Vexa_ObjectData& o, int vertices) {
    const int count = std::min(vertices, o.PositionsLength());
    for (int v = 0; v < count; ++v) {
        const D3DXVECTOR3& p = o.pPositions[v];
        if (std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z))
            return "vertex " + std::to_string(v) + " has a NaN position";
    }
    return "";
}

std::string IndicesProblem(Vexa_ObjectData& o, int indices, int limit) {
    for (int p = 0; p < indices; ++p) {
        const int index = o.GetIndex(p);
        if (index < 0 || index >= limit)
            return "index " + std::to_string(index) + " at position " + std::to_string(p) + " not below " +
                   std::to_string(limit);
    }
    return "";
}

std::string MeshProblem(Vexa_ObjectData& o, int verticesUsed, int indicesUsed) {
    const int vc = o.GetVertexCount(), ic = o.GetIndexCount();
    if (verticesUsed < 0 || verticesUsed > vc)
        return "vertices used " + std::to_string(verticesUsed) + " outside capacity " + std::to_string(vc);
    if (indicesUsed < 0 || indicesUsed > ic || indicesUsed % 3 != 0)
        return "indices used " + std::to_string(indicesUsed) + " invalid for capacity " + std::to_string(ic);
    std::string problem = ArrayLengthsProblem(o);
    if (problem.empty()) problem = NonFiniteProblem(o, verticesUsed);
    if (problem.empty()) problem = IndicesProblem(o, indicesUsed, verticesUsed);
    return problem;
}

std::string RenderBuffersProblem(Vexa_ObjectData& o, const std::vector<int>& vertices) {
    IDirect3DVertexBuffer9* vb = o.CurrentVertexBuffer();
    IDirect3DIndexBuffer9* ib = o.CurrentIndexBuffer();
    if (!vb || !ib) return "render buffers missing";
    if (KorvaneTestAccess::IsLocked(*vb) || KorvaneTestAccess::IsLocked(*ib)) return "a render buffer was left locked";
    const size_t size = static_cast<size_t>(o.VertexRecordSize());
    if (vb->GetSize() < size * static_cast<size_t>(o.GetVertexCount())) return "vertex buffer too small";
    for (int v : vertices) {
        const uint8_t* r = vb->Data() + size * static_cast<size_t>(v);
        if (std::memcmp(r, &o.pPositions[v], 12) != 0 || std::memcmp(r + 12, &o.pNormals[v], 12) != 0 ||
            std::memcmp(r + 24, &o.pColors[v], 4) != 0 || std::memcmp(r + 28, &o.pTexCoords0[v], 8) != 0 ||
            std::memcmp(r + 36, &o.pTexCoords1[v], 8) != 0 ||
            (size == 52 && std::memcmp(r + 44, &o.pTexCoords2[v], 8) != 0))
            return "vertex record " + std::to_string(v) + " differs from the working arrays";
    }
    const int ic = o.GetIndexCount();
    const size_t width = o.UsesIndices16() ? 2 : 4;
    if (ib->GetSize() != width * static_cast<size_t>(ic))
        return "index buffer holds " + std::to_string(ib->GetSize()) + " bytes, expected " +
               std::to_string(width * static_cast<size_t>(ic));
    const void* src = o.UsesIndices16() ? static_cast<const void*>(o.pIndices16) : static_cast<const void*>(o.pIndices32);
    if (ic > 0 && std::memcmp(ib->Data(), src, width * static_cast<size_t>(ic)) != 0)
        return "index buffer differs from the index array";
    return "";
}

::testing::AssertionResult MeshIsSound(Vexa_ObjectData& o, int verticesUsed, int indicesUsed) {
    return AsResult(MeshProblem(o, verticesUsed, indicesUsed));
}

::testing::AssertionResult RenderBuffersMatch(Vexa_ObjectData& o, const std::vector<int>& vertices) {
    return AsResult(RenderBuffersProblem(o, vertices));
}

bool SameBits(const MeshArrays& a, const MeshArrays& b) {
    auto same = [](const auto& x, const auto& y) {
        return x.size() == y.size() && (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(x[0])) == 0);
    };
    return same(a.positions, b.positions) && same(a.normals, b.normals) && same(a.texCoords0, b.texCoords0) &&
           same(a.texCoords1, b.texCoords1) && same(a.texCoords2, b.texCoords2) && same(a.colors, b.colors) &&
           a.indices == b.indices;
}
