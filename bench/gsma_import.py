#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# The peer of `quillon-cli import --replace -o OUT EXPORT` for the import benchmark, with Python's
# own csv module: the same columns found by name, the same names chosen and cleaned, the same
# codes kept and the same tacdex.csv written. Usage: gsma_import.py EXPORT OUT VERSION
import csv
import sys

CODE = ("tac", "type allocation code", "tac code")
BRAND = ("brand name", "brand")
MANUFACTURER = ("manufacturer", "manufacturer (or) applicant")
MARKETING = ("marketing name",)
MODEL = ("model name", "model")


def normalise(name):
    return name.replace("_", " ").strip(" ").lower()


def column(header, wanted):
    names = [normalise(name) for name in header]
    for name in wanted:
        if name in names:
            return names.index(name)
    return None


def clean(name):
    name = "".join(" " if c == "," or ord(c) < 0x20 or 0x7F <= ord(c) <= 0x9F else c for c in name).strip(" ")
    return "" if normalise(name) == "not known" else name


def main(export, out, version):
    devices = {}  # code -> "code,maker,model"; a dict keeps the first position of each code
    with open(export, encoding="utf-8", newline="") as f:
        rows = csv.reader(f, delimiter="|")
        header = next(rows)
        code, brand, maker = column(header, CODE), column(header, BRAND), column(header, MANUFACTURER)
        marketing, model = column(header, MARKETING), column(header, MODEL)
        for row in rows:
            if len(row) != len(header):
                continue
            tac = row[code].strip(" ")
            if len(tac) != 8 or not tac.isdigit():
                continue
            manufacturer = clean(row[brand]) if brand is not None else ""
            if not manufacturer and maker is not None:
                manufacturer = clean(row[maker])
            name = clean(row[marketing]) if marketing is not None else ""
            if not name and model is not None:
                name = clean(row[model])
            if manufacturer or name:
                devices[tac] = tac + "," + manufacturer + "," + name
    with open(out, "w", encoding="utf-8", newline="") as f:
        for line in devices.values():
            f.write(line + "\r\n")
        f.write("99999999," + version + "\r\n")


if __name__ == "__main__":
    main(*sys.argv[1:4])
