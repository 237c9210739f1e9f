// The working buffers: their creation on the first update, the upload of a
// pass's changes into the render buffers, and the undoing of the damage.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "crumple_test_peer.h"
#include "korvane_test_access.h"
#include "mesh_invariants.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

namespace {

template <typename T>
std::vector<uint8_t> Bytes(const T* data, size_t count) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(p, p + count * sizeof(T));
}

// Every array of a mesh, byte for byte, each after its length.
std::vector<uint8_t> MeshBytes(const MeshArrays& m) {
    std::vector<uint8_t> out;
    auto add = [&out](const auto& v) {
        const std::vector<uint8_t> b = Bytes(v.data(), v.size());
        out.push_back(static_cast<uint8_t>(v.size()));
        out.insert(out.end(), b.begin(), b.end());
    };
    add(m.positions), add(m.normals), add(m.texCoords0), add(m.texCoords1), add(m.texCoords2), add(m.colors);
    add(m.indices);
    return out;
}

// Child 2 holds `mesh`, the multipliers are set, and one update has run.
Vexa_ObjectData& Create(CrumpleScene& scene, const MeshArrays& mesh, float vertexFactor, float indexFactor) {
    scene.SetMesh(mesh);
    scene.SetDefaultSettings();
    scene.SetValue(kVertexMultiplier, vertexFactor);
    scene.SetValue(kIndexMultiplier, indexFactor);
    scene.Update();
    return *scene.Object();
}

}  // namespace

TEST(MeshWorkingBuffers, CapacitiesKeepTheMeshInFrontAndFillTheRest) {
    CrumpleScene scene;
    MeshArrays mesh = MakeGridMesh(499, 1, 1.0f, false, false, 0x01020304u);  // 1000 vertices
    mesh.indices.resize(3000);
    Vexa_ObjectData& o = Create(scene, mesh, 1.5f, 2.0f);
    EXPECT_EQ(o.GetVertexCount(), 1500);
    EXPECT_EQ(o.GetIndexCount(), 6000);
    EXPECT_EQ(scene.Value(kVertexesUsed), 1000.0f);
    EXPECT_EQ(scene.Value(kIndexesUsed), 3000.0f);
    EXPECT_TRUE(MeshIsSound(o, 1000, 3000));
    MeshArrays front = o.ToArrays();
    front.positions.resize(1000), front.normals.resize(1000), front.texCoords0.resize(1000);
    front.texCoords1.resize(1000), front.colors.resize(1000), front.indices.resize(3000);
    EXPECT_EQ(MeshBytes(front), MeshBytes(mesh));
    EXPECT_EQ(Bytes(o.pPositions + 1000, 500), std::vector<uint8_t>(500 * 12, 0));
    for (int i = 3000; i < 6000; ++i) ASSERT_EQ(o.GetIndex(i), 1) << "index " << i;

    // The count as float, the product in double, truncated; 16-bit meshes stop at 65536.
    struct Case { int columns, rows; float factor; bool indices16; int capacity; };
    for (const Case& c : {Case{27, 37, 1.5f, false, 1498}, Case{5, 2, 1.3f, false, 12},
                          Case{200, 200, 2.0f, true, 65536}, Case{200, 200, 2.0f, false, 80000}}) {
        SCOPED_TRACE(std::to_string(c.columns * c.rows) + " x " + std::to_string(c.factor));
        CrumpleScene s;
        const MeshArrays grid = MakeGridMesh(c.columns - 1, c.rows - 1, 1.0f, c.indices16);
        Vexa_ObjectData& made = Create(s, grid, c.factor, 1.0f);
        EXPECT_EQ(made.GetVertexCount(), c.capacity);
        EXPECT_TRUE(MeshIsSound(made, c.columns * c.rows, static_cast<int>(grid.indices.size())));
    }
}

TEST(MeshWorkingBuffers, UnusableMultipliersAreRefusedWithoutChange) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (auto factors : {std::make_pair(0.0f, 2.0f), std::make_pair(2.0f, -1.0f), std::make_pair(0.5f, 2.0f),
                         std::make_pair(2.0f, nan)}) {
        SCOPED_TRACE(std::to_string(factors.first) + " / " + std::to_string(factors.second));
        CrumpleScene scene;
        const MeshArrays mesh = MakeGridMesh(3, 3, 1.0f);  // white: the colour rule must not run either
        Vexa_ObjectData& o = Create(scene, mesh, factors.first, factors.second);
        EXPECT_EQ(scene.host().showDebugMessage2.Messages(),
                  std::vector<std::string>{"DamageChannel->vertexfactor or indexfactor is 0!, increasing buffers aborted"});
        EXPECT_EQ(scene.Value(kVertexesUsed), 0.0f);
        EXPECT_EQ(o.GetVertexCount(), 16);
        EXPECT_EQ(MeshBytes(o.ToArrays()), MeshBytes(mesh));
    }
}

