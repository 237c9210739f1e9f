// The host's type identifiers and the default states of the records shared
// with plug-ins.
#include "host/channel_records.h"

#include <cstring>

const GUID kGuidValue = {0xBE69CCC4u, 0xCFC1u, 0x4362u, {0xAC, 0x81, 0x76, 0x7D, 0x19, 0x9B, 0xBF, 0xC3}};
const GUID kGuidValueVector = {0x9D045960u, 0xEAC2u, 0x4C40u, {0x9B, 0xBF, 0x10, 0xF3, 0x2F, 0x7F, 0xA3, 0x05}};
const GUID kGuidObjectData = {0x21A8923Du, 0xB908u, 0x4104u, {0xAE, 0x88, 0xB6, 0x71, 0x8D, 0x8A, 0x86, 0x78}};

// Field by field: the struct has no padding, but comparing fields keeps the
// meaning independent of how the record was filled.
bool operator==(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof(a.Data4)) == 0;
}

ChannelType::ChannelType() { std::memset(static_cast<void*>(this), 0, sizeof(*this)); }

// The whole record is zeroed first so that every byte a plug-in does not
// write is the same from record to record.
ChildCreation::ChildCreation() {
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
    std::memset(&channelType.guidType, 0x11, sizeof(GUID));
    std::memset(&channelType.guidType2, 0x11, sizeof(GUID));
    iChildIndex = -1;
    bFlag1 = false;
    bFlag2 = false;
    iExtra1 = 0;
    iExtra2 = 1;
}
