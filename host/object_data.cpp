// The "3D ObjectData" channel: a mesh as exact-length arrays, the render
// buffers made from them, and the mesh's part of the channel file.
#include "host/object_data.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "host/file_stream.h"

namespace {

// Sanity limits for counts read from a file.
constexpr int32_t kMaxVertices = 1 << 24;
constexpr int32_t kMaxIndices = 1 << 26;

// (Re)makes `store` at exactly `count` zeroed entries unless it already has that
// length; keeps the public pointer and the recorded length in step.
template <typename T>
void EnsureLength(std::unique_ptr<T[]>& store, int& length, T*& pub, int count) {
    if (store && length == count) return;
    store.reset(new T[static_cast<size_t>(count)]());
    length = count;
    pub = store.get();
}

template <typename T>
void Adopt(std::unique_ptr<T[]>& store, int& length, T*& pub, const std::vector<T>* source) {
    if (source == nullptr) {
        store.reset();
        length = 0;
        pub = nullptr;
        return;
    }
    store.reset(new T[source->size()]());
    if (!source->empty()) std::memcpy(store.get(), source->data(), source->size() * sizeof(T));
    length = static_cast<int>(source->size());
    pub = store.get();
}

template <typename T>
std::vector<T> CopyOut(const std::unique_ptr<T[]>& store, int length) {
    if (!store) return {};
    return std::vector<T>(store.get(), store.get() + length);
}

void PutFloat(uint8_t* at, float value) { std::memcpy(at, &value, sizeof(value)); }

void WriteElement(VexaFileSaver& s, const D3DXVECTOR3& v) {
    s.WriteFloat(v.x);
    s.WriteFloat(v.y);
    s.WriteFloat(v.z);
}
void WriteElement(VexaFileSaver& s, const D3DXVECTOR2& v) {
    s.WriteFloat(v.x);
    s.WriteFloat(v.y);
}
void WriteElement(VexaFileSaver& s, uint32_t v) { s.WriteUInt(v); }
void WriteElement(VexaFileSaver& s, uint16_t v) { s.WriteUInt(v); }

bool ReadElement(VexaFileLoader& l, D3DXVECTOR3* v) {
    return l.ReadFloat(&v->x) && l.ReadFloat(&v->y) && l.ReadFloat(&v->z);
}
bool ReadElement(VexaFileLoader& l, D3DXVECTOR2* v) { return l.ReadFloat(&v->x) && l.ReadFloat(&v->y); }
bool ReadElement(VexaFileLoader& l, uint32_t* v) { return l.ReadUInt(v); }

// An array in the file: present flag, then (when present) its own length and entries.
template <typename T>
void WriteArray(VexaFileSaver& s, const std::unique_ptr<T[]>& store, int length) {
    s.WriteUInt(store ? 1u : 0u);
    if (!store) return;
    s.WriteInt(length);
    for (int i = 0; i < length; ++i) WriteElement(s, store[static_cast<size_t>(i)]);
}

// Grows the vector only as entries actually arrive, so a damaged length cannot
// make a large allocation ahead of the data.
template <typename T>
bool ReadArray(VexaFileLoader& l, int32_t limit, bool* present, std::vector<T>* out) {
    uint32_t flag = 0;
    if (!l.ReadUInt(&flag)) return false;
    if (flag > 1) {
        l.Fail();
        return false;
    }
    *present = flag == 1;
    out->clear();
    if (!*present) return true;
    int32_t length = 0;
    if (!l.ReadCount(&length, limit)) return false;
    out->reserve(static_cast<size_t>(length < 4096 ? length : 4096));
    for (int32_t i = 0; i < length; ++i) {
        T value;
        if (!ReadElement(l, &value)) return false;
        out->push_back(value);
    }
    return true;
}

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    std::memset(&m, 0, sizeof(m));
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// The host fills its own buffers directly rather than through Lock, so the
// lock counter shows only the locks of the plug-in.
uint8_t* HostBytes(RenderBufferMemory& buffer) { return const_cast<uint8_t*>(buffer.Data()); }

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

void Vexa_ObjectData::ReleaseBuffers() {
    vertexBuffer_.reset();
    indexBuffer_.reset();
    ++releaseCalls_;
}

// Reads: counts and arrays. Writes: both render buffers, new and filled.
void Vexa_ObjectData::CreateBuffers() {
    vertexBuffer_.reset(new IDirect3DVertexBuffer9(static_cast<size_t>(vertexCount_) * VertexRecordSize()));
    FillVertexBuffer();
    indexBuffer_.reset(new IDirect3DIndexBuffer9(static_cast<size_t>(indexCount_) * (indices16_ ? 2u : 4u)));
    FillIndexBuffer();
}

void Vexa_ObjectData::GetWorldMatrix(D3DXMATRIX* matrix) { *matrix = world_; }

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

// Reads: `mesh`. Throws std::invalid_argument when an array's length does not
// match the positions or an index is out of range for the vertices or the width.
std::shared_ptr<Vexa_ObjectData> Vexa_ObjectData::FromArrays(const MeshArrays& mesh) {
    const size_t n = mesh.positions.size();
    auto check = [n](size_t length, const char* what) {
        if (length != 0 && length != n)
            throw std::invalid_argument(std::string("MeshArrays: ") + what + " has " + std::to_string(length) +
                                        " entries, positions have " + std::to_string(n));
    };
    check(mesh.normals.size(), "normals");
    check(mesh.texCoords0.size(), "texCoords0");
    check(mesh.texCoords1.size(), "texCoords1");
    check(mesh.texCoords2.size(), "texCoords2");
    check(mesh.colors.size(), "colors");
    if (n > static_cast<size_t>(kMaxVertices) || mesh.indices.size() > static_cast<size_t>(kMaxIndices))
        throw std::invalid_argument("MeshArrays: too many vertices or indices");
    for (size_t p = 0; p < mesh.indices.size(); ++p) {
        const uint32_t index = mesh.indices[p];
        if (index >= n)
            throw std::invalid_argument("MeshArrays: index " + std::to_string(index) + " at position " +
                                        std::to_string(p) + " is not below the vertex count " +
                                        std::to_string(n));
        if (mesh.indices16 && index > 0xFFFFu)
            throw std::invalid_argument("MeshArrays: index " + std::to_string(index) + " at position " +
                                        std::to_string(p) + " does not fit 16 bits");
    }

    auto object = std::make_shared<Vexa_ObjectData>(mesh.indices16);
    object->SetVertexCount(static_cast<int>(n));
    object->SetIndexCount(static_cast<int>(mesh.indices.size()));
    const std::vector<D3DXVECTOR3> zeros3(n, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    const std::vector<D3DXVECTOR2> zeros2(n, D3DXVECTOR2(0.0f, 0.0f));
    Adopt(object->positions_, object->posLen_, object->pPositions, &mesh.positions);
    Adopt(object->normals_, object->nrmLen_, object->pNormals, mesh.normals.empty() ? &zeros3 : &mesh.normals);
    Adopt(object->texCoords_[0], object->tcLen_[0], object->pTexCoords0,
          mesh.texCoords0.empty() ? &zeros2 : &mesh.texCoords0);
    Adopt(object->texCoords_[1], object->tcLen_[1], object->pTexCoords1,
          mesh.texCoords1.empty() ? nullptr : &mesh.texCoords1);
    Adopt(object->texCoords_[2], object->tcLen_[2], object->pTexCoords2,
          mesh.texCoords2.empty() ? nullptr : &mesh.texCoords2);
    Adopt(object->colors_, object->colLen_, object->pColors, mesh.colors.empty() ? nullptr : &mesh.colors);
    for (size_t p = 0; p < mesh.indices.size(); ++p)
        object->SetIndex(static_cast<int>(mesh.indices[p]), static_cast<int>(p));
    return object;
}

MeshArrays Vexa_ObjectData::ToArrays() const {
    MeshArrays mesh;
    mesh.positions = CopyOut(positions_, posLen_);
    mesh.normals = CopyOut(normals_, nrmLen_);
    mesh.texCoords0 = CopyOut(texCoords_[0], tcLen_[0]);
    mesh.texCoords1 = CopyOut(texCoords_[1], tcLen_[1]);
    mesh.texCoords2 = CopyOut(texCoords_[2], tcLen_[2]);
    mesh.colors = CopyOut(colors_, colLen_);
    if (indices16_ && indices16Store_)
        mesh.indices.assign(indices16Store_.get(), indices16Store_.get() + idxLen_);
    else if (!indices16_ && indices32Store_)
        mesh.indices.assign(indices32Store_.get(), indices32Store_.get() + idxLen_);
    mesh.indices16 = indices16_;
    return mesh;
}

void Vexa_ObjectData::SetWorldMatrix(const D3DXMATRIX& matrix) { world_ = matrix; }

// Writes: index width, counts, each array at its own length (or absent), the
// world matrix, then the base part (children).
bool Vexa_ObjectData::SaveChannel(VexaFileSaver& saver) {
    saver.WriteUInt(indices16_ ? 1u : 0u);
    saver.WriteInt(vertexCount_);
    saver.WriteInt(indexCount_);
    WriteArray(saver, positions_, posLen_);
    WriteArray(saver, normals_, nrmLen_);
    for (int set = 0; set < 3; ++set) WriteArray(saver, texCoords_[set], tcLen_[set]);
    WriteArray(saver, colors_, colLen_);
    if (indices16_)
        WriteArray(saver, indices16Store_, idxLen_);
    else
        WriteArray(saver, indices32Store_, idxLen_);
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) saver.WriteFloat(world_.m[row][col]);
    return Vexa_Channel::SaveChannel(saver);
}

// Reads everything before changing the mesh, so a damaged file leaves it as it
// was. The index width is the file's, whatever this object was made with. The
// render buffers are dropped and remade from the loaded arrays when next asked for.
bool Vexa_ObjectData::LoadChannel(VexaFileLoader& loader, Vexa_ChannelGroup* group) {
    uint32_t wide16 = 0;
    int32_t vertexCount = 0, indexCount = 0;
    if (!loader.ReadUInt(&wide16)) return false;
    if (wide16 > 1) {
        loader.Fail();
        return false;
    }
    if (!loader.ReadCount(&vertexCount, kMaxVertices) || !loader.ReadCount(&indexCount, kMaxIndices))
        return false;

    bool hasPos, hasNrm, hasTc[3], hasCol, hasIdx;
    std::vector<D3DXVECTOR3> pos, nrm;
    std::vector<D3DXVECTOR2> tc[3];
    std::vector<uint32_t> col, idx;
    if (!ReadArray(loader, kMaxVertices, &hasPos, &pos) || !ReadArray(loader, kMaxVertices, &hasNrm, &nrm))
        return false;
    for (int set = 0; set < 3; ++set)
        if (!ReadArray(loader, kMaxVertices, &hasTc[set], &tc[set])) return false;
    if (!ReadArray(loader, kMaxVertices, &hasCol, &col) || !ReadArray(loader, kMaxIndices, &hasIdx, &idx))
        return false;
    // The channel reads every array up to the counts, through the pointers:
    // a count past an array it names would be read past its end.
    const auto shorter = [](bool has, size_t length, int32_t count) {
        return has && length < static_cast<size_t>(count);
    };
    if (shorter(hasPos, pos.size(), vertexCount) || shorter(hasNrm, nrm.size(), vertexCount) ||
        shorter(hasTc[0], tc[0].size(), vertexCount) || shorter(hasTc[1], tc[1].size(), vertexCount) ||
        shorter(hasTc[2], tc[2].size(), vertexCount) || shorter(hasCol, col.size(), vertexCount) ||
        shorter(hasIdx, idx.size(), indexCount)) {
        loader.Fail();
        return false;
    }
    if (wide16 == 1) {
        for (uint32_t value : idx) {
            if (value > 0xFFFFu) {
                loader.Fail();
                return false;
            }
        }
    }
    D3DXMATRIX world;
    for (int row = 0; row < 4; ++row)
        for (int c = 0; c < 4; ++c)
            if (!loader.ReadFloat(&world.m[row][c])) return false;
    if (!Vexa_Channel::LoadChannel(loader, group)) return false;

    indices16_ = wide16 == 1;
    vertexCount_ = vertexCount;
    indexCount_ = indexCount;
    Adopt(positions_, posLen_, pPositions, hasPos ? &pos : nullptr);
    Adopt(normals_, nrmLen_, pNormals, hasNrm ? &nrm : nullptr);
    Adopt(texCoords_[0], tcLen_[0], pTexCoords0, hasTc[0] ? &tc[0] : nullptr);
    Adopt(texCoords_[1], tcLen_[1], pTexCoords1, hasTc[1] ? &tc[1] : nullptr);
    Adopt(texCoords_[2], tcLen_[2], pTexCoords2, hasTc[2] ? &tc[2] : nullptr);
    Adopt(colors_, colLen_, pColors, hasCol ? &col : nullptr);
    indices16Store_.reset();
    indices32Store_.reset();
    pIndices16 = nullptr;
    pIndices32 = nullptr;
    idxLen_ = 0;
    if (hasIdx) {
        if (indices16_) {
            indices16Store_.reset(new uint16_t[idx.size()]());
            for (size_t p = 0; p < idx.size(); ++p) indices16Store_[p] = static_cast<uint16_t>(idx[p]);
            pIndices16 = indices16Store_.get();
        } else {
            Adopt(indices32Store_, idxLen_, pIndices32, &idx);
        }
        idxLen_ = static_cast<int>(idx.size());
    }
    world_ = world;
    vertexBuffer_.reset();
    indexBuffer_.reset();
    return true;
}
