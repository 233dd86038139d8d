#!/usr/bin/env python3
"""Reads the rows of one table as `ravelin rows` writes them in TSV, CSV and
JSON, each with a standard reader (the TSV one undoes the documented
escapes), and checks that the three give the same values:

  TSV   \\N is NULL, \\? unreadable; \\\\ \\t \\n \\r \\b \\f \\v and \\xHH
  CSV   Python's csv module: NULL reads as '', unreadable as \\?
  JSON  Python's json module: null, {"unreadable": true}, numbers, booleans,
        strings

Prints the header and the rows as JSON (null, {"unreadable": true} or the
text of every value, the status column included) and exits 0; prints what differs and
exits 1 otherwise.

    rows_formats_check.py TSV CSV JSON
"""
import csv
import json
import sys

UNREADABLE = {"unreadable": True}
ESCAPES = {"\\": "\\", "t": "\t", "n": "\n", "r": "\r", "b": "\b", "f": "\f", "v": "\v"}


def tsv_field(field):
    if field == "\\N":
        return None
    if field == "\\?":
        return UNREADABLE
    out, i = [], 0
    while i < len(field):
        if field[i] != "\\":
            out.append(field[i])
            i += 1
        elif field[i + 1] == "x":
            out.append(chr(int(field[i + 2:i + 4], 16)))
            i += 4
        else:
            out.append(ESCAPES[field[i + 1]])
            i += 2
    return "".join(out)


def read_tsv(path):
    with open(path, encoding="utf-8", newline="") as f:
        lines = f.read().split("\n")
    assert lines[-1] == "", "TSV must end with a line feed"
    rows = [[tsv_field(x) for x in line.split("\t")] for line in lines[:-1]]
    return rows[0], rows[1:]


def read_csv(path):
    with open(path, encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f))
    return rows[0], rows[1:]


def same(tsv, js):
    if tsv is None or tsv == UNREADABLE or isinstance(js, dict) or js is None:
        return tsv == js
    if isinstance(js, bool):
        return tsv == ("1" if js else "0")
    if isinstance(js, int):
        return tsv == str(js)
    if isinstance(js, float):
        return float(tsv) == js
    return tsv == js


def main():
    tsv_header, tsv_rows = read_tsv(sys.argv[1])
    csv_header, csv_rows = read_csv(sys.argv[2])
    with open(sys.argv[3], encoding="utf-8") as f:
        document = json.load(f)
    problems = []
    names = [c["name"] for c in document["columns"]]
    if csv_header != tsv_header:
        problems.append("headers: %r %r" % (tsv_header, csv_header))
    if tsv_header[len(tsv_header) - len(names):] != names:
        problems.append("JSON columns %r, TSV header %r" % (names, tsv_header))
    if not (len(tsv_rows) == len(csv_rows) == len(document["rows"])):
        problems.append("row counts %d %d %d" % (len(tsv_rows), len(csv_rows), len(document["rows"])))
    for n, (t, c, j) in enumerate(zip(tsv_rows, csv_rows, document["rows"])):
        keys = list(j.keys())
        if keys != tsv_header:
            problems.append("row %d: JSON keys %r" % (n + 1, keys))
            continue
        for k, name in enumerate(tsv_header):
            want_csv = "" if t[k] is None else "\\?" if t[k] == UNREADABLE else t[k]
            if c[k] != want_csv:
                problems.append("row %d %s: TSV %r, CSV %r" % (n + 1, name, t[k], c[k]))
            if not same(t[k], j[name]):
                problems.append("row %d %s: TSV %r, JSON %r" % (n + 1, name, t[k], j[name]))
    if problems:
        print("\n".join(problems[:20]))
        return 1
    print(json.dumps([tsv_header] + tsv_rows, ensure_ascii=False))
    return 0


if __name__ == "__main__":
    sys.exit(main())
