// The channel's 29 children, always addressed by number.
#pragma once

#include <climits>
#include <cmath>

#include "../host/object_data.h"
#include "../host/value_channels.h"
#include "../host/vexa_channel.h"

namespace crumple {

enum Child : int {
    kCollisionPosition = 0,
    kCollisionNormal = 1,
    kObjectData = 2,
    kMassBody1 = 3,
    kMassBody2 = 4,
    kMaxImpactSpeed = 5,
    kApplyDents = 6,
    kApplyAlphaDamage = 7,
    kApplyHoles = 8,
    kNumberOfPasses = 9,
    kImpactFactor = 10,
    kImpactRadiusFactor = 11,
    kDentRadiusFactor = 12,
    kDentFactor = 13,
    kDentAngle = 14,
    kMaxDent = 15,
    kVertexMultiplier = 16,
    kIndexMultiplier = 17,
    kAlphaDamageValue = 18,
    kMinTriangleSize = 19,
    kHoleThreshold = 20,
    kMinRedValue = 21,
    kVertexesUsed = 22,
    kIndexesUsed = 23,
    kCumulativeImpact = 24,
    kHolesUnderWater = 25,
    kCollisionRadius = 26,
    kNewCollisionPosition = 27,
    kOriginalObjectData = 28,
    kChildCount = 29
};

// A child of the expected type, or null when it is missing or of another type.
inline Vexa_Value* ValueChild(Vexa_Channel* channel, int index) {
    return dynamic_cast<Vexa_Value*>(channel->GetChild(index));
}
inline Vexa_ValueVector* VectorChild(Vexa_Channel* channel, int index) {
    return dynamic_cast<Vexa_ValueVector*>(channel->GetChild(index));
}
inline Vexa_ObjectData* ObjectChild(Vexa_Channel* channel, int index) {
    return dynamic_cast<Vexa_ObjectData*>(channel->GetChild(index));
}

// Settings used as integers are truncated toward zero. A NaN counts as 0 and a
// value beyond the int range is held at its end, where a bare cast is undefined.
inline int TruncateToInt(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0f) return INT_MAX;
    if (value <= -2147483648.0f) return INT_MIN;
    return static_cast<int>(value);
}

// A used count as a pass loads it. A child still holding exactly the float of
// the count the channel last wrote means nothing changed it, so the exact
// count stands (past 2^24 the float alone would round it); any other value
// was written from outside, or the instance is fresh, and is read truncated.
inline int ReadUsedCount(float value, int kept) {
    if (kept >= 0 && value == static_cast<float>(kept)) return kept;
    return TruncateToInt(value);
}

}  // namespace crumple
