#!/usr/bin/env bash
# Peak memory and time of plumbrae-convert on inputs that are not contacts, or far too large to
# be one: a 1 GB contact file, a 1 GB file without contact data, a 1 GB single-line JSON-looking
# file, a named pipe and /dev/zero, each with the three options. Prints each run's peak memory
# against the floor of the same option on one small contact, measured in the same run.
# usage: bench/large_inputs.sh PLUMBRAE_CONVERT [SIZE_MB]
set -uo pipefail
convert=$1
size_mb=${2:-1024}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
time_cmd=/usr/bin/time
[[ -x $time_cmd ]] || { echo "needs /usr/bin/time (Debian package time)"; exit 1; }

mkdir -p "$work/in"
printf 'd3:fldd9:firstName3:Ann8:lastName3:Leee' >"$work/in/small.meta"
bytes=$((size_mb * 1024 * 1024))
{ printf 'd3:fldd9:firstName3:Ann5:notes%d:' "$bytes"; head -c "$bytes" /dev/zero | tr '\0' 'n'; printf 'ee'; } >"$work/in/huge-contact.meta"
head -c "$bytes" /dev/zero | tr '\0' 'x' >"$work/in/no-contact.meta"
{ printf '{"'; head -c "$bytes" /dev/zero | tr '\0' 'j'; } >"$work/in/json.meta"
mkfifo "$work/in/pipe.meta"

measure() { # measure OPTION INPUT -> "peak_kb seconds status"
    local out=$work/out-$RANDOM
    $time_cmd -f '%M %e' -o "$work/time" timeout 60 "$convert" "$1" --out "$out" "$2" \
        >"$work/stdout" 2>"$work/stderr"
    local status=$?
    read -r peak seconds < <(tail -n 1 "$work/time")
    rm -rf "$out"
    echo "$peak $seconds $status"
}

printf '%-8s %-18s %10s %8s %6s %8s  %s\n' option input peak_MB seconds exit x_floor reason
for option in --vcards --excel --pst; do
    read -r floor _ _ < <(measure "$option" "$work/in/small.meta")
    for input in huge-contact.meta no-contact.meta json.meta pipe.meta /dev/zero; do
        path=$input
        [[ $input == /* ]] || path=$work/in/$input
        read -r peak seconds status < <(measure "$option" "$path")
        reason=$(grep -ho 'not a regular file[^"]*\|too large to be a contact\|no contact fields' \
            "$work/stdout" "$work/stderr" | head -1)
        awk -v o="$option" -v i="$(basename "$input")" -v p="$peak" -v s="$seconds" \
            -v e="$status" -v f="$floor" -v r="$reason" \
            'BEGIN { printf "%-8s %-18s %10.1f %8s %6s %8.2f  %s\n", o, i, p / 1024, s, e, p / f, r }'
    done
done
