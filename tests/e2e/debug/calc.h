/* What calc.c gives main.c: a struct that gdb's ptype shows, globals (main.c
 * reads limits[1], an offset into another module that tarnel-elf2obj -d
 * reaches through an alias) and two functions that gdb steps into and
 * finishes. */
struct sample {
    int raw;
    int scaled;
};

extern int scale_factor;
extern int limits[2];
int scale(int value);
int average(const struct sample *s, int n);
