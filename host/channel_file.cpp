// The host's channel file: magic, format version and the channel's type
// identifier, then the channel itself.
#include "host/channel_file.h"

#include <cstring>

#include "host/channel_factory.h"
#include "host/file_stream.h"

namespace {

constexpr char kMagic[4] = {'K', 'V', 'C', 'H'};
constexpr uint32_t kFormatVersion = 1;

}  // namespace

// Writes: magic, format version and the channel's type identifier, then the
// channel itself. False when the file cannot be written completely.
bool SaveChannelFile(Vexa_Channel& channel, const std::string& path) {
    VexaFileSaver saver(path);
    if (!saver.Ok()) return false;
    saver.WriteBytes(kMagic, sizeof(kMagic));
    saver.WriteUInt(kFormatVersion);
    saver.WriteGuid(channel.GetChannelType().guidType);
    const bool saved = channel.SaveChannel(saver);
    return saver.Close() && saved;
}

// Reads the header written by SaveChannelFile; refuses another magic, version
// or channel type before touching the channel.
bool LoadChannelFile(Vexa_Channel& channel, const std::string& path, Vexa_ChannelGroup* group) {
    VexaFileLoader loader(path);
    if (!loader.Ok()) return false;
    char magic[4];
    uint32_t version = 0;
    GUID type;
    if (!loader.ReadBytes(magic, sizeof(magic)) || std::memcmp(magic, kMagic, sizeof(kMagic)) != 0)
        return false;
    if (!loader.ReadUInt(&version) || version != kFormatVersion) return false;
    if (!loader.ReadGuid(&type) || type != channel.GetChannelType().guidType) return false;
    // Children the file names that the channel lacks are of the host's types.
    channel.SetChannelMaker(CreateHostChannel);
    return channel.LoadChannel(loader, group) && loader.Ok();
}
