#!/bin/sh
# Lints every man page in the folder given (default: this script's folder):
# groff must print nothing for any page, not even a warning, and each page
# has the usual sections. With a version given, each page's title line must
# name that version of tarnel.
dir=${1:-$(dirname "$0")}
version=${2:-}
command -v groff >/dev/null 2>&1 || { echo "SKIPPED: groff is not installed"; exit 77; }
status=0
found=0
for page in "$dir"/*.1 "$dir"/*.5; do
    [ -e "$page" ] || continue
    found=$((found + 1))
    if [ -n "$version" ] && ! head -n 1 "$page" | grep -Fq "\"tarnel $version\""; then
        echo "FAIL: $page does not name tarnel $version on its .TH line"
        status=1
    fi
    # the usual sections: a program's page has them all, the formats' page
    # those that are not about a command line
    case $page in
        *.1) wanted="NAME|SYNOPSIS|DESCRIPTION|OPTIONS|EXIT STATUS|EXAMPLES|SEE ALSO" ;;
        *) wanted="NAME|DESCRIPTION|FORMAT|EXAMPLES|SEE ALSO" ;;
    esac
    IFS='|'
    for section in $wanted; do
        grep -q "^\.SH \"\{0,1\}$section\"\{0,1\}\$" "$page" || { echo "FAIL: $page has no $section section"; status=1; }
    done
    unset IFS
    grep -Eq '^\.SH "?(FILES|FORMAT)"?$' "$page" || { echo "FAIL: $page has neither FILES nor FORMAT"; status=1; }
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
