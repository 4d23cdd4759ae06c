#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it on a structure
# file (by default the bundled square-hole screen).
#   bash run.sh [structure.fss] [option ...]   (-modes, -csv, -s4p, -plot, -wgs, -pvf)
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target fss
structure=${1:-examples/square_holes.fss}
shift || true
./build/fss "$structure" "$@"
