#!/usr/bin/env bash
# Drives plumbrae-convert as a user would and checks its answers and exit statuses.
# usage: convert_cli_test.sh PLUMBRAE_CONVERT
set -uo pipefail
convert=$1
work=$(mktemp -d)
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
failures=0

expect() { # expect STATUS DESCRIPTION -- COMMAND...
    local want=$1 what=$2
    shift 3
    "$@" >"$work/stdout" 2>"$work/stderr"
    local got=$?
    if [[ $got -ne $want ]]; then
        echo "FAIL: $what: exit $got, expected $want"
        cat "$work/stdout" "$work/stderr"
        failures=$((failures + 1))
    fi
}
contains() { # contains FILE TEXT DESCRIPTION
    if ! grep -qF -- "$2" "$1"; then
        echo "FAIL: $3: '$2' not in $(basename "$1")"
        cat "$1"
        failures=$((failures + 1))
    fi
}

mkdir -p "$work/in/sub" "$work/in/other"
printf 'd3:fldd9:firstName3:Ann8:lastName3:Leee' >"$work/in/a.meta"
printf 'd3:fldd9:firstName3:Bob8:lastName3:Kime' >"$work/in/sub/B.META"
printf 'd3:fldd9:firstName3:Cat8:lastName3:Itye' >"$work/in/sub/c.meta.txt"
printf 'd3:fldd9:firstName3:Dan8:lastName3:Doee' >"$work/in/other/d.meta "

expect 0 "help" -- "$convert" --help
contains "$work/stdout" "--vcards" "help text"
expect 0 "version" -- "$convert" --version
contains "$work/stdout" "plumbrae-convert" "version text"
expect 2 "no option" -- "$convert" --out "$work/o" "$work/in"
contains "$work/stderr" "choose one of --vcards, --excel and --pst" "usage message"
expect 2 "two options" -- "$convert" --vcards --excel --out "$work/o" "$work/in"
expect 2 "unknown option" -- "$convert" --vcards --frobnicate --out "$work/o" "$work/in"
expect 2 "missing path" -- "$convert" --vcards --out "$work/o" "$work/nothing-here"
contains "$work/stderr" "nothing-here: no such file or folder" "missing path message"

# A folder is walked breadth-first; .meta in any case and with a trailing space is taken.
expect 0 "folder" -- "$convert" --vcards --out "$work/o1" "$work/in"
for card in "Ann Lee1.vcf" "Dan Doe2.vcf" "Bob Kim3.vcf"; do
    [[ -f "$work/o1/$card" ]] || { echo "FAIL: $card missing"; ls "$work/o1"; failures=$((failures + 1)); }
done
[[ $(ls "$work/o1" | wc -l) -eq 3 ]] || { echo "FAIL: c.meta.txt must not be taken"; failures=$((failures + 1)); }
contains "$work/stdout" "Zimbra Contacts converted successfully." "success message"

# A damaged file is listed with its reason, the others convert, the status is 1.
printf 'd3:fldd9:firstName9:Ann' >"$work/bad.meta"
expect 1 "damaged file" -- "$convert" --vcards --out "$work/o2" "$work/in/a.meta" "$work/bad.meta"
contains "$work/stdout" "1 of 2 Zimbra Contacts converted." "summary"
contains "$work/stdout" "bad.meta: damaged contact data at byte" "reason"
[[ -f "$work/o2/Ann Lee1.vcf" ]] || { echo "FAIL: good file not converted"; failures=$((failures + 1)); }

# A value the worksheet cannot hold is listed, but the CSV beside it holds it whole: complete.
mkdir -p "$work/long"
printf 'd3:fldd9:firstName3:Ann5:notes300:%see' "$(printf 'n%.0s' {1..300})" >"$work/long/l.meta"
expect 0 "value whole in the CSV" -- "$convert" --excel --out "$work/o5" "$work/long"
contains "$work/stdout" "left out of" "left-out value listed"
contains "$work/o5/ZimbraContacts.csv" "$(printf 'n%.0s' {1..300})" "long value in the CSV"

# An output folder that cannot be made is an error before anything is read.
printf 'x' >"$work/file"
expect 2 "output is a file" -- "$convert" --vcards --out "$work/file" "$work/in"
contains "$work/stderr" "cannot create the output folder" "output folder message"

# The other two options write their files.
expect 0 "excel" -- "$convert" --excel --out "$work/o3" "$work/in"
[[ -s "$work/o3/ZimbraContacts.xls" ]] || { echo "FAIL: no worksheet"; failures=$((failures + 1)); }
[[ -s "$work/o3/ZimbraContacts.csv" ]] || { echo "FAIL: no CSV"; failures=$((failures + 1)); }
contains "$work/stdout" "ZimbraContacts.csv" "closing message names the CSV"
expect 0 "pst" -- "$convert" --pst --out "$work/o4" "$work/in"
ls "$work/o4"/Zimbracontacts*.pst >/dev/null 2>&1 || { echo "FAIL: no PST"; failures=$((failures + 1)); }

if [[ $(id -u) -ne 0 ]]; then
    mkdir "$work/locked" && chmod 500 "$work/locked"
    expect 2 "unwritable output" -- "$convert" --vcards --out "$work/locked" "$work/in"
    contains "$work/stderr" "permission denied" "write failure names the cause"
fi

echo "$failures failure(s)"
[[ $failures -eq 0 ]]
