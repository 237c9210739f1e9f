// Random steps for the soak: where a hit lands, how hard, and every setting
// child, now and then with values no sensible host would send.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>

#include "soak.h"

using namespace crumple;

namespace soak {

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// Capacities one buffer creation may ask of the host in a soak run. The
// channel takes any multiplier whose capacity is an int, and the host then
// spends what it is asked for (70000 x 23632 vertices is 90 GB); that is the
// machine's limit, not a fault to look for.
constexpr double kMaxVertexCapacity = 1 << 22;
constexpr double kMaxIndexCapacity = 1 << 24;

// `factor` as drawn when the channel refuses it or its capacity fits `cap`;
// otherwise 1, no spare room.
float HeldMultiplier(float factor, int count, double cap) {
    const double capacity = static_cast<double>(static_cast<float>(count)) * static_cast<double>(factor);
    if (!(factor >= 1.0f) || !(capacity <= 2147483647.0) || capacity <= cap) return factor;
    return 1.0f;
}
const float kWeird[] = {std::numeric_limits<float>::quiet_NaN(), kInf, -kInf, -1.0f, -3.0f, -1e30f, 1e30f, FLT_MAX,
                        -FLT_MAX, 1e-40f, 0.0f, -0.0f, 1e9f, 2.5e9f, 70000.0f};

D3DXVECTOR3 Lerp3(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, float wa, float wb, float wc) {
    return D3DXVECTOR3(a.x * wa + b.x * wb + c.x * wc, a.y * wa + b.y * wb + c.y * wc, a.z * wa + b.z * wb + c.z * wc);
}

float Distance(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

D3DXVECTOR3 RandomUnit(Rng& rng) {
    for (;;) {
        const D3DXVECTOR3 v = rng.Vector(D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1));
        const float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        if (l > 0.05f && l <= 1.0f) return D3DXVECTOR3(v.x / l, v.y / l, v.z / l);
    }
}

// Object space to the placed space the host gives hits in: row vectors, p * M.
D3DXVECTOR3 Place(const D3DXMATRIX& m, const D3DXVECTOR3& p, bool point) {
    D3DXVECTOR3 r(p.x * m._11 + p.y * m._21 + p.z * m._31, p.x * m._12 + p.y * m._22 + p.z * m._32,
                  p.x * m._13 + p.y * m._23 + p.z * m._33);
    if (point) r = D3DXVECTOR3(r.x + m._41, r.y + m._42, r.z + m._43);
    return r;
}

// The impact energy as the channel works it out (to float rounding), so
// that radii can be aimed at the mesh's own scale.
double Energy(float m1, float m2, float speed, float factor) {
    const double a = m1 == 0 ? 3000000.0 : m1, b = m2 == 0 ? 3000000.0 : m2;
    double e = std::sqrt(speed / (1.0 / a + 1.0 / b)) / 5000.0 * factor;
    if (e < 1.0) e = std::sqrt(e);
    // No impact: any scale will do, the radius is never used.
    return e > 0 && std::isfinite(e) ? e : 1.0;
}

float Switch(Rng& rng, double on) {
    if (rng.Chance(0.05)) {
        // Truncated toward zero: 0.7 is off, 1.9 and -1 are on.
        const float odd[] = {0.7f, 1.9f, -1.0f, 2.0f};
        return odd[rng.Int(0, 3)];
    }
    return rng.Chance(on) ? 1.0f : 0.0f;
}

}  // namespace

