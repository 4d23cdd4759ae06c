#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite,
# then runs the contour and structure-file fuzz tests again under
# AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DFSS_SANITIZE=ON -DFSS_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs" --target test_contour_fuzz test_run_fuzz
ctest --test-dir build-asan -R "ContourFuzz|StructureFuzz" --output-on-failure
