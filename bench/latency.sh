#!/usr/bin/env bash
# A submission run against slow targets: one session at speed S to N engines
# whose every answer ("302 Found") comes D ms after the request (target-sim
# --latency: fixed, or drawn per request from a range with a fixed seed), run
# by `linkbeacon-cli submit --no-batch --no-reports` and by the main window
# (offscreen, "Step3 Submit" shown, reports on). For each run it prints the
# wall time against the ideal ceil(N / in-flight) * D (D the mean for a
# range; in-flight = min(S, N)) and the goal 1.2 * ideal + 0.5 s, the
# requests the server held at once (the most, and the mean over the run),
# the peak RSS and the counters.
# Then black holes: 1,000 engines at speed 300, every fifth a listener whose
# accept queue is full (its connect never completes), the rest answering
# after 1 s; the run should end about 21 s after the last black hole started.
# Usage: bench/latency.sh [BUILD_DIR]
# LATENCY_CASES="N:S:D ..." replaces the cases (D is MS or MIN-MAX).
set -euo pipefail
cd "$(dirname "$0")/.."
# Loopback only, as the tests run, when the machine allows a namespace.
if [[ -z ${LATENCY_NETNS:-} ]]; then
  ip_cmd="$(command -v ip || echo /usr/sbin/ip)"
  if unshare -rn "$ip_cmd" link set lo up 2>/dev/null; then
    export LATENCY_NETNS="loopback only"
    exec unshare -rn sh -c "\"$ip_cmd\" link set lo up && exec \"\$@\"" latency bash "$0" "$@"
  fi
  export LATENCY_NETNS="the machine's network"
fi
build="${1:-build/normal}"
cases="${LATENCY_CASES:-100:25:1000 1000:300:1000 10000:300:200-2000}"
sim="$(realpath "$build/tools/target-sim/target-sim")"
cli="$(realpath "$build/linkbeacon-cli")"
win="$(realpath "$build/bench/bench_window_run")"
work=$(mktemp -d)
simpid=""
holepid=""
stop_sim() {
  [[ -n $simpid ]] && kill "$simpid" 2>/dev/null && wait "$simpid" 2>/dev/null
  simpid=""
}
trap 'stop_sim; [[ -n $holepid ]] && kill $holepid 2>/dev/null; rm -rf "$work"' EXIT
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

start_sim() { # latency
  : >"$work/sim.out"
  "$sim" --port 0 --latency "$1" --seed 1 >"$work/sim.out" 2>/dev/null &
  simpid=$!
  for _ in $(seq 100); do [[ -s "$work/sim.out" ]] && break; sleep 0.1; done
  port=$(head -1 "$work/sim.out")
}

# A program folder with one session "slow" and the engines of the plain file.
make_folder() { # folder, plain engine file
  local folder=$1
  rm -rf "$folder"
  mkdir -p "$folder/data/session" "$folder/data/custom" "$folder/reports" "$folder/help"
  : >"$folder/data/exclude.tmp"
  : >"$folder/kwnlogo.bmp"
  : >"$folder/kwnico.ico"
  printf '[Session]\r\nCount=1\r\n[List]\r\n0=slow\r\n' >"$folder/data/session/session.hlx"
  printf '[slow]\r\nurl=http://www.example.com/\r\ntitle=Example Widgets\r\n' \
    >"$folder/data/session/slow.hlx"
  "$cli" cipher encode "$2" "$folder/data/data.hlz" >/dev/null
}

engines() { # n, port, black-hole port (0: none) > plain engine file
  awk -v n="$1" -v port="$2" -v hole="$3" 'BEGIN {
    for (i = 0; i < n; i++) {
      if (hole > 0 && i % 5 == 0) cgi = "http://127.0.0.1:" hole "/add?e=" i
      else cgi = "http://127.0.0.1:" port "/status/302/Found?e=" i
      printf "Engine %05d=http://127.0.0.1:%s/|%s|title|url|||||||||||||||||POST|||||||||||||||||\r\n", i, port, cgi
    }
  }'
}

# Runs one front end in the folder; prints its line.
run_one() { # label, n, speed, latency, ideal seconds, command...
  local label=$1 n=$2 speed=$3 lat=$4 ideal=$5
  shift 5
  local rc=0 secs kib held counters
  (cd "$work/folder" && /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/out" 2>"$work/err") || rc=$?
  read -r secs kib <"$work/time" || true
  held=$(curl -s "http://127.0.0.1:$port/held" || echo '{}')
  counters=$(grep -Eo '(Successful: [0-9]+).*(Failed: [0-9]+)' "$work/out" | tail -1 || true)
  local against="" # no ideal for the black holes
  if [[ $ideal != 0 ]]; then
    against=$(printf 'ideal %6.2f s  ratio %4.2f  goal %6.2f s  %s' "$ideal" \
      "$(echo "$secs / $ideal" | bc -l)" "$(echo "1.2 * $ideal + 0.5" | bc -l)" \
      "$(awk -v s="$secs" -v i="$ideal" 'BEGIN { print (s <= 1.2 * i + 0.5) ? "within" : "OVER  " }')")
  fi
  printf '%-6s N %5d  speed %3d  D %-10s  %7.2f s  %s  held peak %s mean %s  RSS %5.1f MB  exit %d  %s\n' \
    "$label" "$n" "$speed" "$lat" "$secs" "$against" \
    "$(echo "$held" | sed -n 's/.*"peak":\([0-9]*\).*/\1/p')" \
    "$(echo "$held" | sed -n 's/.*"mean":\([0-9.]*\).*/\1/p')" \
    "$(echo "$kib / 1024" | bc -l)" "$rc" "$counters"
}

echo "network: $LATENCY_NETNS"
for c in $cases; do
  IFS=: read -r n speed lat <<<"$c"
  if [[ $lat == *-* ]]; then mean=$(((${lat%-*} + ${lat#*-}) / 2)); else mean=$lat; fi
  inflight=$((speed < n ? speed : n))
  ideal=$(echo "$(((n + inflight - 1) / inflight)) * $mean / 1000" | bc -l)
  for front in cli window; do
    start_sim "$lat"
    engines "$n" "$port" 0 >"$work/engines.txt"
    make_folder "$work/folder" "$work/engines.txt"
    if [[ $front == cli ]]; then
      run_one cli "$n" "$speed" "$lat" "$ideal" "$cli" submit --no-batch --no-reports --speed "$speed" slow
    else
      run_one window "$n" "$speed" "$lat" "$ideal" "$win" --folder "$work/folder" slow "$speed"
    fi
    stop_sim
  done
done

# Black holes: a listener with a backlog of 0 whose one place is taken.
if command -v python3 >/dev/null; then
  python3 -c '
import socket, sys, time
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(0)
f = socket.create_connection(s.getsockname())
print(s.getsockname()[1], flush=True)
time.sleep(3600)' >"$work/hole.out" &
  holepid=$!
  for _ in $(seq 50); do [[ -s "$work/hole.out" ]] && break; sleep 0.1; done
  hole=$(head -1 "$work/hole.out")
  for front in cli window; do
    start_sim 1000
    engines 1000 "$port" "$hole" >"$work/engines.txt"
    make_folder "$work/folder" "$work/engines.txt"
    # The black holes take slots for 21 s each, so the live targets are
    # slowed; the run should end about 21 s after the last black hole started.
    if [[ $front == cli ]]; then
      run_one cli 1000 300 "1000+200bh" 0 "$cli" submit --no-batch --no-reports --speed 300 slow
    else
      run_one window 1000 300 "1000+200bh" 0 "$win" --folder "$work/folder" slow 300
    fi
    stop_sim
  done
fi
