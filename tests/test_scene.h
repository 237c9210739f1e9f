// A "Crumple" channel made through the real loading path, with helpers to set
// its children and put meshes into it.
#pragma once

#include <memory>
#include <string>

#include "host/object_data.h"
#include "host/plugin_loader.h"
#include "host/value_channels.h"
#include "plugin/Kel_Crumple.h"

// The built plug-in, opened once per test process and kept open.
PluginLibrary& LoadedPlugin();

// Flat grid in the y = 0 plane: (nx + 1) x (nz + 1) vertices spaced `spacing`
// apart, centred on the origin, two triangles per cell wound counter-clockwise
// seen from +y; normals +y, set-0 and set-1 coordinates from the grid position,
// colours 0xFFFFFFFF unless `color` is given. Set 2 only when `withTex2`.
MeshArrays MakeGridMesh(int nx, int nz, float spacing, bool indices16 = false, bool withTex2 = false,
                        uint32_t color = 0xFFFFFFFFu);

class CrumpleScene {
public:
    CrumpleScene();
    ~CrumpleScene();

    Vexa_Channel* channel() { return channel_.get(); }
    Kel_Crumple& crumple() { return *static_cast<Kel_Crumple*>(channel_.get()); }
    Vexa_ChannelHost& host() { return host_; }

    void SetValue(int child, float value);
    float Value(int child);
    void SetVector(int child, D3DXVECTOR3 value);
    D3DXVECTOR3 Vector(int child);
    Vexa_ObjectData* Object();
    Vexa_ObjectData* Original();

    // Puts the mesh into child 2 and an independent copy into child 28.
    void SetMesh(const MeshArrays& mesh);
    // Settings that give a moderate dent-only hit on a unit-spaced grid; holes,
    // alpha and passes off. Multipliers 2 and 3.
    void SetDefaultSettings();
    // A hit at `position` with `normal`, masses and speed.
    void SetHit(D3DXVECTOR3 position, D3DXVECTOR3 normal, float mass1 = 1000.0f, float mass2 = 0.0f,
                float speed = 10.0f);
    void Update() { channel_->CallChannel(); }

private:
    Vexa_ChannelHost host_;
    std::unique_ptr<Vexa_Channel> channel_;
};
