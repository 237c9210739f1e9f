// Meshes for the soak: regular grids and the irregular shapes a host may hand
// over (jitter, heights, wrapped shells with seams and collapsed poles,
// shuffled order, duplicated positions, degenerate and unused parts).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <utility>

#include "soak.h"

namespace soak {

uint64_t EpisodeSeed(uint64_t seed, uint64_t episode) {
    Rng mix(seed ^ (episode * 0xD1B54A32D192ED03ull + 0x8CB92BA72F3D8DD7ull));
    mix.Next();
    return mix.Next();
}

namespace {

constexpr float kPi = 3.14159265f;

uint32_t RandomColor(Rng& rng, int redMode) {
    uint32_t red = 0;
    if (redMode == 1) red = static_cast<uint32_t>(rng.Int(0, 255));
    if (redMode == 2) red = rng.Chance(0.7) ? 40u : 200u;
    const uint32_t green = static_cast<uint32_t>(rng.Int(0, 255));
    // The blue byte is the dent record: mostly fresh, sometimes part or all spent.
    const uint32_t blue = rng.Chance(0.8) ? 0u : (rng.Chance(0.3) ? 255u : static_cast<uint32_t>(rng.Int(0, 254)));
    const uint32_t alpha = rng.Chance(0.8) ? 255u : static_cast<uint32_t>(rng.Int(0, 255));
    return alpha << 24 | red << 16 | green << 8 | blue;
}

// Renumbers the vertices by a random permutation, keeping every triangle.
void ShuffleVertexes(Rng& rng, MeshArrays& m) {
    const size_t n = m.positions.size();
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    for (size_t i = n; i > 1; --i) std::swap(order[i - 1], order[rng.Next() % i]);
    auto permute = [&](auto& array) {
        if (array.empty()) return;
        auto copy = array;
        for (size_t i = 0; i < n; ++i) array[i] = copy[order[i]];
    };
    permute(m.positions), permute(m.normals), permute(m.texCoords0), permute(m.texCoords1);
    permute(m.texCoords2), permute(m.colors);
    std::vector<uint32_t> newNumber(n);
    for (size_t i = 0; i < n; ++i) newNumber[order[i]] = static_cast<uint32_t>(i);
    for (uint32_t& index : m.indices) index = newNumber[index];
}

// Reorders the triangles and turns each one's corners, winding kept.
void ShuffleTriangles(Rng& rng, MeshArrays& m) {
    const size_t t = m.indices.size() / 3;
    for (size_t i = t; i > 1; --i) {
        const size_t j = rng.Next() % i;
        for (int k = 0; k < 3; ++k) std::swap(m.indices[3 * (i - 1) + k], m.indices[3 * j + k]);
    }
    for (size_t i = 0; i < t; ++i) {
        const int turn = rng.Int(0, 2);
        for (int k = 0; k < turn; ++k) std::rotate(&m.indices[3 * i], &m.indices[3 * i + 1], &m.indices[3 * i + 3]);
    }
}

// A copy of vertex v appended (same position, its own colour), returned by number.
uint32_t AppendCopy(Rng& rng, MeshArrays& m, uint32_t v) {
    m.positions.push_back(m.positions[v]);
    if (!m.normals.empty()) m.normals.push_back(m.normals[v]);
    if (!m.texCoords0.empty()) m.texCoords0.push_back(m.texCoords0[v]);
    if (!m.texCoords1.empty()) m.texCoords1.push_back(m.texCoords1[v]);
    if (!m.texCoords2.empty()) m.texCoords2.push_back(m.texCoords2[v]);
    if (!m.colors.empty()) m.colors.push_back(rng.Chance(0.5) ? m.colors[v] : RandomColor(rng, 1));
    return static_cast<uint32_t>(m.positions.size() - 1);
}

// Splits a share of the vertices in two at the same position, as a seam in
// the texture or colours does: some of the triangles use the copy.
void DuplicatePositions(Rng& rng, MeshArrays& m, double share) {
    const size_t n = m.positions.size();
    std::vector<uint32_t> copy(n, UINT32_MAX);
    for (size_t v = 0; v < n; ++v)
        if (rng.Chance(share)) copy[v] = AppendCopy(rng, m, static_cast<uint32_t>(v));
    for (uint32_t& index : m.indices)
        if (copy[index] != UINT32_MAX && rng.Chance(0.5)) index = copy[index];
}

}  // namespace

// Reads: rng. Returns a mesh within maxVertices (plus the few vertices that
// duplication adds) whose indices fit its index width.
SoakMesh MakeSoakMesh(Rng& rng, int maxVertices) {
    SoakMesh out;
    const double lo = std::min(100, maxVertices), hi = std::max(lo, static_cast<double>(maxVertices));
    const int kind = rng.Int(0, 9);  // 0-3 flat, 4-5 heights, 6-7 jittered, 8 cylinder, 9 sphere
    const double duplicateShare = rng.Chance(0.3) ? rng.Uniform(0.01, 0.15) : 0.0;
    const double target = std::max(4.0, rng.LogUniform(lo, hi) / (1.0 + duplicateShare));
    const double aspect = rng.LogUniform(0.25, 4.0);
    const int nx = std::max(1, static_cast<int>(std::sqrt(target * aspect)) - 1);
    const int nz = std::max(1, static_cast<int>(target / (nx + 1)) - 1);
    const float spacing = rng.LogUniform(0.01, 10.0);
    const bool withTex2 = rng.Chance(0.4);
    MeshArrays& m = out.arrays;
    m = MakeGridMesh(nx, nz, spacing, false, withTex2);
    const size_t n = m.positions.size();
    std::string what;

    if (kind == 4 || kind == 5) {
        const float amplitude = spacing * (rng.Chance(0.5) ? 0.02f : rng.Chance(0.5) ? 0.3f : 2.0f);
        for (auto& p : m.positions) p.y = rng.Uniform(-amplitude, amplitude);
        what = "random heights";
    } else if (kind == 6 || kind == 7) {
        const float jitter = rng.Uniform(0.05, 0.45) * spacing;
        for (auto& p : m.positions) p.x += rng.Uniform(-jitter, jitter), p.z += rng.Uniform(-jitter, jitter);
        what = "jittered grid";
    } else if (kind == 8 || kind == 9) {
        // Wrapped around the origin: the seam column and (for the sphere) the
        // pole rows repeat positions, and the pole triangles have no area.
        const float radius = kind == 8 ? spacing * nx / (2 * kPi) : spacing * nz / kPi;
        for (int j = 0; j <= nz; ++j)
            for (int i = 0; i <= nx; ++i) {
                const size_t v = static_cast<size_t>(j) * (nx + 1) + i;
                const float theta = 2 * kPi * i / nx;
                D3DXVECTOR3 p;
                if (kind == 8) {
                    p = D3DXVECTOR3(radius * std::cos(theta), m.positions[v].z, radius * std::sin(theta));
                    m.normals[v] = D3DXVECTOR3(std::cos(theta), 0, std::sin(theta));
                } else {
                    const float phi = kPi * j / nz;
                    const D3DXVECTOR3 unit(std::sin(phi) * std::cos(theta), std::cos(phi), std::sin(phi) * std::sin(theta));
                    p = D3DXVECTOR3(radius * unit.x, radius * unit.y, radius * unit.z);
                    m.normals[v] = unit;
                }
                m.positions[v] = p;
            }
        what = kind == 8 ? "cylinder" : "sphere";
    } else {
        what = "grid";
    }

    // Colours: none, pure white (which the channel treats specially), or with
    // a red byte that decides where holes may go.
    const int colourMode = rng.Int(0, 9);
    if (colourMode == 0) {
        m.colors.clear();
        what += ", no colours";
    } else if (colourMode == 1) {
        what += ", white";
    } else {
        const int redMode = rng.Int(0, 2);
        for (auto& c : m.colors) c = RandomColor(rng, redMode);
        what += redMode == 0 ? ", red 0" : redMode == 1 ? ", random red" : ", red 40/200";
    }
    if (rng.Chance(0.1)) {
        m.texCoords1.clear();
        what += ", no set 1";
    }
    if (rng.Chance(0.08)) {
        m.normals.clear();
        what += ", no normals";
    } else if (rng.Chance(0.15)) {
        for (auto& v : m.normals) {
            v = rng.Vector(D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1));
            if (rng.Chance(0.01)) v = D3DXVECTOR3(0, 0, 0);
        }
        what += ", random normals";
    }
    if (!m.texCoords2.empty()) what += ", set 2";

