#!/bin/sh
# Lints every man page in the folder given (default: this script's folder):
# groff must print nothing for any page, not even a warning.
dir=${1:-$(dirname "$0")}
command -v groff >/dev/null 2>&1 || { echo "SKIPPED: groff is not installed"; exit 77; }
status=0
found=0
for page in "$dir"/*.1 "$dir"/*.5; do
    [ -e "$page" ] || continue
    found=$((found + 1))
    out=$(groff -man -ww -z "$page" 2>&1)
    if [ $? -ne 0 ] || [ -n "$out" ]; then
        echo "FAIL: $page"
        printf '%s\n' "$out"
        status=1
    fi
done
if [ "$found" -eq 0 ]; then
    echo "FAIL: no man pages in $dir"
    exit 1
fi
echo "$found pages linted"
exit $status
