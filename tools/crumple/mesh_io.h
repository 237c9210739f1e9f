// Meshes in and out of the tool through Assimp: any file Assimp reads becomes
// the host's mesh arrays, and the used part of a damaged mesh leaves as glTF
// binary.
#pragma once

#include <string>

#include "host/object_data.h"

namespace crumpletool {

// Meshes with at most this many vertices get 16-bit indices, larger ones 32-bit.
constexpr size_t kMax16BitVertices = 65536;

// Reads every triangle of every mesh in the file, placed by the file's own node
// transforms, as one mesh: positions, normals (made smooth where the file has
// none), texture sets 0 to 2 and colours as far as the file has them. Throws
// InputError naming the file when it cannot be read or holds no triangle.
MeshArrays ImportMesh(const std::string& path);

// The used part of a working object: its first `vertices` vertices and
// `indices` index entries (whole triangles), every per-vertex array included.
MeshArrays UsedPart(Vexa_ObjectData& object, int vertices, int indices);

// `mesh` as glTF binary with positions, normals, texture sets 0 and 1 and
// vertex colours (RGBA from the ARGB bytes). Throws OutputError.
std::string GlbBytes(const MeshArrays& mesh);
// Writes GlbBytes(mesh) to `path`. Throws OutputError.
void ExportGlb(const MeshArrays& mesh, const std::string& path);

}  // namespace crumpletool
