#include "literal_oracles.h"

#include <cmath>
#include <cstdint>

#include "mesh/vector_math.h"

using namespace crumple;

void LiteralScanTriangles(Vexa_ObjectData& o, int start, int count, const std::vector<int>& vertexes,
                          std::set<int>* triangles) {
    const size_t n = vertexes.size();
    for (int k = 0; k < count; ++k) {
        for (size_t j = 0; j < n; ++j) {
            if (o.GetIndex(start + k) == vertexes[j]) {
                triangles->insert(((start + k) / 3) * 3);
                k = (k / 3) * 3 + 2;
                break;
            }
        }
    }
}

std::vector<std::vector<int>> LiteralLookupTable(Vexa_ObjectData& o, int indexesUsed) {
    std::vector<std::vector<int>> table(static_cast<size_t>(o.GetVertexCount()));
    for (int p = 0; p < indexesUsed; ++p) table[static_cast<size_t>(o.GetIndex(p))].push_back(p);
    return table;
}

void LiteralSearchTriangles(Vexa_ObjectData& o, int indexesUsed, int start, int count,
                            const std::vector<int>& vertexes, std::set<int>* triangles) {
    if (start == 0 && vertexes.size() >= 75) {
        const std::vector<std::vector<int>> table = LiteralLookupTable(o, indexesUsed);
        for (int v : vertexes)
            for (int p : table[static_cast<size_t>(v)]) triangles->insert((p / 3) * 3);
        return;
    }
    LiteralScanTriangles(o, start, count, vertexes, triangles);
}

int LiteralContainingTriangle(Kel_CrumpleTestPeer& peer, Vexa_ObjectData& o, int indexesUsed, D3DXVECTOR3 h) {
    float best = 10.0f;
    int chosen = 0;
    for (int t = 0; t < indexesUsed / 3; ++t) {
        D3DXVECTOR3 a[3];
        for (int j = 0; j < 3; ++j) a[j] = Sub(o.GetVertexPosition(o.GetIndex(3 * t + j)), h);
        float sum = 0.0f;
        sum += peer.CalcAngle(a[0], a[1]);
        sum += peer.CalcAngle(a[1], a[2]);
        sum += peer.CalcAngle(a[2], a[0]);
        const float deviation = std::fabs(sum - kTwoPi);
        if (best > deviation) {
            best = deviation;
            chosen = t;
        }
    }
    return best > 0.25f ? -1 : chosen;
}

