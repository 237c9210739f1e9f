// The corner reach kept between hits: an upper bound on every used triangle's
// corner reach, valid for the arrays and counts it was taken on. Each change
// the channel makes widens it (new triangles by their own reach, dents by
// twice the deepest move, since both ends of an edge may move); a change
// from outside shows as a different key, and the next search measures anew.
#include <cmath>
#include <limits>

#include "damage/corner_reach.h"
#include "mesh/index_access.h"
#include "plugin/Kel_Crumple.h"

using namespace crumple;

Kel_Crumple::MeshKey Kel_Crumple::CurrentMeshKey() const {
    MeshKey key;
    const Vexa_ObjectData* o = pObjectData;
    if (!o) return key;
    key.positions = o->pPositions;
    key.indexes = o->pIndices32 ? static_cast<const void*>(o->pIndices32) : static_cast<const void*>(o->pIndices16);
    key.vertexCapacity = const_cast<Vexa_ObjectData*>(o)->GetVertexCount();
    key.indexCapacity = const_cast<Vexa_ObjectData*>(o)->GetIndexCount();
    key.vertexesUsed = iVertexesUsed;
    key.indexesUsed = iIndexesUsed;
    return key;
}

bool Kel_Crumple::CornerReachHolds() const {
    return pObjectData && dCornerReach >= 0.0 && reachKey == CurrentMeshKey();
}

// Reads: the triangles at index positions [from, to), just written by the
// channel, and their corners. Writes: the reach widened to cover them and
// keyed to the current counts, when `held` (the reach held before the
// change); otherwise forgotten. A corner outside the used vertices could
// move without the channel knowing, so it makes the reach unbounded.
void Kel_Crumple::WidenCornerReach(bool held, int from, int to) {
    Vexa_ObjectData* o = pObjectData;
    if (!held || !o || !o->pPositions) {
        ForgetCornerReach();
        return;
    }
    double reach2 = dCornerReach * dCornerReach;
    for (int t = from; t + 2 < to; t += 3) {
        const int i0 = IndexAt(o, t), i1 = IndexAt(o, t + 1), i2 = IndexAt(o, t + 2);
        if (i0 < 0 || i0 >= iVertexesUsed || i1 < 0 || i1 >= iVertexesUsed || i2 < 0 || i2 >= iVertexesUsed) {
            reach2 = std::numeric_limits<double>::infinity();
            break;
        }
        const double r2 = SquaredCornerReach(o->pPositions[i0], o->pPositions[i1], o->pPositions[i2]);
        if (!(r2 <= reach2)) reach2 = r2 == r2 ? r2 : std::numeric_limits<double>::infinity();
    }
    dCornerReach = std::sqrt(reach2);
    reachKey = CurrentMeshKey();
}

// After dents that moved no vertex further than `moved`: every corner reach
// grows by at most twice that. The margin covers the rounding of `moved`.
void Kel_Crumple::GrowCornerReach(float moved) {
    if (!CornerReachHolds()) {
        // Not grown now, so never trusted again, even if the key comes back.
        ForgetCornerReach();
        return;
    }
    if (!(moved > 0.0f)) return;
    dCornerReach += 2.0 * static_cast<double>(moved) * (1.0 + 1e-5);
    if (dCornerReach != dCornerReach) dCornerReach = std::numeric_limits<double>::infinity();
}
