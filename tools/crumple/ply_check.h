// Checks on a PLY file's header, made before Assimp reads the file. Its PLY
// reader trusts the header blindly: without its closing line the reader
// loops for ever or reads past its buffer, and a declared element count is
// allocated before any data is read.
#pragma once

#include <string>

namespace crumpletool {

// Reads: the file at `path` (its header, and its size). Throws InputError,
// starting with `what`, when a PLY file (".ply", or "ply" starting the file or
// its second line after an empty first one) has a first line other than "ply",
// no "end_header" line within its first 64 KiB, a header line that is not one
// of PLY's, a control byte other than a tab, an element declared twice, both
// faces and triangle strips, an unknown format or property type, an element
// with a count but no properties, or counts whose data could not fit in the
// rest of the file. Does nothing for other files.
void CheckPlyHeader(const std::string& path, const std::string& what);

}  // namespace crumpletool
