#!/usr/bin/env bash
# Batch conversion speed: COPIES copies of a generated 1 MB plot to PNG in one
# kelvo-convert run (a thread per core), against COPIES times the wall time of
# converting one file alone (the median of five runs), measured in this run.
# Usage: bench/convert_bench.sh BUILD_DIR [COPIES]   (default 200)
set -euo pipefail
build="${1:?build directory}"
copies="${2:-200}"
convert="$build/app/convert/kelvo-convert"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
mkdir -m 700 "$work/runtime" "$work/home" "$work/in"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

"$build/bench/kelvo_render_bench" --write "$work/plot.pvg" 1
for i in $(seq -w 1 "$copies"); do cp "$work/plot.pvg" "$work/in/plot$i.pvg"; done

# Wall seconds of one command, its output discarded.
seconds() {
  python3 -c 'import subprocess, sys, time
t = time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
print(f"{time.monotonic() - t:.4f}")' "$@"
}

singles=()
for run in 1 2 3 4 5; do singles+=("$(seconds "$convert" "$work/plot.pvg" "$work/single.png")"); done
single=$(printf '%s\n' "${singles[@]}" | sort -n | sed -n 3p)
batch=$(seconds "$convert" --format=png --output-dir="$work/out" "$work"/in/*.pvg)
written=$(find "$work/out" -name '*.png' | wc -l)
[ "$written" -eq "$copies" ] || { echo "only $written of $copies files written" >&2; exit 1; }

python3 - "$copies" "$single" "$batch" "$(nproc)" "$(stat -c %s "$work/plot.pvg")" <<'PY'
import sys
copies, single, batch, cores, size = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3]), sys.argv[4], int(sys.argv[5])
serial = copies * single
print(f"plot {size / 1048576:.2f} MB, 1280x975 PNG, {cores} cores")
print(f"one file alone      {single * 1000:8.1f} ms")
print(f"{copies} x one file    {serial:8.2f} s")
print(f"batch of {copies}       {batch:8.2f} s   ({serial / batch:.2f}x faster, {copies / batch:.1f} files/s)")
PY
