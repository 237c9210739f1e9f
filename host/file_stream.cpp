// The byte stream of the host's channel files: explicit little-endian fields,
// so files do not depend on the layout of any in-memory struct.
#include "host/file_stream.h"

#include <cstring>

namespace {

// Strings in channel files are names; anything longer is damage.
constexpr int32_t kMaxStringLength = 1 << 20;

}  // namespace

VexaFileSaver::VexaFileSaver(const std::string& path)
    : out_(path, std::ios::binary | std::ios::trunc), ok_(static_cast<bool>(out_)) {}

void VexaFileSaver::WriteBytes(const void* data, size_t size) {
    if (!ok_ || size == 0) return;
    out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out_) ok_ = false;
}

void VexaFileSaver::WriteUInt(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    WriteBytes(bytes, sizeof(bytes));
}

void VexaFileSaver::WriteInt(int32_t value) { WriteUInt(static_cast<uint32_t>(value)); }

void VexaFileSaver::WriteFloat(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    WriteUInt(bits);
}

// The usual 16-byte layout: Data1, Data2, Data3 little-endian, then Data4 in order.
void VexaFileSaver::WriteGuid(const GUID& guid) {
    WriteUInt(guid.Data1);
    const uint8_t small[4] = {static_cast<uint8_t>(guid.Data2), static_cast<uint8_t>(guid.Data2 >> 8),
                              static_cast<uint8_t>(guid.Data3), static_cast<uint8_t>(guid.Data3 >> 8)};
    WriteBytes(small, sizeof(small));
    WriteBytes(guid.Data4, sizeof(guid.Data4));
}

void VexaFileSaver::WriteString(const std::string& text) {
    WriteInt(static_cast<int32_t>(text.size()));
    WriteBytes(text.data(), text.size());
}

bool VexaFileSaver::Close() {
    if (out_.is_open()) {
        out_.flush();
        if (!out_) ok_ = false;
        out_.close();
        if (out_.fail()) ok_ = false;
    }
    return ok_;
}

VexaFileLoader::VexaFileLoader(const std::string& path)
    : in_(path, std::ios::binary), ok_(static_cast<bool>(in_)) {}

// A short read fails the loader for good: every later read fails too, so a
// caller may check once at the end of a group of reads.
bool VexaFileLoader::ReadBytes(void* data, size_t size) {
    if (!ok_) return false;
    if (size == 0) return true;
    in_.read(static_cast<char*>(data), static_cast<std::streamsize>(size));
    if (static_cast<size_t>(in_.gcount()) != size) ok_ = false;
    return ok_;
}

bool VexaFileLoader::ReadUInt(uint32_t* value) {
    uint8_t b[4];
    if (!ReadBytes(b, sizeof(b))) return false;
    *value = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
             static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    return true;
}

bool VexaFileLoader::ReadInt(int32_t* value) {
    uint32_t bits;
    if (!ReadUInt(&bits)) return false;
    *value = static_cast<int32_t>(bits);
    return true;
}

bool VexaFileLoader::ReadFloat(float* value) {
    uint32_t bits;
    if (!ReadUInt(&bits)) return false;
    std::memcpy(value, &bits, sizeof(bits));
    return true;
}

bool VexaFileLoader::ReadGuid(GUID* guid) {
    uint8_t b[16];
    if (!ReadBytes(b, sizeof(b))) return false;
    guid->Data1 = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                  static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    guid->Data2 = static_cast<uint16_t>(b[4] | b[5] << 8);
    guid->Data3 = static_cast<uint16_t>(b[6] | b[7] << 8);
    std::memcpy(guid->Data4, b + 8, 8);
    return true;
}

bool VexaFileLoader::ReadString(std::string* text) {
    int32_t length = 0;
    if (!ReadCount(&length, kMaxStringLength)) return false;
    std::string result(static_cast<size_t>(length), '\0');
    if (!ReadBytes(&result[0], result.size())) return false;
    *text = std::move(result);
    return true;
}

// Reads: a 32-bit count. Fails the loader when it is negative or above `limit`.
bool VexaFileLoader::ReadCount(int32_t* count, int32_t limit) {
    int32_t value = 0;
    if (!ReadInt(&value)) return false;
    if (value < 0 || value > limit) {
        ok_ = false;
        return false;
    }
    *count = value;
    return true;
}
