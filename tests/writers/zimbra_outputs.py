#!/usr/bin/python3
# Where each key of a Zimbra contact belongs in the three outputs, and what outside readers find
# there: vCards read by python3-vobject and by Evolution's address-book library (python3-gi with
# gir1.2-ebookcontacts-1.2), the worksheet's rows from the CSV beside it, the PST read by
# python3-pypff. `expected_values` works out the value each place must hold for one contact;
# `read_*` return what an output holds per contact; `check_contact` pairs both up (used by
# bench/value_coverage.py too).
#
# Run as a program, it converts contacts with plumbrae-convert into all three outputs and reads
# each back with the programs people open them with. The contacts: one holding every Zimbra key
# with accents, CJK, emoji, line breaks, commas, semicolons, quotes and a long note; one without
# names; the hand-made files of tests/data/meta (one wrapped in JSON with escaped emoji); a
# generated export. Every value must arrive where the key table puts it, and besides:
# - vCards: Text::vCard reads one card per file, its FN and BDAY as the raw lines say;
# - worksheet: python3-xlrd, LibreOffice Calc and gnumeric's ssconvert, given no option, read
#   every cell as the CSV holds it, in the sheet's code page and without values it cannot hold;
# - PST: libpst's readpst extracts every contact with a name, its N and NOTE, npm's
#   pst-extractor reads every value as libpff does, the independent checker finds no fault, and
#   no property holds a value the contact does not give.
#
# Last, the answers and exit statuses of the program for a user's commands (help, refused
# options and paths, a folder walk, a damaged file).
#
# usage: zimbra_outputs.py PLUMBRAE_CONVERT GENERATE_META_TREE
import csv
import datetime
import glob
import json
import os
import re
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CHECKER = os.path.join(HERE, "..", "pst", "checker")
sys.path.insert(0, CHECKER)

# key: (vCard place, worksheet column, PST place). A vCard place is (property, types, part):
# the value of the part of a line of that property whose type parameters are exactly `types`.
# A PST place is a property tag id, or ("lid", n) for a named property of the address set.
# None: the output has no place for the key.
PLACES = {
    "firstName": (("N", "", 1), 1, 0x3A06), "lastName": (("N", "", 0), 3, 0x3A11),
    "middleName": (("N", "", 2), 2, 0x3A44), "namePrefix": (("N", "", 3), 6, 0x3A45),
    "nameSuffix": (("N", "", 4), 5, 0x3A05), "fullName": (("FN", "", 0), 1, 0x3001),
    "nickname": (("NICKNAME", "", 0), None, 0x3A4F), "company": (("ORG", "", 0), 7, 0x3A16),
    "department": (("ORG", "", 1), 11, 0x3A18), "jobTitle": (("TITLE", "", 0), 8, 0x3A17),
    "office": (("ADR", "WORK", 1), 9, 0x3A19), "workURL": (("URL", "WORK", 0), None, 0x3A51),
    "homeURL": (("URL", "HOME", 0), 10, ("lid", 0x802B)), "notes": (("NOTE", "", 0), 36, 0x1000),
    "birthday": (("BDAY", "", 0), 34, 0x3A42),
    "anniversary": (("X-ANNIVERSARY", "", 0), 35, 0x3A41),
    "email": (("EMAIL", "INTERNET PREF", 0), 4, ("lid", 0x8083)),
    "email2": (("EMAIL", "INTERNET", 0), None, ("lid", 0x8093)),
    "email3": (("EMAIL", "INTERNET", 0), None, ("lid", 0x80A3)),
}
for key, types, column, tag in (
        ("workPhone", "VOICE WORK", 19, 0x3A08), ("workPhone2", "VOICE WORK", None, 0x3A1B),
        ("companyPhone", "WORK", None, 0x3A57), ("workFax", "FAX WORK", 20, 0x3A24),
        ("mobilePhone", "CELL VOICE", 21, 0x3A1C), ("mobilePhone2", "CELL VOICE", None, None),
        ("pager", "PAGER VOICE", 22, 0x3A21), ("carPhone", "CAR VOICE", None, 0x3A1E),
        ("homePhone", "HOME VOICE", 31, 0x3A09), ("homePhone2", "HOME VOICE", None, 0x3A2F),
        ("homeFax", "FAX HOME", 32, 0x3A25), ("otherPhone", "VOICE", None, 0x3A1F)):
    PLACES[key] = (("TEL", types, 0), column, tag)
