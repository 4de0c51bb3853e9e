#!/usr/bin/env bash
# End-to-end checks of the toolchain file, cmake/tarnel-coldfire.cmake. One
# check per run:
#
#   toolchain_e2e.sh settings TARNEL TARNEL_ELF ELF2OBJ ROOT
#       examples/hello built with -DCMAKE_C_FLAGS=-O2 and
#       -DTARNEL_ROM_ADDRESS=0x40000000 still compiles with -mcpu=5208 and
#       gives the ROM image of the committed objects at 0x40000000; a ROM
#       address that is not one to eight hex digits, a flag naming another
#       model, a model that is not four hex digits, an output option or -f
#       in TARNEL_LINK_OPTIONS and a library that is neither a target nor a
#       file each stop configure with a message.
#   toolchain_e2e.sh firmware TARNEL TARNEL_ELF ELF2OBJ ROOT
#       tests/e2e/firmware (struct copies, zeroed arrays, 64-bit division
#       and shifts, a library target, main.c beside main.s, a/util.c beside
#       b/util.c) built at -O0, -Os and -O2 for the 5208, and at -Os for the
#       5206: each boots on QEMU and prints expected-output.txt; the map
#       lists every module and the members pulled from the library and the
#       runtime. At -O2, TARNEL_LINK_OPTIONS=-b leaves bss out of the image.
#   toolchain_e2e.sh flash TARNEL TARNEL_ELF ELF2OBJ ROOT
#       tests/e2e/flash built with TARNEL_RAM_ADDRESS=0x80000000,
#       TARNEL_ROM_SIZE=64K and TARNEL_RAM_SIZE=16K: its data runs in RAM,
#       the map ends its summary with both regions' usage, and the board,
#       its RAM filled with 0xA5 bytes first, prints the firmware's expected
#       text; a RAM too small stops the build with the overflow, and a RAM
#       address or size tarnel would not take, or a RAM size without the
#       RAM's start, stops configure.
#   toolchain_e2e.sh runtime-off TARNEL TARNEL_ELF ELF2OBJ ROOT
#       with TARNEL_RUNTIME=OFF the firmware's link misses the helpers, by
#       name, and links and runs with the runtime named as a library file
#       instead; a float addition misses __addsf3, which the runtime lacks.
#
# A check whose tools are not installed exits with 77 (skipped), after saying why.
set -euo pipefail
mode=$1 tarnel=$2 tarnel_elf=$3 elf2obj=$4 root=$5
example=$root/examples/hello
firmware=$root/tests/e2e/firmware
flash=$root/tests/e2e/flash

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need m68k-linux-gnu-gcc m68k-linux-gnu-as cmake

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir bin
ln -s "$tarnel" bin/tarnel && ln -s "$tarnel_elf" bin/tarnel-elf && ln -s "$elf2obj" bin/tarnel-elf2obj

# configure SRC BUILD [cmake options...]: configures with the toolchain file
# and the programs under test; the output goes to BUILD.log
configure() {
  local src=$1 build=$2
  shift 2
  cmake -S "$src" -B "$build" --toolchain "$root/cmake/tarnel-coldfire.cmake" -DTARNEL_BIN_DIR="$work/bin" "$@" \
    >"$build.log" 2>&1
}

# build SRC BUILD [cmake options...]: configures and builds, or fails the check
build() {
  local src=$1 build=$2
  shift 2
  configure "$src" "$build" "$@" && cmake --build "$build" >>"$build.log" 2>&1 ||
    { cat "$build.log"; fail "$(basename "$build") did not build"; }
}

# refused WHAT MESSAGE SRC [cmake options...]: configure must fail and say MESSAGE
refused() {
  local what=$1 message=$2 src=$3
  shift 3
  ! configure "$src" "$work/refused" "$@" || fail "configure accepted $what"
  # CMake wraps a message's lines: compared with the lines joined
  tr -s ' \n' '  ' <"$work/refused.log" | grep -qF -- "$message" ||
    { cat "$work/refused.log"; fail "no clear message for $what"; }
  echo "$what: configure stops with: $message"
  rm -rf "$work/refused"
}

# Boots a ROM image; prints what the board sent through UART0.
boot() {
  timeout 60 qemu-system-m68k -M mcf5208evb -nographic -semihosting -kernel "$1" </dev/null 2>"$1.qemu" |
    tr -d '\r' || true
}

# booted ROM EXPECTED WHAT: the board must print EXPECTED
booted() {
  boot "$1" >"$1.uart"
  cmp -s "$1.uart" "$2" || { cat "$1.qemu"; diff "$2" "$1.uart" || true; fail "the board printed something else ($3)"; }
}

