/* 64-bit division, modulo, shifts by a variable count, multiplication. */
#include "firmware.h"

struct split split_u64(uint64_t value, uint64_t divisor)
{
    struct split s = {value / divisor, value % divisor};
    return s;
}

int64_t divide_i64(int64_t value, int64_t divisor, int64_t *remainder)
{
    *remainder = value % divisor;
    return value / divisor;
}

uint64_t rotate_u64(uint64_t value, unsigned count)
{
    count &= 63;
    return count ? value << count | value >> (64 - count) : value;
}

/* a left shift for a positive count, an arithmetic right shift for a
 * negative one */
int64_t scale_i64(int64_t value, int shift)
{
    return shift >= 0 ? (int64_t)((uint64_t)value << shift) : value >> -shift;
}

uint64_t product_u64(uint64_t a, uint64_t b)
{
    return a * b;
}
