#!/usr/bin/env bash
# The benchmark: builds tarnel in Release (build-bench/), generates the
# workloads once (into $TARNEL_BENCH_DIR, default /tmp/tarnel-bench), then
# times, for each size, `cat` of the inputs into one file, tarnel in the
# default mode, with -r0, with -s0 and with -m (map to a file) and, when
# m68k-linux-gnu-ld is installed, that linker on the same content as ELF
# objects. Each row is the median of $RUNS runs (default 5) after one untimed
# run that warms the page cache; every output is removed before each run and
# must have the same checksum in every run.
#
#   bench/run.sh [SIZE...]        SIZE: small medium large symbols (default: all)
#
# Environment: RUNS, TIMEOUT (seconds per run, default 30), SEED (default 1),
# TARNEL_BENCH_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. bench/common.sh
runs=${RUNS:-5}
timeout=${TIMEOUT:-30}
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(small medium large symbols)

buildBench tarnel tarnel-benchgen tarnel-benchtime
tarnel=$build/tarnel

gnuld=""
if command -v m68k-linux-gnu-ld >/dev/null 2>&1; then gnuld=$(command -v m68k-linux-gnu-ld); fi

printMachine
echo "runs: median of $runs after one warm-up run; wall-clock and CPU (user + system) times in ms; peak RSS in MiB"
# The floor of any run on this machine: starting a process that does nothing.
echo "process start (true): $("$timer" --runs "$runs" -- true | cut -d' ' -f1) ms"

# row NAME STDOUT OUTPUT [CHECK...] -- COMMAND...: times one command and
# prints its row; sets $median.
row() {
    local name=$1 stdout=$2 output=$3
    shift 3
    local checks=()
    while [ "$1" != "--" ]; do checks+=(--check "$1"); shift; done
    shift
    local result med min max rss cpu status sums
    result=$("$timer" --runs "$runs" --timeout "$timeout" --remove "$output" --remove "$stdout" \
        --stdout "$stdout" --check "$output" "${checks[@]}" -- "$@")
    read -r med min max rss cpu status sums <<<"$result"
    median=$med
    local ratio=-
    [ -n "${catMedian:-}" ] && ratio=$(awk -v a="$med" -v b="$catMedian" 'BEGIN { printf "%.2f", a / b }')
    printf '  %-10s %10.2f %8s %10.2f %10.1f   %-8s %s\n' "$name" "$med" "$ratio" "$cpu" \
        "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" "$status" "${sums%%,*}"
}

for size in "${sizes[@]}"; do
    generate "$size" "$gnuld"
    dir=$work/$size
    cd "$dir"
    inputs=(in/m*.o)
    bytes=$(cat "${inputs[@]}" | wc -c)
    echo
    echo "$(cat summary)"
    awk -v b="$bytes" 'BEGIN { printf "  input %.1f MiB; memory target 1.5 x input + 32 MiB = %.1f MiB\n", b / 1048576, 1.5 * b / 1048576 + 32 }'
    printf '  %-10s %10s %8s %10s %10s   %-8s %s\n' row median "x cat" cpu "peak RSS" status checksum
    catMedian=""
    row cat out/cat.bin out/cat.bin -- cat "${inputs[@]}"
    catMedian=$median
    row default out/default.txt out/a.out out/default.txt -- "$tarnel" "${inputs[@]}" -o out/a.out
    row -r0 out/rom.txt out/rom.bin out/rom.txt -- "$tarnel" -r0 "${inputs[@]}" -o out/rom.bin
    row -s0 out/srec.txt out/prog.s19 out/srec.txt -- "$tarnel" -s0 "${inputs[@]}" -o out/prog.s19
    row -m out/map.txt out/map.out out/map.txt -- "$tarnel" -m "${inputs[@]}" -o out/map.out
    if [ -n "$gnuld" ]; then
        row "GNU ld" out/ld.txt out/ld.elf -- "$gnuld" -o out/ld.elf -e 0 elf/m*.o
    fi
    rm -f out/*
    cd "$root"
done
