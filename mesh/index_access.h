// Direct reads of the working index array, for loops that visit many entries
// (a virtual GetIndex per entry is the cost on large meshes).
#pragma once

#include "host/object_data.h"

namespace crumple {

// A 16-bit index array cannot name vertex 65536 or above: insertions that
// would need such a number are refused like a full buffer.
constexpr int kMaxVertexes16 = 65536;

inline bool UsesIndices16(const Vexa_ObjectData* object) {
    return object->pIndices32 == nullptr && object->pIndices16 != nullptr;
}

// Highest vertex count the index array can address.
inline long long AddressableVertexes(const Vexa_ObjectData* object) {
    return UsesIndices16(object) ? kMaxVertexes16 : 0x7FFFFFFFLL;
}

// Entry `position` (inside the array) as the int GetIndex would give.
inline int IndexAt(Vexa_ObjectData* object, int position) {
    if (object->pIndices32) return static_cast<int>(object->pIndices32[position]);
    if (object->pIndices16) return static_cast<int>(object->pIndices16[position]);
    return object->GetIndex(position);
}

}  // namespace crumple
