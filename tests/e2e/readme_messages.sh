#!/usr/bin/env bash
# Checks that the README's tables name every message tarnel prints.
#
#   readme_messages.sh ROOT
#
# The messages are the format strings of ROOT/src: every string literal that
# ends a line, wherever it is written (a call, or a table of messages), but
# for the reports (src/report/: the build information, the summary, the map)
# and the banner and usage text. A message is named when the first cell of a table row of the
# README (README, default ROOT/README.md) holds, in backquotes, a text that
# reads like it: each printf conversion of the message stands for a
# placeholder of the README (F, N, S, T, X, B, WHAT, $SIZE, $START, $END, $OFFSET),
# which stands for any text.
set -euo pipefail
root=$1
readme=${README:-$root/README.md}

fail() { echo "FAILED: $*"; exit 1; }

# the banner and the usage text, printed line by line through say()
not_messages='^(tarnel ColdFire Linker version |Copyright \(c\) |Usage  : |Options: | +-)'

# one message a line: the literal's text, its \n
# dropped, "error: " (which main writes itself) dropped, each conversion
# written X
messages=$(grep -rhoE --exclude-dir=report --include='*.cpp' --include='*.hpp' --include='*.inl' \
             '"([^"\\]|\\.)*\\n"' "$root/src" | sed -E 's/^"//; s/"$//; s/(\\n)+$//; s/^error: //' |
           sed -E 's/%[-+ #0-9.]*(hh|h|ll|l|z)?[diouxXsc]/X/g' | grep -Ev "$not_messages" | sort -u)
count=$(grep -c . <<<"$messages" || true)
[ "$count" -ge 20 ] || fail "only $count messages found in $root/src; the search no longer matches the calls"

# one pattern a line: each backquoted text of a row's first cell, as a whole
# line, its placeholders matching any text
patterns=$(grep '^| `' "$readme" | cut -d'|' -f2 | grep -o '`[^`]*`' | tr -d '`' |
           sed -E 's/[][\.*^$()+?{}|]/\\&/g' |
           sed -E ':a; s/(^|[^A-Za-z0-9_])(\\\$)?(F|N|S|T|X|B|WHAT|SIZE|START|END|OFFSET)([^A-Za-z0-9_]|$)/\1.+\4/; ta')
[ -n "$patterns" ] || fail "no table rows in $readme"

status=0
while IFS= read -r message; do
  grep -Eqx -f <(printf '%s\n' "$patterns") <<<"$message" || { echo "FAIL: the README does not name: $message"; status=1; }
done <<<"$messages"
[ "$status" -eq 0 ] || fail "messages missing from the README's tables"
echo "PASSED: the README names all $count messages of $root/src"
