# Shell helpers of the benches that run `ombrel-sim record` with its live
# outputs (bench_metrics.sh, bench_mqtt.sh); sourced, not run.
#
# bench_begin: a work folder of its own (HOME, XDG folders, working
# directory), removed at exit with every process started through
# bench_spawn stopped.

bench_pids=()

bench_cleanup() {
  local pid
  for pid in "${bench_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${bench_pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  bench_pids=()
  jobs -p | xargs -r kill 2>/dev/null || true
  [ -n "${work:-}" ] && rm -rf "$work"
}

bench_begin() {
  work=$(mktemp -d)
  trap bench_cleanup EXIT
  trap 'exit 130' INT TERM
  cd "$work"
  chmod 0755 "$work"
  # The runs recorded here go into a run journal of their own, never the user's.
  export HOME="$work" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
    XDG_CACHE_HOME="$work/cache" XDG_STATE_HOME="$work/state" ASAN_OPTIONS=detect_leaks=0
  unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM OMBREL_MQTT_PASSWORD
}

# bench_spawn LOG COMMAND…: starts COMMAND in the background, its output into
# LOG; its process id in $spawned, stopped at exit.
bench_spawn() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  spawned=$!
  bench_pids+=("$spawned")
}

# bench_stop PID: stops a process started by bench_spawn and waits for it.
bench_stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
  local kept=() pid
  for pid in "${bench_pids[@]}"; do
    [ "$pid" = "$1" ] || kept+=("$pid")
  done
  bench_pids=("${kept[@]}")
}

# free_ports [N]: N distinct loopback ports that were free (all held at once
# while they are picked, so none is given twice).
free_ports() {
  python3 - "${1:-1}" <<'PY'
import socket, sys
held = []
for _ in range(int(sys.argv[1])):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    held.append(s)
print("\n".join(str(s.getsockname()[1]) for s in held))
PY
}
free_port() { free_ports 1; }

# hold_connections PORT N: N clients that hold connections to the loopback
# PORT and never finish a request (every other one sends nothing, the others
# send a request a byte every 100 ms), each opened again as soon as the
# server closes it; started with bench_spawn (its process id in $spawned).
hold_connections() {
  bench_spawn held.txt python3 -c "$hold_connections_py" "$1" "$2"
}
hold_connections_py=$(cat <<'PY'
import socket, sys, time
port, count = int(sys.argv[1]), int(sys.argv[2])
start = b"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: "
def connect():
    s = socket.socket()
    s.setblocking(False)
    s.connect_ex(("127.0.0.1", port))
    return s
held = [[connect(), 0] for _ in range(count)]
while True:
    time.sleep(0.1)
    for i, (s, sent) in enumerate(held):
        try:
            closed = s.recv(4096) == b""
        except BlockingIOError:
            closed = False
        except OSError:
            closed = True
        if not closed and i % 2:
            try:
                held[i][1] += s.send(start[sent:sent + 1] or b"x")
            except BlockingIOError:
                pass
            except OSError:
                closed = True
        if closed:
            s.close()
            held[i] = [connect(), 0]
PY
)

# cpu_ticks PID: user + system clock ticks a process has used so far.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# start_mosquitto: a broker on a free loopback port; sets broker_pid and
# broker_url.
start_mosquitto() {
  local port
  port=$(free_port)
  cat >mosquitto.conf <<CONF
listener $port 127.0.0.1
allow_anonymous true
persistence false
max_queued_messages 100000
CONF
  bench_spawn broker.log mosquitto -c mosquitto.conf
  broker_pid=$spawned
  for _ in $(seq 50); do grep -q ' running' broker.log && break; sleep 0.1; done
  broker_url="mqtt://127.0.0.1:$port"
  broker_port=$port
}

# start_prometheus INTERVAL TARGET…: a Prometheus server of its own (config
# and data in the work folder, web on a free loopback port) scraping the
# targets as job "lab" every INTERVAL; sets prometheus_pid and prometheus_api.
start_prometheus() {
  local interval=$1 port
  shift
  port=$(free_port)
  mkdir -p prometheus
  {
    printf 'global:\n  scrape_interval: %s\n  scrape_timeout: %s\n' "$interval" "$interval"
    printf 'scrape_configs:\n  - job_name: lab\n    static_configs:\n      - targets:\n'
    local target
    for target in "$@"; do printf "          - '%s'\n" "$target"; done
  } >prometheus/prometheus.yml
  bench_spawn prometheus/log.txt prometheus --config.file="$work/prometheus/prometheus.yml" \
    --storage.tsdb.path="$work/prometheus/data" --web.listen-address="127.0.0.1:$port" --log.level=warn
  prometheus_pid=$spawned
  prometheus_api="http://127.0.0.1:$port"
  for _ in $(seq 300); do
    curl -sf -o /dev/null "$prometheus_api/-/ready" && return 0
    kill -0 "$prometheus_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "prometheus did not start:" >&2
  cat prometheus/log.txt >&2
  return 1
}

# measure LABEL RATE SCRAPE [record options…]: one run of `record` (meter at
# RATE reports a second) for $seconds, and its CPU use (% of one core, user +
# system over wall time), against $baseline when that is set; with SCRAPE=1
# the endpoint named on standard error is fetched once a second. Sets
# cpu_of_last and records_of_last. With $held above 0, that many connections
# are held to the endpoint (hold_connections) while it is fetched.
baseline=0
held=0
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
    local holder=
    if [ "$held" -gt 0 ]; then
      local port=${url##*:}
      hold_connections "${port%%/*}" "$held"
      holder=$spawned
      sleep 2
    fi
    while kill -0 "$job" 2>/dev/null; do
      curl -s -m 10 -o /dev/null -w '%{time_total}\n' "$url" >>scrapes.txt || true
      sleep 1
    done
    if [ -n "$holder" ]; then bench_stop "$holder"; fi
  fi
  wait "$job"
  records_of_last=$(wc -l <run.jsonl)
  awk -v t="$(cat times.txt)" -v label="$label" -v records="$records_of_last" -v base="$baseline" 'BEGIN {
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
  cpu_of_run_last=$(awk -v t="$(cat times.txt)" -v s="$seconds" 'BEGIN { split(t, f, " "); printf "%.6f", (f[1] + f[2]) / s * 100 }')
}
