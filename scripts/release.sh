#!/usr/bin/env bash
# Builds a release of the committed sources, in fresh build folders, and
# writes dist/ulverno-updater-VERSION/ and its .zip, VERSION being the
# commit's (cmake/commit_version.cmake: X.Y.Z for a commit tagged vX.Y.Z,
# else X.Y.Z-dev.N+gHASH):
#   ulvupdate.exe  the updater (32-bit Windows)
#   ulvpack.exe    the package tool for Windows
#   ulvpack        the package tool for Linux (glibc 2.36 or later; all else linked in)
#   README.md      for administrators and release engineers (README.md without
#                  its developers' parts), its title saying the version
#   NOTICES.txt    the copyright line, and the licences of what each program
#                  carries, found in the linker's trace
#   BUILDINFO      what built it: the commit, compilers, binutils, CMake,
#                  MinGW-w64 runtime, OpenSSL
#   RELEASE-NOTES.md  the commit subjects since the previous release tag
#   SHA256SUMS
# and the zip's checksum, dist/ulverno-updater-VERSION.zip.sha256.
# The release is reproducible: the images carry no time, every file gets the
# time of the last commit (or SOURCE_DATE_EPOCH), and the archive lists them
# in a fixed order, so that building it twice gives the same bytes.
# It is built in scratch folders (build/release/) and moved into dist/ only
# once complete; a release of the same name already in dist/ is never
# replaced (the run fails if its bytes differ).
# With --package-key PUB (an ECDSA P-256 public key, PEM), the updater is
# built with that key and applies only packages signed with it: the release
# is then named ulverno-updater-VERSION-signed-KEY, KEY the first 16
# hexadecimal digits of the key's SHA-256, which its README gives whole.
# With --authenticode CERT KEY (PEM; CERT may hold the chain) or
# --authenticode BUNDLE.p12 (PKCS#12), both Windows programs are signed
# (SHA-256, osslsigncode) before SHA256SUMS and the zip are made, dated by the
# commit's time so that signing twice gives the same bytes; removing the
# signature must give the unsigned build back, byte for byte.
# --authenticode-pass FILE reads the key's passphrase from FILE; --timestamp
# URL has an RFC 3161 server time-stamp the signatures (its answer differs
# each time: not with --twice, which then cannot compare).
# With --twice, builds it a second time as another builder would (a git
# configuration that converts line ends, umask 077, another time zone), and
# publishes it only if both are identical, modes and times included, and if
# unzip, in another time zone, gives the release folder back.
# --dist DIR publishes into DIR instead of dist/.
set -euo pipefail
twice=no
package_key=""
authenticode_cert="" authenticode_key="" authenticode_pass="" timestamp=""
dist=dist
usage() {
    echo "usage: scripts/release.sh [--twice] [--package-key PUBLIC_KEY.pem] [--dist DIR]" >&2
    echo "         [--authenticode CERT.pem KEY.pem | --authenticode BUNDLE.p12] [--authenticode-pass FILE] [--timestamp URL]" >&2
    exit 2
}
while [ $# -gt 0 ]; do
    case $1 in
        --twice) twice=yes ;;
        --authenticode)
            [ $# -ge 2 ] && [ -f "$2" ] || usage
            authenticode_cert=$(realpath "$2")
            shift
            if [ $# -ge 2 ] && [ "${2#--}" = "$2" ]; then
                [ -f "$2" ] || usage
                authenticode_key=$(realpath "$2")
                shift
            fi ;;
        --authenticode-pass) [ $# -ge 2 ] && [ -f "$2" ] || usage; authenticode_pass=$(realpath "$2"); shift ;;
        --timestamp) [ $# -ge 2 ] || usage; timestamp=$2; shift ;;
        --dist) [ $# -ge 2 ] || usage; dist=$(realpath -m "$2"); shift ;;
        --package-key)
            [ $# -ge 2 ] && [ -f "$2" ] || usage
            package_key=$(realpath "$2")
            if grep -q "PRIVATE KEY" "$package_key"; then
                echo "$2 is a private key: give its public half (openssl pkey -in $2 -pubout -out vendor.pub)," \
                     "and keep the private one off the build machine" >&2
                exit 2
            fi
            shift ;;
        *) usage ;;
    esac
    shift
done
if [ -n "$timestamp" ] && { [ -z "$authenticode_cert" ] || [ "$twice" = yes ]; }; then
    echo "--timestamp needs --authenticode, and cannot go with --twice: a time-stamp server answers" \
         "differently each time (check the release with --twice --dist DIR first)" >&2
    exit 2
fi
cd "$(dirname "$0")/.."
# Lists sorted, and texts written, the same whatever the builder's locale.
export LC_ALL=C
. scripts/lib/setup.sh
. scripts/lib/authenticode.sh
. scripts/lib/release_buildinfo.sh
. scripts/lib/release_notes.sh
. scripts/lib/release_notices.sh
ensure_build_tools
ensure_packages git python3 unzip
signer=()
if [ -n "$authenticode_cert" ]; then
    ensure_packages osslsigncode
    mapfile -t signer < <(authenticode_signer "$authenticode_cert" "$authenticode_key" "$authenticode_pass")
fi
# The oldest C library the Linux ulvpack runs with (built on Debian 12, it
# needs arc4random, of glibc 2.36): the README says so, and the build is
# checked against it.
linux_glibc=2.36

# The files of the commit released (under PATH... when given) into DEST, byte for byte as
# committed: taken from git's objects, so that no attributes file, no
# configuration and no line-end conversion of the builder's can change them.
committed() {  # DEST [PATH...]
    python3 - "$@" <<'PY'
import os, subprocess, sys
dest, paths = sys.argv[1].encode(), sys.argv[2:]
listing = subprocess.run(["git", "ls-tree", "-r", "-z", os.environ["ULV_RELEASE_COMMIT"], "--"] + paths, check=True, capture_output=True).stdout
batch = subprocess.Popen(["git", "cat-file", "--batch"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
for entry in filter(None, listing.split(b"\0")):
    meta, path = entry.split(b"\t", 1)
    mode, kind, sha = meta.split()
    if kind != b"blob":
        continue
    batch.stdin.write(sha + b"\n")
    batch.stdin.flush()
    size = int(batch.stdout.readline().split()[2])
    data = batch.stdout.read(size)
    batch.stdout.read(1)
    target = os.path.join(dest, path)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    if mode == b"120000":
        os.symlink(data, target)
        continue
    with open(target, "wb") as file:
        file.write(data)
    os.chmod(target, 0o755 if mode == b"100755" else 0o644)
batch.stdin.close()
sys.exit(batch.wait())
PY
}

# What is released is what is committed: its version too, which counts the
# commits since the last tag. The commit is HEAD when the run starts, and
# stays that commit throughout, whatever is committed meanwhile.
export ULV_RELEASE_COMMIT
ULV_RELEASE_COMMIT=$(git rev-parse --verify HEAD)
if [ "$(git rev-parse --is-shallow-repository)" = true ]; then
    echo "Note: a shallow clone cannot count the commits since the last tag: the version says .shallow;" \
         "fetch the whole history for a release to publish." >&2
fi
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
    echo "Note: the working tree has uncommitted changes; the release holds the last commit only." >&2
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --no-show-signature --format=%ct "$ULV_RELEASE_COMMIT")}
year=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y)
work=$PWD/build/release
rm -rf "$work"
mkdir -p "$work/head"
committed "$work/head" CMakeLists.txt cmake
version=$(cmake -DULV_CHECKOUT="$PWD" -P "$work/head/cmake/commit_version.cmake")
name=ulverno-updater-$version
key_flags=()
if [ -n "$package_key" ]; then
    fingerprint=$(openssl pkey -pubin -in "$package_key" -outform DER | sha256sum | cut -d' ' -f1)
    name=$name-signed-${fingerprint:0:16}
    key_flags=(-DULV_PACKAGE_KEY="$package_key")