for n in (1, 2, 3):  # the work addresses and the first IM address share one PST property
    PLACES["workEmail%d" % n] = (("EMAIL", "INTERNET", 0), 22 + n, ("lid", 0x8062))
    PLACES["imAddress%d" % n] = (("IM", "", 0), None, ("lid", 0x8062) if n == 1 else None)
ADDRESS_PARTS = ("Street", "City", "State", "PostalCode", "Country")
for prefix, types, columns, tags in (
        ("work", "WORK", (14, 15, 17, 16, 18), [("lid", 0x8045 + i) for i in range(5)]),
        ("home", "HOME", (26, 27, 29, 28, 30), (0x3A5D, 0x3A59, 0x3A5C, 0x3A5B, 0x3A5A)),
        ("other", "POSTAL", (None,) * 5, (0x3A63, 0x3A5F, 0x3A62, 0x3A61, 0x3A60))):
    for i, part in enumerate(ADDRESS_PARTS):
        PLACES[prefix + part] = (("ADR", types, 2 + i), columns[i], tags[i])
        if prefix == "other":  # a second home address takes the other address's place
            PLACES["home%s2" % part] = PLACES[prefix + part]
IM_PROPERTIES = {"xmpp": "X-JABBER", "jabber": "X-JABBER", "gtalk": "X-JABBER", "aim": "X-AIM",
                 "aol": "X-AIM", "yahoo": "X-YAHOO", "msn": "X-MSN", "icq": "X-ICQ",
                 "skype": "X-SKYPE", "gadugadu": "X-GADUGADU"}


def real_date(text):
    # The date of a "yyyy-mm-dd" text with its year, or None.
    try:
        return re.match(r"^\d{4}-\d\d-\d\d$", text) and datetime.date.fromisoformat(text[:10])
    except ValueError:
        return None


def full_date(text):
    # The same from 1601 on, the first year a PST's dates hold.
    day = real_date(text)
    return day if day and day.year >= 1601 else None


def yearless_date(text):
    # A "--mm-dd" text naming a day of some year.
    return re.match(r"^--\d\d-\d\d$", text) and real_date("2000" + text[1:])


def utf16_units(text):
    return len(text.encode("utf-16-le", "surrogatepass")) // 2


def read_meta(path, groups=False):
    # The fields of a contact file (bencode, lengths in UTF-16 units or bytes, perhaps wrapped
    # in JSON, perhaps at the top of the metadata as older versions write them), a field with
    # several values spread over its places; None for a folder, a message or (unless `groups`)
    # a group.
    with open(path, encoding="utf-8", errors="surrogateescape", newline="") as handle:
        text = handle.read()
    if text.lstrip().startswith("{"):
        item = json.loads(text)
        text = item.get("metadata", "") if item.get("type", 6) == 6 else ""
    pos, fields = max(text.find("d3:fldd"), text.find("e3:fldd")) + 7, {}
    if pos < 7:  # the last line, when it is a dictionary
        text = re.split(r"\r\n?", text.rstrip("\r\n"))[-1]
        pos = 1 if text.startswith("d") else 0

    def string(pos):
        colon = text.index(":", pos)
        end, units, length = colon + 1, 0, int(text[pos:colon])
        while units < length:
            units, end = units + utf16_units(text[end]), end + 1
        return text[colon + 1:end], end

    try:
        while pos >= 1 and text[pos] != "e":
            key, pos = string(pos)
            if text[pos] == "i":
                value, pos = text[pos + 1:text.index("e", pos)], text.index("e", pos) + 1
            else:
                value, pos = string(pos)
            fields.setdefault(key, value)
    except (ValueError, IndexError):  # a list: a message
        return None
    if pos >= 1 and fields.get("type") == "group":
        return fields if groups else None
    if pos < 1 or not set(fields) & set(PLACES):
        return None
    return spread_values(fields)


