// The damage pass: impact energy and orientation, the switches and the hole
// gate, whole hits through the loaded plug-in, dents, alpha marks and colours,
// the vertex a hit between vertices inserts, the search from vertices to
// triangles, and holes with their commit. The fast steps are compared with the
// literal ones on random meshes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>

#include "crumple_test_peer.h"
#include "damage/hole_commit.h"
#include "mesh_invariants.h"
#include "plugin/children.h"
#include "support/literal_oracles.h"
#include "test_scene.h"

using namespace crumple;

namespace {

// Spare vertices at the origin and spare indices reading 1, as the working
// buffers have them.
MeshArrays WithSpareRoom(MeshArrays m, int spareVertexes, int spareIndexes) {
    const size_t n = m.positions.size() + static_cast<size_t>(spareVertexes);
    m.positions.resize(n, D3DXVECTOR3(0, 0, 0)), m.normals.resize(n, D3DXVECTOR3(0, 0, 0));
    for (auto* set : {&m.texCoords0, &m.texCoords1, &m.texCoords2})
        if (!set->empty()) set->resize(n, D3DXVECTOR2(0, 0));
    m.colors.resize(n, 0xFF000000u);
    m.indices.resize(m.indices.size() + static_cast<size_t>(spareIndexes), 1u);
    return m;
}

// Triangles over `positions`: normals +y, sets 0 and 1 at 0, colours 0xFF000000.
MeshArrays Soup(const std::vector<D3DXVECTOR3>& positions, const std::vector<uint32_t>& indices) {
    MeshArrays m;
    m.positions = positions;
    m.normals.assign(positions.size(), D3DXVECTOR3(0, 1, 0));
    m.texCoords0 = m.texCoords1 = std::vector<D3DXVECTOR2>(positions.size(), D3DXVECTOR2(0, 0));
    m.colors.assign(positions.size(), 0xFF000000u);
    m.indices = indices;
    return m;
}

// A channel driven one step at a time over `mesh`, all in use, with spare room behind.
struct DirectChannel {
    explicit DirectChannel(const MeshArrays& mesh, int spareVertexes = 0, int spareIndexes = 0)
        : object(Vexa_ObjectData::FromArrays(WithSpareRoom(mesh, spareVertexes, spareIndexes))), peer(channel) {
        peer.pObjectData() = object.get();
        peer.iVertexesUsed() = static_cast<int>(mesh.positions.size());
        peer.iIndexesUsed() = static_cast<int>(mesh.indices.size());
    }
    // Holes around `centre` from listed vertices with red below `minRed`.
    void AimHoles(D3DXVECTOR3 centre, int passes, int minRed = 1, float minSize = 0.0f) {
        peer.vCollisionPos() = centre, peer.iNumberOfPasses() = passes;
        peer.iMinRedValue() = minRed, peer.fMinTriangleSize() = minSize;
    }
    Vexa_ObjectData& o() { return *object; }

    Kel_Crumple channel;
    std::shared_ptr<Vexa_ObjectData> object;
    Kel_CrumpleTestPeer peer;
};

// Every used triangle's centroid lies outside the sphere or on it.
::testing::AssertionResult NoCentreInside(Vexa_ObjectData& o, int indexesUsed, D3DXVECTOR3 c, float radius) {
    for (int t = 0; t < indexesUsed; t += 3) {
        const D3DXVECTOR3 a = o.pPositions[o.GetIndex(t)], b = o.pPositions[o.GetIndex(t + 1)],
                          d = o.pPositions[o.GetIndex(t + 2)];
        auto sq = [](double u, double v, double w, float centre) { return std::pow((u + v + w) / 3 - centre, 2); };
        if (sq(a.x, b.x, d.x, c.x) + sq(a.y, b.y, d.y, c.y) + sq(a.z, b.z, d.z, c.z) <
            static_cast<double>(radius) * radius * (1 - 1e-5))
            return ::testing::AssertionFailure() << "triangle at " << t << " has its centre inside";
    }
    return ::testing::AssertionSuccess();
}

std::vector<int> FirstVertexes(int n) {
    std::vector<int> list(static_cast<size_t>(n));
    std::iota(list.begin(), list.end(), 0);
    return list;
}

// A 10x10 unit grid with working buffers made, the channel pointed at it.
void Prepare(CrumpleScene& scene) {
    scene.SetMesh(MakeGridMesh(10, 10, 1.0f));
    scene.SetDefaultSettings();
    scene.Update();
    Kel_CrumpleTestPeer(scene.crumple()).pObjectData() = scene.Object();
}

::testing::AssertionResult SoundAndUploaded(CrumpleScene& scene) {
    const std::vector<int> used = FirstVertexes(static_cast<int>(scene.Value(kVertexesUsed)));
    const auto sound = MeshIsSound(*scene.Object(), static_cast<int>(used.size()), int(scene.Value(kIndexesUsed)));
    return sound ? RenderBuffersMatch(*scene.Object(), used) : sound;
}

}  // namespace

