// PLY header grammar; see ply_check.h.
#include "ply_check.h"

#include <fstream>

#include "mesh_text.h"

namespace crumpletool {

namespace {

// A header longer than this is not one a mesh needs.
constexpr size_t kMaxHeaderBytes = 64 * 1024;

// The line starting at `at` without its line end ("\n" or "\r\n"), and where
// the next one starts; npos when no line end follows.
std::string LineAt(const std::string& head, size_t at, size_t* next) {
    const size_t end = head.find('\n', at);
    if (end == std::string::npos) {
        *next = std::string::npos;
        return head.substr(at);
    }
    *next = end + 1;
    const size_t length = end > at && head[end - 1] == '\r' ? end - 1 - at : end - at;
    return head.substr(at, length);
}

// Words of a header line are separated by spaces or tabs.
std::string FirstWord(const std::string& line) {
    const size_t begin = line.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    return line.substr(begin, line.find_first_of(" \t", begin) - begin);
}

}  // namespace

void CheckPlyHeader(const std::string& path, const std::string& what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return;  // the caller reports an unreadable file
    std::string head(kMaxHeaderBytes, '\0');
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    if (!HasExtension(path, ".ply") && head.compare(0, 3, "ply") != 0) return;

    size_t at = 0;
    if (LineAt(head, 0, &at) != "ply") Refuse(what, "the PLY header's first line is not 'ply'");
    while (at != std::string::npos) {
        if (FirstWord(LineAt(head, at, &at)) == "end_header") return;
    }
    Refuse(what, "the PLY header has no end_header line within its first 64 KiB");
}

}  // namespace crumpletool
