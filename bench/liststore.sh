#!/usr/bin/env bash
# The list store figures of bench/README.md: builds four stores of 10,000
# 1 KB items, then measures each in a process of its own.
set -euo pipefail
bin="${BIN:-$(dirname "$0")/../build/normal/bench/bench_liststore}"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
"$bin" make "$dir"
"$bin" run "$dir/plain.QDB"
"$bin" run "$dir/compressed.QDB"
"$bin" run "$dir/password.QDB" secret
"$bin" run "$dir/both.QDB" secret
"$bin" ratio
