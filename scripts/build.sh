#!/usr/bin/env bash
# Configures and builds the three trees: build/win (Windows, cross-compiled
# with mingw-w64), build/fuzz (the libFuzzer targets, clang with sanitizers)
# and build/native (portable code, unit tests, simulator, and the
# registration of the tests that run the Windows programs under Wine and the
# fuzz targets).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc)}
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
ninja -C build/win -j "$jobs"

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_FUZZ=ON >/dev/null
ninja -C build/fuzz -j "$jobs"

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQUORVEL_WIN_BUILD_DIR="$PWD/build/win" -DQUORVEL_FUZZ_BUILD_DIR="$PWD/build/fuzz" >/dev/null
ninja -C build/native -j "$jobs"
