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

RunResult RunScene(CrumpleChannel& channel, const Scene& scene, const Progress& progress,
                   const StepObserver& observer) {
    OffscreenRenderer renderer;
    RunResult result;
    // Messages of the preparation go with the first row.
    std::vector<std::string> pending = StartScene(channel, scene, observer);
    result.camera = FrameObject(channel, scene.view);
    const Image before = RenderObject(renderer, channel, result.camera);
    result.rows = RunSteps(channel, scene, std::move(pending), progress, observer);

    const Image after = RenderObject(renderer, channel, result.camera);
    result.picture = SideBySide(before, after, kPanelGap, kGapColor);
    result.damaged = DamagedMesh(channel);
    return result;
}

MeshArrays DamagedMesh(CrumpleChannel& channel) {
    // While no working buffers exist the whole object is in use.
    Vexa_ObjectData& object = channel.Object();
    const bool prepared = channel.Value(kVertexesUsed) != 0.0f;
    return UsedPart(object, prepared ? UsedCount(channel.Value(kVertexesUsed)) : object.GetVertexCount(),
                    prepared ? UsedCount(channel.Value(kIndexesUsed)) : object.GetIndexCount());
}

std::vector<std::string> TableLines(const std::vector<HitRow>& rows) {
    size_t nameWidth = 4;
    for (const auto& row : rows) nameWidth = std::max(nameWidth, row.name.size());
    std::vector<std::string> lines;
    lines.push_back(Pad("step", 4, true) + "  " + Pad("hit", nameWidth, false) + "  " + Pad("energy", 8, true) + "  " +
                    Pad("radius", 7, true) + "  " + Pad("vertices used/capacity", 22, true) + "  " +
                    Pad("indices used/capacity", 22, true) + "  " + Pad("Cumulative Collision Impact", 27, true) +
                    "  " + Pad("Cumulative holes under water", 28, true) + "  " + Pad("moved", 6, true) + "  " +
                    Pad("deepest dent", 12, true) + "  message");
    for (const auto& row : rows) {
        std::string message;
        if (row.reset) message = "ClearDamage";
        for (const auto& text : row.messages) message += (message.empty() ? "" : "; ") + text;
        const bool hit = row.impact;
        lines.push_back(
            Pad(std::to_string(row.step), 4, true) + "  " + Pad(row.name, nameWidth, false) + "  " +
            Pad(hit ? Fixed(row.energy, 4) : "-", 8, true) + "  " + Pad(hit ? Fixed(row.radius, 4) : "-", 7, true) +
            "  " + Pad(std::to_string(row.verticesUsed) + " / " + std::to_string(row.vertexCapacity), 22, true) +
            "  " + Pad(std::to_string(row.indicesUsed) + " / " + std::to_string(row.indexCapacity), 22, true) + "  " +
            Pad(Fixed(row.cumulativeImpact, 4), 27, true) + "  " + Pad(Fixed(row.holesUnderWater, 4), 28, true) +
            "  " + Pad(hit ? Fixed(row.maxMove, 4) : "-", 6, true) + "  " + Pad(Fixed(row.deepestDent, 4), 12, true) +
            "  " + message);
    }
    return lines;
}

void PrintTable(const std::vector<HitRow>& rows, std::ostream& out) {
    for (const std::string& line : TableLines(rows)) out << line << "\n";
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
