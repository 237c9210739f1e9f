// A hit that lands between vertices; see impact_point_insertion.h.
#include "damage/impact_point_insertion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "damage/impact_setup.h"
#include "mesh/index_access.h"
#include "mesh/sse2.h"
#include "mesh/vector_math.h"
#include "mesh/vertex_means.h"

namespace crumple {

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

// The screen in front of TooFarToContain, in float. Each float squared length
// is within a few units in the last place of the exact one, plus at most
// about 1e-44 from values below the normal range; with the gap a finite
// float of at least 1e-30, a margin of 4.125 over 4 leaves room for both, so
// a triangle the screen passes is one TooFarToContain passes too. Anything
// else, NaN included, takes that exact test: the screen changes which
// triangles are measured by no triangle, only how fast the others are passed.
constexpr float kScreenFactor = 4.125f;
constexpr float kScreenLeast = 1e-30f;

bool ScreenedFar(float gap, float edge1, float edge2) {
    return gap >= kScreenLeast && gap <= std::numeric_limits<float>::max() && gap > kScreenFactor * edge1 &&
           gap > kScreenFactor * edge2;
}

struct Choice {
    float best = 10.0f;
    int triangle = 0;
};

// Measures triangle t unless it is too far to hold h; `angle` gives the
// angle between two vectors.
template <typename Angle>
inline void Measure(const Angle& angle, const D3DXVECTOR3& h, int t, const D3DXVECTOR3& v0, const D3DXVECTOR3& v1,
                    const D3DXVECTOR3& v2, Choice& choice) {
    if (TooFarToContain(h, v0, v1, v2)) return;
    const D3DXVECTOR3 a0 = Sub(v0, h), a1 = Sub(v1, h), a2 = Sub(v2, h);
    // The edges subtend 2*pi together only from inside the triangle's plane
    // and area; a NaN sum is never chosen, ties keep the earlier triangle.
    float sum = 0.0f;
    sum += angle(a0, a1);
    sum += angle(a1, a2);
    sum += angle(a2, a0);
    const float deviation = std::fabs(sum - kTwoPi);
    if (choice.best > deviation) {
        choice.best = deviation;
        choice.triangle = t;
    }
}

// Triangles [first, last) one at a time; a corner outside the arrays leaves
// the triangle out.
template <typename Index, typename Angle>
void SearchOneByOne(const Angle& angle, const Index* indexes, int first, int last, const D3DXVECTOR3* positions, int capacity,
                    const D3DXVECTOR3& h, Choice& choice) {
    for (int t = first; t < last; ++t) {
        const int i0 = static_cast<int>(indexes[3 * t]), i1 = static_cast<int>(indexes[3 * t + 1]),
                  i2 = static_cast<int>(indexes[3 * t + 2]);
        if (i0 < 0 || i0 >= capacity || i1 < 0 || i1 >= capacity || i2 < 0 || i2 >= capacity) continue;
        const D3DXVECTOR3 &v0 = positions[i0], &v1 = positions[i1], &v2 = positions[i2];
        if (ScreenedFar(SquaredDistance(v0, h), SquaredDistance(v1, v0), SquaredDistance(v2, v0))) continue;
        Measure(angle, h, t, v0, v1, v2, choice);
    }
}

template <typename Index, typename Angle>
void SearchTriangles(const Angle& angle, const Index* indexes, int triangleCount, const D3DXVECTOR3* positions, int capacity,
                     const D3DXVECTOR3& h, Choice& choice) {
    int t = 0;
#if CRUMPLE_SSE2
    // Four triangles at a time: the screen for all four in one go, the
    // triangles it does not pass measured one by one in their order.
    const __m128 hx = _mm_set1_ps(h.x), hy = _mm_set1_ps(h.y), hz = _mm_set1_ps(h.z);
    const __m128 factor = _mm_set1_ps(kScreenFactor), least = _mm_set1_ps(kScreenLeast),
                 most = _mm_set1_ps(std::numeric_limits<float>::max());
    for (; t + 4 <= triangleCount; t += 4) {
        int corner[12];
        bool inside = true;
        for (int k = 0; k < 12; ++k) {
            corner[k] = static_cast<int>(indexes[3 * t + k]);
            inside &= static_cast<unsigned>(corner[k]) < static_cast<unsigned>(capacity);
        }
        if (!inside) {
            SearchOneByOne(angle, indexes, t, t + 4, positions, capacity, h, choice);
            continue;
        }
        const D3DXVECTOR3 *p0[4], *p1[4], *p2[4];
        for (int k = 0; k < 4; ++k) {
            p0[k] = &positions[corner[3 * k]];
            p1[k] = &positions[corner[3 * k + 1]];
            p2[k] = &positions[corner[3 * k + 2]];
        }
        const __m128 x0 = _mm_setr_ps(p0[0]->x, p0[1]->x, p0[2]->x, p0[3]->x);
        const __m128 y0 = _mm_setr_ps(p0[0]->y, p0[1]->y, p0[2]->y, p0[3]->y);
        const __m128 z0 = _mm_setr_ps(p0[0]->z, p0[1]->z, p0[2]->z, p0[3]->z);
        const __m128 dx = _mm_sub_ps(x0, hx), dy = _mm_sub_ps(y0, hy), dz = _mm_sub_ps(z0, hz);
        const __m128 gap = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)), _mm_mul_ps(dz, dz));
        auto edge = [&](const D3DXVECTOR3* const* p) {
            const __m128 ex = _mm_sub_ps(_mm_setr_ps(p[0]->x, p[1]->x, p[2]->x, p[3]->x), x0);
            const __m128 ey = _mm_sub_ps(_mm_setr_ps(p[0]->y, p[1]->y, p[2]->y, p[3]->y), y0);
            const __m128 ez = _mm_sub_ps(_mm_setr_ps(p[0]->z, p[1]->z, p[2]->z, p[3]->z), z0);
            return _mm_add_ps(_mm_add_ps(_mm_mul_ps(ex, ex), _mm_mul_ps(ey, ey)), _mm_mul_ps(ez, ez));
        };
        const __m128 e1 = edge(p1), e2 = edge(p2);
        const __m128 far = _mm_and_ps(
            _mm_and_ps(_mm_cmpge_ps(gap, least), _mm_cmple_ps(gap, most)),
            _mm_and_ps(_mm_cmpgt_ps(gap, _mm_mul_ps(factor, e1)), _mm_cmpgt_ps(gap, _mm_mul_ps(factor, e2))));
        const int farLanes = _mm_movemask_ps(far);
        if (farLanes == 0xF) continue;
        for (int k = 0; k < 4; ++k)
            if (!(farLanes & (1 << k))) Measure(angle, h, t + k, *p0[k], *p1[k], *p2[k], choice);
    }
