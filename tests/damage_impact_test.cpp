// Impact set-up and the pass driver's gates: energy, object-space collision,
// normal orientation, counters, the hole gate, switches and bad energies.
#include <gtest/gtest.h>

#include <cmath>

#include "crumple_test_peer.h"
#include "damage_fixture.h"
#include "mesh_invariants.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

namespace {

// A 10x10 unit grid with working buffers made, and the channel pointed at it.
void Prepare(CrumpleScene& scene) {
    scene.SetMesh(MakeGridMesh(10, 10, 1.0f));
    scene.SetDefaultSettings();
    scene.Update();
    Kel_CrumpleTestPeer(scene.crumple()).pObjectData() = scene.Object();
}

// Masses 2 and 2 and speed 25e6 give an impulse of exactly 25e6, whose root
// over the divider is exactly 1: the energy is then the impact factor (lifted
// by a root below 1).
void UnitHit(CrumpleScene& scene, D3DXVECTOR3 position, D3DXVECTOR3 normal) {
    scene.SetHit(position, normal, 2.0f, 2.0f, 25e6f);
}

}  // namespace

TEST(DamageImpact, EnergyFromMassesSpeedAndFactor) {
    CrumpleScene scene;
    Prepare(scene);
    Kel_CrumpleTestPeer peer(scene.crumple());
    peer.fImpactFactor() = 1.0f;

    // No impact: nothing is taken over from the inputs.
    peer.vCollisionPos() = D3DXVECTOR3(7, 8, 9);
    peer.iVertexesUsed() = 5;
    scene.SetHit({1, 2, 3}, {0, 1, 0}, 0.0f, 0.0f, 10.0f);
    EXPECT_EQ(peer.Initialize(), 0.0f);
    scene.SetHit({1, 2, 3}, {0, 1, 0}, 1000.0f, 1000.0f, 0.0f);
    EXPECT_EQ(peer.Initialize(), 0.0f);
    EXPECT_EQ(peer.vCollisionPos().x, 7.0f);
    EXPECT_EQ(peer.iVertexesUsed(), 5);

    // A mass of 0 on either side is an immovable shore of 3e6.
    const double shore = std::sqrt(std::sqrt(5.0 * 3e6 * 1000.0 / (3e6 + 1000.0)) / 5000.0);
    scene.SetHit({1, 2, 3}, {0, 1, 0}, 0.0f, 1000.0f, 5.0f);
    EXPECT_NEAR(peer.Initialize(), shore, 1e-6);
    scene.SetHit({1, 2, 3}, {0, 1, 0}, 1000.0f, 0.0f, 5.0f);
    EXPECT_NEAR(peer.Initialize(), shore, 1e-6);

    // Below 1 the energy is lifted by a root; 1 and above stay.
    UnitHit(scene, {1, 2, 3}, {0, 1, 0});
    const std::pair<float, float> lifts[] = {{0.25f, 0.5f}, {1.0f, 1.0f}, {4.0f, 4.0f}, {0.0f, 0.0f}};
    for (auto [factor, energy] : lifts) {
        peer.fImpactFactor() = factor;
        EXPECT_EQ(peer.Initialize(), energy) << "factor " << factor;
    }
}

TEST(DamageImpact, CollisionMovesIntoObjectSpaceWithNormalTurnedInwards) {
    CrumpleScene scene;
    Prepare(scene);
    Kel_CrumpleTestPeer peer(scene.crumple());
    peer.fImpactFactor() = 1.0f;

    // Rows are the object's axes, the fourth its translation; the inverse
    // rotation applies to the offset from the translation.
    D3DXMATRIX m{};
    m._12 = 1.0f;
    m._21 = -1.0f;
    m._33 = 1.0f;
    m._44 = 1.0f;
    m._41 = 10.0f;
    scene.Object()->SetWorldMatrix(m);
    UnitHit(scene, {11, 2, 3}, {0, 0, -1});
    ASSERT_NE(peer.Initialize(), 0.0f);
    EXPECT_EQ(peer.vCollisionPos().x, 2.0f);
    EXPECT_EQ(peer.vCollisionPos().y, -1.0f);
    EXPECT_EQ(peer.vCollisionPos().z, 3.0f);
    // (0, 0, -1) points towards the origin side of (2, -1, 3): unchanged.
    EXPECT_EQ(peer.vCollisionNormal().z, -1.0f);

    scene.Object()->SetWorldMatrix([] {
        D3DXMATRIX id{};
        id._11 = id._22 = id._33 = id._44 = 1.0f;
        return id;
    }());
    // Pointing away from the origin: negated.
    UnitHit(scene, {0, 5, 0}, {0, 1, 0});
    ASSERT_NE(peer.Initialize(), 0.0f);
    EXPECT_EQ(peer.vCollisionNormal().y, -1.0f);
    // Exactly at a right angle: left alone.
    UnitHit(scene, {0, 5, 0}, {1, 0, 0});
    ASSERT_NE(peer.Initialize(), 0.0f);
    EXPECT_EQ(peer.vCollisionNormal().x, 1.0f);

    EXPECT_EQ(peer.CalcAngle({1, 0, 0}, {0, 2, 0}), 1.57079637f);
    EXPECT_EQ(peer.CalcAngle({1, 0, 0}, {-3, 0, 0}), 3.14159274f);
    EXPECT_TRUE(std::isnan(peer.CalcAngle({0, 0, 0}, {1, 1, 1})));
}

