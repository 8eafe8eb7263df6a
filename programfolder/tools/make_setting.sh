#!/usr/bin/env bash
# Writes FOLDER/setting.set with the crawler profile "default": the options
# window's defaults plus keyword lists that find the demo FFA pages served by
# target-sim's search service (two combinations).
# Usage: make_setting.sh LINKBEACON_CLI FOLDER
set -euo pipefail
cli=$1
cd "$2"
rm -f setting.set
include=$'links.shtm\nlink.shtm\nlinks.htm\nlink.htm\nffa.htm\nffa.shtm'
ignore=$'>\n?\n=\n&\n>\n%\n#\n+\n.exe\n.gif\n.jpg\n.zip\n.rar\n.asp\n.cgi\n.pl\n.mid\nmailto:'
"$cli" profiles save default Ckb=200 Csec=30 "Memo3=$include" "Memo1=$ignore" Cstring=1 \
  $'Terms1=free\nffa' Terms2=garden Bonus1=links Bonus2=add --yes >/dev/null 2>&1
test -s setting.set
