// Re-sizing an object's per-vertex arrays: the object-data channel remakes an
// array at its current vertex count at the first setter call on it.
#pragma once

#include "host/object_data.h"

namespace crumple {

// Reads: the object's vertex count. Writes: vertex 0 of the position, normal,
// set-0, set-1 and colour arrays, in that order, which remakes each at that
// count; the caller overwrites vertex 0 afterwards. Set 2 is left to the caller,
// since it is remade only when the mesh has it.
inline void RemakeVertexArrays(Vexa_ObjectData* object, unsigned int color) {
    const D3DXVECTOR3 zero3(0.0f, 0.0f, 0.0f);
    const D3DXVECTOR2 zero2(0.0f, 0.0f);
    object->SetVertexPosition(zero3, 0);
    object->SetVertexNormal(zero3, 0);
    object->SetVertexTexCoord(0, zero2, 0);
    object->SetVertexTexCoord(1, zero2, 0);
    object->SetVertexColor(color, 0);
}

}  // namespace crumple
