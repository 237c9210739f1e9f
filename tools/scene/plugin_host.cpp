// The host side of one "Crumple" channel.
#include "plugin_host.h"

#include <cstring>

#include "errors.h"
#include "host/channel_file.h"
#include "plugin/children.h"

namespace crumpletool {

using namespace crumple;

namespace {

// ClearDamage is a plain member function, not in the virtual table, and the
// tool must not link the plug-in: it is found by its exported (Itanium-mangled)
// name and called as a function whose first argument is the object, which is
// how that ABI passes `this`. The channel's Vexa_Channel part starts at the
// object's own address (single, non-virtual inheritance), so the channel
// pointer is that object pointer; no cast to the plug-in's class is made,
// since even that would need its type information at link time.
constexpr const char* kClearDamageSymbol = "_ZN11Kel_Crumple11ClearDamageEv";

std::string RefusalReason(int index) {
    switch (index) {
        case kCollisionPosition: return "it is given per hit as \"position\"";
        case kCollisionNormal: return "it is given per hit as \"normal\"";
        case kMassBody1: return "it is given per hit as \"mass1\"";
        case kMassBody2: return "it is given per hit as \"mass2\"";
        case kMaxImpactSpeed: return "it is given per hit as \"speed\"";
        case kObjectData:
        case kOriginalObjectData: return "it holds the mesh, which the scene names with \"mesh\"";
        default: return "the channel writes it";
    }
}

}  // namespace

CrumpleChannel::CrumpleChannel(const std::string& pluginPath) {
    std::string error;
    library_ = PluginLibrary::Open(pluginPath, &error);
    if (!library_) throw InputError(error);
    const ChannelType* type = library_->GetType();
    const std::string typeName(type->szName, strnlen(type->szName, sizeof(type->szName)));
    if (typeName != "Crumple")
        throw InputError("plug-in library '" + pluginPath + "' provides the channel type '" + typeName +
                         "', not 'Crumple'");
    clearDamage_ = reinterpret_cast<void (*)(void*)>(library_->FindSymbol(kClearDamageSymbol));
    if (!clearDamage_)
        throw InputError("plug-in library '" + pluginPath + "' does not export Kel_Crumple::ClearDamage");
    channel_ = library_->CreateInstance(&host_);
    if (!channel_) throw InputError("plug-in library '" + pluginPath + "' made no channel instance");

    for (const auto& call : channel_->GetChildCreateCalls()) {
        const ChildCreation& record = call.first;
        ChildDescription child;
        child.index = call.second;
        child.name.assign(record.szChildName, strnlen(record.szChildName, sizeof(record.szChildName)));
        child.type = record.channelType.guidType;
        children_.push_back(child);
    }
    CheckChildren("plug-in library '" + pluginPath + "'");
}

CrumpleChannel::~CrumpleChannel() {
    channel_.reset();
    library_.reset();
}

// Every child the tool addresses must be there with the host type it expects;
// the descriptions must cover the same 29 children.
void CrumpleChannel::CheckChildren(const std::string& context) {
    if (children_.size() != static_cast<size_t>(kChildCount) || channel_->GetChildCount() != kChildCount)
        throw InputError(context + " does not give the channel its " + std::to_string(kChildCount) + " children");
    for (int i = 0; i < kChildCount; ++i) {
        Vexa_Channel* child = channel_->GetChild(i);
        bool ok = child != nullptr;
        if (ok && (i == kObjectData || i == kOriginalObjectData))
            ok = dynamic_cast<Vexa_ObjectData*>(child) != nullptr;
        else if (ok && (i == kCollisionPosition || i == kCollisionNormal || i == kNewCollisionPosition))
            ok = dynamic_cast<Vexa_ValueVector*>(child) != nullptr;
        else if (ok)
            ok = dynamic_cast<Vexa_Value*>(child) != nullptr;
        if (!ok)
            throw InputError(context + ": child " + std::to_string(i) + " is missing or of another type");
    }
}

int CrumpleChannel::ChildIndex(const std::string& name) const {
    for (const auto& child : children_)
        if (child.name == name) return child.index;
    return -1;
}

SettingCatalog CrumpleChannel::Settings() const {
    SettingCatalog catalog;
    for (const auto& child : children_) {
        const bool input = child.index >= kApplyDents && child.index <= kMinRedValue;
        if (input && child.type == kGuidValue) {
            catalog.settable[child.name] = child.index;
            catalog.order.push_back(child.name);
        } else {
            catalog.refused[child.name] = RefusalReason(child.index);
        }
    }
    return catalog;
}

void CrumpleChannel::SetMesh(const MeshArrays& mesh, const D3DXMATRIX& world) {
    std::shared_ptr<Vexa_ObjectData> working, original;
    try {
        working = Vexa_ObjectData::FromArrays(mesh);
        original = Vexa_ObjectData::FromArrays(mesh);
    } catch (const std::invalid_argument& e) {
        throw InputError(std::string("the host cannot hold the mesh: ") + e.what());
    }
    working->pChannelHost = &host_;
    original->pChannelHost = &host_;
    working->SetWorldMatrix(world);
    original->SetWorldMatrix(world);
    channel_->SetChild(kObjectData, working);
    channel_->SetChild(kOriginalObjectData, original);
}

void CrumpleChannel::SetPlacement(const D3DXMATRIX& world) {
    Object().SetWorldMatrix(world);
    Original().SetWorldMatrix(world);
}

void CrumpleChannel::SetValue(int child, float value) { ValueChild(channel_.get(), child)->SetValue(value); }
float CrumpleChannel::Value(int child) { return ValueChild(channel_.get(), child)->GetValue(); }
void CrumpleChannel::SetVector(int child, const D3DXVECTOR3& value) {
    VectorChild(channel_.get(), child)->SetValue(value);
}
D3DXVECTOR3 CrumpleChannel::Vector(int child) { return VectorChild(channel_.get(), child)->GetValue(); }
Vexa_ObjectData& CrumpleChannel::Object() { return *ObjectChild(channel_.get(), kObjectData); }
Vexa_ObjectData& CrumpleChannel::Original() { return *ObjectChild(channel_.get(), kOriginalObjectData); }

void CrumpleChannel::ClearDamage() {
    clearDamage_(static_cast<void*>(channel_.get()));
}

std::vector<std::string> CrumpleChannel::TakeMessages() {
    std::vector<std::string> fresh;
    const auto& first = host_.showDebugMessage1.Messages();
    const auto& second = host_.showDebugMessage2.Messages();
    fresh.insert(fresh.end(), first.begin() + static_cast<std::ptrdiff_t>(seen1_), first.end());
    fresh.insert(fresh.end(), second.begin() + static_cast<std::ptrdiff_t>(seen2_), second.end());
    seen1_ = first.size();
    seen2_ = second.size();
    return fresh;
}

void CrumpleChannel::Save(const std::string& path) {
    if (!SaveChannelFile(*channel_, path)) throw OutputError("cannot write the channel file '" + path + "'");
}

void CrumpleChannel::Load(const std::string& path) {
    if (!LoadChannelFile(*channel_, path))
        throw InputError("cannot load '" + path + "': not a readable, complete channel file of a Crumple channel");
    CheckChildren("channel file '" + path + "'");
}

}  // namespace crumpletool
