#!/usr/bin/env bash
# Soak of the submission run: N engines (default 10,000) at speed 300 against one
# local target-sim, a fifth of them faulty, run once by `linkbeacon-cli submit` and
# once in the main window (offscreen). Checks that each run counts every engine
# once, writes exactly one report line per engine with the expected result, that
# both runs write the same lines, and that peak RSS stays below 80 MB; samples RSS
# from /proc twice a second and prints a summary of the curve.
# Usage: bench/soak.sh [BUILD_DIR] [N]
#
# Faulty engines (every fifth), by turns: never answers (one in ten of these
# turns; the others get a refused port), closes at once, closes in the header,
# garbage status line, a header line past 8192 bytes, a trickled answer, a 2 MB
# body, a redirect loop, a refused port, an unresolvable ".invalid" host. The
# silent ones are left to the watchdog (60 one-second ticks).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/normal}"
n="${2:-10000}"
sim="$(realpath "$build/tools/target-sim/target-sim")"
cli="$(realpath "$build/linkbeacon-cli")"
win="$(realpath "$build/bench/bench_window_run")"
work=$(mktemp -d)
simpid=""
trap '[[ -n $simpid ]] && kill $simpid 2>/dev/null; rm -rf "$work"' EXIT
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

"$sim" --port 0 >"$work/sim.out" 2>/dev/null &
simpid=$!
for _ in $(seq 50); do [[ -s "$work/sim.out" ]] && break; sleep 0.1; done
port=$(head -1 "$work/sim.out")

folder="$work/folder"
mkdir -p "$folder/data/session" "$folder/data/custom" "$folder/reports" "$folder/help"
: >"$folder/data/exclude.tmp"
: >"$folder/kwnlogo.bmp"
: >"$folder/kwnico.ico"
printf '[Session]\r\nCount=1\r\n[List]\r\n0=soak\r\n' >"$folder/data/session/session.hlx"
printf '[soak]\r\nurl=http://www.example.com/\r\ntitle=Example Widgets\r\nemail=owner@example.com\r\ndescription=Hand made widgets\r\nname=Ann\r\n' \
  >"$folder/data/session/soak.hlx"

# Engine lines and the result each must get: a status text, or "!OK" for the
# client's own failure text (anything but "OK").
awk -v n="$n" -v port="$port" -v plain="$work/engines.txt" -v expect="$work/expected.txt" 'BEGIN {
  base = "http://127.0.0.1:" port
  for (i = 0; i < n; i++) {
    name = sprintf("Engine %05d", i)
    if (i % 5 == 1)      { url = base "/status/302/Found"; want = "OK" }
    else if (i % 5 == 2) { url = base "/status/200/OK"; want = "OK" }
    else if (i % 5 == 3) { url = base "/status/404/Not%20Found"; want = "Not Found" }
    else if (i % 5 == 4) { url = base "/status/200/Ok"; want = "Ok" }
    else {
      k = int(i / 5) % 10
      if (k == 0 && int(i / 50) % 10 == 0) { url = base "/hang"; want = "Request_Timeout" }
      else if (k == 0 || k == 8)           { url = "http://127.0.0.1:1/refused"; want = "!OK" }
      else if (k == 1) { url = base "/close"; want = "!OK" }
      else if (k == 2) { url = base "/close-in-header"; want = "!OK" }
      else if (k == 3) { url = base "/bad-status"; want = "!OK" }
      else if (k == 4) { url = base "/long-header/9000"; want = "!OK" }
      else if (k == 5) { url = base "/trickle/5"; want = "OK" }
      else if (k == 6) { url = base "/bytes/2000000"; want = "OK" }
      else if (k == 7) { url = base "/loop"; want = "OK" }
      else             { url = "http://soak-" i ".invalid/submit"; want = "!OK" }
    }
    printf "%s=%s/|%s|title|url|email|description||||name||||||||||POST|||||||||||||||||\r\n", name, base, url > plain
    printf "%s\t%s\n", name, want > expect
  }
}'
"$cli" cipher encode "$work/engines.txt" "$folder/data/data.hlz" >/dev/null

