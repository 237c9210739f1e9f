// Undoing the damage: the undamaged mesh of child 28 goes back into child 2 at
// its own size, and the counters return to "no working buffers".
#include <cstring>

#include "mesh/array_remake.h"
#include "plugin/Kel_Crumple.h"
#include "plugin/children.h"

using namespace crumple;

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

// Reads: children 24, 25, 28, 2 and 22; the undamaged mesh of child 28.
// Writes: child 2's counts, arrays, index array and render buffers; children
// 22, 24 and 25 to 0. Child 23 is left for the next buffer creation to set.
// Missing children, child 2 and 28 being one object, or an undamaged mesh
// without vertices or indices (which the object cannot be resized to) change nothing.
void Kel_Crumple::RestoreUndamaged() {
    Vexa_Value* cumulativeImpact = ValueChild(this, kCumulativeImpact);
    Vexa_Value* holesUnderWater = ValueChild(this, kHolesUnderWater);
    Vexa_ObjectData* original = ObjectChild(this, kOriginalObjectData);
    Vexa_ObjectData* object = ObjectChild(this, kObjectData);
    Vexa_Value* verticesUsed = ValueChild(this, kVertexesUsed);
    if (cumulativeImpact == nullptr || holesUnderWater == nullptr || original == nullptr || object == nullptr ||
        verticesUsed == nullptr || original == object)
        return;
    const int vc = original->GetVertexCount();
    const int ic = original->GetIndexCount();
    if (vc <= 0 || ic <= 0) return;

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

    // Child 22 at 0 makes the next update prepare the buffers again.
    verticesUsed->SetValue(0.0f);
    cumulativeImpact->SetValue(0.0f);
    holesUnderWater->SetValue(0.0f);
}
