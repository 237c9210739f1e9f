// Scene files: a mesh, its placement, the channel's settings by child name and
// a list of hits. Parsing checks every key, type and name and reports the first
// problem as one line naming the file and the place in it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/d3d9_stand_in.h"
#include "plugin_host.h"

namespace crumpletool {

// Setting changes by child name, in the order given.
typedef std::vector<std::pair<std::string, float>> SettingList;

// One step of a scene: an optional reset, setting changes, and a hit. A step
// that only resets has hasImpact false.
struct Hit {
    std::string name;
    bool reset = false;
    SettingList settings;
    bool hasImpact = false;
    // An aimed hit gives a ray instead of position and normal; the runner
    // casts it onto the mesh as it stands at that step.
    bool aimed = false;
    D3DXVECTOR3 aimFrom{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 aimTowards{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 normal{0.0f, 0.0f, 0.0f};
    float mass1 = 0.0f;
    float mass2 = 0.0f;
    float speed = 0.0f;
};

D3DXMATRIX IdentityMatrix();

struct Scene {
    std::string meshPath;  // resolved against the scene file's folder; empty when not given
    D3DXMATRIX placement = IdentityMatrix();
    bool hasPlacement = false;
    SettingList settings;
    std::vector<Hit> hits;
    // Direction from the object towards the eye for the pictures.
    D3DXVECTOR3 view{0.35f, 0.30f, 1.0f};
};

// Parses scene text. `source` names it in messages; relative mesh paths are
// taken from `baseDir`. Throws InputError.
Scene ParseScene(const std::string& text, const std::string& source, const std::string& baseDir,
                 const SettingCatalog& catalog);
// Reads and parses a scene file. Throws InputError.
Scene LoadSceneFile(const std::string& path, const SettingCatalog& catalog);

// The closest settable name to `name`, or empty when none is close; for
// messages about misspelt settings.
std::string SuggestSetting(const std::string& name, const SettingCatalog& catalog);

}  // namespace crumpletool
