// Colours of new vertices: byte-wise means of ARGB colours. The bytes also
// carry damage state (dent record, alpha marks, hole mask), so no carry may
// pass from one byte into the next.
#include "plugin/Kel_Crumple.h"

// Reads: nothing but its arguments. Every byte is floor((x1 + x2) / 2).
uint32_t Kel_Crumple::CalcAverageColor(uint32_t c1, uint32_t c2) {
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t x1 = (c1 >> shift) & 0xFFu, x2 = (c2 >> shift) & 0xFFu;
        result |= ((x1 + x2) / 2u) << shift;
    }
    return result;
}

// Reads: nothing but its arguments. Red, green and blue are summed in place
// and divided by 3. Three alphas do not fit in place in 32 bits, so each
// alpha word is divided by 3 first and the quotients summed: the alpha can
// come out one below the truncated mean (1,1,1 gives 0; 254,254,254 gives 253).
uint32_t Kel_Crumple::CalcAverageColor(uint32_t c1, uint32_t c2, uint32_t c3) {
    uint32_t result = 0;
    for (uint32_t mask = 0xFFu; mask <= 0xFF0000u; mask <<= 8)
        result |= (((c1 & mask) + (c2 & mask) + (c3 & mask)) / 3u) & mask;
    const uint32_t alpha = (c1 & 0xFF000000u) / 3u + (c2 & 0xFF000000u) / 3u + (c3 & 0xFF000000u) / 3u;
    return result | (alpha & 0xFF000000u);
}
