#!/usr/bin/env bash
# Runs one Windows program under Wine in a run of its own: a fresh Wine
# prefix copied from a template, its own Xvfb display, every port COM1..COM32
# mapped to a path inside the run (so nothing can reach a real /dev/ttyS*),
# optionally the instrument simulator behind some of those ports, and the
# modem-line library preloaded so that pseudo-terminals behave as serial
# ports. Every process started here is ended by its pid; the run's
# wineserver is told to end (wineserver -k) and the run directory removed.
#
# Usage: winerun.sh --native DIR [options] -- PROGRAM.exe [ARG...]
#   --native DIR      native build tree (simulator and modem-line library)
#   --template DIR    template prefix, made once if missing (default DIR/wine-template-3)
#   --map COMn=KIND   KIND: dir (cannot be opened), file (not a character device),
#                     null (/dev/null: refuses the line settings), missing
#   --sim "ARGS"      start the simulator with these arguments; @RUN@ stands
#                     for the run directory, ports live in @RUN@/ports/COMn
#   --locale NAME     Unix locale of every Wine process of the run (default C.UTF-8)
#   --broker          start the run's MQTT broker (tools/broker.sh) in @RUN@/broker
#   --opcua           start the run's OPC UA client (tools/opcua_client/keeper.js)
#                     in @RUN@/opcua
#   --keep            keep the run directory (for debugging)
# The program sees QUORVEL_RUN (the run directory, a Unix path) and
# QUORVEL_SIM_LOG (the simulator's log) in its environment; the exit code is
# the program's.
set -euo pipefail

die() { echo "winerun: $*" >&2; exit 2; }

native=""
template=""
maps=()
sim_args=""
broker=0
opcua=0
locale="C.UTF-8"
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --native) native=$(cd "$2" && pwd); shift 2 ;;
    --template) template=$2; shift 2 ;;
    --map) maps+=("$2"); shift 2 ;;
    --sim) sim_args=$2; shift 2 ;;
    --locale) locale=$2; shift 2 ;;
    --broker) broker=1; shift ;;
    --opcua) opcua=1; shift ;;
    --keep) keep=1; shift ;;
    --) shift; break ;;
    *) die "unknown option '$1'" ;;
  esac
