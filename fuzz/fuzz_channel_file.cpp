// The host's channel file loader on a fresh "Crumple" channel made through
// the plug-in loader. A refused file is fine; a loaded one is given a few
// updates and a reset, and what it holds must not break the channel.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "channel_checks.h"
#include "host/channel_file.h"
#include "plugin/Kel_Crumple.h"
#include "scratch_file.h"
#include "test_scene.h"

namespace {

using namespace crumplefuzz;

void Update(Vexa_Channel& channel, const char* step) {
    if (!UpdateFitsCaps(channel)) return;
    const StateBefore before = TakeStateBefore(channel);
    channel.CallChannel();
    const std::string problem = CheckAfterUpdate(channel, before);
    if (!problem.empty()) {
        std::fprintf(stderr, "fuzz_channel_file: after %s: %s\n", step, problem.c_str());
        std::abort();
    }
}

}  // namespace

// Reads: the input as a channel file. Aborts when an update after a
// successful load breaks a mesh invariant.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = WriteScratchFile("input.kvch", data, size);
    CrumpleScene scene;
    if (!LoadChannelFile(*scene.channel(), path)) return 0;
    Vexa_Channel& channel = *scene.channel();
    Update(channel, "the first update");
    Update(channel, "the second update");
    if (ResetFitsCaps(channel)) {
        scene.crumple().ClearDamage();
        Update(channel, "the update after ClearDamage");
        Update(channel, "the hit after ClearDamage");
    }
    return 0;
}