namespace {

struct Lists {
    std::vector<D3DXVECTOR3> positions, normals;
    std::vector<D3DXVECTOR2> tex0, tex1, tex2;
    std::vector<uint32_t> colors, indexes;
};

bool LiteralCommit(Kel_CrumpleTestPeer& peer, Vexa_ObjectData& o, const std::set<int>& triangles, Lists& l,
                   bool hasTex2, std::vector<int>* vertexes) {
    const int used = peer.iVertexesUsed();
    std::vector<int> dropped;
    const size_t n = l.positions.size();
    for (size_t k = 0; k < n; ++k) {
        bool isUsed = false;
        for (uint32_t w : l.indexes)
            if (w == static_cast<uint32_t>(used) + k) isUsed = true;
        const size_t d = dropped.size();
        if (isUsed) {
            l.positions[k - d] = l.positions[k];
            l.colors[k - d] = l.colors[k];
            l.normals[k - d] = l.normals[k];
            l.tex0[k - d] = l.tex0[k];
            l.tex1[k - d] = l.tex1[k];
            if (hasTex2) l.tex2[k - d] = l.tex2[k];
        } else {
            dropped.push_back(static_cast<int>(k));
        }
    }
    l.positions.resize(n - dropped.size());
    for (uint32_t& w : l.indexes) {
        if (w < static_cast<uint32_t>(used)) continue;
        uint32_t below = 0;
        for (int k : dropped)
            if (static_cast<uint32_t>(k) < w - static_cast<uint32_t>(used)) ++below;
        w -= below;
    }

    const uint32_t f = static_cast<uint32_t>(triangles.size());
    const uint32_t indexesUsed = static_cast<uint32_t>(peer.iIndexesUsed());
    if (static_cast<uint32_t>(used) + l.positions.size() > static_cast<uint32_t>(o.GetVertexCount())) return false;
    if (indexesUsed - 3 * f + l.indexes.size() > static_cast<uint32_t>(o.GetIndexCount())) return false;
    if (o.pIndices16 && !o.pIndices32 && used + l.positions.size() > 65536u) return false;

    for (size_t k = 0; k < l.positions.size(); ++k) {
        const int w = used + static_cast<int>(k);
        o.pPositions[w] = l.positions[k];
        o.pNormals[w] = l.normals[k];
        o.pTexCoords0[w] = l.tex0[k];
        o.pTexCoords1[w] = l.tex1[k];
        if (hasTex2) o.pTexCoords2[w] = l.tex2[k];
        o.pColors[w] = l.colors[k];
        vertexes->push_back(w);
    }
    const int N = static_cast<int>(indexesUsed), F = static_cast<int>(f);
    auto get = [&](int p) { return o.pIndices32 ? o.pIndices32[p] : static_cast<uint32_t>(o.pIndices16[p]); };
    auto set = [&](int p, uint32_t v) {
        if (o.pIndices32)
            o.pIndices32[p] = v;
        else
            o.pIndices16[p] = static_cast<uint16_t>(v);
    };
    if (o.pIndices32 || o.pIndices16) {
        auto cursor = triangles.begin();
        int r = 0;
        for (int u = 0; u < N / 3; ++u) {
            if (r == F || 3 * u != *cursor) {
                for (int j = 0; j < 3; ++j) set(3 * (u - r) + j, get(3 * u + j));
            } else {
                ++r;
                ++cursor;
            }
        }
        for (size_t m = 0; m < l.indexes.size(); ++m) set(N - 3 * F + static_cast<int>(m), l.indexes[m]);
        for (int p = N - 3 * F + static_cast<int>(l.indexes.size()); p < N; ++p) set(p, 0);
    }
    peer.iVertexesUsed() += static_cast<int>(l.positions.size());
    peer.iIndexesUsed() += static_cast<int>(l.indexes.size()) - 3 * F;
    return true;
}

}  // namespace

