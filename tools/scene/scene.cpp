// Scene files, read with nlohmann/json in key order so that the first problem
// reported is the first one in the file.
#include "scene.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "errors.h"

namespace crumpletool {

namespace {

using Json = nlohmann::ordered_json;

const char* const kHitKeys[] = {"position", "normal", "aim", "mass1", "mass2", "speed"};

class Parser {
public:
    Parser(const std::string& source, const SettingCatalog& catalog) : source_(source), catalog_(catalog) {}

    [[noreturn]] void Fail(const std::string& where, const std::string& what) const {
        throw InputError(source_ + ": " + (where.empty() ? "" : where + ": ") + what);
    }

    static std::string Got(const Json& value) {
        const std::string type = value.type_name();
        if (type == "array" || type == "object") return "an " + type;
        return "a " + type;
    }

    void CheckKeys(const Json& object, const std::string& where, std::initializer_list<const char*> allowed) const {
        for (auto it = object.begin(); it != object.end(); ++it) {
            const bool known = std::any_of(allowed.begin(), allowed.end(),
                                           [&](const char* key) { return it.key() == key; });
            if (!known) {
                std::string list;
                for (const char* key : allowed) list += std::string(list.empty() ? "" : ", ") + "\"" + key + "\"";
                Fail(where, "unknown key \"" + it.key() + "\" (known keys: " + list + ")");
            }
        }
    }

    void RequireKeys(const Json& object, const std::string& where, std::initializer_list<const char*> keys) const {
        for (const char* key : keys)
            if (!object.contains(key)) Fail(where, std::string("\"") + key + "\" is missing");
    }

    float Number(const Json& value, const std::string& where) const {
        if (!value.is_number()) Fail(where, "expected a number, got " + Got(value));
        const double number = value.get<double>();
        if (!std::isfinite(number) || std::fabs(number) > FLT_MAX)
            Fail(where, "the number is out of the range of a 32-bit float");
        return static_cast<float>(number);
    }

    D3DXVECTOR3 Vector(const Json& value, const std::string& where) const {
        if (!value.is_array() || value.size() != 3)
            Fail(where, "expected an array of 3 numbers, got " +
                            (value.is_array() ? "an array of " + std::to_string(value.size()) : Got(value)));
        return D3DXVECTOR3(Number(value[0], where + "[0]"), Number(value[1], where + "[1]"),
                           Number(value[2], where + "[2]"));
    }

    // Four rows of four numbers, row vectors: rows 1-3 the axes, row 4 the
    // translation. The fourth column must be (0, 0, 0, 1) and the axes must span
    // space, or the placement cannot be undone for the collision inputs.
    D3DXMATRIX Matrix(const Json& value, const std::string& where) const {
        const std::string shape = "expected 4 rows of 4 numbers";
        if (!value.is_array()) Fail(where, shape + ", got " + Got(value));
        if (value.size() != 4) Fail(where, shape + ", got " + std::to_string(value.size()) + " rows");
        D3DXMATRIX m;
        for (size_t r = 0; r < 4; ++r) {
            const std::string rowWhere = where + "[" + std::to_string(r) + "]";
            const Json& row = value[r];
            if (!row.is_array()) Fail(rowWhere, shape + ", got " + Got(row) + " as a row");
            if (row.size() != 4) Fail(rowWhere, shape + ", got a row of " + std::to_string(row.size()));
            for (size_t c = 0; c < 4; ++c)
                m.m[r][c] = Number(row[c], rowWhere + "[" + std::to_string(c) + "]");
        }
        if (m._14 != 0.0f || m._24 != 0.0f || m._34 != 0.0f || m._44 != 1.0f)
            Fail(where, "the last column must be 0, 0, 0, 1 (row 4 holds the translation)");
        const double det = double(m._11) * (double(m._22) * m._33 - double(m._23) * m._32) -
                           double(m._12) * (double(m._21) * m._33 - double(m._23) * m._31) +
                           double(m._13) * (double(m._21) * m._32 - double(m._22) * m._31);
        if (!(std::fabs(det) > 1e-12)) Fail(where, "the first three rows are not independent axes");
        return m;
    }

