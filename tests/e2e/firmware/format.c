/* Numbers as text, in the firmware's library. Decimal digits come from
 * 64-bit division and modulo by 10, which the runtime library provides. */
#include "firmware.h"

char *format_u64(char *buffer, uint64_t value)
{
    char digits[20];
    unsigned n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value);
    for (unsigned i = 0; i < n; i++)
        buffer[i] = digits[n - 1 - i];
    buffer[n] = 0;
    return buffer;
}

char *format_i64(char *buffer, int64_t value)
{
    if (value >= 0)
        return format_u64(buffer, (uint64_t)value);
    buffer[0] = '-';
    format_u64(buffer + 1, 0 - (uint64_t)value);
    return buffer;
}

char *format_hex(char *buffer, uint32_t value)
{
    static const char hex[] = "0123456789ABCDEF";
    buffer[0] = '0';
    buffer[1] = 'x';
    for (int i = 0; i < 8; i++)
        buffer[2 + i] = hex[(value >> (28 - 4 * i)) & 15];
    buffer[10] = 0;
    return buffer;
}
