// Creation of the working buffers on the first update: capacities, refusals,
// the 16-bit cap, the colour rule and what the spare room holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "mesh_invariants.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

namespace {

const char kRefused[] = "DamageChannel->vertexfactor or indexfactor is 0!, increasing buffers aborted";

// `vertices` distinct vertices and `indices` entries cycling through them.
MeshArrays MakeMesh(int vertices, int indices, bool withColors = true) {
    MeshArrays mesh;
    for (int v = 0; v < vertices; ++v) {
        const float f = static_cast<float>(v);
        mesh.positions.push_back({f, f * 0.5f, -f});
        mesh.normals.push_back({0.0f, 1.0f, f});
        mesh.texCoords0.push_back({f, 1.0f});
        mesh.texCoords1.push_back({2.0f, f});
        if (withColors) mesh.colors.push_back(0x01020300u + static_cast<uint32_t>(v));
    }
    for (int i = 0; i < indices; ++i) mesh.indices.push_back(static_cast<uint32_t>((i * 7) % vertices));
    return mesh;
}

// A scene whose child 2 holds `mesh`, with the given multipliers and child 22 at 0.
void Prepare(CrumpleScene& scene, const MeshArrays& mesh, float vertexFactor, float indexFactor) {
    scene.SetMesh(mesh);
    scene.SetDefaultSettings();
    scene.SetValue(kVertexMultiplier, vertexFactor);
    scene.SetValue(kIndexMultiplier, indexFactor);
    scene.SetValue(kVertexesUsed, 0.0f);
}

template <typename T>
std::vector<T> Front(const std::vector<T>& all, size_t count) {
    return std::vector<T>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(count, all.size())));
}

}  // namespace

