#!/usr/bin/env python3
"""Applies each fault of mutants.txt to the product in turn, rebuilds the given
build directory and runs CTest; prints which faults the suite caught.
Usage: mutants.py BUILD_DIR [RESULTS_TSV]. Restores every file it touched."""
import os
import signal
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def mutants():
    with open(os.path.join(ROOT, "tests", "tools", "mutants.txt"), encoding="utf-8") as listing:
        for line in listing:
            if line.strip() and not line.startswith("#"):
                location, old, new, fault = line.rstrip("\n").split("\t")
                path, number = location.rsplit(":", 1)
                yield path, int(number), old, new, fault


def run(command, build):
    return subprocess.run(command, cwd=build, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=1800).returncode


def failed_tests(build):
    try:
        with open(os.path.join(build, "Testing", "Temporary", "LastTestsFailed.log"), encoding="utf-8") as log:
            return " ".join(line.strip().split(":", 1)[-1] for line in log if line.strip())
    except OSError:
        return "?"


def main():
    # Stopped from outside, the mutated file is still restored.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    build = os.path.abspath(sys.argv[1])
    results = open(sys.argv[2], "w", encoding="utf-8") if len(sys.argv) > 2 else sys.stdout
    survivors = 0
    for path, number, old, new, fault in mutants():
        source = os.path.join(ROOT, path)
        original = open(source, encoding="utf-8").read()
        lines = original.split("\n")
        if lines[number - 1].count(old) != 1:
            verdict = "not applied"
        else:
            lines[number - 1] = lines[number - 1].replace(old, new)
            try:
                open(source, "w", encoding="utf-8").write("\n".join(lines))
                if run(["cmake", "--build", "."], build) != 0:
                    verdict = "does not build"
                else:
                    verdict = "caught by " + failed_tests(build) if run(
                        ["ctest", "--stop-on-failure", "--timeout", "300"], build) != 0 else "SURVIVED"
            finally:
                open(source, "w", encoding="utf-8").write(original)
        survivors += verdict == "SURVIVED"
        print(f"{path}:{number}\t{verdict}\t{fault}", file=results, flush=True)
    run(["cmake", "--build", "."], build)
    print(f"{survivors} survived", file=results, flush=True)
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())
