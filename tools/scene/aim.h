// Aimed hits: a ray in placed space cast onto the mesh as the channel holds
// it, giving the collision position and normal a hit needs.
#pragma once

#include "host/object_data.h"

namespace crumpletool {

struct AimHit {
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    // The hit triangle's face normal, unit length, facing the ray's origin.
    D3DXVECTOR3 normal{0.0f, 0.0f, 0.0f};
};

// Casts the ray from `from` through `towards` (placed space) onto the first
// `indicesUsed` indices of `object` (whole triangles only), its positions
// placed by the object's world matrix. Triangles naming a vertex at or past
// `verticesUsed` or past the arrays, and triangles without area, are passed
// over. The nearest crossing in front of `from` wins; of equally near ones
// the first in the index array. Double throughout, so the same mesh gives the
// same floats on every build. False when the ray meets no triangle or `from`
// equals `towards`.
bool CastAim(Vexa_ObjectData& object, int verticesUsed, int indicesUsed, const D3DXVECTOR3& from,
             const D3DXVECTOR3& towards, AimHit* hit);

}  // namespace crumpletool
