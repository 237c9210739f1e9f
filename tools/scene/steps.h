// The steps of a scene on one channel, without pictures or files: settings,
// preparation of the working buffers, and each step's reset, settings and
// hit, measured as a table row.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "plugin_host.h"
#include "scene.h"

namespace crumpletool {

struct HitRow {
    int step = 0;
    std::string name;
    bool reset = false;
    bool impact = false;
    float energy = 0.0f;        // this hit's share of "Cumulative Collision Impact"
    float radius = 0.0f;        // "Collision radius - debug" after the hit, 0 when no pass ran
    int verticesUsed = 0;
    int vertexCapacity = 0;
    int indicesUsed = 0;
    int indexCapacity = 0;
    float cumulativeImpact = 0.0f;
    float holesUnderWater = 0.0f;
    float maxMove = 0.0f;       // largest distance a vertex in use before the hit moved
    float deepestDent = 0.0f;   // largest distance of a vertex from its undamaged place
    std::vector<std::string> messages;
    // The collision inputs the hit was given; an aimed hit's as the aim
    // resolved them.
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 normal{0.0f, 0.0f, 0.0f};
};

// Called before each step with the step number (from 1), the count and the name.
typedef std::function<void(size_t step, size_t total, const std::string& name)> Progress;
// Called with the step number and name once a step is done.
typedef std::function<void(int step, const std::string& name)> StepObserver;

// Sets each named child; throws InputError for a name that is not a setting.
void ApplySettings(CrumpleChannel& channel, const SettingList& settings);

// Applies the scene's settings and makes the working buffers when they do not
// exist, then shows the channel to `observer` as step 0 "start" (before any
// host draws it); returns the messages the channel gave meanwhile.
std::vector<std::string> StartScene(CrumpleChannel& channel, const Scene& scene, const StepObserver& observer);

// Runs every step of `scene` on a started channel, showing the channel to
// `observer` after each; `pending` messages go with the first row. Either
// callback may be empty. An aimed hit whose ray meets no triangle of the mesh
// as it stands then throws InputError naming the step.
std::vector<HitRow> RunSteps(CrumpleChannel& channel, const Scene& scene, std::vector<std::string> pending,
                             const Progress& progress, const StepObserver& observer);

// Runs one step (reset, settings, hit) as step number `step` of a started
// channel and measures it. Throws InputError as RunSteps does.
HitRow RunStep(CrumpleChannel& channel, const Hit& hit, int step);

// The collision inputs of `hit` on the channel as it stands: as given, or
// where its aim meets the mesh. False when the aim meets no triangle.
bool ResolveCollision(CrumpleChannel& channel, const Hit& hit, D3DXVECTOR3* position, D3DXVECTOR3* normal);
// What is wrong with an aim that meets nothing, without the step.
std::string MissText(const Hit& hit);

// The name a step is shown under: its own, or "hit N" / "reset".
std::string StepName(const Hit& hit, size_t step);

// A used count as the channel reads it from its float child.
int UsedCount(float value);

}  // namespace crumpletool
