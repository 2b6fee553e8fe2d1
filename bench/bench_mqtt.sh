#!/usr/bin/env bash
# What the network outputs cost `ombrel-sim record`, against a mosquitto
# broker and a Prometheus server started here on free loopback ports:
#  - one table of the CPU (% of one core, user + system over wall time) of a
#    run alone, with --mqtt, with --metrics-listen (fetched once a second),
#    and with both: one record a second (meter at 4 reports a second), and
#    --all-reports at 100 reports a second;
#  - a lab: N recorders (50 by default), each with --mqtt to the one broker
#    and --metrics-listen on a port of its own scraped by the one Prometheus
#    server (every second by default), for a while (120 s by default): CPU per
#    recorder, the broker's CPU and messages a second, the records lost on the
#    way (records in the recorders' files that no subscriber received),
#    Prometheus' scrape duration of the targets and how many were up.
# Usage: bench/bench_mqtt.sh <ombrel-sim> [seconds] [recorders] [lab-seconds] [scrape-interval]
#        (seconds 0: the lab alone; lab-seconds 0: the table alone; scrape-interval 1s or 5s)
set -euo pipefail

sim=$(realpath "$1")
seconds=${2:-60}
recorders=${3:-50}
lab_seconds=${4:-120}
scrape_interval=${5:-1s}
. "$(dirname "$(realpath "${BASH_SOURCE[0]}")")/bench_lib.sh"
bench_begin
start_mosquitto
url=$broker_url

# The table: each output alone and both together, against the run alone at
# the same rate. Rows: label, CPU, added, target.
rows=()
table_rate() {
  local rate=$1 what=$2 target_each=$3 target_both=$4
  shift 4
  baseline=0
  measure "record$what alone" "$rate" 0 "$@"
  local alone=$cpu_of_run_last
  rows+=("record$what|$alone||")
  baseline=$cpu_of_last
  measure "record$what --mqtt" "$rate" 0 "$@" --mqtt "$url"
  rows+=("  --mqtt|$cpu_of_run_last|$alone|$target_each")
  measure "record$what --metrics-listen (fetched every second)" "$rate" 1 "$@" --metrics-listen 0
  rows+=("  --metrics-listen|$cpu_of_run_last|$alone|$target_each")
  measure "record$what --mqtt --metrics-listen (fetched every second)" "$rate" 1 "$@" --mqtt "$url" --metrics-listen 0
  rows+=("  --mqtt --metrics-listen|$cpu_of_run_last|$alone|$target_both")
}

if (( seconds > 0 )); then
  echo "load before the table: $(uptime)"
  table_rate 4 ", one a second (meter at 4/s)" "≤ 0.1" ""
  table_rate 100 " --all-reports (meter at 100/s)" "" "≤ 1" --all-reports
  echo "load after the table: $(uptime)"
  echo
  # CPU time (user + system, start to exit) over the run's duration, so that
  # an output's start and end are counted too.
  printf '| run (%d s each) | CPU, %% of one core | added by the outputs | target |\n|---|---:|---:|---|\n' "$seconds"
  for row in "${rows[@]}"; do
    IFS='|' read -r label cpu alone target <<<"$row"
    awk -v l="$label" -v c="$cpu" -v a="$alone" -v t="$target" 'BEGIN {
      printf "| %s | %.3f | %s | %s |\n", l, c, a == "" ? "" : sprintf("%+.3f", c - a), t }'
  done
  echo
fi

(( lab_seconds > 0 )) || exit 0

# The lab: N recorders, each a bench of its own (its own meter, serial, data
# folder and metrics port), all scraped by one Prometheus server.
mapfile -t ports < <(free_ports "$recorders")
targets=()
for port in "${ports[@]}"; do targets+=("127.0.0.1:$port"); done
start_prometheus "$scrape_interval" "${targets[@]}"
# Prometheus hands its targets to the scrapers a few seconds after it starts:
# the lab begins when it scrapes them all (refused, as nothing listens yet).
for _ in $(seq 300); do
  active=$(curl -sf "$prometheus_api/api/v1/targets?state=active" |
    python3 -c 'import json, sys; print(sum(1 for t in json.load(sys.stdin)["data"]["activeTargets"] if t["lastScrape"][:4] != "0001"))')
  (( active >= recorders )) && break
  sleep 0.1
