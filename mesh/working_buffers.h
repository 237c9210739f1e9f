// Creation of the working buffers: the mesh enlarged in place by the two
// multipliers, the old mesh at the front, harmless filler behind it.
#pragma once

#include "host/object_data.h"

namespace crumple {

// Both multipliers at least 1 (0, negatives and NaN are not).
bool UsableMultipliers(float vertexFactor, float indexFactor);

// Remakes `object`'s arrays at its counts times the multipliers (truncated
// toward zero, the product in double; a 16-bit mesh held to 65536 vertices)
// with the old mesh at the front: spare vertices at the origin, spare
// triangles (1, 1, 1), which draw nothing. Gives the object colours (white
// read as unmarked black-alpha) and texture set 1 when it has none. False,
// and nothing changed, when the multipliers are unusable or a capacity would
// not fit an int or be smaller than the mesh. An object without vertices is
// left as it is (true).
bool EnlargeWorkingMesh(Vexa_ObjectData* object, float vertexFactor, float indexFactor);

}  // namespace crumple
