#!/bin/sh
# Compares our HTTP client with ab (apache2-utils) and curl on the same load:
# 5,000 GETs, 300 in flight, one local target-sim, one connection per request
# (HTTP/1.0). Prints wall time, requests/s and the throughput ratios, then
# shows that 10,000 requests in flight complete.
# target-sim is warmed up first (one ab pass, not counted); then ROUNDS rounds
# run ours and ab alternately, curl once, and the medians are compared, so no
# tool gains from going last against a warmer server.
#   bench/http-vs-ab.sh [BUILD_DIR]   (default build/normal)
# N, PAR and URLPATH change the count, the parallelism and the path;
# BIG the in-flight count of the last run (0 skips it).
set -eu
BUILD=${1:-build/normal}
N=${N:-5000}
PAR=${PAR:-300}
BIG=${BIG:-10000}
ROUNDS=${ROUNDS:-3}
URLPATH=${URLPATH:-/status/200/OK}
. "$(dirname "$0")/http-common.sh"
command -v ab >/dev/null || { echo "ab not found (apt-get install apache2-utils)" >&2; exit 1; }
# Every process started from here may keep BIG connections open.
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

start_sim 1
curl_urls "http://127.0.0.1:$PORT"

# run NAME CMD...: wall seconds (start to exit) into $WORK/NAME.wall and the
# CPU seconds it used (user + system, "-" without /usr/bin/time) into
# $WORK/NAME.cpu: on a shared machine the CPU time varies less than the wall time.
run() {
    name=$1
    shift
    if [ -x /usr/bin/time ]; then
        set -- /usr/bin/time -o "$WORK/$name.time" -f "%U %S" "$@"
    fi
    start=$(now)
    "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" || {
        echo "$name failed:" >&2
        cat "$WORK/$name.out" "$WORK/$name.err" >&2
        exit 1
    }
    end=$(now)
    echo "$start $end" | awk '{printf "%.3f\n", $2 - $1}' >"$WORK/$name.wall"
    if [ -s "$WORK/$name.time" ]; then
        tail -n 1 "$WORK/$name.time" | awk '{printf "%.2f\n", $1 + $2}' >"$WORK/$name.cpu"
    else
        echo - >"$WORK/$name.cpu"
    fi
}

# Warm-up: the server's first thousands of connections cost it more.
ab -q -n "$N" -c "$PAR" "http://127.0.0.1:$PORT$URLPATH" >/dev/null 2>&1 || true

# median FILE...: the middle value of the one-number files given
median() { cat "$@" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

r=1
while [ $r -le "$ROUNDS" ]; do
    run "ours.$r" "$BENCH" --port "$PORT" --requests "$N" --parallel "$PAR" --path "$URLPATH"
    grep -q "failed: 0" "$WORK/ours.$r.out" || { echo "bench_http saw failures" >&2; cat "$WORK/ours.$r.out" >&2; exit 1; }
    awk '/requests\/s:/ {for (i = 1; i < NF; i++) if ($i == "requests/s:") print $(i + 1)}' "$WORK/ours.$r.out" >"$WORK/ours.$r.rps"
    run "ab.$r" ab -n "$N" -c "$PAR" "http://127.0.0.1:$PORT$URLPATH"
    awk -F: '/^Requests per second/ {split($2, v, " "); print v[1]}' "$WORK/ab.$r.out" >"$WORK/ab.$r.rps"
    [ $r -eq 1 ] && run curl curl --http1.0 --parallel --parallel-max "$PAR" -s -K "$WORK/curl.cfg"
    r=$((r + 1))
done

AB_FAILED=$(awk -F: '/^Failed requests/ {gsub(/ /, "", $2); print $2}' "$WORK/ab.1.out")
AB_NON2XX=$(awk -F: '/^Non-2xx responses/ {gsub(/ /, "", $2); print $2}' "$WORK/ab.1.out")

echo "requests: $N, in flight: $PAR, path: $URLPATH, rounds: $ROUNDS (medians)"
sed 's/^/  bench_http: /' "$WORK/ours.1.out"
echo "  ab: failed ${AB_FAILED:-?}, non-2xx ${AB_NON2XX:-0}"
awk -v n="$N" -v o="$(median "$WORK"/ours.*.wall)" -v c="$(cat "$WORK/curl.wall")" \
    -v a="$(median "$WORK"/ab.*.wall)" -v oc="$(median "$WORK"/ours.*.cpu)" \
    -v cc="$(cat "$WORK/curl.cpu")" -v ac="$(median "$WORK"/ab.*.cpu)" 'BEGIN {
    printf "  %-6s %8s %10s %8s\n", "", "wall s", "req/s", "CPU s"
    printf "  %-6s %8.3f %10.0f %8s\n", "ours", o, n / o, oc
    printf "  %-6s %8.3f %10.0f %8s\n", "curl", c, n / c, cc
    printf "  %-6s %8.3f %10.0f %8s\n", "ab", a, n / a, ac
    printf "  throughput ours/ab: %.2f   ours/curl: %.2f (above 1 = faster)\n", a / o, c / o
}'
# The same comparison on each tool's own clock (first connect to last answer),
# which leaves out process start-up: Qt's takes a few milliseconds, ab's none.
awk -v o="$(median "$WORK"/ours.*.rps)" -v a="$(median "$WORK"/ab.*.rps)" 'BEGIN {
    if (o > 0 && a > 0)
        printf "  own clocks: ours %.0f req/s, ab %.0f req/s, ours/ab: %.2f\n", o, a, o / a
}'
# On a shared machine both tools speed up and slow down together: the ratio
# within each round (ours, then ab at once) drifts less than either median.
r=1
while [ $r -le "$ROUNDS" ]; do
    echo "$(cat "$WORK/ab.$r.wall") $(cat "$WORK/ours.$r.wall")" | awk '{printf "%.4f\n", $1 / $2}' >"$WORK/ratio.$r"
    r=$((r + 1))
done
awk -v m="$(median "$WORK"/ratio.*)" -v lo="$(sort -n "$WORK"/ratio.* | head -n 1)" \
    -v hi="$(sort -n "$WORK"/ratio.* | tail -n 1)" -v k="$ROUNDS" \
    'BEGIN { printf "  same-round ours/ab: median %.2f of %d rounds (%.2f to %.2f)\n", m, k, lo, hi }'

if [ "$BIG" -gt 0 ]; then
    run big "$BENCH" --port "$PORT" --requests "$BIG" --parallel "$BIG" --path "$URLPATH"
    echo "requests: $BIG, all in flight at once"
    sed 's/^/  bench_http: /' "$WORK/big.out"
    awk -v n="$BIG" -v o="$(cat "$WORK/big.wall")" -v oc="$(cat "$WORK/big.cpu")" \
        'BEGIN { printf "  wall %.3f s, %.0f req/s, CPU %s s\n", o, n / o, oc }'
fi
