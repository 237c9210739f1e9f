// A hit between vertices: the triangle under the impact point is split around
// a new vertex there, when the buffers have room.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "damage_fixture.h"
#include "mesh_invariants.h"
#include "support/literal_oracles.h"
#include "test_scene.h"

TEST(DamageImpactPoint, CentroidHitSplitsTheTriangleInThree) {
    auto d = DirectChannel::Padded(MakeGridMesh(2, 2, 1.0f), 4, 12);
    Vexa_ObjectData& o = d->o();
    Kel_CrumpleTestPeer& peer = d->peer;
    o.pColors[0] = 0xFF0000FFu;
    o.pColors[3] = 0xFF0000FFu;
    o.pColors[1] = 0;
    // Triangle 0 is (0, 3, 1); its centroid, as the fan code would place it.
    const D3DXVECTOR3 a = o.pPositions[0], b = o.pPositions[3], c = o.pPositions[1];
    const float third = 0.333333343f;
    peer.vCollisionPos() = D3DXVECTOR3(((a.x + b.x) + c.x) * third, 0.0f, ((a.z + b.z) + c.z) * third);

    ASSERT_TRUE(peer.AddVertex());
    EXPECT_EQ(peer.iVertexesUsed(), 10);
    EXPECT_EQ(peer.iIndexesUsed(), 30);
    const int expected[] = {0, 3, 9, 1, 0, 9, 3, 1, 9};
    for (int j = 0; j < 3; ++j) EXPECT_EQ(o.GetIndex(j), expected[j]);
    for (int j = 0; j < 6; ++j) EXPECT_EQ(o.GetIndex(24 + j), expected[3 + j]);
    EXPECT_EQ(o.GetIndex(30), 1);  // spare room untouched
    EXPECT_EQ(o.pPositions[9].x, peer.vCollisionPos().x);
    EXPECT_EQ(o.pNormals[9].y, 1.0f);
    // Set 1 is weighted by inverse distance, sets 0 and 2 are plain means.
    double weighted = 0.0, total = 0.0;
    for (int v : {0, 3, 1}) {
        const double w = 1.0 / std::hypot(o.pPositions[v].x - o.pPositions[9].x, o.pPositions[v].z - o.pPositions[9].z);
        weighted += w * o.pTexCoords1[v].x;
        total += w;
    }
    EXPECT_NEAR(o.pTexCoords1[9].x, weighted / total, 1e-6);
    EXPECT_NEAR(o.pTexCoords0[9].y, (o.pTexCoords0[0].y + o.pTexCoords0[3].y + o.pTexCoords0[1].y) / 3, 1e-6f);
    EXPECT_EQ(o.pColors[9], 0xAA0000AAu);
    EXPECT_TRUE(MeshIsSound(o, peer.iVertexesUsed(), peer.iIndexesUsed()));

    // Far above the grid no triangle's angle sum comes near 2*pi.
    peer.vCollisionPos() = D3DXVECTOR3(0.1f, 50.0f, 0.1f);
    EXPECT_FALSE(peer.AddVertex());
}

