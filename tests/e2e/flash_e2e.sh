#!/usr/bin/env bash
# End-to-end checks of firmware that runs from flash with its data in RAM:
# tests/e2e/flash (start-up in start.s, C in main.c and sensor.c) with the
# example's uart.s and digits.s, compiled and assembled with the GNU ColdFire
# tools, converted together with tarnel-elf2obj -d and linked with
#   tarnel -r0x40000000 --ram=0x80000000 --ram-size=16K --rom-size=64K
# (ROM where QEMU's mcf5208evb loads a kernel, RAM in its on-chip SRAM).
# One check per run:
#
#   flash_e2e.sh gnu-ld TARNEL TARNEL_ELF ELF2OBJ ROOT
#       tarnel's ROM image equals byte for byte GNU ld's image of the same
#       ELF objects linked with tests/e2e/flash/flash.ld (data > ram AT> rom);
#       tarnel's usage table gives the image's size and the RAM that GNU ld's
#       .data and .bss take.
#   flash_e2e.sh qemu   TARNEL TARNEL_ELF ELF2OBJ ROOT
#       the ROM image, and tarnel-elf's ELF of the same link, booted on the
#       board with its RAM filled with 0xA5 bytes; the UART text (the
#       globals' values after main changes them, and their addresses, all in
#       RAM) compared with tests/e2e/flash/expected-output.txt.
#   flash_e2e.sh elf    TARNEL TARNEL_ELF ELF2OBJ ROOT
#       objcopy -O binary of tarnel-elf's ELF is the ROM image; its program
#       headers run .data at 0x80000000 from a load address in the ROM, both
#       as GNU ld's do, and .bss at GNU ld's address.
#   flash_e2e.sh docs   TARNEL TARNEL_ELF ELF2OBJ ROOT
#       the start-up that docs/coldfire.md shows is tests/e2e/flash/start.s.
#
# A check whose tools are not installed exits with 77 (skipped), after saying why.
set -euo pipefail
mode=$1 tarnel=$2 tarnel_elf=$3 elf2obj=$4 root=$5
flash=$root/tests/e2e/flash
example=$root/examples/hello
modules=(start.o uart.o digits.o main.o sensor.o)
rom=0x40000000 ram=0x80000000 rom_size=65536 ram_size=16384
memory=("-r$rom" "--ram=$ram" "--ram-size=16K" "--rom-size=64K")

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
build_tools=(m68k-linux-gnu-as m68k-linux-gnu-gcc)
gnu_tools=("${build_tools[@]}" m68k-linux-gnu-ld m68k-linux-gnu-objcopy m68k-linux-gnu-readelf)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The firmware's ELF objects in elf/, converted together into tarnel/.
# -fno-merge-constants keeps string literals in plain .rodata, where GNU ld
# neither merges nor reorders them; -fno-toplevel-reorder keeps each
# module's variables in source order, so that the addresses in the expected
# output do not hang on the compiler's choice of order.
build() {
  mkdir elf
  local cflags=(-mcpu=5208 -O2 -ffreestanding -fno-pic -fno-common -fno-merge-constants -fno-toplevel-reorder)
  for src in "$flash/start.s" "$example/uart.s" "$example/digits.s"; do
    m68k-linux-gnu-as -mcpu=5208 -o "elf/$(basename "${src%.s}").o" "$src" || fail "$src did not assemble"
  done
  for src in main sensor; do
    m68k-linux-gnu-gcc "${cflags[@]}" -c -o "elf/$src.o" "$flash/$src.c" || fail "$src.c did not compile"
  done
  "$elf2obj" -d tarnel --cpu 5208 "${modules[@]/#/elf/}" || fail "tarnel-elf2obj -d refused the firmware"
}

# Links the converted firmware with LINKER (tarnel or tarnel-elf) into OUT,
# its report in OUT.log: link LINKER OUT
link() {
  "$1" "${memory[@]}" "${modules[@]/#/tarnel/}" -o "$2" >"$2.log" || { cat "$2.log"; fail "$1 could not link $2"; }
}

# GNU ld's link of the ELF objects with flash.ld: gnu.elf and its image gnu.rom.
gnu_link() {
  (cd elf && m68k-linux-gnu-ld -T "$flash/flash.ld" -o ../gnu.elf "${modules[@]}") 2>ld.log ||
    { cat ld.log; fail "GNU ld could not link the firmware"; }
  m68k-linux-gnu-objcopy -O binary gnu.elf gnu.rom
}

# Prints the address and size of the section NAME in the ELF FILE, in hex: section FILE NAME
section() {
  m68k-linux-gnu-readelf -SW "$1" | sed 's/^ *\[ *[0-9]*\] *//' | awk -v s="$2" '$1 == s { print $3, $5 }'
}

