#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs one of them:
#
#   fuzz/run.sh loader|link|elf|dump|mkobj|elf2obj|json [libFuzzer options...]
#
# e.g. fuzz/run.sh link -runs=10000000, or -max_total_time=3600. The working
# corpus grows in build-fuzz/corpus/<target>, seeded from fuzz/corpus/<target>;
# an input that crashes, leaks or times out is saved in build-fuzz/crashes/<target>/
# and the run exits non-zero. Replay one with: build-fuzz/fuzz/tarnel_fuzz_<target> FILE
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: fuzz/run.sh loader|link|elf|dump|mkobj|elf2obj|json [libFuzzer options...]}
shift
case "$target" in
  loader) max_len=4096 ;;
  link|elf) max_len=8192 ;;
  dump|elf2obj) max_len=4096 ;;
  mkobj) max_len=8192 ;;
  json) max_len=16384 ;;
  *) echo "unknown fuzz target: $target (loader, link, elf, dump, mkobj, elf2obj or json)" >&2; exit 2 ;;
esac
# the chunk format's words, or JSON's and the record's
dict=fuzz/tarnel.dict
[ "$target" != json ] || dict=fuzz/json.dict

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARNEL_FUZZ=ON -DTARNEL_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"${JOBS:-2}" --target "tarnel_fuzz_$target" >/dev/null

work=build-fuzz/corpus/$target
crashes=build-fuzz/crashes/$target
mkdir -p "$work" "$crashes"
exec "build-fuzz/fuzz/tarnel_fuzz_$target" -dict=$dict -max_len=$max_len -timeout=10 \
  -artifact_prefix="$crashes/" "$@" "$work" "fuzz/corpus/$target"
