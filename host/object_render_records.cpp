// The object-data channel's render buffers: one record per vertex (44 bytes,
// or 52 with texture set 2) and the index array at its own width, made and
// filled from the working arrays.
#include <cstring>

#include "host/object_data.h"

namespace {

void PutFloat(uint8_t* at, float value) { std::memcpy(at, &value, sizeof(value)); }

// The host fills its own buffers directly rather than through Lock, so the
// lock counter shows only the locks of the plug-in.
uint8_t* HostBytes(RenderBufferMemory& buffer) { return const_cast<uint8_t*>(buffer.Data()); }

}  // namespace

void Vexa_ObjectData::ReleaseBuffers() {
    vertexBuffer_.reset();
    indexBuffer_.reset();
}

// Reads: counts and arrays. Writes: both render buffers, new and filled.
void Vexa_ObjectData::CreateBuffers() {
    vertexBuffer_.reset(new IDirect3DVertexBuffer9(static_cast<size_t>(vertexCount_) * VertexRecordSize()));
    FillVertexBuffer();
    indexBuffer_.reset(new IDirect3DIndexBuffer9(static_cast<size_t>(indexCount_) * (indices16_ ? 2u : 4u)));
    FillIndexBuffer();
}

IDirect3DVertexBuffer9* Vexa_ObjectData::GetVertexBuffer() {
    const size_t needed = static_cast<size_t>(vertexCount_) * VertexRecordSize();
    if (!vertexBuffer_ || vertexBuffer_->GetSize() != needed) {
        vertexBuffer_.reset(new IDirect3DVertexBuffer9(needed));
        FillVertexBuffer();
    }
    return vertexBuffer_.get();
}

IDirect3DIndexBuffer9* Vexa_ObjectData::GetIndexBuffer() {
    const size_t needed = static_cast<size_t>(indexCount_) * (indices16_ ? 2u : 4u);
    if (!indexBuffer_ || indexBuffer_->GetSize() != needed) {
        indexBuffer_.reset(new IDirect3DIndexBuffer9(needed));
        FillIndexBuffer();
    }
    return indexBuffer_.get();
}

int Vexa_ObjectData::VertexRecordSize() const { return texCoords_[2] ? 52 : 44; }

// Record v at v * size: position, normal, colour, set 0, set 1 (and set 2 when
// it exists). Entries an array does not have are left zero.
void Vexa_ObjectData::FillVertexBuffer() {
    uint8_t* base = HostBytes(*vertexBuffer_);
    const size_t size = static_cast<size_t>(VertexRecordSize());
    const size_t records = vertexBuffer_->GetSize() / size;
    for (size_t v = 0; v < records; ++v) {
        uint8_t* r = base + v * size;
        const int i = static_cast<int>(v);
        if (i < posLen_) {
            PutFloat(r + 0, positions_[v].x);
            PutFloat(r + 4, positions_[v].y);
            PutFloat(r + 8, positions_[v].z);
        }
        if (i < nrmLen_) {
            PutFloat(r + 12, normals_[v].x);
            PutFloat(r + 16, normals_[v].y);
            PutFloat(r + 20, normals_[v].z);
        }
        if (i < colLen_) {
            const uint32_t c = colors_[v];
            std::memcpy(r + 24, &c, sizeof(c));
        }
        for (int set = 0; set < (size == 52 ? 3 : 2); ++set) {
            if (i >= tcLen_[set]) continue;
            PutFloat(r + 28 + 8 * set, texCoords_[set][v].x);
            PutFloat(r + 32 + 8 * set, texCoords_[set][v].y);
        }
    }
}

// Entry p holds index position p at the array's own width; missing entries stay zero.
void Vexa_ObjectData::FillIndexBuffer() {
    uint8_t* base = HostBytes(*indexBuffer_);
    const size_t width = indices16_ ? 2 : 4;
    const size_t entries = indexBuffer_->GetSize() / width;
    const size_t available = static_cast<size_t>(idxLen_) < entries ? static_cast<size_t>(idxLen_) : entries;
    if (indices16_ && indices16Store_)
        std::memcpy(base, indices16Store_.get(), available * width);
    else if (!indices16_ && indices32Store_)
        std::memcpy(base, indices32Store_.get(), available * width);
}
