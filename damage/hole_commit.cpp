// Commit of one hole-damage pass; see hole_commit.h.
#include "damage/hole_commit.h"

#include <algorithm>

#include "mesh/index_access.h"

namespace crumple {

namespace {

// Removes the found triangles by moving the rest down over them (order kept),
// appends the replacements behind, and zeroes the slots freed at the end so
// they hold triangles of vertex 0, which draw nothing. The triangles between
// two found ones move as one block; nothing before the first found one moves.
// A start that is not a whole triangle of the used range ends the removal, and
// everything after it moves down by what was removed so far.
template <typename Index>
void RewriteIndexes(Index* indices, int used, const std::vector<int>& found, const std::vector<uint32_t>& added) {
    const int wholeEnd = (used / 3) * 3;
    int removed = 0, from = 0;
    for (int start : found) {
        if (start < from || start % 3 != 0 || start >= wholeEnd) break;
        if (removed > 0) std::copy(indices + from, indices + start, indices + from - 3 * removed);
        ++removed;
        from = start + 3;
    }
    if (removed > 0) std::copy(indices + from, indices + wholeEnd, indices + from - 3 * removed);

    const int appendAt = used - 3 * static_cast<int>(found.size());
    for (size_t m = 0; m < added.size(); ++m)
        indices[static_cast<size_t>(appendAt) + m] = static_cast<Index>(added[m]);
    for (int p = appendAt + static_cast<int>(added.size()); p < used; ++p) indices[p] = 0;
}

}  // namespace

bool CommitHolePass(Vexa_ObjectData* o, HolePass& pass, std::vector<int>* vertexes, int* verticesUsed,
                    int* indicesUsed) {
    if (!o) return false;
    int& usedVertices = *verticesUsed;
    int& usedIndices = *indicesUsed;
    const int count = static_cast<int>(pass.newPositions.size());
    const uint32_t base = static_cast<uint32_t>(usedVertices);

    // Drop the new vertices no replacement triangle uses (all pieces left out
    // in the last pass), closing up the lists and renumbering the triangles.
    pass.used.assign(static_cast<size_t>(count), 0);
    for (uint32_t w : pass.newIndexes)
        if (w >= base && w - base < static_cast<uint32_t>(count)) pass.used[w - base] = 1;
    pass.droppedBefore.resize(static_cast<size_t>(count) + 1);
    int dropped = 0;
    for (int k = 0; k < count; ++k) {
        pass.droppedBefore[static_cast<size_t>(k)] = dropped;
        if (!pass.used[static_cast<size_t>(k)]) {
            ++dropped;
            continue;
        }
        if (dropped == 0) continue;
        const size_t from = static_cast<size_t>(k), to = static_cast<size_t>(k - dropped);
        pass.newPositions[to] = pass.newPositions[from];
        pass.newColors[to] = pass.newColors[from];
        pass.newNormals[to] = pass.newNormals[from];
        pass.newTexCoords0[to] = pass.newTexCoords0[from];
        pass.newTexCoords1[to] = pass.newTexCoords1[from];
        if (pass.hasTexCoords2) pass.newTexCoords2[to] = pass.newTexCoords2[from];
    }
    pass.droppedBefore[static_cast<size_t>(count)] = dropped;
    // Only the positions are shortened; the other lists are read up to its length.
    pass.newPositions.resize(static_cast<size_t>(count - dropped));
    for (uint32_t& w : pass.newIndexes) {
        if (w < base) continue;
        const uint32_t ordinal = w - base;
        w -= static_cast<uint32_t>(
            pass.droppedBefore[ordinal < static_cast<uint32_t>(count) ? ordinal : static_cast<uint32_t>(count)]);
    }

    const long long kept = static_cast<long long>(pass.newPositions.size());
    const long long foundCount = static_cast<long long>(pass.triangles.size());
    const long long newIndexCount =
        static_cast<long long>(usedIndices) - 3 * foundCount + static_cast<long long>(pass.newIndexes.size());
    if (usedVertices + kept > o->GetVertexCount()) return false;
    if (static_cast<long long>(usedIndices) < 3 * foundCount || newIndexCount > o->GetIndexCount()) return false;
    // A 16-bit index cannot name vertex 65536: refused like a full buffer
    // rather than let the stored number wrap to another vertex.
    if (usedVertices + kept > AddressableVertexes(o)) return false;

    for (long long k = 0; k < kept; ++k) {
        const size_t from = static_cast<size_t>(k);
        const int w = usedVertices + static_cast<int>(k);
        o->pPositions[w] = pass.newPositions[from];
        o->pNormals[w] = pass.newNormals[from];
        o->pTexCoords0[w] = pass.newTexCoords0[from];
        o->pTexCoords1[w] = pass.newTexCoords1[from];
        if (pass.hasTexCoords2) o->pTexCoords2[w] = pass.newTexCoords2[from];
        o->pColors[w] = pass.newColors[from];
        vertexes->push_back(w);
    }

    if (o->pIndices32)
        RewriteIndexes(o->pIndices32, usedIndices, pass.triangles, pass.newIndexes);
    else if (o->pIndices16)
        RewriteIndexes(o->pIndices16, usedIndices, pass.triangles, pass.newIndexes);

    usedVertices += static_cast<int>(kept);
    usedIndices = static_cast<int>(newIndexCount);
    return true;
}

}  // namespace crumple
