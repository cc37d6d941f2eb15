#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Reads a table file with Python's own readers and prints it as JSON, every cell as
# [type, text]: "n" for a number, "s" for text, "f" for a formula, "" for an empty cell.
# Usage: read_table.py FILE.xlsx | read_table.py FILE.csv SEPARATOR
import csv
import json
import sys


def number_text(value):
    if isinstance(value, float) and value.is_integer():
        value = int(value)
    return str(value)


def read_xlsx(path):
    import openpyxl
    book = openpyxl.load_workbook(path)
    rows = []
    for row in book.worksheets[0].iter_rows():
        cells = []
        for cell in row:
            if cell.value is None:
                cells.append(["", ""])
            elif cell.data_type == "n":
                cells.append(["n", number_text(cell.value)])
            else:
                cells.append([cell.data_type, str(cell.value)])
        rows.append(cells)
    return rows


def read_csv(path, separator):
    with open(path, newline="", encoding="utf-8-sig") as f:
        return [[["s" if v else "", v] for v in row]
                for row in csv.reader(f, delimiter=separator, strict=True)]


if __name__ == "__main__":
    path = sys.argv[1]
    rows = read_xlsx(path) if path.endswith(".xlsx") else read_csv(path, sys.argv[2])
    json.dump(rows, sys.stdout, ensure_ascii=False)
