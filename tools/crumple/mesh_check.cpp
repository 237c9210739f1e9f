// The tool's mesh check; see mesh_check.h.
#include "mesh_check.h"

#include "import_check.h"
#include "mesh/vector_math.h"
#include "mesh_io.h"

namespace crumpletool {

namespace {

template <typename V>
bool AllFinite(const std::vector<V>& values) {
    for (const V& v : values)
        if (!crumple::IsFinite(v)) return false;
    return true;
}

}  // namespace

std::string MeshProblem(const MeshArrays& mesh) {
    const size_t n = mesh.positions.size();
    if (n == 0 || mesh.indices.empty()) return "a mesh without vertices or triangles";
    if (mesh.indices.size() % 3 != 0)
        return "index count " + std::to_string(mesh.indices.size()) + " is not whole triangles";
    if (n > kMaxHostVertices || mesh.indices.size() > kMaxImportIndices)
        return std::to_string(n) + " vertices and " + std::to_string(mesh.indices.size()) +
               " indices, more than the host or the channel holds";
    if (mesh.normals.size() != n || mesh.texCoords0.size() != n) return "normals or texture set 0 not one per vertex";
    for (const size_t length : {mesh.texCoords1.size(), mesh.texCoords2.size(), mesh.colors.size()})
        if (length != 0 && length != n) return "texture set 1, 2 or colours neither absent nor one per vertex";
    for (size_t p = 0; p < mesh.indices.size(); ++p)
        if (mesh.indices[p] >= n)
            return "index " + std::to_string(mesh.indices[p]) + " at " + std::to_string(p) + " not below " +
                   std::to_string(n) + " vertices";
    if (mesh.indices16 != (n <= kMax16BitVertices)) return "index width does not follow the vertex count";
    if (!AllFinite(mesh.positions) || !AllFinite(mesh.normals) || !AllFinite(mesh.texCoords0) ||
        !AllFinite(mesh.texCoords1) || !AllFinite(mesh.texCoords2))
        return "a position, normal or texture coordinate that is not finite";
    return "";
}

}  // namespace crumpletool
