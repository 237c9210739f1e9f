// crumple_soak: long random hit sequences through the loaded plug-in, with
// the mesh invariants checked after every update.
//
//   crumple_soak [--hits N] [--seed S] [--max-vertices M] [--report-every K]
//                [--stop-on-failure] [--first-mesh F] [--last-mesh L] [--verbose]
//
// Each mesh is one episode with its own random stream (from the seed and the
// mesh number), and a fresh channel starts every kMeshesPerChannel meshes, so
// a failure on mesh K is replayed by running meshes K - K % 4 to K alone.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <string>

#include "soak.h"

#ifdef CRUMPLE_SOAK_SANITIZER_HOOK
#include <sanitizer/common_interface_defs.h>
#endif

using namespace crumple;
using namespace soak;

namespace {

constexpr long kMeshesPerChannel = 4;

struct Options {
    long hits = 10000;
    uint64_t seed = 0;
    bool seedGiven = false;
    int maxVertices = 100000;
    long reportEvery = 0;
    bool stopOnFailure = false;
    bool verbose = false;
    long firstMesh = 0, lastMesh = -1;
};

bool ParseOptions(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto number = [&](long long* out) {
            if (i + 1 >= argc) return false;
            char* end = nullptr;
            *out = std::strtoll(argv[++i], &end, 10);
            return *end == '\0' && *out >= 0;
        };
        long long n = 0;
        if (arg == "--stop-on-failure") {
            o->stopOnFailure = true;
        } else if (arg == "--verbose") {
            o->verbose = true;
        } else if (arg == "--hits" && number(&n)) {
            o->hits = static_cast<long>(n);
        } else if (arg == "--seed" && number(&n)) {
            o->seed = static_cast<uint64_t>(n), o->seedGiven = true;
        } else if (arg == "--max-vertices" && number(&n) && n >= 9 && n <= 4000000) {
            o->maxVertices = static_cast<int>(n);
        } else if (arg == "--report-every" && number(&n)) {
            o->reportEvery = static_cast<long>(n);
        } else if (arg == "--first-mesh" && number(&n)) {
            o->firstMesh = static_cast<long>(n);
        } else if (arg == "--last-mesh" && number(&n)) {
            o->lastMesh = static_cast<long>(n);
        } else {
            std::fprintf(stderr, "crumple_soak: bad option %s\n", arg.c_str());
            return false;
        }
    }
    return true;
}

struct Stats {
    long hits = 0, meshes = 0, updates = 0, findings = 0;
    long impacts = 0, creations = 0, refusals = 0, insertions = 0, holes = 0, fullBuffers = 0;
    long nonFiniteSteps = 0, residue = 0, clears = 0, edits = 0;
};

// What the run is doing, for a sanitizer report that ends the process.
struct Where {
    uint64_t seed = 0;
    long hit = 0, mesh = 0, step = 0;
    const SoakMesh* soakMesh = nullptr;
    const StepInput* input = nullptr;
    const char* action = "";
} g_where;

void PrintWhere(std::FILE* out) {
    std::fprintf(out, "  seed %llu, hit %ld, mesh %ld, step %ld of that mesh, during %s\n",
                 static_cast<unsigned long long>(g_where.seed), g_where.hit, g_where.mesh, g_where.step,
                 g_where.action);
    if (g_where.soakMesh) std::fprintf(out, "  mesh: %s\n", g_where.soakMesh->description.c_str());
    if (g_where.input) std::fprintf(out, "  step: %s\n", Describe(*g_where.input).c_str());
    std::fprintf(out, "  reproduce: crumple_soak --seed %llu --first-mesh %ld --last-mesh %ld --stop-on-failure\n",
                 static_cast<unsigned long long>(g_where.seed), g_where.mesh - g_where.mesh % kMeshesPerChannel,
                 g_where.mesh);
    std::fflush(out);
}

#ifdef CRUMPLE_SOAK_SANITIZER_HOOK
void OnSanitizerDeath() {
    std::fprintf(stderr, "crumple_soak: the sanitizer stopped the run\n");
    PrintWhere(stderr);
}
#endif

// Children 22 and 23 hold integers within the capacities, as the channel writes them.
bool CountsLookWritten(CrumpleScene& scene) {
    Vexa_ObjectData* o = scene.Object();
    const float v = scene.Value(kVertexesUsed), i = scene.Value(kIndexesUsed);
    return v >= 0 && v <= o->GetVertexCount() && v == std::floor(v) && i >= 0 && i <= o->GetIndexCount() &&
           i == std::floor(i);
}

