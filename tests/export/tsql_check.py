#!/usr/bin/env python3
"""Parses the statements of a T-SQL export script with sqlglot's tsql
dialect (an independent parser) and prints what it read, one line each:

  K <kind>           a statement of that kind (Create, Insert, AlterTable, Command, ...)
  I <hex table>      an INSERT into that table; its rows follow
  R                  a row of the last INSERT; its values follow
  V N                NULL
  V S <hex utf-8>    a string (concatenations and NCHAR(n) evaluated)
  V D <digits>       a number as written
  V X <hex>          a binary constant (upper-case hex, leading zeros dropped
                     as sqlglot reads it as an integer)
  V C ...            a CAST; the value cast follows on the same line

Batches are split at GO lines. Module batches (CREATE VIEW, PROCEDURE,
FUNCTION, TRIGGER, DEFAULT, RULE, or EXEC) hold the database's own texts
and are skipped. sqlglot 10.6 (Debian 12) lacks a few T-SQL forms the
script uses; each is checked against its exact shape and rewritten into a
form sqlglot reads before parsing:
  IDENTITY(seed,increment)            dropped
  PRIMARY KEY / UNIQUE [NON]CLUSTERED  the CLUSTERED word dropped
  ALTER TABLE t WITH NOCHECK ADD      ALTER TABLE t ADD
  REFERENCES [schema].[table]         REFERENCES [table]
  ... DEFAULT expr FOR [column]       checked by pattern; expr parsed as SELECT expr
  hierarchyid, geometry, geography    varbinary(max)
Exit status 1 with the statement on stderr when something does not parse.
"""
import re
import sys

# sqlglot reads a hex constant as an int: long binary values (a picture)
# pass Python's default limit on the digits of an int's text.
if hasattr(sys, "set_int_max_str_digits"):
    sys.set_int_max_str_digits(0)

import sqlglot
from sqlglot import exp

MODULE = re.compile(r"^\s*(?:--[^\n]*\n\s*)*(CREATE\s+(VIEW|PROC|PROCEDURE|FUNCTION|TRIGGER|DEFAULT|RULE)\b|EXEC\s*\()",
                    re.I)
NAME = r"\[(?:[^\]]|\]\])*\]"
DEFAULT = re.compile(r"^ALTER TABLE " + NAME + r"\." + NAME + r" ADD (?:CONSTRAINT " + NAME +
                     r" )?DEFAULT (.*) FOR " + NAME + r";$", re.S)


def hexs(text):
    return text.encode("utf-8").hex()


def value(node):
    """The line text of one value node."""
    if isinstance(node, exp.Null):
        return "N"
    if isinstance(node, exp.National):
        return "S " + hexs(node.this.this if isinstance(node.this, exp.Literal) else node.this)
    if isinstance(node, exp.Literal):
        return ("S " + hexs(node.this)) if node.is_string else ("D " + node.this)
    if isinstance(node, exp.Neg) and isinstance(node.this, exp.Literal) and not node.this.is_string:
        return "D -" + node.this.this
    if isinstance(node, exp.HexString):
        return "X " + format(int(node.this), "X")
    if isinstance(node, exp.Column) and node.name.lower() == "0x":
        return "X 0"
    if isinstance(node, exp.Cast):
        return "C " + value(node.this)
    if isinstance(node, (exp.Add, exp.DPipe)):
        return "S " + hexs(text_of(node))
    if isinstance(node, exp.Paren):
        return value(node.this)
    raise ValueError("unexpected value " + repr(node))


def text_of(node):
    # Iterative: a text of many lines is a long chain of concatenations.
    parts = []
    stack = [node]
    while stack:
        node = stack.pop()
        if isinstance(node, (exp.Add, exp.DPipe)):
            stack.append(node.expression)
            stack.append(node.this)
        elif isinstance(node, exp.National):
            parts.append(node.this.this if isinstance(node.this, exp.Literal) else node.this)
        elif isinstance(node, exp.Literal) and node.is_string:
            parts.append(node.this)
        elif isinstance(node, (exp.Cast, exp.Paren)):
            stack.append(node.this)
        elif isinstance(node, exp.Anonymous) and node.name.upper() == "NCHAR":
            parts.append(chr(int(node.expressions[0].this)))
        else:
            raise ValueError("unexpected text piece " + repr(node))
    return "".join(parts)


def rewrite(statement):
    s = re.sub(r" IDENTITY\(-?\d+,-?\d+\)", "", statement)
    s = re.sub(r"(PRIMARY KEY|UNIQUE) (?:NON)?CLUSTERED ", r"\1 ", s)
    s = re.sub(r"^(ALTER TABLE " + NAME + r"\." + NAME + r") WITH NOCHECK ADD ", r"\1 ADD ", s, flags=re.M)
    s = re.sub(r"REFERENCES " + NAME + r"\.(" + NAME + r")", r"REFERENCES \1", s)
    s = re.sub(r"\b(hierarchyid|geometry|geography)\b", "varbinary(max)", s, flags=re.I)
    return s


def split_statements(batch):
    """The ALTER TABLE ... DEFAULT lines are taken apart from the rest."""
    kept = []
    for line in batch.split("\r\n"):
        m = DEFAULT.match(line)
        if m:
            print("K DefaultConstraint")
            sqlglot.parse_one("SELECT " + m.group(1), read="tsql")
        else:
            kept.append(line)
    return "\r\n".join(kept)


def main():
    text = open(sys.argv[1], encoding="utf-8").read()
    if not text.startswith("\ufeff"):
        print("no byte order mark", file=sys.stderr)
        return 1
    text = text[1:].replace("\r\n", "\n").replace("\n", "\r\n")
    batches = re.split(r"^GO\r\n", text, flags=re.M)
    for batch in batches:
        if not batch.strip() or MODULE.match(batch):
            continue
        batch = split_statements(rewrite(batch))
        if not batch.strip() or all(l.startswith("--") or not l.strip() for l in batch.split("\r\n")):
            continue
        try:
            statements = sqlglot.parse(batch, read="tsql")
        except Exception as e:  # noqa: BLE001 - any parse failure is the finding
            print("cannot parse: %s\n%s" % (str(e).splitlines()[0], batch[:2000]), file=sys.stderr)
            return 1
        for st in statements:
            if st is None:
                continue
            print("K " + type(st).__name__)
            if isinstance(st, exp.Insert):
                table = st.this.this if isinstance(st.this, exp.Schema) else st.this
                print("I " + hexs(table.args["db"].name + "." + table.name))
                for row in st.expression.expressions:
                    print("R")
                    for v in row.expressions:
                        print("V " + value(v))
    return 0


if __name__ == "__main__":
    sys.exit(main())
