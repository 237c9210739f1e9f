// The byte stream of the host's channel files: little-endian integers,
// floats, identifiers and strings, with a sticky failure flag.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "channel_records.h"
#include "korvane_api.h"

class KORVANE_API VexaFileSaver {
public:
    explicit VexaFileSaver(const std::string& path);
    bool Ok() const { return ok_; }
    void WriteBytes(const void* data, size_t size);
    void WriteInt(int32_t value);
    void WriteUInt(uint32_t value);
    void WriteFloat(float value);
    void WriteGuid(const GUID& guid);
    void WriteString(const std::string& text);
    // Flushes; false when any write failed.
    bool Close();

private:
    std::ofstream out_;
    bool ok_;
};

class KORVANE_API VexaFileLoader {
public:
    explicit VexaFileLoader(const std::string& path);
    bool Ok() const { return ok_; }
    // Each read fails (and clears Ok) at the end of the file.
    bool ReadBytes(void* data, size_t size);
    bool ReadInt(int32_t* value);
    bool ReadUInt(uint32_t* value);
    bool ReadFloat(float* value);
    bool ReadGuid(GUID* guid);
    bool ReadString(std::string* text);
    // Reads a count and checks it against a sanity limit, so a damaged file
    // cannot ask for a huge allocation.
    bool ReadCount(int32_t* count, int32_t limit);
    void Fail() { ok_ = false; }

private:
    std::ifstream in_;
    bool ok_;
};
