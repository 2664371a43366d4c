#!/usr/bin/env bash
# Signs copies of the shipped programs with scripts/sign.sh and a throwaway certificate, and checks
# that osslsigncode accepts each signature against the throwaway CA and no other:
#   sign_copies.sh OUTPUT_DIR PROGRAM.exe...
# OUTPUT_DIR receives the copies signed from the PKCS#12 file (the tests then check and run them);
# by-command/ the copies signed through SETUPKIT_SIGN_COMMAND with a time stamp from osslsigncode's
# built-in time-stamping authority; certificate/ the CA, the signer with its PKCS#12 file, the TSA.
set -euo pipefail

sign=$(cd "$(dirname "$0")/../../scripts" && pwd)/sign.sh
output=$1
shift
rm -rf "$output"
mkdir -p "$output/certificate"
export SETUPKIT_SIGN_PASSWORD="pass phrase $$" SETUPKIT_SIGN_PKCS12=$(realpath "$output")/certificate/signer.p12
unset SETUPKIT_SIGN_TIMESTAMP_URL
(
    cd "$output/certificate"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=setupkit test CA" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=setupkit test signer" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
    openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile signer.ext \
        -out signer.pem 2>/dev/null
    openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -out signer.p12 \
        -passout env:SETUPKIT_SIGN_PASSWORD
    openssl req -newkey rsa:2048 -nodes -keyout tsa.key -out tsa.csr -subj "/CN=setupkit test TSA" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=critical,timeStamping\n' \
        >tsa.ext
    openssl x509 -req -in tsa.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile tsa.ext \
        -out tsa.pem 2>/dev/null
    cat tsa.pem ca.pem >tsa-chain.pem
)
certificate=$(realpath "$output/certificate")
# A team's own signer as SETUPKIT_SIGN_COMMAND sees it: one that time-stamps, and one that does not.
untimed="osslsigncode sign -certs '$certificate/signer.pem' -key '$certificate/signer.key' -h sha256"
timed="$untimed -TSA-certs '$certificate/tsa-chain.pem' -TSA-key '$certificate/tsa.key' -TSA-time $(date +%s)"
untimed+=' -in "$1" -out "$2"'
timed+=' -in "$1" -out "$2"'
mkdir "$output/by-command"

# verified FILE: the signature holds against the test CA and no other.
verified() {
    osslsigncode verify -in "$1" -CAfile "$certificate/ca.pem" -TSA-CAfile "$certificate/ca.pem" \
        >"$output/verify.log" 2>&1 ||
        { cat "$output/verify.log"; echo "FAILED: $1 does not verify against the test CA" >&2; exit 1; }
    if osslsigncode verify -in "$1" -CAfile /etc/ssl/certs/ca-certificates.crt >/dev/null 2>&1; then
        echo "FAILED: $1 verifies against CAs that never signed it" >&2
        exit 1
    fi
}

# refused WHAT COMMAND...: signing $copy that way must fail and leave it as $program is.
refused() {
    local what=$1
    shift
    if "$@" "$copy" 2>/dev/null || ! cmp -s "$program" "$copy"; then
        echo "FAILED: $what signed or changed $copy" >&2
        exit 1
    fi
}

for program in "$@"; do
    copy=$output/$(basename "$program")
    cp "$program" "$copy"
    refused "a wrong password" env SETUPKIT_SIGN_PASSWORD=wrong "$sign" --no-timestamp
    refused "no time-stamping server" "$sign"
    refused "a signer command that does not time-stamp" env SETUPKIT_SIGN_COMMAND="$untimed" "$sign"
    refused "a signer command that signs nothing" env SETUPKIT_SIGN_COMMAND='cp "$1" "$2"' "$sign" --no-timestamp
    "$sign" --no-timestamp "$copy"
    verified "$copy"
    cp "$program" "$output/by-command/"
    SETUPKIT_SIGN_COMMAND=$timed "$sign" "$output/by-command/$(basename "$program")"
    verified "$output/by-command/$(basename "$program")"
done
echo "signed and verified: $*"
