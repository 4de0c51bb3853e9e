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
#
# A check whose tools are not installed exits with 77, which ctest reports
# as skipped, after saying which tool is missing.
set -euo pipefail
mode=$1 tarnel=$2 elf2obj=$3 root=$4
example=$root/examples/hello
modules=(start.o uart.o digits.o main.o)
rom=40000000

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (apt-get install ${packages[$tool]})"
  done
}
declare -A packages=(
  [m68k-linux-gnu-as]=binutils-m68k-linux-gnu [m68k-linux-gnu-ld]=binutils-m68k-linux-gnu
  [m68k-linux-gnu-objcopy]=binutils-m68k-linux-gnu [m68k-linux-gnu-objdump]=binutils-m68k-linux-gnu
  [m68k-linux-gnu-gcc]=gcc-m68k-linux-gnu [srec_cat]=srecord [qemu-system-m68k]=qemu-system-misc
)
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

case $mode in
gnu-ld)
  need "${gnu_tools[@]}"
  build_fresh
  link "$work/fresh" "$work/tarnel.rom" -b
  link "$work/fresh" "$work/tarnel-bss.rom"
  # Each output section holds the modules in link order, every input
  # section aligned to 4: the packing tarnel-elf2obj gives each module.
  {
    echo "SECTIONS {"
    for section in "text 0x$rom:.text .text.* .rodata .rodata.*" "data:.data .data.*" "bss:.bss .bss.*"; do
      head=${section%%:*} patterns=${section#*:}
      printf '  .%s : SUBALIGN(4) {' "$head"
      for m in "${modules[@]}"; do
        for p in $patterns; do printf ' %s(%s)' "$work/elf/$m" "$p"; done
      done
      echo " }"
    done
    echo "  /DISCARD/ : { *(*) }"
    echo "}"
  } >"$work/link.ld"
  m68k-linux-gnu-ld -T "$work/link.ld" -o "$work/gnu.elf" "${modules[@]/#/$work/elf/}" 2>"$work/ld.log" ||
    { cat "$work/ld.log"; fail "GNU ld could not link the example"; }
  m68k-linux-gnu-objcopy -O binary "$work/gnu.elf" "$work/gnu.rom"
  cmp "$work/gnu.rom" "$work/tarnel.rom" || fail "tarnel's ROM image (-b) differs from GNU ld's"
  # Without -b the image goes on with the bss, zero filled, up to GNU ld's end of .bss.
  read -r size vma < <(m68k-linux-gnu-objdump -h "$work/gnu.elf" | awk '$2 == ".bss" { print $3, $4 }')
  end=$((0x$vma + 0x$size - 0x$rom))
  [ "$(stat -c %s "$work/tarnel-bss.rom")" -eq "$end" ] || fail "the ROM image with bss is not $end bytes long"
  cmp -n "$(stat -c %s "$work/gnu.rom")" "$work/gnu.rom" "$work/tarnel-bss.rom" || fail "ROM image with bss differs"
  tail -c +"$(($(stat -c %s "$work/gnu.rom") + 1))" "$work/tarnel-bss.rom" | tr -d '\0' | cmp -s - /dev/null ||
    fail "the bss part of the ROM image is not zero"
  echo "tarnel's ROM image equals GNU ld's ($(stat -c %s "$work/gnu.rom") bytes; $end with bss)"
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
*)
  fail "unknown check $mode"
  ;;
esac
