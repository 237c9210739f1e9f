// Dents within each vertex's allowance, alpha marks, and the attributes new
// vertices take from their neighbours.
#include <gtest/gtest.h>

#include <cmath>

#include "damage_fixture.h"

namespace {

// Vertices at the given positions with normal (1, 0, 0), colours as given,
// one triangle over the first three; room for nothing more.
std::unique_ptr<DirectChannel> Points(const std::vector<D3DXVECTOR3>& positions,
                                      const std::vector<uint32_t>& colors) {
    MeshArrays mesh;
    mesh.positions = positions;
    mesh.normals.assign(positions.size(), D3DXVECTOR3(1, 0, 0));
    mesh.texCoords0.assign(positions.size(), D3DXVECTOR2(0, 0));
    mesh.texCoords1.assign(positions.size(), D3DXVECTOR2(0, 0));
    mesh.colors = colors;
    mesh.indices = {0, 1, 2};
    return DirectChannel::Padded(mesh, 0, 0);
}

}  // namespace

TEST(DamageDent, AllowanceAndRecordArithmetic) {
    // Hit at the origin, pushed straight down (angle 0), a radius so large
    // that the falloff rounds to 1: every vertex is offered the whole offset.
    auto d = Points({{0, 0, 0}, {0.001f, 0, 0}, {0, 0, 0.001f}, {0, 0, 0}},
                    {0xFF000000u, 0xFF0000C8u, 0xFF0000FFu, 0xFF0000C8u});
    Kel_CrumpleTestPeer& peer = d->peer;
    Vexa_ObjectData& o = d->o();
    peer.vCollisionPos() = D3DXVECTOR3(0, 0, 0);
    peer.fDentAngle() = 0.0f;
    peer.fMaxDent() = 1.0f;

    std::vector<int> list = {0, 1, 2};
    const float largest = peer.ApplyDentDamage({0, -0.5f, 0}, 1000.0f, &list);
    // Record 0: the whole move of 0.5 fits; 127 (127.5 truncated) is recorded.
    EXPECT_EQ(o.pPositions[0].y, -0.5f);
    EXPECT_EQ(o.pColors[0], 0xFF00007Fu);
    // Record 200 leaves 55/255 of the allowance: the move is cut to it and spent.
    EXPECT_NEAR(o.pPositions[1].y, -55.0f / 255.0f, 1e-6f);
    EXPECT_EQ(o.pPositions[1].x, 0.001f);
    EXPECT_EQ(o.pColors[1], 0xFF0000FFu);
    // Record 255: nothing moves, not even the normal.
    EXPECT_EQ(o.pPositions[2].y, 0.0f);
    EXPECT_EQ(o.pNormals[2].x, 1.0f);
    // The largest single move, not a sum.
    EXPECT_EQ(largest, 0.5f);
    // Moved normals lean towards the impact point: (10, 0, 0) + (0, 0.5, 0), normalised.
    EXPECT_NEAR(o.pNormals[0].x, 10.0 / std::sqrt(100.25), 1e-6);
    EXPECT_NEAR(o.pNormals[0].y, 0.5 / std::sqrt(100.25), 1e-6);

    // Record 200 and a move of 0.1: applied in full, 25 (25.5 truncated) added.
    list = {3};
    EXPECT_NEAR(peer.ApplyDentDamage({0, -0.1f, 0}, 1000.0f, &list), 0.1f, 1e-7f);
    EXPECT_NEAR(o.pPositions[3].y, -0.1f, 1e-7f);
    EXPECT_EQ(o.pColors[3], 0xFF0000E1u);

    list.clear();
    EXPECT_EQ(peer.ApplyDentDamage({0, -0.1f, 0}, 1000.0f, &list), 0.0f);
}

