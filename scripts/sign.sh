#!/usr/bin/env bash
# Signs Windows programs in place with Authenticode (SHA-256):
#   scripts/sign.sh [--no-timestamp] FILE...
# With a PKCS#12 file, through osslsigncode:
#   SETUPKIT_SIGN_PKCS12      the certificate with its private key and chain, a PKCS#12 file
#   SETUPKIT_SIGN_PASSWORD    its password; read from the environment and handed to osslsigncode
#                             through a pipe, never on a command line (where `ps` shows it to all)
# With a team's own signer (a key on a hardware token, a signing service), which wins when set:
#   SETUPKIT_SIGN_COMMAND     a shell command run once per file as `sh -c COMMAND sign UNSIGNED SIGNED`:
#                             it reads "$1" and writes the signed file to "$2"
# SETUPKIT_SIGN_TIMESTAMP_URL an RFC 3161 time-stamping server. Without a time stamp a signature stops
#                             being valid when the certificate expires, so signing without one needs
#                             --no-timestamp. The command gets the variable in its environment.
# Every signed file must carry a signature, and a time stamp unless --no-timestamp: a signer that
# exits 0 without one fails the run. A file is replaced only once its signed copy is complete and
# checked; the first failure ends the run and leaves that file as it was.
set -euo pipefail

usage() {
    echo "usage: SETUPKIT_SIGN_PKCS12=FILE SETUPKIT_SIGN_TIMESTAMP_URL=URL $0 [--no-timestamp] FILE..." >&2
    echo "       SETUPKIT_SIGN_COMMAND='signer \"\$1\" \"\$2\"' $0 [--no-timestamp] FILE..." >&2
    exit 2
}

timestamped=1
if [ "${1:-}" = --no-timestamp ]; then
    timestamped=
    shift
fi
if [ $# -eq 0 ]; then
    usage
fi
if [ -z "${SETUPKIT_SIGN_COMMAND:-}" ]; then
    if [ -z "${SETUPKIT_SIGN_PKCS12:-}" ] || [ ! -r "$SETUPKIT_SIGN_PKCS12" ]; then
        echo "sign.sh: SETUPKIT_SIGN_PKCS12 must name a readable PKCS#12 file (or set SETUPKIT_SIGN_COMMAND)" >&2
        exit 2
    fi
    if [ -n "$timestamped" ] && [ -z "${SETUPKIT_SIGN_TIMESTAMP_URL:-}" ]; then
        echo "sign.sh: no time-stamping server (SETUPKIT_SIGN_TIMESTAMP_URL): the signatures would die with" \
             "the certificate; --no-timestamp signs all the same" >&2
        exit 2
    fi
fi
# The signed files are checked with osslsigncode and openssl whoever signs them.
for tool in osslsigncode openssl; do
    if ! command -v "$tool" >/dev/null; then
        echo "sign.sh: $tool is missing (scripts/install-prerequisites.sh installs it)" >&2
        exit 1
    fi
done

# osslsigncode cannot read an empty password from a file; an empty one reveals nothing.
password=(-readpass /dev/fd/3)
if [ -z "${SETUPKIT_SIGN_PASSWORD:-}" ]; then
    password=(-pass "")
fi
timestamp=()
if [ -n "$timestamped" ] && [ -n "${SETUPKIT_SIGN_TIMESTAMP_URL:-}" ]; then
    timestamp=(-ts "$SETUPKIT_SIGN_TIMESTAMP_URL")
fi

# Writes the signed copy of $1 to $2.
sign_copy() {
    if [ -n "${SETUPKIT_SIGN_COMMAND:-}" ]; then
        sh -c "$SETUPKIT_SIGN_COMMAND" sign "$1" "$2" >/dev/null
    else
        # printf is a shell builtin: the password reaches the pipe without any process's arguments.
        osslsigncode sign -pkcs12 "$SETUPKIT_SIGN_PKCS12" "${password[@]}" -h sha256 \
            "${timestamp[@]}" -in "$1" -out "$2" >/dev/null 3< <(printf '%s' "${SETUPKIT_SIGN_PASSWORD:-}")
    fi
}

# What the signature of $1 lacks: "signature", "time stamp" or nothing. A time stamp is the RFC 3161
# token Authenticode keeps as an unsigned attribute, or the older countersignature. grep reads to the
# end (-c, not -q): under pipefail, openssl cut off by SIGPIPE would fail the check at random.
signature_lacks() {
    local token=$1.p7
    rm -f "$token"
    if ! osslsigncode extract-signature -in "$1" -out "$token" >/dev/null 2>&1; then
        echo signature
    elif [ -n "$timestamped" ] &&
         ! openssl pkcs7 -inform DER -in "$token" -print 2>/dev/null |
           grep -c '(1\.3\.6\.1\.4\.1\.311\.3\.3\.1)\|(1\.2\.840\.113549\.1\.9\.6)' >/dev/null; then
        echo "time stamp"
    fi
    rm -f "$token"
}

for file in "$@"; do
    signed="$file.signing"
    rm -f "$signed"
    if ! sign_copy "$file" "$signed" || [ ! -s "$signed" ]; then
        rm -f "$signed"
        echo "sign.sh: could not sign $file" >&2
        exit 1
    fi
    lacks=$(signature_lacks "$signed")
    if [ -n "$lacks" ]; then
        rm -f "$signed"
        echo "sign.sh: the signer exited 0, but what it made of $file carries no $lacks" >&2
        exit 1
    fi
    chmod --reference="$file" "$signed"
    mv -f "$signed" "$file"
    echo "signed $file"
done
