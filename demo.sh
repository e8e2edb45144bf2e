#!/usr/bin/env bash
# The demo: a simulated instrument bus on COM3 (three devices, one of them
# silent and one answering with a bad checksum) polled through the Win32 bus
# link under Wine; every reading or status text is printed as it comes.
#
#   ./demo.sh               run until Ctrl-C
#   ./demo.sh --seconds N   end by itself after N seconds
set -euo pipefail
cd "$(dirname "$0")"

seconds=""
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) [ $# -ge 2 ] || { echo "demo: --seconds needs a number" >&2; exit 2; }
               seconds=$2; shift 2 ;;
    -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done

scripts/install-deps.sh
if ! scripts/build.sh >build.log 2>&1; then
  cat build.log >&2
  echo "demo: the build failed (log above)" >&2
  exit 1
fi

bus="--port @RUN@/ports/COM3 --baud 9600"
bus+=" --device 5 --channel 1=wave:20:5:60 --channel 2=wave:-3:1.5:20 --channel 3=count"
bus+=" --device 7 --channel 1=wave:101.3:0.4:30"
bus+=" --device 9 --channel 1=0 --fault silent"
bus+=" --device 12 --channel 1=12.5 --fault badcrc"

echo "Simulated bus on COM3 at 9600 bit/s: devices 5, 7, 9 (silent) and 12 (bad checksum)."
tools/winerun.sh --native build/native --locale C.UTF-8 --sim "$bus" -- \
  build/win/tools/bus_probe/BusProbe.exe --port 3 --baud 9600 --interval 1000 \
  ${seconds:+--seconds "$seconds"} 5:1 5:2 5:3 7:1 9:1 12:1 | tr -d '\r'
