/* Changes every kind of global the firmware has and prints each one's value
 * and address: the values show that start-up copied data's initial bytes
 * and cleared bss, the addresses that both run in RAM. */
#include "firmware.h"

extern char __data_start[], _edata[], __bss_start[], _end[], __ram_end[];

char label[8] = "flash";
unsigned spare[3];

static unsigned boots = 41;
static unsigned seen;

static void at(const void *where)
{
    uart_puts(" at 0x");
    uart_puthex((unsigned)where);
    uart_puts("\n");
}

void show(const char *name, unsigned value, const void *where)
{
    uart_puts(name);
    uart_puts(" = 0x");
    uart_puthex(value);
    at(where);
}

void show_text(const char *name, const char *text, const void *where)
{
    uart_puts(name);
    uart_puts(" = \"");
    uart_puts(text);
    uart_puts("\"");
    at(where);
}

static void range(const char *name, const char *start, const char *end)
{
    uart_puts(name);
    uart_puts(" 0x");
    uart_puthex((unsigned)start);
    uart_puts("-0x");
    uart_puthex((unsigned)end);
    uart_puts("\n");
}

int main(void)
{
    uart_puts("Firmware in flash, data in RAM\n");
    range("data", __data_start, _edata);
    range("bss ", __bss_start, _end);
    /* no variable lies past _end: start-up leaves that RAM as it was */
    show("word past _end", *(const unsigned *)_end, _end);

    boots++;
    for (unsigned i = 0; i < 6; i++) {
        readings[i] *= 2;
        sensor_sample(readings[i]);
        seen++;
    }
    sensor.count += 2;
    sensor.gain[1] += 5;
    state = "running";
    label[0] = 'F';
    spare[2] = total - 1;

    show("boots", boots, &boots);
    show("seen", seen, &seen);
    show_text("label", label, label);
    show("spare[0]", spare[0], &spare[0]);
    show("spare[2]", spare[2], &spare[2]);
    show("sensor.id", sensor.id, &sensor.id);
    show("sensor.count", sensor.count, &sensor.count);
    show_text("sensor.name", sensor.name, &sensor.name);
    show("sensor.gain[1]", sensor.gain[1], &sensor.gain[1]);
    show("readings[0]", readings[0], &readings[0]);
    show("readings[5]", readings[5], &readings[5]);
    show("total", total, &total);
    show_text("state", state, &state);
    sensor_report();

    char here;
    uart_puts(&here > _end && &here < __ram_end ? "stack in RAM, below 0x" : "stack outside RAM, below 0x");
    uart_puthex((unsigned)__ram_end);
    uart_puts("\n");
    return 0;
}
