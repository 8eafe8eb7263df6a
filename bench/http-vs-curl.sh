#!/bin/sh
# Compares our HTTP client with curl on the same 5,000 GETs, 300 in flight,
# against one local target-sim: wall time, peak memory and the ratio.
#   bench/http-vs-curl.sh [BUILD_DIR]   (default build/normal)
set -eu
BUILD=${1:-build/normal}
N=${N:-5000}
PAR=${PAR:-300}
URLPATH=${URLPATH:-/status/200/OK}
. "$(dirname "$0")/http-common.sh"
start_sim 1
curl_urls "http://127.0.0.1:$PORT"

# run NAME CMD...: wall seconds into $WORK/NAME.wall, peak KB into $WORK/NAME.rss
run() {
    name=$1
    shift
    start=$(now)
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -v "$@" >"$WORK/$name.out" 2>"$WORK/$name.time"
        awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' \
            "$WORK/$name.time" >"$WORK/$name.rss"
    else
        "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" &
        pid=$!
        peak=0
        while kill -0 $pid 2>/dev/null; do
            hwm=$(awk '/VmHWM/ {print $2}' /proc/$pid/status 2>/dev/null || echo 0)
            [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
            sleep 0.02
        done
        wait $pid
        echo "$peak" >"$WORK/$name.rss"
    fi
    end=$(now)
    echo "$start $end" | awk '{printf "%.3f\n", $2 - $1}' >"$WORK/$name.wall"
}

run ours "$BENCH" --port "$PORT" --requests "$N" --parallel "$PAR" --path "$URLPATH"
run curl curl --http1.0 --parallel --parallel-max "$PAR" -s -K "$WORK/curl.cfg"

OURS_WALL=$(cat "$WORK/ours.wall")
CURL_WALL=$(cat "$WORK/curl.wall")
OURS_RSS=$(cat "$WORK/ours.rss")
CURL_RSS=$(cat "$WORK/curl.rss")
echo "requests: $N, in flight: $PAR, path: $URLPATH"
sed 's/^/  bench_http: /' "$WORK/ours.out"
awk -v n="$N" -v o="$OURS_WALL" -v c="$CURL_WALL" -v om="$OURS_RSS" -v cm="$CURL_RSS" 'BEGIN {
    printf "  ours: %.3f s (%.0f req/s), peak %d KB\n", o, n / o, om
    printf "  curl: %.3f s (%.0f req/s), peak %d KB\n", c, n / c, cm
    printf "  wall time ratio ours/curl: %.2f (below 1 = faster than curl)\n", o / c
    printf "  peak memory ratio ours/curl: %.2f\n", om / cm
}'
