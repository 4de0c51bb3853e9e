#!/usr/bin/env bash
# Each program whose standard output is full (/dev/full) fails with a message
# on standard error, never a success with the text lost.
#
#   full_stdout_e2e.sh TARNEL TARNEL-DUMP TARNEL-MKOBJ TARNEL-ELF2OBJ TARNEL-ELF ROOT TARNEL-SIZE-DIFF
set -uo pipefail
tarnel=$1 dump=$2 mkobj=$3 elf2obj=$4 elf=$5 root=$6 sizediff=$7
[ -w /dev/full ] || { echo "SKIPPED: no /dev/full"; exit 77; }
module=$root/examples/hello/obj/main.o
failed=0
# program | arguments | status | message on standard error
while IFS='|' read -r program args status message; do
  err=$("$program" $args 2>&1 >/dev/full)
  got=$?
  if [ "$got" != "$status" ] || [ "$err" != "$message" ]; then
    echo "FAIL: $(basename "$program") $args: status $got, standard error: $err"
    failed=1
  fi
done <<ROWS
$dump|$module|2|tarnel-dump: error writing standard output
$dump|--help|2|tarnel-dump: error writing standard output
$mkobj|--version|2|tarnel-mkobj: error writing standard output
$elf2obj|--help|1|tarnel-elf2obj: error writing standard output
$elf|--version|1|error: Error writing standard output
$sizediff|--help|2|tarnel-size-diff: error writing standard output
$tarnel||1|error: Error writing standard output
ROWS
[ $failed -eq 0 ] && echo "PASSED: every program fails when its standard output is full"
exit $failed
