// The harness's own checks: a check that cannot fail would let every fuzz
// run pass, and a decoder that made meshes no host gives would report
// faults of its own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "channel_checks.h"
#include "plugin/children.h"
#include "plugin_input.h"
#include "test_scene.h"
#ifdef CRUMPLE_FUZZ_IMPORT
#include "import_input.h"
#endif

using namespace crumple;
using namespace crumplefuzz;

TEST(ChannelChecks, FindEachKindOfBrokenState) {
    CrumpleScene s;
    s.SetMesh(MakeGridMesh(6, 6, 1.0f));
    s.SetDefaultSettings();
    s.SetHit({0.3f, 0.0f, 0.2f}, {0.0f, -1.0f, 0.0f});
    for (int update = 0; update < 2; ++update) {
        const StateBefore before = TakeStateBefore(*s.channel());
        ASSERT_TRUE(before.present && before.arraysSound && before.indicesSound && before.finite);
        s.Update();
        ASSERT_EQ(CheckAfterUpdate(*s.channel(), before), "");
    }
    Vexa_ObjectData& o = *s.Object();
    const int used = static_cast<int>(s.Value(kVertexesUsed));
    ASSERT_GT(used, 0);
    ASSERT_LT(used, o.GetVertexCount());
    const StateBefore sound = TakeStateBefore(*s.channel());

    const int index0 = o.GetIndex(0);
    o.SetIndex(used, 0);  // a spare vertex
    EXPECT_NE(CheckAfterUpdate(*s.channel(), sound), "");
    o.SetIndex(index0, 0);

    const D3DXVECTOR3 p1 = o.pPositions[1];
    o.pPositions[1].y = std::numeric_limits<float>::quiet_NaN();
    EXPECT_NE(CheckAfterUpdate(*s.channel(), sound), "");
    o.pPositions[1].y = p1.y + 1.0f;  // finite, but not uploaded
    EXPECT_NE(CheckAfterUpdate(*s.channel(), sound), "");
    o.pPositions[1] = p1;
    ASSERT_EQ(CheckAfterUpdate(*s.channel(), sound), "");

    s.SetValue(kIndexesUsed, static_cast<float>(o.GetIndexCount() + 3));  // written past the capacity
    EXPECT_NE(CheckAfterUpdate(*s.channel(), sound), "");
    s.SetValue(kIndexesUsed, sound.indexesChild);

    // Fewer used vertices than the triangles name: the host broke the mesh,
    // and the check then asks only for vertices within the capacity.
    s.SetValue(kVertexesUsed, 2.0f);
    const StateBefore broken = TakeStateBefore(*s.channel());
    EXPECT_FALSE(broken.indicesSound);
    EXPECT_TRUE(broken.indicesInCapacity);
    EXPECT_EQ(CheckAfterUpdate(*s.channel(), broken), "");
    EXPECT_NE(CheckAfterUpdate(*s.channel(), sound), "");
}

TEST(ChannelChecks, CapsStopOnlyLargeBufferCreation) {
    CrumpleScene s;
    s.SetMesh(MakeGridMesh(20, 20, 1.0f));  // 441 vertices, 2400 indices
    s.SetDefaultSettings();
    EXPECT_TRUE(UpdateFitsCaps(*s.channel()));
    s.SetValue(kIndexMultiplier, 1000.0f);
    EXPECT_FALSE(UpdateFitsCaps(*s.channel()));
    s.SetValue(kIndexMultiplier, 1e30f);  // past the int range: the channel refuses it itself
    EXPECT_TRUE(UpdateFitsCaps(*s.channel()));
    s.SetValue(kVertexesUsed, 441.0f);  // working buffers: no creation
    s.SetValue(kIndexMultiplier, 1000.0f);
    EXPECT_TRUE(UpdateFitsCaps(*s.channel()));
}

TEST(PluginInput, EveryInputDecodesToAMeshAHostGives) {
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes(rng() % 600);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
        const PluginInput input = DecodePluginInput(bytes.data(), bytes.size());
        const MeshArrays& m = input.mesh;
        ASSERT_GE(m.positions.size(), 3u);
        ASSERT_LE(m.positions.size(), 300u);
        ASSERT_FALSE(m.indices.empty());
        ASSERT_EQ(m.indices.size() % 3, 0u);
        ASSERT_NO_THROW(Vexa_ObjectData::FromArrays(m));
        for (const D3DXVECTOR3& p : m.positions)
            ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
        ASSERT_GE(input.ops.size(), 1u);
        ASSERT_LE(input.ops.size(), kMaxOps);
        for (const PluginOp& op : input.ops)
            if (op.kind == PluginOp::kSetChild) ASSERT_TRUE(op.child >= kApplyDents && op.child <= kIndexesUsed);
    }
}

TEST(PluginInput, SettingsReachRawBitsAndAwkwardValues) {
    // Explicit mesh of 3 vertices and 1 triangle: 21 bytes before the settings.
    std::vector<uint8_t> bytes = {0x00, 2, 0, 64, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 2, 0, 0, 0, 0};
    const uint32_t bits = 0x7F800001u;  // a signalling NaN
    bytes.push_back(0xE0);
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    bytes.insert(bytes.end(), {0xA1, 0x00, 1, 0x00, 2});
    const PluginInput input = DecodePluginInput(bytes.data(), bytes.size());
    ASSERT_EQ(input.mesh.positions.size(), 3u);
    uint32_t got;
    std::memcpy(&got, &input.settings[0], sizeof got);
    EXPECT_EQ(got, bits);
    EXPECT_EQ(input.settings[1], std::numeric_limits<float>::infinity());
    EXPECT_EQ(input.settings[2], 1.0f);  // a switch
    EXPECT_EQ(input.settings[3], 2.0f);  // passes
}

#ifdef CRUMPLE_FUZZ_IMPORT
TEST(ImportInput, MeshProblemNamesWhatTheHostCannotTake) {
    MeshArrays m;
    m.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    m.normals.assign(3, D3DXVECTOR3(0, 0, 1));
    m.texCoords0.assign(3, D3DXVECTOR2(0, 0));
    m.indices = {0, 1, 2};
    m.indices16 = true;
    EXPECT_EQ(MeshProblem(m), "");
    MeshArrays bad = m;
    bad.indices[1] = 7;
    EXPECT_NE(MeshProblem(bad), "");
    bad = m;
    bad.positions[2].x = std::numeric_limits<float>::infinity();
    EXPECT_NE(MeshProblem(bad), "");
    bad = m;
    bad.indices16 = false;
    EXPECT_NE(MeshProblem(bad), "");
    bad = m;
    bad.colors = {0u, 0u};
    EXPECT_NE(MeshProblem(bad), "");
    bad = m;
    bad.indices.push_back(0);
    EXPECT_NE(MeshProblem(bad), "");
}
#endif
