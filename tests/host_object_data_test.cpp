// The object-data channel: array lengths, index widths, conversion from and to
// plain arrays, and the bytes of its render buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "host/object_data.h"

namespace {

float FloatAt(const uint8_t* base, size_t offset) {
    float f;
    std::memcpy(&f, base + offset, sizeof(f));
    return f;
}

uint32_t UIntAt(const uint8_t* base, size_t offset) {
    uint32_t u;
    std::memcpy(&u, base + offset, sizeof(u));
    return u;
}

// Three vertices with distinct values in every array.
MeshArrays Triangle(bool indices16, bool withTex2) {
    MeshArrays m;
    m.indices16 = indices16;
    for (int v = 0; v < 3; ++v) {
        const float f = static_cast<float>(v);
        m.positions.emplace_back(f + 0.5f, f + 1.5f, f + 2.5f);
        m.normals.emplace_back(f + 10.f, f + 11.f, f + 12.f);
        m.texCoords0.emplace_back(f + 20.f, f + 21.f);
        m.texCoords1.emplace_back(f + 30.f, f + 31.f);
        if (withTex2) m.texCoords2.emplace_back(f + 40.f, f + 41.f);
        m.colors.push_back(0xA0B0C0D0u + static_cast<uint32_t>(v));
    }
    m.indices = {2, 0, 1, 1, 2, 0};
    return m;
}

}  // namespace

TEST(HostObjectData, CountsArraysAndIndexWidths) {
    Vexa_ObjectData o(true);
    EXPECT_EQ(o.GetVertexCount(), 0);
    EXPECT_FALSE(o.HasTexCoords(0));
    EXPECT_EQ(o.pPositions, nullptr);
    D3DXMATRIX w;
    o.GetWorldMatrix(&w);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(w.m[r][c], r == c ? 1.0f : 0.0f);

    o.SetVertexCount(4);
    o.SetIndexCount(6);
    EXPECT_EQ(o.PositionsLength(), 0);  // counts alone make no arrays
    o.SetVertexPosition(D3DXVECTOR3(1, 2, 3), 3);
    o.SetVertexNormal(D3DXVECTOR3(0, 1, 0), 0);
    EXPECT_EQ(o.PositionsLength(), 4);
    EXPECT_EQ(o.GetVertexPosition(3).z, 3.0f);
    EXPECT_EQ(o.pPositions[0].x, 0.0f);  // remade arrays start zeroed
    EXPECT_FALSE(o.HasVertexColors());
    EXPECT_FALSE(o.HasTexCoords(2));

    // Growing the count leaves each array alone until its next setter.
    D3DXVECTOR3* oldPositions = o.pPositions;
    o.SetVertexCount(10);
    EXPECT_EQ(o.PositionsLength(), 4);
    EXPECT_EQ(o.pPositions, oldPositions);
    o.SetVertexPosition(D3DXVECTOR3(7, 8, 9), 9);
    EXPECT_EQ(o.PositionsLength(), 10);
    EXPECT_EQ(o.pPositions[3].z, 0.0f);  // remaking does not keep old entries
    EXPECT_EQ(o.NormalsLength(), 4);
    o.SetVertexColor(0xFF00FF00u, 9);
    o.SetVertexTexCoord(2, D3DXVECTOR2(0.25f, 0.75f), 1);
    EXPECT_TRUE(o.HasVertexColors());
    EXPECT_TRUE(o.HasTexCoords(2));
    EXPECT_FALSE(o.HasTexCoords(1));
    EXPECT_EQ(o.TexCoordsLength(2), 10);
    EXPECT_EQ(o.pTexCoords2[1].y, 0.75f);
    EXPECT_EQ(o.VertexRecordSize(), 52);
    // Shrinking remakes at the exact new length too.
    o.SetVertexCount(2);
    o.SetVertexPosition(D3DXVECTOR3(1, 1, 1), 1);
    EXPECT_EQ(o.PositionsLength(), 2);
    EXPECT_EQ(o.ColorsLength(), 10);
    o.SetVertexCount(-5);
    EXPECT_EQ(o.GetVertexCount(), 0);

    // 16-bit index array: low bits kept, only the 16-bit pointer set.
    o.SetIndex(0x12345, 5);
    EXPECT_EQ(o.IndexArrayLength(), 6);
    EXPECT_EQ(o.GetIndex(5), 0x2345);
    EXPECT_EQ(o.pIndices16[5], 0x2345);
    EXPECT_EQ(o.pIndices32, nullptr);
    o.SetIndexCount(8);
    o.SetIndex(1, 7);
    EXPECT_EQ(o.IndexArrayLength(), 8);
    EXPECT_EQ(o.GetIndex(5), 0);

    Vexa_ObjectData wide(false);
    wide.SetIndexCount(2);
    wide.SetIndex(0x12345, 1);
    EXPECT_EQ(wide.GetIndex(1), 0x12345);
    EXPECT_EQ(wide.pIndices16, nullptr);
    ASSERT_NE(wide.pIndices32, nullptr);
}

