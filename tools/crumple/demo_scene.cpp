// The demo hull and its scripted hits.
#include "demo_scene.h"

#include <algorithm>
#include <cmath>

namespace crumpletool {

namespace {

constexpr int kRings = 220;
constexpr int kAround = 150;
constexpr float kPi = 3.14159265358979f;

constexpr uint32_t kPlating = 0xFF288000u;     // red 40: may be holed
constexpr uint32_t kReinforced = 0xFFC88000u;  // red 200: may not

struct Section {
    float halfBeam, deck, keel;
};

// Cross-section at s from the stern (0) to the bow (1): a transom a little
// narrower than the midship, a bow that narrows to a stem, a sheer that rises
// towards the bow and a keel that rises at both ends.
Section SectionAt(float s) {
    float beam;
    if (s < 0.55f) {
        beam = 3.0f * (0.82f + 0.18f * std::min(1.0f, s / 0.3f));
    } else {
        const float t = (s - 0.55f) / 0.45f;
        beam = 3.0f * std::pow(std::max(0.0f, 1.0f - t * t), 0.6f);
    }
    const float rise = std::max(0.0f, (s - 0.7f) / 0.3f);
    const float end = 2.0f * s - 1.0f;
    return {std::max(beam, 0.05f), 1.6f + 0.9f * rise * rise, -2.2f * (1.0f - 0.45f * end * end * end * end)};
}

// Around the section from the waterline on the port side (phi 0) over the
// deck (pi/2) and the keel (3 pi/2): boxy sides, a flat deck, a round bilge.
D3DXVECTOR3 HullPoint(float s, float phi) {
    const Section section = SectionAt(s);
    const float c = std::cos(phi), sn = std::sin(phi);
    const float z = section.halfBeam * std::copysign(std::pow(std::fabs(c), 0.45f), c);
    const float y = sn >= 0.0f ? section.deck * std::pow(sn, 0.5f) : section.keel * std::pow(-sn, 0.8f);
    return D3DXVECTOR3(-10.0f + 20.0f * s, y, z);
}

int RingVertex(int ring, int around) { return 1 + ring * kAround + ((around % kAround) + kAround) % kAround; }

D3DXVECTOR3 Sub(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return D3DXVECTOR3(a.x - b.x, a.y - b.y, a.z - b.z); }
D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return D3DXVECTOR3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
float Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The vertex nearest to (s, phi) on the hull.
int VertexAt(float s, float phi) {
    const int ring = static_cast<int>(std::lround(s * (kRings - 1)));
    const int around = static_cast<int>(std::lround(phi / (2.0f * kPi) * kAround));
    return RingVertex(ring, around);
}

Hit HitAt(const MeshArrays& mesh, int vertex, const std::string& name, float speed) {
    Hit hit;
    hit.name = name;
    hit.hasImpact = true;
    hit.position = mesh.positions[static_cast<size_t>(vertex)];
    hit.normal = mesh.normals[static_cast<size_t>(vertex)];
    hit.mass1 = 2000.0f;
    hit.mass2 = 0.0f;  // the other body is immovable, like a rock
    hit.speed = speed;
    return hit;
}

}  // namespace

MeshArrays MakeDemoHull() {
    MeshArrays mesh;
    mesh.indices16 = true;
    const size_t count = 2 + static_cast<size_t>(kRings) * kAround;
    mesh.positions.reserve(count);

    // Stern point in the transom's middle, rings, then the stem's point.
    float sternY = 0.0f, bowY = 0.0f;
    for (int j = 0; j < kAround; ++j) {
        sternY += HullPoint(0.0f, 2.0f * kPi * j / kAround).y / kAround;
        bowY += HullPoint(1.0f, 2.0f * kPi * j / kAround).y / kAround;
    }
    mesh.positions.emplace_back(-10.0f, sternY, 0.0f);
    mesh.texCoords0.emplace_back(0.0f, 0.5f);
    for (int i = 0; i < kRings; ++i) {
        const float s = static_cast<float>(i) / (kRings - 1);
        for (int j = 0; j < kAround; ++j) {
            mesh.positions.push_back(HullPoint(s, 2.0f * kPi * j / kAround));
            mesh.texCoords0.emplace_back(s, static_cast<float>(j) / kAround);
        }
    }
    mesh.positions.emplace_back(10.25f, bowY, 0.0f);
    mesh.texCoords0.emplace_back(1.0f, 0.5f);
    const uint32_t bow = static_cast<uint32_t>(count - 1);

    auto triangle = [&mesh](int a, int b, int c) {
        mesh.indices.insert(mesh.indices.end(), {uint32_t(a), uint32_t(b), uint32_t(c)});
    };
    for (int j = 0; j < kAround; ++j) triangle(0, RingVertex(0, j + 1), RingVertex(0, j));
    for (int i = 0; i + 1 < kRings; ++i)
        for (int j = 0; j < kAround; ++j) {
            triangle(RingVertex(i, j), RingVertex(i, j + 1), RingVertex(i + 1, j));
            triangle(RingVertex(i, j + 1), RingVertex(i + 1, j + 1), RingVertex(i + 1, j));
        }
    for (int j = 0; j < kAround; ++j) triangle(int(bow), RingVertex(kRings - 1, j), RingVertex(kRings - 1, j + 1));

    // Outward winding: a positive enclosed volume. Flip every triangle if not.
    double volume = 0.0;
    for (size_t t = 0; t < mesh.indices.size(); t += 3) {
        const D3DXVECTOR3& a = mesh.positions[mesh.indices[t]];
        volume += Dot(a, Cross(mesh.positions[mesh.indices[t + 1]], mesh.positions[mesh.indices[t + 2]]));
    }
    if (volume < 0.0)
        for (size_t t = 0; t < mesh.indices.size(); t += 3) std::swap(mesh.indices[t + 1], mesh.indices[t + 2]);

    // Smooth normals: area-weighted face normals summed at each corner.
    mesh.normals.assign(count, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    for (size_t t = 0; t < mesh.indices.size(); t += 3) {
        const uint32_t a = mesh.indices[t], b = mesh.indices[t + 1], c = mesh.indices[t + 2];
        const D3DXVECTOR3 n = Cross(Sub(mesh.positions[b], mesh.positions[a]), Sub(mesh.positions[c], mesh.positions[a]));
        for (uint32_t v : {a, b, c}) {
            mesh.normals[v].x += n.x;
            mesh.normals[v].y += n.y;
            mesh.normals[v].z += n.z;
        }
    }
    for (auto& n : mesh.normals) {
        const float length = std::sqrt(Dot(n, n));
        if (length > 0.0f) n = D3DXVECTOR3(n.x / length, n.y / length, n.z / length);
    }

    // Reinforced: the bow, the transom and the deck.
    mesh.colors.reserve(count);
    for (size_t v = 0; v < count; ++v) {
        const D3DXVECTOR3& p = mesh.positions[v];
        const float s = (p.x + 10.0f) / 20.0f;
        const bool deck = p.y > SectionAt(std::min(1.0f, std::max(0.0f, s))).deck - 0.3f;
        mesh.colors.push_back(s > 0.82f || s < 0.02f || deck ? kReinforced : kPlating);
    }
    return mesh;
}

SettingList DemoSettings() {
    return {
        {"Apply Dents? (0/1)", 1.0f},       {"Apply Alpha Damage? (0/1)", 0.0f},
        {"Apply Holes? (0/1)", 0.0f},       {"Number of passes (0-2)", 1.0f},
        {"Impact factor", 40.0f},           {"Impact radius factor", 0.6f},
        {"Dent radius factor", 1.6f},       {"Dent factor", 0.15f},
        {"Dent angle (0-1)", 0.5f},         {"Max dent", 0.5f},
        {"Vertex multiplier", 1.5f},        {"Index multiplier", 2.0f},
        {"Alpha damage value (0-255)", 96.0f}, {"Min triangle size", 0.02f},
        {"Hole treshold", 0.5f},            {"Min red value (0-255)", 128.0f},
    };
}

DemoScene MakeDemoScene() {
    DemoScene demo;
    demo.mesh = MakeDemoHull();
    const MeshArrays& mesh = demo.mesh;
    Scene& scene = demo.scene;
    scene.view = D3DXVECTOR3(0.30f, 0.42f, 1.0f);
    scene.settings = DemoSettings();
    auto& hits = scene.hits;
    // Each hit names the settings it changes; they hold for that hit only.
    const SettingList holes = {{"Apply Holes? (0/1)", 1.0f},
                               {"Apply Alpha Damage? (0/1)", 1.0f},
                               {"Alpha damage value (0-255)", 160.0f}};
    auto with = [](SettingList base, const SettingList& more) {
        base.insert(base.end(), more.begin(), more.end());
        return base;
    };

    Hit warmUp = HitAt(mesh, VertexAt(0.15f, 0.25f), "stern hole, undone below", 14.0f);
    warmUp.settings = holes;
    hits.push_back(warmUp);
    Hit reset;
    reset.name = "reset";
    reset.reset = true;
    hits.push_back(reset);

    const int dentVertex = VertexAt(0.42f, 0.35f);
    for (int k = 1; k <= 5; ++k)
        hits.push_back(HitAt(mesh, dentVertex, "dent " + std::to_string(k) + "/5, same spot", 10.0f));

    Hit alpha = HitAt(mesh, VertexAt(0.64f, 0.30f), "alpha marks only", 10.0f);
    alpha.settings = {{"Apply Dents? (0/1)", 0.0f}, {"Apply Alpha Damage? (0/1)", 1.0f}};
    hits.push_back(alpha);

    Hit onePass = HitAt(mesh, VertexAt(0.28f, 0.30f), "hole, one pass", 14.0f);
    onePass.settings = holes;
    hits.push_back(onePass);

    demo.holeHit = hits.size();
    Hit twoPasses = HitAt(mesh, VertexAt(0.53f, 0.28f), "hole, two passes", 14.0f);
    twoPasses.settings = with(holes, {{"Number of passes (0-2)", 2.0f}});
    hits.push_back(twoPasses);

    Hit underWater = HitAt(mesh, VertexAt(0.36f, -0.18f), "hole under water", 14.0f);
    underWater.settings = twoPasses.settings;
    hits.push_back(underWater);

    Hit bow = HitAt(mesh, VertexAt(0.90f, 0.30f), "reinforced bow: no hole", 16.0f);
    bow.settings = twoPasses.settings;
    hits.push_back(bow);

    // Between the vertices of one triangle, with a dent radius too small to
    // reach any of them: the channel inserts a vertex at the impact point.
    const int ring = static_cast<int>(std::lround(0.74f * (kRings - 1)));
    const int around = static_cast<int>(std::lround(0.30f / (2.0f * kPi) * kAround));
    const D3DXVECTOR3& a = mesh.positions[size_t(RingVertex(ring, around))];
    const D3DXVECTOR3& b = mesh.positions[size_t(RingVertex(ring, around + 1))];
    const D3DXVECTOR3& c = mesh.positions[size_t(RingVertex(ring + 1, around))];
    Hit between = HitAt(mesh, RingVertex(ring, around), "between vertices", 10.0f);
    between.position = D3DXVECTOR3((a.x + b.x + c.x) / 3.0f, (a.y + b.y + c.y) / 3.0f, (a.z + b.z + c.z) / 3.0f);
    between.settings = {{"Apply Alpha Damage? (0/1)", 1.0f},
                        {"Alpha damage value (0-255)", 160.0f},
                        {"Dent radius factor", 0.02f}};
    hits.push_back(between);

    Hit off = HitAt(mesh, VertexAt(0.45f, 0.6f), "all damage switched off", 10.0f);
    off.settings = {{"Apply Dents? (0/1)", 0.0f}};
    hits.push_back(off);
    return demo;
}

}  // namespace crumpletool
