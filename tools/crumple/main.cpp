// crumple: a host for the Crumple plug-in on the command line.
//   crumple demo [--out DIR] [--plugin PATH] [--save FILE]
//   crumple run SCENE.json [--out DIR] [--plugin PATH] [--save FILE] [--load FILE] [--digests FILE]
//   crumple view SCENE.json|MESH [--port N] [--plugin PATH]
//   crumple compare-digests A B
#include <iostream>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "errors.h"
#include "view_command.h"

// Sanitized builds: the offscreen GL library never frees the framebuffer
// record it makes when a context is made current. Only stacks through that
// library are suppressed (as in lsan.supp for the tests), so a leak of our
// own still fails the run.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libOSMesa.so\n";
}

// Sanitized builds cannot bound an import's address space (the shadow memory
// alone is larger), so a single allocation past 4 GB fails there instead,
// as the bound makes it fail in other builds.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:max_allocation_size_mb=4096"; }

int main(int argc, char** argv) {
    using namespace crumpletool;
    CLI::App app{"crumple: damages meshes with the Crumple plug-in, loaded as a host loads it, and shows the result.\n"
                 "Each command writes NAME.png (1600x600: before | after) and NAME.glb (the damaged mesh) and\n"
                 "prints one table row per hit."};
    app.require_subcommand(1);
    CommandOptions options;
    options.progress = isatty(STDERR_FILENO) != 0;
    std::string scenePath, viewInput, digestsA, digestsB;
    ViewOptions viewOptions;

    CLI::App* demo = app.add_subcommand("demo", "run the built-in hull and hits; writes demo.png and demo.glb");
    CLI::App* run = app.add_subcommand("run", "run a scene file (mesh, placement, settings, hits)");
    run->add_option("scene", scenePath, "the scene file (JSON)")->required();
    CLI::App* view = app.add_subcommand(
        "view", "serve a live page on 127.0.0.1 to aim hits and tune settings; prints its address first");
    view->add_option("input", viewInput, "a scene file (.json) or a mesh file (the channel's own settings)")->required();
    view->add_option("--port", viewOptions.port, "the port (default 0: any free port)")->check(CLI::Range(0, 65535));
    view->add_option("--plugin", viewOptions.pluginPath,
                     "the plug-in library (default: libCrumple.so beside this program, else the built one)");
    CLI::App* compare = app.add_subcommand(
        "compare-digests", "name the first step where two --digests files differ, and what differs (exit 1), or say they agree");
    compare->add_option("a", digestsA, "a step digest file")->required();
    compare->add_option("b", digestsB, "another step digest file")->required();
    for (CLI::App* command : {demo, run}) {
        command->add_option("--out", options.outDir, "output folder (default: out)");
        command->add_option("--plugin", options.pluginPath,
                            "the plug-in library (default: libCrumple.so beside this program, else the built one)");
        command->add_option("--save", options.savePath, "save the channel (mesh, settings, state) to FILE at the end");
        command->add_option("--digests", options.digestsPath,
                            "write FILE: per step a digest of the whole mesh, render buffers and children 22 to 27");
    }
    run->add_option("--load", options.loadPath, "start from a channel file saved with --save instead of the mesh");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "crumple: " << e.what() << " (see crumple --help)\n";
        return e.get_exit_code() != 0 ? e.get_exit_code() : 2;
    }

    try {
        if (*compare) {
            // 1 is taken by "they differ".
            try {
                return CompareDigestFiles(digestsA, digestsB, std::cout);
            } catch (const InputError& e) {
                std::cerr << "crumple: " << e.what() << "\n";
                return 2;
            }
        }
        if (*view) RunView(viewInput, viewOptions, std::cout);
        else if (*demo) RunDemo(options, std::cout);
        else RunSceneFile(scenePath, options, std::cout);
    } catch (const InputError& e) {
        std::cerr << "crumple: " << e.what() << "\n";
        return 1;
    } catch (const OutputError& e) {
        std::cerr << "crumple: " << e.what() << "\n";
        return 3;
    } catch (const std::exception& e) {
        std::cerr << "crumple: " << e.what() << "\n";
        return 4;
    }
    return 0;
}
