#!/usr/bin/env bash
# The scripts' package installs (scripts/lib/apt.sh) against a mirror caught
# in the middle of a sync: a package source on the loopback whose security
# suite lists its i386 index with the wrong size, so that `apt-get update`
# exits 100, as it did on a fresh machine. The wanted packages are still
# installed: small packages made here with dpkg-deb, among them a library
# installed for amd64 from that suite, whose i386 twin the failed index hides.
#
#   tests/apt/mirror_mid_sync_test.sh                  the cases below
#   tests/apt/mirror_mid_sync_test.sh --around COMMAND runs COMMAND (the
#       virtual machine's set-up, in scripts/test.sh) with the same failing
#       source beside this machine's own sources, and exits with its status
#
# apt is pointed at its own source list, lists and cache in a scratch folder
# (APT_CONFIG): this machine's apt configuration is never changed. What the
# cases install is removed at the end, and so is the i386 architecture if
# this test added it.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/apt.sh
ensure_packages python3 >/dev/null

work=$(mktemp -d)
server=""
added_i386=no
clean_up() {
    [ -z "$server" ] || kill "$server" 2>/dev/null || true
    local installed
    installed=$(dpkg-query -W -f='${Package}:${Architecture} ${db:Status-Abbrev}\n' 'ulv-probe-*' 2>/dev/null |
                    awk '$2 !~ /^un/ { print $1 }' || true)
    [ -z "$installed" ] || dpkg --purge $installed >/dev/null || true
    [ "$added_i386" = no ] || dpkg --remove-architecture i386 || true
    rm -rf "$work"
}
trap clean_up EXIT
trap 'exit 130' INT TERM

native=$(dpkg --print-architecture)
repo=$work/repo
mkdir -p "$repo/pool" "$work/lists/partial" "$work/archives/partial" "$work/cache" "$work/sources.list.d"

make_deb() {  # NAME VERSION ARCH [CONTROL-LINE...]
    local name=$1 version=$2 arch=$3 root=$work/debs/$1-$2-$3
    shift 3
    mkdir -p "$root/DEBIAN"
    {
        # A -dev package is built from its library's source, as in Debian.
        printf 'Package: %s\nSource: %s\nVersion: %s\nArchitecture: %s\n' "$name" "${name%-dev}" "$version" "$arch"
        printf '%s\n' "Maintainer: Ulverno tests <tests@ulverno.invalid>" "Description: stand-in for a package of the mirror" "$@"
    } >"$root/DEBIAN/control"
    dpkg-deb --root-owner-group -Zgzip -b "$root" "$repo/pool/${name}_${version}_$arch.deb" >/dev/null
}

# dists/SUITE/main/binary-ARCH/Packages for each ARCH, listing pool/*_VERSION_ARCH.deb of
# each PACKAGE=VERSION given, and a Release that lists each index with its size, one
# size (of the index named by WRONG, if any) made wrong.
make_suite() {  # SUITE WRONG PACKAGE=VERSION...
    local suite=$1 wrong=$2 arch entry deb index
    shift 2
    for arch in "$native" i386; do
        index=$repo/dists/$suite/main/binary-$arch/Packages
        mkdir -p "$(dirname "$index")"
        : >"$index"
        for entry in "$@"; do
            for deb in "$repo/pool/${entry%=*}_${entry#*=}_$arch.deb" "$repo/pool/${entry%=*}_${entry#*=}_all.deb"; do
                [ -e "$deb" ] || continue
                { dpkg-deb -f "$deb"; echo "Filename: pool/${deb##*/}"; echo "Size: $(stat -c %s "$deb")"
                  echo "SHA256: $(sha256sum "$deb" | cut -d' ' -f1)"; echo; } >>"$index"
            done
        done
    done
    {
        printf 'Suite: %s\nCodename: %s\nDate: Thu, 01 Jan 2026 00:00:00 UTC\nArchitectures: %s i386\nComponents: main\nSHA256:\n' \
            "$suite" "$suite" "$native"
        for arch in "$native" i386; do
            index=main/binary-$arch/Packages
            local size
            size=$(stat -c %s "$repo/dists/$suite/$index")
            [ "$index" != "$wrong" ] || size=$((size + 7))  # the index changed under apt's feet
            printf ' %s %s %s\n' "$(sha256sum "$repo/dists/$suite/$index" | cut -d' ' -f1)" "$size" "$index"
        done
    } >"$repo/dists/$suite/Release"
}

make_deb ulv-probe-tool 1.0 all
for arch in "$native" i386; do
    make_deb ulv-probe-lib 1.0 "$arch" "Multi-Arch: same"
    make_deb ulv-probe-lib 1.1 "$arch" "Multi-Arch: same"
    make_deb ulv-probe-up 1.0 "$arch" "Multi-Arch: same"
    make_deb ulv-probe-up 1.1 "$arch" "Multi-Arch: same"
