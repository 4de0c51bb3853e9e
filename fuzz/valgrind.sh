#!/usr/bin/env bash
# Runs the whole test suite in one process under valgrind's memcheck, on a
# build without sanitizers. Fails on any memory error and on any leak
# (definite, indirect or possible); arguments go to the test program, e.g.
# --gtest_filter='HostileInput.*'.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v valgrind >/dev/null; then
  echo "valgrind check skipped: valgrind is not installed"
  exit 0
fi
cmake -S . -B build-valgrind -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-valgrind -j"${JOBS:-2}" --target tarnel_tests >/dev/null
valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
  --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
  --track-origins=yes build-valgrind/tarnel_tests "$@"
