// The host side of one "Crumple" channel: the plug-in library opened by path
// through the stand-in host's loader, one instance with its children, and the
// operations a host performs on it (values, meshes, updates, reset, files).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/object_data.h"
#include "host/plugin_loader.h"
#include "host/value_channels.h"

namespace crumpletool {

// One child as the instance described it to the host.
struct ChildDescription {
    int index;
    std::string name;
    GUID type;
};

// Which child names a scene may set, and why the others may not be set.
struct SettingCatalog {
    std::map<std::string, int> settable;       // name -> child index
    std::map<std::string, std::string> refused;  // name -> reason
    std::vector<std::string> order;            // settable names in child order
};

class CrumpleChannel {
public:
    // Opens the plug-in at `pluginPath` and makes one channel with its children.
    // Throws InputError when the library cannot be opened or does not provide
    // the "Crumple" channel type with the children this host expects.
    explicit CrumpleChannel(const std::string& pluginPath);
    // The instance goes before the library that made it.
    ~CrumpleChannel();
    CrumpleChannel(const CrumpleChannel&) = delete;
    CrumpleChannel& operator=(const CrumpleChannel&) = delete;

    // -1 when no child has that name.
    int ChildIndex(const std::string& name) const;
    SettingCatalog Settings() const;

    // Puts `mesh` into "Object Data" and an independent copy into
    // "Original Object Data - debug", both placed by `world`.
    void SetMesh(const MeshArrays& mesh, const D3DXMATRIX& world);
    // Places both objects by `world`.
    void SetPlacement(const D3DXMATRIX& world);
    void SetValue(int child, float value);
    float Value(int child);
    void SetVector(int child, const D3DXVECTOR3& value);
    D3DXVECTOR3 Vector(int child);
    Vexa_ObjectData& Object();
    Vexa_ObjectData& Original();

    // The channel as the host holds it, for reading its whole state.
    Vexa_Channel& Channel() { return *channel_; }
    // One host update of the channel.
    void Update() { channel_->CallChannel(); }
    // The plug-in's ClearDamage, reached through its exported symbol.
    void ClearDamage();
    // Messages given to either debug functor since the last call, functor 1's first.
    std::vector<std::string> TakeMessages();

    // The host's channel file. Save throws OutputError, Load InputError; a
    // failed load leaves no usable channel, so callers stop after it.
    void Save(const std::string& path);
    void Load(const std::string& path);

private:
    void CheckChildren(const std::string& context);

    std::unique_ptr<PluginLibrary> library_;
    Vexa_ChannelHost host_;
    std::unique_ptr<Vexa_Channel> channel_;
    std::vector<ChildDescription> children_;
    void (*clearDamage_)(void*) = nullptr;
    size_t seen1_ = 0;
    size_t seen2_ = 0;
};

}  // namespace crumpletool
