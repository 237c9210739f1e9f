// The float rule of the damage arithmetic: every step is one single-precision
// operation, left to right, and double is used only where a constant is
// applied in double or a bound is held exactly. Each case below was found by
// searching random inputs for one where carrying a single step in double gives
// other bytes. Beside each case the test also works out that double reading,
// so a case that no longer tells the two apart fails as well.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "crumple_test_peer.h"
#include "mesh/vector_math.h"
#include "mesh_invariants.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

namespace {

bool Same(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool Same(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return Same(a.x, b.x) && Same(a.y, b.y) && Same(a.z, b.z); }

// Steps of a dent that a double reading would carry unrounded.
enum DentStep {
    kUnitReciprocal = 1,  // 1/L
    kDistance = 2,        // |P - H| + 1e-5
    kFalloff = 4,         // (r - s) / r
    kAllowance = 8,       // (255 - b) * max / 255
    kRecord = 16,         // g / max * 255
    kCapReciprocal = 32,  // 1/g
    kNormalSum = 64,      // 10 * n + (H - new), here with 10 * n rounded first
    kLengths = 128,       // every length from a double sum of squares
};

struct DentCase {
    int step;
    D3DXVECTOR3 p, n, h, o;
    uint32_t color;
    float radius, angle, maxDent;
    // What the float reading gives.
    D3DXVECTOR3 position, normal;
    uint32_t newColor;
    float result;
};

struct DentOutcome {
    D3DXVECTOR3 position, normal;
    uint32_t color;
    float result;
    bool operator==(const DentOutcome& e) const {
        return Same(position, e.position) && Same(normal, e.normal) && color == e.color && Same(result, e.result);
    }
};

D3DXVECTOR3 ScaleUnrounded(const D3DXVECTOR3& a, double s) {
    return D3DXVECTOR3(float(a.x * s), float(a.y * s), float(a.z * s));
}

// The two readings of a length, written out here rather than taken from the
// code under test.
float LengthInFloat(const D3DXVECTOR3& v) {
    float sum = v.x * v.x;
    sum = sum + v.y * v.y;
    sum = sum + v.z * v.z;
    return std::sqrt(sum);
}

float LengthFromDouble(const D3DXVECTOR3& v) {
    return float(std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z));
}

// One vertex dented step by step, the steps in `inDouble` read the other way.
DentOutcome ReadDent(const DentCase& c, int inDouble) {
    auto length = [&](const D3DXVECTOR3& v) { return inDouble & kLengths ? LengthFromDouble(v) : LengthInFloat(v); };
    DentOutcome out{c.p, c.n, c.color, 0.0f};
    const uint32_t b = c.color & 0xFFu;
    const D3DXVECTOR3 goal = Add(Scale(Add(c.h, c.o), c.angle), Scale(Add(c.p, c.o), 1.0f - c.angle));
    const D3DXVECTOR3 full = Sub(goal, c.p);
    const float l = length(full);
    const D3DXVECTOR3 unit = inDouble & kUnitReciprocal ? ScaleUnrounded(full, 1.0 / l) : Scale(full, 1.0f / l);
    const float s = inDouble & kDistance ? float(std::sqrt(double(Sub(c.p, c.h).x) * Sub(c.p, c.h).x +
                                                           double(Sub(c.p, c.h).y) * Sub(c.p, c.h).y +
                                                           double(Sub(c.p, c.h).z) * Sub(c.p, c.h).z) +
                                                 double(1e-5f))
                                         : float(double(length(Sub(c.p, c.h))) + double(1e-5f));
    const float f = inDouble & kFalloff ? float((double(c.radius) - s) / c.radius) : (c.radius - s) / c.radius;
    const D3DXVECTOR3 moved = Add(c.p, Scale(unit, f * l));
    const float g = length(Sub(moved, c.p));
    const float allowed = inDouble & kAllowance ? float(double(255u - b) * c.maxDent / 255.0)
                                                : float(double(float(255u - b) * c.maxDent) / 255.0);
    if (allowed > g) {
        out.position = moved, out.result = g;
        out.color += uint32_t(inDouble & kRecord ? double(g) / c.maxDent * 255.0 : double(g / c.maxDent) * 255.0);
    } else {
        const D3DXVECTOR3 direction =
            inDouble & kCapReciprocal ? ScaleUnrounded(Sub(moved, c.p), 1.0 / g) : Scale(Sub(moved, c.p), 1.0f / g);
        out.position = Add(c.p, Scale(direction, allowed));
        out.result = length(Sub(c.p, out.position));
        out.color |= 0xFFu;
    }
    const D3DXVECTOR3 towards = Sub(c.h, out.position);
    const D3DXVECTOR3 bent = inDouble & kNormalSum ? Add(Scale(c.n, 10.0f), towards)
                                                   : D3DXVECTOR3(float(10.0 * c.n.x + towards.x),
                                                                 float(10.0 * c.n.y + towards.y),
                                                                 float(10.0 * c.n.z + towards.z));
    out.normal = Scale(bent, 1.0f / length(bent));
    return out;
}

// One vertex and a triangle of it alone, all in use.
MeshArrays OneVertex(D3DXVECTOR3 p, D3DXVECTOR3 n, uint32_t color) {
    MeshArrays m;
    m.positions = {p}, m.normals = {n}, m.colors = {color};
    m.texCoords0 = m.texCoords1 = {D3DXVECTOR2(0, 0)};
    m.indices = {0, 0, 0};
    return m;
}

}  // namespace

