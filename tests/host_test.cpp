// The host: shared records and identifier text, object data and its render
// buffers, buffer locks, channel files and the plug-in loader's errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "host/channel_file.h"
#include "host/object_data.h"
#include "host/plugin_loader.h"
#include "host/value_channels.h"
#include "korvane_test_access.h"
#include "support/guid_text.h"
#include "mesh_invariants.h"
#include "test_scene.h"

namespace {

std::vector<uint8_t> Bytes(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(p, p + size);
}

// The render buffers' bytes: every attribute of every vertex, then the indices.
std::vector<uint8_t> BufferBytes(Vexa_ObjectData& o) {
    std::vector<uint8_t> out = Bytes(o.GetVertexBuffer()->Data(), o.GetVertexBuffer()->GetSize());
    const std::vector<uint8_t> indices = Bytes(o.GetIndexBuffer()->Data(), o.GetIndexBuffer()->GetSize());
    out.insert(out.end(), indices.begin(), indices.end());
    return out;
}

}  // namespace

TEST(HostRecords, DefaultsAndIdentifierText) {
    ChannelType type;
    EXPECT_EQ(Bytes(&type, sizeof(type)), std::vector<uint8_t>(132, 0));
    ChildCreation record;
    std::vector<uint8_t> expected(264, 0);
    std::memset(&expected[80], 0x11, 32);   // guidType and guidType2
    std::memset(&expected[132], 0xFF, 4);   // iChildIndex -1
    expected[260] = 1;                      // iExtra2 1, little-endian
    EXPECT_EQ(Bytes(&record, sizeof(record)), expected);

    GUID g;
    ASSERT_TRUE(GuidFromString("be69ccc4-CFC1-4362-ac81-767D199BBFC3", &g));
    EXPECT_EQ(Bytes(&g, sizeof(g)), (std::vector<uint8_t>{0xC4, 0xCC, 0x69, 0xBE, 0xC1, 0xCF, 0x62, 0x43, 0xAC, 0x81,
                                                          0x76, 0x7D, 0x19, 0x9B, 0xBF, 0xC3}));
    EXPECT_EQ(GuidToString(g), "BE69CCC4-CFC1-4362-AC81-767D199BBFC3");
    EXPECT_TRUE(g == kGuidValue);
    EXPECT_EQ(GuidToString(kGuidValueVector), "9D045960-EAC2-4C40-9BBF-10F32F7FA305");
    EXPECT_EQ(GuidToString(kGuidObjectData), "21A8923D-B908-4104-AE88-B6718D8A8678");
    for (const char* bad : {"", "BE69CCC4CFC14362AC81767D199BBFC3", "{BE69CCC4-CFC1-4362-AC81-767D199BBFC3}",
                            "BE69CCC4-CFC1-4362-AC81-767D199BBFC", "BE69CCC4-CFC1-4362-AC81-767D199BBFCG"}) {
        GUID out = kGuidObjectData;
        EXPECT_FALSE(GuidFromString(bad, &out)) << bad;
        EXPECT_TRUE(out == kGuidObjectData) << bad;
    }
}

TEST(HostObjectData, CountsRemakeArraysOnlyAtTheNextSetter) {
    Vexa_ObjectData o(true);
    o.SetVertexCount(4);
    o.SetIndexCount(6);
    EXPECT_EQ(o.PositionsLength(), 0);
    o.SetVertexPosition(D3DXVECTOR3(1, 2, 3), 3);
    o.SetVertexNormal(D3DXVECTOR3(0, 1, 0), 0);
    EXPECT_EQ(o.PositionsLength(), 4);
    EXPECT_EQ(o.pPositions[3].z, 3.0f);

    D3DXVECTOR3* old = o.pPositions;
    o.SetVertexCount(10);
    EXPECT_EQ(o.pPositions, old);
    EXPECT_EQ(o.PositionsLength(), 4);
    o.SetVertexPosition(D3DXVECTOR3(7, 8, 9), 9);
    EXPECT_EQ(o.PositionsLength(), 10);
    EXPECT_EQ(o.pPositions[3].z, 0.0f);  // remade zeroed, old entries not kept
    EXPECT_EQ(o.NormalsLength(), 4);
    o.SetVertexCount(2);
    o.SetVertexPosition(D3DXVECTOR3(1, 1, 1), 1);
    EXPECT_EQ(o.PositionsLength(), 2);  // shrinking remakes at the exact length too

    o.SetIndex(0x12345, 5);
    EXPECT_EQ(o.IndexArrayLength(), 6);
    EXPECT_EQ(o.GetIndex(5), 0x2345);
    EXPECT_EQ(o.pIndices32, nullptr);
    Vexa_ObjectData wide(false);
    wide.SetIndexCount(2);
    wide.SetIndex(0x12345, 1);
    EXPECT_EQ(wide.GetIndex(1), 0x12345);
    EXPECT_EQ(wide.pIndices16, nullptr);
}

