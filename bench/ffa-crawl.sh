#!/usr/bin/env bash
# One crawl of about N FFA pages served by target-sim (its generated pages
# link on to pages 2N+1 and 2N+2), run by linkbeacon-cli ffa. Prints the
# wall time, the time from the first page to the end, pages per second over
# that stretch and peak resident memory. Usage: bench/ffa-crawl.sh [BUILD_DIR] [N]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/normal}"
n="${2:-500}"
sim="$(realpath "$build/tools/target-sim/target-sim")"
cli="$(realpath "$build/linkbeacon-cli")"
work=$(mktemp -d)
trap 'kill $simpid 2>/dev/null || true; rm -rf "$work"' EXIT

"$sim" --port 0 --ffa-pages "$n" >"$work/sim.out" 2>/dev/null &
simpid=$!
for _ in $(seq 50); do [[ -s "$work/sim.out" ]] && break; sleep 0.1; done
port=$(head -1 "$work/sim.out")

cd "$work"
start=$(date +%s.%N)
/usr/bin/time -f '%M %U %S' -o "$work/rss" stdbuf -oL "$cli" ffa --search-base "http://127.0.0.1:$port/altavista" \
  --main bench --and1 free --and2 links --and3 ffa --no-engine-contact list.hlx |
  python3 -u -c 'import sys, time
for line in iter(sys.stdin.readline, ""): sys.stdout.write("%.6f %s" % (time.time(), line))' >"$work/out"
end=$(date +%s.%N)
first=$(grep -m1 ' Crawling Url: http' "$work/out" | cut -d' ' -f1)
pages=$(grep -c ' Crawling Url: http' "$work/out" || true)
tail -1 "$work/out" | cut -d' ' -f2-
awk -v s="$start" -v e="$end" -v f="$first" -v p="$pages" -v rss="$(cut -d' ' -f1 "$work/rss")" -v cpu="$(cut -d' ' -f2- "$work/rss")" 'BEGIN {
  printf "pages fetched: %d\nwall time: %.2f s\nfirst page to end: %.2f s, %.0f pages/s\npeak RSS: %.1f MB\ncpu user/sys: %s s\n",
         p, e - s, e - f, p / (e - f), rss / 1024, cpu }'
