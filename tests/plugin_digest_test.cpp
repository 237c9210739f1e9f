// Fixed runs of hits through the loaded plug-in, each reduced to a digest of
// every byte it leaves behind: the working mesh, both render buffers and the
// output children. Any change in the damage arithmetic shows up here, and so
// does any dependence on the floating-point mode the host calls in.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <iomanip>
#include <memory>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "crumple_test_peer.h"
#include "host_float_mode.h"
#include "mesh_invariants.h"
#include "plugin/children.h"
#include "test_scene.h"
#include "tools/scene/fnv1a.h"

using namespace crumple;

namespace {

// The same hits must give the same bytes on every compiler and platform, so a
// mismatch is a defect to find, not a constant to regenerate per build. Change
// this only when the damage behaviour is changed on purpose.
constexpr uint64_t kExpectedDigest = 0x92108427B198E04Aull;
// A run whose arithmetic goes through subnormal numbers.
constexpr uint64_t kExpectedTinyDigest = 0x56F86CB36C5DBC9Cull;

const HostFloatMode kHostModes[] = {
    HostFloatMode::kDefault,     HostFloatMode::kTowardZero,       HostFloatMode::kUpward,
    HostFloatMode::kDownward,    HostFloatMode::kFlushToZero,      HostFloatMode::kDenormalsAreZero,
    HostFloatMode::kFlushAndDenormalsAreZero, HostFloatMode::kX87Single};

// How a run reaches the channel: the host's calls in the host's mode, which
// must leave that mode as it was, or (to show what the mode would do) the
// update's body without the plug-in's own mode.
struct Driver {
    HostFloatMode mode = HostFloatMode::kDefault;
    bool bypassModeGuard = false;

    void Update(CrumpleScene& s) const {
        Call([&] {
            if (bypassModeGuard)
                Kel_CrumpleTestPeer(s.crumple()).EvaluateInHostMode();
            else
                s.Update();
        });
    }
    void ClearDamage(CrumpleScene& s) const { Call([&] { s.crumple().ClearDamage(); }); }

