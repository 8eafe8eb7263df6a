#!/usr/bin/env bash
# Unpacking and enciphering a 50 MB update archive of engine files.
# Builds the archive with make-update-archive (25 engine files of 2 MB, all
# listed in un.pac), serves it with target-sim and runs, each under
# /usr/bin/time -v: `linkbeacon-cli update` (download, test, staged unpack,
# encipher, install), and `fetch`, `rar test` and `rar extract` alone on the
# same archive to show where the time goes.
# FILES and MB_PER_FILE in the environment change the size.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${BIN:-$root/build/normal}"
files="${FILES:-25}"
mb="${MB_PER_FILE:-2}"
tmp="$(mktemp -d)"
sim_pid=""
cleanup() {
  if [[ -n "$sim_pid" ]]; then kill "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT

mkdir -p "$tmp/src" "$tmp/pf/data"
python3 - "$tmp/src" "$files" "$mb" <<'PY'
import sys
out, files, mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for f in range(files):
    with open(f"{out}/e{f:02d}.hlz", "wb") as h:
        size, i = 0, 0
        while size < mb * 1000 * 1000:
            line = (f"Engine {f}-{i}=http://site{i}.example/|http://site{i}.example/cgi-bin/add.cgi|"
                    "title|url|email|desc|cat|Web|name||last|company|||city|state|zip|phone|fax|POST|"
                    + "kw|" * 16 + "country|\r\n").encode()
            h.write(line)
            size += len(line)
            i += 1
PY
args=()
for f in "$tmp"/src/*.hlz; do args+=("$f" "$(basename "$f")"); done
"$bin/tools/update-archive/make-update-archive" "$tmp/en-kestrel.hlz" "${args[@]}"
size=$(stat -c %s "$tmp/en-kestrel.hlz")

"$bin/tools/target-sim/target-sim" --port 0 --update-archive "$tmp/en-kestrel.hlz" >"$tmp/port" &
sim_pid=$!
for _ in $(seq 50); do [[ -s "$tmp/port" ]] && break; sleep 0.1; done
port=$(head -1 "$tmp/port")

measure() { # label, then the command
  local label="$1"; shift
  /usr/bin/time -v "$@" >"$tmp/out" 2>"$tmp/time" || true
  local wall rss
  wall=$(grep 'Elapsed (wall clock)' "$tmp/time" | awk '{print $NF}')
  rss=$(grep 'Maximum resident set size' "$tmp/time" | awk '{print $NF}')
  printf '%-24s wall %8s   peak RSS %6d KB   stdout %10d bytes, last line: %s\n' "$label" "$wall" \
    "$rss" "$(stat -c %s "$tmp/out")" "$(tail -1 "$tmp/out" | tr -cd '[:print:]' | cut -c1-40)"
}

echo "archive: $size bytes, $files engine files of $mb MB, all listed in un.pac"
measure "fetch (download only)" "$bin/linkbeacon-cli" fetch "http://127.0.0.1:$port/halcyon/en-kestrel.hlz"
measure "rar test" "$bin/linkbeacon-cli" rar test "$tmp/en-kestrel.hlz"
measure "rar extract" "$bin/linkbeacon-cli" rar extract "$tmp/en-kestrel.hlz" "$tmp/x"
cd "$tmp/pf"
measure "update (whole)" "$bin/linkbeacon-cli" update --host "127.0.0.1:$port"
echo "installed files: $(ls "$tmp/pf/data" | wc -l)"