done
[ -n "$native" ] || die "--native is required"
[ $# -ge 1 ] || die "no program given"
# Named by its recipe's version, so a changed recipe makes a new template.
template=${template:-$native/wine-template-3}

wine_bin=/usr/lib/wine/wine64
wineserver_bin=/usr/lib/wine/wineserver64
[ -x "$wine_bin" ] || wine_bin=$(command -v wine64 || command -v wine) || die "wine is not installed"
[ -x "$wineserver_bin" ] || wineserver_bin=$(command -v wineserver) || die "wineserver is not installed"
sim_bin=$native/tools/sim/quorvel-sim
modem_lib=$native/tools/pty_modem/libpty_modem.so
[ -f "$modem_lib" ] || die "missing $modem_lib (build the native tree first)"

export WINEDEBUG=${WINEDEBUG:--all}
export WINELOADER=$wine_bin
# No Mono or Gecko: there is nothing to download them from, and the
# installer's question would wait for ever.
export WINEDLLOVERRIDES="mscoree=;mshtml="
export LANG=$locale LC_ALL=$locale

run=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-run.XXXXXX")
# The desktop entries Wine makes of shortcuts made in the prefix (an
# installer's) stay in the run, out of the user's menus. (Wine without its
# menu builder hangs DDE broadcasts here.)
export XDG_DATA_HOME=$run/xdg-data XDG_CONFIG_HOME=$run/xdg-config
xvfb_pid="" server_pid="" sim_pid="" broker_pid="" opcua_pid="" prog_pid=""

# Waits until a condition holds, checking every 20 ms, for at most $1 seconds.
await() {
  local limit=$1; shift
  local tries=$((limit * 50))
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.02
  done
}

# The processes whose environment holds VARIABLE=VALUE.
# (grep itself runs without the variable, not to find itself.)
pids_with() {  # VARIABLE VALUE
  local f
  for f in $(env -u "$1" grep -lzx "$1=$2" /proc/[0-9]*/environ 2>/dev/null); do
    f=${f#/proc/}
    echo "${f%/environ}"
  done
}
# The Wine processes of this run: every process whose environment names the
# run's prefix (the program and the services Wine started for it).
wine_pids() { pids_with WINEPREFIX "$run/pfx"; }
no_wine_left() { [ -z "$(wine_pids)" ]; }
# The broker keeper and every process it started.
broker_pids() { pids_with QUORVEL_BROKER "$run/broker"; }
no_broker_left() { [ -z "$(broker_pids)" ]; }

cleanup() {
  local rc=$?
  trap - EXIT INT TERM
  [ -n "$prog_pid" ] && kill "$prog_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
  if [ -n "$broker_pid" ]; then
    # The keeper ends its broker and subscribers; what a keeper that could
    # not do so left is ended here.
    kill "$broker_pid" 2>/dev/null || true
    wait "$broker_pid" 2>/dev/null || true
    if ! await 10 no_broker_left; then
      # shellcheck disable=SC2046  # a list of pids
      kill -9 $(broker_pids) 2>/dev/null || true
    fi
  fi
  if [ -n "$opcua_pid" ]; then
    kill "$opcua_pid" 2>/dev/null || true
    wait "$opcua_pid" 2>/dev/null || true
  fi
  if [ -n "$server_pid" ]; then
    WINEPREFIX=$run/pfx "$wineserver_bin" -k 2>/dev/null || true
    # The server kills its clients; see them gone, then end the server.
    if ! await 10 no_wine_left; then
      # shellcheck disable=SC2046  # a list of pids
      kill -9 $(wine_pids) 2>/dev/null || true
    fi
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  [ -n "$prog_pid" ] && { wait "$prog_pid" 2>/dev/null || true; }
  [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; }
  if [ "$keep" = 1 ]; then echo "winerun: kept $run" >&2; else rm -rf "$run"; fi
  exit "$rc"
}
trap cleanup EXIT
trap 'echo "winerun: interrupted" >&2; exit 130' INT
trap 'echo "winerun: terminated by a signal" >&2; exit 143' TERM
# A step that fails stops the run (set -e); it says which.
trap 'echo "winerun: line $LINENO failed (exit code $?): $BASH_COMMAND" >&2' ERR

make_template() {
  local tmp=$template.tmp.$$
  rm -rf "$tmp"
  echo "winerun: making the Wine template prefix (once per build tree)" >&2
  WINEPREFIX=$tmp "$wine_bin" wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX=$tmp "$wineserver_bin" -w
  [ -f "$tmp/system.reg" ] || die "wineboot did not make a prefix"
  rm -f "$tmp"/dosdevices/com*
  # No window manager runs on the test display: Wine draws the windows'
  # captions and frames itself, so screenshots show whole windows.
  printf '\n[Software\\\\Wine\\\\X11 Driver]\n"Decorated"="N"\n"Managed"="N"\n' >>"$tmp/user.reg"
  # The caption buttons' symbols come from the Marlett font (fonts-wine).
  for font in /usr/share/wine/fonts/marlett.ttf; do
    [ -f "$font" ] && cp "$font" "$tmp/drive_c/windows/Fonts/"
  done
  mv "$tmp" "$template"
}

mkdir -p "$(dirname "$template")"
(
  flock 9
  [ -f "$template/system.reg" ] || make_template
) 9>"$template.lock"

# The prefix: everything is a copy of its own except the large DLL folders,
# which are shared by hard links (Wine never writes them in place).
pfx=$run/pfx
cp -al "$template" "$pfx"
find "$pfx" \( -path "$pfx/drive_c/windows/system32" -o -path "$pfx/drive_c/windows/winsxs" \) -prune \
  -o -type f -print0 | while IFS= read -r -d '' f; do cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f"; done
rm -f "$pfx"/dosdevices/com*

# Every COM port points into the run; only the paths made below lead anywhere.
ports=$run/ports
mkdir -p "$ports"
awk -v ports="$ports" '
  /^\[/ { in_ports = ($0 ~ /^\[Software\\\\Wine\\\\Ports\]/) }
  in_ports && /^"COM[0-9]+"=/ { next }
  { print }
  in_ports && /^#time=/ {
    for (i = 1; i <= 32; i++) printf "\"COM%d\"=\"%s/COM%d\"\n", i, ports, i
  }
' "$template/system.reg" >"$pfx/system.reg"
grep -q "\"COM32\"=\"$ports/COM32\"" "$pfx/system.reg" || die "could not map the COM ports"

for spec in "${maps[@]}"; do
  port=${spec%%=*} kind=${spec#*=}
  case "$kind" in
    dir) mkdir -p "$ports/$port" ;;
    file) : >"$ports/$port" ;;
    null) ln -sfn /dev/null "$ports/$port" ;;
    missing) rm -rf "${ports:?}/$port" ;;
    *) die "unknown mapping '$spec'" ;;
  esac