TEST(DamageImpact, EnergyAndOrientation) {
    CrumpleScene scene;
    Prepare(scene);
    Kel_CrumpleTestPeer peer(scene.crumple());
    peer.vCollisionPos() = D3DXVECTOR3(7, 8, 9);
    // Masses 2 and 2 at speed 25e6 give energy 1 times the factor; a mass of 0
    // is an immovable shore of 3e6; below 1 the energy is lifted by a root.
    const double shore = std::sqrt(std::sqrt(5.0 * 3e6 * 1000.0 / (3e6 + 1000.0)) / 5000.0);
    const struct { float m1, m2, speed, factor; double energy; } cases[] = {
        {0, 0, 10, 1, 0},          {1000, 1000, 0, 1, 0}, {0, 1000, 5, 1, shore}, {1000, 0, 5, 1, shore},
        {2, 2, 25e6f, 0.25f, 0.5}, {2, 2, 25e6f, 1, 1},   {2, 2, 25e6f, 4, 4}};
    for (const auto& c : cases) {
        scene.SetHit({1, 2, 3}, {0, 1, 0}, c.m1, c.m2, c.speed);
        peer.fImpactFactor() = c.factor;
        EXPECT_NEAR(peer.Initialize(), c.energy, 1e-6) << c.m1 << " " << c.m2 << " " << c.speed << " " << c.factor;
        EXPECT_TRUE(c.energy != 0 || peer.vCollisionPos().x == 7.0f);  // no impact takes nothing over
    }

    // The placement's rows are the object's axes: their transpose undoes it.
    const D3DXMATRIX turn{{{0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1}}},
        identity{{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
    scene.Object()->SetWorldMatrix(turn);
    scene.SetHit({11, 2, 3}, {0, 0, -1}, 2, 2, 25e6f);
    ASSERT_NE(peer.Initialize(), 0.0f);
    EXPECT_TRUE(peer.vCollisionPos().x == 2 && peer.vCollisionPos().y == -1 && peer.vCollisionPos().z == 3);

    // The normal is turned towards the origin; at exactly pi/2 it stays.
    scene.Object()->SetWorldMatrix(identity);
    for (auto [normal, turned] : {std::pair{D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(0, -1, 0)}, {{1, 0, 0}, {1, 0, 0}}}) {
        scene.SetHit({0, 5, 0}, normal, 2, 2, 25e6f);
        peer.Initialize();
        const D3DXVECTOR3 n = peer.vCollisionNormal();
        EXPECT_TRUE(n.x == turned.x && n.y == turned.y && n.z == turned.z) << normal.x;
    }

    // Counters edited from outside are held within the capacities.
    scene.SetValue(kVertexesUsed, -4.0f), scene.SetValue(kIndexesUsed, 1e9f);
    peer.Initialize();
    EXPECT_TRUE(peer.iVertexesUsed() == 0 && peer.iIndexesUsed() == 1800);
}

TEST(DamagePass, SwitchesHoleGateAndHolesUnderWater) {
    // Energy 1 (masses m1 and 2 at speed 25e6) and radius factor 2: R = 2.
    const struct { float dents, others, threshold, y, m1; bool holes; float underWater, energy; bool damaged, message; }
        cases[] = {
            {1, 1, 2.0f, -0.5f, 2, true, 2, 1, true, false},          // a threshold equal to R keeps holes
            {1, 1, 2.001f, -0.5f, 2, false, 0, 1, true, false},       // above R: no holes, nothing counted
            {1, 1, 2.0f, 0.0f, 2, true, 0, 1, true, false},           // y exactly 0 is not under water
            {1, 0, 1.0f, -0.5f, 2, false, 2, 1, true, false},         // counted with holes switched off
            {-1, 0, 1.0f, -0.5f, 2, false, 2, 1, true, false},        // switches truncated: -1 and 2 on,
            {2, 0, 1.0f, -0.5f, 2, false, 2, 1, true, false},         //
            {0.9f, 0.9f, 1.0f, -0.5f, 2, false, 0, 0, false, true},   // 0.9 and -0.5 off
            {-0.5f, -0.5f, 1.0f, -0.5f, 2, false, 0, 0, false, true}, //
            {1, 0, 1.0f, -0.5f, -1, false, 0, 0, false, false},       // a negative mass: no finite energy
        };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        CrumpleScene scene;
        Prepare(scene);
        const std::pair<int, float> settings[] = {
            {kApplyDents, c.dents}, {kApplyAlphaDamage, c.others}, {kApplyHoles, c.others}, {kImpactFactor, 1},
            {kImpactRadiusFactor, 2}, {kHoleThreshold, c.threshold}, {kHolesUnderWater, 10}, {kCumulativeImpact, 3}};
        for (auto [child, value] : settings) scene.SetValue(child, value);
        scene.SetHit({0.3f, c.y, 0.3f}, {0, -1, 0}, c.m1, 2, 25e6f);
        const MeshArrays before = scene.Object()->ToArrays();
        scene.Update();
        EXPECT_EQ(Kel_CrumpleTestPeer(scene.crumple()).bApplyHoles(), c.holes);
        EXPECT_EQ(scene.Value(kHolesUnderWater), 10 + c.underWater);
        EXPECT_EQ(scene.Value(kCumulativeImpact), 3 + c.energy);
        EXPECT_EQ(scene.Value(kCollisionRadius), 2 * c.energy);
        EXPECT_EQ(!SameBits(scene.Object()->ToArrays(), before), c.damaged);
        EXPECT_EQ(scene.host().showDebugMessage1.Messages().size(), c.message ? 1u : 0u);  // "no damage applied"
    }
}

TEST(DamageEndToEnd, HoleHitsOnAGridAndClearDamage) {
    // A 30x30 grid, holes and alpha marks on, energy 1, impact radius 3.
    auto setUp = [](CrumpleScene& scene, bool indices16, int passes, D3DXVECTOR3 at) {
        scene.SetMesh(MakeGridMesh(30, 30, 1.0f, indices16, indices16));
        scene.SetDefaultSettings();
        const std::pair<int, float> settings[] = {
            {kApplyDents, 0},       {kApplyAlphaDamage, 1},   {kApplyHoles, 1},    {kNumberOfPasses, float(passes)},
            {kImpactFactor, 1},     {kImpactRadiusFactor, 3}, {kHoleThreshold, 1}, {kMinRedValue, 1},
            {kVertexMultiplier, 3}, {kIndexMultiplier, 6}};
        for (auto [child, value] : settings) scene.SetValue(child, value);
        scene.SetHit(at, {0, -1, 0}, 2, 2, 25e6f);
    };
    for (int variant = 0; variant < 4; ++variant) {
        const bool indices16 = variant & 1;
        SCOPED_TRACE(testing::Message() << (indices16 ? "16-bit, " : "32-bit, ") << 1 + variant / 2 << " passes");
        CrumpleScene scene;
        setUp(scene, indices16, 1 + variant / 2, {0.3f, 0.0f, 0.2f});
        scene.Update();  // working buffers
        scene.Update();
        EXPECT_GT(scene.Value(kVertexesUsed), 961);  // holes were cut
        EXPECT_TRUE(SoundAndUploaded(scene));
        // No remaining triangle has its centre strictly inside the sphere.
        EXPECT_TRUE(NoCentreInside(*scene.Object(), int(scene.Value(kIndexesUsed)), scene.Vector(kNewCollisionPosition),
                                   3.0f));
    }

    // Damage, clear it, hit again: the same as a fresh channel given that hit.
    CrumpleScene damaged, fresh;
    for (CrumpleScene* scene : {&damaged, &fresh}) {
        setUp(*scene, false, 2, {1.3f, 0.0f, -2.2f});
        scene->SetValue(kApplyDents, 1);
        scene->Update();
        scene->Update();
    }
    damaged.SetHit({-4.0f, 0.0f, 3.0f}, {0, 1, 0}, 2, 2, 25e6f);
    damaged.Update();
    damaged.crumple().ClearDamage();
    damaged.SetHit({1.3f, 0.0f, -2.2f}, {0, -1, 0}, 2, 2, 25e6f);
    damaged.Update();
    damaged.Update();
    EXPECT_TRUE(SameBits(damaged.Object()->ToArrays(), fresh.Object()->ToArrays()));
    for (int child : {kVertexesUsed, kIndexesUsed, kCumulativeImpact, kHolesUnderWater, kCollisionRadius})
        EXPECT_EQ(damaged.Value(child), fresh.Value(child)) << "child " << child;
    EXPECT_TRUE(SoundAndUploaded(damaged));
}

TEST(DamageDent, AllowanceAndRecordArithmetic) {
    // Records (blue byte) 0, 200, 255, 200 of max dent 1; a radius so large
    // that every vertex is offered the whole offset.
    MeshArrays mesh = Soup({{0, 0, 0}, {0.001f, 0, 0}, {0, 0, 0.001f}, {0, 0, 0}}, {0, 1, 2});
    mesh.normals.assign(4, D3DXVECTOR3(1, 0, 0));
    mesh.colors = {0xFF000000u, 0xFF0000C8u, 0xFF0000FFu, 0xFF0000C8u};
    DirectChannel d(mesh);
    d.peer.fDentAngle() = 0.0f, d.peer.fMaxDent() = 1.0f;  // straight along the offset
    Vexa_ObjectData& o = d.o();
    std::vector<int> list = {0, 1, 2};
    // The largest single move comes back, not a sum or the last.
    EXPECT_EQ(d.peer.ApplyDentDamage({0, -0.5f, 0}, 1000.0f, &list), 0.5f);
    EXPECT_TRUE(o.pPositions[0].y == -0.5f && o.pColors[0] == 0xFF00007Fu);  // 127.5 truncated
    EXPECT_NEAR(o.pNormals[0].y, 0.5 / std::sqrt(100.25), 1e-6);  // (10, 0, 0) + (0, 0.5, 0), normalised
    // Record 200 leaves 55/255: the move is capped there and the record spent.
    EXPECT_TRUE(std::fabs(o.pPositions[1].y + 55.0f / 255.0f) < 1e-6f && o.pColors[1] == 0xFF0000FFu);
    // Record 255: nothing moves, not even the normal.
    EXPECT_TRUE(o.pPositions[2].y == 0.0f && o.pNormals[2].x == 1.0f);
    // Record 200 and a move of 0.1: applied in full, 25 (25.5 truncated) added.
    list = {3};
    EXPECT_NEAR(d.peer.ApplyDentDamage({0, -0.1f, 0}, 1000.0f, &list), 0.1f, 1e-7f);
    EXPECT_TRUE(std::fabs(o.pPositions[3].y + 0.1f) < 1e-7f && o.pColors[3] == 0xFF0000E1u);
}

TEST(DamageColour, AlphaMaskAndAverages) {
    MeshArrays mesh = Soup({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, 1, 2});
    mesh.colors.assign(3, 0xFFA5A5A5u);
    DirectChannel d(mesh);
    // The value's low byte masks the alpha byte only: 128 then 127 leaves 0,
    // 300 acts as 44, -1 keeps everything.
    const struct { int vertex, value; uint32_t expected; } steps[] = {
        {0, 128, 0x80A5A5A5u}, {0, 127, 0x00A5A5A5u}, {1, 300, 0x2CA5A5A5u}, {2, -1, 0xFFA5A5A5u}};
    for (const auto& s : steps) {
        std::vector<int> list = {s.vertex};
        d.peer.iAlphaDamageValue() = s.value;
        d.peer.ApplyAlphaDamage(&list);
        EXPECT_EQ(d.o().pColors[s.vertex], s.expected) << "value " << s.value;
    }
    // Byte-wise means without carries; three alphas are divided before summing.
    Kel_CrumpleTestPeer& peer = d.peer;
    EXPECT_EQ(peer.CalcAverageColor(0xFF000000u, 0x00000000u), 0x7F000000u);
    EXPECT_EQ(peer.CalcAverageColor(0x01010101u, 0x00000000u), 0x00000000u);
    EXPECT_EQ(peer.CalcAverageColor(0x10203040u, 0x30405060u), 0x20304050u);
    EXPECT_EQ(peer.CalcAverageColor(0x01010101u, 0x01010101u, 0x01010101u), 0x00010101u);
    EXPECT_EQ(peer.CalcAverageColor(0xFF0000FFu, 0xFF0000FFu, 0x00000000u), 0xAA0000AAu);
    EXPECT_EQ(peer.CalcAverageColor(0xFEFEFEFEu, 0xFEFEFEFEu, 0xFEFEFEFEu), 0xFDFEFEFEu);
}

// The blocked range search (four vertices at a time where the processor has
// them) finds what the one-vertex-at-a-time loop finds, at any scale, with
// non-finite coordinates, and with the radius exactly at a vertex.
TEST(DamageRangeSearch, SameVertexesAsTestingOneByOne) {
    std::mt19937 rng(41);
    auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const float scale = std::pow(10.0f, uniform(-3.0f, 6.0f));
        std::vector<D3DXVECTOR3> positions(static_cast<size_t>(1 + rng() % 300));
        for (auto& p : positions) {
            p = {uniform(-scale, scale), rng() % 2 ? 0.0f : uniform(-scale, scale), uniform(-scale, scale)};
            if (rng() % 40 == 0) p.x = rng() % 2 ? nan : -inf;
        }
        DirectChannel d(Soup(positions, {0, 0, 0}), static_cast<int>(rng() % 5));
        const D3DXVECTOR3 centre = positions[rng() % positions.size()];
        d.peer.vCollisionPos() = centre;
        // A radius at some vertex's distance, as a float, tests the strict edge.
        const D3DXVECTOR3 to = positions[rng() % positions.size()];
        float radius = static_cast<float>(std::sqrt(std::pow(double(to.x) - centre.x, 2) +
                                                    std::pow(double(to.y) - centre.y, 2) +
                                                    std::pow(double(to.z) - centre.z, 2)));
        if (round % 5 == 1) radius = uniform(0.0f, scale);
        if (round % 11 == 3) radius = -radius;
        if (round % 17 == 5) radius = rng() % 2 ? nan : inf;
        std::vector<int> found;
        d.peer.SearchVertexesInRange(radius, &found);
        std::vector<int> expected;
        const double r2 = static_cast<double>(radius) * radius;
        for (int v = 0; v < static_cast<int>(positions.size()); ++v) {
            const D3DXVECTOR3 p = positions[static_cast<size_t>(v)];
            const float dx = p.x - centre.x, dy = p.y - centre.y, dz = p.z - centre.z;
            const float s = dx * dx + dy * dy + dz * dz;
            if (static_cast<double>(s) < r2) expected.push_back(v);
        }
        ASSERT_EQ(found, expected) << "radius " << radius;
    }
}

