// The host's channel file: a header naming the channel's type, then the
// channel's children (values, vectors and whole meshes) in the host's own
// little-endian format.
#pragma once

#include <string>

#include "korvane_api.h"
#include "vexa_channel.h"

// Whole-file helpers: a header naming the channel's type, then the channel.
// Loading refuses a file written for another channel type.
KORVANE_API bool SaveChannelFile(Vexa_Channel& channel, const std::string& path);
KORVANE_API bool LoadChannelFile(Vexa_Channel& channel, const std::string& path,
                                 Vexa_ChannelGroup* group = nullptr);
