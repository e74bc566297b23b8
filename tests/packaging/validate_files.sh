#!/usr/bin/env bash
# Validates the desktop entry and the AppStream data, and renders each manual page, which must
# render without a warning.
# usage: validate_files.sh DESKTOP_FILE METAINFO_FILE MAN_PAGE...
set -uo pipefail
desktop=$1 metainfo=$2
shift 2
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

for tool in desktop-file-validate appstreamcli man; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps --test"; exit 1; }
done

desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $metainfo"
for page in "$@"; do
    rendered=$(MANWIDTH=80 man --warnings -l "$page" 2>"${TMPDIR:-/tmp}/man-warnings.$$")
    warnings=$(cat "${TMPDIR:-/tmp}/man-warnings.$$")
    rm -f "${TMPDIR:-/tmp}/man-warnings.$$"
    [[ -z "$warnings" ]] || fail "man -l $page warns: $warnings"
    name=$(basename "$page" .1)
    grep -Eq "^ *$name +- " <<<"$rendered" || fail "man -l $page: no NAME line for $name"
done
exit $((failures > 0))
