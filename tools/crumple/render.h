// Offscreen rendering (Mesa's OSMesa) of an object straight from its render
// buffers: the vertex records and index entries the engine would draw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/d3d9_stand_in.h"
#include "host/object_data.h"
#include "image.h"

namespace crumpletool {

struct Camera {
    D3DXVECTOR3 eye{0.0f, 0.0f, 1.0f};
    D3DXVECTOR3 target{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 up{0.0f, 1.0f, 0.0f};
    float fovY = 0.5f;  // radians
    float nearZ = 0.1f;
    float farZ = 100.0f;
};

// Looks at the box from `viewFrom` (a direction from the box towards the eye)
// so that the whole box fits an image of the given aspect (width / height).
Camera FitCamera(const D3DXVECTOR3& boxMin, const D3DXVECTOR3& boxMax, const D3DXVECTOR3& viewFrom, float aspect);

// The first `count` positions of `positions`, placed by `world` (row vectors),
// as an axis-aligned box. False when count is 0.
bool WorldBounds(const D3DXVECTOR3* positions, size_t count, const D3DXMATRIX& world, D3DXVECTOR3* boxMin,
                 D3DXVECTOR3* boxMax);

// Where `point` (world space) lands in a width x height image seen by `camera`,
// in pixels from the top-left corner. False when it is behind the camera.
bool ProjectToPixel(const Camera& camera, int width, int height, const D3DXVECTOR3& point, float* x, float* y);

// What the renderer draws: the raw render buffers and the placement.
struct RenderBuffers {
    const uint8_t* vertices = nullptr;
    size_t vertexBytes = 0;
    int recordSize = 44;  // 44, or 52 with texture set 2
    const uint8_t* indices = nullptr;
    size_t indexBytes = 0;
    int indexWidth = 2;  // 2 or 4 bytes
    D3DXMATRIX world;
};

// The render buffers of `object`, as the engine would take them.
RenderBuffers BuffersOf(Vexa_ObjectData& object);

// Background colour of every rendering; a pixel of exactly this colour shows
// no surface.
extern const uint8_t kBackground[3];

class OffscreenRenderer {
public:
    // Throws OutputError when no offscreen OpenGL context can be made.
    OffscreenRenderer();
    ~OffscreenRenderer();
    OffscreenRenderer(const OffscreenRenderer&) = delete;
    OffscreenRenderer& operator=(const OffscreenRenderer&) = delete;

    // Draws every triangle of the index buffer with back faces culled, lit by
    // the record normals. Colour bytes are shown as damage: the blue byte (dent
    // record) as orange, a lowered alpha byte (alpha marks) as violet, the red
    // byte as darker plating. Rendered at twice the size and averaged down.
    Image Render(const RenderBuffers& buffers, const Camera& camera, int width, int height);

private:
    void* context_ = nullptr;
    unsigned program_ = 0;
    std::vector<uint8_t> target_;
};

}  // namespace crumpletool
