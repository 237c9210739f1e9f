// Loading a channel plug-in: the library, its two entry points, and the host's
// part of making an instance (type record, host object, children).
#include "host/plugin_loader.h"

#include "host/channel_factory.h"

namespace {

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

// Reads: the library at `path`. Writes: *error on failure, naming the path and
// what was missing.
std::unique_ptr<PluginLibrary> PluginLibrary::Open(const std::string& path, std::string* error) {
    std::unique_ptr<PluginLibrary> library(new PluginLibrary());
    if (!library->library_.Open(path, error)) return nullptr;
    std::string reason;
    library->getType_ = reinterpret_cast<GetTypeFunc>(library->library_.Find("GetType", &reason));
    if (library->getType_ == nullptr) {
        SetError(error, "plug-in library '" + path + "' has no entry point GetType: " + reason);
        return nullptr;
    }
    library->initDll_ = reinterpret_cast<InitDLLFunc>(library->library_.Find("InitDLL", &reason));
    if (library->initDll_ == nullptr) {
        SetError(error, "plug-in library '" + path + "' has no entry point InitDLL: " + reason);
        return nullptr;
    }
    return library;
}

PluginLibrary::~PluginLibrary() = default;

// InitDLL, then what the engine does before a channel's first update. An
// instance that is not a channel, or describes a child type the host does not
// know, is destroyed through its own destructor and null is returned.
std::unique_ptr<Vexa_Channel> PluginLibrary::CreateInstance(Vexa_ChannelHost* host) {
    DllInterface* made = initDll_();
    if (made == nullptr) return nullptr;
    Vexa_Channel* channel = dynamic_cast<Vexa_Channel*>(made);
    if (channel == nullptr) {
        delete made;
        return nullptr;
    }
    std::unique_ptr<Vexa_Channel> owned(channel);
    owned->SetChannelTypeRecord(*getType_());
    owned->pChannelHost = host;
    owned->SetChannelMaker(CreateHostChannel);
    if (!owned->CreateChildren()) return nullptr;
    return owned;
}

void* PluginLibrary::FindSymbol(const char* name) const {
    return library_.Find(name, nullptr);
}
