// Float rules of the damage arithmetic, shared by the mesh and damage code.
//
// Every step is one single-precision operation, taken left to right:
// ((a + b) + c), no fused multiply-add. Double appears only where a constant
// is applied in double and its result is not rounded at once, or where a
// bound is held exactly (squared radii). The results are part of the
// mesh, so these rules are fixed, not tuning.
#pragma once

#include <cmath>
#include <cstdint>

#include "host/d3d9_stand_in.h"

namespace crumple {

// The float nearest 1/3: triangle means multiply by it instead of dividing by
// 3. It is applied in double, but a product of two floats is exact there, so
// one float product rounds the same.
constexpr float kOneThird = 0.333333343f;
// 2*pi as a float: the angle sum of a point inside a triangle.
constexpr float kTwoPi = 6.28318548f;

inline D3DXVECTOR3 Add(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return D3DXVECTOR3(a.x + b.x, a.y + b.y, a.z + b.z);
}

inline D3DXVECTOR3 Sub(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return D3DXVECTOR3(a.x - b.x, a.y - b.y, a.z - b.z);
}

// The vector scaled by a float factor, one float product per component.
inline D3DXVECTOR3 Scale(const D3DXVECTOR3& a, float s) { return D3DXVECTOR3(a.x * s, a.y * s, a.z * s); }

inline D3DXVECTOR2 Add(const D3DXVECTOR2& a, const D3DXVECTOR2& b) { return D3DXVECTOR2(a.x + b.x, a.y + b.y); }

inline D3DXVECTOR2 Scale(const D3DXVECTOR2& a, float s) { return D3DXVECTOR2(a.x * s, a.y * s); }

// Sum of squares: three float squares, summed left to right in float.
inline float SumOfSquares(const D3DXVECTOR3& d) { return d.x * d.x + d.y * d.y + d.z * d.z; }

// Squared distance of a point from a centre: float differences, float result.
// Sphere tests compare this and never take a root.
inline float SquaredDistance(const D3DXVECTOR3& point, const D3DXVECTOR3& centre) {
    return SumOfSquares(Sub(point, centre));
}

// Length: the correctly rounded float root of the float sum of squares.
inline float Length(const D3DXVECTOR3& v) { return std::sqrt(SumOfSquares(v)); }

inline bool IsFinite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

inline bool IsFinite(const D3DXVECTOR2& v) { return std::isfinite(v.x) && std::isfinite(v.y); }

}  // namespace crumple
