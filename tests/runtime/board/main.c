/* The runtime's checks on the board: checks.h with each helper called by
 * name from the runtime library, and the operands from vectors.c, which the
 * host's generator writes along with the lines expected here. */
#include <stddef.h>
#include <stdint.h>

void uart_puts(const char *text);

void *memcpy(void *dst, const void *src, size_t n);
void *memmove(void *dst, const void *src, size_t n);
void *memset(void *dst, int c, size_t n);
int memcmp(const void *a, const void *b, size_t n);
size_t strlen(const char *s);

uint32_t __udivsi3(uint32_t n, uint32_t d);
uint32_t __umodsi3(uint32_t n, uint32_t d);
int32_t __divsi3(int32_t a, int32_t b);
int32_t __modsi3(int32_t a, int32_t b);
uint64_t __udivdi3(uint64_t n, uint64_t d);
uint64_t __umoddi3(uint64_t n, uint64_t d);
int64_t __divdi3(int64_t a, int64_t b);
int64_t __moddi3(int64_t a, int64_t b);
int64_t __muldi3(int64_t a, int64_t b);
int64_t __ashldi3(int64_t u, int count);
uint64_t __lshrdi3(uint64_t u, int count);
int64_t __ashrdi3(int64_t u, int count);

#define HELPER_UDIVSI3 __udivsi3
#define HELPER_UMODSI3 __umodsi3
#define HELPER_DIVSI3 __divsi3
#define HELPER_MODSI3 __modsi3
#define HELPER_UDIVDI3 __udivdi3
#define HELPER_UMODDI3 __umoddi3
#define HELPER_DIVDI3 __divdi3
#define HELPER_MODDI3 __moddi3
#define HELPER_MULDI3 __muldi3
#define HELPER_ASHLDI3 __ashldi3
#define HELPER_LSHRDI3 __lshrdi3
#define HELPER_ASHRDI3 __ashrdi3

extern const uint32_t vec32[];
extern const unsigned vec32_count;
extern const uint64_t vec64[];
extern const unsigned vec64_count;

static void put_line(const char *text)
{
    uart_puts(text);
    uart_puts("\n");
}

#include "checks.h"

int main(void)
{
    run_checks();
    return 0;
}