# The keys that hold one value each of a kind: a field with several values fills the later
# places the contact leaves free.
REPEATED = (("email", "email2", "email3"), ("workEmail1", "workEmail2", "workEmail3"),
            ("imAddress1", "imAddress2", "imAddress3"), ("homePhone", "homePhone2"),
            ("workPhone", "workPhone2"), ("mobilePhone", "mobilePhone2"))


def spread_values(fields):
    # A value that is a JSON array of strings: its first element is the value, each further one
    # takes the next free place of its kind, or is joined to the value with ", ".
    out, further = dict(fields), []
    for key, value in fields.items():
        try:
            items = json.loads(value) if key in PLACES and value.strip().startswith("[") else None
        except ValueError:
            items = None
        if isinstance(items, list) and items and all(isinstance(i, str) for i in items):
            out[key] = items[0]
            further.append((key, items[1:]))
    for key, items in further:
        kind = next((k[k.index(key) + 1:] for k in REPEATED if key in k), ())
        for item in items:
            place = next((k for k in kind if not out.get(k)), None)
            if place:
                out[place] = item
            else:
                out[key] = out[key] + ", " + item if out[key] else item
    return out


def expected_values(fields):
    # {(key, output): expected value} for every value the table places in an output.
    out = {}
    names_given = fields.get("firstName") or fields.get("lastName")
    has_other = has_address(fields, "other")
    for key, raw in fields.items():
        value = raw.strip(" ") if key in PLACES else ""
        if (value == "" or (key == "fullName" and names_given) or (
                key.startswith("home") and key.endswith("2") and key != "homePhone2" and has_other)):
            continue
        _, column, pst = PLACES[key]
        value = value[7:] if key == "homeURL" and value.lower().startswith("http://") else value
        dated = key in ("birthday", "anniversary")
        if key.startswith("imAddress"):
            scheme, sep, address = value.partition("://")
            known = sep and scheme.lower() in IM_PROPERTIES
            if not known or address.strip(" "):  # "xmpp://" gives no line
                out[(key, "vcard")] = (IM_PROPERTIES.get(scheme.lower(), "X-IM"),
                                       address if known else value)
        elif key != "birthday" or real_date(value) or yearless_date(value):
            # an anniversary is written as it is
            out[(key, "vcard")] = value
        if column is not None:
            out[(key, "xls")] = value
        if pst is not None and (not dated or full_date(value)):
            out[(key, "pst")] = full_date(value) if dated else value
    return out


def same_text(a, b):
    return a.replace("\r\n", "\n") == b.replace("\r\n", "\n")


def _vobject_lines(text):
    import vobject
    return vobject_card_lines(vobject.readOne(text)), None


def vobject_card_lines(card):
    # [(property, "TYPES", [values])] of a card python3-vobject read.
    lines = []
    for line in card.lines():
        value = line.value if line.name == "ORG" else [line.value]
        if line.name in ("N", "ADR"):
            parts = ("family given additional prefix suffix" if line.name == "N"
                     else "box extended street city region code country").split()
            value = [" ".join(p) if isinstance(p, list) else p
                     for p in (getattr(line.value, name) for name in parts)]
        types = {t.upper() for t in line.singletonparams + line.params.get("TYPE", [])}
        lines.append((line.name.upper(), " ".join(sorted(types)), list(value)))
    return lines


def _eds_lines(text):
    import gi
    gi.require_version("EBookContacts", "1.2")
    from gi.repository import EBookContacts
    contact = EBookContacts.Contact.new_from_vcard(text)
    lines = [(a.get_name().upper(),
              " ".join(sorted({t.upper() for p in a.get_params() if p.get_name().upper() == "TYPE"
                               for t in p.get_values()})), list(a.get_values()))
             for a in EBookContacts.VCard.get_attributes(contact)]
    # The reader's own fields, for the values it takes as more than text (a day without a year
    # it keeps as text only: its date reads 0-0-0).
    dates = {name: contact.get_property(prop) for name, prop in (("birthday", "birth-date"),
                                                                  ("anniversary", "anniversary"))}
    return lines, {k: d and d.year and datetime.date(d.year, d.month, d.day)
                   for k, d in dates.items()}


