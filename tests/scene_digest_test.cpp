// Step digests: the example scene gives the stored chain on every build, and
// digest files say where two runs first differ.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "errors.h"
#include "plugin/children.h"
#include "step_digest.h"
#include "steps.h"
#include "test_scene.h"

using namespace crumpletool;

namespace {

const std::string kSource = CRUMPLE_SOURCE_DIR;

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<StepDigest> DigestRun(CrumpleChannel& channel, const Scene& scene) {
    std::vector<StepDigest> digests;
    const StepObserver observer = [&](int step, const std::string& name) {
        digests.push_back(DigestStep(channel.Channel(), step, name, digests.empty() ? 0 : digests.back().chain));
    };
    RunSteps(channel, scene, StartScene(channel, scene, observer), nullptr, observer);
    return digests;
}

}  // namespace

// The example's mesh as the tool imports it is stored as a channel file, so
// builds without the mesh importer run the same steps from the same bytes.
TEST(StepDigests, ExampleSceneGivesTheStoredChain) {
    CrumpleChannel channel(CRUMPLE_PLUGIN_PATH);
    const Scene scene = LoadSceneFile(kSource + "/examples/buoy-hits.json", channel.Settings());
    channel.Load(kSource + "/tests/data/buoy-start.kvch");
    channel.SetPlacement(scene.placement);
    const std::vector<StepDigest> stored =
        ParseDigests(ReadText(kSource + "/tests/data/buoy-hits.digests"), "buoy-hits.digests");
    ASSERT_EQ(stored.size(), scene.hits.size() + 1);
    const std::vector<StepDigest> run = DigestRun(channel, scene);
    EXPECT_EQ(FirstDifference(stored, run, "the stored chain", "this build"), "");
    std::string lines;
    for (const StepDigest& digest : run) lines += FormatDigestLine(digest) + "\n";
    EXPECT_EQ(kDigestFileHeader + std::string("\n") + lines, ReadText(kSource + "/tests/data/buoy-hits.digests"));
}

// Each part of a step's digest follows its own bytes, and the chain follows
// every part and the step before.
TEST(StepDigests, EachPartFollowsItsOwnBytes) {
    CrumpleScene s;
    s.SetMesh(MakeGridMesh(4, 4, 1.0f));
    s.SetDefaultSettings();
    s.Update();
    const StepDigest base = DigestStep(*s.channel(), 1, "x", 0);
    EXPECT_NE(DigestStep(*s.channel(), 1, "x", 1).chain, base.chain);
    EXPECT_EQ(DigestStep(*s.channel(), 1, "x", 0).chain, base.chain);

    Vexa_ObjectData& o = *s.Object();
    const auto changes = [&](int part, auto edit) {
        edit();
        const StepDigest changed = DigestStep(*s.channel(), 1, "x", 0);
        for (int p = 0; p < kDigestParts; ++p)
            EXPECT_EQ(changed.parts[p] != base.parts[p], p == part) << "edit of " << PartKey(part) << ", part " << PartKey(p);
        EXPECT_NE(changed.chain, base.chain);
    };
    const D3DXVECTOR3 position = o.pPositions[3];
    changes(kPositionsPart, [&] { o.pPositions[3].y = 1e-30f; });
    o.pPositions[3] = position;
    changes(kNormalsPart, [&] { o.pNormals[30].x = -0.0f; });
    o.pNormals[30].x = 0.0f;
    changes(kTexCoordsPart, [&] { o.pTexCoords1[7].x += 1.0f; });
    o.pTexCoords1[7].x -= 1.0f;
    changes(kColoursPart, [&] { o.pColors[0] ^= 1u; });
    o.pColors[0] ^= 1u;
    changes(kIndicesPart, [&] { o.pIndices32[o.GetIndexCount() - 1] = 2; });
    o.pIndices32[o.GetIndexCount() - 1] = 1;
    // Making the working buffers leaves no render buffers behind.
    changes(kRenderPart, [&] { o.CreateBuffers(); });
    o.ReleaseBuffers();
    changes(kChildrenPart, [&] { s.SetVector(crumple::kNewCollisionPosition, {0.0f, 0.0f, 1.0f}); });
}

TEST(StepDigests, FilesRoundTripAndNameTheFirstDifference) {
    CrumpleScene s;
    s.SetMesh(MakeGridMesh(3, 3, 1.0f));
    std::vector<StepDigest> a;
    for (int step = 0; step < 4; ++step) {
        s.SetValue(crumple::kCumulativeImpact, static_cast<float>(step));
        a.push_back(DigestStep(*s.channel(), step, "step with spaces " + std::to_string(step), a.empty() ? 0 : a.back().chain));
    }
    std::string text = std::string(kDigestFileHeader) + "\n";
    for (const StepDigest& d : a) text += FormatDigestLine(d) + "\r\n";
    const std::vector<StepDigest> back = ParseDigests(text, "a");
    ASSERT_EQ(back.size(), a.size());
    EXPECT_EQ(FirstDifference(a, back, "a", "b"), "");
    EXPECT_EQ(back[2].name, "step with spaces 2");

    std::vector<StepDigest> b = a;
    b[2].parts[kIndicesPart] ^= 1;
    b[2].parts[kRenderPart] ^= 1;
    b[2].chain ^= 1;
    EXPECT_EQ(FirstDifference(a, b, "a", "b"), "first difference at step 2 (\"step with spaces 2\"): indices, render buffers");
    b = a;
    b[1].hasParts = false;
    b[1].chain ^= 1;
    EXPECT_EQ(FirstDifference(a, ParseDigests(FormatDigestLine(b[0]) + "\n" + FormatDigestLine(b[1]), "b"), "a", "b"),
              "first difference at step 1 (\"step with spaces 1\") (no per-part digests to say what)");
    b = a;
    b.pop_back();
    EXPECT_EQ(FirstDifference(a, b, "a", "b"), "b ends after step 2, a goes on to step 3");
    b = a;
    b[0].name = "other";
    EXPECT_NE(FirstDifference(a, b, "a", "b").find("not the same scene"), std::string::npos);

    const char* const broken[] = {
        "0 chain=0123456789ABCDEF",                                  // no name
        "x chain=0123456789ABCDEF name=a",                           // no step number
        "0 chain=0123456789ABCDEG name=a",                           // not hex
        "0 name=a",                                                  // no chain
        "0 chain=0123456789ABCDEF colour=0123456789ABCDEF name=a",   // unknown key
        "0 chain=0123456789ABCDEF positions=0123456789ABCDEF name=a",  // parts missing
        "0 chain=0123456789ABCDEF name=a\n2 chain=0123456789ABCDEF name=b",  // a step left out
    };
    for (const char* line : broken) EXPECT_THROW(ParseDigests(line, "f"), InputError) << line;
}
