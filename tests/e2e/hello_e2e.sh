#!/usr/bin/env bash
# End-to-end checks of tarnel on real ColdFire code, the bundled example
# examples/hello. One check per run:
#
#   hello_e2e.sh gnu-ld  TARNEL ELF2OBJ ROOT
#       sources built with the GNU tools and converted; tarnel's ROM image
#       compared byte for byte with the one GNU ld links from the same ELF
#       objects.
#   hello_e2e.sh srecord TARNEL ELF2OBJ ROOT
#       the S-record file of the committed objects read back with srec_cat
#       and compared with the ROM image.
#   hello_e2e.sh qemu    TARNEL ELF2OBJ ROOT
#       the ROM images of the committed objects and of freshly built ones
#       booted on QEMU's mcf5208evb board; the UART text compared.
#   hello_e2e.sh whole-program TARNEL ELF2OBJ ROOT
#       the example with two more C modules (tests/e2e/whole), one reaching
#       into the other and into the example's modules at constant offsets,
#       built at -O0, -Os and -O2 and converted together with -d; at each
#       level tarnel's ROM image compared with GNU ld's and booted on QEMU.
#   hello_e2e.sh library TARNEL ELF2OBJ ROOT
#       uart.o and digits.o packed with -g into a library that start.o and
#       main.o are linked with; the ROM image compared with GNU ld's from an
#       ar archive of the same members, and booted on QEMU.
#
# A check whose tools are not installed exits with 77, which ctest reports
# as skipped, after saying which tool is missing.
set -euo pipefail
mode=$1 tarnel=$2 elf2obj=$3 root=$4
example=$root/examples/hello
modules=(start.o uart.o digits.o main.o)
rom=40000000

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
gnu_tools=(m68k-linux-gnu-as m68k-linux-gnu-gcc m68k-linux-gnu-ld m68k-linux-gnu-objcopy m68k-linux-gnu-objdump)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Links the modules in DIR into a ROM image at $rom: link DIR OUT [options]
link() {
  local dir=$1 out=$2
  shift 2
  "$tarnel" "$@" "-r$rom" "${modules[@]/#/$dir/}" -o "$out" >"$out.log" || {
    cat "$out.log"
    fail "tarnel could not link $out"
  }
}

# Builds the example from its sources: tarnel modules in $work/fresh, ELF in $work/elf.
build_fresh() {
  ELF2OBJ=$elf2obj "$example/make-objects.sh" "$work/fresh" "$work/elf" || fail "the example did not build"
}

# Boots a ROM image; prints what the board sent through UART0.
boot() {
  # -semihosting lets the program's halt sequence end the emulator; the
  # timeout catches a program that never gets there.
  timeout 20 qemu-system-m68k -M mcf5208evb -nographic -semihosting -kernel "$1" </dev/null 2>"$1.qemu" |
    tr -d '\r' || true
}

# Links the ELF objects in ELF with GNU ld and the tarnel modules in OBJS
# with tarnel, both at $rom, and compares the ROM images (files in OUT):
# same_as_gnu_ld ELF OBJS OUT. GNU ld is given gnu_inputs and its script
# places the sections of gnu_members in that order, when these are set, and
# the ELF objects of the modules otherwise.
same_as_gnu_ld() {
  local elf=$1 objs=$2 out=$3 section head patterns m p size vma end
  local -a members=("${modules[@]/#/$elf/}") inputs=("${modules[@]/#/$elf/}")
  [ -z "${gnu_members+x}" ] || members=("${gnu_members[@]}")
  [ -z "${gnu_inputs+x}" ] || inputs=("${gnu_inputs[@]}")
  link "$objs" "$out/tarnel.rom" -b
  link "$objs" "$out/tarnel-bss.rom"
  # Each output section holds the modules in link order, every input
  # section aligned to 4: the packing tarnel-elf2obj gives each module.
  {
    echo "SECTIONS {"
    for section in "text 0x$rom:.text .text.* .rodata .rodata.*" "data:.data .data.*" "bss:.bss .bss.*"; do
      head=${section%%:*} patterns=${section#*:}
      printf '  .%s : SUBALIGN(4) {' "$head"
      for m in "${members[@]}"; do
        for p in $patterns; do printf ' %s(%s)' "$m" "$p"; done
      done
      echo " }"
    done
    echo "  /DISCARD/ : { *(*) }"
    echo "}"
  } >"$out/link.ld"
  m68k-linux-gnu-ld -T "$out/link.ld" -o "$out/gnu.elf" "${inputs[@]}" 2>"$out/ld.log" ||
    { cat "$out/ld.log"; fail "GNU ld could not link the example"; }
  m68k-linux-gnu-objcopy -O binary "$out/gnu.elf" "$out/gnu.rom"
  cmp "$out/gnu.rom" "$out/tarnel.rom" || fail "tarnel's ROM image (-b) differs from GNU ld's"
  # Without -b the image goes on with the bss, zero filled, up to GNU ld's end of .bss.
  read -r size vma < <(m68k-linux-gnu-objdump -h "$out/gnu.elf" | awk '$2 == ".bss" { print $3, $4 }')
  end=$((0x$vma + 0x$size - 0x$rom))
  [ "$(stat -c %s "$out/tarnel-bss.rom")" -eq "$end" ] || fail "the ROM image with bss is not $end bytes long"
  cmp -n "$(stat -c %s "$out/gnu.rom")" "$out/gnu.rom" "$out/tarnel-bss.rom" || fail "ROM image with bss differs"
  tail -c +"$(($(stat -c %s "$out/gnu.rom") + 1))" "$out/tarnel-bss.rom" | tr -d '\0' | cmp -s - /dev/null ||
    fail "the bss part of the ROM image is not zero"
  echo "tarnel's ROM image equals GNU ld's ($(stat -c %s "$out/gnu.rom") bytes; $end with bss)"
}

case $mode in
gnu-ld)
  need "${gnu_tools[@]}"
  build_fresh
  same_as_gnu_ld "$work/elf" "$work/fresh" "$work"
  ;;
