// Dents: listed vertices are pushed into the object, each within its own
// allowance. The blue byte of a vertex colour records, in 255ths of "Max
// dent", how much of the allowance earlier hits have used; 255 means spent.
#include <cmath>

#include "mesh/vector_math.h"
#include "plugin/Kel_Crumple.h"

using namespace crumple;

namespace {

// Added, in double, to the distance from the impact point so that a vertex
// sitting on it still gets a falloff just under 1.
constexpr double kFalloffEpsilon = static_cast<double>(1e-5f);

}  // namespace

// Reads: positions, normals and colours of the listed vertices, vCollisionPos,
// fDentAngle, fMaxDent. Writes: position, normal and dent record of every
// listed vertex that moves. Returns the largest single move, 0 when none.
// Assumes the list holds vertex numbers of the working arrays (others are
// skipped) and `offset` is the collision normal times the dent depth.
float Kel_Crumple::ApplyDentDamage(D3DXVECTOR3 offset, float radius, std::vector<int>* list) {
    Vexa_ObjectData* o = pObjectData;
    float largest = 0.0f;
    if (!o || !list || !o->pPositions || !o->pNormals || !o->pColors) return largest;
    const int capacity = o->GetVertexCount();
    const D3DXVECTOR3 h = vCollisionPos;
    const float a = fDentAngle;
    const float oneMinusA = 1.0f - a;
    const D3DXVECTOR3 target = Add(h, offset);

    for (size_t k = 0; k < list->size(); ++k) {
        const int v = (*list)[k];
        if (v < 0 || v >= capacity) continue;
        const D3DXVECTOR3 p = o->pPositions[v];
        const uint32_t record = o->pColors[v] & 0xFFu;
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

        const float allowed = static_cast<float>(static_cast<double>(static_cast<float>(255u - record) * fMaxDent) / 255.0);
        D3DXVECTOR3 position;
        uint32_t color = o->pColors[v];
        float contribution;
        if (allowed > step) {
            position = moved;
            contribution = step;
            // Truncated 255ths of the allowance; held below the spent mark so
            // the record can never carry into the green byte.
            const double used = static_cast<double>(step / fMaxDent) * 255.0;
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

        o->pPositions[v] = position;
        o->pColors[v] = color;

        // Bend the normal towards the impact point; the old normal weighs 10,
        // applied in double, so each component is rounded once after the sum.
        const D3DXVECTOR3 n = o->pNormals[v], towards = Sub(h, position);
        const D3DXVECTOR3 bent(static_cast<float>(10.0 * n.x + towards.x), static_cast<float>(10.0 * n.y + towards.y),
                               static_cast<float>(10.0 * n.z + towards.z));
        const float inverse = 1.0f / Length(bent);
        const D3DXVECTOR3 normal(bent.x * inverse, bent.y * inverse, bent.z * inverse);
        // A bent normal of length 0 cannot be normalised; the old one stays.
        if (IsFinite(normal)) o->pNormals[v] = normal;

        if (largest < contribution) largest = contribution;
    }
    return largest;
}
