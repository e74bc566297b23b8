#!/usr/bin/env bash
# A user's bad day, through plumbrae-convert: runs killed at several points, a file size limit
# that makes writes fail part-way (a full disk), two vCard runs into one folder at once, and
# leftovers of killed runs. Each output must be the old file or the complete new one, never a
# cut one, and no temporary file may stay after the next run.
# usage: crash_safety_test.sh PLUMBRAE_CONVERT
set -uo pipefail
convert=$1
py=/usr/bin/python3
checker=$(dirname "$0")/../pst/checker
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }

make_contacts() { # make_contacts FOLDER COUNT NOTE_LENGTH: COUNT contacts named "Ann Lee"
    local i note
    note=$(printf 'n%.0s' $(seq "$3"))
    mkdir -p "$1"
    for ((i = 0; i < $2; i++)); do
        printf 'd3:fldd9:firstName3:Ann8:lastName3:Lee5:notes%d:%see' "$3" "$note" >"$1/$i.meta"
    done
}
whole_cards() { # whole_cards FOLDER NOTE_LENGTH...: how many cards are not one whole card of
    # these; ZimbraContacts.vcf beside them counts as one more unless it holds whole cards of one run
    "$py" -c 'import glob, os, re, sys
one = sys.argv[1] + "/ZimbraContacts.vcf"
cards = [open(p, "rb").read() for p in glob.glob(sys.argv[1] + "/*.vcf") if p != one]
lengths = [[int(n)] for n in sys.argv[2:]]
bad = sum(not (c.count(b"BEGIN:VCARD") == 1 and c.endswith(b"End:VCARD\r\n") and
               [len(n) for n in re.findall(b"\r\nNOTE:([^\r]*)", c)] in lengths) for c in cards)
if os.path.exists(one):  # folded notes: each card a NOTE line and its continuations
    all = open(one, "rb").read().replace(b"\r\n ", b"")
    notes = {len(n) for n in re.findall(b"\r\nNOTE:([^\r]*)", all)}
    bad += not (all.count(b"BEGIN:VCARD") == all.count(b"END:VCARD\r\n") == len(re.findall(
        b"\r\nNOTE:", all)) > 0 and all.endswith(b"END:VCARD\r\n") and len(notes) == 1 and
        [notes.pop()] in lengths)
print(bad)' "$@"
}
sheet_rows() { # sheet_rows FILE: the contact rows of a complete worksheet, or "cut"
    "$py" -c 'import os, sys, xlrd
print(xlrd.open_workbook(sys.argv[1], logfile=open(os.devnull, "w")).sheet_by_index(0).nrows - 1)' "$1" 2>/dev/null || echo cut
}
leftovers() { # leftovers FOLDER: temporary files of ours in the folder
    find "$1" -maxdepth 1 \( -name '.plumbrae-*.part' -o -name '*.pst.tmp' -o -name '*.pst.spare' \) | wc -l; }

make_contacts "$work/small" 50 10
make_contacts "$work/big" 6000 400

# 1. Killed at several points: the worksheet and the cards of an earlier run stay whole.
for option in --excel --vcards --pst; do
    out=$work/killed$option
    "$convert" "$option" --out "$out" "$work/small" &>/dev/null || fail "$option: first run"
    for delay in 0.05 0.4 1.2; do
        "$convert" "$option" --out "$out" "$work/big" &>/dev/null &
        sleep "$delay"
        kill -9 $! 2>/dev/null
        wait $! 2>/dev/null
        what="$option killed after ${delay}s"
        case $option in
        --excel) [[ $(sheet_rows "$out/ZimbraContacts.xls") == @(50|6000) ]] || fail "$what: cut sheet" ;;
        --vcards) [[ $(whole_cards "$out" 10 400) == 0 ]] || fail "$what: cut cards" ;;
        --pst) # A kill inside a commit leaves the old header's file size and free-byte count behind.
            for pst in "$out"/Zimbracontacts*.pst; do
                findings=$("$py" "$checker/pst_check.py" "$pst" 2>&1 | grep -v -e ibFileEof -e cbAMapFree)
                [[ -z $findings ]] || fail "$what: $findings"
            done ;;
        esac
        sleep 1 # a new stamp for the next PST file
    done
    "$convert" "$option" --out "$out" "$work/small" &>/dev/null || fail "$option: run after the kills"
    [[ $(leftovers "$out") == 0 ]] || fail "$option: leftovers after the next run: $(ls -A "$out")"
done

# 2. A full disk, as a file size limit: the write fails part-way. The earlier worksheet stays,
# no temporary file stays, and the run says why.
for limit in "64 --excel killed--excel" "1024 --pst fullpst"; do
    read -r blocks option out <<<"$limit"
    (trap '' XFSZ && ulimit -f "$blocks" && "$convert" "$option" --out "$work/$out" "$work/big") &>/dev/null
    status=$?
    [[ $status == 2 ]] || fail "full disk, $option: exit $status"
    [[ $(leftovers "$work/$out") == 0 ]] || fail "full disk, $option: a temporary file stayed"
