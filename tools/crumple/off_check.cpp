// OFF files read as Assimp's OFF reader reads them; see off_check.h.
#include "off_check.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

#include "errors.h"
#include "mesh_text.h"

namespace crumpletool {

namespace {

// The reader's line buffer: a line this long or longer overruns it.
constexpr size_t kLineBuffer = 4096;

bool IsLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0' || c == '\f'; }
void SkipSpaces(const char*& p) {
    while (*p == ' ' || *p == '\t') ++p;
}
void SkipSpacesAndLineEnds(const char*& p) {
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
}
void SkipLine(const char*& p) {
    while (*p != '\r' && *p != '\n' && *p != '\0') ++p;
    while (*p == '\r' || *p == '\n') ++p;
}

// The reader's step to the next header token: spaces, line ends and '#'
// comments skipped. `end` is one past the text's closing zero.
void NextToken(const char*& p, const char* end) {
    SkipSpacesAndLineEnds(p);
    while (p < end && (*p == '#' || *p == '\n' || *p == '\r')) {
        SkipLine(p);
        SkipSpacesAndLineEnds(p);
    }
}

// The digits at `p`, all of them consumed as the reader consumes them. The
// reader's own value wraps at 2^32; this one saturates at kCountCap, so a
// count the reader would misread is seen as too large.
uint64_t ReadDigits(const char*& p) {
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) value = std::min(kCountCap, value * 10 + static_cast<uint64_t>(*p - '0'));
    return value;
}

// The next line as the reader takes it: false at the text's end. Line ends
// after it are skipped, so blank lines are never seen.
bool NextLine(const char*& p, std::string_view* line) {
    if (*p == '\0') return false;
    const char* start = p;
    while (!IsLineEnd(*p)) ++p;
    *line = std::string_view(start, static_cast<size_t>(p - start));
    while (IsLineEnd(*p) && *p != '\0') ++p;
    return true;
}

// A value the reader's float parser takes: a sign, a digit, a point, or the
// first letter of "nan" or "inf" (refused later as not finite).
bool StartsNumber(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'n' || c == 'N' || c == 'i' || c == 'I';
}

bool StartsWithNoCase(const char* p, const char* end, const char* word) {
    for (; *word != '\0'; ++p, ++word)
        if (p >= end || std::tolower(static_cast<unsigned char>(*p)) != *word) return false;
    return true;
}

// "OFF" with the optional prefixes of its variants: ST, C, N, 4, n.
bool IsOffKeyword(std::string_view word) {
    const std::string lower = Lower(std::string(word));
    if (lower.size() < 3 || lower.compare(lower.size() - 3, 3, "off") != 0) return false;
    return lower.substr(0, lower.size() - 3).find_first_not_of("stcn4") == std::string::npos;
}

// The first word of the file, '#' comments and spaces before it skipped.
std::string_view FirstWord(const std::string& text) {
    const char* p = text.c_str();
    NextToken(p, text.c_str() + text.size() + 1);
    const char* start = p;
    while (*p != '\0' && !std::isspace(static_cast<unsigned char>(*p)) && *p != '#') ++p;
    return std::string_view(start, static_cast<size_t>(p - start));
}

std::string VertexLine(uint64_t v) { return "the OFF file's line for vertex " + std::to_string(v); }
std::string FaceLine(uint64_t f) { return "the OFF file's line for face " + std::to_string(f); }

void CheckLineLength(std::string_view line, const std::string& which, const std::string& what) {
    if (line.size() >= kLineBuffer)
        Refuse(what, which + " is " + std::to_string(line.size()) + " bytes long, more than the " +
                         std::to_string(kLineBuffer - 1) + " the mesh library reads");
}

void CheckText(const std::string& text, const std::string& what) {
    // The reader's buffer is the text and a closing zero; `end` is one past it.
    const char* car = text.c_str();
    const char* const end = car + text.size() + 1;
    NextToken(car, end);
    bool hasDimension = false;
    if (end - car > 2 && car[0] == 'S' && car[1] == 'T') car += 2;
    if (end - car > 1 && car[0] == 'C') ++car;
    if (end - car > 1 && car[0] == 'N') ++car;
    if (end - car > 1 && car[0] == '4') ++car;
    if (end - car > 1 && car[0] == 'n') {
        hasDimension = true;
        ++car;
    }
    if (end - car > 3 && car[0] == 'O' && car[1] == 'F' && car[2] == 'F') {
        car += 3;
        NextToken(car, end);
    } else {
        // Without "OFF" the reader forgets a "4" prefix but not an "n" one.
        NextToken(car, end);
        if (end - car <= 1 || *car < '0' || *car > '9') return;  // the reader refuses the header
    }
    if (hasDimension) {
        if (ReadDigits(car) > 3) return;  // refused by the reader
        NextToken(car, end);
    }
    NextToken(car, end);
    const uint64_t vertices = ReadDigits(car);
    NextToken(car, end);
    const uint64_t faces = ReadDigits(car);
    NextToken(car, end);
    ReadDigits(car);  // the edge count, unused
    NextToken(car, end);

    // Both arrays are allocated from the counts before anything is read. A
    // vertex is at least three one-character values with separators, a face
    // at least its corner count and a separator.
    const uint64_t data = static_cast<uint64_t>(end - 1 - car);
    if (vertices * 6 + faces * 2 > data + 1)
        Refuse(what, "the OFF header declares " + DescribeCount(vertices) + " vertices and " + DescribeCount(faces) +
                         " faces, more than the file's " + std::to_string(data) + " bytes of data can hold");
    if (vertices == 0 || faces == 0) return;  // the reader refuses an empty mesh

    std::string_view line;
    for (uint64_t v = 0; v < vertices; ++v) {
        if (!NextLine(car, &line))
            Refuse(what, "the OFF file ends after " + std::to_string(v) + " of its " + std::to_string(vertices) +
                             " vertices");
        CheckLineLength(line, VertexLine(v), what);
        const char* at = line.data();
        SkipSpaces(at);
        if (at == line.data() + line.size() || !StartsNumber(*at))
            Refuse(what, VertexLine(v) + " does not start with a number");
    }
    for (uint64_t f = 0; f < faces; ++f) {
        if (!NextLine(car, &line))
            Refuse(what, "the OFF file ends after " + std::to_string(f) + " of its " + std::to_string(faces) + " faces");
        CheckLineLength(line, FaceLine(f), what);
        // The line is followed by a line end or the closing zero, so the
        // digit readers stop inside the text.
        const char* at = line.data();
        SkipSpaces(at);
        const uint64_t corners = ReadDigits(at);
        if (corners < 1 || corners > 9)
            Refuse(what, FaceLine(f) + " does not start with a corner count from 1 to 9");
        for (uint64_t c = 0; c < corners; ++c) {
            SkipSpaces(at);
            if (*at < '0' || *at > '9')
                Refuse(what, "the OFF file's face " + std::to_string(f) + " has fewer than its " +
                                 std::to_string(corners) + " vertex indices");
            const uint64_t index = ReadDigits(at);
            if (index >= vertices)
                Refuse(what, "the OFF file's face " + std::to_string(f) + " names vertex " + DescribeCount(index) +
                                 " of " + std::to_string(vertices));
        }
    }
}

}  // namespace

void CheckOffFile(const std::string& path, const std::string& what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return;  // the caller reports an unreadable file
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const bool offByName = HasExtension(path, ".off");
    if (!offByName && !StartsWithNoCase(text.c_str(), text.c_str() + text.size(), "off") &&
        !IsOffKeyword(FirstWord(text)))
        return;
    // The reader refuses a text shorter than 8 bytes and drops a UTF-8 byte
    // order mark; other marks leave bytes its header test refuses.
    if (text.size() < 8) return;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    CheckText(text, what);
}

}  // namespace crumpletool