TEST(DamageImpactPoint, SplitRoomAndTies) {
    DirectChannel d(MakeGridMesh(2, 2, 1.0f), 4, 12);
    Vexa_ObjectData& o = d.o();
    o.pColors[0] = o.pColors[3] = 0xFF0000FFu, o.pColors[1] = 0;
    // Triangle 0 is (0, 3, 1); the hit at its centroid.
    const D3DXVECTOR3 a = o.pPositions[0], b = o.pPositions[3], c = o.pPositions[1];
    d.peer.vCollisionPos() = D3DXVECTOR3((a.x + b.x + c.x) / 3, 0.0f, (a.z + b.z + c.z) / 3);
    ASSERT_TRUE(d.peer.AddVertex());
    EXPECT_TRUE(d.peer.iVertexesUsed() == 10 && d.peer.iIndexesUsed() == 30);
    // (i0, i1, N) in place, (i2, i0, N) and (i1, i2, N) appended, the spare room behind untouched.
    const int expected[] = {0, 3, 9, 1, 0, 9, 3, 1, 9, 1};
    for (int j = 0; j < 10; ++j) EXPECT_EQ(o.GetIndex(j < 3 ? j : 21 + j), expected[j]) << j;
    EXPECT_TRUE(o.pPositions[9].x == d.peer.vCollisionPos().x && o.pColors[9] == 0xAA0000AAu);
    double weighted = 0.0, total = 0.0;  // set 1 is weighted by inverse distance
    for (int v : {0, 3, 1}) {
        const double w = 1.0 / std::hypot(o.pPositions[v].x - o.pPositions[9].x, o.pPositions[v].z - o.pPositions[9].z);
        weighted += w * o.pTexCoords1[v].x, total += w;
    }
    EXPECT_NEAR(o.pTexCoords1[9].x, weighted / total, 1e-6);

    // Room: seven spare index slots, a spare vertex, a number a 16-bit index can hold.
    const struct { bool indices16; int used, spareVertexes, spareIndexes; bool inserted; } rooms[] = {
        {false, 9, 1, 7, true},       {false, 9, 1, 6, false},      {false, 9, 0, 12, false},
        {true, 65535, 65531, 7, true}, {true, 65536, 65531, 7, false}};
    for (const auto& r : rooms) {
        DirectChannel room(MakeGridMesh(2, 2, 1.0f, r.indices16), r.spareVertexes, r.spareIndexes);
        room.peer.iVertexesUsed() = r.used;
        room.peer.vCollisionPos() = D3DXVECTOR3(-0.6f, 0.0f, -0.7f);
        const MeshArrays before = room.o().ToArrays();
        EXPECT_EQ(room.peer.AddVertex(), r.inserted) << r.used << ", " << r.spareVertexes << ", " << r.spareIndexes;
        EXPECT_TRUE(r.inserted || SameBits(room.o().ToArrays(), before));
    }

    // A hit in two equal triangles takes the earlier one.
    MeshArrays twice = MakeGridMesh(1, 1, 2.0f);  // (0, 2, 1), (1, 2, 3), then (0, 2, 1) again
    twice.indices.insert(twice.indices.end(), {0, 2, 1});
    DirectChannel tie(twice, 1, 12);
    tie.peer.vCollisionPos() = D3DXVECTOR3(-0.5f, 0.0f, -0.4f);
    ASSERT_TRUE(tie.peer.AddVertex());
    EXPECT_TRUE(tie.o().GetIndex(2) == 4 && tie.o().GetIndex(8) == 1);
}

