#!/usr/bin/env bash
# Builds the OPC UA library of Debian's open62541 source package for the
# Windows target: mingw-w64 x86_64, static, with encryption through the
# OpenSSL of build-openssl.sh (OPENSSL, default
# /opt/quorvel-deps/openssl-mingw64), installed under PREFIX (default
# /opt/quorvel-deps/open62541-mingw64, the default of the Windows tree's
# QUORVEL_OPEN62541_ROOT). A stamp in PREFIX holds the version built, so the
# build runs once; quiet when it is done.
#
# This machine's release has no open62541; the next release has it. Its
# source entry is derived from the machine's own entries for its release
# (the same archives, the next suite) and kept in apt state of this script's
# own, so that no other source package of the machine's release is taken
# from the newer suite. Only the upstream tarball is needed: the library is
# built with the reduced namespace zero its sources carry.
# Usage: build-open62541.sh [PREFIX [OPENSSL]].
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
# shellcheck source=scripts/deb-src.sh
. scripts/deb-src.sh

prefix=${1:-/opt/quorvel-deps/open62541-mingw64}
openssl=${2:-/opt/quorvel-deps/openssl-mingw64}
if [ ! -f "$openssl/lib/libssl.a" ]; then
  echo "build-open62541: no OpenSSL for the Windows target in $openssl; run scripts/build-openssl.sh" >&2
  exit 1
fi

# shellcheck disable=SC1091  # the machine's own file
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
case $codename in
  bookworm) newer=trixie ;;
  trixie) newer=forky ;;
  *) newer="" ;;
esac

# The version is known once the newer suite's index is read: a stamp of any
# version built from it stands until the release changes.
stamp_file=$prefix/quorvel-build.stamp
if [ -f "$prefix/lib/libopen62541.a" ] && grep -q "^open62541 .* $codename\$" "$stamp_file" 2>/dev/null; then
  exit 0
fi

# apt state of our own: the newer suite's deb-src entries and their lists.
apt_dir=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-open62541-apt.XXXXXX")
trap 'rm -rf "$apt_dir"' EXIT
mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial"
chmod -R a+rX "$apt_dir"  # apt fetches as its own user
if [ -z "$newer" ]; then
  echo "build-open62541: no newer suite known after '$codename'" >&2
  exit 1
fi
# The machine's deb entries of its release proper (not -updates or
# -security: the newer suite's security archive is another one), as deb-src
# entries of the newer suite.
deb_src_entries "$codename" | sed -n 's/^deb822: //p' |
  awk -v rel="$codename" -v newer="$newer" '
    /^Suites:/ {
      n = split(substr($0, 8), parts, /[ \t]+/); kept = ""
      for (i = 1; i <= n; i++) if (parts[i] == rel) kept = " " newer
      print "Suites:" kept; next
    }
    { print }' | awk 'BEGIN { RS = ""; ORS = "\n\n" } /Suites: [^ ]/' \
  >"$apt_dir/sources/newer.sources"
deb_src_entries "$codename" | sed -n 's/^one-line: //p' |
  awk -v rel="$codename" -v newer="$newer" '{
      for (i = 2; i <= NF; i++) if ($i == rel) { $i = newer; print; next }
    }' >"$apt_dir/sources/newer.list"
[ -s "$apt_dir/sources/newer.sources" ] || rm -f "$apt_dir/sources/newer.sources"
[ -s "$apt_dir/sources/newer.list" ] || rm -f "$apt_dir/sources/newer.list"
if [ -z "$(ls "$apt_dir/sources")" ]; then
  echo "build-open62541: no deb entry for $codename to derive a $newer source entry from" >&2
  exit 1
fi
apt_own=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources"
  -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache")
apt-get -qq "${apt_own[@]}" update >&2 ||
  { echo "build-open62541: the $newer source index cannot be read" >&2; exit 1; }
version=$(apt-cache "${apt_own[@]}" showsrc --only-source open62541 2>/dev/null |
  sed -n 's/^Version: //p' | sort -V | tail -n 1)
[ -n "$version" ] || { echo "build-open62541: $newer has no source package open62541" >&2; exit 1; }
upstream=${version%-*}
upstream=${upstream#*:}

build_start open62541 "$version" "$prefix" lib/libopen62541.a
# apt checks every file it fetches against the index. The packaging and
# the full nodeset may be missing from the archive's pool when the
# upstream tarball is there; the tarball is all this build needs.
(cd "$work" && apt-get -qq "${apt_own[@]}" source --download-only "open62541=$version" \
  >"$work/source.log" 2>&1) || true
tarball=$(find "$work" -maxdepth 1 -name "open62541_${upstream}.orig.tar.*" | head -n 1)
if [ -z "$tarball" ]; then
  cat "$work/source.log" >&2
  echo "build-open62541: the source of open62541 $version cannot be had from $newer" >&2
  exit 1
fi
tar -xf "$tarball" -C "$work"
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'open62541-*' | head -n 1)
[ -n "$src" ] || { echo "build-open62541: $tarball unpacked nothing" >&2; exit 1; }

# A server with subscriptions and the security policies of OpenSSL; no
# examples, tools, discovery or PubSub. OpenSSL is named outright, as for
# the MQTT library (the toolchain file confines find_package).
cmake -S "$src" -B "$work/build" -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
  -DOPEN62541_VERSION="v$upstream" \
  -DUA_ENABLE_ENCRYPTION=OPENSSL -DUA_NAMESPACE_ZERO=REDUCED \
  -DUA_ENABLE_SUBSCRIPTIONS=ON -DUA_ENABLE_METHODCALLS=ON \
  -DUA_ENABLE_DISCOVERY=OFF -DUA_ENABLE_PUBSUB=OFF -DUA_ENABLE_PUBSUB_INFORMATIONMODEL=OFF \
  -DUA_ENABLE_HISTORIZING=OFF \
  -DUA_ENABLE_JSON_ENCODING=OFF -DUA_ENABLE_XML_ENCODING=OFF -DUA_ENABLE_MQTT=OFF \
  -DUA_BUILD_EXAMPLES=OFF -DUA_BUILD_TOOLS=OFF -DUA_BUILD_UNIT_TESTS=OFF \
  -DUA_FORCE_WERROR=OFF -DUA_ENABLE_DEBUG_SANITIZER=OFF \
  -DOPENSSL_USE_STATIC_LIBS=TRUE -DOPENSSL_ROOT_DIR="$openssl" \
  -DOPENSSL_INCLUDE_DIR="$openssl/include" \
  -DOPENSSL_SSL_LIBRARY="$openssl/lib/libssl.a" -DSSL_EAY="$openssl/lib/libssl.a" \
  -DOPENSSL_CRYPTO_LIBRARY="$openssl/lib/libcrypto.a" -DLIB_EAY="$openssl/lib/libcrypto.a" \
  -DCMAKE_INSTALL_PREFIX="$work/install" \
  >"$work/configure.log" 2>&1 || { tail -n 60 "$work/configure.log" >&2; exit 1; }
ninja -C "$work/build" -j2 install >"$work/build.log" 2>&1 ||
  { tail -n 60 "$work/build.log" >&2; exit 1; }
[ -f "$work/install/lib/libopen62541.a" ] ||
  { echo "build-open62541: no libopen62541.a was built" >&2; exit 1; }

$sudo mkdir -p "$prefix"
$sudo rm -rf "$prefix/lib" "$prefix/include"
$sudo cp -r "$work/install/lib" "$work/install/include" "$prefix/"
build_done "open62541 $version $codename"
