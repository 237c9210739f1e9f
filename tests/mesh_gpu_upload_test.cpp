// Upload of a pass's changes into the render buffers: record layout, index
// widths, which records are written, and refused locks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "crumple_test_peer.h"
#include "mesh_invariants.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

namespace {

// A grid with working buffers made (multipliers 2 and `indexFactor`), its
// render buffers in place, and the channel pointed at it as a pass would be.
void Prepare(CrumpleScene& scene, bool indices16, bool withTex2, float indexFactor = 3.0f) {
    scene.SetMesh(MakeGridMesh(10, 10, 1.0f, indices16, withTex2));
    scene.SetDefaultSettings();
    scene.SetValue(kIndexMultiplier, indexFactor);
    scene.Update();
    Kel_CrumpleTestPeer(scene.crumple()).pObjectData() = scene.Object();
    scene.Object()->GetVertexBuffer();
    scene.Object()->GetIndexBuffer();
}

std::vector<uint8_t> Snapshot(const RenderBufferMemory& buffer) {
    return std::vector<uint8_t>(buffer.Data(), buffer.Data() + buffer.GetSize());
}

// Gives vertex v attribute values no other vertex has.
void Mark(Vexa_ObjectData& o, int v, float seed) {
    o.pPositions[v] = D3DXVECTOR3(seed, seed + 1, seed + 2);
    o.pNormals[v] = D3DXVECTOR3(seed + 3, seed + 4, seed + 5);
    o.pColors[v] = 0xA1B2C3D4u;
    o.pTexCoords0[v] = D3DXVECTOR2(seed + 6, seed + 7);
    o.pTexCoords1[v] = D3DXVECTOR2(seed + 8, seed + 9);
    if (o.pTexCoords2) o.pTexCoords2[v] = D3DXVECTOR2(seed + 10, seed + 11);
}

float FloatAt(const RenderBufferMemory& buffer, size_t at) {
    float f;
    std::memcpy(&f, buffer.Data() + at, sizeof(f));
    return f;
}

}  // namespace

TEST(MeshGpuUpload, RecordLayoutWithAndWithoutSetTwo) {
    for (bool withTex2 : {false, true}) {
        SCOPED_TRACE(withTex2 ? "with set 2" : "without set 2");
        CrumpleScene scene;
        Prepare(scene, false, withTex2);
        Vexa_ObjectData& o = *scene.Object();
        IDirect3DVertexBuffer9& vb = *o.CurrentVertexBuffer();
        Mark(o, 10, 100.0f);
        Mark(o, 11, 200.0f);  // changed but not listed
        const std::vector<uint8_t> before = Snapshot(vb);

        std::vector<int> list = {10, 10, -1, o.GetVertexCount(), 1 << 30};
        Kel_CrumpleTestPeer(scene.crumple()).UpdateGPUBuffer(&list);

        // Field order and offsets are checked by RenderBuffersMatch; here the start.
        const size_t start = withTex2 ? 520 : 440;
        EXPECT_EQ(FloatAt(vb, start), 100.0f);
        EXPECT_EQ(FloatAt(vb, start + 40), 109.0f);
        if (withTex2) {
            EXPECT_EQ(FloatAt(vb, 564), 110.0f);
        }
        EXPECT_TRUE(RenderBuffersMatch(o, {10}));
        // Only record 10 changed; out-of-range entries wrote nothing.
        const size_t record = withTex2 ? 52 : 44;
        std::vector<uint8_t> after = Snapshot(vb);
        std::memcpy(&after[start], &before[start], record);
        EXPECT_EQ(after, before);
        EXPECT_FALSE(vb.IsLocked());
        EXPECT_FALSE(o.CurrentIndexBuffer()->IsLocked());
    }
}

TEST(MeshGpuUpload, WholeIndexArrayAtItsOwnWidth) {
    for (bool indices16 : {true, false}) {
        SCOPED_TRACE(indices16 ? "16-bit" : "32-bit");
        CrumpleScene scene;
        Prepare(scene, indices16, false, 10.0f);  // 600 indices, room for 6000
        Vexa_ObjectData& o = *scene.Object();
        ASSERT_EQ(o.GetIndexCount(), 6000);
        IDirect3DIndexBuffer9& ib = *o.CurrentIndexBuffer();
        EXPECT_EQ(ib.GetSize(), indices16 ? 12000u : 24000u);
        const std::vector<uint8_t> vertexBytes = Snapshot(*o.CurrentVertexBuffer());
        const int vertexLocks = o.CurrentVertexBuffer()->LockCount();

        o.SetIndex(7, 0);
        o.SetIndex(9, 5999);  // spare entries go up too
        std::vector<int> empty;
        Kel_CrumpleTestPeer(scene.crumple()).UpdateGPUBuffer(&empty);
        EXPECT_TRUE(RenderBuffersMatch(o, {}));
        EXPECT_EQ(ib.Data()[0], 7);
        EXPECT_EQ(ib.Data()[indices16 ? 11998 : 23996], 9);
        EXPECT_EQ(ib.LockCount(), 1);
        // The vertex buffer is locked but no record is written.
        EXPECT_EQ(o.CurrentVertexBuffer()->LockCount(), vertexLocks + 1);
        EXPECT_EQ(Snapshot(*o.CurrentVertexBuffer()), vertexBytes);
    }
}

TEST(MeshGpuUpload, RefusedLockLeavesThatBufferAlone) {
    for (bool vertexFails : {true, false}) {
        SCOPED_TRACE(vertexFails ? "vertex lock fails" : "index lock fails");
        CrumpleScene scene;
        Prepare(scene, true, true);
        Vexa_ObjectData& o = *scene.Object();
        IDirect3DVertexBuffer9& vb = *o.CurrentVertexBuffer();
        IDirect3DIndexBuffer9& ib = *o.CurrentIndexBuffer();
        (vertexFails ? static_cast<RenderBufferMemory&>(vb) : ib).SetLockFails(true);
        Mark(o, 3, 1.0f);
        o.SetIndex(42, 0);
        const std::vector<uint8_t> vertexBytes = Snapshot(vb), indexBytes = Snapshot(ib);

        std::vector<int> list = {3};
        Kel_CrumpleTestPeer(scene.crumple()).UpdateGPUBuffer(&list);
        EXPECT_FALSE(vb.IsLocked());
        EXPECT_FALSE(ib.IsLocked());
        if (vertexFails) {
            EXPECT_EQ(Snapshot(vb), vertexBytes);
            EXPECT_NE(Snapshot(ib), indexBytes);
        } else {
            EXPECT_EQ(Snapshot(ib), indexBytes);
            EXPECT_EQ(FloatAt(vb, 3 * 52), 1.0f);
        }
    }
}
