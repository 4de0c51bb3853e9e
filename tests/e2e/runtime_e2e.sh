#!/usr/bin/env bash
# End-to-end checks of the ColdFire runtime library (runtime/). One check
# per run:
#
#   runtime_e2e.sh current TARNEL ELF2OBJ TARNEL_DUMP ROOT
#       runtime/build.sh rebuilds the library from its sources; the bytes
#       must equal the committed runtime/tarnel-runtime.lib.
#   runtime_e2e.sh probe   TARNEL ELF2OBJ TARNEL_DUMP ROOT
#       runtime/probe.sh compiles every C integer operator for -mcpu=5208
#       and 5206 at -O0, -Os and -O2; without the library tarnel reports
#       exactly the probe's names as not found, with it every probe object
#       links; the library exports those names and memmove, memcmp and
#       strlen, and nothing else.
#   runtime_e2e.sh qemu-CPU TARNEL ELF2OBJ TARNEL_DUMP ROOT TARNEL_ELF VECTORS
#       VECTORS (tarnel_runtime_vectors) writes the operands and the host's
#       results; tests/runtime/board, built with the toolchain file at -Os
#       for -mcpu=CPU (5208 or 5206), runs the same checks on QEMU through
#       every function of the runtime, each called by name and through the
#       operators; the board must print the host's lines.
#
# A check whose tools are not installed exits with 77 (skipped), after saying why.
set -euo pipefail
mode=$1 tarnel=$2 elf2obj=$3 dump=$4 root=$5 tarnel_elf=${6:-} vectors=${7:-}
library=$root/runtime/tarnel-runtime.lib

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

case $mode in
current)
  need m68k-linux-gnu-as
  ELF2OBJ=$elf2obj TARNEL=$tarnel "$root/runtime/build.sh" "$work/rebuilt.lib" || fail "runtime/build.sh failed"
  cmp "$work/rebuilt.lib" "$library" ||
    fail "runtime/tarnel-runtime.lib is not the library its sources make: run runtime/build.sh and commit the result"
  echo "the committed library is the one its sources make ($(stat -c %s "$library") bytes)"
  ;;
probe)
  need m68k-linux-gnu-gcc m68k-linux-gnu-as m68k-linux-gnu-nm
  "$root/runtime/probe.sh" "$work/probe" >"$work/probe.txt" || fail "runtime/probe.sh failed"
  [ -s "$work/probe.txt" ] || fail "the probe found no helper at all"
  # the probe's functions hand a buffer to use(), defined here
  echo 'void use(char *p) { (void)p; }' >"$work/use.c"
  m68k-linux-gnu-gcc -mcpu=5206 -c -o "$work/use.elf" "$work/use.c"
  "$elf2obj" "$work/use.elf" -o "$work/use.o" --cpu 5206 || fail "tarnel-elf2obj refused use.o"
  : >"$work/missing.txt"
  for elf in "$work"/probe/probe-*.o; do
    name=$(basename "$elf" .o)
    "$elf2obj" "$elf" -o "$work/$name.tarnel" --cpu 5208 || fail "tarnel-elf2obj refused $name"
    ! "$tarnel" -r0 "$work/$name.tarnel" "$work/use.o" -o "$work/$name.rom" >"$work/$name.bare.log" ||
      fail "$name linked without the runtime"
    sed -n 's/^error: reference \(.*\) not found$/\1/p' "$work/$name.bare.log" >>"$work/missing.txt"
    "$tarnel" -r0 "$work/$name.tarnel" "$work/use.o" "$library" -o "$work/$name.rom" >"$work/$name.log" ||
      { grep error "$work/$name.log"; fail "$name does not link with the runtime library"; }
  done
  LC_ALL=C sort -u "$work/missing.txt" | diff "$work/probe.txt" - ||
    fail "tarnel misses other names than the probe's undefined symbols"
  "$dump" "$library" | sed -n 's/^ *export "\([^"]*\)" module [0-9]*$/\1/p' | LC_ALL=C sort >"$work/exports.txt"
  printf '%s\n' memmove memcmp strlen | cat "$work/probe.txt" - | LC_ALL=C sort -u >"$work/wanted.txt"
  diff "$work/wanted.txt" "$work/exports.txt" ||
    fail "the library's exports are not the probe's names plus memmove, memcmp and strlen"
  echo "the library defines all $(wc -l <"$work/probe.txt") names the probe's objects call: $(tr '\n' ' ' <"$work/probe.txt")"
  ;;
qemu-5208 | qemu-5206)
  need m68k-linux-gnu-gcc m68k-linux-gnu-as qemu-system-m68k cmake
  cpu=${mode#qemu-}
  "$vectors" "$work/vectors.c" "$work/expected.txt" || fail "tarnel_runtime_vectors failed"
  echo "Halting." >>"$work/expected.txt"  # start.s says it after main returns
  mkdir "$work/bin"
  ln -s "$tarnel" "$work/bin/tarnel" && ln -s "$tarnel_elf" "$work/bin/tarnel-elf" && ln -s "$elf2obj" "$work/bin/tarnel-elf2obj"
  cmake -S "$root/tests/runtime/board" -B "$work/board" --toolchain "$root/cmake/tarnel-coldfire.cmake" \
    -DTARNEL_BIN_DIR="$work/bin" -DTARNEL_CPU="$cpu" -DCMAKE_C_FLAGS=-Os -DRUNTIME_VECTORS="$work/vectors.c" \
    >"$work/build.log" 2>&1 && cmake --build "$work/board" >>"$work/build.log" 2>&1 ||
    { cat "$work/build.log"; fail "the checks' firmware did not build"; }
  # every member of the runtime is in the image
  members=$("$dump" "$library" | grep -c '^ *export ')
  pulled=$(grep -c 'tarnel-runtime\.lib([0-9]*) to satisfy' "$work/board/checks.map" || true)
  [ "$pulled" -eq "$members" ] || { cat "$work/board/checks.map"; fail "$pulled of the runtime's $members members linked"; }
  timeout 240 qemu-system-m68k -M mcf5208evb -nographic -semihosting -kernel "$work/board/checks.rom" \
    </dev/null 2>"$work/qemu.log" | tr -d '\r' >"$work/board.txt" || true
  if ! cmp -s "$work/expected.txt" "$work/board.txt"; then
    cat "$work/qemu.log"
    diff "$work/expected.txt" "$work/board.txt" | head -40 || true
    fail "the board's results differ from the host's (-mcpu=$cpu; first differences above, as expected < board)"
  fi
  echo "-mcpu=$cpu: the board printed the host's $(wc -l <"$work/expected.txt") lines, through all $members functions of the runtime"
  ;;
*)
  fail "unknown check $mode"
  ;;
esac
