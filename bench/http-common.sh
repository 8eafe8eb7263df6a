# Shared by the http benchmark scripts (sourced, POSIX sh): the build's
# programs, one target-sim on free ports, the same URL list for curl.
# Expects BUILD, N and URLPATH set.
SIM="$BUILD/tools/target-sim/target-sim"
BENCH="$BUILD/bench/bench_http"
for f in "$SIM" "$BENCH"; do
    [ -x "$f" ] || { echo "missing $f (build target-sim and bench_http first)" >&2; exit 1; }
done
command -v curl >/dev/null || { echo "curl not found" >&2; exit 1; }

WORK=$(mktemp -d)
SIM_PID=
cleanup() {
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

# start_sim LINES ARGS...: target-sim with ARGS; PORT is its http port and,
# when it prints a second line (--tls-port), TLS_PORT its https port.
start_sim() {
    lines=$1
    shift
    : >"$WORK/sim.out" # there before the child opens it
    "$SIM" --port 0 "$@" >"$WORK/sim.out" &
    SIM_PID=$!
    i=0
    while [ "$(wc -l <"$WORK/sim.out")" -lt "$lines" ] && [ $i -lt 50 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    PORT=$(sed -n 1p "$WORK/sim.out")
    TLS_PORT=$(sed -n 2p "$WORK/sim.out")
    [ "$(wc -l <"$WORK/sim.out")" -ge "$lines" ] || { echo "target-sim did not start" >&2; exit 1; }
}

# curl_urls BASE: one URL per request into $WORK/curl.cfg, as the submission
# run makes them.
curl_urls() {
    i=0
    while [ $i -lt "$N" ]; do
        echo "url = \"$1$URLPATH?n=$i\""
        echo "output = \"/dev/null\""
        i=$((i + 1))
    done >"$WORK/curl.cfg"
}

now() { date +%s.%N; }
