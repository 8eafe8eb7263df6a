#!/usr/bin/env bash
# One session submitted to N POST engines at speed 300 by linkbeacon-cli,
# against curl sending the same N form posts with 300 in parallel, both to
# the same local target-sim. Usage: bench/submit-vs-curl.sh [BUILD_DIR] [N]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/normal}"
n="${2:-5000}"
sim="$(realpath "$build/tools/target-sim/target-sim")"
cli="$(realpath "$build/linkbeacon-cli")"
work=$(mktemp -d)
trap 'kill $simpid 2>/dev/null || true; rm -rf "$work"' EXIT

"$sim" --port 0 >"$work/sim.out" 2>/dev/null &
simpid=$!
for _ in $(seq 50); do [[ -s "$work/sim.out" ]] && break; sleep 0.1; done
port=$(head -1 "$work/sim.out")

# A program folder holding one session and a custom database of N POST engines.
folder="$work/folder"
mkdir -p "$folder/data/session" "$folder/data/custom" "$folder/reports"
: >"$folder/data/exclude.tmp"
: >"$folder/data/data.hlz"
printf '[Session]\r\nCount=1\r\n[List]\r\n0=bench\r\n' >"$folder/data/session/session.hlx"
printf '[bench]\r\nurl=http://www.example.com/\r\ntitle=Example Widgets\r\nemail=owner@example.com\r\ndescription=Hand made widgets\r\nname=Ann\r\n' \
  >"$folder/data/session/bench.hlx"
db="$folder/data/custom/bench.hlx"
: >"$db"
curlcfg="$work/curl.cfg"
: >"$curlcfg"
body='&title=Example Widgets&url=http://www.example.com/&name=Ann&email=owner@example.com&description=Hand made widgets'
for i in $(seq -w 1 "$n"); do
  printf 'Engine %s=http://127.0.0.1:%s/|http://127.0.0.1:%s/status/302?e=%s|title|url|email|description||||name||||||||||POST|||||||||||||||||\r\n' \
    "$i" "$port" "$port" "$i" >>"$db"
  printf 'url = "http://127.0.0.1:%s/status/302?e=%s"\ndata = "%s"\noutput = "/dev/null"\n' \
    "$port" "$i" "$body" >>"$curlcfg"
done

measure() { # label, command...
  local label=$1; shift
  local t0 t1
  t0=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$work/mem" "$@" >"$work/$label.out" 2>"$work/err" || true
  t1=$(date +%s.%N)
  local secs; secs=$(echo "$t1 - $t0" | bc -l)
  printf '%-22s %6.2f s  %8.0f req/s  peak RSS %s KiB\n' "$label" "$secs" \
    "$(echo "$n / $secs" | bc -l)" "$(tail -1 "$work/mem")"
  echo "$secs" >"$work/$label.t"
}


echo "$n POST submissions, 300 in flight, target-sim on 127.0.0.1:$port"
(cd "$folder" && measure linkbeacon-cli "$cli" submit --no-reports --no-batch --speed 300 \
  --database "$db" bench)
measure curl curl --http1.0 --parallel --parallel-max 300 -s -K "$curlcfg"
grep "^Posting to" "$work/linkbeacon-cli.out" || true
echo "ratio curl/linkbeacon: $(echo "$(cat "$work/curl.t") / $(cat "$work/linkbeacon-cli.t")" | bc -l | cut -c1-5)"
