#!/usr/bin/env bash
# CPU added to `ombrel-sim record` by its live outputs, as a percentage of one
# core (user + system time over wall time), against the same run without
# them: the metrics endpoint scraped once a second (and how long a scrape
# takes), InfluxDB lines to a file, and points posted to an InfluxDB server
# started here on a loopback port (when influxd is installed); one record a
# second, then the metrics with every report at 100 a second.
# Usage: bench/bench_metrics.sh <ombrel-sim> [seconds]
set -euo pipefail

sim=$(realpath "$1")
seconds=${2:-60}
work=$(mktemp -d)
influxd_pid=
cleanup() {
  [ -n "$influxd_pid" ] && kill "$influxd_pid" 2>/dev/null && wait "$influxd_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
# The runs recorded here go into a run journal of their own, never the user's.
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# measure LABEL RATE SCRAPE [record options…]: prints the CPU use; with
# SCRAPE=1 the endpoint named on standard error is fetched once a second.
baseline=0
measure() {
  local label=$1 rate=$2 scrape=$3
  shift 3
  rm -f times.txt err.txt scrapes.txt run.jsonl
  ( TIMEFORMAT='%U %S %R'; time "$sim" --sim-rate "$rate" record --jsonl run.jsonl \
      --until-duration "$seconds" "$@" 2>err.txt ) 2>times.txt &
  local job=$!
  if [ "$scrape" = 1 ]; then
    local url=
    for _ in $(seq 100); do
      url=$(sed -n 's/.*metrics at \(http[^ ]*\)$/\1/p' err.txt 2>/dev/null || true)
      [ -n "$url" ] && break
      sleep 0.1
    done
    while kill -0 "$job" 2>/dev/null; do
      curl -s -o /dev/null -w '%{time_total}\n' "$url" >>scrapes.txt || true
      sleep 1
    done
  fi
  wait "$job"
  local records
  records=$(wc -l <run.jsonl)
  awk -v t="$(cat times.txt)" -v label="$label" -v records="$records" -v base="$baseline" 'BEGIN {
    split(t, f, " "); cpu = (f[1] + f[2]) / f[3] * 100;
    printf "%s: CPU %.3f %% of one core over %.1f s", label, cpu, f[3];
    if (base > 0) printf " (%+.3f %% over the run alone)", cpu - base;
    printf "; %d records\n", records
  }'
  if [ "$scrape" = 1 ] && [ -s scrapes.txt ]; then
    sort -n scrapes.txt | awk '{ v[NR] = $1 * 1000; s += v[NR] } END {
      printf "  %d scrapes: mean %.2f ms, median %.2f ms, max %.2f ms\n", NR, s / NR, v[int((NR + 1) / 2)], v[NR] }'
  fi
  cpu_of_last=$(awk -v t="$(cat times.txt)" 'BEGIN { split(t, f, " "); printf "%.6f", (f[1] + f[2]) / f[3] * 100 }')
}

measure "record alone, one a second" 4 0
baseline=$cpu_of_last
measure "record --metrics-listen, scraped every second" 4 1 --metrics-listen 0
measure "record --influx FILE" 4 0 --influx run.influx
if command -v influxd >/dev/null; then
  http=$(free_port)
  rpc=$(free_port)
  mkdir -p influx
  cat >influx/influxdb.conf <<CONF
bind-address = "127.0.0.1:$rpc"
[meta]
  dir = "$work/influx/meta"
[data]
  dir = "$work/influx/data"
  wal-dir = "$work/influx/wal"
  query-log-enabled = false
[monitor]
  store-enabled = false
[http]
  bind-address = "127.0.0.1:$http"
  log-enabled = false
[logging]
  level = "error"
CONF
  influxd -config influx/influxdb.conf >influx/log.txt 2>&1 &
  influxd_pid=$!
  for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$http/ping" && break
    sleep 0.2
  done
  curl -s -o /dev/null -XPOST "http://127.0.0.1:$http/query" --data-urlencode 'q=CREATE DATABASE bench'
  measure "record --influx-url (a local InfluxDB 1.x)" 4 0 --influx-url "http://127.0.0.1:$http" --influx-db bench
  points=$(curl -s -G "http://127.0.0.1:$http/query" --data-urlencode db=bench \
    --data-urlencode 'q=SELECT count(vbus) FROM ombrel' | sed -n 's/.*"values":\[\[[^,]*,\([0-9]*\)\]\].*/\1/p')
  echo "  points in the server: ${points:-?}"
fi
baseline=0
measure "record --all-reports alone, meter at 100/s" 100 0 --all-reports
baseline=$cpu_of_last
measure "record --all-reports --metrics-listen, scraped every second, meter at 100/s" 100 1 --all-reports --metrics-listen 0
