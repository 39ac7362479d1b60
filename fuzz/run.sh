#!/usr/bin/env bash
# Builds the stream interpreter's fuzzer with clang, AddressSanitizer,
# UndefinedBehaviorSanitizer and libFuzzer in its own build directory, then
# fuzzes for KELVO_FUZZ_SECONDS (default 60) from the seed corpus. Exits
# non-zero on any finding; the input that caused it is kept in the build
# directory's fuzz-artifacts/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KELVO_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${KELVO_FUZZ_SECONDS:-60}"

sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all"
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_CXX_FLAGS="$sanitizers -fsanitize=fuzzer-no-link -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" \
  -DKELVO_BUILD_FUZZ=ON -DKELVO_BUILD_TESTS=OFF -DKELVO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target kelvo_stream_fuzz

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/runtime" "$build/fuzz-artifacts"
chmod 700 "$work/runtime"
cp "$root"/fuzz/corpus/* "$work/corpus/"
cp "$root/examples/demo.pvg" "$work/corpus/"

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$work/runtime"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp:print_suppressions=0"
"$build/fuzz/kelvo_stream_fuzz" \
  -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -max_len=8192 \
  -dict="$root/fuzz/pvg.dict" -artifact_prefix="$build/fuzz-artifacts/" \
  -print_final_stats=1 "$work/corpus"
