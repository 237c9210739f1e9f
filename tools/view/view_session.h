// One viewing session: the channel, the steps taken so far and the settings
// the next hits get. Every step is kept as a plain hit (aims resolved), so the
// session can be replayed from the undamaged mesh and saved as a scene that
// `crumple run` replays to the same bytes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/object_data.h"
#include "plugin_host.h"
#include "scene.h"
#include "steps.h"

namespace crumpletool {

// Mass and speed of the hits the page makes.
struct NextHit {
    float mass1 = 2000.0f;
    float mass2 = 0.0f;
    float speed = 10.0f;
};

class ViewSession {
public:
    // Puts `mesh` into a fresh channel of the plug-in at `pluginPath` and runs
    // the scene's steps. `meshName` is how a saved scene names the mesh.
    // Throws InputError as `crumple run` would.
    ViewSession(std::string pluginPath, MeshArrays mesh, Scene scene, std::string meshName);

    // Runs `hit` as the next step, with the session's setting changes under the
    // hit's own. An aim that meets nothing throws InputError and changes
    // nothing.
    const HitRow& Hit(crumpletool::Hit hit);
    // A step that only calls ClearDamage.
    const HitRow& Reset();
    // Drops the last step and replays the rest from the undamaged mesh. False
    // when there is no step.
    bool Undo();
    // Changes that hold for every following hit (names already checked).
    void ChangeSettings(const SettingList& changes);

    const std::vector<HitRow>& Rows() const { return rows_; }
    NextHit& Next() { return next_; }
    const std::string& MeshName() const { return meshName_; }
    // Direction from the object towards the eye the scene asks for.
    const D3DXVECTOR3& View() const { return scene_.view; }
    // The value each settable child has for the next hit, in child order.
    SettingList CurrentSettings();
    const SettingCatalog& Catalog() const { return catalog_; }

    // A scene file that replays the session.
    std::string SceneFile() const;
    // The used part of the damaged mesh as glTF binary, as `crumple run` writes it.
    std::string Glb();
    // The render buffers now, or as they were before the first step, in the
    // page's layout (see ViewBuffers).
    std::string Buffers() { return ViewBuffers(channel_->Object()); }
    const std::string& BuffersBefore() const { return before_; }

    // What the engine would draw of `object`: "CRVM", vertex and index counts,
    // placed positions, placed normals, the colour bytes as they lie, indices;
    // little-endian. Only whole triangles of records the vertex buffer holds,
    // and the records up to the last one they name.
    static std::string ViewBuffers(Vexa_ObjectData& object);

private:
    void Replay();
    const HitRow& Record(const crumpletool::Hit& hit);

    std::string pluginPath_;
    MeshArrays mesh_;
    Scene scene_;  // its hits: the steps taken, each as it ran
    std::string meshName_;
    SettingList changes_;
    NextHit next_;
    std::unique_ptr<CrumpleChannel> channel_;
    SettingCatalog catalog_;
    std::vector<HitRow> rows_;
    std::vector<std::string> pending_;  // the start's messages, for the first row
    std::string before_;
};

}  // namespace crumpletool
