// Scene text, every number written so that the scene parser reads back the
// same float.
#include "scene_text.h"

#include <charconv>
#include <cstdlib>

namespace crumpletool {

namespace {

Json Settings(const SettingList& settings) {
    Json object = Json::object();
    for (const auto& setting : settings) object[setting.first] = FloatJson(setting.second);
    return object;
}

Json HitJson(const Hit& hit) {
    Json json = Json::object();
    if (!hit.name.empty()) json["name"] = hit.name;
    if (hit.reset) json["reset"] = true;
    if (!hit.settings.empty()) json["settings"] = Settings(hit.settings);
    if (!hit.hasImpact) return json;
    json["position"] = TripleJson(hit.position);
    json["normal"] = TripleJson(hit.normal);
    json["mass1"] = FloatJson(hit.mass1);
    json["mass2"] = FloatJson(hit.mass2);
    json["speed"] = FloatJson(hit.speed);
    return json;
}

}  // namespace

Json FloatJson(float value) {
    // The shortest text that reads back as the float ("0.35", not the double
    // 0.3499999940395355); the parser goes through double, so the text is kept
    // only when that path gives the float back too.
    char text[32];
    const auto end = std::to_chars(text, text + sizeof(text), value).ptr;
    *end = '\0';
    if (static_cast<float>(std::strtod(text, nullptr)) == value) return Json::parse(text, text + (end - text));
    return Json(static_cast<double>(value));
}

Json TripleJson(const D3DXVECTOR3& v) { return Json::array({FloatJson(v.x), FloatJson(v.y), FloatJson(v.z)}); }

std::string SceneText(const Scene& scene, const std::string& meshName) {
    Json root = Json::object();
    if (!meshName.empty()) root["mesh"] = meshName;
    if (scene.hasPlacement) {
        Json rows = Json::array();
        for (int r = 0; r < 4; ++r)
            rows.push_back(Json::array({FloatJson(scene.placement.m[r][0]), FloatJson(scene.placement.m[r][1]),
                                        FloatJson(scene.placement.m[r][2]), FloatJson(scene.placement.m[r][3])}));
        root["placement"] = rows;
    }
    root["view"] = TripleJson(scene.view);
    root["settings"] = Settings(scene.settings);
    Json hits = Json::array();
    for (const Hit& hit : scene.hits) hits.push_back(HitJson(hit));
    root["hits"] = hits;
    // One hit per line keeps a saved session readable and diffable.
    std::string text = "{\n";
    bool first = true;
    for (auto it = root.begin(); it != root.end(); ++it) {
        text += std::string(first ? "" : ",\n") + "  " + Json(it.key()).dump() + ": ";
        first = false;
        if (it.key() != "hits" || it.value().empty()) {
            text += it.value().dump();
            continue;
        }
        text += "[\n";
        for (size_t i = 0; i < it.value().size(); ++i)
            text += "    " + it.value()[i].dump() + (i + 1 < it.value().size() ? ",\n" : "\n");
        text += "  ]";
    }
    return text + "\n}\n";
}

}  // namespace crumpletool
