#!/usr/bin/env bash
# Soak of the submission run: N engines (default 10,000) at speed 300 against one
# local target-sim, a fifth of them faulty, run once by `linkbeacon-cli submit` and
# once in the main window (offscreen, the "Step3 Submit" page shown). Checks that
# each run counts every engine once (Successful + Failed = N), writes exactly one
# report line per engine with its own name and the result the judging gives, that
# both runs write the same lines, that the silent targets are ended by the
# watchdog, and that peak RSS stays below 80 MB and does not grow towards the end
# of the run; samples VmRSS from /proc twice a second and prints the curve.
# Before that, a run of unresolvable hosts alone shows that a failed name lookup
# ends a request at once (no name server is reachable in the isolated network).
# Usage: bench/soak.sh [BUILD_DIR] [N]
#
# Faulty engines (every fifth), by turns: never answers (one turn in ten of the
# first kind, the other turns a refused port), closes at once, closes in the
# header, garbage status line, a header line past 8192 bytes, a trickled answer,
# a 2 MB body, a redirect loop, a refused port, an unresolvable ".invalid" host.
# The silent ones are left to the watchdog (60 one-second ticks, one per tick).
#
# The runs take place in a private network namespace with only loopback up when
# the machine allows one (unshare -rn), as the tests do.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -z ${SOAK_NETNS:-} ]]; then
  ip_cmd="$(command -v ip || echo /usr/sbin/ip)"
  if unshare -rn "$ip_cmd" link set lo up 2>/dev/null; then
    export SOAK_NETNS="loopback only"
    exec unshare -rn sh -c "\"$ip_cmd\" link set lo up && exec \"\$@\"" soak bash "$0" "$@"
  fi
  export SOAK_NETNS="the machine's network (no private namespace allowed)"
fi
build="${1:-build/normal}"
n="${2:-10000}"
limit=900 # seconds a run may take before it counts as stalled
sim="$(realpath "$build/tools/target-sim/target-sim")"
cli="$(realpath "$build/linkbeacon-cli")"
# SOAK_WINDOW: another build of bench_window_run, to compare two windows.
win="$(realpath "${SOAK_WINDOW:-$build/bench/bench_window_run}")"
work=$(mktemp -d)
simpid=""
trap '[[ -n $simpid ]] && kill $simpid 2>/dev/null; rm -rf "$work"' EXIT
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

"$sim" --port 0 >"$work/sim.out" 2>/dev/null &
simpid=$!
for _ in $(seq 100); do [[ -s "$work/sim.out" ]] && break; sleep 0.1; done
port=$(head -1 "$work/sim.out")

# A program folder with one session "soak" and the engines of FILE.
make_folder() { # folder, plain engine file
  local folder=$1
  mkdir -p "$folder/data/session" "$folder/data/custom" "$folder/reports" "$folder/help"
  : >"$folder/data/exclude.tmp"
  : >"$folder/kwnlogo.bmp"
  : >"$folder/kwnico.ico"
  printf '[Session]\r\nCount=1\r\n[List]\r\n0=soak\r\n' >"$folder/data/session/session.hlx"
  printf '[soak]\r\nurl=http://www.example.com/\r\ntitle=Example Widgets\r\nemail=owner@example.com\r\ndescription=Hand made widgets\r\nname=Ann\r\n' \
    >"$folder/data/session/soak.hlx"
  "$cli" cipher encode "$2" "$folder/data/data.hlz" >/dev/null
}

# Engine lines and the exact result each must get: "OK" for success, the
# server's reason phrase, the client's own failure text, or the watchdog's.
refused="Connection refused (Error #10061)"
unresolved="can't resolve hostname to IP address"
awk -v n="$n" -v port="$port" -v plain="$work/engines.txt" -v expect="$work/expected.txt" \
    -v refused="$refused" -v unresolved="$unresolved" 'BEGIN {
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
      else if (k == 0 || k == 8)           { url = "http://127.0.0.1:1/refused"; want = refused }
      else if (k == 1) { url = base "/close"; want = "Connection failed" }
      else if (k == 2) { url = base "/close-in-header"; want = "Connection failed" }
      else if (k == 3) { url = base "/bad-status"; want = "Invalid status line" }
      else if (k == 4) { url = base "/long-header/9000"; want = "Connection failed" }
      else if (k == 5) { url = base "/trickle/5"; want = "OK" }
      else if (k == 6) { url = base "/bytes/2000000"; want = "OK" }
      else if (k == 7) { url = base "/loop"; want = "OK" }
      else             { url = "http://soak-" i ".invalid/submit"; want = unresolved }
    }
    printf "%s=%s/|%s|title|url|email|description||||name||||||||||POST|||||||||||||||||\r\n", name, base, url > plain
    printf "%s\t%s\n", name, want > expect
  }
}'
sort -t $'\t' -k1,1 -o "$work/expected.txt" "$work/expected.txt"
folder="$work/folder"
make_folder "$folder" "$work/engines.txt"
hangs=$(grep -c $'\tRequest_Timeout$' "$work/expected.txt" || true)

