// The channel's damage steps that are algorithms of their own: each reads
// the settings it needs from the channel, views the working mesh and calls
// the algorithm.
#include "damage/alpha_damage.h"
#include "damage/dent_damage.h"
#include "damage/vertex_range_search.h"
#include "plugin/Kel_Crumple.h"

using namespace crumple;

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
