#!/usr/bin/env bash
# End-to-end checks of the debugging information, side by side with GNU ld:
# tests/e2e/debug (main.c, calc.c) with the example's start.s, uart.s and
# digits.s, compiled and assembled with -g at -O0 and at -O2, converted with
# tarnel-elf2obj -d and linked with tarnel-elf -r40000000; the same ELF
# objects linked by GNU ld with tests/e2e/debug/debug.ld into the same image.
# At each level, one check per run:
#
#   debug_e2e.sh static    TARNEL TARNEL_ELF ELF2OBJ ROOT
#       tests/e2e/debug/static.gdb (info line, list, info address, ptype,
#       info scope, info functions, info variables, ...) against both ELFs:
#       the transcripts are equal line for line.
#   debug_e2e.sh gdb       TARNEL TARNEL_ELF ELF2OBJ ROOT
#       tests/e2e/debug/run.gdb on QEMU's gdbstub, on a socket of its own
#       (break FILE:LINE, continue, step, next, finish, info locals, bt,
#       print of statics) against both ELFs: the transcripts are equal line
#       for line and reach the end.
#   debug_e2e.sh addr2line TARNEL TARNEL_ELF ELF2OBJ ROOT
#       addr2line gives the same function, file and line for every code
#       symbol's address in both; objdump -dl shows each C function's lines.
#   debug_e2e.sh unchanged TARNEL TARNEL_ELF ELF2OBJ ROOT
#       tarnel's outputs and reports of the modules converted with their
#       debugging information equal those of the modules converted with
#       --strip-debug, in every output mode.
#
# The executable's file name is taken out of the transcripts. A check whose
# tools are not installed exits with 77 (skipped), after saying why.
set -euo pipefail
mode=$1 tarnel=$2 tarnel_elf=$3 elf2obj=$4 root=$5
debug=$root/tests/e2e/debug
example=$root/examples/hello
modules=(start.o uart.o digits.o main.o calc.o)
rom=40000000

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
build_tools=(m68k-linux-gnu-as m68k-linux-gnu-gcc m68k-linux-gnu-ld m68k-linux-gnu-objcopy)

work=$(mktemp -d)
qemu_pid=
# QEMU may have exited already: a failed kill must not fail the check
trap '[ -z "$qemu_pid" ] || kill "$qemu_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"

# The lines the gdb scripts name: @CALL@ in main.c, @SCALE@ in calc.c.
call=$(grep -n 'gdb: call' "$debug/main.c" | cut -d: -f1)
scale=$(grep -n 'gdb: scale' "$debug/calc.c" | cut -d: -f1)
# QEMU's gdbstub listens on a socket of this run's own, so that runs beside
# it (another check, another clone) never meet it.
socket=$work/gdbstub
script() { sed "s/@CALL@/$call/g; s/@SCALE@/$scale/g; s|@SOCKET@|$socket|g" "$debug/$1.gdb" >"$1.gdb"; }

