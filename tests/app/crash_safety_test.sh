#!/usr/bin/env bash
# A user's bad day, through plumbrae-convert: runs killed at several points, a file size limit
# that makes writes fail part-way (a full disk), two vCard runs into one folder at once, inputs
# that are no files (a pipe, /dev/zero, a link loop), and leftovers of killed runs. Each output
# must be the old file or the complete new one, never a cut one, and no temporary file may stay
# after the next run.
# usage: crash_safety_test.sh PLUMBRAE_CONVERT
set -uo pipefail
convert=$1
py=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# make_contacts FOLDER COUNT NOTE_LENGTH: COUNT contacts all named "Ann Lee".
make_contacts() {
    "$py" - "$@" <<'PY'
import os, sys
folder, count, note = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
os.makedirs(folder, exist_ok=True)
text = ("n" * note)
for i in range(count):
    with open(os.path.join(folder, "%06d.meta" % i), "w") as f:
        f.write("d3:fldd9:firstName3:Ann8:lastName3:Lee5:notes%d:%see" % (len(text), text))
PY
}
# whole_cards FOLDER [NOTE_LENGTH...]: every card is one whole card with one of these notes.
whole_cards() {
    "$py" - "$@" <<'PY'
import glob, os, sys
folder, lengths = sys.argv[1], {int(n) for n in sys.argv[2:]}
bad = 0
for path in glob.glob(os.path.join(folder, "*.vcf")):
    data = open(path, "rb").read()
    note = [l for l in data.split(b"\r\n") if l.startswith(b"NOTE")]
    if (data.count(b"BEGIN:VCARD") != 1 or not data.endswith(b"End:VCARD\r\n")
            or len(note) != 1 or (lengths and len(note[0].split(b":", 1)[1]) not in lengths)):
        bad += 1
print(bad)
PY
}
# sheet_rows FILE: the contact rows of a complete worksheet, or "cut" when it is not one.
sheet_rows() {
    "$py" -c '
import os, sys, xlrd
try:
    print(xlrd.open_workbook(sys.argv[1], logfile=open(os.devnull, "w")).sheet_by_index(0).nrows - 1)
except Exception:
    print("cut")' "$1"
}
# pst_contacts FILE: contacts in the Contacts folder as libpff reads them, or "cut".
pst_contacts() {
    "$py" -c '
import sys, pypff
try:
    f = pypff.file(); f.open(sys.argv[1])
    def walk(folder):
        for i in range(folder.number_of_sub_folders):
            sub = folder.get_sub_folder(i)
            if sub.name == "Contacts":
                return sub.number_of_sub_messages
            found = walk(sub)
            if found is not None:
                return found
    print(walk(f.get_root_folder()))
except Exception:
    print("cut")' "$1"
}
leftovers() { # leftovers FOLDER: temporary files of ours in the folder
    find "$1" -maxdepth 1 \( -name '.plumbrae-*.part' -o -name '*.pst.tmp' -o -name '*.pst.spare' \) | wc -l
}

make_contacts "$work/small" 50 10
make_contacts "$work/big" 6000 400

# 1. Killed at several points: the worksheet and the cards of an earlier run stay whole.
for option in --excel --vcards --pst; do
    out=$work/killed$option
    "$convert" "$option" --out "$out" "$work/small" >/dev/null 2>&1 || fail "$option: first run"
    for delay in 0.05 0.4 1.2; do
        "$convert" "$option" --out "$out" "$work/big" >/dev/null 2>&1 &
        pid=$!
        sleep "$delay"
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        case $option in
        --excel)
            rows=$(sheet_rows "$out/ZimbraContacts.xls")
            [[ $rows == 50 || $rows == 6000 ]] || fail "excel killed after ${delay}s: $rows rows" ;;
        --vcards)
            [[ $(whole_cards "$out" 10 400) == 0 ]] || fail "vcards killed after ${delay}s: cut cards" ;;
        --pst)
            for pst in "$out"/Zimbracontacts*.pst; do
                [[ $(pst_contacts "$pst") != cut ]] || fail "pst killed after ${delay}s: $pst unreadable"
            done ;;
        esac
        sleep 1 # a new stamp for the next PST file
    done
    "$convert" "$option" --out "$out" "$work/small" >/dev/null 2>&1 || fail "$option: run after the kills"
    [[ $(leftovers "$out") == 0 ]] || { fail "$option: leftovers after the next run"; ls -a "$out" | head; }
done

