// The working arrays of one object as the damage and mesh algorithms see
// them: the arrays (any may be null), their capacities and the used counts.
// A view owns nothing; it is made for one call from the object-data channel.
#pragma once

#include <cstdint>

#include "host/object_data.h"

namespace crumple {

struct MeshView {
    D3DXVECTOR3* positions = nullptr;
    D3DXVECTOR3* normals = nullptr;
    D3DXVECTOR2* texCoords[3] = {nullptr, nullptr, nullptr};
    uint32_t* colors = nullptr;
    // One of the two, by the object's index width.
    uint16_t* indices16 = nullptr;
    uint32_t* indices32 = nullptr;
    int vertexCapacity = 0;  // entries of every vertex array
    int indexCapacity = 0;   // entries of the index array
    int verticesUsed = 0;
    int indicesUsed = 0;
};

// The object's arrays and counts as they stand, with the used counts given.
inline MeshView ViewOf(Vexa_ObjectData& object, int verticesUsed, int indicesUsed) {
    static_assert(sizeof(unsigned int) == sizeof(uint32_t), "colours are 32-bit");
    MeshView view;
    view.positions = object.pPositions;
    view.normals = object.pNormals;
    view.texCoords[0] = object.pTexCoords0;
    view.texCoords[1] = object.pTexCoords1;
    view.texCoords[2] = object.pTexCoords2;
    view.colors = reinterpret_cast<uint32_t*>(object.pColors);
    // The 32-bit array when there is one, as every reader of the index array
    // takes it.
    view.indices32 = object.pIndices32;
    view.indices16 = object.pIndices32 ? nullptr : object.pIndices16;
    view.vertexCapacity = object.GetVertexCount();
    view.indexCapacity = object.GetIndexCount();
    view.verticesUsed = verticesUsed;
    view.indicesUsed = indicesUsed;
    return view;
}

}  // namespace crumple
