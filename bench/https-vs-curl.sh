#!/bin/sh
# 5,000 https GETs with 300 in flight against target-sim's https port: our
# HTTP client against curl (wall time, requests per second, peak memory), and
# our client over plain http in the same run, for the cost of TLS.
#   bench/https-vs-curl.sh [BUILD_DIR]   (default build/normal)
set -eu
BUILD=${1:-build/normal}
N=${N:-5000}
PAR=${PAR:-300}
URLPATH=${URLPATH:-/status/200/OK}
. "$(dirname "$0")/http-common.sh"
[ -x /usr/bin/time ] || { echo "/usr/bin/time not found" >&2; exit 1; }
# A certificate made by target-sim at start-up, trusted by both clients.
start_sim 2 --tls-port 0 --cert-out "$WORK/cert.pem"
curl_urls "https://127.0.0.1:$TLS_PORT"
run() {
    name=$1
    shift
    start=$(now)
    /usr/bin/time -v "$@" >"$WORK/$name.out" 2>"$WORK/$name.time"
    end=$(now)
    awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' \
        "$WORK/$name.time" >"$WORK/$name.rss"
    echo "$start $end" | awk '{printf "%.3f\n", $2 - $1}' >"$WORK/$name.wall"
}

run http "$BENCH" --port "$PORT" --requests "$N" --parallel "$PAR" --path "$URLPATH"
run ours "$BENCH" --https --cacert "$WORK/cert.pem" --port "$TLS_PORT" --requests "$N" \
    --parallel "$PAR" --path "$URLPATH"
run curl curl --http1.0 --parallel --parallel-max "$PAR" -s --cacert "$WORK/cert.pem" \
    -K "$WORK/curl.cfg"

echo "requests: $N, in flight: $PAR, path: $URLPATH"
sed 's/^/  bench_http http:  /' "$WORK/http.out"
sed 's/^/  bench_http https: /' "$WORK/ours.out"
awk -v n="$N" -v h="$(cat "$WORK/http.wall")" -v o="$(cat "$WORK/ours.wall")" \
    -v c="$(cat "$WORK/curl.wall")" -v hm="$(cat "$WORK/http.rss")" \
    -v om="$(cat "$WORK/ours.rss")" -v cm="$(cat "$WORK/curl.rss")" 'BEGIN {
    printf "  ours http:  %.3f s (%.0f req/s), peak %d KB\n", h, n / h, hm
    printf "  ours https: %.3f s (%.0f req/s), peak %d KB\n", o, n / o, om
    printf "  curl https: %.3f s (%.0f req/s), peak %d KB\n", c, n / c, cm
    printf "  https wall time ours/curl: %.2f, peak memory ours/curl: %.2f\n", o / c, om / cm
    printf "  cost of TLS for ours: %.2f times the http wall time\n", o / h
}'