// Global, so that the comparisons inside std::vector find them.
static bool operator==(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
static bool operator==(const D3DXVECTOR2& a, const D3DXVECTOR2& b) { return a.x == b.x && a.y == b.y; }

TEST(MeshWorkingBuffers, CapacitiesKeepTheMeshInFrontAndFillTheRest) {
    CrumpleScene scene;
    const MeshArrays mesh = MakeMesh(1000, 3000);
    Prepare(scene, mesh, 1.5f, 2.0f);
    scene.Update();

    Vexa_ObjectData& o = *scene.Object();
    EXPECT_EQ(o.GetVertexCount(), 1500);
    EXPECT_EQ(o.GetIndexCount(), 6000);
    EXPECT_EQ(scene.Value(kVertexesUsed), 1000.0f);
    EXPECT_EQ(scene.Value(kIndexesUsed), 3000.0f);
    EXPECT_TRUE(MeshIsSound(o, 1000, 3000));
    EXPECT_TRUE(scene.host().showDebugMessage2.Messages().empty());

    const MeshArrays after = o.ToArrays();
    EXPECT_TRUE(Front(after.positions, 1000) == mesh.positions);
    EXPECT_TRUE(Front(after.normals, 1000) == mesh.normals);
    EXPECT_TRUE(Front(after.texCoords0, 1000) == mesh.texCoords0);
    EXPECT_TRUE(Front(after.texCoords1, 1000) == mesh.texCoords1);
    EXPECT_EQ(Front(after.colors, 1000), mesh.colors);
    EXPECT_EQ(Front(after.indices, 3000), mesh.indices);
    EXPECT_TRUE(after.texCoords2.empty());
    for (int v = 1000; v < 1500; ++v) EXPECT_TRUE(after.positions[static_cast<size_t>(v)] == D3DXVECTOR3(0, 0, 0));
    for (int i = 3000; i < 6000; ++i) ASSERT_EQ(after.indices[static_cast<size_t>(i)], 1u) << "index " << i;

    // Truncation, with the count as float and the product in double.
    struct Case {
        int vertices;
        float factor;
        int capacity;
    };
    for (const Case& c : {Case{999, 1.5f, 1498}, Case{10, 1.3f, 12}, Case{7, 1.0f, 7}}) {
        SCOPED_TRACE(std::to_string(c.vertices) + " x " + std::to_string(c.factor));
        CrumpleScene s;
        Prepare(s, MakeMesh(c.vertices, 3), c.factor, 1.0f);
        s.Update();
        EXPECT_EQ(s.Object()->GetVertexCount(), c.capacity);
        EXPECT_EQ(s.Object()->GetIndexCount(), 3);
        EXPECT_TRUE(MeshIsSound(*s.Object(), c.vertices, 3));
    }
}

TEST(MeshWorkingBuffers, UnusableMultipliersAreRefusedOnEveryUpdateWithoutChange) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float pairs[][2] = {{0.0f, 2.0f}, {2.0f, 0.0f},  {-1.0f, 2.0f}, {0.5f, 2.0f}, {2.0f, 0.999f},
                              {nan, 2.0f},  {2.0f, nan},   {-0.0f, 2.0f}, {1e30f, 2.0f}, {2.0f, std::numeric_limits<float>::infinity()}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(std::to_string(pair[0]) + " / " + std::to_string(pair[1]));
        CrumpleScene scene;
        const MeshArrays mesh = MakeMesh(20, 30, true);
        Prepare(scene, mesh, pair[0], pair[1]);
        scene.Object()->pColors[3] = 0xFFFFFFFFu;  // the colour rule must not run either
        scene.SetValue(kIndexesUsed, 77.0f);
        const MeshArrays before = scene.Object()->ToArrays();

        scene.Update();
        scene.Update();
        EXPECT_EQ(scene.host().showDebugMessage2.Messages(), (std::vector<std::string>{kRefused, kRefused}));
        EXPECT_EQ(scene.Value(kVertexesUsed), 0.0f);
        EXPECT_EQ(scene.Value(kIndexesUsed), 77.0f);
        Vexa_ObjectData& o = *scene.Object();
        EXPECT_EQ(o.GetVertexCount(), 20);
        EXPECT_EQ(o.GetIndexCount(), 30);
        EXPECT_EQ(o.ReleaseBuffersCalls(), 0);
        const MeshArrays after = o.ToArrays();
        EXPECT_TRUE(after.positions == before.positions);
        EXPECT_EQ(after.colors, before.colors);
        EXPECT_EQ(after.indices, before.indices);
    }
    // Without a host object the refusal is silent and still changes nothing.
    CrumpleScene scene;
    Prepare(scene, MakeMesh(5, 3), 0.0f, 2.0f);
    scene.channel()->pChannelHost = nullptr;
    scene.Update();
    EXPECT_EQ(scene.Object()->GetVertexCount(), 5);
    EXPECT_EQ(scene.Value(kVertexesUsed), 0.0f);
}

TEST(MeshWorkingBuffers, SixteenBitMeshesStopAt65536Vertices) {
    struct Case {
        bool indices16;
        int vertices;
        float factor;
        int capacity;
    };
    for (const Case& c : {Case{true, 40000, 2.0f, 65536}, Case{false, 40000, 2.0f, 80000}, Case{true, 30000, 2.0f, 60000},
                          Case{true, 70000, 1.5f, 70000}}) {
        SCOPED_TRACE(std::to_string(c.vertices) + (c.indices16 ? " 16-bit" : " 32-bit"));
        CrumpleScene scene;
        MeshArrays mesh = MakeMesh(c.vertices, 0, false);
        mesh.indices = {0, 1, 2, 2, 1, 3};
        mesh.indices16 = c.indices16;
        Prepare(scene, mesh, c.factor, 2.0f);
        scene.Update();
        EXPECT_EQ(scene.Object()->GetVertexCount(), c.capacity);
        EXPECT_EQ(scene.Value(kVertexesUsed), static_cast<float>(c.vertices));
        EXPECT_TRUE(MeshIsSound(*scene.Object(), c.vertices, 6));
    }
}