def vcard_holds(reader, key, place, expected):
    # The card holds the value in its place; Evolution's reader also understood a date with
    # its year as that date.
    (lines, dates), (prop, types, part) = reader, place
    if prop == "IM":
        prop, expected = expected
    return any(name == prop and line_types == types and part < len(values) and
               same_text(values[part], expected) for name, line_types, values in lines) and (
        dates is None or key not in dates or not real_date(expected) or
        dates[key] == real_date(expected))


def read_vcards(folder):
    # {contact number: (vobject lines, Evolution's lines)} of a folder.
    cards = {}
    for name in os.listdir(folder):
        match = re.search(r"(\d+)(?: \(\d+\))?\.vcf$", name)
        if match:
            with open(os.path.join(folder, name), "rb") as handle:
                text = handle.read().decode("utf-8", errors="replace")
            cards[int(match.group(1))] = (_vobject_lines(text), _eds_lines(text))
    return cards


def read_csv(path):
    with open(path, newline="", encoding="utf-8-sig") as handle:
        return list(csv.reader(handle))


def read_xls(path):
    # {contact number: [36 cell texts]} from the CSV beside the worksheet, which holds the same
    # rows with every value whole (the worksheet's code page may lack some).
    rows = read_csv(os.path.splitext(path)[0] + ".csv")
    return {r: (rows[r] + [""] * 36)[:36] for r in range(1, len(rows)) if any(rows[r])}


