# Where each key of a Zimbra contact belongs in the three outputs, and what outside readers find
# there: vCards read by python3-vobject and by Evolution's address-book library (python3-gi with
# gir1.2-ebookcontacts-1.2), the worksheet's rows from the CSV beside it, the PST read by
# python3-pypff. `expected_values` works out the value each place must hold for one contact;
# `read_*` return what an output holds per contact; `check_contact` pairs both up. Used by the key
# test and by bench/value_coverage.py.
import csv
import datetime
import json
import os
import re
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pst", "checker"))

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
for prefix, types, columns, tags in (
        ("work", "WORK", (14, 15, 17, 16, 18), [("lid", 0x8045 + i) for i in range(5)]),
        ("home", "HOME", (26, 27, 29, 28, 30), (0x3A5D, 0x3A59, 0x3A5C, 0x3A5B, 0x3A5A)),
        ("other", "POSTAL", (None,) * 5, (0x3A63, 0x3A5F, 0x3A62, 0x3A61, 0x3A60))):
    for i, part in enumerate(("Street", "City", "State", "PostalCode", "Country")):
        PLACES[prefix + part] = (("ADR", types, 2 + i), columns[i], tags[i])
        if prefix == "other":  # a second home address takes the other address's place
            PLACES["home%s2" % part] = PLACES[prefix + part]
IM_PROPERTIES = {"xmpp": "X-JABBER", "jabber": "X-JABBER", "gtalk": "X-JABBER", "aim": "X-AIM",
                 "aol": "X-AIM", "yahoo": "X-YAHOO", "msn": "X-MSN", "icq": "X-ICQ",
                 "skype": "X-SKYPE", "gadugadu": "X-GADUGADU"}


def full_date(text):
    # The date of a "yyyy-mm-dd" text with its year (1601 or later), or None.
    match = re.match(r"^(\d{4})-(\d{2})-(\d{2})$", text)
    try:
        day = match and datetime.date(*map(int, match.groups()))
    except ValueError:
        return None
    return day if day and day.year >= 1601 else None


def utf16_units(text):
    return len(text.encode("utf-16-le", "surrogatepass")) // 2


def read_meta(path):
    # The fields of a contact file (bencode, lengths in UTF-16 units or bytes, perhaps wrapped
    # in JSON), or None for a group, folder or message.
    with open(path, encoding="utf-8", errors="surrogateescape", newline="") as handle:
        text = handle.read()
    if text.lstrip().startswith("{"):
        item = json.loads(text)
        if item.get("type", 6) != 6:
            return None
        text = item.get("metadata", "")
    pos, fields = max(text.find("d3:fldd"), text.find("e3:fldd")) + 7, {}
    if pos < 7:
        return None

    def string(pos):
        colon = text.index(":", pos)
        end, units, length = colon + 1, 0, int(text[pos:colon])
        while units < length:
            units, end = units + utf16_units(text[end]), end + 1
        return text[colon + 1:end], end

    while text[pos] != "e":
        key, pos = string(pos)
        if text[pos] == "i":
            value, pos = text[pos + 1:text.index("e", pos)], text.index("e", pos) + 1
        else:
            value, pos = string(pos)
        fields.setdefault(key, value)
    return None if fields.get("type") == "group" else fields


def expected_values(fields):
    # {(key, output): expected value} for every value the table places in an output.
    out = {}
    names_empty = not fields.get("firstName") and not fields.get("lastName")
    has_other = any(fields.get("other" + k) for k in ("Street", "City", "State", "PostalCode",
                                                       "Country"))
    for key, raw in fields.items():
        value = raw.strip(" ") if key in PLACES else ""
        if (value == "" or (key == "fullName" and not names_empty) or
                (key.startswith("home") and key.endswith("2") and key != "homePhone2" and
                 has_other)):
            continue
        _, column, pst = PLACES[key]
        if key == "homeURL" and value.lower().startswith("http://"):
            value = value[7:]
        if key in ("birthday", "anniversary"):
            if full_date(value):
                out[(key, "pst")] = full_date(value)
            if key == "anniversary" or full_date(value):
                out[(key, "vcard")] = value
            out[(key, "xls")] = value
            continue
        out[(key, "vcard")] = value
        if key.startswith("imAddress"):
            scheme, sep, address = value.partition("://")
            known = sep and scheme.lower() in IM_PROPERTIES
            out[(key, "vcard")] = (IM_PROPERTIES.get(scheme.lower(), "X-IM"),
                                   address if known else value)
        if column is not None:
            out[(key, "xls")] = value
        if pst is not None:
            out[(key, "pst")] = value
    return out


def same_text(a, b):
    return a.replace("\r\n", "\n") == b.replace("\r\n", "\n")


