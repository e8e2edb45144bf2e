#!/usr/bin/env bash
# Installs what building, testing and running Quorvel here needs, from
# Debian's packages, when it is missing. Idempotent; quiet when all is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine64
  xvfb
  locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
