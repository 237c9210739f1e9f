// The view command: session, server, signals.
#include "view_command.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <iostream>

#include "commands.h"
#include "demo_scene.h"
#include "errors.h"
#include "isolated_import.h"
#include "view_api.h"

namespace crumpletool {

namespace {

std::atomic<bool> gStop{false};

void OnStopSignal(int) { gStop.store(true); }

bool IsSceneFile(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".json";
}

}  // namespace

void RunView(const std::string& input, const ViewOptions& options, std::ostream& out) {
    const std::string plugin = options.pluginPath.empty() ? DefaultPluginPath() : options.pluginPath;
    Scene scene;
    if (IsSceneFile(input)) {
        scene = LoadSceneFile(input, CrumpleChannel(plugin).Settings());
        if (scene.meshPath.empty()) throw InputError(input + ": \"mesh\" is missing");
    } else {
        // The channel's own values are all zero, which would leave nothing
        // to see; a mesh alone starts from the demo's.
        scene.meshPath = input;
        scene.settings = DemoSettings();
    }
    // The scene's path resolved against the folder the view started in is how
    // a scene saved there names the mesh.
    const std::string meshName = std::filesystem::path(scene.meshPath).lexically_normal().string();
    MeshArrays mesh = ImportMeshIsolated(scene.meshPath);
    ViewSession session(plugin, std::move(mesh), std::move(scene), meshName);

    LoopbackServer server(options.port);
    const std::string token = NewToken();
    ViewApi api(session, {CRUMPLE_VIEW_WEB_DIR, CRUMPLE_VIEW_THREE_DIR}, token, server.Port());

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    out << "http://127.0.0.1:" << server.Port() << "/?token=" << token << std::endl;
    std::cerr << "crumple view: " << meshName << ", " << session.Rows().size()
              << " steps; open the address above in a browser; Ctrl-C stops" << std::endl;
    server.Serve([&api](const HttpRequest& request) { return api.Handle(request); }, gStop);
    std::cerr << "crumple view: stopped" << std::endl;
}

}  // namespace crumpletool
