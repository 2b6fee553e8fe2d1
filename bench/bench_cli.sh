#!/usr/bin/env bash
# CPU use of `ombrel-sim record` over a run, as a percentage of one core
# (user + system time over wall time), and the records it wrote: one a second
# with the meter's 4 reports a second, and every report at 100 a second; and
# the time of `ombrel-sim mark` while a record goes on (the process whole,
# start to exit, median and worst of 20).
# Usage: bench/bench_cli.sh <ombrel-sim> [seconds]
set -euo pipefail

sim=$(realpath "$1")
seconds=${2:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# The runs recorded here go into a run journal of their own, never the user's.
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"

measure() {
  local label=$1 rate=$2
  shift 2
  local TIMEFORMAT='%U %S %R'
  local times
  times=$( { time env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
      "$sim" --sim-rate "$rate" record --jsonl run.jsonl --until-duration "$seconds" "$@" 2>/dev/null; } 2>&1 )
  local records
  records=$(wc -l < run.jsonl)
  awk -v t="$times" -v label="$label" -v records="$records" -v rate="$rate" -v s="$seconds" 'BEGIN {
    split(t, f, " ");
    printf "%s: CPU %.3f %% of one core over %.1f s; %d records (meter sent about %d reports)\n",
           label, (f[1] + f[2]) / f[3] * 100, f[3], records, rate * s
  }'
  rm -f run.jsonl
}

measure "record, one a second, meter at 4/s" 4
measure "record --all-reports, meter at 100/s" 100 --all-reports

# `mark` beside a run being recorded, into the same journal.
"$sim" record --until-duration 60 >/dev/null 2>&1 &
recorder=$!
sleep 3
times=()
for i in $(seq 20); do
  start=$(date +%s%N)
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$sim" mark "bench $i" >/dev/null
  end=$(date +%s%N)
  times+=($(( (end - start) / 1000000 )))
  sleep 0.2
done
kill -INT "$recorder" 2>/dev/null || true
wait "$recorder" 2>/dev/null || true
marks=$("$sim" marks last | wc -l)
printf '%s\n' "${times[@]}" | sort -n | awk -v marks="$marks" '{ t[NR] = $1 } END {
  printf "mark beside a record: median %d ms, worst %d ms over %d marks (%d kept in the run)\n", t[int((NR + 1) / 2)], t[NR], NR, marks
}'
