// The channel's damage steps that are algorithms of their own: each reads
// the settings it needs from the channel, views the working mesh and calls
// the algorithm.
#include <algorithm>

#include "damage/alpha_damage.h"
#include "damage/dent_damage.h"
#include "damage/hole_damage.h"
#include "damage/impact_setup.h"
#include "damage/vertex_range_search.h"
#include "mesh/gpu_upload.h"
#include "mesh/working_buffers.h"
#include "plugin/Kel_Crumple.h"
#include "plugin/children.h"

using namespace crumple;

namespace {

const char kRefusedMessage[] = "DamageChannel->vertexfactor or indexfactor is 0!, increasing buffers aborted";

}  // namespace

// Reads: fVertexFactor, fIndexFactor, child 2's mesh. Writes: children 22 and
// 23 (the counts before enlargement), child 2's arrays at the new capacities.
// Assumes CallChannel has just cached the multipliers. Refused settings give the
// message and change nothing, so the next update tries again; a mesh without
// vertices leaves child 22 at 0, so every update comes back here.
void Kel_Crumple::IncreaseVertexBufferSize() {
    auto refuse = [this] {
        if (pChannelHost != nullptr) pChannelHost->showDebugMessage2(kRefusedMessage);
    };
    if (!UsableMultipliers(fVertexFactor, fIndexFactor)) {
        refuse();
        return;
    }
    Vexa_ObjectData* object = ObjectChild(this, kObjectData);
    Vexa_Value* verticesUsed = ValueChild(this, kVertexesUsed);
    Vexa_Value* indicesUsed = ValueChild(this, kIndexesUsed);
    if (object == nullptr || verticesUsed == nullptr || indicesUsed == nullptr) return;
    const int vc = object->GetVertexCount();
    const int ic = object->GetIndexCount();
    if (!EnlargeWorkingMesh(object, fVertexFactor, fIndexFactor)) {
        refuse();
        return;
    }
    verticesUsed->SetValue(static_cast<float>(vc));
    indicesUsed->SetValue(static_cast<float>(ic));
    kept.verticesUsed = vc;
    kept.indicesUsed = ic;
}

// Reads: children 0, 1, 3, 4, 5, 22, 23, the placement matrix of pObjectData,
// fImpactFactor. Returns the impact energy, 0 for no impact. Writes
// vCollisionPos, vCollisionNormal, iVertexesUsed and iIndexesUsed only when it
// returns an energy other than 0, so a hit that does nothing leaves them be.
float Kel_Crumple::Initialize() {
    Vexa_ValueVector* positionChild = VectorChild(this, kCollisionPosition);
    Vexa_ValueVector* normalChild = VectorChild(this, kCollisionNormal);
    Vexa_Value* mass1Child = ValueChild(this, kMassBody1);
    Vexa_Value* mass2Child = ValueChild(this, kMassBody2);
    Vexa_Value* speedChild = ValueChild(this, kMaxImpactSpeed);
    Vexa_Value* verticesChild = ValueChild(this, kVertexesUsed);
    Vexa_Value* indicesChild = ValueChild(this, kIndexesUsed);
    if (!positionChild || !normalChild || !mass1Child || !mass2Child || !speedChild || !verticesChild ||
        !indicesChild || !pObjectData)
        return 0.0f;

    Collision collision;
    collision.position = positionChild->GetValue();
    collision.normal = normalChild->GetValue();
    collision.mass1 = mass1Child->GetValue();
    collision.mass2 = mass2Child->GetValue();
    collision.speed = speedChild->GetValue();
    D3DXMATRIX placement;
    pObjectData->GetWorldMatrix(&placement);
    ImpactSettings settings;
    settings.impactFactor = fImpactFactor;
    settings.shoreMass = iMassShore;
    settings.impactDivider = iDefaultImpactDivider;
    const Impact impact = ComputeImpact(collision, placement, settings);
    if (impact.energy == 0.0f) return 0.0f;

    vCollisionPos = impact.position;
    vCollisionNormal = impact.normal;
    // Counters edited from outside are held within the capacities (and the
    // index count to whole triangles), so the pass never reads or writes past
    // the arrays.
    const int vertexCapacity = std::max(0, pObjectData->GetVertexCount());
    const int indexCapacity = std::max(0, pObjectData->GetIndexCount());
    iVertexesUsed = std::clamp(ReadUsedCount(verticesChild->GetValue(), kept.verticesUsed), 0, vertexCapacity);
    iIndexesUsed = std::clamp(ReadUsedCount(indicesChild->GetValue(), kept.indicesUsed), 0, indexCapacity);
    iIndexesUsed -= iIndexesUsed % 3;
    return impact.energy;
}

float Kel_Crumple::CalcAngle(D3DXVECTOR3 a, D3DXVECTOR3 b) { return AngleBetween(a, b); }

float Kel_Crumple::ApplyDentDamage(D3DXVECTOR3 offset, float radius, std::vector<int>* list) {
    if (!pObjectData || !list) return 0.0f;
    DentSettings settings;
    settings.impactPoint = vCollisionPos;
    settings.dentAngle = fDentAngle;
    settings.maxDent = fMaxDent;
    return DentVertices(ViewOf(*pObjectData, iVertexesUsed, iIndexesUsed), settings, offset, radius, *list);
}

void Kel_Crumple::ApplyAlphaDamage(std::vector<int>* list) {
    if (!pObjectData || !list) return;
    MarkAlpha(ViewOf(*pObjectData, iVertexesUsed, iIndexesUsed), iAlphaDamageValue, *list);
}

void Kel_Crumple::SearchVertexesInRange(float radius, std::vector<int>* list) {
    if (!pObjectData || !list) return;
    FindVerticesInSphere(ViewOf(*pObjectData, iVertexesUsed, iIndexesUsed), vCollisionPos, radius, list);
}

void Kel_Crumple::ApplyHoleDamage(float radius, std::vector<int>* vertexes) {
    HoleSettings settings;
    settings.impactPoint = vCollisionPos;
    settings.passes = iNumberOfPasses;
    settings.minRedValue = iMinRedValue;
    settings.minTriangleSize = fMinTriangleSize;
    settings.reserve.vertexesInRange = iDefaultVertexInRange;
    settings.reserve.newVertexes = iDefaultNewVertexes;
    settings.reserve.changedVertexes = iDefaultChangedVertexes;
    settings.reserve.newIndexes = iDefaultNewIndexes;
    PunchHoles(pObjectData, settings, radius, vertexes, &kept.holePass, &iVertexesUsed, &iIndexesUsed);
}

void Kel_Crumple::UpdateGPUBuffer(std::vector<int>* list) { UploadChanges(pObjectData, list); }
