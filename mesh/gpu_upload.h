// Upload of one pass's changes: the listed vertices and the index array go
// into the object's render buffers.
#pragma once

#include <vector>

#include "host/object_data.h"

namespace crumple {

// Writes one whole record per listed vertex (list order, repeats rewritten;
// fields the object lacks as zeros) into the object's vertex buffer, and the
// whole index array, spare entries included, into its index buffer. Entries
// outside [0, vertex count) are skipped rather than written past the buffer;
// a refused lock skips that buffer. A null object or list writes no records.
void UploadChanges(Vexa_ObjectData* object, const std::vector<int>* list);

}  // namespace crumple
