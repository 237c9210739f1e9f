// The crumple tool: scene files, mesh import, the runner loop, and the built
// program end to end (bad input, the demo, save / load / continue).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <nlohmann/json.hpp>

#include "demo_scene.h"
#include "errors.h"
#include "isolated_import.h"
#include "mesh_io.h"
#include "runner.h"
#include "tool_support.h"

using namespace crumpletool;
namespace fs = std::filesystem;

namespace {

const std::string kExample = std::string(CRUMPLE_SOURCE_DIR) + "/examples/buoy-hits.json";

struct ToolRun {
    int exitCode;
    std::string out, err;
};

// Runs the built program; `arguments` are already quoted for the shell.
ToolRun RunTool(const std::string& arguments, const ScratchDir& dir) {
    const std::string out = dir / "stdout.txt", err = dir / "stderr.txt";
    const std::string command = "'" CRUMPLE_TOOL_PATH "' " + arguments + " >'" + out + "' 2>'" + err + "'";
    const int status = std::system(command.c_str());
    ToolRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
    fs::remove(out);
    fs::remove(err);
    return run;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The table's last row: the line before "wrote ...".
std::string LastRow(const std::string& out) {
    const size_t end = out.rfind("\nwrote ");
    const size_t begin = out.rfind('\n', end - 1);
    return end == std::string::npos || begin == std::string::npos ? "" : out.substr(begin + 1, end - begin - 1);
}

const SettingCatalog& Catalog() {
    static const SettingCatalog catalog = CrumpleChannel(CRUMPLE_PLUGIN_PATH).Settings();
    return catalog;
}

// A flat (n + 1) x (n + 1) grid without normals as ASCII PLY.
void WriteGridPly(const std::string& path, int n) {
    std::ofstream out(path);
    out << "ply\nformat ascii 1.0\nelement vertex " << (n + 1) * (n + 1)
        << "\nproperty float x\nproperty float y\nproperty float z\nelement face " << 2 * n * n
        << "\nproperty list uchar int vertex_indices\nend_header\n";
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) out << i << " 0 " << j << '\n';
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i, c = a + n + 1;
            out << "3 " << a << ' ' << c << ' ' << a + 1 << "\n3 " << a + 1 << ' ' << c << ' ' << c + 1 << '\n';
        }
}

}  // namespace

TEST(ToolScene, ValidSceneLandsInTheRightFields) {
    const Scene scene = ParseScene(R"j({
        "mesh": "meshes/hull.obj",
        "placement": [[0, 0, -1, 0], [0, 1, 0, 0], [1, 0, 0, 0], [5, 0.5, -2, 1]],
        "view": [1, 0.5, 0],
        "settings": {"Impact factor": 40, "Apply Holes? (0/1)": 1, "Hole treshold": 0.25},
        "hits": [
            {"name": "first", "position": [1, 2, 3], "normal": [0, 0, -1], "mass1": 1000, "mass2": 3,
             "speed": 12.5, "settings": {"Number of passes (0-2)": 2}},
            {"reset": true},
            {"reset": true, "position": [0, -1, 0], "normal": [0, 1, 0], "mass1": 5, "mass2": 7, "speed": 1}
        ]})j", "scene.json", "/data", Catalog());
    EXPECT_EQ(scene.meshPath, "/data/meshes/hull.obj");
    EXPECT_TRUE(scene.hasPlacement);
    const D3DXMATRIX& m = scene.placement;
    EXPECT_EQ((std::vector<float>{m._13, m._31, m._41, m._42, m._43, m._44}),
              (std::vector<float>{-1, 1, 5, 0.5f, -2, 1}));
    EXPECT_EQ(scene.view.y, 0.5f);
    EXPECT_EQ(scene.settings,
              (SettingList{{"Impact factor", 40}, {"Apply Holes? (0/1)", 1}, {"Hole treshold", 0.25f}}));
    ASSERT_EQ(scene.hits.size(), 3u);
    const Hit& h = scene.hits[0];
    EXPECT_EQ(h.name, "first");
    EXPECT_TRUE(h.hasImpact && !h.reset);
    EXPECT_EQ((std::vector<float>{h.position.y, h.position.z, h.normal.z, h.mass1, h.mass2, h.speed}),
              (std::vector<float>{2, 3, -1, 1000, 3, 12.5f}));
    EXPECT_EQ(h.settings, (SettingList{{"Number of passes (0-2)", 2}}));
    EXPECT_TRUE(scene.hits[1].reset && !scene.hits[1].hasImpact);
    EXPECT_TRUE(scene.hits[2].reset && scene.hits[2].hasImpact);

    const Scene plain = ParseScene(R"({"mesh": "/abs/x.ply"})", "scene.json", "/data", Catalog());
    EXPECT_FALSE(plain.hasPlacement);
    EXPECT_EQ(plain.placement._11, 1.0f);
    EXPECT_EQ(plain.placement._41, 0.0f);
    EXPECT_EQ(plain.meshPath, "/abs/x.ply");
}

