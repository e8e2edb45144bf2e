#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every test: the native
# unit tests and the Windows programs under Wine. Ends with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
ctest --test-dir build/native --output-on-failure -j "$(nproc)"
