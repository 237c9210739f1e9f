// Undoing the damage: the undamaged mesh goes back into the working object at
// its own size.
#pragma once

#include "host/object_data.h"

namespace crumple {

// Resizes `object` to `original`'s counts and copies every array in (zeros
// where the original lacks one; set 2 only when the object has it), the index
// array entry by entry, then remakes both render buffers. Gives `original`
// a colour array when it has none. False, and nothing changed, for a null or
// identical pair or an original without vertices or indices (which the
// object cannot be resized to).
bool RestoreMesh(Vexa_ObjectData* object, Vexa_ObjectData* original);

}  // namespace crumple
