// The runner loop against the real plug-in: what each table row reports, where
// the plug-in's messages go, outputs that are all written or none, and damage
// continued from a channel file exactly where it stopped.
#include <gtest/gtest.h>

#include "errors.h"
#include "runner.h"
#include "tool_test_support.h"

using namespace crumpletool;

namespace {

const SettingList kSettings = {
    {"Apply Dents? (0/1)", 1},     {"Apply Alpha Damage? (0/1)", 1}, {"Apply Holes? (0/1)", 1},
    {"Number of passes (0-2)", 2}, {"Impact factor", 40},            {"Impact radius factor", 0.6f},
    {"Dent radius factor", 1.5f},  {"Dent factor", 0.15f},           {"Dent angle (0-1)", 0.5f},
    {"Max dent", 0.4f},            {"Vertex multiplier", 2},         {"Index multiplier", 2},
    {"Alpha damage value (0-255)", 128}, {"Min triangle size", 0.01f}, {"Hole treshold", 0.5f},
    {"Min red value (0-255)", 128},
};

Hit HitOnSphere(float x, float y, float z, float speed, const std::string& name = "") {
    const float length = std::sqrt(x * x + y * y + z * z);
    Hit hit;
    hit.name = name;
    hit.hasImpact = true;
    hit.position = D3DXVECTOR3(2.0f * x / length, 2.0f * y / length, 2.0f * z / length);
    hit.normal = D3DXVECTOR3(x / length, y / length, z / length);
    hit.mass1 = 2000.0f;
    hit.mass2 = 0.0f;
    hit.speed = speed;
    return hit;
}

Hit ResetStep() {
    Hit hit;
    hit.reset = true;
    return hit;
}

}  // namespace

TEST(ToolRunner, RowsReportEachStepFromTheChannelsOwnOutputs) {
    CrumpleChannel channel(CRUMPLE_PLUGIN_PATH);
    const MeshArrays sphere = tooltest::MakeSphere();
    const int vertices = static_cast<int>(sphere.positions.size());
    const int indices = static_cast<int>(sphere.indices.size());
    channel.SetMesh(sphere, IdentityMatrix());
    Scene scene;
    scene.settings = kSettings;
    scene.hits = {HitOnSphere(1, 0.3f, 0.2f, 14, "above"), HitOnSphere(0.2f, -0.6f, 1, 14, "below"),
                  HitOnSphere(-1, 0, 0, 0, "still"), ResetStep(), HitOnSphere(0, 0.2f, -1, 10, "dent"),
                  HitOnSphere(-1, 0.1f, 0.3f, 10, "off")};
    scene.hits[4].settings = {{"Apply Holes? (0/1)", 0}, {"Apply Alpha Damage? (0/1)", 0}};
    scene.hits[5].settings = {{"Apply Dents? (0/1)", 0}, {"Apply Holes? (0/1)", 0}, {"Apply Alpha Damage? (0/1)", 0}};

    const RunResult result = RunScene(channel, scene, nullptr);
    ASSERT_EQ(result.rows.size(), 6u);
    const HitRow& above = result.rows[0];
    EXPECT_EQ(above.name, "above");
    EXPECT_GT(above.energy, 1.0f);
    EXPECT_NEAR(above.radius, 0.6f * above.energy, 1e-5f);
    EXPECT_EQ(above.cumulativeImpact, above.energy);
    EXPECT_EQ(above.holesUnderWater, 0.0f);
    EXPECT_GT(above.verticesUsed, vertices);  // the hole's rim added vertices
    EXPECT_EQ(above.vertexCapacity, 2 * vertices);
    EXPECT_EQ(above.indexCapacity, 2 * indices);
    EXPECT_GT(above.maxMove, 0.0f);

    const HitRow& below = result.rows[1];
    EXPECT_NEAR(below.holesUnderWater, below.radius, 1e-6f);
    EXPECT_NEAR(below.cumulativeImpact, above.energy + below.energy, 1e-5f);

    // No energy: no pass, and the radius column does not repeat the last hit's.
    const HitRow& still = result.rows[2];
    EXPECT_EQ(still.energy, 0.0f);
    EXPECT_EQ(still.radius, 0.0f);
    EXPECT_EQ(still.verticesUsed, below.verticesUsed);
    EXPECT_EQ(still.maxMove, 0.0f);

    const HitRow& reset = result.rows[3];
    EXPECT_TRUE(reset.reset);
    EXPECT_FALSE(reset.impact);
    EXPECT_EQ(reset.verticesUsed, 0);
    EXPECT_EQ(reset.vertexCapacity, vertices);
    EXPECT_EQ(reset.cumulativeImpact, 0.0f);
    EXPECT_EQ(reset.holesUnderWater, 0.0f);
    EXPECT_EQ(reset.deepestDent, 0.0f);

    // The hit after a reset prepares the buffers again and starts the sums anew.
    const HitRow& dent = result.rows[4];
    EXPECT_EQ(dent.verticesUsed, vertices);
    EXPECT_EQ(dent.indicesUsed, indices);
    EXPECT_EQ(dent.cumulativeImpact, dent.energy);
    EXPECT_GT(dent.maxMove, 0.0f);
    EXPECT_FLOAT_EQ(dent.deepestDent, dent.maxMove);

    const HitRow& off = result.rows[5];
    ASSERT_EQ(off.messages.size(), 1u);
    EXPECT_EQ(off.messages[0], "Alpha & Dent & Hole = 0 -> no damage applied");
    EXPECT_EQ(off.energy, 0.0f);
    for (size_t i = 0; i < 5; ++i) EXPECT_TRUE(result.rows[i].messages.empty()) << i;

    // A hit's own settings held for that hit only.
    EXPECT_EQ(channel.Value(channel.ChildIndex("Apply Holes? (0/1)")), 1.0f);
    EXPECT_EQ(channel.Value(channel.ChildIndex("Apply Dents? (0/1)")), 1.0f);

    EXPECT_EQ(result.picture.width, kImageWidth);
    EXPECT_EQ(result.picture.height, kImageHeight);
    EXPECT_EQ(result.damaged.positions.size(), static_cast<size_t>(off.verticesUsed));
    EXPECT_EQ(result.damaged.indices.size(), static_cast<size_t>(off.indicesUsed));
}