TEST(ToolMesh, IndexWidthFollowsSizeAndColoursKeepTheirBytes) {
    ScratchDir dir;
    WriteGridPly(dir / "fits.ply", 255);  // 65536 vertices: numbers 0 to 65535
    EXPECT_TRUE(ImportMesh(dir / "fits.ply").indices16);
    WriteGridPly(dir / "large.ply", 260);  // 68121 vertices
    const MeshArrays large = ImportMesh(dir / "large.ply");
    EXPECT_FALSE(large.indices16);
    EXPECT_EQ(large.positions.size(), 68121u);
    EXPECT_EQ(large.indices.size(), 3u * 2 * 260 * 260);
    EXPECT_EQ(*std::max_element(large.indices.begin(), large.indices.end()), 68120u);
    ASSERT_EQ(large.normals.size(), large.positions.size());  // made where the file has none
    EXPECT_NEAR(std::fabs(large.normals[0].y), 1.0f, 1e-4f);

    // The shipped buoy: ARGB with red 200 (reinforced cap) or 40, alpha 255.
    const MeshArrays buoy = ImportMesh(std::string(CRUMPLE_SOURCE_DIR) + "/examples/buoy.ply");
    ASSERT_EQ(buoy.colors.size(), buoy.positions.size());
    const auto red = [](uint32_t c) { return (c >> 16) & 255; };
    EXPECT_TRUE(std::all_of(buoy.colors.begin(), buoy.colors.end(),
                            [&](uint32_t c) { return (c >> 24) == 255 && (red(c) == 40 || red(c) == 200); }));
    EXPECT_TRUE(std::any_of(buoy.colors.begin(), buoy.colors.end(), [&](uint32_t c) { return red(c) == 200; }));
}