srecord)
  need srec_cat
  link "$example/obj" "$work/hello.rom"
  "$tarnel" "-s$rom" "${modules[@]/#/$example/obj/}" -o "$work/hello.s19" >"$work/s19.log" ||
    { cat "$work/s19.log"; fail "tarnel could not write the S-record file"; }
  srec_cat "$work/hello.s19" -offset -0x$rom -o "$work/readback.bin" -binary ||
    fail "srec_cat could not read tarnel's S-record file"
  cmp "$work/readback.bin" "$work/hello.rom" || fail "the S-records do not hold the ROM image"
  echo "srec_cat reads back the ROM image from the S-record file ($(stat -c %s "$work/hello.rom") bytes)"
  ;;
qemu)
  need qemu-system-m68k "${gnu_tools[@]}"
  build_fresh
  for dir in "$example/obj" "$work/fresh"; do
    link "$dir" "$work/boot.rom"
    boot "$work/boot.rom" >"$work/uart.txt"
    if ! cmp -s "$work/uart.txt" "$example/expected-output.txt"; then
      cat "$work/boot.rom.qemu"
      diff "$example/expected-output.txt" "$work/uart.txt" || true
      fail "the board printed something else (modules from $dir)"
    fi
  done
  echo "the board printed the expected text, from the committed and from freshly built modules"
  ;;
whole-program)
  need qemu-system-m68k "${gnu_tools[@]}"
  whole=$root/tests/e2e/whole
  modules=(start.o uart.o digits.o main.o report.o shared.o)
  for level in O0 Os O2; do
    out=$work/$level
    mkdir -p "$out/elf"
    cflags=(-mcpu=5208 "-$level" -ffreestanding -fno-pic -fno-common -fno-merge-constants -I"$whole")
    for src in "$example"/start.s "$example"/uart.s "$example"/digits.s; do
      m68k-linux-gnu-as -mcpu=5208 -o "$out/elf/$(basename "${src%.s}").o" "$src" || fail "$src did not assemble"
    done
    # the example's main becomes hello_main, which report.c's main calls
    m68k-linux-gnu-gcc "${cflags[@]}" -Dmain=hello_main -c -o "$out/elf/main.o" "$example/main.c" ||
      fail "main.c did not compile at -$level"
    for src in report shared; do
      m68k-linux-gnu-gcc "${cflags[@]}" -c -o "$out/elf/$src.o" "$whole/$src.c" || fail "$src.c did not compile at -$level"
    done
    "$elf2obj" -d "$out/tarnel" --cpu 5208 "${modules[@]/#/$out/elf/}" || fail "tarnel-elf2obj -d refused the -$level objects"
    echo -n "-$level: "
    same_as_gnu_ld "$out/elf" "$out/tarnel" "$out"
    # the references with addends went through aliases, which the map lists
    "$tarnel" -m "-r$rom" "${modules[@]/#/$out/tarnel/}" -o "$out/map.rom" >"$out/map.txt" ||
      { cat "$out/map.txt"; fail "tarnel -m could not link the -$level modules"; }
    for alias in 'squares+0x20' 'settings+0x4' 'lines+0x4' 'hex_digits+0xa' 'tally+0xc'; do
      grep -qF "$alias" "$out/map.txt" || { cat "$out/map.txt"; fail "the -$level link map does not list $alias"; }
    done
    link "$out/tarnel" "$out/boot.rom"
    boot "$out/boot.rom" >"$out/uart.txt"
    if ! cmp -s "$out/uart.txt" "$whole/expected-output.txt"; then
      cat "$out/boot.rom.qemu"
      diff "$whole/expected-output.txt" "$out/uart.txt" || true
      fail "the board printed something else (-$level)"
    fi
    echo "-$level: the board printed the expected text"
  done
  ;;
library)
  need qemu-system-m68k m68k-linux-gnu-ar "${gnu_tools[@]}"
  build_fresh
  # start.o holds the entry and comes first; the members are pulled in
  # archive order, uart.o for start.o's references, digits.o for uart.o's
  members=(uart.o digits.o)
  (cd "$work/elf" && m68k-linux-gnu-ar rcs support.a "${members[@]}") || fail "ar could not pack the members"
  "$tarnel" -g "${members[@]/#/$work/fresh/}" -o "$work/fresh/support.lib" >"$work/lib.log" ||
    { cat "$work/lib.log"; fail "tarnel -g could not pack the members"; }
  modules=(start.o main.o support.lib)
  gnu_inputs=("$work/elf/start.o" "$work/elf/main.o" "$work/elf/support.a")
  gnu_members=("$work/elf/start.o" "$work/elf/main.o" "${members[@]/#/*support.a:}")
  same_as_gnu_ld "$work/elf" "$work/fresh" "$work"
  link "$work/fresh" "$work/boot.rom"
  boot "$work/boot.rom" >"$work/uart.txt"
  if ! cmp -s "$work/uart.txt" "$example/expected-output.txt"; then
    cat "$work/boot.rom.qemu"
    diff "$example/expected-output.txt" "$work/uart.txt" || true
    fail "the board printed something else (modules from the library)"
  fi
  echo "the board printed the expected text, from the modules pulled from the library"
  ;;
*)
  fail "unknown check $mode"
  ;;
esac
