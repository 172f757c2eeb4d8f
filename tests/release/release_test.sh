#!/usr/bin/env bash
# The release (scripts/release.sh): built twice into dist/, the same bytes;
# then signed with Authenticode by a throwaway certificate authority and
# code-signing certificate made here (never kept), verified against that
# authority and not against another, stripped of its signatures and compared
# with the unsigned release; and what it carries: notices, build record,
# release notes, a README for administrators, sums.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/apt.sh
ensure_packages openssl osslsigncode unzip >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 checks=0
check() {  # DESCRIPTION COMMAND...
    local description=$1
    shift
    checks=$((checks + 1))
    "$@" || { echo "FAIL: $description" >&2; failures=$((failures + 1)); }
}

./scripts/release.sh --twice >"$work/unsigned.log" 2>&1 || { cat "$work/unsigned.log" >&2; exit 1; }
tail -1 "$work/unsigned.log"
released() { sed -n 's|^\(.*\)/, .*\.zip and .*$|\1|p' "$1"; }  # the release folder a run names
unsigned=$(released "$work/unsigned.log")

# The throwaway authorities and code-signing certificate.
ca() {  # NAME
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.pem" -days 2 -subj "/CN=$1" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}
ca "Throwaway CA"
ca "Another CA"
openssl req -newkey rsa:2048 -nodes -keyout "$work/signer.key" -out "$work/signer.csr" -subj "/CN=Ulverno tests/O=Ulverno" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$work/signer.ext"
openssl x509 -req -in "$work/signer.csr" -CA "$work/Throwaway CA.pem" -CAkey "$work/Throwaway CA.key" -CAcreateserial \
    -days 2 -extfile "$work/signer.ext" -out "$work/signer.pem" 2>/dev/null
openssl pkcs12 -export -in "$work/signer.pem" -inkey "$work/signer.key" -passout pass: -out "$work/signer.p12"

./scripts/release.sh --authenticode "$work/signer.pem" "$work/signer.key" --dist "$work/dist" >"$work/signed.log" 2>&1 ||
    { cat "$work/signed.log" >&2; exit 1; }
signed=$(released "$work/signed.log")
[ "$(basename "$signed")" = "$(basename "$unsigned")" ] || { echo "FAIL: HEAD moved between the two releases" >&2; exit 1; }
commit=$(sed -n 's/^Commit: //p' "$signed/BUILDINFO")

for program in ulvupdate.exe ulvpack.exe; do
    check "$program is signed by the throwaway authority's certificate" \
        osslsigncode verify -CAfile "$work/Throwaway CA.pem" -in "$signed/$program" >/dev/null 2>&1
    check "$program's signature is refused against another authority" \
        bash -c '! osslsigncode verify -CAfile "$1" -in "$2" >/dev/null 2>&1' - "$work/Another CA.pem" "$signed/$program"
    osslsigncode remove-signature -in "$signed/$program" -out "$work/$program" >/dev/null
    check "$program without its signature is the unsigned release's" cmp -s "$work/$program" "$unsigned/$program"
    # Signed from a PKCS#12 bundle of the same certificate and key: the same bytes.
    (. scripts/lib/authenticode.sh
     SOURCE_DATE_EPOCH=$(git log -1 --no-show-signature --format=%ct "$commit")
     authenticode_sign "$unsigned/$program" "$work/p12-$program" "" $(authenticode_signer "$work/signer.p12" "" ""))
    check "$program signed from a PKCS#12 bundle is the same" cmp -s "$work/p12-$program" "$signed/$program"
done
check "the signed release's sums hold for its signed programs" bash -c 'cd "$1" && sha256sum -c --quiet SHA256SUMS' - "$signed"

for release in "$unsigned" "$signed"; do
    notices=$release/NOTICES.txt
    check "NOTICES.txt says the product's copyright" grep -q "^Copyright © [0-9]\{4\} Ulverno$" "$notices"
    for part in "ulvupdate.exe carries parts of:" "ulvpack.exe carries parts of:" "ulvpack carries parts of:" \
                "    mingw-w64-i686-dev " "    g++-mingw-w64-i686-win32 " "    libssl-dev " "    libstdc++-12-dev " \
                "    libc6-dev " "GCC RUNTIME LIBRARY EXCEPTION" "Apache License" "GNU LESSER GENERAL PUBLIC LICENSE" \
                "Upstream-Name: mingw-w64"; do
        check "NOTICES.txt holds \"$part\"" grep -qF "$part" "$notices"
    done
    check "the Linux ulvpack loads only the system's C library" \
        [ "$(sed -n '/^ulvpack carries/,/loads from/s/.*(not in the release): //p' "$notices" | tr ' ' '\n' |
             grep -cvx 'libc.so.6\|ld-linux-x86-64.so.2')" = 0 ]
    for package in g++-12 binutils g++-mingw-w64-i686-win32 mingw-w64-i686-dev binutils-mingw-w64-i686 cmake libssl-dev; do
        check "BUILDINFO gives the version of $package" grep -q "^    $package  *[0-9]" "$release/BUILDINFO"
    done
    check "RELEASE-NOTES.md lists the last commit" grep -qF "$(git log -1 --no-show-signature --format=%s "$commit")" "$release/RELEASE-NOTES.md"
    check "the README speaks to administrators, not of the demo" \
        bash -c '! grep -q "scripts/demo.sh\|<!--" "$1" && grep -q "^## Checking the download" "$1"' - "$release/README.md"
done
check "BUILDINFO of the signed release gives osslsigncode's version" grep -q "^    osslsigncode  *[0-9]" "$signed/BUILDINFO"

echo "Release: signed with a throwaway certificate, verified, stripped, compared; notices, BUILDINFO, release notes: $((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
