#!/usr/bin/env bash
# The demo: Quorvel.exe under Wine polls a simulated instrument bus on COM3
# at 9600 bit/s by itself (five devices: changing readings, one device that
# stays silent, one answering with a bad checksum), and a DDE client linked
# to its items prints every update as it arrives, as a workbook's links
# would receive it.
#
#   ./demo.sh               run until Ctrl-C
#   ./demo.sh --seconds N   end by itself after N seconds of polling, with
#                           screenshots in build/demo/: the splash at start
#                           (quorvel-splash.png), the main window while it
#                           polls (quorvel-main.png) and each page of the
#                           settings dialog once polling has stopped
set -euo pipefail
cd "$(dirname "$0")"

seconds=""
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) [ $# -ge 2 ] || { echo "demo: --seconds needs a number" >&2; exit 2; }
               seconds=$2; shift 2 ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
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
bus+=" --device 7 --channel 1=wave:101.3:0.4:30 --channel 2=760.2"
bus+=" --device 9 --channel 1=0 --fault silent"
bus+=" --device 12 --channel 1=12.5 --fault badcrc"
bus+=" --device 14 --channel 1=wave:55:25:15"
sensors=(5:1 5:2 5:3 7:1 7:2 9:1 12:1 14:1)

runner=(build/win/runs/demo/QuorvelDemo.exe --port 3 --baud 9600)
screenshot=""
if [ -n "$seconds" ]; then
  mkdir -p build/demo
  screenshot=$PWD/build/demo/quorvel-main.png
  rm -f "$screenshot" build/demo/setup-*.png build/demo/quorvel-splash.png build/demo/quorvel-monitor.png
  runner+=(--seconds "$seconds" --screenshot "$screenshot" --setup-screenshots "$PWD/build/demo"
           --splash-screenshot "$PWD/build/demo/quorvel-splash.png"
           --monitor-screenshot "$PWD/build/demo/quorvel-monitor.png")
fi

echo "Simulated bus on COM3 at 9600 bit/s: devices 5, 7, 14, 9 (silent) and 12 (bad checksum)."
# Russian locale: the program's texts as its users see them, and its
# decimal comma.
tools/winerun.sh --native build/native --locale ru_RU.UTF-8 --sim "$bus" -- \
  "${runner[@]}" "${sensors[@]}" | tr -d '\r'
if [ -n "$screenshot" ] && [ -f "$screenshot" ]; then
  echo "The splash at start: build/demo/quorvel-splash.png"
  echo "The main window as it was after $seconds seconds: ${screenshot#"$PWD"/}"
  echo "The line monitor, opened from the menu while polling: build/demo/quorvel-monitor.png"
  echo "The settings dialog's pages: build/demo/setup-general.png, setup-exchange.png, setup-dde.png, setup-more.png"
fi
