#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, including a
# short run of each fuzzer.
set -euo pipefail
cd "$(dirname "$0")"
bash ./install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
status=0
if [ -f fuzz/run.sh ]; then
  bash fuzz/run.sh || status=$?
fi
(cd build && ctest --output-on-failure --timeout 600) || status=$?
# The suite's size against the product's; reported, never a failure.
python3 tests/tools/line_ratio.py || true
exit $status