#endif
    SearchOneByOne(angle, indexes, t, triangleCount, positions, capacity, h, choice);
}

}  // namespace

bool FindTriangleAround(const MeshView& mesh, D3DXVECTOR3 point, int* chosen) {
    const int capacity = mesh.vertexCapacity;
    const int triangleCount = mesh.indicesUsed / 3;
    Choice choice;
    auto angle = [](const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return AngleBetween(a, b); };
    if (mesh.indices32)
        SearchTriangles(angle, mesh.indices32, triangleCount, mesh.positions, capacity, point, choice);
    else if (mesh.indices16)
        SearchTriangles(angle, mesh.indices16, triangleCount, mesh.positions, capacity, point, choice);
    *chosen = choice.triangle;
    return !(choice.best > kAcceptedDeviation);
}

bool SplitTriangleAt(Vexa_ObjectData* o, D3DXVECTOR3 point, int* verticesUsed, int* indicesUsed) {
    int& usedVertices = *verticesUsed;
    int& usedIndices = *indicesUsed;
    // The working buffers always have these arrays; a mesh without one gets
    // no new vertex rather than a write through a null array.
    if (!o || !o->pPositions || !o->pNormals || !o->pTexCoords0 || !o->pTexCoords1 || !o->pColors) return false;
    if (static_cast<long long>(usedIndices) + 6 >= o->GetIndexCount()) return false;
    const int capacity = o->GetVertexCount();
    if (usedVertices >= capacity || usedVertices < 0 || usedVertices >= AddressableVertexes(o)) return false;
    const int triangleCount = usedIndices / 3;
    if (triangleCount <= 0) return false;

    int chosen = 0;
    if (!FindTriangleAround(ViewOf(*o, usedVertices, usedIndices), point, &chosen)) return false;
    const D3DXVECTOR3 h = point;

    const int i0 = IndexAt(o, 3 * chosen), i1 = IndexAt(o, 3 * chosen + 1), i2 = IndexAt(o, 3 * chosen + 2);
    const int n = usedVertices;

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
    o->pColors[n] = AverageColor(o->pColors[i0], o->pColors[i1], o->pColors[i2]);

    // Three triangles around the new vertex, each keeping the split one's winding.
    const int base = usedIndices;
    o->SetIndex(i0, 3 * chosen);
    o->SetIndex(i1, 3 * chosen + 1);
    o->SetIndex(n, 3 * chosen + 2);
    o->SetIndex(i2, base);
    o->SetIndex(i0, base + 1);
    o->SetIndex(n, base + 2);
    o->SetIndex(i1, base + 3);
    o->SetIndex(i2, base + 4);
    o->SetIndex(n, base + 5);

    usedVertices += 1;
    usedIndices += 6;
    return true;
}

}  // namespace crumple