// Edits children 22 and 23 from outside, as a host or an editor might.
// Returns the check level the mesh is held to from now on.
CheckLevel EditCounts(Rng& rng, CrumpleScene& scene, CheckLevel level, const char** what) {
    const UsedCounts used = ReadUsedCounts(scene);
    Vexa_ObjectData* o = scene.Object();
    const int vc = o->GetVertexCount(), ic = o->GetIndexCount();
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const int kind = rng.Int(0, 9);
    if (kind <= 5) {
        // A few triangles more or fewer (the slots behind the used ones hold
        // vertex numbers in use), a few vertices more.
        const int room = ic - used.indexes;
        const int change = 3 * rng.Int(-3, 3);
        const int indexes = std::clamp(used.indexes + change, 0, used.indexes + std::max(0, room - 3));
        scene.SetValue(kIndexesUsed, static_cast<float>(indexes));
        scene.SetValue(kVertexesUsed, static_cast<float>(std::min(used.vertexes + rng.Int(0, 2), vc)));
        *what = "counts edited a little";
    } else if (kind <= 7) {
        const float values[] = {nan, -3.0f, 1e30f, inf, static_cast<float>(used.indexes + 1),
                                static_cast<float>(used.indexes + 2), static_cast<float>(ic),
                                static_cast<float>(ic + 100), 0.0f, -0.0f};
        scene.SetValue(kIndexesUsed, values[rng.Int(0, 9)]);
        *what = "child 23 edited wildly";
    } else if (kind == 8) {
        const float values[] = {1e30f, inf, static_cast<float>(vc), static_cast<float>(vc + 7),
                                static_cast<float>(used.vertexes) + 0.5f, 3.4e38f};
        scene.SetValue(kVertexesUsed, values[rng.Int(0, 5)]);
        *what = "child 22 raised wildly";
    } else {
        // 0 asks for the working buffers to be made again, from the enlarged
        // mesh; kept to meshes whose second enlargement stays small.
        if (vc <= 60000 && ic <= 400000 && rng.Chance(0.4)) {
            scene.SetValue(kVertexesUsed, rng.Chance(0.5) ? 0.0f : -0.0f);
            *what = "child 22 set to 0";
            return level;
        }
        const float values[] = {nan, -1.0f, static_cast<float>(used.vertexes / 2), 1.0f};
        scene.SetValue(kVertexesUsed, values[rng.Int(0, 3)]);
        *what = "child 22 lowered";
        return CheckLevel::kBrokenCounts;
    }
    return level;
}

// Ends the run's output; the exit status says whether anything was found.
int Finish(const Stats& s, std::chrono::steady_clock::time_point start) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("hits %ld, meshes %ld, updates %ld, seconds %.1f, findings %ld\n", s.hits, s.meshes, s.updates,
                seconds, s.findings);
    std::fflush(stdout);
    return s.findings > 0 ? 1 : 0;
}

void Report(const Stats& s, std::chrono::steady_clock::time_point start) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "progress: hits %ld, meshes %ld, updates %ld, seconds %.1f, findings %ld, %.1f hits/s | impacts %ld, buffers made %ld, "
        "refused %ld, insertions %ld, holes %ld, full %ld, resets %ld, count edits %ld, non-finite steps %ld, "
        "non-finite residue %ld\n",
        s.hits, s.meshes, s.updates, seconds, s.findings, seconds > 0 ? s.hits / seconds : 0.0, s.impacts, s.creations,
        s.refusals, s.insertions, s.holes, s.fullBuffers, s.clears, s.edits, s.nonFiniteSteps, s.residue);
    std::fflush(stdout);
}

// Hits on one mesh: a few hundred on small meshes, fewer as meshes grow, so
// that large meshes (whose every check reads the whole mesh) stay a minority.
long PlannedHits(Rng& rng, size_t vertexes) {
    const double scale = std::min(1.0, std::pow(8000.0 / static_cast<double>(vertexes), 0.7));
    return std::max(10L, static_cast<long>(rng.Int(100, 400) * scale));
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) return 2;
    if (!options.seedGiven)
        options.seed = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) % 1000000007u;
    g_where.seed = options.seed;
#ifdef CRUMPLE_SOAK_SANITIZER_HOOK
    __sanitizer_set_death_callback(&OnSanitizerDeath);
