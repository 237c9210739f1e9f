// The runner loop: settings, preparation, the hits of a scene one update at a
// time, a table row per step, the before-and-after picture and the damaged
// mesh, and writing the outputs so that none is left half-written.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "image.h"
#include "plugin_host.h"
#include "render.h"
#include "scene.h"
#include "steps.h"

namespace crumpletool {

// The picture: two panels side by side with a bar between them.
constexpr int kImageWidth = 1600;
constexpr int kImageHeight = 600;
constexpr int kPanelGap = 8;
constexpr int kPanelWidth = (kImageWidth - kPanelGap) / 2;

struct RunResult {
    std::vector<HitRow> rows;
    Camera camera;
    Image picture;     // before on the left, after on the right
    MeshArrays damaged;  // used vertices and triangles only
};

// Runs `scene` on a channel whose mesh is already in place (put there or
// loaded): applies the scene's settings, prepares the working buffers when they
// do not exist, renders the object, runs every step, renders it again and takes
// the used part of the mesh. `observer`, when given, sees the channel after
// the preparation and after each step.
RunResult RunScene(CrumpleChannel& channel, const Scene& scene, const Progress& progress,
                   const StepObserver& observer = nullptr);

// The used part of the channel's working mesh, every per-vertex array included.
MeshArrays DamagedMesh(CrumpleChannel& channel);

// The table of rows: a header line, then one line per row, names padded to
// the longest.
std::vector<std::string> TableLines(const std::vector<HitRow>& rows);
// The table printed, one line each.
void PrintTable(const std::vector<HitRow>& rows, std::ostream& out);

// One output file and how to write it to a given path.
struct OutputFile {
    std::string path;
    std::function<void(const std::string& path)> write;
};

// Writes every file beside its final place first and renames them only when all
// were written; on failure removes what it wrote and rethrows.
void WriteAll(const std::vector<OutputFile>& files);

}  // namespace crumpletool
