// Whole hits through the loaded plug-in on a generated grid: the mesh stays
// sound, the render buffers follow it, and undoing the damage starts over.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "damage_fixture.h"
#include "mesh_invariants.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

namespace {

// A 30x30 grid, holes (and alpha marks) switched on, energy 1 and impact
// radius 3 for a hit at `at`.
void HoleHitScene(CrumpleScene& scene, bool indices16, int passes, D3DXVECTOR3 at) {
    scene.SetMesh(MakeGridMesh(30, 30, 1.0f, indices16, indices16));
    scene.SetDefaultSettings();
    scene.SetValue(kApplyDents, 0);
    scene.SetValue(kApplyAlphaDamage, 1);
    scene.SetValue(kApplyHoles, 1);
    scene.SetValue(kNumberOfPasses, static_cast<float>(passes));
    scene.SetValue(kImpactFactor, 1.0f);
    scene.SetValue(kImpactRadiusFactor, 3.0f);
    scene.SetValue(kHoleThreshold, 1.0f);
    scene.SetValue(kMinRedValue, 1.0f);
    scene.SetValue(kVertexMultiplier, 3.0f);
    scene.SetValue(kIndexMultiplier, 6.0f);
    scene.SetHit(at, {0, -1, 0}, 2.0f, 2.0f, 25e6f);
}

std::vector<int> AllUsed(CrumpleScene& scene) {
    std::vector<int> used(static_cast<size_t>(scene.Value(kVertexesUsed)));
    std::iota(used.begin(), used.end(), 0);
    return used;
}

}  // namespace

TEST(DamageEndToEnd, HoleHitsLeaveASoundMeshWithMatchingRenderBuffers) {
    for (bool indices16 : {false, true}) {
        for (int passes : {1, 2}) {
            SCOPED_TRACE(testing::Message() << (indices16 ? "16-bit, " : "32-bit, ") << passes << " passes");
            CrumpleScene scene;
            HoleHitScene(scene, indices16, passes, {0.3f, 0.0f, 0.2f});
            scene.Update();  // working buffers
            const float indexesBefore = scene.Value(kIndexesUsed);
            scene.Update();  // the hit
            Vexa_ObjectData& o = *scene.Object();
            const int vertexes = static_cast<int>(scene.Value(kVertexesUsed));
            const int indexes = static_cast<int>(scene.Value(kIndexesUsed));
            EXPECT_GT(vertexes, 961);
            EXPECT_NE(static_cast<float>(indexes), indexesBefore);
            EXPECT_EQ(scene.Value(kCollisionRadius), 3.0f);
            EXPECT_TRUE(MeshIsSound(o, vertexes, indexes));
            EXPECT_TRUE(RenderBuffersMatch(o, AllUsed(scene)));

            // No remaining triangle has its centre strictly inside the sphere.
            EXPECT_TRUE(NoCentreInside(o, indexes, scene.Vector(kNewCollisionPosition), 3.0f));

            // A second hit elsewhere keeps everything sound.
            scene.SetHit({-5.5f, 0.0f, 4.1f}, {0, 1, 0}, 2.0f, 2.0f, 25e6f);
            scene.Update();
            EXPECT_TRUE(MeshIsSound(o, static_cast<int>(scene.Value(kVertexesUsed)),
                                    static_cast<int>(scene.Value(kIndexesUsed))));
            EXPECT_TRUE(RenderBuffersMatch(o, AllUsed(scene)));
        }
    }
}

TEST(DamageEndToEnd, ClearDamageThenTwoUpdatesMatchAFreshChannel) {
    CrumpleScene damaged, fresh;
    for (CrumpleScene* scene : {&damaged, &fresh}) {
        HoleHitScene(*scene, false, 2, {1.3f, 0.0f, -2.2f});
        scene->SetValue(kApplyDents, 1);
        scene->Update();
        scene->Update();
    }
    // Another hit on the damaged one, then undo everything.
    damaged.SetHit({-4.0f, 0.0f, 3.0f}, {0, 1, 0}, 2.0f, 2.0f, 25e6f);
    damaged.Update();
    damaged.crumple().ClearDamage();
    damaged.SetHit({1.3f, 0.0f, -2.2f}, {0, -1, 0}, 2.0f, 2.0f, 25e6f);
    damaged.Update();
    damaged.Update();

    EXPECT_TRUE(SameBits(damaged.Object()->ToArrays(), fresh.Object()->ToArrays()));
    for (int child : {kVertexesUsed, kIndexesUsed, kCumulativeImpact, kHolesUnderWater, kCollisionRadius})
        EXPECT_EQ(damaged.Value(child), fresh.Value(child)) << "child " << child;
    EXPECT_TRUE(RenderBuffersMatch(*damaged.Object(), AllUsed(damaged)));
}