# Runs a command in the folder, sampling its RSS (kB) twice a second into FILE.
sampled() { # label, command...
  local label=$1; shift
  local t0 t1 pid
  t0=$(date +%s.%N)
  (cd "$folder" && exec "$@") >"$work/$label.out" 2>"$work/$label.err" &
  pid=$!
  : >"$work/$label.rss"
  while kill -0 "$pid" 2>/dev/null; do
    awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null >>"$work/$label.rss" || true
    sleep 0.5
  done
  wait "$pid" || echo "$label: exit status $?"
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l >"$work/$label.t"
  cp "$folder/reports/soak.htm" "$work/$label.htm" 2>/dev/null || : >"$work/$label.htm"
}

# name<TAB>result of every engine report line of a report, in engine order.
report_lines() {
  tr -d '\r' <"$1" | sed -n 's/^<br>.*: \(Engine [0-9]*\) Status: \(.*\)$/\1\t\2/p' | sort
}

verdict=0
check() { # label
  local label=$1 secs peak
  secs=$(cat "$work/$label.t")
  report_lines "$work/$label.htm" >"$work/$label.lines"
  local count unique
  count=$(wc -l <"$work/$label.lines")
  unique=$(cut -f1 "$work/$label.lines" | sort -u | wc -l)
  local ok failed
  ok=$(grep -o 'Successful: [0-9]*' "$work/$label.out" | tail -1 | cut -d' ' -f2)
  failed=$(grep -o 'Failed: [0-9]*' "$work/$label.out" | tail -1 | cut -d' ' -f2)
  # Results against the expected ones, engine by engine.
  local wrong
  wrong=$(join -t $'\t' "$work/expected.txt" "$work/$label.lines" |
    awk -F'\t' '($2 == "!OK" && ($3 == "OK" || $3 == "")) || ($2 != "!OK" && $2 != $3)' | wc -l)
  peak=$(sort -n "$work/$label.rss" | tail -1)
  printf '%-14s %7.1f s  %6.0f req/s  Successful %s + Failed %s = %s  report lines %s (%s engines)  wrong results %s\n' \
    "$label" "$secs" "$(echo "$n / $secs" | bc -l)" "${ok:-?}" "${failed:-?}" \
    "$(( ${ok:-0} + ${failed:-0} ))" "$count" "$unique" "$wrong"
  # RSS curve: quartiles of the run by time, peak of each, in MB.
  awk -v label="$label" '{ v[NR] = $1 } END {
    q = int((NR + 3) / 4); line = ""
    for (k = 0; k < 4; k++) { m = 0
      for (j = k * q + 1; j <= (k + 1) * q && j <= NR; j++) if (v[j] > m) m = v[j]
      line = line sprintf(" %.1f", m / 1024) }
    printf "%-14s RSS samples %d, peak per quarter of the run (MB):%s\n", label, NR, line
  }' "$work/$label.rss"
  if [[ $(( ${ok:-0} + ${failed:-0} )) -ne $n || $count -ne $n || $unique -ne $n || $wrong -ne 0 ||
        ${peak:-0} -ge 81920 ]]; then
    echo "$label: FAILED"
    verdict=1
  fi
}

echo "$n engines at speed 300, target-sim on 127.0.0.1:$port"
sampled cli "$cli" submit --no-batch --speed 300 soak
check cli
rm -f "$folder/reports/soak.htm"
sampled window timeout 900 "$win" --folder "$folder" soak 300
check window
if cmp -s <(cut -f1,2 "$work/cli.lines") <(cut -f1,2 "$work/window.lines"); then
  echo "both runs wrote the same $(wc -l <"$work/cli.lines") report lines"
else
  echo "the report lines of the two runs differ:"
  diff <(cut -f1,2 "$work/cli.lines") <(cut -f1,2 "$work/window.lines") | head -20
  verdict=1
fi
echo "failure texts seen: $(cut -f2 "$work/cli.lines" | sort | uniq -c | sort -rn | tr -s ' ' | paste -sd, -)"
exit $verdict
