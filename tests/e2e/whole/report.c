/* The program's main: runs the example's main (main.c, compiled with
 * -Dmain=hello_main), then prints what it reads at constant offsets from
 * symbols of other modules: shared.c's data, main.c's lines and digits.s's
 * hex_digits. */
#include "shared.h"

void uart_puts(const char *text);
void uart_puthex(unsigned value);
int hello_main(void);
extern const char *lines[];
extern const char hex_digits[];

static void show(const char *label, unsigned value)
{
    uart_puts(label);
    uart_puthex(value);
    uart_puts("\n");
}

int main(void)
{
    hello_main();
    uart_puts(settings.title);
    show("count = 0x", settings.count);
    show("squares[4] = 0x", squares[4]);
    unsigned sum = 0;
    for (const unsigned *p = squares; p != squares + 8; p++)
        sum += *p;
    show("sum of squares = 0x", sum);
    tally[3] = sum + settings.flags[2];
    show("tally[3] = 0x", tally[3]);
    uart_puts(lines[1] + 9);
    char digit[3] = {hex_digits[10], '\n', 0};
    uart_puts("hex_digits[10] = ");
    uart_puts(digit);
    return 0;
}
