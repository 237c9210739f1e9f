// Holes: the triangles around the impact point are removed, and those on the
// sphere's surface are replaced by a fan around their centre, split along the
// edges that still straddle the surface. Each later pass refines the fans of
// the pass before; the last pass leaves out the pieces whose centre lies
// inside, which opens the hole along a rim that follows the sphere.
#include "damage/hole_damage.h"

#include <cmath>

#include "damage/hole_commit.h"
#include "damage/triangle_search.h"
#include "mesh/index_access.h"
#include "mesh/vector_math.h"
#include "mesh/vertex_means.h"

namespace crumple {

namespace {

D3DXVECTOR3 Midpoint(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return Scale(Add(a, b), 0.5f); }

// AllOnOneSide on squared distances already taken: a triangle and the three
// pieces of its fan share corners, so each is measured once.
bool SquaresOnOneSide(float sa, float sb, float sc, float r2) {
    if (sa < r2 && sb < r2 && sc < r2) return true;
    return sa > r2 && sb > r2 && sc > r2;
}

}  // namespace

void PunchHoles(Vexa_ObjectData* o, const HoleSettings& settings, float radius, std::vector<int>* vertexes,
                std::unique_ptr<HolePass>* store, int* verticesUsed, int* indicesUsed) {
    // The working buffers always have these arrays; without one, no hole.
    if (!o || !vertexes || !o->pPositions || !o->pNormals || !o->pTexCoords0 || !o->pTexCoords1 || !o->pColors ||
        settings.passes <= 0)
        return;
    const int capacity = o->GetVertexCount();
    const int& usedVertices = *verticesUsed;
    const int& usedIndices = *indicesUsed;

    // The lists keep their storage from the last call: a hole's hundreds of
    // new vertices would otherwise be allocated anew on every hit.
    if (!*store) *store = std::make_unique<HolePass>();
    HolePass& pass = **store;
    pass.triangles.clear();
    pass.holeVertexes.clear();
    pass.ClearNewWork();
    pass.hasTexCoords2 = o->HasTexCoords(2) && o->pTexCoords2;
    pass.holeVertexes.reserve(static_cast<size_t>(settings.reserve.vertexesInRange));
    pass.newPositions.reserve(static_cast<size_t>(settings.reserve.newVertexes));
    pass.newNormals.reserve(static_cast<size_t>(settings.reserve.changedVertexes));
    pass.newTexCoords0.reserve(static_cast<size_t>(settings.reserve.changedVertexes));
    pass.newTexCoords1.reserve(static_cast<size_t>(settings.reserve.changedVertexes));
    if (pass.hasTexCoords2) pass.newTexCoords2.reserve(static_cast<size_t>(settings.reserve.changedVertexes));
    pass.newColors.reserve(static_cast<size_t>(settings.reserve.changedVertexes));
    pass.newIndexes.reserve(static_cast<size_t>(settings.reserve.newIndexes));
    pass.positions.Reserve(static_cast<size_t>(settings.reserve.newVertexes));

    const D3DXVECTOR3 centre = settings.impactPoint;
    const NewVertexLists lists{&pass.newNormals, &pass.newTexCoords0, &pass.newTexCoords1, &pass.newTexCoords2,
                               &pass.newColors, pass.hasTexCoords2};
    const double r2 = static_cast<double>(radius) * radius;
    // The sphere test's own r^2, rounded to float.
    const float sphere2 = radius * radius;

    // One found triangle: removed whole when small or not on the surface,
    // otherwise replaced by its centroid fan.
    auto replace = [&](int t, bool keep) {
        const int i0 = IndexAt(o, t), i1 = IndexAt(o, t + 1), i2 = IndexAt(o, t + 2);
        // A corner outside the vertex arrays breaks the mesh contract: the
        // triangle goes without replacement.
        if (i0 < 0 || i0 >= capacity || i1 < 0 || i1 >= capacity || i2 < 0 || i2 >= capacity) return;
        D3DXVECTOR3 p0 = o->pPositions[i0], p1 = o->pPositions[i1], p2 = o->pPositions[i2];

        // Entirely inside (every found triangle has a corner inside the
        // sphere), or too small: removed either way, so the cheaper test goes
        // first and most triangles of a hole never take the three roots.
        const float s0 = SquaredDistance(p0, centre), s1 = SquaredDistance(p1, centre),
                    s2 = SquaredDistance(p2, centre);
        if (SquaresOnOneSide(s0, s1, s2, sphere2)) return;
        // A perimeter is never negative (at worst not a number), so a limit
        // that is not above 0 removes nothing and the roots need not be taken.
        if (settings.minTriangleSize > 0.0f) {
            const double perimeter = static_cast<double>(Length(Sub(p0, p1))) + Length(Sub(p1, p2)) +
                                     static_cast<double>(Length(Sub(p0, p2)));
            if (static_cast<double>(settings.minTriangleSize) > perimeter) return;
        }

        D3DXVECTOR3 g = Scale(Add(Add(p1, p0), p2), kOneThird);
        D3DXVECTOR3 mid01 = Midpoint(p1, p0), mid02 = Midpoint(p2, p0), mid12 = Midpoint(p2, p1);
        const int gNumber = usedVertices + static_cast<int>(pass.newPositions.size());

        // An edge is split when its part of the fan still straddles the surface.
        const float sg = SquaredDistance(g, centre);
        const bool split01 = !SquaresOnOneSide(s0, s1, sg, sphere2);
        const bool split02 = !SquaresOnOneSide(s0, s2, sg, sphere2);
        const bool split12 = !SquaresOnOneSide(s1, s2, sg, sphere2);

        pass.positions.Add(g, static_cast<int>(pass.newPositions.size()));
        pass.newPositions.push_back(g);
        AppendTriangleMean(*o, i0, i1, i2, lists);

        // Neighbours processed in this pass share the vertex on a common edge.
        const SharedMidpoints shared =
            FindSharedMidpoints(pass.positions, split01, split02, split12, mid01, mid02, mid12);
        auto midpointVertex = [&](bool split, int sharedOrdinal, const D3DXVECTOR3& mid, int a, int b) {
            if (!split) return -1;
            if (sharedOrdinal >= 0) return usedVertices + sharedOrdinal;
            const int ordinal = static_cast<int>(pass.newPositions.size());
            pass.positions.Add(mid, ordinal);
            pass.newPositions.push_back(mid);
            AppendEdgeMean(*o, a, b, lists);
            return usedVertices + ordinal;
        };
        const int m01 = midpointVertex(split01, shared.m01, mid01, i0, i1);
        const int m02 = midpointVertex(split02, shared.m02, mid02, i0, i2);
        const int m12 = midpointVertex(split12, shared.m12, mid12, i1, i2);

        // The fan keeps the winding of (i0, i1, i2); in the last pass pieces
        // whose centre is not outside the sphere are left out.
        auto emit = [&](int a, int b, int c, const D3DXVECTOR3& pa, const D3DXVECTOR3& pb, const D3DXVECTOR3& pc) {
            if (keep || CentreOutside(centre, pa, pb, pc, radius))
                AppendTriangle(&pass.newIndexes, static_cast<uint32_t>(a), static_cast<uint32_t>(b),
                               static_cast<uint32_t>(c));
        };
        if (split01) {
            emit(i0, m01, gNumber, p0, mid01, g);
            emit(i1, gNumber, m01, p1, g, mid01);
        } else {
            emit(i0, i1, gNumber, p0, p1, g);
        }
        if (split12) {
            emit(i1, m12, gNumber, p1, mid12, g);
            emit(i2, gNumber, m12, p2, g, mid12);
        } else {
            emit(i1, i2, gNumber, p1, p2, g);
        }
        if (split02) {
            emit(i2, m02, gNumber, p2, mid02, g);
            emit(i0, gNumber, m02, p0, g, mid02);
        } else {
            emit(i2, i0, gNumber, p2, p0, g);
        }
    };

    for (int p = 0; p < settings.passes; ++p) {
        pass.triangles.clear();
        if (p == 0) {
            const uint32_t redLimit = static_cast<uint32_t>(settings.minRedValue) << 16;
            for (int v : *vertexes) {
                if (v < 0 || v >= capacity) continue;
                if (static_cast<double>(SquaredDistance(o->pPositions[v], centre)) < r2 &&
                    (o->pColors[v] & 0x00FF0000u) < redLimit)
                    pass.holeVertexes.push_back(v);
            }
            if (pass.holeVertexes.empty()) return;
            FindTrianglesWithVertices(ViewOf(*o, usedVertices, usedIndices), 0, usedIndices, pass.holeVertexes,
                                      &pass.triangles);
        } else {
            // The previous pass's kept vertices inside the sphere join the
            // candidates, and only the triangles it appended are searched.
            const int first = usedVertices - static_cast<int>(pass.newPositions.size());
            for (size_t k = 0; k < pass.newPositions.size(); ++k)
                if (static_cast<double>(SquaredDistance(pass.newPositions[k], centre)) < r2)
                    pass.holeVertexes.push_back(first + static_cast<int>(k));
            const int appended = static_cast<int>(pass.newIndexes.size());
            FindTrianglesWithVertices(ViewOf(*o, usedVertices, usedIndices), usedIndices - appended, appended,
                                      pass.holeVertexes, &pass.triangles);
        }
        if (pass.triangles.empty()) return;

        pass.ClearNewWork();

        // Pieces inside the sphere are dropped only in the last pass; earlier
        // passes keep them for the next one to refine.
        const bool keep = p != settings.passes - 1;
        for (int t : pass.triangles) replace(t, keep);

        if (!CommitHolePass(o, pass, vertexes, verticesUsed, indicesUsed)) return;
    }
}

}  // namespace crumple
