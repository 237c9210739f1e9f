// The damage pass: one hit turned into dents, alpha marks and holes on the
// working mesh, then uploaded and reported through the output children.
#include "mesh/vector_math.h"
#include "plugin/Kel_Crumple.h"
#include "plugin/children.h"

using namespace crumple;

namespace {

bool IsOn(Vexa_Value* child) { return TruncateToInt(child->GetValue()) != 0; }

}  // namespace

// Reads: every child; the settings into their members. Writes: the working
// mesh and its render buffers, children 22 to 27. Assumes the working buffers
// exist (child 22 is not 0). A missing child, or one of another type, stops
// the pass before anything is read.
void Kel_Crumple::ApplyDamage() {
    const int childCount = GetChildCount();
    for (int i = 0; i < childCount; ++i)
        if (!GetChild(i)) return;

    Vexa_ObjectData* object = ObjectChild(this, kObjectData);
    Vexa_ValueVector* newPositionChild = VectorChild(this, kNewCollisionPosition);
    if (!object || !newPositionChild || !VectorChild(this, kCollisionPosition) ||
        !VectorChild(this, kCollisionNormal))
        return;
    Vexa_Value* values[kChildCount] = {};
    for (int i = kMassBody1; i <= kCollisionRadius; ++i) {
        values[i] = ValueChild(this, i);
        if (!values[i]) return;
    }

    std::vector<int> vertexes;
    vertexes.reserve(static_cast<size_t>(iDefaultVertexInRange));

    pObjectData = object;
    bApplyDents = IsOn(values[kApplyDents]);
    bApplyAlphaDamage = IsOn(values[kApplyAlphaDamage]);
    bApplyHoles = IsOn(values[kApplyHoles]);
    iNumberOfPasses = TruncateToInt(values[kNumberOfPasses]->GetValue());
    fImpactFactor = values[kImpactFactor]->GetValue();
    fImpactRadiusFactor = values[kImpactRadiusFactor]->GetValue();
    fDentRadiusFactor = values[kDentRadiusFactor]->GetValue();
    fDentFactor = values[kDentFactor]->GetValue();
    fDentAngle = values[kDentAngle]->GetValue();
    fMaxDent = values[kMaxDent]->GetValue();
    iAlphaDamageValue = TruncateToInt(values[kAlphaDamageValue]->GetValue());
    fMinTriangleSize = values[kMinTriangleSize]->GetValue();
    fHoleThreshold = values[kHoleThreshold]->GetValue();
    iMinRedValue = TruncateToInt(values[kMinRedValue]->GetValue());

    if (!bApplyHoles && !bApplyDents && !bApplyAlphaDamage) {
        if (pChannelHost) pChannelHost->showDebugMessage1("Alpha & Dent & Hole = 0 -> no damage applied");
        return;
    }

    const float energy = Initialize();
    Vexa_Value* cumulativeImpact = values[kCumulativeImpact];
    cumulativeImpact->SetValue(cumulativeImpact->GetValue() + energy);
    if (energy == 0.0f) return;

    const float radius = fImpactRadiusFactor * energy;
    const float dentRadius = radius * fDentRadiusFactor;

    // The gate decides holes for this call only; the switch is read afresh
    // next time. Hits below the waterline count whether holes are on or not.
    if (fHoleThreshold > radius) {
        bApplyHoles = false;
    } else if (vCollisionPos.y < 0.0f) {
        Vexa_Value* underWater = values[kHolesUnderWater];
        underWater->SetValue(underWater->GetValue() + radius);
    }

    const float dentDepth = energy * fDentFactor;
    const D3DXVECTOR3 dentOffset(vCollisionNormal.x * dentDepth, vCollisionNormal.y * dentDepth,
                                 vCollisionNormal.z * dentDepth);

    SearchVertexesInRange(dentRadius, &vertexes);
    if (vertexes.empty()) {
        // A hit between vertices refines the mesh there; if it cannot, the
        // hit does nothing more.
        if (!AddVertex()) return;
        vertexes.push_back(iVertexesUsed - 1);
    }

    if (bApplyDents && fDentFactor != 0.0f) {
        const float deepest = ApplyDentDamage(dentOffset, dentRadius, &vertexes);
        // The impact point follows the deepest dent, so later damage works
        // from the dented surface.
        vCollisionPos = Add(vCollisionPos, D3DXVECTOR3(vCollisionNormal.x * deepest, vCollisionNormal.y * deepest,
                                                       vCollisionNormal.z * deepest));
    }
    newPositionChild->SetValue(vCollisionPos);

    if (bApplyAlphaDamage) ApplyAlphaDamage(&vertexes);
    if (bApplyHoles) ApplyHoleDamage(radius, &vertexes);

    UpdateGPUBuffer(&vertexes);

    values[kIndexesUsed]->SetValue(static_cast<float>(iIndexesUsed));
    values[kVertexesUsed]->SetValue(static_cast<float>(iVertexesUsed));
    kept.indicesUsed = iIndexesUsed;
    kept.verticesUsed = iVertexesUsed;
    values[kCollisionRadius]->SetValue(radius);
}