    if (duplicateShare > 0) {
        DuplicatePositions(rng, m, duplicateShare);
        what += ", duplicated positions";
    }
    if (rng.Chance(0.1)) {
        // Edges collapsed from outside: neighbours at one position, zero-area triangles.
        for (size_t v = 0; v + 1 < n; ++v)
            if (rng.Chance(0.05)) m.positions[v + 1] = m.positions[v];
        const int extra = rng.Int(1, 20);
        for (int k = 0; k < extra; ++k) {
            const uint32_t a = static_cast<uint32_t>(rng.Next() % m.positions.size());
            const uint32_t b = static_cast<uint32_t>(rng.Next() % m.positions.size());
            m.indices.insert(m.indices.end(), {a, a, b});
        }
        what += ", collapsed edges";
    }
    if (rng.Chance(0.05)) {
        // Vertices no triangle uses.
        const int extra = rng.Int(1, 50);
        for (int k = 0; k < extra; ++k) AppendCopy(rng, m, static_cast<uint32_t>(rng.Next() % n));
        what += ", unused vertices";
    }
    if (rng.Chance(0.5)) {
        ShuffleVertexes(rng, m);
        what += ", shuffled vertexes";
    }
    if (rng.Chance(0.5)) {
        ShuffleTriangles(rng, m);
        what += ", shuffled triangles";
    }
    m.indices16 = m.positions.size() <= 65536 && rng.Chance(0.5);

