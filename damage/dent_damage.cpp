// Dents: listed vertices are pushed into the object, each within its own
// allowance; see dent_damage.h.
#include "damage/dent_damage.h"

#include <cmath>

#include "mesh/vector_math.h"

namespace crumple {

namespace {

// Added, in double, to the distance from the impact point so that a vertex
// sitting on it still gets a falloff just under 1.
constexpr double kFalloffEpsilon = static_cast<double>(1e-5f);

}  // namespace

float DentVertices(const MeshView& mesh, const DentSettings& settings, D3DXVECTOR3 offset, float radius,
                   const std::vector<int>& vertices) {
    float largest = 0.0f;
    if (!mesh.positions || !mesh.normals || !mesh.colors) return largest;
    const int capacity = mesh.vertexCapacity;
    const D3DXVECTOR3 h = settings.impactPoint;
    const float a = settings.dentAngle;
    const float maxDent = settings.maxDent;
    const float oneMinusA = 1.0f - a;
    const D3DXVECTOR3 target = Add(h, offset);

    for (const int v : vertices) {
        if (v < 0 || v >= capacity) continue;
        const D3DXVECTOR3 p = mesh.positions[v];
        const uint32_t record = mesh.colors[v] & 0xFFu;
        if (record == 255u) continue;  // allowance spent: no move, contributes 0

        // a = 0 pushes every vertex in parallel by the offset, a = 1 draws
        // every vertex towards one point below the impact; between, a blend.
        const D3DXVECTOR3 q = Add(p, offset);
        const D3DXVECTOR3 goal = Add(Scale(target, a), Scale(q, oneMinusA));
        const D3DXVECTOR3 full = Sub(goal, p);
        const float fullLength = Length(full);
        // Already on its goal: there is no direction to move in. The vertex,
        // its record and its normal stay as they are.
        if (!(fullLength > 0.0f)) continue;
        const D3DXVECTOR3 unit = Scale(full, 1.0f / fullLength);

        // Linear falloff with the distance from the impact point.
        const float distance = static_cast<float>(static_cast<double>(Length(Sub(p, h))) + kFalloffEpsilon);
        const float falloff = (radius - distance) / radius;
        const float share = falloff * fullLength;
        const D3DXVECTOR3 moved = Add(p, Scale(unit, share));
        const float step = Length(Sub(moved, p));

        const float allowed = static_cast<float>(static_cast<double>(static_cast<float>(255u - record) * maxDent) / 255.0);
        D3DXVECTOR3 position;
        uint32_t color = mesh.colors[v];
        float contribution;
        if (allowed > step) {
            position = moved;
            contribution = step;
            // Truncated 255ths of the allowance; held below the spent mark so
            // the record can never carry into the green byte.
            const double used = static_cast<double>(step / maxDent) * 255.0;
            const double room = static_cast<double>(255u - record);
            color += static_cast<uint32_t>(used < room ? (used > 0.0 ? used : 0.0) : room);
        } else {
            // The move reaches the allowance: go exactly that far and spend it.
            const D3DXVECTOR3 direction = Scale(Sub(moved, p), 1.0f / step);
            position = Add(p, Scale(direction, allowed));
            contribution = Length(Sub(p, position));
            color |= 0xFFu;
        }
        // A zero step in the capping branch, or an overflow, has no finite
        // result: the vertex stays as it is and contributes 0.
        if (!IsFinite(position) || !std::isfinite(contribution)) continue;

        mesh.positions[v] = position;
        mesh.colors[v] = color;

        // Bend the normal towards the impact point; the old normal weighs 10,
        // applied in double, so each component is rounded once after the sum.
        const D3DXVECTOR3 n = mesh.normals[v], towards = Sub(h, position);
        const D3DXVECTOR3 bent(static_cast<float>(10.0 * n.x + towards.x), static_cast<float>(10.0 * n.y + towards.y),
                               static_cast<float>(10.0 * n.z + towards.z));
        const float inverse = 1.0f / Length(bent);
        const D3DXVECTOR3 normal(bent.x * inverse, bent.y * inverse, bent.z * inverse);
        // A bent normal of length 0 cannot be normalised; the old one stays.
        if (IsFinite(normal)) mesh.normals[v] = normal;

        if (largest < contribution) largest = contribution;
    }
    return largest;
}

}  // namespace crumple
