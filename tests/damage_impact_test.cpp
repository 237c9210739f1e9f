// Impact set-up and the pass driver's gates: energy, normal orientation,
// counters, the hole gate, switches and energies that are not finite.
#include <gtest/gtest.h>

#include <cmath>

#include "damage_fixture.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

namespace {

// A 10x10 unit grid with working buffers made, the channel pointed at it.
void Prepare(CrumpleScene& scene) {
    scene.SetMesh(MakeGridMesh(10, 10, 1.0f));
    scene.SetDefaultSettings();
    scene.Update();
    Kel_CrumpleTestPeer(scene.crumple()).pObjectData() = scene.Object();
}

// Masses 2 and 2 at speed 25e6: impulse exactly 25e6, whose root over the
// divider is exactly 1, so the energy is the impact factor (lifted below 1).
void UnitHit(CrumpleScene& scene, D3DXVECTOR3 at, D3DXVECTOR3 normal) { scene.SetHit(at, normal, 2, 2, 25e6f); }

}  // namespace

TEST(DamageImpact, EnergyAndOrientation) {
    CrumpleScene scene;
    Prepare(scene);
    Kel_CrumpleTestPeer peer(scene.crumple());
    peer.fImpactFactor() = 1.0f;

    // No impact: nothing is taken over from the inputs.
    peer.vCollisionPos() = D3DXVECTOR3(7, 8, 9);
    scene.SetHit({1, 2, 3}, {0, 1, 0}, 0, 0, 10);
    EXPECT_EQ(peer.Initialize(), 0.0f);
    scene.SetHit({1, 2, 3}, {0, 1, 0}, 1000, 1000, 0);
    EXPECT_EQ(peer.Initialize(), 0.0f);
    EXPECT_EQ(peer.vCollisionPos().x, 7.0f);

    // A mass of 0 on either side is an immovable shore of 3e6.
    const double shore = std::sqrt(std::sqrt(5.0 * 3e6 * 1000.0 / (3e6 + 1000.0)) / 5000.0);
    scene.SetHit({1, 2, 3}, {0, 1, 0}, 0, 1000, 5);
    EXPECT_NEAR(peer.Initialize(), shore, 1e-6);
    scene.SetHit({1, 2, 3}, {0, 1, 0}, 1000, 0, 5);
    EXPECT_NEAR(peer.Initialize(), shore, 1e-6);

    // Below 1 the energy is lifted by a root; 1 and above stay.
    UnitHit(scene, {1, 2, 3}, {0, 1, 0});
    const std::pair<float, float> lifts[] = {{0.25f, 0.5f}, {1, 1}, {4, 4}, {0, 0}};
    for (auto [factor, energy] : lifts) {
        peer.fImpactFactor() = factor;
        EXPECT_EQ(peer.Initialize(), energy) << "factor " << factor;
    }

    // The placement's rows are the object's axes: their transpose undoes it.
    peer.fImpactFactor() = 1.0f;
    D3DXMATRIX m{};
    m._12 = m._33 = m._44 = 1.0f;
    m._21 = -1.0f;
    m._41 = 10.0f;
    scene.Object()->SetWorldMatrix(m);
    UnitHit(scene, {11, 2, 3}, {0, 0, -1});
    ASSERT_NE(peer.Initialize(), 0.0f);
    EXPECT_TRUE(peer.vCollisionPos().x == 2 && peer.vCollisionPos().y == -1 && peer.vCollisionPos().z == 3);

    // The normal is turned towards the origin; exactly at a right angle it stays.
    m = D3DXMATRIX{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    scene.Object()->SetWorldMatrix(m);
    UnitHit(scene, {0, 5, 0}, {0, 1, 0});
    ASSERT_NE(peer.Initialize(), 0.0f);
    EXPECT_EQ(peer.vCollisionNormal().y, -1.0f);
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
    const float in[][2] = {{120.7f, 300.2f}, {1e9f, 1e9f}, {-4, 301.9f}, {NAN, -1}};
    const int out[][2] = {{120, 300}, {242, 1800}, {0, 300}, {0, 0}};
    for (int i = 0; i < 4; ++i) {
        scene.SetValue(kVertexesUsed, in[i][0]);
        scene.SetValue(kIndexesUsed, in[i][1]);
        ASSERT_NE(peer.Initialize(), 0.0f);
        EXPECT_EQ(peer.iVertexesUsed(), out[i][0]);
        EXPECT_EQ(peer.iIndexesUsed(), out[i][1]);
    }
}

TEST(DamagePass, HoleGateAndHolesUnderWater) {
    // Energy 1 and radius factor 2: R = 2.
    struct {
        float threshold, y, holesSwitch;
        bool holesAfter;
        float growth;
    } cases[] = {
        {2.0f, -0.5f, 1, true, 2},     // a threshold equal to R keeps holes
        {2.001f, -0.5f, 1, false, 0},  // above R: no holes, nothing counted
        {2.0f, 0.0f, 1, true, 0},      // y exactly 0 is not under water
        {1.0f, -0.5f, 0, false, 2},    // counted with holes switched off
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "threshold " << c.threshold << " y " << c.y);
        CrumpleScene scene;
        Prepare(scene);
        scene.SetValue(kImpactFactor, 1);
        scene.SetValue(kImpactRadiusFactor, 2);
        scene.SetValue(kHoleThreshold, c.threshold);
        scene.SetValue(kApplyHoles, c.holesSwitch);
        scene.SetValue(kHolesUnderWater, 10);
        UnitHit(scene, {0.3f, c.y, 0.3f}, {0, -1, 0});
        scene.Update();
        EXPECT_EQ(Kel_CrumpleTestPeer(scene.crumple()).bApplyHoles(), c.holesAfter);
        EXPECT_EQ(scene.Value(kHolesUnderWater), 10 + c.growth);
        EXPECT_EQ(scene.Value(kCollisionRadius), 2.0f);
        EXPECT_EQ(scene.Value(kCumulativeImpact), 1.0f);
    }
}