done

# The broker, started before the prefix is named: none of its processes is
# one of the prefix's.
if [ "$broker" = 1 ]; then
  QUORVEL_BROKER=$run/broker "$(dirname "$0")/broker.sh" --owner $$ "$run/broker" &
  broker_pid=$!
  broker_up() { [ -f "$run/broker/ports" ] || [ -f "$run/broker/failed" ] || ! kill -0 "$broker_pid"; }
  await 30 broker_up || die "the broker did not start within 30 s"
  [ -f "$run/broker/ports" ] || die "the broker did not start: $(cat "$run/broker/failed" 2>/dev/null)"
fi

# The OPC UA client, as the broker: no process of the prefix.
if [ "$opcua" = 1 ]; then
  client_dir=$(dirname "$0")/opcua_client
  [ -d "$client_dir/node_modules" ] || die "no $client_dir/node_modules: run scripts/install-deps.sh"
  node "$client_dir/keeper.js" --owner $$ "$run/opcua" >"$run/opcua.log" 2>&1 &
  opcua_pid=$!
  opcua_up() { [ -f "$run/opcua/ready" ] || ! kill -0 "$opcua_pid"; }
  await 60 opcua_up || die "the OPC UA client did not start within 60 s"
  [ -f "$run/opcua/ready" ] || die "the OPC UA client did not start: $(cat "$run/opcua.log")"
fi

# The display: Xvfb picks a free number and writes it once it accepts clients.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$run/display" 2>"$run/xvfb.log" &
xvfb_pid=$!
await 20 test -s "$run/display" || die "Xvfb did not start: $(cat "$run/xvfb.log")"
export DISPLAY=":$(head -n 1 "$run/display")"

export WINEPREFIX=$pfx
"$wineserver_bin" -f -p &
server_pid=$!

if [ -n "$sim_args" ]; then
  [ -x "$sim_bin" ] || die "missing $sim_bin (build the native tree first)"
  # shellcheck disable=SC2086  # the simulator's arguments are words
  "$sim_bin" --ready "$run/sim.ready" --log "$run/sim.log" ${sim_args//@RUN@/$run} &
  sim_pid=$!
  await 10 test -f "$run/sim.ready" || die "the simulator did not start"
fi

export QUORVEL_RUN=$run QUORVEL_SIM_LOG=$run/sim.log QUORVEL_WINESERVER_PID=$server_pid
LD_PRELOAD=$modem_lib "$wine_bin" "$@" &
prog_pid=$!
rc=0
wait "$prog_pid" || rc=$?
prog_pid=""
# A Windows program that ends before it prints leaves only this to go by.
[ "$rc" = 0 ] || echo "winerun: $(basename "$1") ended with exit code $rc" >&2
exit "$rc"
