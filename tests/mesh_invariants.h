// Invariants every working mesh keeps after any mutation; tests call these
// after each step.
#pragma once

#include <vector>

#include <gtest/gtest.h>

#include "host/object_data.h"

// Every array is exactly as long as the vertex / index count; every used
// float is finite; every used index is below `verticesUsed`; the used counts
// lie within the capacities.
::testing::AssertionResult MeshIsSound(Vexa_ObjectData& object, int verticesUsed, int indicesUsed);

// The render vertex buffer holds the working arrays' record for each listed
// vertex, and the index buffer holds the whole index array.
::testing::AssertionResult RenderBuffersMatch(Vexa_ObjectData& object, const std::vector<int>& vertices);

// Bitwise equality of two meshes (NaN-safe, -0 distinct from +0).
bool SameBits(const MeshArrays& a, const MeshArrays& b);
