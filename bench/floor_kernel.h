// The floor a hit is measured against: the least memory traffic any correct
// hit needs on a mesh of a given size, timed in the same run as the hit.
#pragma once

#include <cstdint>
#include <vector>

#include "host/d3d9_stand_in.h"

struct FloorMesh {
    std::vector<D3DXVECTOR3> positions;
    std::vector<uint32_t> indices;
    // Scratch of the kernel: sized once, so a run allocates nothing.
    std::vector<int> inside;
    std::vector<uint32_t> kept;
    std::vector<uint32_t> uploaded;
    // An index array at the working capacity and its render copy, for the
    // floor of a hit that copies the whole array to the render buffer.
    std::vector<uint32_t> capacity;
    std::vector<uint32_t> capacityUploaded;
    std::vector<uint8_t> records;
};

// The positions and indices of a plain grid of `cells` x `cells` cells, with
// an index capacity of `indexMultiplier` times the used indices.
FloorMesh MakeFloorMesh(int cells, int indexMultiplier = 2);

// One floor run: one pass over all positions testing the sphere (squared
// distance strictly below r^2), one find-and-compact pass over the index array
// dropping every 100th triangle (shifted by `salt`), one copy of the kept
// indices into an upload buffer, and moving and packing up to 300 of the
// vertices inside into 44-byte records. Returns a value that depends on all
// of it, for the caller to keep. With `wholeCopy`, also one copy of the whole
// index capacity: the least a hit that uploads the whole array adds.
uint64_t RunFloor(FloorMesh& mesh, D3DXVECTOR3 centre, float radius, int salt, bool wholeCopy = false);

// Median time of `runs` floor runs in seconds.
double TimeFloor(FloorMesh& mesh, D3DXVECTOR3 centre, float radius, int runs, bool wholeCopy = false);
