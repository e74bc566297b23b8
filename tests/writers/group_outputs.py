#!/usr/bin/python3
# Contact groups through plumbrae-convert into the three outputs, read back by the programs people
# open them with: the group cards by Evolution's address-book library (python3-gi), which must
# take each as a contact list with every address, by python3-vobject and by Text::vCard;
# ZimbraGroups.csv by Python's csv module; the PST's distribution lists by python3-pypff, with
# every member's name and address in order, and by the project's checker. The queue: contacts,
# groups in every form of member list (one without members, one of 300), a folder's file, and a
# generated export. Every run ends with exit status 0 and says how many groups and members were
# converted.
#
# usage: group_outputs.py PLUMBRAE_CONVERT GENERATE_META_TREE [COUNT]
# With COUNT, only the generated export of COUNT files is converted, and the groups and members
# that arrive in each output are printed (the figures of the closing notes).
import csv
import glob
import json
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from zimbra_outputs import CHECKER, meta, read_meta, run  # noqa: E402

sys.path.insert(0, CHECKER)


def closing_quote(text, start):
    i = start + 1
    while i < len(text):
        if text[i] == "\\":
            i += 1
        elif text[i] == '"':
            return i
        i += 1
    return -1


def split_members(dlist):
    # The member texts: split at commas outside double quotes (a quote never closed is text).
    pieces, start, i = [], 0, 0
    while i <= len(dlist):
        if i < len(dlist) and dlist[i] == '"' and closing_quote(dlist, i) > 0:
            i = closing_quote(dlist, i)
        elif i == len(dlist) or dlist[i] == ",":
            pieces.append(dlist[start:i].strip(" \t\r\n"))
            start = i + 1
        i += 1
    return [p for p in pieces if p]


def expected_group(fields):
    # (name, [(member name, address)]) as the reader must find them.
    name = fields.get("nickname") or fields.get("fileAs", "").partition(":")[2] or \
        fields.get("fullName", "")
    members = []
    for text in split_members(fields.get("dlist", "")):
        match = re.fullmatch(r'(.*?)\s*<([^<>]*)>', text, re.S) if text.endswith(">") else None
        if match and match.group(1).count('"') % 2 == 0:
            person = match.group(1).strip(" \t\r\n")
            if len(person) > 1 and person[0] == person[-1] == '"':
                person = re.sub(r'\\(.)', r'\1', person[1:-1])
            members.append((person, match.group(2).strip(" \t\r\n")))
        else:
            members.append(("", text[1:-1] if len(text) > 1 and text[0] == text[-1] == '"'
                            else text))
    return name.strip(" "), members


def eds_list(text):
    import gi
    gi.require_version("EBookContacts", "1.2")
    from gi.repository import EBookContacts
    contact = EBookContacts.Contact.new_from_vcard(text)
    emails = [(next((p.get_values()[0] for p in a.get_params()
                     if p.get_name().upper() == "X-EVOLUTION-DEST-NAME"), ""), a.get_values()[0])
              for a in contact.get_attributes(EBookContacts.ContactField.EMAIL)]
    return contact.get_property("list"), contact.get_property("full-name"), emails


def read_cards(folder, numbers):
    # {queue number: (is a list, name, [(member name, address)])} as Evolution reads each card;
    # python3-vobject must read the same addresses.
    import vobject
    out, problems = {}, []
    for number in numbers:
        paths = [p for p in glob.glob(os.path.join(glob.escape(folder), "*.vcf"))
                 if re.search(r"\D%d(?: \(\d+\))?\.vcf$" % number, "x" + os.path.basename(p))]
        if len(paths) != 1:
            problems.append("group %d: cards %s" % (number, paths))
            continue
        with open(paths[0], encoding="utf-8") as handle:
            text = handle.read()
        out[number] = eds_list(text)
        card = vobject.readOne(text)
        addresses = [line.value for line in card.lines() if line.name == "EMAIL"]
        if addresses != [a for _, a in out[number][2]] or card.fn.value != out[number][1]:
            problems.append("vobject reads %s as %s" % (paths[0], addresses))
    return out, problems


TEXT_VCARD = r"""use Text::vCard::Addressbook; $SIG{__WARN__} = sub {};
for my $path (@ARGV) {
    my @cards = Text::vCard::Addressbook->load([$path])->vcards;
    my @emails = map { $_->value } @{$cards[0]->get("EMAIL") || []};
    print "$path: ", scalar(@cards), " cards, ", scalar(@emails), " addresses\n";
}"""


