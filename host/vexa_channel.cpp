// The channel base: name and child descriptions given by the channel itself,
// the child slots the host fills from them, and the base's persistence.
#include "host/vexa_channel.h"

#include "host/file_stream.h"

namespace {
// Upper bound on child slots read from a file; real channels have a few dozen.
constexpr int32_t kMaxChildSlots = 4096;
}  // namespace

ChannelFeedback::~ChannelFeedback() = default;
DllInterface::~DllInterface() = default;

void ShowDebugMessage::operator()(const char* text) { messages_.emplace_back(text ? text : ""); }

Vexa_Channel::Vexa_Channel() : pChannelHost(nullptr) {}

// Member-wise: a copy shares the child channels of the original (the slots hold
// shared pointers) and keeps its host, type record and call counters.
Vexa_Channel::Vexa_Channel(const Vexa_Channel& other) = default;
Vexa_Channel& Vexa_Channel::operator=(const Vexa_Channel& other) = default;
Vexa_Channel::~Vexa_Channel() = default;

// The base does no work per update or on events; derived channels add it.
void Vexa_Channel::CallChannel() {}
void Vexa_Channel::OneTimeInitialize() {}
void Vexa_Channel::DoEvent(int, unsigned long) {}
ChannelType Vexa_Channel::GetChannelType() { return channelType_; }
void Vexa_Channel::SetChannelInterfaceType(int type) { interfaceType_ = type; }
Vexa_Channel* Vexa_Channel::GetChannelFromChannel(Vexa_Channel* channel, ChildInfo*) { return channel; }
unsigned long Vexa_Channel::GetTimeStamp() { return timeStamp_; }
void Vexa_Channel::SetTimeStamp() { ++timeStamp_; }
void Vexa_Channel::DoDependencyInit(Vexa_List*) {}
void Vexa_Channel::CheckIndexNrRemoval(int) {}
Vexa_Channel* Vexa_Channel::GetInternalChild(int index) { return GetChild(index); }
void Vexa_Channel::CheckPublicChannelInstanceRemoval(Vexa_Channel*, int) {}
void Vexa_Channel::AddMetaData(VexaFileSaver&) {}
void Vexa_Channel::SetChannelGroup(Vexa_ChannelGroup* group) { group_ = group; }
ChannelFeedback* Vexa_Channel::GetFeedbackClass() { return nullptr; }

void Vexa_Channel::SetChannelName(const char* name) {
    name_ = name ? name : "";
    ++setNameCalls_;
}

void Vexa_Channel::SetChildCreationCount(int count) {
    childCreationCount_ = count;
    ++setCreationCountCalls_;
}

// Only records the description; the children are made by CreateChildren once
// the host has finished setting the channel up.
void Vexa_Channel::SetChildCreateType(ChildCreation record, int index) {
    createCalls_.emplace_back(record, index);
}

Vexa_Channel* Vexa_Channel::GetChild(int index) {
    if (index < 0 || index >= static_cast<int>(children_.size())) return nullptr;
    return children_[static_cast<size_t>(index)].get();
}

int Vexa_Channel::GetChildCount() { return static_cast<int>(children_.size()); }

std::shared_ptr<Vexa_Channel> Vexa_Channel::MakeChannel(const GUID& type) const {
    std::shared_ptr<Vexa_Channel> child = maker_ ? maker_(type) : nullptr;
    if (child) child->maker_ = maker_;
    return child;
}

// Reads: the recorded descriptions. Writes: child slots up to the highest
// described index; slots already connected are kept. False when an index is
// negative or the channel's maker gives no channel for a type.
bool Vexa_Channel::CreateChildren() {
    for (const auto& call : createCalls_) {
        const int index = call.second;
        if (index < 0) return false;
        if (index >= static_cast<int>(children_.size())) children_.resize(static_cast<size_t>(index) + 1);
        auto& slot = children_[static_cast<size_t>(index)];
        if (slot) continue;
        std::shared_ptr<Vexa_Channel> child = MakeChannel(call.first.channelType.guidType);
        if (!child) return false;
        child->pChannelHost = pChannelHost;
        slot = std::move(child);
    }
    return true;
}

void Vexa_Channel::SetChild(int index, std::shared_ptr<Vexa_Channel> child) {
    if (index < 0) return;
    if (index >= static_cast<int>(children_.size())) children_.resize(static_cast<size_t>(index) + 1);
    children_[static_cast<size_t>(index)] = std::move(child);
}

std::shared_ptr<Vexa_Channel> Vexa_Channel::GetChildShared(int index) {
    if (index < 0 || index >= static_cast<int>(children_.size())) return nullptr;
    return children_[static_cast<size_t>(index)];
}

void Vexa_Channel::DisconnectChild(int index) {
    if (index < 0 || index >= static_cast<int>(children_.size())) return;
    children_[static_cast<size_t>(index)].reset();
}

// Writes: the slot count, then per slot a present flag and, for a present
// child, its type identifier and the child's own save (payload and children).
bool Vexa_Channel::SaveChannel(VexaFileSaver& saver) {
    saver.WriteInt(static_cast<int32_t>(children_.size()));
    for (const auto& child : children_) {
        saver.WriteUInt(child ? 1u : 0u);
        if (!child) continue;
        saver.WriteGuid(child->GetChannelType().guidType);
        if (!child->SaveChannel(saver)) return false;
    }
    return saver.Ok();
}

// Mirror of SaveChannel. A child of the saved type is loaded in place, so
// pointers the plug-in holds to it stay valid; otherwise a new child of that
// type replaces it. The slot layout afterwards is the saved one.
bool Vexa_Channel::LoadChannel(VexaFileLoader& loader, Vexa_ChannelGroup* group) {
    int32_t count = 0;
    if (!loader.ReadCount(&count, kMaxChildSlots)) return false;
    std::vector<std::shared_ptr<Vexa_Channel>> slots(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        uint32_t present = 0;
        if (!loader.ReadUInt(&present)) return false;
        if (present > 1) {
            loader.Fail();
            return false;
        }
        if (present == 0) continue;
        GUID type;
        if (!loader.ReadGuid(&type)) return false;
        std::shared_ptr<Vexa_Channel> child = GetChildShared(i);
        if (!child || child->GetChannelType().guidType != type) {
            child = MakeChannel(type);
            if (!child) {
                loader.Fail();
                return false;
            }
            child->pChannelHost = pChannelHost;
            if (group) child->SetChannelGroup(group);
        }
        // A child loaded in place makes its own children as its parent does.
        if (!child->maker_) child->maker_ = maker_;
        if (!child->LoadChannel(loader, group)) return false;
        slots[static_cast<size_t>(i)] = std::move(child);
    }
    children_ = std::move(slots);
    return loader.Ok();
}
