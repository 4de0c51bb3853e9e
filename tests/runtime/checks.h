/* The runtime's checks, one text compiled twice: into the board's firmware,
 * where each operation runs through the runtime library, and into the
 * host's generator, where it is the host's own. Each check prints one line
 * (the operation, its operands, its results); both runs print the same
 * lines when the runtime computes what the host computes.
 *
 * Written in the common part of C and C++. The includer defines before it:
 *   put_line(text)                 prints one line
 *   HELPER_UDIVSI3(n, d) and the other HELPER_ names: the runtime's
 *       functions called by name on the board (so each is checked whatever
 *       the compiler calls), the C operators on the host
 *   vec32, vec32_count, vec64, vec64_count: the operands (vectors.c)
 *   memcpy, memmove, memset, memcmp, strlen
 * A line holds the helper's result and then, where C has an operator for
 * it, the operator's (which on the board is an instruction or a call the
 * compiler chose). Division by zero is checked through the helpers only:
 * its results are the runtime's own rule, as C gives none. */

#define SHIFT_COUNTS 15
static const int shift_counts[SHIFT_COUNTS] = {0, 1, 2, 7, 8, 15, 16, 31, 32, 33, 40, 47, 48, 62, 63};

/* -------- formatting -------- */

static char *put_text(char *p, const char *text)
{
    while (*text)
        *p++ = *text++;
    return p;
}

static char *put_digits(char *p, uint32_t v)
{
    static const char digits[] = "0123456789abcdef";
    for (int shift = 28; shift >= 0; shift -= 4)
        *p++ = digits[(v >> shift) & 15];
    return p;
}

/* a space, then the value's eight or sixteen hex digits */
static char *put_hex32(char *p, uint32_t v)
{
    *p++ = ' ';
    return put_digits(p, v);
}

static char *put_hex64(char *p, uint64_t v)
{
    *p++ = ' ';
    p = put_digits(p, (uint32_t)(v >> 32));
    return put_digits(p, (uint32_t)v);
}

/* line NAME a b results...: the operands and results as hex words */
static void line32(const char *name, uint32_t a, uint32_t b, const uint32_t *results, int count)
{
    char text[96];
    char *p = put_text(text, name);
    p = put_hex32(p, a);
    p = put_hex32(p, b);
    for (int i = 0; i < count; i++)
        p = put_hex32(p, results[i]);
    *p = 0;
    put_line(text);
}

static void line64(const char *name, uint64_t a, uint64_t b, const uint64_t *results, int count)
{
    char text[128];
    char *p = put_text(text, name);
    p = put_hex64(p, a);
    p = put_hex64(p, b);
    for (int i = 0; i < count; i++)
        p = put_hex64(p, results[i]);
    *p = 0;
    put_line(text);
}

/* -------- 32-bit division -------- */

static void check_div32(void)
{
    for (unsigned i = 0; i < vec32_count; i++) {
        for (unsigned j = 0; j < vec32_count; j++) {
            uint32_t n = vec32[i], d = vec32[j];
            int32_t sn = (int32_t)n, sd = (int32_t)d;
            uint32_t r[2];
            if (d == 0) {
                r[0] = HELPER_UDIVSI3(n, 0);
                line32("udivsi3/0", n, d, r, 1);
                r[0] = HELPER_UMODSI3(n, 0);
                line32("umodsi3/0", n, d, r, 1);
                r[0] = (uint32_t)HELPER_DIVSI3(sn, 0);
                line32("divsi3/0", n, d, r, 1);
                r[0] = (uint32_t)HELPER_MODSI3(sn, 0);
                line32("modsi3/0", n, d, r, 1);
                continue;
            }
            r[0] = HELPER_UDIVSI3(n, d), r[1] = n / d;
            line32("udivsi3", n, d, r, 2);
            r[0] = HELPER_UMODSI3(n, d), r[1] = n % d;
            line32("umodsi3", n, d, r, 2);
            if (sn == INT32_MIN && sd == -1)
                continue;  /* overflows: C defines no result */
            r[0] = (uint32_t)HELPER_DIVSI3(sn, sd), r[1] = (uint32_t)(sn / sd);
            line32("divsi3", n, d, r, 2);
            r[0] = (uint32_t)HELPER_MODSI3(sn, sd), r[1] = (uint32_t)(sn % sd);
            line32("modsi3", n, d, r, 2);
        }
    }
}

/* The narrow types divide after promotion to int: the operands' low bits,
 * sign- or zero-extended, through the same 32-bit division. */
