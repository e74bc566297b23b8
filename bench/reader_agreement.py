#!/usr/bin/python3
"""How many values arrive equal in the programs people open our outputs with.

Generates COUNT contact files, converts them with each given plumbrae-convert (for example an
older build and the current one) to all three outputs, and reads the outputs back with
python3-xlrd, LibreOffice Calc (headless), gnumeric's ssconvert, Python's csv module,
python3-vobject, Text::vCard and readpst. The reference is what the current build's CSV holds
(every value whole, exactly as read from the contact files). For each reader it prints the share
of reference values that the reader shows unchanged.

usage: reader_agreement.py GENERATOR COUNT CONVERT [CONVERT...]
"""
import csv
import json
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
READPST_CONTACTS = os.path.join(HERE, "..", "tests", "pst", "checker", "readpst_contacts.py")

# vCard and PST values compared, with the CSV column (1-based) each one shows.
CARD_VALUES = {"family": 3, "email": 4, "title": 8, "org": 7, "note": 36, "cell": 21, "url": 10,
               "home_street": 26, "home_city": 27, "home_zip": 28, "home_state": 29,
               "home_country": 30}
PST_VALUES = {"family": 3, "email": 4, "title": 8, "org": 7, "note": 36, "cell": 21}


def run(args, **kwargs):
    return subprocess.run(args, check=False, capture_output=True, **kwargs)


def crlf(text):
    return text.replace("\r\n", "\n").replace("\r", "\n")


def read_csv(path):
    with open(path, newline="", encoding="utf-8-sig") as handle:
        return list(csv.reader(handle))


def share(equal, total):
    return f"{100.0 * equal / total:6.2f}% ({equal} of {total})" if total else "n/a"


def sheet_agreement(rows, reference):
    """Cells of the reference (non-empty, below the titles) that the reader shows equal."""
    equal = total = 0
    for rowx, want_row in enumerate(reference[1:], start=1):
        got_row = rows[rowx] if rowx < len(rows) else []
        for colx, want in enumerate(want_row):
            if not want:
                continue
            total += 1
            got = str(got_row[colx]) if colx < len(got_row) else ""
            equal += crlf(got) == crlf(want)
    return equal, total


def read_xlrd(path):
    import xlrd
    try:
        book = xlrd.open_workbook(path)
    except Exception as error:  # the reader refusing the file is what is measured
        print(f"    xlrd: {error}")
        return []
    sheet = book.sheet_by_index(0)
    return [sheet.row_values(r) for r in range(sheet.nrows)]


def read_libreoffice(path, work):
    out = os.path.join(work, "lo")
    os.makedirs(out, exist_ok=True)
    env = dict(os.environ, HOME=os.path.join(work, "home"))
    run(["soffice", "--headless", "--norestore",
         "-env:UserInstallation=file://" + os.path.join(work, "lo-profile"), "--convert-to",
         "csv:Text - txt - csv (StarCalc):44,34,76,1", "--outdir", out, path], env=env)
    result = os.path.join(out, os.path.splitext(os.path.basename(path))[0] + ".csv")
    return read_csv(result) if os.path.exists(result) else []


def read_gnumeric(path, work):
    out = os.path.join(work, "gnumeric.csv")
    run(["ssconvert", "--export-type=Gnumeric_stf:stf_csv", path, out],
        env=dict(os.environ, HOME=os.path.join(work, "home")))
    return read_csv(out) if os.path.exists(out) else []


def card_row(name, reference):
    """The contact number a vCard file name ends with, checked against the reference."""
    match = re.search(r"(\d+)(?: \(\d+\))?\.vcf$", name)
    digits = match.group(1) if match else ""
    for start in range(len(digits)):
        number = int(digits[start:])
        if 1 <= number < len(reference) and reference[number][2] in name:
            return number
    return None


def vobject_values(text):
    import vobject
    card = vobject.readOne(text)
    values = {}
    if hasattr(card, "n"):
        values["family"] = card.n.value.family
    for key, attr in (("email", "email"), ("title", "title"), ("note", "note"), ("url", "url")):
        if hasattr(card, attr):
            values[key] = getattr(card, attr).value
    if hasattr(card, "org"):
        values["org"] = card.org.value[0] if card.org.value else ""
    for tel in card.contents.get("tel", []):
        if "CELL" in str(tel.params) or "CELL" in tel.singletonparams:
            values["cell"] = tel.value
    for adr in card.contents.get("adr", []):
        if "HOME" in str(adr.params) or "HOME" in adr.singletonparams:
            address = adr.value
            values.update(home_street=address.street, home_city=address.city,
                          home_zip=address.code, home_state=address.region,
                          home_country=address.country)
    return values