# 2. A full disk, as a file size limit: the write fails part-way. The earlier worksheet stays,
# no temporary file stays, and the run says why.
(
    trap '' XFSZ
    ulimit -f 64 # 64 KiB per file
    "$convert" --excel --out "$work/killed--excel" "$work/big" >"$work/stdout" 2>&1
    echo $? >"$work/status"
)
[[ $(cat "$work/status") == 2 ]] || fail "full disk: exit $(cat "$work/status")"
rows=$(sheet_rows "$work/killed--excel/ZimbraContacts.xls")
[[ $rows == 50 ]] || fail "full disk: the earlier worksheet became $rows"
[[ $(leftovers "$work/killed--excel") == 0 ]] || fail "full disk: a temporary file stayed"
(
    trap '' XFSZ
    ulimit -f 1024
    "$convert" --pst --out "$work/fullpst" "$work/big" >"$work/stdout" 2>&1
    echo $? >"$work/status"
)
[[ $(cat "$work/status") == 2 ]] || fail "full disk, pst: exit $(cat "$work/status")"
[[ $(leftovers "$work/fullpst") == 0 ]] || fail "full disk, pst: a temporary file stayed"
for pst in "$work"/fullpst/Zimbracontacts*.pst; do
    [[ $(pst_contacts "$pst") != cut ]] || fail "full disk, pst: $pst unreadable"
done

# 3. Two vCard runs into one folder at once: every card is one run's whole card.
make_contacts "$work/short" 3000 5
make_contacts "$work/long" 3000 3000
for try in 1 2; do
    rm -rf "$work/both"
    "$convert" --vcards --out "$work/both" "$work/short" >/dev/null 2>&1 &
    "$convert" --vcards --out "$work/both" "$work/long" >/dev/null 2>&1
    wait
    [[ $(ls "$work/both" | wc -l) == 3000 ]] || fail "concurrent try $try: $(ls "$work/both" | wc -l) cards"
    bad=$(whole_cards "$work/both" 5 3000)
    [[ $bad == 0 ]] || fail "concurrent try $try: $bad mixed cards"
    [[ $(leftovers "$work/both") == 0 ]] || fail "concurrent try $try: temporary files stayed"
done

# 4. What is not a file ends at once with a listed reason; a link loop has its own.
mkfifo "$work/pipe.meta"
ln -s loop.meta "$work/loop.meta"
for option in --vcards --excel; do
    timeout 20 "$convert" "$option" --out "$work/odd$option" "$work/pipe.meta" /dev/zero \
        "$work/loop.meta" "$work/small/000001.meta" >"$work/stdout" 2>&1
    status=$?
    [[ $status == 1 ]] || fail "$option odd inputs: exit $status (124 is a hang)"
    grep -q "pipe.meta: not a regular file" "$work/stdout" || fail "$option: pipe not listed"
    grep -q "/dev/zero: not a regular file" "$work/stdout" || fail "$option: /dev/zero not listed"
    grep -q "loop.meta: a link loop" "$work/stdout" || fail "$option: link loop not listed"
done
timeout 20 "$convert" --pst --out "$work/oddpst" /dev/zero >"$work/stdout" 2>&1
[[ $? == 2 ]] || fail "pst /dev/zero: exit $?"
grep -q "not a regular file" "$work/stdout" || fail "pst: /dev/zero reason"
# Inside a folder the pipe is met, queued and listed too.
mkdir "$work/withpipe" && mkfifo "$work/withpipe/p.meta"
timeout 20 "$convert" --vcards --out "$work/o6" "$work/withpipe" >"$work/stdout" 2>&1
grep -q "p.meta: not a regular file" "$work/stdout" || fail "pipe in a folder not listed"

# 5. Leftovers of killed runs are removed when they are ours, whatever their stamp; another
# program's file of a similar name stays.
mkdir "$work/left"
printf '!BDN and the rest of a store' >"$work/left/Zimbracontacts1.1.20 1.1.01.pst.tmp"
head -c 20000 /dev/zero >"$work/left/Zimbracontacts2.1.20 1.1.01.pst.tmp"
printf '!BDN' >"$work/left/Zimbracontacts3.1.20 1.1.01.pst.spare"
printf 'part of a card' >"$work/left/.plumbrae-0123456789abcdef.part"
printf 'my notes' >"$work/left/notes.pst.tmp"
"$convert" --pst --out "$work/left" "$work/small" >/dev/null 2>&1 || fail "pst run over leftovers"
"$convert" --vcards --out "$work/left" "$work/small" >/dev/null 2>&1 || fail "vcard run over leftovers"
[[ $(leftovers "$work/left") == 1 ]] || { fail "leftovers not removed"; ls -a "$work/left"; }
[[ $(cat "$work/left/notes.pst.tmp") == "my notes" ]] || fail "another program's file was removed"

echo "$failures failure(s)"
[[ $failures -eq 0 ]]
