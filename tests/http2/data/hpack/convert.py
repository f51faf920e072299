#!/usr/bin/env python3
"""Turns the public hpack-test-case stories (JSON, MIT licence, see LICENSE)
into the line files the tests read:

  raw-data.txt   "story NN", then each header set as "name<TAB>value" lines,
                 every set ended by an empty line;
  <coder>.txt    "story NN", then one line per header block: the
                 header_table_size announced before it ("-" when none), a
                 blank, the block in hexadecimal.

Usage: convert.py <hpack-test-case folder> <output folder>
"""
import json
import pathlib
import sys

CODERS = ["nghttp2", "go-hpack", "python-hpack", "nghttp2-change-table-size", "swift-nio-hpack-huffman"]


def stories(folder):
    for path in sorted(folder.glob("story_*.json")):
        yield path.stem.split("_")[1], json.loads(path.read_text())["cases"]


def main(source, target):
    source, target = pathlib.Path(source), pathlib.Path(target)
    with open(target / "raw-data.txt", "w", newline="\n") as out:
        for number, cases in stories(source / "raw-data"):
            out.write(f"story {number}\n")
            for case in cases:
                for field in case["headers"]:
                    for name, value in field.items():
                        assert "\t" not in name + value and "\n" not in name + value
                        out.write(f"{name}\t{value}\n")
                out.write("\n")
    for coder in CODERS:
        with open(target / f"{coder}.txt", "w", newline="\n") as out:
            for number, cases in stories(source / coder):
                out.write(f"story {number}\n")
                for case in cases:
                    size = case.get("header_table_size")
                    out.write(f"{'-' if size is None else size} {case['wire']}\n")


if __name__ == "__main__":
    main(*sys.argv[1:])
