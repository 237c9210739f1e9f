// Alpha marks: hit vertices wear bits off the alpha byte of their colour,
// which the renderer shows as damage.
#include "plugin/Kel_Crumple.h"

// Reads: iAlphaDamageValue. Writes: the alpha byte of each listed vertex's
// colour, ANDed with the value's lowest byte; the other bytes carry damage
// state of their own and stay. Vertex numbers outside the arrays are skipped.
void Kel_Crumple::ApplyAlphaDamage(std::vector<int>* list) {
    Vexa_ObjectData* o = pObjectData;
    if (!o || !list || !o->pColors) return;
    const int capacity = o->GetVertexCount();
    // Unsigned shift: a negative value keeps its low byte (-1 masks nothing).
    const uint32_t mask = (static_cast<uint32_t>(iAlphaDamageValue) << 24) + 0x00FFFFFFu;
    for (size_t k = 0; k < list->size(); ++k) {
        const int v = (*list)[k];
        if (v >= 0 && v < capacity) o->pColors[v] &= mask;
    }
}
