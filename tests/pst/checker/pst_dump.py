#!/usr/bin/python3
"""Reads a PST with libpff (Debian's python3-pypff) and prints what it sees as JSON.

Usage: pst_dump.py FILE [--folder NAME]
Exit status 0 with the JSON on standard output, 1 when libpff cannot open the file.

Output: {"folders": [{"path", "name", "identifier", "messages", "subfolders"}...],
         "contacts_folder": path or null,
         "contacts": [{"message_class", "given_name", ..., "email1"}...]}
The contacts are the items of the first folder named NAME (default "Contacts"),
in the order libpff lists them. The first e-mail address is a named property
(PidLidEmail1EmailAddress); its property id is resolved through the file's own
name-to-ID map, the way a reader has to.
"""

import json
import struct
import sys

import pypff

PSETID_ADDRESS = bytes.fromhex("0420060000000000c000000000000046")
LID_EMAIL1 = 0x8083

FIELDS = {
    "given_name": 0x3A06,
    "surname": 0x3A11,
    "display_name": 0x3001,
    "company": 0x3A16,
    "job_title": 0x3A17,
    "mobile": 0x3A1C,
    "home_street": 0x3A5D,
    "home_city": 0x3A59,
    "home_state": 0x3A5C,
    "home_postal_code": 0x3A5B,
    "home_country": 0x3A5A,
    "body": 0x1000,
}


def entries(item):
    """{property id: (value type, data bytes)} of an item's first record set."""
    out = {}
    if item.number_of_record_sets == 0:
        return out
    record_set = item.get_record_set(0)
    for i in range(record_set.number_of_entries):
        e = record_set.get_entry(i)
        out.setdefault(e.entry_type, (e.value_type, e.data or b""))
    return out


def text(entry):
    if entry is None:
        return None
    value_type, data = entry
    if value_type == 0x001F:
        return data.decode("utf-16-le")
    if value_type == 0x001E:
        return data.rstrip(b"\0").decode("cp1252", "replace")
    return data.hex()


def named_property_id(pst, guid, lid):
    """0x8000 + position of the (guid, lid) record in the map's entry stream."""
    props = entries(pst.get_name_to_id_map())
    guids = props.get(0x0002, (0, b""))[1]
    stream = props.get(0x0003, (0, b""))[1]
    for pos in range(len(stream) // 8):
        key, field, _ = struct.unpack_from("<IHH", stream, 8 * pos)
        w_guid = field >> 1
        if field & 1 or key != lid or w_guid < 3:
            continue
        if guids[16 * (w_guid - 3):16 * (w_guid - 2)] == guid:
            return 0x8000 + pos
    return None


def folders(folder, path, out):
    name = folder.name
    here = "" if path is None else (path + "/" if path else "") + (name or "")
    out.append({"path": here, "name": name, "identifier": folder.identifier,
                "messages": folder.number_of_sub_messages,
                "subfolders": folder.number_of_sub_folders, "_folder": folder})
    for i in range(folder.number_of_sub_folders):
        folders(folder.get_sub_folder(i), here, out)
    return out


def contact(message, email_id):
    props = entries(message)
    out = {"message_class": text(props.get(0x001A))}
    for field, prop in FIELDS.items():
        out[field] = text(props.get(prop))
    out["email1"] = text(props.get(email_id)) if email_id is not None else None
    return out


def dump(path, folder_name):
    pst = pypff.file()
    pst.open(path)
    try:
        tree = folders(pst.get_root_folder(), None, [])
        email_id = named_property_id(pst, PSETID_ADDRESS, LID_EMAIL1)
        target = next((f for f in tree if f["name"] == folder_name), None)
        contacts = []
        if target is not None:
            folder = target["_folder"]
            contacts = [contact(folder.get_sub_message(i), email_id)
                        for i in range(folder.number_of_sub_messages)]
        for f in tree:
            del f["_folder"]
        return {"folders": tree, "contacts_folder": target and target["path"],
                "email1_property_id": email_id, "contacts": contacts}
    finally:
        pst.close()


def main(argv):
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != "--folder"):
        print("usage: pst_dump.py FILE [--folder NAME]", file=sys.stderr)
        return 2
    try:
        result = dump(argv[1], argv[3] if len(argv) == 4 else "Contacts")
    except (IOError, OSError) as e:
        print("%s: libpff cannot read the file: %s" % (argv[1], e), file=sys.stderr)
        return 1
    json.dump(result, sys.stdout, ensure_ascii=False, indent=1)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
