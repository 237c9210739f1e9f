// Corner reach of triangles: how far a triangle's corners lie from its corner
// 0. A point more than twice that away cannot be inside the triangle.
#pragma once

#include "host/d3d9_stand_in.h"

namespace crumple {

// Squared distance in double from float coordinates, as the far-triangle
// test measures it.
inline double SquaredGap(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const double dx = static_cast<double>(a.x) - b.x, dy = static_cast<double>(a.y) - b.y,
                 dz = static_cast<double>(a.z) - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// The larger squared distance from v0 to v1 and to v2; NaN when a coordinate
// is not a number.
inline double SquaredCornerReach(const D3DXVECTOR3& v0, const D3DXVECTOR3& v1, const D3DXVECTOR3& v2) {
    const double r1 = SquaredGap(v1, v0), r2 = SquaredGap(v2, v0);
    if (r1 != r1) return r1;
    if (r2 != r2) return r2;
    return r1 > r2 ? r1 : r2;
}

}  // namespace crumple
