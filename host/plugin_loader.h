// Loads a channel plug-in library by path, as the engine does: looks up
// GetType and InitDLL by name and makes instances with their children.
#pragma once

#include <memory>
#include <string>

#include "channel_records.h"
#include "korvane_api.h"
#include "shared_library.h"
#include "vexa_channel.h"

typedef ChannelType* (*GetTypeFunc)();
typedef DllInterface* (*InitDLLFunc)();

class KORVANE_API PluginLibrary {
public:
    // Null with *error set when the file cannot be opened or lacks an entry point.
    static std::unique_ptr<PluginLibrary> Open(const std::string& path, std::string* error);
    // Unloads the library: every instance it made must be destroyed first.
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    ChannelType* GetType() { return getType_(); }
    // InitDLL, then the host's part: the type record, the host object and the
    // children described by the constructor. Null when InitDLL gives null or a
    // child type is unknown.
    std::unique_ptr<Vexa_Channel> CreateInstance(Vexa_ChannelHost* host);
    void* FindSymbol(const char* name) const;

private:
    PluginLibrary() = default;
    korvane::SharedLibrary library_;
    GetTypeFunc getType_ = nullptr;
    InitDLLFunc initDll_ = nullptr;
};
