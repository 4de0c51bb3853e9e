#!/usr/bin/env bash
# tarnel-size-diff against the link it reports on: builds in Release
# (build-bench/), generates the symbols workload with two seeds, and times,
# each as the median of $RUNS runs (default 9) after one warm-up run:
#
#   link -r0           tarnel -r0 of the workload, as bench/run.sh times it
#   link -r0 --record  the same, writing the record
#   diff same          two records of the same link: nothing changed
#   diff some          the record with every 50th definition renamed and
#                      every 25th other one 4 bytes larger: 4,000 symbols
#                      removed, 4,000 added, 4,000 changed
#   diff all           the records of the two seeds: every symbol removed
#                      and added
#
#   bench/size_diff.sh
#
# Environment: RUNS, TIMEOUT (seconds per run, default 30), SEED (default 1;
# the other seed is SEED + 1), TARNEL_BENCH_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
runs=${RUNS:-9}
timeout=${TIMEOUT:-30}

buildBench tarnel tarnel-benchgen tarnel-benchtime tarnel-size-diff
tarnel=$build/tarnel
sizediff=$build/tools/sizediff/tarnel-size-diff

printMachine
generate symbols
dir=$work/symbols
other=$work/symbols-seed$((seed + 1))
if [ "$(cat "$other/stamp" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$other"
    "$gen" symbols "$other/in" $((seed + 1)) >/dev/null
    echo "$stamp" >"$other/stamp"
fi
records=$work/size-diff
rm -rf "$records"
mkdir -p "$records"
"$tarnel" -r0 "$dir"/in/m*.o -o "$records/rom.bin" --record="$records/old.json" >/dev/null
"$tarnel" -r0 "$dir"/in/m*.o -o "$records/rom.bin" --record="$records/same.json" >/dev/null
"$tarnel" -r0 "$other"/in/m*.o -o "$records/rom.bin" --record="$records/other.json" >/dev/null
awk '/^"definitions": \[/ { inside = 1; print; next }
     inside && /^\]/ { inside = 0 }
     inside { n++
              if (n % 50 == 0) sub(/"name": "/, "&renamed_")
              else if (n % 25 == 0) { match($0, /"size": [0-9]+/); size = substr($0, RSTART + 8, RLENGTH - 8)
                                      sub(/"size": [0-9]+/, "\"size\": " size + 4) } }
     { print }' "$records/old.json" >"$records/some.json"
echo "records: $(stat -c %s "$records/old.json") bytes each, about; input $(cat "$dir"/in/m*.o | wc -c) bytes"
echo "runs: median of $runs after one warm-up run; wall-clock and CPU (user + system) times in ms; peak RSS in MiB"

row() {
    local name=$1
    shift
    local med min max rss cpu status sums
    read -r med min max rss cpu status sums < <("$timer" --runs "$runs" --timeout "$timeout" -- "$@")
    printf '  %-20s %10.2f %10.2f %10.1f   %s\n' "$name" "$med" "$cpu" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" "$status"
}
printf '  %-20s %10s %10s %10s   %s\n' row median cpu "peak RSS" status
row "link -r0" "$tarnel" -r0 "$dir"/in/m*.o -o "$records/rom.bin"
row "link -r0 --record" "$tarnel" -r0 "$dir"/in/m*.o -o "$records/rom.bin" --record="$records/timed.json"
row "diff same" "$sizediff" "$records/old.json" "$records/same.json"
row "diff some" "$sizediff" "$records/old.json" "$records/some.json"
row "diff all" "$sizediff" "$records/old.json" "$records/other.json"
echo "load average after the runs: $(cut -d' ' -f1-3 /proc/loadavg)"
