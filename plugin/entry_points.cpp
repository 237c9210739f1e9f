// The library's two entry points: the channel type record and new instances.
#include <cstring>
#include <new>

#include "plugin/Kel_Crumple.h"

namespace {

// The one type record; built at load time by the host's ChannelType
// constructor and handed out by address, so it must outlive every caller.
ChannelType g_crumpleType;

// EAAE514A-3600-435E-9243-44506AD31AFD
const GUID kCrumpleTypeId = {0xEAAE514Au, 0x3600u, 0x435Eu, {0x92, 0x43, 0x44, 0x50, 0x6A, 0xD3, 0x1A, 0xFD}};

}  // namespace

// Reads: nothing. Writes: name, both identifiers, iKind and iSubKind of the
// static record; the bytes the host reserves stay as its constructor left them.
// Every call rewrites the same values and returns the same address.
ChannelType* GetType() {
    std::memset(g_crumpleType.szName, 0, sizeof(g_crumpleType.szName));
    // Bounded to 79 bytes with the terminator, so at most 78 characters land.
    const char* name = "Crumple";
    for (size_t i = 0; i < sizeof(g_crumpleType.szName) - 2 && name[i] != '\0'; ++i) g_crumpleType.szName[i] = name[i];
    g_crumpleType.guidType = kCrumpleTypeId;
    g_crumpleType.guidType2 = kCrumpleTypeId;
    g_crumpleType.iKind = 7;
    g_crumpleType.iSubKind = 0;
    return &g_crumpleType;
}

// A new channel, owned by the host from here on and destroyed through its
// virtual destructor, whose deleting form frees it inside this library.
// Null when no storage can be had; nothing is constructed then.
DllInterface* InitDLL() {
    return new (std::nothrow) Kel_Crumple();
}

#ifdef _WIN32
// <windows.h> brings its own GUID, which clashes with the host's record type,
// so the one system call used here is declared by hand.
extern "C" __declspec(dllimport) int __stdcall DisableThreadLibraryCalls(void* module);

// Thread attach/detach notices are of no use to a library without threads.
extern "C" int __stdcall DllMain(void* module, unsigned long reason, void* /*reserved*/) {
    const unsigned long kProcessAttach = 1;  // DLL_PROCESS_ATTACH
    if (reason == kProcessAttach) DisableThreadLibraryCalls(module);
    return 1;  // TRUE
}
#endif
