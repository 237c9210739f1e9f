// The runner loop and its outputs.
#include "runner.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "errors.h"
#include "mesh_io.h"
#include "plugin/children.h"

namespace crumpletool {

using namespace crumple;

namespace {

const uint8_t kGapColor[3] = {12, 14, 18};

int UsedCount(float value) { return crumple::TruncateToInt(value); }

// The object as the engine would draw it now, from its render buffers.
Image RenderObject(OffscreenRenderer& renderer, CrumpleChannel& channel, const Camera& camera) {
    return renderer.Render(BuffersOf(channel.Object()), camera, kPanelWidth, kImageHeight);
}

// Frames the used vertices of the working object (all of them while no
// working buffers exist).
Camera FrameObject(CrumpleChannel& channel, const D3DXVECTOR3& view) {
    Vexa_ObjectData& object = channel.Object();
    int used = UsedCount(channel.Value(kVertexesUsed));
    if (used <= 0 || used > object.GetVertexCount()) used = object.GetVertexCount();
    used = std::min(used, object.PositionsLength());
    D3DXMATRIX world;
    object.GetWorldMatrix(&world);
    D3DXVECTOR3 lo(-1.0f, -1.0f, -1.0f), hi(1.0f, 1.0f, 1.0f);
    if (object.pPositions) WorldBounds(object.pPositions, static_cast<size_t>(used), world, &lo, &hi);
    return FitCamera(lo, hi, view, float(kPanelWidth) / float(kImageHeight));
}

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

// Sets the collision inputs, runs one update and measures what it did.
void Impact(CrumpleChannel& channel, const Hit& hit, HitRow* row) {
    Vexa_ObjectData& object = channel.Object();
    const int usedBefore = std::min(UsedCount(channel.Value(kVertexesUsed)), object.GetVertexCount());
    std::vector<D3DXVECTOR3> before;
    if (usedBefore > 0 && object.pPositions) before.assign(object.pPositions, object.pPositions + usedBefore);
    const float impactBefore = channel.Value(kCumulativeImpact);

    channel.SetVector(kCollisionPosition, hit.position);
    channel.SetVector(kCollisionNormal, hit.normal);
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

std::string StepName(const Hit& hit, size_t step) {
    if (!hit.name.empty()) return hit.name;
    return hit.hasImpact ? "hit " + std::to_string(step) : "reset";
}

HitRow RunStep(CrumpleChannel& channel, const Hit& hit, int step) {
    HitRow row;
    row.step = step;
    row.reset = hit.reset;
    row.impact = hit.hasImpact;
    row.name = StepName(hit, step);

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

std::string Fixed(float value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", decimals, static_cast<double>(value));
    return text;
}

std::string Pad(const std::string& text, size_t width, bool right) {
    if (text.size() >= width) return text;
    const std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

}  // namespace

void ApplySettings(CrumpleChannel& channel, const SettingList& settings) {
    const SettingCatalog catalog = channel.Settings();
    for (const auto& setting : settings) {
        auto found = catalog.settable.find(setting.first);
        if (found == catalog.settable.end()) throw InputError("\"" + setting.first + "\" is not a setting of the channel");
        channel.SetValue(found->second, setting.second);
    }
}

RunResult RunScene(CrumpleChannel& channel, const Scene& scene, const Progress& progress) {
    OffscreenRenderer renderer;
    RunResult result;
    channel.TakeMessages();
    ApplySettings(channel, scene.settings);
    PrepareIfNeeded(channel);
    // Messages of the preparation go with the first row.
    result.camera = FrameObject(channel, scene.view);
    const Image before = RenderObject(renderer, channel, result.camera);

    std::vector<std::string> pending = channel.TakeMessages();
    for (size_t i = 0; i < scene.hits.size(); ++i) {
        if (progress) progress(i + 1, scene.hits.size(), StepName(scene.hits[i], i + 1));
        HitRow row = RunStep(channel, scene.hits[i], static_cast<int>(i + 1));
        row.messages.insert(row.messages.begin(), pending.begin(), pending.end());
        pending.clear();
        result.rows.push_back(std::move(row));
    }

    const Image after = RenderObject(renderer, channel, result.camera);
    result.picture = SideBySide(before, after, kPanelGap, kGapColor);
    // While no working buffers exist the whole object is in use.
    Vexa_ObjectData& object = channel.Object();
    const bool prepared = channel.Value(kVertexesUsed) != 0.0f;
    result.damaged = UsedPart(object, prepared ? UsedCount(channel.Value(kVertexesUsed)) : object.GetVertexCount(),
                              prepared ? UsedCount(channel.Value(kIndexesUsed)) : object.GetIndexCount());
    return result;
}

void PrintTable(const std::vector<HitRow>& rows, std::ostream& out) {
    size_t nameWidth = 4;
    for (const auto& row : rows) nameWidth = std::max(nameWidth, row.name.size());
    out << Pad("step", 4, true) << "  " << Pad("hit", nameWidth, false) << "  " << Pad("energy", 8, true) << "  "
        << Pad("radius", 7, true) << "  " << Pad("vertices used/capacity", 22, true) << "  "
        << Pad("indices used/capacity", 22, true) << "  " << Pad("Cumulative Collision Impact", 27, true) << "  "
        << Pad("Cumulative holes under water", 28, true) << "  " << Pad("moved", 6, true) << "  " << Pad("deepest dent", 12, true) << "  message\n";
    for (const auto& row : rows) {
        std::string message;
        if (row.reset) message = "ClearDamage";
        for (const auto& text : row.messages) message += (message.empty() ? "" : "; ") + text;
        const bool hit = row.impact;
        out << Pad(std::to_string(row.step), 4, true) << "  " << Pad(row.name, nameWidth, false) << "  "
            << Pad(hit ? Fixed(row.energy, 4) : "-", 8, true) << "  " << Pad(hit ? Fixed(row.radius, 4) : "-", 7, true)
            << "  "
            << Pad(std::to_string(row.verticesUsed) + " / " + std::to_string(row.vertexCapacity), 22, true) << "  "
            << Pad(std::to_string(row.indicesUsed) + " / " + std::to_string(row.indexCapacity), 22, true) << "  "
            << Pad(Fixed(row.cumulativeImpact, 4), 27, true) << "  " << Pad(Fixed(row.holesUnderWater, 4), 28, true)
            << "  " << Pad(hit ? Fixed(row.maxMove, 4) : "-", 6, true) << "  " << Pad(Fixed(row.deepestDent, 4), 12, true)
            << "  " << message << "\n";
    }
}

void WriteAll(const std::vector<OutputFile>& files) {
    namespace fs = std::filesystem;
    std::vector<std::string> written;
    auto removeWritten = [&written] {
        std::error_code ignored;
        for (const auto& path : written) fs::remove(path, ignored);
    };
    try {
        for (const auto& file : files) {
            const fs::path target(file.path);
            std::error_code ec;
            if (target.has_parent_path()) {
                fs::create_directories(target.parent_path(), ec);
                if (ec) throw OutputError("cannot make the folder '" + target.parent_path().string() + "': " + ec.message());
            }
            if (fs::is_directory(target, ec)) throw OutputError("cannot write '" + file.path + "': it is a folder");
            const fs::path temporary = target.parent_path() / ("." + target.filename().string() + ".part");
            written.push_back(temporary.string());
            file.write(temporary.string());
        }
        for (size_t i = 0; i < files.size(); ++i) {
            std::error_code ec;
            fs::rename(written[i], files[i].path, ec);
            if (ec) throw OutputError("cannot write '" + files[i].path + "': " + ec.message());
        }
    } catch (...) {
        removeWritten();
        throw;
    }
}

}  // namespace crumpletool
