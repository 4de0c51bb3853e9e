#!/bin/sh
# Checks that tarnel(1) names every option and message of the README's
# tables: each backquoted text of a row's first cell must appear in the
# rendered page, with placeholders compared without their <> or $ marks.
root=${1:-$(dirname "$0")/..}
command -v groff >/dev/null 2>&1 || { echo "SKIPPED: groff is not installed"; exit 77; }
strip() { sed 's/[<>$]//g; s/ *\.\.\.$//; s/\.\.\.//g'; }
page=$(groff -man -Tutf8 -P-cbou "$root/man/tarnel.1" 2>/dev/null | tr -s ' \n' '  ' |
       sed "s/‐/-/g; s/−/-/g; s/[‘’]/'/g; s/[“”]/\"/g" | strip)
status=0 count=0
rows=$(grep '^| `' "$root/README.md" | cut -d'|' -f2 | grep -o '`[^`]*`' | tr -d '`' | strip)
[ -n "$rows" ] || { echo "FAIL: no table rows in $root/README.md"; exit 1; }
while IFS= read -r text; do
    count=$((count + 1))
    case $page in
        *"$text"*) ;;
        *) echo "FAIL: tarnel.1 does not name: $text"; status=1 ;;
    esac
done <<ROWS
$rows
ROWS
echo "$count options and messages of the README found in tarnel.1"
exit $status
