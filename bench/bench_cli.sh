#!/usr/bin/env bash
# CPU use of `ombrel-sim record` over a run, as a percentage of one core
# (user + system time over wall time), and the records it wrote: one a second
# with the meter's 4 reports a second, and every report at 100 a second; and
# the same for benches of one, two and four meters; and the time of
# `ombrel-sim mark` while a record goes on (the process whole, start to
# exit, median and worst of 20).
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

# Benches of 1, 2 and 4 meters side by side (every report at 100/s, then one
# record a second), each meter's records and the pairs to JSON lines: CPU,
# and its ratio to one meter's in the same run.
cpu_of() {
  local TIMEFORMAT='%U %S %R' times
  times=$( { time env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$sim" "$@" 2>/dev/null; } 2>&1 )
  awk -v t="$times" 'BEGIN { split(t, f, " "); printf "%.3f", (f[1] + f[2]) / f[3] * 100 }'
}
for mode in all second; do
  extra=()
  label="one a second, meters at 4/s"
  rate=4
  if [ "$mode" = all ]; then extra=(--all-reports); label="--all-reports, meters at 100/s"; rate=100; fi
  one=$(cpu_of --sim-rate "$rate" record --jsonl run.jsonl --until-duration "$seconds" "${extra[@]}")
  two=$(cpu_of --sim-rate "$rate" --sim-meters 2 --sim-scenario converter-in,converter-out record \
        --meter in=0012345678 --meter out=0012345679 --jsonl run.jsonl --until-duration "$seconds" "${extra[@]}")
  four=$(cpu_of --sim-rate "$rate" --sim-meters 4 --sim-scenario converter-in,converter-out,charge,standard record \
        --meter in=0012345678 --meter out=0012345679 --meter phone=0012345680 --meter spare=0012345681 \
        --jsonl run.jsonl --until-duration "$seconds" "${extra[@]}")
  awk -v l="$label" -v a="$one" -v b="$two" -v c="$four" 'BEGIN {
    printf "record bench, %s: one meter %.3f %%, two %.3f %% (%.2fx), four %.3f %% (%.2fx) of one core\n", l, a, b, b / a, c, c / a
  }'
  rm -f run.jsonl
done

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