    SettingList Settings(const Json& value, const std::string& where) const {
        if (!value.is_object()) Fail(where, "expected an object of child names and numbers, got " + Got(value));
        SettingList list;
        for (auto it = value.begin(); it != value.end(); ++it) {
            const std::string& name = it.key();
            const std::string here = where + ".\"" + name + "\"";
            if (catalog_.settable.count(name) == 0) {
                auto refused = catalog_.refused.find(name);
                if (refused != catalog_.refused.end())
                    Fail(where, "\"" + name + "\" cannot be set: " + refused->second);
                const std::string suggestion = SuggestSetting(name, catalog_);
                Fail(where, "unknown setting \"" + name + "\"" +
                                (suggestion.empty() ? " (not a child of the channel)"
                                                    : " (did you mean \"" + suggestion + "\"?)"));
            }
            list.emplace_back(name, Number(it.value(), here));
        }
        return list;
    }

    Hit ParseHit(const Json& value, const std::string& where) const {
        if (!value.is_object()) Fail(where, "expected an object, got " + Got(value));
        CheckKeys(value, where,
                  {"name", "reset", "settings", "position", "normal", "aim", "mass1", "mass2", "speed"});
        Hit hit;
        if (value.contains("name")) {
            if (!value["name"].is_string()) Fail(where + ".name", "expected a string, got " + Got(value["name"]));
            hit.name = value["name"].get<std::string>();
        }
        if (value.contains("reset")) {
            if (!value["reset"].is_boolean())
                Fail(where + ".reset", "expected true or false, got " + Got(value["reset"]));
            hit.reset = value["reset"].get<bool>();
        }
        if (value.contains("settings")) hit.settings = Settings(value["settings"], where + ".settings");

        const bool anyImpactKey = std::any_of(std::begin(kHitKeys), std::end(kHitKeys),
                                              [&](const char* key) { return value.contains(key); });
        if (!anyImpactKey && hit.reset) return hit;  // a reset on its own
        hit.aimed = value.contains("aim");
        if (hit.aimed && (value.contains("position") || value.contains("normal")))
            Fail(where, "\"aim\" takes the place of \"position\" and \"normal\"; give one or the other");
        if (hit.aimed)
            RequireKeys(value, where, {"aim", "mass1", "mass2", "speed"});
        else
            RequireKeys(value, where, {"position", "normal", "mass1", "mass2", "speed"});
        hit.hasImpact = true;
        if (hit.aimed) {
            const Json& aim = value["aim"];
            const std::string here = where + ".aim";
            if (!aim.is_object()) Fail(here, "expected an object with \"from\" and \"towards\", got " + Got(aim));
            CheckKeys(aim, here, {"from", "towards"});
            RequireKeys(aim, here, {"from", "towards"});
            hit.aimFrom = Vector(aim["from"], here + ".from");
            hit.aimTowards = Vector(aim["towards"], here + ".towards");
            if (hit.aimFrom.x == hit.aimTowards.x && hit.aimFrom.y == hit.aimTowards.y &&
                hit.aimFrom.z == hit.aimTowards.z)
                Fail(here, "\"from\" and \"towards\" are the same point, so the aim has no direction");
        } else {
            hit.position = Vector(value["position"], where + ".position");
            hit.normal = Vector(value["normal"], where + ".normal");
            if (hit.normal.x == 0.0f && hit.normal.y == 0.0f && hit.normal.z == 0.0f)
                Fail(where + ".normal", "the normal has length 0");
        }
        hit.mass1 = Number(value["mass1"], where + ".mass1");
        hit.mass2 = Number(value["mass2"], where + ".mass2");
        hit.speed = Number(value["speed"], where + ".speed");
        if (hit.mass1 < 0.0f) Fail(where + ".mass1", "a mass cannot be negative");
        if (hit.mass2 < 0.0f) Fail(where + ".mass2", "a mass cannot be negative");
        if (hit.speed < 0.0f) Fail(where + ".speed", "the speed cannot be negative");
        return hit;
    }

