// Checks on a mesh file's own header, made before Assimp reads the file. Some
// of its readers trust a header blindly: a PLY header without its closing
// line makes the PLY reader loop for ever or read past its buffer, and a
// declared element count is allocated before any data is read. Only formats
// whose header says how much data follows are checked; every other file goes
// to Assimp as it is.
#pragma once

#include <string>

namespace crumpletool {

// Reads: the file at `path` (its header, and its size). Throws InputError,
// starting with `what`, when a PLY file (it starts with "ply") has a first
// line other than "ply", no "end_header" line within its first 64 KiB, a
// header line that is not one of PLY's, an unknown format or property type,
// an element with a count but no properties, or counts whose data could not
// fit in the rest of the file; or when an OFF file (".off", or a first word
// such as "OFF", "COFF", "NOFF", "STOFF", "4OFF", "nOFF") declares more
// vertices or faces than the rest of the file can hold. Does nothing for
// other files.
void CheckDeclaredCounts(const std::string& path, const std::string& what);

}  // namespace crumpletool
