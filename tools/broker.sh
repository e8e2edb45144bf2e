#!/usr/bin/env bash
# The MQTT broker of a test run (tools/winerun.sh --broker): Debian's
# mosquitto with three listeners on 127.0.0.1, and mosquitto_sub subscribers,
# started and ended on the Windows-side test's commands. The test's
# counterparts are these real programs, never our own code.
#
# Usage: broker.sh --owner PID DIR
# In DIR it makes a test authority (ca.pem) and the server's certificate it
# signed (localhost, 127.0.0.1), an unrelated authority (other-ca.pem), the
# password file and `credentials` (user=, password=), the configuration, and,
# once every listener accepts, `ports` (plain=, auth=, tls=). A start that
# fails leaves `failed` with the reason instead.
#
# A command is a file commands/ID.cmd (written elsewhere and renamed into
# place), one word a line: the command, then its arguments. Its answer is
# answers/ID.answer, renamed into place: "done" or "failed", then a text.
#   stop                         end the broker, see its ports closed
#   start                        start it again on the same ports, and wait
#                                until every running subscriber is back
#   subscribe NAME FILTER QOS clean|persistent [CLIENT_ID]
#                                a mosquitto_sub on the plain listener, client
#                                id "quorvel-test-NAME" unless given; answered
#                                once its subscription delivers
#   unsubscribe NAME             end that subscriber (its session stays if
#                                persistent)
#   publish TOPIC PAYLOAD [retain] [qos=N]
#                                mosquitto_pub on the plain listener, QoS 1
#                                unless given
# A subscriber appends one line a message to NAME.log:
#   RECEIVED_UNIX_TIME RETAIN PAYLOAD_HEX TOPIC
# e.g. "1712345678.123456789 0 32332e3435 plant/S1"; the topic is the rest of
# the line. Lines of topics under $quorvel-fixture/ are the keeper's probes.
#
# Every process it starts carries QUORVEL_BROKER=DIR in its environment and
# is ended by its pid when the keeper ends, or when the owner has gone.
set -euo pipefail
# The clock's and the tools' texts as this script reads them, whatever the
# run's locale.
export LANG=C.UTF-8 LC_ALL=C.UTF-8

die() { echo "broker: $*" >&2; exit 2; }

owner=""
while [ $# -gt 1 ]; do
  case "$1" in
    --owner) owner=$2; shift 2 ;;
    *) die "unknown option '$1'" ;;
  esac
