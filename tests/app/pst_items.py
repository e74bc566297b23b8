#!/usr/bin/python3
"""Prints everything libpff reads from a PST, as JSON, leaving out what differs between two
files written from the same contacts: time stamps, and the keys drawn at random for each file
and item.

Usage: pst_items.py FILE
Output: the folder tree, each folder with its name, its own properties and its items, each item
with every property (tag, type, bytes as hex) in the order libpff lists them.
Exit status 1 when libpff cannot open the file.
"""

import json
import sys

import pypff

PT_SYSTIME = 0x0040
# Drawn anew for every file or item: search keys, and the entry identifiers of the special
# folders, which embed the file's random record key.
VARYING = {0x300B, 0x36D0, 0x36D1, 0x36D2, 0x36D3, 0x36D4, 0x36D5, 0x36D7}


def properties(item):
    out = []
    for r in range(item.number_of_record_sets):
        record_set = item.get_record_set(r)
        for e in range(record_set.number_of_entries):
            entry = record_set.get_entry(e)
            tag, value_type = entry.entry_type, entry.value_type
            if value_type == PT_SYSTIME or tag in VARYING:
                continue
            data = entry.data
            out.append(["%04X" % tag, "%04X" % value_type, data.hex() if data else ""])
    return out


def folder_tree(folder):
    return {
        "name": folder.name,
        "properties": properties(folder),
        "items": [properties(folder.get_sub_message(i))
                  for i in range(folder.number_of_sub_messages)],
        "folders": [folder_tree(folder.get_sub_folder(i))
                    for i in range(folder.number_of_sub_folders)],
    }


def main(argv):
    if len(argv) != 2:
        print("usage: pst_items.py FILE", file=sys.stderr)
        return 2
    pst = pypff.file()
    try:
        pst.open(argv[1])
    except (IOError, OSError) as error:
        print("%s: libpff cannot read the file: %s" % (argv[1], error), file=sys.stderr)
        return 1
    try:
        tree = folder_tree(pst.get_root_folder())
        names = properties(pst.get_name_to_id_map())
    finally:
        pst.close()
    json.dump({"root": tree, "name_to_id_map": names}, sys.stdout, indent=0, sort_keys=True)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
