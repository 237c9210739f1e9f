// The host's own channel types, made by type identifier.
#include "host/channel_factory.h"

#include "host/object_data.h"
#include "host/value_channels.h"

std::shared_ptr<Vexa_Channel> CreateHostChannel(const GUID& type) {
    if (type == kGuidValue) return std::make_shared<Vexa_Value>();
    if (type == kGuidValueVector) return std::make_shared<Vexa_ValueVector>();
    if (type == kGuidObjectData) return std::make_shared<Vexa_ObjectData>(false);
    return nullptr;
}
