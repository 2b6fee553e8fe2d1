#!/usr/bin/env bash
# CPU added to `ombrel-sim record` by its live outputs, as a percentage of one
# core (user + system time over wall time), against the same run without
# them: the metrics endpoint scraped once a second (and how long a scrape
# takes, also while 50 clients hold connections to it, idle or sending a
# request a byte at a time), InfluxDB lines to a file, and points posted to
# an InfluxDB server started here on a loopback port (when influxd is
# installed); one record a second, then the metrics with every report at 100
# a second.
# Usage: bench/bench_metrics.sh <ombrel-sim> [seconds]
set -euo pipefail

sim=$(realpath "$1")
seconds=${2:-60}
. "$(dirname "$(realpath "${BASH_SOURCE[0]}")")/bench_lib.sh"
bench_begin

measure "record alone, one a second" 4 0
baseline=$cpu_of_last
measure "record --metrics-listen, scraped every second" 4 1 --metrics-listen 0
held=50
measure "record --metrics-listen, scraped every second, 50 connections held" 4 1 --metrics-listen 0
held=0
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
  bench_spawn influx/log.txt influxd -config influx/influxdb.conf
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
