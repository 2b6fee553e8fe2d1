#!/usr/bin/env bash
# What publishing to an MQTT broker costs `ombrel-sim record`, against a
# mosquitto broker started here on a free loopback port:
#  - the CPU (% of one core, user + system over wall time) of a run with and
#    without --mqtt: one record a second (meter at 4 reports a second), and
#    --all-reports at 100 reports a second;
#  - a lab: N recorders (50 by default) publishing to the one broker for a
#    while (120 s by default): CPU per recorder, the broker's CPU, messages a
#    second at the broker, and the records lost on the way (records in the
#    recorders' files that no subscriber received).
# Usage: bench/bench_mqtt.sh <ombrel-sim> [seconds] [recorders] [lab-seconds] (seconds 0: the lab alone)
set -euo pipefail

sim=$(realpath "$1")
seconds=${2:-60}
recorders=${3:-50}
lab_seconds=${4:-120}
work=$(mktemp -d)
broker_pid=
cleanup() {
  [[ -n "$broker_pid" ]] && kill "$broker_pid" 2>/dev/null || true
  jobs -p | xargs -r kill 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
chmod 0755 "$work"
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" ASAN_OPTIONS=detect_leaks=0
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM OMBREL_MQTT_PASSWORD

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > mosquitto.conf <<CONF
listener $port 127.0.0.1
allow_anonymous true
persistence false
max_queued_messages 100000
CONF
mosquitto -c mosquitto.conf 2> broker.log &
broker_pid=$!
for _ in $(seq 50); do grep -q ' running' broker.log && break; sleep 0.1; done
url="mqtt://127.0.0.1:$port"

# CPU of one run: "user system wall".
cpu() {
  local TIMEFORMAT='%U %S %R'
  { time "$sim" "$@" 2>/dev/null >/dev/null; } 2>&1
}
percent() {
  awk -v t="$1" 'BEGIN { split(t, f, " "); printf "%.3f", (f[1] + f[2]) / f[3] * 100 }'
}

compare() {
  local label=$1 rate=$2
  shift 2
  local plain with
  plain=$(cpu --sim-rate "$rate" record --jsonl plain.jsonl --until-duration "$seconds" "$@")
  with=$(cpu --sim-rate "$rate" record --jsonl mqtt.jsonl --until-duration "$seconds" --mqtt "$url" "$@")
  local p w
  p=$(percent "$plain")
  w=$(percent "$with")
  awk -v label="$label" -v p="$p" -v w="$w" -v s="$seconds" -v a="$(wc -l < plain.jsonl)" -v b="$(wc -l < mqtt.jsonl)" 'BEGIN {
    printf "%s: without --mqtt %.3f %%, with --mqtt %.3f %% of one core over %d s: --mqtt adds %.3f %% (%d and %d records)\n",
           label, p, w, s, w - p, a, b
  }'
  rm -f plain.jsonl mqtt.jsonl
}

if (( seconds > 0 )); then
  compare "record, one a second, meter at 4/s" 4
  compare "record --all-reports, meter at 100/s" 100 --all-reports
fi

# The lab: N recorders, each a bench of its own (its own meter and data folder).
mosquitto_sub -h 127.0.0.1 -p "$port" -t 'ombrel/+/state' -F '%t' > states.txt &
sub_pid=$!
sleep 0.5
broker_ticks() { awk '{ print $14 + $15 }' "/proc/$broker_pid/stat"; }
ticks0=$(broker_ticks)
start=$(date +%s.%N)
for i in $(seq -w 1 "$recorders"); do
  mkdir -p "lab$i"
  (
    export XDG_DATA_HOME="$work/lab$i/data"
    cd "lab$i"
    TIMEFORMAT='%U %S %R'
    { time "$sim" --sim-serial "LAB$i" record --jsonl run.jsonl --until-duration "$lab_seconds" \
        --mqtt "$url" 2> record.err; } 2> time.txt
  ) &
done
wait $(jobs -p | grep -v "^$sub_pid\$" | grep -v "^$broker_pid\$") 2>/dev/null || true
end=$(date +%s.%N)
ticks1=$(broker_ticks)
sleep 1
kill "$sub_pid" 2>/dev/null || true
hz=$(getconf CLK_TCK)
records=$(cat lab*/run.jsonl | wc -l)
received=$(wc -l < states.txt)
dropped=$(cat lab*/record.err | { grep -o ': [0-9]* of [0-9]* records were not sent' || true; } | awk '{ s += $2 } END { print s + 0 }')
cat lab*/time.txt | awk -v n="$recorders" -v s="$lab_seconds" -v recs="$records" -v got="$received" \
    -v dropped="$dropped" -v bt="$((ticks1 - ticks0))" -v hz="$hz" -v wall="$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" '
  { cpu += ($1 + $2) / $3 * 100; if (($1 + $2) / $3 * 100 > worst) worst = ($1 + $2) / $3 * 100 }
  END {
    printf "lab: %d recorders for %d s against one broker: CPU per recorder %.3f %% of one core (mean), %.3f %% (worst)\n",
           n, s, cpu / n, worst
    printf "lab: broker CPU %.2f %% of one core; %.1f messages/s of state at the broker\n",
           bt / hz / wall * 100, got / wall
    printf "lab: %d records in the recorders files, %d state messages received, lost %d (dropped by the recorders: %d)\n",
           recs, got, recs - got, dropped
  }'
