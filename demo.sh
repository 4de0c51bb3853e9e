#!/usr/bin/env bash
# Builds tarnel and links the bundled example, examples/hello (ColdFire
# assembly and C for QEMU's mcf5208evb board, converted from the GNU tools'
# ELF objects), into an executable, a ROM image at 0x40000000 and an
# S-record file. Prints the build information and the link map, and boots
# the ROM image under qemu-system-m68k when it is installed.
set -euo pipefail
cd "$(dirname "$0")"

echo "== Building tarnel"
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target tarnel >/dev/null
out=build/demo
mkdir -p "$out"
objects=(examples/hello/obj/start.o examples/hello/obj/uart.o examples/hello/obj/digits.o examples/hello/obj/main.o)

# Runs tarnel quietly; shows what it printed only when it fails.
quiet_link() {
  local log
  log=$(build/tarnel "$@") || { echo "$log"; exit 1; }
}

echo
echo "== Linking ${objects[*]##*/} into a ROM image at 0x40000000, with the link map"
echo "\$ build/tarnel -m -r40000000 ${objects[*]} -o $out/hello.rom"
build/tarnel -m -r40000000 "${objects[@]}" -o "$out/hello.rom"

echo "== The same modules as a relocatable executable and as S-records"
quiet_link "${objects[@]}" -o "$out/hello"
quiet_link -s40000000 "${objects[@]}" -o "$out/hello.s19"
for f in hello hello.rom hello.s19; do
  printf '  %-22s %6d bytes\n' "$out/$f" "$(stat -c %s "$out/$f")"
done
echo "  first records of $out/hello.s19:"
head -n 3 "$out/hello.s19" | sed 's/^/    /'

echo
if command -v qemu-system-m68k >/dev/null; then
  echo "== Booting $out/hello.rom on qemu-system-m68k -M mcf5208evb; UART0 says:"
  # -semihosting lets the program's halt sequence end the emulator; the
  # timeout stops a program that would not get there.
  timeout 20 qemu-system-m68k -M mcf5208evb -nographic -semihosting -kernel "$out/hello.rom" </dev/null |
    tr -d '\r' | sed 's/^/  | /'
else
  echo "== qemu-system-m68k is not installed (Debian: apt-get install qemu-system-misc); not booting."
  echo "   The board would print:"
  sed 's/^/  | /' examples/hello/expected-output.txt
fi
