#!/usr/bin/env bash
# Peak memory of walking the headers of a RAR archive of many empty entries:
# writes an archive of ENTRIES (default 1,000,000) empty stored files with
# short names and runs `linkbeacon-cli rar test` on it under /usr/bin/time -v
# (the two event lines per entry go to /dev/null).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${BIN:-$root/build/normal}"
entries="${ENTRIES:-1000000}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

python3 - "$tmp/many.rar" "$entries" <<'PY'
import struct, sys, zlib
path, count = sys.argv[1], int(sys.argv[2])
def seal(body):  # body from HEAD_TYPE on; HEAD_CRC is the low 16 bits of its CRC32
    return struct.pack("<H", zlib.crc32(body) & 0xffff) + body
with open(path, "wb") as f:
    f.write(b"Rar!\x1a\x07\x00")
    f.write(seal(struct.pack("<BHHHI", 0x73, 0, 13, 0, 0)))
    for i in range(count):
        name = b"e%d" % i
        f.write(seal(struct.pack("<BHHIIBIIBBHI", 0x74, 0x8000, 32 + len(name), 0, 0, 2, 0,
                                 0x21000000, 20, 0x30, len(name), 0x20) + name))
    f.write(seal(struct.pack("<BHH", 0x7b, 0x4000, 7)))
PY
size=$(stat -c %s "$tmp/many.rar")
/usr/bin/time -v "$bin/linkbeacon-cli" rar test "$tmp/many.rar" >"$tmp/out" 2>"$tmp/time" || true
printf 'archive: %d bytes, %d empty entries; rar test: wall %s, peak RSS %d KB, result: %s\n' \
  "$size" "$entries" "$(grep 'Elapsed (wall clock)' "$tmp/time" | awk '{print $NF}')" \
  "$(grep 'Maximum resident set size' "$tmp/time" | awk '{print $NF}')" "$(tail -1 "$tmp/out")"
