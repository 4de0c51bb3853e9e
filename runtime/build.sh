#!/usr/bin/env bash
# Rebuilds the ColdFire runtime library from its sources in this folder:
# each NAME.s is assembled for the 5206 (the lowest ColdFire the library
# serves: no divide instruction), converted with tarnel-elf2obj, and all of
# them packed with tarnel -g, one member per source, in the order of their
# file names, so the bytes depend on the sources alone.
#
#   build.sh [OUT]
#
# OUT defaults to tarnel-runtime.lib beside this script, the copy that is
# committed and installed. ELF2OBJ and TARNEL name the programs (default:
# the clone's build/, built when missing); CROSS the prefix of the GNU
# ColdFire tools (default m68k-linux-gnu-).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
out=${1:-$here/tarnel-runtime.lib}
cross=${CROSS:-m68k-linux-gnu-}
elf2obj=${ELF2OBJ:-$root/build/tools/elf2obj/tarnel-elf2obj}
tarnel=${TARNEL:-$root/build/tarnel}

command -v "${cross}as" >/dev/null || { echo "build.sh: ${cross}as is not installed (binutils-m68k-linux-gnu)" >&2; exit 1; }
if [ ! -x "$elf2obj" ] || [ ! -x "$tarnel" ]; then
  cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
  cmake --build "$root/build" -j2 --target tarnel tarnel-elf2obj >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
members=()
for src in $(cd "$here" && LC_ALL=C ls -- *.s); do
  name=${src%.s}
  "${cross}as" -mcpu=5206 -o "$work/$name.elf" "$here/$src"
  "$elf2obj" "$work/$name.elf" -o "$work/$name.o" --cpu 5206
  members+=("$work/$name.o")
done
"$tarnel" -g "${members[@]}" -o "$out" >"$work/tarnel.log" || { cat "$work/tarnel.log" >&2; exit 1; }
