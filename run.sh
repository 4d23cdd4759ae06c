#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it on a structure
# file (by default the bundled square-hole screen).  The program runs in the
# folder the script is called from: relative paths of the structure and of
# "-o DIR" are the caller's.
#   bash run.sh [structure.fss] [option ...]   (bash run.sh --help lists the options)
set -euo pipefail
repo=$(cd "$(dirname "$0")" && pwd)
bash "$repo/scripts/install-deps.sh"
cmake -S "$repo" -B "$repo/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$repo/build" -j"$(nproc)" --target fss
[ $# -eq 0 ] && set -- "$repo/examples/square_holes.fss"
exec "$repo/build/fss" "$@"
