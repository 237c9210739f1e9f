// Aimed hits: the ray meets the mesh as the channel holds it at that step, and
// the resolved inputs replay as plain hits to the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "aim.h"
#include "errors.h"
#include "step_digest.h"
#include "steps.h"

using namespace crumpletool;

namespace {

const std::string kSource = CRUMPLE_SOURCE_DIR;

double Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
}
D3DXVECTOR3 Minus(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

// The example's buoy, from the stored channel file, placed as the scene says.
Scene LoadBuoy(CrumpleChannel& channel, const std::string& scenePath) {
    const Scene scene = LoadSceneFile(scenePath, channel.Settings());
    channel.Load(kSource + "/tests/data/buoy-start.kvch");
    channel.SetPlacement(scene.placement);
    return scene;
}

std::vector<uint64_t> Chain(CrumpleChannel& channel, const Scene& scene, std::vector<HitRow>* rows) {
    std::vector<uint64_t> chain;
    const StepObserver observer = [&](int step, const std::string& name) {
        chain.push_back(DigestStep(channel.Channel(), step, name, chain.empty() ? 0 : chain.back()).chain);
    };
    *rows = RunSteps(channel, scene, StartScene(channel, scene, observer), nullptr, observer);
    return chain;
}

}  // namespace

TEST(SceneAim, NearestUsedTriangleInPlacedSpace) {
    // Two unit squares facing +z, at z = 0 and z = 1, the object moved up by 10
    // in z; vertex 8 lies off both and is named by a fifth triangle at z = 5.
    MeshArrays mesh;
    for (float z : {0.0f, 1.0f})
        for (auto xy : {std::pair<float, float>{0, 0}, {1, 0}, {0, 1}, {1, 1}})
            mesh.positions.push_back({xy.first, xy.second, z});
    mesh.positions.push_back({0.5f, 0.5f, 5.0f});
    mesh.normals.assign(mesh.positions.size(), {0, 0, 1});
    mesh.texCoords0.assign(mesh.positions.size(), {0, 0});
    mesh.indices = {0, 1, 2, 1, 3, 2, 4, 5, 6, 5, 7, 6, 8, 4, 5};
    auto object = Vexa_ObjectData::FromArrays(mesh);
    D3DXMATRIX placement;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) placement.m[r][c] = r == c ? 1.0f : 0.0f;
    placement._43 = 10.0f;
    object->SetWorldMatrix(placement);

    AimHit hit;
    const D3DXVECTOR3 from{0.5f, 0.25f, 20.0f}, down{0.5f, 0.25f, 0.0f};
    // Vertex 8 is past the used ones: the slanted triangle is passed over.
    ASSERT_TRUE(CastAim(*object, 8, 15, from, down, &hit));
    EXPECT_TRUE(hit.position.x == 0.5f && hit.position.y == 0.25f && hit.position.z == 11.0f);
    EXPECT_TRUE(hit.normal.x == 0.0f && hit.normal.y == 0.0f && hit.normal.z == 1.0f);
    // With vertex 8 in use, its triangle is nearer.
    ASSERT_TRUE(CastAim(*object, 9, 15, from, down, &hit));
    EXPECT_GT(hit.position.z, 11.0f);
    // Only the lower square in use; from below, the normal turns to face the origin.
    ASSERT_TRUE(CastAim(*object, 9, 6, {0.5f, 0.25f, -3.0f}, down, &hit));
    EXPECT_TRUE(hit.position.z == 10.0f && hit.normal.z == -1.0f);
    // Behind the origin, beside the mesh, no direction, a partial triangle only.
    EXPECT_FALSE(CastAim(*object, 9, 15, {0.5f, 0.25f, 0.0f}, {0.5f, 0.25f, -1.0f}, &hit));
    EXPECT_FALSE(CastAim(*object, 9, 15, {3, 3, 20}, {3, 3, 0}, &hit));
    EXPECT_FALSE(CastAim(*object, 9, 15, from, from, &hit));
    EXPECT_FALSE(CastAim(*object, 9, 2, from, down, &hit));
}

