# Authenticode signatures of the Windows programs: sourced by scripts/release.sh.

# The options of osslsigncode that name the signer: CERT and KEY in PEM (CERT
# may hold the chain), or CERT a PKCS#12 bundle (KEY empty); PASS a file
# holding the key's passphrase, if it has one.
authenticode_signer() {  # CERT KEY PASS
    if [ -n "$2" ]; then
        printf '%s\n' -certs "$1" -key "$2"
    else
        printf '%s\n' -pkcs12 "$1"
    fi
    [ -z "$3" ] || printf '%s\n' -readpass "$3"
}

# Signs IN into OUT (SHA-256), dated by SOURCE_DATE_EPOCH so that the same
# program signed twice gives the same bytes, time-stamped by TIMESTAMP_URL
# when given (an RFC 3161 server; the bytes then depend on its answer).
# Then checks that removing the signature gives IN back, byte for byte: what
# is signed is the reproducible build. The options of authenticode_signer
# follow OUT.
authenticode_sign() {  # IN OUT TIMESTAMP_URL SIGNER-OPTION...
    local in=$1 out=$2 timestamp=$3 log
    shift 3
    log=$(mktemp)
    if ! osslsigncode sign "$@" -h sha256 -n "Ulverno" -time "$SOURCE_DATE_EPOCH" ${timestamp:+-ts "$timestamp"} \
            -in "$in" -out "$out" >"$log" 2>&1; then
        echo "FAIL: Authenticode signing of $(basename "$in") failed: $(tail -3 "$log" | tr '\n' ' ')" >&2
        rm -f "$log"
        return 1
    fi
    osslsigncode remove-signature -in "$out" -out "$out.unsigned" >"$log" 2>&1 || true
    rm -f "$log"
    if ! cmp -s "$in" "$out.unsigned"; then
        echo "FAIL: $(basename "$in") without its signature is not the program that was built" >&2
        rm -f "$out.unsigned"
        return 1
    fi
    rm -f "$out.unsigned"
}
