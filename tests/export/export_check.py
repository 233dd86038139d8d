#!/usr/bin/env python3
"""Checks `ravelin export` of one data file against the other commands.

  export_check.py RAVELIN DATAFILE MODE WORKDIR [--modules] [--deleted | --deleted-advanced]

Exports DATAFILE in MODE (standard or advanced) to a SQLite database and to
a CSV folder, then for every table the export wrote:
  - reads the SQLite table back through Python's sqlite3 (libsqlite3) and
    compares it value by value with `ravelin rows --format json`: the same
    rows in the same order; NULL as NULL; an unreadable value as NULL listed
    in ravelin_unreadable; integers and bits as integers; floats as reals
    (reals compared as 4-byte floats); exact numbers, dates and texts as
    text; binary as a blob whose hex is the rows text;
  - compares the CSV file with `ravelin rows --format csv` byte for byte and
    reads it with Python's csv module (RFC 4180);
  - compares ravelin_columns with the table's columns in `schema --json`.
With --deleted or --deleted-advanced both commands list deleted rows too,
each with its ravelin_status (the last column of the export, the first of
rows --format csv). With --modules, every view, procedure, function, trigger, default and
constraint whose text `ravelin definition` gives must be in ravelin_modules
with that text.
Prints a line per problem on stderr and exits 1 when there is one.
"""
import csv
import io
import json
import os
import sqlite3
import struct
import subprocess
import sys

ravelin, datafile, mode, work = sys.argv[1:5]
check_modules = "--modules" in sys.argv[5:]
deleted = [a for a in sys.argv[5:] if a in ("--deleted", "--deleted-advanced")]
problems = []


def run(args):
    p = subprocess.run([ravelin] + args, capture_output=True)
    return p.returncode, p.stdout, p.stderr.decode("utf-8", "replace")


def problem(text):
    problems.append(text)


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


db_path = os.path.join(work, "export.db")
csv_dir = os.path.join(work, "csv")
for args in (["--sqlite", db_path], ["--csv", csv_dir]):
    code, _, err = run(["export", datafile, "--mode", mode, "--quiet"] + deleted + args)
    if code not in (0, 3):
        problem(f"export {args[0]} exited {code}: {err}")
if problems:
    print("\n".join(problems), file=sys.stderr)
    sys.exit(1)

db = sqlite3.connect(db_path)
db.text_factory = lambda b: b.decode("utf-8", "surrogateescape")
tables = db.execute(
    "SELECT table_name, schema_name, source_name, row_count FROM ravelin_tables WHERE status = 'written'").fetchall()
unreadable = set(db.execute("SELECT table_name, row_number, column_name FROM ravelin_unreadable").fetchall())
code, out, err = run(["schema", datafile, "--json", "--quiet"])
schema = json.loads(out)
schema_tables = {t["name"]: t for t in schema["tables"]}


def same_value(expected, got, sql_type, where):
    if expected is None:
        return got is None
    if isinstance(expected, dict):
        return got is None and expected.get("unreadable") is True and where in unreadable
    if isinstance(expected, bool):
        return got == (1 if expected else 0) and isinstance(got, int)
    if isinstance(expected, int):
        # A float with a whole value is listed without a fraction.
        return isinstance(got, (int, float)) and got == expected
    if isinstance(expected, float):
        if not isinstance(got, float):
            return False
        return f32(got) == f32(expected) if sql_type.startswith("real") else got == expected
    # A string: text, or the hex of a blob, or a sql_variant carrying a number.
    if isinstance(got, bytes):
        return expected == "0x" + got.hex().upper()
    if isinstance(got, str):
        return got == expected
    if isinstance(got, int) and not isinstance(got, bool):
        return str(got) == expected
    if isinstance(got, float):
        return float(expected) == got
    return False