done
[ $# -eq 1 ] || die "usage: broker.sh --owner PID DIR"
[ -n "$owner" ] || die "--owner is required"
dir=$1
mkdir -p "$dir/commands" "$dir/answers"
dir=$(cd "$dir" && pwd)
# As the owner gave it, which finds these processes by it.
export QUORVEL_BROKER=${QUORVEL_BROKER:-$dir}

user=quorvel
password='Pl@nt-secret 1'
# Topics under $ match no filter that starts with a wildcard.
probe_prefix="\$quorvel-fixture/probe"
ready_topic="\$quorvel-fixture/ready"
conf=$dir/mosquitto.conf
log=$dir/mosquitto.log

mosquitto_pid=""
declare -A ports=() sub_pids=()

# Microseconds of the wall clock.
now_us() { echo "${EPOCHREALTIME/[.,]/}"; }

# Waits until a condition holds, checking every 20 ms, for at most $1 seconds
# (however long the checks take).
await() {
  local end=$(($(now_us) + $1 * 1000000))
  shift
  until "$@"; do
    [ "$(now_us)" -lt "$end" ] || return 1
    sleep 0.02
  done
}

# A child has ended once it is gone or a zombie (not yet reaped).
ended() {
  local state
  state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 0
  [ "$state" = Z ]
}

# Ends a child by its pid: politely, then for good after 5 s.
end_pid() {
  kill "$1" 2>/dev/null || true
  await 5 ended "$1" || kill -9 "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

cleanup() {
  local rc=$? name
  trap - EXIT INT TERM
  for name in "${!sub_pids[@]}"; do end_pid "${sub_pids[$name]}"; done
  [ -n "$mosquitto_pid" ] && end_pid "$mosquitto_pid"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail_start() {
  printf '%s\n' "$*" >"$dir/failed.tmp" && mv "$dir/failed.tmp" "$dir/failed"
  die "$*"
}

# --- certificates and passwords ---

# P-256 keys: made in milliseconds, where RSA keys take seconds on a busy
# machine, and every TLS library of today takes them.
new_key=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes)

make_authority() {  # NAME
  openssl req -x509 "${new_key[@]}" -days 3 -subj "/O=Quorvel tests/CN=Quorvel test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$dir/$1.key" -out "$dir/$1.pem" 2>>"$dir/openssl.log"
}

make_credentials() {
  make_authority ca
  # The same name as the test authority: only its key tells them apart, so a
  # refusal is a verification's, not a name lookup's.
  make_authority other-ca
  openssl req "${new_key[@]}" -subj "/O=Quorvel tests/CN=localhost" \
    -keyout "$dir/server.key" -out "$dir/server.csr" 2>>"$dir/openssl.log"
  printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=serverAuth" "subjectAltName=DNS:localhost,IP:127.0.0.1" >"$dir/server.ext"
  openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial \
    -days 3 -extfile "$dir/server.ext" -out "$dir/server.pem" 2>>"$dir/openssl.log"
  mosquitto_passwd -c -b "$dir/passwd" "$user" "$password"
  printf 'user=%s\npassword=%s\n' "$user" "$password" >"$dir/credentials"
}

# --- ports and listeners ---

# The port's listening socket's inode, if one listens on it.
listening_inode() {
  awk -v port="$(printf '%04X' "$1")" '
    $4 == "0A" && substr($2, index($2, ":") + 1) == port { print $10; exit }
  ' /proc/net/tcp /proc/net/tcp6
}

port_used() {
  awk -v port="$(printf '%04X' "$1")" '
    substr($2, index($2, ":") + 1) == port { found = 1; exit } END { exit !found }
  ' /proc/net/tcp /proc/net/tcp6
}

# Three ports no socket uses now, below the kernel's range for outgoing
# connections so that none of those takes one meanwhile; a bind that fails
# anyway makes the start pick again.
pick_ports() {
  local name port
  ports=()
  for name in plain auth tls; do
    while :; do
      port=$((20000 + RANDOM % 12000))
      port_used "$port" && continue
      [[ " ${ports[*]} " == *" $port "* ]] && continue
      break
    done
    ports[$name]=$port
  done
}

write_config() {
  cat >"$conf" <<EOF
per_listener_settings true
# As root mosquitto would change to its own user, who cannot write here.
user $(id -un)
persistence true
persistence_location $dir/
persistence_file mosquitto.db
log_timestamp_format %Y-%m-%dT%H:%M:%S
connection_messages true

listener ${ports[plain]} 127.0.0.1
allow_anonymous true

listener ${ports[auth]} 127.0.0.1
allow_anonymous false
password_file $dir/passwd

listener ${ports[tls]} 127.0.0.1
allow_anonymous false
password_file $dir/passwd
certfile $dir/server.pem
keyfile $dir/server.key
tls_version tlsv1.2
EOF
}

# Every listener's socket is mosquitto's own (not another program's that
# happens to hold the port).
listening() {
  local name inode
  for name in plain auth tls; do
    inode=$(listening_inode "${ports[$name]}")
    [ -n "$inode" ] || return 1
    find "/proc/$mosquitto_pid/fd" -lname "socket:\[$inode\]" 2>/dev/null | grep -q . || return 1
  done
}

# No socket listens on any of the ports.
closed() {
  local name
  for name in plain auth tls; do
    [ -z "$(listening_inode "${ports[$name]}")" ] || return 1
  done
}

running_or_listening() { ended "$mosquitto_pid" || listening; }

pub() {  # LISTENER ARG... (a QoS 0 message with no payload unless given)
  local port=${ports[$1]}; shift
  timeout 10 mosquitto_pub -h 127.0.0.1 -p "$port" "$@" 2>&1
}

# mosquitto talking MQTT on a listener, with the credentials it asks for.
accepting() {
  pub plain -t "$ready_topic" -n >/dev/null &&
    pub auth -u "$user" -P "$password" -t "$ready_topic" -n >/dev/null
}
accepting_tls() {
  pub tls --cafile "$dir/ca.pem" -u "$user" -P "$password" -t "$ready_topic" -n >/dev/null
}

# The TLS listener's certificate, as openssl verifies it against CAFILE for
# the host name and the address; prints openssl's verdict.
tls_verdict() {  # CAFILE
  local out
  out=$(timeout 10 openssl s_client -connect "127.0.0.1:${ports[tls]}" -CAfile "$1" \
    -verify_hostname localhost -verify_ip 127.0.0.1 -verify_return_error -brief </dev/null 2>&1) &&
    return 0
  printf '%s' "$out" | grep -m 1 -i 'verify' || printf '%s' "$out" | tail -n 1
  return 1
}

# Starts mosquitto on the ports chosen; true once it accepts everywhere.
# Sets start_error otherwise.
launch() {
  local verdict
  start_error=""
  mosquitto -c "$conf" >>"$log" 2>&1 &
  mosquitto_pid=$!
  if ! await 10 running_or_listening; then
    start_error="mosquitto did not listen within 10 s"
  elif ended "$mosquitto_pid"; then
    wait "$mosquitto_pid" 2>/dev/null || true
    mosquitto_pid=""
    start_error="mosquitto ended: $(tail -n 3 "$log" | tr '\n' ' ')"
    return 1
  elif ! await 10 accepting; then
    start_error="mosquitto listens but does not accept MQTT connections"
  elif ! verdict=$(tls_verdict "$dir/ca.pem"); then
    start_error="the TLS listener's certificate does not verify against ca.pem: $verdict"
  elif ! await 10 accepting_tls; then
    start_error="the TLS listener does not accept MQTT connections"
  else
    return 0
  fi
  [ -n "$mosquitto_pid" ] && end_pid "$mosquitto_pid"
  mosquitto_pid=""
  return 1
}

bind_failed() { tail -n 5 "$log" | grep -q 'Address already in use'; }

# What the start checks once, beyond what each start does.
check_listeners() {
  local verdict
  if verdict=$(tls_verdict "$dir/other-ca.pem"); then
    fail_start "the TLS listener's certificate verifies against other-ca.pem"
  fi
  echo "broker: against other-ca.pem: ${verdict:-refused}" >>"$log"
  pub auth -t "$ready_topic" -n >/dev/null &&
    fail_start "the auth listener takes an anonymous client"
  pub tls --cafile "$dir/ca.pem" -t "$ready_topic" -n >/dev/null &&
    fail_start "the TLS listener takes an anonymous client"
  pub auth -u "$user" -P "wrong $password" -t "$ready_topic" -n >/dev/null &&
    fail_start "the auth listener takes a wrong password"
  return 0
}

# --- subscribers ---

hex() { printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n'; }

probes=0
# Probe messages through the subscriber NAME's own probe topic, one each
# 100 ms for at most 15 s, until one is in its log: its subscription (and its
# session's queue before it) delivers.
probe() {  # NAME
  local name=$1 topic="$probe_prefix/$1" line ticks end=$(($(now_us) + 15000000))
  while [ "$(now_us)" -lt "$end" ]; do
    ended "${sub_pids[$name]}" && return 1
    probes=$((probes + 1))
    pub plain -t "$topic" -m "$$-$probes" >/dev/null || true
    line=" $(hex "$$-$probes") $topic"
    for ((ticks = 0; ticks < 5; ticks++)); do
      grep -qF -- "$line" "$dir/$name.log" && return 0
      sleep 0.02
    done
  done
  return 1
}

valid_name() { [[ "$1" =~ ^[A-Za-z0-9_.-]+$ ]]; }

cmd_subscribe() {
  if [ $# -lt 4 ] || [ $# -gt 5 ]; then
    echo "usage: subscribe NAME FILTER QOS clean|persistent [CLIENT_ID]"
    return 1
  fi
  local name=$1 filter=$2 qos=$3 session=$4 id=${5:-quorvel-test-$1} clean=()
  valid_name "$name" || { echo "bad subscriber name '$name'"; return 1; }
  [[ "$qos" =~ ^[012]$ ]] || { echo "bad QoS '$qos'"; return 1; }
  case "$session" in
    clean) ;;
    persistent) clean=(-c) ;;
    *) echo "bad session '$session' (clean or persistent)"; return 1 ;;
  esac
  [ -z "${sub_pids[$name]:-}" ] || { echo "$name is subscribed already"; return 1; }
  [ -n "$mosquitto_pid" ] || { echo "the broker is stopped"; return 1; }
  mosquitto_sub -h 127.0.0.1 -p "${ports[plain]}" -i "$id" "${clean[@]}" -q "$qos" \
    -t "$filter" -t "$probe_prefix/$name" -F '%U %r %x %t' \
    >>"$dir/$name.log" 2>>"$dir/$name.err" &
  sub_pids[$name]=$!
  if ! probe "$name"; then
    end_pid "${sub_pids[$name]}"
    unset "sub_pids[$name]"
    echo "$name did not receive through its subscription: $(tail -n 2 "$dir/$name.err" | tr '\n' ' ')"
    return 1
  fi
  echo "$name subscribed to $filter at QoS $qos, $session session, client id $id"
}

cmd_unsubscribe() {
  [ $# -eq 1 ] || { echo "usage: unsubscribe NAME"; return 1; }
  [ -n "${sub_pids[$1]:-}" ] || { echo "$1 is not subscribed"; return 1; }
  end_pid "${sub_pids[$1]}"
  unset "sub_pids[$1]"
  echo "$1 ended"
}

cmd_publish() {
  [ $# -ge 2 ] || { echo "usage: publish TOPIC PAYLOAD [retain] [qos=N]"; return 1; }
  local topic=$1 payload=$2 options=(-q 1) out
  shift 2
  for word in "$@"; do
    case "$word" in
      retain) options+=(-r) ;;
      qos=[012]) options+=(-q "${word#qos=}") ;;
      *) echo "bad publish option '$word'"; return 1 ;;
    esac
  done
  [ -n "$mosquitto_pid" ] || { echo "the broker is stopped"; return 1; }
  if [ -n "$payload" ]; then options+=(-m "$payload"); else options+=(-n); fi
  out=$(pub plain -t "$topic" "${options[@]}") || { echo "mosquitto_pub failed: $out"; return 1; }
  echo "published to $topic"
}

