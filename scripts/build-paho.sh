#!/usr/bin/env bash
# Builds Eclipse Paho MQTT C, the asynchronous client with SSL
# (paho-mqtt3as), for the Windows target from Debian's source package (the
# version of libpaho-mqtt-dev): mingw-w64 x86_64, static library only, against
# the OpenSSL of build-openssl.sh (OPENSSL, default
# /opt/quorvel-deps/openssl-mingw64), installed under PREFIX (default
# /opt/quorvel-deps/paho-mqtt-mingw64, the default of the Windows tree's
# QUORVEL_PAHO_ROOT). A stamp in PREFIX holds the version built, so the build
# runs once; quiet when it is done. Usage: build-paho.sh [PREFIX [OPENSSL]].
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
# shellcheck source=scripts/deb-src.sh
. scripts/deb-src.sh

prefix=${1:-/opt/quorvel-deps/paho-mqtt-mingw64}
openssl=${2:-/opt/quorvel-deps/openssl-mingw64}

# Only the version is wanted from the package, not the native library.
version=$(apt-cache policy libpaho-mqtt-dev 2>/dev/null | sed -n 's/^ *Candidate: //p')
if [ -z "$version" ] || [ "$version" = "(none)" ]; then
  echo "build-paho: apt knows no libpaho-mqtt-dev; run scripts/install-deps.sh" >&2
  exit 1
fi
if [ ! -f "$openssl/lib/libssl.a" ]; then
  echo "build-paho: no OpenSSL for the Windows target in $openssl; run scripts/build-openssl.sh" >&2
  exit 1
fi
build_start "Paho MQTT C" "$version" "$prefix" lib/libpaho-mqtt3as.a
src=$(deb_source paho.mqtt.c "$version" "$work")

# OpenSSL is named outright: the toolchain file confines find_package to
# the mingw-w64 root, where it is not (LIB_EAY and SSL_EAY are the names
# FindOpenSSL takes the libraries by for MinGW).
cmake -S "$src" -B "$work/build" -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DPAHO_WITH_SSL=TRUE -DPAHO_BUILD_STATIC=TRUE -DPAHO_BUILD_SHARED=FALSE \
  -DPAHO_BUILD_SAMPLES=FALSE -DPAHO_BUILD_DOCUMENTATION=FALSE -DPAHO_ENABLE_TESTING=FALSE \
  -DOPENSSL_USE_STATIC_LIBS=TRUE -DOPENSSL_ROOT_DIR="$openssl" \
  -DOPENSSL_INCLUDE_DIR="$openssl/include" \
  -DLIB_EAY="$openssl/lib/libcrypto.a" -DSSL_EAY="$openssl/lib/libssl.a" \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 1; }
ninja -C "$work/build" -j2 paho-mqtt3as-static >"$work/build.log" 2>&1 || { tail -n 50 "$work/build.log" >&2; exit 1; }
lib=$(find "$work/build" -name 'libpaho-mqtt3as*.a' | head -n 1)
[ -n "$lib" ] || { echo "build-paho: no libpaho-mqtt3as*.a was built" >&2; exit 1; }

# In the DLL, the library's mutexes are made by DllMain, which an .exe
# never runs; the static build makes them once on the first create instead.
symbols=$(x86_64-w64-mingw32-nm -g --defined-only "$lib")
if grep -q ' DllMain$' <<<"$symbols" || ! grep -q ' InitMutexesOnce$' <<<"$symbols"; then
  echo "build-paho: $lib is not the static variant (DllMain, no InitMutexesOnce)" >&2
  exit 1
fi

# Only what the program's build uses: the library, as one name, and the
# asynchronous client's headers.
$sudo mkdir -p "$prefix/lib" "$prefix/include"
$sudo install -m 644 "$lib" "$prefix/lib/libpaho-mqtt3as.a"
$sudo install -m 644 "$src"/src/{MQTTAsync,MQTTClientPersistence,MQTTExportDeclarations}.h \
  "$src"/src/{MQTTProperties,MQTTReasonCodes,MQTTSubscribeOpts}.h "$prefix/include/"
build_done "$version"
