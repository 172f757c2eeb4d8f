# The notices of a release, from what the linker really took: sourced by
# scripts/release.sh, whose builds link with `-Wl,--trace` (ld then prints
# every object, archive and shared library it reads).

# The files a link trace (the build log of one program) names by absolute
# path, but for shared libraries, which the program loads from the system
# rather than carries: the project's own libraries, given by relative paths,
# are not among them either.
linked_files() {  # BUILD-LOG
    sed -n 's/^(\?\(\/[^()]*\)).*$/\1/p; s/^\(\/[^() ]*\)$/\1/p' "$1" | sort -u | grep -vE '\.so(\.[0-9.]+)?$' || true
}

# The shared libraries (DLLs) a program loads from the system, on one line.
needed_libraries() {  # PROGRAM
    objdump -p "$1" | sed -n 's/^ *NEEDED *//p; s/^\tDLL Name: //p' | paste -s -d' '
}

# The Debian packages that hold the files a program carries (linked_files),
# one per line, as "PACKAGE VERSION". A file that no package holds fails the
# run, as its licence would be unknown.
linked_packages() {  # BUILD-LOG
    local file real owner status=0
    while read -r file; do
        real=$(realpath -e "$file") || { echo "FAIL: the linker read $file, which is gone" >&2; status=1; continue; }
        owner=$(dpkg-query -S "$real" 2>/dev/null | head -1 | cut -d: -f1) ||
            owner=$(dpkg-query -S "$file" 2>/dev/null | head -1 | cut -d: -f1) || true
        if [ -z "$owner" ]; then
            echo "FAIL: the linker read $real, which no package holds: its licence is unknown" >&2
            status=1
            continue
        fi
        echo "$owner $(dpkg-query -W -f='${Version}' "$owner")"
    done < <(linked_files "$1") | sort -u
    return $status
}

# The licence text of a package, as Debian installs it, followed by every
# licence of /usr/share/common-licenses that it refers to and not yet given.
package_licence() {  # PACKAGE
    local copyright=/usr/share/doc/$1/copyright
    [ -f "$copyright" ] || { echo "FAIL: $1 has no $copyright" >&2; return 1; }
    cat "$copyright"
}

# Writes NOTICES.txt: the product's copyright line, what each program
# carries (from linked_packages of its build log) and what it loads from the
# system, then the licence text of each of those packages once, and the
# common licences they refer to. Run from the release folder.
write_notices() {  # OUT YEAR PROGRAM=BUILD-LOG...
    local out=$1 year=$2 entry program packages all=() package licences
    shift 2
    {
        echo "Ulverno updater: ulvupdate.exe, ulvpack.exe and ulvpack"
        echo "Copyright © $year Ulverno"
        echo
        echo "Each program carries, linked in, parts of the packages below (the Debian"
        echo "packages of the build machine, with their versions; see BUILDINFO), under"
        echo "the licences that follow, as those packages give them."
        echo
        for entry in "$@"; do
            program=${entry%%=*}
            packages=$(linked_packages "${entry#*=}") || return 1
            echo "$program carries parts of:"
            sed 's/^/    /' <<<"$packages"
            echo "  and loads from the system (not in the release): $(needed_libraries "$program")"
            all+=($(cut -d' ' -f1 <<<"$packages"))
        done
        # Each once, though named twice (GPL is GPL-3).
        licences=$(for package in "${all[@]}"; do package_licence "$package"; done |
                       grep -o '/usr/share/common-licenses/[A-Za-z0-9.+-]*[A-Za-z0-9+]' | sort -u |
                       xargs -r realpath -eq | sort -u) || true
        # Packages of one source share one text (libstdc++ and libgcc: GCC's).
        for package in $(printf '%s\n' "${all[@]}" | sort -u); do
            echo "$(realpath -e "/usr/share/doc/$package/copyright" || echo "/usr/share/doc/$package/copyright") $package"
        done | awk '{ names[$1] = names[$1] (names[$1] == "" ? "" : ", ") $2 } END { for (f in names) print f, names[f] }' |
            sort | while read -r copyright packages; do
                printf '\n\n==== %s: %s ====\n\n' "$packages" "$copyright"
                cat "$copyright" || exit 1
            done || return 1
        for licence in $licences; do
            [ -f "$licence" ] || continue
            printf '\n\n==== %s ====\n\n' "$licence"
            cat "$licence"
        done
    } >"$out"
}
