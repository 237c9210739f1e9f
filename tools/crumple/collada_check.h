// Checks on a COLLADA file's data arrays, made before Assimp reads it. Its
// reader sizes each array by the count attribute and then reads it through
// the accessors without checking either, so an array holding fewer values
// than its count or an accessor reaching past its array crashes it.
#pragma once

#include <string>

namespace crumpletool {

// Reads: the file at `path` when it is a COLLADA document (it names
// "<COLLADA" within its first 64 KiB). Throws InputError, starting with
// `what`, when a float, int, bool, Name or IDREF array's count is not a
// number or differs from the values it holds, or when an accessor's offset,
// count and stride reach past the array of this file it reads. Does nothing
// for other files.
void CheckColladaArrays(const std::string& path, const std::string& what);

}  // namespace crumpletool
