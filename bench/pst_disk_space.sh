#!/usr/bin/env bash
# Disk space a PST run needs: converts a generated export with plumbrae-convert --pst while
# sampling the output folder's disk use (allocated bytes, every ~20 ms), and prints the peak
# against the final store's size (target: the final store plus one batch, a ratio near 1.0-1.1).
# usage: bench/pst_disk_space.sh PLUMBRAE_CONVERT GENERATE_META_TREE [COUNT]
set -uo pipefail
convert=$1
generate=$2
count=${3:-20000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$generate" "$work/in" "$count" >/dev/null || { echo "cannot generate the export"; exit 1; }
mkdir -p "$work/out"
"$convert" --pst --out "$work/out" "$work/in" >"$work/stdout" 2>&1 &
pid=$!
peak=0
while kill -0 "$pid" 2>/dev/null; do
    used=$(du -s --block-size=1 "$work/out" 2>/dev/null | cut -f1)
    ((${used:-0} > peak)) && peak=$used
    sleep 0.02
done
wait "$pid"
status=$?
final=$(du -s --block-size=1 "$work/out" | cut -f1)
((final > peak)) && peak=$final
store=$(find "$work/out" -name '*.pst' -printf '%s\n' | head -n 1)
awk -v peak="$peak" -v final="$final" -v size="${store:-0}" -v count="$count" -v status="$status" \
    'BEGIN {
        printf "contacts: %d, exit status %d\n", count, status
        printf "final store: %.1f MB (%.1f MB allocated)\n", size / 1e6, final / 1e6
        printf "peak disk use: %.1f MB\n", peak / 1e6
        printf "peak / final: %.2f (target: near 1.0-1.1, the final store plus one batch)\n",
            peak / final
    }'