#endif
    std::printf("crumple_soak: seed %llu, hits %ld, max vertices %d\n", static_cast<unsigned long long>(options.seed),
                options.hits, options.maxVertices);
    std::fflush(stdout);

    const auto start = std::chrono::steady_clock::now();
    Stats stats;
    try {
        std::unique_ptr<CrumpleScene> scene;
        long meshNumber = options.firstMesh - options.firstMesh % kMeshesPerChannel;
        for (; stats.hits < options.hits && (options.lastMesh < 0 || meshNumber <= options.lastMesh); ++meshNumber) {
            Rng rng(EpisodeSeed(options.seed, static_cast<uint64_t>(meshNumber)));
            if (meshNumber % kMeshesPerChannel == 0 || !scene) {
                scene.reset();
                scene = std::make_unique<CrumpleScene>();
            }
            const SoakMesh mesh = MakeSoakMesh(rng, options.maxVertices);
            scene->SetMesh(mesh.arrays);
            if (mesh.placed) scene->Object()->SetWorldMatrix(mesh.placement);
            // A host that swaps the mesh asks for new working buffers.
            scene->SetValue(kVertexesUsed, 0);
            ++stats.meshes;
            g_where.mesh = meshNumber;
            g_where.soakMesh = &mesh;
            g_where.input = nullptr;

            const long planned = PlannedHits(rng, mesh.arrays.positions.size());
            if (options.verbose) std::printf("mesh %ld: %s; %ld hits\n", meshNumber, mesh.description.c_str(), planned);
            CheckLevel taint = CheckLevel::kFull;
            bool countsEdited = false;
            long fullCountdown = -1;
            StepInput last;
            bool haveLast = false;
            bool failed = false;
            std::string stepActions;

            auto fail = [&](const std::string& message) {
                ++stats.findings;
                failed = true;
                std::printf("FINDING %ld: %s\n", stats.findings, message.c_str());
                std::printf("  actions before the update: %s\n", stepActions.empty() ? "none" : stepActions.c_str());
                PrintWhere(stdout);
            };

            // One host update and every check after it.
            auto update = [&](const StepInput& input, bool nonFinite) {
                const UsedCounts before = ReadUsedCounts(*scene);
                const int vcBefore = scene->Object()->GetVertexCount(), icBefore = scene->Object()->GetIndexCount();
                const float impactBefore = scene->Value(kCumulativeImpact);
                const float indexesBefore = scene->Value(kIndexesUsed);
                scene->Update();
                ++stats.updates;
                if (scene->Value(kCumulativeImpact) != impactBefore) ++stats.impacts;
                for (const std::string& m : scene->host().showDebugMessage2.Messages())
                    if (m.find("increasing buffers aborted") != std::string::npos) ++stats.refusals;
                scene->host().showDebugMessage1.Clear();
                scene->host().showDebugMessage2.Clear();

                const UsedCounts after = ReadUsedCounts(*scene);
                Vexa_ObjectData* o = scene->Object();
                if (!before.working && after.working) ++stats.creations;
                if (before.working && after.working) {
                    // A damage pass never resizes the arrays nor gives up vertices.
                    if (o->GetVertexCount() != vcBefore || o->GetIndexCount() != icBefore)
                        return fail("a damage update changed the capacities");
                    // A pass writes the whole triangles it used (creation
                    // writes the mesh's own count, whatever it is).
                    const float indexesNow = scene->Value(kIndexesUsed);
                    if (indexesNow != indexesBefore && TruncateToInt(indexesNow) % 3 != 0)
                        return fail("a damage update wrote " + std::to_string(indexesNow) + " to child 23");
                    if (after.vertexes < before.vertexes)
                        return fail("vertexes used fell from " + std::to_string(before.vertexes) + " to " +
                                    std::to_string(after.vertexes));
                    if (after.vertexes == before.vertexes + 1 && after.indexes == before.indexes + 6)
                        ++stats.insertions;
                    else if (after.indexes != before.indexes || after.vertexes != before.vertexes)
                        ++stats.holes;
                }
                if (countsEdited && CountsLookWritten(*scene)) countsEdited = false;

                std::string message;
                if (nonFinite && taint == CheckLevel::kFull) {
                    // The full checks may fail here; the weaker ones may not.
                    if (!CheckMesh(*scene, CheckLevel::kFull, !countsEdited).empty()) {
                        message = CheckMesh(*scene, CheckLevel::kNonFinite, !countsEdited);
                        if (message.empty()) {
                            ++stats.residue;
                            taint = CheckLevel::kNonFinite;
                            if (stats.residue <= 20)
                                std::printf("note: non-finite input left the mesh short of the full checks (seed "
                                            "%llu, hit %ld, mesh %ld): %s\n  step: %s\n",
                                            static_cast<unsigned long long>(options.seed), stats.hits + 1, meshNumber,
                                            CheckMesh(*scene, CheckLevel::kFull, !countsEdited).c_str(),
                                            Describe(input).c_str());
                        }
                    }
                } else {
                    message = CheckMesh(*scene, taint, !countsEdited);
                }
                if (!message.empty()) return fail(message);

                if (after.working) {
                    const int vc = o->GetVertexCount(), ic = o->GetIndexCount();
                    if (fullCountdown < 0 &&
                        (vc - after.vertexes < std::max(8, vc / 50) || ic - after.indexes < std::max(48, ic / 50))) {
                        ++stats.fullBuffers;
                        fullCountdown = rng.Int(3, 15);
                    }
                }
            };

            for (long step = 0; step < planned && stats.hits < options.hits && !failed; ++step) {
                g_where.step = step;
                g_where.hit = stats.hits + 1;
                g_where.input = nullptr;
                g_where.action = "an outside action";
                stepActions.clear();
                if (fullCountdown == 0) break;
                if (fullCountdown > 0) --fullCountdown;

                // Outside actions: reset, render buffers dropped, remade or
                // fetched by a renderer, used counts edited.
                const double r = rng.Unit();
                if (r < 0.01) {
                    g_where.action = "ClearDamage";
                    scene->crumple().ClearDamage();
                    ++stats.clears;
                    stepActions += "ClearDamage; ";
                    taint = CheckLevel::kFull;
                    countsEdited = false;
                    fullCountdown = -1;
                    const std::string cleared = CheckCleared(*scene);
                    if (!cleared.empty()) {
                        fail("after ClearDamage: " + cleared);
                        break;
                    }
                } else if (r < 0.025) {
                    scene->Object()->ReleaseBuffers();
                    stepActions += "render buffers released; ";
                } else if (r < 0.04) {
                    scene->Object()->CreateBuffers();
                    stepActions += "render buffers made anew; ";
                } else if (r < 0.05) {
                    scene->Object()->GetVertexBuffer();
                    scene->Object()->GetIndexBuffer();
                    stepActions += "render buffers fetched; ";
                } else if (r < 0.07 && ReadUsedCounts(*scene).working) {
                    const char* what = "";
                    taint = EditCounts(rng, *scene, taint, &what);
                    countsEdited = true;
                    ++stats.edits;
                    stepActions += std::string(what) + " to " + std::to_string(scene->Value(kVertexesUsed)) + "/" +
                                   std::to_string(scene->Value(kIndexesUsed)) + "; ";
                }

                const UsedCounts used = ReadUsedCounts(*scene);
                const MeshView view{scene->Object(), used.vertexes, used.indexes};
                const StepInput input = MakeStep(rng, mesh, view, haveLast ? &last : nullptr);
                last = input;
                haveLast = true;
                g_where.input = &last;
                ApplyStep(*scene, input);
                const bool nonFinite = HasNonFinite(input);
                if (nonFinite) ++stats.nonFiniteSteps;

                // Without working buffers the update makes them; mostly the
                // hit then follows in an update of its own.
                if (!used.working && rng.Chance(0.7)) {
                    g_where.action = "the update that makes the working buffers";
                    update(input, nonFinite);
                }
                if (!failed) {
                    g_where.action = "the hit's update";
                    update(input, nonFinite);
                }
                ++stats.hits;
                if (options.reportEvery > 0 && stats.hits % options.reportEvery == 0) Report(stats, start);
            }
            if (!failed) {
                const std::string original = CheckOriginalUntouched(*scene, mesh.arrays);
                if (!original.empty()) fail(original);
            }
            g_where.soakMesh = nullptr;
            g_where.input = nullptr;
            if (failed && options.stopOnFailure) break;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "crumple_soak: %s\n", e.what());
        PrintWhere(stderr);
        return 2;
    }
    if (options.reportEvery > 0 && stats.hits % options.reportEvery != 0) Report(stats, start);
    return Finish(stats, start);
}
