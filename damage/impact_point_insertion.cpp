// A hit that lands between vertices splits the triangle under it around a new
// vertex at the impact point, which then takes that hit's damage.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "mesh/index_access.h"
#include "mesh/vector_math.h"
#include "plugin/Kel_Crumple.h"

using namespace crumple;

namespace {

// Largest distance of the angle sum from 2*pi that still counts as inside.
constexpr float kAcceptedDeviation = 0.25f;

// Squared distance in double from float coordinates: exact for the far test.
double SquaredGap(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const double dx = static_cast<double>(a.x) - b.x, dy = static_cast<double>(a.y) - b.y,
                 dz = static_cast<double>(a.z) - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// True when the angle sum at h cannot come near 2*pi: h lies more than twice
// as far from corner 0 as either other corner does, so each edge subtends at
// most 60 degrees and the sum stays below pi. Skipping such triangles changes
// no choice (their deviation exceeds the acceptance limit) and saves three
// arc cosines per far triangle. Each triangle is judged by its own corners
// alone, so nothing carries from one hit to the next. A NaN anywhere makes
// the test false, and the triangle is measured as usual.
bool TooFarToContain(const D3DXVECTOR3& h, const D3DXVECTOR3& v0, const D3DXVECTOR3& v1, const D3DXVECTOR3& v2) {
    const double gap = SquaredGap(h, v0);
    return gap > 4.0 * SquaredGap(v1, v0) && gap > 4.0 * SquaredGap(v2, v0);
}

}  // namespace

// Reads: the used triangles, their corners' positions, vCollisionPos.
// Writes: *chosen, the triangle whose angle sum at the impact point comes
// closest to 2*pi (the earlier one on a tie). Returns whether that triangle
// is within the acceptance limit.
bool Kel_Crumple::FindContainingTriangle(int* chosen) {
    Vexa_ObjectData* o = pObjectData;
    const int capacity = o->GetVertexCount();
    const int triangleCount = iIndexesUsed / 3;
    const D3DXVECTOR3 h = vCollisionPos;

    float best = 10.0f;
    *chosen = 0;
    for (int t = 0; t < triangleCount; ++t) {
        const int i0 = IndexAt(o, 3 * t), i1 = IndexAt(o, 3 * t + 1), i2 = IndexAt(o, 3 * t + 2);
        if (i0 < 0 || i0 >= capacity || i1 < 0 || i1 >= capacity || i2 < 0 || i2 >= capacity) continue;
        const D3DXVECTOR3 v0 = o->pPositions[i0], v1 = o->pPositions[i1], v2 = o->pPositions[i2];
        if (TooFarToContain(h, v0, v1, v2)) continue;
        const D3DXVECTOR3 a0 = Sub(v0, h), a1 = Sub(v1, h), a2 = Sub(v2, h);
        // The edges subtend 2*pi together only from inside the triangle's plane
        // and area; a NaN sum is never chosen, ties keep the earlier triangle.
        float sum = 0.0f;
        sum += CalcAngle(a0, a1);
        sum += CalcAngle(a1, a2);
        sum += CalcAngle(a2, a0);
        const float deviation = std::fabs(sum - kTwoPi);
        if (best > deviation) {
            best = deviation;
            *chosen = t;
        }
    }
    return !(best > kAcceptedDeviation);
}

// Reads: the used triangles and their corners' attributes, vCollisionPos.
// Writes: on success one new vertex at number iVertexesUsed (position at the
// impact point, attributes from the containing triangle's corners), the split
// triangle in place and two appended ones, and advances the counters by 1 and
// 6. Returns false and changes nothing when there is no room (seven index
// slots, one vertex slot, a vertex number a 16-bit index can hold), no used
// triangle, or no triangle within 0.25 of the angle sum 2*pi. Triangles with
// a corner outside the vertex arrays are never chosen.
bool Kel_Crumple::AddVertex() {
    Vexa_ObjectData* o = pObjectData;
    // The working buffers always have these arrays; a mesh without one gets
    // no new vertex rather than a write through a null array.
    if (!o || !o->pPositions || !o->pNormals || !o->pTexCoords0 || !o->pTexCoords1 || !o->pColors) return false;
    if (static_cast<long long>(iIndexesUsed) + 6 >= o->GetIndexCount()) return false;
    const int capacity = o->GetVertexCount();
    if (iVertexesUsed >= capacity || iVertexesUsed < 0 || iVertexesUsed >= AddressableVertexes(o)) return false;
    const int triangleCount = iIndexesUsed / 3;
    if (triangleCount <= 0) return false;

    int chosen = 0;
    if (!FindContainingTriangle(&chosen)) return false;
    const D3DXVECTOR3 h = vCollisionPos;

    const int i0 = IndexAt(o, 3 * chosen), i1 = IndexAt(o, 3 * chosen + 1), i2 = IndexAt(o, 3 * chosen + 2);
    const int n = iVertexesUsed;

    // Inverse-distance weights for texture set 1. The chosen triangle has no
    // corner at the impact point (that angle would be NaN), so the weights
    // are finite except for distances below the float range; then plain
    // thirds keep NaN out.
    const float w0 = 1.0f / Length(Sub(h, o->pPositions[i0]));
    const float w1 = 1.0f / Length(Sub(h, o->pPositions[i1]));
    const float w2 = 1.0f / Length(Sub(h, o->pPositions[i2]));
    const float total = w0 + w1 + w2;
    float weight0 = w0 / total, weight1 = w1 / total, weight2 = w2 / total;
    if (!std::isfinite(weight0) || !std::isfinite(weight1) || !std::isfinite(weight2))
        weight0 = weight1 = weight2 = kOneThird;

    o->pPositions[n] = h;
    o->pNormals[n] = Scale(Add(Add(o->pNormals[i0], o->pNormals[i1]), o->pNormals[i2]), kOneThird);
    o->pTexCoords0[n] = Scale(Add(Add(o->pTexCoords0[i0], o->pTexCoords0[i1]), o->pTexCoords0[i2]), kOneThird);
    o->pTexCoords1[n] = Add(Add(Scale(o->pTexCoords1[i0], weight0), Scale(o->pTexCoords1[i1], weight1)),
                            Scale(o->pTexCoords1[i2], weight2));
    if (o->HasTexCoords(2) && o->pTexCoords2)
        o->pTexCoords2[n] = Scale(Add(Add(o->pTexCoords2[i0], o->pTexCoords2[i1]), o->pTexCoords2[i2]), kOneThird);
    o->pColors[n] = CalcAverageColor(o->pColors[i0], o->pColors[i1], o->pColors[i2]);

    // Three triangles around the new vertex, each keeping the split one's winding.
    const int base = iIndexesUsed;
    o->SetIndex(i0, 3 * chosen);
    o->SetIndex(i1, 3 * chosen + 1);
    o->SetIndex(n, 3 * chosen + 2);
    o->SetIndex(i2, base);
    o->SetIndex(i0, base + 1);
    o->SetIndex(n, base + 2);
    o->SetIndex(i1, base + 3);
    o->SetIndex(i2, base + 4);
    o->SetIndex(n, base + 5);

    iVertexesUsed += 1;
    iIndexesUsed += 6;
    return true;
}
