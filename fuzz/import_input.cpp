#include "import_input.h"

#include <stdexcept>

#include <unistd.h>

#include "errors.h"
#include "isolated_import.h"
#include "mesh_check.h"
#include "scratch_file.h"

namespace crumplefuzz {

namespace {

// 32 entries, so every selector byte names one and the order is stable for
// the corpus.
const char* const kExtensions[32] = {
    "ply", "obj", "off", "stl", "gltf", "glb", "dae", "3ds",
    "x", "ase", "ac", "ms3d", "lwo", "md2", "md3", "md5mesh",
    "mdl", "nff", "raw", "smd", "ter", "irrmesh", "b3d", "cob",
    "q3o", "xgl", "ogex", "csm", "hmp", "ndo", "amf", "fbx"};

// An input that takes longer than this in the child is a refusal. Far below
// libFuzzer's own timeout, so a slow reader never counts as a hang of ours,
// and far above the slowest corpus input (about 2 s under the sanitizers), so
// a loaded machine does not turn one into a refusal and part two fixed-seed
// runs.
constexpr unsigned kImportSeconds = 15;
// The child's address space, as the fuzzing's own bound on one allocation.
constexpr size_t kImportMemoryBytes = size_t(2) << 30;

// The tool's worker, run from inside the scratch folder: the file is named
// relative to it, so that no refusal carries the folder's random name, which
// would make two fuzzing runs of one commit part ways.
bool ImportInScratchFolder(int reply, const std::string& name) {
    if (chdir(ScratchFolder().c_str()) != 0) return false;
    return crumpletool::ImportAndSend(reply, name);
}

}  // namespace

const char* ImportExtension(uint8_t selector) { return kExtensions[selector % 32]; }

std::string MeshProblem(const MeshArrays& mesh) {
    const std::string problem = crumpletool::MeshProblem(mesh);
    if (!problem.empty()) return problem;
    // The tool's next step: the host's object must take the mesh as it is.
    try {
        Vexa_ObjectData::FromArrays(mesh);
    } catch (const std::invalid_argument& e) {
        return std::string("the host refuses it: ") + e.what();
    }
    return "";
}

std::string ImportInput(const uint8_t* data, size_t size, std::string* outcome) {
    if (size == 0) {
        if (outcome) *outcome = "empty input";
        return "";
    }
    const std::string name = std::string("input.") + ImportExtension(data[0]);
    WriteScratchFile(name, data + 1, size - 1);
    MeshArrays mesh;
    try {
        crumpletool::ImportLimits limits;
        limits.seconds = kImportSeconds;
        limits.memoryBytes = kImportMemoryBytes;
        mesh = crumpletool::ImportMeshIsolated(name, limits, ImportInScratchFolder);
    } catch (const crumpletool::InputError& e) {
        if (outcome) *outcome = std::string("refused: ") + e.what();
        const std::string line = e.what();
        return line.find('\n') == std::string::npos ? "" : "a refusal of more than one line";
    }
    if (outcome)
        *outcome = std::to_string(mesh.positions.size()) + " vertices, " + std::to_string(mesh.indices.size() / 3) +
                   " triangles";
    return MeshProblem(mesh);
}

}  // namespace crumplefuzz