# Prints VirtAddr, PhysAddr and FileSiz of the program header whose segment
# holds the section NAME in the ELF FILE: segment FILE NAME
segment() {
  m68k-linux-gnu-readelf -lW "$1" | awk -v s="$2" '
    /^$/ { headers = 0 }
    headers && $1 !~ /^\[/ { header[n++] = $3 " " $4 " " $5 }
    /^ *Type / { headers = 1 }
    /Section to Segment mapping/ { mapping = 1 }
    mapping && $1 ~ /^[0-9]+$/ { for (i = 2; i <= NF; i++) if ($i == s) print header[$1 + 0] }'
}

# Boots FILE with the RAM filled with 0xA5 bytes, as a board's RAM holds
# whatever it held: data not copied or bss not cleared shows. Prints the UART text.
boot() {
  [ -f fill.bin ] || head -c "$ram_size" /dev/zero | tr '\0' '\245' >fill.bin
  # -semihosting lets the program's halt sequence end the emulator; the
  # timeout catches a program that never gets there
  timeout 20 qemu-system-m68k -M mcf5208evb -nographic -semihosting \
    -device loader,file=fill.bin,addr=$ram,force-raw=on -kernel "$1" </dev/null 2>"$1.qemu" | tr -d '\r' || true
}

case $mode in
gnu-ld)
  need "${gnu_tools[@]}"
  build
  link "$tarnel" firmware.rom
  gnu_link
  cmp gnu.rom firmware.rom || fail "tarnel's ROM image differs from GNU ld's"
  # the usage table: the image in the ROM, and in the RAM what GNU ld's
  # .data and .bss take from its start; hundredths of a percent rounded half up
  read -r data_address _ < <(section gnu.elf .data) || fail "GNU ld's ELF has no .data"
  read -r bss_address bss_size < <(section gnu.elf .bss) || fail "GNU ld's ELF has no .bss"
  ((0x$data_address == ram)) || fail "GNU ld runs .data at 0x$data_address"
  used_rom=$(stat -c %s gnu.rom) used_ram=$((0x$bss_address + 0x$bss_size - ram))
  row() { printf '%-6s $%08x %12u %12u %3u.%02u%%\n' "$1" "$2" "$3" "$4" $((($3 * 10000 + $4 / 2) / $4 / 100)) \
    $((($3 * 10000 + $4 / 2) / $4 % 100)); }
  { echo "Region     Start         Used         Size   Used"
    row ROM "$rom" "$used_rom" "$rom_size"
    row RAM "$ram" "$used_ram" "$ram_size"; } >want-usage.txt
  sed -n '/^Region /,/^$/p' firmware.rom.log | sed '/^$/d' >usage.txt
  cmp -s usage.txt want-usage.txt || { diff want-usage.txt usage.txt || true; fail "the usage table differs from GNU ld's layout"; }
  echo "tarnel's ROM image equals GNU ld's ($used_rom bytes); the usage table gives $used_ram bytes of RAM"
  ;;
qemu)
  need qemu-system-m68k "${build_tools[@]}"
  build
  link "$tarnel" firmware.rom
  link "$tarnel_elf" firmware.elf
  for image in firmware.rom firmware.elf; do
    boot "$image" >"$image.txt"
    if ! cmp -s "$image.txt" "$flash/expected-output.txt"; then
      cat "$image.qemu"
      diff "$flash/expected-output.txt" "$image.txt" || true
      fail "the board printed something else, booted from $image"
    fi
    # every variable the program shows lies in the RAM given with --ram
    outside=$(grep -o ' at 0x[0-9A-F]*' "$image.txt" | grep -v ' at 0x8000[0-3]' || true)
    [ -z "$outside" ] || fail "variables outside the RAM:$outside"
  done
  echo "the board printed the expected text, booted from the ROM image and from the ELF; every variable in RAM"
  ;;
elf)
  need "${gnu_tools[@]}"
  build
  link "$tarnel" firmware.rom
  link "$tarnel_elf" firmware.elf
  gnu_link
  m68k-linux-gnu-objcopy -O binary firmware.elf elf.bin
  cmp elf.bin firmware.rom || fail "objcopy -O binary of tarnel-elf's ELF is not the ROM image"
  read -r vma lma size < <(segment firmware.elf .data) ||
    { m68k-linux-gnu-readelf -lW firmware.elf; fail "no program header holds .data"; }
  ((vma == ram)) || fail ".data runs at $vma, not at $ram"
  end=$((rom + $(stat -c %s firmware.rom)))
  ((lma >= rom && lma + size <= end)) ||
    fail "$(printf '.data loads at %#x-%#x, outside the ROM image at %#x-%#x' "$lma" $((lma + size)) "$rom" "$end")"
  [ "$vma $lma $size" = "$(segment gnu.elf .data)" ] ||
    fail ".data's segment is $vma $lma $size; GNU ld's: $(segment gnu.elf .data)"
  [ "$(section firmware.elf .bss)" = "$(section gnu.elf .bss)" ] ||
    fail ".bss (address, size) is $(section firmware.elf .bss); GNU ld's $(section gnu.elf .bss)"
  echo "objcopy of tarnel-elf's ELF is the ROM image; .data runs at $vma and loads at $lma ($size bytes), as GNU ld's"
  ;;
docs)
  # the first code block after the heading "### Start-up"
  awk '/^### Start-up$/ { section = 1 } inside && /^```$/ { exit } inside { print }
       section && /^```asm$/ { inside = 1 }' "$root/docs/coldfire.md" >shown.s
  [ -s shown.s ] || fail "docs/coldfire.md shows no start-up under ### Start-up"
  cmp -s shown.s "$flash/start.s" ||
    { diff "$flash/start.s" shown.s || true; fail "the start-up in docs/coldfire.md is not tests/e2e/flash/start.s"; }
  echo "docs/coldfire.md shows tests/e2e/flash/start.s as it is ($(wc -l <shown.s) lines)"
  ;;
*) fail "unknown check $mode" ;;
esac
