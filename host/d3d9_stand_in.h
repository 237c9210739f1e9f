// The few Direct3D 9 / D3DX types the plug-in touches, as plain C++ so that the
// plug-in reads as it would against the real headers. Render buffers are plain
// memory of an exact size; Lock refuses any range outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "korvane_api.h"

typedef long HRESULT;
typedef unsigned int UINT;
typedef unsigned long DWORD;

#define D3D_OK ((HRESULT)0)
#define D3DERR_INVALIDCALL ((HRESULT)0x8876086CL)

struct D3DXVECTOR2 {
    float x, y;
    D3DXVECTOR2() = default;
    D3DXVECTOR2(float u, float v) : x(u), y(v) {}
};

struct D3DXVECTOR3 {
    float x, y, z;
    D3DXVECTOR3() = default;
    D3DXVECTOR3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}
};

// Row-major 4x4 float matrix for row vectors: row 4 is the translation.
struct D3DXMATRIX {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };
};

static_assert(sizeof(D3DXVECTOR2) == 8, "D3DXVECTOR2 is two floats");
static_assert(sizeof(D3DXVECTOR3) == 12, "D3DXVECTOR3 is three floats");
static_assert(sizeof(D3DXMATRIX) == 64, "D3DXMATRIX is 16 floats");

// A lockable block of render memory, exactly `size` bytes.
class KORVANE_API RenderBufferMemory {
public:
    explicit RenderBufferMemory(size_t size);
    virtual ~RenderBufferMemory();
    RenderBufferMemory(const RenderBufferMemory&) = delete;
    RenderBufferMemory& operator=(const RenderBufferMemory&) = delete;

    // offset + size must lie inside the buffer; size 0 locks to the end.
    virtual HRESULT Lock(UINT offsetToLock, UINT sizeToLock, void** ppbData, DWORD flags);
    virtual HRESULT Unlock();

    size_t GetSize() const { return size_; }
    const uint8_t* Data() const { return data_.get(); }

private:
    friend class KorvaneTestAccess;
    size_t size_;
    std::unique_ptr<uint8_t[]> data_;
    bool locked_ = false;
    bool lockFails_ = false;
    int lockCount_ = 0;
};

class KORVANE_API IDirect3DVertexBuffer9 : public RenderBufferMemory {
public:
    using RenderBufferMemory::RenderBufferMemory;
};

class KORVANE_API IDirect3DIndexBuffer9 : public RenderBufferMemory {
public:
    using RenderBufferMemory::RenderBufferMemory;
};
