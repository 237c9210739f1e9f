// Hole damage: which triangles go, which are replaced by their centroid fan,
// how passes refine the rim, and how a pass is committed to the buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "damage/hole_pass.h"
#include "damage_fixture.h"
#include "mesh_invariants.h"
#include "support/literal_oracles.h"
#include "test_scene.h"

namespace {

// A channel over `mesh` (colours red 0) with room to grow, holes from every
// vertex with red below 1, the impact at `centre`.
std::unique_ptr<DirectChannel> HoleSetup(const MeshArrays& mesh, D3DXVECTOR3 centre, int passes) {
    auto d = DirectChannel::Padded(mesh, 2000, 6000);
    d->peer.vCollisionPos() = centre;
    d->peer.iNumberOfPasses() = passes;
    d->peer.iMinRedValue() = 1;
    d->peer.fMinTriangleSize() = 0.0f;
    return d;
}

MeshArrays Triangles(const std::vector<D3DXVECTOR3>& positions, const std::vector<uint32_t>& indices) {
    MeshArrays mesh;
    mesh.positions = positions;
    mesh.normals.assign(positions.size(), D3DXVECTOR3(0, 1, 0));
    mesh.texCoords0.assign(positions.size(), D3DXVECTOR2(0, 0));
    mesh.texCoords1.assign(positions.size(), D3DXVECTOR2(0, 0));
    mesh.colors.assign(positions.size(), 0xFF000000u);
    mesh.indices = indices;
    return mesh;
}

std::vector<int> InRange(DirectChannel& d, float radius) {
    std::vector<int> list;
    d.peer.SearchVertexesInRange(radius, &list);
    return list;
}

}  // namespace

TEST(DamageHole, OnePassCutsTheRimOnceTwoPassesRefineIt) {
    int verticesAdded[3] = {0, 0, 0};
    for (int passes : {0, 1, 2}) {
        SCOPED_TRACE(testing::Message() << passes << " passes");
        auto d = HoleSetup(MakeGridMesh(8, 8, 1.0f, false, false, 0xFF000000u), {0.3f, 0, 0.2f}, passes);
        std::vector<int> list = InRange(*d, 2.5f);
        const size_t listed = list.size();
        d->peer.ApplyHoleDamage(2.5f, &list);
        verticesAdded[passes] = d->peer.iVertexesUsed() - 81;
        EXPECT_TRUE(MeshIsSound(d->o(), d->peer.iVertexesUsed(), d->peer.iIndexesUsed()));
        // The vertex list gains exactly the vertices the passes committed.
        ASSERT_EQ(list.size(), listed + static_cast<size_t>(verticesAdded[passes]));
        for (size_t k = listed; k < list.size(); ++k) EXPECT_EQ(list[k], 81 + static_cast<int>(k - listed));
        if (passes > 0) {
            EXPECT_TRUE(NoCentreInside(d->o(), d->peer.iIndexesUsed(), {0.3f, 0, 0.2f}, 2.5f));
        }
    }
    EXPECT_EQ(verticesAdded[0], 0);
    EXPECT_GT(verticesAdded[1], 0);
    EXPECT_GT(verticesAdded[2], verticesAdded[1]);
}

TEST(DamageHole, NeighboursInOnePassShareTheMidpointOfTheirEdge) {
    // Two triangles on the diagonal (1, 2); the hit at vertex 1 leaves the
    // diagonal's midpoint (0, 0, 0) inside, so both split that edge.
    auto d = HoleSetup(Triangles({{-1, 0, -1}, {1, 0, -1}, {-1, 0, 1}, {1, 0, 1}}, {0, 2, 1, 1, 2, 3}),
                       {1, 0, -1}, 1);
    std::vector<int> list = {1};
    d->peer.ApplyHoleDamage(1.5f, &list);
    Vexa_ObjectData& o = d->o();
    int atMidpoint = -1, copies = 0;
    for (int v = 0; v < d->peer.iVertexesUsed(); ++v)
        if (o.pPositions[v].x == 0 && o.pPositions[v].y == 0 && o.pPositions[v].z == 0) {
            atMidpoint = v;
            ++copies;
        }
    ASSERT_EQ(copies, 1);
    // Pieces of both fans use it: the diagonal x + z = 0 parts the two.
    bool inFirst = false, inSecond = false;
    for (int t = 0; t < d->peer.iIndexesUsed(); t += 3) {
        bool uses = false;
        D3DXVECTOR3 g(0, 0, 0);
        for (int j = 0; j < 3; ++j) {
            uses |= o.GetIndex(t + j) == atMidpoint;
            const D3DXVECTOR3 p = o.pPositions[o.GetIndex(t + j)];
            g = D3DXVECTOR3(g.x + p.x, g.y + p.y, g.z + p.z);
        }
        if (uses && g.x + g.z < 0) inFirst = true;
        if (uses && g.x + g.z > 0) inSecond = true;
    }
    EXPECT_TRUE(inFirst);
    EXPECT_TRUE(inSecond);
}

