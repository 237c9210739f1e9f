#include "plugin_input.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "plugin/children.h"
#include "splitmix64.h"

namespace crumplefuzz {

using namespace crumple;

namespace {

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool AtEnd() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    float RawFloat() {
        uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(Byte()) << (8 * i);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// The bulk of a mesh comes from a seed in the input, so a small input
// still makes a few hundred vertices.
class Random {
public:
    explicit Random(uint64_t seed) : bits_(seed) {}
    uint64_t Next() { return bits_.Next(); }
    float Unit() { return static_cast<float>(Next() >> 40) / static_cast<float>(1 << 24); }  // [0, 1)
    float Signed() { return 2.0f * Unit() - 1.0f; }

private:
    SplitMix64 bits_;
};

enum class Kind {
    kSwitch, kPasses, kImpactFactor, kImpactRadius, kDentRadius, kDentFactor, kUnit, kMaxDent,
    kMultiplier, kByte, kMinTriangle, kHoleThreshold, kMass, kSpeed, kCoordinate, kVertexes, kIndexes
};

// Children 6 to 21.
const Kind kSettingKinds[16] = {Kind::kSwitch,       Kind::kSwitch,       Kind::kSwitch,     Kind::kPasses,
                                Kind::kImpactFactor, Kind::kImpactRadius, Kind::kDentRadius, Kind::kDentFactor,
                                Kind::kUnit,         Kind::kMaxDent,      Kind::kMultiplier, Kind::kMultiplier,
                                Kind::kByte,         Kind::kMinTriangle,  Kind::kHoleThreshold, Kind::kByte};

const float kAwkward[] = {std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(),
                          0.0f, -0.0f, -1.0f, 1e30f, -1e30f, FLT_MAX, -FLT_MAX, FLT_MIN, 1e-40f, 0.5f, 1.0f, 2.0f,
                          3.0f, 255.0f, 256.0f, 65536.0f, 16777217.0f, 2147483648.0f, 1e9f, -1e9f, 1e-7f};
constexpr int kAwkwardCount = sizeof(kAwkward) / sizeof(kAwkward[0]);

// A value a scene would plausibly give a child of this kind.
float Typical(Kind kind, uint8_t b) {
    const float f = static_cast<float>(b);
    switch (kind) {
        case Kind::kSwitch: return static_cast<float>(b & 1);
        case Kind::kPasses: return static_cast<float>(b % 3);
        case Kind::kImpactFactor: return f;
        case Kind::kImpactRadius: return f / 64.0f;
        case Kind::kDentRadius: return f / 128.0f;
        case Kind::kDentFactor: return f / 512.0f;
        case Kind::kUnit: return f / 255.0f;
        case Kind::kMaxDent: return f / 256.0f;
        case Kind::kMultiplier: return 1.0f + f / 64.0f;
        case Kind::kByte: return f;
        case Kind::kMinTriangle: return f / 512.0f;
        case Kind::kHoleThreshold: return f / 128.0f;
        case Kind::kMass: return b < 32 ? 0.0f : f * 20.0f;
        case Kind::kSpeed: return f / 4.0f;
        case Kind::kCoordinate: return (f - 128.0f) / 8.0f;
        case Kind::kVertexes: return f * 2.0f;
        case Kind::kIndexes: return f * 6.0f;
    }
    return 0.0f;
}

// Selector below 0xA0: a typical value from the next byte; below 0xE0: one
// of the awkward values; else four bytes of raw float bits.
float Value(ByteReader& in, Kind kind) {
    const uint8_t s = in.Byte();
    if (s < 0xA0) return Typical(kind, in.Byte());
    if (s < 0xE0) return kAwkward[(s - 0xA0) % kAwkwardCount];
    return in.RawFloat();
}

void MakeGrid(ByteReader& in, MeshArrays* mesh) {
    const int nx = 1 + in.Byte() % 16, nz = 1 + in.Byte() % 16;
    const float spacing = 0.05f + static_cast<float>(in.Byte()) / 32.0f;
    const float rough = static_cast<float>(in.Byte()) / 510.0f * spacing;
    Random rng(in.U16());
    for (int j = 0; j <= nz; ++j)
        for (int i = 0; i <= nx; ++i)
            mesh->positions.emplace_back(spacing * (static_cast<float>(i) - 0.5f * static_cast<float>(nx)),
                                         rough * rng.Signed(),
                                         spacing * (static_cast<float>(j) - 0.5f * static_cast<float>(nz)));
    const uint32_t row = static_cast<uint32_t>(nx + 1);
    for (int j = 0; j < nz; ++j)
        for (int i = 0; i < nx; ++i) {
            const uint32_t a = static_cast<uint32_t>(j) * row + static_cast<uint32_t>(i), b = a + 1;
            const uint32_t c = a + row, d = c + 1;
            mesh->indices.insert(mesh->indices.end(), {a, c, b, b, c, d});
        }
}

void MakeSoup(ByteReader& in, MeshArrays* mesh) {
    const int n = 3 + in.U16() % 298, triangles = 1 + in.U16() % 600;
    const float extent = 0.1f + static_cast<float>(in.Byte()) / 16.0f;
    Random rng(in.U16());
    for (int v = 0; v < n; ++v)
        mesh->positions.emplace_back(extent * rng.Signed(), extent * rng.Signed(), extent * rng.Signed());
    for (int k = 0; k < 3 * triangles; ++k) mesh->indices.push_back(static_cast<uint32_t>(rng.Next() % n));
}

void MakeExplicit(ByteReader& in, MeshArrays* mesh) {
    const int n = 3 + in.Byte() % 62;
    const float scale = 0.01f + static_cast<float>(in.Byte()) / 64.0f;
    for (int v = 0; v < n; ++v) {
        float p[3];
        for (float& c : p) c = scale * static_cast<float>(static_cast<int8_t>(in.Byte()));
        mesh->positions.emplace_back(p[0], p[1], p[2]);
    }
    const int triangles = 1 + in.Byte() % 96;
    for (int k = 0; k < 3 * triangles; ++k) mesh->indices.push_back(in.Byte() % n);
}

void AddAttributes(ByteReader& in, uint8_t flags, MeshArrays* mesh) {
    Random rng(in.U16());
    const uint8_t colourMode = in.Byte(), red = in.Byte();
    const size_t n = mesh->positions.size();
    for (size_t v = 0; v < n; ++v) {
        if (flags & 0x10) {
            // Mostly unit normals, now and then a zero one.
            D3DXVECTOR3 d(rng.Signed(), rng.Signed(), rng.Signed());
            const float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
            if (rng.Next() % 16 == 0 || length < 1e-3f) d = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
            else d = D3DXVECTOR3(d.x / length, d.y / length, d.z / length);
            mesh->normals.push_back(d);
        }
        mesh->texCoords0.emplace_back(rng.Unit(), rng.Unit());
        if (flags & 0x04) mesh->texCoords1.emplace_back(rng.Unit(), rng.Unit());
        if (flags & 0x08) mesh->texCoords2.emplace_back(rng.Unit(), rng.Unit());
        if (flags & 0x02) {
            const uint32_t bits = static_cast<uint32_t>(rng.Next());
            const uint32_t blues[4] = {0u, 128u, 254u, 255u};
            switch (colourMode % 4) {
                case 0: mesh->colors.push_back(0xFFFFFFFFu); break;
                case 1: mesh->colors.push_back(bits); break;
                case 2: mesh->colors.push_back(0xFF000000u | uint32_t(red) << 16); break;
                default: mesh->colors.push_back(0xFF000000u | (bits & 0x00FFFF00u) | blues[bits >> 30]); break;
            }
        }
    }
}

D3DXVECTOR3 Placed(const D3DXMATRIX& m, const D3DXVECTOR3& p) {
    return D3DXVECTOR3(p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41, p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42,
                       p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43);
}

// On a vertex, at a triangle's centre, somewhere around the mesh (all placed
// as the object is), or any three values.
D3DXVECTOR3 Position(ByteReader& in, const PluginInput& input) {
    const MeshArrays& mesh = input.mesh;
    const uint8_t mode = in.Byte() % 4;
    if (mode == 0) return Placed(input.placement, mesh.positions[in.U16() % mesh.positions.size()]);
    if (mode == 1) {
        const size_t t = in.U16() % (mesh.indices.size() / 3);
        D3DXVECTOR3 sum(0.0f, 0.0f, 0.0f);
        for (int k = 0; k < 3; ++k) {
            const D3DXVECTOR3& p = mesh.positions[mesh.indices[3 * t + static_cast<size_t>(k)]];
            sum = D3DXVECTOR3(sum.x + p.x, sum.y + p.y, sum.z + p.z);
        }
        return Placed(input.placement, D3DXVECTOR3(sum.x / 3.0f, sum.y / 3.0f, sum.z / 3.0f));
    }
    if (mode == 2) {
        D3DXVECTOR3 lo = mesh.positions[0], hi = lo;
        for (const D3DXVECTOR3& p : mesh.positions) {
            lo = D3DXVECTOR3(std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z));
            hi = D3DXVECTOR3(std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z));
        }
        auto along = [&](float a, float b) {
            const float t = static_cast<float>(in.Byte()) / 170.0f - 0.25f;  // [-0.25, 1.25]
            return a + (b - a) * t;
        };
        const float x = along(lo.x, hi.x), y = along(lo.y, hi.y), z = along(lo.z, hi.z);
        return Placed(input.placement, D3DXVECTOR3(x, y, z));
    }
    const float x = Value(in, Kind::kCoordinate), y = Value(in, Kind::kCoordinate);
    return D3DXVECTOR3(x, y, Value(in, Kind::kCoordinate));
}

D3DXVECTOR3 Normal(ByteReader& in) {
    const uint8_t mode = in.Byte() % 3;
    if (mode == 0) {
        const uint8_t axis = in.Byte() % 6;
        float n[3] = {0.0f, 0.0f, 0.0f};
        n[axis / 2] = axis % 2 ? 1.0f : -1.0f;
        return D3DXVECTOR3(n[0], n[1], n[2]);
    }
    if (mode == 1) {
        const float x = static_cast<int8_t>(in.Byte()), y = static_cast<int8_t>(in.Byte());
        return D3DXVECTOR3(x, y, static_cast<int8_t>(in.Byte()));
    }
    const float x = Value(in, Kind::kCoordinate), y = Value(in, Kind::kCoordinate);
    return D3DXVECTOR3(x, y, Value(in, Kind::kCoordinate));
}

}  // namespace

