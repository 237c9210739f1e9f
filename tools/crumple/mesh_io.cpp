// Mesh import and export through Assimp.
#include "mesh_io.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "errors.h"
#include "import_check.h"
#include "ply_check.h"

namespace crumpletool {

namespace {

uint8_t ToByte(float channel) {
    const float clamped = std::isnan(channel) ? 0.0f : std::min(1.0f, std::max(0.0f, channel));
    return static_cast<uint8_t>(std::lround(clamped * 255.0f));
}

uint32_t ToArgb(const aiColor4D& c) {
    return uint32_t(ToByte(c.a)) << 24 | uint32_t(ToByte(c.r)) << 16 | uint32_t(ToByte(c.g)) << 8 | ToByte(c.b);
}

aiColor4D FromArgb(uint32_t argb) {
    return aiColor4D(float((argb >> 16) & 0xFFu) / 255.0f, float((argb >> 8) & 0xFFu) / 255.0f,
                     float(argb & 0xFFu) / 255.0f, float(argb >> 24) / 255.0f);
}

template <typename T>
void KeepFront(std::vector<T>& values, size_t count) {
    if (values.size() > count) values.resize(count);
}

}  // namespace

MeshArrays ImportMesh(const std::string& path) {
    std::error_code ec;
    const std::string what = "mesh '" + path + "'";
    if (!std::filesystem::exists(path, ec)) throw InputError(what + ": no such file");
    if (!std::filesystem::is_regular_file(path, ec)) throw InputError(what + ": not a regular file");
    if (!std::ifstream(path, std::ios::binary)) throw InputError(what + ": cannot open the file for reading");
    CheckPlyHeader(path, what);

    // The raw scene is checked before any post-processing step, which assume
    // a sound scene. Points and lines are skipped below rather than removed by
    // Assimp, which would refuse a file that has nothing else instead of
    // saying so.
    Assimp::Importer importer;
    importer.SetPropertyBool(AI_CONFIG_PP_FD_REMOVE, true);
    const aiScene* scene = importer.ReadFile(path, 0);
    if (scene == nullptr) {
        std::string reason = importer.GetErrorString();
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        // A file that declares more data than it holds fails the reader's
        // first allocation.
        if (reason.find("bad_alloc") != std::string::npos)
            throw InputError(what + ": needs more memory to read than an import may use");
        throw InputError(what + ": cannot be read (" + (reason.empty() ? "unknown format" : reason) + ")");
    }
    CheckRawScene(*scene, what);
    const unsigned flags = aiProcess_Triangulate | aiProcess_FindDegenerates | aiProcess_SortByPType |
                           aiProcess_JoinIdenticalVertices | aiProcess_PreTransformVertices |
                           aiProcess_GenSmoothNormals;
    scene = importer.ApplyPostProcessing(flags);
    if (scene == nullptr) {
        std::string reason = importer.GetErrorString();
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        throw InputError(what + ": cannot be prepared (" + (reason.empty() ? "a post-processing step failed" : reason) +
                         ")");
    }
    CheckProcessedScene(*scene, what);

    bool hasTex[3] = {false, false, false};
    bool hasColors = false;
    size_t vertexTotal = 0, triangleTotal = 0;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh* mesh = scene->mMeshes[m];
        if (!(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) continue;
        vertexTotal += mesh->mNumVertices;
        triangleTotal += mesh->mNumFaces;
        for (int set = 0; set < 3; ++set) hasTex[set] = hasTex[set] || mesh->HasTextureCoords(unsigned(set));
        hasColors = hasColors || mesh->HasVertexColors(0);
    }
    if (triangleTotal == 0) throw InputError(what + ": holds no triangles");

    MeshArrays out;
    out.indices16 = vertexTotal <= kMax16BitVertices;
    out.positions.reserve(vertexTotal);
    out.indices.reserve(triangleTotal * 3);
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh* mesh = scene->mMeshes[m];
        if (!(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) continue;
        const uint32_t base = static_cast<uint32_t>(out.positions.size());
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            const aiVector3D& p = mesh->mVertices[v];
            out.positions.emplace_back(p.x, p.y, p.z);
            const aiVector3D n = mesh->mNormals ? mesh->mNormals[v] : aiVector3D(0.0f, 0.0f, 0.0f);
            out.normals.emplace_back(n.x, n.y, n.z);
            std::vector<D3DXVECTOR2>* sets[3] = {&out.texCoords0, &out.texCoords1, &out.texCoords2};
            for (unsigned set = 0; set < 3; ++set) {
                if (!hasTex[set]) continue;
                const aiVector3D uv =
                    mesh->HasTextureCoords(set) ? mesh->mTextureCoords[set][v] : aiVector3D(0.0f, 0.0f, 0.0f);
                sets[set]->emplace_back(uv.x, uv.y);
            }
            if (hasColors)
                out.colors.push_back(mesh->HasVertexColors(0) ? ToArgb(mesh->mColors[0][v]) : 0xFFFFFFFFu);
        }
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            for (unsigned k = 0; k < 3; ++k) out.indices.push_back(base + face.mIndices[k]);
        }
    }
    // Set 0 always exists in the host's mesh.
    if (!hasTex[0]) out.texCoords0.assign(out.positions.size(), D3DXVECTOR2(0.0f, 0.0f));
    return out;
}