void LiteralHoleDamage(Kel_CrumpleTestPeer& peer, float radius, std::vector<int>* vertexes) {
    Vexa_ObjectData& o = *peer.pObjectData();
    const bool hasTex2 = o.HasTexCoords(2);
    const D3DXVECTOR3 centre = peer.vCollisionPos();
    const double r2 = static_cast<double>(radius) * radius;
    std::set<int> triangles;
    std::vector<int> holeVertexes;
    Lists l;
    const int passes = peer.iNumberOfPasses();
    for (int p = 0; p < passes; ++p) {
        triangles.clear();
        if (p == 0) {
            for (int v : *vertexes) {
                const float s = SquaredDistance(o.GetVertexPosition(v), centre);
                if (s < r2 && (o.pColors[v] & 0x00FF0000u) < (static_cast<uint32_t>(peer.iMinRedValue()) << 16))
                    holeVertexes.push_back(v);
            }
            if (holeVertexes.empty()) return;
            LiteralSearchTriangles(o, peer.iIndexesUsed(), 0, peer.iIndexesUsed(), holeVertexes, &triangles);
        } else {
            const int first = peer.iVertexesUsed() - static_cast<int>(l.positions.size());
            for (size_t k = 0; k < l.positions.size(); ++k)
                if (SquaredDistance(l.positions[k], centre) < r2) holeVertexes.push_back(first + static_cast<int>(k));
            const int n = static_cast<int>(l.indexes.size());
            LiteralSearchTriangles(o, peer.iIndexesUsed(), peer.iIndexesUsed() - n, n, holeVertexes, &triangles);
        }
        if (triangles.empty()) return;
        l = Lists();
        const bool keep = p != passes - 1;
        for (int t : triangles) {
            const int i0 = o.GetIndex(t), i1 = o.GetIndex(t + 1), i2 = o.GetIndex(t + 2);
            D3DXVECTOR3 p0 = o.pPositions[i0], p1 = o.pPositions[i1], p2 = o.pPositions[i2];
            auto len = [](const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
                return static_cast<float>(std::sqrt(static_cast<double>(static_cast<float>(SumOfSquares(Sub(a, b))))));
            };
            const double perimeter = static_cast<double>(len(p0, p1)) + len(p1, p2) + static_cast<double>(len(p0, p2));
            if (peer.fMinTriangleSize() > perimeter) continue;
            if (peer.AllInsideOrOutsideCollision(p0, p1, p2, radius)) continue;
            D3DXVECTOR3 g = Scale(Add(Add(p1, p0), p2), kOneThird);
            D3DXVECTOR3 m01 = Scale(Add(p1, p0), 0.5), m02 = Scale(Add(p2, p0), 0.5), m12 = Scale(Add(p2, p1), 0.5);
            const int gv = peer.iVertexesUsed() + static_cast<int>(l.positions.size());
            const bool s01 = !peer.AllInsideOrOutsideCollision(p0, p1, g, radius);
            const bool s02 = !peer.AllInsideOrOutsideCollision(p0, p2, g, radius);
            const bool s12 = !peer.AllInsideOrOutsideCollision(p1, p2, g, radius);
            l.positions.push_back(g);
            peer.AddVertexToArray(i0, i1, i2, &l.normals, &l.tex0, &l.tex1, &l.tex2, &l.colors);
            auto eq = [](const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
            int v01 = -1, v02 = -1, v12 = -1;
            for (size_t k = 0; k < l.positions.size(); ++k) {
                const int number = peer.iVertexesUsed() + static_cast<int>(k);
                if (s01 && eq(l.positions[k], m01))
                    v01 = number;
                else if (s02 && eq(l.positions[k], m02))
                    v02 = number;
                else if (s12 && eq(l.positions[k], m12))
                    v12 = number;
            }
            auto fresh = [&](bool split, int& v, const D3DXVECTOR3& m, int a, int b) {
                if (!split || v >= 0) return;
                v = peer.iVertexesUsed() + static_cast<int>(l.positions.size());
                l.positions.push_back(m);
                peer.AddVertexToArray(a, b, &l.normals, &l.tex0, &l.tex1, &l.tex2, &l.colors);
            };
            fresh(s01, v01, m01, i0, i1);
            fresh(s02, v02, m02, i0, i2);
            fresh(s12, v12, m12, i1, i2);
            if (s01) {
                peer.AddIndexesToArray(i0, v01, gv, p0, m01, g, keep, radius, &l.indexes);
                peer.AddIndexesToArray(i1, gv, v01, p1, g, m01, keep, radius, &l.indexes);
            } else {
                peer.AddIndexesToArray(i0, i1, gv, p0, p1, g, keep, radius, &l.indexes);
            }
            if (s12) {
                peer.AddIndexesToArray(i1, v12, gv, p1, m12, g, keep, radius, &l.indexes);
                peer.AddIndexesToArray(i2, gv, v12, p2, g, m12, keep, radius, &l.indexes);
            } else {
                peer.AddIndexesToArray(i1, i2, gv, p1, p2, g, keep, radius, &l.indexes);
            }
            if (s02) {
                peer.AddIndexesToArray(i2, v02, gv, p2, m02, g, keep, radius, &l.indexes);
                peer.AddIndexesToArray(i0, gv, v02, p0, g, m02, keep, radius, &l.indexes);
            } else {
                peer.AddIndexesToArray(i2, i0, gv, p2, p0, g, keep, radius, &l.indexes);
            }
        }
        if (!LiteralCommit(peer, o, triangles, l, hasTex2, vertexes)) return;
    }
}
