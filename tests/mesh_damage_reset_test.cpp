// Undoing the damage: the undamaged mesh comes back exactly, the counters
// return to "no working buffers", and incomplete set-ups change nothing.
#include <gtest/gtest.h>

#include <memory>

#include "mesh_invariants.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

namespace {

// Field by field; MeshArrays has no comparison of its own.
::testing::AssertionResult SameMesh(const MeshArrays& a, const MeshArrays& b) {
    auto bytes = [](const auto& v) {
        return std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(v.data()),
                                    reinterpret_cast<const uint8_t*>(v.data() + v.size()));
    };
    if (bytes(a.positions) != bytes(b.positions)) return ::testing::AssertionFailure() << "positions differ";
    if (bytes(a.normals) != bytes(b.normals)) return ::testing::AssertionFailure() << "normals differ";
    if (bytes(a.texCoords0) != bytes(b.texCoords0)) return ::testing::AssertionFailure() << "set 0 differs";
    if (bytes(a.texCoords1) != bytes(b.texCoords1)) return ::testing::AssertionFailure() << "set 1 differs";
    if (bytes(a.texCoords2) != bytes(b.texCoords2)) return ::testing::AssertionFailure() << "set 2 differs";
    if (a.colors != b.colors) return ::testing::AssertionFailure() << "colours differ";
    if (a.indices != b.indices) return ::testing::AssertionFailure() << "indices differ";
    return ::testing::AssertionSuccess();
}

// Working buffers made, then the used part scribbled over as damage would.
void DamagedScene(CrumpleScene& scene, const MeshArrays& mesh) {
    scene.SetMesh(mesh);
    scene.SetDefaultSettings();
    scene.Update();
    Vexa_ObjectData& o = *scene.Object();
    o.pPositions[4] = D3DXVECTOR3(9.0f, -9.0f, 9.0f);
    o.pColors[4] = 0x12345678u;
    if (o.pTexCoords2) o.pTexCoords2[4] = D3DXVECTOR2(-5.0f, 5.0f);
    o.SetIndex(20, 0);
    scene.SetValue(kVertexesUsed, 21.0f);
    scene.SetValue(kIndexesUsed, 123.0f);
    scene.SetValue(kCumulativeImpact, 5.0f);
    scene.SetValue(kHolesUnderWater, 6.0f);
    scene.SetValue(kCollisionRadius, 7.0f);
}

}  // namespace

TEST(MeshDamageReset, RestoresTheUndamagedMeshAndReopensBufferCreation) {
    for (bool indices16 : {false, true}) {
        SCOPED_TRACE(indices16 ? "16-bit" : "32-bit");
        CrumpleScene scene;
        const MeshArrays mesh = MakeGridMesh(4, 4, 1.0f, indices16, true);
        DamagedScene(scene, mesh);
        ASSERT_EQ(scene.Object()->GetVertexCount(), 50);

        scene.crumple().ClearDamage();
        Vexa_ObjectData& o = *scene.Object();
        EXPECT_EQ(o.GetVertexCount(), 25);
        EXPECT_EQ(o.GetIndexCount(), 96);
        // Colours come back white: the colour rule belongs to buffer creation.
        EXPECT_TRUE(SameMesh(o.ToArrays(), scene.Original()->ToArrays()));
        EXPECT_TRUE(SameMesh(o.ToArrays(), mesh));
        EXPECT_TRUE(MeshIsSound(o, 25, 96));
        std::vector<int> all;
        for (int v = 0; v < 25; ++v) all.push_back(v);
        EXPECT_TRUE(RenderBuffersMatch(o, all));
        EXPECT_EQ(scene.Value(kVertexesUsed), 0.0f);
        EXPECT_EQ(scene.Value(kCumulativeImpact), 0.0f);
        EXPECT_EQ(scene.Value(kHolesUnderWater), 0.0f);
        EXPECT_EQ(scene.Value(kIndexesUsed), 123.0f);
        EXPECT_EQ(scene.Value(kCollisionRadius), 7.0f);

        // The next update prepares the buffers again rather than damaging.
        scene.Update();
        EXPECT_EQ(o.GetVertexCount(), 50);
        EXPECT_EQ(scene.Value(kVertexesUsed), 25.0f);
        EXPECT_EQ(scene.Value(kIndexesUsed), 96.0f);
        EXPECT_EQ(o.pColors[0], 0xFF000000u);
        EXPECT_TRUE(scene.host().showDebugMessage1.Messages().empty());
        EXPECT_TRUE(MeshIsSound(o, 25, 96));
    }
}

TEST(MeshDamageReset, IncompleteOriginalComesBackAsZeros) {
    // An original without colours and set 1; the working copy gained both.
    CrumpleScene scene;
    MeshArrays mesh = MakeGridMesh(3, 3, 1.0f);
    mesh.colors.clear();
    mesh.texCoords1.clear();
    DamagedScene(scene, mesh);
    scene.crumple().ClearDamage();

    Vexa_ObjectData& o = *scene.Object();
    ASSERT_EQ(o.GetVertexCount(), 16);
    ASSERT_TRUE(scene.Original()->HasVertexColors());
    MeshArrays expected = mesh;
    expected.colors.assign(16, 0u);
    expected.texCoords1.assign(16, D3DXVECTOR2(0.0f, 0.0f));
    EXPECT_TRUE(SameMesh(o.ToArrays(), expected));
    EXPECT_TRUE(MeshIsSound(o, 16, 54));
}

TEST(MeshDamageReset, MissingChildOrUnusableOriginalChangesNothing) {
    for (int missing : {kCumulativeImpact, kHolesUnderWater, kOriginalObjectData, kObjectData, kVertexesUsed}) {
        SCOPED_TRACE(missing);
        CrumpleScene scene;
        DamagedScene(scene, MakeGridMesh(4, 4, 1.0f));
        std::shared_ptr<Vexa_Channel> keep = scene.channel()->GetChildShared(kObjectData);
        auto& o = static_cast<Vexa_ObjectData&>(*keep);
        const MeshArrays before = o.ToArrays();
        scene.channel()->DisconnectChild(missing);

        scene.crumple().ClearDamage();
        EXPECT_TRUE(SameMesh(o.ToArrays(), before));
        EXPECT_EQ(o.GetVertexCount(), 50);
        EXPECT_EQ(o.ReleaseBuffersCalls(), 1);  // only the one of buffer creation
        if (missing != kVertexesUsed) {
            EXPECT_EQ(scene.Value(kVertexesUsed), 21.0f);
        }
        if (missing != kCumulativeImpact) {
            EXPECT_EQ(scene.Value(kCumulativeImpact), 5.0f);
        }
    }

    // An original without vertices cannot be put back; the same object in
    // both slots has nothing to restore from.
    for (bool sameObject : {false, true}) {
        SCOPED_TRACE(sameObject ? "same object" : "empty original");
        CrumpleScene scene;
        DamagedScene(scene, MakeGridMesh(4, 4, 1.0f));
        scene.channel()->SetChild(kOriginalObjectData, sameObject ? scene.channel()->GetChildShared(kObjectData)
                                                                  : Vexa_ObjectData::FromArrays(MeshArrays{}));
        const MeshArrays before = scene.Object()->ToArrays();
        scene.crumple().ClearDamage();
        EXPECT_TRUE(SameMesh(scene.Object()->ToArrays(), before));
        EXPECT_EQ(scene.Value(kVertexesUsed), 21.0f);
        EXPECT_EQ(scene.Value(kHolesUnderWater), 6.0f);
    }
}
