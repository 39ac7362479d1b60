#!/usr/bin/env bash
# Builds the fuzzers with clang, AddressSanitizer, UndefinedBehaviorSanitizer
# and libFuzzer in their own build directory and runs each of them, two at a
# time.
#
#   fuzz/run.sh [--long SECONDS] [TARGET...]
#
# TARGETs: stream walker walkerpieces hostframing configfile statefile (default: all).
# Without --long each runs KELVO_FUZZ_SECONDS (default 12) from its seeds, as
# the test run does. With --long each runs SECONDS and keeps what it found
# interesting in the build directory's fuzz-corpus/TARGET, so that runs build
# on each other. Exits non-zero on any finding; the input that caused it is
# kept in fuzz-artifacts/, each run's output in fuzz-logs/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KELVO_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${KELVO_FUZZ_SECONDS:-12}"
long=0
if [ "${1:-}" = "--long" ]; then
  [ $# -ge 2 ] || { echo "usage: $0 [--long SECONDS] [TARGET...]" >&2; exit 2; }
  long=1
  seconds="$2"
  shift 2
fi
all=(stream walker walkerpieces hostframing configfile statefile)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")
for t in "${targets[@]}"; do
  [[ " ${all[*]} " == *" $t "* ]] || { echo "unknown target: $t" >&2; exit 2; }
done

sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all"
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_CXX_FLAGS="$sanitizers -fsanitize=fuzzer-no-link -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" \
  -DKELVO_BUILD_FUZZ=ON -DKELVO_BUILD_TESTS=OFF -DKELVO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target $(printf 'kelvo_%s_fuzz ' "${targets[@]}")

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/runtime" "$build/fuzz-artifacts" "$build/fuzz-logs"
chmod 700 "$work/runtime"

# Seeds: drawings for the stream targets, a few blocks, settings files.
seed_dir() {
  local dir="$work/seeds/$1"
  mkdir -p "$dir"
  case "$1" in
    stream | walker | walkerpieces)
      cp "$root"/fuzz/corpus/* "$root/examples/demo.pvg" "$dir/" ;;
    hostframing)
      # The stream, then the choice of the well-formed blocks after it and
      # the piece sizes (read from the end): the greeting; a null text, an
      # empty size field and a block too short for a text.
      { printf '\x00\x28\x00\x00\x00\x24'; printf 'vna-accept-connect' | iconv -f UTF-8 -t UTF-16BE
        printf '\x1b\x01\x00\x00\x00\x00\x00\x00\x00'; } >"$dir/greeting"
      printf '\x00\x04\xff\xff\xff\xff\x00\x00\x00\x02ab\x09\x03\x00\x00\x00\x00\x00\x00\x00' >"$dir/odd" ;;
    configfile)
      printf '# settings\nautosave = yes\nexport_quality = 8\nprinter_page_size = 0.9, 0.95\nprinter_page_shift = 30,-20\neps_scalefactor=0.5\nprinter_paper_type=2\n' >"$dir/example"
      printf 'eps_include_background = Y autosave\n # autosave = yes\nprinter_page_shift = 7\n' >"$dir/edges" ;;
    statefile)
      # The file, then whether -wp= was given (read from the end).
      printf '1.0\x00\x00\x00\x00\x00\x00\x00\x01\xc8\x00\x00\x00\xc8\x00\x00\x00\x48\x03\x00\x00\xdf\x02\x00\x00\x80\x02\x00\x00\xe7\x01\x00\x00\x00' >"$dir/default"
      printf '1.0\x00\x01' >"$dir/short" ;;
  esac
  echo "$dir"
}

options_for() {
  case "$1" in
    stream | walker | walkerpieces) echo "-max_len=8192 -dict=$root/fuzz/pvg.dict" ;;
    hostframing) echo "-max_len=1024" ;;
    configfile) echo "-max_len=4096 -dict=$root/fuzz/config.dict" ;;
    statefile) echo "-max_len=64" ;;
  esac
}

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$work/runtime"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp:print_suppressions=0"

run_one() {
  local t="$1" corpus seeds log="$build/fuzz-logs/$1.log"
  seeds="$(seed_dir "$t")"
  if [ "$long" = 1 ]; then
    corpus="$build/fuzz-corpus/$t"
    mkdir -p "$corpus"
  else
    corpus="$work/corpus/$t"
    mkdir -p "$corpus"
  fi
  # shellcheck disable=SC2046
  "$build/fuzz/kelvo_${t}_fuzz" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
    $(options_for "$t") -artifact_prefix="$build/fuzz-artifacts/$t-" -print_final_stats=1 \
    "$corpus" "$seeds" >"$log" 2>&1
}

summary() {
  local t="$1" rc="$2" log="$build/fuzz-logs/$1.log" runs time
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  time="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)"
  if [ "$rc" = 0 ]; then
    echo "fuzz $t: ${runs:-?} inputs, ${time:-?}/s, no findings"
  else
    echo "fuzz $t: FAILED (status $rc) after ${runs:-?} inputs; see $log and $build/fuzz-artifacts/"
    grep -m5 -E 'ERROR|runtime error|_fuzz: |Test unit written' "$log" || true
  fi
}

# Two at a time; each job leaves its status in a file.
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge 2 ]; then
    wait -n || true
    running=$((running - 1))
  fi
  (run_one "$t"; echo $? >"$work/$t.rc") || echo $? >"$work/$t.rc" &
  running=$((running + 1))
done
wait || true

status=0
for t in "${targets[@]}"; do
  rc="$(cat "$work/$t.rc" 2>/dev/null || echo 99)"
  summary "$t" "$rc"
  [ "$rc" = 0 ] || status=1
done
exit $status