# Builds the program at a level into LEVEL/: the ELF objects in elf/, the
# modules in tarnel/ (and, with --strip-debug, in stripped/), tarnel.elf
# from tarnel-elf and gnu.elf from GNU ld; their images must be equal.
build() {
  local level=$1
  mkdir -p "$level/elf"
  (
    cd "$level"
    for src in start uart digits; do
      m68k-linux-gnu-as -mcpu=5208 -g -o "elf/$src.o" "$example/$src.s" || fail "$src.s did not assemble"
    done
    for src in main calc; do
      m68k-linux-gnu-gcc -mcpu=5208 "-$level" -g -ffreestanding -fno-pic -fno-common -fno-merge-constants \
        -c -o "elf/$src.o" "$debug/$src.c" || fail "$src.c did not compile at -$level"
    done
    "$elf2obj" -d tarnel --cpu 5208 "${modules[@]/#/elf/}" || fail "tarnel-elf2obj -d refused the program"
    "$elf2obj" -d stripped --cpu 5208 --strip-debug "${modules[@]/#/elf/}" ||
      fail "tarnel-elf2obj -d --strip-debug refused the program"
    (cd tarnel && "$tarnel_elf" -m "-r$rom" "${modules[@]}" -o ../tarnel.elf >../tarnel.log) ||
      { cat tarnel.log; fail "tarnel-elf could not link the program at -$level"; }
    # main.c reads limits[1]: an offset into calc.c's data, through an alias
    grep -q ' limits+0x4 ' tarnel.log || fail "the link map lists no alias limits+0x4 at -$level"
    (cd elf && m68k-linux-gnu-ld -T "$debug/debug.ld" -o ../gnu.elf "${modules[@]}") 2>ld.log ||
      { cat ld.log; fail "GNU ld could not link the program at -$level"; }
    m68k-linux-gnu-objcopy -O binary tarnel.elf tarnel.bin
    m68k-linux-gnu-objcopy -O binary gnu.elf gnu.bin
    cmp tarnel.bin gnu.bin || fail "at -$level tarnel's image differs from GNU ld's"
  )
}

# Runs a gdb script against an ELF: transcript LEVEL ELF SCRIPT OUT. The
# ELF's own name is taken out of what gdb prints.
transcript() {
  local level=$1 elf=$2 gdbscript=$3 out=$4
  timeout 90 gdb-multiarch -batch -nx -x "$gdbscript" "$level/$elf" 2>&1 | sed "s|$level/$elf||g" >"$out" || true
}

# Fails unless the two transcripts are equal and each holds every pattern.
same() {
  local gnu=$1 ours=$2 pattern
  shift 2
  diff "$gnu" "$ours" || fail "gdb reads tarnel's ELF otherwise than GNU ld's ($ours)"
  for pattern in "$@"; do
    grep -qE -- "$pattern" "$ours" || { cat "$ours"; fail "the transcript $ours has no line matching $pattern"; }
  done
}

case $mode in
static)
  need "${build_tools[@]}" gdb-multiarch
  script static
  for level in O0 O2; do
    build "$level"
    for elf in gnu tarnel; do transcript "$level" "$elf.elf" static.gdb "$level-$elf.txt"; done
    same "$level-gnu.txt" "$level-tarnel.txt" \
      "^Line $call of \".*/main.c\" starts at address 0x[0-9a-f]+ <main\+[0-9]+>" \
      "^Symbol \"calls\" is static storage at address 0x" "^type = struct sample \{" \
      "^File .*/calc.c:$" "^[0-9]+:[[:space:]]int scale\(int\);$" "^$scale[[:space:]]+calls\+\+; /\* gdb: scale \*/$" \
      "^Non-debugging symbols:$" "^0x[0-9a-f]+  hex_digits$"
    echo "-$level: gdb reads both ELFs alike, $(wc -l <"$level-tarnel.txt") lines: $(grep -m1 '^Line' "$level-tarnel.txt")"
  done
  ;;
