#include "damage/alpha_damage.h"

namespace crumple {

void MarkAlpha(const MeshView& mesh, int alphaDamageValue, const std::vector<int>& vertices) {
    if (!mesh.colors) return;
    // Unsigned shift: a negative value keeps its low byte (-1 masks nothing).
    const uint32_t mask = (static_cast<uint32_t>(alphaDamageValue) << 24) + 0x00FFFFFFu;
    for (const int v : vertices)
        if (v >= 0 && v < mesh.vertexCapacity) mesh.colors[v] &= mask;
}

}  // namespace crumple
