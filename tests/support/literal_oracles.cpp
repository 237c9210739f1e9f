#include "literal_oracles.h"

#include <algorithm>
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
                   std::vector<int>* vertexes) {
    // New vertices no index uses are dropped; the numbers above each dropped
    // one are counted down one by one.
    const uint32_t used = static_cast<uint32_t>(peer.iVertexesUsed());
    std::vector<uint32_t> dropped;
    for (uint32_t k = 0; k < l.positions.size(); ++k)
        if (std::find(l.indexes.begin(), l.indexes.end(), used + k) == l.indexes.end()) dropped.push_back(k);
    for (auto k = dropped.rbegin(); k != dropped.rend(); ++k) {
        auto drop = [&](auto& list) {
            if (!list.empty()) list.erase(list.begin() + *k);
        };
        drop(l.positions), drop(l.normals), drop(l.tex0), drop(l.tex1), drop(l.tex2), drop(l.colors);
    }
    for (uint32_t& w : l.indexes)
        if (w >= used) w -= static_cast<uint32_t>(std::count_if(dropped.begin(), dropped.end(), [&](uint32_t k) {
                           return k < w - used;
                       }));

    const uint32_t n = static_cast<uint32_t>(l.positions.size()), f = static_cast<uint32_t>(triangles.size());
    const uint32_t indexesUsed = static_cast<uint32_t>(peer.iIndexesUsed());
    if (used + n > static_cast<uint32_t>(o.GetVertexCount())) return false;
    if (indexesUsed - 3 * f + l.indexes.size() > static_cast<uint32_t>(o.GetIndexCount())) return false;
    if (o.pIndices16 && !o.pIndices32 && used + n > 65536u) return false;

    for (uint32_t k = 0; k < n; ++k) {
        const int w = static_cast<int>(used + k);
        o.pPositions[w] = l.positions[k];
        o.pNormals[w] = l.normals[k];
        o.pTexCoords0[w] = l.tex0[k];
        o.pTexCoords1[w] = l.tex1[k];
        if (!l.tex2.empty()) o.pTexCoords2[w] = l.tex2[k];
        o.pColors[w] = l.colors[k];
        vertexes->push_back(w);
    }
    // The triangles not found, in order, then the new ones; freed slots read 0.
    std::vector<uint32_t> rewritten;
    for (uint32_t p = 0; p < indexesUsed; ++p)
        if (!triangles.count(static_cast<int>(p / 3 * 3))) rewritten.push_back(static_cast<uint32_t>(o.GetIndex(p)));
    rewritten.insert(rewritten.end(), l.indexes.begin(), l.indexes.end());
    if (rewritten.size() < indexesUsed) rewritten.resize(indexesUsed, 0);
    for (size_t p = 0; p < rewritten.size(); ++p) o.SetIndex(static_cast<int>(rewritten[p]), static_cast<int>(p));
    peer.iVertexesUsed() += static_cast<int>(n);
    peer.iIndexesUsed() += static_cast<int>(l.indexes.size()) - 3 * static_cast<int>(f);
    return true;
}

}  // namespace

void LiteralHoleDamage(Kel_CrumpleTestPeer& peer, float radius, std::vector<int>* vertexes) {
    Vexa_ObjectData& o = *peer.pObjectData();
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
                const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
                return std::sqrt(dx * dx + dy * dy + dz * dz);
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
            // The fan, edge by edge in the winding order: two pieces along a split edge.
            const int corner[3] = {i0, i1, i2}, middle[3] = {v01, v12, v02};
            const bool split[3] = {s01, s12, s02};
            D3DXVECTOR3 at[3] = {p0, p1, p2}, mid[3] = {m01, m12, m02};
            for (int e = 0; e < 3; ++e) {
                const int f = (e + 1) % 3;
                if (split[e]) {
                    peer.AddIndexesToArray(corner[e], middle[e], gv, at[e], mid[e], g, keep, radius, &l.indexes);
                    peer.AddIndexesToArray(corner[f], gv, middle[e], at[f], g, mid[e], keep, radius, &l.indexes);
                } else {
                    peer.AddIndexesToArray(corner[e], corner[f], gv, at[e], at[f], g, keep, radius, &l.indexes);
                }
            }
        }
        if (!LiteralCommit(peer, o, triangles, l, vertexes)) return;
    }
}
