// The floor kernel: sphere test, index compaction, index upload, vertex pack.
#include "floor_kernel.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "test_scene.h"

FloorMesh MakeFloorMesh(int cells, int indexMultiplier) {
    MeshArrays grid = MakeGridMesh(cells, cells, 1.0f);
    FloorMesh mesh;
    mesh.positions = std::move(grid.positions);
    mesh.indices = std::move(grid.indices);
    mesh.inside.reserve(mesh.positions.size());
    mesh.kept.resize(mesh.indices.size());
    mesh.uploaded.resize(mesh.indices.size());
    mesh.records.resize(300 * 44);
    mesh.capacity.assign(mesh.indices.size() * static_cast<size_t>(indexMultiplier), 1u);
    std::copy(mesh.indices.begin(), mesh.indices.end(), mesh.capacity.begin());
    mesh.capacityUploaded.resize(mesh.capacity.size());
    return mesh;
}

uint64_t RunFloor(FloorMesh& mesh, D3DXVECTOR3 centre, float radius, int salt, bool wholeCopy) {
    const float r2 = radius * radius;
    mesh.inside.clear();
    const int vertexCount = static_cast<int>(mesh.positions.size());
    for (int v = 0; v < vertexCount; ++v) {
        const D3DXVECTOR3& p = mesh.positions[v];
        const float dx = p.x - centre.x, dy = p.y - centre.y, dz = p.z - centre.z;
        if (dx * dx + dy * dy + dz * dz < r2) mesh.inside.push_back(v);
    }

    const size_t triangles = mesh.indices.size() / 3;
    size_t kept = 0;
    for (size_t t = 0; t < triangles; ++t) {
        if ((t + static_cast<size_t>(salt)) % 100 == 0) continue;
        std::memcpy(&mesh.kept[kept], &mesh.indices[3 * t], 3 * sizeof(uint32_t));
        kept += 3;
    }
    std::memcpy(mesh.uploaded.data(), mesh.kept.data(), kept * sizeof(uint32_t));

    const size_t moved = std::min<size_t>(300, mesh.inside.size());
    for (size_t k = 0; k < moved; ++k) {
        D3DXVECTOR3& p = mesh.positions[mesh.inside[k]];
        p.y = -p.y;  // flips back on the next run, so the grid stays the grid
        uint8_t* record = &mesh.records[44 * k];
        std::memcpy(record, &p, sizeof p);
        std::memset(record + sizeof p, 0, 44 - sizeof p);
    }
    uint64_t copied = 0;
    if (wholeCopy) {
        std::memcpy(mesh.capacityUploaded.data(), mesh.capacity.data(), mesh.capacity.size() * sizeof(uint32_t));
        copied = mesh.capacityUploaded[mesh.capacity.size() / 2 + static_cast<size_t>(salt) % 7];
    }
    return mesh.inside.size() * 1000003u + kept + mesh.uploaded[kept / 2] + mesh.records[0] + copied;
}

double TimeFloor(FloorMesh& mesh, D3DXVECTOR3 centre, float radius, int runs, bool wholeCopy) {
    std::vector<double> seconds;
    volatile uint64_t sink = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        sink = sink + RunFloor(mesh, centre, radius, i, wholeCopy);
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(seconds.begin(), seconds.begin() + runs / 2, seconds.end());
    return seconds[runs / 2];
}
