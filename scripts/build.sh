#!/usr/bin/env bash
# Configures and builds both trees: build/win (Windows, cross-compiled with
# mingw-w64) and build/native (portable code, unit tests, simulator, and the
# registration of the tests that run the Windows programs under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc)}
if [ ! -f build/win/build.ninja ]; then
  cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
fi
ninja -C build/win -j "$jobs"

if [ ! -f build/native/build.ninja ]; then
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQUORVEL_WIN_BUILD_DIR="$PWD/build/win" >/dev/null
fi
ninja -C build/native -j "$jobs"