TEXT_VCARD = r'''
use strict; use warnings; use JSON::PP; use Text::vCard::Addressbook;
my @out;
for my $path (@ARGV) {
    local $SIG{__WARN__} = sub {};
    my %v;
    eval {
        my ($card) = Text::vCard::Addressbook->load([$path])->vcards;
        my $n = $card->get('n'); $v{family} = $n->[0]->family if $n && @$n;
        for my $key (qw(email title note url)) { my $x = $card->get($key); $v{$key} = $x->[0]->value if $x && @$x && defined $x->[0]->value; }
        my $o = $card->get('org'); $v{org} = $o->[0]->name if $o && @$o;
        for my $t (@{$card->get('tel') || []}) { $v{cell} = $t->value if grep { lc($_) eq 'cell' } @{$t->types || []}; }
        for my $a (@{$card->get('adr') || []}) {
            next unless grep { lc($_) eq 'home' } @{$a->types || []};
            @v{qw(home_street home_city home_zip home_state home_country)} = map { $a->$_ } qw(street city post_code region country);
        }
        1;
    } or $v{failed} = "$@";
    push @out, \%v;
}
print JSON::PP->new->utf8->canonical->encode(\@out);
'''


def card_agreement(folder, reference, reader):
    names = sorted(n for n in os.listdir(folder)
                   if n.endswith(".vcf") and n != "ZimbraContacts.vcf")
    paths = [os.path.join(folder, n) for n in names]
    if reader == "Text::vCard":
        result = json.loads(run(["perl", "-e", TEXT_VCARD] + paths).stdout or b"[]")
        parsed = dict(zip(paths, result))
    else:
        parsed = {}
        for path in paths:
            with open(path, "rb") as handle:
                text = handle.read().decode("utf-8", errors="replace")
            try:
                parsed[path] = vobject_values(text)
            except Exception as error:
                parsed[path] = {"failed": str(error)}
    seen = {}
    failures = 0
    for name, path in zip(names, paths):
        number = card_row(name, reference)
        values = parsed.get(path, {"failed": "not read"})
        failures += "failed" in values
        if number is not None:
            seen[number] = values
    equal = total = 0
    for number, row in enumerate(reference[1:], start=1):
        if not any(row):
            continue
        values = seen.get(number, {})
        for key, column in CARD_VALUES.items():
            want = row[column - 1]
            if not want:
                continue
            total += 1
            got = values.get(key)
            equal += isinstance(got, str) and crlf(got) == crlf(want)
    return equal, total, failures


def pst_agreement(folder, reference):
    psts = [n for n in os.listdir(folder) if n.endswith(".pst")]
    if not psts:
        return 0, 0, 0
    out = run(["/usr/bin/python3", READPST_CONTACTS, os.path.join(folder, psts[0])]).stdout
    contacts = json.loads(out or b"{}").get("contacts", [])
    by_key = {}
    for contact in contacts:
        family = (contact.get("N") or [""])[0]
        email = (contact.get("EMAIL") or [""])[0]
        by_key.setdefault((family, email), []).append(contact)
    equal = total = 0
    for row in reference[1:]:
        if not any(row):
            continue
        found = by_key.get((row[2], row[3]), [])
        contact = found.pop(0) if found else {}
        got = {"family": (contact.get("N") or [None])[0],
               "email": (contact.get("EMAIL") or [None])[0], "title": contact.get("TITLE"),
               "org": (contact.get("ORG") or "").split(";")[0] if contact.get("ORG") else None,
               "note": contact.get("NOTE"), "cell": contact.get("TEL;CELL")}
        for key, column in PST_VALUES.items():
            want = row[column - 1]
            if not want:
                continue
            total += 1
            equal += isinstance(got[key], str) and crlf(got[key]) == crlf(want)
    named = sum(1 for c in contacts if c.get("FN") not in (None, "(null)"))
    return equal, total, f"{len(contacts)} extracted, {named} with a name"


def main():
    generator, count, converters = sys.argv[1], sys.argv[2], sys.argv[3:]
    with tempfile.TemporaryDirectory() as work:
        tree = os.path.join(work, "tree")
        run([generator, tree, count])
        outputs = []
        for index, convert in enumerate(converters):
            base = os.path.join(work, f"build{index}")
            for option in ("excel", "vcards", "pst"):
                run([convert, f"--{option}", "--out", os.path.join(base, option), tree])
            outputs.append(base)
        reference = read_csv(os.path.join(outputs[-1], "excel", "ZimbraContacts.csv"))
        print(f"{len(reference) - 1} contacts; reference: the last build's ZimbraContacts.csv")
        for convert, base in zip(converters, outputs):
            print(f"\n{convert}")
            sheet = os.path.join(base, "excel", "ZimbraContacts.xls")
            scratch = tempfile.mkdtemp(dir=work)
            for name, rows in (("python3-xlrd", read_xlrd(sheet)),
                               ("LibreOffice Calc", read_libreoffice(sheet, scratch)),
                               ("gnumeric ssconvert", read_gnumeric(sheet, scratch))):
                print(f"  worksheet, {name:20} {share(*sheet_agreement(rows, reference))}")
            csv_path = os.path.join(base, "excel", "ZimbraContacts.csv")
            rows = read_csv(csv_path) if os.path.exists(csv_path) else []
            print(f"  CSV, Python csv module        {share(*sheet_agreement(rows, reference))}")
            for reader in ("python3-vobject", "Text::vCard"):
                equal, total, failures = card_agreement(os.path.join(base, "vcards"), reference,
                                                        reader)
                print(f"  vCards, {reader:21} {share(equal, total)}; "
                      f"{failures} card(s) not parsed")
            equal, total, extracted = pst_agreement(os.path.join(base, "pst"), reference)
            print(f"  PST, readpst                  {share(equal, total)}; {extracted}")


if __name__ == "__main__":
    main()
