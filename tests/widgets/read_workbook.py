#!/usr/bin/python3
"""Reads an .xlsx workbook with openpyxl, an implementation independent of
ours, and prints what the tests check as JSON."""
import datetime
import json
import sys

import openpyxl


def plain(value):
    if isinstance(value, (datetime.datetime, datetime.date, datetime.time)):
        return value.isoformat()
    return value


def image(img):
    """Where a picture is anchored (0-based column and row) and its size in pixels."""
    start = img.anchor._from
    return {"col": start.col, "row": start.row, "width": img.width, "height": img.height}


def main(path):
    wb = openpyxl.load_workbook(path)
    out = {"sheets": [], "names": {}, "fullCalcOnLoad": bool(wb.calculation.fullCalcOnLoad)}
    for dn in wb.defined_names.definedName:
        key = dn.name if dn.localSheetId is None else "%s@%s" % (dn.name, dn.localSheetId)
        out["names"][key] = dn.attr_text
    for ws in wb.worksheets:
        cells = {}
        for row in ws.iter_rows():
            for c in row:
                if c.value is not None:
                    cells[c.coordinate] = [plain(c.value), c.data_type, bool(c.font and c.font.b)]
        heights = {str(r): d.height for r, d in ws.row_dimensions.items() if d.height}
        widths = {k: d.width for k, d in ws.column_dimensions.items() if d.customWidth}
        cf = []
        for rng in ws.conditional_formatting:
            cf.append(str(rng.sqref))
        out["sheets"].append({
            "name": ws.title,
            "cells": cells,
            "merges": sorted(str(r) for r in ws.merged_cells.ranges),
            "heights": heights,
            "widths": widths,
            "cf": cf,
            "printArea": ",".join(ws.print_area) if isinstance(ws.print_area, (list, tuple)) else ws.print_area,
            "orientation": ws.page_setup.orientation,
            "paperSize": ws.page_setup.paperSize,
            "maxRow": ws.max_row,
            "images": [image(i) for i in getattr(ws, "_images", [])],
        })
    json.dump(out, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main(sys.argv[1])
