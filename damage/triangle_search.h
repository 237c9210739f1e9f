// From vertices to triangles: the per-vertex index lookup table, the search
// for the triangles that use listed vertices, and the sphere-straddle test.
#pragma once

#include <vector>

#include "mesh/mesh_view.h"

namespace crumple {

// Makes `table` one entry per vertex slot (the vertex capacity), entry v
// listing ascending every used index position holding v; values past the
// vertex arrays are not recorded. The inner lists keep their storage.
void BuildLookupTable(const MeshView& mesh, std::vector<std::vector<int>>* table);

// Appends to `found`, ascending and once each, the start of every triangle
// with a listed corner among index positions [start, start + count), or,
// with start 0 and 75 or more listed vertices, among every used position (as
// the lookup table would answer, without building it). Assumes `start` is a
// multiple of 3. Positions outside the index array are not read; a mesh
// without an index array reads as all zeros.
void FindTrianglesWithVertices(const MeshView& mesh, int start, int count, const std::vector<int>& vertexes,
                               std::vector<int>* found);

// True when a, b and c lie all strictly inside or all strictly outside the
// sphere of `radius` around `centre` (squared float distances against r * r
// in float); false when they straddle its surface or any lies exactly on it.
bool AllOnOneSide(const D3DXVECTOR3& centre, const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                  float radius);

}  // namespace crumple