checked_rows = 0
for table_name, schema_name, source_name, row_count in tables:
    name = f"{schema_name}.{source_name}"
    code, out, err = run(["rows", datafile, name, "--mode", mode, "--format", "json", "--quiet"] + deleted)
    if code not in (0, 3):
        problem(f"{name}: rows exited {code}: {err}")
        continue
    listing = json.loads(out.decode("utf-8", "surrogateescape"))
    columns = db.execute("SELECT column_name, source_name, sql_type, nullable, identity, primary_key, foreign_key "
                         "FROM ravelin_columns WHERE table_name = ? ORDER BY position", (table_name,)).fetchall()
    names = [c["name"] for c in listing["columns"]]
    stored_names = [c[1] for c in columns]
    if names != stored_names:
        problem(f"{name}: columns {names} != {[c[1] for c in columns]}")
        continue
    quoted = '"' + table_name.replace('"', '""') + '"'
    got = db.execute(f"SELECT rowid, * FROM {quoted} ORDER BY rowid").fetchall()
    if len(got) != len(listing["rows"]) or row_count != len(got):
        problem(f"{name}: {len(got)} rows in SQLite ({row_count} recorded), {len(listing['rows'])} listed")
        continue
    status_key = next((k for k in (listing["rows"][0] if listing["rows"] else {}) if k.startswith("ravelin_status")),
                      None)
    if deleted and listing["rows"] and status_key is None:
        problem(f"{name}: rows lists no status")
    for expected_row, got_row in zip(listing["rows"], got):
        rowid = got_row[0]
        if deleted and status_key and expected_row[status_key] != got_row[-1]:
            problem(f"{name}: row {rowid} is {got_row[-1]!r} in SQLite, {expected_row[status_key]!r} listed")
        for k, column in enumerate(columns):
            expected = expected_row[names[k]]
            if not same_value(expected, got_row[k + 1], column[2], (table_name, rowid, column[0])):
                problem(f"{name}: row {rowid} column {names[k]}: {expected!r} listed, {got_row[k + 1]!r} stored")
    checked_rows += len(got)

    # ravelin_columns against schema --json.
    described = schema_tables.get(name)
    if described is None:
        problem(f"{name}: not in schema --json")
    else:
        want = [(c["name"], c["declaredType"], 1 if c["nullable"] else 0, (c["identity"] or "").lower(),
                 c["primaryKey"]) for c in described["columns"]]
        have = [(c[1], c[2], c[3], (c[4] or "").lower(), c[5] is not None) for c in columns]
        if want != have:
            problem(f"{name}: ravelin_columns {have} != schema {want}")
        for c, row in zip(described["columns"], columns):
            fk = c["foreignKey"]
            if fk and (row[6] is None or f"({fk['column']})" not in row[6]
                       or fk["table"].split(".")[-1] not in row[6]):
                problem(f"{name}.{c['name']}: foreign key {row[6]!r}, schema says {fk}")

    # The CSV file against rows --format csv.
    code, out, err = run(["rows", datafile, name, "--mode", mode, "--format", "csv", "--quiet"] + deleted)
    path = os.path.join(csv_dir, f"{schema_name}.{source_name}.csv")
    if not os.path.exists(path):
        problem(f"{name}: no CSV file {path}")
        continue
    data = open(path, "rb").read()
    records = list(csv.reader(io.StringIO(data.decode("utf-8", "surrogateescape"), newline="")))
    if not deleted:
        if data != out:
            problem(f"{name}: the CSV file differs from rows --format csv")
    else:
        # The same records, the status column moved from first to last.
        listed = list(csv.reader(io.StringIO(out.decode("utf-8", "surrogateescape"), newline="")))
        if records != [r[1:] + r[:1] for r in listed]:
            problem(f"{name}: the CSV file holds other records than rows --format csv")
    width = len(names) + (1 if deleted else 0)
    if len(records) != len(got) + 1 or records[0][:len(names)] != names or any(len(r) != width for r in records):
        problem(f"{name}: the CSV file reads as {len(records)} records")

if check_modules:
    stored = {}
    for schema_name, name, text in db.execute("SELECT schema_name, name, definition FROM ravelin_modules"):
        stored.setdefault(f"{schema_name}.{name}", []).append(text)
    kinds = {"V ", "P ", "FN", "IF", "TF", "TR", "D ", "C ", "R "}
    for o in schema["objects"]:
        if o["typeCode"] not in kinds or not o["name"]:
            continue
        code, out, err = run(["definition", datafile, o["name"], "--quiet"])
        if code != 0:
            continue
        text = out.decode("utf-8", "surrogateescape")
        qualified = o["name"] if "." in o["name"] else "dbo." + o["name"]
        if text not in stored.get(qualified, []):
            problem(f"{o['name']}: its definition is not in ravelin_modules")

print(f"{len(tables)} tables, {checked_rows} rows checked")
if problems:
    print("\n".join(problems[:50]), file=sys.stderr)
    sys.exit(1)
