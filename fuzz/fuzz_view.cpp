// The view's side of the socket: a client's bytes become a request or a
// refusal, and the answer to any request leaves the session as it was unless
// it is a 200 to a call that changes it.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "errors.h"
#include "http_server.h"
#include "test_scene.h"
#include "view_api.h"

namespace {

using namespace crumpletool;

// Seeds and the dictionary carry this token and port.
const char* const kToken = "0123456789abcdef0123456789abcdef";
constexpr int kPort = 8080;

[[noreturn]] void Finding(const std::string& what) {
    std::fprintf(stderr, "fuzz_view: %s\n", what.c_str());
    std::abort();
}

bool Changes(const HttpRequest& request) {
    return request.method == "POST" && (request.path == "/api/hit" || request.path == "/api/reset" ||
                                         request.path == "/api/undo");
}

// A session as the view starts one. Kept while requests leave it as it was,
// made anew after any that may not have, so each input meets a fresh one.
std::unique_ptr<ViewSession>& Session() {
    static std::unique_ptr<ViewSession> session;
    if (!session) session = std::make_unique<ViewSession>(CRUMPLE_PLUGIN_PATH, MakeGridMesh(6, 6, 0.5f), Scene(), "grid.ply");
    return session;
}

}  // namespace

// Reads: the input as the bytes of one request. Aborts when parsing or
// answering lets an exception out, when a refusal is not one line of JSON, or
// when a refused or reading request changed the session.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    HttpRequest request;
    std::string reason;
    const int status = ParseRequest(bytes, HttpLimits(), &request, &reason);
    if (status == 0) return 0;
    if (status != 200) {
        if (reason.empty() || reason.find('\n') != std::string::npos) Finding("a refusal without a one-line reason");
        return 0;
    }
    ViewSession& session = *Session();
    ViewApi api(session, {FUZZ_VIEW_WEB_DIR, ""}, kToken, kPort);
    const std::string before = session.SceneFile();
    const size_t rows = session.Rows().size();
    HttpResponse response;
    try {
        response = api.Handle(request);
    } catch (const std::exception& e) {
        Finding(std::string("Handle let out: ") + e.what());
    }
    if (response.status != 200) {
        const std::string& body = response.body;
        if (response.status >= 500 && request.path != "/three/three.module.js" && request.path != "/three/OrbitControls.js")
            Finding("status " + std::to_string(response.status) + ": " + body);
        if (body.empty() || body.find('\n') != body.size() - 1 || !nlohmann::json::parse(body).contains("error"))
            Finding("a refusal that is not one line of JSON: " + body);
    }
    if ((response.status != 200 || !Changes(request)) && session.SceneFile() != before)
        Finding("the session changed on " + std::to_string(response.status) + " to " + request.method + " " + request.path);
    if (response.status == 200 && request.path == "/api/hit" && session.Rows().size() != rows + 1)
        Finding("an answered hit without a row");
    if (response.status == 200 && request.method == "POST") Session().reset();
    return 0;
}
