// Float rules of the damage arithmetic, shared by the mesh and damage code.
//
// A D3DXVECTOR3 holds floats, so every vector-valued step (sum, difference,
// scaling) is rounded per component. Scalar sub-expressions are formed in
// double and rounded to float where the result is kept as a quantity of its
// own. The results are part of the mesh, so these rules are fixed, not tuning.
#pragma once

#include <cmath>
#include <cstdint>

#include "host/d3d9_stand_in.h"

namespace crumple {

// The float nearest 1/3: triangle means multiply by it instead of dividing by 3.
constexpr float kOneThird = 0.333333343f;
// 2*pi as a float: the angle sum of a point inside a triangle.
constexpr float kTwoPi = 6.28318548f;

inline D3DXVECTOR3 Add(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return D3DXVECTOR3(a.x + b.x, a.y + b.y, a.z + b.z);
}

inline D3DXVECTOR3 Sub(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return D3DXVECTOR3(a.x - b.x, a.y - b.y, a.z - b.z);
}

// The vector scaled by a double factor, each component rounded once.
inline D3DXVECTOR3 Scale(const D3DXVECTOR3& a, double s) {
    return D3DXVECTOR3(static_cast<float>(a.x * s), static_cast<float>(a.y * s), static_cast<float>(a.z * s));
}

inline D3DXVECTOR2 Add(const D3DXVECTOR2& a, const D3DXVECTOR2& b) { return D3DXVECTOR2(a.x + b.x, a.y + b.y); }

inline D3DXVECTOR2 Scale(const D3DXVECTOR2& a, double s) {
    return D3DXVECTOR2(static_cast<float>(a.x * s), static_cast<float>(a.y * s));
}

// Sum of squares in double; the squares of floats are exact there.
inline double SumOfSquares(const D3DXVECTOR3& d) {
    return static_cast<double>(d.x) * d.x + static_cast<double>(d.y) * d.y + static_cast<double>(d.z) * d.z;
}

// Squared distance of a point from a centre: float differences, float result.
// Sphere tests compare this and never take a root.
inline float SquaredDistance(const D3DXVECTOR3& point, const D3DXVECTOR3& centre) {
    return static_cast<float>(SumOfSquares(Sub(point, centre)));
}

// Length rounded to float, root taken of the double sum.
inline float Length(const D3DXVECTOR3& v) { return static_cast<float>(std::sqrt(SumOfSquares(v))); }

inline bool IsFinite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

inline bool IsFinite(const D3DXVECTOR2& v) { return std::isfinite(v.x) && std::isfinite(v.y); }

}  // namespace crumple