TEST(DamagePass, SwitchesTruncatedAndBadEnergiesIgnored) {
    // Each case: dents switch, all three switches alike, mass 1, impact factor.
    struct {
        float dents;
        bool allAlike;
        float mass1, factor;
        bool damaged, message;
    } cases[] = {
        {0.9f, true, 1000, 100, false, true}, {-0.5f, true, 1000, 100, false, true},
        {-1.0f, false, 1000, 100, true, false}, {2.0f, false, 1000, 100, true, false},
        // No finite energy: 0 is added and the mesh stays as it was.
        {1.0f, false, -1000, 100, false, false}, {1.0f, false, 1000, -1, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "dents " << c.dents << " mass " << c.mass1 << " factor " << c.factor);
        CrumpleScene scene;
        Prepare(scene);
        for (int child : {kApplyDents, kApplyAlphaDamage, kApplyHoles})
            scene.SetValue(child, c.allAlike || child == kApplyDents ? c.dents : 0.0f);
        scene.SetValue(kImpactFactor, c.factor);
        scene.SetValue(kCumulativeImpact, 3);
        scene.SetHit({0.3f, 0, 0.3f}, {0, -1, 0}, c.mass1, 0, 10);
        const MeshArrays before = scene.Object()->ToArrays();
        const float vertexes = scene.Value(kVertexesUsed);
        scene.Update();
        EXPECT_EQ(!SameBits(scene.Object()->ToArrays(), before), c.damaged);
        EXPECT_EQ(scene.host().showDebugMessage1.Messages(),
                  c.message ? std::vector<std::string>{"Alpha & Dent & Hole = 0 -> no damage applied"}
                            : std::vector<std::string>{});
        if (!c.damaged) {
            EXPECT_EQ(scene.Value(kCumulativeImpact), 3.0f);
            EXPECT_EQ(scene.Value(kVertexesUsed), vertexes);
            EXPECT_EQ(scene.Value(kHolesUnderWater), 0.0f);
            EXPECT_EQ(scene.Value(kCollisionRadius), 0.0f);
        }
        // Without a host to tell, a pass with every switch off still stops quietly.
        scene.channel()->pChannelHost = nullptr;
        scene.Update();
    }
}
