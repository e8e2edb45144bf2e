#!/usr/bin/env bash
# Installs what is missing, builds the three trees and runs every test: the
# fuzz targets for a bounded time (their input counts are printed), then the
# native unit tests and the Windows programs under Wine. Ends with CTest's
# summary.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
jobs=$(nproc)

fuzz_log=build/native/fuzz-run.log
if ctest --test-dir build/native -V -j "$jobs" -R '^fuzz\.' >"$fuzz_log" 2>&1; then
  grep -E 'inputs in' "$fuzz_log" | sed 's/^[0-9]*: //'
else
  cat "$fuzz_log"
  echo "test.sh: a fuzz target failed (output above)"
  exit 1
fi
ctest --test-dir build/native --output-on-failure -j "$jobs" -E '^fuzz\.'
