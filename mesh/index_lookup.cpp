// See index_lookup.h.
#include "mesh/index_lookup.h"

#include "mesh/index_access.h"

namespace crumple {

void SetIndexWithLookup(Vexa_ObjectData* object, std::vector<std::vector<int>>* table, int vertex, int position) {
    if (!object || !table || position < 0 || position >= object->GetIndexCount()) return;
    if (vertex < 0 || vertex >= object->GetVertexCount() || vertex >= AddressableVertexes(object)) return;
    object->SetIndex(vertex, position);
    if (static_cast<size_t>(vertex) >= table->size()) table->resize(static_cast<size_t>(vertex) + 1);
    (*table)[static_cast<size_t>(vertex)].push_back(position);
}

}  // namespace crumple