TEST(DamageImpactPoint, RefusedWithoutRoom) {
    const MeshArrays grid = MakeGridMesh(2, 2, 1.0f);  // 9 vertices, 24 indices
    const D3DXVECTOR3 inside(-0.6f, 0.0f, -0.7f);
    struct Case {
        int spareVertexes, spareIndexes;
        bool inserted;
    } cases[] = {{1, 7, true}, {1, 6, false}, {0, 12, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.spareVertexes << " spare vertices, " << c.spareIndexes << " spare indices");
        auto d = DirectChannel::Padded(grid, c.spareVertexes, c.spareIndexes);
        d->peer.vCollisionPos() = inside;
        const MeshArrays before = d->o().ToArrays();
        EXPECT_EQ(d->peer.AddVertex(), c.inserted);
        if (!c.inserted) {
            EXPECT_TRUE(SameBits(d->o().ToArrays(), before));
        }
    }

    // A 16-bit index array cannot name vertex 65536.
    MeshArrays wide;
    wide.indices16 = true;
    wide.positions.assign(65540, D3DXVECTOR3(0, 0, 0));
    wide.positions[1] = D3DXVECTOR3(1, 0, 0);
    wide.positions[2] = D3DXVECTOR3(0, 0, 1);
    wide.normals.assign(65540, D3DXVECTOR3(0, 1, 0));
    wide.texCoords0.assign(65540, D3DXVECTOR2(0, 0));
    wide.texCoords1 = wide.texCoords0;
    wide.colors.assign(65540, 0xFF000000u);
    wide.indices = {0, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (int used : {65536, 65535}) {
        DirectChannel d(wide, used, 3);
        d.peer.vCollisionPos() = D3DXVECTOR3(0.25f, 0.0f, 0.25f);
        EXPECT_EQ(d.peer.AddVertex(), used == 65535);
        EXPECT_EQ(d.o().GetIndex(2), used == 65535 ? 65535 : 2);
    }
}

TEST(DamageImpactPoint, TiesTakeTheEarlierTriangle) {
    MeshArrays mesh = MakeGridMesh(1, 1, 2.0f);  // triangles (0, 2, 1) and (1, 2, 3)
    mesh.indices.insert(mesh.indices.end(), {0, 2, 1});  // triangle 2 repeats triangle 0
    auto d = DirectChannel::Padded(mesh, 1, 12);
    d->peer.vCollisionPos() = D3DXVECTOR3(-0.5f, 0.0f, -0.4f);
    ASSERT_TRUE(d->peer.AddVertex());
    EXPECT_EQ(d->o().GetIndex(2), 4);
    EXPECT_EQ(d->o().GetIndex(8), 1);
}

// The far-triangle shortcut picks the same triangle as measuring every one.
TEST(DamageImpactPoint, SameChoiceAsMeasuringEveryTriangle) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> coord(-4.0f, 4.0f), unit(0.0f, 1.0f);
    int inserted = 0;
    for (int round = 0; round < 300; ++round) {
        const int vertexes = 20 + static_cast<int>(rng() % 200), triangles = 1 + static_cast<int>(rng() % 150);
        MeshArrays mesh;
        for (int v = 0; v < vertexes; ++v) {
            // Half the mesh in one plane, so hits can land exactly in it.
            const float y = rng() % 2 ? 0.0f : coord(rng);
            mesh.positions.push_back({coord(rng), y, coord(rng)});
            mesh.normals.push_back({0, 1, 0});
            mesh.texCoords0.push_back({unit(rng), unit(rng)});
            mesh.texCoords1.push_back({unit(rng), unit(rng)});
            mesh.colors.push_back(static_cast<uint32_t>(rng()));
        }
        for (int t = 0; t < 3 * triangles; ++t) mesh.indices.push_back(rng() % static_cast<uint32_t>(vertexes));
        DirectChannel fast(WithSpareRoom(mesh, 2, 8), vertexes, 3 * triangles);
        DirectChannel literal(WithSpareRoom(mesh, 2, 8), vertexes, 3 * triangles);

        // A point in a random triangle, sometimes lifted off it, or anywhere.
        const int t = static_cast<int>(rng() % static_cast<uint32_t>(triangles));
        const D3DXVECTOR3 p0 = mesh.positions[mesh.indices[3 * t]], p1 = mesh.positions[mesh.indices[3 * t + 1]],
                          p2 = mesh.positions[mesh.indices[3 * t + 2]];
        float u = unit(rng), w = unit(rng);
        if (u + w > 1.0f) u = 1.0f - u, w = 1.0f - w;
        D3DXVECTOR3 h(p0.x + u * (p1.x - p0.x) + w * (p2.x - p0.x), p0.y + u * (p1.y - p0.y) + w * (p2.y - p0.y),
                      p0.z + u * (p1.z - p0.z) + w * (p2.z - p0.z));
        if (round % 3 == 1) h.y += 0.05f * coord(rng);
        if (round % 7 == 3) h = D3DXVECTOR3(coord(rng), coord(rng), coord(rng));
        fast.peer.vCollisionPos() = h;
        literal.peer.vCollisionPos() = h;

        const int expected = LiteralContainingTriangle(literal.peer, literal.o(), 3 * triangles, h);
        ASSERT_EQ(fast.peer.AddVertex(), expected >= 0) << "round " << round;
        if (expected < 0) continue;
        ++inserted;
        EXPECT_EQ(fast.o().GetIndex(3 * expected + 2), vertexes) << "round " << round;
        EXPECT_TRUE(MeshIsSound(fast.o(), fast.peer.iVertexesUsed(), fast.peer.iIndexesUsed()));
    }
    EXPECT_GT(inserted, 100);
}
