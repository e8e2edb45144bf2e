#!/usr/bin/env bash
# Runs one fuzz target for a bounded time on a corpus seeded with files the
# program writes. Fails on any finding (crash, hang, leak) and prints the
# number of inputs run.
#
#   run_fuzz.sh TARGET SEEDER SECONDS
# The work folder (corpus, log, findings) is removed after a clean run and
# kept after a finding.
set -euo pipefail
target=$1 seeder=$2 seconds=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-fuzz.XXXXXX")
corpus=$work/corpus
mkdir -p "$corpus" "$work/findings"
"$seeder" "$corpus"

set +e
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/findings/" "$corpus" >"$work/log" 2>&1
rc=$?
set -e
runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$' || echo 0)
echo "$(basename "$target"): $runs inputs in ${seconds} s, exit $rc"
if [ "$rc" -ne 0 ]; then
  tail -n 60 "$work/log"
  echo "findings kept in $work/findings"
  exit 1
fi
rm -rf "$work"
