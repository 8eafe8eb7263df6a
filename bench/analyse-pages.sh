#!/usr/bin/env bash
# Whole-process runs of `linkbeacon-cli analyse` on pages of growing size
# whose submission form stands at the very end: wall time and peak RSS.
#   bench/analyse-pages.sh [BUILD_DIR] [SIZES...]   (sizes in bytes)
set -euo pipefail
build="${1:-build/normal}"
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000000 10000000)
cli="$(cd "$build" && pwd)/linkbeacon-cli"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data"
: > "$work/data/data.hlz"
: > "$work/data/exclude.tmp"
printf '[CatType]\r\nGeneral=\r\nClassic=\r\nBig=\r\n' > "$work/data/catagory.hlx"

printf '%-12s %-10s %-12s %s\n' "page bytes" "wall s" "peak RSS KB" "record"
for size in "${sizes[@]}"; do
    python3 - "$work/page.html" "$size" <<'PY'
import sys
path, size = sys.argv[1], int(sys.argv[2])
block = (b'<p>Links and <a href="/dir/page.html">more links</a> on <b>this</b> page.</p>\n'
         b'<table><tr><td><img src="x.gif" alt=""></td><td>cell</td></tr></table>\n'
         b'<form method=get action=/search><input name=q size=20>'
         b'<select name=where><option>Web<option SELECTED>Site</select> </form>\n')
form = (b'<FORM METHOD=POST ACTION="/cgi-bin/add.cgi">\n'
        b'<input type=hidden name=mode value=add>\n'
        b'<input type=text name=url size=40><input name=title>\n'
        b'<textarea name=description></textarea><input name=email>\n'
        b'<select name=catagory><option>Business<option>Computers<option>Education'
        b'<option>Entertainment<option>Government<option>Personal<option>Miscellaneous</select>\n'
        b'<input type=submit value=Add>\n</FORM>\n')
head = b'<html><head><title>Add your site</title></head><body>\n'
n = max(0, (size - len(head) - len(form)) // len(block))
with open(path, 'wb') as f:
    f.write(head + block * n + form + b'</body></html>\n')
PY
    out="$(cd "$work" && /usr/bin/time -f '%e %M' -o "$work/time" "$cli" analyse page.html \
        --page-url http://www.example.com/dir/add.html)"
    read -r wall rss < "$work/time"
    printf '%-12s %-10s %-12s %s\n' "$(stat -c %s "$work/page.html")" "$wall" "$rss" "${out:0:60}..."
done
