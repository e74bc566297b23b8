#!/usr/bin/python3
# Converts contacts with plumbrae-convert into all three outputs and reads each back with the
# programs people open them with. The contacts: one holding every Zimbra key with accents, CJK,
# emoji, line breaks, commas, semicolons, quotes and a long note; one without names; the
# hand-made files of tests/data/meta; a generated export. Every value must arrive where the key
# table puts it (zimbra_outputs.py), and besides:
# - vCards: Text::vCard reads one card per file, its FN as the raw line says;
# - worksheet: python3-xlrd, LibreOffice Calc and gnumeric's ssconvert, given no option, read
#   every cell as the CSV holds it, in the sheet's code page and without values it cannot hold;
# - PST: libpst's readpst extracts every contact with a name, its N and NOTE, and the
#   independent checker finds no fault.
# - PST: no property holds a value the contact does not give.
#
# usage: check_zimbra_keys.py PLUMBRAE_CONVERT GENERATE_META_TREE
import csv
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import zimbra_outputs as z  # noqa: E402

CHECKER = os.path.join(HERE, "..", "pst", "checker")


def meta(fields, header="Zimbra-Contact-Id: 1\r\n"):
    pairs = "".join("%d:%s" % (z.utf16_units(t), t) for k, v in sorted(fields.items())
                    for t in (k, v))
    return header + "d3:fldd" + pairs + "e1:vi10ee\r\n"


PHONES = ("workPhone workPhone2 companyPhone workFax mobilePhone mobilePhone2 pager carPhone "
          "homePhone homePhone2 homeFax otherPhone").split()
EVERY_KEY = {
    **{key: "+41 44 %d" % (100 + n) for n, key in enumerate(PHONES)},
    **{key: key + "@example.ch" for key in ("email email2 email3 workEmail1 workEmail2 "
                                              "workEmail3").split()},
    "firstName": " Zoë ", "lastName": "Müller-李", "middleName": "María", "namePrefix": "Dr.",
    "nameSuffix": "Jr.", "fullName": "not used: the names are given", "nickname": "Zo 🐼",
    "company": "Bäckerei Groß; Söhne", "department": "R&D, \"Labs\" 🚀", "jobTitle": "課長",
    "office": "会" * 128, "workStreet": "Bahnhofstraße 1", "workCity": "Zürich",
    "workPostalCode": "8001", "workState": "ZH", "workCountry": "Schweiz", "homeStreet": "銀座 1",
    "homeCity": "東京", "homePostalCode": "104", "homeState": "東京都", "homeCountry": "日本",
    "otherStreet": "Rue de l'Église 2", "otherCity": "Genève", "otherPostalCode": "1201",
    "otherState": "GE", "otherCountry": "Suisse",
    "homeURL": " HTTP://a.example/go?to=http://b.example ", "workURL": "https://work.example/zoe",
    "imAddress1": "xmpp://zoe@jabber.example", "imAddress2": "yahoo://zoe_y",
    "imAddress3": "other://zoe3", "birthday": "1984-03-17", "anniversary": "2010-06-02",
    "notes": "Line one\nLine: two 📧; a=1\r\n" + "long " * 60, "fileAs": "1",
    "vcardUID": "uid-1", "custom1": "x",
}
# Without first and last names, a second home address, dates without a year.
SECOND = {
    "fullName": "Acme Hotline", "homeStreet2": "Ferienweg 3", "homeCity2": "Locarno",
    "homeCountry2": "Schweiz", "homePostalCode2": "6600", "homeState2": "TI",
    "birthday": "--05-01", "anniversary": "--06-02", "imAddress1": "aim://acme", "company": "Acme",
}
NAMELESS = {"notes": "Only a note\nsecond line " + "x" * 300}
# For a sheet in Windows-1252, which every reader reads.
WESTERN = {"firstName": "Zoë", "lastName": "Ångström", "jobTitle": "Gérant € Œuvre",
           "workStreet": "12 Main St\\nSuite 5", "workCity": "Québec", "notes": "n" * 254 + "!"}
# Metadata wrapped in JSON, its emoji escaped as surrogate pairs; a date in January.
WRAPPED = json.dumps({"id": 257, "type": 6, "parent_id": 7, "folder_id": 7, "Path": "/Contacts",
                      "metadata": meta({"firstName": "Rat 🐀", "lastName": "Grin 😀",
                                        "birthday": "1984-01-31"}, header=""), "Ver": 10})
