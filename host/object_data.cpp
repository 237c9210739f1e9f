// The "3D ObjectData" channel's contract with plug-ins: counts, per-vertex
// setters that remake an array at the current count, index access and the
// placement matrix.
#include "host/object_data.h"

#include <cstring>

#include "host/array_store.h"

using namespace korvane_detail;

namespace {

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    std::memset(&m, 0, sizeof(m));
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

}  // namespace

Vexa_ObjectData::Vexa_ObjectData(bool indices16) : indices16_(indices16), world_(Identity()) {
    ChannelType type;
    std::strncpy(type.szName, VEXA_TYPE_OBJECT_DATA, sizeof(type.szName) - 1);
    type.guidType = kGuidObjectData;
    type.guidType2 = kGuidObjectData;
    SetChannelTypeRecord(type);
}

Vexa_ObjectData::~Vexa_ObjectData() = default;

int Vexa_ObjectData::GetVertexCount() { return vertexCount_; }
int Vexa_ObjectData::GetIndexCount() { return indexCount_; }

// Only the counts change here; each array follows at its next setter call, as
// callers that enlarge a mesh and then refill it expect.
void Vexa_ObjectData::SetVertexCount(int count) { vertexCount_ = count < 0 ? 0 : count; }
void Vexa_ObjectData::SetIndexCount(int count) { indexCount_ = count < 0 ? 0 : count; }

bool Vexa_ObjectData::HasVertexColors() { return colors_ != nullptr; }

bool Vexa_ObjectData::HasTexCoords(int set) {
    if (set < 0 || set > 2) return false;
    return texCoords_[set] != nullptr;
}

// An index array that was never made reads as zeros, like a freshly made one.
int Vexa_ObjectData::GetIndex(int position) {
    if (indices16_) return indices16Store_ ? static_cast<int>(pIndices16[position]) : 0;
    return indices32Store_ ? static_cast<int>(pIndices32[position]) : 0;
}

// Writes entry `position` (caller keeps it below GetIndexCount()); a 16-bit
// array keeps the low 16 bits of `vertex`.
void Vexa_ObjectData::SetIndex(int vertex, int position) {
    if (indices16_) {
        EnsureLength(indices16Store_, idxLen_, pIndices16, indexCount_);
        pIndices16[position] = static_cast<uint16_t>(vertex);
    } else {
        EnsureLength(indices32Store_, idxLen_, pIndices32, indexCount_);
        pIndices32[position] = static_cast<uint32_t>(vertex);
    }
}

D3DXVECTOR3 Vexa_ObjectData::GetVertexPosition(int vertex) {
    if (!positions_) return D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    return pPositions[vertex];
}

void Vexa_ObjectData::SetVertexPosition(D3DXVECTOR3 position, int vertex) {
    EnsureLength(positions_, posLen_, pPositions, vertexCount_);
    pPositions[vertex] = position;
}

void Vexa_ObjectData::SetVertexNormal(D3DXVECTOR3 normal, int vertex) {
    EnsureLength(normals_, nrmLen_, pNormals, vertexCount_);
    pNormals[vertex] = normal;
}

// Sets other than 0, 1 and 2 do not exist; a call naming one changes nothing.
void Vexa_ObjectData::SetVertexTexCoord(int set, D3DXVECTOR2 uv, int vertex) {
    D3DXVECTOR2** pointers[3] = {&pTexCoords0, &pTexCoords1, &pTexCoords2};
    if (set < 0 || set > 2) return;
    EnsureLength(texCoords_[set], tcLen_[set], *pointers[set], vertexCount_);
    (*pointers[set])[vertex] = uv;
}

void Vexa_ObjectData::SetVertexColor(unsigned int color, int vertex) {
    EnsureLength(colors_, colLen_, pColors, vertexCount_);
    pColors[vertex] = color;
}

void Vexa_ObjectData::GetWorldMatrix(D3DXMATRIX* matrix) { *matrix = world_; }
void Vexa_ObjectData::SetWorldMatrix(const D3DXMATRIX& matrix) { world_ = matrix; }
