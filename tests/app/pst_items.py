#!/usr/bin/python3
"""Prints everything libpff reads from a PST, as JSON, leaving out what differs between two
files written from the same contacts: time stamps, and the keys drawn at random for each file
and item. The folder tree, each folder with its name, its properties and its items' properties
(tag, type, bytes as hex). Exit status 1 when libpff cannot open the file.

Usage: pst_items.py FILE
"""

import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pst", "checker"))
import pypff  # noqa: E402
from pst_dump import entries  # noqa: E402

PT_SYSTIME = 0x0040
# Drawn anew for every file or item: search keys, and the entry identifiers of the special
# folders, which embed the file's random record key.
VARYING = {0x300B, 0x36D0, 0x36D1, 0x36D2, 0x36D3, 0x36D4, 0x36D5, 0x36D7}


def properties(item):
    return sorted(["%04X" % tag, "%04X" % value_type, data.hex()]
                  for tag, (value_type, data) in entries(item).items()
                  if value_type != PT_SYSTIME and tag not in VARYING)


def folder_tree(folder):
    return {"name": folder.name, "properties": properties(folder),
            "items": [properties(folder.get_sub_message(i))
                      for i in range(folder.number_of_sub_messages)],
            "folders": [folder_tree(folder.get_sub_folder(i))
                        for i in range(folder.number_of_sub_folders)]}


if __name__ == "__main__":
    pst = pypff.file()
    pst.open(sys.argv[1])
    json.dump({"root": folder_tree(pst.get_root_folder()),
               "name_to_id_map": properties(pst.get_name_to_id_map())},
              sys.stdout, indent=0, sort_keys=True)
    print()
