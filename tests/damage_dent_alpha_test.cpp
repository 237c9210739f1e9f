// Dents within each vertex's allowance, alpha marks, and the colours new
// vertices take from their neighbours.
#include <gtest/gtest.h>

#include <cmath>

#include "damage_fixture.h"

namespace {

// Vertices with normal (1, 0, 0) and the given colours, the hit at the origin.
std::unique_ptr<DirectChannel> Points(const std::vector<D3DXVECTOR3>& positions,
                                      const std::vector<uint32_t>& colors) {
    MeshArrays mesh;
    mesh.positions = positions;
    mesh.normals.assign(positions.size(), D3DXVECTOR3(1, 0, 0));
    mesh.texCoords0.assign(positions.size(), D3DXVECTOR2(0, 0));
    mesh.colors = colors;
    mesh.indices = {0, 1, 2};
    auto d = DirectChannel::Padded(mesh, 0, 0);
    d->peer.vCollisionPos() = D3DXVECTOR3(0, 0, 0);
    d->peer.fDentAngle() = 0.0f;  // straight along the offset
    d->peer.fMaxDent() = 1.0f;
    return d;
}

}  // namespace

TEST(DamageDent, AllowanceAndRecordArithmetic) {
    // A radius so large that the falloff rounds to 1: every vertex is offered
    // the whole offset. Records (blue byte): 0, 200, 255, 200.
    auto d = Points({{0, 0, 0}, {0.001f, 0, 0}, {0, 0, 0.001f}, {0, 0, 0}},
                    {0xFF000000u, 0xFF0000C8u, 0xFF0000FFu, 0xFF0000C8u});
    Vexa_ObjectData& o = d->o();
    std::vector<int> list = {0, 1, 2};
    // The largest single move comes back, not a sum.
    EXPECT_EQ(d->peer.ApplyDentDamage({0, -0.5f, 0}, 1000.0f, &list), 0.5f);
    // Record 0: the whole 0.5 fits; 127 (127.5 truncated) is recorded.
    EXPECT_EQ(o.pPositions[0].y, -0.5f);
    EXPECT_EQ(o.pColors[0], 0xFF00007Fu);
    // Record 200 leaves 55/255: the move is cut to it and the record spent.
    EXPECT_NEAR(o.pPositions[1].y, -55.0f / 255.0f, 1e-6f);
    EXPECT_EQ(o.pColors[1], 0xFF0000FFu);
    // Record 255: nothing moves, not even the normal.
    EXPECT_EQ(o.pPositions[2].y, 0.0f);
    EXPECT_EQ(o.pNormals[2].x, 1.0f);
    // Moved normals lean towards the impact point: (10, 0, 0) + (0, 0.5, 0).
    EXPECT_NEAR(o.pNormals[0].y, 0.5 / std::sqrt(100.25), 1e-6);

    // Record 200 and a move of 0.1: applied in full, 25 (25.5 truncated) added.
    list = {3};
    EXPECT_NEAR(d->peer.ApplyDentDamage({0, -0.1f, 0}, 1000.0f, &list), 0.1f, 1e-7f);
    EXPECT_NEAR(o.pPositions[3].y, -0.1f, 1e-7f);
    EXPECT_EQ(o.pColors[3], 0xFF0000E1u);
}

TEST(DamageDent, MovesWithoutDirectionLeaveTheVertex) {
    auto d = Points({{1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, {0xFF000000u, 0xFF000000u, 0xFF000000u});
    const MeshArrays before = d->o().ToArrays();
    // No offset: every vertex already sits on its goal.
    std::vector<int> list = {0, 1, 2};
    EXPECT_EQ(d->peer.ApplyDentDamage({0, 0, 0}, 5.0f, &list), 0.0f);
    // At the very edge the step is 0; with no allowance left it would have to
    // be scaled by 1/0.
    d->peer.fMaxDent() = 0.0f;
    const float edge = static_cast<float>(1.0 + static_cast<double>(1e-5f));
    EXPECT_EQ(d->peer.ApplyDentDamage({0, -1, 0}, edge, &list), 0.0f);
    EXPECT_TRUE(SameBits(d->o().ToArrays(), before));
}

TEST(DamageAlpha, ValueMasksTheAlphaByteOnly) {
    auto d = Points({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0xFF123456u, 0xFF123456u, 0xFF123456u});
    const struct {
        int vertex, value;
        uint32_t expected;
    } steps[] = {{0, 128, 0x80123456u}, {0, 127, 0x00123456u}, {1, 300, 0x2C123456u}, {2, -1, 0xFF123456u}};
    for (const auto& s : steps) {
        std::vector<int> list = {s.vertex};
        d->peer.iAlphaDamageValue() = s.value;
        d->peer.ApplyAlphaDamage(&list);
        EXPECT_EQ(d->o().pColors[s.vertex], s.expected) << "value " << s.value;
    }
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