PluginInput DecodePluginInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    PluginInput input;
    const uint8_t flags = in.Byte();
    input.mesh.indices16 = flags & 0x01;
    input.bareOriginal = flags & 0x40;
    switch (in.Byte() % 3) {
        case 0: MakeGrid(in, &input.mesh); break;
        case 1: MakeSoup(in, &input.mesh); break;
        default: MakeExplicit(in, &input.mesh); break;
    }
    AddAttributes(in, flags, &input.mesh);

    std::memset(&input.placement, 0, sizeof input.placement);
    input.placement._11 = input.placement._22 = input.placement._33 = input.placement._44 = 1.0f;
    if (flags & 0x20) {
        // A turn about y and a shift, as a scene's placement would be.
        const float angle = static_cast<float>(in.Byte()) * (6.2831853f / 256.0f);
        const float c = std::cos(angle), s = std::sin(angle);
        input.placement._11 = c, input.placement._13 = -s, input.placement._31 = s, input.placement._33 = c;
        input.placement._41 = Value(in, Kind::kCoordinate);
        input.placement._42 = Value(in, Kind::kCoordinate);
        input.placement._43 = Value(in, Kind::kCoordinate);
    }

    for (int i = 0; i < 16; ++i) input.settings[i] = Value(in, kSettingKinds[i]);
    input.position = Position(in, input);
    input.normal = Normal(in);
    input.mass1 = Value(in, Kind::kMass);
    input.mass2 = Value(in, Kind::kMass);
    input.speed = Value(in, Kind::kSpeed);

    while (!in.AtEnd() && input.ops.size() < kMaxOps) {
        PluginOp op;
        const uint8_t code = in.Byte();
        switch (code % 8) {
            case 0: case 1: case 2: op.kind = PluginOp::kUpdate; break;
            case 3: op.kind = PluginOp::kClearDamage; break;
            case 4: op.kind = PluginOp::kReleaseBuffers; break;
            case 5: op.kind = PluginOp::kCreateBuffers; break;
            case 6: {
                // The used counts most often, any setting otherwise.
                op.kind = PluginOp::kSetChild;
                const uint8_t which = in.Byte();
                if (which % 3 == 0) {
                    op.child = kVertexesUsed;
                    op.value = Value(in, Kind::kVertexes);
                } else if (which % 3 == 1) {
                    op.child = kIndexesUsed;
                    op.value = Value(in, Kind::kIndexes);
                } else {
                    op.child = kApplyDents + (which / 3) % 16;
                    op.value = Value(in, kSettingKinds[op.child - kApplyDents]);
                }
                break;
            }
            default:
                op.kind = PluginOp::kMoveHit;
                op.position = Position(in, input);
                op.normal = Normal(in);
                break;
        }
        input.ops.push_back(op);
    }
    if (input.ops.empty()) input.ops.assign(2, PluginOp());
    return input;
}

}  // namespace crumplefuzz