case $mode in
flash)
  need qemu-system-m68k
  flags=(-DTARNEL_ROM_ADDRESS=0x40000000 -DTARNEL_ROM_SIZE=64K)
  cflags="-DCMAKE_C_FLAGS=-O2 -ffreestanding -fno-pic -fno-common -fno-merge-constants -fno-toplevel-reorder"
  build "$flash" "$work/flash" "${flags[@]}" -DTARNEL_RAM_ADDRESS=0x80000000 -DTARNEL_RAM_SIZE=16K "$cflags"
  grep -qE '^ +main\.c +[0-9.]+ data \$80000' flash/flash.map || { cat flash/flash.map; fail "data does not run in RAM"; }
  grep -qE '^ROM +\$40000000 +[0-9]+ +65536 ' flash/flash.map && grep -qE '^RAM +\$80000000 +[0-9]+ +16384 ' flash/flash.map ||
    { cat flash/flash.map; fail "the map shows no usage of the ROM and the RAM"; }
  # the board's RAM holds 0xA5 bytes before the start-up copies and clears
  head -c 16384 /dev/zero | tr '\0' '\245' >fill.bin
  timeout 60 qemu-system-m68k -M mcf5208evb -nographic -semihosting \
    -device loader,file=fill.bin,addr=0x80000000,force-raw=on -kernel flash/flash.rom </dev/null 2>flash.qemu |
    tr -d '\r' >flash.uart || true
  cmp -s flash.uart "$flash/expected-output.txt" ||
    { cat flash.qemu; diff "$flash/expected-output.txt" flash.uart || true; fail "the board printed something else"; }
  echo "TARNEL_RAM_ADDRESS=0x80000000, TARNEL_ROM_SIZE=64K, TARNEL_RAM_SIZE=16K: data in RAM, both regions' usage" \
       "in the map, and the board printed the expected text"
  configure "$flash" "$work/small" "${flags[@]}" -DTARNEL_RAM_ADDRESS=0x80000000 -DTARNEL_RAM_SIZE=64 "$cflags" ||
    { cat small.log; fail "configure refused TARNEL_RAM_SIZE=64"; }
  ! cmake --build small >>small.log 2>&1 || { cat small.log; fail "a RAM of 64 bytes took the firmware"; }
  grep -q "error: RAM region of 64 bytes overflowed by" small.log || { cat small.log; fail "no overflow message"; }
  echo "TARNEL_RAM_SIZE=64: the build stops with tarnel's overflow message"
  for address in 0x 8000000G 123456789; do
    refused "TARNEL_RAM_ADDRESS='$address'" \
      "give the RAM start as one to eight hexadecimal digits, with or without 0x" "$flash" "-DTARNEL_RAM_ADDRESS=$address"
  done
  for size in 1.5K 16G 0x; do
    refused "TARNEL_ROM_SIZE='$size'" "TARNEL_ROM_SIZE is '$size': give a size in bytes" "$flash" "-DTARNEL_ROM_SIZE=$size"
  done
  refused "TARNEL_RAM_SIZE without TARNEL_RAM_ADDRESS" "TARNEL_RAM_SIZE is set but TARNEL_RAM_ADDRESS is not" \
    "$flash" -DTARNEL_RAM_SIZE=16K
  ;;
settings)
  "$tarnel" -r40000000 "$example"/obj/{start,uart,digits,main}.o -o committed.rom >/dev/null
  build "$example" "$work/hello" -DCMAKE_C_FLAGS=-O2 -DTARNEL_ROM_ADDRESS=0x40000000 -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
  cmp hello/hello.rom committed.rom || fail "with -DCMAKE_C_FLAGS=-O2 and 0x40000000 the ROM image is not the committed objects'"
  commands=$(grep -c '"command"' hello/compile_commands.json)
  [ "$(grep '"command"' hello/compile_commands.json | grep -c -- '-mcpu=5208')" -eq "$commands" ] ||
    { cat hello/compile_commands.json; fail "a compile command lacks -mcpu=5208"; }
  echo "-DCMAKE_C_FLAGS=-O2 -DTARNEL_ROM_ADDRESS=0x40000000: all $commands compile commands hold -mcpu=5208;" \
       "the ROM image is the committed objects' at 0x40000000"
  for address in 0x 4000000G 123456789 0x-1 ''; do
    refused "TARNEL_ROM_ADDRESS='$address'" \
      "give the ROM start as one to eight hexadecimal digits, with or without 0x" "$example" "-DTARNEL_ROM_ADDRESS=$address"
  done
  refused "-DCMAKE_C_FLAGS=-mcpu=5206" "CMAKE_C_FLAGS holds -mcpu=5206, but TARNEL_CPU is 5208" "$example" \
    -DCMAKE_C_FLAGS=-mcpu=5206
  refused "TARNEL_CPU=5206e" "TARNEL_CPU is '5206e': give the ColdFire model as four hex digits" "$example" \
    -DTARNEL_CPU=5206e
  for option in -r0 -f; do
    refused "TARNEL_LINK_OPTIONS=$option" "TARNEL_LINK_OPTIONS holds '$option'" "$example" "-DTARNEL_LINK_OPTIONS=$option"
  done
  refused "FIRMWARE_LIBRARIES=missing.lib" "missing.lib is neither a tarnel_add_library target made before this call nor a library file" \
    "$firmware" -DFIRMWARE_LIBRARIES=missing.lib
  ;;
