/* What shared.c defines; report.c reaches into it with constant offsets. */
struct settings {
    unsigned magic;
    unsigned count;
    const char *title;
    unsigned char flags[4];
};

extern struct settings settings;
extern unsigned squares[8];
extern unsigned tally[4];
