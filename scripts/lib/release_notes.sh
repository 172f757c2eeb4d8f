# The release notes (RELEASE-NOTES.md): sourced by scripts/release.sh.

# The release tags (vX.Y.Z) that the commit released (ULV_RELEASE_COMMIT)
# contains, its own left out, highest first.
earlier_release_tags() {
    local at_head
    at_head=$(git tag --points-at "$ULV_RELEASE_COMMIT")
    git tag --merged "$ULV_RELEASE_COMMIT" --list 'v[0-9]*' | grep -E '^v[0-9]+\.[0-9]+\.[0-9]+$' | grep -vxF "${at_head:-/}" |
        sort -t. -k1.2,1n -k2,2n -k3,3n -r || true
}

# Writes the subjects of the commits since the previous release (every
# commit that no earlier release tag contains), newest first, each with the
# first 12 digits of its hash: the same text whatever the builder's git
# configuration.
write_release_notes() {  # OUT VERSION
    local out=$1 version=$2 tags previous
    tags=$(earlier_release_tags)
    previous=$(head -1 <<<"$tags")
    {
        echo "# Ulverno updater $version: release notes"
        echo
        if [ -n "$previous" ]; then
            echo "Changes since $previous:"
        else
            echo "Changes (every commit: there is no earlier release tag):"
        fi
        echo
        git -c i18n.logOutputEncoding=UTF-8 log --no-show-signature --no-decorate --format='%H %s' "$ULV_RELEASE_COMMIT" \
            ${tags:+--not $tags} | sed 's/^\(.\{12\}\)[0-9a-f]* \(.*\)$/- \2 (\1)/'
    } >"$out"
}
