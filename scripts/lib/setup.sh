# Shared by the scripts: installs what is missing with apt, and decides which
# Windows build the Wine bench can run here. Source it from the repository root.

apt_updated=no
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    if [ "$apt_updated" = no ]; then
        apt-get update -q >/dev/null
        apt_updated=yes
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

ensure_build_tools() {
    ensure_packages cmake make g++ binutils libgtest-dev g++-mingw-w64-i686
}

# Sets WINDOWS_PRESET (the Windows build the bench runs) and WINE_LOADER.
# The product is always the 32-bit build; where the kernel cannot run 32-bit
# code at all, Wine runs the same sources built for x86-64 instead.
ensure_wine_bench() {
    ensure_packages xvfb
    if scripts/lib/can_run_i386.sh; then
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            dpkg --add-architecture i386
            apt_updated=no
        fi
        ensure_packages wine wine32:i386
        WINDOWS_PRESET=win32
        WINE_LOADER=/usr/lib/wine/wine
    else
        echo "This kernel does not run 32-bit code: the Wine bench runs the x86-64 build of the same sources."
        ensure_packages wine wine64 g++-mingw-w64-x86-64
        WINDOWS_PRESET=win64
        WINE_LOADER=/usr/lib/wine/wine64
    fi
}

# Configures and builds a preset with warnings as errors.
build_preset() {
    local preset=$1
    shift
    cmake --preset "$preset" -DULV_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}
