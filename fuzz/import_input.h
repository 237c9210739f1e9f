// Mesh import inputs, shared by the fuzz target and the replay program: the
// first byte picks the file's extension among formats Assimp reads from a
// single file, the rest is the file's content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/object_data.h"

namespace crumplefuzz {

// The extension (without the dot) that selector byte `selector` picks.
const char* ImportExtension(uint8_t selector);

// Reads: `mesh` as ImportMesh returned it. Returns what is wrong with it as
// a mesh for the host (array lengths, index range and width, non-finite
// values, refusal by the host's object), or empty when it is sound.
std::string MeshProblem(const MeshArrays& mesh);

// Writes the input into the scratch folder under the picked extension and
// imports it with crumpletool::ImportMesh. Returns empty when the mesh is
// sound or the import was refused with InputError or std::bad_alloc (the
// tool's import process refuses a mesh past its memory), else what is wrong
// with the imported mesh. Any other exception leaves this function.
// `outcome`, when given, gets the refusal or the mesh's size in one line.
std::string ImportInput(const uint8_t* data, size_t size, std::string* outcome = nullptr);

}  // namespace crumplefuzz
