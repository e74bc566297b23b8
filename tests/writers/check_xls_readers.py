#!/usr/bin/python3
"""Opens a contact sheet written by excel_interop_tool with the programs people use, giving none
of them any option, and checks every cell: python3-xlrd, LibreOffice Calc (headless, converting
to CSV) and gnumeric's ssconvert. The CSV written beside the sheet is read with Python's csv
module and must hold every value whole, the one the sheet leaves out included.

usage: check_xls_readers.py INTEROP_TOOL
Readers that are not installed are reported as missing and fail the check.
"""
import csv
import os
import shutil
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


def row(**columns):
    cells = [""] * 36
    for column, value in columns.items():
        cells[int(column[1:]) - 1] = value
    return cells


LONG_NOTE = "x" * 300
# Row index -> cells, as the CSV holds them; the worksheet has the same but the long note.
EXPECTED = [
    TITLES,
    row(c1="Ann", c3="Lee", c4="ann@example.org", c7='Acme & Sons, "Ltd"', c8="Engineer",
        c10="www.example.org", c14="12 Main St, Suite 5", c21="+1 555 0100",
        c22="555-0199", c26="1 Elm Rd\\nFlat 2", c33="555-0199", c36="n" * 254 + "!"),
    row(c1="Zoë", c3="Ångström", c8="Gérant € Œuvre", c15="Québec", c26="Straße 1",
        c27="München", c28="80331", c30="Deutschland", c36=LONG_NOTE),
    row(c1="Solo", c3="Solo", c36="line one\r\nline two\ttabbed"),
    [""] * 36,
    row(c1="Last", c3="One"),
]


def sheet_expected():
    rows = [list(cells) for cells in EXPECTED]
    rows[2][35] = ""
    return rows


def normalised(rows):
    """Rows padded to 36 cells, trailing empty rows dropped, line breaks as CR LF."""
    out = []
    for cells in rows:
        cells = [str(cell) for cell in cells] + [""] * (36 - len(cells))
        out.append([cell.replace("\r\n", "\n").replace("\n", "\r\n") for cell in cells])
    while out and not any(out[-1]):
        out.pop()
    return out


def compare(reader, rows, expected):
    rows = normalised(rows)
    expected = normalised(expected)
    bad = []
    for rowx in range(max(len(rows), len(expected))):
        got = rows[rowx] if rowx < len(rows) else [""] * 36
        want = expected[rowx] if rowx < len(expected) else [""] * 36
        for colx in range(36):
            if got[colx] != want[colx]:
                bad.append((rowx, colx, got[colx][:60], want[colx][:60]))
    if bad:
        print(f"{reader}: {len(bad)} cell(s) differ, first: {bad[:5]}")
        return False
    print(f"{reader}: every cell of {len(expected)} rows reads as written")
    return True


def read_xlrd(path):
    book = xlrd.open_workbook(path)
    assert book.biff_version in (20, 21), book.biff_version
    sheet = book.sheet_by_index(0)
    return [sheet.row_values(rowx) for rowx in range(sheet.nrows)]


def read_csv_file(path):
    with open(path, newline="", encoding="utf-8-sig") as handle:
        return list(csv.reader(handle))


def read_libreoffice(path, work):
    profile = os.path.join(work, "lo-profile")
    out = os.path.join(work, "lo")
    os.makedirs(out, exist_ok=True)
    env = dict(os.environ, HOME=os.path.join(work, "lo-home"))
    # The export side is told to write UTF-8; the worksheet is opened with no option at all.
    subprocess.run(["soffice", "--headless", "--norestore", "-env:UserInstallation=file://" +
                    profile, "--convert-to", 'csv:Text - txt - csv (StarCalc):44,34,76,1',
                    "--outdir", out, path], check=True, capture_output=True, env=env, timeout=180)
    return read_csv_file(os.path.join(out, "ZimbraContacts.csv"))


def read_gnumeric(path, work):
    out = os.path.join(work, "gnumeric.csv")
    env = dict(os.environ, HOME=os.path.join(work, "gnumeric-home"))
    subprocess.run(["ssconvert", "--export-type=Gnumeric_stf:stf_csv", path, out], check=True,
                    capture_output=True, env=env, timeout=180)
    return read_csv_file(out)


def main():
    tool = sys.argv[1]
    ok = True
    with tempfile.TemporaryDirectory() as work:
        folder = os.path.join(work, "out")
        os.makedirs(folder)
        notes = subprocess.run([tool, folder + "/"], check=True, capture_output=True,
                               text=True).stdout.splitlines()
        assert notes[1:] == ["Contact 2 (Zoë Ångström): Comments"], notes
        sheet = os.path.join(folder, "ZimbraContacts.xls")
        ok &= compare("python csv module (ZimbraContacts.csv)",
                      read_csv_file(os.path.join(folder, "ZimbraContacts.csv")), EXPECTED)
        ok &= compare("python3-xlrd", read_xlrd(sheet), sheet_expected())
        for name, program, reader in (("LibreOffice Calc", "soffice", read_libreoffice),
                                      ("gnumeric ssconvert", "ssconvert", read_gnumeric)):
            if shutil.which(program) is None:
                print(f"{name}: {program} is not installed (scripts/install-deps --test)")
                ok = False
                continue
            ok &= compare(name, reader(sheet, work), sheet_expected())
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