TEST(MeshWorkingBuffers, ColourRuleAndCreatedArrays) {
    CrumpleScene scene;
    MeshArrays mesh = MakeMesh(6, 6);
    mesh.colors = {0xFFFFFFFFu, 0xFFFFFFFEu, 0x00FFFFFFu, 0xFFFFFFFFu, 0xFF000000u, 0x7FFFFFFFu};
    for (int v = 0; v < 6; ++v) mesh.texCoords2.push_back({static_cast<float>(v), -1.0f});
    Prepare(scene, mesh, 2.0f, 1.0f);
    scene.Update();
    const MeshArrays after = scene.Object()->ToArrays();
    EXPECT_EQ(Front(after.colors, 6),
              (std::vector<uint32_t>{0xFF000000u, 0xFFFFFFFEu, 0x00FFFFFFu, 0xFF000000u, 0xFF000000u, 0x7FFFFFFFu}));
    EXPECT_EQ(after.colors.size(), 12u);
    // Set 2 is kept in full at the new capacity.
    EXPECT_EQ(after.texCoords2.size(), 12u);
    EXPECT_TRUE(Front(after.texCoords2, 6) == mesh.texCoords2);
    EXPECT_TRUE(MeshIsSound(*scene.Object(), 6, 6));

    // No colours, set 1 or set 2: the first two are made at the capacity (the
    // one colour written as white turns black like any other), set 2 is not.
    CrumpleScene bare;
    MeshArrays plain = MakeMesh(6, 6, false);
    plain.texCoords1.clear();
    Prepare(bare, plain, 2.0f, 1.0f);
    bare.Update();
    Vexa_ObjectData& o = *bare.Object();
    ASSERT_TRUE(o.HasVertexColors());
    ASSERT_TRUE(o.HasTexCoords(1));
    EXPECT_EQ(o.ColorsLength(), 12);
    EXPECT_EQ(o.pColors[0], 0xFF000000u);
    for (int v = 0; v < 6; ++v) {
        EXPECT_NE(o.pColors[v], 0xFFFFFFFFu) << "vertex " << v;
        EXPECT_EQ(o.pTexCoords1[v].x, 0.0f);
        EXPECT_EQ(o.pTexCoords1[v].y, 0.0f);
    }
    EXPECT_FALSE(o.HasTexCoords(2));
    EXPECT_TRUE(MeshIsSound(o, 6, 6));
}

TEST(MeshWorkingBuffers, EmptyMeshOrMissingObjectLeavesTheBufferPathOpen) {
    CrumpleScene scene;
    Prepare(scene, MeshArrays{}, 2.0f, 2.0f);
    scene.Update();
    scene.Update();
    EXPECT_EQ(scene.Value(kVertexesUsed), 0.0f);
    EXPECT_EQ(scene.Object()->GetVertexCount(), 0);
    EXPECT_EQ(scene.Object()->ReleaseBuffersCalls(), 0);
    EXPECT_TRUE(scene.host().showDebugMessage1.Messages().empty());

    CrumpleScene missing;
    Prepare(missing, MakeMesh(4, 3), 2.0f, 2.0f);
    missing.SetValue(kIndexesUsed, 5.0f);
    missing.channel()->DisconnectChild(kObjectData);
    missing.Update();
    EXPECT_EQ(missing.Value(kVertexesUsed), 0.0f);
    EXPECT_EQ(missing.Value(kIndexesUsed), 5.0f);
    EXPECT_TRUE(missing.host().showDebugMessage2.Messages().empty());
    // The multipliers are judged before the object is looked for, so an
    // unusable one is reported even then, and on an empty mesh too.
    missing.SetValue(kVertexMultiplier, 0.5f);
    missing.Update();
    EXPECT_EQ(missing.host().showDebugMessage2.Messages(), std::vector<std::string>{kRefused});
    scene.SetValue(kIndexMultiplier, 0.5f);
    scene.Update();
    EXPECT_EQ(scene.host().showDebugMessage2.Messages(), std::vector<std::string>{kRefused});
}
