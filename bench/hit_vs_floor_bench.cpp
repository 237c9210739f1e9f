// Hits through the loaded plug-in against the floor kernel, timed in the same
// benchmark on a grid of the same size. Counters: hit_us (median hit),
// floor_us (median floor, timed before and after the hits) and ratio, and
// floor_copy_us and ratio_copy for the floor plus one copy of the whole index
// capacity, which every hit's upload makes.
// tools/speed-report.sh runs these over several rounds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "floor_kernel.h"
#include "heap_count.h"
#include "plugin/children.h"
#include "test_scene.h"

using namespace crumple;

namespace {

// About 300 grid vertices inside the sphere on a unit grid.
constexpr float kRadius = 9.8f;

// A two-pass hole of this radius adds about 820 vertices.
constexpr double kRoomForOneHit = 2000;

enum HitCase { kFullHit = 0, kHoleOnly = 1, kBetweenVertices = 2 };

// Texture sets 0 and 1, 32-bit indices, multipliers 1.5 and 2, energy 1 so the
// impact radius is kRadius, two hole passes.
std::unique_ptr<CrumpleScene> MakeScene(int cells, HitCase kind) {
    auto scene = std::make_unique<CrumpleScene>();
    scene->SetMesh(MakeGridMesh(cells, cells, 1.0f));
    scene->SetDefaultSettings();
    const bool holes = kind != kBetweenVertices, marks = kind != kHoleOnly;
    const std::pair<int, float> settings[] = {
        {kApplyDents, marks},       {kApplyAlphaDamage, marks}, {kApplyHoles, holes},  {kNumberOfPasses, 2},
        {kImpactFactor, 1},         {kImpactRadiusFactor, kRadius}, {kDentFactor, 0.05f}, {kHoleThreshold, 0.5f},
        {kMinRedValue, 1},          {kVertexMultiplier, 1.5f},  {kIndexMultiplier, 2}};
    for (auto [child, value] : settings) scene->SetValue(child, value);
    // No grid vertex within 0.098 of a hit point: every hit inserts one.
    if (kind == kBetweenVertices) scene->SetValue(kDentRadiusFactor, 0.01f);
    return scene;
}

// Working buffers made, then one hit in a corner off the lattice: the first
// upload creates the render buffers, a once-per-mesh cost that is not a hit's.
void Prepare(CrumpleScene& scene, int cells) {
    scene.Update();
    scene.SetHit({-0.5f * cells + 0.3f, 0.0f, -0.5f * cells + 0.2f}, {0, -1, 0}, 2.0f, 2.0f, 25e6f);
    scene.Update();
}

// Hit points on a lattice 2r + 2 apart, 0.3 and 0.2 off a grid vertex, so
// every hit lands on undamaged surface until the lattice is used up. The
// lattice keeps 2r + 2 from the edges, clear of the corner hit of Prepare.
std::vector<D3DXVECTOR3> Lattice(int cells) {
    const int step = static_cast<int>(2 * kRadius) + 2, margin = 2 * static_cast<int>(kRadius) + 2;
    std::vector<D3DXVECTOR3> points;
    for (int i = margin; i + margin <= cells; i += step)
        for (int j = margin; j + margin <= cells; j += step)
            points.emplace_back(-0.5f * cells + i + 0.3f, 0.0f, -0.5f * cells + j + 0.2f);
    return points;
}

double Median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Args: grid cells per side, case.
void BM_HitVsFloor(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    const HitCase kind = static_cast<HitCase>(state.range(1));
    auto scene = MakeScene(cells, kind);
    Prepare(*scene, cells);
    const std::vector<D3DXVECTOR3> points = Lattice(cells);
    FloorMesh floor = MakeFloorMesh(cells);
    const int floorRuns = cells > 1000 ? 9 : 31;
    std::vector<double> floors{TimeFloor(floor, points[0], kRadius, floorRuns)};
    std::vector<double> copyFloors{TimeFloor(floor, points[0], kRadius, floorRuns, true)};

    std::vector<double> hits;
    hits.reserve(1 << 16);
    size_t next = 0;
    long long peakBytes = 0, keptBytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const double room = scene->Object()->GetVertexCount() - scene->Value(kVertexesUsed);
        if (next == points.size() || room < kRoomForOneHit) {
            // Lattice or spare vertices used up (a hole that does not fit is
            // refused, and a refused hole is no hit to time): put the
            // undamaged mesh back and prepare again.
            scene->crumple().ClearDamage();
            Prepare(*scene, cells);
            next = 0;
        }
        // Masses 2 and 2 at speed 25e6: impulse 25e6, energy exactly 1.
        scene->SetHit(points[next++], {0, -1, 0}, 2.0f, 2.0f, 25e6f);
        state.ResumeTiming();
        const HeapMark mark = MarkHeap();
        const auto start = std::chrono::steady_clock::now();
        scene->Update();
        hits.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        peakBytes = std::max(peakBytes, PeakSince(mark));
        keptBytes = std::max(keptBytes, HeldSince(mark));
    }
    floors.push_back(TimeFloor(floor, points[0], kRadius, floorRuns));
    copyFloors.push_back(TimeFloor(floor, points[0], kRadius, floorRuns, true));

    const double hit = Median(hits), floorTime = Median(floors), copyFloorTime = Median(copyFloors);
    state.counters["hit_us"] = hit * 1e6;
    state.counters["floor_us"] = floorTime * 1e6;
    state.counters["ratio"] = hit / floorTime;
    state.counters["floor_copy_us"] = copyFloorTime * 1e6;
    state.counters["ratio_copy"] = hit / copyFloorTime;
    state.counters["vertices"] = static_cast<double>((cells + 1) * (cells + 1));

    // The plug-in's own memory beyond the host's arrays: the heap a hit holds
    // at its peak (per-pass lists, marks), and what it keeps after the hit.
    state.counters["peak_MB"] = static_cast<double>(peakBytes) / 1e6;
    state.counters["kept_MB"] = static_cast<double>(keptBytes) / 1e6;
    state.counters["index_array_MB"] = scene->Object()->GetIndexCount() * 4.0 / 1e6;
}

// 10k, 100k, 1M, 4M and 8M vertices; the 8M grid takes about 4 GB.
void Sizes(benchmark::internal::Benchmark* b) {
    for (int cells : {100, 316, 999, 1999, 2827})
        for (int kind : {kFullHit, kHoleOnly, kBetweenVertices}) b->Args({cells, kind});
}
BENCHMARK(BM_HitVsFloor)->Apply(Sizes)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

}  // namespace
