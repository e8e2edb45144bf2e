#!/usr/bin/env bash
# Runs every fuzz target for longer than the test run does.
#   scripts/fuzz.sh [SECONDS]     (default 600 each)
# A finding stops it; the failing input is kept and its path printed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
scripts/install-deps.sh
scripts/build.sh >/dev/null
for name in sensor_table settings parse_reply dde_poke; do
  tests/fuzz/run_fuzz.sh "build/fuzz/tests/fuzz/fuzz_$name" "build/fuzz/tests/fuzz/${name}_seeds" \
    "$seconds"
done
