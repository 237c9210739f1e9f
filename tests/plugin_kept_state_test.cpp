// Whatever the channel keeps or skips between updates must never change a
// result: random hit sequences, mixed with everything a host may do between
// two updates (resets, render buffers written, dropped or remade, used counts
// edited, vertices moved and indices rewritten in place, arrays replaced at
// the same address or another), give the same bytes as a twin that drops all
// kept state before every update.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "crumple_test_peer.h"
#include "korvane_test_access.h"
#include "mesh_invariants.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

#if defined(__SANITIZE_ADDRESS__)
#define CRUMPLE_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CRUMPLE_TEST_ASAN 1
#endif
#endif
#ifdef CRUMPLE_TEST_ASAN
extern "C" void __sanitizer_purge_allocator();
#endif

namespace {

// AddressSanitizer holds freed blocks back so a stale pointer faults; the
// same-address case needs the block handed out again, so empty that hold.
void LetFreedBlocksBeReused() {
#ifdef CRUMPLE_TEST_ASAN
    __sanitizer_purge_allocator();
#endif
}

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
    const D3DXVECTOR3 x = a.Vector(kNewCollisionPosition), y = b.Vector(kNewCollisionPosition);
    if (std::memcmp(&x, &y, sizeof x) != 0) return ::testing::AssertionFailure() << "child 27";
    return ::testing::AssertionSuccess();
}

// After an update the index buffer holds the whole index array, and every
// vertex record the host has not overwritten behind the channel shows its vertex.
::testing::AssertionResult Sound(CrumpleScene& s, const std::set<int>& staleRecords) {
    const int vertexes = static_cast<int>(s.Value(kVertexesUsed)), indexes = static_cast<int>(s.Value(kIndexesUsed));
    const auto sound = MeshIsSound(*s.Object(), vertexes, indexes);
    if (!sound || !s.Object()->CurrentVertexBuffer() || vertexes == 0) return sound;
    std::vector<int> fresh;
    for (int v = 0; v < vertexes; ++v)
        if (!staleRecords.count(v)) fresh.push_back(v);
    return RenderBuffersMatch(*s.Object(), fresh);
}

// The host replaces one per-vertex or index array by a new one of the same
// length with the same contents, through the count and setter calls a host
// has: the array is first remade one longer, then at its length again, which
// frees the old one. Retries until the allocator hands back the old address,
// up to a bound; returns whether it did.
bool ReplaceArray(Vexa_ObjectData& o, bool indexes) {
    if (indexes) {
        const int count = o.GetIndexCount();
        std::vector<int> saved(static_cast<size_t>(count));
        for (int p = 0; p < count; ++p) saved[static_cast<size_t>(p)] = o.GetIndex(p);
        const void* old = o.UsesIndices16() ? static_cast<const void*>(o.pIndices16) : o.pIndices32;
        bool same = false;
        for (int attempt = 0; attempt < 64 && !same; ++attempt) {
            o.SetIndexCount(count + 1);
            o.SetIndex(0, 0);
            LetFreedBlocksBeReused();
            o.SetIndexCount(count);
            o.SetIndex(0, 0);
            same = (o.UsesIndices16() ? static_cast<const void*>(o.pIndices16) : o.pIndices32) == old;
        }
        for (int p = 0; p < count; ++p) o.SetIndex(saved[static_cast<size_t>(p)], p);
        return same;
    }
    const int count = o.GetVertexCount();
    std::vector<D3DXVECTOR3> saved(o.pPositions, o.pPositions + count);
    const D3DXVECTOR3* old = o.pPositions;
    bool same = false;
    for (int attempt = 0; attempt < 64 && !same; ++attempt) {
        o.SetVertexCount(count + 1);
        o.SetVertexPosition(D3DXVECTOR3(0, 0, 0), 0);
        LetFreedBlocksBeReused();
        o.SetVertexCount(count);
        o.SetVertexPosition(D3DXVECTOR3(0, 0, 0), 0);
        same = o.pPositions == old;
    }
    std::copy(saved.begin(), saved.end(), o.pPositions);
    return same;
}

// Counts of what the sequences did, so the test can show every edit was in play.
struct Tally {
    int insertions = 0, holed = 0, moved = 0, rewritten = 0, spareRewritten = 0, sameAddress = 0,
        bufferWrites = 0;
};

}  // namespace

