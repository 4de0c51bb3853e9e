#!/usr/bin/env bash
# The bounded fuzz run of the test command: each target for FUZZ_SECONDS
# (default 40) seconds. Skipped, with a message, where clang or its libFuzzer
# runtime is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-40}

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/probe.cpp"
if ! command -v clang++ >/dev/null || ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
  echo "fuzz smoke run skipped: clang++ with the libFuzzer runtime (-fsanitize=fuzzer) is not available"
  exit 0
fi

mkdir -p build-fuzz
for target in loader link elf dump mkobj elf2obj json; do
  echo "fuzzing $target for $seconds s"
  fuzz/run.sh "$target" -max_total_time="$seconds" -print_final_stats=1 2>"build-fuzz/smoke-$target.log" || {
    tail -n 60 "build-fuzz/smoke-$target.log"
    echo "fuzz target $target failed; the input is in build-fuzz/crashes/$target/"
    exit 1
  }
  grep -E '^stat::number_of_executed_units|^Done' "build-fuzz/smoke-$target.log" || true
done
