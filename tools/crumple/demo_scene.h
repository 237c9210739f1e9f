// The built-in demo: a generated closed hull and a scripted series of hits
// that shows every kind of damage the channel does.
#pragma once

#include "host/object_data.h"
#include "scene.h"

namespace crumpletool {

struct DemoScene {
    MeshArrays mesh;
    Scene scene;
    // Index into scene.hits of a hit that punches a hole facing the camera.
    size_t holeHit = 0;
};

// A closed ship-like hull along x, deck up (+y), its origin on the waterline:
// 220 rings of 150 vertices plus a point at each end (33002 vertices), 16-bit
// indices, smooth normals, set-0 texture coordinates. The red byte of each
// colour marks plating (40) and reinforced bow and deck (200); green 128, blue
// (the dent record) 0, alpha 255.
MeshArrays MakeDemoHull();

// The demo's settings: dents on, alpha marks and holes off, one pass.
SettingList DemoSettings();

DemoScene MakeDemoScene();

}  // namespace crumpletool
