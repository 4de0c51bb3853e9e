#!/usr/bin/env bash
# End-to-end checks of tarnel-elf on the bundled example examples/hello,
# linked at 0x40000000. One check per run:
#
#   elf_e2e.sh tools TARNEL TARNEL_ELF ROOT
#       objcopy of the ELF gives tarnel's -b and -r images; nm lists every
#       xdef at its map address; objdump -d shows <main>:; the report equals tarnel's.
#   elf_e2e.sh qemu  TARNEL TARNEL_ELF ROOT
#       QEMU's mcf5208evb boots the ELF with -kernel; the UART text compared.
#   elf_e2e.sh gdb   TARNEL TARNEL_ELF ROOT
#       gdb-multiarch against QEMU's gdbstub breaks at main by name, reads
#       lines[0] by name and main.c's static counter (at its bss address in
#       the map): 0 at main, 2 at the first uart_puthex call.
#   elf_e2e.sh toolchain TARNEL TARNEL_ELF ROOT ELF2OBJ
#       the example built with --toolchain cmake/tarnel-coldfire.cmake from
#       the top of the clone; its ROM image
#       equals the one tarnel links from the committed objects. An -O2
#       program reading hex_digits[10] builds, through an alias. Configure
#       without the cross compiler stops with a message naming it.
#
# A check whose tools are not installed exits with 77 (skipped), after saying why.
set -euo pipefail
mode=$1 tarnel=$2 tarnel_elf=$3 root=$4
example=$root/examples/hello
objects=("$example"/obj/{start,uart,digits,main}.o)
rom=40000000

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

work=$(mktemp -d)
qemu_pid=
# QEMU may have exited already: a failed kill must not fail the check
trap '[ -z "$qemu_pid" ] || kill "$qemu_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
"$tarnel_elf" -m "-r$rom" "${objects[@]}" -o hello.elf >elf.log || { cat elf.log; fail "tarnel-elf could not link"; }

case $mode in
tools)
  need m68k-linux-gnu-objcopy m68k-linux-gnu-nm m68k-linux-gnu-objdump
  # under the same output name tarnel's report must be tarnel-elf's, byte for byte
  "$tarnel" -m "-r$rom" "${objects[@]}" -o hello.elf >rom.log
  mv hello.elf hello.rom
  "$tarnel" -b "-r$rom" "${objects[@]}" -o hello-b.rom >/dev/null
  "$tarnel_elf" -m "-r$rom" "${objects[@]}" -o hello.elf >elf.log
  cmp elf.log rom.log || fail "tarnel-elf's report differs from tarnel's"
  m68k-linux-gnu-objcopy -O binary hello.elf b.bin
  cmp b.bin hello-b.rom || fail "objcopy -O binary of the ELF is not the -b image"
  m68k-linux-gnu-objcopy --set-section-flags .bss=alloc,load,contents -O binary hello.elf r.bin
  cmp r.bin hello.rom || fail "objcopy with a loaded .bss is not the -r image"
  # the map's xdef rows: "name offset(address), section, in module: ..."
  sed -n 's/^ *\([A-Za-z_][A-Za-z0-9_]*\) [0-9a-f]*(\([0-9a-f]*\)), .*in module.*/\2 \1/p' elf.log | sort -u >map.txt
  [ -s map.txt ] || fail "the map lists no xdef"
  m68k-linux-gnu-nm hello.elf | awk '{ print $1, $3 }' | sort -u >nm.txt
  comm -23 map.txt nm.txt >missing.txt
  [ ! -s missing.txt ] || { cat missing.txt; fail "nm does not list these xdefs at their map address"; }
  main=$(awk '$2 == "main" { print $1 }' map.txt)
  # the whole listing first: grep -q would stop reading early and, under
  # pipefail, fail the check through objdump's broken pipe
  m68k-linux-gnu-objdump -d hello.elf >objdump.txt
  grep -q "^$main <main>:" objdump.txt || fail "objdump -d shows no <main>: at $main"
  echo "objcopy gives both images; nm lists $(wc -l <map.txt) xdefs at their map addresses; <main> at $main"
  ;;
qemu)
  need qemu-system-m68k
  timeout 20 qemu-system-m68k -M mcf5208evb -nographic -semihosting -kernel hello.elf </dev/null 2>qemu.log |
    tr -d '\r' >uart.txt || true
  cmp -s uart.txt "$example/expected-output.txt" || { diff "$example/expected-output.txt" uart.txt || true; fail "the board printed something else"; }
  echo "QEMU boots the ELF and prints the expected text"
  ;;
