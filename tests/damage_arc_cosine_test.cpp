// The plug-in's own arc cosine against the C runtime's, rounded to float.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "damage/arc_cosine.h"

namespace {

float FromBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

}  // namespace

// Every branch (|x| < 0.5, the two tails, the exact ends) over a sweep of
// float bit patterns: the result must be the runtime's double arc cosine
// rounded to float, bit for bit, and outside [-1, 1] it must be NaN.
TEST(DamageArcCosine, MatchesRoundedLibraryValueAndDomain) {
    int mismatches = 0;
    for (uint32_t bits = 0; bits <= 0x3F800000u; bits += 4099) {
        for (uint32_t sign : {0u, 0x80000000u}) {
            const float x = FromBits(bits | sign);
            const float expected = static_cast<float>(std::acos(static_cast<double>(x)));
            const float got = ArcCosine(x);
            if (std::memcmp(&expected, &got, sizeof(float)) != 0 && ++mismatches <= 5)
                ADD_FAILURE() << std::hexfloat << "x = " << x << ": " << got << " instead of " << expected;
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(ArcCosine(1.0f), 0.0f);
    EXPECT_EQ(ArcCosine(-1.0f), static_cast<float>(3.14159265358979311600));
    EXPECT_EQ(ArcCosine(0.0f), static_cast<float>(1.57079632679489655800));
    EXPECT_EQ(ArcCosine(0.5f), static_cast<float>(std::acos(0.5)));
    for (float outside : {std::nextafter(1.0f, 2.0f), -1.0000001f, 2.0f, std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN()})
        EXPECT_TRUE(std::isnan(ArcCosine(outside))) << outside;
}
