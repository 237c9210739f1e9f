// Checks on an OFF file, made before Assimp reads it. Assimp's OFF reader
// trusts the file: it allocates what the header declares before reading a
// vertex, copies each line into a 4096-byte buffer with its terminator one
// past the end, clamps a vertex index past the vertex count to the last
// vertex, and counts down its face count for every line it cannot read as a
// face, below zero if there are enough of them, after which the scene's next
// reader walks billions of faces. The check reads the file as that reader
// does and refuses what it would misread.
#pragma once

#include <string>

namespace crumpletool {

// Reads: the file at `path`, when Assimp would read it as OFF (".off", or a
// first word such as "OFF", "COFF", "NOFF", "STOFF", "4OFF", "nOFF"). Throws
// InputError, starting with `what`, when its header declares more vertices or
// faces than the rest of the file can hold, a line the reader takes as a
// vertex or a face is 4096 bytes or longer, a vertex line does not start with
// a number, a face line does not start with a corner count from 1 to 9, has
// fewer indices than that or names a vertex past the count, or the file ends
// before the declared vertices and faces. Does nothing for other files, or
// for headers the reader refuses itself.
void CheckOffFile(const std::string& path, const std::string& what);

}  // namespace crumpletool