gdb)
  need qemu-system-m68k gdb-multiarch m68k-linux-gnu-nm
  # printed is static, so not in the symbol table: it is main.c's only bss
  # object, read at the address the map gives main.c's bss
  printed=$(sed -n 's/^ *main\.c .* bss *\$\([0-9a-f]*\)-.*/0x\1/p' elf.log)
  [ -n "$printed" ] || fail "the map gives main.c no bss"
  # the gdbstub on a socket of this run's own, not a TCP port another run may hold
  socket=$work/gdb.sock
  qemu-system-m68k -M mcf5208evb -nographic -semihosting -kernel hello.elf -S \
    -chardev "socket,path=$socket,server=on,wait=off,id=gdbstub" -gdb chardev:gdbstub </dev/null >/dev/null 2>&1 &
  qemu_pid=$!
  for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.1; done
  [ -S "$socket" ] || fail "QEMU opened no gdbstub socket"
  read_printed="printf \"printed=%u\\n\", *(unsigned *)$printed"
  timeout 60 gdb-multiarch -batch -nx hello.elf -ex "target remote $socket" -ex 'show architecture' \
    -ex 'break main' -ex continue -ex 'printf "pc=%#x\n", $pc' -ex "$read_printed" \
    -ex 'printf "lines[0]=%s", *(char **)&lines' \
    -ex 'break uart_puthex' -ex continue -ex "$read_printed" >gdb.txt 2>&1 || true
  grep -q "isa" gdb.txt || { cat gdb.txt; fail "gdb picked no ColdFire architecture"; }
  main=$(m68k-linux-gnu-nm hello.elf | awk '$3 == "main" { print $1 }')
  # at main nothing is printed yet; at the first uart_puthex call both lines are
  grep -E '^(pc|printed|lines\[0\])=' gdb.txt >got.txt || true
  printf 'pc=0x%x\nprinted=0\nlines[0]=%s\nprinted=2\n' "0x$main" "$(head -1 "$example/expected-output.txt")" >want.txt
  cmp -s got.txt want.txt || { cat gdb.txt; diff want.txt got.txt || true; fail "gdb did not stop at main or read other values"; }
  echo "gdb-multiarch broke at main ($(sed -n 1p got.txt)), read lines[0] by name and printed (at $printed): 0, then 2"
  ;;
toolchain)
  need m68k-linux-gnu-gcc m68k-linux-gnu-as cmake
  mkdir bin
  ln -s "$tarnel" bin/tarnel && ln -s "$tarnel_elf" bin/tarnel-elf && ln -s "$5" bin/tarnel-elf2obj
  "$tarnel" "-r$rom" "${objects[@]}" -o committed.rom >/dev/null
  # the toolchain named as the README does, relative to the top of the clone
  (cd "$root" && cmake -S examples/hello -B "$work/build" --toolchain cmake/tarnel-coldfire.cmake \
    -DTARNEL_BIN_DIR="$work/bin") >cmake.log 2>&1 && cmake --build build >>cmake.log 2>&1 ||
    { cat cmake.log; fail "the example did not build"; }
  for f in hello.rom hello.s19 hello.elf hello.map; do [ -s "build/$f" ] || fail "the build made no $f"; done
  cmp build/hello.rom committed.rom || fail "the toolchain's ROM image differs from the committed objects' one"
  echo "the toolchain build's ROM image equals the committed objects' ($(stat -c %s committed.rom) bytes)"
  # optimised C reading another module's table at an offset links only when
  # the objects are converted together, the reference becoming an alias
  mkdir offset
  cp "$example"/{start,uart,digits}.s offset/
  cat >offset/main.c <<'C'
extern const char hex_digits[];
void uart_puts(const char *text);
int main(void) { static char a[2]; a[0] = hex_digits[10]; uart_puts(a); return 0; }
C
  cat >offset/CMakeLists.txt <<'C'
cmake_minimum_required(VERSION 3.20)
project(offset C ASM)
set(CMAKE_C_FLAGS "${CMAKE_C_FLAGS} -O2 -ffreestanding -fno-pic -fno-common")
tarnel_add_executable(offset start.s uart.s digits.s main.c)
C
  cmake -S offset -B offset-build --toolchain "$root/cmake/tarnel-coldfire.cmake" -DTARNEL_BIN_DIR="$work/bin" \
    >offset.log 2>&1 && cmake --build offset-build >>offset.log 2>&1 ||
    { cat offset.log; fail "the -O2 program with an offset into hex_digits did not build"; }
  grep -qF 'hex_digits+0xa' offset-build/offset.map || { cat offset-build/offset.map; fail "the map lists no hex_digits+0xa"; }
  echo "the -O2 program reading hex_digits[10] links through the alias hex_digits+0xa"
  # a missing cross compiler is named at configure time
  ! cmake -S "$example" -B nogcc --toolchain "$root/cmake/tarnel-coldfire.cmake" -DTARNEL_CROSS_PREFIX=none- \
    >nogcc.log 2>&1 || fail "configure succeeded without the cross compiler"
  grep -q 'none-gcc not found on PATH: install gcc-m68k-linux-gnu' nogcc.log || { cat nogcc.log; fail "no clear message for a missing cross compiler"; }
  echo "without the cross compiler configure stops with: $(grep -m1 -o 'none-gcc not found on PATH' nogcc.log)"
  ;;
*) fail "unknown check $mode" ;;
esac
