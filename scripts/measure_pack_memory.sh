#!/usr/bin/env bash
# Packs a 1 GiB file with ulvpack and reports its peak resident memory, which
# must stay under 16 MiB: files are read one piece at a time.
# Usage: scripts/measure_pack_memory.sh [SIZE_MIB]   (default 1024)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/setup.sh
ensure_build_tools
ensure_packages time
build_preset posix >/dev/null

size_mib=${1:-1024}
work=$(mktemp -d "$PWD/build/pack-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/big.bin"
/usr/bin/time -v ./build/posix/ulvpack create -o "$work/big.upd" "ulverno/big.bin=$work/big.bin" 2>"$work/time.txt"
peak_kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
seconds=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
./build/posix/ulvpack verify "$work/big.upd"
echo "ulvpack create, ${size_mib} MiB file in 1 MiB pieces: peak RSS ${peak_kib} KiB, wall time ${seconds}"
if [ "$peak_kib" -ge $((16 * 1024)) ]; then
    echo "FAIL: peak RSS is 16 MiB or more" >&2
    exit 1
fi