// The far-triangle shortcut picks the same triangle as measuring every one.
TEST(DamageImpactPoint, SameChoiceAsMeasuringEveryTriangle) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> coord(-4.0f, 4.0f), unit(0.0f, 1.0f);
    int inserted = 0;
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const int vertexes = 20 + static_cast<int>(rng() % 200), triangles = 1 + static_cast<int>(rng() % 150);
        std::vector<D3DXVECTOR3> positions(static_cast<size_t>(vertexes));
        for (auto& p : positions) p = {coord(rng), rng() % 2 ? 0.0f : coord(rng), coord(rng)};  // half in one plane
        std::vector<uint32_t> indices(static_cast<size_t>(3 * triangles));
        for (auto& i : indices) i = rng() % static_cast<uint32_t>(vertexes);
        DirectChannel fast(Soup(positions, indices), 2, 8);

        // A point in a random triangle, sometimes lifted off it, or anywhere.
        const uint32_t* t = &indices[3 * (rng() % static_cast<uint32_t>(triangles))];
        const D3DXVECTOR3 p0 = positions[t[0]], p1 = positions[t[1]], p2 = positions[t[2]];
        float u = unit(rng), w = unit(rng);
        if (u + w > 1.0f) u = 1.0f - u, w = 1.0f - w;
        D3DXVECTOR3 h(p0.x + u * (p1.x - p0.x) + w * (p2.x - p0.x), p0.y + u * (p1.y - p0.y) + w * (p2.y - p0.y),
                      p0.z + u * (p1.z - p0.z) + w * (p2.z - p0.z));
        if (round % 3 == 1) h.y += 0.05f * coord(rng);
        if (round % 7 == 3) h = D3DXVECTOR3(coord(rng), coord(rng), coord(rng));
        fast.peer.vCollisionPos() = h;

        const int expected = LiteralContainingTriangle(fast.peer, fast.o(), 3 * triangles, h);
        ASSERT_EQ(fast.peer.AddVertex(), expected >= 0);
        if (expected < 0) continue;
        ++inserted;
        EXPECT_EQ(fast.o().GetIndex(3 * expected + 2), vertexes);
        EXPECT_TRUE(MeshIsSound(fast.o(), fast.peer.iVertexesUsed(), fast.peer.iIndexesUsed()));
    }
    EXPECT_GT(inserted, 100);
}

