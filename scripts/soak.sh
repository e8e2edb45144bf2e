#!/usr/bin/env bash
# Runs the soak: Quorvel.exe polling 500 sensors on 20 simulated devices at
# 19200 bit/s (a mix of faulty ones among them) for MINUTES minutes, with 10
# DDE clients linked to every item and one more poking and requesting, under
# Wine. Prints its figures at the start and every minute and its verdict at
# the end (runs/soak/soak_win.cpp); exits 0 only when nothing was missed and
# nothing grew.
#
#   scripts/soak.sh [MINUTES]                  (default 30; installs and builds first)
#   scripts/soak.sh --no-build --native DIR --win DIR MINUTES
#                                              (the two-minute run of the tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=1
native=$root/build/native
win=$root/build/win
while [ $# -gt 1 ]; do
  case "$1" in
    --no-build) build=0; shift ;;
    --native) native=$2; shift 2 ;;
    --win) win=$2; shift 2 ;;
    *) echo "soak.sh: unknown option '$1'" >&2; exit 2 ;;
  esac
done
minutes=${1:-30}
if [ "$build" = 1 ]; then
  "$root/scripts/install-deps.sh" >&2
  "$root/scripts/build.sh" >&2
fi

# Devices 1..20, channels 0..24 each, every channel a 'count'; the table of
# Soak.exe asks them in this order. Faulty devices, one mode each:
declare -A faults=(
  [4]=silent [7]=badcrc [9]=partial [11]=noise [12]=bytewise
  [14]="delay=40" [15]=badaddr [17]=extrafield [18]="overlong=300" [19]=trailing
)
bus="--port @RUN@/ports/COM3 --baud 19200"
for device in $(seq 1 20); do
  bus+=" --device $device"
  for channel in $(seq 0 24); do bus+=" --channel $channel=count"; done
  if [ -n "${faults[$device]:-}" ]; then bus+=" --fault ${faults[$device]}"; fi
done

"$root/tools/winerun.sh" --native "$native" --sim "$bus" -- \
  "$win/runs/soak/Soak.exe" --minutes "$minutes" | sed -u 's/\r$//'
