#!/usr/bin/env bash
# Drives plumbrae-convert as a user would and checks its answers, files and exit statuses.
# usage: convert_cli_test.sh PLUMBRAE_CONVERT
set -uo pipefail
convert=$1
work=$(mktemp -d)
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }
# run STATUS TEXT ARGUMENT...: the run ends with STATUS and its output (both streams) holds TEXT.
run() {
    local want=$1 text=$2
    shift 2
    "$convert" "$@" &>"$work/said"
    local got=$?
    [[ $got == "$want" ]] && grep -qF -- "$text" "$work/said" ||
        fail "$*: exit $got (not $want) or no '$text' in: $(head -c 600 "$work/said")"
}
files() { # files FOLDER NAME...: the folder holds exactly these files
    [[ $(cd "$1" && ls | sort) == "$(printf '%s\n' "${@:2}" | sort)" ]] || fail "$1 holds: $(ls "$1")"
}

mkdir -p "$work/in/sub" "$work/in/other" "$work/long"
printf 'd3:fldd9:firstName3:Ann8:lastName3:Leee' >"$work/in/a.meta"
printf 'd3:fldd9:firstName3:Bob8:lastName3:Kime' >"$work/in/sub/B.META"
printf 'd3:fldd9:firstName3:Cat8:lastName3:Itye' >"$work/in/sub/c.meta.txt"
printf 'd3:fldd9:firstName3:Dan8:lastName3:Doee' >"$work/in/other/d.meta "
printf 'd3:fldd9:firstName9:Ann' >"$work/bad.meta"
long=$(printf 'n%.0s' {1..300})
printf 'd3:fldd9:firstName3:Ann5:notes300:%see' "$long" >"$work/long/l.meta"
printf x >"$work/file"

run 0 --vcards --help
run 0 plumbrae-convert --version
run 2 "choose one of --vcards, --excel and --pst" --out "$work/o" "$work/in"
run 2 "choose one of" --vcards --excel --out "$work/o" "$work/in"
run 2 "frobnicate" --vcards --frobnicate --out "$work/o" "$work/in"
run 2 "nothing-here: no such file or folder" --vcards --out "$work/o" "$work/nothing-here"
run 2 "cannot create the output folder" --vcards --out "$work/file" "$work/in"
# A folder is walked breadth-first; .meta in any case and with a trailing space is taken.
run 0 "Zimbra Contacts converted successfully." --vcards --out "$work/o1" "$work/in"
files "$work/o1" "Ann Lee1.vcf" "Dan Doe2.vcf" "Bob Kim3.vcf"
# A damaged file is listed with its reason, the others convert, the status is 1.
run 1 "1 of 2 Zimbra Contacts converted." --vcards --out "$work/o2" "$work/in/a.meta" "$work/bad.meta"
grep -q "bad.meta: damaged contact data at byte" "$work/said" || fail "the damaged file's reason"
files "$work/o2" "Ann Lee1.vcf"
# A value the worksheet cannot hold is listed, but the CSV beside it holds it whole: complete.
run 0 "left out of" --excel --out "$work/o3" "$work/long"
grep -q "$long" "$work/o3/ZimbraContacts.csv" || fail "the long value is not in the CSV"
run 0 "ZimbraContacts.csv" --excel --out "$work/o4" "$work/in"
files "$work/o4" ZimbraContacts.csv ZimbraContacts.xls
run 0 "converted successfully" --pst --out "$work/o5" "$work/in"
[[ $(ls "$work/o5") == Zimbracontacts*.pst ]] || fail "no PST: $(ls "$work/o5")"
if [[ $(id -u) -ne 0 ]]; then
    mkdir "$work/locked" && chmod 500 "$work/locked"
    run 2 "permission denied" --vcards --out "$work/locked" "$work/in"
fi

echo "$failures failure(s)"
[[ $failures -eq 0 ]]