TEST(DamageTriangleSearch, ModesTableAndRepeatedCorners) {
    DirectChannel d(MakeGridMesh(10, 10, 1.0f), 20, 60);  // 141 vertex slots, 600 used indices
    // From position 0, 74 entries scan only the positions asked for; 75 go
    // through the table, rebuilt over every used position.
    for (int n : {74, 75}) {
        std::set<int> found, expected;
        d.peer.SearchTrianglesInRange(0, 300, FirstVertexes(n), &found);
        LiteralScanTriangles(d.o(), 0, n < 75 ? 300 : 600, FirstVertexes(n), &expected);
        EXPECT_EQ(found, expected) << n << " entries";
    }
    // Away from position 0 the search scans, however long the list; repeats
    // and several corners of one triangle listed find it once, in both modes.
    const std::pair<int, std::vector<int>> searches[] = {
        {300, FirstVertexes(121)}, {0, {60, 60, 59, 49}}, {0, std::vector<int>(80, 60)}};
    for (const auto& [start, list] : searches) {
        std::set<int> found = {-3}, expected = {-3};  // added to, not cleared
        d.peer.SearchTrianglesInRange(start, start ? 60 : 600, list, &found);
        LiteralSearchTriangles(d.o(), 600, start, start ? 60 : 600, list, &expected);
        EXPECT_EQ(found, expected) << start << ", " << list.size() << " entries";
    }
    // Writing one index keeps the table in step, growing it to cover the
    // vertex; a vertex past the capacity writes nothing.
    d.peer.vIndexLookupTable().assign(10, {});
    d.peer.AddIndexToBufferAndLookup(130, 600);
    d.peer.AddIndexToBufferAndLookup(141, 603);
    EXPECT_EQ(d.o().GetIndex(600), 130);
    EXPECT_EQ(d.o().GetIndex(603), 1);
    ASSERT_EQ(d.peer.vIndexLookupTable().size(), 131u);
    EXPECT_EQ(d.peer.vIndexLookupTable()[130], std::vector<int>{600});
}