    template <typename F>
    void Call(F call) const {
        const HostFloatModeScope scope(mode);
        const uint64_t before = ReadFloatState();
        call();
        const uint64_t after = ReadFloatState();
        if (!bypassModeGuard) {
            EXPECT_EQ(before, after) << "host mode " << Name(mode) << " not given back";
        }
    }
};

// A render buffer as one array of bytes; absent ones hash as absent.
void FeedBuffer(crumpletool::Fnv1a64& d, const RenderBufferMemory* buffer) {
    EXPECT_NE(buffer, nullptr);
    if (buffer) d.FeedArray(buffer->Data(), static_cast<int>(buffer->GetSize()));
}

void FeedScene(crumpletool::Fnv1a64& d, CrumpleScene& s) {
    Vexa_ObjectData& o = *s.Object();
    d.FeedArray(o.pPositions, o.PositionsLength());
    d.FeedArray(o.pNormals, o.NormalsLength());
    d.FeedArray(o.pTexCoords0, o.TexCoordsLength(0));
    d.FeedArray(o.pTexCoords1, o.TexCoordsLength(1));
    d.FeedArray(o.pTexCoords2, o.TexCoordsLength(2));
    d.FeedArray(o.pColors, o.ColorsLength());
    d.FeedArray(o.pIndices16, o.IndexArrayLength());
    d.FeedArray(o.pIndices32, o.IndexArrayLength());
    FeedBuffer(d, o.CurrentVertexBuffer());
    FeedBuffer(d, o.CurrentIndexBuffer());
    for (int child = kVertexesUsed; child <= kCollisionRadius; ++child) {
        const float value = s.Value(child);
        d.Feed(&value, sizeof value);
    }
    const D3DXVECTOR3 moved = s.Vector(kNewCollisionPosition);
    d.Feed(&moved, sizeof moved);
}

// Colours that differ per vertex: blue (earlier dents) from 0 to 199, red from
// 0 to 79, so the hole limit of 64 leaves some vertices uncuttable.
MeshArrays Mesh(int n, float spacing, bool indices16, bool withTex2) {
    MeshArrays m = MakeGridMesh(n, n, spacing, indices16, withTex2);
    for (size_t v = 0; v < m.colors.size(); ++v)
        m.colors[v] = 0xFF000000u | uint32_t(v * 29 % 80) << 16 | uint32_t(v * 13 % 256) << 8 | uint32_t(v * 7 % 200);
    return m;
}

::testing::AssertionResult Sound(CrumpleScene& s, int vertexesUsed, int indexesUsed) {
    const auto sound = MeshIsSound(*s.Object(), vertexesUsed, indexesUsed);
    if (!sound || !s.Object()->CurrentVertexBuffer()) return sound;
    std::vector<int> used(static_cast<size_t>(vertexesUsed));
    std::iota(used.begin(), used.end(), 0);
    return RenderBuffersMatch(*s.Object(), used);
}

int Used(CrumpleScene& s) { return static_cast<int>(s.Value(kVertexesUsed)); }
int UsedIndexes(CrumpleScene& s) { return static_cast<int>(s.Value(kIndexesUsed)); }

void Prepare(CrumpleScene& s, const Driver& driver) {
    s.SetDefaultSettings();
    const std::pair<int, float> settings[] = {{kImpactFactor, 1},    {kVertexMultiplier, 3}, {kIndexMultiplier, 6},
                                              {kHoleThreshold, 1},   {kMinRedValue, 64},     {kDentFactor, 0.15f},
                                              {kAlphaDamageValue, 96}, {kMinTriangleSize, 0.1f}};
    for (auto [child, value] : settings) s.SetValue(child, value);
    driver.Update(s);
    EXPECT_TRUE(Sound(s, Used(s), UsedIndexes(s)));
}

// Energy 1 (masses 2 and 2 at 25e6), so the impact radius is `radius`.
void Hit(CrumpleScene& s, const Driver& driver, D3DXVECTOR3 at, float radius, bool dents, bool alpha,
         int holePasses) {
    s.SetValue(kApplyDents, dents), s.SetValue(kApplyAlphaDamage, alpha), s.SetValue(kApplyHoles, holePasses > 0);
    s.SetValue(kNumberOfPasses, static_cast<float>(holePasses)), s.SetValue(kImpactRadiusFactor, radius);
    s.SetHit(at, {0, -1, 0}, 2, 2, 25e6f);
    driver.Update(s);
    EXPECT_TRUE(Sound(s, Used(s), UsedIndexes(s)));
}

int Marked(CrumpleScene& s) {
    int n = 0;
    for (int v = 0; v < Used(s); ++v) n += (s.Object()->pColors[v] >> 24) != 0xFFu;
    return n;
}

int Dented(CrumpleScene& s) {
    int n = 0;
    for (int v = 0; v < Used(s); ++v) n += s.Object()->pPositions[v].y != 0.0f;
    return n;
}


std::string Hex(uint64_t value) {
    std::ostringstream hex;
    hex << "0x" << std::hex << std::uppercase << std::setw(16) << std::setfill('0') << value;
    return hex.str();
}

uint64_t FixedSequence(const Driver& driver) {
    crumpletool::Fnv1a64 digest;

    // 32-bit indices, texture sets 0 to 2: 169 vertices, 864 indices.
    CrumpleScene a;
    a.SetMesh(Mesh(12, 1.0f, false, true));
    Prepare(a, driver);
    EXPECT_EQ(a.Object()->GetVertexCount(), 507);
    EXPECT_TRUE(Used(a) == 169 && UsedIndexes(a) == 864);

    Hit(a, driver, {0.3f, 0.0f, 0.2f}, 2.0f, true, false, 0);
    EXPECT_GT(Dented(a), 4);
    EXPECT_TRUE(Used(a) == 169 && UsedIndexes(a) == 864 && Marked(a) == 0 && a.Value(kCumulativeImpact) == 1.0f);

    Hit(a, driver, {-3.2f, 0.0f, 2.7f}, 2.0f, true, true, 0);
    const int marked = Marked(a);
    EXPECT_GT(marked, 4);

    // One pass, below the waterline.
    Hit(a, driver, {2.3f, -0.1f, -2.4f}, 1.5f, true, true, 1);
    EXPECT_GT(Used(a), 169);
    EXPECT_NE(UsedIndexes(a), 864);
    EXPECT_GT(Marked(a), marked);
    EXPECT_EQ(a.Value(kHolesUnderWater), 1.5f);

    const int vertexesAfterOne = Used(a), indexesAfterOne = UsedIndexes(a);
    Hit(a, driver, {-2.6f, 0.0f, -2.1f}, 1.7f, false, false, 2);
    EXPECT_GT(Used(a), vertexesAfterOne);
    EXPECT_NE(UsedIndexes(a), indexesAfterOne);

    // No vertex within 0.2 of the hit: one is inserted there (holes are gated off).
    const int vertexesBefore = Used(a), indexesBefore = UsedIndexes(a);
    Hit(a, driver, {4.5f, 0.0f, 4.4f}, 0.2f, true, true, 1);
    EXPECT_EQ(Used(a), vertexesBefore + 1);
    EXPECT_EQ(UsedIndexes(a), indexesBefore + 6);
    const D3DXVECTOR3 inserted = a.Object()->pPositions[vertexesBefore];
    EXPECT_TRUE(inserted.x == 4.5f && inserted.z == 4.4f && inserted.y != 0.0f);
    EXPECT_NE(a.Object()->pColors[vertexesBefore] >> 24, 0xFFu);
    FeedScene(digest, a);

    // Reset; the next update prepares the buffers again, then more hits.
    driver.ClearDamage(a);
    EXPECT_TRUE(a.Value(kVertexesUsed) == 0.0f && a.Value(kCumulativeImpact) == 0.0f);
    EXPECT_TRUE(Sound(a, 169, 864));
    driver.Update(a);
    EXPECT_EQ(a.Object()->GetVertexCount(), 507);
    EXPECT_TRUE(Used(a) == 169 && UsedIndexes(a) == 864 && Marked(a) == 0 && Dented(a) == 0);
    EXPECT_TRUE(Sound(a, 169, 864));
    Hit(a, driver, {1.1f, 0.0f, 3.3f}, 1.6f, true, true, 2);
    EXPECT_TRUE(Used(a) > 169 && UsedIndexes(a) != 864 && Marked(a) > 0);
    FeedScene(digest, a);

    // 16-bit indices, texture sets 0 and 1: 121 vertices, 600 indices.
    CrumpleScene b;
    b.SetMesh(Mesh(10, 0.8f, true, false));
    Prepare(b, driver);
    EXPECT_TRUE(b.Object()->pIndices16 && b.Object()->GetVertexCount() == 363 && Used(b) == 121);
    Hit(b, driver, {0.5f, 0.0f, -0.3f}, 1.4f, true, true, 1);
    EXPECT_TRUE(Used(b) > 121 && UsedIndexes(b) != 600 && Marked(b) > 0 && Dented(b) > 0);
    const int vertexesB = Used(b), indexesB = UsedIndexes(b);
    Hit(b, driver, {1.9f, 0.0f, 2.15f}, 0.2f, true, true, 0);
    EXPECT_TRUE(Used(b) == vertexesB + 1 && UsedIndexes(b) == indexesB + 6);
    FeedScene(digest, b);

    return digest.value();
}

// Hits whose arithmetic runs through subnormal floats: dents of a subnormal
// depth on a unit grid, and a hole with alpha marks and dents on a grid whose
// spacing (1e-20) makes every squared distance subnormal. Flushing them to
// zero, on input or on output, moves other vertices or none.
uint64_t TinySequence(const Driver& driver) {
    crumpletool::Fnv1a64 digest;

    CrumpleScene a;
    a.SetMesh(Mesh(8, 1.0f, false, false));
    Prepare(a, driver);
    a.SetValue(kDentFactor, 3e-39f);
    a.SetValue(kMaxDent, 1e-38f);
    Hit(a, driver, {0.3f, 0.0f, 0.2f}, 2.5f, true, true, 0);
    Hit(a, driver, {-1.7f, 0.0f, 1.1f}, 1.5f, true, false, 0);
    EXPECT_GT(Marked(a), 4);
    FeedScene(digest, a);

    CrumpleScene b;
    b.SetMesh(Mesh(8, 1e-20f, true, true));
    Prepare(b, driver);
    const std::pair<int, float> settings[] = {
        {kDentFactor, 2e-21f}, {kMaxDent, 4e-21f}, {kHoleThreshold, 1e-21f}, {kMinTriangleSize, 0}};
    for (auto [child, value] : settings) b.SetValue(child, value);
    Hit(b, driver, {0.3e-20f, 0.0f, 0.2e-20f}, 2.2e-20f, true, true, 2);
    EXPECT_GT(Used(b), 81);
    Hit(b, driver, {-2.1e-20f, 0.0f, 1.3e-20f}, 1.1e-20f, true, true, 1);
    FeedScene(digest, b);
    return digest.value();
}

}  // namespace