done
bench_spawn states.txt mosquitto_sub -h 127.0.0.1 -p "$broker_port" -t 'ombrel/+/state' -F '%t'
sub_pid=$spawned
sleep 0.5
echo "load before the lab: $(uptime)"
broker0=$(cpu_ticks "$broker_pid")
prometheus0=$(cpu_ticks "$prometheus_pid")
start=$(date +%s.%N)
lab_pids=()
for i in $(seq 1 "$recorders"); do
  n=$(printf '%02d' "$i")
  mkdir -p "lab$n"
  (
    export XDG_DATA_HOME="$work/lab$n/data"
    cd "lab$n"
    TIMEFORMAT='%U %S %R'
    { time "$sim" --sim-serial "LAB$n" record --jsonl run.jsonl --until-duration "$lab_seconds" \
        --mqtt "$url" --metrics-listen "127.0.0.1:${ports[i - 1]}" 2> record.err; } 2> time.txt || echo $? > status.txt
  ) &
  lab_pids+=($!)
done
wait "${lab_pids[@]}" 2>/dev/null || true
end=$(date +%s.%N)
broker1=$(cpu_ticks "$broker_pid")
prometheus1=$(cpu_ticks "$prometheus_pid")
echo "load after the lab: $(uptime)"
sleep 1
bench_stop "$sub_pid"

# Prometheus' own account of its scrapes while every recorder was running:
# the raw samples of scrape_duration_seconds and up of each target, from the
# lab's start to a second before the first recorder could have ended.
at=$(awk -v a="$start" -v s="$lab_seconds" 'BEGIN { printf "%.3f", a + s - 1 }')
window=$((lab_seconds - 1))
query() {
  curl -sf -G "$prometheus_api/api/v1/query" --data-urlencode "query=$1" --data-urlencode "time=$at"
}
query "scrape_duration_seconds{job=\"lab\"}[${window}s]" > durations.json
query "up{job=\"lab\"}[${window}s]" > up.json
bench_stop "$prometheus_pid"

hz=$(getconf CLK_TCK)
wall=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
records=$(cat lab*/run.jsonl | wc -l)
received=$(wc -l < states.txt)
statuses=(lab*/status.txt)
[ -e "${statuses[0]}" ] && failed=${#statuses[@]} || failed=0
dropped=$(cat lab*/record.err | { grep -o ': [0-9]* of [0-9]* records were not sent' || true; } | awk '{ s += $2 } END { print s + 0 }')
cat lab*/time.txt | awk -v n="$recorders" -v s="$lab_seconds" -v recs="$records" -v got="$received" -v failed="$failed" \
    -v dropped="$dropped" -v bt="$((broker1 - broker0))" -v pt="$((prometheus1 - prometheus0))" -v hz="$hz" -v wall="$wall" '
  { cpu += ($1 + $2) / $3 * 100; if (($1 + $2) / $3 * 100 > worst) worst = ($1 + $2) / $3 * 100 }
  END {
    printf "lab: %d recorders (--mqtt, --metrics-listen) for %d s, one broker, one Prometheus; %d exited with an error\n", n, s, failed
    printf "lab: CPU per recorder %.3f %% of one core (mean), %.3f %% (worst)\n", cpu / n, worst
    printf "lab: broker CPU %.2f %% of one core; %.1f messages/s of state at the broker\n", bt / hz / wall * 100, got / wall
    printf "lab: %d records in the recorders files, %d state messages received, lost %d (dropped by the recorders: %d)\n",
           recs, got, recs - got, dropped
    printf "lab: Prometheus CPU %.2f %% of one core\n", pt / hz / wall * 100
  }'
python3 - "$recorders" "$scrape_interval" durations.json up.json "$start" <<'PY'
import json, sys
targets, interval, start = int(sys.argv[1]), sys.argv[2], float(sys.argv[5])
def series(path):
    data = json.load(open(path))["data"]["result"]
    return {r["metric"]["instance"]: {float(t): float(v) for t, v in r["values"]} for r in data}
durations, up = series(sys.argv[3]), series(sys.argv[4])
ok, failed, up_at_end, firsts = [], 0, 0, []
for instance, ups in up.items():
    times = sorted(ups)
    first = next((t for t in times if ups[t] == 1), None)
    if first is None:
        continue
    firsts.append(first - start)
    for t in times:
        if t < first:
            continue
        if ups[t] == 1:
            ok.append(durations[instance][t] * 1000)
        else:
            failed += 1
    up_at_end += ups[times[-1]] == 1
ok.sort()
if ok:
    print("lab: Prometheus scraping every %s: %d of %d targets up at the end, %d ever up; %d scrapes, %d failed after "
          "the target was first up (%.1f s after the lab began, the last %.1f s); scrape duration mean %.2f ms, "
          "median %.2f ms, 99th percentile %.2f ms, max %.2f ms"
          % (interval, up_at_end, targets, len(firsts), len(ok), failed, sum(firsts) / len(firsts), max(firsts),
             sum(ok) / len(ok), ok[len(ok) // 2], ok[min(len(ok) - 1, int(len(ok) * 0.99))], ok[-1]))
else:
    print("lab: Prometheus scraping every %s: no target was ever up" % interval)
PY
