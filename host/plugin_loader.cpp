// Loading a channel plug-in: the library, its two entry points, and the host's
// part of making an instance (type record, host object, children).
#include "host/plugin_loader.h"

#include <dlfcn.h>

namespace {

std::string LastDlError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

// Reads: the library at `path`. Writes: *error on failure, naming the path and
// what was missing. Local binding keeps one plug-in's symbols from another's.
std::unique_ptr<PluginLibrary> PluginLibrary::Open(const std::string& path, std::string* error) {
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        SetError(error, "cannot open plug-in library '" + path + "': " + LastDlError());
        return nullptr;
    }
    std::unique_ptr<PluginLibrary> library(new PluginLibrary());
    library->handle_ = handle;  // from here the destructor closes it
    dlerror();
    library->getType_ = reinterpret_cast<GetTypeFunc>(dlsym(handle, "GetType"));
    if (library->getType_ == nullptr) {
        SetError(error, "plug-in library '" + path + "' has no entry point GetType: " + LastDlError());
        return nullptr;
    }
    dlerror();
    library->initDll_ = reinterpret_cast<InitDLLFunc>(dlsym(handle, "InitDLL"));
    if (library->initDll_ == nullptr) {
        SetError(error, "plug-in library '" + path + "' has no entry point InitDLL: " + LastDlError());
        return nullptr;
    }
    return library;
}

PluginLibrary::~PluginLibrary() {
    if (handle_) dlclose(handle_);
}

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
    if (!owned->CreateChildren()) return nullptr;
    return owned;
}

void* PluginLibrary::FindSymbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return dlsym(handle_, name);
}
