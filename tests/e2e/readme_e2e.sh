#!/usr/bin/env bash
# Runs the README's first-link example as a user would paste it.
#
#   readme_e2e.sh TARNEL ROOT
#
# The example is the first code block after the heading "## A first link" in
# ROOT/README.md: either an indented block (lines starting with four spaces,
# and the empty lines between them) or a fenced one (``` ... ```). The next
# block after it holds the summary lines the example prints. The command runs with bash in a scratch folder
# that mirrors the top of the source tree (a symbolic link to each of its
# entries), so relative paths resolve as from the top of a clone and the
# output lands in the scratch folder; `build/tarnel` is replaced by TARNEL.
#
# Passes when the command exits with 0, the file it names with -o exists,
# the summary lines shown in the README appear in what it printed as they are
# shown: whole lines, one after another, empty lines included; and, for
# a ROM image with its bss (-r without -b), the printed file size is the size
# of the file written.
set -euo pipefail
tarnel=$1 root=$2
readme=${README:-$root/README.md}

fail() { echo "FAILED: $*"; exit 1; }

# block N: the Nth code block after the heading, one line per line, the
# indentation or fences removed; empty when there is none. Empty lines
# inside an indented block belong to it; those after its last line do not.
block() {
  awk -v want="$1" '
    /^## / { if (inside) exit; inside = ($0 ~ /^## A first link[[:space:]]*$/); next }
    !inside { next }
    fenced { if ($0 ~ /^```/) { fenced = 0; if (n == want) exit; next } if (n == want) print; next }
    /^```/ { n++; fenced = 1; inblock = 0; next }
    /^    / {
      if (!inblock) n++
      else if (n == want) for (; empty > 0; empty--) print ""
      empty = 0; inblock = 1
      if (n == want) print substr($0, 5)
      next
    }
    /^[[:space:]]*$/ { if (inblock) empty++; next }
    { if (inblock && n == want) exit; inblock = 0; empty = 0 }
  ' "$readme"
}

command=$(block 1)
summary=$(block 2)
[ -n "$command" ] || fail "no code block after '## A first link' in $readme"
[ -n "$summary" ] || fail "no block of summary lines after the example in $readme"
grep -Eq '(^|[[:space:]])build/tarnel([[:space:]]|$)' <<<"$command" || fail "the example does not run build/tarnel: $command"
output=$(sed -nE 's/.*[[:space:]]-o[[:space:]]+([^[:space:]]+).*/\1/p' <<<"$command" | tail -n 1)
[ -n "$output" ] || fail "the example names no output file with -o: $command"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for entry in "$root"/* "$root"/.[!.]*; do
  [ -e "$entry" ] && ln -s "$entry" "$scratch/"
done
rm -f "$scratch/$output"

replacement=$(sed 's/[\\&#]/\\&/g' <<<"$tarnel")
command=$(sed -E "s#(^|[[:space:]])build/tarnel([[:space:]]|\$)#\\1$replacement\\2#g" <<<"$command")
echo "\$ $command"
set +e
printed=$(cd "$scratch" && bash -c "$command")
status=$?
set -e
echo "$printed"

[ "$status" -eq 0 ] || fail "the example exited with $status"
[ -f "$scratch/$output" ] || fail "the example wrote no $output"
# the summary as one piece: its lines in order, nothing between them
if [[ $'\n'"$printed"$'\n' != *$'\n'"$summary"$'\n'* ]]; then
  echo "the README's summary lines:"
  echo "$summary"
  fail "the example did not print the README's summary lines as shown, one after another"
fi
size=$(stat -c %s "$scratch/$output")
# a raw ROM image with its bss (-r, no -b) is as long as the printed file size
if grep -Eq '(^|[[:space:]])-r[0-9A-Fa-f]' <<<"$command" && ! grep -Eq '(^|[[:space:]])-b([[:space:]]|$)' <<<"$command"; then
  grep -Fxq "Maximum file size = $size (\$$(printf '%08x' "$size")) bytes" <<<"$printed" ||
    fail "the printed file size is not the $size bytes of $output"
fi
echo "PASSED: the README's first link wrote $output ($size bytes)"
