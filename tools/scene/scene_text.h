// Scene files written out: the text that ParseScene reads back into the same
// scene, every number the same 32-bit float.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "scene.h"

namespace crumpletool {

using Json = nlohmann::ordered_json;

// `value` as a JSON number that reads back as exactly `value`, written short.
Json FloatJson(float value);
// A vector as three such numbers.
Json TripleJson(const D3DXVECTOR3& v);

// `scene` as scene-file text, naming the mesh as `meshName` (the scene's own
// path is resolved and may not suit where the text will be read). Aimed hits
// must be resolved first: the text keeps position and normal only.
std::string SceneText(const Scene& scene, const std::string& meshName);

}  // namespace crumpletool