TEST(DamageHole, SmallTrianglesAndRedVertexesAreLeftOrRemovedWhole) {
    // Perimeter exactly 3 + 4 + 5; the hit at corner 0 straddles the sphere.
    const MeshArrays right = Triangles({{0, 0, 0}, {3, 0, 0}, {0, 0, 4}}, {0, 1, 2});
    for (float minimum : {12.0f, std::nextafter(12.0f, 13.0f)}) {
        auto d = HoleSetup(right, {0, 0, 0}, 1);
        d->peer.fMinTriangleSize() = minimum;
        std::vector<int> list = {0};
        d->peer.ApplyHoleDamage(1.0f, &list);
        if (minimum == 12.0f) {
            EXPECT_GT(d->peer.iVertexesUsed(), 3);  // replaced by its fan
            EXPECT_GT(d->peer.iIndexesUsed(), 3);
        } else {
            EXPECT_EQ(d->peer.iVertexesUsed(), 3);  // removed, nothing added
            EXPECT_EQ(d->peer.iIndexesUsed(), 0);
            EXPECT_EQ(d->o().GetIndex(0), 0);
            EXPECT_EQ(d->o().GetIndex(2), 0);
            EXPECT_EQ(d->o().GetIndex(3), 1);  // spare room beyond the old count
        }
    }

    // Only vertices whose red byte is below the limit can be holed.
    struct Case {
        uint32_t color;
        int limit;
        bool holed;
    } cases[] = {{0xFF400000u, 0x40, false}, {0xFF3F0000u, 0x40, true}, {0xFF000000u, 0, false},
                 {0xFFFF0000u, -1, true},    {0xFFFF0000u, 256, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.color << " limit " << c.limit);
        MeshArrays mesh = right;
        mesh.colors[0] = c.color;
        auto d = HoleSetup(mesh, {0, 0, 0}, 1);
        d->peer.iMinRedValue() = c.limit;
        std::vector<int> list = {0};
        d->peer.ApplyHoleDamage(1.0f, &list);
        EXPECT_EQ(d->peer.iIndexesUsed() != 3, c.holed);
    }
}

