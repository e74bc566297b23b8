#!/usr/bin/python3
# ZimbraContacts.vcf, the one file of a vCard run, read by the programs people import it with:
# python3-vobject, Evolution's reader (python3-gi), KDE's KContacts (a small reader this script
# builds) and Text::vCard. The contacts are those of the end-to-end check (every Zimbra key with
# accents, CJK, emoji, line breaks, commas, semicolons, quotes; no names; hand-made and generated
# files) and one with a byte that is not UTF-8. Each reader must find one card per contact in
# queue order, every value in the place the key table gives it, equal to what the CSV of the
# same export holds (keys without a CSV column: the value as read), the UIDs unique and a second
# run's file byte for byte the same.
#
# Two readers take liberties with the escapes the format requires, counted apart: Text::vCard
# shows a line break as the escape "\n"; KContacts keeps the "\;" escape in properties of one
# value and reads an escaped backslash before an "n" as a backslash and a line break.
#
# usage: vcard_file_readers.py PLUMBRAE_CONVERT GENERATE_META_TREE
import glob
import json
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import zimbra_outputs as z  # noqa: E402

ONE_FILE = "ZimbraContacts.vcf"
STRAY_BYTE = b"Zimbra-Contact-Id: 5\r\nd3:fldd9:firstName3:Eve8:lastName4:Cr\xe9m5:notes3:a;be1:vi10ee\r\n"

TEXT_VCARD = r"""use strict; use warnings; use JSON::PP; use Text::vCard::Addressbook;
my %parts = (N => [qw(family given middle prefixes suffixes)],
             ADR => [qw(po_box extended street city region post_code country)]);
my @cards;
for my $card (Text::vCard::Addressbook->load([$ARGV[0]])->vcards) {
    my @lines;
    for my $name (split ' ', $ARGV[1]) {
        for my $node (@{$card->get($name) || []}) {
            my @values = $name eq 'ORG' ? ($node->name // '', @{$node->unit || []})
                : $parts{$name} ? map { $node->$_ // '' } @{$parts{$name}} : ($node->value // '');
            push @lines, [$name, join(' ', sort map { uc } @{$node->types || []}), \@values];
        }
    }
    push @cards, \@lines;
}
print JSON::PP->new->utf8->encode(\@cards);"""
TEXT_VCARD_NAMES = ("N FN NICKNAME ORG TITLE TEL ADR URL EMAIL NOTE BDAY X-ANNIVERSARY UID "
                    + " ".join(sorted(set(z.IM_PROPERTIES.values()))) + " X-IM")
# Where KContacts puts what it takes as more than text.
KCONTACTS_IM_SCHEMES = {"X-JABBER": "xmpp", "X-AIM": "aim", "X-YAHOO": "ymsgr", "X-MSN": "msn",
                        "X-ICQ": "icq", "X-SKYPE": "skype", "X-GADUGADU": "gg"}
COMPOUND = ("N", "ADR", "ORG")


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, check=True, **kwargs).stdout


def vobject_cards(path, _):
    import vobject
    with open(path, encoding="utf-8") as handle:
        return [z.vobject_card_lines(card) for card in vobject.readComponents(handle.read())]


def eds_cards(path, _):
    # As Evolution's import does: the file cut into cards, each parsed by libebook-contacts.
    with open(path, encoding="utf-8", newline="") as handle:
        text = handle.read()
    return [z._eds_lines(card + "END:VCARD\r\n")[0] for card in text.split("END:VCARD\r\n")[:-1]]


def text_vcard_cards(path, _):
    return json.loads(run(["perl", "-e", TEXT_VCARD, path, TEXT_VCARD_NAMES]))


def kcontacts_cards(path, work):
    reader = os.path.join(work, "kcontacts_reader")
    if not os.path.exists(reader):
        flags = run(["pkg-config", "--cflags", "--libs", "Qt5Gui", "Qt5Core"], text=True).split()
        run(["c++", "-std=c++17", "-fPIC", "-o", reader, os.path.join(HERE, "kcontacts_reader.cpp"),
             "-I/usr/include/KF5/KContacts", "-lKF5Contacts"] + flags)
    return json.loads(run([reader, path]))


def kcontacts_place(prop, types, expected):
    if prop in KCONTACTS_IM_SCHEMES:
        return "IMPP", types, KCONTACTS_IM_SCHEMES[prop] + ":" + expected
    return {"X-IM": "X-IM-IM", "X-ANNIVERSARY": "X-KADDRESSBOOK-X-Anniversary"}.get(
        prop, prop), types, expected


def kcontacts_liberty(prop, value):
    # It keeps "\;" in properties of one value, and reads an escaped backslash before an "n"
    # as a backslash and a line break.
    value = value.replace("\\n", "\\\n")
    return value if prop in COMPOUND else value.replace(";", "\\;")


