#!/usr/bin/env python3
"""Reads the first sheet of an .xlsx back as JSON, independently of the writer: a workbook is a
zip of XML parts, read here with the standard library only.

Output: {"cells": {"A1": {"type": "s"|"n"|"b", "value": ..., "format": "0.00"|null}, ...},
         "freeze": "A2"|null, "widths": {"1": 12.7, ...}, "sheet": "name"}
"""
import json
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}
REL = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}id"
BUILTIN_FORMATS = {0: None, 1: "0", 2: "0.00", 14: "mm-dd-yy", 22: "m/d/yy h:mm"}


def text_of(node):
    # Characters XML cannot hold travel as _xHHHH_ (a literal "_x" as _x005F_x).
    raw = "".join(t.text or "" for t in node.iter("{%s}t" % NS["m"]))
    return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), raw)


def main(path):
    z = zipfile.ZipFile(path)
    shared = []
    if "xl/sharedStrings.xml" in z.namelist():
        root = ET.fromstring(z.read("xl/sharedStrings.xml"))
        shared = [text_of(si) for si in root.findall("m:si", NS)]
    formats = {}
    xfs = []
    if "xl/styles.xml" in z.namelist():
        styles = ET.fromstring(z.read("xl/styles.xml"))
        for nf in styles.findall("m:numFmts/m:numFmt", NS):
            formats[int(nf.get("numFmtId"))] = nf.get("formatCode")
        for xf in styles.findall("m:cellXfs/m:xf", NS):
            fid = int(xf.get("numFmtId", "0"))
            xfs.append(formats.get(fid, BUILTIN_FORMATS.get(fid)))
    book = ET.fromstring(z.read("xl/workbook.xml"))
    sheet_name = book.find("m:sheets/m:sheet", NS).get("name")
    sheet = ET.fromstring(z.read("xl/worksheets/sheet1.xml"))
    cells = {}
    for c in sheet.iter("{%s}c" % NS["m"]):
        t = c.get("t", "n")
        fmt = xfs[int(c.get("s"))] if c.get("s") is not None and xfs else None
        v = c.find("m:v", NS)
        if t == "s":
            value, kind = shared[int(v.text)], "s"
        elif t == "inlineStr":
            value, kind = text_of(c.find("m:is", NS)), "s"
        elif t == "str":
            value, kind = v.text or "", "s"
        elif t == "b":
            value, kind = v.text == "1", "b"
        elif v is None:
            continue
        else:
            value, kind = float(v.text), "n"
        cells[c.get("r")] = {"type": kind, "value": value, "format": fmt}
    freeze = None
    pane = sheet.find("m:sheetViews/m:sheetView/m:pane", NS)
    if pane is not None and pane.get("state") == "frozen":
        freeze = pane.get("topLeftCell")
    widths = {}
    for col in sheet.findall("m:cols/m:col", NS):
        for i in range(int(col.get("min")), int(col.get("max")) + 1):
            widths[str(i)] = float(col.get("width"))
    json.dump({"cells": cells, "freeze": freeze, "widths": widths, "sheet": sheet_name},
              sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main(sys.argv[1])