TEST(SceneAim, AimsMeetTheDamagedMeshAndReplayAsPlainHits) {
    CrumpleChannel channel(CRUMPLE_PLUGIN_PATH);
    const Scene scene = LoadBuoy(channel, kSource + "/examples/buoy-aimed.json");
    ASSERT_EQ(scene.hits.size(), 4u);
    std::vector<HitRow> rows;
    const std::vector<uint64_t> aimed = Chain(channel, scene, &rows);

    const D3DXVECTOR3 centre{4.0f, 0.5f, -2.0f};
    for (size_t i = 0; i < rows.size(); ++i) {
        const Hit& hit = scene.hits[i];
        const D3DXVECTOR3 ray = Minus(hit.aimTowards, hit.aimFrom), offset = Minus(rows[i].position, hit.aimFrom);
        // On the ray, in front of its origin, the normal a unit facing it.
        EXPECT_NEAR(Dot(offset, offset) * Dot(ray, ray), Dot(offset, ray) * Dot(offset, ray),
                    1e-6 * Dot(ray, ray) * Dot(offset, offset))
            << i;
        EXPECT_GT(Dot(offset, ray), 0.0) << i;
        EXPECT_NEAR(Dot(rows[i].normal, rows[i].normal), 1.0, 1e-6) << i;
        EXPECT_LT(Dot(rows[i].normal, ray), 0.0) << i;
    }
    // The second aim meets the dent the first made, deeper along the ray; the
    // last passes through the hole the third opened onto the far side.
    EXPECT_GT(Dot(Minus(rows[1].position, rows[0].position), Minus(centre, rows[0].position)), 0.0);
    EXPECT_GT(Dot(Minus(rows[2].position, centre), Minus(scene.hits[2].aimFrom, centre)), 0.0);
    EXPECT_LT(Dot(Minus(rows[3].position, centre), Minus(scene.hits[3].aimFrom, centre)), 0.0);
    EXPECT_GT(rows[2].verticesUsed, rows[1].verticesUsed);

    // The resolved inputs, given as plain hits, give the same bytes step by step.
    Scene plain = scene;
    for (size_t i = 0; i < plain.hits.size(); ++i) {
        plain.hits[i].aimed = false;
        plain.hits[i].position = rows[i].position;
        plain.hits[i].normal = rows[i].normal;
    }
    CrumpleChannel replay(CRUMPLE_PLUGIN_PATH);
    LoadBuoy(replay, kSource + "/examples/buoy-aimed.json");
    std::vector<HitRow> replayed;
    EXPECT_EQ(Chain(replay, plain, &replayed), aimed);
}

TEST(SceneAim, RefusedAimsNameTheirPlace) {
    CrumpleChannel channel(CRUMPLE_PLUGIN_PATH);
    const SettingCatalog catalog = channel.Settings();
    const auto parse = [&](const std::string& hit) {
        return ParseScene("{\"hits\": [" + hit + "]}", "s.json", "", catalog);
    };
    const Scene ok = parse(R"({"aim": {"from": [1, 2, 3], "towards": [0, 0, 0]}, "mass1": 1, "mass2": 0, "speed": 2})");
    ASSERT_TRUE(ok.hits[0].aimed && ok.hits[0].hasImpact);
    EXPECT_TRUE(ok.hits[0].aimFrom.z == 3.0f && ok.hits[0].aimTowards.x == 0.0f);
    const struct {
        const char* hit;
        const char* message;
    } refused[] = {
        {R"({"aim": {"from": [1, 2, 3], "towards": [0, 0, 0]}, "position": [0, 0, 0], "mass1": 1, "mass2": 0, "speed": 2})",
         "s.json: hits[0]: \"aim\" takes the place of \"position\" and \"normal\"; give one or the other"},
        {R"({"aim": {"from": [1, 2, 3]}, "mass1": 1, "mass2": 0, "speed": 2})",
         "s.json: hits[0].aim: \"towards\" is missing"},
        {R"({"aim": {"from": [1, 2, 3], "towards": [1, 2, 3]}, "mass1": 1, "mass2": 0, "speed": 2})",
         "s.json: hits[0].aim: \"from\" and \"towards\" are the same point, so the aim has no direction"},
        {R"({"aim": {"from": [1, 2, 3], "to": [0, 0, 0]}, "mass1": 1, "mass2": 0, "speed": 2})",
         "s.json: hits[0].aim: unknown key \"to\" (known keys: \"from\", \"towards\")"},
        {R"({"aim": [1, 2, 3], "mass1": 1, "mass2": 0, "speed": 2})",
         "s.json: hits[0].aim: expected an object with \"from\" and \"towards\", got an array"},
        {R"({"aim": {"from": [1, 2, 3], "towards": [0, 0, 0]}, "mass2": 0, "speed": 2})",
         "s.json: hits[0]: \"mass1\" is missing"},
    };
    for (const auto& c : refused) {
        try {
            parse(c.hit);
            ADD_FAILURE() << "accepted " << c.hit;
        } catch (const InputError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }

    // A ray that misses stops the run at its step.
    Scene scene = LoadBuoy(channel, kSource + "/examples/buoy-aimed.json");
    scene.hits[1].aimTowards = {scene.hits[1].aimFrom.x, scene.hits[1].aimFrom.y + 1.0f, scene.hits[1].aimFrom.z};
    std::vector<HitRow> rows;
    try {
        Chain(channel, scene, &rows);
        ADD_FAILURE() << "a missing aim was run";
    } catch (const InputError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("step 2 (\"the same aim meets the dent\"): the aim from [9.64389992, "
                                              "1.38230002, -0.164900005] towards ",
                                              0),
                  0u)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("meets no triangle of the mesh"), std::string::npos);
    }
}
