#!/usr/bin/env bash
# Signs Windows programs in place with Authenticode (SHA-256) through osslsigncode:
#   SETUPKIT_SIGN_PKCS12=signer.p12 SETUPKIT_SIGN_PASSWORD=... scripts/sign.sh FILE...
# SETUPKIT_SIGN_PKCS12      the certificate with its private key and chain, a PKCS#12 file
# SETUPKIT_SIGN_PASSWORD    its password; read from the environment and handed to osslsigncode
#                           through a pipe, never on a command line (where `ps` shows it to all)
# SETUPKIT_SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamping server, so that the signature
#                           stays valid after the certificate expires
# A file is replaced only once its signed copy is complete; the first failure ends the run.
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: SETUPKIT_SIGN_PKCS12=FILE SETUPKIT_SIGN_PASSWORD=... $0 FILE..." >&2
    exit 2
fi
if [ -z "${SETUPKIT_SIGN_PKCS12:-}" ] || [ ! -r "$SETUPKIT_SIGN_PKCS12" ]; then
    echo "sign.sh: SETUPKIT_SIGN_PKCS12 must name a readable PKCS#12 file" >&2
    exit 2
fi
if ! command -v osslsigncode >/dev/null; then
    echo "sign.sh: osslsigncode is missing (apt-get install osslsigncode)" >&2
    exit 1
fi

# osslsigncode cannot read an empty password from a file; an empty one reveals nothing.
password=(-readpass /dev/fd/3)
if [ -z "${SETUPKIT_SIGN_PASSWORD:-}" ]; then
    password=(-pass "")
fi
timestamp=()
if [ -n "${SETUPKIT_SIGN_TIMESTAMP_URL:-}" ]; then
    timestamp=(-ts "$SETUPKIT_SIGN_TIMESTAMP_URL")
fi

for file in "$@"; do
    signed="$file.signing"
    rm -f "$signed"
    # printf is a shell builtin: the password reaches the pipe without any process's arguments.
    if ! osslsigncode sign -pkcs12 "$SETUPKIT_SIGN_PKCS12" "${password[@]}" -h sha256 \
             "${timestamp[@]}" -in "$file" -out "$signed" >/dev/null \
             3< <(printf '%s' "${SETUPKIT_SIGN_PASSWORD:-}"); then
        rm -f "$signed"
        echo "sign.sh: could not sign $file" >&2
        exit 1
    fi
    chmod --reference="$file" "$signed"
    mv -f "$signed" "$file"
    echo "signed $file"
done
