#!/usr/bin/env bash
# Builds the MQTT client library of Debian's mosquitto source package (the
# version of the installed broker, so that the tests' broker and the
# program's client come from one source) for the Windows target: mingw-w64
# x86_64, the static libmosquitto with TLS and threads, against the OpenSSL
# of build-openssl.sh (OPENSSL, default /opt/quorvel-deps/openssl-mingw64),
# installed under PREFIX (default /opt/quorvel-deps/libmosquitto-mingw64, the
# default of the Windows tree's QUORVEL_MOSQUITTO_ROOT). A stamp in PREFIX
# holds the version built, so the build runs once; quiet when it is done.
# Usage: build-libmosquitto.sh [PREFIX [OPENSSL]].
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
# shellcheck source=scripts/deb-src.sh
. scripts/deb-src.sh

prefix=${1:-/opt/quorvel-deps/libmosquitto-mingw64}
openssl=${2:-/opt/quorvel-deps/openssl-mingw64}
version=$(dev_version mosquitto)
if [ ! -f "$openssl/lib/libssl.a" ]; then
  echo "build-libmosquitto: no OpenSSL for the Windows target in $openssl; run scripts/build-openssl.sh" >&2
  exit 1
fi
build_start libmosquitto "$version" "$prefix" lib/libmosquitto_static.a
src=$(deb_source mosquitto "$version" "$work")

# The client library only. OpenSSL is named outright: the toolchain file
# confines find_package to the mingw-w64 root, where it is not (LIB_EAY and
# SSL_EAY are the names FindOpenSSL takes the libraries by for MinGW). The
# threads are the toolchain's own POSIX threads.
cmake -S "$src" -B "$work/build" -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DWITH_STATIC_LIBRARIES=ON -DWITH_TLS=ON -DWITH_THREADING=ON -DWITH_LIB_CPP=OFF \
  -DWITH_BROKER=OFF -DWITH_CLIENTS=OFF -DWITH_APPS=OFF -DWITH_PLUGINS=OFF -DWITH_CJSON=OFF \
  -DDOCUMENTATION=OFF -DWITH_SOCKS=OFF -DWITH_SRV=OFF \
  -DOPENSSL_USE_STATIC_LIBS=TRUE -DOPENSSL_ROOT_DIR="$openssl" \
  -DOPENSSL_INCLUDE_DIR="$openssl/include" \
  -DOPENSSL_SSL_LIBRARY="$openssl/lib/libssl.a" -DSSL_EAY="$openssl/lib/libssl.a" \
  -DOPENSSL_CRYPTO_LIBRARY="$openssl/lib/libcrypto.a" -DLIB_EAY="$openssl/lib/libcrypto.a" \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 1; }
ninja -C "$work/build" -j2 libmosquitto_static >"$work/build.log" 2>&1 ||
  { tail -n 50 "$work/build.log" >&2; exit 1; }
lib=$(find "$work/build" -name 'libmosquitto_static.a' | head -n 1)
[ -n "$lib" ] || { echo "build-libmosquitto: no libmosquitto_static.a was built" >&2; exit 1; }

# Only what the program's build uses: the library and its public header.
$sudo mkdir -p "$prefix/lib" "$prefix/include"
$sudo install -m 644 "$lib" "$prefix/lib/"
$sudo install -m 644 "$src"/include/mosquitto.h "$src"/include/mqtt_protocol.h "$prefix/include/"
build_done "$version"
