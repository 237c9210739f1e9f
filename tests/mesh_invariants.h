// Invariants every working mesh keeps after any mutation: the one definition
// the unit tests, the soak and the fuzz targets check. Each check returns
// what is wrong in a line, or an empty string when the mesh passes.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/object_data.h"

// Every array exactly as long as its count: positions, normals and set 0
// always, set 1, set 2 and colours when present; the index array.
std::string ArrayLengthsProblem(Vexa_ObjectData& object);

// The first `vertices` positions, normals and texture coordinates of every
// set are finite, as far as each array reaches (whatever the counts say).
std::string NonFiniteProblem(Vexa_ObjectData& object, int vertices);

// No NaN among the first `vertices` positions (infinities may stand).
std::string NanPositionProblem(Vexa_ObjectData& object, int vertices);

// Each of the first `indices` indices is at least 0 and below `limit`.
std::string IndicesProblem(Vexa_ObjectData& object, int indices, int limit);

// A sound mesh: the used counts within the capacities (indices whole
// triangles), ArrayLengthsProblem, NonFiniteProblem over the used vertices,
// IndicesProblem with the used vertices as the limit.
std::string MeshProblem(Vexa_ObjectData& object, int verticesUsed, int indicesUsed);

// Neither render buffer is left locked, the vertex buffer holds the working
// arrays' record for each listed vertex, and the index buffer holds the whole
// index array.
std::string RenderBuffersProblem(Vexa_ObjectData& object, const std::vector<int>& vertices);

// MeshProblem and RenderBuffersProblem for EXPECT_TRUE / ASSERT_TRUE.
::testing::AssertionResult MeshIsSound(Vexa_ObjectData& object, int verticesUsed, int indicesUsed);
::testing::AssertionResult RenderBuffersMatch(Vexa_ObjectData& object, const std::vector<int>& vertices);

// Bitwise equality of two meshes (NaN-safe, -0 distinct from +0).
bool SameBits(const MeshArrays& a, const MeshArrays& b);