done
make_deb ulv-probe-lib-dev 1.0 "$native" "Depends: ulv-probe-lib (= 1.0)"
make_deb ulv-probe-lib-dev 1.1 "$native" "Depends: ulv-probe-lib (= 1.1)"
# The main suite has the libraries at 1.0 and ulv-probe-up at 1.1 too; the
# security suite has ulv-probe-lib 1.1, whose i386 index fails.
make_suite stable "" ulv-probe-tool=1.0 ulv-probe-lib=1.0 ulv-probe-lib-dev=1.0 ulv-probe-up=1.1
make_suite stable-security main/binary-i386/Packages ulv-probe-lib=1.1 ulv-probe-lib-dev=1.1

python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$repo" >"$work/server.log" 2>&1 &
server=$!
for _ in $(seq 50); do
    port=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$work/server.log")
    [ -z "$port" ] || break
    sleep 0.1
done
[ -n "$port" ] || { echo "FAIL: the package source on the loopback did not start" >&2; exit 1; }
url=http://127.0.0.1:$port/
cat >"$work/apt.conf" <<EOF
Dir::Etc::SourceList "$work/sources.list";
Dir::Etc::SourceParts "$work/sources.list.d";
Dir::State::Lists "$work/lists";
Dir::Cache "$work/cache";
Dir::Cache::Archives "$work/archives";
Acquire::http::Proxy::127.0.0.1 "DIRECT";
Acquire::Languages "none";
EOF
export APT_CONFIG=$work/apt.conf
printf 'deb [trusted=yes] %s %s main\n' "$url" stable "$url" stable-security >"$work/sources.list"

if [ "${1:-}" = --around ]; then
    shift
    # This machine's own sources, and the failing suite beside them.
    cp /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources "$work/sources.list.d/" 2>/dev/null || true
    { cat /etc/apt/sources.list 2>/dev/null || true; printf 'deb [trusted=yes] %s stable-security main\n' "$url"; } \
        >"$work/sources.list"
    status=0
    "$@" || status=$?
    exit $status
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    added_i386=yes
fi
failures=0
check() {  # DESCRIPTION COMMAND...
    local description=$1
    shift
    "$@" || { echo "FAIL: $description" >&2; failures=$((failures + 1)); }
}
version_of() { dpkg-query -W -f='${db:Status-Abbrev}${Version}' "$1" 2>/dev/null | sed -n 's/^ii *//p'; }

# What was installed before the mirror's sync began: the library and its
# -dev package from the security suite, and an older ulv-probe-up.
dpkg -i "$repo/pool/ulv-probe-lib_1.1_$native.deb" "$repo/pool/ulv-probe-lib-dev_1.1_$native.deb" \
        "$repo/pool/ulv-probe-up_1.0_$native.deb" >/dev/null

status=0
apt-get -q update >"$work/update.log" 2>&1 || status=$?
check "apt-get update exits 100 on the index of the wrong size (it exited $status)" [ "$status" -eq 100 ]
check "apt-get update names the index of the wrong size" grep -q 'stable-security/main/binary-i386/Packages.*unexpected size' "$work/update.log"

status=0
(ensure_packages ulv-probe-tool ulv-probe-lib:i386 ulv-probe-up:i386) >"$work/install.log" 2>&1 || status=$?
check "the wanted packages are installed (exit $status; $(tr '\n' ' ' <"$work/install.log"))" [ "$status" -eq 0 ]
check "a package of the fetched indexes is installed" [ "$(version_of ulv-probe-tool)" = 1.0 ]
check "the library is at the version both architectures have" \
    [ "$(version_of "ulv-probe-lib:$native") $(version_of ulv-probe-lib:i386)" = "1.0 1.0" ]
check "the -dev package follows its library, rather than being removed" [ "$(version_of ulv-probe-lib-dev)" = 1.0 ]
check "the older amd64 package is brought to the i386 candidate" \
    [ "$(version_of "ulv-probe-up:$native") $(version_of ulv-probe-up:i386)" = "1.1 1.1" ]
check "what changed is said" grep -q "ulv-probe-lib:$native 1.0" "$work/install.log"

status=0
(apt_updated=yes ensure_packages ulv-probe-tool ulv-probe-absent) >"$work/absent.log" 2>&1 || status=$?
check "a package no source has fails the install" [ "$status" -ne 0 ]
check "and is named" grep -q '^Could not install: ulv-probe-absent ' "$work/absent.log"

if [ "$failures" -ne 0 ]; then
    echo "Package installs against a mirror in the middle of a sync: $failures check(s) failed" >&2
    exit 1
fi
echo "Package installs against a mirror in the middle of a sync (apt-get update exits 100): 10 passed, 0 failed"