fi

# The README of the release, from the committed one: what is between
# "<!-- developers" and "<!-- /developers -->" lines (building, testing, the
# demo: for those who work on the sources) is left out, so that it speaks to
# administrators and release engineers first; the title says the version,
# and with a package key, which key the updater checks.
release_readme() {  # README
    local text
    text=$(awk '/^<!-- developers/ { skip = 1; next } /^<!-- \/developers -->/ { skip = 0; next } !skip' "$1" | cat -s)
    if grep -q -e '<!--' -e 'scripts/demo.sh' <<<"$text"; then
        echo "FAIL: the README's developers' parts are not all marked: the release's README would show them" >&2
        exit 1
    fi
    sed -n "1s/^# Ulverno updater\$/& $version/p" <<<"$text"
    [ -z "$package_key" ] || printf '\nThis ulvupdate.exe is built with the package key whose SHA-256 is\n%s:\nit applies only packages signed with that key (see "Signed updates").\n' "$fingerprint"
    tail -n +2 <<<"$text"
}

# Builds the commit from scratch in the folder SCRATCH, and writes the release
# folder and zip in SCRATCH/out. Nothing in dist/ is touched: a build that
# fails leaves every earlier release as it was.
build_release() {  # SCRATCH
    local scratch=$1 src=$1/src out=$1/out
    rm -rf "$scratch"
    mkdir -p "$src" "$out/$name"
    committed "$src"
    local flags="-ffile-prefix-map=$src=." program needs
    # The linker's trace (--trace) says what each program carries: its notices.
    cmake -S "$src" -B "$scratch/win32" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel \
          -DBUILD_TESTING=OFF -DULV_WARNINGS_AS_ERRORS=ON -DCMAKE_CXX_FLAGS="$flags" -DULV_RELEASE_VERSION="$version" \
          -DCMAKE_EXE_LINKER_FLAGS="-Wl,--trace" "${key_flags[@]}" >/dev/null
    for program in ulvupdate ulvpack; do
        cmake --build "$scratch/win32" -j "$(nproc)" --target "$program" >"$scratch/$program.exe.log"
    done
    # The C library is the system's (see linux_glibc): a program linked with
    # glibc statically would have to be given in a form that can be relinked
    # with another glibc (its licence, the LGPL, asks it), and glibc's
    # name-service and module loading (getaddrinfo, dlopen, which libcrypto
    # refers to) would need the shared glibc of the same version at run time anyway.
    cmake -S "$src" -B "$scratch/linux" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DULV_WARNINGS_AS_ERRORS=ON \
          -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-static-libstdc++ -static-libgcc -s -Wl,--trace" \
          -DULV_RELEASE_VERSION="$version" >/dev/null
    cmake --build "$scratch/linux" -j "$(nproc)" --target ulvpack >"$scratch/ulvpack.log"
    needs=$(objdump -T "$scratch/linux/ulvpack" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -uV | tail -1)
    dpkg --compare-versions "$needs" le "$linux_glibc" ||
        { echo "FAIL: the Linux ulvpack needs glibc $needs, newer than the $linux_glibc the README promises" >&2; exit 1; }
    for program in ulvupdate.exe ulvpack.exe; do
        if [ ${#signer[@]} -gt 0 ]; then
            authenticode_sign "$scratch/win32/$program" "$out/$name/$program" "$timestamp" "${signer[@]}"
        else
            cp "$scratch/win32/$program" "$out/$name/"
        fi
    done
    cp "$scratch/linux/ulvpack" "$out/$name/"
    release_readme "$src/README.md" >"$out/$name/README.md"
    (cd "$out/$name" && write_notices NOTICES.txt "$year" ulvupdate.exe="$scratch/ulvupdate.exe.log" \
                                      ulvpack.exe="$scratch/ulvpack.exe.log" ulvpack="$scratch/ulvpack.log")
    write_buildinfo "$out/$name/BUILDINFO" "${signer[0]:-}"
    write_release_notes "$out/$name/RELEASE-NOTES.md" "$version"
    # Every part of the release says the same version: the README's title,
    # the Linux ulvpack, and the product version of the Windows programs.
    [ "$(head -1 "$out/$name/README.md")" = "# Ulverno updater $version" ] &&
        [ "$("$out/$name/ulvpack" --version)" = "ulvpack $version" ] &&
        python3 -c 'import sys; sys.exit(any(("ProductVersion\0" + sys.argv[1] + "\0").encode("utf-16-le") not in open(f, "rb").read()
                                             for f in sys.argv[2:]))' "$version" "$out/$name/ulvupdate.exe" "$out/$name/ulvpack.exe" ||
        { echo "FAIL: the release does not say version $version everywhere" >&2; exit 1; }
    # Modes fit for a download server whatever the builder's umask: folders
    # and programs 755, other files 644; in the zip too.
    (cd "$out/$name" && chmod 755 . ulvpack ulvpack.exe ulvupdate.exe &&
        chmod 644 BUILDINFO NOTICES.txt README.md RELEASE-NOTES.md &&
        sha256sum BUILDINFO NOTICES.txt README.md RELEASE-NOTES.md ulvpack ulvpack.exe ulvupdate.exe >SHA256SUMS &&
        chmod 644 SHA256SUMS && touch -d "@$SOURCE_DATE_EPOCH" ./* .)
    # Each entry carries the commit's time twice: as a DOS time (from UTC, as
    # no time zone is right for everyone) and exactly, in UTC, in the extended
    # timestamp field, which unzip programs prefer: the files get the same
    # time wherever they are unpacked.
    python3 - "$out" "$name" <<'PY'
import os, struct, sys, time, zipfile
out, name = sys.argv[1], sys.argv[2]
epoch = int(os.environ["SOURCE_DATE_EPOCH"])
stamp = time.gmtime(max(epoch, 315532800))[:6]  # a DOS time cannot date before 1980
with zipfile.ZipFile(os.path.join(out, name + ".zip"), "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
    for file in [""] + sorted(os.listdir(os.path.join(out, name))):
        info = zipfile.ZipInfo(name + "/" + file, stamp)
        info.extra = struct.pack("<HHBl", 0x5455, 5, 1, epoch)  # "UT": modification time only
        if file == "":
            info.compress_type = zipfile.ZIP_STORED
            info.external_attr = (0o040755 << 16) | 0x10  # a folder, also for MS-DOS
            archive.writestr(info, b"")
            continue
        info.compress_type = zipfile.ZIP_DEFLATED
        mode = 0o755 if file in ("ulvpack", "ulvpack.exe", "ulvupdate.exe") else 0o644
        info.external_attr = (0o100000 | mode) << 16  # a regular file
        with open(os.path.join(out, name, file), "rb") as data:
            archive.writestr(info, data.read())
PY
    # The zip's own checksum, for whoever downloads only the zip: sha256sum -c NAME.zip.sha256.
    (cd "$out" && sha256sum "$name.zip" >"$name.zip.sha256" && chmod 644 "$name.zip" "$name.zip.sha256" &&
        touch -d "@$SOURCE_DATE_EPOCH" "$name.zip" "$name.zip.sha256")
}

# Modes, times and names of files and folders in FOLDER, to compare them.
listing() {  # FOLDER NAME...
    (cd "$1" && shift && find "$@" -printf '%m %T@ %p\n' | LC_ALL=C sort)
}

# Moves the complete release from SCRATCH/out into DIST (dist/). A release of the
# same name that is already there is never replaced: with the same bytes,
# there is nothing to do; with other bytes, the run fails.
publish() {  # SCRATCH
    local from=$1/out item
    for item in "$name" "$name.zip" "$name.zip.sha256"; do
        if [ -e "$dist/$item" ] && ! diff -r -q "$from/$item" "$dist/$item" >/dev/null; then
            echo "FAIL: $dist/$item is already there with other bytes; left as it is (remove it to release again)" >&2
            return 1
        fi
    done
    [ -d "$dist" ] || mkdir -m 755 "$dist"
    [ ! -e "$dist/$name" ] || echo "$dist/$name was already there, with the same bytes"
    for item in "$name" "$name.zip" "$name.zip.sha256"; do
        [ -e "$dist/$item" ] || mv "$from/$item" "$dist/$item"
    done
}

build_release "$work/one"
if [ "$twice" = yes ]; then
    home=$work/home
    mkdir "$home"
    printf '[core]\n\tautocrlf = true\n' >"$home/.gitconfig"
    (export HOME=$home TZ=EST5EDT && unset XDG_CONFIG_HOME && umask 077 && build_release "$work/two")
    # And unpacked in another time zone, the zip gives the folder back.
    mkdir "$work/unzipped"
    (cd "$work/unzipped" && TZ=EST5EDT unzip -q "$work/one/out/$name.zip")
    items=("$name" "$name.zip" "$name.zip.sha256")
    if ! diff -r -q "$work/one/out" "$work/two/out" >&2 ||
        [ "$(listing "$work/one/out" "${items[@]}")" != "$(listing "$work/two/out" "${items[@]}")" ] ||
        ! diff -r -q "$work/one/out/$name" "$work/unzipped/$name" >&2 ||
        [ "$(listing "$work/one/out" "$name")" != "$(listing "$work/unzipped" "$name")" ]; then
        echo "FAIL: two builds of the release differ, or its zip does not give its folder back" >&2
        exit 1
    fi
fi
publish "$work/one"
echo "$dist/$name/, $name.zip and $name.zip.sha256, version $version, dated $(date -u -d "@$SOURCE_DATE_EPOCH" +%F)"
cat "$dist/$name/SHA256SUMS"
if [ "$twice" = yes ]; then
    echo "Built twice: identical bytes ($(sha256sum "$dist/$name.zip" | cut -c1-16)... for the zip)"
fi