TEST(DamageTriangleSearch, SameTrianglesAsTheLiteralSearchOnRandomArrays) {
    // Index arrays of both widths with values clustered, spread and past 2^31
    // (as raw int bits), lists near and far apart, whole-array and tail
    // searches: block tests and their tails must find what the steps find.
    std::mt19937 rng(31);
    for (int round = 0; round < 300; ++round) {
        const bool indices16 = round % 3 == 0;
        const int vertexes = 50 + static_cast<int>(rng() % 3000);
        const int triangles = 1 + static_cast<int>(rng() % 400);
        MeshArrays m = Soup(std::vector<D3DXVECTOR3>(static_cast<size_t>(vertexes), D3DXVECTOR3(0, 0, 0)), {});
        m.indices16 = indices16;
        for (int i = 0; i < 3 * triangles; ++i) m.indices.push_back(rng() % static_cast<uint32_t>(vertexes));
        DirectChannel d(m);
        std::vector<int> list;
        const int n = 1 + static_cast<int>(rng() % 120);
        const int base = static_cast<int>(rng() % static_cast<uint32_t>(vertexes));
        for (int i = 0; i < n; ++i)
            list.push_back(rng() % 4 ? (base + static_cast<int>(rng() % 40)) % vertexes
                                     : static_cast<int>(rng() % static_cast<uint32_t>(vertexes)));
        const int used = 3 * triangles;
        const int start = rng() % 2 ? 0 : 3 * static_cast<int>(rng() % static_cast<uint32_t>(triangles));
        const int count = used - start;
        // Entries a broken host could leave behind the arrays' checks, where
        // the steps scan (the table steps assume values below the capacity).
        if (!indices16 && (start != 0 || list.size() < 75))
            for (int i = 0; i < used; ++i)
                if (rng() % 50 == 0) d.o().pIndices32[i] = 0x80000000u + rng() % 8;
        std::set<int> found, expected;
        d.peer.SearchTrianglesInRange(start, count, list, &found);
        LiteralSearchTriangles(d.o(), used, start, count, list, &expected);
        ASSERT_EQ(found, expected) << "round " << round;
    }
}