TEST(DamageDent, MovesWithoutDirectionLeaveTheVertex) {
    // A vertex already on its goal (no offset) has nothing to move along.
    auto d = Points({{1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, {0xFF000000u, 0xFF000000u, 0xFF000000u});
    Kel_CrumpleTestPeer& peer = d->peer;
    const MeshArrays before = d->o().ToArrays();
    peer.vCollisionPos() = D3DXVECTOR3(0, 0, 0);
    peer.fDentAngle() = 0.0f;
    peer.fMaxDent() = 1.0f;
    std::vector<int> list = {0, 1, 2};
    EXPECT_EQ(peer.ApplyDentDamage({0, 0, 0}, 5.0f, &list), 0.0f);
    EXPECT_TRUE(SameBits(d->o().ToArrays(), before));

    // At the very edge the falloff is 0, so the step is 0; with no allowance
    // left that step would have to be scaled by 1/0. The vertex stays.
    peer.fMaxDent() = 0.0f;
    list = {0};
    const float edge = static_cast<float>(1.0 + static_cast<double>(1e-5f));
    EXPECT_EQ(peer.ApplyDentDamage({0, -1, 0}, edge, &list), 0.0f);
    EXPECT_TRUE(SameBits(d->o().ToArrays(), before));
}

TEST(DamageAlpha, ValueMasksTheAlphaByteOnly) {
    auto d = Points({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0xFF123456u, 0xFF123456u, 0xFF123456u});
    Kel_CrumpleTestPeer& peer = d->peer;
    Vexa_ObjectData& o = d->o();
    std::vector<int> first = {0}, second = {1}, third = {2};

    peer.iAlphaDamageValue() = 128;
    peer.ApplyAlphaDamage(&first);
    EXPECT_EQ(o.pColors[0], 0x80123456u);
    peer.iAlphaDamageValue() = 127;  // wears away the bit 128 left
    peer.ApplyAlphaDamage(&first);
    EXPECT_EQ(o.pColors[0], 0x00123456u);

    peer.iAlphaDamageValue() = 300;  // only its low byte, 44, counts
    peer.ApplyAlphaDamage(&second);
    EXPECT_EQ(o.pColors[1], 0x2C123456u);

    peer.iAlphaDamageValue() = -1;
    peer.ApplyAlphaDamage(&third);
    EXPECT_EQ(o.pColors[2], 0xFF123456u);
}

TEST(DamageNewVertexAttributes, ColourAverages) {
    auto d = Points({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, 0, 0});
    Kel_CrumpleTestPeer& peer = d->peer;
    EXPECT_EQ(peer.CalcAverageColor(0xFF000000u, 0x00000000u), 0x7F000000u);
    EXPECT_EQ(peer.CalcAverageColor(0x01010101u, 0x00000000u), 0x00000000u);
    EXPECT_EQ(peer.CalcAverageColor(0x10203040u, 0x30405060u), 0x20304050u);
    EXPECT_EQ(peer.CalcAverageColor(0x01010101u, 0x01010101u, 0x01010101u), 0x00010101u);
    EXPECT_EQ(peer.CalcAverageColor(0xFF0000FFu, 0xFF0000FFu, 0x00000000u), 0xAA0000AAu);
    EXPECT_EQ(peer.CalcAverageColor(0xFEFEFEFEu, 0xFEFEFEFEu, 0xFEFEFEFEu), 0xFDFEFEFEu);
    EXPECT_EQ(peer.CalcAverageColor(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFFu);
}

TEST(DamageNewVertexAttributes, MeansOfNeighboursAndTheKeepRule) {
    auto d = Points({{0, 0, 0}, {3, 0, 0}, {0, 0, 3}}, {0xFF000000u, 0x00FF0000u, 0x0000FF00u});
    Kel_CrumpleTestPeer& peer = d->peer;
    Vexa_ObjectData& o = d->o();
    o.pNormals[0] = D3DXVECTOR3(1, 0, 0);
    o.pNormals[1] = D3DXVECTOR3(-1, 0, 0);
    o.pNormals[2] = D3DXVECTOR3(0, 0, 1);
    o.pTexCoords1[1] = D3DXVECTOR2(1, 2);
    std::vector<D3DXVECTOR3> normals;
    std::vector<D3DXVECTOR2> t0, t1, t2;
    std::vector<uint32_t> colors;
    peer.AddVertexToArray(0, 1, &normals, &t0, &t1, &t2, &colors);
    o.pNormals[1] = D3DXVECTOR3(0, 1, 0);
    peer.AddVertexToArray(0, 1, 2, &normals, &t0, &t1, &t2, &colors);
    ASSERT_EQ(normals.size(), 2u);
    EXPECT_TRUE(t2.empty());  // the mesh has no set 2
    EXPECT_EQ(normals[0].x, 0.0f);  // opposite normals are not renormalised
    EXPECT_EQ(normals[1].y, 0.333333343f);
    EXPECT_EQ(t1[0].y, 1.0f);
    EXPECT_EQ(t1[1].x, 0.333333343f);
    EXPECT_EQ(colors[0], 0x7F7F0000u);
    EXPECT_EQ(colors[1], 0x55555500u);

    // Outside the last pass every piece is kept; in it, a centre inside the
    // sphere or on its surface drops the piece.
    peer.vCollisionPos() = D3DXVECTOR3(1, 0, 1);
    D3DXVECTOR3 a(0, 0, 0), b(3, 0, 0), c(0, 0, 3);  // centre (1, 0, 1)
    std::vector<uint32_t> list;
    peer.AddIndexesToArray(0, 1, 2, a, b, c, true, 0.5f, &list);
    EXPECT_EQ(list, (std::vector<uint32_t>{0, 1, 2}));
    peer.vCollisionPos() = D3DXVECTOR3(1, 0, 3);  // centre exactly 2 away
    peer.AddIndexesToArray(5, 6, 7, a, b, c, false, 2.0f, &list);
    EXPECT_EQ(list.size(), 3u);
    peer.AddIndexesToArray(5, 6, 7, a, b, c, false, 1.999f, &list);
    EXPECT_EQ(list, (std::vector<uint32_t>{0, 1, 2, 5, 6, 7}));
}
