// A PLY file's header grammar, checked before any reader sees the file, so
// that the common refusals (not a PLY file, a header that never ends) are
// fast and say what is wrong. Everything past the header is the reader's.
#pragma once

#include <string>

namespace crumpletool {

// Reads: the first 64 KiB of the file at `path`. Throws InputError, starting
// with `what`, when a PLY file (named ".ply", or starting with "ply") does not
// have "ply" alone on its first line or no "end_header" line within its first
// 64 KiB. Does nothing for other files or a file that cannot be opened.
void CheckPlyHeader(const std::string& path, const std::string& what);

}  // namespace crumpletool
