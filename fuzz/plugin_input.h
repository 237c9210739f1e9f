// fuzz_plugin's input: bytes turned into a mesh as a host gives it, the
// sixteen settings, one collision and a sequence of host operations. Every
// byte string decodes to something; bytes past the end read as zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/d3d9_stand_in.h"
#include "host/object_data.h"

namespace crumplefuzz {

struct PluginOp {
    enum Kind {
        kUpdate,          // one host update (CallChannel)
        kClearDamage,     // Kel_Crumple::ClearDamage
        kReleaseBuffers,  // the host drops child 2's render buffers
        kCreateBuffers,   // the host remakes them from the arrays
        kSetChild,        // an outside write of `value` into Value child `child`
        kMoveHit          // a new collision position and normal
    };
    Kind kind = kUpdate;
    int child = 0;
    float value = 0.0f;
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f}, normal{0.0f, 0.0f, 0.0f};
};

struct PluginInput {
    // 3 to 300 vertices, every index below the vertex count, all finite.
    MeshArrays mesh;
    // Child 28 lacks colours and texture sets 1 and 2.
    bool bareOriginal = false;
    D3DXMATRIX placement;
    float settings[16] = {};  // children 6 to 21 in order
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f}, normal{0.0f, 0.0f, 0.0f};
    float mass1 = 0.0f, mass2 = 0.0f, speed = 0.0f;
    std::vector<PluginOp> ops;  // at most kMaxOps
};

constexpr size_t kMaxOps = 64;

// Reads: the input bytes. Values come either from a range a scene would use
// for that child, from a table of awkward values (NaN, infinities, zeros of
// both signs, negatives, huge and tiny values, 2^24 + 1, 2^31) or as raw
// float bits. An input with no operation left gets two updates.
PluginInput DecodePluginInput(const uint8_t* data, size_t size);

}  // namespace crumplefuzz
