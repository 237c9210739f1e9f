#include "scratch_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace crumplefuzz {

namespace fs = std::filesystem;

namespace {

struct Scratch {
    fs::path path;
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "crumple-fuzz-XXXXXX").string();
        if (!mkdtemp(&pattern[0])) {
            std::perror("crumple fuzz: mkdtemp");
            std::abort();
        }
        path = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

Scratch& Folder() {
    static Scratch folder;
    return folder;
}

}  // namespace

std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size) {
    const fs::path& folder = Folder().path;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) fs::remove_all(entry.path(), ec);
    const fs::path file = folder / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (size > 0) out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        std::fprintf(stderr, "crumple fuzz: cannot write %s\n", file.c_str());
        std::abort();
    }
    return file.string();
}

std::string ScratchFolder() { return Folder().path.string(); }

}  // namespace crumplefuzz
