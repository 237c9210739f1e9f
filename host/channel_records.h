// Records shared byte for byte between the host and its plug-ins: the channel
// type record and the child description record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "korvane_api.h"

// 16-byte identifier: a 32-bit and two 16-bit little-endian groups, then 8 bytes.
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");

KORVANE_API bool operator==(const GUID& a, const GUID& b);
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

struct KORVANE_API ChannelType {
    char szName[80];
    GUID guidType;
    GUID guidType2;
    uint8_t reserved0[8];
    int32_t iKind;
    uint8_t reserved1[4];
    int32_t iSubKind;

    // Host default: every byte zero.
    ChannelType();
};

static_assert(sizeof(ChannelType) == 132, "ChannelType spans 132 bytes");
static_assert(offsetof(ChannelType, szName) == 0, "szName at 0");
static_assert(offsetof(ChannelType, guidType) == 80, "guidType at 80");
static_assert(offsetof(ChannelType, guidType2) == 96, "guidType2 at 96");
static_assert(offsetof(ChannelType, reserved0) == 112, "8 host bytes at 112");
static_assert(offsetof(ChannelType, iKind) == 120, "iKind at 120");
static_assert(offsetof(ChannelType, reserved1) == 124, "4 host bytes at 124");
static_assert(offsetof(ChannelType, iSubKind) == 128, "iSubKind at 128");

struct KORVANE_API ChildCreation {
    ChannelType channelType;
    int32_t iChildIndex;
    bool bFlag1;
    bool bFlag2;
    char szChildName[102];
    GUID guidExtra;
    int32_t iExtra1;
    int32_t iExtra2;

    // Defaults: both type identifiers all 0x11 bytes, index -1, flags false,
    // empty name, guidExtra zero, iExtra1 0, iExtra2 1.
    ChildCreation();
};

static_assert(sizeof(ChildCreation) == 264, "ChildCreation spans 264 bytes");
static_assert(offsetof(ChildCreation, channelType) == 0, "channelType at 0");
static_assert(offsetof(ChildCreation, iChildIndex) == 132, "iChildIndex at 132");
static_assert(offsetof(ChildCreation, bFlag1) == 136, "bFlag1 at 136");
static_assert(offsetof(ChildCreation, bFlag2) == 137, "bFlag2 at 137");
static_assert(offsetof(ChildCreation, szChildName) == 138, "szChildName at 138");
static_assert(offsetof(ChildCreation, guidExtra) == 240, "guidExtra at 240");
static_assert(offsetof(ChildCreation, iExtra1) == 256, "iExtra1 at 256");
static_assert(offsetof(ChildCreation, iExtra2) == 260, "iExtra2 at 260");

// Type names and identifiers of the host's own channel types.
#define VEXA_TYPE_VALUE "Value"
#define VEXA_TYPE_VALUE_VECTOR "Value Vector"
#define VEXA_TYPE_OBJECT_DATA "3D ObjectData"
KORVANE_API extern const GUID kGuidValue;        // BE69CCC4-CFC1-4362-AC81-767D199BBFC3
KORVANE_API extern const GUID kGuidValueVector;  // 9D045960-EAC2-4C40-9BBF-10F32F7FA305
KORVANE_API extern const GUID kGuidObjectData;   // 21A8923D-B908-4104-AE88-B6718D8A8678
