// The plug-in frame through the real loading path: the records it hands the
// host byte for byte, its instances and copies, and the per-update choice
// between buffer creation and a damage pass.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "crumple_test_peer.h"
#include "korvane_test_access.h"
#include "support/guid_text.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

namespace {

std::vector<uint8_t> Bytes(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(p, p + size);
}

void Put(std::vector<uint8_t>& out, size_t at, const void* data, size_t size) { std::memcpy(&out[at], data, size); }
void PutGuid(std::vector<uint8_t>& out, size_t at, const char* text) {
    GUID g;
    ASSERT_TRUE(GuidFromString(text, &g));
    Put(out, at, &g, sizeof(g));
}
void PutInt(std::vector<uint8_t>& out, size_t at, int32_t value) { Put(out, at, &value, sizeof(value)); }
// Text and terminator over the front of the field only, as a reused record is rewritten.
void PutText(std::vector<uint8_t>& out, size_t at, const char* text) { Put(out, at, text, std::strlen(text) + 1); }

const char kCrumpleId[] = "EAAE514A-3600-435E-9243-44506AD31AFD";
const char* const kChildNames[kChildCount] = {
    "Collision position", "Collision normal", "Object Data", "Mass Body 1", "Mass Body 2", "Max Impact Speed",
    "Apply Dents? (0/1)", "Apply Alpha Damage? (0/1)", "Apply Holes? (0/1)", "Number of passes (0-2)",
    "Impact factor", "Impact radius factor", "Dent radius factor", "Dent factor", "Dent angle (0-1)", "Max dent",
    "Vertex multiplier", "Index multiplier", "Alpha damage value (0-255)", "Min triangle size", "Hole treshold",
    "Min red value (0-255)", "Current vertexes used", "Current indexes used", "Cumulative Collision Impact",
    "Cumulative holes under water", "Collision radius - debug", "New collision position - debug",
    "Original Object Data - debug"};

}  // namespace

TEST(PluginRecords, TypeRecordRewrittenAtOneAddress) {
    ChannelType* record = LoadedPlugin().GetType();
    ASSERT_NE(record, nullptr);
    std::vector<uint8_t> expected(132, 0);
    PutText(expected, 0, "Crumple");
    PutGuid(expected, 80, kCrumpleId);
    PutGuid(expected, 96, kCrumpleId);
    PutInt(expected, 120, 7);
    EXPECT_EQ(Bytes(record, sizeof(*record)), expected);
    std::memset(record->szName, 0xAB, sizeof(record->szName));  // the padding is rewritten too
    EXPECT_EQ(LoadedPlugin().GetType(), record);
    EXPECT_EQ(Bytes(record, sizeof(*record)), expected);

}

TEST(PluginRecords, TwentyNineChildrenThroughOneReusedRecord) {
    CrumpleScene scene, other;
    Vexa_Channel* channel = scene.channel();
    EXPECT_NE(other.channel(), channel);
    EXPECT_EQ(KorvaneTestAccess::SetChannelNameCalls(*channel), 1);
    EXPECT_EQ(channel->GetChannelName(), "Crumple");
    EXPECT_EQ(KorvaneTestAccess::SetChildCreationCountCalls(*channel), 1);
    EXPECT_EQ(channel->GetRequestedChildCreationCount(), 1);
    const auto& calls = channel->GetChildCreateCalls();
    ASSERT_EQ(calls.size(), 29u);

    // The host's default record, rewritten in front only, child by child:
    // leftovers of longer names stay behind the terminator.
    std::vector<uint8_t> expected(264, 0);
    std::memset(&expected[80], 0x11, 32);  // both type identifiers
    PutInt(expected, 260, 1);              // iExtra2
    for (int i = 0; i < kChildCount; ++i) {
        SCOPED_TRACE("child " + std::to_string(i));
        const bool vector = i == 0 || i == 1 || i == 27, object = i == 2 || i == 28;
        PutText(expected, 0, vector ? "Value Vector" : object ? "3D ObjectData" : "Value");
        PutGuid(expected, 80, vector   ? "9D045960-EAC2-4C40-9BBF-10F32F7FA305"
                              : object ? "21A8923D-B908-4104-AE88-B6718D8A8678"
                                       : "BE69CCC4-CFC1-4362-AC81-767D199BBFC3");
        PutInt(expected, 132, i);
        expected[137] = 1;  // bFlag2
        PutText(expected, 138, kChildNames[i]);
        EXPECT_EQ(calls[static_cast<size_t>(i)].second, i);
        EXPECT_EQ(Bytes(&calls[static_cast<size_t>(i)].first, sizeof(ChildCreation)), expected);
    }
}

TEST(PluginChannel, CopyAndAssignmentOwnTheirLookupTable) {
    using Table = std::vector<std::vector<int>>;
    CrumpleScene scene;
    Kel_CrumpleTestPeer source(scene.crumple());
    source.vIndexLookupTable() = {{0, 3, 6}, {1}, {}};
    Kel_Crumple copy(scene.crumple());
    Kel_Crumple assigned;
    Kel_CrumpleTestPeer(assigned).vIndexLookupTable() = {{5, 5}, {4}, {3}, {2}};
    assigned = scene.crumple();
    source.vIndexLookupTable()[0].push_back(9);
    for (Kel_Crumple* c : {&copy, &assigned}) {
        EXPECT_EQ(Kel_CrumpleTestPeer(*c).vIndexLookupTable(), (Table{{0, 3, 6}, {1}, {}}));
        EXPECT_EQ(c->GetChild(kObjectData), scene.channel()->GetChild(kObjectData));  // children are shared
        Kel_CrumpleTestPeer(*c).vIndexLookupTable()[1][0] = 7;
    }
    EXPECT_EQ(source.vIndexLookupTable(), (Table{{0, 3, 6, 9}, {1}, {}}));
}

TEST(PluginChannel, CallChannelCreatesBuffersOnlyAtZeroAndNeedsItsChildren) {
    const std::vector<std::string> none, noDamage{"Alpha & Dent & Hole = 0 -> no damage applied"};
    for (float used : {-0.0f, std::numeric_limits<float>::quiet_NaN(), 0.5f, 0.0f}) {
        SCOPED_TRACE(used);
        const bool cut = used == 0.0f && !std::signbit(used);  // +0 runs with child 17 disconnected
        CrumpleScene scene;
        scene.SetMesh(MakeGridMesh(4, 4, 1.0f));
        scene.SetDefaultSettings();
        scene.SetValue(kApplyDents, 0.0f);
        scene.SetValue(kVertexesUsed, used);
        if (cut) scene.channel()->DisconnectChild(kIndexMultiplier);
        scene.Update();
        const bool creates = used == 0.0f && !cut;
        EXPECT_EQ(scene.Object()->GetVertexCount(), creates ? 50 : 25);
        EXPECT_EQ(scene.host().showDebugMessage1.Messages(), creates || cut ? none : noDamage);
        EXPECT_TRUE(scene.host().showDebugMessage2.Messages().empty());
        EXPECT_EQ(Kel_CrumpleTestPeer(scene.crumple()).fVertexFactor(), cut ? 0.0f : 2.0f);  // not even read
    }
}