TEST(DamageImpact, CountersTruncatedAndHeldWithinCapacity) {
    CrumpleScene scene;
    Prepare(scene);  // capacities 242 vertices, 1800 indices
    Kel_CrumpleTestPeer peer(scene.crumple());
    peer.fImpactFactor() = 1.0f;
    UnitHit(scene, {0, 1, 0}, {0, -1, 0});
    const struct {
        float vertexes, indexes;
        int expectVertexes, expectIndexes;
    } cases[] = {{120.7f, 300.2f, 120, 300}, {1e9f, 1e9f, 242, 1800}, {-4.0f, 301.9f, 0, 300}, {NAN, -1.0f, 0, 0}};
    for (const auto& c : cases) {
        scene.SetValue(kVertexesUsed, c.vertexes);
        scene.SetValue(kIndexesUsed, c.indexes);
        ASSERT_NE(peer.Initialize(), 0.0f);
        EXPECT_EQ(peer.iVertexesUsed(), c.expectVertexes);
        EXPECT_EQ(peer.iIndexesUsed(), c.expectIndexes);
    }
}

TEST(DamagePass, HoleGateAndHolesUnderWater) {
    // Energy 1 and radius factor 2: R = 2.
    struct Case {
        float threshold, y, holesSwitch;
        bool holesAfter;
        float underWaterGrowth;
    } cases[] = {
        {2.0f, -0.5f, 1.0f, true, 2.0f},      // threshold equal to R keeps holes
        {2.001f, -0.5f, 1.0f, false, 0.0f},   // above R: no holes, nothing counted
        {2.0f, 0.0f, 1.0f, true, 0.0f},       // y exactly 0 is not under water
        {1.0f, -0.5f, 0.0f, false, 2.0f},     // counted with holes switched off
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "threshold " << c.threshold << " y " << c.y);
        CrumpleScene scene;
        Prepare(scene);
        scene.SetValue(kImpactFactor, 1.0f);
        scene.SetValue(kImpactRadiusFactor, 2.0f);
        scene.SetValue(kHoleThreshold, c.threshold);
        scene.SetValue(kApplyHoles, c.holesSwitch);
        scene.SetValue(kHolesUnderWater, 10.0f);
        UnitHit(scene, {0.3f, c.y, 0.3f}, {0, -1, 0});
        scene.Update();
        EXPECT_EQ(Kel_CrumpleTestPeer(scene.crumple()).bApplyHoles(), c.holesAfter);
        EXPECT_EQ(scene.Value(kHolesUnderWater), 10.0f + c.underWaterGrowth);
        EXPECT_EQ(scene.Value(kCollisionRadius), 2.0f);
        EXPECT_EQ(scene.Value(kCumulativeImpact), 1.0f);
    }
}

TEST(DamagePass, SwitchesAreTruncatedTowardZero) {
    for (float off : {0.9f, -0.5f}) {
        CrumpleScene scene;
        Prepare(scene);
        for (int child : {kApplyDents, kApplyAlphaDamage, kApplyHoles}) scene.SetValue(child, off);
        UnitHit(scene, {0.3f, 0, 0.3f}, {0, -1, 0});
        const MeshArrays before = scene.Object()->ToArrays();
        scene.Update();
        ASSERT_EQ(scene.host().showDebugMessage1.Messages().size(), 1u);
        EXPECT_EQ(scene.host().showDebugMessage1.Messages()[0], "Alpha & Dent & Hole = 0 -> no damage applied");
        EXPECT_EQ(scene.Value(kCumulativeImpact), 0.0f);
        EXPECT_TRUE(SameBits(scene.Object()->ToArrays(), before));
        // Without a host to tell, the pass still stops quietly.
        scene.channel()->pChannelHost = nullptr;
        scene.Update();
        EXPECT_TRUE(SameBits(scene.Object()->ToArrays(), before));
    }
    for (float on : {-1.0f, 2.0f}) {
        CrumpleScene scene;
        Prepare(scene);
        scene.SetValue(kApplyDents, on);
        UnitHit(scene, {0.3f, 0, 0.3f}, {0, -1, 0});
        const MeshArrays before = scene.Object()->ToArrays();
        scene.Update();
        EXPECT_TRUE(scene.host().showDebugMessage1.Messages().empty());
        EXPECT_FALSE(SameBits(scene.Object()->ToArrays(), before)) << "dents did not run for " << on;
    }
}

TEST(DamagePass, EnergyThatIsNotFiniteCountsAsNoImpact) {
    struct Case {
        float mass1, factor;
    } cases[] = {{-1000.0f, 1.0f}, {1000.0f, -1.0f}};
    for (const Case& c : cases) {
        CrumpleScene scene;
        Prepare(scene);
        scene.SetValue(kImpactFactor, c.factor);
        scene.SetValue(kCumulativeImpact, 3.0f);
        scene.SetHit({0.3f, -1, 0.3f}, {0, -1, 0}, c.mass1, 0.0f, 10.0f);
        const MeshArrays before = scene.Object()->ToArrays();
        const float vertexes = scene.Value(kVertexesUsed), indexes = scene.Value(kIndexesUsed);
        scene.Update();
        EXPECT_EQ(scene.Value(kCumulativeImpact), 3.0f);
        EXPECT_TRUE(SameBits(scene.Object()->ToArrays(), before));
        EXPECT_EQ(scene.Value(kVertexesUsed), vertexes);
        EXPECT_EQ(scene.Value(kIndexesUsed), indexes);
        EXPECT_EQ(scene.Value(kHolesUnderWater), 0.0f);
        EXPECT_EQ(scene.Value(kCollisionRadius), 0.0f);
    }
}
