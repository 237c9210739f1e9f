// The soak program's pieces: its random source, the meshes it damages, the
// random steps it applies and the checks it makes after every update.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "host/d3d9_stand_in.h"
#include "host/object_data.h"
#include "plugin/children.h"
#include "splitmix64.h"
#include "test_scene.h"

namespace soak {

// Draws from splitmix64, so a seed reproduces a run on any build.
class Rng {
public:
    explicit Rng(uint64_t seed) : bits_(seed) {}
    uint64_t Next() { return bits_.Next(); }
    // [0, 1) with 53 bits.
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    float Uniform(double lo, double hi) { return static_cast<float>(lo + (hi - lo) * Unit()); }
    float LogUniform(double lo, double hi) { return static_cast<float>(lo * std::exp(std::log(hi / lo) * Unit())); }
    // [lo, hi], both ends included.
    int Int(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint64_t>(hi - lo + 1)); }
    bool Chance(double p) { return Unit() < p; }
    // Components drawn x, y, z in turn: the order of a constructor's
    // arguments is unspecified, and one build would swap the axes.
    D3DXVECTOR3 Vector(const D3DXVECTOR3& lo, const D3DXVECTOR3& hi) {
        D3DXVECTOR3 v;
        v.x = Uniform(lo.x, hi.x);
        v.y = Uniform(lo.y, hi.y);
        v.z = Uniform(lo.z, hi.z);
        return v;
    }

private:
    SplitMix64 bits_;
};

// Independent stream for episode `episode` of a run with `seed`.
uint64_t EpisodeSeed(uint64_t seed, uint64_t episode);

// A mesh to damage, with what the hit generator needs to aim at it.
struct SoakMesh {
    MeshArrays arrays;
    std::string description;
    float spacing = 1.0f;  // typical edge length
    D3DXVECTOR3 low{0, 0, 0}, high{0, 0, 0};
    bool placed = false;  // a placement other than the identity
    D3DXMATRIX placement;
};

// A mesh of about exp(uniform(log 100, log maxVertices)) vertices (fewer
// when maxVertices is below 100): grids, jittered grids, random heights,
// wrapped shells, shuffled vertex and triangle order, duplicated positions,
// either index width where it fits, with or without colours and set 2.
SoakMesh MakeSoakMesh(Rng& rng, int maxVertices);

// Everything one step writes into the channel's children 0 to 21.
struct StepInput {
    D3DXVECTOR3 position{0, 0, 0}, normal{0, -1, 0};
    float value[crumple::kMinRedValue + 1] = {};  // by child number; 0 to 2 unused
    const char* hitKind = "";
    bool weird = false;  // extreme values were injected
};

// The current state of the working mesh as the hit generator aims at it.
struct MeshView {
    Vexa_ObjectData* object = nullptr;
    int vertexes = 0, indexes = 0;  // used counts
};

// A random hit for `mesh` in its current state; `last` is the previous
// step (a repeat copies it).
StepInput MakeStep(Rng& rng, const SoakMesh& mesh, const MeshView& view, const StepInput* last);
void ApplyStep(CrumpleScene& scene, const StepInput& step);
bool HasNonFinite(const StepInput& step);
std::string Describe(const StepInput& step);

// The used counts as a damage pass reads them: truncated, held within the
// capacities, the index count to whole triangles. Without working buffers
// (child 22 is 0) the whole mesh is in use.
struct UsedCounts {
    int vertexes = 0, indexes = 0;
    bool working = false;
};
UsedCounts ReadUsedCounts(CrumpleScene& scene);

enum class CheckLevel {
    kFull,          // every invariant of a working mesh
    kNonFinite,     // after non-finite input: indices, counts, NaN-free positions, render bytes
    kBrokenCounts,  // after an outside edit that lowered "Current vertexes used"
};

// Empty when the mesh of child 2 passes the checks of `level`; else what failed.
// `countsFromPlugin`: children 22 and 23 hold what the channel wrote, so
// they must be integers within the capacities as they stand.
std::string CheckMesh(CrumpleScene& scene, CheckLevel level, bool countsFromPlugin);

// Empty when child 2 holds the undamaged mesh of child 28 again after ClearDamage.
std::string CheckCleared(CrumpleScene& scene);

// Empty when child 28 still holds `input` (hits never write to it; ClearDamage
// may only add the colours it lacked, as zeros).
std::string CheckOriginalUntouched(CrumpleScene& scene, const MeshArrays& input);

}  // namespace soak