TEST(DamageHole, CommitDropsRenumbersAndClosesGaps) {
    // Five triangles in use, the first, the middle and the last found; new
    // vertices b, b + 1, b + 2, of which b + 1 is used by no triangle.
    const std::vector<uint32_t> indices = {0, 1, 2, 1, 2, 3, 2, 3, 4, 3, 4, 5, 4, 5, 0, 1, 1, 1};
    const struct {
        int capacity, used;
        bool indices16, committed;
    } cases[] = {
        {8, 6, false, true},          // exactly room for the two kept vertices
        {7, 6, false, false},         // one vertex too many
        {65540, 65534, true, true},   // 16-bit: numbers up to 65535
        {65540, 65535, true, false},  // 16-bit: 65536 would wrap
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.capacity << " vertex slots, " << c.used << " used");
        MeshArrays mesh = Triangles(std::vector<D3DXVECTOR3>(static_cast<size_t>(c.capacity)), indices);
        mesh.indices16 = c.indices16;
        DirectChannel d(mesh, c.used, 15);
        const uint32_t b = static_cast<uint32_t>(c.used);
        Kel_CrumpleTestPeer::HolePass pass;
        pass.triangles = {0, 6, 12};
        pass.newPositions = {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
        pass.newNormals = {{0, 1, 0}, {0, 1, 0}, {0, 0, 1}};
        pass.newTexCoords0 = pass.newTexCoords1 = {{0, 0}, {0, 0}, {0.5f, 0.5f}};
        pass.newColors = {1, 2, 3};
        pass.newIndexes = {0, b, b + 2, b + 2, 1, 2, 0, 1, 2};
        std::vector<int> list = {4};
        const MeshArrays before = d.o().ToArrays();
        ASSERT_EQ(d.peer.CommitHolePass(pass, &list), c.committed);
        if (!c.committed) {
            EXPECT_TRUE(SameBits(d.o().ToArrays(), before));
            EXPECT_EQ(list, std::vector<int>{4});
            EXPECT_EQ(d.peer.iVertexesUsed(), c.used);
            EXPECT_EQ(d.peer.iIndexesUsed(), 15);
            continue;
        }
        Vexa_ObjectData& o = d.o();
        EXPECT_EQ(d.peer.iVertexesUsed(), c.used + 2);
        EXPECT_EQ(d.peer.iIndexesUsed(), 15);
        EXPECT_EQ(list, (std::vector<int>{4, c.used, c.used + 1}));
        // The third new vertex moved down one, with every attribute.
        EXPECT_EQ(o.pPositions[b + 1].x, 3.0f);
        EXPECT_EQ(o.pNormals[b + 1].z, 1.0f);
        EXPECT_EQ(o.pColors[b + 1], 3u);
        EXPECT_EQ(o.pTexCoords1[b + 1].x, 0.5f);
        EXPECT_EQ(o.ToArrays().indices,
                  (std::vector<uint32_t>{1, 2, 3, 3, 4, 5, 0, b, b + 1, b + 1, 1, 2, 0, 1, 2, 1, 1, 1}));
    }

    // A last pass that keeps nothing: counts fall, the freed tail reads 0.
    DirectChannel d(Triangles(std::vector<D3DXVECTOR3>(8), indices), 6, 15);
    Kel_CrumpleTestPeer::HolePass pass;
    pass.triangles = {3, 9};
    pass.newPositions = {{1, 0, 0}};
    pass.newNormals = {{0, 1, 0}};
    pass.newTexCoords0 = pass.newTexCoords1 = {{0, 0}};
    pass.newColors = {1};
    std::vector<int> list;
    ASSERT_TRUE(d.peer.CommitHolePass(pass, &list));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(d.peer.iVertexesUsed(), 6);
    EXPECT_EQ(d.peer.iIndexesUsed(), 9);
    EXPECT_EQ(d.o().ToArrays().indices,
              (std::vector<uint32_t>{0, 1, 2, 2, 3, 4, 4, 5, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1}));
}

