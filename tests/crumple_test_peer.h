// Reaches the private members of Kel_Crumple that tests exercise directly.
#pragma once

#include <set>
#include <vector>

#include "damage/hole_pass.h"
#include "plugin/Kel_Crumple.h"

class Kel_CrumpleTestPeer {
public:
    explicit Kel_CrumpleTestPeer(Kel_Crumple& channel) : c_(channel) {}
    explicit Kel_CrumpleTestPeer(Vexa_Channel* channel) : c_(*static_cast<Kel_Crumple*>(channel)) {}

#define CRUMPLE_PEER_MEMBER(type, name) \
    type& name() { return c_.name; }
    CRUMPLE_PEER_MEMBER(float, fImpactFactor)
    CRUMPLE_PEER_MEMBER(float, fVertexFactor)
    CRUMPLE_PEER_MEMBER(int, iAlphaDamageValue)
    CRUMPLE_PEER_MEMBER(float, fMinTriangleSize)
    CRUMPLE_PEER_MEMBER(float, fMaxDent)
    CRUMPLE_PEER_MEMBER(int, iMinRedValue)
    CRUMPLE_PEER_MEMBER(bool, bApplyHoles)
    CRUMPLE_PEER_MEMBER(float, fDentAngle)
    CRUMPLE_PEER_MEMBER(int, iNumberOfPasses)
    CRUMPLE_PEER_MEMBER(int, iVertexesUsed)
    CRUMPLE_PEER_MEMBER(int, iIndexesUsed)
    CRUMPLE_PEER_MEMBER(Vexa_ObjectData*, pObjectData)
    CRUMPLE_PEER_MEMBER(D3DXVECTOR3, vCollisionPos)
    CRUMPLE_PEER_MEMBER(D3DXVECTOR3, vCollisionNormal)
    CRUMPLE_PEER_MEMBER(std::vector<std::vector<int>>, vIndexLookupTable)
#undef CRUMPLE_PEER_MEMBER


    // One update without the plug-in's own floating-point mode: in whatever
    // mode the caller has set.
    void EvaluateInHostMode() { c_.Evaluate(); }
    void UpdateGPUBuffer(std::vector<int>* list) { c_.UpdateGPUBuffer(list); }
    void AddVertexToArray(int a, int b, std::vector<D3DXVECTOR3>* n, std::vector<D3DXVECTOR2>* t0,
                          std::vector<D3DXVECTOR2>* t1, std::vector<D3DXVECTOR2>* t2,
                          std::vector<uint32_t>* col) {
        c_.AddVertexToArray(a, b, n, t0, t1, t2, col);
    }
    void AddVertexToArray(int a, int b, int c, std::vector<D3DXVECTOR3>* n, std::vector<D3DXVECTOR2>* t0,
                          std::vector<D3DXVECTOR2>* t1, std::vector<D3DXVECTOR2>* t2,
                          std::vector<uint32_t>* col) {
        c_.AddVertexToArray(a, b, c, n, t0, t1, t2, col);
    }
    void AddIndexesToArray(int a, int b, int c, D3DXVECTOR3& pa, D3DXVECTOR3& pb, D3DXVECTOR3& pc,
                           bool keep, float radius, std::vector<uint32_t>* list) {
        c_.AddIndexesToArray(a, b, c, pa, pb, pc, keep, radius, list);
    }
    void AddIndexToBufferAndLookup(int vertex, int position) { c_.AddIndexToBufferAndLookup(vertex, position); }
    uint32_t CalcAverageColor(uint32_t a, uint32_t b) { return c_.CalcAverageColor(a, b); }
    uint32_t CalcAverageColor(uint32_t a, uint32_t b, uint32_t c) { return c_.CalcAverageColor(a, b, c); }
    float Initialize() { return c_.Initialize(); }
    float CalcAngle(D3DXVECTOR3 a, D3DXVECTOR3 b) { return c_.CalcAngle(a, b); }
    void SearchVertexesInRange(float radius, std::vector<int>* list) { c_.SearchVertexesInRange(radius, list); }
    float ApplyDentDamage(D3DXVECTOR3 offset, float radius, std::vector<int>* list) {
        return c_.ApplyDentDamage(offset, radius, list);
    }
    void ApplyAlphaDamage(std::vector<int>* list) { c_.ApplyAlphaDamage(list); }
    bool AddVertex() { return c_.AddVertex(); }
    void SearchTrianglesInRange(int start, int count, std::vector<int> vertexes, std::set<int>* triangles) {
        c_.SearchTrianglesInRange(start, count, vertexes, triangles);
    }
    void CreateIndexLookupTable() { c_.CreateIndexLookupTable(); }
    // Everything the channel keeps between updates beyond its settings (the
    // hole pass's storage, the exact used counts), dropped so the next update
    // starts as a fresh instance would on the same children.
    void ForgetKeptState() {
        c_.kept.holePass.reset();
        c_.kept.verticesUsed = -1;
        c_.kept.indicesUsed = -1;
    }
    bool AllInsideOrOutsideCollision(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& c, float radius) {
        return c_.AllInsideOrOutsideCollision(a, b, c, radius);
    }
    void ApplyHoleDamage(float radius, std::vector<int>* vertexes) { c_.ApplyHoleDamage(radius, vertexes); }

private:
    Kel_Crumple& c_;
};
