// The steps of a scene, one update at a time.
#include "steps.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "aim.h"
#include "errors.h"
#include "plugin/children.h"

namespace crumpletool {

using namespace crumple;

namespace {

float Distance(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Vertices keep their numbers from the undamaged object; only holes add new
// ones behind them, and holes move nothing.
float DeepestDent(CrumpleChannel& channel) {
    Vexa_ObjectData& object = channel.Object();
    Vexa_ObjectData& original = channel.Original();
    if (!object.pPositions || !original.pPositions) return 0.0f;
    const int count = std::min({object.PositionsLength(), original.PositionsLength(),
                                std::max(0, UsedCount(channel.Value(kVertexesUsed)))});
    float deepest = 0.0f;
    for (int v = 0; v < count; ++v) deepest = std::max(deepest, Distance(object.pPositions[v], original.pPositions[v]));
    return deepest;
}

void PrepareIfNeeded(CrumpleChannel& channel) {
    if (channel.Value(kVertexesUsed) == 0.0f) channel.Update();
}

std::string Triple(const D3DXVECTOR3& v) {
    std::ostringstream text;
    text.precision(9);
    text << "[" << v.x << ", " << v.y << ", " << v.z << "]";
    return text.str();
}

// Where the aim meets the mesh, or an error naming the step.
void Resolve(CrumpleChannel& channel, const Hit& hit, HitRow* row) {
    if (ResolveCollision(channel, hit, &row->position, &row->normal)) return;
    throw InputError("step " + std::to_string(row->step) + " (\"" + row->name + "\"): " + MissText(hit));
}

// Sets the collision inputs, runs one update and measures what it did.
void Impact(CrumpleChannel& channel, const Hit& hit, HitRow* row) {
    Resolve(channel, hit, row);
    Vexa_ObjectData& object = channel.Object();
    const int usedBefore = std::min(UsedCount(channel.Value(kVertexesUsed)), object.GetVertexCount());
    std::vector<D3DXVECTOR3> before;
    if (usedBefore > 0 && object.pPositions) before.assign(object.pPositions, object.pPositions + usedBefore);
    const float impactBefore = channel.Value(kCumulativeImpact);

    channel.SetVector(kCollisionPosition, row->position);
    channel.SetVector(kCollisionNormal, row->normal);
    channel.SetValue(kMassBody1, hit.mass1);
    channel.SetValue(kMassBody2, hit.mass2);
    channel.SetValue(kMaxImpactSpeed, hit.speed);
    // The channel leaves the radius alone when a pass stops early; clearing
    // it first keeps such a row from showing the previous hit's radius.
    channel.SetValue(kCollisionRadius, 0.0f);
    channel.Update();

    row->energy = channel.Value(kCumulativeImpact) - impactBefore;
    row->radius = channel.Value(kCollisionRadius);
    const size_t comparable = std::min(before.size(), static_cast<size_t>(channel.Object().GetVertexCount()));
    const D3DXVECTOR3* after = channel.Object().pPositions;
    for (size_t v = 0; after && v < comparable; ++v) row->maxMove = std::max(row->maxMove, Distance(after[v], before[v]));
}

}  // namespace

bool ResolveCollision(CrumpleChannel& channel, const Hit& hit, D3DXVECTOR3* position, D3DXVECTOR3* normal) {
    if (!hit.aimed) {
        *position = hit.position, *normal = hit.normal;
        return true;
    }
    AimHit aim;
    if (!CastAim(channel.Object(), UsedCount(channel.Value(kVertexesUsed)), UsedCount(channel.Value(kIndexesUsed)),
                 hit.aimFrom, hit.aimTowards, &aim))
        return false;
    *position = aim.position, *normal = aim.normal;
    return true;
}

std::string MissText(const Hit& hit) {
    return "the aim from " + Triple(hit.aimFrom) + " towards " + Triple(hit.aimTowards) + " meets no triangle of the mesh";
}

HitRow RunStep(CrumpleChannel& channel, const Hit& hit, int step) {
    HitRow row;
    row.step = step;
    row.reset = hit.reset;
    row.impact = hit.hasImpact;
    row.name = StepName(hit, static_cast<size_t>(step));

    if (hit.reset) channel.ClearDamage();
    // A hit's own settings hold for that hit only; the values before it come
    // back afterwards, so every hit starts from the scene's settings.
    SettingList restore;
    const SettingCatalog catalog = channel.Settings();
    for (const auto& setting : hit.settings) {
        auto found = catalog.settable.find(setting.first);
        if (found != catalog.settable.end()) restore.emplace_back(setting.first, channel.Value(found->second));
    }
    std::reverse(restore.begin(), restore.end());
    ApplySettings(channel, hit.settings);
    if (hit.hasImpact) {
        PrepareIfNeeded(channel);
        // Without working buffers the update would only try to make them again.
        if (channel.Value(kVertexesUsed) != 0.0f) Impact(channel, hit, &row);
    }
    ApplySettings(channel, restore);
    row.deepestDent = DeepestDent(channel);
    row.verticesUsed = UsedCount(channel.Value(kVertexesUsed));
    row.vertexCapacity = channel.Object().GetVertexCount();
    row.indicesUsed = UsedCount(channel.Value(kIndexesUsed));
    row.indexCapacity = channel.Object().GetIndexCount();
    row.cumulativeImpact = channel.Value(kCumulativeImpact);
    row.holesUnderWater = channel.Value(kHolesUnderWater);
    row.messages = channel.TakeMessages();
    return row;
}

int UsedCount(float value) { return crumple::TruncateToInt(value); }

std::string StepName(const Hit& hit, size_t step) {
    if (!hit.name.empty()) return hit.name;
    return hit.hasImpact ? "hit " + std::to_string(step) : "reset";
}

void ApplySettings(CrumpleChannel& channel, const SettingList& settings) {
    const SettingCatalog catalog = channel.Settings();
    for (const auto& setting : settings) {
        auto found = catalog.settable.find(setting.first);
        if (found == catalog.settable.end()) throw InputError("\"" + setting.first + "\" is not a setting of the channel");
        channel.SetValue(found->second, setting.second);
    }
}

std::vector<std::string> StartScene(CrumpleChannel& channel, const Scene& scene, const StepObserver& observer) {
    channel.TakeMessages();
    ApplySettings(channel, scene.settings);
    PrepareIfNeeded(channel);
    if (observer) observer(0, "start");
    return channel.TakeMessages();
}

std::vector<HitRow> RunSteps(CrumpleChannel& channel, const Scene& scene, std::vector<std::string> pending,
                             const Progress& progress, const StepObserver& observer) {
    std::vector<HitRow> rows;
    for (size_t i = 0; i < scene.hits.size(); ++i) {
        const std::string name = StepName(scene.hits[i], i + 1);
        if (progress) progress(i + 1, scene.hits.size(), name);
        HitRow row = RunStep(channel, scene.hits[i], static_cast<int>(i + 1));
        row.messages.insert(row.messages.begin(), pending.begin(), pending.end());
        pending.clear();
        rows.push_back(std::move(row));
        if (observer) observer(static_cast<int>(i + 1), name);
    }
    return rows;
}

}  // namespace crumpletool
