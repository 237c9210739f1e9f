// A hit that lands between vertices splits the triangle under it around a new
// vertex at the impact point, which then takes that hit's damage.
#pragma once

#include "host/object_data.h"
#include "mesh/mesh_view.h"

namespace crumple {

// Writes *chosen, the used triangle whose angle sum at `point` comes closest
// to 2*pi (the earlier one on a tie; triangles with a corner outside the
// vertex arrays are never chosen). Returns whether that triangle is within
// 0.25 of it.
bool FindTriangleAround(const MeshView& mesh, D3DXVECTOR3 point, int* chosen);

// On success writes one new vertex at number *verticesUsed (position at
// `point`, attributes from the containing triangle's corners), the split
// triangle in place and two appended ones, and advances the used counts by
// 1 and 6. Returns false and changes nothing when there is no room (seven
// index slots, one vertex slot, a vertex number a 16-bit index can hold), no
// used triangle, no triangle within the acceptance limit, or a mesh missing
// positions, normals, texture sets 0 and 1 or colours.
bool SplitTriangleAt(Vexa_ObjectData* object, D3DXVECTOR3 point, int* verticesUsed, int* indicesUsed);

}  // namespace crumple
