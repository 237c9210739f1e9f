// The channel object's copies and persistence, and the per-update choice
// between buffer creation and a damage pass.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <string>

#include "crumple_test_peer.h"
#include "host/channel_file.h"
#include "mesh_invariants.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

namespace {

const char kNoDamage[] = "Alpha & Dent & Hole = 0 -> no damage applied";

std::string TempPath(const char* name) { return ::testing::TempDir() + "crumple_" + name; }

}  // namespace

TEST(PluginChannel, CopiesOwnAnIndependentLookupTable) {
    using Table = std::vector<std::vector<int>>;
    CrumpleScene scene;
    Kel_CrumpleTestPeer source(scene.crumple());
    source.vIndexLookupTable() = {{0, 3, 6}, {1}, {}};
    source.fImpactFactor() = 2.5f;
    source.pObjectData() = scene.Object();

    {
        Kel_Crumple copy(scene.crumple());
        Kel_CrumpleTestPeer peer(copy);
        EXPECT_EQ(peer.vIndexLookupTable(), source.vIndexLookupTable());
        EXPECT_EQ(peer.fImpactFactor(), 2.5f);
        EXPECT_EQ(peer.pObjectData(), scene.Object());
        EXPECT_EQ(copy.GetChild(kVertexMultiplier), scene.channel()->GetChild(kVertexMultiplier));
        peer.vIndexLookupTable()[0].push_back(99);
        peer.vIndexLookupTable()[1][0] = 7;
    }
    // Changed, then destroyed: the source's table is as it was.
    EXPECT_EQ(source.vIndexLookupTable(), (Table{{0, 3, 6}, {1}, {}}));

    Kel_Crumple target;
    Kel_CrumpleTestPeer targetPeer(target);
    targetPeer.vIndexLookupTable() = {{5, 5}, {4}, {3}, {2}};
    EXPECT_EQ(&(target = scene.crumple()), &target);
    EXPECT_EQ(targetPeer.fImpactFactor(), 2.5f);
    EXPECT_EQ(target.GetChild(kObjectData), scene.channel()->GetChild(kObjectData));
    source.vIndexLookupTable()[2].push_back(8);
    source.vIndexLookupTable().clear();
    EXPECT_EQ(targetPeer.vIndexLookupTable(), (Table{{0, 3, 6}, {1}, {}}));
}

TEST(PluginChannel, SaveAndLoadPassTheBaseVerdictOn) {
    CrumpleScene scene;
    scene.SetValue(kVertexMultiplier, 1.75f);
    Kel_CrumpleTestPeer peer(scene.crumple());
    peer.vIndexLookupTable() = {{1, 2}};
    peer.fVertexFactor() = 4.0f;

    const std::string path = TempPath("save_load.bin");
    {
        VexaFileSaver saver(path);
        EXPECT_TRUE(scene.channel()->SaveChannel(saver));
        ASSERT_TRUE(saver.Close());
    }
    scene.SetValue(kVertexMultiplier, 9.0f);
    {
        VexaFileLoader loader(path);
        EXPECT_TRUE(scene.channel()->LoadChannel(loader, nullptr));
    }
    EXPECT_EQ(scene.Value(kVertexMultiplier), 1.75f);
    // Loading resets nothing of the channel's own.
    EXPECT_EQ(peer.vIndexLookupTable(), (std::vector<std::vector<int>>{{1, 2}}));
    EXPECT_EQ(peer.fVertexFactor(), 4.0f);

    // Failures of the base come through: a cut-short file, an unwritable path.
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const std::string cut = TempPath("cut.bin");
    std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
    {
        VexaFileLoader loader(cut);
        EXPECT_FALSE(scene.channel()->LoadChannel(loader, nullptr));
    }
    VexaFileSaver nowhere(::testing::TempDir() + "no-such-dir/crumple.bin");
    EXPECT_FALSE(scene.channel()->SaveChannel(nowhere));
    std::remove(path.c_str());
    std::remove(cut.c_str());
}

TEST(PluginChannel, ChildTwentyTwoChoosesBufferCreationOrDamagePass) {
    // -0.0 counts as "no buffers yet".
    {
        CrumpleScene scene;
        scene.SetMesh(MakeGridMesh(4, 4, 1.0f));
        scene.SetDefaultSettings();
        scene.SetValue(kVertexesUsed, -0.0f);
        scene.Update();
        EXPECT_EQ(scene.Value(kVertexesUsed), 25.0f);
        EXPECT_EQ(scene.Value(kIndexesUsed), 96.0f);
        EXPECT_EQ(scene.Object()->GetVertexCount(), 50);
        EXPECT_EQ(scene.Object()->GetIndexCount(), 288);
        EXPECT_TRUE(MeshIsSound(*scene.Object(), 25, 96));
        EXPECT_TRUE(scene.host().showDebugMessage1.Messages().empty());
    }
    // Anything else runs the pass, which here reports that every switch is off;
    // the multipliers are cached even though the pass does not use them.
    for (float used : {std::numeric_limits<float>::quiet_NaN(), 0.5f, -1.0f}) {
        SCOPED_TRACE(used);
        CrumpleScene scene;
        scene.SetMesh(MakeGridMesh(2, 2, 1.0f));
        scene.SetDefaultSettings();
        scene.SetValue(kApplyDents, 0.0f);
        scene.SetValue(kVertexMultiplier, 1.25f);
        scene.SetValue(kIndexMultiplier, 0.0f);
        scene.SetValue(kVertexesUsed, used);
        scene.Update();
        EXPECT_EQ(scene.host().showDebugMessage1.Messages(), std::vector<std::string>{kNoDamage});
        EXPECT_TRUE(scene.host().showDebugMessage2.Messages().empty());
        EXPECT_EQ(scene.Object()->GetVertexCount(), 9);
        Kel_CrumpleTestPeer peer(scene.crumple());
        EXPECT_EQ(peer.fVertexFactor(), 1.25f);
        EXPECT_EQ(peer.fIndexFactor(), 0.0f);
    }
}

TEST(PluginChannel, MissingMultiplierOrCounterChildDoesNothing) {
    for (int missing : {kVertexMultiplier, kIndexMultiplier, kVertexesUsed}) {
        SCOPED_TRACE(missing);
        CrumpleScene scene;
        scene.SetMesh(MakeGridMesh(2, 2, 1.0f));
        scene.SetDefaultSettings();
        scene.SetValue(kVertexMultiplier, 0.0f);  // would give a message if reached
        Kel_CrumpleTestPeer peer(scene.crumple());
        peer.fVertexFactor() = 42.0f;
        scene.channel()->DisconnectChild(missing);
        scene.Update();
        EXPECT_EQ(peer.fVertexFactor(), 42.0f);
        EXPECT_TRUE(scene.host().showDebugMessage1.Messages().empty());
        EXPECT_TRUE(scene.host().showDebugMessage2.Messages().empty());
        EXPECT_EQ(scene.Object()->GetVertexCount(), 9);
    }
    // A child of the wrong type counts as missing.
    CrumpleScene scene;
    scene.SetMesh(MakeGridMesh(2, 2, 1.0f));
    scene.SetDefaultSettings();
    scene.channel()->SetChild(kIndexMultiplier, std::make_shared<Vexa_ValueVector>());
    scene.Update();
    EXPECT_EQ(scene.Object()->GetVertexCount(), 9);
    EXPECT_EQ(scene.Value(kVertexesUsed), 0.0f);
}