MeshArrays UsedPart(Vexa_ObjectData& object, int vertices, int indices) {
    MeshArrays mesh = object.ToArrays();
    const size_t v = static_cast<size_t>(std::max(0, std::min(vertices, object.GetVertexCount())));
    const size_t i = static_cast<size_t>(std::max(0, std::min(indices, object.GetIndexCount()))) / 3 * 3;
    KeepFront(mesh.positions, v);
    KeepFront(mesh.normals, v);
    KeepFront(mesh.texCoords0, v);
    KeepFront(mesh.texCoords1, v);
    KeepFront(mesh.texCoords2, v);
    KeepFront(mesh.colors, v);
    KeepFront(mesh.indices, i);
    return mesh;
}

std::string GlbBytes(const MeshArrays& mesh) {
    const size_t n = mesh.positions.size();
    for (size_t p = 0; p < mesh.indices.size(); ++p)
        if (mesh.indices[p] >= n)
            throw OutputError("cannot export the mesh: index " + std::to_string(p) + " refers to vertex " +
                              std::to_string(mesh.indices[p]) + " beyond the " + std::to_string(n) + " used");

    // The scene owns everything below it and frees it with Assimp's own delete.
    aiScene scene;
    scene.mRootNode = new aiNode("crumple");
    scene.mRootNode->mNumMeshes = 1;
    scene.mRootNode->mMeshes = new unsigned[1]{0};
    scene.mNumMaterials = 1;
    scene.mMaterials = new aiMaterial*[1]{new aiMaterial()};
    const aiString materialName("hull");
    scene.mMaterials[0]->AddProperty(&materialName, AI_MATKEY_NAME);
    scene.mNumMeshes = 1;
    scene.mMeshes = new aiMesh*[1]{new aiMesh()};
    aiMesh* out = scene.mMeshes[0];
    out->mName = "damaged";
    out->mMaterialIndex = 0;
    out->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    out->mNumVertices = static_cast<unsigned>(n);
    out->mVertices = new aiVector3D[n];
    out->mNormals = new aiVector3D[n];
    const std::vector<D3DXVECTOR2>* sets[2] = {&mesh.texCoords0, &mesh.texCoords1};
    for (int set = 0; set < 2; ++set) {
        if (sets[set]->size() != n) continue;
        out->mTextureCoords[set] = new aiVector3D[n];
        out->mNumUVComponents[set] = 2;
    }
    const bool hasColors = mesh.colors.size() == n;
    if (hasColors) out->mColors[0] = new aiColor4D[n];
    for (size_t v = 0; v < n; ++v) {
        out->mVertices[v] = aiVector3D(mesh.positions[v].x, mesh.positions[v].y, mesh.positions[v].z);
        const D3DXVECTOR3 normal = v < mesh.normals.size() ? mesh.normals[v] : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        out->mNormals[v] = aiVector3D(normal.x, normal.y, normal.z);
        for (int set = 0; set < 2; ++set)
            if (out->mTextureCoords[set])
                out->mTextureCoords[set][v] = aiVector3D((*sets[set])[v].x, (*sets[set])[v].y, 0.0f);
        if (hasColors) out->mColors[0][v] = FromArgb(mesh.colors[v]);
    }
    const size_t faces = mesh.indices.size() / 3;
    out->mNumFaces = static_cast<unsigned>(faces);
    out->mFaces = new aiFace[faces];
    for (size_t f = 0; f < faces; ++f) {
        out->mFaces[f].mNumIndices = 3;
        out->mFaces[f].mIndices = new unsigned[3]{mesh.indices[3 * f], mesh.indices[3 * f + 1], mesh.indices[3 * f + 2]};
    }

    Assimp::Exporter exporter;
    const aiExportDataBlob* blob = exporter.ExportToBlob(&scene, "glb2");
    if (!blob) throw OutputError(std::string("cannot export the mesh: ") + exporter.GetErrorString());
    return std::string(static_cast<const char*>(blob->data), blob->size);
}

void ExportGlb(const MeshArrays& mesh, const std::string& path) {
    const std::string bytes = GlbBytes(mesh);
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) throw OutputError("cannot write '" + path + "'");
}

}  // namespace crumpletool
