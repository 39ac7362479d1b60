#!/usr/bin/env bash
# Installs what is missing, builds kelvo and opens it on the demo drawing.
set -euo pipefail
cd "$(dirname "$0")"
bash ./install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target kelvo
exec ./build/kelvo examples/demo.pvg "$@"
