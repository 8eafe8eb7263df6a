#!/bin/sh
# Compares our HTTP client with ab (apache2-utils) and curl on the same load:
# 5,000 GETs, 300 in flight, one local target-sim, one connection per request
# (HTTP/1.0). Prints wall time, requests/s and the throughput ratios, then
# shows that 10,000 requests in flight complete.
#   bench/http-vs-ab.sh [BUILD_DIR]   (default build/normal)
# N, PAR and URLPATH change the count, the parallelism and the path;
# BIG the in-flight count of the last run (0 skips it).
set -eu
BUILD=${1:-build/normal}
N=${N:-5000}
PAR=${PAR:-300}
BIG=${BIG:-10000}
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

run ours "$BENCH" --port "$PORT" --requests "$N" --parallel "$PAR" --path "$URLPATH"
run curl curl --http1.0 --parallel --parallel-max "$PAR" -s -K "$WORK/curl.cfg"
run ab ab -q -n "$N" -c "$PAR" "http://127.0.0.1:$PORT$URLPATH"

grep -q "failed: 0" "$WORK/ours.out" || { echo "bench_http saw failures" >&2; cat "$WORK/ours.out" >&2; exit 1; }
AB_FAILED=$(awk -F: '/^Failed requests/ {gsub(/ /, "", $2); print $2}' "$WORK/ab.out")
AB_NON2XX=$(awk -F: '/^Non-2xx responses/ {gsub(/ /, "", $2); print $2}' "$WORK/ab.out")

echo "requests: $N, in flight: $PAR, path: $URLPATH"
sed 's/^/  bench_http: /' "$WORK/ours.out"
echo "  ab: failed ${AB_FAILED:-?}, non-2xx ${AB_NON2XX:-0}"
awk -v n="$N" -v o="$(cat "$WORK/ours.wall")" -v c="$(cat "$WORK/curl.wall")" \
    -v a="$(cat "$WORK/ab.wall")" -v oc="$(cat "$WORK/ours.cpu")" \
    -v cc="$(cat "$WORK/curl.cpu")" -v ac="$(cat "$WORK/ab.cpu")" 'BEGIN {
    printf "  %-6s %8s %10s %8s\n", "", "wall s", "req/s", "CPU s"
    printf "  %-6s %8.3f %10.0f %8s\n", "ours", o, n / o, oc
    printf "  %-6s %8.3f %10.0f %8s\n", "curl", c, n / c, cc
    printf "  %-6s %8.3f %10.0f %8s\n", "ab", a, n / a, ac
    printf "  throughput ours/ab: %.2f   ours/curl: %.2f (above 1 = faster)\n", a / o, c / o
}'

if [ "$BIG" -gt 0 ]; then
    run big "$BENCH" --port "$PORT" --requests "$BIG" --parallel "$BIG" --path "$URLPATH"
    echo "requests: $BIG, all in flight at once"
    sed 's/^/  bench_http: /' "$WORK/big.out"
    awk -v n="$BIG" -v o="$(cat "$WORK/big.wall")" -v oc="$(cat "$WORK/big.cpu")" \
        'BEGIN { printf "  wall %.3f s, %.0f req/s, CPU %s s\n", o, n / o, oc }'
fi