DAMAGED = "Zimbra-Contact-Id: 9\r\nd3:fldd8:lastName9:Lee"

TEXT_VCARD = r"""
use Text::vCard::Addressbook; use Encode qw(decode); $SIG{__WARN__} = sub {};
for my $path (glob("$ARGV[0]/*.vcf")) {
    my @cards = Text::vCard::Addressbook->load([$path])->vcards;
    open(my $in, '<:raw', $path) or die; local $/; my ($raw) = <$in> =~ /\r\nFN[^:]*:([^\r]*)/;
    (my $want = decode('UTF-8', $raw // '')) =~ s/\\;/;/g;
    print "$path: ", scalar(@cards), " cards, FN '", $cards[0]->fullname // '', "'\n"
        unless @cards == 1 && ($cards[0]->fullname // '') eq $want;
}
"""


def run(command):
    result = subprocess.run(command, capture_output=True, text=True, errors="replace")
    return result.returncode, (result.stdout + result.stderr).splitlines()


def check_sheet(out, work, problems, western=False):
    # python3-xlrd, LibreOffice and (for a sheet in Windows-1252, the only one it reads right)
    # gnumeric read each cell as the CSV beside it holds it, in the sheet's code page.
    import xlrd
    with open(out + "/ZimbraContacts.csv", newline="", encoding="utf-8-sig") as handle:
        whole = list(csv.reader(handle))
    book = xlrd.open_workbook(out + "/ZimbraContacts.xls", logfile=open(os.devnull, "w"))
    sheet, page = book.sheet_by_index(0), book.encoding
    found = {"python3-xlrd": [sheet.row_values(r) for r in range(sheet.nrows)]}
    if western and page != "cp1252":
        problems.append("the Western sheet was written in %s" % page)
    for program, arguments, csv_out in (
            ("soffice", ["--headless", "--norestore", "-env:UserInstallation=file://%s/lo" % work,
                         "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1", "--outdir",
                         work + "/lo"], work + "/lo/ZimbraContacts.csv"),
            ("ssconvert", ["--export-type=Gnumeric_stf:stf_csv"], work + "/lo/s.csv"))[:1 + western]:
        if shutil.which(program) is None:
            problems.append("%s is not installed (scripts/install-deps --test)" % program)
            continue
        subprocess.run([program] + arguments + [out + "/ZimbraContacts.xls"] +
                       ([csv_out] if program == "ssconvert" else []), check=True,
                       capture_output=True, timeout=300, env=dict(os.environ, HOME=work + "/home"))
        with open(csv_out, newline="", encoding="utf-8-sig") as handle:
            found[program] = list(csv.reader(handle))
    for reader, rows in found.items():
        rows = [[str(c).replace("\r\n", "\n") for c in r] + [""] * (36 - len(r)) for r in rows]
        while rows and not any(rows[-1]):
            rows.pop()
        if len(rows) != len(whole):
            problems.append("%s: %d rows, the CSV %d: %s" % (reader, len(rows), len(whole), rows[:1]))
        for r, c in ((r, c) for r in range(min(len(rows), len(whole))) for c in range(36)):
            held = whole[r][c].replace("\r\n", "\n").encode(page, "replace")
            if rows[r][c] != (held.decode(page) if len(held) <= 255 else ""):
                problems.append("%s: row %d column %d reads %r for %r"
                                % (reader, r, c + 1, rows[r][c][:60], whole[r][c][:60]))