// The hashed midpoint search, the used-flag commit and the fast triangle
// search give the same meshes as the literal hole damage.
TEST(DamageHole, SameMeshesAsTheLiteralHoleDamage) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int holed = 0;
    for (int round = 0; round < 250; ++round) {
        const int nx = 2 + static_cast<int>(rng() % 12), nz = 2 + static_cast<int>(rng() % 12);
        MeshArrays mesh = MakeGridMesh(nx, nz, 1.0f, rng() % 2 == 0, rng() % 2 == 0, 0xFF000000u);
        for (size_t v = 0; v < mesh.positions.size(); ++v) {
            // Flat with signed zeros, or jittered; red from 0 to 255.
            if (round % 2) mesh.positions[v].y = rng() % 2 ? -0.0f : 0.0f;
            else mesh.positions[v].y = 0.2f * (unit(rng) - 0.5f);
            mesh.colors[v] |= (rng() % 256) << 16;
        }
        // Seams: some vertices get a twin at the same place (a zero y of the
        // other sign), which some triangles use instead.
        const size_t original = mesh.positions.size();
        std::vector<uint32_t> twin(original, 0);
        for (size_t v = 0; v < original; ++v) {
            if (rng() % 6 != 0) continue;
            twin[v] = static_cast<uint32_t>(mesh.positions.size());
            D3DXVECTOR3 p = mesh.positions[v];
            if (p.y == 0.0f) p.y = std::signbit(p.y) ? 0.0f : -0.0f;
            mesh.positions.push_back(p);
            mesh.normals.push_back(mesh.normals[v]);
            mesh.texCoords0.push_back({unit(rng), unit(rng)});
            mesh.texCoords1.push_back(mesh.texCoords1[v]);
            if (!mesh.texCoords2.empty()) mesh.texCoords2.push_back(mesh.texCoords2[v]);
            mesh.colors.push_back(mesh.colors[v]);
        }
        // Triangles in random order, some with turned winding, some on seams,
        // a few collapsed onto an edge.
        std::vector<std::array<uint32_t, 3>> tris;
        for (size_t p = 0; p < mesh.indices.size(); p += 3)
            tris.push_back({mesh.indices[p], mesh.indices[p + 1], mesh.indices[p + 2]});
        std::shuffle(tris.begin(), tris.end(), rng);
        mesh.indices.clear();
        for (auto& t : tris) {
            if (rng() % 4 == 0) std::rotate(t.begin(), t.begin() + 1, t.end());
            for (uint32_t& v : t)
                if (twin[v] && rng() % 2) v = twin[v];
            if (rng() % 12 == 0) {
                const size_t from = rng() % 3, to = (from + 1 + rng() % 2) % 3;
                const uint32_t base = t[from] < original ? t[from] : static_cast<uint32_t>(
                    std::find(twin.begin(), twin.end(), t[from]) - twin.begin());
                t[to] = twin[base] && rng() % 2 ? twin[base] : base;
            }
            mesh.indices.insert(mesh.indices.end(), t.begin(), t.end());
        }
        const int spareVertexes = static_cast<int>(rng() % 300), spareIndexes = static_cast<int>(rng() % 1500);
        const MeshArrays padded = WithSpareRoom(mesh, spareVertexes, spareIndexes);
        const int vertexes = static_cast<int>(mesh.positions.size()), indexes = static_cast<int>(mesh.indices.size());
        DirectChannel fast(padded, vertexes, indexes), literal(padded, vertexes, indexes);

        const D3DXVECTOR3 centre((unit(rng) - 0.5f) * static_cast<float>(nx), 0.1f * (unit(rng) - 0.5f),
                                 (unit(rng) - 0.5f) * static_cast<float>(nz));
        const float radius = 0.3f + 4.0f * unit(rng);
        const int passes = static_cast<int>(rng() % 4);
        const int limits[] = {-1, 0, 128, 256};
        const float sizes[] = {0.0f, 1.0f, 3.0f, 3.4142137f, 4.0f};
        const int limit = limits[rng() % 4];
        const float size = sizes[rng() % 5];
        for (DirectChannel* d : {&fast, &literal}) {
            d->peer.vCollisionPos() = centre;
            d->peer.iNumberOfPasses() = passes;
            d->peer.iMinRedValue() = limit;
            d->peer.fMinTriangleSize() = size;
        }
        std::vector<int> list = InRange(fast, radius * (0.5f + unit(rng)));
        std::vector<int> literalList = list;

        fast.peer.ApplyHoleDamage(radius, &list);
        LiteralHoleDamage(literal.peer, radius, &literalList);
        ASSERT_TRUE(SameBits(fast.o().ToArrays(), literal.o().ToArrays())) << "round " << round;
        ASSERT_EQ(fast.peer.iVertexesUsed(), literal.peer.iVertexesUsed()) << "round " << round;
        ASSERT_EQ(fast.peer.iIndexesUsed(), literal.peer.iIndexesUsed()) << "round " << round;
        ASSERT_EQ(list, literalList) << "round " << round;
        ASSERT_TRUE(MeshIsSound(fast.o(), fast.peer.iVertexesUsed(), fast.peer.iIndexesUsed())) << "round " << round;
        if (fast.peer.iIndexesUsed() != indexes) ++holed;
    }
    EXPECT_GT(holed, 60);
}
