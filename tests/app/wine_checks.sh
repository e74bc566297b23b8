#!/usr/bin/env bash
# Runs the Windows converter under Wine beside the Linux one on the same inputs: both must end
# with the same exit status and write the same files. Wine shows the Linux root as drive Z:.
# usage: wine_checks.sh LINUX_PLUMBRAE_CONVERT WINDOWS_PLUMBRAE_CONVERT_EXE
set -uo pipefail
linux=$(realpath "$1")
exe=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
corpus=$(cd "$here/../data/meta" && pwd)
checker=$here/../pst/checker
python=/usr/bin/python3
work=$(mktemp -d "${TMPDIR:-/tmp}/plumbrae-wine.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine reads the command line and file names as UTF-8 only in a UTF-8 locale.
export LC_ALL=C.UTF-8
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)
trap '"$(command -v wineserver || echo /usr/lib/wine/wineserver64)" -k &>/dev/null; rm -rf "$work"' EXIT
passed=0 failed=0
check() { # check DESCRIPTION COMMAND...: passes when the command succeeds
    if "${@:2}"; then passed=$((passed + 1)); else echo "FAIL: $1" && failed=$((failed + 1)); fi
}
winpath() { local path=${1//\//\\} && printf 'Z:%s' "$path"; }
meta() { # meta FILE KEY VALUE...: a contact file (every text here is one UTF-16 unit a letter)
    local file=$1 body=
    shift
    mkdir -p "$(dirname "$file")"
    while (($#)); do body+="${#1}:$1${#2}:$2" && shift 2; done
    printf 'Zimbra-Id: 1\nd3:fldd%see\n' "$body" >"$file"
}

# run_both NAME OPTION INPUT...: both builds write into $work/NAME.lin|win/$out; the statuses
# must agree, $win_status keeps Windows'; standard output goes to NAME.lin|win.out.
run_both() {
    local name=$1 option=$2 input win_inputs=()
    shift 2
    for input in "$@"; do win_inputs+=("$(winpath "$input")"); done
    "$linux" "$option" --out "$work/$name.lin/$out" "$@" >"$work/$name.lin.out" 2>/dev/null
    local lin_status=$?
    "$wine" "$exe" "$option" --out "$(winpath "$work/$name.win/$out")" "${win_inputs[@]}" \
        2>/dev/null | tr -d '\r' >"$work/$name.win.out"
    win_status=${PIPESTATUS[0]}
    check "$name: exit status $win_status on Windows, $lin_status on Linux" \
        test "$lin_status" -eq "$win_status"
}
same_text() { # same_text NAME: both standard outputs alike, but for the output folder's path
    local lin win lin_folder win_folder    # and the time in the PST's name
    lin=$(<"$work/$1.lin.out") win=$(<"$work/$1.win.out")
    lin_folder=$work/$1.lin/$out win_folder=$(winpath "$work/$1.win/$out")
    lin=${lin//"${lin_folder%/}"/FOLDER} win=${win//"${win_folder%\\}"/FOLDER}
    [[ $(sed -E 's/Zimbracontacts[0-9. ]+\.pst/Zimbracontacts.pst/g' <<<"$lin") == \
       "$(sed -E 's/Zimbracontacts[0-9. ]+\.pst/Zimbracontacts.pst/g' <<<"$win")" ]]
}
same_outputs() { # same_outputs NAME OPTION: the same files; the PST whole, its items read alike
    if [[ $2 != pst ]]; then
        check "$1: the outputs differ" diff -r "$work/$1.lin" "$work/$1.win"
        return
    fi
    local lin win
    lin=$(ls "$work/$1.lin/$out"/*.pst | head -1)
    win=$(ls "$work/$1.win/$out"/*.pst | head -1)
    check "$1: files beside the PST" test "$(ls -A "$work/$1.win/$out" | wc -l)" -eq 1
    check "$1: PST integrity" "$python" "$checker/pst_check.py" "$win"
    check "$1: libpff reads other items" \
        cmp -s <("$python" "$here/pst_items.py" "$lin") <("$python" "$here/pst_items.py" "$win")
}

# The test corpus, and folders, files and contacts named in Greek, Cyrillic and CJK with a
# damaged file among them, written into a folder named in those scripts.
tree="$work/Ελληνικά"
meta "$tree/Σοφία.meta" firstName Σοφία lastName Παπαδοπούλου email sofia@example.gr
meta "$tree/Кириллица/Юлия.meta" firstName Юлия lastName Иванова notes $'Заметка\r\nвторая'
meta "$tree/中文/日本語/李华.meta" firstName 华 lastName 李 company 東京商事
meta "$tree/中文/山田.META" firstName 太郎 lastName 山田
printf 'd3:fldd9:firstName9:Ann' >"$tree/Кириллица/Ωμέγα-χαλασμένο.meta"
# An older export's name with a stray Windows-1252 byte: named alike, in UTF-8, on both systems.
printf 'Zimbra-Id: 1\nd3:fldd9:firstName6:Garc\xEDa8:lastName3:Leee\n' >"$tree/中文/日本語/麦.meta"
for run in "corpus|$corpus|" "scripts|$tree|Вывод 出力"; do
    IFS='|' read -r set input out <<<"$run"
    for option in vcards excel pst; do
        run_both "$set-$option" "--$option" "$input"
        if [[ $set == corpus ]]; then
            check "corpus-$option: standard output" same_text "corpus-$option"
        else
            [[ $option == pst ]] || check "scripts-$option: status 1" test "$win_status" -eq 1
            check "scripts-$option: the damaged file is named" \
                grep -q "Ωμέγα-χαλασμένο.meta: damaged contact data" "$work/scripts-$option.win.out"
        fi
        same_outputs "$set-$option" $option
    done
done
cards="$work/scripts-vcards.win/$out"
check "scripts: every script in the vCard names" test -f "$cards/Σοφία Παπαδοπούλου1.vcf" \
    -a -f "$cards/太郎 山田4.vcf" -a -f "$cards/Юлия Иванова3.vcf" -a -f "$cards/华 李5.vcf" \
    -a -f "$cards/García Lee6.vcf"

# A generated export in many scripts: both builds choose the same code page for the worksheet
# and write the same bytes.
"$(dirname "$linux")/generate-meta-tree" "$work/export" 3000 5 >/dev/null
out=sheet
run_both export --excel "$work/export"
same_outputs export excel

# Names Windows keeps for devices, and one that takes the path past 260 characters.
long=$(printf 'L%.0s' {1..230}) n=0
for name in COM CON nul.x LPT "Ann." "$long"; do meta "$work/reserved/$((++n)).meta" firstName "$name"; done
out="Résumé Ψ Ж 東京/$(printf 'd%.0s' {1..60})"
run_both reserved --vcards "$work/reserved"
same_outputs reserved vcards
check "reserved: converted" test -s "$work/reserved.win/$out/COM1_.vcf" -a -s "$work/reserved.win/$out/${long:0:220}6.vcf"
"$wine" "$exe" --vcards --out "$(winpath "$work/spaces")" "  $(winpath "$corpus/ann-muller.meta")  " &>/dev/null
check "spaces around a queued path" test -f "$work/spaces/Ann Müller1.vcf"

# Killed in the middle of a PST run, once a commit has replaced the first, empty store.
"$(dirname "$linux")/generate-meta-tree" "$work/many" 8000 >/dev/null
"$wine" "$exe" --pst --out "$(winpath "$work/killed")" "$(winpath "$work/many")" &>/dev/null &
for _ in $(seq 600); do [[ $(stat -c %s "$work/killed"/*.pst 2>/dev/null | head -1) -gt 1000000 ]] && break; sleep 0.1; done
check "killed: still running when killed" kill -9 $!
wait $! 2>/dev/null
pst=$(ls "$work/killed"/*.pst | head -1)
check "killed: the PST is whole" "$python" "$checker/pst_check.py" "$pst"
check "killed: the committed contacts are in it" "$python" -c \
    'import json, sys; sys.exit(not json.load(sys.stdin)["contacts"])' < <("$python" "$checker/pst_dump.py" "$pst")

echo "Windows: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
