// The program end to end: `crumple demo` and its three outputs, and bad input
// on the command line answered with one line and no files.
#include <gtest/gtest.h>

#include <regex>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include "demo_scene.h"
#include "image.h"
#include "render.h"
#include "runner.h"
#include "tool_test_support.h"

using namespace crumpletool;

namespace {

struct TableRow {
    std::string name;
    int verticesUsed = 0, indicesUsed = 0;
    float holesUnderWater = 0.0f, deepestDent = 0.0f;
    std::string message;
};

// Columns are two or more spaces apart; a name has single spaces at most.
std::vector<TableRow> ParseTable(const std::string& out) {
    std::vector<TableRow> rows;
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);  // header
    const std::regex gap(" {2,}");
    while (std::getline(lines, line)) {
        if (line.rfind("wrote ", 0) == 0) break;
        std::vector<std::string> cells(std::sregex_token_iterator(line.begin(), line.end(), gap, -1), {});
        if (!cells.empty() && cells[0].empty()) cells.erase(cells.begin());
        if (cells.size() < 10) continue;
        TableRow row;
        row.name = cells[1];
        row.verticesUsed = std::stoi(cells[4]);
        row.indicesUsed = std::stoi(cells[5]);
        row.holesUnderWater = std::stof(cells[7]);
        row.deepestDent = std::stof(cells[9]);
        if (cells.size() > 10) row.message = cells[10];
        rows.push_back(row);
    }
    return rows;
}

bool IsBackground(const uint8_t* p) { return p[0] == kBackground[0] && p[1] == kBackground[1] && p[2] == kBackground[2]; }

}  // namespace

