// Used counts past 2^24, where the float children 22 and 23 cannot hold every
// count: the pass must keep working on the exact triangle range.
#include <gtest/gtest.h>

#include <cmath>

#include "crumple_test_peer.h"
#include "mesh_invariants.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

namespace {

// Energy 1 (masses 2 and 2 at 25e6), so the impact radius is `radius`.
void Hit(CrumpleScene& s, D3DXVECTOR3 at, float radius, int holePasses) {
    s.SetValue(kApplyHoles, holePasses > 0);
    s.SetValue(kNumberOfPasses, static_cast<float>(holePasses));
    s.SetValue(kImpactRadiusFactor, radius);
    s.SetHit(at, {0, -1, 0}, 2, 2, 25e6f);
    s.Update();
}

}  // namespace

// A grid of 16.78M indices plus one or two copied triangles, so the count is
// odd and its float rounds down: read back from the child alone it would lose
// a triangle on the first pass. Impact-point insertions then add exactly six
// indices each, holes change the count by odd amounts, and an outside edit of
// child 23 is still obeyed.
TEST(DamageUsedCounts, ExactPastTwoToTheTwentyFourIndices) {
    MeshArrays mesh = MakeGridMesh(1673, 1672, 1.0f);
    const uint32_t first[3] = {mesh.indices[0], mesh.indices[1], mesh.indices[2]};
    do {
        mesh.indices.insert(mesh.indices.end(), first, first + 3);
    } while (static_cast<double>(static_cast<float>(mesh.indices.size())) >= static_cast<double>(mesh.indices.size()));
    const int vertexes = static_cast<int>(mesh.positions.size());
    int indexes = static_cast<int>(mesh.indices.size());
    ASSERT_GT(indexes, 1 << 24);

    CrumpleScene s;
    s.SetMesh(mesh);
    mesh = MeshArrays();
    s.SetDefaultSettings();
    s.SetValue(kVertexMultiplier, 1.01f);
    s.SetValue(kIndexMultiplier, 1.01f);
    s.SetValue(kImpactFactor, 1);
    s.SetValue(kHoleThreshold, 1);
    s.Update();
    ASSERT_TRUE(MeshIsSound(*s.Object(), vertexes, indexes));
    EXPECT_EQ(s.Value(kIndexesUsed), static_cast<float>(indexes));

    Kel_CrumpleTestPeer peer(s.crumple());
    // Between vertices, so each hit inserts one vertex: +1 vertex, +6 indices.
    for (int i = 0; i < 3; ++i) {
        Hit(s, {10.0f * i, 0.0f, 0.4f + 10.0f * i}, 0.2f, 0);
        indexes += 6;
        ASSERT_EQ(peer.iVertexesUsed(), vertexes + i + 1);
        ASSERT_EQ(peer.iIndexesUsed(), indexes);
        EXPECT_EQ(s.Value(kIndexesUsed), static_cast<float>(indexes));
        ASSERT_TRUE(MeshIsSound(*s.Object(), peer.iVertexesUsed(), peer.iIndexesUsed()));
    }

    // Holes: counts of both parities, always whole triangles, child in step.
    for (int i = 0; i < 3; ++i) {
        Hit(s, {-200.0f + 37.3f * i, 0.0f, 150.0f - 11.1f * i}, 1.5f + 0.4f * i, 1 + i % 2);
        EXPECT_EQ(peer.iIndexesUsed() % 3, 0);
        EXPECT_EQ(s.Value(kIndexesUsed), static_cast<float>(peer.iIndexesUsed()));
        EXPECT_EQ(s.Value(kVertexesUsed), static_cast<float>(peer.iVertexesUsed()));
        ASSERT_TRUE(MeshIsSound(*s.Object(), peer.iVertexesUsed(), peer.iIndexesUsed()));
    }

    // A value written from outside is the host's word: read and truncated.
    const int edited = peer.iIndexesUsed() / 6 * 6 - 600;
    ASSERT_EQ(static_cast<int>(static_cast<float>(edited)), edited);
    s.SetValue(kIndexesUsed, static_cast<float>(edited));
    Hit(s, {300.0f, 0.0f, -299.6f}, 0.2f, 0);
    EXPECT_EQ(peer.iIndexesUsed(), edited + 6);
    ASSERT_TRUE(MeshIsSound(*s.Object(), peer.iVertexesUsed(), peer.iIndexesUsed()));
}