TEST(ToolRunner, PreparationMessagesGoToTheFirstRowAndBadNamesAreRefused) {
    CrumpleChannel channel(CRUMPLE_PLUGIN_PATH);
    channel.SetMesh(tooltest::MakeSphere(8, 12), IdentityMatrix());
    Scene scene;
    scene.settings = kSettings;
    scene.settings.push_back({"Vertex multiplier", 0});
    scene.hits = {HitOnSphere(1, 0, 0, 10), HitOnSphere(0, 0, 1, 10)};
    const RunResult result = RunScene(channel, scene, nullptr);
    const std::string refused = "DamageChannel->vertexfactor or indexfactor is 0!, increasing buffers aborted";
    // Once before the first hit, once more at it: the buffers never exist.
    EXPECT_EQ(result.rows[0].messages, (std::vector<std::string>{refused, refused}));
    EXPECT_EQ(result.rows[1].messages, (std::vector<std::string>{refused}));
    EXPECT_EQ(result.rows[1].verticesUsed, 0);
    EXPECT_EQ(result.rows[1].energy, 0.0f);

    EXPECT_THROW(ApplySettings(channel, {{"Current vertexes used", 1}}), InputError);
    EXPECT_THROW(ApplySettings(channel, {{"Impact factr", 1}}), InputError);
}

TEST(ToolRunner, OutputsAreAllWrittenOrNoneIsReplaced) {
    tooltest::ScratchDir dir;
    const auto writeText = [](const std::string& text) {
        return [text](const std::string& path) { tooltest::WriteText(path, text); };
    };
    const auto fail = [](const std::string&) { throw OutputError("disk full"); };
    std::filesystem::create_directories(dir.path() / "out");
    tooltest::WriteText(dir / "out/a.png", "old");
    EXPECT_THROW(WriteAll({{dir / "out/a.png", writeText("new")}, {dir / "out/b.glb", fail}}), OutputError);
    EXPECT_EQ(tooltest::ReadText(dir / "out/a.png"), "old");
    EXPECT_FALSE(std::filesystem::exists(dir / "out/b.glb"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out/.a.png.part"));

    WriteAll({{dir / "out/a.png", writeText("new")}, {dir / "deeper/b.glb", writeText("mesh")}});
    EXPECT_EQ(tooltest::ReadText(dir / "out/a.png"), "new");
    EXPECT_EQ(tooltest::ReadText(dir / "deeper/b.glb"), "mesh");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "out"), {}), 1);
}

