// The host's "3D ObjectData" channel: a triangle mesh as parallel per-vertex
// arrays plus one index array (16- or 32-bit), its placement matrix and its
// render buffers. Every array is allocated at exactly its length.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "d3d9_stand_in.h"
#include "vexa_channel.h"

// A mesh as plain arrays, for building an object-data channel and reading it back.
// Empty colours / tex1 / tex2 mean the mesh has none.
struct KORVANE_API MeshArrays {
    std::vector<D3DXVECTOR3> positions;
    std::vector<D3DXVECTOR3> normals;
    std::vector<D3DXVECTOR2> texCoords0;
    std::vector<D3DXVECTOR2> texCoords1;
    std::vector<D3DXVECTOR2> texCoords2;
    std::vector<uint32_t> colors;
    std::vector<uint32_t> indices;
    bool indices16 = false;
};

class KORVANE_API Vexa_ObjectData : public Vexa_Channel {
public:
    explicit Vexa_ObjectData(bool indices16 = false);
    ~Vexa_ObjectData() override;

    virtual int GetVertexCount();
    virtual int GetIndexCount();
    // Set the lengths; each array is remade at the new length by the next setter call on it.
    virtual void SetVertexCount(int count);
    virtual void SetIndexCount(int count);
    virtual bool HasVertexColors();
    virtual bool HasTexCoords(int set);  // set 1 or 2; set 0 always exists
    virtual int GetIndex(int position);
    virtual void SetIndex(int vertex, int position);
    virtual D3DXVECTOR3 GetVertexPosition(int vertex);
    // Each setter first (re)makes its array at GetVertexCount() entries when it is
    // missing or of another length; a remade array starts zeroed.
    virtual void SetVertexPosition(D3DXVECTOR3 position, int vertex);
    virtual void SetVertexNormal(D3DXVECTOR3 normal, int vertex);
    virtual void SetVertexTexCoord(int set, D3DXVECTOR2 uv, int vertex);
    virtual void SetVertexColor(unsigned int color, int vertex);
    virtual void ReleaseBuffers();
    // Makes both render buffers at the current counts and fills them from the arrays.
    virtual void CreateBuffers();
    virtual void GetWorldMatrix(D3DXMATRIX* matrix);
    // The render buffers; made (and filled from the arrays) when missing or too small
    // for GetVertexCount() records / GetIndexCount() entries.
    virtual IDirect3DVertexBuffer9* GetVertexBuffer();
    virtual IDirect3DIndexBuffer9* GetIndexBuffer();

    bool SaveChannel(VexaFileSaver& saver) override;
    bool LoadChannel(VexaFileLoader& loader, Vexa_ChannelGroup* group) override;

    // Arrays, read and written directly by plug-ins.
    D3DXVECTOR3* pPositions = nullptr;
    D3DXVECTOR3* pNormals = nullptr;
    D3DXVECTOR2* pTexCoords0 = nullptr;
    D3DXVECTOR2* pTexCoords1 = nullptr;
    D3DXVECTOR2* pTexCoords2 = nullptr;
    unsigned int* pColors = nullptr;
    uint16_t* pIndices16 = nullptr;
    uint32_t* pIndices32 = nullptr;

    // Host side.
    static std::shared_ptr<Vexa_ObjectData> FromArrays(const MeshArrays& mesh);
    // Every array at its own length (which may differ from the counts).
    MeshArrays ToArrays() const;
    void SetWorldMatrix(const D3DXMATRIX& matrix);
    bool UsesIndices16() const { return indices16_; }
    // 44 bytes, or 52 with texture set 2.
    int VertexRecordSize() const;
    // The render buffers as they stand, without making them; null when absent.
    IDirect3DVertexBuffer9* CurrentVertexBuffer() const { return vertexBuffer_.get(); }
    IDirect3DIndexBuffer9* CurrentIndexBuffer() const { return indexBuffer_.get(); }
    // Length of each array as allocated (0 when missing).
    int PositionsLength() const { return posLen_; }
    int NormalsLength() const { return nrmLen_; }
    int TexCoordsLength(int set) const { return tcLen_[set]; }
    int ColorsLength() const { return colLen_; }
    int IndexArrayLength() const { return idxLen_; }

private:
    void FillVertexBuffer();
    void FillIndexBuffer();

    bool indices16_;
    int vertexCount_ = 0;
    int indexCount_ = 0;
    D3DXMATRIX world_;
    std::unique_ptr<D3DXVECTOR3[]> positions_, normals_;
    std::unique_ptr<D3DXVECTOR2[]> texCoords_[3];
    std::unique_ptr<unsigned int[]> colors_;
    std::unique_ptr<uint16_t[]> indices16Store_;
    std::unique_ptr<uint32_t[]> indices32Store_;
    int posLen_ = 0, nrmLen_ = 0, tcLen_[3] = {0, 0, 0}, colLen_ = 0, idxLen_ = 0;
    std::unique_ptr<IDirect3DVertexBuffer9> vertexBuffer_;
    std::unique_ptr<IDirect3DIndexBuffer9> indexBuffer_;
};
