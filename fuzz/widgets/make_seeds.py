#!/usr/bin/env python3
"""Seed corpus for fuzz_workbook_template from the real templates: each part
of each template as the fuzzer's part input (first byte: template in the
lowest bit, part index above it), and each whole file (first byte 0xFF).
   make_seeds.py TEMPLATES_DIR CORPUS_DIR"""
import os
import sys
import zipfile

templates, corpus = sys.argv[1], sys.argv[2]
os.makedirs(corpus, exist_ok=True)
for t, name in enumerate(["Report.xlsx", "GReport.xlsx"]):
    path = os.path.join(templates, name)
    with open(path, "rb") as f:
        whole = f.read()
    with open(os.path.join(corpus, "whole-" + name), "wb") as f:
        f.write(b"\xff" + whole)
    parts = [i for i in zipfile.ZipFile(path).infolist() if not i.filename.endswith("/")]
    for index, info in enumerate(parts):
        data = zipfile.ZipFile(path).read(info.filename)
        for added in (0, 0x80):
            selector = ((index << 1) | t | added) & 0xFF
            if selector == 0xFF:
                continue
            out = "part-%s-%d-%s%s" % (name.split(".")[0], index, info.filename.replace("/", "_"),
                                        "-export" if added else "")
            with open(os.path.join(corpus, out), "wb") as f:
                f.write(bytes([selector]) + data)
