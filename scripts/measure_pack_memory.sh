#!/usr/bin/env bash
# Peak resident memory of ulvpack, which must not grow with what a package
# holds:
#  - create packs a 1 GiB file (read one piece at a time): under 16 MiB;
#  - verify and list read a package of one million empty targets (1,000
#    folders of 1,000 files): under 40 MiB. They keep nothing per target but
#    its name, each folder once: its last component and 17 to 23 bytes.
# Usage: scripts/measure_pack_memory.sh [SIZE_MIB [TARGETS]]   (default 1024 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/setup.sh
ensure_build_tools
ensure_packages time python3
build_preset posix >/dev/null

size_mib=${1:-1024}
targets=${2:-1000000}
work=$(mktemp -d "$PWD/build/pack-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0

# Runs ulvpack under /usr/bin/time; prints its peak RSS in KiB.
peak_of() {
    /usr/bin/time -v ./build/posix/ulvpack "$@" >/dev/null 2>"$work/time.txt" || { cat "$work/time.txt" >&2; return 1; }
    sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt"
}

check() {  # what, peak KiB, limit MiB
    echo "$1: peak RSS $2 KiB (limit $3 MiB)"
    if [ "$2" -ge $(($3 * 1024)) ]; then
        echo "FAIL: $1 takes $3 MiB or more" >&2
        failed=1
    fi
}

head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/big.bin"
check "ulvpack create, ${size_mib} MiB file in 1 MiB pieces" \
      "$(peak_of create -o "$work/big.upd" "ulverno/big.bin=$work/big.bin")" 16
./build/posix/ulvpack verify "$work/big.upd" 2>/dev/null || { echo "FAIL: the package made is not valid" >&2; failed=1; }
rm -f "$work/big.bin" "$work/big.upd"

# The records are written directly: making a million files to pack would take
# far longer than reading them back.
python3 - "$work/many.upd" "$targets" <<'PY'
import sys
path, count = sys.argv[1], int(sys.argv[2])
with open(path, "wb") as out:
    for i in range(count):
        body = b"\0\0\0" + b"ulverno/d%03d/f%07d\0" % (i // 1000, i) + b"\0\0\0"
        out.write(bytes([len(body) + 1]) + body)
PY
echo "package of $targets empty targets: $(stat -c %s "$work/many.upd") bytes"
check "ulvpack verify, $targets empty targets" "$(peak_of verify "$work/many.upd")" 40
check "ulvpack list, $targets empty targets" "$(peak_of list "$work/many.upd")" 40
exit $failed
