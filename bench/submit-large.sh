#!/usr/bin/env bash
# One session submitted by linkbeacon-cli to a custom database of N engines
# (default 10,000) at speed 300, one in five of them failing: every tenth
# engine posts to a port nobody listens on (127.0.0.1:1, refused), every
# tenth answers 404; the rest answer 302. Reports on, no batch pass.
# Prints wall time, peak RSS, exit status and the counters, which must read
# Posting to: N, Successful: 4N/5, Failed: N/5.
#   bench/submit-large.sh [BUILD_DIR] [N] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/normal}"
n="${2:-10000}"
runs="${3:-3}"
sim="$(realpath "$build/tools/target-sim/target-sim")"
cli="$(realpath "$build/linkbeacon-cli")"
work=$(mktemp -d)
simpid=""
trap '[[ -n "$simpid" ]] && kill "$simpid" 2>/dev/null; rm -rf "$work"' EXIT

"$sim" --port 0 >"$work/sim.out" 2>/dev/null &
simpid=$!
for _ in $(seq 50); do [[ -s "$work/sim.out" ]] && break; sleep 0.1; done
port=$(head -1 "$work/sim.out")

folder="$work/folder"
mkdir -p "$folder/data/session" "$folder/data/custom" "$folder/reports"
: >"$folder/data/exclude.tmp"
: >"$folder/data/data.hlz"
printf '[Session]\r\nCount=1\r\n[List]\r\n0=bench\r\n' >"$folder/data/session/session.hlx"
printf '[bench]\r\nurl=http://www.example.com/\r\ntitle=Example Widgets\r\nemail=owner@example.com\r\n' \
  >"$folder/data/session/bench.hlx"
db="$folder/data/custom/large.hlx"
awk -v n="$n" -v port="$port" 'BEGIN {
  for (i = 1; i <= n; i++) {
    if (i % 10 == 0) cgi = "http://127.0.0.1:1/refused?e=" i
    else if (i % 10 == 5) cgi = "http://127.0.0.1:" port "/status/404/Not%20Found?e=" i
    else cgi = "http://127.0.0.1:" port "/status/302?e=" i
    printf "Engine %05d=http://127.0.0.1:%s/|%s|title|url|email|||||||||||||||POST|||||||||||||||||\r\n", i, port, cgi
  }
}' >"$db"

echo "$n engines (20 % failing), speed 300, target-sim on 127.0.0.1:$port"
for r in $(seq "$runs"); do
  rc=0
  (cd "$folder" && /usr/bin/time -f "%e %M" -o "$work/time" \
    "$cli" submit --no-batch --speed 300 --database "$db" bench >"$work/out" 2>"$work/err") || rc=$?
  read -r secs kib <"$work/time" || true
  lines=$(grep -c ' Status: ' "$folder/reports/bench.htm" 2>/dev/null || echo 0)
  printf 'run %d: exit %d  %6.2f s  peak RSS %6.1f MB  %s  report lines %s\n' "$r" "$rc" "$secs" \
    "$(echo "$kib / 1024" | bc -l)" "$(grep '^Posting to' "$work/out" || echo 'no counters')" "$lines"
done
