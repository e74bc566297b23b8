#!/usr/bin/env bash
# A PST written onto a FAT file system mounted through FUSE (fusefat), which refuses to set a
# file's size: the run must end with a whole store holding every contact, or with a failure that
# names the file and leaves no damaged store behind. Mounting needs root and /dev/fuse; without
# them the check is skipped (status 77).
# usage: fat_checks.sh PLUMBRAE_CONVERT GENERATE_META_TREE
set -uo pipefail
convert=$1
generate=$2
py=/usr/bin/python3
checker=$(dirname "$0")/../pst/checker
if [[ $(id -u) -ne 0 || ! -c /dev/fuse ]] || ! command -v fusefat >/dev/null ||
    ! command -v mkfs.vfat >/dev/null; then
    echo "skipped: needs root, /dev/fuse, fusefat and mkfs.vfat"
    exit 77
fi
work=$(mktemp -d)
trap 'fusermount -u "$work/fat" 2>/dev/null; rm -rf "$work"' EXIT
truncate -s 64M "$work/fat.img" && mkfs.vfat -F 32 "$work/fat.img" >/dev/null &&
    mkdir "$work/fat" && fusefat -o rw+ "$work/fat.img" "$work/fat" >/dev/null || exit 1
"$generate" "$work/tree" 300 3 >/dev/null
"$convert" --pst --out "$work/fat/out" "$work/tree" >"$work/out.txt" 2>&1
status=$?
failures=0
pst=$(ls "$work/fat/out"/*.pst 2>/dev/null | head -1)
if [[ $status -eq 0 ]]; then
    "$py" "$checker/pst_check.py" "$pst" || { echo "FAIL: the store is damaged"; failures=1; }
elif ! grep -q "Zimbracontacts.*\.pst.*: the file system did not keep what was written" "$work/out.txt"; then
    echo "FAIL: exit $status without naming the file and the cause:" && cat "$work/out.txt"
    failures=1
elif [[ -n $pst ]] && ! "$py" "$checker/pst_check.py" "$pst" >/dev/null; then
    echo "FAIL: a damaged store was left: $pst" && failures=1
fi
echo "exit $status: $(grep -m1 -E 'converted|Cause' "$work/out.txt")"
exit $failures
