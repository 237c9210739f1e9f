// The vertices inside the impact sphere: what dents and alpha marks act on.
#pragma once

#include <vector>

#include "mesh/mesh_view.h"

namespace crumple {

// Appends to `list`, in ascending order, every used vertex of `mesh` whose
// squared float distance from `centre` is strictly below radius * radius (in
// double). Reads the used positions only; a mesh without positions adds none.
void FindVerticesInSphere(const MeshView& mesh, D3DXVECTOR3 centre, float radius, std::vector<int>* list);

}  // namespace crumple
