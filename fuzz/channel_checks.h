// What must hold of a "Crumple" channel's mesh after every host update, read
// the way the channel itself reads its used counts.
#pragma once

#include <string>

#include "host/object_data.h"
#include "host/vexa_channel.h"

namespace crumplefuzz {

// Children 22 and 23 as the channel takes them for a pass: truncated, held
// within the capacities, the index count rounded down to whole triangles.
// `working` is false while child 22 holds exactly 0 (no working buffers yet).
struct UsedCounts {
    bool working = false;
    int vertices = 0;
    int indices = 0;
};

// Reads: children 2, 22 and 23. False when one of them is missing or of
// another type.
bool ReadUsedCounts(Vexa_Channel& channel, UsedCounts* counts);

// True when every array of `object` has its vertex count (set 1, set 2 and
// colours may be absent) and the index array its index count.
bool ArraysMatchCounts(Vexa_ObjectData& object);

// Memory the harness lets an update or a reset make: repeated buffer creation
// multiplies the capacities, and a channel file can name large counts.
// Spending memory on request is the host's choice, not a finding.
constexpr double kMaxVertexCapacity = 1 << 18;
constexpr double kMaxIndexCapacity = 1 << 20;

// Reads: children 2, 16, 17, 22 and 28. False when the next update would work
// on, or make, arrays past the caps above.
bool UpdateFitsCaps(Vexa_Channel& channel);
// False when ClearDamage would remake child 2 past the caps.
bool ResetFitsCaps(Vexa_Channel& channel);

// The host's side of the mesh just before an update.
struct StateBefore {
    bool present = false;  // children 2, 22 and 23 exist with their types
    bool arraysSound = false;  // ArraysMatchCounts of child 2
    // Every index the update reads names a vertex it counts as used: the
    // whole mesh before working buffers exist, the used part after.
    bool indicesSound = false;
    // Every entry of the index array names a vertex within the capacity.
    bool indicesInCapacity = false;
    // Positions, normals and texture coordinates are finite throughout.
    bool finite = false;
    float vertexesChild = 0.0f, indexesChild = 0.0f;  // children 22 and 23 as they were
    int vertexCount = 0, indexCount = 0;              // child 2's counts as they were
};

StateBefore TakeStateBefore(Vexa_Channel& channel);

// Reads: children 2, 22 and 23 and the object's render buffers, after one
// update that started from `before`. Returns what is wrong, or empty:
// - counts a damage pass wrote into 22 and 23 are whole numbers within the
//   capacities, the index count whole triangles; buffer creation (child 22
//   was 0) writes the counts the object had before it;
// - arrays keep their lengths, and no position, normal or texture coordinate
//   of a vertex in use is non-finite, when the mesh was finite before (the
//   outputs 24 to 27 may echo a non-finite setting or collision);
// - every used index names a used vertex, or a vertex within the capacity
//   when the state before already broke that (no index check when not even
//   that held);
// - both render buffers, when they exist, hold the working arrays' record
//   for every used vertex and the whole index array.
std::string CheckAfterUpdate(Vexa_Channel& channel, const StateBefore& before);

}  // namespace crumplefuzz
