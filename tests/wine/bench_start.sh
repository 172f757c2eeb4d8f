#!/usr/bin/env bash
# Starts the Wine bench for one test run: one X server, one fresh prefix, the
# Windows programs under test copied to C:\ulvbench, and bench.env for the
# tests. Usage: bench_start.sh BENCH_DIR WINE_LOADER WINDOWS_BUILD_DIR
set -euo pipefail
bench=$1 loader=$2 windows_build=$3

"$(dirname "$0")/bench_stop.sh" "$bench" || true
rm -rf "$bench"
mkdir -p "$bench"
# The server that goes with the loader: once wine32 is installed on a host that
# cannot run it (to be run in a virtual machine), Debian's plain wrappers pick
# the 32-bit programs there and fail.
server=$(dirname "$loader")/wineserver
[ "$(basename "$loader")" = wine64 ] && server=${server}64
export WINEPREFIX="$bench/prefix" WINEDEBUG=-all WINELOADER="$loader" WINESERVER="$server"
# A UTF-8 locale: Wine then takes code page 1252 for ANSI calls and UTF-8 for
# Unix file names, whatever locale the run was started in.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
# A 32-bit loader gets a 32-bit prefix: its system32 is the real system directory.
[ "$(basename "$loader")" = wine ] && export WINEARCH=win32

# The X server outlives this script: detach it from ctest's output pipes.
setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$bench/display" </dev/null >/dev/null 2>&1 &
echo $! >"$bench/xvfb.pid"
for _ in $(seq 100); do [ -s "$bench/display" ] && break; sleep 0.1; done
[ -s "$bench/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -d '\n' <"$bench/display")"

# Message boxes are detected by window, so they need a display; without a
# window manager, Wine's own waits after each box vanish once windows are unmanaged.
# No Mono or Gecko: nothing here needs them, and their set-up may ask questions.
WINEDLLOVERRIDES="mscoree,mshtml=" "$loader" wineboot -i </dev/null >/dev/null 2>&1
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n' >"$bench/unmanaged.reg"
"$loader" regedit /S "$bench/unmanaged.reg" </dev/null >/dev/null 2>&1
setsid "$server" -p </dev/null >/dev/null 2>&1 || true

programs="$WINEPREFIX/drive_c/ulvbench"
mkdir -p "$programs"
cp "$windows_build"/ulvupdate.exe "$windows_build"/tests/wine/*.exe "$programs/"
[ -f "$windows_build/ulvpack.exe" ] && cp "$windows_build/ulvpack.exe" "$programs/"

cat >"$bench/bench.env" <<ENV
LANG=C.UTF-8
LC_ALL=C.UTF-8
WINEPREFIX=$WINEPREFIX
WINELOADER=$loader
WINESERVER=$server
WINEDEBUG=-all
DISPLAY=$DISPLAY
ENV
echo "Wine bench ready: $DISPLAY, $WINEPREFIX, programs from $windows_build"