static void check_div_narrow(void)
{
    for (unsigned i = 0; i < vec32_count; i++) {
        for (unsigned j = 0; j < vec32_count; j++) {
            uint32_t a = vec32[i], b = vec32[j];
            uint32_t r[2];
            signed char sc = (signed char)a, sdc = (signed char)b;
            unsigned char uc = (unsigned char)a, udc = (unsigned char)b;
            short ss = (short)a, sds = (short)b;
            unsigned short us = (unsigned short)a, uds = (unsigned short)b;
            if (sdc != 0) {
                r[0] = (uint32_t)(sc / sdc), r[1] = (uint32_t)(sc % sdc);
                line32("schar", (uint32_t)sc, (uint32_t)sdc, r, 2);
            }
            if (udc != 0) {
                r[0] = (uint32_t)(uc / udc), r[1] = (uint32_t)(uc % udc);
                line32("uchar", uc, udc, r, 2);
            }
            if (sds != 0) {
                r[0] = (uint32_t)(ss / sds), r[1] = (uint32_t)(ss % sds);
                line32("short", (uint32_t)ss, (uint32_t)sds, r, 2);
            }
            if (uds != 0) {
                r[0] = (uint32_t)(us / uds), r[1] = (uint32_t)(us % uds);
                line32("ushort", us, uds, r, 2);
            }
        }
    }
}

/* -------- 64-bit multiply and division -------- */

static void check_muldiv64(void)
{
    for (unsigned i = 0; i < vec64_count; i++) {
        for (unsigned j = 0; j < vec64_count; j++) {
            uint64_t n = vec64[i], d = vec64[j];
            int64_t sn = (int64_t)n, sd = (int64_t)d;
            uint64_t r[2];
            r[0] = (uint64_t)HELPER_MULDI3(sn, sd), r[1] = n * d;
            line64("muldi3", n, d, r, 2);
            if (d == 0) {
                r[0] = HELPER_UDIVDI3(n, 0);
                line64("udivdi3/0", n, d, r, 1);
                r[0] = HELPER_UMODDI3(n, 0);
                line64("umoddi3/0", n, d, r, 1);
                r[0] = (uint64_t)HELPER_DIVDI3(sn, 0);
                line64("divdi3/0", n, d, r, 1);
                r[0] = (uint64_t)HELPER_MODDI3(sn, 0);
                line64("moddi3/0", n, d, r, 1);
                continue;
            }
            r[0] = HELPER_UDIVDI3(n, d), r[1] = n / d;
            line64("udivdi3", n, d, r, 2);
            r[0] = HELPER_UMODDI3(n, d), r[1] = n % d;
            line64("umoddi3", n, d, r, 2);
            if (sn == INT64_MIN && sd == -1)
                continue;  /* overflows: C defines no result */
            r[0] = (uint64_t)HELPER_DIVDI3(sn, sd), r[1] = (uint64_t)(sn / sd);
            line64("divdi3", n, d, r, 2);
            r[0] = (uint64_t)HELPER_MODDI3(sn, sd), r[1] = (uint64_t)(sn % sd);
            line64("moddi3", n, d, r, 2);
        }
    }
}

/* -------- 64-bit shifts -------- */

static void check_shift64(void)
{
    for (unsigned i = 0; i < vec64_count; i++) {
        for (int j = 0; j < SHIFT_COUNTS; j++) {
            uint64_t u = vec64[i];
            int64_t s = (int64_t)u;
            int c = shift_counts[j];
            uint64_t r[2];
            r[0] = (uint64_t)HELPER_ASHLDI3(s, c), r[1] = u << c;
            line64("ashldi3", u, (uint64_t)c, r, 2);
            r[0] = HELPER_LSHRDI3(u, c), r[1] = u >> c;
            line64("lshrdi3", u, (uint64_t)c, r, 2);
            r[0] = (uint64_t)HELPER_ASHRDI3(s, c), r[1] = (uint64_t)(s >> c);
            line64("ashrdi3", u, (uint64_t)c, r, 2);
        }
    }
}

/* -------- memory functions -------- */

/* Two buffers with a guard zone around every operand: the digest of a
 * whole buffer catches a byte written outside the operand as well as a
 * wrong byte inside it. */
#define BUFFER 160
static unsigned char buffer_a[BUFFER], buffer_b[BUFFER];

#define LENGTHS 21
static const unsigned lengths[LENGTHS] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 19, 31, 32, 33, 47, 48, 63, 64};

static void fill(unsigned char *buffer, unsigned seed)
{
    for (unsigned i = 0; i < BUFFER; i++)
        buffer[i] = (unsigned char)(i * 37 + seed * 101 + 1);
}

/* FNV-1a over the whole buffer */
static uint32_t digest(const unsigned char *buffer)
{
    uint32_t hash = 2166136261u;
    for (unsigned i = 0; i < BUFFER; i++) {
        hash ^= buffer[i];
        hash *= 16777619u;
    }
    return hash;
}

