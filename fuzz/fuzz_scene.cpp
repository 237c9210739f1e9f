// The tool's scene file parser: text is either refused with InputError or
// becomes a scene every later step can use without checking it again.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "errors.h"
#include "mesh/vector_math.h"
#include "scene.h"

namespace {

using namespace crumpletool;

[[noreturn]] void Finding(const std::string& what) {
    std::fprintf(stderr, "fuzz_scene: %s\n", what.c_str());
    std::abort();
}

// The names the loaded plug-in's channel gives its children. The channel
// stays open for the process: its library must not be unloaded while the
// fuzzer holds its coverage counters.
const SettingCatalog& Catalog() {
    static const std::unique_ptr<CrumpleChannel> channel = std::make_unique<CrumpleChannel>(CRUMPLE_PLUGIN_PATH);
    static const SettingCatalog catalog = channel->Settings();
    return catalog;
}

bool Zero(const D3DXVECTOR3& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

void CheckSettings(const SettingList& settings, const SettingCatalog& catalog, const std::string& where) {
    for (const auto& [name, value] : settings) {
        if (catalog.settable.count(name) == 0) Finding(where + " sets \"" + name + "\", which is not settable");
        if (!std::isfinite(value)) Finding(where + " sets \"" + name + "\" to a non-finite value");
    }
}

// What the runner relies on without checking: settable names, finite
// numbers, a placement it can undo, hits with a direction (a normal or an
// aim), no negative mass or speed.
void CheckScene(const Scene& scene, const SettingCatalog& catalog) {
    CheckSettings(scene.settings, catalog, "the scene");
    const D3DXMATRIX& m = scene.placement;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!std::isfinite(m.m[r][c])) Finding("a non-finite placement entry");
    if (m._14 != 0.0f || m._24 != 0.0f || m._34 != 0.0f || m._44 != 1.0f)
        Finding("placement's last column is not 0, 0, 0, 1");
    if (!crumple::IsFinite(scene.view) || Zero(scene.view)) Finding("an unusable view direction");
    for (size_t i = 0; i < scene.hits.size(); ++i) {
        const Hit& hit = scene.hits[i];
        const std::string where = "hit " + std::to_string(i);
        CheckSettings(hit.settings, catalog, where);
        if (!hit.hasImpact) {
            if (!hit.reset) Finding(where + " neither resets nor hits");
            continue;
        }
        if (hit.aimed) {
            if (!crumple::IsFinite(hit.aimFrom) || !crumple::IsFinite(hit.aimTowards) ||
                (hit.aimFrom.x == hit.aimTowards.x && hit.aimFrom.y == hit.aimTowards.y &&
                 hit.aimFrom.z == hit.aimTowards.z))
                Finding(where + ": an aim without a direction or not finite");
        } else if (!crumple::IsFinite(hit.position) || !crumple::IsFinite(hit.normal) || Zero(hit.normal)) {
            Finding(where + ": unusable position or normal");
        }
        for (float x : {hit.mass1, hit.mass2, hit.speed})
            if (!std::isfinite(x) || x < 0.0f) Finding(where + ": a mass or speed that is negative or not finite");
    }
}

}  // namespace

// Reads: the input as scene text. Aborts when the parser lets anything but
// InputError out, or accepts a scene that breaks what the runner relies on.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const SettingCatalog& catalog = Catalog();
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        CheckScene(ParseScene(text, "fuzz.json", "/scenes", catalog), catalog);
    } catch (const InputError&) {
    } catch (const std::exception& e) {
        Finding(std::string("the parser let an exception through: ") + e.what());
    }
    return 0;
}
