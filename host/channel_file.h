// The host's channel file: a channel's children (values, vectors and whole
// meshes) in a little-endian binary format of the host's own.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "korvane_api.h"
#include "vexa_channel.h"

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

// Whole-file helpers: a header naming the channel's type, then the channel.
// Loading refuses a file written for another channel type.
KORVANE_API bool SaveChannelFile(Vexa_Channel& channel, const std::string& path);
KORVANE_API bool LoadChannelFile(Vexa_Channel& channel, const std::string& path,
                                 Vexa_ChannelGroup* group = nullptr);

// The host's own channel types, made by type identifier; null for an unknown type.
KORVANE_API std::shared_ptr<Vexa_Channel> CreateHostChannel(const GUID& type);