done
[[ $(sheet_rows "$work/killed--excel/ZimbraContacts.xls") == 50 ]] || fail "full disk: the earlier worksheet changed"
for pst in "$work"/fullpst/Zimbracontacts*.pst; do "$py" "$checker/pst_dump.py" "$pst" &>/dev/null || fail "full disk: $pst"; done

# 3. Two vCard runs into one folder at once: every card is one run's whole card.
make_contacts "$work/short" 3000 5
make_contacts "$work/long" 3000 3000
for try in 1 2; do
    rm -rf "$work/both"
    "$convert" --vcards --out "$work/both" "$work/short" &>/dev/null &
    "$convert" --vcards --out "$work/both" "$work/long" &>/dev/null
    wait
    [[ $(ls "$work/both" | wc -l) == 3001 ]] || fail "concurrent try $try: $(ls "$work/both" | wc -l) cards"
    [[ $(whole_cards "$work/both" 5 3000) == 0 ]] || fail "concurrent try $try: mixed cards"
    [[ $(leftovers "$work/both") == 0 ]] || fail "concurrent try $try: temporary files stayed"
done

# 4. Leftovers of killed runs are removed when they are ours, whatever their stamp; another
# program's file of a similar name stays.
mkdir "$work/left"
printf '!BDN and the rest of a store' >"$work/left/Zimbracontacts1.1.20 1.1.01.pst.tmp"
head -c 20000 /dev/zero >"$work/left/Zimbracontacts2.1.20 1.1.01.pst.tmp"
printf '!BDN' >"$work/left/Zimbracontacts3.1.20 1.1.01.pst.spare"
printf 'part of a card' >"$work/left/.plumbrae-0123456789abcdef.part"
printf 'my notes' >"$work/left/notes.pst.tmp"
"$convert" --pst --out "$work/left" "$work/small" &>/dev/null || fail "pst run over leftovers"
"$convert" --vcards --out "$work/left" "$work/small" &>/dev/null || fail "vcard run over leftovers"
[[ $(leftovers "$work/left") == 1 ]] || fail "leftovers not removed: $(ls -A "$work/left")"
[[ $(cat "$work/left/notes.pst.tmp") == "my notes" ]] || fail "another program's file was removed"

# 5. Contact groups, killed in the middle: whole group cards only, the old or the whole new
# ZimbraGroups.csv, and a valid PST whose every distribution list holds all its members.
make_groups() { # make_groups FOLDER COUNT: COUNT groups "Club" of 30 members each
    local i list
    list=$(for ((m = 0; m < 30; m++)); do printf '"Member %d, X" <m%d@example.org>, ' $m $m; done)
    mkdir -p "$1"
    for ((i = 0; i < $2; i++)); do
        printf 'd3:fldd5:dlist%d:%s8:nickname4:Club4:type5:groupee' "${#list}" "$list" >"$1/$i.meta"
    done
}
groups_whole() { # groups_whole FOLDER OPTION OLD_ROWS NEW_ROWS: what is cut in the output, if anything
    "$py" - "$@" <<'CHECK'
import csv, glob, json, os, subprocess, sys
folder, option, rows = sys.argv[1], sys.argv[2], sys.argv[3:]
if option == "--vcards":
    for path in glob.glob(folder + "/*.vcf"):
        card = open(path, "rb").read() if not path.endswith("/ZimbraContacts.vcf") else b""
        if not card:
            continue
        if not card.endswith(b"End:VCARD\r\n") or card.count(b"\r\nEMAIL;") != 30:
            print("cut card", path)
elif option == "--excel":
    with open(folder + "/ZimbraGroups.csv", newline="", encoding="utf-8-sig") as handle:
        got = list(csv.reader(handle))
    if str(len(got) - 1) not in rows or any(len(r) != 3 for r in got):
        print("ZimbraGroups.csv holds %d rows" % (len(got) - 1))
else:
    for pst in glob.glob(folder + "/*.pst"):
        dump = json.loads(subprocess.run([sys.executable, os.path.join(os.getcwd(), "pst_dump.py"), pst],
                                         capture_output=True, text=True).stdout or "{}")
        if any(len(l["members"]) != 30 for l in dump.get("dist_lists", [None])):
            print("a cut list in", pst)
CHECK
}
make_groups "$work/fewgroups" 10
make_groups "$work/groups" 3000
for option in --excel --vcards --pst; do
    out=$work/groups$option
    "$convert" "$option" --out "$out" "$work/fewgroups" &>/dev/null || fail "$option: first group run"
    for delay in 0.1 0.8; do
        "$convert" "$option" --out "$out" "$work/groups" &>/dev/null &
        sleep "$delay"
        kill -9 $! 2>/dev/null
        wait $! 2>/dev/null
        cut=$(cd "$checker" && groups_whole "$out" "$option" 300 90000)
        [[ -z $cut ]] || fail "$option groups killed after ${delay}s: $cut"
        if [[ $option == --pst ]]; then
            for pst in "$out"/Zimbracontacts*.pst; do
                findings=$("$py" "$checker/pst_check.py" "$pst" 2>&1 | grep -v -e ibFileEof -e cbAMapFree)
                [[ -z $findings ]] || fail "$option groups killed after ${delay}s: $findings"
            done
        fi
        sleep 1
    done
done

echo "$failures failure(s)"
[[ $failures -eq 0 ]]
