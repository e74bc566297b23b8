#!/usr/bin/python3
"""Opens a contact sheet written by excel_interop_tool with python3-xlrd and checks every cell.

BIFF2 carries no code page, so the sheet is opened as latin-1, which maps each byte to one
character: the bytes written come back exactly.
"""
import os
import subprocess
import sys
import tempfile

import xlrd

TITLES = [
    "First Name", "Middle Name", "Last Name", "Email", "Suffix", "Title", "Company",
    "Job Title", "Location", "Website", "Department", "Manager", "Assistant",
    "Business Street Address", "Business City", "Business Zip/Postal Code", "Business State",
    "Business Country", "Business Phone Number", "Business FAX", "Business CellPhone",
    "Business Pager", "Business Other Email 1", "Business Other Email 2",
    "Business Other Email 3", "Personal Street Address", "Personal City",
    "Personal Zip/Postal Code", "Personal State", "Personal Country", "Personal Phone Number",
    "Personal FAX", "Personal CellPhone", "Birthday", "Anniversary", "Comments",
]


def as_read(text):
    """The cell text xlrd gives for UTF-8 bytes read as latin-1."""
    return text.encode("utf-8").decode("latin-1")


def row(**columns):
    cells = [""] * 36
    for column, value in columns.items():
        cells[int(column[1:]) - 1] = value
    return cells


EXPECTED_ROWS = {
    1: row(c1="Ann", c3="Lee", c4="ann@example.org", c7="Acme & Sons", c8="Engineer",
           c10="www.example.org", c14="12 Main St, Suite 5", c21="+1 555 0100",
           c22="555-0199", c26="1 Elm Rd\\nFlat 2", c33="555-0199", c36="n" * 254 + "!"),
    2: row(c1=as_read("Zoë"), c3=as_read("Ångström"), c27=as_read("München"), c28="80331",
           c30="Deutschland", c36=None),
    3: row(c1="Solo", c3="Solo", c36="line one\r\nline two\ttabbed"),
    5: row(c1="Last", c3="One"),
}


def main():
    tool = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        notes = subprocess.run([tool, folder + "/"], check=True, capture_output=True,
                               text=True).stdout.splitlines()
        assert notes[1:] == ["Contact 2 (Zoë Ångström): Comments"], notes
        book = xlrd.open_workbook(os.path.join(folder, "ZimbraContacts.xls"),
                                  encoding_override="latin-1")
    assert book.biff_version == 20, book.biff_version
    assert book.nsheets == 1
    sheet = book.sheet_by_index(0)
    assert sheet.nrows == 6, sheet.nrows
    assert sheet.ncols == 36, sheet.ncols
    assert sheet.row_values(0) == TITLES, sheet.row_values(0)
    assert all(cell.ctype == xlrd.XL_CELL_TEXT for cell in sheet.row(0))
    assert all(cell.ctype == xlrd.XL_CELL_EMPTY for cell in sheet.row(4)), sheet.row(4)
    for rowx, expected in EXPECTED_ROWS.items():
        for colx, value in enumerate(expected):
            cell = sheet.cell(rowx, colx)
            if value is None:
                assert cell.ctype == xlrd.XL_CELL_EMPTY, (rowx, colx, cell)
            else:
                assert cell.ctype == xlrd.XL_CELL_TEXT, (rowx, colx, cell)
                assert cell.value == value, (rowx, colx, cell.value, value)
    print("xlrd read", sheet.nrows, "rows of", sheet.ncols, "columns as written")


if __name__ == "__main__":
    main()
