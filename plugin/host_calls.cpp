// The calls of the host that compute: the per-update evaluation (create the
// working buffers on first use, damage after) and the reset. Each sets the
// host's floating-point mode aside while it runs, so the same hits give the
// same bytes whatever mode the host computes in.
#include "plugin/Kel_Crumple.h"
#include "plugin/children.h"
#include "plugin/float_mode.h"

using namespace crumple;

void Kel_Crumple::CallChannel() {
    const FloatModeGuard mode;
    Evaluate();
}

void Kel_Crumple::ClearDamage() {
    const FloatModeGuard mode;
    RestoreUndamaged();
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