def check_option(program, option, out, files, groups, contacts, problems):
    # Converts `files`; returns {output: (groups arrived, members arrived)} for the groups
    # {queue number: (name, members)}.
    status, lines = run([program, option, "--out", out] + files)
    member_count = sum(len(m) for _, m in groups.values())
    said = "%d contact group%s converted (%d member%s)" % (
        len(groups), "s were" if len(groups) != 1 else " was", member_count,
        "s" if member_count != 1 else "")
    if status != 0 or said not in lines:
        problems.append("%s: exit %d, no %r in %s" % (option, status, said, lines[-6:]))
    arrived = {}
    if option == "--vcards":
        cards, found = read_cards(out, groups)
        problems += found
        arrived = {n: (c[1], c[2]) for n, c in cards.items() if c[0]}
        paths = [p for p in glob.glob(os.path.join(glob.escape(out), "*.vcf"))
                 if os.path.basename(p) != "ZimbraContacts.vcf"]
        for line in run(["perl", "-e", TEXT_VCARD] + paths)[1]:
            if not line.rsplit(": ", 1)[1].startswith("1 cards"):
                problems.append("Text::vCard: " + line)
    elif option == "--excel":
        with open(out + "/ZimbraGroups.csv", newline="", encoding="utf-8-sig") as handle:
            rows = list(csv.reader(handle))
        if rows[0] != ["Group", "Member name", "Member e-mail address"]:
            problems.append("ZimbraGroups.csv header %s" % rows[0])
        expected_rows = [[name] + list(m) for name, members in groups.values()
                         for m in members or [("", "")]]
        rows = [r + [""] * (3 - len(r)) for r in rows[1:]]
        if rows != expected_rows:
            problems.append("ZimbraGroups.csv: %d rows, %d expected; first difference %s" % (
                len(rows), len(expected_rows),
                next(((a, b) for a, b in zip(rows, expected_rows) if a != b), None)))
        arrived, pos = {}, 0
        for number, (name, members) in groups.items():
            take = rows[pos:pos + max(1, len(members))]
            pos += max(1, len(members))
            if take and all(r[0] == name for r in take):
                arrived[number] = (name, [(r[1], r[2]) for r in take if r[1] or r[2]])
    else:
        pst = glob.glob(out + "/*.pst")[0]
        status, lines = run(["/usr/bin/python3", os.path.join(CHECKER, "pst_check.py"), pst])
        if status != 0:
            problems.append("pst_check: %s" % lines[:10])
        dump = json.loads("\n".join(run(["/usr/bin/python3", os.path.join(
            CHECKER, "pst_dump.py"), pst])[1]))
        lists = dump["dist_lists"]
        if len(dump["contacts"]) != contacts or len(lists) != len(groups):
            problems.append("the PST holds %d contacts" % len(dump["contacts"]))
        for number, seen in zip(groups, lists):
            # A list too long for the member properties is whole in its members stream, the
            # properties holding its leading members.
            listed = seen["stream_members"] or seen["members"]
            members = [(shown if shown != address else "", address)
                       for shown, _, address in listed]
            if seen["members"] == seen["one_off_members"] == listed[:len(seen["members"])] \
                    and seen["subject"] == seen["name"]:
                arrived[number] = (seen["name"], members)
    whole, members_arrived = 0, 0
    for number, (name, members) in groups.items():
        got = arrived.get(number) or ("", [])
        # A list shows a member without a name by its address; a card's parameter cannot hold a
        # double quote or a line break.
        want = (name, [(n.replace('"', "'").replace("\n", " ") if option == "--vcards" else
                        "" if option == "--pst" and n == a else n, a) for n, a in members])
        whole += got == want
        members_arrived += sum(a == b for a, b in zip(got[1], want[1])) if got[0] == name else 0
        if got != want:
            problems.append("%s: group %d %r arrived as %r" % (option, number, want,
                                                               (got[0], got[1][:3])))
    return whole, members_arrived


def hand_made(work):
    # Contacts, groups and a folder's file; the groups hold every form of member list.
    big = ", ".join('"Mitglied %d, Verein" <m%d@example.de>' % (i, i) if i % 3 else
                    "m%d@example.de" % i for i in range(300))
    files = {
        "ann": meta({"firstName": "Ann", "lastName": "Lee", "email": "ann@example.org"}),
        "club": meta({"type": "group", "nickname": "Book Club; EU", "dlist": (
            ' "Lee, Ann" <ann@example.org>,bob@example.org , , Zoë Müller <zoe@example.ch>,'
            '"Quote \\"Q\\", Person" <q@example.org>, 李华 <li@example.cn>, postmaster,'
            ' <only@example.org>, "Ünal, Ayşe 🌷" <ayse@example.tr>')}),
        "empty": meta({"type": "group", "fileAs": "8:Nachbarn"}),
        "big": meta({"type": "group", "fullName": "Verein", "dlist": big}),
        "folder": "Zimbra-Folder-Id: 7\r\nd1:vi10e2:vt7:contact3:i4ni258e4:mseqi1ee\r\n",
        "bob": meta({"fullName": "Bob Kim", "email": "bob@example.org"}),
    }
    paths = []
    for name, text in files.items():
        paths.append(os.path.join(work, name + ".meta"))
        with open(paths[-1], "w", encoding="utf-8", newline="") as handle:
            handle.write(text)
    return paths


def main(argv):
    program, generator = argv[1], argv[2]
    count = int(argv[3]) if len(argv) > 3 else None
    problems, figures = [], {}
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([generator, work + "/tree", str(count or 200), "11"], check=True,
                       capture_output=True)
        files = ([] if count else hand_made(work)) + sorted(
            glob.glob(work + "/tree/**/*.meta", recursive=True))
        # Folders' and messages' files stay in the queue, as a user queues a whole export.
        fields = {n + 1: read_meta(f, groups=True) for n, f in enumerate(files)}
        groups = {n: expected_group(f) for n, f in fields.items()
                  if f is not None and f.get("type") == "group"}
        contacts = sum(1 for f in fields.values() if f is not None) - len(groups)
        for option in ("--vcards", "--excel", "--pst"):
            figures[option] = check_option(program, option, os.path.join(work, option), files,
                                           groups, contacts, problems)
    members = sum(len(m) for _, m in groups.values())
    for option, (got, got_members) in figures.items():
        print("%s: %d of %d groups, %d of %d members arrived" % (option, got, len(groups),
                                                                 got_members, members))
    print("\n".join(problems + ["%d problems" % len(problems)]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
