// Index writes that keep the per-vertex lookup table (for every vertex, the
// index positions that name it) in step with the index array.
#pragma once

#include <vector>

#include "host/object_data.h"

namespace crumple {

// Writes index `vertex` at `position` and appends `position` to the lookup
// entry of `vertex`; a vertex beyond the table grows the table to cover it.
// Refused (nothing written): a position outside the index array, or a vertex
// number the mesh cannot hold (negative, at or past the vertex capacity, or
// past 65535 on a 16-bit index array), since such an index would point past
// the vertices or wrap.
void SetIndexWithLookup(Vexa_ObjectData* object, std::vector<std::vector<int>>* table, int vertex, int position);

}  // namespace crumple
