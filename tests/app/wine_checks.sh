#!/usr/bin/env bash
# Runs the Windows converter under Wine beside the Linux one on the same inputs and checks that
# both write the same files and end with the same exit status. The Windows side gets its paths
# as drive paths (Wine shows the Linux root as Z:), so folder walks start from "Z:\...".
# usage: wine_checks.sh LINUX_PLUMBRAE_CONVERT WINDOWS_PLUMBRAE_CONVERT_EXE
set -uo pipefail
linux=$(realpath "$1")
exe=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
corpus=$(cd "$here/../data/meta" && pwd)
checker=$(cd "$here/../pst/checker" && pwd)
python=/usr/bin/python3

work=$(mktemp -d "${TMPDIR:-/tmp}/plumbrae-wine.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine reads the Linux command line and file names as UTF-8 only in a UTF-8 locale; its
# Windows code page stays 1252, so a path that went through the code page would break.
export LC_ALL=C.UTF-8
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
cleanup() {
    [[ -n ${KEEP_WORK:-} ]] && return
    "$wineserver" -k >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
    echo "FAIL: $*"
    failed=$((failed + 1))
}
check() { # check DESCRIPTION -- COMMAND...: passes when the command succeeds
    local what=$1
    shift 2
    if "$@"; then pass; else fail "$what"; fi
}

# Z:\the\path, as a Windows program names a file of the Linux tree.
winpath() {
    local path=${1//\//\\}
    printf 'Z:%s' "$path"
}

# Runs both builds with the same option on the same input, into $work/<name>.lin and
# $work/<name>.win (or the folder $out_folder inside them). Statuses end up in $lin_status and $win_status, standard output (line ends
# made Linux's) in <name>.lin.out and <name>.win.out.
run_both() { # run_both NAME OPTION INPUT...
    local name=$1 option=$2
    shift 2
    local input win_inputs=()
    for input in "$@"; do
        win_inputs+=("$(winpath "$input")")
    done
    "$linux" "$option" --out "$work/$name.lin/${out_folder:-}" "$@" >"$work/$name.lin.out" 2>"$work/$name.lin.err"
    lin_status=$?
    "$wine" "$exe" "$option" --out "$(winpath "$work/$name.win/${out_folder:-}")" "${win_inputs[@]}" \
        >"$work/$name.win.raw" 2>"$work/$name.win.err"
    win_status=$?
    tr -d '\r' <"$work/$name.win.raw" >"$work/$name.win.out"
    if [[ $lin_status -ne $win_status ]]; then
        fail "$name: exit status $win_status on Windows, $lin_status on Linux"
        cat "$work/$name.win.err"
    else
        pass
    fi
}

same_pst() { # same_pst NAME: the two PST files read the same through libpff and readpst
    local name=$1 lin win
    local lin_folder="$work/$name.lin/${out_folder:-}" win_folder="$work/$name.win/${out_folder:-}"
    lin=$(ls "$lin_folder"/*.pst 2>/dev/null | head -1)
    win=$(ls "$win_folder"/*.pst 2>/dev/null | head -1)
    if [[ -z $lin || -z $win ]]; then
        fail "$name: no PST file ($(ls "$win_folder" "$lin_folder" | tr '\n' ' '))"
        return
    fi
    # The folder holds the PST file alone: nothing left aside by a commit.
    check "$name: files beside the PST" -- test "$(ls -A "$win_folder" | wc -l)" -eq 1
    check "$name: PST integrity" -- "$python" "$checker/pst_check.py" "$win"
    "$python" "$here/pst_items.py" "$lin" >"$work/$name.lin.items" &&
        "$python" "$here/pst_items.py" "$win" >"$work/$name.win.items"
    check "$name: PST items read by libpff" -- cmp -s "$work/$name.lin.items" "$work/$name.win.items"
    local side
    for side in lin win; do # readpst's cards without the folder they were found in
        "$python" "$checker/readpst_contacts.py" "${!side}" "$work/$name.$side.readpst" |
            "$python" -c 'import json,sys; print([{k: v for k, v in c.items() if k != "folder"} for c in json.load(sys.stdin)["contacts"]])' \
                >"$work/$name.$side.readpst.json"
    done
    check "$name: PST contacts read by readpst" -- \
        cmp -s "$work/$name.lin.readpst.json" "$work/$name.win.readpst.json"
    check "$name: readpst found the contacts" -- test -s "$work/$name.win.readpst.json"
}

same_files() { # same_files NAME: the same file names with the same bytes
    if diff -r "$work/$1.lin" "$work/$1.win" >"$work/$1.diff"; then
        pass
    else
        fail "$1: the outputs differ"
        head -20 "$work/$1.diff"
    fi
}

same_output() { # same_output NAME: the same text on standard output
    if cmp -s "$work/$1.lin.out" "$work/$1.win.out"; then
        pass
    else
        fail "$1: standard output differs"
        diff "$work/$1.lin.out" "$work/$1.win.out" | head -10
    fi
}

# Wine makes its prefix on the first start; keep its server up for the runs that follow.
"$wine" "$exe" --version >"$work/version" 2>/dev/null
check "the .exe starts and names itself" -- grep -q "plumbrae-convert" "$work/version"

# The test corpus, given as a folder on a drive, with each saving option.
for option in vcards excel pst; do
    run_both "corpus-$option" "--$option" "$corpus"
    same_output "corpus-$option"
    if [[ $option == pst ]]; then same_pst "corpus-$option"; else same_files "corpus-$option"; fi
done

# A tree whose folders, files and contacts are named in Greek, Cyrillic and CJK, with a damaged
# file among them; the output goes into a folder named in those scripts as well.
tree="$work/Ελληνικά"
"$python" - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
def meta(path, fields):
    # Zimbra counts string lengths in UTF-16 units.
    body = "".join("%d:%s%d:%s" % (len(k), k, len(v.encode("utf-16-le")) // 2, v)
                   for k, v in fields)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write("Zimbra-Id: 1\nd3:fldd%see\n" % body)
meta(root + "/Σοφία.meta", [("firstName", "Σοφία"), ("lastName", "Παπαδοπούλου"),
                            ("email", "sofia@example.gr")])
meta(root + "/Кириллица/Юлия.meta", [("firstName", "Юлия"), ("lastName", "Иванова"),
                                     ("notes", "Заметка\r\nвторая строка")])
meta(root + "/中文/日本語/李华.meta", [("firstName", "华"), ("lastName", "李"),
                                    ("company", "東京商事")])
meta(root + "/中文/山田.META", [("firstName", "太郎"), ("lastName", "山田")])
with open(root + "/Кириллица/Ωμέγα-χαλασμένο.meta", "w", encoding="utf-8") as f:
    f.write("d3:fldd9:firstName9:Ann")
PY
out_folder="Вывод 出力"
for option in vcards excel pst; do
    run_both "scripts-$option" "--$option" "$tree"
    if [[ $option != pst ]]; then # a PST run ends at the file it cannot read
        check "scripts-$option: a damaged file gives status 1" -- test "$win_status" -eq 1
    fi
    check "scripts-$option: the damaged file is named" -- \
        grep -q "Ωμέγα-χαλασμένο.meta: damaged contact data" "$work/scripts-$option.win.out"
    if [[ $option == pst ]]; then same_pst "scripts-$option"; else same_files "scripts-$option"; fi
done
cards="$work/scripts-vcards.win/$out_folder"
check "scripts: every script in the vCard names" -- test -f "$cards/Σοφία Παπαδοπούλου1.vcf" \
    -a -f "$cards/太郎 山田4.vcf" -a -f "$cards/Юлия Иванова3.vcf" -a -f "$cards/华 李5.vcf"

# Names Windows keeps for devices, and a name long enough to take the path past 260
# characters, written into an output folder named in three scripts.
reserved="$work/reserved"
mkdir -p "$reserved"
n=0
for name in COM CON nul.x LPT "Ann." "$(printf 'L%.0s' {1..230})"; do
    n=$((n + 1))
    printf 'd3:fldd9:firstName%d:%se' "${#name}" "$name" >"$reserved/$n.meta"
done
out_folder="Résumé Ψ Ж 東京/$(printf 'd%.0s' {1..60})"
run_both "reserved" --vcards "$reserved"
check "reserved: converted" -- test "$win_status" -eq 0
same_files "reserved"
for card in COM1_.vcf CON2.vcf nul_.x3.vcf LPT4_.vcf Ann.5.vcf "$(printf 'L%.0s' {1..220})6.vcf"; do
    check "reserved: $card" -- test -s "$work/reserved.win/$out_folder/$card"
done
out_folder=

# Exit statuses of refused runs.
for refusal in "missing:--vcards:$work/nothing-here" "output-is-a-file:--excel:$corpus"; do
    IFS=: read -r name option input <<<"$refusal"
    if [[ $name == output-is-a-file ]]; then
        printf x >"$work/$name.lin" && printf x >"$work/$name.win"
    fi
    run_both "$name" "$option" "$input"
    check "$name: status 2" -- test "$win_status" -eq 2
done

# A queued path keeps no spaces at its ends on Windows.
"$wine" "$exe" --vcards --out "$(winpath "$work/spaces")" "  $(winpath "$corpus/ann-muller.meta")  " \
    >/dev/null 2>&1
check "spaces around a queued path" -- test -f "$work/spaces/Ann Müller1.vcf"

# A converter killed in the middle of a PST run leaves the last committed store, whole.
generator="$(dirname "$linux")/generate-meta-tree"
if [[ -x $generator ]]; then
    "$generator" "$work/many" 8000 >/dev/null
    "$wine" "$exe" --pst --out "$(winpath "$work/killed")" "$(winpath "$work/many")" >/dev/null 2>&1 &
    pid=$!
    # Until a commit with contacts has replaced the first, empty store.
    for _ in $(seq 600); do
        size=$(stat -c %s "$work/killed"/*.pst 2>/dev/null | head -1)
        [[ ${size:-0} -gt 1000000 ]] && break
        sleep 0.1
    done
    check "killed: still running when killed" -- kill -9 "$pid"
    wait "$pid" 2>/dev/null
    pst=$(ls "$work/killed"/*.pst 2>/dev/null | head -1)
    check "killed: the PST is whole" -- "$python" "$checker/pst_check.py" "$pst"
    contacts=$("$python" "$checker/pst_dump.py" "$pst" |
        "$python" -c 'import json, sys; print(len(json.load(sys.stdin)["contacts"]))')
    check "killed: the committed contacts are in it ($contacts)" -- test "${contacts:-0}" -gt 0
fi

echo "Windows: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
