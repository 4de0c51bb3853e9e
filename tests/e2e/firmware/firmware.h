/* What the firmware's modules share. */
#include <stddef.h>
#include <stdint.h>

/* uart.s */
void uart_puts(const char *text);

/* main.s: the sum of n bytes */
uint32_t byte_sum(const void *bytes, size_t n);

/* format.c, in the library: each writes the number's text at buffer and
 * returns buffer */
char *format_u64(char *buffer, uint64_t value);
char *format_i64(char *buffer, int64_t value);
char *format_hex(char *buffer, uint32_t value);

/* records.c */
struct record {
    char name[64];
    uint32_t id;
    uint64_t total;
    int16_t deltas[5];
};
struct record make_record(const char *name, uint32_t id, uint64_t total);
void copy_records(struct record *to, const struct record *from, unsigned count);
uint32_t histogram_spread(const uint8_t *samples, unsigned count);

/* wide.c */
struct split {
    uint64_t quotient, remainder;
};
struct split split_u64(uint64_t value, uint64_t divisor);
int64_t divide_i64(int64_t value, int64_t divisor, int64_t *remainder);
uint64_t rotate_u64(uint64_t value, unsigned count);
int64_t scale_i64(int64_t value, int shift);
uint64_t product_u64(uint64_t a, uint64_t b);

/* a/util.c and b/util.c */
uint32_t clamp_u32(uint32_t value, uint32_t low, uint32_t high);
uint64_t mix_u64(uint64_t value, unsigned rounds);

/* handler.c */
const char *event_handler(unsigned event);
