// Cost of one hit on a mesh of about a million vertices, through the loaded
// plug-in, and of the two triangle-search modes on the same mesh.
#include <benchmark/benchmark.h>

#include <memory>
#include <numeric>
#include <set>

#include "crumple_test_peer.h"
#include "plugin/children.h"
#include "support/literal_oracles.h"
#include "test_scene.h"

using namespace crumple;

namespace {

constexpr int kGridCells = 999;  // 1000 x 1000 vertices, about 6M indices

// A grid with its working buffers made (room for twice as many vertices and
// indices) and dents, alpha marks and holes switched on. Energy 1, so the
// impact radius is the radius factor.
std::unique_ptr<CrumpleScene> MillionVertexScene(int passes, float radius) {
    auto scene = std::make_unique<CrumpleScene>();
    scene->SetMesh(MakeGridMesh(kGridCells, kGridCells, 1.0f));
    scene->SetDefaultSettings();
    scene->SetValue(kApplyAlphaDamage, 1);
    scene->SetValue(kApplyHoles, 1);
    scene->SetValue(kNumberOfPasses, static_cast<float>(passes));
    scene->SetValue(kImpactFactor, 1.0f);
    scene->SetValue(kImpactRadiusFactor, radius);
    scene->SetValue(kDentFactor, 0.05f);
    scene->SetValue(kHoleThreshold, 0.5f);
    scene->SetValue(kMinRedValue, 1.0f);
    scene->SetValue(kVertexMultiplier, 2.0f);
    scene->SetValue(kIndexMultiplier, 2.0f);
    scene->Update();
    return scene;
}

// Each hit lands on fresh surface: a lattice of points 12 units apart.
D3DXVECTOR3 HitPoint(int64_t hit) {
    const int64_t across = 80;
    return D3DXVECTOR3(-480.3f + 12.0f * static_cast<float>(hit % across), 0.0f,
                       -480.2f + 12.0f * static_cast<float>((hit / across) % across));
}

// Args: passes, impact radius. Radius 3 finds ~28 vertices (scan search),
// radius 6 ~113 (lookup-table search).
void BM_OneHit(benchmark::State& state) {
    auto scene = MillionVertexScene(static_cast<int>(state.range(0)), static_cast<float>(state.range(1)));
    int64_t hit = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // Masses 2 and 2 at speed 25e6: impulse 25e6, energy exactly 1.
        scene->SetHit(HitPoint(hit++), {0, -1, 0}, 2.0f, 2.0f, 25e6f);
        state.ResumeTiming();
        scene->Update();
    }
    state.counters["vertices"] = scene->Value(kVertexesUsed);
}
BENCHMARK(BM_OneHit)->Args({1, 3})->Args({2, 3})->Args({1, 6})->Args({2, 6})->Unit(benchmark::kMillisecond);

// The first hole pass's search over the whole index array with 74 listed
// vertices (scan) and 75 (lookup table rebuilt every time).
void BM_TriangleSearch(benchmark::State& state) {
    auto scene = MillionVertexScene(1, 3.0f);
    Kel_CrumpleTestPeer peer(scene->crumple());
    peer.pObjectData() = scene->Object();
    peer.iIndexesUsed() = static_cast<int>(scene->Value(kIndexesUsed));
    std::vector<int> list(static_cast<size_t>(state.range(0)));
    // Vertices around the middle of the grid.
    for (size_t k = 0; k < list.size(); ++k)
        list[k] = 500 * (kGridCells + 1) + 480 + static_cast<int>(k % 40) + static_cast<int>(k / 40) * (kGridCells + 1);
    for (auto _ : state) {
        std::set<int> found;
        peer.SearchTrianglesInRange(0, peer.iIndexesUsed(), list, &found);
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_TriangleSearch)->Arg(74)->Arg(75)->Unit(benchmark::kMillisecond);

// The same scan done literally: every listed vertex compared, the index read
// again through the host for each comparison.
void BM_TriangleSearchLiteralScan(benchmark::State& state) {
    auto scene = MillionVertexScene(1, 3.0f);
    const int used = static_cast<int>(scene->Value(kIndexesUsed));
    std::vector<int> list(74);
    for (size_t k = 0; k < list.size(); ++k)
        list[k] = 500 * (kGridCells + 1) + 480 + static_cast<int>(k % 40) + static_cast<int>(k / 40) * (kGridCells + 1);
    for (auto _ : state) {
        std::set<int> found;
        LiteralScanTriangles(*scene->Object(), 0, used, list, &found);
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_TriangleSearchLiteralScan)->Unit(benchmark::kMillisecond)->Iterations(3);

// A hit with no vertex within the dent radius: the impact-point insertion
// looks through every used triangle for the one under the hit.
void BM_HitBetweenVertexes(benchmark::State& state) {
    auto scene = MillionVertexScene(1, 3.0f);
    scene->SetValue(kApplyHoles, 0);
    scene->SetValue(kDentRadiusFactor, 0.01f);  // no grid vertex within 0.03 of a hit point
    int64_t hit = 0;
    for (auto _ : state) {
        state.PauseTiming();
        scene->SetHit(HitPoint(hit++), {0, -1, 0}, 2.0f, 2.0f, 25e6f);
        const float before = scene->Value(kVertexesUsed);
        state.ResumeTiming();
        scene->Update();
        if (scene->Value(kVertexesUsed) != before + 1) state.SkipWithError("no vertex was inserted");
    }
}
BENCHMARK(BM_HitBetweenVertexes)->Unit(benchmark::kMillisecond);

// The same choice of triangle made literally: three arc cosines per triangle.
void BM_ContainingTriangleLiteral(benchmark::State& state) {
    auto scene = MillionVertexScene(1, 3.0f);
    Kel_CrumpleTestPeer peer(scene->crumple());
    const int used = static_cast<int>(scene->Value(kIndexesUsed));
    for (auto _ : state)
        benchmark::DoNotOptimize(LiteralContainingTriangle(peer, *scene->Object(), used, HitPoint(7)));
}
BENCHMARK(BM_ContainingTriangleLiteral)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