def check_pst(pst, contacts, problems):
    # The checker finds no fault; readpst extracts every contact with a name, its N and NOTE.
    status, lines = run(["/usr/bin/python3", os.path.join(CHECKER, "pst_check.py"), pst])
    if status != 0 or not re.fullmatch(
            r"Zimbracontacts\d\d?\.\d\d?\.\d\d \d\d?\.\d\d?\.\d\d\.pst", os.path.basename(pst)):
        problems.append("pst_check %s: %s" % (pst, lines))
    status, lines = run(["/usr/bin/python3", os.path.join(CHECKER, "readpst_contacts.py"), pst])
    cards = json.loads("\n".join(lines)).get("contacts", []) if status == 0 else []
    if len(cards) != len(contacts):
        problems.append("readpst: %d of %d contacts: %s" % (len(cards), len(contacts), lines))
    for card, fields in zip(cards, contacts):
        name = [fields.get(k, "").strip(" ") for k in ("lastName", "firstName", "middleName",
                                                       "namePrefix", "nameSuffix")]
        note = fields.get("notes", "").strip(" ").replace("\r\n", "\n").replace("\r", "\n")
        if not card["FN"] or card["N"] != name or (card["NOTE"] or "") != note:
            problems.append("readpst: %s reads as %s" % (name, card["lines"]))


def check_keys(program, work, files, contacts, problems):
    for option in ("--vcards", "--excel", "--pst"):
        out = os.path.join(work, option)
        status, lines = run([program, option, "--out", out] + files)
        if status != 0 and option != "--excel":  # values left out of the sheet give status 1
            problems.append("%s: exit %d: %s" % (option, status, lines))
        cards = rows = items = None
        if option == "--vcards":
            cards = z.read_vcards(out)
            problems += run(["perl", "-e", TEXT_VCARD, out])[1]
        elif option == "--excel":
            rows = z.read_xls(out + "/ZimbraContacts.xls")
            check_sheet(out, work, problems)
        else:
            pst = glob.glob(out + "/*.pst")[0]
            items = z.read_pst(pst)
            check_pst(pst, contacts, problems)
        for index, fields in enumerate(contacts):
            expected = z.check_contact(fields, index + 1, cards, rows, items, index)
            problems += ["%s: contact %d (%s): %s did not arrive in its place"
                         % (option, index + 1, files[index], key)
                         for (key, _), arrived in expected.items() if not arrived]
            # No PST property holds a value the contact does not give (but the display name,
            # and the business home page, which falls back to the web page).
            wanted = {z.PLACES[key][2] for key, output in expected if output == "pst"}
            wanted |= {0x3001} | ({0x3A51} if ("homeURL", "pst") in expected else set())
            problems += ["--pst: contact %d (%s): %r at %s" % (index + 1, files[index], value, place)
                         for place, value in (items[index] if items else {}).items()
                         if place not in wanted and str(value).strip()]


def main(argv):
    program, generator = argv[1], argv[2]
    problems = []
    with tempfile.TemporaryDirectory() as work:
        paths = {}
        for name, text in (("every", meta(EVERY_KEY)), ("second", meta(SECOND)),
                           ("nameless", meta(NAMELESS)), ("western", meta(WESTERN)),
                           ("wrapped", WRAPPED), ("damaged", DAMAGED)):
            paths[name] = os.path.join(work, name + ".meta")
            with open(paths[name], "w", encoding="utf-8", newline="") as handle:
                handle.write(text)
        subprocess.run([generator, work + "/tree", "150", "7"], check=True, capture_output=True)
        files = [paths[n] for n in ("every", "second", "nameless", "wrapped")]
        files += sorted(glob.glob(os.path.join(HERE, "..", "data", "meta", "*.meta")))
        generated = sorted(glob.glob(work + "/tree/**/*.meta", recursive=True))
        contacts = [(f, z.read_meta(f)) for f in files + generated]
        files = [f for f, fields in contacts if fields is not None]
        check_keys(program, work, files, [c for _, c in contacts if c is not None], problems)
        # The whole export given as a folder: groups, folders and messages are skipped.
        status, lines = run([program, "--vcards", "--out", work + "/tree.out", work + "/tree"])
        made = len(glob.glob(work + "/tree.out/*.vcf"))
        if status != 0 or made != len([f for f in files if f in generated]):
            problems.append("the generated export gave %d cards, exit %d: %s" % (made, status, lines))
        # A file that cannot be read leaves its row empty; the run goes on.
        status, lines = run([program, "--excel", "--out", work + "/western", paths["western"],
                             paths["damaged"]] + files[1:3] + files[4:5])
        if status != 1 or "4 of 5 Zimbra Contacts converted." not in lines:
            problems.append("--excel with a damaged file: exit %d: %s" % (status, lines))
        check_sheet(work + "/western", work, problems, western=True)
    print("\n".join(problems + ["%d problems" % len(problems)]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
