// The calls of the host that compute: the per-update evaluation (create the
// working buffers on first use, damage after) and the reset. Each sets the
// host's floating-point mode aside while it runs, so the same hits give the
// same bytes whatever mode the host computes in.
#include "mesh/damage_reset.h"
#include "plugin/Kel_Crumple.h"
#include "plugin/children.h"
#include "plugin/float_mode.h"

using namespace crumple;

void Kel_Crumple::CallChannel() {
    const FloatModeGuard mode;
    Evaluate();
}

// Reads: children 16, 17 and 22. Writes: fVertexFactor and fIndexFactor, then
// hands over to exactly one of buffer creation or one damage pass.
// A missing (or wrongly typed) child among the three makes the call do nothing.
void Kel_Crumple::Evaluate() {
    Vexa_Value* vertexMultiplier = ValueChild(this, kVertexMultiplier);
    Vexa_Value* indexMultiplier = ValueChild(this, kIndexMultiplier);
    Vexa_Value* verticesUsed = ValueChild(this, kVertexesUsed);
    if (vertexMultiplier == nullptr || indexMultiplier == nullptr || verticesUsed == nullptr) return;

    fVertexFactor = vertexMultiplier->GetValue();
    fIndexFactor = indexMultiplier->GetValue();

    // Exactly 0 (either sign) means the working buffers do not exist yet; any
    // other reading, NaN included, means they do.
    if (verticesUsed->GetValue() == 0.0f)
        IncreaseVertexBufferSize();
    else
        ApplyDamage();
}

// Reads: children 24, 25, 28, 2 and 22; the undamaged mesh of child 28.
// Writes: child 2's counts, arrays, index array and render buffers; children
// 22, 24 and 25 to 0. Child 23 is left for the next buffer creation to set.
// Missing children, child 2 and 28 being one object, or an undamaged mesh
// without vertices or indices (which the object cannot be resized to) change nothing.
void Kel_Crumple::ClearDamage() {
    const FloatModeGuard mode;
    Vexa_Value* cumulativeImpact = ValueChild(this, kCumulativeImpact);
    Vexa_Value* holesUnderWater = ValueChild(this, kHolesUnderWater);
    Vexa_ObjectData* original = ObjectChild(this, kOriginalObjectData);
    Vexa_ObjectData* object = ObjectChild(this, kObjectData);
    Vexa_Value* verticesUsed = ValueChild(this, kVertexesUsed);
    // RestoreMesh refuses a missing or identical pair of objects itself.
    if (cumulativeImpact == nullptr || holesUnderWater == nullptr || verticesUsed == nullptr ||
        !RestoreMesh(object, original))
        return;

    // Child 22 at 0 makes the next update prepare the buffers again.
    verticesUsed->SetValue(0.0f);
    cumulativeImpact->SetValue(0.0f);
    holesUnderWater->SetValue(0.0f);
}
