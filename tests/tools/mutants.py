#!/usr/bin/env python3
"""Applies each fault of mutants.txt to the product in turn, rebuilds the given
build directory and runs CTest; prints which faults the suite caught, and by
which test first. Usage: mutants.py BUILD_DIR [RESULTS_TSV], or mutants.py
--check to see that every fault still applies. Restores every file it touched,
also when stopped with SIGTERM."""
import os
import signal
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def run(command, build):
    return subprocess.run(command, cwd=build, capture_output=True, timeout=1800).returncode


def applies(lines, number, old):
    return number <= len(lines) and lines[number - 1].count(old) == 1


def verdict(build, path, number, old, new):
    source = os.path.join(ROOT, path)
    lines = (original := open(source, encoding="utf-8").read()).split("\n")
    if not applies(lines, number, old):
        return "not applied"  # the listing is stale: the line moved or changed
    lines[number - 1] = lines[number - 1].replace(old, new)
    try:
        open(source, "w", encoding="utf-8").write("\n".join(lines))
        if run(["cmake", "--build", "."], build) != 0:
            return "does not build"
        if run(["ctest", "--stop-on-failure", "--timeout", "300", "-E", "mutant_listing_is_current"], build) == 0:
            return "SURVIVED"
        with open(os.path.join(build, "Testing", "Temporary", "LastTestsFailed.log"), encoding="utf-8") as log:
            return "caught by " + " ".join(line.strip().split(":", 1)[-1] for line in log if line.strip())
    finally:
        open(source, "w", encoding="utf-8").write(original)


def listing():
    with open(os.path.join(ROOT, "tests", "tools", "mutants.txt"), encoding="utf-8") as lines:
        for line in lines:
            if line.strip() and not line.startswith("#"):
                location, old, new, fault = line.rstrip("\n").split("\t")
                path, number = location.rsplit(":", 1)
                yield location, path, int(number), old, new, fault


# --check: every fault still applies to its line (the code around it moves).
def check():
    stale = 0
    for location, path, number, old, _, fault in listing():
        lines = open(os.path.join(ROOT, path), encoding="utf-8").read().split("\n")
        if not applies(lines, number, old):
            print(f"{location}\tnot applied\t{fault}")
            stale += 1
    return 1 if stale else 0


def main():
    if sys.argv[1:] == ["--check"]:
        return check()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    build = os.path.abspath(sys.argv[1])
    results = open(sys.argv[2], "w", encoding="utf-8") if len(sys.argv) > 2 else sys.stdout
    survivors = 0
    for location, path, number, old, new, fault in listing():
        found = verdict(build, path, number, old, new)
        survivors += found in ("SURVIVED", "not applied")
        print(f"{location}\t{found}\t{fault}", file=results, flush=True)
    run(["cmake", "--build", "."], build)
    print(f"{survivors} survived or not applied", file=results, flush=True)
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())
