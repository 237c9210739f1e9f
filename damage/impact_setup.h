// Impact set-up: one collision becomes an impact energy, and the collision
// point and normal move into the object's own space.
#pragma once

#include "host/d3d9_stand_in.h"

namespace crumple {

struct Collision {
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};  // world space
    D3DXVECTOR3 normal{0.0f, 0.0f, 0.0f};
    float mass1 = 0.0f, mass2 = 0.0f;  // 0 is an immovable body
    float speed = 0.0f;
};

struct ImpactSettings {
    float impactFactor = 0.0f;
    int shoreMass = 0;      // the mass that stands for an immovable body
    int impactDivider = 1;  // applied in double to the root of the impulse
};

// Energy 0 is no impact; then position and normal are not set.
struct Impact {
    float energy = 0.0f;
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};  // object space
    D3DXVECTOR3 normal{0.0f, 0.0f, 0.0f};    // object space, turned to face the origin
};

// Angle between a and b in radians, [0, pi]. The cosine is not clamped: a
// zero vector, or a cosine rounded past +-1, gives NaN, and every comparison
// a caller makes with it fails.
float AngleBetween(D3DXVECTOR3 a, D3DXVECTOR3 b);

// The impact of `collision` on an object placed by `placement` (whose upper
// 3x3 is taken as a rotation). No finite energy (negative masses, speed or
// factors) is no impact, so no NaN or infinity from the energy reaches the
// mesh.
Impact ComputeImpact(const Collision& collision, const D3DXMATRIX& placement, const ImpactSettings& settings);

}  // namespace crumple