gdb)
  need "${build_tools[@]}" gdb-multiarch qemu-system-m68k
  script run
  for level in O0 O2; do
    build "$level"
    for elf in gnu tarnel; do
      rm -f "$socket"
      # without -semihosting the program's halt stops the core and QEMU
      # stays up until the session detached and it is ended here
      qemu-system-m68k -M mcf5208evb -nographic -kernel "$level/$elf.elf" -S \
        -chardev "socket,path=$socket,server=on,wait=off,id=gdbstub" -gdb chardev:gdbstub </dev/null \
        >"$level-$elf.uart" 2>&1 &
      qemu_pid=$!
      for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.1; done
      [ -S "$socket" ] || fail "QEMU opened no gdbstub socket"
      transcript "$level" "$elf.elf" run.gdb "$level-$elf-run.txt"
      kill "$qemu_pid" 2>/dev/null || true
      wait "$qemu_pid" 2>/dev/null || true
      qemu_pid=
    done
    same "$level-gnu-run.txt" "$level-tarnel-run.txt" \
      "^Breakpoint 1, main \(\) at .*/main.c:$call$" "^scale \(value=0\) at .*/calc.c:[0-9]+$" \
      "^#1  0x[0-9a-f]+ in main \(\) at .*/main.c:$call$" "^Breakpoint 2, scale \(value=20\) at .*/calc.c:[0-9]+$" \
      '^Breakpoint 3, average \(s=0x[0-9a-f]+ <samples>, n=4\) at .*/calc.c:' '^Value returned is \$[0-9]+ = 65$' \
      '^\$[0-9]+ = \{\{raw = 0, scaled = 0\}, \{raw = 20, scaled = 60\}, \{raw = 40, scaled = 100\}, \{raw = 60, scaled = 100\}\}$' \
      '^\[Inferior 1 \(process 1\) detached\]$'
    echo "-$level: the sessions on QEMU are equal, $(wc -l <"$level-tarnel-run.txt") lines: $(grep -m1 '^Breakpoint 2,' "$level-tarnel-run.txt")"
  done
  ;;
addr2line)
  need "${build_tools[@]}" m68k-linux-gnu-addr2line m68k-linux-gnu-nm m68k-linux-gnu-objdump
  for level in O0 O2; do
    build "$level"
    # every code symbol GNU ld's ELF has, the C functions among them
    mapfile -t addresses < <(m68k-linux-gnu-nm "$level/gnu.elf" | awk '$2 ~ /^[tT]$/ { print $1 }' | sort -u)
    [ "${#addresses[@]}" -gt 5 ] || fail "nm lists too few code symbols"
    for elf in gnu tarnel; do m68k-linux-gnu-addr2line -f -e "$level/$elf.elf" "${addresses[@]}" >"$level-$elf.a2l"; done
    diff "$level-gnu.a2l" "$level-tarnel.a2l" || fail "addr2line reads tarnel's ELF otherwise than GNU ld's at -$level"
    for fn in main scale average; do
      grep -A1 -x "$fn" "$level-tarnel.a2l" | grep -qE '/(main|calc)\.c:[0-9]+$' ||
        fail "addr2line gives $fn no source line at -$level"
    done
    m68k-linux-gnu-objdump -dl "$level/tarnel.elf" >"$level.objdump"
    for fn in main scale average; do
      sed -n "/<$fn>:\$/,/^\$/p" "$level.objdump" | grep -qE '/(main|calc)\.c:[0-9]+$' ||
        fail "objdump -dl shows no source line in $fn at -$level"
    done
    echo "-$level: addr2line gives the same line for ${#addresses[@]} code symbols; $(paste -sd' ' "$level-tarnel.a2l" | grep -oE 'scale [^ ]*')"
  done
  ;;
unchanged)
  need "${build_tools[@]}"
  for level in O0 O2; do
    build "$level"
    # every output mode, run in each folder with the same names
    while read -r -a options; do
      for dir in tarnel stripped; do
        (cd "$level/$dir" && "$tarnel" "${options[@]}" "${modules[@]}" -o out >out.log) ||
          { cat "$level/$dir/out.log"; fail "tarnel could not link with ${options[*]}"; }
      done
      cmp "$level/tarnel/out.log" "$level/stripped/out.log" || fail "the report with ${options[*]} differs at -$level"
      cmp "$level/tarnel/out" "$level/stripped/out" || fail "the output with ${options[*]} differs at -$level"
    done <<'RUNS'
-m
-m -ehello
-m -r40000000
-b -s40000000
-m -r0x40000000 --ram=0x80000000 --rom-size=64K --ram-size=16K
-g
RUNS
    echo "-$level: with and without the debugging information, tarnel writes and prints the same in 6 output modes"
  done
  ;;
*) fail "unknown check $mode" ;;
esac