# Runs a command in FOLDER, sampling its RSS (kB) twice a second into
# $work/LABEL.rss; a run past $limit seconds is killed and counts as stalled.
sampled() { # label, folder, command...
  local label=$1 dir=$2
  shift 2
  local t0 t1 pid start=$SECONDS
  t0=$(date +%s.%N)
  (cd "$dir" && exec "$@") >"$work/$label.out" 2>"$work/$label.err" &
  pid=$!
  : >"$work/$label.rss"
  while kill -0 "$pid" 2>/dev/null; do
    awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null >>"$work/$label.rss" || true
    # user + system time in clock ticks; the last sample is the run's CPU time
    awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$pid/stat" 2>/dev/null >"$work/$label.cpu" || true
    if ((SECONDS - start > limit)); then
      echo "$label: still running after $limit s, killed" | tee -a "$work/$label.err"
      kill "$pid" 2>/dev/null || true
    fi
    sleep 0.5
  done
  wait "$pid" || echo "$label: exit status $?"
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l >"$work/$label.t"
  cp "$dir/reports/soak.htm" "$work/$label.htm" 2>/dev/null || : >"$work/$label.htm"
}

# name<TAB>result of every engine line of a report, sorted by name.
report_lines() {
  tr -d '\r' <"$1" | sed -n 's/^<br>.*: \(Engine [0-9]*\) Status: \(.*\)$/\1\t\2/p' | sort -t $'\t' -k1,1
}

verdict=0
fail() {
  echo "FAILED: $*"
  verdict=1
}

echo "$n engines at speed 300, target-sim on 127.0.0.1:$port; network: $SOAK_NETNS"

# Unresolvable hosts alone: every request must end at once with the lookup's
# failure, not wait for the watchdog.
m=$((n / 50 > 10 ? n / 50 : 10))
awk -v m="$m" 'BEGIN { for (i = 0; i < m; i++)
  printf "Engine %05d=http://x/|http://soak-%d.invalid/submit|title|url|email|description||||name||||||||||POST|||||||||||||||||\r\n", i, i }' \
  >"$work/unresolved.txt"
make_folder "$work/unresolved" "$work/unresolved.txt"
sampled unresolved "$work/unresolved" "$cli" submit --no-batch --speed 300 soak
secs=$(cat "$work/unresolved.t")
lookups=$(report_lines "$work/unresolved.htm" | cut -f2 | grep -cxF "$unresolved" || true)
printf 'unresolvable   %7.1f s  %d of %d requests ended with "%s"\n' "$secs" "$lookups" "$m" "$unresolved"
[[ $lookups -eq $m ]] || fail "unresolvable hosts: $lookups of $m ended with the lookup failure"
(($(echo "$secs < 20" | bc -l))) || fail "unresolvable hosts took $secs s: the lookups wait instead of failing"

