#include "channel_checks.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "mesh_invariants.h"
#include "plugin/children.h"

namespace crumplefuzz {

using namespace crumple;

namespace {

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A count the update wrote (its bits changed) must be one the channel can use.
std::string WrittenCount(const char* what, float now, float before, int capacity, bool triangles) {
    if (SameBits(now, before)) return "";
    if (!(now >= 0.0f && now <= static_cast<float>(capacity) && now == std::floor(now)))
        return std::string(what) + " written as " + std::to_string(now) + " with capacity " + std::to_string(capacity);
    if (triangles && std::fmod(now, 3.0f) != 0.0f) return std::string(what) + " written as a partial triangle";
    return "";
}

}  // namespace

bool ArraysMatchCounts(Vexa_ObjectData& o) { return ArrayLengthsProblem(o).empty(); }

bool UpdateFitsCaps(Vexa_Channel& channel) {
    Vexa_ObjectData* o = ObjectChild(&channel, kObjectData);
    Vexa_Value* vertexes = ValueChild(&channel, kVertexesUsed);
    if (!o) return true;
    if (o->GetVertexCount() > kMaxVertexCapacity || o->GetIndexCount() > kMaxIndexCapacity) return false;
    Vexa_Value* vertexMultiplier = ValueChild(&channel, kVertexMultiplier);
    Vexa_Value* indexMultiplier = ValueChild(&channel, kIndexMultiplier);
    if (!vertexes || vertexes->GetValue() != 0.0f || !vertexMultiplier || !indexMultiplier) return true;
    // Buffer creation: count times multiplier, as the channel takes it; past
    // the int range it refuses by itself.
    const double vf = vertexMultiplier->GetValue(), xf = indexMultiplier->GetValue();
    if (!(vf >= 1.0 && xf >= 1.0)) return true;
    const double vertices = static_cast<double>(static_cast<float>(o->GetVertexCount())) * vf;
    const double indices = static_cast<double>(static_cast<float>(o->GetIndexCount())) * xf;
    const bool vertexHeld = o->pIndices16 != nullptr;  // 16-bit: at most 65536 vertices
    return !((!vertexHeld && vertices > kMaxVertexCapacity && vertices <= INT_MAX) ||
             (indices > kMaxIndexCapacity && indices <= INT_MAX));
}

bool ResetFitsCaps(Vexa_Channel& channel) {
    Vexa_ObjectData* original = ObjectChild(&channel, kOriginalObjectData);
    return !original ||
           (original->GetVertexCount() <= kMaxVertexCapacity && original->GetIndexCount() <= kMaxIndexCapacity);
}

bool ReadUsedCounts(Vexa_Channel& channel, UsedCounts* counts) {
    Vexa_ObjectData* o = ObjectChild(&channel, kObjectData);
    Vexa_Value* vertexes = ValueChild(&channel, kVertexesUsed);
    Vexa_Value* indexes = ValueChild(&channel, kIndexesUsed);
    if (!o || !vertexes || !indexes) return false;
    auto held = [](float value, int capacity) {
        const int count = TruncateToInt(value);
        return count < 0 ? 0 : count > capacity ? capacity : count;
    };
    counts->working = vertexes->GetValue() != 0.0f;
    counts->vertices = held(vertexes->GetValue(), o->GetVertexCount());
    counts->indices = held(indexes->GetValue(), o->GetIndexCount());
    counts->indices -= counts->indices % 3;
    return true;
}

StateBefore TakeStateBefore(Vexa_Channel& channel) {
    StateBefore state;
    UsedCounts counts;
    if (!ReadUsedCounts(channel, &counts)) return state;
    Vexa_ObjectData& o = *ObjectChild(&channel, kObjectData);
    state.present = true;
    state.vertexCount = o.GetVertexCount();
    state.indexCount = o.GetIndexCount();
    state.vertexesChild = ValueChild(&channel, kVertexesUsed)->GetValue();
    state.indexesChild = ValueChild(&channel, kIndexesUsed)->GetValue();
    state.arraysSound = ArraysMatchCounts(o);
    state.finite = NonFiniteProblem(o, INT_MAX).empty();
    if (!state.arraysSound) return state;
    const int vertices = counts.working ? counts.vertices : o.GetVertexCount();
    const int indices = counts.working ? counts.indices : o.GetIndexCount();
    state.indicesSound = state.indicesInCapacity = true;
    for (int p = 0; p < o.GetIndexCount(); ++p) {
        const int index = o.GetIndex(p);
        if (p < indices && !(index >= 0 && index < vertices)) state.indicesSound = false;
        if (!(index >= 0 && index < o.GetVertexCount())) state.indicesInCapacity = false;
    }
    return state;
}

std::string CheckAfterUpdate(Vexa_Channel& channel, const StateBefore& before) {
    UsedCounts counts;
    if (!before.present || !ReadUsedCounts(channel, &counts)) return "";
    Vexa_ObjectData& o = *ObjectChild(&channel, kObjectData);
    const int vc = o.GetVertexCount(), ic = o.GetIndexCount();
    const float vertexes = ValueChild(&channel, kVertexesUsed)->GetValue();
    const float indexes = ValueChild(&channel, kIndexesUsed)->GetValue();
    if (before.vertexesChild == 0.0f) {
        // Buffer creation reports the mesh it was given, whole or not.
        if (!SameBits(vertexes, before.vertexesChild) && vertexes != static_cast<float>(before.vertexCount))
            return "buffer creation wrote child 22 = " + std::to_string(vertexes) + " for " +
                   std::to_string(before.vertexCount) + " vertices";
        if (!SameBits(indexes, before.indexesChild) && indexes != static_cast<float>(before.indexCount))
            return "buffer creation wrote child 23 = " + std::to_string(indexes) + " for " +
                   std::to_string(before.indexCount) + " indices";
    } else {
        std::string problem = WrittenCount("child 22", vertexes, before.vertexesChild, vc, false);
        if (problem.empty()) problem = WrittenCount("child 23", indexes, before.indexesChild, ic, true);
        if (!problem.empty()) return problem;
    }
    // A mesh the host gave broken or non-finite promises nothing more than
    // the sanitizers check.
    if (!before.arraysSound || !before.finite) return "";

    if (!before.indicesSound && !before.indicesInCapacity) return "";
    const int used = counts.working ? counts.vertices : vc;
    const int indices = counts.working ? counts.indices : ic - ic % 3;
    const std::string problem = MeshProblem(o, before.indicesSound ? used : vc, indices);
    if (!problem.empty()) return problem;

    if (o.CurrentVertexBuffer() && o.CurrentIndexBuffer() && o.pColors && o.pTexCoords1 && used > 0) {
        std::vector<int> list(static_cast<size_t>(used));
        std::iota(list.begin(), list.end(), 0);
        return RenderBuffersProblem(o, list);
    }
    return "";
}

}  // namespace crumplefuzz
