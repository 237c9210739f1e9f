// `crumple view`: a session on the loopback interface, served until SIGINT or
// SIGTERM.
#pragma once

#include <iosfwd>
#include <string>

namespace crumpletool {

struct ViewOptions {
    std::string pluginPath;  // empty: DefaultPluginPath()
    int port = 0;            // 0: any free port
};

// Starts from a scene file (".json") or a mesh file with the demo's
// settings, prints `http://127.0.0.1:PORT/?token=TOKEN` as the first line on
// `out` and serves until asked to stop. Throws InputError for a scene or mesh
// that `crumple run` would refuse, std::runtime_error when the port cannot be
// had.
void RunView(const std::string& input, const ViewOptions& options, std::ostream& out);

}  // namespace crumpletool
