// The "Crumple" channel: damages the mesh of child 2 "Object Data" on every
// host update once its working buffers exist.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "../host/d3d9_stand_in.h"
#include "../host/object_data.h"
#include "../host/value_channels.h"
#include "../host/vexa_channel.h"
#include "crumple_api.h"

namespace crumple {

struct HolePass;

// What a channel keeps from one update to the next besides its children.
// Neither changes what a hit does: a fresh channel on the same children
// gives the same bytes.
struct KeptState {
    // The exact counts last written to children 22 and 23 (-1: none yet);
    // past 2^24 the float children cannot hold them exactly.
    int verticesUsed = -1;
    int indicesUsed = -1;
    // Storage of the hole pass's lists, reused from hit to hit; it holds no
    // state, so a copy starts with storage of its own.
    std::unique_ptr<HolePass> holePass;

    KeptState();
    KeptState(const KeptState& other);
    KeptState& operator=(const KeptState& other);
    ~KeptState();
};

}  // namespace crumple

extern "C" {
CRUMPLE_API ChannelType* GetType();
CRUMPLE_API DllInterface* InitDLL();
}

class CRUMPLE_API Kel_Crumple : public Vexa_Channel {
public:
    Kel_Crumple();
    Kel_Crumple(const Kel_Crumple& other);
    Kel_Crumple& operator=(const Kel_Crumple& other);
    ~Kel_Crumple() override;

    void CallChannel() override;
    bool SaveChannel(VexaFileSaver& saver) override;
    bool LoadChannel(VexaFileLoader& loader, Vexa_ChannelGroup* group) override;
    void DoDependencyInit(Vexa_List* list) override;

    // Puts the undamaged mesh of child 28 back into child 2; the next update
    // prepares the working buffers again.
    void ClearDamage();

private:
    friend class Kel_CrumpleTestPeer;

    // CallChannel's update, in whatever floating-point mode is set.
    void Evaluate();

    // Working buffers.
    void IncreaseVertexBufferSize();
    void UpdateGPUBuffer(std::vector<int>* list);

    // Insertion of new vertices and triangles.
    void AddVertexToArray(int a, int b, std::vector<D3DXVECTOR3>* normals,
                          std::vector<D3DXVECTOR2>* texCoords0, std::vector<D3DXVECTOR2>* texCoords1,
                          std::vector<D3DXVECTOR2>* texCoords2, std::vector<uint32_t>* colors);
    void AddVertexToArray(int a, int b, int c, std::vector<D3DXVECTOR3>* normals,
                          std::vector<D3DXVECTOR2>* texCoords0, std::vector<D3DXVECTOR2>* texCoords1,
                          std::vector<D3DXVECTOR2>* texCoords2, std::vector<uint32_t>* colors);
    void AddIndexesToArray(int a, int b, int c, D3DXVECTOR3& pa, D3DXVECTOR3& pb, D3DXVECTOR3& pc,
                           bool keep, float radius, std::vector<uint32_t>* list);
    void AddIndexToBufferAndLookup(int vertex, int position);
    uint32_t CalcAverageColor(uint32_t c1, uint32_t c2);
    uint32_t CalcAverageColor(uint32_t c1, uint32_t c2, uint32_t c3);

    // Impact and damage.
    float Initialize();
    float CalcAngle(D3DXVECTOR3 a, D3DXVECTOR3 b);
    void ApplyDamage();
    void SearchVertexesInRange(float radius, std::vector<int>* list);
    float ApplyDentDamage(D3DXVECTOR3 offset, float radius, std::vector<int>* list);
    void ApplyAlphaDamage(std::vector<int>* list);
    bool AddVertex();
    void CreateIndexLookupTable();
    void SearchTrianglesInRange(int start, int count, std::vector<int> vertexes, std::set<int>* triangles);
    bool AllInsideOrOutsideCollision(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& c, float radius);
    void ApplyHoleDamage(float radius, std::vector<int>* vertexes);

    // Settings cached from the children, state of one pass, and the lookup table.
    // Declaration order is the member-wise copy order.
    float fImpactFactor = 0.0f;
    float fImpactRadiusFactor = 0.0f;
    float fIndexFactor = 0.0f;
    float fVertexFactor = 0.0f;
    int iAlphaDamageValue = 0;
    float fMinTriangleSize = 0.0f;
    float fHoleThreshold = 0.0f;
    float fMaxDent = 0.0f;
    int iMinRedValue = 0;
    bool bApplyDents = false;
    bool bApplyAlphaDamage = false;
    bool bApplyHoles = false;
    float fDentRadiusFactor = 0.0f;
    float fDentFactor = 0.0f;
    float fDentAngle = 0.0f;
    int iNumberOfPasses = 0;
    int iVertexesUsed = 0;
    int iIndexesUsed = 0;
    Vexa_ObjectData* pObjectData = nullptr;
    D3DXVECTOR3 vCollisionPos{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 vCollisionNormal{0.0f, 0.0f, 0.0f};
    std::vector<std::vector<int>> vIndexLookupTable;
    crumple::KeptState kept;

    static const int iDefaultChangedVertexes;
    static const int iDefaultNewVertexes;
    static const int iDefaultVertexInRange;
    static const int iDefaultNewIndexes;
    static const int iDefaultIndexesInRange;
    static const int iMassShore;
    static const int iDefaultImpactDivider;
};
