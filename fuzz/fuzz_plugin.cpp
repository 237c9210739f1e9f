// The plug-in through the host's loader: a mesh, settings and a collision
// from the input, then updates mixed with resets, render buffer drops and
// re-creation and outside writes of the used counts and settings. The mesh
// must stay sound after every step.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "channel_checks.h"
#include "mesh_invariants.h"
#include "plugin/children.h"
#include "plugin_input.h"
#include "test_scene.h"

namespace {

using namespace crumple;
using namespace crumplefuzz;

// CRUMPLE_FUZZ_TRACE set: one line per step on standard error, for reading
// what a reproducer does.
const bool kTrace = std::getenv("CRUMPLE_FUZZ_TRACE") != nullptr;

void Trace(CrumpleScene& scene, const std::string& step, const char* what) {
    if (!kTrace) return;
    std::fprintf(stderr, "%s %s: used %g/%d vertices %g/%d indices, impact %g, radius %g, buffers %s\n",
                 step.c_str(), what, scene.Value(kVertexesUsed), scene.Object()->GetVertexCount(),
                 scene.Value(kIndexesUsed), scene.Object()->GetIndexCount(), scene.Value(kCumulativeImpact),
                 scene.Value(kCollisionRadius), scene.Object()->CurrentVertexBuffer() ? "yes" : "no");
    for (ShowDebugMessage* messages : {&scene.host().showDebugMessage1, &scene.host().showDebugMessage2}) {
        for (const std::string& text : messages->Messages()) std::fprintf(stderr, "  message: %s\n", text.c_str());
        messages->Clear();
    }
}

const char* const kOpNames[] = {"update", "ClearDamage", "release buffers", "create buffers", "set child", "move hit"};

[[noreturn]] void Finding(const std::string& step, const std::string& what) {
    std::fprintf(stderr, "fuzz_plugin: after %s: %s\n", step.c_str(), what.c_str());
    std::abort();
}

// ClearDamage puts child 28's mesh back into child 2 and remakes both render
// buffers from it.
void CheckCleared(CrumpleScene& scene, const std::string& step) {
    Vexa_ObjectData& o = *scene.Object();
    const MeshArrays now = o.ToArrays(), original = scene.Original()->ToArrays();
    if (now.positions.size() != original.positions.size() ||
        std::memcmp(now.positions.data(), original.positions.data(), now.positions.size() * sizeof(D3DXVECTOR3)) != 0 ||
        now.indices != original.indices)
        Finding(step, "the mesh is not the undamaged one");
    if (scene.Value(kVertexesUsed) != 0.0f) Finding(step, "child 22 is not 0");
    const ::testing::AssertionResult sound = MeshIsSound(o, o.GetVertexCount(), o.GetIndexCount());
    if (!sound) Finding(step, sound.message());
    std::vector<int> all(static_cast<size_t>(o.GetVertexCount()));
    std::iota(all.begin(), all.end(), 0);
    const ::testing::AssertionResult match = RenderBuffersMatch(o, all);
    if (!match) Finding(step, match.message());
}

}  // namespace

// Reads: the input (see plugin_input.h). Aborts with the step and the broken
// invariant when one fails.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const PluginInput input = DecodePluginInput(data, size);
    CrumpleScene scene;
    scene.SetMesh(input.mesh);
    if (input.bareOriginal) {
        MeshArrays bare = input.mesh;
        bare.colors.clear();
        bare.texCoords1.clear();
        bare.texCoords2.clear();
        scene.channel()->SetChild(kOriginalObjectData, Vexa_ObjectData::FromArrays(bare));
    }
    scene.Object()->SetWorldMatrix(input.placement);
    scene.Original()->SetWorldMatrix(input.placement);
    for (int i = 0; i < 16; ++i) scene.SetValue(kApplyDents + i, input.settings[i]);
    scene.SetHit(input.position, input.normal, input.mass1, input.mass2, input.speed);
    if (kTrace) {
        std::fprintf(stderr, "mesh: %zu vertices, %zu triangles, %s indices; settings:", input.mesh.positions.size(),
                     input.mesh.indices.size() / 3, input.mesh.indices16 ? "16-bit" : "32-bit");
        for (float value : input.settings) std::fprintf(stderr, " %g", value);
        std::fprintf(stderr, "\nhit at (%g, %g, %g) normal (%g, %g, %g) masses %g %g speed %g\n", input.position.x,
                     input.position.y, input.position.z, input.normal.x, input.normal.y, input.normal.z, input.mass1,
                     input.mass2, input.speed);
    }

    for (size_t k = 0; k < input.ops.size(); ++k) {
        const PluginOp& op = input.ops[k];
        const std::string step = "step " + std::to_string(k);
        switch (op.kind) {
            case PluginOp::kUpdate: {
                if (!UpdateFitsCaps(*scene.channel())) break;
                const StateBefore before = TakeStateBefore(*scene.channel());
                scene.Update();
                const std::string problem = CheckAfterUpdate(*scene.channel(), before);
                if (!problem.empty()) Finding(step + " (update)", problem);
                break;
            }
            case PluginOp::kClearDamage:
                scene.crumple().ClearDamage();
                CheckCleared(scene, step + " (ClearDamage)");
                break;
            case PluginOp::kReleaseBuffers: scene.Object()->ReleaseBuffers(); break;
            case PluginOp::kCreateBuffers: scene.Object()->CreateBuffers(); break;
            case PluginOp::kSetChild: scene.SetValue(op.child, op.value); break;
            case PluginOp::kMoveHit:
                scene.SetVector(kCollisionPosition, op.position);
                scene.SetVector(kCollisionNormal, op.normal);
                break;
        }
        if (kTrace && op.kind == PluginOp::kSetChild)
            std::fprintf(stderr, "%s: child %d = %g\n", step.c_str(), op.child, op.value);
        Trace(scene, step, kOpNames[op.kind]);
    }
    return 0;
}
