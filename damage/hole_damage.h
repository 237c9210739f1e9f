// Holes: the triangles around the impact point are removed, and those on the
// sphere's surface are replaced by a fan around their centre, split along the
// edges that still straddle the surface. Each later pass refines the fans of
// the pass before; the last pass leaves out the pieces whose centre lies
// inside, which opens the hole along a rim that follows the sphere.
#pragma once

#include <memory>
#include <vector>

#include "damage/hole_pass.h"
#include "host/object_data.h"

namespace crumple {

struct HoleSettings {
    D3DXVECTOR3 impactPoint{0.0f, 0.0f, 0.0f};
    int passes = 0;
    // Only vertices whose red byte is below this can be holed.
    int minRedValue = 0;
    // Triangles with a smaller perimeter are removed without replacement.
    float minTriangleSize = 0.0f;
    // Capacities the pass's lists start with.
    struct {
        int vertexesInRange = 0, newVertexes = 0, changedVertexes = 0, newIndexes = 0;
    } reserve;
};

// Up to `settings.passes` passes over the used mesh of `object`, the first
// taking as candidates the listed *vertexes inside the sphere of `radius`.
// Per committed pass writes the working arrays and both used counts, and
// appends the pass's new vertex numbers to *vertexes. Ends quietly when a
// pass has no candidate, finds no triangle, or its commit finds no room;
// earlier passes stand. A mesh missing positions, normals, texture sets 0
// and 1 or colours gets no hole. `*store` holds the lists between calls
// (made on first use).
void PunchHoles(Vexa_ObjectData* object, const HoleSettings& settings, float radius, std::vector<int>* vertexes,
                std::unique_ptr<HolePass>* store, int* verticesUsed, int* indicesUsed);

}  // namespace crumple
