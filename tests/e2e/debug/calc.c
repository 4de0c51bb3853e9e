/* The second module of the program that gdb debugs in tests/e2e/debug_e2e.sh:
 * a global in data, a static in bss, a static function that -O2 inlines. */
#include "calc.h"

int scale_factor = 3;
int limits[2] = {-100, 100};
static int calls;

static int clamp(int v, int lo, int hi)
{
    if (v < lo)
        return lo;
    if (v > hi)
        return hi;
    return v;
}

int scale(int value)
{
    int scaled = value * scale_factor;
    calls++; /* gdb: scale */
    return clamp(scaled, limits[0], limits[1]);
}

int average(const struct sample *s, int n)
{
    int sum = 0;
    for (int i = 0; i < n; i++)
        sum += s[i].scaled;
    return n ? sum / n : 0;
}
