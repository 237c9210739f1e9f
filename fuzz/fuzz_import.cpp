// Mesh import as the tool's user gets it, the reader in a child process: a
// mesh file is either refused with one line or becomes a mesh the host can
// take as it is. A reader crashing or hanging in the child is a refusal; the
// findings are this process crashing or hanging, or an unsound mesh.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "import_input.h"

// Reads: the input (selector byte, file content). Aborts on an unsound mesh
// or any exception other than InputError.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // CRUMPLE_FUZZ_TRACE set: the outcome of each input on standard error.
    static const bool trace = std::getenv("CRUMPLE_FUZZ_TRACE") != nullptr;
    std::string problem, outcome;
    try {
        problem = crumplefuzz::ImportInput(data, size, &outcome);
        if (trace) std::fprintf(stderr, "fuzz_import: %s\n", outcome.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fuzz_import: ImportMesh let an exception through: %s\n", e.what());
        std::abort();
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "fuzz_import: imported mesh is unsound: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
