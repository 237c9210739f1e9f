// Render buffers of the stand-in: plain zeroed memory with a checked Lock.
#include "host/d3d9_stand_in.h"

// Exactly `size` bytes, zeroed: no slack, so a write past the end is caught by
// the address checker instead of landing in spare room.
RenderBufferMemory::RenderBufferMemory(size_t size)
    : size_(size), data_(new uint8_t[size]()) {}

RenderBufferMemory::~RenderBufferMemory() = default;

// Reads: the requested range. Writes: *ppbData (null on refusal), the lock state.
// A range outside the buffer is refused rather than clipped, so an upload that
// miscounts its bytes shows up as a failed lock.
HRESULT RenderBufferMemory::Lock(UINT offsetToLock, UINT sizeToLock, void** ppbData, DWORD flags) {
    (void)flags;
    if (ppbData == nullptr) return D3DERR_INVALIDCALL;
    const size_t offset = offsetToLock;
    const size_t length = sizeToLock == 0 ? (offset <= size_ ? size_ - offset : 0) : sizeToLock;
    if (lockFails_ || offset > size_ || length > size_ - offset) {
        *ppbData = nullptr;
        return D3DERR_INVALIDCALL;
    }
    *ppbData = data_.get() + offset;
    locked_ = true;
    ++lockCount_;
    return D3D_OK;
}

HRESULT RenderBufferMemory::Unlock() {
    locked_ = false;
    return D3D_OK;
}
