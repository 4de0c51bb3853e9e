/* Struct copies (memcpy) and zeroed local arrays (memset). */
#include "firmware.h"

struct record make_record(const char *name, uint32_t id, uint64_t total)
{
    struct record r = {{0}, id, total, {0}};
    for (unsigned i = 0; i < sizeof r.name - 1 && name[i]; i++)
        r.name[i] = name[i];
    for (unsigned i = 0; i < 5; i++)
        r.deltas[i] = (int16_t)(id * 100 - i * 250);
    return r;
}

void copy_records(struct record *to, const struct record *from, unsigned count)
{
    for (unsigned i = 0; i < count; i++)
        to[i] = from[i];
}

/* how many distinct values the samples hold (high half) and the largest
 * count of one value (low half); at most 255 samples */
uint32_t histogram_spread(const uint8_t *samples, unsigned count)
{
    uint8_t counts[256] = {0};
    uint32_t distinct = 0, most = 0;
    for (unsigned i = 0; i < count; i++)
        counts[samples[i]]++;
    for (unsigned v = 0; v < 256; v++) {
        if (counts[v])
            distinct++;
        if (counts[v] > most)
            most = counts[v];
    }
    return distinct << 16 | most;
}