TEST(FloatRule, EachDentStepRoundsToFloat) {
    const DentCase cases[] = {
        {kUnitReciprocal,
         {0x1.08ddbep+0f, 0x1.faaf38p-2f, 0x1.ba02b2p-3f}, {-0x1.591292p-2f, -0x1.aac06ep-1f, 0x1.c05df4p-2f},
         {0x1.b95b74p-1f, 0x1.1d9da8p-2f, 0x1.39b06p-3f}, {0x1.274decp-2f, 0x1.c9029cp-6f, 0x1.55ed4cp-2f},
         0xFF00008Bu, 0x1.328658p-1f, 0x1.569fc8p-1f, 0x1.bf8c34p-1f,
         {0x1.202ba8p+0f, 0x1.bbd344p-2f, 0x1.7a727ap-2f}, {-0x1.6f5448p-2f, -0x1.ad1fe8p-1f, 0x1.a4c6e6p-2f},
         0xFF0000C2u, 0x1.82ee18p-3f},
        {kDistance,
         {-0x1.11dab4p-2f, -0x1.9f662ap-1f, 0x1.a4454ep+0f}, {0x1.c1cd68p-6f, 0x1.fd314ep-1f, 0x1.9d5338p-4f},
         {0x1.7eb3p-3f, -0x1.a541c8p-1f, 0x1.6017b4p-1f}, {-0x1.d6bfcap-3f, 0x1.818e54p-2f, 0x1.8fad7cp-3f},
         0xFF000093u, 0x1.d65574p+0f, 0x1.dee6b4p-1f, 0x1.78547cp-4f,
         {-0x1.084574p-2f, -0x1.9669e6p-1f, 0x1.9bb562p+0f}, {0x1.28663p-4f, 0x1.fea32ep-1f, 0x1.23cc4p-7f},
         0xFF0000FFu, 0x1.3ec624p-5f},
        {kFalloff,
         {-0x1.10c35ep-2f, -0x1.72ac04p-1f, 0x1.00b822p+0f}, {0x1.4be7b4p-5f, 0x1.8614ccp-1f, -0x1.4afbdap-1f},
         {-0x1.832364p-2f, -0x1.4f40bcp-1f, 0x1.d1b248p-1f}, {-0x1.2574acp-4f, -0x1.20cffep-3f, 0x1.8a00fcp-3f},
         0xFF00004Cu, 0x1.bb1c68p-1f, 0x1.97818p-5f, 0x1.7f5af8p-4f,
         {-0x1.25f12ep-2f, -0x1.858b2ap-1f, 0x1.0d987ep+0f}, {0x1.fa120ep-6f, 0x1.84e1c4p-1f, -0x1.4ca9c4p-1f},
         0xFF0000FFu, 0x1.0d19aep-4f},
        {kAllowance,
         {0x1.1ba24p-1f, -0x1.43e682p-1f, 0x1.ed370cp-1f}, {0x1.d47102p-2f, -0x1.9a991ap-1f, 0x1.896a4ap-2f},
         {0x1.19f5dcp-1f, -0x1.43a1b6p-1f, 0x1.edd2acp-1f}, {-0x1.78e2ep-3f, 0x1.8844p-2f, -0x1.1ccb54p-2f},
         0xFF0000B5u, 0x1.4c1bp-1f, 0.0f, 0x1.19c526p+0f,
         {0x1.c0c242p-2f, -0x1.911c8cp-2f, 0x1.93a9fp-1f}, {0x1.d16eb6p-2f, -0x1.9a1b6ap-1f, 0x1.8efec8p-2f},
         0xFF0000FFu, 0x1.471308p-2f},
        {kRecord,
         {-0x1.3abedp-2f, -0x1.0ce2fep-2f, 0x1.a9914p-3f}, {0x1.84753ap-1f, -0x1.17d9bp-1f, -0x1.6aec26p-2f},
         {-0x1.448788p-1f, -0x1.75a87cp-2f, 0x1.289b8cp-1f}, {0x1.84dbfap-4f, 0x1.2550b6p-1f, 0x1.e4fedcp-4f},
         0xFF000067u, 0x1.383e72p+1f, 0.0f, 0x1.eecd3p-1f,
         {-0x1.db510cp-3f, 0x1.88922cp-3f, 0x1.34edc2p-2f}, {0x1.728cc2p-1f, -0x1.36942p-1f, -0x1.50ea02p-2f},
         0xFF0000E3u, 0x1.e137fep-2f},
        {kCapReciprocal,
         {-0x1.ce891p-3f, 0x1.5cf26p-3f, 0x1.059ac6p-1f}, {0x1.49f5d4p-1f, -0x1.33fdaep-1f, -0x1.e35eeap-2f},
         {0x1.765548p-1f, -0x1.dec0dp-4f, 0x1.004e04p-1f}, {-0x1.d41998p-3f, -0x1.3c9b8p-3f, -0x1.442fcep-5f},
         0xFF0000A4u, 0x1.b81ac8p+0f, 0x1.864a2p-5f, 0x1.001a86p-4f,
         {-0x1.efbddcp-3f, 0x1.3e682cp-3f, 0x1.03c968p-1f}, {0x1.5f414cp-1f, -0x1.29bfeap-1f, -0x1.bfb36ep-2f},
         0xFF0000FFu, 0x1.6d9352p-6f},
        {kNormalSum,
         {-0x1.0c3a8ep+1f, -0x1.166a5cp+0f, 0x1.201e2p-2f}, {0x1.037a14p-1f, -0x1.39b4ccp-1f, -0x1.367d7cp-1f},
         {-0x1.926bbcp-1f, -0x1.dc8fecp-1f, -0x1.553a08p-1f}, {0x1.34cd9cp-4f, 0x1.d397e4p-3f, -0x1.364a7cp-2f},
         0xFF000021u, 0x1.c80258p+0f, 0x1.4097e8p-2f, 0x1.ec921p-4f,
         {-0x1.06bfa6p+1f, -0x1.1026d4p+0f, 0x1.d3e48cp-3f}, {0x1.22ae46p-1f, -0x1.131596p-1f, -0x1.3f56bcp-1f},
         0xFF0000BAu, 0x1.283976p-4f},
        {kLengths,
         {-0x1.e02fb4p-1f, -0x1.d21ad6p-3f, 0x1.32faacp-2f}, {0x1.b70bd8p-2f, -0x1.d8bca8p-2f, 0x1.8d98e2p-1f},
         {-0x1.ea4e4ep-1f, -0x1.769e3p-2f, -0x1.6d3394p-2f}, {-0x1.825e2p-3f, -0x1.80e564p-3f, 0x1.6ab8acp-4f},
         0xFF00002Cu, 0x1.866e24p+0f, 0x1.48e35p-1f, 0x1.270318p-1f,
         {-0x1.0cf4dap+0f, -0x1.87bbbep-2f, 0x1.cfeaf8p-4f}, {0x1.cfb672p-2f, -0x1.e6edbap-2f, 0x1.822662p-1f},
         0xFF0000A2u, 0x1.11d7ccp-2f},
    };
    for (const DentCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "step " << c.step);
        const DentOutcome expected{c.position, c.normal, c.newColor, c.result};
        ASSERT_EQ(ReadDent(c, 0), expected);       // the stored bytes are the float steps
        ASSERT_FALSE(ReadDent(c, c.step) == expected);  // and this step in double would move them

        Kel_Crumple channel;
        Kel_CrumpleTestPeer peer(channel);
        auto object = Vexa_ObjectData::FromArrays(OneVertex(c.p, c.n, c.color));
        peer.pObjectData() = object.get();
        peer.iVertexesUsed() = 1, peer.iIndexesUsed() = 3;
        peer.vCollisionPos() = c.h, peer.fDentAngle() = c.angle, peer.fMaxDent() = c.maxDent;
        std::vector<int> list{0};
        const float result = peer.ApplyDentDamage(c.o, c.radius, &list);
        EXPECT_EQ((DentOutcome{object->pPositions[0], object->pNormals[0], object->pColors[0], result}), expected);
    }
}