// Reads: the object's current positions and used triangles through `view`.
// Returns a step aimed at the mesh; never writes to the scene.
StepInput MakeStep(Rng& rng, const SoakMesh& mesh, const MeshView& view, const StepInput* last) {
    if (last && rng.Chance(0.12)) {
        StepInput repeat = *last;
        repeat.hitKind = "repeat";
        return repeat;
    }
    StepInput s;
    Vexa_ObjectData* o = view.object;
    const float sp = mesh.spacing;
    const int capacity = o->GetVertexCount();
    const int vertexes = std::min(view.vertexes, capacity);
    const int triangles = view.indexes / 3;
    auto index = [&](int p) {
        const int i = o->GetIndex(p);
        return i >= 0 && i < capacity ? i : 0;
    };

    D3DXVECTOR3 at(0, 0, 0), normal = RandomUnit(rng);
    float local = sp;  // how far apart vertices are around `at`
    bool between = false;
    int kind = rng.Int(0, 99);
    if ((kind < 35 && vertexes == 0) || (kind >= 35 && kind < 65 && triangles == 0)) kind = 70;
    if (kind < 25) {
        const int v = rng.Int(0, vertexes - 1);
        at = o->pPositions[v];
        if (rng.Chance(0.5) && o->pNormals) normal = D3DXVECTOR3(-o->pNormals[v].x, -o->pNormals[v].y, -o->pNormals[v].z);
        s.hitKind = "on a vertex";
    } else if (kind < 35) {
        const int v = rng.Int(0, vertexes - 1);
        const D3DXVECTOR3 d = RandomUnit(rng);
        const float r = rng.Uniform(0, 0.7) * sp;
        at = D3DXVECTOR3(o->pPositions[v].x + d.x * r, o->pPositions[v].y + d.y * r, o->pPositions[v].z + d.z * r);
        s.hitKind = "near a vertex";
    } else if (kind < 65) {
        // Inside a used triangle, away from its corners.
        const int t = rng.Int(0, triangles - 1);
        const D3DXVECTOR3 a = o->pPositions[index(3 * t)], b = o->pPositions[index(3 * t + 1)],
                          c = o->pPositions[index(3 * t + 2)];
        const bool edge = kind >= 60;
        float wa = rng.Uniform(0.15, 1), wb = rng.Uniform(0.15, 1), wc = edge ? 0.0f : rng.Uniform(0.15, 1);
        if (edge) wa = wb = 1;
        const float sum = wa + wb + wc;
        at = Lerp3(a, b, c, wa / sum, wb / sum, wc / sum);
        local = std::min({Distance(at, a), Distance(at, b), edge ? kInf : Distance(at, c)});
        if (!(local > 0)) local = sp;
        between = rng.Chance(0.8);
        s.hitKind = edge ? "on an edge midpoint" : "inside a triangle";
    } else if (kind < 92) {
        const D3DXVECTOR3 &l = mesh.low, &h = mesh.high;
        at = rng.Vector(D3DXVECTOR3(l.x - sp, l.y - sp, l.z - sp), D3DXVECTOR3(h.x + sp, h.y + sp, h.z + sp));
        s.hitKind = "within the bounds";
    } else {
        const D3DXVECTOR3 d = RandomUnit(rng);
        const float size = Distance(mesh.low, mesh.high) + sp;
        const float r = size * rng.Uniform(1.5, 10);
        const D3DXVECTOR3 c = Lerp3(mesh.low, mesh.high, mesh.low, 0.5f, 0.5f, 0.0f);
        at = D3DXVECTOR3(c.x + d.x * r, c.y + d.y * r, c.z + d.z * r);
        s.hitKind = "off the mesh";
    }
    if (rng.Chance(0.3)) {
        // Mostly straight down or up, a little tilted.
        normal = rng.Vector(D3DXVECTOR3(-0.2f, 0, -0.2f), D3DXVECTOR3(0.2f, 0, 0.2f));
        normal.y = rng.Chance(0.7) ? -1.0f : 1.0f;
    }
    if (rng.Chance(0.01)) normal = D3DXVECTOR3(0, 0, 0);
    s.position = mesh.placed ? Place(mesh.placement, at, true) : at;
    s.normal = mesh.placed ? Place(mesh.placement, normal, false) : normal;

    float* v = s.value;
    // Masses (0 is an immovable body), speed and the impact factor; now and
    // then a collision with no impact at all.
    v[kMassBody1] = rng.Chance(0.2) ? 0.0f : rng.LogUniform(1, 1e5);
    v[kMassBody2] = (v[kMassBody1] == 0 || rng.Chance(0.5)) ? rng.LogUniform(1, 1e5) : 0.0f;
    v[kMaxImpactSpeed] = rng.LogUniform(0.1, 200);
    v[kImpactFactor] = rng.LogUniform(0.1, 1000);
    if (rng.Chance(0.02)) v[kMassBody1] = v[kMassBody2] = 0;
    if (rng.Chance(0.02)) v[kMaxImpactSpeed] = 0;
    const double energy = Energy(v[kMassBody1], v[kMassBody2], v[kMaxImpactSpeed], v[kImpactFactor]);

    // Radius mostly a few spacings, sometimes most of the mesh, sometimes tiny.
    const float extent = Distance(mesh.low, mesh.high) + sp;
    const double pick = rng.Unit();
    float radius = pick < 0.89 ? rng.LogUniform(0.3 * sp, 6 * sp)
                   : pick < 0.95 ? rng.LogUniform(6 * sp, std::max(7.0f * sp, extent))
                                 : rng.LogUniform(0.01 * sp, 0.3 * sp);
    if (between) radius = std::max(radius, 2 * local);
    v[kImpactRadiusFactor] = static_cast<float>(radius / energy);
    const float dentRadius = between ? rng.Uniform(0.01, 0.15) * local : radius * rng.Uniform(0.2, 1.5);
    v[kDentRadiusFactor] = dentRadius / radius;
    v[kDentFactor] = static_cast<float>(rng.Uniform(0, 0.5) * sp / energy);
    v[kDentAngle] = rng.Chance(0.05) ? rng.Uniform(-1, 2) : rng.Uniform(0, 1);
    v[kMaxDent] = rng.Chance(0.05) ? (rng.Chance(0.5) ? 0.0f : 1e-6f * sp) : rng.Uniform(0, 1) * sp;

    v[kApplyDents] = Switch(rng, 0.75);
    v[kApplyAlphaDamage] = Switch(rng, 0.5);
    v[kApplyHoles] = Switch(rng, 0.5);
    const double passes = rng.Unit();
    v[kNumberOfPasses] = passes < 0.15 ? 0.0f : passes < 0.55 ? 1.0f : passes < 0.95 ? 2.0f : passes < 0.98 ? 3.0f : 1.5f;
    v[kHoleThreshold] = rng.Chance(0.1) ? 0.0f : radius * (rng.Chance(0.7) ? rng.Uniform(0, 1) : rng.Uniform(1.01, 3));
    v[kMinRedValue] = rng.Chance(0.7) ? static_cast<float>(rng.Int(0, 300)) : rng.Uniform(0, 300);
    v[kMinTriangleSize] = rng.Chance(0.5) ? 0.0f : rng.Uniform(0, 1.5) * sp;
    v[kAlphaDamageValue] = rng.Chance(0.9) ? static_cast<float>(rng.Int(0, 255)) : (rng.Chance(0.5) ? -1.0f : 300.5f);
    v[kVertexMultiplier] = rng.Chance(0.03) ? 1.0f : rng.Uniform(1, 4);
    v[kIndexMultiplier] = rng.Chance(0.03) ? 1.0f : rng.Uniform(1, 6);
    if (rng.Chance(0.02)) {
        // Refused multipliers: the buffers are not made, the next update tries again.
        const float refused[] = {0.0f, 0.5f, -2.0f, std::numeric_limits<float>::quiet_NaN(), kInf, 1e12f};
        const int child = rng.Chance(0.5) ? kVertexMultiplier : kIndexMultiplier;
        v[child] = refused[rng.Int(0, 5)];
    }

    if (rng.Chance(0.06)) {
        // Extreme values on one to three inputs, vector components included.
        s.weird = true;
        const int count = rng.Int(1, 3);
        for (int k = 0; k < count; ++k) {
            const int child = rng.Int(0, kMinRedValue);
            const float value = kWeird[rng.Int(0, static_cast<int>(sizeof kWeird / sizeof kWeird[0]) - 1)];
            if (child <= kCollisionNormal) {
                D3DXVECTOR3& vector = child == kCollisionPosition ? s.position : s.normal;
                (&vector.x)[rng.Int(0, 2)] = value;
            } else if (child != kObjectData) {
                v[child] = value;
            }
        }
    }
    return s;
}

