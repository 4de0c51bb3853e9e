/* The program that gdb debugs in tests/e2e/debug_e2e.sh, linked by tarnel
 * and by GNU ld: main scales four samples through calc.c, averages them and
 * prints the average. A static array in bss, a static string in rodata. */
#include "calc.h"

void uart_puts(const char *text);
void uart_puthex(unsigned value);

static struct sample samples[4];
static const char banner[] = "Samples:\n";

int main(void)
{
    uart_puts(banner);
    for (int i = 0; i < 4; i++) {
        samples[i].raw = i * 20;
        samples[i].scaled = scale(samples[i].raw); /* gdb: call */
    }
    int avg = average(samples, 4);
    if (avg > limits[1])
        avg = limits[1];
    uart_puthex((unsigned)avg);
    uart_puts("\n");
    return 0;
}
