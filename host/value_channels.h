// The host's "Value" and "Value Vector" channel types.
#pragma once

#include "d3d9_stand_in.h"
#include "vexa_channel.h"

class KORVANE_API Vexa_Value : public Vexa_Channel {
public:
    Vexa_Value();
    // Virtual order: GetValue first, SetValue third, after those of Vexa_Channel.
    virtual float GetValue();
    virtual float GetDefaultValue();
    virtual void SetValue(float value);

    bool SaveChannel(VexaFileSaver& saver) override;
    bool LoadChannel(VexaFileLoader& loader, Vexa_ChannelGroup* group) override;

private:
    float value_ = 0.0f;
};

class KORVANE_API Vexa_ValueVector : public Vexa_Channel {
public:
    Vexa_ValueVector();
    virtual D3DXVECTOR3 GetValue();
    virtual void SetValue(D3DXVECTOR3 value);

    bool SaveChannel(VexaFileSaver& saver) override;
    bool LoadChannel(VexaFileLoader& loader, Vexa_ChannelGroup* group) override;

private:
    D3DXVECTOR3 value_{0.0f, 0.0f, 0.0f};
};