// Through the program: one run of five hits against two runs of two and three
// hits joined by --save and --load give the same mesh and the same channel.
TEST(ToolRunner, SaveLoadAndContinueMatchesOneUninterruptedRun) {
    tooltest::ScratchDir dir;
    tooltest::WritePly(tooltest::MakeSphere(), dir / "sphere.ply");
    std::string settings;
    for (const auto& s : kSettings) settings += (settings.empty() ? "" : ", ") + ("\"" + s.first + "\": ") + std::to_string(s.second);
    const std::string hits[] = {
        R"j({"position": [1.9, 0.6, 0.2], "normal": [1, 0.3, 0.1], "mass1": 2000, "mass2": 0, "speed": 14})j",
        R"j({"position": [0.3, -1.2, 1.5], "normal": [0.2, -0.6, 1], "mass1": 2000, "mass2": 0, "speed": 14,
            "settings": {"Number of passes (0-2)": 1}})j",
        R"j({"position": [-1.9, 0.5, 0.3], "normal": [-1, 0.25, 0.15], "mass1": 2000, "mass2": 0, "speed": 12})j",
        R"j({"position": [-0.5, 0.2, -1.9], "normal": [-0.25, 0.1, -1], "mass1": 900, "mass2": 0, "speed": 9,
            "settings": {"Apply Holes? (0/1)": 0}})j",
        R"j({"position": [1.2, -0.4, -1.5], "normal": [0.6, -0.2, -0.75], "mass1": 2000, "mass2": 0, "speed": 14})j",
    };
    auto scene = [&](const std::string& name, size_t from, size_t to) {
        std::string list;
        for (size_t i = from; i < to; ++i) list += (list.empty() ? "" : ",\n") + hits[i];
        tooltest::WriteText(dir / name, "{\"mesh\": \"sphere.ply\", \"settings\": {" + settings + "},\n\"hits\": [" +
                                            list + "]}");
    };
    scene("whole.json", 0, 5);
    scene("first.json", 0, 2);
    scene("rest.json", 2, 5);
    const std::string out = " --out '" + (dir / "out") + "'";

    const tooltest::ToolRun whole =
        tooltest::RunTool("run '" + (dir / "whole.json") + "'" + out + " --save '" + (dir / "whole.kvch") + "'", dir);
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    const tooltest::ToolRun first =
        tooltest::RunTool("run '" + (dir / "first.json") + "'" + out + " --save '" + (dir / "first.kvch") + "'", dir);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const tooltest::ToolRun rest = tooltest::RunTool("run '" + (dir / "rest.json") + "'" + out + " --load '" +
                                                         (dir / "first.kvch") + "' --save '" + (dir / "rest.kvch") + "'",
                                                     dir);
    ASSERT_EQ(rest.exitCode, 0) << rest.err;

    const std::string wholeGlb = tooltest::ReadText(dir / "out/whole.glb");
    ASSERT_FALSE(wholeGlb.empty());
    EXPECT_TRUE(wholeGlb == tooltest::ReadText(dir / "out/rest.glb"));
    EXPECT_TRUE(tooltest::ReadText(dir / "whole.kvch") == tooltest::ReadText(dir / "rest.kvch"));
    // The split did matter: the first part alone is a different mesh.
    EXPECT_FALSE(wholeGlb == tooltest::ReadText(dir / "out/first.glb"));

    // A file that is not a channel file is refused in one line, and nothing is written.
    const tooltest::ToolRun bad = tooltest::RunTool(
        "run '" + (dir / "rest.json") + "' --out '" + (dir / "bad") + "' --load '" + (dir / "sphere.ply") + "'", dir);
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err.rfind("crumple: cannot load '", 0), 0u) << bad.err;
    EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "bad"));
}
