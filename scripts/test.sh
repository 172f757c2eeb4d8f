#!/usr/bin/env bash
# Installs what is missing, builds every preset, and runs every test: unit
# tests natively, the Windows programs under Wine. Ends with ctest's summary;
# exits non-zero when anything failed.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/setup.sh

ensure_build_tools
ensure_wine_bench

build_preset win32
[ "$WINDOWS_PRESET" = win32 ] || build_preset "$WINDOWS_PRESET"
build_preset posix -DULV_WINE_WINDOWS_BUILD="$PWD/build/$WINDOWS_PRESET" -DULV_WINE_LOADER="$WINE_LOADER"

ctest --preset posix -j "$(nproc)"
