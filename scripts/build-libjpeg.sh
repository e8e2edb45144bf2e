#!/usr/bin/env bash
# Builds the JPEG library (libjpeg-turbo, the same version as the native
# libjpeg62-turbo-dev) for the Windows target from Debian's source package:
# mingw-w64 x86_64, static library only, installed under PREFIX (default
# /opt/quorvel-deps/libjpeg-turbo-mingw64, the default of the Windows tree's
# QUORVEL_JPEG_ROOT). A stamp in PREFIX holds the source version built, so
# the build runs once; quiet when it is done. Called by install-deps.sh after
# the packages are there.
#
# apt-get source needs deb-src entries: when the machine has none, they are
# made from its own deb entries for its release, in a file of ours under
# /etc/apt/sources.list.d/.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

prefix=${1:-/opt/quorvel-deps/libjpeg-turbo-mingw64}
stamp=$prefix/quorvel-build.stamp
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

version=$(dpkg-query -W -f='${source:Version}' libjpeg62-turbo-dev 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "build-libjpeg: libjpeg62-turbo-dev is not installed; run scripts/install-deps.sh" >&2
  exit 1
fi
if [ -f "$prefix/lib/libjpeg.a" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$version" ]; then
  exit 0
fi
echo "build-libjpeg: building libjpeg-turbo $version for mingw-w64 into $prefix" >&2

# --- deb-src entries -------------------------------------------------------
has_deb_src() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && grep -Eq '^[[:space:]]*deb-src[[:space:]]' "$f" && return 0
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -Eiq '^Types:.*\bdeb-src\b' "$f" && return 0
  done
  return 1
}

# The deb-src twins of the deb entries whose suite is this release's
# (CODENAME or CODENAME-something); other vendors' lists often have no
# sources and would break apt-get update.
deb_src_entries() {
  local codename=$1 f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v rel="$codename" '
      $1 == "deb" {
        i = 2
        if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
        if ($(i + 1) == rel || index($(i + 1), rel "-") == 1) { $1 = "deb-src"; print }
      }' "$f" | sed 's/^/one-line: /'
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # Stanzas are separated by blank lines; comment lines are dropped and
    # continuation lines (leading space) stay with their field.
    awk -v rel="$codename" '
      function flush(   n, parts, i, kept, line, k) {
        if (types ~ /(^|[ \t])deb([ \t]|$)/ && tolower(enabled) != "no") {
          n = split(suites, parts, /[ \t]+/)
          kept = ""
          for (i = 1; i <= n; i++)
            if (parts[i] == rel || index(parts[i], rel "-") == 1) kept = kept " " parts[i]
          if (kept != "") {
            print "Types: deb-src"
            print "Suites:" kept
            for (k = 1; k <= count; k++) print other[k]
            print ""
          }
        }
        types = ""; suites = ""; enabled = ""; count = 0; last = ""
      }
      /^#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[ \t]/ { if (last == "other") other[count] = other[count] "\n" $0; next }
      {
        field = tolower(substr($0, 1, index($0, ":") - 1))
        value = substr($0, index($0, ":") + 1)
        sub(/^[ \t]+/, "", value)
        if (field == "types") { types = value; last = "types" }
        else if (field == "suites") { suites = value; last = "suites" }
        else if (field == "enabled") { enabled = value; last = "enabled" }
        else { other[++count] = $0; last = "other" }
      }
      END { flush() }' "$f" | sed 's/^/deb822: /'
  done
}

if ! has_deb_src; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || { echo "build-libjpeg: no VERSION_CODENAME in /etc/os-release" >&2; exit 1; }
  entries=$(deb_src_entries "$codename")
  if [ -z "$entries" ]; then
    echo "build-libjpeg: no deb entry for $codename to derive a deb-src entry from" >&2
    exit 1
  fi
  if grep -q '^deb822: ' <<<"$entries"; then
    sed -n 's/^deb822: //p' <<<"$entries" |
      $sudo tee /etc/apt/sources.list.d/quorvel-deb-src.sources >/dev/null
  fi
  if grep -q '^one-line: ' <<<"$entries"; then
    sed -n 's/^one-line: //p' <<<"$entries" |
      $sudo tee /etc/apt/sources.list.d/quorvel-deb-src.list >/dev/null
  fi
  echo "build-libjpeg: added deb-src entries under /etc/apt/sources.list.d/quorvel-deb-src.*" >&2
  $sudo apt-get update -qq
fi

# --- the build -------------------------------------------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-libjpeg.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source -qq "libjpeg-turbo=$version" >/dev/null 2>"$work/source.log") || {
  # The lists may predate the deb-src entries (another tool added them).
  $sudo apt-get update -qq
  (cd "$work" && apt-get source -qq "libjpeg-turbo=$version" >/dev/null)
}
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
[ -n "$src" ] || { echo "build-libjpeg: apt-get source unpacked nothing" >&2; exit 1; }

simd=0
command -v nasm >/dev/null 2>&1 && simd=1
cmake -S "$src" -B "$work/build" -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_TURBOJPEG=0 -DWITH_SIMD=$simd \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 1; }
ninja -C "$work/build" jpeg-static >"$work/build.log" 2>&1 || { tail -n 50 "$work/build.log" >&2; exit 1; }

# Only what the program's build uses: the library and its four headers.
$sudo mkdir -p "$prefix/lib" "$prefix/include"
$sudo install -m 644 "$work/build/libjpeg.a" "$prefix/lib/"
$sudo install -m 644 "$work/build/jconfig.h" "$src/jerror.h" "$src/jmorecfg.h" "$src/jpeglib.h" \
  "$prefix/include/"
echo "$version" | $sudo tee "$stamp" >/dev/null
echo "build-libjpeg: done" >&2
