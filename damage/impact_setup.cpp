// Impact set-up: one collision becomes an impact energy, and the collision
// point and normal move into the object's own space; see impact_setup.h.
#include "damage/impact_setup.h"

#include <cmath>

#include "damage/arc_cosine.h"
#include "mesh/vector_math.h"

namespace crumple {

namespace {

// pi/2 as a float, compared after widening to double.
constexpr float kHalfPi = 1.57079637f;

// The three dot products with the rows of the placement's upper 3x3: its
// inverse when that part is a pure rotation (scale and shear stay).
D3DXVECTOR3 IntoObjectSpace(const D3DXMATRIX& m, const D3DXVECTOR3& d) {
    return D3DXVECTOR3(m._11 * d.x + m._12 * d.y + m._13 * d.z, m._21 * d.x + m._22 * d.y + m._23 * d.z,
                       m._31 * d.x + m._32 * d.y + m._33 * d.z);
}

}  // namespace

float AngleBetween(D3DXVECTOR3 a, D3DXVECTOR3 b) {
    const float la = Length(a);
    const float ia = 1.0f / la;
    a = D3DXVECTOR3(a.x * ia, a.y * ia, a.z * ia);
    const float lb = Length(b);
    const float ib = 1.0f / lb;
    b = D3DXVECTOR3(b.x * ib, b.y * ib, b.z * ib);
    const float c = a.x * b.x + a.y * b.y + a.z * b.z;
    return ArcCosine(c);
}

Impact ComputeImpact(const Collision& collision, const D3DXMATRIX& placement, const ImpactSettings& settings) {
    Impact none;
    float m1 = collision.mass1;
    float m2 = collision.mass2;
    const float speed = collision.speed;
    if ((m1 == 0.0f && m2 == 0.0f) || speed == 0.0f) return none;

    // A body of mass 0 is immovable (a shore).
    if (m1 == 0.0f)
        m1 = static_cast<float>(settings.shoreMass);
    else if (m2 == 0.0f)
        m2 = static_cast<float>(settings.shoreMass);
    const float impulse = speed / (1.0f / m1 + 1.0f / m2);

    const D3DXVECTOR3 position = IntoObjectSpace(
        placement, Sub(collision.position, D3DXVECTOR3(placement._41, placement._42, placement._43)));
    D3DXVECTOR3 normal = IntoObjectSpace(placement, collision.normal);

    // Turn the normal towards the object's origin so that dents push inwards.
    // Exactly pi/2, or no angle at all, leaves it as it is.
    const float angle = AngleBetween(normal, D3DXVECTOR3(-position.x, -position.y, -position.z));
    if (static_cast<double>(angle) > static_cast<double>(kHalfPi))
        normal = D3DXVECTOR3(-normal.x, -normal.y, -normal.z);

    float energy = std::sqrt(impulse);
    energy = static_cast<float>(energy / static_cast<double>(settings.impactDivider));
    energy = energy * settings.impactFactor;
    // Small impacts are lifted towards 1.
    if (energy < 1.0f) energy = std::sqrt(energy);

    // Negative masses, speed or factors give no finite energy: that counts as
    // no impact, so no NaN or infinity from the energy reaches the mesh.
    if (!std::isfinite(energy) || energy == 0.0f) return none;
    Impact impact;
    impact.energy = energy;
    impact.position = position;
    impact.normal = normal;
    return impact;
}

}  // namespace crumple
