// Working lists of one hole-damage call: what a pass found and what it will
// add, kept apart from the mesh until the pass commits.
#pragma once

#include <cstdint>
#include <cstring>
#include <algorithm>
#include <vector>

#include "host/d3d9_stand_in.h"

namespace crumple {

// This pass's new vertices by exact position, so that neighbouring triangles
// share the vertex on a common split edge. Positions match as == does: -0 and
// +0 share a key, and a NaN component matches nothing. A later vertex at the
// same position replaces the earlier one (the last match wins).
class PositionIndex {
public:
    // Empties only the slots in use: a pass fills a small part of the table.
    void Clear() {
        for (size_t at : occupied_) slots_[at] = Slot();
        occupied_.clear();
    }
    void Reserve(size_t count) {
        size_t size = 16;
        while (size < 2 * count) size *= 2;
        if (size > slots_.size()) Rehash(size);
        occupied_.reserve(count);
    }

    void Add(const D3DXVECTOR3& position, int ordinal) {
        Key key;
        if (!MakeKey(position, &key)) return;
        if (2 * (occupied_.size() + 1) > slots_.size()) Rehash(slots_.empty() ? 16 : 2 * slots_.size());
        const size_t at = Probe(key);
        Slot& slot = slots_[at];
        if (slot.ordinal < 0) occupied_.push_back(at);
        slot.key = key;
        slot.ordinal = ordinal;
    }

    // Ordinal of the last vertex added at `position`, -1 when none.
    int Find(const D3DXVECTOR3& position) const {
        Key key;
        if (slots_.empty() || !MakeKey(position, &key)) return -1;
        return slots_[Probe(key)].ordinal;
    }

private:
    struct Key {
        uint32_t x, y, z;
        bool operator==(const Key& o) const { return x == o.x && y == o.y && z == o.z; }
    };
    // Open addressing over a power-of-two table at most half full, kept
    // between passes: a hit adds hundreds of vertices, and a node per vertex
    // was most of the pass's allocations.
    struct Slot {
        Key key{0, 0, 0};
        int ordinal = -1;
    };

    // Three independent products, so the slot is known a few cycles after
    // the key: a pass probes several times per triangle.
    static size_t Hash(const Key& k) {
        const uint64_t h = k.x * 0x9E3779B97F4A7C15ull ^ k.y * 0xC2B2AE3D27D4EB4Full ^ k.z * 0x165667B19E3779F9ull;
        return static_cast<size_t>((h ^ (h >> 29)) >> 21);
    }
    // The slot holding `key`, or the empty one where it would go.
    size_t Probe(const Key& key) const {
        const size_t mask = slots_.size() - 1;
        size_t at = Hash(key) & mask;
        while (slots_[at].ordinal >= 0 && !(slots_[at].key == key)) at = (at + 1) & mask;
        return at;
    }
    void Rehash(size_t size) {
        std::vector<Slot> old(size);
        old.swap(slots_);
        for (size_t& at : occupied_) {
            const Slot slot = old[at];
            at = Probe(slot.key);
            slots_[at] = slot;
        }
    }

    static bool Bits(float value, uint32_t* bits) {
        if (value != value) return false;
        if (value == 0.0f) value = 0.0f;  // -0 == +0
        std::memcpy(bits, &value, sizeof value);
        return true;
    }
    static bool MakeKey(const D3DXVECTOR3& p, Key* key) {
        return Bits(p.x, &key->x) && Bits(p.y, &key->y) && Bits(p.z, &key->z);
    }

    std::vector<Slot> slots_;
    std::vector<size_t> occupied_;
};

inline bool SamePosition(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

// Ordinals of existing new vertices that the split edges of one triangle
// reuse, -1 for none. An entry counts only for the first split midpoint it
// equals, in the order 0-1, 0-2, 1-2, so a midpoint equal to an earlier split
// one can never be matched itself.
struct SharedMidpoints {
    int m01 = -1, m02 = -1, m12 = -1;
};

inline SharedMidpoints FindSharedMidpoints(const PositionIndex& index, bool split01, bool split02, bool split12,
                                           const D3DXVECTOR3& mid01, const D3DXVECTOR3& mid02,
                                           const D3DXVECTOR3& mid12) {
    SharedMidpoints shared;
    if (split01) shared.m01 = index.Find(mid01);
    if (split02 && !(split01 && SamePosition(mid02, mid01))) shared.m02 = index.Find(mid02);
    if (split12 && !(split01 && SamePosition(mid12, mid01)) && !(split02 && SamePosition(mid12, mid02)))
        shared.m12 = index.Find(mid12);
    return shared;
}

// What one hole-damage call works in, pass after pass. The lists keep their
// storage from one call to the next; they hold no state between calls.
struct HolePass {
    // Starts of the triangles the current pass found, ascending, once each.
    std::vector<int> triangles;
    // Candidate vertices of every pass so far; later passes search with all.
    std::vector<int> holeVertexes;
    // The pass's new vertices, parallel lists; entry k becomes vertex
    // (used vertices) + k. Set 2 is filled only when the mesh has it.
    std::vector<D3DXVECTOR3> newPositions;
    std::vector<D3DXVECTOR3> newNormals;
    std::vector<D3DXVECTOR2> newTexCoords0;
    std::vector<D3DXVECTOR2> newTexCoords1;
    std::vector<D3DXVECTOR2> newTexCoords2;
    std::vector<uint32_t> newColors;
    // Replacement triangles, three vertex numbers each, in emission order.
    std::vector<uint32_t> newIndexes;
    bool hasTexCoords2 = false;

    PositionIndex positions;
    // Empties the pass's new vertices, triangles and midpoint table; the
    // storage stays for the next pass.
    void ClearNewWork() {
        newPositions.clear();
        newNormals.clear();
        newTexCoords0.clear();
        newTexCoords1.clear();
        newTexCoords2.clear();
        newColors.clear();
        newIndexes.clear();
        positions.Clear();
    }

    // Commit scratch, kept between passes: which new vertices a triangle uses,
    // and how many were dropped before each.
    std::vector<char> used;
    std::vector<int> droppedBefore;
};

}  // namespace crumple