TEST(DamageHole, PassesSharedMidpointsSizeAndRed) {
    // No pass adds nothing; one cuts the rim; two refine it further. The list
    // gains exactly the new vertices.
    int added[3] = {0, 0, 0};
    for (int passes : {0, 1, 2}) {
        SCOPED_TRACE(testing::Message() << passes << " passes");
        DirectChannel d(MakeGridMesh(8, 8, 1.0f, false, false, 0xFF000000u), 2000, 6000);
        d.AimHoles({0, 0, 0}, passes);
        std::vector<int> list;
        d.peer.SearchVertexesInRange(2.0f, &list);
        ASSERT_EQ(list.size(), 9u);  // x * x + z * z < 4: the four at distance 2 are not inside
        std::vector<int> expected = list;
        d.peer.ApplyHoleDamage(2.0f, &list);
        added[passes] = d.peer.iVertexesUsed() - 81;
        for (int v = 81; v < d.peer.iVertexesUsed(); ++v) expected.push_back(v);
        EXPECT_EQ(list, expected);
        EXPECT_TRUE(MeshIsSound(d.o(), d.peer.iVertexesUsed(), d.peer.iIndexesUsed()));
        EXPECT_TRUE(passes == 0 || NoCentreInside(d.o(), d.peer.iIndexesUsed(), {0, 0, 0}, 2.0f));
    }
    EXPECT_TRUE(added[0] == 0 && added[1] > 0 && added[2] > added[1]);

    // Two triangles on the diagonal (1, 2), the hit at vertex 1: both split
    // the diagonal at (0, 0, 0) and share the one new vertex there.
    DirectChannel two(Soup({{-1, 0, -1}, {1, 0, -1}, {-1, 0, 1}, {1, 0, 1}}, {0, 2, 1, 1, 2, 3}), 100, 300);
    two.AimHoles({1, 0, -1}, 1);
    std::vector<int> corner = {1};
    two.peer.ApplyHoleDamage(1.5f, &corner);
    const D3DXVECTOR3* p = two.o().pPositions;
    auto atMidpoint = [](const D3DXVECTOR3& v) { return v.x == 0 && v.y == 0 && v.z == 0; };
    EXPECT_EQ(std::count_if(p, p + two.peer.iVertexesUsed(), atMidpoint), 1);

    // A 3-4-5 triangle hit at corner 0, straddling the sphere: left (3
    // indices), removed whole (0) or replaced by its fan (more).
    const float above = std::nextafter(12.0f, 13.0f);  // the perimeter is 12
    const struct { float minSize; uint32_t red; int minRed, outcome; } cases[] = {  // 0 left, 1 removed, 2 fan
        {12, 0, 1, 2}, {above, 0, 1, 1}, {0, 0x40, 0x40, 0}, {0, 0x3F, 0x40, 2}, {0, 0, 0, 0}, {0, 0xFF, -1, 2},
        {0, 0xFF, 256, 2}};
    for (const auto& c : cases) {
        MeshArrays right = Soup({{0, 0, 0}, {3, 0, 0}, {0, 0, 4}}, {0, 1, 2});
        right.colors[0] |= c.red << 16;
        DirectChannel h(right, 100, 300);
        h.AimHoles({0, 0, 0}, 1, c.minRed, c.minSize);
        std::vector<int> one = {0};
        h.peer.ApplyHoleDamage(1.0f, &one);
        const int n = h.peer.iIndexesUsed();
        EXPECT_EQ(n == 3 ? 0 : n == 0 ? 1 : 2, c.outcome) << c.minSize << ", " << c.red << ", " << c.minRed;
    }
}

TEST(DamageHole, CommitDropsRenumbersAndClosesGaps) {
    // Five triangles in use, spare (1, 1, 1) behind; the first, the middle and
    // the last found. New vertices b, b + 1, b + 2; no triangle uses b + 1.
    const struct { int capacity, used; bool indices16, committed; } cases[] = {
        {8, 6, false, true},          // exactly room for the two kept vertices
        {7, 6, false, false},         // one vertex too many
        {65540, 65534, true, true},   // 16-bit: numbers up to 65535
        {65540, 65535, true, false}}; // 16-bit: 65536 would wrap
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.capacity << " vertex slots, " << c.used << " used");
        MeshArrays mesh = Soup(std::vector<D3DXVECTOR3>(static_cast<size_t>(c.used)),
                               {0, 1, 2, 1, 2, 3, 2, 3, 4, 3, 4, 5, 4, 5, 0});
        mesh.indices16 = c.indices16;
        DirectChannel d(mesh, c.capacity - c.used, 3);
        const uint32_t b = static_cast<uint32_t>(c.used);
        crumple::HolePass pass;
        pass.triangles = {0, 6, 12}, pass.newColors = {1, 2, 3}, pass.newIndexes = {0, b, b + 2, b + 2, 1, 2};
        pass.newPositions = {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, pass.newNormals = {{0, 1, 0}, {0, 1, 0}, {0, 0, 1}};
        pass.newTexCoords0 = pass.newTexCoords1 = {{0, 0}, {0, 0}, {0.5f, 0.5f}};
        std::vector<int> list = {4};
        const MeshArrays before = d.o().ToArrays();
        ASSERT_EQ(crumple::CommitHolePass(d.peer.pObjectData(), pass, &list, &d.peer.iVertexesUsed(),
                                          &d.peer.iIndexesUsed()),
                  c.committed);
        Vexa_ObjectData& o = d.o();
        EXPECT_TRUE(c.committed || (SameBits(o.ToArrays(), before) && list.size() == 1 &&
                                    d.peer.iVertexesUsed() == c.used && d.peer.iIndexesUsed() == 15));
        if (!c.committed) continue;
        EXPECT_TRUE(d.peer.iVertexesUsed() == c.used + 2 && d.peer.iIndexesUsed() == 12);
        EXPECT_EQ(list, (std::vector<int>{4, c.used, c.used + 1}));
        // The third new vertex moved down one with every attribute; the kept
        // triangles closed up in order, the new ones behind, freed slots 0.
        EXPECT_TRUE(o.pPositions[b + 1].x == 3 && o.pNormals[b + 1].z == 1 && o.pColors[b + 1] == 3 &&
                    o.pTexCoords1[b + 1].x == 0.5f);
        EXPECT_EQ(o.ToArrays().indices,
                  (std::vector<uint32_t>{1, 2, 3, 3, 4, 5, 0, b, b + 1, b + 1, 1, 2, 0, 0, 0, 1, 1, 1}));
    }
}

