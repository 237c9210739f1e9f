// The one place that knows how the system loads libraries. It includes no host
// records, so <windows.h> and its own GUID stay out of every other file.
#include "host/shared_library.h"

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

namespace korvane {

namespace {

#if defined(_WIN32)
std::string LastSystemError() {
    const DWORD code = GetLastError();
    char text[512] = {0};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                        0, text, sizeof(text), nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    if (message.empty()) message = "system error " + std::to_string(code);
    return message;
}
#else
std::string LastSystemError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}
#endif

}  // namespace

// Local binding on ELF keeps one plug-in's symbols from another's; Windows
// modules never share symbols implicitly.
bool SharedLibrary::Open(const std::string& path, std::string* error) {
    Close();
#if defined(_WIN32)
    // No "cannot find" dialog boxes from inside a host's update.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    SetErrorMode(previousMode);
#else
    dlerror();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    if (handle_ == nullptr && error) *error = "cannot open plug-in library '" + path + "': " + LastSystemError();
    return handle_ != nullptr;
}

void* SharedLibrary::Find(const char* name, std::string* error) const {
    if (handle_ == nullptr || name == nullptr) {
        if (error) *error = "no library is open";
        return nullptr;
    }
#if defined(_WIN32)
    void* symbol = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    dlerror();
    void* symbol = dlsym(handle_, name);
#endif
    if (symbol == nullptr && error) *error = LastSystemError();
    return symbol;
}

void SharedLibrary::Close() {
    if (handle_ == nullptr) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    handle_ = nullptr;
}

}  // namespace korvane
