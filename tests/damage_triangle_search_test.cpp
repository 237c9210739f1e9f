// From vertices to triangles: scan and lookup modes and the lookup table.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "damage_fixture.h"
#include "support/literal_oracles.h"
#include "test_scene.h"

namespace {

std::vector<int> FirstVertexes(int n) {
    std::vector<int> list(static_cast<size_t>(n));
    std::iota(list.begin(), list.end(), 0);
    return list;
}

}  // namespace

TEST(DamageTriangleSearch, ModeSwitchesAtSeventyFiveEntriesFromStartZero) {
    auto d = DirectChannel::Padded(MakeGridMesh(10, 10, 1.0f), 20, 60);  // 600 used indices
    Kel_CrumpleTestPeer& peer = d->peer;

    // 74 entries scan only the `count` positions asked for.
    std::set<int> found;
    peer.SearchTrianglesInRange(0, 300, FirstVertexes(74), &found);
    std::set<int> expected;
    LiteralScanTriangles(d->o(), 0, 300, FirstVertexes(74), &expected);
    EXPECT_EQ(found, expected);
    EXPECT_LT(*found.rbegin(), 300);

    // 75 go through the rebuilt table over every used position.
    found.clear();
    peer.SearchTrianglesInRange(0, 300, FirstVertexes(75), &found);
    expected.clear();
    LiteralScanTriangles(d->o(), 0, 600, FirstVertexes(75), &expected);
    EXPECT_EQ(found, expected);
    EXPECT_GE(*found.rbegin(), 300);
    EXPECT_EQ(peer.vIndexLookupTable(), LiteralLookupTable(d->o(), 600));
    EXPECT_EQ(peer.vIndexLookupTable().size(), 141u);  // every vertex slot, spare ones too

    // Away from position 0 the search scans, however long the list.
    found.clear();
    peer.SearchTrianglesInRange(300, 60, FirstVertexes(121), &found);
    EXPECT_EQ(found.size(), 20u);
    EXPECT_EQ(*found.begin(), 300);
    EXPECT_EQ(*found.rbegin(), 357);
}

TEST(DamageTriangleSearch, EachTriangleOnceAndNothingForUnusedVertexes) {
    auto d = DirectChannel::Padded(MakeGridMesh(4, 4, 1.0f), 5, 0);
    Kel_CrumpleTestPeer& peer = d->peer;
    // Vertex 12, the grid's centre, is used by six triangles; listing all three
    // corners of one of them does not add it twice.
    std::vector<int> long80(80);
    for (size_t i = 0; i < long80.size(); ++i) long80[i] = static_cast<int>(i * 7 % 25);
    for (std::vector<int> list : {std::vector<int>{12}, std::vector<int>{12, 12, 11, 7}, long80}) {
        std::set<int> found = {-3};  // the set is added to, not cleared
        peer.SearchTrianglesInRange(0, 96, list, &found);
        std::set<int> expected = {-3};
        LiteralSearchTriangles(d->o(), 96, 0, 96, list, &expected);
        EXPECT_EQ(found, expected);
    }
    std::set<int> found;
    peer.SearchTrianglesInRange(0, 96, {12}, &found);
    EXPECT_EQ(found.size(), 6u);

    // A spare vertex no index uses, and an empty list, find nothing.
    found.clear();
    peer.SearchTrianglesInRange(0, 96, {27}, &found);
    peer.SearchTrianglesInRange(0, 96, {}, &found);
    EXPECT_TRUE(found.empty());

    // With nothing in use the table still has an empty entry per vertex slot.
    peer.iIndexesUsed() = 0;
    peer.SearchTrianglesInRange(0, 0, FirstVertexes(80), &found);
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(peer.vIndexLookupTable(), std::vector<std::vector<int>>(30));

    // Writing an index keeps the table in step, growing it for a vertex past it.
    peer.vIndexLookupTable().clear();
    peer.AddIndexToBufferAndLookup(29, 4);
    EXPECT_EQ(d->o().GetIndex(4), 29);
    ASSERT_EQ(peer.vIndexLookupTable().size(), 30u);
    EXPECT_EQ(peer.vIndexLookupTable()[29], std::vector<int>{4});
    // A vertex past the arrays, or a position past the index array, is refused.
    peer.AddIndexToBufferAndLookup(30, 5);
    peer.AddIndexToBufferAndLookup(3, 96);
    EXPECT_EQ(d->o().GetIndex(5), 6);
    EXPECT_EQ(peer.vIndexLookupTable().size(), 30u);
}

// Membership in a sorted copy and the reused table give the same sets, and
// the same table, as the literal search.
TEST(DamageTriangleSearch, SameSetsAsTheLiteralSearch) {
    std::mt19937 rng(5);
    for (int round = 0; round < 400; ++round) {
        const int vertexes = 10 + static_cast<int>(rng() % 300);
        const int triangles = 1 + static_cast<int>(rng() % 400);
        MeshArrays mesh;
        mesh.indices16 = round % 2 == 0;
        for (int v = 0; v < vertexes; ++v) {
            mesh.positions.push_back({0, 0, 0});
            mesh.normals.push_back({0, 1, 0});
            mesh.texCoords0.push_back({0, 0});
        }
        for (int p = 0; p < 3 * triangles; ++p) mesh.indices.push_back(rng() % static_cast<uint32_t>(vertexes));
        DirectChannel d(mesh, vertexes, 3 * triangles);

        // Two searches on one channel with the index array changed between
        // them, so a rebuild starts from a table of other content.
        for (int search = 0; search < 2; ++search) {
            const int used = 3 * (1 + static_cast<int>(rng() % static_cast<uint32_t>(triangles)));
            d.peer.iIndexesUsed() = used;
            for (int p = 0; p < used; ++p)
                if (rng() % 4 == 0) d.o().SetIndex(static_cast<int>(rng() % static_cast<uint32_t>(vertexes)), p);

            // Short and long lists, with repeats and numbers nothing uses.
            std::vector<int> list(rng() % 2 ? rng() % 20 : 60 + rng() % 200);
            for (int& v : list) v = static_cast<int>(rng() % static_cast<uint32_t>(vertexes));
            const int start = rng() % 3 ? 0 : 3 * static_cast<int>(rng() % static_cast<uint32_t>(used / 3));
            const int count = static_cast<int>(rng() % static_cast<uint32_t>(used - start + 1));

            std::set<int> found, expected;
            d.peer.SearchTrianglesInRange(start, count, list, &found);
            LiteralSearchTriangles(d.o(), used, start, count, list, &expected);
            ASSERT_EQ(found, expected) << "round " << round << " start " << start << " list " << list.size();
            if (start == 0 && list.size() >= 75) {
                ASSERT_EQ(d.peer.vIndexLookupTable(), LiteralLookupTable(d.o(), used)) << "round " << round;
            }
        }
    }
}