    out.spacing = spacing;
    out.low = out.high = m.positions[0];
    for (const auto& p : m.positions) {
        out.low = D3DXVECTOR3(std::min(out.low.x, p.x), std::min(out.low.y, p.y), std::min(out.low.z, p.z));
        out.high = D3DXVECTOR3(std::max(out.high.x, p.x), std::max(out.high.y, p.y), std::max(out.high.z, p.z));
    }

    std::memset(&out.placement, 0, sizeof out.placement);
    out.placement._11 = out.placement._22 = out.placement._33 = out.placement._44 = 1;
    if (rng.Chance(0.25)) {
        // A rotation from a random unit quaternion and a translation that
        // may put the object below the waterline.
        float q[4];
        float norm = 0;
        do {
            norm = 0;
            for (float& c : q) c = rng.Uniform(-1, 1), norm += c * c;
        } while (norm < 0.01f || norm > 1);
        norm = std::sqrt(norm);
        for (float& c : q) c /= norm;
        const float w = q[0], x = q[1], y = q[2], z = q[3];
        D3DXMATRIX& r = out.placement;
        r._11 = 1 - 2 * (y * y + z * z), r._12 = 2 * (x * y + w * z), r._13 = 2 * (x * z - w * y);
        r._21 = 2 * (x * y - w * z), r._22 = 1 - 2 * (x * x + z * z), r._23 = 2 * (y * z + w * x);
        r._31 = 2 * (x * z + w * y), r._32 = 2 * (y * z - w * x), r._33 = 1 - 2 * (x * x + y * y);
        const float reach = spacing * static_cast<float>(std::max(nx, nz));
        r._41 = rng.Uniform(-reach, reach), r._42 = rng.Uniform(-reach, reach), r._43 = rng.Uniform(-reach, reach);
        out.placed = true;
        what += ", placed";
    }

    out.description = std::to_string(m.positions.size()) + " vertexes, " + std::to_string(m.indices.size() / 3) +
                      " triangles, " + (m.indices16 ? "16" : "32") + "-bit, spacing " + std::to_string(spacing) +
                      ", " + what;
    return out;
}

}  // namespace soak