// The shipped example scene, with a still hit and an all-off hit added.
TEST(ToolRunner, RowsSettingsAndMessagesPerStep) {
    CrumpleChannel channel(CRUMPLE_PLUGIN_PATH);
    Scene scene = LoadSceneFile(kExample, channel.Settings());
    const MeshArrays mesh = ImportMesh(scene.meshPath);
    channel.SetMesh(mesh, scene.placement);
    ASSERT_EQ(scene.hits.size(), 9u);
    ASSERT_TRUE(scene.hits[1].reset);
    Hit still = scene.hits[0], off = scene.hits[0];
    still.speed = 0.0f;
    off.settings = {{"Apply Dents? (0/1)", 0}};  // the scene has alpha damage and holes off
    scene.hits.push_back(still);
    scene.hits.push_back(off);
    const RunResult result = RunScene(channel, scene, nullptr);
    const std::vector<HitRow>& rows = result.rows;
    ASSERT_EQ(rows.size(), 11u);

    EXPECT_TRUE(rows[1].reset);
    EXPECT_EQ(rows[1].verticesUsed, 0);
    EXPECT_EQ(rows[1].cumulativeImpact, 0.0f);
    EXPECT_EQ(rows[1].deepestDent, 0.0f);
    // The hit after a reset prepares the buffers again and starts the sums anew.
    EXPECT_EQ(rows[2].verticesUsed, int(mesh.positions.size()));
    EXPECT_EQ(rows[2].cumulativeImpact, rows[2].energy);
    EXPECT_GT(rows[2].maxMove, 0.0f);
    EXPECT_FLOAT_EQ(rows[2].deepestDent, rows[2].maxMove);
    EXPECT_NEAR(rows[3].cumulativeImpact, rows[2].energy + rows[3].energy, 1e-5f);
    EXPECT_GT(rows[3].deepestDent, rows[3].maxMove);
    EXPECT_GT(rows[4].verticesUsed, rows[3].verticesUsed);  // holes switched on for this hit
    // No energy: no pass, and the radius does not repeat the last hit's.
    EXPECT_EQ(rows[9].energy, 0.0f);
    EXPECT_EQ(rows[9].radius, 0.0f);
    EXPECT_EQ(rows[9].verticesUsed, rows[8].verticesUsed);
    EXPECT_EQ(rows[10].messages, (std::vector<std::string>{"Alpha & Dent & Hole = 0 -> no damage applied"}));
    for (size_t i = 0; i < 10; ++i) EXPECT_TRUE(rows[i].messages.empty()) << i;
    // A hit's own settings hold for that hit only.
    for (const auto& setting : scene.settings)
        EXPECT_EQ(channel.Value(channel.ChildIndex(setting.first)), setting.second) << setting.first;
    EXPECT_EQ(result.picture.width, kImageWidth);
    EXPECT_EQ(result.picture.height, kImageHeight);
    EXPECT_EQ(result.damaged.positions.size(), size_t(rows.back().verticesUsed));
    EXPECT_EQ(result.damaged.indices.size(), size_t(rows.back().indicesUsed));
    EXPECT_THROW(ApplySettings(channel, {{"Current vertexes used", 1}}), InputError);

    // Buffers that cannot be made: the preparation's message goes with the first row.
    CrumpleChannel refusing(CRUMPLE_PLUGIN_PATH);
    refusing.SetMesh(mesh, scene.placement);
    scene.settings.push_back({"Vertex multiplier", 0});
    scene.hits = {scene.hits[0], scene.hits[2]};
    const RunResult refused = RunScene(refusing, scene, nullptr);
    const std::string message = "DamageChannel->vertexfactor or indexfactor is 0!, increasing buffers aborted";
    EXPECT_EQ(refused.rows[0].messages, (std::vector<std::string>{message, message}));
    EXPECT_EQ(refused.rows[1].messages, (std::vector<std::string>{message}));
    EXPECT_EQ(refused.rows[1].verticesUsed, 0);
}

TEST(ToolRunner, OutputsAreAllWrittenOrNoneIsReplaced) {
    ScratchDir dir;
    const auto text = [](const std::string& t) { return [t](const std::string& path) { WriteText(path, t); }; };
    fs::create_directories(dir.path / "out");
    WriteText(dir / "out/a.png", "old");
    EXPECT_THROW(WriteAll({{dir / "out/a.png", text("new")}, {dir / "out/b.glb", [](const std::string&) {
                               throw OutputError("disk full");
                           }}}),
                 OutputError);
    EXPECT_EQ(ReadText(dir / "out/a.png"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path / "out"), {}), 1);  // no part files left

    WriteAll({{dir / "out/a.png", text("new")}, {dir / "deeper/b.glb", text("mesh")}});
    EXPECT_EQ(ReadText(dir / "out/a.png"), "new");
    EXPECT_EQ(ReadText(dir / "deeper/b.glb"), "mesh");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path / "out"), {}), 1);
}

