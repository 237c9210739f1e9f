// "Value" and "Value Vector": a float or a vector the host keeps between updates.
#include "host/value_channels.h"

#include <cstring>

#include "host/file_stream.h"

namespace {

ChannelType MakeTypeRecord(const char* name, const GUID& guid) {
    ChannelType type;
    std::strncpy(type.szName, name, sizeof(type.szName) - 1);
    type.guidType = guid;
    type.guidType2 = guid;
    return type;
}

}  // namespace

Vexa_Value::Vexa_Value() { SetChannelTypeRecord(MakeTypeRecord(VEXA_TYPE_VALUE, kGuidValue)); }

float Vexa_Value::GetValue() { return value_; }
float Vexa_Value::GetDefaultValue() { return 0.0f; }
void Vexa_Value::SetValue(float value) { value_ = value; }

// Writes the value, then the base part (children).
bool Vexa_Value::SaveChannel(VexaFileSaver& saver) {
    saver.WriteFloat(value_);
    return Vexa_Channel::SaveChannel(saver);
}

// The value is taken only once the whole channel has been read.
bool Vexa_Value::LoadChannel(VexaFileLoader& loader, Vexa_ChannelGroup* group) {
    float value = 0.0f;
    if (!loader.ReadFloat(&value)) return false;
    if (!Vexa_Channel::LoadChannel(loader, group)) return false;
    value_ = value;
    return true;
}

Vexa_ValueVector::Vexa_ValueVector() {
    SetChannelTypeRecord(MakeTypeRecord(VEXA_TYPE_VALUE_VECTOR, kGuidValueVector));
}

D3DXVECTOR3 Vexa_ValueVector::GetValue() { return value_; }
void Vexa_ValueVector::SetValue(D3DXVECTOR3 value) { value_ = value; }

bool Vexa_ValueVector::SaveChannel(VexaFileSaver& saver) {
    saver.WriteFloat(value_.x);
    saver.WriteFloat(value_.y);
    saver.WriteFloat(value_.z);
    return Vexa_Channel::SaveChannel(saver);
}

bool Vexa_ValueVector::LoadChannel(VexaFileLoader& loader, Vexa_ChannelGroup* group) {
    D3DXVECTOR3 value;
    if (!loader.ReadFloat(&value.x) || !loader.ReadFloat(&value.y) || !loader.ReadFloat(&value.z))
        return false;
    if (!Vexa_Channel::LoadChannel(loader, group)) return false;
    value_ = value;
    return true;
}
