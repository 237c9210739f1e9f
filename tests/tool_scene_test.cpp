// Scene files: what a valid file turns into, and one clear line for each way a
// file can be wrong.
#include <gtest/gtest.h>

#include "errors.h"
#include "scene.h"
#include "tool_test_support.h"

using namespace crumpletool;

namespace {

const SettingCatalog& Catalog() {
    static const SettingCatalog catalog = tooltest::SharedChannel().Settings();
    return catalog;
}

Scene Parse(const std::string& text) { return ParseScene(text, "scene.json", "/data/scenes", Catalog()); }

// The message of the InputError that parsing `text` raises; empty if none.
std::string ErrorOf(const std::string& text) {
    try {
        Parse(text);
    } catch (const InputError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(ToolScene, SettingNamesComeFromTheChannelsOwnDescriptions) {
    const SettingCatalog& catalog = Catalog();
    EXPECT_EQ(catalog.settable.size(), 16u);
    EXPECT_EQ(catalog.settable.at("Apply Dents? (0/1)"), 6);
    EXPECT_EQ(catalog.settable.at("Hole treshold"), 20);
    EXPECT_EQ(catalog.settable.at("Min red value (0-255)"), 21);
    EXPECT_EQ(catalog.order.front(), "Apply Dents? (0/1)");
    // Every other child is known by name, with the reason it is not a setting.
    EXPECT_EQ(catalog.settable.size() + catalog.refused.size(), 29u);
    EXPECT_NE(catalog.refused.at("Mass Body 1").find("\"mass1\""), std::string::npos);
    EXPECT_NE(catalog.refused.at("Cumulative holes under water").find("writes"), std::string::npos);
    EXPECT_NE(catalog.refused.at("Original Object Data - debug").find("mesh"), std::string::npos);
}

TEST(ToolScene, ValidSceneKeepsEveryValueInOrder) {
    const Scene scene = Parse(R"j({
        "mesh": "meshes/hull.obj",
        "placement": [[0, 0, -1, 0], [0, 1, 0, 0], [1, 0, 0, 0], [5, 0.5, -2, 1]],
        "view": [1, 0.5, 0],
        "settings": {"Impact factor": 40, "Apply Holes? (0/1)": 1, "Hole treshold": 0.25},
        "hits": [
            {"name": "first", "position": [1, 2, 3], "normal": [0, 0, -1], "mass1": 1000, "mass2": 0,
             "speed": 12.5, "settings": {"Number of passes (0-2)": 2}},
            {"reset": true},
            {"reset": true, "position": [0, -1, 0], "normal": [0, 1, 0], "mass1": 5, "mass2": 7, "speed": 1}
        ]})j");
    EXPECT_EQ(scene.meshPath, "/data/scenes/meshes/hull.obj");
    ASSERT_TRUE(scene.hasPlacement);
    EXPECT_EQ(scene.placement._13, -1.0f);
    EXPECT_EQ(scene.placement._31, 1.0f);
    EXPECT_EQ(scene.placement._41, 5.0f);
    EXPECT_EQ(scene.placement._42, 0.5f);
    EXPECT_EQ(scene.placement._43, -2.0f);
    EXPECT_EQ(scene.view.x, 1.0f);
    ASSERT_EQ(scene.settings.size(), 3u);
    EXPECT_EQ(scene.settings[0].first, "Impact factor");
    EXPECT_EQ(scene.settings[2].first, "Hole treshold");
    EXPECT_EQ(scene.settings[2].second, 0.25f);

    ASSERT_EQ(scene.hits.size(), 3u);
    const Hit& first = scene.hits[0];
    EXPECT_EQ(first.name, "first");
    EXPECT_TRUE(first.hasImpact);
    EXPECT_FALSE(first.reset);
    EXPECT_EQ(first.position.z, 3.0f);
    EXPECT_EQ(first.normal.z, -1.0f);
    EXPECT_EQ(first.mass1, 1000.0f);
    EXPECT_EQ(first.mass2, 0.0f);
    EXPECT_EQ(first.speed, 12.5f);
    ASSERT_EQ(first.settings.size(), 1u);
    EXPECT_EQ(first.settings[0].first, "Number of passes (0-2)");
    EXPECT_TRUE(scene.hits[1].reset);
    EXPECT_FALSE(scene.hits[1].hasImpact);
    EXPECT_TRUE(scene.hits[2].reset);
    EXPECT_TRUE(scene.hits[2].hasImpact);
    EXPECT_EQ(scene.hits[2].mass2, 7.0f);

    // Without a placement the object stays where its mesh puts it; an absolute
    // mesh path is taken as it is.
    const Scene plain = Parse(R"j({"mesh": "/abs/x.ply"})j");
    EXPECT_FALSE(plain.hasPlacement);
    EXPECT_EQ(plain.placement._11, 1.0f);
    EXPECT_EQ(plain.placement._41, 0.0f);
    EXPECT_EQ(plain.meshPath, "/abs/x.ply");
    EXPECT_TRUE(plain.hits.empty());
}

TEST(ToolScene, EachMistakeGivesOneLineNamingFileAndPlace) {
    const std::string hit = R"j("position": [0, 0, 1], "normal": [0, 0, 1], "mass1": 1, "mass2": 0, "speed": 1)j";
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"{", "not valid JSON: parse error at line 1"},
        {"[1, 2]", "expected a JSON object at the top, got an array"},
        {R"j({"mesh": "a.obj", "hitz": []})j", "unknown key \"hitz\""},
        {R"j({"mesh": 3})j", "mesh: expected the mesh file's path"},
        {R"j({"mesh": ""})j", "mesh: the mesh file's path is empty"},
        {R"j({"settings": {"Hole threshold": 1}})j", "unknown setting \"Hole threshold\" (did you mean \"Hole treshold\"?)"},
        {R"j({"settings": {"Wibble": 1}})j", "unknown setting \"Wibble\" (not a child of the channel)"},
        {R"j({"settings": {"apply dents": 1}})j", "(did you mean \"Apply Dents? (0/1)\"?)"},
        {R"j({"settings": {"Current vertexes used": 5}})j", "\"Current vertexes used\" cannot be set: the channel writes it"},
        {R"j({"settings": {"Mass Body 2": 5}})j", "given per hit as \"mass2\""},
        {R"j({"settings": {"Impact factor": "40"}})j", "settings.\"Impact factor\": expected a number, got a string"},
        {R"j({"settings": {"Impact factor": true}})j", "expected a number, got a boolean"},
        {R"j({"settings": {"Impact factor": 1e39}})j", "out of the range of a 32-bit float"},
        {R"j({"settings": [1]})j", "settings: expected an object"},
        {R"j({"placement": [[1, 0, 0], [0, 1, 0], [0, 0, 1]]})j", "placement: expected 4 rows of 4 numbers, got 3 rows"},
        {R"j({"placement": [[1, 0, 0, 0], [0, 1, 0], [0, 0, 1, 0], [0, 0, 0, 1]]})j", "placement[1]: expected 4 rows of 4 numbers, got a row of 3"},
        {R"j({"placement": [[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 1, 0], [0, "x", 0, 1]]})j", "placement[3][1]: expected a number"},
        {R"j({"placement": [[1, 0, 0, 0.5], [0, 1, 0, 0], [0, 0, 1, 0], [0, 0, 0, 1]]})j", "the last column must be 0, 0, 0, 1"},
        {R"j({"placement": [[1, 0, 0, 0], [2, 0, 0, 0], [0, 0, 1, 0], [0, 0, 0, 1]]})j", "not independent axes"},
        {R"j({"placement": "identity"})j", "placement: expected 4 rows of 4 numbers, got a string"},
        {R"j({"view": [0, 0, 0]})j", "view: the direction has length 0"},
        {R"j({"hits": {}})j", "hits: expected an array of hits, got an object"},
        {R"j({"hits": [5]})j", "hits[0]: expected an object, got a number"},
        {R"j({"hits": [{"position": [0, 0, 1], "normal": [0, 0, 1], "mass1": 1, "mass2": 0}]})j", "hits[0]: \"speed\" is missing"},
        {R"j({"hits": [{}]})j", "hits[0]: \"position\" is missing"},
        {R"j({"hits": [{"reset": true, "speed": 3}]})j", "hits[0]: \"position\" is missing"},
        {R"j({"hits": [{"reset": "yes"}]})j", "hits[0].reset: expected true or false, got a string"},
        {"{\"hits\": [{" + hit + ", \"sped\": 2}]}", "hits[0]: unknown key \"sped\""},
        {R"j({"hits": [{"position": [0, 0], "normal": [0, 0, 1], "mass1": 1, "mass2": 0, "speed": 1}]})j", "hits[0].position: expected an array of 3 numbers, got an array of 2"},
        {R"j({"hits": [{"position": [0, 0, 1], "normal": [0, 0, 0], "mass1": 1, "mass2": 0, "speed": 1}]})j", "hits[0].normal: the normal has length 0"},
        {R"j({"hits": [{"position": [0, 0, 1], "normal": [0, 0, 1], "mass1": -1, "mass2": 0, "speed": 1}]})j", "hits[0].mass1: a mass cannot be negative"},
        {"{\"hits\": [{" + hit + "}, {" + hit + ", \"settings\": {\"Dent factr\": 1}}]}", "hits[1].settings: unknown setting \"Dent factr\" (did you mean \"Dent factor\"?)"},
        {"{\"hits\": [{" + hit + ", \"name\": 7}]}", "hits[0].name: expected a string"},
    };
    for (const auto& c : cases) {
        const std::string message = ErrorOf(c.text);
        EXPECT_NE(message.find(c.expected), std::string::npos) << "scene: " << c.text << "\nmessage: " << message;
        EXPECT_EQ(message.rfind("scene.json: ", 0), 0u) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
}

TEST(ToolScene, SceneFilesAreReadFromDiskWithTheirFolderAsBase) {
    tooltest::ScratchDir dir;
    tooltest::WriteText(dir / "a.json", R"j({"mesh": "m.obj", "settings": {"Max dent": 0.5}})j");
    const Scene scene = LoadSceneFile(dir / "a.json", Catalog());
    EXPECT_EQ(scene.meshPath, dir / "m.obj");
    EXPECT_EQ(scene.settings.at(0).second, 0.5f);

    EXPECT_THROW(LoadSceneFile(dir / "missing.json", Catalog()), InputError);
    try {
        LoadSceneFile(dir.path().string(), Catalog());
        FAIL() << "a folder was read as a scene";
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("is a folder"), std::string::npos);
    }
}

TEST(ToolScene, ShippedExampleStaysValid) {
    const std::string path = std::string(CRUMPLE_SOURCE_DIR) + "/examples/buoy-hits.json";
    const Scene scene = LoadSceneFile(path, Catalog());
    EXPECT_TRUE(std::filesystem::exists(scene.meshPath)) << scene.meshPath;
    EXPECT_TRUE(scene.hasPlacement);
    EXPECT_EQ(scene.settings.size(), Catalog().settable.size());
    EXPECT_GE(scene.hits.size(), 8u);
}
