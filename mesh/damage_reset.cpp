// Undoing the damage; see damage_reset.h.
#include <cstring>

#include "mesh/damage_reset.h"

#include "mesh/array_remake.h"

namespace crumple {

namespace {

// `count` entries from `source` into `target`; zeros where the undamaged object
// lacks the array, so nothing is read through a null pointer.
template <typename T>
void CopyOrZero(T* target, const T* source, int count) {
    if (target == nullptr) return;
    const size_t bytes = static_cast<size_t>(count) * sizeof(T);
    if (source != nullptr)
        std::memcpy(target, source, bytes);
    else
        std::memset(static_cast<void*>(target), 0, bytes);
}

}  // namespace

bool RestoreMesh(Vexa_ObjectData* object, Vexa_ObjectData* original) {
    if (object == nullptr || original == nullptr || object == original) return false;
    const int vc = original->GetVertexCount();
    const int ic = original->GetIndexCount();
    if (vc <= 0 || ic <= 0) return false;

    object->ReleaseBuffers();
    object->SetVertexCount(vc);
    object->SetIndexCount(ic);
    RemakeVertexArrays(object, 0u);
    if (!original->HasVertexColors()) original->SetVertexColor(0u, 0);

    CopyOrZero(object->pPositions, original->pPositions, vc);
    CopyOrZero(object->pNormals, original->pNormals, vc);
    CopyOrZero(object->pTexCoords0, original->pTexCoords0, vc);
    CopyOrZero(object->pTexCoords1, original->pTexCoords1, vc);
    CopyOrZero(object->pColors, original->pColors, vc);
    if (object->HasTexCoords(2)) {
        object->SetVertexTexCoord(2, D3DXVECTOR2(0.0f, 0.0f), 0);
        CopyOrZero(object->pTexCoords2, original->pTexCoords2, vc);
    }

    // The first write remakes the index array at the undamaged count.
    object->SetIndex(0, 0);
    for (int p = 0; p < ic; ++p) object->SetIndex(original->GetIndex(p), p);
    object->CreateBuffers();
    return true;
}

}  // namespace crumple
