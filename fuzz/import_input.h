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

// Returns what is wrong with `mesh` as a mesh for the channel (the tool's
// own mesh check, then refusal by the host's object), or empty when it is
// sound.
std::string MeshProblem(const MeshArrays& mesh);

// Writes the input into the scratch folder under the picked extension and
// imports it as the tool does, in a child process (5 s, 2 GB). Returns empty
// when the mesh is sound or the import was refused with InputError (which is
// also what a reader crashing or hanging in the child gives), else what is
// wrong with the imported mesh. Any other exception leaves this function.
// `outcome`, when given, gets the refusal or the mesh's size in one line.
std::string ImportInput(const uint8_t* data, size_t size, std::string* outcome = nullptr);

}  // namespace crumplefuzz