TEST(ToolDemo, WritesPictureMeshAndTableThatShowEveryKindOfDamage) {
    tooltest::ScratchDir dir;
    const tooltest::ToolRun run = tooltest::RunTool("demo --out '" + (dir / "out") + "'", dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const DemoScene demo = MakeDemoScene();

    // The table: one row per step, the reset and the plug-in's message shown.
    const std::vector<TableRow> rows = ParseTable(run.out);
    ASSERT_EQ(rows.size(), demo.scene.hits.size()) << run.out;
    std::map<std::string, size_t> at;
    for (size_t i = 0; i < rows.size(); ++i) at[rows[i].name] = i;
    ASSERT_EQ(at.count("reset"), 1u);
    EXPECT_EQ(rows[at["reset"]].message, "ClearDamage");
    EXPECT_EQ(rows[at["reset"]].verticesUsed, 0);
    EXPECT_EQ(rows.back().message, "Alpha & Dent & Hole = 0 -> no damage applied");
    // "Cumulative holes under water" grows at the hit below the waterline only.
    const size_t under = at.at("hole under water");
    for (size_t i = at["reset"]; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].holesUnderWater > 0.0f, i >= under) << rows[i].name;
    // A hit between vertices inserts one vertex and splits one triangle into three.
    const size_t between = at.at("between vertices");
    EXPECT_EQ(rows[between].verticesUsed, rows[between - 1].verticesUsed + 1);
    EXPECT_EQ(rows[between].indicesUsed, rows[between - 1].indicesUsed + 6);
    // Holes add vertices; the reinforced bow takes none.
    EXPECT_GT(rows[at.at("hole, two passes")].verticesUsed, rows[at.at("hole, one pass")].verticesUsed);
    const size_t bow = at.at("reinforced bow: no hole");
    EXPECT_EQ(rows[bow].verticesUsed, rows[bow - 1].verticesUsed);
    // Repeated dents deepen until the allowance ("Max dent" 0.5) stops them.
    const float first = rows[at.at("dent 1/5, same spot")].deepestDent;
    const float fourth = rows[at.at("dent 4/5, same spot")].deepestDent;
    const float fifth = rows[at.at("dent 5/5, same spot")].deepestDent;
    EXPECT_GT(fourth, 2.5f * first);
    EXPECT_LT(fifth - fourth, 0.1f * first);
    EXPECT_LT(fifth, 0.52f);

    // The picture: before on the left, after on the right, the same camera.
    const Image picture = ReadPng(dir / "out/demo.png");
    ASSERT_EQ(picture.width, 1600);
    ASSERT_EQ(picture.height, 600);
    D3DXVECTOR3 lo, hi;
    ASSERT_TRUE(WorldBounds(demo.mesh.positions.data(), demo.mesh.positions.size(), IdentityMatrix(), &lo, &hi));
    const Camera camera = FitCamera(lo, hi, demo.scene.view, float(kPanelWidth) / kImageHeight);
    auto pixels = [&](const std::string& name) {
        float x = 0.0f, y = 0.0f;
        EXPECT_TRUE(ProjectToPixel(camera, kPanelWidth, kImageHeight, demo.scene.hits[at.at(name)].position, &x, &y));
        const int px = static_cast<int>(x), py = static_cast<int>(y);
        return std::make_pair(picture.At(px, py), picture.At(px + kPanelWidth + kPanelGap, py));
    };
    // A ray through each hole's centre meets nothing: back faces inside are culled.
    for (const char* hole : {"hole, one pass", "hole, two passes", "hole under water"}) {
        const auto p = pixels(hole);
        EXPECT_FALSE(IsBackground(p.first)) << hole;
        EXPECT_TRUE(IsBackground(p.second)) << hole;
    }
    // A dent shows orange (its dent record), alpha marks violet (lowered alpha).
    const auto dent = pixels("dent 1/5, same spot");
    EXPECT_GT(dent.second[0], dent.second[1] + 60);
    EXPECT_GT(dent.second[1], dent.second[2]);
    EXPECT_LT(std::abs(int(dent.first[0]) - int(dent.first[2])), 40);  // grey before
    const auto alpha = pixels("alpha marks only");
    EXPECT_GT(alpha.second[2], alpha.second[1] + 60);
    EXPECT_GT(alpha.second[0], alpha.second[1]);

    // The mesh: the used vertices and triangles, read back.
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(dir / "out/demo.glb", 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    ASSERT_EQ(scene->mNumMeshes, 1u);
    EXPECT_EQ(scene->mMeshes[0]->mNumFaces, static_cast<unsigned>(rows.back().indicesUsed / 3));
    // The exporter keeps only vertices that triangles use, and joins identical ones.
    EXPECT_LE(scene->mMeshes[0]->mNumVertices, static_cast<unsigned>(rows.back().verticesUsed));
    EXPECT_GT(scene->mMeshes[0]->mNumVertices, static_cast<unsigned>(demo.mesh.positions.size() * 9 / 10));
    EXPECT_TRUE(scene->mMeshes[0]->HasNormals());
    EXPECT_TRUE(scene->mMeshes[0]->HasTextureCoords(0));
    EXPECT_TRUE(scene->mMeshes[0]->HasVertexColors(0));
}

TEST(ToolDemo, BadInputGivesOneLineAndNoFiles) {
    tooltest::ScratchDir dir;
    tooltest::WriteText(dir / "no-mesh.json", R"({"mesh": "absent.obj", "hits": []})");
    tooltest::WriteText(dir / "lines.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2\n");
    tooltest::WriteText(dir / "lines.json", R"({"mesh": "lines.obj"})");
    tooltest::WriteText(dir / "typo.json", R"({"mesh": "lines.obj", "settings": {"Dent angle": 0.5}})");
    const std::string out = " --out '" + (dir / "out") + "'";
    const struct {
        std::string arguments;
        std::string expected;
    } cases[] = {
        {"run '" + (dir / "no-mesh.json") + "'" + out, "absent.obj': no such file"},
        {"run '" + (dir / "lines.json") + "'" + out, "lines.obj': holds no triangles"},
        {"run '" + (dir / "typo.json") + "'" + out, "did you mean \"Dent angle (0-1)\"?"},
        {"run '" + (dir / "nowhere.json") + "'" + out, "no such scene file"},
        {"demo --plugin '" + (dir / "libNone.so") + "'" + out, "cannot open plug-in library"},
        {"demo --frobnicate" + out, "--frobnicate"},
        {"run" + out, "scene is required"},
    };
    for (const auto& c : cases) {
        const tooltest::ToolRun run = tooltest::RunTool(c.arguments, dir);
        EXPECT_NE(run.exitCode, 0) << c.arguments;
        EXPECT_EQ(run.err.rfind("crumple: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_FALSE(std::filesystem::exists(dir / "out")) << c.arguments;
    }
}
