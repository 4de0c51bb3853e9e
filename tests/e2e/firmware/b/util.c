/* The other module named util.c. */
#include "../firmware.h"

/* xorshift rounds: shifts by constant and by variable counts */
uint64_t mix_u64(uint64_t value, unsigned rounds)
{
    for (unsigned i = 0; i < rounds; i++) {
        value ^= value << 13;
        value ^= value >> 7;
        value ^= value << (17 + i);
    }
    return value;
}
