#!/usr/bin/env python3
"""Prints the test suite's size against the product's: non-blank, non-comment
lines of .cpp, .h, .py and .sh files. The product is everything outside tests/,
bench/, fuzz/ and examples/. Exits 1 when tests exceed the given ratio."""
import os
import sys

SOURCE_SUFFIXES = (".cpp", ".h", ".py", ".sh")
NOT_PRODUCT = ("tests", "bench", "fuzz", "examples")
SKIPPED_DIRS = (".git",)


def code_lines(path):
    count = 0
    in_block = False
    hash_comments = path.endswith((".py", ".sh"))
    with open(path, encoding="utf-8", errors="replace") as source:
        for raw in source:
            line = raw.strip()
            if in_block:
                if "*/" in line:
                    in_block = False
                    line = line.split("*/", 1)[1].strip()
                else:
                    continue
            if not line:
                continue
            if hash_comments and line.startswith("#"):
                continue
            if not hash_comments:
                if line.startswith("//"):
                    continue
                if line.startswith("/*"):
                    if "*/" not in line:
                        in_block = True
                    continue
            count += 1
    return count


def main():
    root = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
    limit = float(sys.argv[1]) if len(sys.argv) > 1 else 0.40
    totals = {"product": 0, "tests": 0}
    for directory, subdirs, files in os.walk(root):
        relative = os.path.relpath(directory, root)
        top = relative.split(os.sep)[0]
        if top in SKIPPED_DIRS or top.startswith("build"):
            subdirs[:] = []
            continue
        for name in files:
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            lines = code_lines(os.path.join(directory, name))
            if top == "tests":
                totals["tests"] += lines
            elif top not in NOT_PRODUCT:
                totals["product"] += lines
    ratio = totals["tests"] / max(totals["product"], 1)
    print(f"test lines {totals['tests']}, product lines {totals['product']}, "
          f"ratio {ratio:.2f} (limit {limit:.2f})")
    return 0 if ratio <= limit else 1


if __name__ == "__main__":
    sys.exit(main())
