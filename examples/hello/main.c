/* The C part of the example: what the board prints between start-up and
 * halt. Kept within what tarnel-elf2obj converts: static data, no offsets
 * added to external symbols, no pointers to other modules in data. */
void uart_puts(const char *text);
void uart_puthex(unsigned value);

/* In .data, pointing into .rodata: data-to-code relocations. Global, so
 * that the compiler keeps the table; main reaches lines[1] as lines + 4, an
 * offset that the converter resolves within this module. */
const char *lines[] = {
    "Hello from a ColdFire program linked by tarnel!\n",
    "Modules: start.s, uart.s, digits.s, main.c\n",
};

static unsigned printed; /* in .bss */

static unsigned sum_to(unsigned n)
{
    unsigned sum = 0;
    while (n)
        sum += n--;
    return sum;
}

int main(void)
{
    for (unsigned i = 0; i < sizeof lines / sizeof lines[0]; i++) {
        uart_puts(lines[i]);
        printed++;
    }
    uart_puts("Sum of 1..100 = 0x");
    uart_puthex(sum_to(100));
    uart_puts("\nLines printed by main: 0x");
    uart_puthex(printed);
    uart_puts("\n");
    return 0;
}
