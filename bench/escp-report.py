#!/usr/bin/env python3
"""Writes a long ESC/P report as a DOS program prints it (condensed, bold headings, a
double frame in CP852, a form feed after every page) and the same text as UTF-8 without
codes or frames, for the filters that know no ESC/P. Usage: escp-report.py PAGES OUT.prn OUT.txt"""
import sys

pages, prn_path, txt_path = int(sys.argv[1]), sys.argv[2], sys.argv[3]
prn, txt = bytearray(b"\x1b@\x1bC\x46"), []   # 70 lines to the page
cp852 = {"ą": 0xA5, "ć": 0x86, "ę": 0xA9, "ł": 0x88, "ń": 0xE4, "ó": 0xA2, "ś": 0x98, "ź": 0xAB, "ż": 0xBE}


def dos(text):
    return bytes(cp852.get(c, ord(c)) for c in text)


widths = (6, 48, 12, 16, 16, 16)
row = 0
for page in range(1, pages + 1):
    title = "Zestawienie sprzedaży — strona %d z %d" % (page, pages)
    prn += b"\x1bE" + dos(title.replace("—", "-")) + b"\x1bF\r\n\x0f"
    txt.append(title)
    prn += b"\xc9" + b"\xcb".join(b"\xcd" * w for w in widths) + b"\xbb\r\n"
    heading = ("Lp.", "Nazwa towaru", "Ilość", "Cena netto", "Wartość", "VAT")
    prn += b"\xba" + b"\xba".join(b"\x1bE" + dos(h.ljust(w)) + b"\x1bF" for h, w in zip(heading, widths)) + b"\xba\r\n"
    txt.append(" ".join(h.ljust(w) for h, w in zip(heading, widths)))
    prn += b"\xcc" + b"\xce".join(b"\xcd" * w for w in widths) + b"\xb9\r\n"
    for _ in range(62):
        row += 1
        cells = (str(row).rjust(5) + " ", ("Gwóźdź stalowy ocynkowany nr %d" % row)[:48].ljust(48),
                 ("%d szt." % (row % 97 + 1)).rjust(12), ("%d,%02d" % (row % 500, row % 100)).rjust(16),
                 ("%d,%02d" % (row * 3 % 9000, row % 100)).rjust(16), "23%".rjust(16))
        prn += b"\xba" + b"\xba".join(dos(c) for c in cells) + b"\xba\r\n"
        txt.append(" ".join(cells))
    prn += b"\xc8" + b"\xca".join(b"\xcd" * w for w in widths) + b"\xbc\x12\r\n\x0c"
    txt.append("\f")
open(prn_path, "wb").write(prn)
open(txt_path, "w", encoding="utf-8").write("\n".join(txt))
