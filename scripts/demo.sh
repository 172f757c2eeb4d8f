#!/usr/bin/env bash
# The updater at work: builds, packs the sample update in demo/sample with
# ulvpack, applies it to a small Windows installation, and lists what was
# installed where. Under Wine with the Windows build when it can, otherwise
# with the POSIX build in a scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/setup.sh

work=$PWD/build/demo
rm -rf "$work"
mkdir -p "$work"
echo "== Installing what is missing and building (log: build/demo/build.log)"
ensure_build_tools
wine_bench=yes
ensure_wine_bench || { wine_bench=no; echo "(Wine could not be installed: the demo will use the POSIX build)"; }
{
    build_preset win32
    [ "$WINDOWS_PRESET" = win32 ] || [ "$wine_bench" = no ] || build_preset "$WINDOWS_PRESET"
    build_preset posix
} >"$work/build.log" 2>&1 || { tail -30 "$work/build.log"; exit 1; }

echo "== Packing demo/sample into update.upd"
./build/posix/ulvpack create -o "$work/update.upd" \
    ulverno=demo/sample/ulverno windows=demo/sample/windows windows_system=demo/sample/windows_system
./build/posix/ulvpack verify "$work/update.upd"
./build/posix/ulvpack list "$work/update.upd"

hex() { od -An -tx1 -v | tr -d ' \n'; }
unhex() { printf '%b' "$(sed 's/../\\x&/g')"; }  # the bench gives texts in UTF-8
show_installed() {
    local root=$1 label=$2
    echo "   $label:"
    (cd "$root" && find . -type f -newer "$work/before-update" -printf '     %P (%s bytes)\n' | sort)
}

demo_under_wine() {
    tests/wine/bench_start.sh "$work/wine" "$WINE_LOADER" "$PWD/build/$WINDOWS_PRESET" >/dev/null || return 1
    set -a
    . "$work/wine/bench.env"
    set +a
    local c="$WINEPREFIX/drive_c"
    mkdir -p "$c/Ulverno/bin" "$c/Ulverno/doc"  # the installation being updated
    printf '[ulvekern]\r\nulvedrive=C\r\nulvedir=Ulverno\r\n' >"$c/windows/ulverno.ini"
    cp "$work/update.upd" "$c/ulvbench/update.upd"
    touch "$work/before-update"
    local command='C:\ulvbench\ulvupdate.exe C:\ulvbench\update.upd'
    echo "== Running under Wine ($(basename "$WINE_LOADER"), build/$WINDOWS_PRESET): $command"
    "$WINE_LOADER" 'C:\ulvbench\bench.exe' "$(printf '%s' "$command" | hex)" | tr -d '\r' | while read -r kind rest; do
        case $kind in
            box) echo "   message box: \"$(sed 's/.*text=\([0-9a-f]*\).*/\1/' <<<"$rest" | unhex)\" (OK pressed)" ;;
            exit) echo "   the updater ended: $rest" ;;
            *) echo "   $kind $rest" ;;
        esac
    done
    echo "== Installed"
    show_installed "$c/Ulverno" 'C:\Ulverno (install root, from ulverno.ini)'
    show_installed "$c/windows" 'C:\windows (Windows directory, its system32 included)'
    [ -e "$c/ulvbench/update.upd" ] && echo "   the package is still there" || echo "   the package C:\\ulvbench\\update.upd was deleted"
    tests/wine/bench_stop.sh "$work/wine"
}

demo_on_posix() {
    local root="$work/posix"
    mkdir -p "$root/windows/system32" "$root/C:\\Ulverno/bin" "$root/C:\\Ulverno/doc"
    printf '[ulvekern]\nulvedrive=C\nulvedir=Ulverno\n' >"$root/windows/ulverno.ini"
    cp "$work/update.upd" "$root/update.upd"
    touch "$work/before-update"
    echo "== Running the POSIX build in $root (WINDIR=$root/windows)"
    (cd "$root" && WINDIR="$root/windows" "$OLDPWD/build/posix/ulvupdate" update.upd </dev/null)
    echo "== Installed"
    show_installed "$root/C:\\Ulverno" 'C:\Ulverno (install root, from ulverno.ini)'
    show_installed "$root/windows" "$root/windows (Windows directory, its system32 included)"
    [ -e "$root/update.upd" ] && echo "   the package is still there" || echo "   the package was deleted"
}

if [ "$wine_bench" = no ]; then
    demo_on_posix
else
    demo_under_wine || { echo "(Wine is not usable here: using the POSIX build)"; demo_on_posix; }
fi
