// Byte layouts of the records the host shares with plug-ins, and GUID text.
#include <gtest/gtest.h>

#include <cstring>

#include "host/channel_records.h"

namespace {

std::vector<uint8_t> Bytes(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(p, p + size);
}

}  // namespace

TEST(HostRecords, GuidTextAndByteLayout) {
    GUID g;
    ASSERT_TRUE(GuidFromString("be69ccc4-CFC1-4362-ac81-767D199BBFC3", &g));
    const std::vector<uint8_t> expected = {0xC4, 0xCC, 0x69, 0xBE, 0xC1, 0xCF, 0x62, 0x43,
                                           0xAC, 0x81, 0x76, 0x7D, 0x19, 0x9B, 0xBF, 0xC3};
    EXPECT_EQ(Bytes(&g, sizeof(g)), expected);
    EXPECT_EQ(GuidToString(g), "BE69CCC4-CFC1-4362-AC81-767D199BBFC3");
    EXPECT_TRUE(g == kGuidValue);

    // The three host identifiers survive text round trips and are distinct.
    for (const GUID* known : {&kGuidValue, &kGuidValueVector, &kGuidObjectData}) {
        GUID back;
        ASSERT_TRUE(GuidFromString(GuidToString(*known).c_str(), &back));
        EXPECT_TRUE(back == *known);
    }
    EXPECT_EQ(GuidToString(kGuidValueVector), "9D045960-EAC2-4C40-9BBF-10F32F7FA305");
    EXPECT_EQ(GuidToString(kGuidObjectData), "21A8923D-B908-4104-AE88-B6718D8A8678");
    EXPECT_TRUE(kGuidValue != kGuidObjectData);

    // Only the exact 8-4-4-4-12 form is accepted, and a refusal leaves *out alone.
    const GUID before = kGuidValueVector;
    for (const char* bad : {"", "BE69CCC4CFC14362AC81767D199BBFC3", "{BE69CCC4-CFC1-4362-AC81-767D199BBFC3}",
                            "BE69CCC4-CFC1-4362-AC81-767D199BBFC", "BE69CCC4-CFC1-4362-AC81-767D199BBFC3 ",
                            "BE69CCC4-CFC1-4362-AC81+767D199BBFC3", "BE69CCC4-CFC1-4362-AC81-767D199BBFCG",
                            "-E69CCC4-CFC1-4362-AC81-767D199BBFC3"}) {
        GUID out = before;
        EXPECT_FALSE(GuidFromString(bad, &out)) << bad;
        EXPECT_TRUE(out == before) << bad;
    }
    EXPECT_FALSE(GuidFromString(nullptr, &g));
}

TEST(HostRecords, DefaultsOfChannelTypeAndChildCreation) {
    ChannelType type;
    EXPECT_EQ(Bytes(&type, sizeof(type)), std::vector<uint8_t>(132, 0));

    ChildCreation record;
    const std::vector<uint8_t> b = Bytes(&record, sizeof(record));
    ASSERT_EQ(b.size(), 264u);
    std::vector<uint8_t> expected(264, 0);
    std::memset(&expected[80], 0x11, 32);  // guidType and guidType2
    expected[132] = expected[133] = expected[134] = expected[135] = 0xFF;  // iChildIndex -1
    expected[260] = 1;                                                     // iExtra2 1, little-endian
    EXPECT_EQ(b, expected);
    EXPECT_EQ(GuidToString(record.channelType.guidType2), "11111111-1111-1111-1111-111111111111");
    EXPECT_EQ(record.iChildIndex, -1);
    EXPECT_EQ(record.iExtra2, 1);

    // Records are passed by value; a copy carries every byte.
    record.bFlag2 = true;
    std::strcpy(record.szChildName, "Collision normal");
    ChildCreation copy = record;
    EXPECT_EQ(Bytes(&copy, sizeof(copy)), Bytes(&record, sizeof(record)));
}