// The hashed midpoint search, the used-flag commit and the fast triangle
// search give the same meshes, and the same triangle sets and table, as the
// literal ones.
TEST(DamageHole, SameResultsAsTheLiteralSteps) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    int holed = 0;
    for (int round = 0; round < 250; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const int nx = 2 + pick(12), nz = 2 + pick(12);
        MeshArrays mesh = MakeGridMesh(nx, nz, 1.0f, pick(2), pick(2), 0xFF000000u);
        const size_t original = mesh.positions.size();
        std::vector<uint32_t> twin(original, 0);
        for (size_t v = 0; v < original; ++v) {
            // Flat with signed zeros, or jittered; red from 0 to 255.
            mesh.positions[v].y = round % 2 ? (pick(2) ? -0.0f : 0.0f) : 0.2f * (unit(rng) - 0.5f);
            mesh.colors[v] |= static_cast<uint32_t>(pick(256)) << 16;
            if (pick(6)) continue;
            // A seam: a twin at the same place (a zero y of the other sign).
            twin[v] = static_cast<uint32_t>(mesh.positions.size());
            auto copy = [v](auto& list) { if (!list.empty()) list.push_back(list[v]); };
            copy(mesh.positions), copy(mesh.normals), copy(mesh.texCoords0), copy(mesh.texCoords1);
            copy(mesh.texCoords2), copy(mesh.colors);
            float& y = mesh.positions.back().y;
            if (y == 0.0f) y = std::signbit(y) ? 0.0f : -0.0f;
            mesh.texCoords0.back() = {unit(rng), unit(rng)};
        }
        // Triangles in random order, starting at any corner, some on the
        // seams' twins, a few collapsed onto an edge.
        std::vector<std::array<uint32_t, 3>> tris;
        for (size_t p = 0; p < mesh.indices.size(); p += 3)
            tris.push_back({mesh.indices[p], mesh.indices[p + 1], mesh.indices[p + 2]});
        std::shuffle(tris.begin(), tris.end(), rng);
        mesh.indices.clear();
        for (auto& t : tris) {
            std::rotate(t.begin(), t.begin() + pick(3), t.end());
            for (uint32_t& v : t)
                if (twin[v] && pick(2)) v = twin[v];
            const int from = pick(3);
            if (pick(12) == 0) t[(from + 1 + pick(2)) % 3] = t[from];
            mesh.indices.insert(mesh.indices.end(), t.begin(), t.end());
        }
        const int spareVertexes = pick(300), spareIndexes = pick(1500);
        DirectChannel fast(mesh, spareVertexes, spareIndexes), literal(mesh, spareVertexes, spareIndexes);

        const D3DXVECTOR3 centre((unit(rng) - 0.5f) * static_cast<float>(nx), 0.1f * (unit(rng) - 0.5f),
                                 (unit(rng) - 0.5f) * static_cast<float>(nz));
        const float radius = 0.3f + 4.0f * unit(rng), sizes[] = {0, 1, 3, 3.4142137f, 4}, size = sizes[pick(5)];
        const int passes = pick(4), limits[] = {-1, 0, 128, 256}, limit = limits[pick(4)];
        for (DirectChannel* d : {&fast, &literal}) d->AimHoles(centre, passes, limit, size);
        std::vector<int> list;
        fast.peer.SearchVertexesInRange(radius * (0.5f + unit(rng)), &list);
        std::vector<int> literalList = list;
        fast.peer.ApplyHoleDamage(radius, &list);
        LiteralHoleDamage(literal.peer, radius, &literalList);
        ASSERT_TRUE(SameBits(fast.o().ToArrays(), literal.o().ToArrays()));
        ASSERT_TRUE(fast.peer.iVertexesUsed() == literal.peer.iVertexesUsed() &&
                    fast.peer.iIndexesUsed() == literal.peer.iIndexesUsed() && list == literalList);
        ASSERT_TRUE(MeshIsSound(fast.o(), fast.peer.iVertexesUsed(), fast.peer.iIndexesUsed()));
        if (fast.peer.iIndexesUsed() != static_cast<int>(mesh.indices.size())) ++holed;

        // Triangle searches on the holed mesh, then on one with indices
        // changed, so a table is rebuilt over other content: short and long
        // lists, with repeats and unused vertex numbers.
        for (int search = 0; search < 2; ++search) {
            const int used = fast.peer.iIndexesUsed(), start = pick(3) ? 0 : 3 * pick(used / 3 + 1),
                      count = pick(used - start + 1);
            std::vector<int> some(static_cast<size_t>(pick(2) ? pick(20) : 60 + pick(200)));
            for (int& v : some) v = pick(fast.o().GetVertexCount());
            std::set<int> found, expected;
            fast.peer.SearchTrianglesInRange(start, count, some, &found);
            LiteralSearchTriangles(fast.o(), used, start, count, some, &expected);
            ASSERT_EQ(found, expected) << "start " << start << ", " << some.size() << " listed";
            fast.peer.CreateIndexLookupTable();
            ASSERT_TRUE(fast.peer.vIndexLookupTable() == LiteralLookupTable(fast.o(), used));
            for (int p = 0; p < used; p += 1 + pick(8)) fast.o().SetIndex(pick(fast.o().GetVertexCount()), p);
        }
    }
    EXPECT_GT(holed, 60);
}