TEST(MeshWorkingBuffers, ColourRuleAndSetTwo) {
    CrumpleScene scene;
    MeshArrays mesh = MakeGridMesh(1, 1, 1.0f, false, true);
    mesh.colors = {0xFFFFFFFFu, 0xFFFFFFFEu, 0x00FFFFFFu, 0xFF000000u};
    Vexa_ObjectData& o = Create(scene, mesh, 2.0f, 1.0f);
    EXPECT_EQ(std::vector<uint32_t>(o.pColors, o.pColors + 4),
              (std::vector<uint32_t>{0xFF000000u, 0xFFFFFFFEu, 0x00FFFFFFu, 0xFF000000u}));
    EXPECT_EQ(o.TexCoordsLength(2), 8);
    EXPECT_EQ(Bytes(o.pTexCoords2, 4), Bytes(mesh.texCoords2.data(), 4));

    mesh.colors.clear();
    mesh.texCoords2.clear();
    CrumpleScene bare;
    Vexa_ObjectData& made = Create(bare, mesh, 2.0f, 1.0f);
    EXPECT_EQ(made.ColorsLength(), 8);
    for (int v = 0; v < 4; ++v) EXPECT_NE(made.pColors[v], 0xFFFFFFFFu) << "vertex " << v;
    EXPECT_FALSE(made.HasTexCoords(2));
    EXPECT_TRUE(MeshIsSound(made, 4, 6));
}

TEST(MeshGpuUpload, ListedRecordsAndTheWholeIndexArray) {
    auto snapshot = [](const RenderBufferMemory& b) { return std::vector<uint8_t>(b.Data(), b.Data() + b.GetSize()); };
    for (int c = 0; c < 4; ++c) {
        const bool indices16 = c & 1, withTex2 = c & 2;
        SCOPED_TRACE(std::string(indices16 ? "16-bit" : "32-bit") + (withTex2 ? ", set 2" : ""));
        CrumpleScene scene;
        Vexa_ObjectData& o = Create(scene, MakeGridMesh(10, 10, 1.0f, indices16, withTex2), 2.0f, 10.0f);
        Kel_CrumpleTestPeer peer(scene.crumple());
        peer.pObjectData() = &o;
        IDirect3DVertexBuffer9& vb = *o.GetVertexBuffer();
        IDirect3DIndexBuffer9& ib = *o.GetIndexBuffer();
        EXPECT_EQ(ib.GetSize(), indices16 ? 12000u : 24000u);
        for (int v : {10, 11}) {  // 11 changed but not listed
            o.pPositions[v].x = 100.0f;
            if (withTex2) o.pTexCoords2[v].x = 110.0f;
        }
        o.SetIndex(7, 0);
        o.SetIndex(9, 5999);
        const std::vector<uint8_t> before = snapshot(vb);
        std::vector<int> list = {10, -1, o.GetVertexCount()};
        peer.UpdateGPUBuffer(&list);

        const size_t start = withTex2 ? 520 : 440, record = withTex2 ? 52 : 44;
        std::vector<uint8_t> after = snapshot(vb);
        EXPECT_TRUE(RenderBuffersMatch(o, {10}));  // every field, and every index entry at its width
        std::memcpy(&after[start], &before[start], record);
        EXPECT_EQ(after, before);  // nothing but record 10 written, at 440 or 520

        // A refused lock leaves its buffer untouched.
        KorvaneTestAccess::SetLockFails(vb, true);
        KorvaneTestAccess::SetLockFails(ib, true);
        o.pPositions[10].x = -1.0f;
        o.SetIndex(8, 0);
        const std::vector<uint8_t> vertexBytes = snapshot(vb), indexBytes = snapshot(ib);
        peer.UpdateGPUBuffer(&list);
        EXPECT_EQ(snapshot(vb), vertexBytes);
        EXPECT_EQ(snapshot(ib), indexBytes);
    }
}

TEST(MeshDamageReset, RestoresTheOriginalAndReopensBufferCreation) {
    for (int c = 0; c < 4; ++c) {
        const bool cut = c >= 2;  // child 28 disconnected, or the same object as child 2: nothing changes
        SCOPED_TRACE(c == 0 ? "16-bit" : c == 1 ? "32-bit" : c == 2 ? "child 28 disconnected" : "child 28 is child 2");
        CrumpleScene scene;
        const MeshArrays mesh = MakeGridMesh(4, 4, 1.0f, c == 0, true);
        Vexa_ObjectData& o = Create(scene, mesh, 2.0f, 3.0f);
        o.pPositions[4] = D3DXVECTOR3(9.0f, -9.0f, 9.0f);
        for (int child : {kVertexesUsed, kIndexesUsed, kCumulativeImpact, kHolesUnderWater}) scene.SetValue(child, 7.0f);
        const std::vector<uint8_t> damaged = MeshBytes(o.ToArrays());
        if (c == 2) scene.channel()->DisconnectChild(kOriginalObjectData);
        if (c == 3) scene.channel()->SetChild(kOriginalObjectData, scene.channel()->GetChildShared(kObjectData));

        scene.crumple().ClearDamage();
        EXPECT_EQ(MeshBytes(o.ToArrays()), cut ? damaged : MeshBytes(mesh));
        EXPECT_EQ(o.GetVertexCount(), cut ? 50 : 25);
        for (int child : {kVertexesUsed, kCumulativeImpact, kHolesUnderWater})
            EXPECT_EQ(scene.Value(child), cut ? 7.0f : 0.0f) << "child " << child;
        EXPECT_EQ(scene.Value(kIndexesUsed), 7.0f);
        if (cut) continue;
        EXPECT_TRUE(RenderBuffersMatch(o, {0, 6, 12, 24}));

        scene.Update();  // prepares the buffers again rather than damaging
        EXPECT_EQ(o.GetVertexCount(), 50);
        EXPECT_EQ(scene.Value(kIndexesUsed), 96.0f);
        EXPECT_TRUE(scene.host().showDebugMessage1.Messages().empty());
    }
}
