#!/usr/bin/env bash
# Stops what bench_start.sh started. Usage: bench_stop.sh BENCH_DIR
bench=$1
server=$(sed -n 's/^WINESERVER=//p' "$bench/bench.env" 2>/dev/null)
[ -d "$bench/prefix" ] && WINEPREFIX="$bench/prefix" "${server:-wineserver}" -k >/dev/null 2>&1
[ -f "$bench/xvfb.pid" ] && kill "$(cat "$bench/xvfb.pid")" 2>/dev/null
rm -f "$bench/xvfb.pid"
exit 0
