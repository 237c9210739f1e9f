// Shared by the crumple tool's tests: a scratch folder, running the built
// program, and one plug-in channel per test process for setting names.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "plugin_host.h"

namespace tooltest {

// A fresh folder under the system's temporary folder, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "crumple-test-XXXXXX").string();
        if (!mkdtemp(&pattern[0])) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built crumple with `arguments` (already quoted for the shell).
inline ToolRun RunTool(const std::string& arguments, const ScratchDir& scratch) {
    const std::string errPath = scratch / "stderr.txt";
    const std::string command = std::string("'") + CRUMPLE_TOOL_PATH + "' " + arguments + " 2>'" + errPath + "'";
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadText(errPath);
    std::filesystem::remove(errPath);
    return run;
}

// The built plug-in, opened once for the whole test process.
inline crumpletool::CrumpleChannel& SharedChannel() {
    static crumpletool::CrumpleChannel channel(CRUMPLE_PLUGIN_PATH);
    return channel;
}

}  // namespace tooltest

namespace tooltest {

// A closed UV sphere of radius 2 around the origin, wound outwards, with
// smooth normals; red byte 40 (may be holed) below y = 1.5, 200 above.
inline MeshArrays MakeSphere(int rings = 24, int segments = 40) {
    MeshArrays mesh;
    mesh.indices16 = true;
    const float pi = 3.14159265358979f;
    auto add = [&mesh](float x, float y, float z) {
        mesh.positions.emplace_back(2.0f * x, 2.0f * y, 2.0f * z);
        mesh.normals.emplace_back(x, y, z);
        mesh.texCoords0.emplace_back(x * 0.5f + 0.5f, y * 0.5f + 0.5f);
        mesh.colors.push_back(y > 0.75f ? 0xFFC88000u : 0xFF288000u);
    };
    add(0.0f, 1.0f, 0.0f);
    for (int r = 1; r < rings; ++r) {
        const float theta = pi * r / rings;
        for (int s = 0; s < segments; ++s) {
            const float phi = 2.0f * pi * s / segments;
            add(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi));
        }
    }
    add(0.0f, -1.0f, 0.0f);
    const uint32_t bottom = static_cast<uint32_t>(mesh.positions.size() - 1);
    auto at = [segments](int r, int s) { return static_cast<uint32_t>(1 + (r - 1) * segments + (s % segments)); };
    for (int s = 0; s < segments; ++s) mesh.indices.insert(mesh.indices.end(), {0u, at(1, s + 1), at(1, s)});
    for (int r = 1; r + 1 < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            mesh.indices.insert(mesh.indices.end(), {at(r, s), at(r, s + 1), at(r + 1, s)});
            mesh.indices.insert(mesh.indices.end(), {at(r, s + 1), at(r + 1, s + 1), at(r + 1, s)});
        }
    for (int s = 0; s < segments; ++s)
        mesh.indices.insert(mesh.indices.end(), {bottom, at(rings - 1, s), at(rings - 1, s + 1)});
    return mesh;
}

// `mesh` as an ASCII PLY file with colours.
inline void WritePly(const MeshArrays& mesh, const std::string& path) {
    std::ofstream out(path);
    out << "ply\nformat ascii 1.0\nelement vertex " << mesh.positions.size()
        << "\nproperty float x\nproperty float y\nproperty float z\nproperty float nx\nproperty float ny\n"
           "property float nz\nproperty uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
           "element face "
        << mesh.indices.size() / 3 << "\nproperty list uchar int vertex_indices\nend_header\n";
    out.precision(9);
    for (size_t v = 0; v < mesh.positions.size(); ++v) {
        const uint32_t c = mesh.colors[v];
        out << mesh.positions[v].x << ' ' << mesh.positions[v].y << ' ' << mesh.positions[v].z << ' '
            << mesh.normals[v].x << ' ' << mesh.normals[v].y << ' ' << mesh.normals[v].z << ' ' << ((c >> 16) & 255)
            << ' ' << ((c >> 8) & 255) << ' ' << (c & 255) << ' ' << (c >> 24) << '\n';
    }
    for (size_t t = 0; t < mesh.indices.size(); t += 3)
        out << "3 " << mesh.indices[t] << ' ' << mesh.indices[t + 1] << ' ' << mesh.indices[t + 2] << '\n';
}

}  // namespace tooltest