TEST(FloatRule, RangeSearchSumsSquaresInFloat) {
    // A vertex inside by the float sum and outside by the double one, and the
    // reverse; placed in every lane of a vectorised block and in the tail.
    const struct { D3DXVECTOR3 p, h; float radius; bool inside; } cases[] = {
        {{0x1.650758p-2f, -0x1.b1e0b8p-2f, 0x1.60e7ep-2f}, {-0x1.e7aa48p-3f, -0x1.b6822p-3f, -0x1.bc7b3p-1f},
         0x1.5d0bep+0f, true},
        {{0x1.00c7fp-1f, 0x1.9bd93p-3f, -0x1.f5fa1cp-2f}, {0x1.b98e14p-1f, -0x1.e63a7cp-2f, -0x1.e680d2p-1f},
         0x1.c993eap-1f, false},
    };
    for (const auto& c : cases) {
        const D3DXVECTOR3 d = Sub(c.p, c.h);
        const double r2 = double(c.radius) * c.radius;
        ASSERT_NE(float(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z) < r2, c.inside);
        for (int at = 0; at < 7; ++at) {
            SCOPED_TRACE(testing::Message() << "inside " << c.inside << ", vertex " << at);
            std::vector<D3DXVECTOR3> positions(7, Add(c.h, D3DXVECTOR3(100, 0, 0)));
            positions[static_cast<size_t>(at)] = c.p;
            MeshArrays m = OneVertex(c.p, D3DXVECTOR3(0, 1, 0), 0xFF000000u);
            m.positions = positions;
            for (auto* set : {&m.texCoords0, &m.texCoords1}) set->resize(7);
            m.normals.resize(7), m.colors.resize(7);
            Kel_Crumple channel;
            Kel_CrumpleTestPeer peer(channel);
            auto object = Vexa_ObjectData::FromArrays(m);
            peer.pObjectData() = object.get();
            peer.iVertexesUsed() = 7, peer.vCollisionPos() = c.h;
            std::vector<int> found;
            peer.SearchVertexesInRange(c.radius, &found);
            EXPECT_EQ(found, c.inside ? std::vector<int>{at} : std::vector<int>{});
        }
    }
}

