#!/usr/bin/env bash
# Builds OpenSSL (the version of the native libssl-dev, or the nearest one
# whose source the archive still has) for the Windows target from Debian's
# source package: mingw-w64 x86_64, the static libssl and libcrypto and their
# headers only, installed under PREFIX (default /opt/quorvel-deps/openssl-mingw64,
# the default of the Windows tree's QUORVEL_OPENSSL_ROOT). A stamp in PREFIX
# holds the libssl-dev version built for, so the build runs once; quiet when it
# is done. Called by install-deps.sh after the packages are there.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/deb-src.sh
. scripts/deb-src.sh

prefix=${1:-/opt/quorvel-deps/openssl-mingw64}
version=$(dev_version libssl-dev)
build_start OpenSSL "$version" "$prefix" lib/libssl.a
src=$(deb_source openssl "$version" "$work")

# The posix-thread compiler, as the project's toolchain file uses. Built
# in: the providers (no-module) and no openssl.cnf read at start
# (no-autoload-config), so that Quorvel.exe neither looks for DLLs nor takes
# settings from another program's OpenSSL on the user's machine.
(cd "$src" && CC=gcc-posix ./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- \
  --prefix="$prefix" --libdir=lib \
  no-shared no-module no-tests no-autoload-config) \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 1; }
make -C "$src" -j2 build_libs >"$work/build.log" 2>&1 || { tail -n 50 "$work/build.log" >&2; exit 1; }

$sudo make -C "$src" install_dev >"$work/install.log" 2>&1 || { tail -n 50 "$work/install.log" >&2; exit 1; }
build_done "$version"
