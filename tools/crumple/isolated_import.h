// Mesh import in a child process with bounded memory and time. The child is
// the boundary: a mesh library that crashes, asserts, loops or allocates
// without end on a malformed file ends only the child, and whatever the
// child sends back is checked again before it is taken for a mesh.
#pragma once

#include <cstddef>
#include <string>

#include "host/object_data.h"

#if defined(__SANITIZE_ADDRESS__)
#define CRUMPLE_TOOL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CRUMPLE_TOOL_ASAN 1
#endif
#endif
#ifndef CRUMPLE_TOOL_ASAN
#define CRUMPLE_TOOL_ASAN 0
#endif

namespace crumpletool {

// False under AddressSanitizer, whose shadow memory alone exceeds any
// sensible bound: there a child that asks for too much is stopped by the
// sanitizer (and said to have failed) instead of refused for its memory.
constexpr bool kImportMemoryIsBounded = !CRUMPLE_TOOL_ASAN;

struct ImportLimits {
    // Address space the child may use, where kImportMemoryIsBounded.
    size_t memoryBytes = size_t(4) << 30;
    unsigned seconds = 120;
};

// The child's half of the reply. Each returns false when the pipe would not
// take it.
bool SendMesh(int reply, const MeshArrays& mesh);
bool SendRefusal(int reply, const std::string& message);

// What the child runs: reads the file at `path` and writes one reply to the
// pipe end `reply`. May throw: InputError and other exceptions become a
// refusal, std::bad_alloc running out of memory.
using ImportWorker = bool (*)(int reply, const std::string& path);

// The tool's worker: ImportMesh(path), its mesh or its refusal.
bool ImportAndSend(int reply, const std::string& path);

// `worker` run in a forked child with stderr silenced, its reply read here.
// Throws InputError, one line naming the file, when the import is refused,
// the child crashes, runs past its memory or time, exits without a reply,
// or sends one that is damaged or not a sound mesh, or when no child can be
// started. The child is gone by the time this returns or throws.
MeshArrays ImportMeshIsolated(const std::string& path, const ImportLimits& limits = ImportLimits(),
                              ImportWorker worker = ImportAndSend);

}  // namespace crumpletool
