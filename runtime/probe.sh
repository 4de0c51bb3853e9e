#!/usr/bin/env bash
# Finds the helper functions that gcc calls for C's integer operators on
# ColdFire: compiles every operator on every integer type (with variable
# operands and with constants on either side), conversions between the
# types, a struct copy and a zeroed local array, for -mcpu=5208 and 5206 at
# -O0, -Os and -O2, and prints the undefined symbols of the objects, sorted,
# one per line. The runtime library must define each of them.
#
#   probe.sh [OUT_DIR]
#
# OUT_DIR, when given, keeps the C source and the objects
# (probe-CPU-LEVEL.o). CROSS is the prefix of the GNU ColdFire tools
# (default m68k-linux-gnu-).
set -euo pipefail
cross=${CROSS:-m68k-linux-gnu-}
command -v "${cross}gcc" >/dev/null || { echo "probe.sh: ${cross}gcc is not installed (gcc-m68k-linux-gnu)" >&2; exit 1; }
out=${1:-}
if [ -z "$out" ]; then
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
fi
mkdir -p "$out"

types=("char" "signed char" "unsigned char" "short" "unsigned short" "int" "unsigned" "long" "unsigned long"
       "long long" "unsigned long long")
binary=('+' '-' '*' '/' '%' '<<' '>>' '&' '|' '^' '<' '<=' '>' '>=' '==' '!=' '&&' '||')
unary=('-' '~' '!' '+')
constants=(1 2 3 7 10 16 31 32 63)

# one function per operation, numbered; shifts by a constant stay below the
# width of the promoted type (32, or 64 for long long)
{
  n=0
  for t in "${types[@]}"; do
    width=32
    case $t in *"long long"*) width=64 ;; esac
    for op in "${binary[@]}"; do
      echo "$t f$((n++))($t a, $t b) { return a $op b; }"
      for c in "${constants[@]}"; do
        case $op in '<<'|'>>') [ "$c" -lt "$width" ] || continue ;; esac
        echo "$t f$((n++))($t a) { return a $op ($t)$c; }"
        case $op in '<<'|'>>') ;; *) echo "$t f$((n++))($t b) { return ($t)$c $op b; }" ;; esac
      done
    done
    for op in "${unary[@]}"; do echo "$t f$((n++))($t a) { return $op a; }"; done
    echo "$t f$((n++))($t *p) { return ++*p + (*p)--; }"
    for to in "${types[@]}"; do echo "$to f$((n++))($t a) { return ($to)a; }"; done
  done
  echo "long long f$((n++))(int a, int b) { return (long long)a * b; }"
  echo "unsigned long long f$((n++))(unsigned a, unsigned b) { return (unsigned long long)a * b; }"
  echo "struct big { int x[32]; };"
  echo "void f$((n++))(struct big *d, const struct big *s) { *d = *s; }"
  echo "void use(char *); void f$((n++))(void) { char buf[100] = {0}; use(buf); }"
} >"$out/probe.c"

for cpu in 5208 5206; do
  for level in O0 Os O2; do
    "${cross}gcc" "-mcpu=$cpu" "-$level" -ffreestanding -fno-pic -fno-common -c -o "$out/probe-$cpu-$level.o" "$out/probe.c"
  done
done
"${cross}nm" -u "$out"/probe-*.o | awk 'NF == 2 && $1 == "U" { print $2 }' | grep -vx use | LC_ALL=C sort -u
