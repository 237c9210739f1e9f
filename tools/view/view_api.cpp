// The view's routes. Request bodies go through the scene file's own parser,
// so a hit or a setting is refused here exactly as it would be in a file.
#include "view_api.h"

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "errors.h"
#include "runner.h"
#include "scene_text.h"

namespace crumpletool {

namespace {

Json RowJson(const HitRow& row, const std::string& line) {
    return Json{{"step", row.step},
                {"name", row.name},
                {"reset", row.reset},
                {"impact", row.impact},
                {"energy", FloatJson(row.energy)},
                {"radius", FloatJson(row.radius)},
                {"verticesUsed", row.verticesUsed},
                {"vertexCapacity", row.vertexCapacity},
                {"indicesUsed", row.indicesUsed},
                {"indexCapacity", row.indexCapacity},
                {"cumulativeImpact", FloatJson(row.cumulativeImpact)},
                {"holesUnderWater", FloatJson(row.holesUnderWater)},
                {"maxMove", FloatJson(row.maxMove)},
                {"deepestDent", FloatJson(row.deepestDent)},
                {"messages", row.messages},
                {"position", TripleJson(row.position)},
                {"normal", TripleJson(row.normal)},
                {"line", line}};
}

// How the page shows a setting, from what its name says of its range.
Json Control(const std::string& name, float value) {
    auto has = [&name](const char* text) { return name.find(text) != std::string::npos; };
    if (has("? (0/1)")) return {{"kind", "switch"}, {"min", 0}, {"max", 1}, {"step", 1}};
    if (has("(0-2)")) return {{"kind", "integer"}, {"min", 0}, {"max", 2}, {"step", 1}};
    if (has("(0-255)")) return {{"kind", "integer"}, {"min", 0}, {"max", 255}, {"step", 1}};
    if (has("(0-1)")) return {{"kind", "number"}, {"min", 0}, {"max", 1}, {"step", 0.01}};
    if (has("multiplier")) return {{"kind", "integer"}, {"min", 1}, {"max", 8}, {"step", 1}};
    // Room to four times the value, on a round decade step.
    const double top = std::max(1.0, 4.0 * std::fabs(double(value)));
    const double decade = std::pow(10.0, std::floor(std::log10(top)));
    const double max = std::ceil(top / decade) * decade;
    return {{"kind", "number"}, {"min", 0}, {"max", max}, {"step", max / 1000.0}};
}

Json ParseBody(const std::string& body) {
    Json json;
    try {
        json = Json::parse(body.empty() ? "{}" : body);
    } catch (const Json::exception&) {
        throw InputError("the body is not valid JSON");
    }
    if (!json.is_object()) throw InputError("the body must be a JSON object");
    return json;
}

// The scene parser's message without the place it gives inside the wrapper.
std::string Unwrapped(std::string message, const std::string& wrapper) {
    for (const std::string& prefix : {"request: " + wrapper + ".", "request: " + wrapper + ": ", std::string("request: ")})
        if (message.rfind(prefix, 0) == 0) return message.substr(prefix.size());
    return message;
}

void CheckOnly(const Json& body, std::initializer_list<const char*> keys) {
    for (auto it = body.begin(); it != body.end(); ++it) {
        bool known = false;
        for (const char* key : keys) known = known || it.key() == key;
        if (!known) throw InputError("unknown key \"" + it.key() + "\"");
    }
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char differ = 0;
    for (size_t i = 0; i < a.size(); ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

HttpResponse Ok(const std::string& body, const std::string& type = "application/json") {
    HttpResponse response;
    response.contentType = type;
    response.body = body;
    return response;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::string();
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What the page shows of the session: settings with their controls, the
// next hit's mass and speed, the rows and the table as `crumple run` prints it.
Json StateOf(ViewSession& session) {
    Json settings = Json::array();
    for (const auto& setting : session.CurrentSettings()) {
        Json control = Control(setting.first, setting.second);
        settings.push_back(Json{{"name", setting.first}, {"value", FloatJson(setting.second)}});
        settings.back().update(control);
    }
    const std::vector<std::string> lines = TableLines(session.Rows());
    Json rows = Json::array();
    for (size_t i = 0; i < session.Rows().size(); ++i) rows.push_back(RowJson(session.Rows()[i], lines[i + 1]));
    std::string table;
    for (const std::string& line : lines) table += line + "\n";
    const NextHit& next = session.Next();
    return Json{{"mesh", session.MeshName()},
                {"view", TripleJson(session.View())},
                {"settings", settings},
                {"next", {{"mass1", FloatJson(next.mass1)}, {"mass2", FloatJson(next.mass2)}, {"speed", FloatJson(next.speed)}}},
                {"rows", rows},
                {"table", table}};
}

}  // namespace

std::string NewToken() {
    std::ifstream random("/dev/urandom", std::ios::binary);
    unsigned char bytes[16];
    if (!random.read(reinterpret_cast<char*>(bytes), sizeof(bytes)))
        throw std::runtime_error("cannot read /dev/urandom for the token");
    static const char kHex[] = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes) token += kHex[b >> 4], token += kHex[b & 15];
    return token;
}

ViewApi::ViewApi(ViewSession& session, ViewFiles files, std::string token, int port)
    : session_(session), files_(std::move(files)), token_(std::move(token)), port_(port) {}

std::string ViewApi::Refusal(const HttpRequest& request) const {
    auto host = request.headers.find("host");
    const std::string port = ":" + std::to_string(port_);
    std::string name = host == request.headers.end() ? "" : host->second;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name != "127.0.0.1" + port && name != "localhost" + port)
        return "the Host header must be 127.0.0.1" + port + " or localhost" + port;
    auto header = request.headers.find("x-crumple-token");
    auto query = request.query.find("token");
    const std::string& given = header != request.headers.end() ? header->second
                               : query != request.query.end()  ? query->second
                                                               : std::string();
    if (!SameText(given, token_)) return "a missing or wrong token";
    return "";
}

HttpResponse ViewApi::Handle(const HttpRequest& request) {
    const std::string refusal = Refusal(request);
    if (!refusal.empty()) return ErrorResponse(403, refusal);
    const bool get = request.method == "GET";
    static const std::map<std::string, std::pair<std::string, std::string>> kPageFiles = {
        {"/view.js", {"view.js", "text/javascript"}},
        {"/view.css", {"view.css", "text/css"}},
        {"/three/three.module.js", {"three:build/three.module.js", "text/javascript"}},
        {"/three/OrbitControls.js", {"three:examples/jsm/controls/OrbitControls.js", "text/javascript"}},
    };
    if (request.path == "/" || kPageFiles.count(request.path)) {
        if (!get) return ErrorResponse(405, "the page is read with GET");
        if (request.path == "/") return File("index.html", "text/html; charset=utf-8", true);
        const auto& file = kPageFiles.at(request.path);
        return File(file.first, file.second, false);
    }
    if (request.path.rfind("/api/", 0) != 0) return ErrorResponse(404, "no such page: " + request.path);
    try {
        return Api(request);
    } catch (const InputError& e) {
        return ErrorResponse(400, e.what());
    }
}

HttpResponse ViewApi::File(const std::string& name, const std::string& type, bool withToken) const {
    const bool three = name.rfind("three:", 0) == 0;
    const std::string path = three ? files_.threeDir + "/" + name.substr(6) : files_.webDir + "/" + name;
    std::string text = ReadWhole(path);
    if (text.empty())
        return ErrorResponse(500, three ? "three.js is not installed (tools/install-deps.sh installs it)"
                                        : "the page's file " + name + " is missing");
    if (withToken)
        for (size_t at = text.find("__CRUMPLE_TOKEN__"); at != std::string::npos; at = text.find("__CRUMPLE_TOKEN__", at))
            text.replace(at, 17, token_);
    return Ok(text, type);
}

HttpResponse ViewApi::Api(const HttpRequest& request) {
    const std::string& path = request.path;
    const bool post = request.method == "POST";
    auto wrongMethod = [&](const char* method) { return ErrorResponse(405, path + " takes " + method); };
    if (path == "/api/state") return request.method == "GET" ? Ok(StateOf(session_).dump()) : wrongMethod("GET");
    if (path == "/api/scene") {
        if (request.method != "GET") return wrongMethod("GET");
        HttpResponse response = Ok(session_.SceneFile());
        auto download = request.query.find("download");
        if (download != request.query.end() && download->second == "1")
            response.headers["Content-Disposition"] = "attachment; filename=\"crumple-session.json\"";
        return response;
    }
    if (path == "/api/mesh.glb") return request.method == "GET" ? Ok(session_.Glb(), "model/gltf-binary") : wrongMethod("GET");
    if (path == "/api/buffers") {
        if (request.method != "GET") return wrongMethod("GET");
        auto which = request.query.find("mesh");
        const std::string mesh = which == request.query.end() ? "after" : which->second;
        if (mesh != "after" && mesh != "before") return ErrorResponse(400, "mesh must be \"before\" or \"after\"");
        return Ok(mesh == "after" ? session_.Buffers() : session_.BuffersBefore(), "application/octet-stream");
    }

    static const char* const kPosts[] = {"/api/hit", "/api/settings", "/api/next", "/api/reset", "/api/undo"};
    bool known = false;
    for (const char* name : kPosts) known = known || path == name;
    if (!known) return ErrorResponse(404, "no such call: " + path);
    if (!post) return wrongMethod("POST");
    auto type = request.headers.find("content-type");
    if (!request.body.empty() && (type == request.headers.end() || type->second.rfind("application/json", 0) != 0))
        return ErrorResponse(400, "the body must be sent as application/json");
    Json body = ParseBody(request.body);

    if (path == "/api/hit") {
        if (body.contains("reset")) throw InputError("a hit cannot reset; POST /api/reset");
        const NextHit& next = session_.Next();
        if (!body.contains("mass1")) body["mass1"] = next.mass1;
        if (!body.contains("mass2")) body["mass2"] = next.mass2;
        if (!body.contains("speed")) body["speed"] = next.speed;
        Scene scene;
        try {
            scene = ParseScene(Json{{"hits", Json::array({body})}}.dump(), "request", "", session_.Catalog());
        } catch (const InputError& e) {
            throw InputError(Unwrapped(e.what(), "hits[0]"));
        }
        try {
            session_.Hit(scene.hits[0]);
        } catch (const InputError& e) {
            return ErrorResponse(422, e.what());
        }
        Json state = StateOf(session_);
        Json answer = {{"row", state["rows"].back()}};
        answer["state"] = std::move(state);
        return Ok(answer.dump());
    }
    if (path == "/api/settings") {
        CheckOnly(body, {"settings"});
        if (!body.contains("settings")) throw InputError("\"settings\" is missing");
        Scene scene;
        try {
            scene = ParseScene(Json{{"settings", body["settings"]}}.dump(), "request", "", session_.Catalog());
        } catch (const InputError& e) {
            throw InputError(Unwrapped(e.what(), "settings"));
        }
        session_.ChangeSettings(scene.settings);
    } else if (path == "/api/next") {
        CheckOnly(body, {"mass1", "mass2", "speed"});
        NextHit next = session_.Next();
        float* fields[] = {&next.mass1, &next.mass2, &next.speed};
        const char* names[] = {"mass1", "mass2", "speed"};
        for (int i = 0; i < 3; ++i) {
            if (!body.contains(names[i])) continue;
            const Json& value = body[names[i]];
            if (!value.is_number() || !(value.get<double>() >= 0.0) || value.get<double>() > 3.0e38)
                throw InputError(std::string("\"") + names[i] + "\" must be a number from 0 up");
            *fields[i] = value.get<float>();
        }
        session_.Next() = next;
    } else if (path == "/api/reset") {
        CheckOnly(body, {});
        session_.Reset();
    } else {
        CheckOnly(body, {});
        if (!session_.Undo()) return ErrorResponse(422, "there is no step to undo");
    }
    return Ok(StateOf(session_).dump());
}

}  // namespace crumpletool
