// Slow, literal versions of the damage steps that the plug-in does a faster
// way. Tests run both on random meshes and expect identical results.
#pragma once

#include <set>
#include <vector>

#include "crumple_test_peer.h"
#include "host/object_data.h"

// Scan over `count` positions from `start`: every listed vertex compared in
// list order, the index re-read for every comparison, the rest of a triangle
// skipped after a hit.
void LiteralScanTriangles(Vexa_ObjectData& o, int start, int count, const std::vector<int>& vertexes,
                          std::set<int>* triangles);

// The lookup table built from nothing: GetVertexCount() entries, positions
// below `indexesUsed` read through GetIndex.
std::vector<std::vector<int>> LiteralLookupTable(Vexa_ObjectData& o, int indexesUsed);

// Both search modes as the channel chooses them (start 0 and 75 or more
// listed vertices: through the table).
void LiteralSearchTriangles(Vexa_ObjectData& o, int indexesUsed, int start, int count,
                            const std::vector<int>& vertexes, std::set<int>* triangles);

// The triangle whose corner angles at h sum closest to 2*pi, every used
// triangle measured through the host calls; -1 when none is within 0.25.
int LiteralContainingTriangle(Kel_CrumpleTestPeer& peer, Vexa_ObjectData& o, int indexesUsed, D3DXVECTOR3 h);

// Hole damage on the peer's channel and mesh with the linear shared-midpoint
// search, literal triangle search and the literal commit (dropped ordinals
// counted one by one).
void LiteralHoleDamage(Kel_CrumpleTestPeer& peer, float radius, std::vector<int>* vertexes);
