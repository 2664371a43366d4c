#!/usr/bin/env bash
# Signs copies of the shipped programs with scripts/sign.sh and a throwaway certificate, and checks
# that osslsigncode accepts each signature against the throwaway CA and no other:
#   sign_copies.sh OUTPUT_DIR PROGRAM.exe...
# OUTPUT_DIR receives the signed copies (the tests then check and run them) and, in certificate/,
# the CA, the signer and its PKCS#12 file.
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
)

for program in "$@"; do
    copy=$output/$(basename "$program")
    cp "$program" "$copy"
    # A wrong password fails and leaves the file as it was.
    if SETUPKIT_SIGN_PASSWORD=wrong "$sign" "$copy" 2>/dev/null || ! cmp -s "$program" "$copy"; then
        echo "FAILED: a wrong password signed or changed $copy" >&2
        exit 1
    fi
    "$sign" "$copy"
    osslsigncode verify -in "$copy" -CAfile "$output/certificate/ca.pem" >"$output/verify.log" 2>&1 ||
        { cat "$output/verify.log"; echo "FAILED: $copy does not verify against the test CA" >&2; exit 1; }
    if osslsigncode verify -in "$copy" -CAfile /etc/ssl/certs/ca-certificates.crt >/dev/null 2>&1; then
        echo "FAILED: $copy verifies against CAs that never signed it" >&2
        exit 1
    fi
done
echo "signed and verified: $*"
