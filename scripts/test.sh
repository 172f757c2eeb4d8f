#!/usr/bin/env bash
# Installs what is missing, builds every preset, and runs every test: the
# unit and POSIX end-to-end tests and the fuzz corpora under AddressSanitizer
# and UndefinedBehaviorSanitizer, then all of them again in the plain build
# together with the Windows programs under Wine, and the release built twice,
# the second time with another git configuration, umask and time zone (it
# must come out the same). Exits non-zero when anything failed.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/setup.sh

ensure_build_tools
ensure_wine_bench
ensure_test_locales

build_preset win32
[ "$WINDOWS_PRESET" = win32 ] || build_preset "$WINDOWS_PRESET"
build_preset posix-asan
build_preset posix -DULV_WINE_WINDOWS_BUILD="$PWD/build/$WINDOWS_PRESET" -DULV_WINE_LOADER="$WINE_LOADER"

failed=0
echo "== Under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --preset posix-asan -j "$(nproc)" || failed=1
echo "== Every test, the Windows programs under Wine included"
ctest --preset posix -j "$(nproc)" || failed=1
# Where this host cannot run 32-bit code, the bench above ran the x86-64
# build: the 32-bit product itself then runs in a virtual machine.
if [ "$WINDOWS_PRESET" != win32 ] || [ "${ULV_VM32:-}" = 1 ]; then
    echo "== Wine, the 32-bit product in a virtual machine"
    run_wine_tests_in_vm || failed=1
fi
echo "== The release, built twice from the committed sources (as two builders would): the same bytes"
./scripts/release.sh --twice | tail -1 || failed=1
exit $failed