TEST(KeptState, HostActionsBetweenUpdatesGiveTheBytesOfRecomputing) {
    std::mt19937 rng(2026);
    auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    auto below = [&](int n) { return n > 0 ? static_cast<int>(rng() % static_cast<unsigned>(n)) : 0; };
    Tally tally;
    for (int sequence = 0; sequence < 60; ++sequence) {
        SCOPED_TRACE(testing::Message() << "sequence " << sequence);
        const int n = 4 + below(37);
        const float spacing = uniform(0.5f, 2.0f);
        MeshArrays mesh = MakeGridMesh(n, n, spacing, rng() % 3 == 0, rng() % 2 == 0);
        const bool rough = rng() % 2 == 0;
        for (size_t v = 0; v < mesh.positions.size(); ++v) {
            if (rough) mesh.positions[v].y = uniform(-0.02f, 0.02f) * spacing;
            mesh.colors[v] = 0xFF000000u | (rng() % 256) << 16 | (rng() % 256);
        }

        CrumpleScene kept, fresh;
        Kel_CrumpleTestPeer freshPeer(fresh.crumple());
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
        // Vertices whose render records the host left behind its own edits.
        std::set<int> staleRecords;
        // Whether the last update wrote the render buffers (a pass that ends
        // early, or one that makes the working buffers, uploads nothing).
        bool uploaded = false;
        auto update = [&] {
            const RenderBufferMemory* before = kept.Object()->CurrentIndexBuffer();
            const int locks = before ? KorvaneTestAccess::LockCount(*before) : -1;
            freshPeer.ForgetKeptState();
            kept.Update();
            fresh.Update();
            const RenderBufferMemory* after = kept.Object()->CurrentIndexBuffer();
            uploaded = after && (after != before || KorvaneTestAccess::LockCount(*after) != locks);
        };
        update();

        D3DXVECTOR3 last(0, 0, 0);
        // The centre of a triangle the host just reshaped: the next hit aims there.
        bool aimed = false;
        D3DXVECTOR3 aim(0, 0, 0);
        for (int step = 0; step < 40; ++step) {
            SCOPED_TRACE(testing::Message() << "step " << step);
            Vexa_ObjectData& o = *kept.Object();
            const int vertexes = static_cast<int>(kept.Value(kVertexesUsed));
            const int indexes = static_cast<int>(kept.Value(kIndexesUsed));
            const int kind = static_cast<int>(rng() % 16);
            uploaded = false;
            const float half = 0.5f * n * spacing;
            if (kind <= 6 || kind == 11 || (aimed && kind >= 12)) {
                // A hit; a small dent radius lands it between vertices.
                const D3DXVECTOR3 at = aimed       ? aim
                                       : kind == 11 ? last
                                                    : D3DXVECTOR3(uniform(-half, half), 0.0f, uniform(-half, half));
                last = at;
                const float radius = uniform(0.3f, 4.0f) * spacing;
                const float dentShare = aimed || rng() % 3 == 0 ? 0.02f : uniform(0.3f, 1.0f);
                const int passes = aimed ? 0 : below(3);
                const bool dents = rng() % 4 != 0, alpha = rng() % 2 == 0;
                aimed = false;
                for (CrumpleScene* s : both) {
                    s->SetValue(kApplyDents, dents), s->SetValue(kApplyAlphaDamage, alpha);
                    s->SetValue(kApplyHoles, passes > 0), s->SetValue(kNumberOfPasses, static_cast<float>(passes));
                    s->SetValue(kImpactRadiusFactor, radius), s->SetValue(kDentRadiusFactor, dentShare);
                    s->SetHit(at, {0, -1, 0}, 2, 2, 25e6f);
                }
                update();
                if (dentShare < 0.05f && static_cast<int>(kept.Value(kVertexesUsed)) > vertexes) ++tally.insertions;
                if (passes > 0 && static_cast<int>(kept.Value(kIndexesUsed)) != indexes + 6) ++tally.holed;
            } else if (kind == 7) {
                // Undamaged mesh back; the next update makes the working buffers again.
                for (CrumpleScene* s : both) s->crumple().ClearDamage();
                staleRecords.clear();
                update();
            } else if (kind == 8) {
                // The host drops or remakes its render buffers.
                const bool release = rng() % 2 == 0;
                for (CrumpleScene* s : both) release ? s->Object()->ReleaseBuffers() : s->Object()->CreateBuffers();
                if (!release) staleRecords.clear();
            } else if (kind == 9) {
                // The host writes into its own index buffer; every update
                // copies the whole index array over it again.
                if (o.GetIndexCount() == 0) continue;
                const int from = below(o.GetIndexCount()), length = 1 + below(o.GetIndexCount() - from);
                const uint8_t fill = static_cast<uint8_t>(rng());
                for (CrumpleScene* s : both) {
                    IDirect3DIndexBuffer9* buffer = s->Object()->GetIndexBuffer();
                    const int width = s->Object()->UsesIndices16() ? 2 : 4;
                    void* data = nullptr;
                    if (buffer->Lock(0, 0, &data, 0) != D3D_OK) continue;
                    std::memset(static_cast<uint8_t*>(data) + from * width, fill, static_cast<size_t>(length * width));
                    buffer->Unlock();
                }
                ++tally.bufferWrites;
            } else if (kind == 10) {
                // The used counts edited from outside: fewer or more triangles
                // (spare slots hold valid vertex numbers), more vertices.
                const int room = o.GetIndexCount() - indexes;
                const int change = 3 * (below(7) - 3);
                const int newIndexes = std::clamp(indexes + change, 0, indexes + std::max(0, room - 3));
                const int newVertexes = std::min(vertexes + below(3), o.GetVertexCount());
                for (CrumpleScene* s : both) {
                    s->SetValue(kIndexesUsed, static_cast<float>(newIndexes));
                    s->SetValue(kVertexesUsed, static_cast<float>(newVertexes));
                }
            } else if (vertexes > 0 && indexes >= 3) {
                // The mesh edited in place: one corner of a used triangle moved
                // off the surface or swapped for another vertex, an index in the
                // spare part rewritten, or an array replaced by a copy, maybe at
                // the same address. The next hit lands in the reshaped triangle.
                const int triangle = below(indexes / 3), corner = below(3);
                const int vertex = o.GetIndex(3 * triangle + corner);
                const int edit = below(5);
                const D3DXVECTOR3 moved(o.pPositions[vertex].x + uniform(-3, 3) * spacing,
                                        o.pPositions[vertex].y + uniform(0.5f, 4.0f) * spacing,
                                        o.pPositions[vertex].z + uniform(-3, 3) * spacing);
                const int other = below(vertexes);
                const bool spare = edit == 3 && o.GetIndexCount() > indexes;
                const int sparePosition = spare ? indexes + below(o.GetIndexCount() - indexes) : 0;
                const bool indexArray = rng() % 2 == 0;
                for (CrumpleScene* s : both) {
                    Vexa_ObjectData& so = *s->Object();
                    if (edit == 0) so.SetVertexPosition(moved, vertex);
                    if (edit == 1) so.pPositions[vertex] = moved;
                    if (edit == 2) so.SetIndex(other, 3 * triangle + corner);
                    if (spare) so.SetIndex(other, sparePosition);
                    if (edit == 4) {
                        tally.sameAddress += ReplaceArray(so, indexArray);
                        if (indexArray)
                            so.SetIndex(other, 3 * triangle + corner);
                        else
                            so.pPositions[vertex] = moved;
                    }
                }
                if (edit == 0 || edit == 1 || edit == 4) staleRecords.insert(vertex);
                tally.moved += edit <= 1;
                tally.rewritten += edit == 2 || edit == 4;
                tally.spareRewritten += spare;
                if (edit != 3) {
                    const int i0 = o.GetIndex(3 * triangle), i1 = o.GetIndex(3 * triangle + 1),
                              i2 = o.GetIndex(3 * triangle + 2);
                    const D3DXVECTOR3 &a = o.pPositions[i0], &b = o.pPositions[i1], &c = o.pPositions[i2];
                    aim = D3DXVECTOR3((a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3);
                    aimed = true;
                }
            }
            ASSERT_TRUE(SameState(kept, fresh));
            // Between a host's edit and the next upload the render buffers
            // may lag; after an upload they show the arrays.
            if (uploaded) {
                ASSERT_TRUE(Sound(kept, staleRecords));
            }
        }
    }
    // Every kind of host action was in play, and hits landed in reshaped triangles.
    EXPECT_GT(tally.insertions, 150);
    EXPECT_GT(tally.holed, 150);
    EXPECT_GT(tally.moved, 40);
    EXPECT_GT(tally.rewritten, 40);
    EXPECT_GT(tally.spareRewritten, 10);
    EXPECT_GT(tally.sameAddress, 10);
    EXPECT_GT(tally.bufferWrites, 40);
}
