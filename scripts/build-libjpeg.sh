#!/usr/bin/env bash
# Builds the JPEG library (libjpeg-turbo, the same version as the native
# libjpeg62-turbo-dev) for the Windows target from Debian's source package:
# mingw-w64 x86_64, static library only, installed under PREFIX (default
# /opt/quorvel-deps/libjpeg-turbo-mingw64, the default of the Windows tree's
# QUORVEL_JPEG_ROOT). A stamp in PREFIX holds the source version built, so
# the build runs once; quiet when it is done. Called by install-deps.sh after
# the packages are there.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
# shellcheck source=scripts/deb-src.sh
. scripts/deb-src.sh

prefix=${1:-/opt/quorvel-deps/libjpeg-turbo-mingw64}
version=$(dev_version libjpeg62-turbo-dev)
build_start libjpeg-turbo "$version" "$prefix" lib/libjpeg.a
src=$(deb_source libjpeg-turbo "$version" "$work")

simd=0
command -v nasm >/dev/null 2>&1 && simd=1
cmake -S "$src" -B "$work/build" -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_TURBOJPEG=0 -DWITH_SIMD=$simd \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 1; }
ninja -C "$work/build" -j2 jpeg-static >"$work/build.log" 2>&1 || { tail -n 50 "$work/build.log" >&2; exit 1; }

# Only what the program's build uses: the library and its four headers.
$sudo mkdir -p "$prefix/lib" "$prefix/include"
$sudo install -m 644 "$work/build/libjpeg.a" "$prefix/lib/"
$sudo install -m 644 "$work/build/jconfig.h" "$src/jerror.h" "$src/jmorecfg.h" "$src/jpeglib.h" \
  "$prefix/include/"
build_done "$version"
