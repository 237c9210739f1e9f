#include "import_input.h"

#include <cmath>
#include <new>

#include "errors.h"
#include "mesh_io.h"
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

bool Finite(float x) { return std::isfinite(x); }

template <typename V>
bool AllFinite(const std::vector<V>& values, int components) {
    for (const V& v : values) {
        const float* f = &v.x;
        for (int c = 0; c < components; ++c)
            if (!Finite(f[c])) return false;
    }
    return true;
}

}  // namespace

const char* ImportExtension(uint8_t selector) { return kExtensions[selector % 32]; }

std::string MeshProblem(const MeshArrays& mesh) {
    const size_t n = mesh.positions.size();
    if (n == 0 || mesh.indices.empty()) return "a mesh without vertices or triangles";
    if (mesh.indices.size() % 3 != 0)
        return "index count " + std::to_string(mesh.indices.size()) + " is not whole triangles";
    if (mesh.normals.size() != n || mesh.texCoords0.size() != n)
        return "normals or texture set 0 not one per vertex";
    for (const size_t length : {mesh.texCoords1.size(), mesh.texCoords2.size(), mesh.colors.size()})
        if (length != 0 && length != n) return "texture set 1, 2 or colours neither absent nor one per vertex";
    for (size_t p = 0; p < mesh.indices.size(); ++p)
        if (mesh.indices[p] >= n)
            return "index " + std::to_string(mesh.indices[p]) + " at " + std::to_string(p) + " not below " +
                   std::to_string(n) + " vertices";
    if (mesh.indices16 != (n <= crumpletool::kMax16BitVertices)) return "index width does not follow the vertex count";
    if (!AllFinite(mesh.positions, 3) || !AllFinite(mesh.normals, 3) || !AllFinite(mesh.texCoords0, 2) ||
        !AllFinite(mesh.texCoords1, 2) || !AllFinite(mesh.texCoords2, 2))
        return "a non-finite position, normal or texture coordinate";
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
    const std::string path = WriteScratchFile(std::string("input.") + ImportExtension(data[0]), data + 1, size - 1);
    MeshArrays mesh;
    try {
        mesh = crumpletool::ImportMesh(path);
    } catch (const crumpletool::InputError& e) {
        if (outcome) *outcome = std::string("refused: ") + e.what();
        return "";
    } catch (const std::bad_alloc&) {
        // The tool reads meshes in a child process and reports this as a
        // mesh needing more memory than an import may use.
        if (outcome) *outcome = "refused: out of memory";
        return "";
    }
    if (outcome)
        *outcome = std::to_string(mesh.positions.size()) + " vertices, " + std::to_string(mesh.indices.size() / 3) +
                   " triangles";
    return MeshProblem(mesh);
}

}  // namespace crumplefuzz
