/* A sensor's state: initialised and zeroed globals that main.c changes,
 * and statics that only this module reaches. The last of its data and of
 * its bss end off a multiple of 4, so that the padding the converter adds
 * to a module's part shows in _edata and _end. */
#include "firmware.h"

struct sensor sensor = {0x5E450001, 3, "probe", {10, 20, 30, 40}};
unsigned readings[6] = {7, 11, 13, 17, 19, 23};
unsigned total;
const char *state = "idle";

static unsigned samples = 100;
static unsigned last[4];
static char unit[3] = "mV";
static unsigned char overflows[2];

void sensor_sample(unsigned value)
{
    last[samples % 4] = value;
    samples++;
    total += value;
    if (value > 30)
        overflows[1]++;
}

void sensor_report(void)
{
    show("samples", samples, &samples);
    show("last[0]", last[0], &last[0]);
    show("last[3]", last[3], &last[3]);
    show_text("unit", unit, unit);
    show("overflows[1]", overflows[1], &overflows[1]);
}
