// COLLADA array and accessor checks; see collada_check.h.
#include "collada_check.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "errors.h"
#include "mesh_text.h"

namespace crumpletool {

namespace {

constexpr size_t kSniffBytes = 64 * 1024;

bool Space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// An attribute's count: XML allows spaces around it.
bool ParseAttributeCount(const std::string& text, uint64_t* count) {
    size_t a = 0, b = text.size();
    while (a < b && Space(text[a])) ++a;
    while (b > a && Space(text[b - 1])) --b;
    return ParseCount(text.substr(a, b - a), count);
}

// One start tag: its name and attributes, and where its content begins.
struct Tag {
    std::string name;
    std::map<std::string, std::string> attributes;
    size_t contentStart = 0;
    bool selfClosing = false;
};

// Reads the start tag whose '<' is at `at`; false for end tags, comments,
// declarations and tags cut off by the end of the text.
bool ReadTag(const std::string& text, size_t at, Tag* tag) {
    size_t i = at + 1;
    if (i >= text.size() || text[i] == '/' || text[i] == '!' || text[i] == '?') return false;
    const size_t nameStart = i;
    while (i < text.size() && !Space(text[i]) && text[i] != '>' && text[i] != '/') ++i;
    tag->name = text.substr(nameStart, i - nameStart);
    tag->attributes.clear();
    while (i < text.size()) {
        while (i < text.size() && Space(text[i])) ++i;
        if (i >= text.size()) return false;
        if (text[i] == '>' || (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '>')) {
            tag->selfClosing = text[i] == '/';
            tag->contentStart = i + (tag->selfClosing ? 2 : 1);
            return true;
        }
        const size_t keyStart = i;
        while (i < text.size() && text[i] != '=' && !Space(text[i]) && text[i] != '>') ++i;
        const std::string key = text.substr(keyStart, i - keyStart);
        while (i < text.size() && Space(text[i])) ++i;
        if (i >= text.size() || text[i] != '=') return false;
        ++i;
        while (i < text.size() && Space(text[i])) ++i;
        if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return false;
        const char quote = text[i++];
        const size_t end = text.find(quote, i);
        if (end == std::string::npos) return false;
        tag->attributes[key] = text.substr(i, end - i);
        i = end + 1;
    }
    return false;
}

bool IsArray(const std::string& name) {
    static const char* const kArrays[] = {"float_array", "int_array", "bool_array", "Name_array", "IDREF_array"};
    return std::find(std::begin(kArrays), std::end(kArrays), name) != std::end(kArrays);
}

// Values in an array's text, separated by white space.
uint64_t CountValues(const std::string& text, size_t from, size_t to) {
    uint64_t values = 0;
    bool inValue = false;
    for (size_t i = from; i < to; ++i) {
        const bool space = Space(text[i]);
        if (!space && !inValue) ++values;
        inValue = !space;
    }
    return values;
}

}  // namespace

void CheckColladaArrays(const std::string& path, const std::string& what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::string head(kSniffBytes, '\0');
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    if (head.find("<COLLADA") == std::string::npos) return;
    in.clear();
    in.seekg(0);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    // Arrays by id, then every accessor against the array it names.
    std::map<std::string, uint64_t> arrays;
    struct Accessor {
        std::string source;
        uint64_t offset = 0, count = 0, stride = 1;
    };
    std::vector<Accessor> accessors;
    Tag tag;
    for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
        if (!ReadTag(text, at, &tag)) continue;
        if (IsArray(tag.name)) {
            uint64_t count = 0;
            const auto attribute = tag.attributes.find("count");
            if (attribute == tag.attributes.end() || !ParseAttributeCount(attribute->second, &count))
                Refuse(what, "a COLLADA " + tag.name + " has no count, or one that is not a number");
            const size_t end = tag.selfClosing ? tag.contentStart : text.find('<', tag.contentStart);
            const uint64_t values =
                CountValues(text, tag.contentStart, end == std::string::npos ? text.size() : end);
            if (values != count)
                Refuse(what, "a COLLADA " + tag.name + " declares " + DescribeCount(count) + " values and holds " +
                                 std::to_string(values));
            const auto id = tag.attributes.find("id");
            if (id != tag.attributes.end()) arrays[id->second] = count;
        } else if (tag.name == "accessor") {
            Accessor accessor;
            const auto source = tag.attributes.find("source");
            if (source != tag.attributes.end() && !source->second.empty() && source->second[0] == '#')
                accessor.source = source->second.substr(1);
            const struct {
                const char* name;
                uint64_t* value;
            } fields[] = {{"offset", &accessor.offset}, {"count", &accessor.count}, {"stride", &accessor.stride}};
            for (const auto& field : fields) {
                const auto attribute = tag.attributes.find(field.name);
                if (attribute != tag.attributes.end() && !ParseAttributeCount(attribute->second, field.value))
                    Refuse(what, std::string("a COLLADA accessor's ") + field.name + " is not a number");
            }
            accessors.push_back(accessor);
        }
    }
    for (const Accessor& accessor : accessors) {
        const auto array = arrays.find(accessor.source);
        if (array == arrays.end() || accessor.count == 0) continue;  // nothing read here, or Assimp's to refuse
        // The last element starts at offset + (count - 1) * stride and is
        // read up to the stride's end.
        const uint64_t stride = std::max<uint64_t>(accessor.stride, 1);
        if (accessor.count > array->second || stride > array->second || accessor.offset > array->second ||
            accessor.count * stride > array->second - accessor.offset)
            Refuse(what, "a COLLADA accessor reads " + DescribeCount(accessor.count) + " x " + DescribeCount(stride) +
                             " values from '" + accessor.source + "', which holds " + std::to_string(array->second));
    }
}

}  // namespace crumpletool
