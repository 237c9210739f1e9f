// Mesh import in a child process with bounded memory and time, so that no
// mesh file can take the tool down without its one-line error: a mesh
// library that crashes, asserts, loops or allocates without end on a
// malformed file ends only the child.
#pragma once

#include <cstddef>
#include <string>

#include "host/object_data.h"

namespace crumpletool {

struct ImportLimits {
    // Address space the child may use. Not applied under AddressSanitizer,
    // whose shadow memory alone exceeds any sensible bound.
    size_t memoryBytes = size_t(4) << 30;
    unsigned seconds = 120;
};

// ImportMesh(path) run in a forked child. Throws InputError naming the file
// when the import is refused, crashes, runs out of its memory or time, or
// the child cannot be started.
MeshArrays ImportMeshIsolated(const std::string& path, const ImportLimits& limits = ImportLimits());

}  // namespace crumpletool
