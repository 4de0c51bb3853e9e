/* The firmware's main: runs each module's work on data kept here (so no
 * result is known at compile time) and prints what it got. */
#include "firmware.h"

static const uint64_t dividends[] = {1000000000000ull, 0xfedcba9876543210ull, 12345, 0x100000000ull};
static const uint64_t divisors[] = {7, 0x100000000ull, 10, 3};
static const int64_t signed_values[] = {-1000000000000ll, 9223372036854775807ll, -7};
static const int64_t signed_divisors[] = {37, -2, 2};
static const uint8_t samples[] = {3, 7, 7, 200, 3, 3, 255, 0, 7, 64, 64, 3};

static void show(const char *label, const char *text)
{
    uart_puts(label);
    uart_puts(text);
    uart_puts("\n");
}

int main(void)
{
    char text[24];
    uart_puts("Firmware with the runtime library\n");

    /* struct copies and zeroed arrays; the records are too big for the
     * stack that start.s sets up */
    static struct record records[3], copies[3];
    records[0] = make_record("alpha", 1, 1ull << 40);
    records[1] = make_record("beta", 2, 123456789012ull);
    records[2] = make_record("gamma", 3, 0);
    copy_records(copies, records, 3);
    for (unsigned i = 0; i < 3; i++) {
        uart_puts(copies[i].name);
        show(" total ", format_u64(text, copies[i].total));
    }
    show("record bytes sum ", format_hex(text, byte_sum(copies, sizeof copies)));
    show("histogram spread ", format_hex(text, histogram_spread(samples, sizeof samples)));

    /* 64-bit division and modulo, unsigned and signed */
    for (unsigned i = 0; i < sizeof dividends / sizeof dividends[0]; i++) {
        struct split s = split_u64(dividends[i], divisors[i]);
        uart_puts(format_u64(text, dividends[i]));
        uart_puts(" / ");
        uart_puts(format_u64(text, divisors[i]));
        uart_puts(" = ");
        uart_puts(format_u64(text, s.quotient));
        show(" rest ", format_u64(text, s.remainder));
    }
    for (unsigned i = 0; i < sizeof signed_values / sizeof signed_values[0]; i++) {
        int64_t rest;
        int64_t q = divide_i64(signed_values[i], signed_divisors[i], &rest);
        uart_puts(format_i64(text, signed_values[i]));
        uart_puts(" / ");
        uart_puts(format_i64(text, signed_divisors[i]));
        uart_puts(" = ");
        uart_puts(format_i64(text, q));
        show(" rest ", format_i64(text, rest));
    }

    /* 64-bit shifts and multiplication */
    show("rotate by 12: ", format_u64(text, rotate_u64(dividends[1], 12)));
    show("rotate by 40: ", format_u64(text, rotate_u64(dividends[1], 40)));
    show("scale -5 by 33: ", format_i64(text, scale_i64(signed_divisors[0] - 42, 33)));
    show("scale -5 by -2: ", format_i64(text, scale_i64(signed_divisors[0] - 42, -2)));
    show("product: ", format_u64(text, product_u64(dividends[0], divisors[0] + 5)));
    show("mixed: ", format_u64(text, mix_u64(dividends[2], 4)));
    show("clamped: ", format_hex(text, clamp_u32((uint32_t)dividends[2], 100, 10000)));

    /* the handler of event 2: events.c overrides handler.c's weak default */
    show("event 2: ", event_handler(2));
    return 0;
}
