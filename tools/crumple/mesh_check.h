// The one test of a mesh the tool hands to the channel, whoever made it: the
// import in its child process, or anything that claims to be that child.
#pragma once

#include <string>

#include "host/object_data.h"

namespace crumpletool {

// What is wrong with `mesh` as the host's mesh, in a few words, or empty when
// nothing is: no vertex or no triangle; an index count that is not whole
// triangles; normals or texture set 0 not one per vertex, or texture sets 1
// and 2 or the colours neither absent nor one per vertex; an index not below
// the vertex count; an index width other than the vertex count gives; more
// vertices or indices than the host and the channel hold; a position, normal
// or texture coordinate that is not finite.
std::string MeshProblem(const MeshArrays& mesh);

}  // namespace crumpletool