// Writes: children 0, 1 and 3 to 21 of the scene's channel, the multipliers
// held to the capacities above for the mesh as it stands.
void ApplyStep(CrumpleScene& scene, const StepInput& step) {
    scene.SetVector(kCollisionPosition, step.position);
    scene.SetVector(kCollisionNormal, step.normal);
    for (int child = kMassBody1; child <= kMinRedValue; ++child) scene.SetValue(child, step.value[child]);
    Vexa_ObjectData* o = scene.Object();
    if (o == nullptr) return;
    scene.SetValue(kVertexMultiplier,
                   HeldMultiplier(step.value[kVertexMultiplier], o->GetVertexCount(), kMaxVertexCapacity));
    scene.SetValue(kIndexMultiplier,
                   HeldMultiplier(step.value[kIndexMultiplier], o->GetIndexCount(), kMaxIndexCapacity));
}

bool HasNonFinite(const StepInput& step) {
    auto finite = [](const D3DXVECTOR3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); };
    if (!finite(step.position) || !finite(step.normal)) return true;
    for (int child = kMassBody1; child <= kMinRedValue; ++child)
        if (!std::isfinite(step.value[child])) return true;
    return false;
}

std::string Describe(const StepInput& step) {
    static const char* const kNames[] = {
        nullptr,        nullptr,           nullptr,          "mass1",        "mass2",        "speed",
        "dents",        "alpha",           "holes",          "passes",       "impact factor", "impact radius factor",
        "dent radius factor", "dent factor", "dent angle", "max dent", "vertex multiplier", "index multiplier",
        "alpha value",  "min triangle size", "hole threshold", "min red"};
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "hit %s at (%.9g, %.9g, %.9g) normal (%.9g, %.9g, %.9g)%s", step.hitKind,
                  step.position.x, step.position.y, step.position.z, step.normal.x, step.normal.y, step.normal.z,
                  step.weird ? " [extreme values]" : "");
    std::string out = buffer;
    for (int child = kMassBody1; child <= kMinRedValue; ++child) {
        std::snprintf(buffer, sizeof buffer, "; %s %.9g", kNames[child], step.value[child]);
        out += buffer;
    }
    return out;
}

}  // namespace soak
