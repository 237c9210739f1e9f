// Writes the binary seeds of fuzz/corpus: channel files saved by the host
// from configured channels, and fuzz_plugin inputs. Run by hand when the
// formats change: fuzz_seed_writer <fuzz/corpus>.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "host/channel_file.h"
#include "plugin/children.h"
#include "test_scene.h"

namespace {

using namespace crumple;

void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz_seed_writer: %s\n", what.c_str());
    std::exit(1);
}

void SaveChannel(CrumpleScene& scene, const std::string& path) {
    if (!SaveChannelFile(*scene.channel(), path)) Fail("cannot save " + path);
}

void WriteBytes(const std::vector<uint8_t>& bytes, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) Fail("cannot write " + path);
}

void ChannelFiles(const std::string& dir) {
    {
        // Configured, never updated: the first update makes the working buffers.
        CrumpleScene s;
        s.SetMesh(MakeGridMesh(4, 4, 1.0f));
        s.SetDefaultSettings();
        s.SetHit({0.3f, 0.0f, 0.2f}, {0.0f, -1.0f, 0.0f});
        SaveChannel(s, dir + "/configured.kvch");
    }
    {
        // Working buffers with a two-pass hole, on a 16-bit mesh with set 2.
        CrumpleScene s;
        s.SetMesh(MakeGridMesh(5, 5, 1.0f, true, true, 0xFF200000u));
        s.SetDefaultSettings();
        s.SetValue(kApplyHoles, 1);
        s.SetValue(kApplyAlphaDamage, 1);
        s.SetValue(kNumberOfPasses, 2);
        s.SetValue(kHoleThreshold, 0.2f);
        s.SetValue(kImpactRadiusFactor, 1.5f);
        s.SetHit({0.4f, 0.0f, -0.3f}, {0.0f, -1.0f, 0.0f}, 2000.0f, 0.0f, 14.0f);
        s.Update();
        s.Update();
        SaveChannel(s, dir + "/holed16.kvch");
    }
    {
        // A hit between vertices, then reset: the undamaged mesh, child 22 at 0.
        CrumpleScene s;
        s.SetMesh(MakeGridMesh(3, 3, 2.0f));
        s.SetDefaultSettings();
        s.SetValue(kDentRadiusFactor, 0.02f);
        s.SetHit({0.5f, 0.0f, 0.7f}, {0.0f, 1.0f, 0.0f});
        s.Update();
        s.Update();
        SaveChannel(s, dir + "/inserted.kvch");
        s.crumple().ClearDamage();
        SaveChannel(s, dir + "/reset.kvch");
    }
}

// fuzz_plugin inputs, byte by byte as plugin_input.cpp reads them. A value
// is a selector and a byte; selector 0 takes the child's typical range.
struct PluginSeed {
    std::vector<uint8_t> bytes;
    void Add(std::initializer_list<int> values) {
        for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
    }
    void Typical(int b) { Add({0x00, b}); }
    // Settings 6 to 21 as typical bytes.
    void Settings(std::initializer_list<int> typical) {
        for (int b : typical) Typical(b);
    }
};

void PluginInputs(const std::string& dir) {
    // Settings in child order: dents, alpha, holes, passes, impact factor,
    // impact radius, dent radius, dent factor, dent angle, max dent, vertex
    // and index multipliers, alpha value, min triangle, hole threshold, min red.
    {
        // A 16 x 16 grid with colours and set 1, a dent hit on a vertex, twice.
        PluginSeed s;
        s.Add({0x16, 0, 15, 15, 31, 40, 0x34, 0x12});  // flags, grid, size, spacing, roughness, seed
        s.Add({0x77, 0x03, 1, 0});                      // attribute seed, random colours
        s.Settings({1, 0, 0, 1, 40, 22, 180, 61, 128, 77, 64, 64, 128, 5, 38, 128});
        s.Add({0, 0x89, 0x00, 0, 2});                   // on vertex 137, normal -y
        s.Typical(100), s.Typical(0), s.Typical(40);    // masses 2000 and 0, speed 10
        s.Add({0, 0});                                  // two updates
        WriteBytes(s.bytes, dir + "/dent_grid.bin");
    }
    {
        // Holes in two passes with alpha marks on a turned and shifted
        // 16-bit mesh with set 2, red 40 below the min red 128; then a second
        // hit, a reset, outside writes of both counts, buffers remade and dropped.
        PluginSeed s;
        s.Add({0x3F, 0, 11, 11, 31, 0, 0x21, 0x43});
        s.Add({0x55, 0x03, 2, 40});
        s.Add({40}), s.Typical(140), s.Typical(120), s.Typical(128);  // placement
        s.Settings({1, 1, 1, 2, 60, 40, 128, 30, 128, 77, 128, 128, 96, 2, 10, 128});
        s.Add({1, 0x30, 0x00, 0, 3});                   // centre of triangle 48, normal +y
        s.Typical(100), s.Typical(0), s.Typical(56);
        s.Add({0, 0, 7, 1, 0x40, 0x00, 0, 2, 0, 3, 0, 6, 0, 0x00, 90, 0, 5, 0, 6, 1, 0x00, 30, 0, 4, 0});
        WriteBytes(s.bytes, dir + "/holes16_reset.bin");
    }
    {
        // A hit between vertices (small dent radius), then the same spot again.
        PluginSeed s;
        s.Add({0x16, 0, 8, 8, 64, 0, 0x11, 0x22});
        s.Add({0x66, 0x01, 3, 0});
        s.Settings({1, 1, 0, 0, 40, 22, 3, 61, 128, 77, 128, 128, 128, 0, 200, 0});
        s.Add({1, 0x21, 0x00, 0, 3});
        s.Typical(100), s.Typical(0), s.Typical(40);
        s.Add({0, 0, 0, 4, 0, 5, 0});
        WriteBytes(s.bytes, dir + "/between_vertices.bin");
    }
    {
        // A triangle soup with a NaN impact factor and an infinite vertex
        // multiplier; child 22 written NaN and child 23 1e30 from outside,
        // then usable settings and a hit.
        PluginSeed s;
        s.Add({0x12, 1, 0x20, 0x01, 0x90, 0x01, 32, 0x05, 0x09});
        s.Add({0x33, 0x01, 0, 0});
        s.Settings({1, 1, 1, 1});
        s.Add({0xA0});  // impact factor NaN
        s.Settings({22, 128, 61, 128, 77});
        s.Add({0xA1});  // vertex multiplier +infinity
        s.Settings({64, 128, 2, 38, 128});
        s.Add({2, 128, 128, 128, 2, 0xA5, 0xA3, 0x00, 0});  // centre of the mesh, normal (-1, 0, -16)
        s.Typical(30), s.Typical(100), s.Typical(40);
        s.Add({6, 0, 0xA0, 0, 6, 1, 0xA6, 0, 6, 32, 0x00, 64, 6, 0, 0xA3, 0, 6, 14, 0x00, 40, 0, 0});
        WriteBytes(s.bytes, dir + "/soup_awkward.bin");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) Fail("usage: fuzz_seed_writer CORPUS_DIR");
    const std::string corpus = argv[1];
    ChannelFiles(corpus + "/fuzz_channel_file");
    PluginInputs(corpus + "/fuzz_plugin");
    return 0;
}
