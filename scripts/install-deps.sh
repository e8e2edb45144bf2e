#!/usr/bin/env bash
# Installs what building, testing and running Quorvel here needs, from
# Debian's packages, when it is missing. Idempotent; quiet when all is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev
  libjpeg62-turbo-dev dpkg-dev
  libssl-dev perl make
  mosquitto mosquitto-clients openssl
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine64 fonts-wine
  xvfb
  nsis
  locales
)

# The OPC UA client of the tests runs on Node.js: Debian's, unless the
# machine has one.
command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  # No service starts from the install (the broker would hold port 1883;
  # the tests start brokers of their own): a policy of ours, unless the
  # machine has one.
  policy=""
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    policy=/usr/sbin/policy-rc.d
    trap '$sudo rm -f "$policy"' EXIT
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
    $sudo chmod 755 "$policy"
  fi
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  [ -z "$policy" ] || { $sudo rm -f "$policy"; trap - EXIT; }
fi

# The Russian locale: Wine takes its regional settings (decimal separator,
# code page 1251) and the command line's encoding from the Unix locale.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  echo "install-deps: generating the ru_RU.UTF-8 locale" >&2
  $sudo sed -i 's/^# *\(ru_RU\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi

# The libraries for the Windows target, built once from Debian's sources.
"$(dirname "$0")/build-libjpeg.sh"
"$(dirname "$0")/build-openssl.sh"
"$(dirname "$0")/build-libmosquitto.sh"
# The OPC UA client of the tests, from the npm registry, as its lock file has it.
client=$(dirname "$0")/../tools/opcua_client
if [ ! -d "$client/node_modules" ] || [ "$client/package-lock.json" -nt "$client/node_modules" ]; then
  echo "install-deps: installing the OPC UA client of the tests (npm)" >&2
  (cd "$client" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
  touch "$client/node_modules"
fi
# Without it the program is built without its OPC UA server, and says so.
"$(dirname "$0")/build-open62541.sh" ||
  echo "install-deps: the OPC UA library could not be built (above); Quorvel.exe is built without its OPC UA server" >&2
