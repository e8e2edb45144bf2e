#!/usr/bin/env bash
# Prints the benchmark figures, one per line: "name = value unit".
# Installs what it needs and builds first, as test.sh does.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh >&2
scripts/build.sh >&2

seconds=${BENCH_SECONDS:-10}
for baud in 9600 19200; do
  # One sensor polled back to back on a line paced like a real one, and a
  # device that never answers.
  tools/winerun.sh --native build/native \
    --sim "--port @RUN@/ports/COM3 --baud $baud --device 5 --channel 3=23.45 --device 6 --fault silent" \
    -- build/win/bench/BusBench.exe --port 3 --baud "$baud" --good 5 --silent 6 --seconds "$seconds" |
    tr -d '\r'
done

# The DDE server: Text writes with 0, 1 and 10 linked client processes, and a
# burst of all 500 items to one client.
tools/winerun.sh --native build/native -- build/win/bench/DdeBench.exe | tr -d '\r'

# Quorvel.exe polling at 9600 and 19200 bit/s, driven from outside: one
# 'count' sensor (each value names its request) and 500 sensors on 20
# devices; each figure beside the same figure of the plain design (a wait
# that looks at the port without pause, the clients told of a reading before
# the next request is written).
bus_at() {
  bus="--port @RUN@/ports/COM3 --baud $1 --device 1 --channel 1=count"
  for device in $(seq 11 30); do
    bus+=" --device $device"
    for channel in $(seq 1 25); do bus+=" --channel $channel=23.45"; done
  done
}
for baud in 9600 19200; do
  bus_at "$baud"
  phases=one,bus
  [ "$baud" = 19200 ] && phases=one,bus,wait,start,memory
  tools/winerun.sh --native build/native --sim "$bus" -- \
    build/win/bench/PollBench.exe --port 3 --baud "$baud" --sensor 1:1 --bus 11:20:25 \
    --seconds "$seconds" --clients 10 --phases "$phases" --plain | tr -d '\r'
done

# The same 500 sensors at 19200 bit/s with the line monitor closed, then open.
tools/winerun.sh --native build/native --sim "$bus" -- \
  build/win/bench/PollBench.exe --port 3 --baud 19200 --sensor 1:1 --bus 11:20:25 \
  --seconds "$seconds" --phases monitor | tr -d '\r'

# The OPC UA server: the latency from the reply's last byte to node-opcua's
# client on Linux, and the 500 sensors with the server off, then on with ten
# monitored items on each sensor's Value.
tools/winerun.sh --native build/native --opcua --sim "$bus" -- \
  build/win/bench/PollBench.exe --port 3 --baud 19200 --sensor 1:1 --bus 11:20:25 \
  --seconds "$seconds" --phases opcua | tr -d '\r'

# The same bus with every reading published to the run's broker as well:
# one sensor with MQTT off, on and with the broker stopped, the latency to a
# subscriber, and the memory of a full outbox.
tools/winerun.sh --native build/native --broker --sim "$bus" -- \
  build/win/bench/PollBench.exe --port 3 --baud 19200 --sensor 1:1 --bus 11:20:25 \
  --seconds "$seconds" --phases mqtt | tr -d '\r'

# The same bus with every second device silent and a reply time-out of
# 150 ms: the healthy devices' readings per second with demotion off, with
# DemoteAfter=3, and with the healthy devices alone in the table.
bus="--port @RUN@/ports/COM3 --baud 19200"
silent=""
for device in $(seq 11 30); do
  bus+=" --device $device"
  for channel in $(seq 1 25); do bus+=" --channel $channel=23.45"; done
  if ((device % 2 == 0)); then
    bus+=" --fault silent"
    silent+="${silent:+,}$device"
  fi
done
tools/winerun.sh --native build/native --sim "$bus" -- \
  build/win/bench/PollBench.exe --port 3 --baud 19200 --bus 11:20:25 --silent "$silent" \
  --seconds "$seconds" --phases silent | tr -d '\r'
