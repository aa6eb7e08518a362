#!/usr/bin/python3
"""Writes an .xls workbook (BIFF8, with xlwt) from a description in JSON.

xlsbook.py OUT.xls SHEETS.json: a list of sheets {"name": ..., "rows": [[cell, ...], ...]};
a cell is a number, a text, null (left empty) or {"date": "YYYY-MM-DD"}.
"""
import datetime
import json
import sys

import xlwt


def main():
    out, description = sys.argv[1:3]
    with open(description) as f:
        sheets = json.load(f)
    book = xlwt.Workbook(encoding="utf-8")
    date_style = xlwt.easyxf(num_format_str="YYYY-MM-DD")
    for sheet in sheets:
        ws = book.add_sheet(sheet["name"])
        for r, row in enumerate(sheet["rows"]):
            for c, cell in enumerate(row):
                if cell is None:
                    continue
                if isinstance(cell, dict):
                    ws.write(r, c, datetime.date.fromisoformat(cell["date"]), date_style)
                else:
                    ws.write(r, c, cell)
    book.save(out)


if __name__ == "__main__":
    main()
