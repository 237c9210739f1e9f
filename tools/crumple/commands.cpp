// The demo and run commands: plug-in, mesh, scene, runner, outputs.
#include "commands.h"

#include <filesystem>
#include <fstream>
#include <iostream>

#include "demo_scene.h"
#include "errors.h"
#include "isolated_import.h"
#include "mesh_io.h"
#include "plugin_host.h"
#include "runner.h"
#include "step_digest.h"

namespace crumpletool {

namespace {

// Progress is worth showing only when a person watches a long run.
constexpr size_t kProgressFromHits = 20;

Progress MakeProgress(bool enabled, size_t hits) {
    if (!enabled || hits < kProgressFromHits) return nullptr;
    return [](size_t step, size_t total, const std::string& name) {
        std::cerr << "\r\033[K[" << step << "/" << total << "] " << name << std::flush;
        if (step == total) std::cerr << "\r\033[K" << std::flush;
    };
}

void WriteDigests(const std::vector<StepDigest>& digests, const std::string& path) {
    std::ofstream file(path, std::ios::binary);
    file << kDigestFileHeader << "\n";
    for (const StepDigest& digest : digests) file << FormatDigestLine(digest) << "\n";
    if (!file.flush()) throw OutputError("cannot write '" + path + "'");
}

void RunAndWrite(CrumpleChannel& channel, const Scene& scene, const std::string& stem, const CommandOptions& options,
                 std::ostream& out) {
    std::vector<StepDigest> digests;
    StepObserver observer;
    if (!options.digestsPath.empty())
        observer = [&](int step, const std::string& name) {
            digests.push_back(DigestStep(channel.Channel(), step, name, digests.empty() ? 0 : digests.back().chain));
        };
    const RunResult result = RunScene(channel, scene, MakeProgress(options.progress, scene.hits.size()), observer);
    const std::filesystem::path dir(options.outDir);
    const std::string png = (dir / (stem + ".png")).string();
    const std::string glb = (dir / (stem + ".glb")).string();
    std::vector<OutputFile> files = {
        {png, [&result](const std::string& path) { WritePng(result.picture, path); }},
        {glb, [&result](const std::string& path) { ExportGlb(result.damaged, path); }},
    };
    if (!options.savePath.empty())
        files.push_back({options.savePath, [&channel](const std::string& path) { channel.Save(path); }});
    if (!options.digestsPath.empty())
        files.push_back({options.digestsPath, [&digests](const std::string& path) { WriteDigests(digests, path); }});
    WriteAll(files);

    PrintTable(result.rows, out);
    out << "wrote " << png << " (" << result.picture.width << "x" << result.picture.height
        << ", before | after), " << glb << " (" << result.damaged.positions.size() << " vertices, "
        << result.damaged.indices.size() / 3 << " triangles)";
    if (!options.savePath.empty()) out << ", " << options.savePath;
    if (!options.digestsPath.empty()) out << ", " << options.digestsPath << " (" << digests.size() << " step digests)";
    out << "\n";
}

std::string PluginPath(const CommandOptions& options) {
    return options.pluginPath.empty() ? DefaultPluginPath() : options.pluginPath;
}

}  // namespace

std::string DefaultPluginPath() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path beside = self.parent_path() / "libCrumple.so";
        if (std::filesystem::exists(beside, ec)) return beside.string();
    }
    return CRUMPLE_BUILT_PLUGIN;
}

void RunDemo(const CommandOptions& options, std::ostream& out) {
    CrumpleChannel channel(PluginPath(options));
    const DemoScene demo = MakeDemoScene();
    channel.SetMesh(demo.mesh, demo.scene.placement);
    RunAndWrite(channel, demo.scene, "demo", options, out);
}

void RunSceneFile(const std::string& scenePath, const CommandOptions& options, std::ostream& out) {
    CrumpleChannel channel(PluginPath(options));
    const Scene scene = LoadSceneFile(scenePath, channel.Settings());
    if (!options.loadPath.empty()) {
        // The channel file brings the mesh, its placement and every setting;
        // the scene's own placement and settings still apply on top.
        channel.Load(options.loadPath);
        if (scene.hasPlacement) channel.SetPlacement(scene.placement);
    } else {
        if (scene.meshPath.empty()) throw InputError(scenePath + ": \"mesh\" is missing (or give --load)");
        channel.SetMesh(ImportMeshIsolated(scene.meshPath), scene.placement);
    }
    RunAndWrite(channel, scene, std::filesystem::path(scenePath).stem().string(), options, out);
}

}  // namespace crumpletool
