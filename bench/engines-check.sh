#!/usr/bin/env bash
# The engine health check of N engines (default 10,000) at speed 300 against
# target-sim --latency 200-2000 (every answer 0.2-2 s late, drawn per request
# from a fixed seed), 30 % of the engines dead: one in ten on a port nobody
# listens on (refused), two in ten on a name under ".invalid" (no such host).
# The live ones fetch the demo page whose form posts to their CGI URL.
# Prints wall time against the ideal ceil(live / 300) * 1.1 s (1.1 s the
# mean latency; the dead cost next to nothing), peak RSS, and the counts
# line, which must read 7N/10 alive and 3N/10 dead.
#   bench/engines-check.sh [BUILD_DIR] [N] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
# Loopback only, as the tests run, when the machine allows a namespace.
if [[ -z ${CHECK_NETNS:-} ]]; then
  ip_cmd="$(command -v ip || echo /usr/sbin/ip)"
  if unshare -rn "$ip_cmd" link set lo up 2>/dev/null; then
    export CHECK_NETNS=1
    exec unshare -rn sh -c "\"$ip_cmd\" link set lo up && exec \"\$@\"" check bash "$0" "$@"
  fi
fi
build="${1:-build/normal}"
n="${2:-10000}"
runs="${3:-3}"
sim="$(realpath "$build/tools/target-sim/target-sim")"
cli="$(realpath "$build/linkbeacon-cli")"
work=$(mktemp -d)
simpid=""
trap '[[ -n "$simpid" ]] && kill "$simpid" 2>/dev/null; rm -rf "$work"' EXIT
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

"$sim" --port 0 --latency 200-2000 --seed 1 >"$work/sim.out" 2>/dev/null &
simpid=$!
for _ in $(seq 50); do [[ -s "$work/sim.out" ]] && break; sleep 0.1; done
port=$(head -1 "$work/sim.out")

folder="$work/folder"
mkdir -p "$folder/data/custom" "$folder/reports"
: >"$folder/data/exclude.tmp"
db="$folder/data/custom/large.hlx"
awk -v n="$n" -v port="$port" 'BEGIN {
  host = "http://127.0.0.1:" port
  for (i = 1; i <= n; i++) {
    if (i % 10 == 0) site = "http://127.0.0.1:1/links.htm?e=" i
    else if (i % 10 == 3 || i % 10 == 7) site = "http://gone-" i ".invalid/links.htm"
    else site = host "/demo/ffa/acorn/links.htm?e=" i
    printf "Engine %05d=%s|%s/demo/ffa/acorn/ffa.cgi|title|url|email||||name|||||||||||POST|||||||||||||||||\r\n", i, site, host
  }
}' >"$db"
live=$((n - 3 * n / 10))
ideal=$(echo "r = ($live + 299) / 300; scale = 2; r * 1.1" | bc)

echo "$n engines ($live live, 0.2-2 s each; 30 % dead), speed 300, target-sim on 127.0.0.1:$port"
echo "ideal: $ideal s"
for r in $(seq "$runs"); do
  rc=0
  (cd "$folder" && /usr/bin/time -f "%e %M" -o "$work/time" \
    "$cli" engines check --speed 300 --database "$db" >"$work/out" 2>"$work/err") || rc=$?
  read -r secs kib <"$work/time" || true
  printf 'run %d: exit %d  %6.2f s  peak RSS %6.1f MB  %s\n' "$r" "$rc" "$secs" \
    "$(echo "$kib / 1024" | bc -l)" "$(tail -1 "$work/out")"
done
