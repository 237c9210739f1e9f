// A channel object driven directly (no children) over a mesh padded like the
// working buffers, for the damage tests that call one step at a time.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "crumple_test_peer.h"
#include "host/object_data.h"

// Spare vertices at the origin and spare indices reading 1, as the working
// buffers have them.
inline MeshArrays WithSpareRoom(MeshArrays mesh, int spareVertexes, int spareIndexes) {
    const bool hasTex1 = !mesh.texCoords1.empty(), hasTex2 = !mesh.texCoords2.empty();
    for (int i = 0; i < spareVertexes; ++i) {
        mesh.positions.push_back({0.0f, 0.0f, 0.0f});
        mesh.normals.push_back({0.0f, 0.0f, 0.0f});
        mesh.texCoords0.push_back({0.0f, 0.0f});
        if (hasTex1) mesh.texCoords1.push_back({0.0f, 0.0f});
        if (hasTex2) mesh.texCoords2.push_back({0.0f, 0.0f});
        mesh.colors.push_back(0xFF000000u);
    }
    mesh.indices.insert(mesh.indices.end(), static_cast<size_t>(spareIndexes), 1u);
    return mesh;
}

struct DirectChannel {
    DirectChannel(const MeshArrays& mesh, int usedVertexes, int usedIndexes)
        : object(Vexa_ObjectData::FromArrays(mesh)), peer(channel) {
        peer.pObjectData() = object.get();
        peer.iVertexesUsed() = usedVertexes;
        peer.iIndexesUsed() = usedIndexes;
    }
    // A padded copy of `mesh` with everything of `mesh` in use.
    static std::unique_ptr<DirectChannel> Padded(const MeshArrays& mesh, int spareVertexes, int spareIndexes) {
        return std::make_unique<DirectChannel>(WithSpareRoom(mesh, spareVertexes, spareIndexes),
                                               static_cast<int>(mesh.positions.size()),
                                               static_cast<int>(mesh.indices.size()));
    }
    Vexa_ObjectData& o() { return *object; }

    Kel_Crumple channel;
    std::shared_ptr<Vexa_ObjectData> object;
    Kel_CrumpleTestPeer peer;
};

// Bitwise equality of two meshes as arrays (NaN-safe, -0 distinct from +0).
inline bool SameBits(const MeshArrays& a, const MeshArrays& b) {
    auto same = [](const auto& x, const auto& y) {
        return x.size() == y.size() && (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(x[0])) == 0);
    };
    return same(a.positions, b.positions) && same(a.normals, b.normals) && same(a.texCoords0, b.texCoords0) &&
           same(a.texCoords1, b.texCoords1) && same(a.texCoords2, b.texCoords2) && same(a.colors, b.colors) &&
           a.indices == b.indices;
}

// Every used triangle's centre lies outside the sphere or on it.
inline ::testing::AssertionResult NoCentreInside(Vexa_ObjectData& o, int indexesUsed, D3DXVECTOR3 c, float radius) {
    for (int t = 0; t < indexesUsed; t += 3) {
        D3DXVECTOR3 g(0, 0, 0);
        for (int j = 0; j < 3; ++j) {
            const D3DXVECTOR3 p = o.pPositions[o.GetIndex(t + j)];
            g = D3DXVECTOR3(g.x + p.x / 3, g.y + p.y / 3, g.z + p.z / 3);
        }
        const double s = std::pow(g.x - c.x, 2) + std::pow(g.y - c.y, 2) + std::pow(g.z - c.z, 2);
        if (s < static_cast<double>(radius) * radius * (1 - 1e-5))
            return ::testing::AssertionFailure() << "triangle at " << t << " has its centre inside";
    }
    return ::testing::AssertionSuccess();
}