/* line NAME v...: small numbers as hex words */
static void line_words(const char *name, const uint32_t *words, int count)
{
    char text[96];
    char *p = put_text(text, name);
    for (int i = 0; i < count; i++)
        p = put_hex32(p, words[i]);
    *p = 0;
    put_line(text);
}

/* offset of a returned pointer from the buffer's start */
static uint32_t offset_in(const void *returned, const unsigned char *buffer)
{
    return (uint32_t)((const unsigned char *)returned - buffer);
}

static void check_memcpy(void)
{
    for (unsigned dst = 0; dst < 4; dst++)
        for (unsigned src = 0; src < 4; src++)
            for (int k = 0; k < LENGTHS; k++) {
                fill(buffer_a, 1);
                fill(buffer_b, 2);
                void *r = memcpy(buffer_b + 8 + dst, buffer_a + 8 + src, lengths[k]);
                uint32_t w[5] = {dst, src, lengths[k], offset_in(r, buffer_b), digest(buffer_b)};
                line_words("memcpy", w, 5);
            }
}

/* source and destination in one buffer, the destination below, on, or
 * above the source, overlapping or not */
#define DELTAS 15
static const int deltas[DELTAS] = {-33, -17, -9, -5, -4, -3, -1, 0, 1, 3, 4, 5, 9, 17, 33};

static void check_memmove(void)
{
    for (unsigned src = 0; src < 4; src++)
        for (int d = 0; d < DELTAS; d++)
            for (int k = 0; k < LENGTHS; k++) {
                fill(buffer_a, 3);
                unsigned from = 40 + src, to = (unsigned)((int)from + deltas[d]);
                void *r = memmove(buffer_a + to, buffer_a + from, lengths[k]);
                uint32_t w[5] = {from, to, lengths[k], offset_in(r, buffer_a), digest(buffer_a)};
                line_words("memmove", w, 5);
            }
}

/* the fill value is converted to unsigned char: 0x1ff stores 0xff */
#define VALUES 4
static const int values[VALUES] = {0, 0xa5, 0x1ff, -128};

static void check_memset(void)
{
    for (unsigned dst = 0; dst < 4; dst++)
        for (int v = 0; v < VALUES; v++)
            for (int k = 0; k < LENGTHS; k++) {
                fill(buffer_b, 4);
                void *r = memset(buffer_b + 8 + dst, values[v], lengths[k]);
                uint32_t w[5] = {dst, (uint32_t)values[v], lengths[k], offset_in(r, buffer_b), digest(buffer_b)};
                line_words("memset", w, 5);
            }
}

/* Equal operands, then one differing byte at the start, the middle or the
 * end, 0x80 against 0x7f either way round: bytes compare as unsigned. */
static int sign_of(int v)
{
    return v < 0 ? -1 : v > 0;
}

static void check_memcmp(void)
{
    for (unsigned a = 0; a < 4; a++)
        for (unsigned b = 0; b < 4; b++)
            for (int k = 0; k < LENGTHS; k += 2) {
                unsigned n = lengths[k];
                for (int where = -1; where < 3; where++) {
                    if (where >= 0 && n == 0)
                        break;
                    unsigned at = where == 0 ? 0 : where == 1 ? n / 2 : n - 1;
                    for (int up = 0; up < 2; up++) {
                        fill(buffer_a, 5);
                        for (unsigned i = 0; i < n; i++)
                            buffer_b[8 + b + i] = buffer_a[8 + a + i];
                        if (where >= 0) {
                            buffer_a[8 + a + at] = up ? 0x80 : 0x7f;
                            buffer_b[8 + b + at] = up ? 0x7f : 0x80;
                        }
                        int r = memcmp(buffer_a + 8 + a, buffer_b + 8 + b, n);
                        uint32_t w[5] = {a, b, n, where >= 0 ? at : 0xffffffffu, (uint32_t)sign_of(r)};
                        line_words("memcmp", w, 5);
                        if (where < 0)
                            break;
                    }
                }
            }
}

static void check_strlen(void)
{
    for (unsigned at = 0; at < 4; at++)
        for (unsigned n = 0; n <= 40; n++) {
            for (unsigned i = 0; i < BUFFER; i++)
                buffer_a[i] = (unsigned char)(i | 0x80);
            buffer_a[8 + at + n] = 0;
            uint32_t w[3] = {at, n, (uint32_t)strlen((const char *)buffer_a + 8 + at)};
            line_words("strlen", w, 3);
        }
}

static void run_checks(void)
{
    check_div32();
    check_div_narrow();
    check_muldiv64();
    check_shift64();
    check_memcpy();
    check_memmove();
    check_memset();
    check_memcmp();
    check_strlen();
    put_line("checks done");
}