TEST(ToolProgram, BadInputGivesOneLineNonZeroExitAndNoFiles) {
    ScratchDir dir;
    WriteText(dir / "lines.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2\n");
    WriteText(dir / "junk.stl", std::string(3000, '\x7f'));
    const std::string plyHeader =
        "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
        "element face 1\nproperty list uchar int vertex_indices\nend_header\n";
    WriteText(dir / "past.ply", plyHeader + "0 0 0\n1 0 0\n0 1 0\n3 0 1 7\n");
    WriteText(dir / "nan.ply", plyHeader + "nan 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
    // Declares two billion vertices and holds none: refused, not read for minutes.
    WriteText(dir / "huge.ply", "ply\nformat binary_little_endian 1.0\nelement vertex 2000000000\nproperty float x\n"
                                "property float y\nproperty float z\nend_header\n" + std::string(64, '\x01'));
    // Once crashed the OFF reader (the selector byte of the fuzz input dropped).
    const std::string crash = ReadText(std::string(CRUMPLE_SOURCE_DIR) +
                                       "/fuzz/regressions/fuzz_import/off_face_lines_count_below_zero.bin");
    WriteText(dir / "crash.off", crash.substr(1));
    WriteText(dir / "ok.json", R"({"hits": []})");
    using Json = nlohmann::ordered_json;
    const auto hitWith = [](const char* key, const std::string& value) {
        Json hit = {{"position", {0, 0, 1}}, {"normal", {0, 0, 1}}, {"mass1", 1}, {"mass2", 0}, {"speed", 1}};
        hit[key] = Json::parse(value);
        return Json{{"hits", Json::array({hit})}}.dump();
    };
    const auto placement = [](const std::string& rows) { return "{\"placement\": " + rows + "}"; };
    const std::string shape = "expected 4 rows of 4 numbers, got ";
    const struct {
        std::string text, expected, arguments = "";  // `text` goes into s.json, run with no other arguments
    } cases[] = {
        {R"({"mesh": "absent.obj"})", "absent.obj': no such file"},
        {R"({"mesh": "lines.obj"})", "lines.obj': holds no triangles"},
        {R"({"mesh": "junk.stl"})", "junk.stl': cannot be read"},
        {R"({"mesh": "."})", "not a regular file"},
        {R"({"mesh": "past.ply"})", "past.ply': face 0 names vertex 7 of 3"},
        {R"({"mesh": "nan.ply"})", "nan.ply': vertex 0 has a position that is not finite"},
        {R"({"mesh": "huge.ply"})",
         kImportMemoryIsBounded ? "huge.ply': needs more memory to read than an import may use" : "huge.ply': "},
        // Whatever the reader does with it, the tool says so in one line.
        {R"({"mesh": "crash.off"})", "crash.off': "},
        {R"({"hits": []})", "\"mesh\" is missing (or give --load)"},
        {"{", "s.json: not valid JSON"},
        {R"({"view": [1e400, 0, 0]})", "s.json: not valid JSON: number overflow"},
        {"[1, 2]", "expected a JSON object at the top, got an array"},
        {R"({"mesh": "a.obj", "hitz": []})", "s.json: unknown key \"hitz\""},
        {hitWith("sped", "2"), "hits[0]: unknown key \"sped\""},
        {R"({"settings": {"Dent angle": 0.5}})", "unknown setting \"Dent angle\" (did you mean \"Dent angle (0-1)\"?)"},
        {R"({"settings": {"Wibble": 1}})", "unknown setting \"Wibble\" (not a child of the channel)"},
        {R"({"settings": {"Current vertexes used": 5}})", "used\" cannot be set: the channel writes it"},
        {R"({"settings": {"Mass Body 2": 5}})", "given per hit as \"mass2\""},
        {hitWith("settings", R"({"Dent factr": 1})"), "hits[0].settings: unknown setting \"Dent factr\""},
        {R"({"mesh": 3})", "mesh: expected the mesh file's path as a string, got a number"},
        {R"({"settings": {"Impact factor": "40"}})", "settings.\"Impact factor\": expected a number, got a string"},
        {R"({"settings": {"Impact factor": 1e39}})", "out of the range of a 32-bit float"},
        {R"({"hits": {}})", "hits: expected an array of hits, got an object"},
        {R"({"hits": [{"reset": "yes"}]})", "hits[0].reset: expected true or false, got a string"},
        {hitWith("name", "7"), "hits[0].name: expected a string"},
        {R"({"hits": [{"reset": true, "speed": 3}]})", "hits[0]: \"position\" is missing"},
        {hitWith("position", "[0, 0]"), "hits[0].position: expected an array of 3 numbers, got an array of 2"},
        {hitWith("normal", "[0, 0, 0]"), "hits[0].normal: the normal has length 0"},
        {hitWith("mass1", "-1"), "hits[0].mass1: a mass cannot be negative"},
        {R"({"view": [0, 0, 0]})", "view: the direction has length 0"},
        {placement("\"identity\""), "placement: " + shape + "a string"},
        {placement("[[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 1, 0]]"), "placement: " + shape + "3 rows"},
        {placement("[[1, 0, 0, 0], [0, 1, 0], [0, 0, 1, 0], [0, 0, 0, 1]]"), "placement[1]: " + shape + "a row of 3"},
        {placement(R"([[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 1, 0], [0, "x", 0, 1]])"), "placement[3][1]: expected a"},
        {placement("[[1, 0, 0, 0.5], [0, 1, 0, 0], [0, 0, 1, 0], [0, 0, 0, 1]]"), "the last column must be 0, 0, 0, 1"},
        {placement("[[1, 0, 0, 0], [2, 0, 0, 0], [0, 0, 1, 0], [0, 0, 0, 1]]"), "not independent axes"},
        {"", "cannot load '", "run " + Quoted(dir / "ok.json") + " --load " + Quoted(dir / "lines.obj")},
        {"", "nowhere.json: no such scene file", "run " + Quoted(dir / "nowhere.json")},
        {"", "is a folder, not a scene file", "run " + Quoted(dir.path.string())},
        {"", "cannot open plug-in library", "demo --plugin " + Quoted(dir / "libNone.so")},
        {"", "--frobnicate", "demo --frobnicate"},
        {"", "scene is required", "run"},
    };
    for (const auto& c : cases) {
        if (!c.text.empty()) WriteText(dir / "s.json", c.text);
        const std::string arguments = c.arguments.empty() ? "run " + Quoted(dir / "s.json") : c.arguments;
        const ToolRun run = RunTool(arguments + " --out " + Quoted(dir / "out"), dir);
        EXPECT_NE(run.exitCode, 0) << c.text << c.arguments;
        EXPECT_EQ(run.err.rfind("crumple: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << c.text << c.arguments << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(fs::exists(dir / "out")) << c.text << c.arguments;
    }
}

TEST(ToolProgram, FilesTheReadersTakeAreDamaged) {
    ScratchDir dir;
    // An old exporter's name line before the first element, and quads.
    std::string ply = "ply\nformat ascii 1.0\nCreated by Blender3D 247 - www.blender.org, source file: 'hull.blend'\n"
                      "element vertex 49\nproperty float x\nproperty float y\nproperty float z\nproperty float nx\n"
                      "property float ny\nproperty float nz\nelement face 36\n"
                      "property list uchar uint vertex_indices\nend_header\n";
    for (int j = 0; j <= 6; ++j)
        for (int i = 0; i <= 6; ++i)
            ply += std::to_string(0.5 * i - 1.5) + " " + std::to_string(0.5 * j - 1.5) + " 0 0 0 1\n";
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 6; ++i) {
            const int a = 7 * j + i;
            ply += "4 " + std::to_string(a) + " " + std::to_string(a + 1) + " " + std::to_string(a + 8) + " " +
                   std::to_string(a + 7) + "\n";
        }
    WriteText(dir / "blender.ply", ply);
    using Json = nlohmann::ordered_json;
    Json scene = Json::parse(ReadText(kExample));
    scene["mesh"] = "blender.ply";
    scene.erase("placement");
    scene["hits"] = Json::array({{{"position", {0, 0, 0}}, {"normal", {0, 0, 1}}, {"mass1", 2000}, {"mass2", 0},
                                  {"speed", 10}}});
    WriteText(dir / "blender.json", scene.dump());
    const ToolRun run = RunTool("run " + Quoted(dir / "blender.json") + " --out " + Quoted(dir / "out"), dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("blender.glb (49 vertices, 72 triangles)"), std::string::npos) << run.out;
    // Energy, radius, counts and a dent: every vertex within reach moved.
    std::istringstream row(LastRow(run.out));
    std::vector<std::string> words((std::istream_iterator<std::string>(row)), std::istream_iterator<std::string>());
    ASSERT_GE(words.size(), 14u) << LastRow(run.out);
    EXPECT_GT(std::stod(words[words.size() - 2]), 0.0) << LastRow(run.out);
}

TEST(ToolProgram, DemoWritesTablePictureAndMesh) {
    ScratchDir dir;
    const ToolRun run = RunTool("demo --out " + Quoted(dir / "out"), dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const DemoScene demo = MakeDemoScene();
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), long(demo.scene.hits.size()) + 2) << run.out;

    // The picture: before | after from one camera; a ray through the hole's
    // centre meets the hull before and nothing after (back faces are culled).
    const Image picture = ReadPng(dir / "out/demo.png");
    ASSERT_EQ(picture.width, kImageWidth);
    ASSERT_EQ(picture.height, kImageHeight);
    D3DXVECTOR3 lo, hi;
    ASSERT_TRUE(WorldBounds(demo.mesh.positions.data(), demo.mesh.positions.size(), demo.scene.placement, &lo, &hi));
    const Camera camera = FitCamera(lo, hi, demo.scene.view, float(kPanelWidth) / kImageHeight);
    float x = 0, y = 0;
    ASSERT_TRUE(ProjectToPixel(camera, kPanelWidth, kImageHeight, demo.scene.hits[demo.holeHit].position, &x, &y));
    const auto background = [](const uint8_t* p) { return std::equal(p, p + 3, kBackground); };
    EXPECT_FALSE(background(picture.At(int(x), int(y))));
    EXPECT_TRUE(background(picture.At(int(x) + kPanelWidth + kPanelGap, int(y))));

    // The mesh reads back with the used triangles and the colours' bytes in place.
    const std::string last = LastRow(run.out);
    std::smatch used;  // "vertices used / capacity  indices used / capacity"
    ASSERT_TRUE(std::regex_search(last, used, std::regex(R"((\d+) / \d+ +(\d+) / \d+)"))) << run.out;
    const int vertices = std::stoi(used[1]), indices = std::stoi(used[2]);
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(dir / "out/demo.glb", 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    ASSERT_EQ(scene->mNumMeshes, 1u);
    const aiMesh* mesh = scene->mMeshes[0];
    EXPECT_EQ(mesh->mNumFaces, unsigned(indices / 3));
    EXPECT_LE(mesh->mNumVertices, unsigned(vertices));
    ASSERT_TRUE(mesh->HasNormals() && mesh->HasVertexColors(0));
    EXPECT_TRUE(std::any_of(mesh->mColors[0], mesh->mColors[0] + mesh->mNumVertices, [](const aiColor4D& c) {
        return std::fabs(c.r * 255 - 40) < 0.5f && std::fabs(c.g * 255 - 128) < 0.5f && c.a == 1.0f;
    }));
}

// The shipped example's nine steps in one run, or six then three joined by
// --save and --load, give the same mesh, channel file and last row.
TEST(ToolProgram, SaveLoadAndContinueMatchesOneUninterruptedRun) {
    ScratchDir dir;
    nlohmann::ordered_json first = nlohmann::ordered_json::parse(ReadText(kExample)), rest;
    first["mesh"] = std::string(CRUMPLE_SOURCE_DIR) + "/examples/buoy.ply";
    auto& hits = first["hits"];
    rest["hits"] = nlohmann::ordered_json(hits.begin() + 6, hits.end());  // settings and placement come from the file
    hits.erase(hits.begin() + 6, hits.end());
    WriteText(dir / "first.json", first.dump());
    WriteText(dir / "rest.json", rest.dump());
    const std::string out = " --out " + Quoted(dir / "out");
    const ToolRun runs[] = {
        RunTool("run " + Quoted(kExample) + out + " --save " + Quoted(dir / "whole.kvch"), dir),
        RunTool("run " + Quoted(dir / "first.json") + out + " --save " + Quoted(dir / "first.kvch"), dir),
        RunTool("run " + Quoted(dir / "rest.json") + out + " --load " + Quoted(dir / "first.kvch") + " --save " +
                    Quoted(dir / "rest.kvch"), dir)};
    for (const ToolRun& run : runs) ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string whole = ReadText(dir / "out/buoy-hits.glb");
    ASSERT_FALSE(whole.empty());
    EXPECT_TRUE(whole == ReadText(dir / "out/rest.glb"));
    EXPECT_FALSE(whole == ReadText(dir / "out/first.glb"));  // the split did matter
    EXPECT_TRUE(ReadText(dir / "whole.kvch") == ReadText(dir / "rest.kvch"));
    std::vector<std::string> cells[2];  // of the last row, all but the step number
    for (int i : {0, 1}) {
        std::istringstream row(LastRow(runs[2 * i].out));
        cells[i].assign(std::istream_iterator<std::string>(row), {});
    }
    ASSERT_GT(cells[0].size(), 10u);
    EXPECT_EQ(std::vector<std::string>(cells[0].begin() + 1, cells[0].end()),
              std::vector<std::string>(cells[1].begin() + 1, cells[1].end()));
}

// The example's step digests are the stored chain that every build's digest
// chain test replays from the stored start of the example, and that start is
// what the import gives now. compare-digests names the first differing step.
TEST(ToolProgram, DigestsOfTheExampleAreTheStoredChain) {
    ScratchDir dir;
    const std::string stored = std::string(CRUMPLE_SOURCE_DIR) + "/tests/data/buoy-hits.digests";
    const ToolRun run = RunTool("run " + Quoted(kExample) + " --out " + Quoted(dir / "out") + " --digests " +
                                    Quoted(dir / "a.digests"), dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadText(dir / "a.digests"), ReadText(stored));

    nlohmann::ordered_json start = nlohmann::ordered_json::parse(ReadText(kExample));
    start.erase("settings");
    start.erase("hits");
    start["mesh"] = std::string(CRUMPLE_SOURCE_DIR) + "/examples/buoy.ply";
    WriteText(dir / "start.json", start.dump());
    ASSERT_EQ(RunTool("run " + Quoted(dir / "start.json") + " --out " + Quoted(dir / "out") + " --save " +
                          Quoted(dir / "start.kvch"), dir).exitCode, 0);
    EXPECT_TRUE(ReadText(dir / "start.kvch") == ReadText(std::string(CRUMPLE_SOURCE_DIR) + "/tests/data/buoy-start.kvch"))
        << "the stored start of the example is no longer what the import gives";

    const ToolRun same = RunTool("compare-digests " + Quoted(dir / "a.digests") + " " + Quoted(stored), dir);
    EXPECT_EQ(same.exitCode, 0);
    EXPECT_EQ(same.out.rfind("same: 10 steps", 0), 0u) << same.out;
    std::string edited = ReadText(stored);
    const size_t line = edited.find("\n3 chain=");
    edited[line + 9] = edited[line + 9] == '0' ? '1' : '0';  // the chain
    const size_t normals = edited.find("normals=", line) + 8;
    edited[normals] = edited[normals] == '0' ? '1' : '0';
    WriteText(dir / "b.digests", edited);
    const ToolRun differ = RunTool("compare-digests " + Quoted(stored) + " " + Quoted(dir / "b.digests"), dir);
    EXPECT_EQ(differ.exitCode, 1);
    EXPECT_EQ(differ.out, "first difference at step 3 (\"dent\"): normals\n");
    WriteText(dir / "c.digests", "not digests\n");
    const ToolRun bad = RunTool("compare-digests " + Quoted(stored) + " " + Quoted(dir / "c.digests"), dir);
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("not a step digest file"), std::string::npos) << bad.err;
}
