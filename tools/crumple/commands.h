// The two commands of the tool, apart from parsing the command line.
#pragma once

#include <iosfwd>
#include <string>

namespace crumpletool {

struct CommandOptions {
    std::string pluginPath;  // empty: DefaultPluginPath()
    std::string outDir = "out";
    std::string savePath;    // empty: no channel file written
    std::string loadPath;    // empty: start from the scene's mesh
    std::string digestsPath;  // empty: no step digests written
    bool progress = false;   // show progress on standard error
};

// libCrumple.so next to the running executable when it is there, else the
// plug-in this tool was built with.
std::string DefaultPluginPath();

// `crumple demo`: the built-in hull and hits; writes demo.png and demo.glb into
// the output folder and prints the table on `out`. Throws InputError or
// OutputError; writes no file when it fails.
void RunDemo(const CommandOptions& options, std::ostream& out);

// `crumple run SCENE`: as the demo, with the scene file's mesh, settings and
// hits; the outputs are named after the scene file.
void RunSceneFile(const std::string& scenePath, const CommandOptions& options, std::ostream& out);

// `crumple compare-digests A B`: prints where two step digest files first
// differ, or that they agree. Returns 0 when they agree, 1 when they differ;
// throws InputError when a file cannot be read or is not a digest file (the
// program then exits with 2).
int CompareDigestFiles(const std::string& a, const std::string& b, std::ostream& out);

}  // namespace crumpletool
