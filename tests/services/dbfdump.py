#!/usr/bin/python3
"""Reads a dBASE table with dbfread and prints what a reader sees, as JSON.

dbfdump.py TABLE.dbf: {"version", "records" (the header's count), "ldid", "fields":
[[name, type, length], ...], "rows": [[value, ...], ...], "eof" (the last byte is 0x1A),
"size_ok" (header + records + end byte make up the file)}.
"""
import json
import os
import sys

import dbfread


def main():
    path = sys.argv[1]
    table = dbfread.DBF(path, encoding="cp1250", char_decode_errors="strict")
    rows = [list(record.values()) for record in table]
    with open(path, "rb") as f:
        data = f.read()
    header = table.header
    print(json.dumps({
        "version": header.dbversion,
        "records": header.numrecords,
        "ldid": header.language_driver,
        "fields": [[f.name, f.type, f.length] for f in table.fields],
        "rows": rows,
        "eof": data[-1:] == b"\x1a",
        "size_ok": len(data) == header.headerlen + header.numrecords * header.recordlen + 1,
    }, default=str, ensure_ascii=False))


if __name__ == "__main__":
    main()
