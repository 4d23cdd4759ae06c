#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite;
# the contour and structure-file fuzz tests, and the basis weights of a grown
# table, run under AddressSanitizer and UBSan (a second, sanitized build),
# where they catch more than in the optimised one.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure -E "ContourFuzz|StructureFuzz"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DFSS_SANITIZE=ON -DFSS_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs" --target test_contour_fuzz test_run_fuzz test_modesolver_green_tables
ctest --test-dir build-asan -j"$jobs" -R "ContourFuzz|StructureFuzz|GrownBasis" --output-on-failure
