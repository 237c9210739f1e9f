// The channel base: children made from their descriptions, channel files, and
// the plug-in loader's refusal of a library it cannot open.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "host/channel_file.h"
#include "host/object_data.h"
#include "host/plugin_loader.h"
#include "host/value_channels.h"

namespace {

ChildCreation Describe(const char* typeName, const GUID& type, int index, const char* name) {
    ChildCreation record;
    std::strcpy(record.channelType.szName, typeName);
    record.channelType.guidType = type;
    record.iChildIndex = index;
    record.bFlag2 = true;
    std::strcpy(record.szChildName, name);
    return record;
}

// A channel as a plug-in constructor leaves it: named, children described.
class DescribedChannel : public Vexa_Channel {
public:
    DescribedChannel() {
        SetChannelName("Test");
        SetChildCreationCount(1);
        SetChildCreateType(Describe(VEXA_TYPE_VALUE_VECTOR, kGuidValueVector, 0, "Position"), 0);
        SetChildCreateType(Describe(VEXA_TYPE_OBJECT_DATA, kGuidObjectData, 1, "Object Data"), 1);
        SetChildCreateType(Describe(VEXA_TYPE_VALUE, kGuidValue, 3, "Mass"), 3);
        ChannelType type;
        std::strcpy(type.szName, "Test");
        GuidFromString("EAAE514A-3600-435E-9243-44506AD31AFD", &type.guidType);
        SetChannelTypeRecord(type);
    }
};

std::string TempPath(const char* name) {
    return ::testing::TempDir() + "/" + name + "_" + std::to_string(::getpid()) + ".bin";
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

MeshArrays Mesh(bool indices16) {
    MeshArrays m;
    m.indices16 = indices16;
    for (int v = 0; v < 4; ++v) {
        const float f = static_cast<float>(v);
        m.positions.emplace_back(f, -f, f * 0.5f);
        m.normals.emplace_back(0.f, 1.f, f);
        m.texCoords0.emplace_back(f, 1.f);
        m.texCoords1.emplace_back(f, 2.f);
        m.texCoords2.emplace_back(f, 3.f);
        m.colors.push_back(0xFF000000u | static_cast<uint32_t>(v));
    }
    m.indices = {0, 1, 2, 2, 1, 3};
    return m;
}

void ExpectSameMesh(const MeshArrays& a, const MeshArrays& b) {
    ASSERT_EQ(a.positions.size(), b.positions.size());
    EXPECT_EQ(0, std::memcmp(a.positions.data(), b.positions.data(), a.positions.size() * 12));
    ASSERT_EQ(a.normals.size(), b.normals.size());
    EXPECT_EQ(0, std::memcmp(a.normals.data(), b.normals.data(), a.normals.size() * 12));
    ASSERT_EQ(a.texCoords1.size(), b.texCoords1.size());
    EXPECT_EQ(0, std::memcmp(a.texCoords1.data(), b.texCoords1.data(), a.texCoords1.size() * 8));
    ASSERT_EQ(a.texCoords2.size(), b.texCoords2.size());
    EXPECT_EQ(0, std::memcmp(a.texCoords2.data(), b.texCoords2.data(), a.texCoords2.size() * 8));
    EXPECT_EQ(a.colors, b.colors);
    EXPECT_EQ(a.indices, b.indices);
    EXPECT_EQ(a.indices16, b.indices16);
}

}  // namespace

TEST(HostChannel, ChildrenFromDescriptions) {
    DescribedChannel c;
    EXPECT_EQ(c.GetChildCount(), 0);
    ASSERT_EQ(c.GetChildCreateCalls().size(), 3u);
    EXPECT_EQ(c.GetChildCreateCalls()[2].second, 3);
    EXPECT_STREQ(c.GetChildCreateCalls()[1].first.szChildName, "Object Data");
    EXPECT_EQ(c.GetSetChannelNameCalls(), 1);
    EXPECT_EQ(c.GetRequestedChildCreationCount(), 1);

    Vexa_ChannelHost host;
    c.pChannelHost = &host;
    ASSERT_TRUE(c.CreateChildren());
    EXPECT_EQ(c.GetChildCount(), 4);
    EXPECT_NE(dynamic_cast<Vexa_ValueVector*>(c.GetChild(0)), nullptr);
    EXPECT_NE(dynamic_cast<Vexa_ObjectData*>(c.GetChild(1)), nullptr);
    EXPECT_EQ(c.GetChild(2), nullptr);  // never described
    auto* mass = dynamic_cast<Vexa_Value*>(c.GetChild(3));
    ASSERT_NE(mass, nullptr);
    EXPECT_STREQ(mass->GetChannelType().szName, "Value");
    EXPECT_EQ(mass->pChannelHost, &host);
    EXPECT_EQ(c.GetChild(4), nullptr);
    EXPECT_EQ(c.GetChild(-1), nullptr);

    // Children already there are kept; a copy shares them.
    mass->SetValue(5.0f);
    ASSERT_TRUE(c.CreateChildren());
    EXPECT_EQ(c.GetChild(3), mass);
    DescribedChannel copy(c);
    EXPECT_EQ(copy.GetChild(3), mass);
    EXPECT_EQ(copy.GetChildCreateCalls().size(), 3u);

    c.DisconnectChild(3);
    EXPECT_EQ(c.GetChild(3), nullptr);
    EXPECT_EQ(c.GetChildCount(), 4);
    EXPECT_EQ(copy.GetChild(3), mass);

    DescribedChannel unknown;
    ChildCreation strange;  // type identifier left at 0x11 bytes
    unknown.SetChildCreateType(strange, 5);
    EXPECT_FALSE(unknown.CreateChildren());

    host.showDebugMessage1("first");
    host.showDebugMessage1(nullptr);
    EXPECT_EQ(host.showDebugMessage1.Messages(), (std::vector<std::string>{"first", ""}));
}

TEST(HostChannelFile, TreeRoundTrip) {
    DescribedChannel saved;
    ASSERT_TRUE(saved.CreateChildren());
    static_cast<Vexa_ValueVector*>(saved.GetChild(0))->SetValue(D3DXVECTOR3(1.5f, -2.f, 3.25f));
    static_cast<Vexa_Value*>(saved.GetChild(3))->SetValue(-7.125f);
    // Child 1 holds a 16-bit mesh, and a 32-bit mesh hangs below the vector child.
    auto narrow = Vexa_ObjectData::FromArrays(Mesh(true));
    D3DXMATRIX world;
    for (int i = 0; i < 16; ++i) world.m[i / 4][i % 4] = static_cast<float>(i) + 0.5f;
    narrow->SetWorldMatrix(world);
    narrow->SetVertexCount(6);  // counts differ from the array lengths
    saved.SetChild(1, narrow);
    auto wide = Vexa_ObjectData::FromArrays(Mesh(false));
    wide->SetIndexCount(9);
    wide->SetIndex(70000, 8);
    saved.GetChild(0)->SetChild(1, wide);

    const std::string path = TempPath("tree");
    ASSERT_TRUE(SaveChannelFile(saved, path));

    DescribedChannel loaded;
    ASSERT_TRUE(loaded.CreateChildren());
    Vexa_Channel* keptVector = loaded.GetChild(0);
    auto* keptMesh = static_cast<Vexa_ObjectData*>(loaded.GetChild(1));
    keptMesh->GetVertexBuffer();
    loaded.SetChild(6, std::make_shared<Vexa_Value>());
    ASSERT_TRUE(LoadChannelFile(loaded, path));

    EXPECT_EQ(loaded.GetChildCount(), 4);
    EXPECT_EQ(loaded.GetChild(0), keptVector);  // loaded in place
    EXPECT_EQ(loaded.GetChild(2), nullptr);
    auto* vec = static_cast<Vexa_ValueVector*>(loaded.GetChild(0));
    EXPECT_EQ(vec->GetValue().z, 3.25f);
    EXPECT_EQ(static_cast<Vexa_Value*>(loaded.GetChild(3))->GetValue(), -7.125f);

    ASSERT_EQ(loaded.GetChild(1), keptMesh);
    EXPECT_EQ(keptMesh->CurrentVertexBuffer(), nullptr);  // buffers dropped on load
    EXPECT_EQ(keptMesh->GetVertexCount(), 6);
    EXPECT_EQ(keptMesh->GetIndexCount(), 6);
    ExpectSameMesh(keptMesh->ToArrays(), narrow->ToArrays());
    EXPECT_NE(keptMesh->pIndices16, nullptr);
    EXPECT_EQ(keptMesh->pIndices32, nullptr);
    D3DXMATRIX back;
    keptMesh->GetWorldMatrix(&back);
    EXPECT_EQ(0, std::memcmp(&back, &world, sizeof(world)));
    EXPECT_EQ(keptMesh->GetVertexBuffer()->GetSize(), 6u * 52u);

    auto* wideBack = dynamic_cast<Vexa_ObjectData*>(vec->GetChild(1));
    ASSERT_NE(wideBack, nullptr);
    EXPECT_EQ(vec->GetChild(0), nullptr);
    EXPECT_EQ(wideBack->GetIndex(8), 70000);
    ExpectSameMesh(wideBack->ToArrays(), wide->ToArrays());

    // A file for another channel type is refused before anything is read into it.
    Vexa_Value other;
    other.SetValue(4.0f);
    EXPECT_FALSE(LoadChannelFile(other, path));
    EXPECT_EQ(other.GetValue(), 4.0f);
    const std::string valuePath = TempPath("value");
    ASSERT_TRUE(SaveChannelFile(other, valuePath));
    EXPECT_FALSE(LoadChannelFile(loaded, valuePath));
    Vexa_Value same;
    ASSERT_TRUE(LoadChannelFile(same, valuePath));
    EXPECT_EQ(same.GetValue(), 4.0f);
    // Same layout, other type identifier: still refused.
    Vexa_Channel renamed;
    ChannelType otherType = loaded.GetChannelType();
    otherType.guidType.Data1 ^= 1u;
    renamed.SetChannelTypeRecord(otherType);
    EXPECT_FALSE(LoadChannelFile(renamed, path));
    EXPECT_EQ(renamed.GetChildCount(), 0);
    std::remove(path.c_str());
    std::remove(valuePath.c_str());
}

TEST(HostChannelFile, DamagedFilesRefused) {
    DescribedChannel saved;
    ASSERT_TRUE(saved.CreateChildren());
    saved.SetChild(1, Vexa_ObjectData::FromArrays(Mesh(false)));
    const std::string path = TempPath("damaged");
    ASSERT_TRUE(SaveChannelFile(saved, path));
    const std::string good = ReadAll(path);
    ASSERT_GT(good.size(), 200u);

    // Every truncation fails cleanly.
    for (size_t length = 0; length < good.size(); ++length) {
        WriteAll(path, good.substr(0, length));
        DescribedChannel target;
        ASSERT_FALSE(LoadChannelFile(target, path)) << "length " << length;
    }
    // A huge count where the slot count sits, and a bad present flag.
    std::string corrupt = good;
    const size_t slotCount = 4 + 4 + 16;
    corrupt[slotCount + 3] = '\x7f';
    WriteAll(path, corrupt);
    DescribedChannel target;
    EXPECT_FALSE(LoadChannelFile(target, path));
    corrupt = good;
    corrupt[slotCount + 4] = 2;
    WriteAll(path, corrupt);
    EXPECT_FALSE(LoadChannelFile(target, path));
    // An unknown child type.
    corrupt = good;
    corrupt[slotCount + 8] ^= 0x55;
    WriteAll(path, corrupt);
    EXPECT_FALSE(LoadChannelFile(target, path));
    corrupt = good;
    corrupt[0] = 'X';
    WriteAll(path, corrupt);
    EXPECT_FALSE(LoadChannelFile(target, path));

    WriteAll(path, good);
    EXPECT_TRUE(LoadChannelFile(target, path));
    std::remove(path.c_str());
    EXPECT_FALSE(LoadChannelFile(target, path));
}

TEST(HostPluginLoader, MissingLibraryNamesTheFile) {
    std::string error;
    EXPECT_EQ(PluginLibrary::Open("/nonexistent/libNoSuchPlugin.so", &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/libNoSuchPlugin.so"), std::string::npos) << error;
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}
