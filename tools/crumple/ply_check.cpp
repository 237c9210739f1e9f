// PLY headers checked before Assimp reads them; see ply_check.h.
#include "ply_check.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "errors.h"
#include "mesh_text.h"

namespace crumpletool {

namespace {

// A header longer than this is not one a mesh needs; the PLY reader is only
// let near a header whose end has been seen.
constexpr size_t kMaxHeaderBytes = 64 * 1024;
std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// Bytes one value of a PLY scalar type takes in a binary file; 0 for a name
// that is not a PLY type.
uint64_t PlyTypeSize(const std::string& type) {
    static const struct {
        const char* name;
        uint64_t size;
    } kTypes[] = {{"char", 1},  {"uchar", 1},   {"int8", 1},   {"uint8", 1},   {"short", 2},   {"ushort", 2},
                  {"int16", 2}, {"uint16", 2},  {"int", 4},    {"uint", 4},    {"int32", 4},   {"uint32", 4},
                  {"float", 4}, {"float32", 4}, {"double", 8}, {"float64", 8}};
    for (const auto& t : kTypes)
        if (type == t.name) return t.size;
    return 0;
}

// Elements the reader turns into faces, into one array.
bool IsFaceElement(const std::string& name) { return name == "face" || name == "tristrips"; }

struct PlyElement {
    std::string name;
    uint64_t count = 0;
    uint64_t properties = 0;
    uint64_t binaryBytes = 0;  // the least one element takes in a binary file (lists empty)
};

void CheckPly(const std::string& head, uint64_t fileSize, const std::string& what) {
    std::vector<PlyElement> elements;
    std::string format;
    size_t at = 0;
    bool first = true;
    while (true) {
        const size_t end = head.find('\n', at);
        if (end == std::string::npos) Refuse(what, "the PLY header has no end_header line");
        const std::string line = head.substr(at, end - at);
        // The reader splits words on spaces, tabs and line ends only: a word
        // such as "end_header" followed by any other control byte is not
        // seen, and the reader hangs looking for it.
        if (std::any_of(line.begin(), line.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r'; }))
            Refuse(what, "the PLY header has a control character in a line");
        const std::vector<std::string> words = Words(line);
        at = end + 1;
        if (first) {
            // The reader takes anything after the first three bytes as more
            // of the header, so nothing may follow "ply" on its line.
            if (words.size() != 1 || words[0] != "ply") Refuse(what, "the PLY header's first line is not 'ply'");
            first = false;
            continue;
        }
        if (words.empty() || words[0] == "comment" || words[0] == "obj_info") continue;
        const std::string& key = words[0];
        if (key == "end_header") break;
        if (key == "format") {
            if (words.size() < 2 ||
                (words[1] != "ascii" && words[1] != "binary_little_endian" && words[1] != "binary_big_endian"))
                Refuse(what, "the PLY header names no known format");
            format = words[1];
        } else if (key == "element") {
            PlyElement element;
            if (words.size() != 3 || !ParseCount(words[2], &element.count))
                Refuse(what, "the PLY header has an element line without a name and a count");
            element.name = words[1];
            // The reader sizes its vertex and face arrays from the first
            // element of each kind and writes every later one past them.
            for (const PlyElement& earlier : elements) {
                if (earlier.name == element.name)
                    Refuse(what, "the PLY header declares the element '" + element.name + "' twice");
                if (IsFaceElement(earlier.name) && IsFaceElement(element.name))
                    Refuse(what, "the PLY header declares both 'face' and 'tristrips' elements");
            }
            elements.push_back(element);
        } else if (key == "property") {
            if (elements.empty()) Refuse(what, "the PLY header has a property before any element");
            PlyElement& element = elements.back();
            const bool list = words.size() == 5 && words[1] == "list";
            if (!list && words.size() != 3) Refuse(what, "the PLY header has a property line of an unknown shape");
            const uint64_t size = PlyTypeSize(words[1 + list]);
            if (size == 0 || (list && PlyTypeSize(words[3]) == 0))
                Refuse(what, "the PLY header has a property of an unknown type");
            ++element.properties;
            element.binaryBytes += size;
        } else {
            Refuse(what, "the PLY header has a line that is not PLY's: '" + key + "'");
        }
    }
    if (format.empty()) Refuse(what, "the PLY header names no format");

    // Every value takes at least one character and a separator in text,
    // except that the last one may end the file.
    const uint64_t data = fileSize - std::min<uint64_t>(fileSize, at);
    const uint64_t room = format == "ascii" ? data + 1 : data;
    uint64_t least = 0;
    for (const PlyElement& element : elements) {
        if (element.count == 0) continue;
        if (element.properties == 0)
            Refuse(what, "the PLY element '" + element.name + "' has a count but no properties");
        // At least one byte per element, so a count past the data is refused
        // before the product could overflow; `least` stays within `room`.
        const uint64_t each = format == "ascii" ? 2 * element.properties : element.binaryBytes;
        if (element.count > room || element.count * each > room - least)
            Refuse(what, "the PLY header declares " + DescribeCount(element.count) + " '" + element.name +
                             "' elements, more than the file's " + std::to_string(data) + " bytes of data can hold");
        least += element.count * each;
    }
}

}  // namespace

void CheckPlyHeader(const std::string& path, const std::string& what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return;  // the caller reports an unreadable file
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0) return;
    in.seekg(0);
    std::string head(std::min<size_t>(static_cast<size_t>(size), kMaxHeaderBytes), '\0');
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    // The reader is chosen by the name, or by "ply" in the first line it
    // reads, which starts after one leading line end.
    const bool byName = HasExtension(path, ".ply");
    size_t first = 0;
    if (!head.empty() && (head[0] == '\r' || head[0] == '\n' || head[0] == '\f' || head[0] == '\0')) {
        const size_t newline = head.find('\n');
        first = newline == std::string::npos ? head.size() : newline + 1;
    }
    if (byName || Lower(head.substr(first, 3)) == "ply") CheckPly(head, static_cast<uint64_t>(size), what);
}

}  // namespace crumpletool
