// Impact set-up: one collision becomes an impact energy, and the collision
// point and normal move into the object's own space.
#include <algorithm>
#include <cmath>

#include "damage/arc_cosine.h"
#include "mesh/vector_math.h"
#include "plugin/Kel_Crumple.h"
#include "plugin/children.h"

using namespace crumple;

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

// Reads: children 0, 1, 3, 4, 5, 22, 23, the placement matrix of pObjectData,
// fImpactFactor. Returns the impact energy, 0 for no impact. Writes
// vCollisionPos, vCollisionNormal, iVertexesUsed and iIndexesUsed only when it
// returns an energy other than 0, so a hit that does nothing leaves them be.
float Kel_Crumple::Initialize() {
    Vexa_ValueVector* positionChild = VectorChild(this, kCollisionPosition);
    Vexa_ValueVector* normalChild = VectorChild(this, kCollisionNormal);
    Vexa_Value* mass1Child = ValueChild(this, kMassBody1);
    Vexa_Value* mass2Child = ValueChild(this, kMassBody2);
    Vexa_Value* speedChild = ValueChild(this, kMaxImpactSpeed);
    Vexa_Value* verticesChild = ValueChild(this, kVertexesUsed);
    Vexa_Value* indicesChild = ValueChild(this, kIndexesUsed);
    if (!positionChild || !normalChild || !mass1Child || !mass2Child || !speedChild || !verticesChild ||
        !indicesChild || !pObjectData)
        return 0.0f;

    float m1 = mass1Child->GetValue();
    float m2 = mass2Child->GetValue();
    const float speed = speedChild->GetValue();
    if ((m1 == 0.0f && m2 == 0.0f) || speed == 0.0f) return 0.0f;

    D3DXVECTOR3 position = positionChild->GetValue();
    D3DXVECTOR3 normal = normalChild->GetValue();
    D3DXMATRIX placement;
    pObjectData->GetWorldMatrix(&placement);

    // A body of mass 0 is immovable (a shore).
    if (m1 == 0.0f)
        m1 = static_cast<float>(iMassShore);
    else if (m2 == 0.0f)
        m2 = static_cast<float>(iMassShore);
    const float impulse = speed / (1.0f / m1 + 1.0f / m2);

    position = IntoObjectSpace(placement, Sub(position, D3DXVECTOR3(placement._41, placement._42, placement._43)));
    normal = IntoObjectSpace(placement, normal);

    // Turn the normal towards the object's origin so that dents push inwards.
    // Exactly pi/2, or no angle at all, leaves it as it is.
    const float angle = CalcAngle(normal, D3DXVECTOR3(-position.x, -position.y, -position.z));
    if (static_cast<double>(angle) > static_cast<double>(kHalfPi))
        normal = D3DXVECTOR3(-normal.x, -normal.y, -normal.z);

    float energy = std::sqrt(impulse);
    energy = static_cast<float>(energy / static_cast<double>(iDefaultImpactDivider));
    energy = energy * fImpactFactor;
    // Small impacts are lifted towards 1.
    if (energy < 1.0f) energy = std::sqrt(energy);

    // Negative masses, speed or factors give no finite energy: that counts as
    // no impact, so no NaN or infinity from the energy reaches the mesh. The
    // radius factor is applied as given, so a non-finite one shows in the
    // radius outputs.
    if (!std::isfinite(energy) || energy == 0.0f) return 0.0f;

    vCollisionPos = position;
    vCollisionNormal = normal;
    // Counters edited from outside are held within the capacities (and the
    // index count to whole triangles), so the pass never reads or writes past
    // the arrays.
    const int vertexCapacity = std::max(0, pObjectData->GetVertexCount());
    const int indexCapacity = std::max(0, pObjectData->GetIndexCount());
    iVertexesUsed = std::clamp(ReadUsedCount(verticesChild->GetValue(), iKeptVertexesUsed), 0, vertexCapacity);
    iIndexesUsed = std::clamp(ReadUsedCount(indicesChild->GetValue(), iKeptIndexesUsed), 0, indexCapacity);
    iIndexesUsed -= iIndexesUsed % 3;
    return energy;
}

// Angle between a and b in radians, [0, pi]. The cosine is not clamped: a
// zero vector, or a cosine rounded past +-1, gives NaN, and every comparison
// a caller makes with it fails.
float Kel_Crumple::CalcAngle(D3DXVECTOR3 a, D3DXVECTOR3 b) {
    const float la = Length(a);
    const float ia = 1.0f / la;
    a = D3DXVECTOR3(a.x * ia, a.y * ia, a.z * ia);
    const float lb = Length(b);
    const float ib = 1.0f / lb;
    b = D3DXVECTOR3(b.x * ib, b.y * ib, b.z * ib);
    const float c = a.x * b.x + a.y * b.y + a.z * b.z;
    return ArcCosine(c);
}
