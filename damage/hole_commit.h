// Commit of one hole-damage pass: its new vertices and replacement triangles
// become part of the working mesh, and the triangles it found leave it.
#pragma once

#include <vector>

#include "damage/hole_pass.h"
#include "host/object_data.h"

namespace crumple {

// Writes the pass's kept new vertices behind the *verticesUsed used ones,
// removes the found triangles (the rest moved down in order), appends the
// replacements, zeroes the freed slots, advances both used counts and
// appends the kept new vertex numbers (ascending) to *vertexes. Returns
// false, with the mesh, the counts and *vertexes untouched, when the vertex
// or index capacity is too small or a 16-bit index array could not name a
// new vertex. Assumes the found triangle starts lie in the used index range.
bool CommitHolePass(Vexa_ObjectData* object, HolePass& pass, std::vector<int>* vertexes, int* verticesUsed,
                    int* indicesUsed);

}  // namespace crumple
