// The session's steps and its replay.
#include "view_session.h"

#include <algorithm>
#include <cstring>

#include "errors.h"
#include "mesh_io.h"
#include "render.h"
#include "runner.h"
#include "scene_text.h"

namespace crumpletool {

namespace {

// `first` then `second`, each name once with its last value: applied in
// order, the same settings result.
SettingList Merge(const SettingList& first, const SettingList& second) {
    SettingList merged;
    for (const SettingList* list : {&first, &second})
        for (const auto& setting : *list) {
            bool found = false;
            for (auto& kept : merged)
                if (kept.first == setting.first) kept.second = setting.second, found = true;
            if (!found) merged.push_back(setting);
        }
    return merged;
}

template <typename T>
void Put(std::string* out, const T& value) {
    out->append(reinterpret_cast<const char*>(&value), sizeof(value));
}

}  // namespace

ViewSession::ViewSession(std::string pluginPath, MeshArrays mesh, Scene scene, std::string meshName)
    : pluginPath_(std::move(pluginPath)), mesh_(std::move(mesh)), scene_(std::move(scene)),
      meshName_(std::move(meshName)) {
    for (const auto& hit : scene_.hits)
        if (hit.hasImpact) next_ = {hit.mass1, hit.mass2, hit.speed};
    Replay();
}

void ViewSession::Replay() {
    channel_.reset();  // one plug-in instance at a time
    channel_ = std::make_unique<CrumpleChannel>(pluginPath_);
    catalog_ = channel_->Settings();
    channel_->SetMesh(mesh_, scene_.placement);
    pending_ = StartScene(*channel_, scene_, nullptr);
    before_ = ViewBuffers(channel_->Object());
    std::vector<crumpletool::Hit> steps;
    steps.swap(scene_.hits);
    rows_.clear();
    for (crumpletool::Hit& step : steps) {
        const HitRow& row = Record(step);
        // Kept as the collision inputs it ran with, so it replays on any build.
        if (step.aimed) step.aimed = false, step.position = row.position, step.normal = row.normal;
        scene_.hits.back() = step;
    }
}

const HitRow& ViewSession::Record(const crumpletool::Hit& hit) {
    HitRow row = RunStep(*channel_, hit, static_cast<int>(rows_.size() + 1));
    if (rows_.empty()) row.messages.insert(row.messages.begin(), pending_.begin(), pending_.end());
    scene_.hits.push_back(hit);
    rows_.push_back(std::move(row));
    return rows_.back();
}

const HitRow& ViewSession::Hit(crumpletool::Hit hit) {
    if (!ResolveCollision(*channel_, hit, &hit.position, &hit.normal)) throw InputError(MissText(hit));
    hit.aimed = false;
    hit.hasImpact = true;
    hit.reset = false;
    hit.settings = Merge(changes_, hit.settings);
    return Record(hit);
}

const HitRow& ViewSession::Reset() {
    crumpletool::Hit reset;
    reset.reset = true;
    return Record(reset);
}

bool ViewSession::Undo() {
    if (scene_.hits.empty()) return false;
    scene_.hits.pop_back();
    Replay();
    return true;
}

void ViewSession::ChangeSettings(const SettingList& changes) { changes_ = Merge(changes_, changes); }

SettingList ViewSession::CurrentSettings() {
    SettingList current;
    for (const std::string& name : catalog_.order) current.emplace_back(name, channel_->Value(catalog_.settable.at(name)));
    for (auto& setting : current)
        for (const auto& change : changes_)
            if (change.first == setting.first) setting.second = change.second;
    return current;
}

std::string ViewSession::SceneFile() const { return SceneText(scene_, meshName_); }

std::string ViewSession::Glb() { return GlbBytes(DamagedMesh(*channel_)); }

std::string ViewSession::ViewBuffers(Vexa_ObjectData& object) {
    const RenderBuffers buffers = BuffersOf(object);
    const size_t record = buffers.recordSize > 0 ? static_cast<size_t>(buffers.recordSize) : 0;
    const uint32_t records = record >= 28 && buffers.vertices ? static_cast<uint32_t>(buffers.vertexBytes / record) : 0;
    std::vector<uint32_t> indices;
    const size_t width = static_cast<size_t>(buffers.indexWidth);
    const size_t entries = buffers.indices ? buffers.indexBytes / width / 3 * 3 : 0;
    for (size_t t = 0; t < entries; t += 3) {
        uint32_t corner[3];
        for (size_t k = 0; k < 3; ++k) {
            uint16_t narrow = 0;
            if (width == 2) std::memcpy(&narrow, buffers.indices + (t + k) * 2, 2), corner[k] = narrow;
            else std::memcpy(&corner[k], buffers.indices + (t + k) * 4, 4);
        }
        // A triangle naming a record the buffer does not hold is not drawn.
        if (corner[0] < records && corner[1] < records && corner[2] < records) indices.insert(indices.end(), corner, corner + 3);
    }
    // Records past the last one a triangle names are spare capacity.
    uint32_t drawn = 0;
    for (uint32_t index : indices) drawn = std::max(drawn, index + 1);
    const uint32_t vertices = drawn;
    std::string out = "CRVM";
    Put(&out, vertices);
    Put(&out, static_cast<uint32_t>(indices.size()));
    const D3DXMATRIX& w = buffers.world;
    for (int part = 0; part < 2; ++part)
        for (uint32_t v = 0; v < vertices; ++v) {
            float p[3];
            std::memcpy(p, buffers.vertices + v * record + (part == 0 ? 0 : 12), sizeof(p));
            const double t = part == 0 ? 1.0 : 0.0;  // normals turn with the object but do not move
            for (int c = 0; c < 3; ++c)
                Put(&out, static_cast<float>(double(p[0]) * w.m[0][c] + double(p[1]) * w.m[1][c] +
                                             double(p[2]) * w.m[2][c] + t * w.m[3][c]));
        }
    for (uint32_t v = 0; v < vertices; ++v) out.append(reinterpret_cast<const char*>(buffers.vertices + v * record + 24), 4);
    for (uint32_t index : indices) Put(&out, index);
    return out;
}

}  // namespace crumpletool
