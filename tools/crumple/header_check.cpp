// Header checks on PLY and OFF files; see header_check.h.
#include "header_check.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "errors.h"
#include "file_counts.h"

namespace crumpletool {

namespace {

// A header longer than this is not one a mesh needs; the PLY reader is only
// let near a header whose end has been seen.
constexpr size_t kMaxHeaderBytes = 64 * 1024;
[[noreturn]] void Refuse(const std::string& what, const std::string& problem) {
    throw InputError(what + ": " + problem);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

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
        const std::vector<std::string> words = Words(head.substr(at, end - at));
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

// The words of an OFF header, '#' comments skipped.
std::vector<std::string> OffWords(const std::string& head, size_t wanted, size_t* after) {
    std::vector<std::string> words;
    size_t at = 0;
    while (words.size() < wanted && at < head.size()) {
        const char c = head[at];
        if (c == '#') {
            const size_t end = head.find('\n', at);
            at = end == std::string::npos ? head.size() : end + 1;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++at;
        } else {
            const size_t start = at;
            while (at < head.size() && !std::isspace(static_cast<unsigned char>(head[at])) && head[at] != '#') ++at;
            words.push_back(head.substr(start, at - start));
        }
    }
    *after = at;
    return words;
}

// "OFF" with the optional prefixes of its variants: ST, C, N, 4, n.
bool IsOffKeyword(const std::string& word) {
    const std::string lower = Lower(word);
    if (lower.size() < 3 || lower.compare(lower.size() - 3, 3, "off") != 0) return false;
    return lower.substr(0, lower.size() - 3).find_first_not_of("stcn4") == std::string::npos;
}

void CheckOff(const std::string& head, uint64_t fileSize, const std::string& what) {
    size_t after = 0;
    std::vector<std::string> words = OffWords(head, 5, &after);
    if (words.empty() || !IsOffKeyword(words[0])) return;  // Assimp says what is wrong
    size_t first = 1;
    if (words[0].size() > 3 && words[0][words[0].size() - 4] == 'n') ++first;  // nOFF: a dimension comes first
    uint64_t vertices = 0, faces = 0;
    if (words.size() < first + 2 || !ParseCount(words[first], &vertices) || !ParseCount(words[first + 1], &faces))
        return;
    // Re-read only as far as the counts, so `after` is where their data starts.
    OffWords(head, first + 2, &after);
    const uint64_t data = fileSize - std::min<uint64_t>(fileSize, after);
    // A vertex is at least three one-character values with separators, a
    // face at least its corner count and a separator.
    if (vertices * 6 + faces * 2 > data + 1)
        Refuse(what, "the OFF header declares " + DescribeCount(vertices) + " vertices and " + DescribeCount(faces) +
                         " faces, more than the file's " + std::to_string(data) + " bytes of data can hold");
}

}  // namespace

void CheckDeclaredCounts(const std::string& path, const std::string& what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return;  // the caller reports an unreadable file
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0) return;
    in.seekg(0);
    std::string head(std::min<size_t>(static_cast<size_t>(size), kMaxHeaderBytes), '\0');
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));

    const std::string extension = path.size() >= 4 ? Lower(path.substr(path.size() - 4)) : "";
    if (Lower(head.substr(0, 3)) == "ply") {
        CheckPly(head, static_cast<uint64_t>(size), what);
        return;
    }
    size_t after = 0;
    const std::vector<std::string> first = OffWords(head, 1, &after);
    if (extension == ".off" || (!first.empty() && IsOffKeyword(first[0])))
        CheckOff(head, static_cast<uint64_t>(size), what);
}

}  // namespace crumpletool
