// Opening a shared library and finding its symbols: LoadLibrary/GetProcAddress
// on Windows, dlopen/dlsym elsewhere. Internal to the host library.
#pragma once

#include <string>

namespace korvane {

class SharedLibrary {
public:
    // False with *error naming the path and the system's reason.
    bool Open(const std::string& path, std::string* error);
    // Null with *error set when the library has no such symbol.
    void* Find(const char* name, std::string* error) const;
    bool IsOpen() const { return handle_ != nullptr; }
    // Unloads the library; a no-op when nothing is open.
    void Close();

    SharedLibrary() = default;
    ~SharedLibrary() { Close(); }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

private:
    void* handle_ = nullptr;
};

}  // namespace korvane
