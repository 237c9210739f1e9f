// What must hold after every update of the soak, at three strengths: a mesh
// reached with ordinary input, one that saw non-finite input, and one whose
// "Current vertexes used" was lowered from outside.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <sstream>

#include "mesh_invariants.h"
#include "soak.h"

using namespace crumple;

namespace soak {

namespace {

// The render buffers, when the host has them, hold every used record and
// the whole index array. A raw mesh without colours or set 1 has no record
// layout to compare with.
std::string RenderBytes(Vexa_ObjectData& o, int vertexes) {
    if (!o.CurrentVertexBuffer() && !o.CurrentIndexBuffer()) return {};
    if (!o.pColors || !o.pTexCoords1 || (o.VertexRecordSize() == 52 && !o.pTexCoords2)) return {};
    // 0 .. vertexes - 1, kept between calls: shrinking keeps the front in order.
    static std::vector<int> used;
    const size_t from = used.size();
    used.resize(static_cast<size_t>(vertexes));
    if (used.size() > from) std::iota(used.begin() + static_cast<std::ptrdiff_t>(from), used.end(), static_cast<int>(from));
    const std::string problem = RenderBuffersProblem(o, used);
    return problem.empty() ? problem : "render buffers: " + problem;
}

template <typename T>
bool SameArray(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

template <typename T>
bool AllZero(const std::vector<T>& a) {
    const std::vector<T> zeros(a.size(), T());
    return SameArray(a, zeros);
}

}  // namespace

UsedCounts ReadUsedCounts(CrumpleScene& scene) {
    Vexa_ObjectData* o = scene.Object();
    const int vc = o->GetVertexCount(), ic = o->GetIndexCount();
    const float vertexes = scene.Value(kVertexesUsed), indexes = scene.Value(kIndexesUsed);
    // A mesh's own index count need not be whole triangles (an enlarged
    // capacity seldom is); a pass reads only the whole ones.
    if (vertexes == 0.0f) return {vc, ic - ic % 3, false};
    UsedCounts used;
    used.working = true;
    used.vertexes = std::clamp(TruncateToInt(vertexes), 0, vc);
    used.indexes = std::clamp(TruncateToInt(indexes), 0, ic);
    used.indexes -= used.indexes % 3;
    return used;
}

// Reads: child 2's arrays, counts and render buffers; children 22 and 23.
std::string CheckMesh(CrumpleScene& scene, CheckLevel level, bool countsFromPlugin) {
    Vexa_ObjectData* o = scene.Object();
    if (!o) return "child 2 is no object";
    const int vc = o->GetVertexCount(), ic = o->GetIndexCount();
    const UsedCounts used = ReadUsedCounts(scene);
    std::ostringstream out;
    if (countsFromPlugin && used.working) {
        const float v = scene.Value(kVertexesUsed), i = scene.Value(kIndexesUsed);
        if (!(v >= 0 && v <= vc && v == std::floor(v)) || !(i >= 0 && i <= ic && i == std::floor(i))) {
            out << "children 22/23 hold " << v << "/" << i << " for capacities " << vc << "/" << ic;
            return out.str();
        }
    }
    if (used.working && o->UsesIndices16() && vc > 65536) {
        out << "16-bit mesh with a vertex capacity of " << vc;
        return out.str();
    }

    std::string failed;
    switch (level) {
        case CheckLevel::kFull: failed = MeshProblem(*o, used.vertexes, used.indexes); break;
        case CheckLevel::kNonFinite:
            failed = ArrayLengthsProblem(*o);
            if (failed.empty()) failed = IndicesProblem(*o, used.indexes, used.vertexes);
            if (failed.empty()) failed = NanPositionProblem(*o, used.vertexes);
            break;
        case CheckLevel::kBrokenCounts:
            failed = ArrayLengthsProblem(*o);
            if (failed.empty()) failed = IndicesProblem(*o, used.indexes, vc);
            if (failed.empty()) failed = NanPositionProblem(*o, vc);
            break;
    }
    if (failed.empty()) failed = RenderBytes(*o, used.vertexes);
    if (!failed.empty()) {
        out << failed << " (used " << used.vertexes << "/" << used.indexes << " of " << vc << "/" << ic << ")";
        return out.str();
    }
    return {};
}

// Reads: children 2, 22, 24, 25 and 28.
std::string CheckCleared(CrumpleScene& scene) {
    Vexa_ObjectData* o = scene.Object();
    Vexa_ObjectData* original = scene.Original();
    if (scene.Value(kVertexesUsed) != 0 || scene.Value(kCumulativeImpact) != 0 || scene.Value(kHolesUnderWater) != 0)
        return "children 22, 24 and 25 not back at 0";
    const MeshArrays now = o->ToArrays(), undamaged = original->ToArrays();
    if (o->GetVertexCount() != original->GetVertexCount() || o->GetIndexCount() != original->GetIndexCount())
        return "counts differ from the undamaged mesh";
    // Arrays the undamaged mesh lacks come back as zeros.
    auto same = [](const auto& restored, const auto& source) {
        return source.empty() ? AllZero(restored) : SameArray(restored, source);
    };
    if (!SameArray(now.positions, undamaged.positions) || !same(now.normals, undamaged.normals) ||
        !same(now.texCoords0, undamaged.texCoords0) || !same(now.texCoords1, undamaged.texCoords1) ||
        !same(now.colors, undamaged.colors) || (!now.texCoords2.empty() && !same(now.texCoords2, undamaged.texCoords2)) ||
        now.indices != undamaged.indices)
        return "arrays differ from the undamaged mesh";
    const std::string render = RenderBytes(*o, o->GetVertexCount());
    if (!o->CurrentVertexBuffer() || !o->CurrentIndexBuffer()) return "no render buffers after the reset";
    return render;
}

// Reads: child 28.
std::string CheckOriginalUntouched(CrumpleScene& scene, const MeshArrays& input) {
    MeshArrays expected = input;
    const size_t n = input.positions.size();
    if (expected.normals.empty()) expected.normals.assign(n, D3DXVECTOR3(0, 0, 0));
    if (expected.texCoords0.empty()) expected.texCoords0.assign(n, D3DXVECTOR2(0, 0));
    const MeshArrays original = scene.Original()->ToArrays();
    if (expected.colors.empty() && !original.colors.empty() && AllZero(original.colors))
        expected.colors = original.colors;
    return SameBits(original, expected) ? std::string() : "the undamaged mesh in child 28 changed";
}

}  // namespace soak
