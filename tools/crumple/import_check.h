// Checks on a mesh file's scene as Assimp read it, made before anything
// reaches the channel. The raw scene is checked before any post-processing
// step runs, because those steps assume a sound scene and can crash, assert
// or write out of bounds on one that is not; the processed scene is checked
// again for what the steps may leave behind.
#pragma once

#include <cstddef>
#include <string>

struct aiScene;

namespace crumpletool {

// The host keeps at most this many vertices in one object.
constexpr size_t kMaxHostVertices = size_t(1) << 24;
// Index entries the channel's counts can hold after a mesh is enlarged: the
// used count is a 32-bit int and the index multiplier is usually 2 or more.
constexpr size_t kMaxImportIndices = size_t(1) << 28;

// Throws InputError, starting with `what`, when the raw scene has no root
// node, a node names a mesh that does not exist (or the tree is deeper than
// the tool follows), a mesh hangs off no node, a face is empty or names a
// vertex past its mesh, a position, normal or texture coordinate is not
// finite, or the meshes together exceed the host's vertex or index counts.
void CheckRawScene(const aiScene& scene, const std::string& what);

// Throws InputError when, after triangulation and the other steps, a
// triangle mesh still holds a face that is not a triangle or any attribute
// the tool takes is not finite (smoothing can make NaN normals).
void CheckProcessedScene(const aiScene& scene, const std::string& what);

}  // namespace crumpletool
