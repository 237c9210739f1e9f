// Alpha marks: hit vertices wear bits off the alpha byte of their colour,
// which the renderer shows as damage.
#pragma once

#include <vector>

#include "mesh/mesh_view.h"

namespace crumple {

// ANDs the alpha byte of each listed vertex's colour with the lowest byte of
// `alphaDamageValue`; the other bytes carry damage state of their own and
// stay. Vertex numbers outside the capacity are skipped; a mesh without
// colours is left alone.
void MarkAlpha(const MeshView& mesh, int alphaDamageValue, const std::vector<int>& vertices);

}  // namespace crumple
