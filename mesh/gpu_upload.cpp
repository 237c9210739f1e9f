// Upload of one pass's changes: the listed vertices and the index array go
// into the object's render buffers.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "mesh/gpu_upload.h"

namespace crumple {

namespace {

// One field of a render record; zeros when the object has no such array.
template <typename T>
void PutField(uint8_t* at, const T* array, int vertex) {
    if (array != nullptr)
        std::memcpy(at, &array[vertex], sizeof(T));
    else
        std::memset(at, 0, sizeof(T));
}

// Locks `bytes` from the start and lets `copy` fill them. A refused lock, or
// one that yields no memory, skips the copy; only a granted lock is undone.
template <typename Buffer, typename Copy>
void WriteLocked(Buffer* buffer, size_t bytes, Copy copy) {
    if (buffer == nullptr || bytes > UINT_MAX) return;
    void* data = nullptr;
    if (buffer->Lock(0, static_cast<UINT>(bytes), &data, 0) != D3D_OK) return;
    if (data != nullptr) copy(static_cast<uint8_t*>(data));
    buffer->Unlock();
}

}  // namespace

void UploadChanges(Vexa_ObjectData* object, const std::vector<int>* list) {
    if (object == nullptr) return;
    const int vc = object->GetVertexCount();
    const int ic = object->GetIndexCount();
    // Set 2 adds 8 bytes to every record.
    const bool hasTexCoords2 = object->HasTexCoords(2);
    const size_t record = hasTexCoords2 ? 52 : 44;

    WriteLocked(object->GetVertexBuffer(), static_cast<size_t>(vc) * record, [&](uint8_t* base) {
        if (list == nullptr) return;
        for (int v : *list) {
            if (v < 0 || v >= vc) continue;
            uint8_t* r = base + static_cast<size_t>(v) * record;
            PutField(r + 0, object->pPositions, v);
            PutField(r + 12, object->pNormals, v);
            PutField(r + 24, object->pColors, v);
            PutField(r + 28, object->pTexCoords0, v);
            PutField(r + 36, object->pTexCoords1, v);
            if (hasTexCoords2) PutField(r + 44, object->pTexCoords2, v);
        }
    });

    // The whole index array, spare entries included, on every call: the
    // host may have written its buffer or the array since the last upload,
    // and nothing short of comparing them all would show it.
    const void* array = object->pIndices16 != nullptr ? static_cast<const void*>(object->pIndices16)
                                                      : static_cast<const void*>(object->pIndices32);
    if (array == nullptr) return;
    const size_t width = object->pIndices16 != nullptr ? sizeof(uint16_t) : sizeof(uint32_t);
    const size_t bytes = static_cast<size_t>(std::max(ic, 0)) * width;
    WriteLocked(object->GetIndexBuffer(), bytes, [&](uint8_t* base) { std::memcpy(base, array, bytes); });
}

}  // namespace crumple
