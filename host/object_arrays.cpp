// The object-data channel to and from plain arrays, for hosts and tools that
// build a mesh or read one back.
#include <stdexcept>
#include <string>

#include "host/array_store.h"
#include "host/object_data.h"

using namespace korvane_detail;

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