cmd_stop() {
  [ -n "$mosquitto_pid" ] || { echo "the broker is stopped already"; return 1; }
  end_pid "$mosquitto_pid"
  mosquitto_pid=""
  await 10 closed || { echo "mosquitto ended but its ports stay open"; return 1; }
  echo "stopped"
}

cmd_start() {
  local name tries
  [ -z "$mosquitto_pid" ] || { echo "the broker runs already"; return 1; }
  # Another program may bind a port of ours while the broker is stopped
  # for a moment only; for longer, the start fails.
  for ((tries = 0; tries < 5; tries++)); do
    launch && break
    bind_failed || break
  done
  [ -n "$mosquitto_pid" ] || { echo "$start_error"; return 1; }
  for name in "${!sub_pids[@]}"; do
    probe "$name" || { echo "started, but subscriber $name did not come back"; return 1; }
  done
  echo "started on plain=${ports[plain]} auth=${ports[auth]} tls=${ports[tls]}"
}

# --- the commands ---

# Runs one command file. The command runs in this shell (it keeps the pids),
# its text goes to the answer.
run_command() {  # FILE
  local id words=() line verdict=failed answer
  id=$(basename "$1" .cmd)
  answer=$dir/answers/$id.tmp
  while IFS= read -r line || [ -n "$line" ]; do words+=("${line%$'\r'}"); done <"$1"
  rm -f "$1"
  echo "broker: command $id: ${words[*]}" >>"$log"
  case "${words[0]:-}" in
    stop | start | subscribe | unsubscribe | publish)
      "cmd_${words[0]}" "${words[@]:1}" >"$answer.text" 2>&1 && verdict="done" ;;
    *) echo "unknown command '${words[0]:-}'" >"$answer.text" ;;
  esac
  { echo "$verdict"; cat "$answer.text"; } >"$answer"
  rm -f "$answer.text"
  echo "broker: answer $id: $(tr '\n' ' ' <"$answer")" >>"$log"
  mv "$answer" "$dir/answers/$id.answer"
}

make_credentials || fail_start "could not make the certificates: $(tail -n 3 "$dir/openssl.log")"
for ((tries = 0; tries < 5; tries++)); do
  pick_ports
  write_config
  launch && break
  bind_failed || break
done
[ -n "$mosquitto_pid" ] || fail_start "$start_error"
check_listeners
printf 'plain=%s\nauth=%s\ntls=%s\n' "${ports[plain]}" "${ports[auth]}" "${ports[tls]}" >"$dir/ports.tmp"
mv "$dir/ports.tmp" "$dir/ports"

shopt -s nullglob
while kill -0 "$owner" 2>/dev/null; do
  for command in "$dir"/commands/*.cmd; do run_command "$command"; done
  sleep 0.02
done
