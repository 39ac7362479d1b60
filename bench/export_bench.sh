#!/usr/bin/env bash
# Times batch JPEG exports of generated 1, 20 and 100 MB plots at 1280x975,
# all in one run: kelvo's raster path, the QPainter path it replaced
# (KELVO_FRAME_PAINTER=1), and Ghostscript rendering kelvo's own EPS of the
# same view at the same size.
# BASELINE_BUILD=DIR also times DIR/kelvo, an earlier build (for instance one
# from before the raster path) on the same plots.
# Usage: bench/export_bench.sh BUILD_DIR [megabytes...]
set -euo pipefail
build="${1:?build directory}"
shift
sizes=("${@:-1 20 100}")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$work/runtime"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

# Wall seconds of one command, its output discarded.
seconds() {
  python3 -c 'import subprocess, sys, time
t = time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print(f"{time.monotonic() - t:.3f}")' "$@"
}
ratio() { python3 -c 'import sys; print(f"{float(sys.argv[1]) / float(sys.argv[2]):.1f}")' "$1" "$2"; }

for mb in ${sizes[@]}; do
  plot="$work/plot$mb.pvg"
  "$build/bench/kelvo_render_bench" --write "$plot" "$mb"
  geometry=-wp=0,0,1280,975
  raster=$(seconds "$build/kelvo" "$plot" $geometry -c=1 -cf="$work/raster" -q)
  painter=$(seconds env KELVO_FRAME_PAINTER=1 "$build/kelvo" "$plot" $geometry -c=1 -cf="$work/painter" -q)
  "$build/kelvo" "$plot" $geometry -c=2 -cf="$work/view" -q
  size=$(python3 -c "import struct,sys; d=open(sys.argv[1],'rb').read(); i=d.index(b'\xff\xc0'); h,w=struct.unpack('>HH',d[i+5:i+9]); print(f'{w}x{h}')" "$work/raster.jpg")
  gs=$(seconds gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=jpeg -dJPEGQ=100 -dEPSFit -dFIXEDMEDIA \
       -g"$size" -sOutputFile="$work/gs.jpg" "$work/view.eps")
  printf '%5s MB  view %s  kelvo %6.2f s  QPainter path %6.2f s (%sx)  Ghostscript %6.2f s (%sx)' \
    "$mb" "$size" "$raster" "$painter" "$(ratio "$painter" "$raster")" "$gs" "$(ratio "$gs" "$raster")"
  if [[ -n "${BASELINE_BUILD:-}" ]]; then
    baseline=$(seconds "$BASELINE_BUILD/kelvo" "$plot" $geometry -c=1 -cf="$work/baseline" -q)
    printf '  baseline build %6.2f s (%sx)' "$baseline" "$(ratio "$baseline" "$raster")"
  fi
  printf '\n'
done
