// The records the plug-in hands the host, byte for byte, and the instances
// InitDLL makes, all through the real loading path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_scene.h"

namespace {

std::vector<uint8_t> Bytes(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(p, p + size);
}

void PutGuid(std::vector<uint8_t>& out, size_t at, const char* text) {
    GUID g;
    ASSERT_TRUE(GuidFromString(text, &g));
    std::memcpy(&out[at], &g, sizeof(g));
}

void PutInt(std::vector<uint8_t>& out, size_t at, int32_t value) { std::memcpy(&out[at], &value, sizeof(value)); }

// Writes `text` and its terminator over the front of the field only, as a
// reused record is rewritten.
void Overwrite(std::vector<uint8_t>& out, size_t at, const char* text) {
    std::memcpy(&out[at], text, std::strlen(text) + 1);
}

const char* const kCrumpleId = "EAAE514A-3600-435E-9243-44506AD31AFD";
const char* const kValueId = "BE69CCC4-CFC1-4362-AC81-767D199BBFC3";
const char* const kVectorId = "9D045960-EAC2-4C40-9BBF-10F32F7FA305";
const char* const kObjectId = "21A8923D-B908-4104-AE88-B6718D8A8678";

struct ExpectedChild {
    const char* name;
    const char* type;
    const char* id;
};

const ExpectedChild kExpected[29] = {
    {"Collision position", "Value Vector", kVectorId},
    {"Collision normal", "Value Vector", kVectorId},
    {"Object Data", "3D ObjectData", kObjectId},
    {"Mass Body 1", "Value", kValueId},
    {"Mass Body 2", "Value", kValueId},
    {"Max Impact Speed", "Value", kValueId},
    {"Apply Dents? (0/1)", "Value", kValueId},
    {"Apply Alpha Damage? (0/1)", "Value", kValueId},
    {"Apply Holes? (0/1)", "Value", kValueId},
    {"Number of passes (0-2)", "Value", kValueId},
    {"Impact factor", "Value", kValueId},
    {"Impact radius factor", "Value", kValueId},
    {"Dent radius factor", "Value", kValueId},
    {"Dent factor", "Value", kValueId},
    {"Dent angle (0-1)", "Value", kValueId},
    {"Max dent", "Value", kValueId},
    {"Vertex multiplier", "Value", kValueId},
    {"Index multiplier", "Value", kValueId},
    {"Alpha damage value (0-255)", "Value", kValueId},
    {"Min triangle size", "Value", kValueId},
    {"Hole treshold", "Value", kValueId},
    {"Min red value (0-255)", "Value", kValueId},
    {"Current vertexes used", "Value", kValueId},
    {"Current indexes used", "Value", kValueId},
    {"Cumulative Collision Impact", "Value", kValueId},
    {"Cumulative holes under water", "Value", kValueId},
    {"Collision radius - debug", "Value", kValueId},
    {"New collision position - debug", "Value Vector", kVectorId},
    {"Original Object Data - debug", "3D ObjectData", kObjectId},
};

}  // namespace

TEST(PluginRecords, TypeRecordIsRewrittenInPlaceLeavingHostBytes) {
    ChannelType* record = LoadedPlugin().GetType();
    ASSERT_NE(record, nullptr);

    std::vector<uint8_t> expected(132, 0);
    Overwrite(expected, 0, "Crumple");
    PutGuid(expected, 80, kCrumpleId);
    PutGuid(expected, 96, kCrumpleId);
    PutInt(expected, 120, 7);
    EXPECT_EQ(Bytes(record, sizeof(*record)), expected);

    // Scribble over everything; the next call restores its own fields at the
    // same address and leaves the host's reserved bytes as they now are.
    std::memset(static_cast<void*>(record), 0xAB, sizeof(*record));
    ChannelType* again = LoadedPlugin().GetType();
    EXPECT_EQ(again, record);
    std::vector<uint8_t> scribbled = expected;
    std::memset(&scribbled[112], 0xAB, 8);
    std::memset(&scribbled[124], 0xAB, 4);
    EXPECT_EQ(Bytes(again, sizeof(*again)), scribbled);

    std::memset(record->reserved0, 0, sizeof(record->reserved0));
    std::memset(record->reserved1, 0, sizeof(record->reserved1));
    EXPECT_EQ(Bytes(LoadedPlugin().GetType(), sizeof(ChannelType)), expected);
}

TEST(PluginRecords, ConstructorDescribesTwentyNineChildrenThroughOneReusedRecord) {
    CrumpleScene scene;
    Vexa_Channel* channel = scene.channel();
    EXPECT_EQ(channel->GetSetChannelNameCalls(), 1);
    EXPECT_EQ(channel->GetChannelName(), "Crumple");
    EXPECT_EQ(channel->GetSetChildCreationCountCalls(), 1);
    EXPECT_EQ(channel->GetRequestedChildCreationCount(), 1);

    const auto& calls = channel->GetChildCreateCalls();
    ASSERT_EQ(calls.size(), 29u);

    // The record as the host's constructor makes it, then rewritten in front
    // only, child by child: leftovers of longer names stay behind the NUL.
    std::vector<uint8_t> expected(264, 0);
    std::memset(&expected[80], 0x11, 32);
    PutInt(expected, 132, -1);
    PutInt(expected, 260, 1);
    for (int i = 0; i < 29; ++i) {
        SCOPED_TRACE("child " + std::to_string(i));
        Overwrite(expected, 0, kExpected[i].type);
        PutGuid(expected, 80, kExpected[i].id);
        PutInt(expected, 132, i);
        expected[137] = 1;
        Overwrite(expected, 138, kExpected[i].name);

        EXPECT_EQ(calls[static_cast<size_t>(i)].second, i);
        EXPECT_EQ(Bytes(&calls[static_cast<size_t>(i)].first, sizeof(ChildCreation)), expected);
    }
}

TEST(PluginRecords, InitDllMakesDistinctDescribedInstances) {
    auto initDll = reinterpret_cast<InitDLLFunc>(LoadedPlugin().FindSymbol("InitDLL"));
    ASSERT_NE(initDll, nullptr);
    DllInterface* a = initDll();
    DllInterface* b = initDll();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    for (DllInterface* made : {a, b}) {
        auto* channel = dynamic_cast<Vexa_Channel*>(made);
        ASSERT_NE(channel, nullptr);
        // The channel and interface parts start at the same address.
        EXPECT_EQ(static_cast<void*>(channel), static_cast<void*>(made));
        EXPECT_EQ(channel->GetChildCreateCalls().size(), 29u);
    }
    // The host frees instances through the virtual destructor only.
    delete a;
    delete b;
}
