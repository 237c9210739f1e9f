// Loads the plug-in through the host library's loader, makes one channel and
// runs its first update; exits 0 only when all of that works.
#include <cstdio>
#include <cstring>
#include <string>

#include "host/plugin_loader.h"
#include "plugin/Kel_Crumple.h"

int main() {
    std::string error;
    auto library = PluginLibrary::Open(PLUGIN_PATH, &error);
    if (!library) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (std::strcmp(library->GetType()->szName, "Crumple") != 0) {
        std::fprintf(stderr, "unexpected channel type '%s'\n", library->GetType()->szName);
        return 1;
    }
    Vexa_ChannelHost host;
    auto channel = library->CreateInstance(&host);
    if (!channel || dynamic_cast<Kel_Crumple*>(channel.get()) == nullptr) {
        std::fprintf(stderr, "no Crumple channel made\n");
        return 1;
    }
    if (channel->GetChildCount() != 29) {
        std::fprintf(stderr, "expected 29 children, got %d\n", channel->GetChildCount());
        return 1;
    }
    channel->CallChannel();
    std::printf("loaded %s with %d children\n", library->GetType()->szName, channel->GetChildCount());
    return 0;
}
