/* Data of one module that another (report.c) reaches with constant
 * offsets: fields of a struct, elements of an array and its end, and an
 * element in bss. */
#include "shared.h"

struct settings settings = {0xC0DECF00, 5, "Offsets into another module:\n", {1, 2, 3, 4}};
unsigned squares[8] = {0, 1, 4, 9, 16, 25, 36, 49};
unsigned tally[4];