    Scene Parse(const std::string& text, const std::string& baseDir) const {
        Json root;
        try {
            root = Json::parse(text);
        } catch (const Json::exception& e) {
            // parse_error for bad syntax, out_of_range for a number past the
            // double range. Drop the library's "[json.exception.parse_error.101] " prefix.
            std::string what = e.what();
            const size_t bracket = what.find("] ");
            if (what.rfind("[json.exception", 0) == 0 && bracket != std::string::npos) what = what.substr(bracket + 2);
            Fail("", "not valid JSON: " + what);
        }
        if (!root.is_object()) Fail("", "expected a JSON object at the top, got " + Got(root));
        CheckKeys(root, "", {"mesh", "placement", "view", "settings", "hits"});

        Scene scene;
        scene.placement = IdentityMatrix();
        if (root.contains("mesh")) {
            const Json& mesh = root["mesh"];
            if (!mesh.is_string()) Fail("mesh", "expected the mesh file's path as a string, got " + Got(mesh));
            if (mesh.get<std::string>().empty()) Fail("mesh", "the mesh file's path is empty");
            std::filesystem::path path(mesh.get<std::string>());
            if (path.is_relative() && !baseDir.empty()) path = std::filesystem::path(baseDir) / path;
            scene.meshPath = path.lexically_normal().string();
        }
        if (root.contains("placement")) {
            scene.placement = Matrix(root["placement"], "placement");
            scene.hasPlacement = true;
        }
        if (root.contains("view")) {
            scene.view = Vector(root["view"], "view");
            if (scene.view.x == 0.0f && scene.view.y == 0.0f && scene.view.z == 0.0f)
                Fail("view", "the direction has length 0");
        }
        if (root.contains("settings")) scene.settings = Settings(root["settings"], "settings");
        if (root.contains("hits")) {
            const Json& hits = root["hits"];
            if (!hits.is_array()) Fail("hits", "expected an array of hits, got " + Got(hits));
            for (size_t i = 0; i < hits.size(); ++i)
                scene.hits.push_back(ParseHit(hits[i], "hits[" + std::to_string(i) + "]"));
        }
        return scene;
    }

private:
    std::string source_;
    const SettingCatalog& catalog_;
};

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

D3DXMATRIX IdentityMatrix() {
    D3DXMATRIX m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m.m[r][c] = r == c ? 1.0f : 0.0f;
    return m;
}

// The name without its hint in brackets: "Dent angle (0-1)" -> "Dent angle".
std::string WithoutHint(const std::string& name) {
    const size_t bracket = name.rfind(" (");
    return bracket == std::string::npos ? name : name.substr(0, bracket);
}

// Names a quarter or less of whose letters differ count as close, with or
// without the hint in brackets.
std::string SuggestSetting(const std::string& name, const SettingCatalog& catalog) {
    std::string best;
    size_t bestDistance = name.size() / 4 + 1;
    for (const std::string& candidate : catalog.order) {
        const size_t d = std::min(EditDistance(name, candidate), EditDistance(name, WithoutHint(candidate)));
        if (d < bestDistance) {
            bestDistance = d;
            best = candidate;
        }
    }
    return best;
}

Scene ParseScene(const std::string& text, const std::string& source, const std::string& baseDir,
                 const SettingCatalog& catalog) {
    return Parser(source, catalog).Parse(text, baseDir);
}

Scene LoadSceneFile(const std::string& path, const SettingCatalog& catalog) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) throw InputError(path + ": no such scene file");
    if (std::filesystem::is_directory(path, ec)) throw InputError(path + ": is a folder, not a scene file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError(path + ": cannot open the scene file");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw InputError(path + ": cannot read the scene file");
    const std::string base = std::filesystem::path(path).parent_path().string();
    return ParseScene(text.str(), path, base, catalog);
}

}  // namespace crumpletool
