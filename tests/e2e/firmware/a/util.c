/* One of two modules named util.c: they stay apart. */
#include "../firmware.h"

uint32_t clamp_u32(uint32_t value, uint32_t low, uint32_t high)
{
    return value < low ? low : value > high ? high : value;
}
