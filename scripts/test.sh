#!/usr/bin/env bash
# Installs what is missing, builds every preset, and runs every test: the
# unit and POSIX end-to-end tests and the fuzz corpora under AddressSanitizer
# and UndefinedBehaviorSanitizer, then all of them again in the plain build
# together with the Windows programs under Wine, the scripts' package installs
# against a mirror in the middle of a sync, and the release built twice, the
# second time with another git configuration, umask and time zone (it must
# come out the same), then signed. Exits non-zero when anything failed; a
# 32-bit virtual machine that cannot be set up is said in one loud line only.
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
echo "== Package installs against a mirror in the middle of a sync"
tests/apt/mirror_mid_sync_test.sh || failed=1
# Where this host cannot run 32-bit code, the bench above ran the x86-64
# build: the 32-bit product itself then runs in a virtual machine, set up
# (the first time) with that failing mirror beside this machine's sources.
if [ "$WINDOWS_PRESET" != win32 ] || [ "${ULV_VM32:-}" = 1 ]; then
    echo "== Wine, the 32-bit product in a virtual machine"
    run_wine_tests_in_vm tests/apt/mirror_mid_sync_test.sh --around scripts/vm32/setup.sh || failed=1
fi
echo "== The release, built twice from the committed sources (as two builders would): the same bytes;"
echo "   signed with Authenticode, its notices, build record and release notes"
tests/release/release_test.sh || failed=1
exit $failed
