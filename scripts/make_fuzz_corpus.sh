#!/usr/bin/env bash
# Remakes the fuzzers' seed corpus in tests/fuzz/corpus: the packages whose
# fate the tests know (case-*), and valid packages of each shape made by
# ulvpack (pack-*). Inputs kept from fuzzing runs (grown-*) and reproducers
# of past findings (crash-*) stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/setup.sh
ensure_build_tools
build_preset posix >/dev/null

corpus=tests/fuzz/corpus
rm -f "$corpus"/case-* "$corpus"/pack-*
mkdir -p "$corpus"
./build/posix/tests/fuzz/write_package_cases "$corpus"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/ulverno/bin" "$tree/ulverno/doc" "$tree/windows" "$tree/windows_system"
printf 'abc' >"$tree/windows/a.txt"
printf 'dll bytes \001\002\377' >"$tree/ulverno/bin/x.dll"
printf 'caf\303\251\n' >"$tree/ulverno/doc/"$'caf\303\251.txt'
: >"$tree/ulverno/doc/empty"
printf 'system' >"$tree/windows_system/s.dll"
pack() { ./build/posix/ulvpack create -o "$corpus/pack-$1.upd" "${@:2}" >/dev/null; }
pack one-file windows/a.txt="$tree/windows/a.txt"
pack empty-file ulverno/doc/empty="$tree/ulverno/doc/empty"
pack three-roots ulverno="$tree/ulverno" windows="$tree/windows" windows_system="$tree/windows_system"
pack small-pieces --piece-size 3 ulverno="$tree/ulverno" windows="$tree/windows"
pack nested-folders --piece-size 5 ulverno="$tree/ulverno"
echo "corpus: $(ls "$corpus" | wc -l) inputs in $corpus"