def _vobject_lines(text):
    import vobject
    lines = []
    for line in vobject.readOne(text).lines():
        value = line.value if line.name == "ORG" else [line.value]
        if line.name in ("N", "ADR"):
            parts = ("family given additional prefix suffix" if line.name == "N"
                     else "box extended street city region code country").split()
            value = [getattr(line.value, p) for p in parts]
            value = [" ".join(p) if isinstance(p, list) else p for p in value]
        types = {t.upper() for t in line.singletonparams + line.params.get("TYPE", [])}
        lines.append((line.name.upper(), " ".join(sorted(types)), list(value)))
    return lines, None


def _eds_lines(text):
    import gi
    gi.require_version("EBookContacts", "1.2")
    from gi.repository import EBookContacts
    contact = EBookContacts.Contact.new_from_vcard(text)
    lines = [(a.get_name().upper(),
              " ".join(sorted({t.upper() for p in a.get_params() if p.get_name().upper() == "TYPE"
                               for t in p.get_values()})), list(a.get_values()))
             for a in EBookContacts.VCard.get_attributes(contact)]
    # The reader's own fields, for the values it takes as more than text.
    dates = {name: contact.get_property(prop) for name, prop in (("birthday", "birth-date"),
                                                                  ("anniversary", "anniversary"))}
    return lines, {k: d and datetime.date(d.year, d.month, d.day) for k, d in dates.items()}


def vcard_holds(reader, key, place, expected):
    # The card holds the value in its place; Evolution's reader also understood a date with
    # its year as that date.
    lines, dates = reader
    prop, types, part = place
    if prop == "IM":
        prop, expected = expected
    if not any(name == prop and line_types == types and part < len(values) and
               same_text(values[part], expected) for name, line_types, values in lines):
        return False
    return dates is None or key not in dates or not full_date(expected) or (
        dates[key] == full_date(expected))


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


def read_xls(path):
    # {contact number: [36 cell texts]} from the CSV beside the worksheet, which holds the same
    # rows with every value whole (the worksheet's code page may lack some).
    with open(os.path.splitext(path)[0] + ".csv", newline="", encoding="utf-8-sig") as handle:
        rows = list(csv.reader(handle))
    return {r: (rows[r] + [""] * 36)[:36] for r in range(1, len(rows)) if any(rows[r])}


def read_pst(path):
    # [{place: value}] of the Contacts folder's items, in the order libpff lists them.
    import pypff
    from pst_dump import PSETID_ADDRESS, entries, folders, named_ids
    pst = pypff.file()
    pst.open(path)
    try:
        lids = named_ids(pst, PSETID_ADDRESS)
        ids = {p: lids.get(p[1]) if isinstance(p, tuple) else p
               for _, _, p in PLACES.values() if p is not None}
        folder = next(f["_folder"] for f in folders(pst.get_root_folder(), None, [])
                      if f["name"] == "Contacts")
        items = []
        for props in (entries(folder.get_sub_message(i))
                      for i in range(folder.number_of_sub_messages)):
            item = {}
            for place, tag in ids.items():
                value_type, data = props.get(tag, (0, b""))
                if value_type == 0x001F:
                    item[place] = data.decode("utf-16-le")
                elif value_type == 0x0040:
                    item[place] = (datetime.datetime(1601, 1, 1) + datetime.timedelta(
                        microseconds=struct.unpack("<Q", data)[0] // 10)).date()
            items.append(item)
        return items
    finally:
        pst.close()


def pst_holds(item, key, place, expected):
    value = item.get(place)
    if key.startswith("workEmail") or key.startswith("imAddress"):
        return value is not None and expected in value.split(" ")
    return same_text(value, expected) if isinstance(value, str) else value == expected


def check_contact(fields, number, cards, rows, items, pst_index):
    # {(key, output): True when it arrived} for one contact converted as `number`; outputs that
    # were not given (None) are left out. vCards count as arrived only when both readers agree.
    result = {}
    card = cards.get(number) if cards is not None else None
    row = rows.get(number) if rows is not None else None
    item = items[pst_index] if items is not None and pst_index < len(items) else None
    for (key, output), expected in expected_values(fields).items():
        vcard_place, column, pst_place = PLACES[key]
        if output == "vcard" and cards is not None:
            # vobject reads vCards by the later format's rules, in which a comma separates
            # values: a value with a comma is judged by Evolution's reader alone.
            result[(key, output)] = card is not None and (
                "," in str(expected) or vcard_holds(card[0], key, vcard_place, expected)) and (
                vcard_holds(card[1], key, vcard_place, expected))
        elif output == "xls" and rows is not None:
            result[(key, output)] = row is not None and same_text(row[column - 1], expected)
        elif output == "pst" and items is not None:
            result[(key, output)] = item is not None and pst_holds(item, key, pst_place, expected)
    return result