def _pst_value(value_type, data):
    if value_type == 0x0040:
        ticks = struct.unpack("<Q", data)[0]
        return (datetime.datetime(1601, 1, 1) + datetime.timedelta(microseconds=ticks // 10)).date()
    if value_type == 0x0003:
        return struct.unpack("<i", data)[0]
    return data.decode("utf-16-le") if value_type == 0x001F else None


def read_pst(path):
    # [{place: value}] of the Contacts folder's items, in the order libpff lists them.
    import pypff
    from pst_dump import PSETID_ADDRESS, entries, folders, named_ids
    pst = pypff.file()
    pst.open(path)
    lids = named_ids(pst, PSETID_ADDRESS)
    tags = {p: lids.get(p[1]) if isinstance(p, tuple) else p for _, _, p in PLACES.values() if p}
    tags.update({"mailing": lids.get(0x8022), "created": 0x3007})
    folder = next(f["_folder"] for f in folders(pst.get_root_folder(), None, [])
                  if f["name"] == "Contacts")
    items = [entries(folder.get_sub_message(i)) for i in range(folder.number_of_sub_messages)]
    return [{place: value for place, tag in tags.items()
             if (value := _pst_value(*item.get(tag, (0, b"")))) is not None} for item in items]


def pst_holds(item, key, place, expected):
    value = item.get(place)
    if key.startswith("workEmail") or key.startswith("imAddress"):
        return value is not None and expected in value.split(" ")
    return same_text(value, expected) if isinstance(value, str) else value == expected


def has_address(fields, prefix):
    return any(fields.get(prefix + part) for part in ADDRESS_PARTS)


def mailing_address(fields):
    # Outlook mails to the work address when there is one, else to the home address.
    return 2 if has_address(fields, "work") else 1 if has_address(fields, "home") else 0


def check_contact(fields, number, cards, rows, items, pst_index):
    # {(key, output): True when it arrived} for one contact converted as `number`; outputs that
    # were not given (None) are left out. vCards count as arrived only when both readers agree;
    # vobject reads vCards by the later format's rules, in which a comma separates values: a
    # value with a comma is judged by Evolution's reader alone.
    card, row = (cards or {}).get(number), (rows or {}).get(number)
    item = items[pst_index] if items is not None and pst_index < len(items) else None
    result = {}
    for (key, output), expected in expected_values(fields).items():
        place, column, pst_place = PLACES[key]
        if output == "vcard" and cards is not None:
            result[(key, output)] = card is not None and vcard_holds(card[1], key, place, expected) \
                and ("," in str(expected) or vcard_holds(card[0], key, place, expected))
        elif output == "xls" and rows is not None:
            result[(key, output)] = row is not None and same_text(row[column - 1], expected)
        elif output == "pst" and items is not None:
            result[(key, output)] = item is not None and pst_holds(item, key, pst_place, expected)
    return result


def meta(fields, header="Zimbra-Contact-Id: 1\r\n"):
    pairs = "".join("%d:%s" % (utf16_units(t), t) for kv in sorted(fields.items()) for t in kv)
    return header + "d3:fldd" + pairs + "e1:vi10ee\r\n"


EVERY_KEY = {
    **{key: "+41 44 %d" % (100 + n) for n, key in enumerate(
        "workPhone workPhone2 companyPhone workFax mobilePhone mobilePhone2 pager carPhone "
        "homePhone homePhone2 homeFax otherPhone".split())},
    **{key: key + "@example.ch" for key in "email email2 email3 workEmail1 workEmail2 "
                                           "workEmail3".split()},
    "email2": "zoë@bäckerei.example", "firstName": " Zoë ", "lastName": "Müller-李",
    "middleName": "María", "namePrefix": "Dr.",
    "nameSuffix": "Jr.", "fullName": "not used: the names are given", "nickname": "Zo 🐼",
    "company": "Bäckerei Groß; Söhne", "department": "R&D, \"Labs\" 🚀", "jobTitle": "課長",
    "office": "会" * 128, "workStreet": "Bahnhofstraße 1", "workCity": "Zürich",
    "workPostalCode": "8001", "workState": "ZH", "workCountry": "Schweiz", "homeStreet": "銀座 1",
    "homeCity": "東京", "homePostalCode": "104", "homeState": "東京都", "homeCountry": "日本",
    "otherStreet": "Rue de l'Église 2", "otherCity": "Genève", "otherPostalCode": "1201",
    "otherState": "GE", "otherCountry": "Suisse", "workURL": "https://work.example/zoe",
    "homeURL": " HTTP://a.example/go?to=http://b.example ", "imAddress3": "other://zoe3",
    "imAddress1": "xmpp://zoe@jabber.example", "imAddress2": "yahoo://zoe_y",
    "birthday": "1984-03-17", "anniversary": "2010-06-02", "fileAs": "1", "vcardUID": "uid-1",
    "notes": "Line one\nLine: two 📧; a=1\r\n" + "long " * 60, "custom1": "x"}
# Without first and last names, a home city and a second home address, dates without a year.
SECOND = {"fullName": "Acme Hotline", "homeCity": "Bern", "homeStreet2": "Ferienweg 3",
          "homeCity2": "Locarno",
          "homeCountry2": "Schweiz", "homePostalCode2": "6600", "homeState2": "TI",
          "birthday": "--05-01", "anniversary": "--06-02", "imAddress1": "aim://acme",
          "company": "Acme"}
NAMELESS = {"notes": "Only a note\nsecond line " + "x" * 300, "birthday": "1600-12-31",
            "imAddress1": "xmpp://"}
# For a sheet in Windows-1252, which every reader reads.
WESTERN = {"firstName": "Zoë", "lastName": "Ångström", "jobTitle": "Gérant € Œuvre",
           "workStreet": "12 Main St\\nSuite 5", "workCity": "Québec", "notes": "n" * 254 + "!"}
VIETNAMESE = {"firstName": "Nguyễn", "lastName": "Trần", "company": "Công ty", "notes": "Đà Nẵng"}
EURO_936 = {"firstName": "华", "lastName": "李", "notes": "价格 €5"}
DAMAGED = "Zimbra-Contact-Id: 9\r\nd3:fldd8:lastName9:Lee"
# Fields with several values, as JSON arrays; a value that only starts with "[".
ARRAYS = {"firstName": "Ann", "lastName": "Lee", "email3": "own@example.com",
          "email": '["ann@example.com","ann@example.org","ann@example.net"]',
          "homePhone": '["+41 44 1", "+41 44 2"]', "company": '["Acme","Acme AG"]',
          "imAddress1": '["xmpp://ann@jabber.example","aim://annlee"]', "notes": "[draft] call"}
# Written by an older version: the fields at the top of the metadata, no field dictionary.
OLD = ("Zimbra-Contact-Id: 5\r\nd5:email15:old@example.com9:firstName3:Old8:lastName6:Format"
       "9:workPhone5:555 1e\r\n")
GROUP = "d3:fldd5:dlist3:a@b8:nickname6:Family4:type5:groupee\r\n"
FOLDER = "d1:vi10e2:vt7:contact3:i4ni258e4:mseqi1ee\r\n"

TEXT_VCARD = r"""use Text::vCard::Addressbook; use Encode qw(decode); $SIG{__WARN__} = sub {};
for my $path (grep { !/ZimbraContacts\.vcf$/ } glob("$ARGV[0]/*.vcf")) {
    my @cards = Text::vCard::Addressbook->load([$path])->vcards; my $fn = $cards[0]->fullname // '';
    open(my $in, '<:raw', $path) or die; local $/; my $text = <$in>;
    my ($raw) = $text =~ /\r\nFN[^:]*:([^\r]*)/; my ($bday) = $text =~ /\r\nBDAY:([^\r]*)/;
    (my $want = decode('UTF-8', $raw // '')) =~ s/\\;/;/g; my $got = $cards[0]->bday // '';
    print "$path: ", scalar(@cards), " cards, FN '$fn', BDAY '$got'\n"
        unless @cards == 1 && $fn eq $want && $got eq ($bday // '');
}"""


def run(command, cwd=None):
    result = subprocess.run(command, capture_output=True, text=True, errors="replace", cwd=cwd)
    return result.returncode, (result.stdout + result.stderr).splitlines()


def check_sheet(out, work, problems, western=False, encoding=None):
    # python3-xlrd, LibreOffice and (for a sheet in Windows-1252, the only one it reads right)
    # gnumeric read each cell as the CSV beside it holds it, in the sheet's code page (when
    # given, the one expected), and the CSV has no empty row.
    import xlrd
    whole, sheet = read_csv(out + "/ZimbraContacts.csv"), out + "/ZimbraContacts.xls"
    book = xlrd.open_workbook(sheet, logfile=open(os.devnull, "w"))
    found = {"python3-xlrd": [book.sheet_by_index(0).row_values(r)
                              for r in range(book.sheet_by_index(0).nrows)]}
    if book.encoding != (encoding or ("cp1252" if western else book.encoding)):
        problems.append("%s was written in %s" % (sheet, book.encoding))
    if not all(any(row) for row in whole):
        problems.append("%s: an empty row" % (out + "/ZimbraContacts.csv"))
    for program, arguments, csv_out in (
            ("soffice", ["--headless", "--norestore", "-env:UserInstallation=file://%s/lo" % work,
                         "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1", "--outdir",
                         work + "/lo", sheet], work + "/lo/ZimbraContacts.csv"),
            ("ssconvert", ["--export-type=Gnumeric_stf:stf_csv", sheet, work + "/lo/s.csv"],
             work + "/lo/s.csv"))[:1 + western]:
        subprocess.run([program] + arguments, check=True, capture_output=True, timeout=300,
                       env=dict(os.environ, HOME=work + "/home"))
        found[program] = read_csv(csv_out)
    for reader, rows in found.items():
        rows = [[str(c).replace("\r\n", "\n") for c in r] + [""] * (36 - len(r)) for r in rows]
        while rows and not any(rows[-1]):
            rows.pop()
        if len(rows) != len(whole):
            problems.append("%s: %d rows, the CSV %d: %s" % (reader, len(rows), len(whole), rows[:1]))
        for r, c in ((r, c) for r in range(min(len(rows), len(whole))) for c in range(36)):
            held = whole[r][c].replace("\r\n", "\n").encode(book.encoding, "replace")
            if rows[r][c] != (held.decode(book.encoding) if len(held) <= 255 else ""):
                problems.append("%s: row %d column %d reads %r for %r"
                                % (reader, r, c + 1, rows[r][c][:60], whole[r][c][:60]))


def check_pst(pst, contacts, problems):
    # The checker finds no fault; readpst extracts every contact with a name, its N and NOTE;
    # pst-extractor reads every contact through the tables, each value as libpff reads it.
    from extractor_agreement import compare
    compare(len(contacts), pst, problems)
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
            cards = read_vcards(out)
            problems += run(["perl", "-e", TEXT_VCARD, out])[1]
        elif option == "--excel":
            rows = read_xls(out + "/ZimbraContacts.xls")
            check_sheet(out, work, problems)
        else:
            pst = glob.glob(out + "/*.pst")[0]
            items = read_pst(pst)
            check_pst(pst, contacts, problems)
        for index, fields in enumerate(contacts):
            expected = check_contact(fields, index + 1, cards, rows, items, index)
            problems += ["%s: contact %d (%s): %s did not arrive in its place"
                         % (option, index + 1, files[index], key)
                         for (key, _), arrived in expected.items() if not arrived]
            # No PST property holds a value the contact does not give (but the display name,
            # and the business home page, which falls back to the web page).
            wanted = {PLACES[key][2] for key, output in expected if output == "pst"}
            wanted |= {0x3001, "mailing", "created"} | (
                {0x3A51} if ("homeURL", "pst") in expected else set())
            item = items[index] if items else {}
            age = datetime.datetime.now(datetime.timezone.utc).date() - item.get(
                "created", datetime.date.min)
            if items is not None and (item.get("mailing") != mailing_address(fields)
                                      or abs(age.days) > 1):
                problems.append("--pst: contact %d (%s): mailing address %r, created %r" % (
                    index + 1, files[index], item.get("mailing"), item.get("created")))
            problems += ["--pst: contact %d (%s): %r at %s" % (index + 1, files[index], value, place)
                         for place, value in item.items()
                         if place not in wanted and str(value).strip()]


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="") as handle:
        handle.write(text)


def check_command_line(program, w, problems):
    # The program's answers and exit statuses for a user's commands, in the folder `w`. A folder
    # is walked breadth-first, taking ".meta" in any case and with a trailing space; a value the
    # worksheet cannot hold is listed, but the CSV beside it holds it whole: the run is complete.
    for name, fields in (("in/a.meta", "3:Ann8:lastName3:Lee"), ("in/sub/c.meta.txt", "3:Cat"),
                         ("in/sub/B.META", "3:Bob8:lastName3:Kim"), ("bad.meta", "9:Ann"),
                         ("in/other/d.meta ", "3:Dan8:lastName3:Doe"),
                         ("long/l.meta", "3:Ann5:notes300:" + "n" * 300)):
        write(w + name, "d3:fldd9:firstName%see" % fields)
    os.makedirs(w + "locked", 0o500), os.makedirs(w + "withpipe"), os.mkfifo(w + "pipe.meta")
    os.mkfifo(w + "withpipe/p.meta"), os.symlink("loop.meta", w + "loop.meta")
    odd = "/dev/zero pipe.meta loop.meta withpipe in/a.meta"
    odd_reasons = ("/dev/zero: not a regular file (a device)|pipe.meta: not a regular file (a "
                   "named pipe)|loop.meta: a link loop|p.meta: not a regular file")
    for status, text, arguments in (
            (0, "--vcards", "--help"), (0, "plumbrae-convert", "--version"),
            (2, "choose one of --vcards, --excel and --pst", "--out o in"),
            (2, "choose one of", "--vcards --excel --out o in"),
            (2, "frobnicate", "--vcards --frobnicate --out o in"),
            (2, "nothing-here: no such file or folder", "--vcards --out o nothing-here"),
            (2, "cannot create the output folder", "--vcards --out bad.meta in"),
            (0, "Zimbra Contacts converted successfully.\nEach contact has its own vCard file",
             "--vcards --out o1 in"),
            # A file named twice, or inside a folder also given, is converted once.
            (0, "5 contact files were given more than once and are converted once",
             "--vcards --out o8 in/a.meta in in/a.meta ./in"),
            (0, "successfully.\nOpen Outlook to view the converted PST file", "--pst --out o9 in"),
            (1, "bad.meta: damaged contact data at byte", "--vcards --out o2 bad.meta"),
            (0, "left out of", "--excel --out o3 long"),
            (0, "ZimbraContacts.csv", "--excel --out o4 in"),
            # A file that cannot be read, a group and a folder's file get no row; the run goes on.
            (1, "4 of 5 Zimbra Contacts converted.", "--excel --out western group.meta western.meta "
                "damaged.meta folder.meta second.meta nameless.meta " + HERE +
                "/../data/meta/ann-muller.meta"),
            # What is not a file is listed with its reason at once; a PST run ends at the first.
            (1, odd_reasons, "--vcards --out o5 " + odd), (1, odd_reasons, "--excel --out o6 " + odd),
            (2, "/dev/zero: not a regular file (a device)", "--pst --out o7 " + odd),
            (2 if os.getuid() else 0, "permission denied" * (os.getuid() != 0), "--vcards --out locked in")):
        got, lines = run([program] + [a if a[0] in "-/" else w + a for a in arguments.split()])
        if got != status or not all(part in "\n".join(lines) for part in text.split("|")):
            problems.append("%s: exit %d, not %d, or no %r in %s" % (arguments, got, status, text, lines))
    # Named by relative, absolute and roundabout paths from the folder it runs in: still once.
    got, lines = run([program, "--vcards", "--out", "o10", "in/a.meta", "in",
                      os.path.realpath(w) + "/in/a.meta", "./in/sub//B.META"], cwd=w)
    if got != 0 or "3 contact files were given more than once" not in "\n".join(lines):
        problems.append("relative paths: exit %d: %s" % (got, lines))
    cards = ["Ann Lee1.vcf", "Bob Kim3.vcf", "Dan Doe2.vcf", "ZimbraContacts.vcf"]
    if (sorted(os.listdir(w + "o1")) != cards or sorted(os.listdir(w + "o8")) != cards or
            "n" * 300 not in read_csv(w + "o3/ZimbraContacts.csv")[1]):
        problems.append("the folder gave %s, the CSV %s" % (os.listdir(w + "o1"), os.listdir(w + "o3")))
    names = [row[0] for row in read_csv(w + "western/ZimbraContacts.csv")]
    if names != ["First Name", "Zoë", "Acme Hotline", "", "Ann"]:
        problems.append("the western CSV's rows: %s" % names)
    check_sheet(w + "western", w, problems, western=True)
    # Vietnamese letters with two marks are no code of 1258 of their own: the sheet stays in
    # 1252, every reader reads the same "?". In a 936 sheet the euro sign, which common readers
    # lack there, reads "?" too.
    for name, fields, encoding in (("vietnamese", VIETNAMESE, "cp1252"),
                                   ("euro936", EURO_936, "cp936")):
        write(w + name + ".meta", meta(fields))
        got, lines = run([program, "--excel", "--out", w + name, w + name + ".meta"])
        if got != 0 or "1 of 1" not in "\n".join(lines):
            problems.append("%s: exit %d: %s" % (name, got, lines))
        check_sheet(w + name, w, problems, western=encoding == "cp1252", encoding=encoding)


def main(argv):
    program, generator = argv[1], argv[2]
    problems = []
    with tempfile.TemporaryDirectory() as work:
        for name, fields in (("every", meta(EVERY_KEY)), ("second", meta(SECOND)),
                             ("nameless", meta(NAMELESS)), ("western", meta(WESTERN)),
                             ("damaged", DAMAGED), ("group", GROUP), ("folder", FOLDER),
                             ("arrays", meta(ARRAYS)), ("old", OLD)):
            write("%s/%s.meta" % (work, name), fields)
        subprocess.run([generator, work + "/tree", "150", "7"], check=True, capture_output=True)
        files = [work + "/%s.meta" % n for n in ("every", "second", "nameless", "arrays", "old")]
        files += sorted(glob.glob(os.path.join(HERE, "..", "data", "meta", "*.meta"))) + sorted(
            glob.glob(work + "/tree/**/*.meta", recursive=True))
        contacts = [(f, read_meta(f)) for f in files]
        files = [f for f, fields in contacts if fields is not None]
        check_keys(program, work, files, [c for _, c in contacts if c is not None], problems)
        check_command_line(program, work + "/", problems)
    print("\n".join(problems + ["%d problems" % len(problems)]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