firmware)
  need qemu-system-m68k m68k-linux-gnu-objcopy
  for build in O0:5208 Os:5208 O2:5208 Os:5206; do
    level=${build%:*} cpu=${build#*:}
    out=$work/fw-$level-$cpu
    options=()
    [ "$level" != O2 ] || options=(-DTARNEL_LINK_OPTIONS=-b)
    build "$firmware" "$out" "-DCMAKE_C_FLAGS=-$level" -DTARNEL_CPU=$cpu -DTARNEL_ROM_ADDRESS=0x40000000 "${options[@]}"
    booted "$out/firmware.rom" "$firmware/expected-output.txt" "-$level, $cpu"
    for module in main.c.o main.s.o a-util.c.o b-util.c.o records.c.o wide.c.o events.c.o start.s.o uart.s.o digits.s.o; do
      grep -qE "\(.*/firmware\.modules/([^ ]*-)?$module\)" "$out/firmware.map" ||
        { cat "$out/firmware.map"; fail "the -$level map lists no module $module"; }
    done
    # the weak default stays in the image, but only events.c defines the handler
    grep -qE '^ +handler\.c +[0-9.]+ code ' "$out/firmware.map" ||
      { cat "$out/firmware.map"; fail "the -$level image holds no code of handler.c"; }
    [ "$(grep -cE '^ +event_handler [0-9a-f]+\(' "$out/firmware.map")" = 1 ] &&
      grep -qE '^ +event_handler [0-9a-f]+\([0-9a-f]+\), code, in module: events\.c ' "$out/firmware.map" ||
      { cat "$out/firmware.map"; fail "the -$level map does not define event_handler once, in events.c"; }
    # the members pulled, as the map's last section names them
    sed -n 's/^ .*(\([0-9]*\)) to satisfy \([^ ]*\) .*/\2/p' "$out/firmware.map" | LC_ALL=C sort >"$out/pulled.txt"
    for name in format_u64 memcpy memset __udivdi3 __umoddi3 __divdi3 __moddi3 __muldi3; do
      grep -qx "$name" "$out/pulled.txt" || { cat "$out/pulled.txt"; fail "-$level, $cpu: nothing pulled for $name"; }
    done
    echo "-$level, $cpu: the board printed the expected text; pulled: $(tr '\n' ' ' <"$out/pulled.txt")"
  done
  # -b: the image ends with the data, as objcopy writes the ELF's loaded sections
  out=$work/fw-O2-5208
  m68k-linux-gnu-objcopy -O binary "$out/firmware.elf" "$out/loaded.bin"
  cmp "$out/loaded.bin" "$out/firmware.rom" || fail "with TARNEL_LINK_OPTIONS=-b the ROM image is not the ELF's loaded sections"
  echo "TARNEL_LINK_OPTIONS=-b: the ROM image ($(stat -c %s "$out/firmware.rom") bytes) leaves bss out"
  ;;
runtime-off)
  need qemu-system-m68k
  configure "$firmware" "$work/off" -DCMAKE_C_FLAGS=-O2 -DTARNEL_RUNTIME=OFF || { cat off.log; fail "configure failed"; }
  ! cmake --build off >>off.log 2>&1 || fail "the firmware linked without the runtime"
  for name in memcpy memset __udivdi3 __umoddi3; do
    grep -qF "error: reference $name not found" off.log || { cat off.log; fail "without the runtime $name is not reported missing"; }
  done
  echo "TARNEL_RUNTIME=OFF: the link reports $(grep -c 'error: reference .* not found' off.log) missing references, memcpy and __udivdi3 among them"
  build "$firmware" "$work/own" -DCMAKE_C_FLAGS=-O2 -DTARNEL_RUNTIME=OFF "-DFIRMWARE_LIBRARIES=$root/runtime/tarnel-runtime.lib"
  booted own/firmware.rom "$firmware/expected-output.txt" "the runtime named as a library file"
  echo "TARNEL_RUNTIME=OFF with the runtime given to tarnel_link_libraries as a file: the board printed the expected text"
  mkdir float
  cp "$example"/{start,uart,digits}.s float/
  cat >float/main.c <<'C'
float scale(float a, float b) { return a + b; }
int main(void) { return 0; }
C
  cat >float/CMakeLists.txt <<'C'
cmake_minimum_required(VERSION 3.20)
project(float C ASM)
set(CMAKE_C_FLAGS "${CMAKE_C_FLAGS} -O2 -ffreestanding -fno-pic -fno-common")
tarnel_add_executable(float start.s uart.s digits.s main.c)
C
  configure float "$work/float-build" || { cat float-build.log; fail "configure failed"; }
  ! cmake --build float-build >>float-build.log 2>&1 || fail "a float addition linked"
  grep -qF "error: reference __addsf3 not found" float-build.log || { cat float-build.log; fail "__addsf3 is not reported missing"; }
  echo "a float addition: the link stops with: reference __addsf3 not found"
  ;;
*)
  fail "unknown check $mode"
  ;;
esac
