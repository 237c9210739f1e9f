// What the channel keeps between hits (the corner reach of the impact-point
// search, the written part of the index buffer) must never change a result:
// random hit sequences mixed with resets, buffer re-creation and outside
// edits of the used counts give the same bytes as a twin that drops that
// state before every update.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "crumple_test_peer.h"
#include "mesh_invariants.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

namespace {

bool SameBuffer(const RenderBufferMemory* a, const RenderBufferMemory* b) {
    if (!a || !b) return a == b;
    return a->GetSize() == b->GetSize() && std::memcmp(a->Data(), b->Data(), a->GetSize()) == 0;
}

::testing::AssertionResult SameState(CrumpleScene& a, CrumpleScene& b) {
    if (!SameBits(a.Object()->ToArrays(), b.Object()->ToArrays())) return ::testing::AssertionFailure() << "arrays";
    if (!SameBuffer(a.Object()->CurrentVertexBuffer(), b.Object()->CurrentVertexBuffer()))
        return ::testing::AssertionFailure() << "vertex buffer";
    if (!SameBuffer(a.Object()->CurrentIndexBuffer(), b.Object()->CurrentIndexBuffer()))
        return ::testing::AssertionFailure() << "index buffer";
    for (int child = kVertexesUsed; child <= kCollisionRadius; ++child) {
        const float x = a.Value(child), y = b.Value(child);
        if (std::memcmp(&x, &y, sizeof x) != 0) return ::testing::AssertionFailure() << "child " << child;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Sound(CrumpleScene& s) {
    const int vertexes = static_cast<int>(s.Value(kVertexesUsed)), indexes = static_cast<int>(s.Value(kIndexesUsed));
    const auto sound = MeshIsSound(*s.Object(), vertexes, indexes);
    if (!sound || !s.Object()->CurrentVertexBuffer() || vertexes == 0) return sound;
    std::vector<int> used(static_cast<size_t>(vertexes));
    std::iota(used.begin(), used.end(), 0);
    return RenderBuffersMatch(*s.Object(), used);
}

}  // namespace

TEST(KeptState, HitSequencesGiveTheBytesOfStartingAfresh) {
    std::mt19937 rng(2026);
    auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    int nearOnlySearches = 0, insertions = 0, holed = 0;
    for (int sequence = 0; sequence < 60; ++sequence) {
        SCOPED_TRACE(testing::Message() << "sequence " << sequence);
        const int n = 4 + static_cast<int>(rng() % 37);
        const float spacing = uniform(0.5f, 2.0f);
        MeshArrays mesh = MakeGridMesh(n, n, spacing, rng() % 3 == 0, rng() % 2 == 0);
        const bool rough = rng() % 2 == 0;
        for (size_t v = 0; v < mesh.positions.size(); ++v) {
            if (rough) mesh.positions[v].y = uniform(-0.02f, 0.02f) * spacing;
            mesh.colors[v] = 0xFF000000u | (rng() % 256) << 16 | (rng() % 256);
        }

        CrumpleScene kept, fresh;
        Kel_CrumpleTestPeer keptPeer(kept.crumple()), freshPeer(fresh.crumple());
        CrumpleScene* both[] = {&kept, &fresh};
        const std::pair<int, float> settings[] = {
            {kImpactFactor, 1},          {kVertexMultiplier, uniform(2, 4)}, {kIndexMultiplier, uniform(3, 6)},
            {kHoleThreshold, 0.2f},      {kMinRedValue, static_cast<float>(rng() % 300)},
            {kDentFactor, uniform(0.0f, 0.3f)}, {kAlphaDamageValue, 96},    {kMinTriangleSize, 0.05f * spacing}};
        for (CrumpleScene* s : both) {
            s->SetMesh(mesh);
            s->SetDefaultSettings();
            for (auto [child, value] : settings) s->SetValue(child, value);
        }
        auto update = [&] {
            freshPeer.ForgetKeptState();
            kept.Update();
            fresh.Update();
        };
        update();

        D3DXVECTOR3 last(0, 0, 0);
        for (int step = 0; step < 40; ++step) {
            SCOPED_TRACE(testing::Message() << "step " << step);
            const int kind = static_cast<int>(rng() % 12);
            const float half = 0.5f * n * spacing;
            if (kind <= 7 || kind == 11) {
                // A hit; a small dent radius lands it between vertices.
                const D3DXVECTOR3 at =
                    kind == 11 ? last : D3DXVECTOR3(uniform(-half, half), 0.0f, uniform(-half, half));
                last = at;
                const float radius = uniform(0.3f, 4.0f) * spacing;
                const float dentShare = rng() % 3 == 0 ? 0.02f : uniform(0.3f, 1.0f);
                const int passes = static_cast<int>(rng() % 3);
                const bool dents = rng() % 4 != 0, alpha = rng() % 2 == 0;
                if (dentShare < 0.05f && keptPeer.CornerReachHolds()) ++nearOnlySearches;
                for (CrumpleScene* s : both) {
                    s->SetValue(kApplyDents, dents), s->SetValue(kApplyAlphaDamage, alpha);
                    s->SetValue(kApplyHoles, passes > 0), s->SetValue(kNumberOfPasses, static_cast<float>(passes));
                    s->SetValue(kImpactRadiusFactor, radius), s->SetValue(kDentRadiusFactor, dentShare);
                    s->SetHit(at, {0, -1, 0}, 2, 2, 25e6f);
                }
                const float before = kept.Value(kVertexesUsed), indexesBefore = kept.Value(kIndexesUsed);
                update();
                if (dentShare < 0.05f && kept.Value(kVertexesUsed) > before) ++insertions;
                if (passes > 0 && kept.Value(kIndexesUsed) != indexesBefore + 6) ++holed;
            } else if (kind == 8) {
                // Undamaged mesh back; the next update makes the working buffers again.
                for (CrumpleScene* s : both) s->crumple().ClearDamage();
                update();
            } else if (kind == 9) {
                // The host drops or remakes its render buffers.
                const bool release = rng() % 2 == 0;
                for (CrumpleScene* s : both) release ? s->Object()->ReleaseBuffers() : s->Object()->CreateBuffers();
            } else {
                // The used counts edited from outside: fewer or more triangles
                // (spare slots hold valid vertex numbers), more vertices.
                const int indexes = static_cast<int>(kept.Value(kIndexesUsed));
                const int vertexes = static_cast<int>(kept.Value(kVertexesUsed));
                const int room = kept.Object()->GetIndexCount() - indexes;
                const int change = 3 * (static_cast<int>(rng() % 7) - 3);
                const int newIndexes = std::clamp(indexes + change, 0, indexes + std::max(0, room - 3));
                const int newVertexes = std::min(vertexes + static_cast<int>(rng() % 3), kept.Object()->GetVertexCount());
                for (CrumpleScene* s : both) {
                    s->SetValue(kIndexesUsed, static_cast<float>(newIndexes));
                    s->SetValue(kVertexesUsed, static_cast<float>(newVertexes));
                }
            }
            ASSERT_TRUE(SameState(kept, fresh));
            ASSERT_TRUE(Sound(kept));
        }
    }
    // The kept state was in play: near-only searches that inserted, and holes.
    EXPECT_GT(nearOnlySearches, 100);
    EXPECT_GT(insertions, 100);
    EXPECT_GT(holed, 200);
}