TEST(HostObjectData, RenderBuffersAndLocks) {
    for (bool narrow : {false, true}) {  // 16-bit indices with set 2, 32-bit without
        SCOPED_TRACE(narrow ? "16-bit, set 2" : "32-bit");
        auto o = Vexa_ObjectData::FromArrays(MakeGridMesh(1, 1, 2.0f, narrow, narrow, 0xA0B0C0D0u));
        const size_t rs = narrow ? 52 : 44;
        ASSERT_EQ(o->GetVertexBuffer()->GetSize(), 4 * rs);
        EXPECT_EQ(o->GetIndexBuffer()->GetSize(), narrow ? 12u : 24u);
        EXPECT_TRUE(RenderBuffersMatch(*o, {0, 1, 2, 3}));  // every field at its offset, indices at their width
        o->SetVertexCount(6);
        EXPECT_EQ(o->GetVertexBuffer()->GetSize(), 6 * rs);
    }

    IDirect3DVertexBuffer9 buffer(100);
    void* p = nullptr;
    for (auto range : {std::make_pair(0u, 101u), std::make_pair(60u, 41u), std::make_pair(101u, 0u)}) {
        p = &buffer;
        EXPECT_EQ(buffer.Lock(range.first, range.second, &p, 0), D3DERR_INVALIDCALL);
        EXPECT_EQ(p, nullptr);
    }
    ASSERT_EQ(buffer.Lock(60, 40, &p, 0), D3D_OK);
    EXPECT_EQ(p, buffer.Data() + 60);
    buffer.Unlock();
    KorvaneTestAccess::SetLockFails(buffer, true);
    EXPECT_EQ(buffer.Lock(0, 4, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(p, nullptr);
}

TEST(HostChannelFile, RoundTripRefusalsAndDisconnect) {
    Vexa_Channel saved;
    auto vector = std::make_shared<Vexa_ValueVector>();
    vector->SetValue(D3DXVECTOR3(1.5f, -2.f, 3.25f));
    auto value = std::make_shared<Vexa_Value>();
    value->SetValue(-7.125f);
    auto narrow = Vexa_ObjectData::FromArrays(MakeGridMesh(1, 1, 2.0f, true, true));
    auto wide = Vexa_ObjectData::FromArrays(MakeGridMesh(1, 1, 2.0f));
    wide->SetIndexCount(9);
    wide->SetIndex(70000, 8);
    vector->SetChild(1, wide);  // a mesh below the vector child
    saved.SetChild(0, vector);
    saved.SetChild(1, narrow);
    saved.SetChild(3, value);
    const std::string path = ::testing::TempDir() + "/host_file_" + std::to_string(::getpid()) + ".bin";
    ASSERT_TRUE(SaveChannelFile(saved, path));

    Vexa_Channel loaded;
    auto kept = std::make_shared<Vexa_ObjectData>();
    loaded.SetChild(1, kept);
    ASSERT_TRUE(LoadChannelFile(loaded, path));
    EXPECT_EQ(loaded.GetChild(1), kept.get());  // loaded in place
    EXPECT_EQ(loaded.GetChild(2), nullptr);
    auto* vectorBack = dynamic_cast<Vexa_ValueVector*>(loaded.GetChild(0));
    auto* valueBack = dynamic_cast<Vexa_Value*>(loaded.GetChild(3));
    ASSERT_TRUE(vectorBack && valueBack);
    EXPECT_EQ(vectorBack->GetValue().z, 3.25f);
    EXPECT_EQ(valueBack->GetValue(), -7.125f);
    EXPECT_TRUE(kept->UsesIndices16());
    EXPECT_EQ(BufferBytes(*kept), BufferBytes(*narrow));
    auto* wideBack = dynamic_cast<Vexa_ObjectData*>(vectorBack->GetChild(1));
    ASSERT_NE(wideBack, nullptr);
    EXPECT_EQ(wideBack->GetIndex(8), 70000);
    EXPECT_EQ(BufferBytes(*wideBack), BufferBytes(*wide));

    Vexa_Value other;  // a file of another channel type is refused untouched
    other.SetValue(4.0f);
    EXPECT_FALSE(LoadChannelFile(other, path));
    EXPECT_EQ(other.GetValue(), 4.0f);
    std::ifstream in(path, std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    for (size_t length = 0; length < good.size(); ++length) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << good.substr(0, length);
        Vexa_Channel target;
        ASSERT_FALSE(LoadChannelFile(target, path)) << "length " << length;
    }
    std::remove(path.c_str());

    loaded.DisconnectChild(3);
    EXPECT_EQ(loaded.GetChild(3), nullptr);
    EXPECT_NE(loaded.GetChild(0), nullptr);
}

// An object saved between a count change and its setters names counts its
// arrays do not hold; loading it would let the channel read past them.
TEST(HostChannelFile, CountsPastTheArraysAreRefused) {
    const std::string path = ::testing::TempDir() + "/host_counts_" + std::to_string(::getpid()) + ".bin";
    for (int which = 0; which < 3; ++which) {
        auto object = Vexa_ObjectData::FromArrays(MakeGridMesh(1, 1, 2.0f, which == 2, true));
        if (which == 0) object->SetVertexCount(object->GetVertexCount() + 1);
        else object->SetIndexCount(object->GetIndexCount() + 3);
        ASSERT_TRUE(SaveChannelFile(*object, path));
        Vexa_ObjectData target;
        EXPECT_FALSE(LoadChannelFile(target, path)) << which;
        EXPECT_EQ(target.GetVertexCount(), 0) << which;
        EXPECT_EQ(target.GetIndexCount(), 0) << which;
        // Counts below the arrays are a mesh shrunk in place: kept.
        if (which == 0) object->SetVertexCount(object->GetVertexCount() - 2);
        else object->SetIndexCount(object->GetIndexCount() - 6);
        ASSERT_TRUE(SaveChannelFile(*object, path));
        EXPECT_TRUE(LoadChannelFile(target, path)) << which;
        EXPECT_EQ(target.GetIndexCount(), object->GetIndexCount()) << which;
    }
    std::remove(path.c_str());
}

// The base names no channel type: children come from the maker the host
// gave the channel, and the children it makes carry the same maker.
TEST(HostChannelFile, ChildrenComeFromTheChannelsMaker) {
    static int made = 0;
    const ChannelMaker counting = [](const GUID& type) -> std::shared_ptr<Vexa_Channel> {
        ++made;
        if (type == kGuidValue) return std::make_shared<Vexa_Value>();
        if (type == kGuidValueVector) return std::make_shared<Vexa_ValueVector>();
        return nullptr;
    };
    ChildCreation record;
    record.channelType.guidType = kGuidValue;
    Vexa_Channel bare;
    bare.SetChildCreateType(record, 2);
    EXPECT_FALSE(bare.CreateChildren());
    bare.SetChannelMaker(counting);
    ASSERT_TRUE(bare.CreateChildren());
    EXPECT_EQ(made, 1);
    ASSERT_NE(dynamic_cast<Vexa_Value*>(bare.GetChild(2)), nullptr);

    // A vector holding a value, loaded into a channel that lacks both: the
    // file's loader gives the top channel the host's maker, and the vector
    // it makes makes the value.
    Vexa_Channel saved;
    auto vector = std::make_shared<Vexa_ValueVector>();
    auto value = std::make_shared<Vexa_Value>();
    value->SetValue(2.5f);
    vector->SetChild(0, value);
    saved.SetChild(1, vector);
    const std::string path = ::testing::TempDir() + "/host_maker_" + std::to_string(::getpid()) + ".bin";
    ASSERT_TRUE(SaveChannelFile(saved, path));
    Vexa_Channel loaded;
    ASSERT_TRUE(LoadChannelFile(loaded, path));
    auto* valueBack = loaded.GetChild(1) ? dynamic_cast<Vexa_Value*>(loaded.GetChild(1)->GetChild(0)) : nullptr;
    ASSERT_NE(valueBack, nullptr);
    EXPECT_EQ(valueBack->GetValue(), 2.5f);
    // Loaded in place under a channel the test made: it borrows the parent's.
    Vexa_Channel again;
    auto kept = std::make_shared<Vexa_ValueVector>();
    again.SetChild(1, kept);
    ASSERT_TRUE(LoadChannelFile(again, path));
    EXPECT_EQ(again.GetChild(1), kept.get());
    EXPECT_NE(dynamic_cast<Vexa_Value*>(kept->GetChild(0)), nullptr);
    std::remove(path.c_str());
}

TEST(HostPluginLoader, MissingLibraryNamesTheFile) {
    std::string error;
    EXPECT_EQ(PluginLibrary::Open("/nonexistent/libNoSuchPlugin.so", &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/libNoSuchPlugin.so"), std::string::npos) << error;
}
