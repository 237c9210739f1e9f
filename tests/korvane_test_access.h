// The stand-in host's test probes: what tests read or force in the host that
// no host caller needs (call counters, lock state, refused locks).
#pragma once

#include "host/d3d9_stand_in.h"
#include "host/vexa_channel.h"

class KorvaneTestAccess {
public:
    static int SetChannelNameCalls(const Vexa_Channel& c) { return c.setNameCalls_; }
    static int SetChildCreationCountCalls(const Vexa_Channel& c) { return c.setCreationCountCalls_; }
    static bool IsLocked(const RenderBufferMemory& b) { return b.locked_; }
    static int LockCount(const RenderBufferMemory& b) { return b.lockCount_; }
    // Every later Lock of `b` fails with D3DERR_INVALIDCALL and a null pointer.
    static void SetLockFails(RenderBufferMemory& b, bool fails) { b.lockFails_ = fails; }
};
