// Identifiers in their 8-4-4-4-12 text form, for tests that write records
// byte by byte.
#include "support/guid_text.h"

#include <cstdio>
#include <cstdint>
#include <cstring>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos]; false on a non-hex character.
bool ReadHex(const char* text, int pos, int digits, uint32_t* out) {
    uint32_t value = 0;
    for (int i = 0; i < digits; ++i) {
        int d = HexDigit(text[pos + i]);
        if (d < 0) return false;
        value = (value << 4) | static_cast<uint32_t>(d);
    }
    *out = value;
    return true;
}

}  // namespace

// Reads: text, which must be exactly 36 characters in the 8-4-4-4-12 form.
// Writes: *out only on success.
bool GuidFromString(const char* text, GUID* out) {
    if (text == nullptr || out == nullptr || std::strlen(text) != 36) return false;
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
    GUID g;
    uint32_t v = 0;
    if (!ReadHex(text, 0, 8, &v)) return false;
    g.Data1 = v;
    if (!ReadHex(text, 9, 4, &v)) return false;
    g.Data2 = static_cast<uint16_t>(v);
    if (!ReadHex(text, 14, 4, &v)) return false;
    g.Data3 = static_cast<uint16_t>(v);
    // Data4: two bytes before the last dash, six after it.
    static const int kBytePos[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, kBytePos[i], 2, &v)) return false;
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    *out = g;
    return true;
}

// Uppercase 8-4-4-4-12 text of `guid`.
std::string GuidToString(const GUID& guid) {
    char buf[37];
    std::snprintf(buf, sizeof(buf), "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                  static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return std::string(buf);
}
