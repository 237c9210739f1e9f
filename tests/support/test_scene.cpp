#include "test_scene.h"

#include <stdexcept>

#include "plugin/children.h"

using namespace crumple;

PluginLibrary& LoadedPlugin() {
    static std::unique_ptr<PluginLibrary> library = [] {
        std::string error;
        auto lib = PluginLibrary::Open(CRUMPLE_PLUGIN_PATH, &error);
        if (!lib) throw std::runtime_error("cannot load the plug-in: " + error);
        return lib;
    }();
    return *library;
}

MeshArrays MakeGridMesh(int nx, int nz, float spacing, bool indices16, bool withTex2, uint32_t color) {
    MeshArrays mesh;
    mesh.indices16 = indices16;
    const float x0 = -0.5f * spacing * static_cast<float>(nx);
    const float z0 = -0.5f * spacing * static_cast<float>(nz);
    for (int j = 0; j <= nz; ++j) {
        for (int i = 0; i <= nx; ++i) {
            mesh.positions.push_back({x0 + spacing * static_cast<float>(i), 0.0f, z0 + spacing * static_cast<float>(j)});
            mesh.normals.push_back({0.0f, 1.0f, 0.0f});
            const float u = static_cast<float>(i) / static_cast<float>(nx);
            const float v = static_cast<float>(j) / static_cast<float>(nz);
            mesh.texCoords0.push_back({u, v});
            mesh.texCoords1.push_back({v, u});
            if (withTex2) mesh.texCoords2.push_back({u * 2.0f, v * 2.0f});
            mesh.colors.push_back(color);
        }
    }
    const int row = nx + 1;
    for (int j = 0; j < nz; ++j) {
        for (int i = 0; i < nx; ++i) {
            const uint32_t a = static_cast<uint32_t>(j * row + i), b = a + 1;
            const uint32_t c = a + static_cast<uint32_t>(row), d = c + 1;
            // Counter-clockwise seen from +y: (a, c, b) and (b, c, d).
            mesh.indices.insert(mesh.indices.end(), {a, c, b, b, c, d});
        }
    }
    return mesh;
}

CrumpleScene::CrumpleScene() {
    channel_ = LoadedPlugin().CreateInstance(&host_);
    if (!channel_) throw std::runtime_error("the plug-in made no instance");
}

CrumpleScene::~CrumpleScene() = default;

namespace {

// The child as the type a test expects; a test that names a wrong child fails loudly.
template <typename T>
T& Typed(Vexa_Channel& channel, int child, const char* typeName) {
    auto* typed = dynamic_cast<T*>(channel.GetChild(child));
    if (!typed) throw std::logic_error("child " + std::to_string(child) + " is not a connected " + typeName);
    return *typed;
}

}  // namespace

void CrumpleScene::SetValue(int child, float value) { Typed<Vexa_Value>(*channel_, child, "Value").SetValue(value); }
float CrumpleScene::Value(int child) { return Typed<Vexa_Value>(*channel_, child, "Value").GetValue(); }
void CrumpleScene::SetVector(int child, D3DXVECTOR3 value) {
    Typed<Vexa_ValueVector>(*channel_, child, "Value Vector").SetValue(value);
}
D3DXVECTOR3 CrumpleScene::Vector(int child) {
    return Typed<Vexa_ValueVector>(*channel_, child, "Value Vector").GetValue();
}

Vexa_ObjectData* CrumpleScene::Object() { return dynamic_cast<Vexa_ObjectData*>(channel_->GetChild(kObjectData)); }

Vexa_ObjectData* CrumpleScene::Original() {
    return dynamic_cast<Vexa_ObjectData*>(channel_->GetChild(kOriginalObjectData));
}

void CrumpleScene::SetMesh(const MeshArrays& mesh) {
    channel_->SetChild(kObjectData, Vexa_ObjectData::FromArrays(mesh));
    channel_->SetChild(kOriginalObjectData, Vexa_ObjectData::FromArrays(mesh));
}

void CrumpleScene::SetDefaultSettings() {
    SetValue(kApplyDents, 1);
    SetValue(kApplyAlphaDamage, 0);
    SetValue(kApplyHoles, 0);
    SetValue(kNumberOfPasses, 1);
    SetValue(kImpactFactor, 100);
    SetValue(kImpactRadiusFactor, 1);
    SetValue(kDentRadiusFactor, 1);
    SetValue(kDentFactor, 0.1f);
    SetValue(kDentAngle, 0.5f);
    SetValue(kMaxDent, 0.5f);
    SetValue(kVertexMultiplier, 2);
    SetValue(kIndexMultiplier, 3);
    SetValue(kAlphaDamageValue, 128);
    SetValue(kMinTriangleSize, 0);
    SetValue(kHoleThreshold, 100);
    SetValue(kMinRedValue, 0);
}

void CrumpleScene::SetHit(D3DXVECTOR3 position, D3DXVECTOR3 normal, float mass1, float mass2, float speed) {
    SetVector(kCollisionPosition, position);
    SetVector(kCollisionNormal, normal);
    SetValue(kMassBody1, mass1);
    SetValue(kMassBody2, mass2);
    SetValue(kMaxImpactSpeed, speed);
}