TEST(HostObjectData, FromArraysAndBack) {
    const MeshArrays m = Triangle(true, true);
    auto o = Vexa_ObjectData::FromArrays(m);
    EXPECT_TRUE(o->UsesIndices16());
    EXPECT_EQ(o->GetVertexCount(), 3);
    EXPECT_EQ(o->GetIndexCount(), 6);
    EXPECT_EQ(o->GetIndex(0), 2);
    const MeshArrays back = o->ToArrays();
    EXPECT_EQ(back.indices, m.indices);
    EXPECT_TRUE(back.indices16);
    ASSERT_EQ(back.texCoords2.size(), 3u);
    EXPECT_EQ(back.texCoords2[2].y, 43.0f);
    EXPECT_EQ(back.colors, m.colors);
    EXPECT_EQ(back.normals[1].z, 13.0f);

    // Without normals and set 0 the mesh still has them, zeroed; no colours or sets 1, 2.
    MeshArrays bare;
    bare.positions = {D3DXVECTOR3(1, 1, 1), D3DXVECTOR3(2, 2, 2)};
    bare.indices = {0, 1, 1};
    auto b = Vexa_ObjectData::FromArrays(bare);
    EXPECT_TRUE(b->HasTexCoords(0));
    EXPECT_FALSE(b->HasTexCoords(1));
    EXPECT_FALSE(b->HasVertexColors());
    EXPECT_EQ(b->NormalsLength(), 2);
    EXPECT_FALSE(b->UsesIndices16());
    EXPECT_NE(b->pIndices32, nullptr);
    EXPECT_TRUE(b->ToArrays().colors.empty());
    // A missing colour array leaves the colour bytes of the records zero.
    EXPECT_EQ(UIntAt(b->GetVertexBuffer()->Data(), 44 + 24), 0u);
    EXPECT_EQ(FloatAt(b->GetVertexBuffer()->Data(), 44 + 4), 2.0f);

    // ToArrays reports arrays at their own length, not at the counts.
    b->SetVertexCount(5);
    b->SetVertexColor(0x1u, 4);
    const MeshArrays grown = b->ToArrays();
    EXPECT_EQ(grown.positions.size(), 2u);
    EXPECT_EQ(grown.colors.size(), 5u);

    MeshArrays bad = m;
    bad.colors.pop_back();
    EXPECT_THROW(Vexa_ObjectData::FromArrays(bad), std::invalid_argument);
    bad = m;
    bad.texCoords1.push_back(D3DXVECTOR2(0, 0));
    EXPECT_THROW(Vexa_ObjectData::FromArrays(bad), std::invalid_argument);
    bad = m;
    bad.indices.back() = 3;
    EXPECT_THROW(Vexa_ObjectData::FromArrays(bad), std::invalid_argument);
    bad = Triangle(true, false);
    bad.positions.resize(70000, D3DXVECTOR3(0, 0, 0));
    bad.normals.clear();
    bad.texCoords0.clear();
    bad.texCoords1.clear();
    bad.colors.clear();
    bad.indices.push_back(65536);
    EXPECT_THROW(Vexa_ObjectData::FromArrays(bad), std::invalid_argument);
    bad.indices16 = false;
    EXPECT_NO_THROW(Vexa_ObjectData::FromArrays(bad));
}

