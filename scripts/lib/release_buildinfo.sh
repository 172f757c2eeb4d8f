# The build record of a release (BUILDINFO): sourced by scripts/release.sh.

# Writes what built the release, so that another builder knows what gives the
# same bytes: the commit and its time, the Debian packages of the compilers,
# binutils, CMake, the MinGW-w64 runtime, OpenSSL (its libcrypto is linked
# in), and the Python and zlib that write the zip; with SIGNER, osslsigncode.
write_buildinfo() {  # OUT [SIGNER]
    local out=$1 signer=${2:-} package packages=(
        g++-12 libstdc++-12-dev libgcc-12-dev libc6-dev binutils
        g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32 binutils-mingw-w64-i686 mingw-w64-i686-dev mingw-w64-common
        cmake libssl-dev)
    [ -z "$signer" ] || packages+=(osslsigncode)
    {
        echo "Commit: $ULV_RELEASE_COMMIT"
        echo "Commit time (SOURCE_DATE_EPOCH): $SOURCE_DATE_EPOCH"
        echo "Built on: Debian $(cat /etc/debian_version) ($(dpkg --print-architecture))"
        echo
        echo "Debian packages:"
        for package in "${packages[@]}"; do
            printf '    %-28s %s\n' "$package" "$(dpkg-query -W -f='${Version}' "$package" 2>/dev/null || echo 'not installed')"
        done
        echo
        echo "Programs that ran:"
        echo "    $(g++ --version | head -1)"
        echo "    $(i686-w64-mingw32-g++ --version | head -1)"
        echo "    $(ld --version | head -1)"
        echo "    $(i686-w64-mingw32-ld --version | head -1)"
        echo "    $(cmake --version | head -1)"
        echo "    OpenSSL headers: $(sed -n 's/^# *define OPENSSL_VERSION_TEXT *"\(.*\)"$/\1/p' /usr/include/openssl/opensslv.h)"
        echo "    $(python3 -c 'import sys, zlib; print("Python", sys.version.split()[0], "with zlib", zlib.ZLIB_RUNTIME_VERSION)') (the zip)"
        [ -z "$signer" ] || echo "    $(osslsigncode --version 2>&1 | head -1)"
    } >"$out"
}