TEST(FloatRule, ImpactSetUpBoundaries) {
    // The impulse in floats: masses 16901 and 9135 at a speed aimed at an
    // impact radius of 1.25 get exactly there; through a double impulse the
    // radius would be 1.24999988 and vertices on the sphere would change sides.
    {
        const float m1 = 16901.0f, m2 = 9135.0f, speed = 0x1.9bb63ap+12f;
        const float doubleImpulse = float(speed / (1.0 / m1 + 1.0 / m2));
        ASSERT_NE(float(std::sqrt(doubleImpulse) / 5000.0), 1.25f);
        CrumpleScene scene;
        scene.SetMesh(MakeGridMesh(10, 10, 0.25f));
        scene.SetDefaultSettings();
        scene.SetValue(kImpactFactor, 1), scene.SetValue(kImpactRadiusFactor, 1);
        scene.Update();
        scene.SetHit({0, 0, 0}, {0, -1, 0}, m1, m2, speed);
        scene.Update();
        EXPECT_EQ(scene.Value(kCollisionRadius), 1.25f);
    }
    // A hit exactly on a tilted, moved grid: its object-space y comes out 0,
    // so it is not under water. Double dot products would give -6.4e-9.
    {
        D3DXMATRIX placement = {};
        const float rows[3][3] = {{-0x1.8f3b3cp-1f, 0x1.e0af6p-6f, -0x1.40350ep-1f},
                                  {-0x1.1a141cp-1f, 0x1.c4fec8p-2f, 0x1.6a5178p-1f},
                                  {0x1.3090b4p-2f, 0x1.caee34p-1f, -0x1.50abcp-2f}};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) placement.m[r][c] = rows[r][c];
        placement._41 = 2, placement._42 = 0, placement._43 = -2, placement._44 = 1;
        // The grid point (1, 0, 0.25) placed as the host places it.
        D3DXVECTOR3 world;
        float* w = &world.x;
        for (int c = 0; c < 3; ++c) w[c] = 1.0f * rows[0][c] + 0.0f * rows[1][c] + 0.25f * rows[2][c] + placement.m[3][c];
        const D3DXVECTOR3 d = Sub(world, D3DXVECTOR3(2, 0, -2));
        ASSERT_LT(double(rows[1][0]) * d.x + double(rows[1][1]) * d.y + double(rows[1][2]) * d.z, 0.0);

        CrumpleScene scene;
        scene.SetMesh(MakeGridMesh(10, 10, 1.0f));
        scene.SetDefaultSettings();
        scene.Object()->SetWorldMatrix(placement);
        scene.Update();
        scene.SetValue(kHoleThreshold, 0), scene.SetValue(kHolesUnderWater, 5);
        scene.SetHit(world, {0, -1, 0});
        scene.Update();
        EXPECT_EQ(scene.Value(kHolesUnderWater), 5.0f);
    }
    // A hit on the middle of an edge: the two corners' unit vectors are exact
    // opposites, and their float cosine rounds past -1, so neither triangle of
    // the edge is chosen and no vertex is inserted. The double cosine is -1.
    {
        const D3DXVECTOR3 a(-0x1.926be6p-1f, 0, -0x1.b133ccp+0f), b(0x1.8b2efcp-3f, 0, -0x1.51ce7ap-1f);
        const D3DXVECTOR3 h = Scale(Add(a, b), 0.5f);
        D3DXVECTOR3 ua = Sub(a, h), ub = Sub(b, h);
        ua = Scale(ua, 1.0f / LengthFromDouble(ua)), ub = Scale(ub, 1.0f / LengthFromDouble(ub));
        ASSERT_GE(float(double(ua.x) * ub.x + double(ua.y) * ub.y + double(ua.z) * ub.z), -1.0f);

        CrumpleScene scene;
        MeshArrays m = OneVertex(a, D3DXVECTOR3(0, 1, 0), 0xFF000000u);
        m.positions = {a, b, Add(h, D3DXVECTOR3(0, 0, 1)), Add(h, D3DXVECTOR3(0.5f, 0, -1))};
        m.normals.assign(4, D3DXVECTOR3(0, 1, 0)), m.colors.assign(4, 0xFF000000u);
        m.texCoords0 = m.texCoords1 = std::vector<D3DXVECTOR2>(4, D3DXVECTOR2(0, 0));
        m.indices = {0, 2, 1, 0, 1, 3};
        scene.SetMesh(m);
        scene.SetDefaultSettings();
        scene.SetValue(kDentRadiusFactor, 0);
        scene.Update();
        const MeshArrays before = scene.Object()->ToArrays();
        scene.SetHit(h, {0, -1, 0});
        scene.Update();
        EXPECT_TRUE(std::isnan(Kel_CrumpleTestPeer(scene.crumple()).CalcAngle(Sub(a, h), Sub(b, h))));
        EXPECT_EQ(scene.Value(kVertexesUsed), 4.0f);
        EXPECT_TRUE(SameBits(scene.Object()->ToArrays(), before));
    }
}

