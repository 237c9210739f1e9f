// The object-data channel's part of the channel file: index width, counts,
// each array at its own length (or absent), the placement matrix, then the
// children.
#include <vector>

#include "host/array_store.h"
#include "host/file_stream.h"
#include "host/object_data.h"

using namespace korvane_detail;

namespace {

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

}  // namespace

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