TEST(HitDigest, FixedSequenceGivesStoredBytes) {
    const uint64_t digest = FixedSequence(Driver());
    EXPECT_EQ(digest, kExpectedDigest) << "computed digest " << Hex(digest);
    const uint64_t tiny = TinySequence(Driver());
    EXPECT_EQ(tiny, kExpectedTinyDigest) << "computed digest " << Hex(tiny);
}

// Every rounding direction and both subnormal modes a host may leave set
// give the stored bytes, and the host gets its own mode back from every call.
TEST(HitDigest, SameBytesInEveryHostFloatMode) {
    for (HostFloatMode mode : kHostModes) {
        SCOPED_TRACE(Name(mode));
        Driver driver;
        driver.mode = mode;
        if (!HostFloatModeScope(mode).active()) continue;
        EXPECT_EQ(FixedSequence(driver), kExpectedDigest);
        EXPECT_EQ(TinySequence(driver), kExpectedTinyDigest);
    }
}

// The runs are sensitive to the modes the plug-in sets aside: computed in
// the host's mode instead, each mode changes the bytes of one of them.
TEST(HitDigest, HostModesWouldChangeTheBytesWithoutThePluginsOwnMode) {
    int modes = 0, changed = 0;
    for (HostFloatMode mode : kHostModes) {
        if (mode == HostFloatMode::kDefault || mode == HostFloatMode::kX87Single) continue;
        SCOPED_TRACE(Name(mode));
        Driver driver;
        driver.mode = mode;
        driver.bypassModeGuard = true;
        if (!HostFloatModeScope(mode).active()) continue;
        ++modes;
        // The runs' own checks of what each hit did are expected to fail here.
        ::testing::TestPartResultArray swallowed;
        const ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &swallowed);
        const bool subnormal = mode == HostFloatMode::kFlushToZero || mode == HostFloatMode::kDenormalsAreZero ||
                               mode == HostFloatMode::kFlushAndDenormalsAreZero;
        const uint64_t digest = subnormal ? TinySequence(driver) : FixedSequence(driver);
        changed += digest != (subnormal ? kExpectedTinyDigest : kExpectedDigest);
    }
    EXPECT_EQ(changed, modes);
#if defined(__SSE__) || defined(_M_X64) || defined(__aarch64__)
    EXPECT_EQ(modes, 6);
#endif
}

namespace {

// A host value that fails when the channel reads it.
class ThrowingValue : public Vexa_Value {
public:
    float GetValue() override { throw std::runtime_error("host failure"); }
};

}  // namespace

TEST(HitDigest, HostModeComesBackWhenAHostCallThrows) {
    CrumpleScene s;
    s.SetMesh(Mesh(4, 1.0f, false, false));
    s.SetDefaultSettings();
    s.Update();
    s.channel()->SetChild(kImpactFactor, std::make_shared<ThrowingValue>());
    s.SetHit({0.3f, 0.0f, 0.2f}, {0, -1, 0});
    const HostFloatModeScope scope(HostFloatMode::kTowardZero);
    ASSERT_TRUE(scope.active());
    const uint64_t before = ReadFloatState();
    EXPECT_THROW(s.Update(), std::runtime_error);
    EXPECT_EQ(ReadFloatState(), before);
}
