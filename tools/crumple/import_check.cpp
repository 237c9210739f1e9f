// Checks on imported scenes; see import_check.h.
#include "import_check.h"

#include <cmath>
#include <vector>

#include <assimp/scene.h>

#include "mesh_text.h"

namespace crumpletool {

namespace {

// Node trees deeper or larger than this are refused rather than followed: a
// damaged file could otherwise make the walk run on and on.
constexpr size_t kMaxNodeDepth = 1000;
constexpr size_t kMaxNodes = size_t(1) << 20;

bool Finite(const aiVector3D& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool Finite2(const aiVector3D& v) { return std::isfinite(v.x) && std::isfinite(v.y); }

// "mesh 2 " when the scene has several meshes, "" when it has one.
std::string MeshName(const aiScene& scene, unsigned m) {
    return scene.mNumMeshes > 1 ? "mesh " + std::to_string(m) + " " : "";
}

// Every vertex attribute the tool takes must be finite.
void CheckAttributes(const aiScene& scene, unsigned m, const std::string& what, const char* when) {
    const aiMesh& mesh = *scene.mMeshes[m];
    const std::string name = MeshName(scene, m);
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
        if (!Finite(mesh.mVertices[v]))
            Refuse(what, name + "vertex " + std::to_string(v) + " has a position that is not finite" + when);
        if (mesh.mNormals && !Finite(mesh.mNormals[v]))
            Refuse(what, name + "vertex " + std::to_string(v) + " has a normal that is not finite" + when);
        for (unsigned set = 0; set < 3; ++set)
            if (mesh.mTextureCoords[set] && !Finite2(mesh.mTextureCoords[set][v]))
                Refuse(what, name + "vertex " + std::to_string(v) + " has a set-" + std::to_string(set) +
                                 " texture coordinate that is not finite" + when);
    }
}

// Every face must be there and name vertices of its own mesh.
void CheckFaces(const aiScene& scene, unsigned m, const std::string& what) {
    const aiMesh& mesh = *scene.mMeshes[m];
    const std::string name = MeshName(scene, m);
    if (mesh.mNumFaces > 0 && !mesh.mFaces) Refuse(what, name + "lists faces but holds none");
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices == 0 || !face.mIndices) Refuse(what, name + "face " + std::to_string(f) + " is empty");
        for (unsigned k = 0; k < face.mNumIndices; ++k)
            if (face.mIndices[k] >= mesh.mNumVertices)
                Refuse(what, name + "face " + std::to_string(f) + " names vertex " + std::to_string(face.mIndices[k]) +
                                 " of " + std::to_string(mesh.mNumVertices));
    }
}

}  // namespace

void CheckRawScene(const aiScene& scene, const std::string& what) {
    if (!scene.mRootNode) Refuse(what, "the file's scene has no root node");
    if (scene.mNumMeshes > 0 && !scene.mMeshes) Refuse(what, "the file's scene lists meshes but holds none");

    // Which meshes the node tree places; a mesh placed by no node has no
    // transform to pre-apply, and the step that applies them cannot cope.
    std::vector<bool> placed(scene.mNumMeshes, false);
    std::vector<std::pair<const aiNode*, size_t>> stack = {{scene.mRootNode, 0}};
    size_t visited = 0;
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        if (++visited > kMaxNodes || depth > kMaxNodeDepth) Refuse(what, "the file's node tree is too large or deep");
        if (node->mNumMeshes > 0 && !node->mMeshes) Refuse(what, "a node lists meshes but names none");
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            if (node->mMeshes[i] >= scene.mNumMeshes)
                Refuse(what, "a node names mesh " + std::to_string(node->mMeshes[i]) + " of " +
                                 std::to_string(scene.mNumMeshes));
            placed[node->mMeshes[i]] = true;
        }
        if (node->mNumChildren > 0 && !node->mChildren) Refuse(what, "a node lists children but names none");
        for (unsigned c = 0; c < node->mNumChildren; ++c) {
            if (!node->mChildren[c]) Refuse(what, "a node has a missing child");
            stack.emplace_back(node->mChildren[c], depth + 1);
        }
    }

    size_t vertices = 0, indices = 0;
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        const aiMesh* mesh = scene.mMeshes[m];
        if (!mesh) Refuse(what, "mesh " + std::to_string(m) + " is missing");
        if (!placed[m]) Refuse(what, MeshName(scene, m) + "is placed by no node of the file's scene");
        if (mesh->mNumVertices > 0 && !mesh->mVertices) Refuse(what, MeshName(scene, m) + "has no positions");
        CheckFaces(scene, m, what);
        CheckAttributes(scene, m, what, "");
        vertices += mesh->mNumVertices;
        // Triangulation makes n - 2 triangles of an n-gon.
        for (unsigned f = 0; f < mesh->mNumFaces; ++f)
            if (mesh->mFaces[f].mNumIndices >= 3) indices += 3 * (size_t(mesh->mFaces[f].mNumIndices) - 2);
    }
    if (vertices > kMaxHostVertices)
        Refuse(what, "has " + std::to_string(vertices) + " vertices, more than the host's " +
                         std::to_string(kMaxHostVertices));
    if (indices > kMaxImportIndices)
        Refuse(what, "has " + std::to_string(indices) + " triangle corners, more than the " +
                         std::to_string(kMaxImportIndices) + " the channel's counts can hold");
}

void CheckProcessedScene(const aiScene& scene, const std::string& what) {
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        const aiMesh& mesh = *scene.mMeshes[m];
        if (!(mesh.mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) continue;
        CheckFaces(scene, m, what);
        for (unsigned f = 0; f < mesh.mNumFaces; ++f)
            if (mesh.mFaces[f].mNumIndices != 3)
                Refuse(what, MeshName(scene, m) + "face " + std::to_string(f) + " has " +
                                 std::to_string(mesh.mFaces[f].mNumIndices) + " corners after triangulation");
        CheckAttributes(scene, m, what, " after smoothing and joining");
    }
}

}  // namespace crumpletool