def no_liberty(prop, expected):
    return expected


# reader: (read the file into cards of lines, where the reader puts a value, its liberty)
READERS = {
    "python3-vobject": (vobject_cards, lambda *place: place, no_liberty),
    "Evolution (libebook-contacts)": (eds_cards, lambda *place: place, no_liberty),
    "KContacts": (kcontacts_cards, kcontacts_place, kcontacts_liberty),
    "Text::vCard": (text_vcard_cards, lambda *place: place,
                    lambda prop, value: value.replace("\r\n", "\n").replace("\n", "\\n")),
}


def expected_cards(contacts, rows):
    # Per contact, [(key, property, types, part, value)]: the CSV's cell where the key has a
    # column, else the value as read.
    cards = []
    for number, fields in enumerate(contacts, start=1):
        card = []
        for (key, output), value in z.expected_values(fields).items():
            (prop, types, part), column, _ = z.PLACES[key]
            if output != "vcard":
                continue
            if prop == "IM":
                prop, value = value
            elif column is not None:
                value = rows[number][column - 1]
            card.append((key, prop, types, part, value))
        cards.append(card)
    return cards


def compare(reader, cards, expected, problems):
    # (values equal, values equal allowing the reader's liberty, values expected)
    _, place, liberty = READERS[reader]
    strict = lenient = total = 0
    if len(cards) != len(expected):
        problems.append("%s: %d cards for %d contacts" % (reader, len(cards), len(expected)))
    for number, (lines, wanted) in enumerate(zip(cards, expected), start=1):
        for key, prop, types, part, value in wanted:
            name, line_types, value = place(prop, types, value)
            found = [values[part] for n, t, values in lines
                     if n == name and t == line_types and part < len(values)]
            total += 1
            strict += any(z.same_text(f, value) for f in found)
            if any(z.same_text(f, liberty(name, value)) for f in found):
                lenient += 1
            else:
                problems.append("%s: card %d: %s reads %r, not %r" % (reader, number, key, found, value))
    return strict, lenient, total


def convert(program, option, out, files):
    status = subprocess.run([program, option, "--out", out] + files, capture_output=True).returncode
    return status


def make_export(generator, work):
    # The contact files of the end-to-end check and their fields, in queue order.
    for name, fields in (("every", z.meta(z.EVERY_KEY)), ("second", z.meta(z.SECOND)),
                         ("nameless", z.meta(z.NAMELESS)), ("western", z.meta(z.WESTERN))):
        z.write("%s/%s.meta" % (work, name), fields)
    with open(work + "/stray.meta", "wb") as handle:
        handle.write(STRAY_BYTE)
    subprocess.run([generator, work + "/tree", "150", "7"], check=True, capture_output=True)
    files = [work + "/%s.meta" % n for n in ("every", "second", "nameless", "western", "stray")]
    files += sorted(glob.glob(os.path.join(HERE, "..", "data", "meta", "*.meta")))
    files += sorted(glob.glob(work + "/tree/**/*.meta", recursive=True))
    contacts = [(f, z.read_meta(f)) for f in files]
    return [f for f, c in contacts if c is not None], [c for _, c in contacts if c is not None]


def main(argv):
    program, generator = argv[1], argv[2]
    problems = []
    with tempfile.TemporaryDirectory() as work:
        files, contacts = make_export(generator, work)
        for option, out in (("--vcards", "/cards"), ("--vcards", "/again"), ("--excel", "/sheet")):
            if convert(program, option, work + out, files) != 0 and option == "--vcards":
                problems.append("%s run failed" % option)
        path = work + "/cards/" + ONE_FILE
        with open(path, "rb") as one, open(work + "/again/" + ONE_FILE, "rb") as again:
            data = one.read()
            if data != again.read():
                problems.append("a second run wrote another " + ONE_FILE)
        uids = [line[4:] for line in data.decode("utf-8").split("\r\n") if line.startswith("UID:")]
        if len(set(uids)) != len(contacts) or uids[0] != "uid-1":
            problems.append("UIDs: %d unique of %d cards, the first %r" % (
                len(set(uids)), len(uids), uids[:1]))
        expected = expected_cards(contacts, z.read_csv(work + "/sheet/ZimbraContacts.csv"))
        for reader, (read, _, _) in READERS.items():
            strict, lenient, total = compare(reader, read(path, work), expected, problems)
            print("%-30s %6.2f%% of %d values read equal, %6.2f%% allowing its liberty" % (
                reader, 100.0 * strict / total, total, 100.0 * lenient / total))
    print("\n".join(problems + ["%d problems" % len(problems)]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
