// Dents: listed vertices are pushed into the object, each within its own
// allowance. The blue byte of a vertex colour records, in 255ths of the
// maximum dent, how much of the allowance earlier hits have used; 255 means
// spent.
#pragma once

#include <vector>

#include "mesh/mesh_view.h"

namespace crumple {

struct DentSettings {
    D3DXVECTOR3 impactPoint{0.0f, 0.0f, 0.0f};
    float dentAngle = 0.0f;  // 0 pushes in parallel, 1 towards one point below the impact
    float maxDent = 0.0f;    // a vertex's whole allowance
};

// Moves each listed vertex of `mesh` by its falloff share of `offset` (the
// collision normal times the dent depth) within `radius` of the impact
// point, capped by its remaining allowance; writes its position, bent normal
// and dent record. Reads positions, normals and colours (a mesh missing one
// is left alone); skips numbers outside the capacity and spent vertices.
// Returns the largest single move, 0 when none.
float DentVertices(const MeshView& mesh, const DentSettings& settings, D3DXVECTOR3 offset, float radius,
                   const std::vector<int>& vertices);

}  // namespace crumple
