#!/bin/sh
# The site audit on a generated site of 10,000 pages served by target-sim:
# ours at 4 and 16 requests in flight, against linkchecker and
# wget --spider -r on the same site (wall time, pages per second, peak
# memory), and ours over https for the cost of TLS.
#   bench/audit.sh [BUILD_DIR]   (default build/normal)
# linkchecker and wget come from Debian; as root the script installs them
# when they are missing (apt-get install linkchecker wget), otherwise it
# skips the peer that is not there.
set -eu
BUILD=${1:-build/normal}
PAGES=${PAGES:-10000}
SIM="$BUILD/tools/target-sim/target-sim"
CLI="$BUILD/linkbeacon-cli"
for f in "$SIM" "$CLI"; do
    [ -x "$f" ] || { echo "missing $f (build target-sim and linkbeacon-cli first)" >&2; exit 1; }
done
CLI=$(readlink -f "$CLI")
[ -x /usr/bin/time ] || { echo "/usr/bin/time not found (apt-get install time)" >&2; exit 1; }
if [ "$(id -u)" = 0 ] && { ! command -v linkchecker >/dev/null || ! command -v wget >/dev/null; }; then
    apt-get install -y -q linkchecker wget >/dev/null 2>&1 ||
        { apt-get update -q >/dev/null 2>&1 && apt-get install -y -q linkchecker wget >/dev/null 2>&1; } ||
        echo "could not install linkchecker and wget; those peers are skipped" >&2
fi

WORK=$(mktemp -d)
SIM_PID=
cleanup() {
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM
: >"$WORK/sim.out"
"$SIM" --port 0 --tls-port 0 --cert-out "$WORK/cert.pem" >"$WORK/sim.out" &
SIM_PID=$!
i=0
while [ "$(wc -l <"$WORK/sim.out")" -lt 2 ] && [ $i -lt 50 ]; do
    sleep 0.1
    i=$((i + 1))
done
PORT=$(sed -n 1p "$WORK/sim.out")
TLS_PORT=$(sed -n 2p "$WORK/sim.out")
[ -n "$TLS_PORT" ] || { echo "target-sim did not start" >&2; exit 1; }
# The audit trusts target-sim's certificate through the program folder's settings.
printf '[TLS]\r\nCAFile=%s\r\n' "$WORK/cert.pem" >"$WORK/zkt.ini"
SITE="http://127.0.0.1:$PORT/site/gen/$PAGES/"
TLS_SITE="https://127.0.0.1:$TLS_PORT/site/gen/$PAGES/"
now() { date +%s.%N; }

# run NAME COMMAND...: wall time and peak memory of one run, in $WORK.
run() {
    name=$1
    shift
    start=$(now)
    (cd "$WORK" && /usr/bin/time -v "$@" >"$WORK/$name.out" 2>"$WORK/$name.time") || true
    end=$(now)
    rss=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$WORK/$name.time")
    echo "$name $start $end $rss" >>"$WORK/results"
}

run ours-4 "$CLI" audit --in-flight 4 --max-pages "$PAGES" "$SITE"
run ours-16 "$CLI" audit --in-flight 16 --max-pages "$PAGES" "$SITE"
run ours-https-16 "$CLI" audit --in-flight 16 --max-pages "$PAGES" "$TLS_SITE"
if command -v linkchecker >/dev/null; then
    run linkchecker-16 linkchecker --threads 16 --no-status -o none "$SITE"
fi
if command -v wget >/dev/null; then
    run wget-spider wget --spider -r -l inf -nd -q -P "$WORK/wget" "$SITE"
fi

echo "site: $PAGES generated pages (target-sim /site/gen/$PAGES/)"
for name in ours-4 ours-16 ours-https-16; do
    tail -1 "$WORK/$name.out" | sed "s/^/  $name: /"
done
awk -v n="$PAGES" '{
    wall = $3 - $2
    printf "  %-15s %8.2f s  %7.0f pages/s  peak %7.1f MB\n", $1, wall, n / wall, $4 / 1024
}' "$WORK/results"