TEST(FloatRule, InsertedVertexWeightsAndDroppedTriangleCentres) {
    // Set-1 coordinates of an impact-point vertex from float inverse-distance
    // weights; the double distances and sums give 0x1.a268ap-3 for u.
    {
        const D3DXVECTOR3 corners[3] = {
            {-0x1.df9a38p-2f, 0, -0x1.f111bep-1f}, {-0x1.b8f69cp-2f, 0, -0x1.a0657p-1f}, {-0x1.f8a6cp-2f, 0, 0x1.4e643cp-1f}};
        const D3DXVECTOR2 uv[3] = {
            {0x1.273f9cp-3f, 0x1.c8ea18p-1f}, {0x1.532cd6p-3f, 0x1.ea80bep-1f}, {0x1.ed884ep-1f, 0x1.1f6794p-1f}};
        MeshArrays m = OneVertex(corners[0], D3DXVECTOR3(0, 1, 0), 0xFF000000u);
        m.positions = {corners[0], corners[1], corners[2], {0, 0, 0}};
        m.normals.assign(4, D3DXVECTOR3(0, 1, 0)), m.colors.assign(4, 0xFF000000u);
        m.texCoords0.assign(4, D3DXVECTOR2(0, 0));
        m.texCoords1 = {uv[0], uv[1], uv[2], {0, 0}};
        m.indices = {0, 1, 2, 1, 1, 1, 1, 1, 1, 1};
        Kel_Crumple channel;
        Kel_CrumpleTestPeer peer(channel);
        auto object = Vexa_ObjectData::FromArrays(m);
        peer.pObjectData() = object.get();
        peer.iVertexesUsed() = 3, peer.iIndexesUsed() = 3;
        peer.vCollisionPos() = D3DXVECTOR3(-0x1.ccc04p-2f, 0, -0x1.66c27p-1f);
        ASSERT_TRUE(peer.AddVertex());
        EXPECT_TRUE(Same(object->pTexCoords1[3].x, 0x1.a2689cp-3f) && Same(object->pTexCoords1[3].y, 0x1.d5b98ap-1f));
    }
    // A last-pass triangle whose centre lies at the radius once r * r is
    // rounded to float: dropped. In double the centre would be outside.
    {
        const float x = 0x1.5f3c18p+0f;
        D3DXVECTOR3 corner(x, 0, 0);
        ASSERT_GT(double(x * x), double(x) * x);
        Kel_Crumple channel;
        Kel_CrumpleTestPeer peer(channel);
        peer.vCollisionPos() = D3DXVECTOR3(0, 0, 0);
        std::vector<uint32_t> kept;
        peer.AddIndexesToArray(0, 1, 2, corner, corner, corner, false, x, &kept);
        EXPECT_TRUE(kept.empty());
        peer.AddIndexesToArray(0, 1, 2, corner, corner, corner, false, std::nextafter(x, 0.0f), &kept);
        EXPECT_EQ(kept, (std::vector<uint32_t>{0, 1, 2}));
    }
}
