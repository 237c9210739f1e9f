// Ray and triangle in double: the crossing test of Moller and Trumbore, with
// the crossing point taken from the ray so that it lies on it exactly.
#include "aim.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace crumpletool {

namespace {

struct Vec {
    double x, y, z;
};

Vec Minus(const Vec& a, const Vec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Of(const D3DXVECTOR3& v) { return {v.x, v.y, v.z}; }

// Row vector times the placement: rows 1-3 the axes, row 4 the translation.
Vec Placed(const D3DXMATRIX& m, const D3DXVECTOR3& p) {
    return {double(p.x) * m._11 + double(p.y) * m._21 + double(p.z) * m._31 + m._41,
            double(p.x) * m._12 + double(p.y) * m._22 + double(p.z) * m._32 + m._42,
            double(p.x) * m._13 + double(p.y) * m._23 + double(p.z) * m._33 + m._43};
}

}  // namespace

bool CastAim(Vexa_ObjectData& object, int verticesUsed, int indicesUsed, const D3DXVECTOR3& from,
             const D3DXVECTOR3& towards, AimHit* hit) {
    const Vec origin = Of(from);
    const Vec direction = Minus(Of(towards), origin);
    if (Dot(direction, direction) == 0.0 || !std::isfinite(Dot(direction, direction))) return false;
    if (!object.pPositions) return false;
    D3DXMATRIX placement;
    object.GetWorldMatrix(&placement);
    const int vertices = std::min({verticesUsed, object.PositionsLength(), object.GetVertexCount()});
    const int indices = std::min({indicesUsed, object.IndexArrayLength(), object.GetIndexCount()}) / 3 * 3;

    // Each vertex placed once: a vertex is a corner of about six triangles.
    std::vector<Vec> placed(static_cast<size_t>(std::max(vertices, 0)));
    for (int v = 0; v < vertices; ++v) placed[static_cast<size_t>(v)] = Placed(placement, object.pPositions[v]);

    double nearest = INFINITY;
    Vec nearestNormal{0, 0, 0};
    for (int t = 0; t < indices; t += 3) {
        const int a = object.GetIndex(t), b = object.GetIndex(t + 1), c = object.GetIndex(t + 2);
        if (a < 0 || b < 0 || c < 0 || a >= vertices || b >= vertices || c >= vertices) continue;
        const Vec& pa = placed[static_cast<size_t>(a)];
        const Vec e1 = Minus(placed[static_cast<size_t>(b)], pa);
        const Vec e2 = Minus(placed[static_cast<size_t>(c)], pa);
        const Vec p = Cross(direction, e2);
        const double det = Dot(e1, p);
        if (det == 0.0 || !std::isfinite(det)) continue;  // parallel to the ray, or without area
        const Vec s = Minus(origin, pa);
        const double u = Dot(s, p) / det;
        if (!(u >= 0.0 && u <= 1.0)) continue;
        const Vec q = Cross(s, e1);
        const double v = Dot(direction, q) / det;
        if (!(v >= 0.0 && u + v <= 1.0)) continue;
        const double along = Dot(e2, q) / det;
        if (!(along > 0.0) || !(along < nearest)) continue;
        const Vec n = Cross(e1, e2);
        const double length = std::sqrt(Dot(n, n));
        if (!(length > 0.0) || !std::isfinite(length)) continue;
        nearest = along;
        // Facing the ray's origin: against the ray's direction.
        const double sign = Dot(n, direction) > 0.0 ? -1.0 : 1.0;
        nearestNormal = {sign * n.x / length, sign * n.y / length, sign * n.z / length};
    }
    if (nearest == INFINITY) return false;
    hit->position = D3DXVECTOR3(float(origin.x + nearest * direction.x), float(origin.y + nearest * direction.y),
                                float(origin.z + nearest * direction.z));
    hit->normal = D3DXVECTOR3(float(nearestNormal.x), float(nearestNormal.y), float(nearestNormal.z));
    return true;
}

}  // namespace crumpletool
