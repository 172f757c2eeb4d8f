# Package installs with apt that survive a mirror caught mid-sync. Sourced by
# scripts/lib/setup.sh and scripts/vm32/setup.sh; needs nothing but bash and apt.
#
# - An index that fails to download (a size mismatch while the mirror syncs)
#   makes `apt-get update` exit 100: it is tried again a few times, then the
#   install goes on with every index that was fetched.
# - Installs are tried again too, and what still is not installed is named.
# - Packages of one name installed for two architectures must have the same
#   version. Where the amd64 one came from an index whose i386 twin failed (a
#   security update, say), the i386 package cannot be installed beside it: both
#   architectures are then installed at the highest version that both have,
#   which brings the amd64 side to the i386 candidate or back to a version the
#   i386 index has; what changed is said.

apt_updated=no

apt_get() {
    DEBIAN_FRONTEND=noninteractive apt-get -q -o DPkg::Lock::Timeout=600 "$@"
}

# Runs `apt-get update` until it fetched every index, at most three times;
# then goes on with what it fetched, and says which indexes it lacks.
apt_update() {
    local try log
    log=$(mktemp)
    for try in 1 2 3; do
        if apt_get update >"$log" 2>&1; then
            apt_updated=yes
            rm -f "$log"
            return 0
        fi
        [ "$try" -eq 3 ] || sleep $((try * 3))
    done
    echo "apt-get update could not fetch every index (3 tries); going on with what it fetched:" >&2
    grep -E '^(E|Err):' "$log" | sed 's/^/    /' >&2 || true
    apt_updated=yes
    rm -f "$log"
}

is_installed() {  # PACKAGE[:ARCH]
    dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null | grep -q '^ii'
}

# Installs the packages that are not installed yet; returns non-zero, after
# naming them, if some still are not.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        is_installed "$package" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    [ "$apt_updated" = yes ] || apt_update
    apt_install "${missing[@]}"
}

# apt-get install of PACKAGE..., where a foreign package needs them, after
# the packages shared between architectures are brought to the versions both
# architectures can have. Says what it changed, and what it could not install.
apt_install() {  # PACKAGE...
    local work options=() package missing=()
    work=$(mktemp -d)
    multiarch_pins "$@" >"$work/pins"
    if [ -s "$work/pins" ]; then
        cat /etc/apt/preferences >>"$work/pins" 2>/dev/null || true
        options=(-o Dir::Etc::Preferences="$work/pins" --allow-downgrades)
        align_architectures "$work" "${options[@]}"
    fi
    apt_get_tries "$work/log" install -y --no-install-recommends "${options[@]}" "$@" || true
    for package in "$@"; do
        is_installed "$package" || missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Could not install: ${missing[*]} (apt-get said: $(grep -E '^E:' "$work/log" | tail -1))" >&2
        rm -rf "$work"
        return 1
    fi
    rm -rf "$work"
}

# apt-get ARGUMENT..., tried three times, its output in LOG.
apt_get_tries() {  # LOG ARGUMENT...
    local log=$1 try
    shift
    for try in 1 2 3; do
        apt_get "$@" >"$log" 2>&1 && return 0
        [ "$try" -eq 3 ] || { sleep $((try * 3)); apt_get update >/dev/null 2>&1 || true; }
    done
    return 1
}

# Moves the installed packages of every source that WORK/pins pins to the
# pinned version, on their own first: apt's resolver often gives up when such
# a move is a side effect of installing something else. Marks of packages
# installed automatically stay as they were. Says what changed.
align_architectures() {  # WORK APT-OPTION...
    local work=$1 names
    shift
    sed -n 's/^Package: src:\(.*\):any$/\1/p' "$work/pins" | sort -u >"$work/sources"
    names=$(dpkg-query -W -f='${Package}:${Architecture} ${source:Package} ${db:Status-Abbrev}\n' |
                awk 'NR == FNR { pinned[$1] = 1; next } ($2 in pinned) && $3 ~ /^ii/ { print $1 }' "$work/sources" -)
    apt-mark showauto >"$work/auto"
    dpkg-query -W -f='${Package}:${Architecture} ${Version}\n' | sort >"$work/before"
    apt_get_tries "$work/log" install -y --only-upgrade "$@" $names ||
        echo "Could not bring both architectures to the same versions (apt-get said: $(grep -E '^E:' "$work/log" | tail -1))" >&2
    [ ! -s "$work/auto" ] || apt-mark auto $(cat "$work/auto") >/dev/null 2>&1 || true
    dpkg-query -W -f='${Package}:${Architecture} ${Version}\n' | sort | comm -13 "$work/before" - >"$work/changed"
    [ ! -s "$work/changed" ] ||
        echo "So that both architectures have the same versions, apt moved: $(tr '\n' ' ' <"$work/changed")" >&2
}

# Prints apt preferences that pin each package that the foreign packages
# among PACKAGE... need (or are), that is installed for the native
# architecture and shared between architectures (Multi-Arch: same), to the
# highest version that both architectures can have, where the foreign
# candidate differs from the installed version. Prints nothing when no
# foreign package is asked for.
multiarch_pins() {  # PACKAGE...
    local native foreign arch needed shared
    native=$(dpkg --print-architecture)
    foreign=$(printf '%s\n' "$@" | sed -n 's/^[^:]*:\([a-z0-9]*\)$/\1/p' | grep -vx "$native" | sort -u || true)
    for arch in $foreign; do
        needed=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
                     --no-enhances $(printf '%s\n' "$@" | grep ":$arch\$") 2>/dev/null | sed -n 's/^\([a-z0-9][^: ]*\).*/\1/p' | sort -u)
        mapfile -t shared < <(dpkg-query -W -f='${Package} ${Architecture} ${Multi-Arch} ${db:Status-Abbrev}\n' |
                                  awk -v arch="$native" '$2 == arch && $3 == "same" && $4 ~ /^ii/ { print $1 }' |
                                  sort -u | comm -12 - <(echo "$needed"))
        [ ${#shared[@]} -gt 0 ] || continue
        {
            apt-cache policy "${shared[@]/%/:$native}"
            apt-cache policy "${shared[@]/%/:$arch}"
        } 2>/dev/null | awk -v native="$native" -f "$(dirname "${BASH_SOURCE[0]}")/common_versions.awk" |
            while read -r package kept versions; do
                # The version installed stays where the other architecture has
                # it; otherwise the highest both have. Every package built from
                # the same source follows (a -dev package wants its library's
                # exact version), so that nothing is removed for it.
                [[ " $versions " = *" $kept "* ]] || kept=$(highest_version $versions)
                echo "Package: src:$(dpkg-query -W -f='${source:Package}' "$package:$native"):any"
                echo "Pin: version $kept"
                echo "Pin-Priority: 1001"
                echo
            done
    done
}

highest_version() {  # VERSION...
    local highest=$1 version
    for version in "$@"; do
        dpkg --compare-versions "$version" gt "$highest" && highest=$version
    done
    echo "$highest"
}
