// Channel framework of the stand-in host: the base every channel derives from,
// its children, the debug-message functors and the host's file hooks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "channel_records.h"
#include "korvane_api.h"

class VexaFileSaver;
class VexaFileLoader;
class Vexa_Channel;

// Makes a channel of the given type identifier; null for a type it does not
// know. The host passes its own, so the channel base names no channel type.
using ChannelMaker = std::shared_ptr<Vexa_Channel> (*)(const GUID& type);

// A scene's set of channels; loading hands it to every channel it creates.
class KORVANE_API Vexa_ChannelGroup {
public:
    std::vector<Vexa_Channel*> channels;
};

// Channels a dependency pass visits.
class KORVANE_API Vexa_List {
public:
    std::vector<Vexa_Channel*> channels;
};

struct KORVANE_API ChildInfo {
    int iChildIndex = -1;
};

class KORVANE_API ChannelFeedback {
public:
    virtual ~ChannelFeedback();
};

// Keeps every text it is given, in order, so tools and tests can read them.
class KORVANE_API ShowDebugMessage {
public:
    void operator()(const char* text);
    const std::vector<std::string>& Messages() const { return messages_; }
    void Clear() { messages_.clear(); }

private:
    std::vector<std::string> messages_;
};

struct KORVANE_API Vexa_ChannelHost {
    ShowDebugMessage showDebugMessage1;
    ShowDebugMessage showDebugMessage2;
};

class KORVANE_API DllInterface {
public:
    virtual ~DllInterface();
};

class KORVANE_API Vexa_Channel : public DllInterface {
public:
    Vexa_Channel();
    Vexa_Channel(const Vexa_Channel& other);
    Vexa_Channel& operator=(const Vexa_Channel& other);
    ~Vexa_Channel() override;

    // Virtual table order is part of the host's binary contract.
    virtual void CallChannel();
    virtual void OneTimeInitialize();
    virtual void DoEvent(int event, unsigned long param);
    virtual ChannelType GetChannelType();
    virtual bool SaveChannel(VexaFileSaver& saver);
    virtual bool LoadChannel(VexaFileLoader& loader, Vexa_ChannelGroup* group);
    virtual void SetChannelInterfaceType(int type);
    virtual Vexa_Channel* GetChannelFromChannel(Vexa_Channel* channel, ChildInfo* info);
    virtual unsigned long GetTimeStamp();
    virtual void SetTimeStamp();
    virtual void DoDependencyInit(Vexa_List* list);
    virtual void CheckIndexNrRemoval(int index);
    virtual Vexa_Channel* GetInternalChild(int index);
    virtual void CheckPublicChannelInstanceRemoval(Vexa_Channel* channel, int index);
    virtual void AddMetaData(VexaFileSaver& saver);
    virtual void SetChannelGroup(Vexa_ChannelGroup* group);
    virtual ChannelFeedback* GetFeedbackClass();

    // Called by a channel on itself while it is being constructed.
    void SetChannelName(const char* name);
    void SetChildCreationCount(int count);
    void SetChildCreateType(ChildCreation record, int index);

    // Null when child `index` does not exist or is disconnected.
    Vexa_Channel* GetChild(int index);
    int GetChildCount();

    // Host side.
    const std::string& GetChannelName() const { return name_; }
    int GetRequestedChildCreationCount() const { return childCreationCount_; }
    // Every SetChildCreateType call, in call order, with the index it was given.
    const std::vector<std::pair<ChildCreation, int>>& GetChildCreateCalls() const { return createCalls_; }
    void SetChannelTypeRecord(const ChannelType& type) { channelType_ = type; }
    // What makes this channel's children, by type identifier (null for a type
    // it does not know): for CreateChildren and for children a loaded file
    // names. Children it makes get the same maker. None by default.
    void SetChannelMaker(ChannelMaker maker) { maker_ = maker; }
    // Creates every described child that is not connected, by type identifier.
    // Returns false when a description names a type the maker does not know.
    bool CreateChildren();
    void SetChild(int index, std::shared_ptr<Vexa_Channel> child);
    std::shared_ptr<Vexa_Channel> GetChildShared(int index);
    // As a scene editor would: the slot stays, GetChild returns null for it.
    void DisconnectChild(int index);

    Vexa_ChannelHost* pChannelHost;

private:
    friend class KorvaneTestAccess;
    // A child of `type` from the maker, given the same maker; null without one.
    std::shared_ptr<Vexa_Channel> MakeChannel(const GUID& type) const;
    ChannelType channelType_;
    std::string name_;
    int childCreationCount_ = 0;
    int setNameCalls_ = 0;
    int setCreationCountCalls_ = 0;
    std::vector<std::pair<ChildCreation, int>> createCalls_;
    ChannelMaker maker_ = nullptr;
    std::vector<std::shared_ptr<Vexa_Channel>> children_;
    Vexa_ChannelGroup* group_ = nullptr;
    int interfaceType_ = 0;
    unsigned long timeStamp_ = 0;
};
