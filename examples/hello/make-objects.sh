#!/usr/bin/env bash
# Remakes the example's object modules from its sources: the GNU ColdFire
# tools assemble and compile them into ELF objects, tarnel-elf2obj converts
# those into tarnel object modules.
#
#   make-objects.sh [OUT_DIR [ELF_DIR]]
#
# OUT_DIR (default: obj/ beside this script) receives start.o, uart.o,
# digits.o and main.o in tarnel's format; ELF_DIR, when given, keeps the ELF
# objects. ELF2OBJ names the converter (default: build/tools/elf2obj/ at the
# top of the repository, built when missing; outside a clone, as installed
# under share/doc/tarnel/examples, tarnel-elf2obj on PATH).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:-$here/obj}
elf=${2:-}
in_clone=false
[ -f "$root/CMakeLists.txt" ] && in_clone=true
if $in_clone; then
  elf2obj=${ELF2OBJ:-$root/build/tools/elf2obj/tarnel-elf2obj}
else
  elf2obj=${ELF2OBJ:-tarnel-elf2obj}
fi
cross=m68k-linux-gnu-

for tool in ${cross}as ${cross}gcc; do
  command -v "$tool" >/dev/null || { echo "make-objects.sh: $tool is not installed" >&2; exit 1; }
done
if $in_clone && [ ! -x "$elf2obj" ]; then
  cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
  cmake --build "$root/build" -j2 --target tarnel-elf2obj >/dev/null
fi

if [ -z "$elf" ]; then
  elf=$(mktemp -d)
  trap 'rm -rf "$elf"' EXIT
fi
mkdir -p "$out" "$elf"

# -fno-merge-constants keeps string literals in plain .rodata: GNU ld would
# otherwise merge and reorder them, and the end-to-end test compares its
# image with tarnel's byte for byte.
for src in start.s uart.s digits.s main.c; do
  obj=${src%.*}.o
  case $src in
    *.s) "${cross}as" -mcpu=5208 -o "$elf/$obj" "$here/$src" ;;
    *.c) "${cross}gcc" -mcpu=5208 -O2 -ffreestanding -fno-pic -fno-common -fno-merge-constants \
           -c -o "$elf/$obj" "$here/$src" ;;
  esac
  "$elf2obj" "$elf/$obj" -o "$out/$obj" --cpu 5208
done
