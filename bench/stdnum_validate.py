#!/usr/bin/python3
"""The peer of `quillon-cli validate --format csv` for bench/cli-throughput.sh: python-stdnum's IMEI
module doing the same job, one CSV row per input line (clean, validate, split, format)."""
import csv
import sys

from stdnum import imei
from stdnum.exceptions import ValidationError


def main():
    out = csv.writer(sys.stdout, lineterminator="\r\n")
    out.writerow(["input", "imei", "valid", "tac", "serial", "check", "presentation"])
    all_valid = True
    for line in sys.stdin:
        text = line.rstrip("\r\n")
        try:
            number = imei.compact(text)
        except ValidationError:
            number = ""
        valid = imei.is_valid(number) if number else False
        all_valid = all_valid and valid
        if len(number) >= 14 and number.isdigit():
            tac, serial, check = imei.split(number)
            presentation = imei.format(number)
        else:
            tac = serial = check = presentation = ""
        out.writerow([text, number, "true" if valid else "false", tac, serial, check, presentation])
    return 0 if all_valid else 1


if __name__ == "__main__":
    sys.exit(main())