TEST(HostObjectData, RenderBufferRecordsAndIndices) {
    for (bool tex2 : {false, true}) {
        SCOPED_TRACE(tex2 ? "with set 2" : "without set 2");
        auto o = Vexa_ObjectData::FromArrays(Triangle(true, tex2));
        const size_t rs = tex2 ? 52 : 44;
        EXPECT_EQ(o->CurrentVertexBuffer(), nullptr);  // made lazily
        IDirect3DVertexBuffer9* vb = o->GetVertexBuffer();
        ASSERT_EQ(vb->GetSize(), 3 * rs);
        EXPECT_EQ(vb->LockCount(), 0);  // the host's own fill does not lock
        const uint8_t* d = vb->Data();
        const size_t r = 2 * rs;  // record of vertex 2
        EXPECT_EQ(FloatAt(d, r + 0), 2.5f);
        EXPECT_EQ(FloatAt(d, r + 8), 4.5f);
        EXPECT_EQ(FloatAt(d, r + 12), 12.f);
        EXPECT_EQ(FloatAt(d, r + 20), 14.f);
        EXPECT_EQ(UIntAt(d, r + 24), 0xA0B0C0D2u);
        EXPECT_EQ(FloatAt(d, r + 28), 22.f);
        EXPECT_EQ(FloatAt(d, r + 40), 33.f);
        if (tex2) {
            EXPECT_EQ(FloatAt(d, r + 48), 43.f);
        }

        IDirect3DIndexBuffer9* ib = o->GetIndexBuffer();
        ASSERT_EQ(ib->GetSize(), 12u);
        uint16_t entries[6];
        std::memcpy(entries, ib->Data(), sizeof(entries));
        EXPECT_EQ(entries[0], 2);
        EXPECT_EQ(entries[4], 2);

        // Same counts: the same buffer; a grown count: a new one, zero beyond the arrays.
        EXPECT_EQ(o->GetVertexBuffer(), vb);
        o->SetVertexCount(4);
        IDirect3DVertexBuffer9* bigger = o->GetVertexBuffer();
        ASSERT_EQ(bigger->GetSize(), 4 * rs);
        EXPECT_EQ(FloatAt(bigger->Data(), r + 8), 4.5f);
        for (size_t i = 3 * rs; i < 4 * rs; ++i) ASSERT_EQ(bigger->Data()[i], 0) << i;

        o->ReleaseBuffers();
        EXPECT_EQ(o->CurrentVertexBuffer(), nullptr);
        EXPECT_EQ(o->CurrentIndexBuffer(), nullptr);
        EXPECT_EQ(o->ReleaseBuffersCalls(), 1);
        o->CreateBuffers();
        ASSERT_NE(o->CurrentIndexBuffer(), nullptr);
        EXPECT_EQ(o->CurrentVertexBuffer()->GetSize(), 4 * rs);
    }

    MeshArrays wideMesh = Triangle(false, false);
    wideMesh.indices = {1, 2, 0};
    auto wide = Vexa_ObjectData::FromArrays(wideMesh);
    IDirect3DIndexBuffer9* ib = wide->GetIndexBuffer();
    ASSERT_EQ(ib->GetSize(), 12u);
    EXPECT_EQ(UIntAt(ib->Data(), 0), 1u);
    EXPECT_EQ(UIntAt(ib->Data(), 8), 0u);
    EXPECT_EQ(UIntAt(ib->Data(), 4), 2u);
}

TEST(HostRenderBuffer, LockChecksRange) {
    IDirect3DVertexBuffer9 buffer(100);
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(buffer.Lock(0, 101, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(p, nullptr);
    p = reinterpret_cast<void*>(1);
    EXPECT_EQ(buffer.Lock(60, 41, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(buffer.Lock(101, 0, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_FALSE(buffer.IsLocked());
    EXPECT_EQ(buffer.LockCount(), 0);

    ASSERT_EQ(buffer.Lock(60, 40, &p, 0), D3D_OK);
    EXPECT_EQ(p, buffer.Data() + 60);
    EXPECT_TRUE(buffer.IsLocked());
    EXPECT_EQ(buffer.Unlock(), D3D_OK);
    EXPECT_FALSE(buffer.IsLocked());
    ASSERT_EQ(buffer.Lock(10, 0, &p, 0), D3D_OK);  // size 0: to the end
    EXPECT_EQ(p, buffer.Data() + 10);
    EXPECT_EQ(buffer.LockCount(), 2);
    buffer.Unlock();

    buffer.SetLockFails(true);
    EXPECT_EQ(buffer.Lock(0, 4, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(buffer.LockCount(), 2);
}
