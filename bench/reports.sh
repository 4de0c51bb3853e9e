#!/usr/bin/env bash
# What the report files cost: one tarnel binary on the benchmark's workloads,
# linking without them, with --record, with --size-report and with both,
# alternating the four run by run (so that other load on the machine falls on
# all of them alike), and printing each one's median wall-clock and CPU time
# and its ratio to the link without them. One untimed round warms the page
# cache first. Every file a run writes is removed before it; every run must
# write the same output and standard output as the link without the reports,
# and the same report files as its own first run.
#
#   bench/reports.sh [BINARY]      (default: tarnel built in Release in build-bench/)
#
# Environment: RUNS (timed runs per mode, default 9), SIZES (default
# "symbols large"), TIMEOUT (seconds per run, default 30), SEED,
# TARNEL_BENCH_DIR.
set -euo pipefail
binary=${1:+$(realpath "$1")}
cd "$(dirname "$0")/.."
. bench/common.sh
runs=${RUNS:-9}
timeout=${TIMEOUT:-30}
read -r -a sizes <<<"${SIZES:-symbols large}"

if [ -n "$binary" ]; then
    buildBench tarnel-benchgen tarnel-benchtime
else
    buildBench tarnel tarnel-benchgen tarnel-benchtime
    binary=$build/tarnel
fi
printMachine
echo "runs: median of $runs interleaved runs per mode after one warm-up round; wall-clock and CPU ms, (ratio to the link without reports)"
echo "binary: $binary"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

names=(none record size-report both)
declare -A flags=([none]="" [record]="--record=cmp/r.json" [size-report]="--size-report=cmp/s.html"
    [both]="--record=cmp/r.json --size-report=cmp/s.html")
status=0
for size in "${sizes[@]}"; do
    generate "$size"
    dir=$work/$size
    inputs=("$dir"/in/m*.o)
    rm -rf "$dir/cmp"
    mkdir -p "$dir/cmp"
    declare -A wall=() cpu=() sums=()
    for ((run = -1; run < runs; run++)); do
        for name in "${names[@]}"; do
            read -r -a extra <<<"${flags[$name]}"
            checks=(--check cmp/a.out --check cmp/stdout)
            for f in "${extra[@]}"; do checks+=(--remove "${f#*=}" --check "${f#*=}"); done
            result=$(cd "$dir" && "$timer" --warmups 0 --runs 1 --timeout "$timeout" --remove cmp/a.out \
                --remove cmp/stdout --stdout cmp/stdout "${checks[@]}" -- "$binary" "${inputs[@]}" -o cmp/a.out "${extra[@]}")
            read -r med _ _ _ c st s <<<"$result"
            if [ "$st" != ok ]; then echo "$size $name: $st" >&2; status=1; fi
            # the output and standard output as without the reports; the reports as in the first run
            [ -n "${sums[none]:-}" ] || sums[none]=${s%%,*},$(cut -d, -f2 <<<"$s")
            if [ "${s%%,*},$(cut -d, -f2 <<<"$s")" != "${sums[none]}" ]; then
                echo "$size $name: the output or standard output differ from the link without reports" >&2
                status=1
            fi
            [ -n "${sums[$name]:-}" ] || sums[$name]=$s
            if [ "$s" != "${sums[$name]}" ]; then echo "$size $name: files differ from its first run" >&2; status=1; fi
            if [ "$run" -ge 0 ]; then
                wall[$name]+="$med "
                cpu[$name]+="$c "
            fi
        done
    done
    echo
    echo "$size:"
    for name in "${names[@]}"; do
        w=$(tr ' ' '\n' <<<"${wall[$name]}" | grep . | median)
        c=$(tr ' ' '\n' <<<"${cpu[$name]}" | grep . | median)
        [ "$name" != none ] || { w0=$w; c0=$c; }
        printf '  %-12s %9.2f (%4.2f) %9.1f (%4.2f)\n' "$name" "$w" "$(awk -v a="$w" -v b="$w0" 'BEGIN { print a / b }')" \
            "$c" "$(awk -v a="$c" -v b="$c0" 'BEGIN { print a / b }')"
    done
    unset wall cpu sums
    rm -rf "$dir/cmp"
done
echo "load average after the runs: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
