#!/usr/bin/env bash
# The interleaved comparison: runs several tarnel binaries on the benchmark's
# workloads, alternating the binaries run by run (A B C A B C ...) so that
# other load on the machine falls on all of them alike, and prints, per
# workload and mode, the median wall-clock and CPU time of each binary and
# its ratio to the first. One untimed round warms the page cache first. Every
# binary must write the same output file and the same standard output as the
# first, in every run.
#
#   bench/compare.sh BINARY...
#
# Environment: RUNS (timed runs per binary, default 9), SIZES (default
# "small medium large symbols"), MODES (default "default -r0 -m"; also -s0),
# EXTRA (options added to every run, e.g. "--record=cmp/r.json": files named
# there are removed before each run; the first binary's files are checked
# against the others' as the output is), TIMEOUT (seconds per run, default
# 30), SEED, TARNEL_BENCH_DIR, and CHECK: "stdout" compares only standard
# output, for programs that write the same link in another form (tarnel-elf
# against tarnel -r0).
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: bench/compare.sh BINARY..." >&2; exit 2; }
bins=()
for b in "$@"; do bins+=("$(realpath "$b")"); done
cd "$(dirname "$0")/.."
. bench/common.sh
runs=${RUNS:-9}
check=${CHECK:-both}
timeout=${TIMEOUT:-30}
read -r -a sizes <<<"${SIZES:-small medium large symbols}"
read -r -a modes <<<"${MODES:-default -r0 -m}"
read -r -a extra <<<"${EXTRA:-}"
extraFiles=()
for f in "${extra[@]}"; do [[ "$f" != --*=* ]] || extraFiles+=(--remove "${f#*=}" --check "${f#*=}"); done

buildBench tarnel-benchgen tarnel-benchtime
printMachine
echo "runs: median of $runs interleaved runs per binary after one warm-up round; wall-clock and CPU ms, (ratio to the first binary)"
[ ${#extra[@]} -eq 0 ] || echo "every run with: ${extra[*]}"
for i in "${!bins[@]}"; do echo "binary $((i + 1)): ${bins[$i]}"; done

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

status=0
for size in "${sizes[@]}"; do
    generate "$size"
    dir=$work/$size
    inputs=("$dir"/in/m*.o)
    echo
    printf '%-8s %-8s' workload mode
    for i in "${!bins[@]}"; do printf ' %28s' "binary $((i + 1)) wall / cpu"; done
    echo
    for mode in "${modes[@]}"; do
        flags=()
        [ "$mode" = default ] || flags=("$mode")
        rm -rf "$dir/cmp"
        mkdir -p "$dir/cmp"
        declare -A wall=() cpu=() sums=()
        for ((run = -1; run < runs; run++)); do
            for i in "${!bins[@]}"; do
                out=$dir/cmp/a.out stdout=$dir/cmp/stdout.$i
                checks=(--check "$stdout")
                [ "$check" = stdout ] || checks=(--check "$out" --check "$stdout")
                # the same output name for every binary: the report names it
                result=$(cd "$dir" && "$timer" --warmups 0 --runs 1 --timeout "$timeout" --remove "$out" \
                    --remove "$stdout" --stdout "$stdout" "${checks[@]}" "${extraFiles[@]}" -- \
                    "${bins[$i]}" "${flags[@]}" "${inputs[@]}" -o "$out" "${extra[@]}")
                read -r med _ _ _ c st s <<<"$result"
                if [ "$st" != ok ]; then echo "$size $mode binary $((i + 1)): $st" >&2; status=1; fi
                # every binary's files must match the first binary's first run
                [ -n "${sums[ref]:-}" ] || sums[ref]=$s
                if [ "$s" != "${sums[ref]}" ]; then
                    echo "$size $mode binary $((i + 1)): checksums $s differ from ${sums[ref]}" >&2
                    status=1
                fi
                if [ "$run" -ge 0 ]; then
                    wall[$i]+="$med "
                    cpu[$i]+="$c "
                fi
            done
        done
        printf '%-8s %-8s' "$size" "$mode"
        for i in "${!bins[@]}"; do
            w=$(tr ' ' '\n' <<<"${wall[$i]}" | grep . | median)
            c=$(tr ' ' '\n' <<<"${cpu[$i]}" | grep . | median)
            [ "$i" -gt 0 ] || { w0=$w; c0=$c; }
            printf ' %8.2f (%4.2f) %6.1f (%4.2f)' "$w" "$(awk -v a="$w" -v b="$w0" 'BEGIN { print a / b }')" \
                "$c" "$(awk -v a="$c" -v b="$c0" 'BEGIN { print a / b }')"
        done
        echo
        unset wall cpu sums
        rm -rf "$dir/cmp"
    done
done
exit $status
