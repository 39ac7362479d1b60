#!/usr/bin/env python3
"""Prints the test suite's size against the product's: non-blank, non-comment
lines of .cpp, .h, .py and .sh files. The product is everything outside tests/,
bench/, fuzz/ and examples/ (and build directories). Exits 1 when tests exceed
the given ratio (default 0.40)."""
import os
import sys

NOT_PRODUCT = ("tests", "bench", "fuzz", "examples")


def code_lines(path):
    count, in_block = 0, False
    hash_comments = path.endswith((".py", ".sh"))
    with open(path, encoding="utf-8", errors="replace") as source:
        for raw in source:
            line = raw.strip()
            if in_block:
                in_block = "*/" not in line
                line = "" if in_block else line.split("*/", 1)[1].strip()
            if not line or line.startswith("#" if hash_comments else "//"):
                continue
            if not hash_comments and line.startswith("/*"):
                in_block = "*/" not in line
                continue
            count += 1
    return count


def main():
    root = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
    limit = float(sys.argv[1]) if len(sys.argv) > 1 else 0.40
    totals = {"product": 0, "tests": 0}
    for directory, subdirs, files in os.walk(root):
        top = os.path.relpath(directory, root).split(os.sep)[0]
        if top == ".git" or top.startswith("build"):
            subdirs[:] = []
            continue
        part = "tests" if top == "tests" else None if top in NOT_PRODUCT else "product"
        for name in files:
            if part and name.endswith((".cpp", ".h", ".py", ".sh")):
                totals[part] += code_lines(os.path.join(directory, name))
    ratio = totals["tests"] / max(totals["product"], 1)
    print(f"test lines {totals['tests']}, product lines {totals['product']}, "
          f"ratio {ratio:.2f} (limit {limit:.2f})")
    return 0 if ratio <= limit else 1


if __name__ == "__main__":
    sys.exit(main())