check() { # label
  local label=$1 secs
  secs=$(cat "$work/$label.t")
  report_lines "$work/$label.htm" >"$work/$label.lines"
  local count unique ok failed wrong timeouts busy
  count=$(wc -l <"$work/$label.lines")
  unique=$(cut -f1 "$work/$label.lines" | sort -u | wc -l)
  ok=$(grep -o 'Successful: [0-9]*' "$work/$label.out" | tail -1 | cut -d' ' -f2 || true)
  failed=$(grep -o 'Failed: [0-9]*' "$work/$label.out" | tail -1 | cut -d' ' -f2 || true)
  # Results against the expected ones, engine by engine; an engine without a
  # line counts as wrong too.
  wrong=$(join -t $'\t' -a 1 -e '(no line)' -o 0,1.2,2.2 "$work/expected.txt" "$work/$label.lines" |
    awk -F'\t' '$2 != $3' | tee "$work/$label.wrong" | wc -l)
  timeouts=$(grep -c $'\tRequest_Timeout$' "$work/$label.lines" || true)
  # Busy phase: first report line to the last one not left to the watchdog.
  busy=$(tr -d '\r' <"$work/$label.htm" | grep '^<br>.*: Engine [0-9]* Status: ' |
    awk '{ match($0, /[0-9]+:[0-9][0-9]:[0-9][0-9]/); split(substr($0, RSTART, RLENGTH), t, ":")
           s = t[1] * 3600 + t[2] * 60 + t[3]
           if (NR == 1) first = s
           if ($0 !~ /Status: Request_Timeout$/) last = s }
         END { d = last - first; if (d < 0) d += 86400; print d }')
  printf '%-14s %7.1f s  %6.0f req/s  Successful %s + Failed %s = %s  report lines %s (%s engines)  wrong results %s  watchdog %s of %s\n' \
    "$label" "$secs" "$(echo "$n / $secs" | bc -l)" "${ok:-?}" "${failed:-?}" \
    "$(( ${ok:-0} + ${failed:-0} ))" "$count" "$unique" "$wrong" "$timeouts" "$hangs"
  printf '%-14s all but the %s silent targets done within %s s of the first result (%s req/s); CPU %.1f s\n' \
    "$label" "$hangs" "$busy" "$(( busy > 0 ? (n - hangs) / busy : n - hangs ))" \
    "$(echo "$(cat "$work/$label.cpu" 2>/dev/null || echo 0) / $(getconf CLK_TCK)" | bc -l)"
  # RSS curve: the run cut into eight stretches of time, peak of each, in MB.
  # Flat means: the last quarter (without its last 2 s, in which the window
  # shows the finished report) holds no more than the second eighth did.
  local curve
  curve=$(awk '{ v[NR] = $1 } END {
    line = ""; peak = 0; early = 0; late = 0; cut = NR - 4
    for (k = 0; k < 8; k++) { m = 0
      for (j = int(k * NR / 8) + 1; j <= int((k + 1) * NR / 8); j++) {
        if (v[j] > m) m = v[j]
        if (k == 1 && v[j] > early) early = v[j]
        if (k >= 6 && j <= cut && v[j] > late) late = v[j] }
      line = line sprintf(" %.1f", m / 1024)
      if (m > peak) peak = m }
    printf "%d %d %d %s", peak, early, late, line }' "$work/$label.rss")
  local peak early late points
  read -r peak early late points <<<"$curve"
  printf '%-14s RSS, %d samples every 0.5 s, peak per eighth of the run (MB):%s; peak %.1f MB\n' \
    "$label" "$(wc -l <"$work/$label.rss")" " $points" "$(echo "$peak / 1024" | bc -l)"
  printf '%-14s RSS of the first 5 s (MB):%s; of the last 2 s:%s\n' "$label" \
    "$(head -10 "$work/$label.rss" | awk '{ printf " %.1f", $1 / 1024 }')" \
    "$(tail -4 "$work/$label.rss" | awk '{ printf " %.1f", $1 / 1024 }')"
  [[ $(( ${ok:-0} + ${failed:-0} )) -eq $n ]] || fail "$label: Successful + Failed is not $n"
  [[ $count -eq $n && $unique -eq $n ]] || fail "$label: $count report lines for $unique engines"
  [[ $wrong -eq 0 ]] || { fail "$label: $wrong wrong results, for example:"; head -5 "$work/$label.wrong"; }
  [[ $timeouts -eq $hangs ]] || fail "$label: the watchdog ended $timeouts requests, not $hangs"
  [[ ${peak:-0} -lt 81920 ]] || fail "$label: peak RSS ${peak} kB"
  [[ ${late:-0} -le $(( ${early:-0} + 2048 )) ]] ||
    fail "$label: RSS grew during the run (${early} -> ${late} kB)"
}

sampled cli "$folder" "$cli" submit --no-batch --speed 300 soak
check cli
rm -f "$folder/reports/soak.htm" "$folder/reports/soak.csv"
sampled window "$folder" "$win" --folder "$folder" soak 300
check window
if cmp -s "$work/cli.lines" "$work/window.lines"; then
  echo "both runs wrote the same $(wc -l <"$work/cli.lines") report lines (name and result)"
else
  fail "the report lines of the two runs differ:"
  diff "$work/cli.lines" "$work/window.lines" | head -20
fi
echo "results: $(cut -f2 "$work/cli.lines" | sort | uniq -c | sort -rn | sed 's/^ *//' | paste -sd, - | sed 's/,/, /g')"
[[ $verdict -eq 0 ]] && echo "soak passed" || echo "soak FAILED"
exit $verdict
