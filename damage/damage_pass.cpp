// The damage pass: one hit turned into dents, alpha marks and holes on the
// working mesh, then uploaded and reported through the output children.
#include <algorithm>
#include <cmath>
#include <limits>

#include "mesh/sse2.h"
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
    iKeptIndexesUsed = iIndexesUsed;
    iKeptVertexesUsed = iVertexesUsed;
    values[kCollisionRadius]->SetValue(radius);
}

// Reads: pPositions of the used vertices, vCollisionPos. Writes: appends, in
// ascending order, every used vertex strictly inside the sphere of `radius`.
void Kel_Crumple::SearchVertexesInRange(float radius, std::vector<int>* list) {
    Vexa_ObjectData* o = pObjectData;
    if (!o || o->GetVertexCount() == 0 || !o->pPositions) return;
    const double r2 = static_cast<double>(radius) * radius;
    const int used = std::min(iVertexesUsed, o->GetVertexCount());
    const D3DXVECTOR3 centre = vCollisionPos;
    // Blocks of distances first, then the few vertices inside are picked out
    // in order.
    constexpr int kBlock = 64;
    float squared[kBlock];
    // s < r2 for a float s holds exactly when s is below the least float not
    // below r2, which keeps the comparison in floats.
    float limit = static_cast<float>(r2);
    if (static_cast<double>(limit) < r2) limit = std::nextafter(limit, std::numeric_limits<float>::infinity());
    for (int first = 0; first < used; first += kBlock) {
        const int n = std::min(kBlock, used - first);
        const D3DXVECTOR3* p = o->pPositions + first;
        int any = 0;
        int k = 0;
#if CRUMPLE_SSE2
        // Four vertices at a time, with the float steps of SquaredDistance in
        // the same order.
        const __m128 cx = _mm_set1_ps(centre.x), cy = _mm_set1_ps(centre.y), cz = _mm_set1_ps(centre.z);
        const __m128 bound = _mm_set1_ps(limit);
        for (; k + 4 <= n; k += 4) {
            // Four packed vertices are three loads, taken apart by axis.
            const float* f = &p[k].x;
            const __m128 a = _mm_loadu_ps(f), b = _mm_loadu_ps(f + 4), c = _mm_loadu_ps(f + 8);
            // a = x0 y0 z0 x1, b = y1 z1 x2 y2, c = z2 x3 y3 z3
            const __m128 x2y2x3y3 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(2, 1, 3, 2));
            const __m128 y0z0y1z1 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 0, 2, 1));
            const __m128 x = _mm_sub_ps(_mm_shuffle_ps(a, x2y2x3y3, _MM_SHUFFLE(2, 0, 3, 0)), cx);
            const __m128 y = _mm_sub_ps(_mm_shuffle_ps(y0z0y1z1, x2y2x3y3, _MM_SHUFFLE(3, 1, 2, 0)), cy);
            const __m128 z = _mm_sub_ps(_mm_shuffle_ps(y0z0y1z1, c, _MM_SHUFFLE(3, 0, 3, 1)), cz);
            const __m128 s = _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, x), _mm_mul_ps(y, y)), _mm_mul_ps(z, z));
            _mm_storeu_ps(squared + k, s);
            any |= _mm_movemask_ps(_mm_cmplt_ps(s, bound));
        }
#endif
        for (int j = k; j < n; ++j) squared[j] = SquaredDistance(p[j], centre);
        for (int j = k; j < n; ++j) any |= squared[j] < limit;
        if (!any) continue;
        for (int k = 0; k < n; ++k)
            if (squared[k] < limit) list->push_back(first + k);
    }
}
